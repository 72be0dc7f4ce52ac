#include "SourceFile.h"

#include "EngineError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sondrel {

namespace {
std::string quoted(const QString& path)
{
    return "\"" + path.toStdString() + "\"";
}
} // namespace

std::shared_ptr<const SourceFile> SourceFile::open(const QString& path, const std::atomic<bool>* cancel)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        throw EngineError(quoted(path) + " cannot be opened (" + std::strerror(errno) + ")");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EngineError(quoted(path) + " is not a regular file");
    }
    // Regular files never block; the flag only matters for what was refused above. (No
    // other status flag was asked for, so clearing them all clears just this one.)
    ::fcntl(fd, F_SETFL, 0);
    const Stamp opened{std::int64_t(st.st_size), std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    return std::shared_ptr<const SourceFile>(new SourceFile(path, fd, cancel, opened));
}

SourceFile::SourceFile(QString path, int fd, const std::atomic<bool>* cancel, Stamp opened)
    : m_path(std::move(path)), m_opened(opened), m_fd(fd), m_cancel(cancel)
{
}

SourceFile::Stamp SourceFile::stamp() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return {-1, -1};
    return {std::int64_t(st.st_size), std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool SourceFile::changedSinceOpen() const
{
    return !(stamp() == m_opened);
}

SourceFile::~SourceFile()
{
    ::close(m_fd);
}

std::int64_t SourceFile::readAt(std::int64_t offset, void* buffer, std::int64_t size) const
{
    if (cancelled())
        return -ECANCELED;
    for (;;) {
        const ssize_t n = ::pread(m_fd, buffer, std::size_t(size), off_t(offset));
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return -errno;
    }
}

std::int64_t SourceFile::size() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return -errno;
    return st.st_size;
}

} // namespace sondrel
