#include "TargetPath.h"

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

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0
        || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace sondrel
