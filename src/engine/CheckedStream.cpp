#include "CheckedStream.h"

#include "EngineError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sondrel {

namespace {
// Bytes moved at a time when a block is inserted or removed.
constexpr std::int64_t kMoveChunk = 1 << 20;
} // namespace

CheckedStream::CheckedStream(const QString& path) : m_name(QFile::encodeName(path))
{
    m_fd = ::open(m_name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (m_fd < 0)
        throw EngineError(QStringLiteral("%1: cannot write the file: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                              .toStdString());
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        throw EngineError(QStringLiteral("%1: cannot write the file: not a regular file").arg(path).toStdString());
    }
}

CheckedStream::~CheckedStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString CheckedStream::errorText() const
{
    return QString::fromLocal8Bit(std::strerror(m_error));
}

void CheckedStream::fail(int error)
{
    if (m_error == 0)
        m_error = error ? error : EIO;
}

bool CheckedStream::readAt(std::int64_t offset, char* data, std::int64_t size, std::int64_t* got)
{
    *got = 0;
    while (*got < size) {
        const ssize_t n = ::pread(m_fd, data + *got, std::size_t(size - *got), off_t(offset + *got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail(errno);
            return false;
        }
        if (n == 0)
            break;
        *got += n;
    }
    return true;
}

bool CheckedStream::writeAt(std::int64_t offset, const char* data, std::int64_t size)
{
    if (m_error)
        return false;
    std::int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_fd, data + done, std::size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += n;
    }
    return true;
}

TagLib::ByteVector CheckedStream::readBlock(unsigned long length)
{
    if (length == 0 || m_fd < 0)
        return {};
    const std::int64_t size = length;
    const std::int64_t end = this->length();
    const std::int64_t wanted = std::clamp<std::int64_t>(end - m_pos, 0, size);
    if (wanted <= 0)
        return {};
    TagLib::ByteVector data(static_cast<unsigned int>(wanted), '\0');
    std::int64_t got = 0;
    readAt(m_pos, data.data(), wanted, &got);
    data.resize(static_cast<unsigned int>(got));
    m_pos += got;
    return data;
}

void CheckedStream::writeBlock(const TagLib::ByteVector& data)
{
    if (writeAt(m_pos, data.data(), data.size()))
        m_pos += data.size();
}

void CheckedStream::insert(const TagLib::ByteVector& data, unsigned long start, unsigned long replace)
{
    const std::int64_t at = std::int64_t(start);
    const std::int64_t size = data.size();
    const std::int64_t old = std::int64_t(replace);
    if (size <= old) {
        if (writeAt(at, data.data(), size) && size < old)
            removeBlock(static_cast<unsigned long>(at + size), static_cast<unsigned long>(old - size));
        m_pos = at + size;
        return;
    }
    // Everything behind the replaced bytes moves back by the difference, from the end on, so
    // that no byte is overwritten before it has been moved.
    const std::int64_t shift = size - old;
    const std::int64_t fileEnd = length();
    std::vector<char> buffer(std::size_t(std::min(kMoveChunk, std::max<std::int64_t>(1, fileEnd))));
    std::int64_t end = fileEnd;
    const std::int64_t tail = at + old;
    while (end > tail && !m_error) {
        const std::int64_t from = std::max(tail, end - std::int64_t(buffer.size()));
        std::int64_t got = 0;
        if (!readAt(from, buffer.data(), end - from, &got) || got != end - from) {
            fail(EIO);
            break;
        }
        if (!writeAt(from + shift, buffer.data(), got))
            break;
        end = from;
    }
    writeAt(at, data.data(), size);
    m_pos = at + size;
}

void CheckedStream::removeBlock(unsigned long start, unsigned long length)
{
    if (length == 0)
        return;
    const std::int64_t fileEnd = this->length();
    std::int64_t read = std::int64_t(start) + std::int64_t(length);
    std::int64_t write = std::int64_t(start);
    std::vector<char> buffer(static_cast<std::size_t>(kMoveChunk));
    while (read < fileEnd && !m_error) {
        std::int64_t got = 0;
        if (!readAt(read, buffer.data(), std::min<std::int64_t>(kMoveChunk, fileEnd - read), &got) || got == 0)
            break;
        if (!writeAt(write, buffer.data(), got))
            break;
        read += got;
        write += got;
    }
    truncate(long(std::min(write, fileEnd)));
}

void CheckedStream::seek(long offset, Position p)
{
    const std::int64_t base = p == Beginning ? 0 : p == Current ? m_pos : length();
    m_pos = std::max<std::int64_t>(0, base + offset);
}

long CheckedStream::length()
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        fail(errno);
        return 0;
    }
    return long(st.st_size);
}

void CheckedStream::truncate(long length)
{
    if (m_error)
        return;
    while (::ftruncate(m_fd, off_t(length)) != 0) {
        if (errno != EINTR) {
            fail(errno);
            return;
        }
    }
}

} // namespace sondrel
