#include "MpegAudio.h"

#include <algorithm>
#include <array>

namespace sondrel::mpeg {
namespace {

// Bit rates in kbps by [table][index]; index 0 is free format, index 15 is invalid.
constexpr std::array<std::array<int, 15>, 5> kBitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 layer II, III
}};

constexpr std::array<int, 3> kRatesMpeg1{44100, 48000, 32000};

std::uint32_t readBe32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

} // namespace

std::optional<FrameHeader> parseFrameHeader(std::uint32_t w)
{
    if ((w & 0xFFE00000u) != 0xFFE00000u)
        return std::nullopt;
    const unsigned versionBits = (w >> 19) & 3;
    const unsigned layerBits = (w >> 17) & 3;
    const unsigned bitrateIndex = (w >> 12) & 15;
    const unsigned rateIndex = (w >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    FrameHeader h;
    h.version = versionBits == 3 ? Version::Mpeg1 : versionBits == 2 ? Version::Mpeg2 : Version::Mpeg25;
    h.layer = 4 - int(layerBits);
    const int divisor = h.version == Version::Mpeg1 ? 1 : h.version == Version::Mpeg2 ? 2 : 4;
    h.sampleRate = kRatesMpeg1[rateIndex] / divisor;
    h.padding = (w >> 9) & 1;
    h.channels = ((w >> 6) & 3) == 3 ? 1 : 2;

    const bool lsf = h.version != Version::Mpeg1;
    const int table = !lsf ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
    h.bitrateKbps = kBitrates[size_t(table)][bitrateIndex];
    h.samplesPerFrame = h.layer == 1 ? 384 : (h.layer == 2 || !lsf) ? 1152 : 576;

    if (h.bitrateKbps > 0) {
        const int bps = h.bitrateKbps * 1000;
        if (h.layer == 1)
            h.frameBytes = (12 * bps / h.sampleRate + (h.padding ? 1 : 0)) * 4;
        else
            h.frameBytes = (h.samplesPerFrame / 8) * bps / h.sampleRate + (h.padding ? 1 : 0);
    }
    return h;
}

std::optional<FrameHeader> parseFrameHeader(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size < 4)
        return std::nullopt;
    return parseFrameHeader(readBe32(bytes));
}

std::optional<VbrHeader> parseVbrHeader(const std::uint8_t* frame, std::size_t size)
{
    const auto h = parseFrameHeader(frame, size);
    if (!h || h->layer != 3)
        return std::nullopt;

    // Xing/Info sits right after the side information.
    const bool lsf = h->version != Version::Mpeg1;
    const std::size_t sideInfo = lsf ? (h->channels == 1 ? 9 : 17) : (h->channels == 1 ? 17 : 32);
    std::size_t p = 4 + sideInfo;
    if (p + 8 <= size) {
        const std::uint32_t tag = readBe32(frame + p);
        if (tag == 0x58696E67u /* Xing */ || tag == 0x496E666Fu /* Info */) {
            VbrHeader v;
            const std::uint32_t flags = readBe32(frame + p + 4);
            p += 8;
            auto take32 = [&](std::uint32_t& out) {
                if (p + 4 > size)
                    return false;
                out = readBe32(frame + p);
                p += 4;
                return true;
            };
            if ((flags & 1) && !take32(v.frames))
                return std::nullopt;
            if ((flags & 2) && !take32(v.bytes))
                return std::nullopt;
            if (flags & 4)
                p += 100; // table of contents
            if (flags & 8)
                p += 4;   // quality
            // LAME extension: 9-byte version string, then at +21 the 24-bit delay/padding.
            if (p + 24 <= size) {
                const std::uint8_t* lame = frame + p;
                const bool known = std::equal(lame, lame + 4, "LAME") || std::equal(lame, lame + 4, "Lavf")
                                   || std::equal(lame, lame + 4, "Lavc");
                if (known) {
                    const std::uint32_t d = (std::uint32_t(lame[21]) << 16) | (std::uint32_t(lame[22]) << 8) | lame[23];
                    v.hasPadding = true;
                    v.startPadding = int(d >> 12);
                    v.endPadding = int(d & 0xFFF);
                }
            }
            return v;
        }
    }
    // VBRI: always 32 bytes after the 4 header bytes.
    if (36 + 18 <= size && readBe32(frame + 36) == 0x56425249u /* VBRI */
        && frame[40] == 0 && frame[41] == 1) {
        VbrHeader v;
        v.vbri = true;
        v.bytes = readBe32(frame + 46);
        v.frames = readBe32(frame + 50);
        return v;
    }
    return std::nullopt;
}

bool layer3Allows(int sampleRate, int kbps, int channels)
{
    if (channels != 1 && channels != 2)
        return false;
    static constexpr std::array<int, 14> mpeg1{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr std::array<int, 14> mpeg2{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    auto in = [kbps](const auto& table) { return std::find(table.begin(), table.end(), kbps) != table.end(); };
    switch (sampleRate) {
    case 32000: case 44100: case 48000:
        return in(mpeg1);
    case 16000: case 22050: case 24000:
        return in(mpeg2);
    case 8000: case 11025: case 12000:
        return in(mpeg2) && kbps <= 64;
    default:
        return false;
    }
}

} // namespace sondrel::mpeg
