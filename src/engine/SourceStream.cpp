#include "SourceStream.h"

#include <QFile>
#include <algorithm>

namespace sondrel {

SourceStream::SourceStream(std::shared_ptr<const SourceFile> file)
    : m_file(std::move(file)), m_name(QFile::encodeName(m_file->path())), m_size(m_file->openedSize())
{
}

TagLib::ByteVector SourceStream::readBlock(unsigned long length)
{
    const std::int64_t wanted = std::clamp<std::int64_t>(m_size - m_pos, 0, std::int64_t(length));
    if (wanted <= 0)
        return {};
    TagLib::ByteVector data(static_cast<unsigned int>(wanted), '\0');
    const std::int64_t n = m_file->readAt(m_pos, data.data(), wanted);
    if (n <= 0)
        return {};
    data.resize(static_cast<unsigned int>(n));
    m_pos += n;
    return data;
}

void SourceStream::seek(long offset, Position p)
{
    const std::int64_t base = p == Beginning ? 0 : p == Current ? m_pos : m_size;
    m_pos = std::max<std::int64_t>(0, base + offset);
}

} // namespace sondrel
