#include "FileNameRules.h"

#include "TargetPath.h"

namespace sondrel {

namespace {

bool replacedIn(char16_t c, NameRules rules)
{
    if (c == u'/' || c == 0)
        return true;
    if (rules == NameRules::Native)
        return false;
    return c < 0x20 || c == 0x7F || QStringView(u"\\:*?\"<>|").contains(QChar(c));
}

void dropTrailing(QString& stem, NameRules rules)
{
    qsizetype end = stem.size();
    while (end > 0 && (stem[end - 1] == u' ' || (rules == NameRules::Portable && stem[end - 1] == u'.')))
        --end;
    stem.truncate(end);
}

// Whether Windows takes a name's first part (up to its first dot, without the spaces before
// it) for a device.
bool isDeviceName(QStringView base)
{
    static const QStringView plain[] = {u"CON", u"PRN", u"AUX", u"NUL"};
    for (QStringView name : plain)
        if (base.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return base.size() == 4 && (base.startsWith(u"COM", Qt::CaseInsensitive) || base.startsWith(u"LPT", Qt::CaseInsensitive))
        && base[3] >= u'1' && base[3] <= u'9';
}

} // namespace

QString fittedName(QString stem, const QString& extension, NameRules rules)
{
    for (QChar& c : stem)
        if (replacedIn(c.unicode(), rules))
            c = u'-';
    qsizetype start = 0;
    while (start < stem.size() && stem[start] == u'.')
        ++start;
    stem.remove(0, start);
    dropTrailing(stem, rules);
    if (rules == NameRules::Portable) {
        const qsizetype dot = stem.indexOf(u'.');
        qsizetype baseEnd = dot < 0 ? stem.size() : dot;
        while (baseEnd > 0 && stem[baseEnd - 1] == u' ')
            --baseEnd;
        if (isDeviceName(QStringView(stem).left(baseEnd)))
            stem.insert(baseEnd, u'_');
    }
    stem = shortenedName(stem, extension);
    stem.chop(extension.size());
    // The cut may end on a space or a dot.
    dropTrailing(stem, rules);
    if (stem.isEmpty())
        stem = QStringLiteral("_");
    return stem + extension;
}

} // namespace sondrel
