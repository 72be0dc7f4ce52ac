#include "TargetPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace sondrel {

QString replaceExtension(const QString& caption, const QString& extension)
{
    const qsizetype dot = caption.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && caption.indexOf(QLatin1Char('/'), dot) < 0)
        return caption.left(dot) + extension;
    return caption + extension;
}

namespace {

// The UTF-8 length of the character starting at text[i], and how many QChars it takes.
int utf8Length(QStringView text, qsizetype i, int* units)
{
    const char16_t c = text[i].unicode();
    *units = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
        *units = 2;
        return 4;
    }
    return 3; // the rest of the plane, and a lone surrogate (written as U+FFFD)
}

QString withoutSeparators(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QChar(0), QLatin1Char('-'));
    return text;
}

} // namespace

QString shortenedName(const QString& stem, const QString& extension)
{
    const qsizetype room = MaxNameBytes - extension.toUtf8().size();
    qsizetype bytes = 0, end = 0;
    while (end < stem.size()) {
        int units = 1;
        const int length = utf8Length(stem, end, &units);
        if (bytes + length > room)
            break;
        bytes += length;
        end += units;
    }
    return stem.left(end) + extension;
}

QString targetNameFor(const QString& caption, bool captionIsTitle, const QString& extension,
                      const QString& sourcePath)
{
    const QString text = withoutSeparators(caption);
    QString stem = captionIsTitle ? text : replaceExtension(text, QString());
    if (stem.isEmpty()) {
        stem = QFileInfo(sourcePath).completeBaseName();
        if (stem.isEmpty())
            stem = QFileInfo(sourcePath).fileName();
        stem = withoutSeparators(stem);
    }
    return shortenedName(stem, extension);
}

QString targetPathFor(const QString& outputFolder, const QString& caption, const QString& extension,
                      const QString& sourcePath, bool captionIsTitle)
{
    return outputFolder + targetNameFor(caption, captionIsTitle, extension, sourcePath);
}

QString keptFolderFor(const QString& outputFolder, const QString& addedFolder, const QString& sourcePath)
{
    return outputFolder + keptSubFolderFor(addedFolder, sourcePath);
}

QString keptSubFolderFor(const QString& addedFolder, const QString& sourcePath)
{
    if (addedFolder.isEmpty())
        return {};
    const QString added = QDir::cleanPath(addedFolder);
    const QString name = QFileInfo(added).fileName();
    const QString relative = QDir(added).relativeFilePath(QFileInfo(sourcePath).absolutePath());
    // The source's folder must lie at or below the added one: nothing may climb out of the
    // output folder.
    if (name.isEmpty() || relative.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(relative))
        return {};
    const QString below = relative == QLatin1String(".") ? QString() : relative + QLatin1Char('/');
    return name + QLatin1Char('/') + below;
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0
        || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace sondrel
