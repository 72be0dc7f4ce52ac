#include "CueSheet.h"

#include "EngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <functional>

namespace sondrel {

namespace {

// The extensions an image may have been given since its sheet was written (an album ripped
// to WAV and compressed to FLAC later keeps "album.wav" in its sheet).
const char* const kImageExtensions[] = {"flac", "wav", "ape", "wv", "mp3", "ogg", "m4a", "opus", "wma"};

bool isImageExtension(const QString& suffix)
{
    for (const char* e : kImageExtensions)
        if (suffix.compare(QLatin1String(e), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The file of folder whose name matches, preferring an exact match; empty when none does.
QString findIn(const QDir& folder, const QStringList& names, const std::function<bool(const QString&)>& matches)
{
    for (const QString& name : names)
        if (matches(name))
            return folder.filePath(name);
    return {};
}

} // namespace

QString resolveCueFile(const QString& sheetPath, const QString& nameInSheet)
{
    QString name = nameInSheet.trimmed();
    name.replace(u'\\', u'/');
    // A path of the machine the sheet was made on: only its last part means anything here.
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (name.startsWith(u'/') || name.contains(drive))
        name = name.mid(std::max(name.lastIndexOf(u'/'), name.indexOf(u':')) + 1);
    if (name.isEmpty())
        return {};
    const QFileInfo named(QFileInfo(sheetPath).dir(), name);
    if (named.isFile())
        return named.filePath();

    const QDir folder = named.dir();
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    const QString base = named.completeBaseName();
    for (const char* e : kImageExtensions) {
        const QString found = findIn(folder, entries, [&](const QString& n) {
            const QFileInfo f(n);
            return f.completeBaseName() == base && f.suffix().compare(QLatin1String(e), Qt::CaseInsensitive) == 0;
        });
        if (!found.isEmpty())
            return found;
    }
    QString found = findIn(folder, entries, [&](const QString& n) {
        return n.compare(named.fileName(), Qt::CaseInsensitive) == 0;
    });
    if (found.isEmpty())
        found = findIn(folder, entries, [&](const QString& n) {
            const QFileInfo f(n);
            return f.completeBaseName().compare(base, Qt::CaseInsensitive) == 0 && isImageExtension(f.suffix());
        });
    return found;
}

CueSheet readCueSheet(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const QFileInfo info(path);
    if (!info.exists())
        throw EngineError(QStringLiteral("%1: no such file").arg(name).toStdString());
    if (!info.isFile())
        throw EngineError(QStringLiteral("%1: not a regular file").arg(name).toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EngineError(QStringLiteral("%1: %2").arg(name, file.errorString()).toStdString());
    const QByteArray bytes = file.read(kMaxCueSheetBytes + 1);
    if (bytes.size() > kMaxCueSheetBytes)
        throw EngineError(QStringLiteral("%1: too large for a cue sheet (more than %2 MiB)")
                              .arg(name).arg(kMaxCueSheetBytes >> 20).toStdString());
    if (file.error() != QFileDevice::NoError)
        throw EngineError(QStringLiteral("%1: %2").arg(name, file.errorString()).toStdString());
    return parseCueSheet(bytes, path);
}

} // namespace sondrel
