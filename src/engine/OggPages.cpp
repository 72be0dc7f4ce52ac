#include "OggPages.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/intreadwrite.h>
}

#include <array>
#include <cstring>

namespace sondrel::ogg {
namespace {

constexpr int kHeaderSize = 27;

// The Ogg checksum: CRC-32, polynomial 0x04C11DB7, not reflected, starting at 0.
std::uint32_t crc(const std::uint8_t* data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int b = 0; b < 8; ++b)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t c = 0;
    for (std::size_t i = 0; i < size; ++i)
        c = (c << 8) ^ table[((c >> 24) ^ data[i]) & 0xFF];
    return c;
}

// The whole page starting at p if it is one (magic, version, size within the buffer,
// checksum); its size, or 0.
std::size_t pageAt(const std::uint8_t* p, std::size_t available)
{
    if (available < kHeaderSize || std::memcmp(p, "OggS", 4) != 0 || p[4] != 0)
        return 0;
    const std::size_t segments = p[26];
    if (available < kHeaderSize + segments)
        return 0;
    std::size_t size = kHeaderSize + segments;
    for (std::size_t i = 0; i < segments; ++i)
        size += p[kHeaderSize + i];
    if (size > available)
        return 0;
    std::array<std::uint8_t, 4> stored{};
    std::memcpy(stored.data(), p + 22, 4);
    std::vector<std::uint8_t> copy(p, p + size);
    std::memset(copy.data() + 22, 0, 4);
    return crc(copy.data(), size) == AV_RL32(stored.data()) ? size : 0;
}

struct RestorePosition {
    AVIOContext* io;
    std::int64_t pos;
    ~RestorePosition() { avio_seek(io, pos, SEEK_SET); }
};

} // namespace

std::vector<std::uint32_t> startSerials(AVIOContext* io)
{
    std::vector<std::uint32_t> serials;
    RestorePosition restore{io, avio_tell(io)};
    std::int64_t pos = 0;
    std::array<std::uint8_t, kHeaderSize + 255> head{};
    for (int pages = 0; pages < 64; ++pages) {
        if (avio_seek(io, pos, SEEK_SET) < 0 || avio_read(io, head.data(), kHeaderSize) != kHeaderSize)
            break;
        if (std::memcmp(head.data(), "OggS", 4) != 0 || !(head[5] & 0x02))
            break; // the first page that begins no stream ends the list
        const int segments = head[26];
        if (avio_read(io, head.data() + kHeaderSize, segments) != segments)
            break;
        std::int64_t body = 0;
        for (int i = 0; i < segments; ++i)
            body += head[size_t(kHeaderSize + i)];
        serials.push_back(AV_RL32(head.data() + 14));
        pos += kHeaderSize + segments + body;
    }
    return serials;
}

std::optional<std::int64_t> lastGranule(AVIOContext* io, std::uint32_t serial, std::int64_t window)
{
    RestorePosition restore{io, avio_tell(io)};
    const std::int64_t fileSize = avio_size(io);
    if (fileSize <= 0)
        return std::nullopt;
    const std::int64_t start = std::max<std::int64_t>(0, fileSize - window);
    std::vector<std::uint8_t> buf(std::size_t(fileSize - start));
    if (avio_seek(io, start, SEEK_SET) < 0 || avio_read(io, buf.data(), int(buf.size())) != int(buf.size()))
        return std::nullopt;
    // From the end backwards: the first page of this stream with a granule position.
    for (std::size_t i = buf.size() >= kHeaderSize ? buf.size() - kHeaderSize + 1 : 0; i-- > 0;) {
        if (buf[i] != 'O' || !pageAt(buf.data() + i, buf.size() - i))
            continue;
        const std::uint8_t* p = buf.data() + i;
        const auto granule = std::int64_t(AV_RL64(p + 6));
        if (AV_RL32(p + 14) == serial && granule != -1)
            return granule;
    }
    return std::nullopt;
}

} // namespace sondrel::ogg
