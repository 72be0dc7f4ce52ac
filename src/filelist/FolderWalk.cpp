#include "FolderWalk.h"

#include "InputFormats.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace sondrel {

bool isAudioExtension(const QString& name)
{
    return isInputFileName(name);
}

int naturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Numbers by value: leading zeros skipped, then the longer number is the larger.
            qsizetype si = i, sj = j;
            while (si < a.size() && a[si] == QLatin1Char('0'))
                ++si;
            while (sj < b.size() && b[sj] == QLatin1Char('0'))
                ++sj;
            qsizetype ei = si, ej = sj;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj)); c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        const int c = QString::compare(QString(a[i]), QString(b[j]), Qt::CaseInsensitive);
        if (c != 0)
            return c;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for case or leading zeros: a fixed order all the same.
    return a.compare(b);
}

namespace {

void walk(const QString& folder, bool includeSub, QStringList& out)
{
    QDir dir(folder);
    QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return naturalCompare(a.fileName(), b.fileName()) < 0; });
    for (const QFileInfo& e : entries) {
        // A sub-folder is taken where its name comes; a link to a folder is not entered: a
        // link to a parent would recurse without end.
        if (e.isDir()) {
            if (includeSub && !e.isSymLink())
                walk(e.absoluteFilePath(), true, out);
        } else if (isAudioExtension(e.fileName())) {
            out << e.absoluteFilePath();
        }
    }
}

} // namespace

QStringList audioFilesIn(const QString& folder, bool includeSub)
{
    QStringList out;
    walk(folder, includeSub, out);
    return out;
}

} // namespace sondrel
