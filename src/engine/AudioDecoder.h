#pragma once
// Decoding one input file to interleaved float samples at the stream's own rate and channel
// count, to the real end of the stream; the count found at opening is an estimate of that.
#include "InputFile.h"
#include "SampleArray.h"
#include "SampleCounting.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sondrel {

class AudioDecoder {
public:
    // Exact: the count every undamaged file decodes to, by a full decode where nothing
    // cheaper tells it. ForReading: only what reading needs (countForReading), so opening
    // takes no longer than its headers and first frame.
    enum class Counting { Exact, ForReading };

    // Opens, counts and decodes the first frame (which fixes rate and channels). Throws
    // EngineError for anything that is not decodable audio. Once cancel is set, opening and
    // reading throw CancelledError.
    explicit AudioDecoder(const QString& path, const std::atomic<bool>* cancel = nullptr,
                          Counting counting = Counting::Exact);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int sampleRate() const { return m_rate; }
    int channels() const { return m_layout.value.nb_channels; }
    // The samples per channel counted at opening (exact for every undamaged file; 0 when
    // opened ForReading and not counted).
    std::int64_t sampleCount() const { return m_count; }
    CountMethod countMethod() const { return m_method; }
    // Bits per sample of a lossless source (16, 24, ...); 0 for lossy ones.
    int sourceBits() const { return m_sourceBits; }

    // Narrows reading to the sample frames [start, end) of the decoded stream (end -1: to
    // its end), before the first read. The first frame delivered is the very sample frame
    // `start` of a decode from the beginning: the reader seeks to a point before it (far
    // enough back that a lossy decoder's state is the same again) and drops what precedes it
    // by the decoded frames' timestamps; where the container cannot seek or the timestamps
    // are missing, it decodes from the beginning and drops. The stream's real end still ends
    // the range. sampleCount becomes the range's length (for end -1 the count less start),
    // framesRead counts from start. Throws EngineError for a range that is not one, or after
    // reading has begun.
    void setRange(std::int64_t start, std::int64_t end);

    // Up to maxElements interleaved samples (whole sample frames); empty at the end. What
    // the decoder gives, to its end (damaged data is not made up with silence), trimmed at
    // the start as the container marks it and at the end where the container states it: for
    // Ogg the last granule position, for AAC in MP4 the track's length (edit list).
    SampleArray read(int maxElements);

    // Samples per channel delivered so far; once the end is reached, the stream's length.
    std::int64_t framesRead() const { return m_delivered; }
    bool atEnd() const { return m_ended; }
    // Once the end is reached: how far it was from the count (framesRead - sampleCount);
    // 0 before.
    std::int64_t lengthCorrection() const { return m_ended ? m_delivered - m_count : 0; }
    // Whether the file was written to since it was opened.
    bool sourceChanged() const { return m_input->source()->changedSinceOpen(); }

private:
    bool seekTo(std::int64_t start);    // false where the stream is to be decoded from the start
    void rewind();                      // back to the beginning with a fresh demuxer and decoder
    void restartFrames();               // frames anew from where the demuxer stands, nothing pending
    void discardTo(std::int64_t start); // decodes and drops up to start
    std::int64_t prerollFrames() const;
    bool decodeMore();          // appends the next decoded frame to m_pending; false at the end
    void append(const AVFrame* frame);
    // Drops the start the stream marks as skipped; true when the frame was used up here.
    bool skipStart(const AVFrame* frame);
    void openResampler(const AVFrame* frame); // for frames like this one
    void flushResampler();
    std::int64_t pendingFrames() const;
    void checkStatedEnd();      // at the stated end: end there, or go on
    std::int64_t statedEndSlack() const;

    std::unique_ptr<InputFile> m_input; // replaced by rewind()
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
    bool m_manualTrim = false;      // the decoder leaves trimming to us (Ogg)
    std::int64_t m_startSkip = 0;
    std::int64_t m_trimAt = -1;     // where the container says the stream ends
    int m_largestFrame = 0;         // samples of the longest frame decoded so far
    bool m_decoderDone = false;
    bool m_ended = false;
    std::int64_t m_delivered = 0;
    std::int64_t m_position = 0;    // of the next frame delivered, from the stream's start
    std::int64_t m_rangeEnd = -1;
    bool m_rangeSet = false;
    std::int64_t m_originPts = AV_NOPTS_VALUE; // timestamp of the stream's first frame delivered
};

} // namespace sondrel
