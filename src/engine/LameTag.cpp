#include "LameTag.h"

#include "MpegAudio.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sondrel::lametag {
namespace {

// libmp3lame 3.100 (VbrTag.c): the tag is 120 bytes of Xing fields (with the table of
// contents) and 36 bytes of LAME extension after the side information; VBR streams put it in
// a frame of 128 (MPEG-1), 64 (MPEG-2) or 32 kbps (MPEG-2.5), CBR ones at their own rate.
constexpr int kTagBytes = 120 + 36;
constexpr int kMaxFrameBytes = 2880;

bool isMpeg1(int rate) { return rate >= 32000; }

int sideInfoBytes(int rate, int channels)
{
    return isMpeg1(rate) ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
}

std::uint32_t headerWord(int rate, int channels, int bitrateIndex)
{
    const std::uint32_t versionBits = isMpeg1(rate) ? 3 : rate >= 16000 ? 2 : 0;
    const int base = isMpeg1(rate) ? rate : rate >= 16000 ? rate * 2 : rate * 4;
    const std::uint32_t rateIndex = base == 44100 ? 0 : base == 48000 ? 1 : 2;
    const std::uint32_t mode = channels == 1 ? 3 : 1; // mono or joint stereo, as LAME writes
    return 0xFFE00000u | (versionBits << 19) | (1u << 17) /* layer III */ | (1u << 16) /* no CRC */
           | (std::uint32_t(bitrateIndex) << 12) | (rateIndex << 10) | (mode << 6) | (1u << 2) /* original */;
}

// The smallest bit-rate index whose frame holds the tag; its header.
std::optional<mpeg::FrameHeader> tagFrameHeader(int rate, int channels)
{
    const int needed = 4 + sideInfoBytes(rate, channels) + kTagBytes;
    for (int index = 1; index < 15; ++index) {
        const auto h = mpeg::parseFrameHeader(headerWord(rate, channels, index));
        if (h && h->frameBytes >= needed)
            return h;
    }
    return std::nullopt;
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

// CRC-16 with polynomial 0x8005, reflected (0xA001), starting at 0: the LAME tag's checksum.
std::uint16_t crc16(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace

bool lameWritesTag(int lameVersion, int sampleRate, int channels, bool vbr, int cbrKbps)
{
    if (sampleRate <= 0)
        return false;
    int kbps = cbrKbps;
    if (vbr)
        kbps = lameVersion == 1 ? 128 : sampleRate < 16000 ? 32 : 64;
    const int frameBytes = ((lameVersion + 1) * 72000 * kbps) / sampleRate;
    const int sideInfo = 4 + (lameVersion == 1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17));
    return frameBytes >= sideInfo + kTagBytes && frameBytes <= kMaxFrameBytes;
}

int infoFrameSize(int sampleRate, int channels)
{
    const auto h = tagFrameHeader(sampleRate, channels);
    return h ? h->frameBytes : 0;
}

std::vector<std::uint8_t> buildInfoFrame(const InfoFrame& info)
{
    const auto h = tagFrameHeader(info.sampleRate, info.channels);
    if (!h)
        return {};
    std::vector<std::uint8_t> frame(std::size_t(h->frameBytes), 0);
    std::uint8_t* f = frame.data();
    int index = 1;
    while (index < 15 && mpeg::parseFrameHeader(headerWord(info.sampleRate, info.channels, index))->frameBytes != h->frameBytes)
        ++index;
    put32(f, headerWord(info.sampleRate, info.channels, index));

    std::uint8_t* t = f + 4 + sideInfoBytes(info.sampleRate, info.channels);
    std::memcpy(t, "Info", 4);
    put32(t + 4, 0x0F); // frames, bytes, table of contents, quality
    put32(t + 8, info.frames);
    const std::uint32_t totalBytes = info.streamBytes + std::uint32_t(frame.size());
    put32(t + 12, totalBytes);
    for (int i = 0; i < 100; ++i) // constant bit rate: a straight line
        t[16 + i] = std::uint8_t(std::min(255, i * 256 / 100));
    put32(t + 116, std::uint32_t(std::clamp(info.quality, 0, 100)));

    std::uint8_t* x = t + 120; // LAME extension
    std::memcpy(x, "LAME3.100", 9);
    x[9] = 0x01;               // tag revision 0, CBR
    x[10] = std::uint8_t(std::clamp((info.lowpassHz + 50) / 100, 0, 255));
    // x[11..14] peak, x[15..18] replay gains, x[19] flags: unknown, left 0
    x[20] = std::uint8_t(std::clamp(info.cbrKbps, 0, 255));
    const int delay = std::clamp(info.encoderDelay, 0, 4095);
    const int padding = std::clamp(info.padding, 0, 4095);
    x[21] = std::uint8_t(delay >> 4);
    x[22] = std::uint8_t(((delay & 0x0F) << 4) | (padding >> 8));
    x[23] = std::uint8_t(padding & 0xFF);
    put32(x + 28, totalBytes); // music length
    // x[32..33] music CRC: not known without reading the stream back
    const std::size_t crcAt = std::size_t(x + 34 - f);
    const std::uint16_t crc = crc16(f, crcAt);
    f[crcAt] = std::uint8_t(crc >> 8);
    f[crcAt + 1] = std::uint8_t(crc & 0xFF);
    return frame;
}

} // namespace sondrel::lametag
