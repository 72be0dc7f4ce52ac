#include "FrameStreams.h"

#include "MpegAudio.h"

#include <cstring>
#include <optional>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

namespace sondrel {
namespace {

// One frame header: its size in bytes, and the fields that stay the same through a stream.
struct FrameHead {
    int bytes = 0;
    std::uint32_t kind = 0;
};
constexpr int kHeadBytes = 8;
using HeadParser = std::optional<FrameHead> (*)(const unsigned char* h);

std::optional<FrameHead> mpegHead(const unsigned char* h)
{
    const auto header = mpeg::parseFrameHeader(h, 4);
    if (!header || header->frameBytes <= 0)
        return std::nullopt;
    return FrameHead{header->frameBytes,
                     std::uint32_t(int(header->version) << 24 | header->layer << 20 | header->sampleRate)};
}

// ADTS: 12 sync bits, layer 0, the sampling-rate index and a 13-bit frame length that
// includes the 7-byte header (9 with its CRC).
std::optional<FrameHead> adtsHead(const unsigned char* h)
{
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0)
        return std::nullopt;
    const int rateIndex = (h[2] >> 2) & 0x0F;
    const int length = ((h[3] & 0x03) << 11) | (h[4] << 3) | (h[5] >> 5);
    const int header = (h[1] & 0x01) ? 7 : 9;
    if (rateIndex > 12 || length <= header)
        return std::nullopt;
    return FrameHead{length, std::uint32_t((h[1] & 0x08) << 8 | (h[2] & 0xC0) << 4 | rateIndex)};
}

// AC-3 (bsid up to 10): the size from the rate code and frame size code; E-AC-3 (bsid 11
// to 16): the size in 16-bit words, less one, in the header itself.
std::optional<FrameHead> ac3Head(const unsigned char* h)
{
    if (h[0] != 0x0B || h[1] != 0x77)
        return std::nullopt;
    const int bsid = h[5] >> 3;
    if (bsid <= 10) {
        static const int kbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                     192, 224, 256, 320, 384, 448, 512, 576, 640};
        static const int rates[3] = {48000, 44100, 32000};
        const int rateCode = h[4] >> 6, sizeCode = h[4] & 0x3F;
        if (rateCode == 3 || sizeCode >= 38)
            return std::nullopt;
        // Words per 1536-sample frame; at 44.1 kHz odd codes carry one word of padding.
        const int words = kbps[sizeCode / 2] * 96000 / rates[rateCode] + (rateCode == 1 ? (sizeCode & 1) : 0);
        return FrameHead{words * 2, std::uint32_t(bsid << 8 | rateCode)};
    }
    if (bsid > 16)
        return std::nullopt;
    const int words = ((h[2] & 0x07) << 8 | h[3]) + 1;
    if ((h[4] >> 6) == 3 && ((h[4] >> 4) & 3) == 3)
        return std::nullopt; // reserved rate
    return FrameHead{words * 2, std::uint32_t(bsid << 8 | (h[4] >> 6))};
}

// The header bytes at offset; those past the end of the file read as zeros. False when not
// even the 4 bytes of the shortest header are there.
bool readAt(AVIOContext* io, std::int64_t offset, unsigned char* h)
{
    std::memset(h, 0, kHeadBytes);
    return avio_seek(io, offset, SEEK_SET) >= 0 && avio_read(io, h, kHeadBytes) >= 4;
}

// Frames of one kind from offset on: three in a row, or at least two that end exactly at the
// end of the file (a stream too short for three), or before an ID3v1 tag there.
bool chainAt(AVIOContext* io, std::int64_t offset, std::int64_t fileSize, HeadParser parse)
{
    std::optional<FrameHead> first;
    for (int frame = 0; frame < 3; ++frame) {
        unsigned char h[kHeadBytes];
        if (frame >= 2 && (offset == fileSize || (offset + 128 == fileSize && readAt(io, offset, h)
                                                   && std::memcmp(h, "TAG", 3) == 0)))
            return true;
        if (!readAt(io, offset, h))
            return false;
        const std::optional<FrameHead> head = parse(h);
        if (!head || (first && head->kind != first->kind))
            return false;
        if (!first)
            first = head;
        offset += head->bytes;
    }
    return true;
}

} // namespace

bool mpegFramesAt(AVIOContext* io, std::int64_t offset)
{
    return chainAt(io, offset, -1, &mpegHead);
}

bool frameStreamNear(AVIOContext* io, std::int64_t offset, const char* demuxer)
{
    // libavformat's demuxer, the frame header, the first byte of its sync word.
    struct Kind {
        const char* demuxer;
        HeadParser parse;
        unsigned char sync;
    };
    static const Kind kinds[] = {{"mp3", &mpegHead, 0xFF}, {"aac", &adtsHead, 0xFF}, {"ac3", &ac3Head, 0x0B},
                                 {"eac3", &ac3Head, 0x0B}};
    const Kind* kind = nullptr;
    for (const Kind& k : kinds)
        if (std::strcmp(demuxer, k.demuxer) == 0)
            kind = &k;
    if (!kind)
        return false;
    constexpr int kSpan = 64 * 1024;
    const std::int64_t fileSize = avio_size(io);
    std::vector<unsigned char> span(kSpan);
    int got = 0;
    if (avio_seek(io, offset, SEEK_SET) >= 0)
        got = avio_read(io, span.data(), kSpan);
    bool found = false;
    for (int i = 0; i < got && !found; ++i)
        found = span[std::size_t(i)] == kind->sync && chainAt(io, offset + i, fileSize, kind->parse);
    avio_seek(io, 0, SEEK_SET);
    return found;
}

} // namespace sondrel
