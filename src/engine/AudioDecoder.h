#pragma once
// Decoding one input file to interleaved float samples at the stream's own rate and channel
// count, delivering exactly the number of samples counted at opening.
#include "InputFile.h"
#include "SampleArray.h"
#include "SampleCounting.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sondrel {

class AudioDecoder {
public:
    // Opens, counts and decodes the first frame (which fixes rate and channels). Throws
    // EngineError for anything that is not decodable audio. Once cancel is set, opening and
    // reading throw CancelledError.
    explicit AudioDecoder(const QString& path, const std::atomic<bool>* cancel = nullptr);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int sampleRate() const { return m_rate; }
    int channels() const { return m_layout.value.nb_channels; }
    std::int64_t sampleCount() const { return m_count; }
    CountMethod countMethod() const { return m_method; }
    // Bits per sample of a lossless source (16, 24, ...); 0 for lossy ones.
    int sourceBits() const { return m_sourceBits; }

    // Up to maxElements interleaved samples (whole sample frames); empty at the end. The
    // total is exactly sampleCount(): should the decoder give less (damaged data), silence
    // makes up the rest at the end; should it give more, the surplus is dropped.
    SampleArray read(int maxElements);

    // Once the end is reached: samples per channel added as silence (> 0) or dropped (< 0).
    std::int64_t lengthCorrection() const { return m_padded - m_dropped; }
    // Whether the file was written to since it was opened.
    bool sourceChanged() const { return m_input.source()->changedSinceOpen(); }

private:
    bool decodeMore();          // appends the next decoded frame to m_pending; false at the end
    void append(const AVFrame* frame);
    void flushResampler();
    void settle();              // after the last delivered sample: account for any surplus

    InputFile m_input;
    int m_stream = -1;
    ff::CodecContextPtr m_decoder;
    std::unique_ptr<FrameSource> m_frames;
    ff::SwrPtr m_swr;
    int m_swrFormat = -1, m_swrRate = 0, m_swrChannels = 0;

    struct Layout {
        AVChannelLayout value{};
        ~Layout() { av_channel_layout_uninit(&value); }
    };
    int m_rate = 0;
    Layout m_layout;                // what read() delivers
    std::int64_t m_count = 0;
    CountMethod m_method = CountMethod::FullDecode;
    int m_sourceBits = 0;

    std::vector<float> m_pending;   // decoded, not yet delivered
    std::size_t m_pendingPos = 0;
    bool m_manualTrim = false;      // the decoder leaves trimming to us (Ogg Vorbis)
    std::int64_t m_startSkip = 0;
    bool m_decoderDone = false;
    bool m_settled = false;
    std::int64_t m_delivered = 0;
    std::int64_t m_padded = 0;
    std::int64_t m_dropped = 0;
};

} // namespace sondrel
