#pragma once
// The LAME "Info" tag frame that makes an MP3 gapless (frame count, encoder delay, padding).
// libmp3lame writes its own when the tag fits into a frame at the stream's bit rate; at low
// CBR bit rates it does not fit and LAME silently writes none. For those streams the encoder
// writes this frame itself, at the smallest bit rate that holds it, as LAME does for VBR.
#include <cstdint>
#include <vector>

namespace sondrel::lametag {

// Whether libmp3lame 3.100 writes its own tag for this stream: lame_get_version() (1 =
// MPEG-1), output rate, output channels, VBR or not, and lame_get_brate() for CBR.
bool lameWritesTag(int lameVersion, int sampleRate, int channels, bool vbr, int cbrKbps);

struct InfoFrame {
    int sampleRate = 44100;
    int channels = 2;
    std::uint32_t frames = 0;       // audio frames after the Info frame
    std::uint32_t streamBytes = 0;  // bytes of those frames
    int encoderDelay = 0;           // samples
    int padding = 0;                // samples
    int lowpassHz = 0;
    int cbrKbps = 0;
    int quality = 0;                // LAME's quality indicator (0..100)
};

// Size in bytes of the Info frame for this rate and channel count.
int infoFrameSize(int sampleRate, int channels);
// The complete frame (infoFrameSize bytes).
std::vector<std::uint8_t> buildInfoFrame(const InfoFrame& info);

} // namespace sondrel::lametag
