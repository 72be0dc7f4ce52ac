#include "FlacLength.h"

#include "InputFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sondrel {

namespace flac {

namespace {

std::uint8_t crc8(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = std::uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

std::uint16_t crc16(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= std::uint16_t(data[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = std::uint16_t((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

// The frame's (or first sample's) number at pos: UTF-8 style, up to 36 bits (7 bytes); pos
// moves past it. A frame number has at most 31 bits.
std::optional<std::int64_t> codedNumber(const std::uint8_t* d, std::size_t size, std::size_t& pos, bool variable)
{
    const std::uint8_t lead = d[pos++];
    int more = 0;
    std::int64_t value = 0;
    if (lead < 0x80) {
        value = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        more = 1, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, value = lead & 0x07;
    } else if ((lead & 0xFC) == 0xF8) {
        more = 4, value = lead & 0x03;
    } else if ((lead & 0xFE) == 0xFC) {
        more = 5, value = lead & 0x01;
    } else if (lead == 0xFE) {
        more = 6;
    } else {
        return std::nullopt;
    }
    if (pos + std::size_t(more) > size)
        return std::nullopt;
    for (int i = 0; i < more; ++i) {
        const std::uint8_t c = d[pos++];
        if ((c & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (c & 0x3F);
    }
    if (!variable && more > 5)
        return std::nullopt;
    return value;
}

// The block size its code gives; codes 6 and 7 read it from pos, which moves past it.
std::optional<int> codedBlockSize(int sizeCode, const std::uint8_t* d, std::size_t size, std::size_t& pos)
{
    if (sizeCode == 1)
        return 192;
    if (sizeCode <= 5)
        return 576 << (sizeCode - 2);
    if (sizeCode >= 8)
        return 256 << (sizeCode - 8);
    const std::size_t n = sizeCode == 6 ? 1 : 2;
    if (pos + n > size)
        return std::nullopt;
    const int blockSize = (n == 1 ? d[pos] : (d[pos] << 8) | d[pos + 1]) + 1;
    pos += n;
    return blockSize;
}

} // namespace

bool frameIsWhole(const std::uint8_t* data, std::size_t size)
{
    const auto h = parseFrameHeader(data, size);
    return h && size >= std::size_t(h->length) + 2 && crc16(data, size - 2) == ((data[size - 2] << 8) | data[size - 1]);
}

std::optional<FrameHeader> parseFrameHeader(const std::uint8_t* d, std::size_t size)
{
    if (size < 6 || d[0] != 0xFF || (d[1] & 0xFE) != 0xF8)
        return std::nullopt;
    FrameHeader h;
    h.variable = d[1] & 1;
    const int sizeCode = d[2] >> 4;
    const int rateCode = d[2] & 0x0F;
    const int channelCode = d[3] >> 4;
    if (sizeCode == 0 || rateCode == 15 || channelCode > 10 || (d[3] & 1))
        return std::nullopt;
    std::size_t pos = 4;
    const auto number = codedNumber(d, size, pos, h.variable);
    if (!number)
        return std::nullopt;
    h.number = *number;
    const auto blockSize = codedBlockSize(sizeCode, d, size, pos);
    if (!blockSize)
        return std::nullopt;
    h.blockSize = *blockSize;
    if (rateCode >= 12 && rateCode <= 14)
        pos += rateCode == 12 ? 1 : 2;
    if (pos + 1 > size || crc8(d, pos) != d[pos])
        return std::nullopt;
    h.length = int(pos + 1);
    return h;
}

} // namespace flac

std::optional<std::int64_t> flacLengthFromStreamInfo(InputFile& in, int si)
{
    const AVCodecParameters* par = in.stream(si)->codecpar;
    if (std::strcmp(in.format()->name, "flac") != 0 || par->codec_id != AV_CODEC_ID_FLAC || par->extradata_size < 34)
        return std::nullopt;
    const std::uint8_t* info = par->extradata;
    const int maxBlock = (info[2] << 8) | info[3];
    const int maxFrame = (info[7] << 16) | (info[8] << 8) | info[9];
    const std::int64_t total = (std::int64_t(info[13] & 0x0F) << 32) | (std::int64_t(info[14]) << 24)
        | (std::int64_t(info[15]) << 16) | (std::int64_t(info[16]) << 8) | info[17];
    if (total <= 0 || maxBlock <= 0)
        return std::nullopt; // 0: the encoder did not know the length

    // The frames in the tail of the file: the last one must end exactly at the stated total,
    // and none may start at or beyond it.
    AVIOContext* io = in.io();
    const std::int64_t start = avio_tell(io);
    const std::int64_t fileSize = avio_size(io);
    const std::int64_t window = std::min<std::int64_t>(
        fileSize, std::clamp<std::int64_t>(maxFrame > 0 ? 2 * std::int64_t(maxFrame) + 64 : 1 << 20, 64 * 1024, 4 << 20));
    std::vector<std::uint8_t> tail(std::size_t(std::max<std::int64_t>(window, 0)));
    bool read = !tail.empty() && avio_seek(io, fileSize - window, SEEK_SET) >= 0
        && avio_read(io, tail.data(), int(tail.size())) == int(tail.size());
    avio_seek(io, start, SEEK_SET);
    if (!read)
        return std::nullopt;
    std::optional<std::size_t> last; // where the frame that ends at the total starts
    for (std::size_t i = 0; i + 1 < tail.size(); ++i) {
        if (tail[i] != 0xFF || (tail[i + 1] & 0xFE) != 0xF8)
            continue;
        const auto h = flac::parseFrameHeader(tail.data() + i, tail.size() - i);
        if (!h)
            continue;
        const std::int64_t first = h->variable ? h->number : h->number * maxBlock;
        if (first >= total)
            return std::nullopt;
        if (first + h->blockSize == total)
            last = i;
    }
    if (!last)
        return std::nullopt;
    // That frame must be whole (its checksum right) up to the end of the file, or up to an
    // ID3v1 tag there: a file cut inside its last frame is counted by what the decoder gets.
    std::size_t end = tail.size();
    if (end >= *last + 128 && std::memcmp(tail.data() + end - 128, "TAG", 3) == 0
        && !flac::frameIsWhole(tail.data() + *last, end - *last))
        end -= 128;
    if (!flac::frameIsWhole(tail.data() + *last, end - *last))
        return std::nullopt;
    return total;
}

} // namespace sondrel
