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

QString targetPathFor(const QString& outputFolder, const QString& caption,
                      const QString& extension, const QString& sourcePath)
{
    QString name = caption;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.remove(QChar(0));
    name = replaceExtension(name, extension);
    if (name.size() <= extension.size() || name == QLatin1String(".") || name == QLatin1String("..")) {
        name = QFileInfo(sourcePath).completeBaseName();
        if (name.isEmpty())
            name = QFileInfo(sourcePath).fileName();
        name.replace(QLatin1Char('/'), QLatin1Char('_'));
        name += extension;
    }
    return outputFolder + name;
}

QString keptFolderFor(const QString& outputFolder, const QString& addedFolder, const QString& sourcePath)
{
    if (addedFolder.isEmpty())
        return outputFolder;
    const QString added = QDir::cleanPath(addedFolder);
    const QString name = QFileInfo(added).fileName();
    const QString relative = QDir(added).relativeFilePath(QFileInfo(sourcePath).absolutePath());
    // The source's folder must lie at or below the added one: nothing may climb out of the
    // output folder.
    if (name.isEmpty() || relative.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(relative))
        return outputFolder;
    const QString below = relative == QLatin1String(".") ? QString() : relative + QLatin1Char('/');
    return outputFolder + name + QLatin1Char('/') + below;
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
