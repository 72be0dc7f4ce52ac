#include "OutputFiles.h"

#include "FolderEntries.h"

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

bool isRegularFile(const QString& path)
{
    struct stat st {};
    return ::stat(local(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

OutputLinkError::OutputLinkError(const QString& link)
    : OutputError(("the output folder holds a link: " + link).toStdString())
{
}

std::shared_ptr<const OutputDir> OutputDir::open(const QString& folder)
{
    const int fd = ::open(local(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw OutputError(systemError(folder, errno));
    return std::shared_ptr<const OutputDir>(
        new OutputDir(fd, folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')));
}

OutputDir::~OutputDir()
{
    ::close(m_fd);
}

std::shared_ptr<const OutputDir> OutputDir::subFolder(const QString& relative) const
{
    std::shared_ptr<const OutputDir> sub;
    int parent = m_fd;
    QString path = m_path;
    for (const QString& name : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            throw OutputError(systemError(path + name, EINVAL));
        const QByteArray entry = local(name);
        path += name;
        const int made = ::mkdirat(parent, entry.constData(), 0777) == 0 ? 0 : errno;
        const int fd = ::openat(parent, entry.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            const int opening = errno;
            struct stat st {};
            if (::fstatat(parent, entry.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                throw OutputLinkError(path);
            throw OutputError(systemError(path, made != 0 && made != EEXIST ? made : opening));
        }
        path += QLatin1Char('/');
        sub = std::shared_ptr<const OutputDir>(new OutputDir(fd, path));
        parent = fd;
    }
    if (!sub)
        throw OutputError(systemError(m_path + relative, EINVAL));
    return sub;
}

std::optional<FileId> OutputDir::entryId(const QString& name) const
{
    struct stat st {};
    if (::fstatat(m_fd, local(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

std::optional<FileId> OutputDir::fileId(const QString& name) const
{
    struct stat st {};
    if (::fstatat(m_fd, local(name).constData(), &st, 0) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

namespace {
std::int64_t nanoseconds(const struct timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
} // namespace

std::optional<std::int64_t> modifiedNsOf(const QString& path)
{
    struct stat st {};
    if (::stat(local(path).constData(), &st) != 0)
        return std::nullopt;
    return nanoseconds(st.st_mtim);
}

std::optional<std::int64_t> OutputDir::modifiedNs(const QString& name) const
{
    struct stat st {};
    if (::fstatat(m_fd, local(name).constData(), &st, 0) != 0)
        return std::nullopt;
    return nanoseconds(st.st_mtim);
}

bool OutputDir::isFolder(const QString& name) const
{
    struct stat st {};
    return ::fstatat(m_fd, local(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

TempOutput::TempOutput(std::shared_ptr<const OutputDir> folder) : m_folder(std::move(folder))
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = randomName();
        const QByteArray entry = local(name);
        const int fd = ::openat(m_folder->fd(), entry.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw OutputError(systemError(m_folder->path(), errno));
        }
        // Held until the file is committed or removed: a locked temporary file is in use.
        ::flock(fd, LOCK_EX);
        m_name = entry;
        m_path = m_folder->path() + name;
        m_fd = fd;
        return;
    }
    throw OutputError(systemError(m_folder->path(), EEXIST));
}

TempOutput::~TempOutput()
{
    remove();
}

void TempOutput::sync()
{
    if (m_done || m_fd < 0)
        throw OutputError("the temporary file is gone");
    if (::fsync(m_fd) != 0)
        throw OutputError(std::strerror(errno));
}

void TempOutput::commit(const QString& target)
{
    if (m_done)
        throw OutputError("\"" + target.toStdString() + "\" was already written");
    const QString name = target.mid(m_folder->path().size());
    if (!target.startsWith(m_folder->path()) || name.isEmpty() || name.contains(QLatin1Char('/')))
        throw OutputError("\"" + target.toStdString() + "\" is not in the folder of its temporary file");
    // The data reaches the disk before the name does: after a power failure the target is
    // either the old file or the complete new one.
    if (::fsync(m_fd) != 0)
        throw OutputError(systemError(target, errno));
    const int dir = m_folder->fd();
    if (::renameat(dir, m_name.constData(), dir, local(name).constData()) != 0)
        throw OutputError(systemError(target, errno));
    m_done = true;
    ::close(m_fd);
    m_fd = -1;
    // And the new name reaches it too. File systems that cannot sync a folder say EINVAL.
    if (::fsync(dir) != 0 && errno != EINVAL)
        throw OutputError(systemError(target, errno));
}

void TempOutput::remove() noexcept
{
    if (!m_done && !m_name.isEmpty())
        ::unlinkat(m_folder->fd(), m_name.constData(), 0);
    m_done = true;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool isTempOutputName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.sondrel-[A-Za-z0-9]{%1}\\.part$").arg(TempRandomChars));
    return pattern.match(fileName).hasMatch();
}

int removeStaleTempOutputs(const OutputDir& folder)
{
    int removed = 0;
    const int dir = folder.fd();
    for (const QByteArray& name : folderEntries(dir)) {
        if (!isTempOutputName(QFile::decodeName(name)))
            continue;
        // Looked at before anything is opened: a pipe would block the open, a device or a
        // link is not ours.
        struct stat entry {};
        if (::fstatat(dir, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(entry.st_mode))
            continue;
        const int fd = ::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Only the regular file looked at, that no running conversion holds locked, and only
        // while its name still names it.
        struct stat opened {}, still {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == entry.st_dev
            && opened.st_ino == entry.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(dir, name.constData(), &still, AT_SYMLINK_NOFOLLOW) == 0 && still.st_ino == opened.st_ino
            && still.st_dev == opened.st_dev && ::unlinkat(dir, name.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace sondrel
