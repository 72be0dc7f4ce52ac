#pragma once
// Rate, channel and sample-format conversion of interleaved float input for the encoders
// (libswresample, its rate changes by libsoxr). Mono to stereo copies the channel to both
// sides; stereo to mono averages. Where asked to, the reduction to a 16- or 8-bit format is
// dithered (triangular, one step of the output either way), so quiet sounds keep no
// distortion of the rounding.
#include "FfmpegSupport.h"

namespace sondrel {

class SampleConverter {
public:
    SampleConverter(int inChannels, int inRate, int outChannels, int outRate, AVSampleFormat outFormat,
                    bool dither = false);

    // True when the input already is the output (float interleaved, same rate and channels).
    bool passthrough() const { return !m_swr; }
    // Output frames that converting `frames` input frames can give at most.
    int capacityFor(int frames) const;
    // Converts into out (one plane per channel for planar formats, else one); returns the
    // frames written, at most capacity.
    int convert(const float* in, int frames, std::uint8_t** out, int capacity);
    // Hands out what the resampler still holds at the end of the input: in all, as many
    // frames as the input lasts at the output's rate (rounded up, or the one frame less
    // the resampler may give), even for an input shorter than the resampler's filter.
    // Nothing may be converted after it.
    int flush(std::uint8_t** out, int capacity);

    int outChannels() const { return m_outChannels; }
    int outRate() const { return m_outRate; }
    bool dithers() const { return m_dither; }
    AVSampleFormat outFormat() const { return m_outFormat; }

private:
    int drain(std::uint8_t** out, int offset, int capacity);

    ff::SwrPtr m_swr;
    int m_inChannels, m_outChannels, m_inRate, m_outRate;
    AVSampleFormat m_outFormat;
    bool m_dither = false;
    std::int64_t m_inFrames = 0, m_outFrames = 0;
};

} // namespace sondrel
