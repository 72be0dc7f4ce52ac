#pragma once
// MPEG audio facts that the engine needs without decoding: the frame header, the Xing/Info
// (with LAME extension) and VBRI headers at the start of a stream, and which sample rate /
// bit rate pairs MPEG layer III allows.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sondrel::mpeg {

enum class Version { Mpeg1, Mpeg2, Mpeg25 };

struct FrameHeader {
    Version version = Version::Mpeg1;
    int layer = 3;            // 1, 2 or 3
    int bitrateKbps = 0;      // 0: free format
    int sampleRate = 0;
    int channels = 2;
    bool padding = false;
    int frameBytes = 0;       // 0 for free format (size unknown from the header)
    int samplesPerFrame = 0;
};

// Decodes the 4 header bytes of an MPEG audio frame (big-endian word); nothing when the
// word is not a valid header (bad sync, reserved version/layer/rate, bit-rate index 15).
std::optional<FrameHeader> parseFrameHeader(std::uint32_t word);
std::optional<FrameHeader> parseFrameHeader(const std::uint8_t* bytes, std::size_t size);

// The VBR header found in the first frame of a stream.
struct VbrHeader {
    bool vbri = false;          // VBRI (Fraunhofer) rather than Xing/Info
    std::uint32_t frames = 0;   // audio frames after the header frame; 0 = not given
    std::uint32_t bytes = 0;    // stream bytes including the header frame; 0 = not given
    bool hasPadding = false;    // LAME extension with encoder delay and padding (gapless)
    int startPadding = 0;       // encoder delay, samples
    int endPadding = 0;         // padding at the end, samples
};

// Looks for a Xing/Info or VBRI header in the frame starting at frame[0] (its size bytes
// available). Follows the offsets decoders use.
std::optional<VbrHeader> parseVbrHeader(const std::uint8_t* frame, std::size_t size);

// Whether MPEG layer III has this sample rate with this bit rate (a legal bit-rate value
// of that MPEG version; MPEG-2.5 is limited to 64 kbps), with 1 or 2 channels.
bool layer3Allows(int sampleRate, int kbps, int channels);

} // namespace sondrel::mpeg
