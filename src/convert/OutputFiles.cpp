#include "OutputFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sondrel {

namespace {

const QString TempPrefix = QStringLiteral(".sondrel-");
const QString TempSuffix = QStringLiteral(".part");
constexpr int TempRandomChars = 10;

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

std::string systemError(const QString& what, int error)
{
    return "\"" + what.toStdString() + "\" " + std::strerror(error);
}

QString randomName()
{
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = TempPrefix;
    for (int i = 0; i < TempRandomChars; ++i)
        name += QLatin1Char(chars[QRandomGenerator::global()->bounded(int(sizeof chars - 1))]);
    return name + TempSuffix;
}

} // namespace

std::optional<FileId> fileIdOf(const QString& path)
{
    struct stat st {};
    if (::stat(local(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

std::optional<FileId> entryIdOf(const QString& path)
{
    struct stat st {};
    if (::lstat(local(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

bool entryExists(const QString& path)
{
    struct stat st {};
    return ::lstat(local(path).constData(), &st) == 0;
}

bool entryIsFolder(const QString& path)
{
    struct stat st {};
    return ::lstat(local(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const QString& path)
{
    struct stat st {};
    return ::stat(local(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

TempOutput::TempOutput(const QString& folder)
{
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = base + randomName();
        const int fd = ::open(local(candidate).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw OutputError(systemError(base, errno));
        }
        // Held until the file is committed or removed: a locked temporary file is in use.
        ::flock(fd, LOCK_EX);
        m_path = candidate;
        m_lock = fd;
        return;
    }
    throw OutputError(systemError(base, EEXIST));
}

TempOutput::~TempOutput()
{
    remove();
}

void TempOutput::sync()
{
    if (m_done || m_lock < 0)
        throw OutputError("the temporary file is gone");
    if (::fsync(m_lock) != 0)
        throw OutputError(std::strerror(errno));
}

void TempOutput::commit(const QString& target)
{
    if (m_done)
        throw OutputError("\"" + target.toStdString() + "\" was already written");
    // The data reaches the disk before the name does: after a power failure the target is
    // either the old file or the complete new one.
    if (::fsync(m_lock) != 0)
        throw OutputError(systemError(target, errno));
    if (::rename(local(m_path).constData(), local(target).constData()) != 0)
        throw OutputError(systemError(target, errno));
    m_done = true;
    ::close(m_lock);
    m_lock = -1;
    // And the new name reaches the disk too.
    const int dir = ::open(local(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void TempOutput::remove() noexcept
{
    if (!m_done && !m_path.isEmpty())
        ::unlink(local(m_path).constData());
    m_done = true;
    if (m_lock >= 0)
        ::close(m_lock);
    m_lock = -1;
}

bool isTempOutputName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.sondrel-[A-Za-z0-9]{%1}\\.part$").arg(TempRandomChars));
    return pattern.match(fileName).hasMatch();
}

int removeStaleTempOutputs(const QString& folder)
{
    int removed = 0;
    const QStringList names = QDir(folder).entryList({TempPrefix + QLatin1Char('*') + TempSuffix},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!isTempOutputName(name))
            continue;
        const QByteArray path = local(QDir(folder).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st {};
        // Only a regular file that no running conversion holds locked.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace sondrel
