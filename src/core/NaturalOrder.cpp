#include "NaturalOrder.h"

namespace sondrel {

namespace {
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
} // namespace

// Written out rather than left to a collator: a collator's order follows the user's locale,
// while the order of a scan must not, and sorting a long list compares names millions of times.
int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    int zeros = 0; // the first difference in leading zeros: fewer comes first
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype si = i, sj = j;
            while (si < a.size() && a[si] == u'0')
                ++si;
            while (sj < b.size() && b[sj] == u'0')
                ++sj;
            qsizetype ei = si, ej = sj;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // Without leading zeros, the longer number is the larger one.
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (qsizetype k = 0; k < ei - si; ++k) {
                if (a[si + k] != b[sj + k])
                    return a[si + k] < b[sj + k] ? -1 : 1;
            }
            if (zeros == 0 && si - i != sj - j)
                zeros = si - i < sj - j ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const char16_t ca = a[i].toCaseFolded().unicode();
        const char16_t cb = b[j].toCaseFolded().unicode();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    if (zeros != 0)
        return zeros;
    return sign(a.compare(b));
}

} // namespace sondrel
