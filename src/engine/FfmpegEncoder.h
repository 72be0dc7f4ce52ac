#pragma once
// Output through libavcodec and libavformat: WAV (PCM), WMA (wmav2 in ASF), FLAC, Opus
// (libopus in Ogg) and AAC (FFmpeg's encoder in M4A).
#include "AudioEncoder.h"
#include "FfmpegSupport.h"
#include "SampleConverter.h"

#include <vector>

namespace sondrel {

struct FfmpegTarget {
    AVCodecID codec = AV_CODEC_ID_NONE;
    const char* encoder = nullptr;   // an encoder by name (e.g. "libopus"); else the codec's default
    const char* muxer = nullptr;     // "wav", "asf", "flac", "opus" or "ipod"
    int rate = 0;                    // 0: the input's (or the nearest the encoder has)
    int highestFollowedRate = 0;     // > 0: the input's rate, when followed, is resampled down to this
    int channels = 0;                // 0: the input's
    std::int64_t bitRate = 0;        // bits/s, for compressed codecs
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
    int rawBits = 0;                 // significant bits of sampleFormat when fewer (24 in s32)
    int followSourceBits = 0;        // > 0: 16 or 24 bits as the source has them, this for lossy
    int compressionLevel = -1;
    const char* rateControl = nullptr; // libopus "vbr": "off", "on" or "constrained"
};

class FfmpegEncoder : public AudioEncoder {
public:
    FfmpegEncoder(const QString& path, const FfmpegTarget& target);
    ~FfmpegEncoder() override;

    void start(int channels, int rate) override;
    void write(const float* samples, int frames) override;
    void finish() override;
    std::pair<int, int> defaultInput() const override;
    void setSourceBits(int bits) override { m_sourceBits = bits; }
    WrittenLength writtenLength() const override;

private:
    // The encoder's context for the output's rate and channels (fewer where the encoder takes
    // fewer); returns the channels it will encode.
    int setUpEncoder(const AVCodec* codec, int outRate, int outChannels);
    // Bits per sample the file stores losslessly (PCM, FLAC); 0 for lossy codecs.
    int outputBits() const;
    // Whether writing this input rounds it to fewer bits than it has: then it is dithered.
    bool reducesDepth(int inChannels, int inRate, int outChannels, int outRate) const;
    void openMuxer();
    void openEncoder(const AVCodec* codec);
    void writeHeader();
    void flushConverter();  // what the resampler still holds
    void padLastFrames();   // the silence fixed-frame codecs need at the end
    void closeFile();
    void writeConverted(const std::uint8_t* const* planes, int frames);
    void writeSilence(std::int64_t frames);
    void encodeFromFifo(bool all);
    // m_frame emptied and given room for samples sample frames in the encoder's format.
    void prepareFrame(int samples);
    void send(AVFrame* frame);
    std::string describe(const std::string& what) const;

    QString m_path;
    FfmpegTarget m_target;
    ff::IoContextPtr m_io;            // declared first: outlives the muxer that writes to it
    ff::OutputContextPtr m_muxer;
    ff::CodecContextPtr m_encoder;
    std::unique_ptr<SampleConverter> m_converter;
    ff::AudioFifoPtr m_fifo;          // only for codecs with a fixed frame size
    ff::FramePtr m_frame = ff::makeFrame();
    ff::PacketPtr m_packet = ff::makePacket();
    std::vector<std::vector<std::uint8_t>> m_scratch;
    std::vector<std::uint8_t*> m_scratchPlanes;
    int m_frameSize = 0;
    std::int64_t m_nextPts = 0;
    std::int64_t m_framesFed = 0;     // samples per channel given to write()
    std::int64_t m_sourceFrames = 0;  // converted source samples per channel written
    std::int64_t m_addedFrames = 0;   // silence added on purpose (wmav2's priming, an empty input)
    std::int64_t m_endFill = 0;       // silence completing the last frame (wmav2)
    std::int64_t m_packetSamples = 0; // samples the packets written decode to, whole frames
    int m_sourceBits = 0;
    bool m_finished = false;
};

} // namespace sondrel
