#pragma once
// What AudioFile writes with: the selected output format, and the encoder interface that the
// WAV/WMA/FLAC/Opus/AAC (libavcodec), MP3 (libmp3lame) and OGG (libvorbisenc) writers
// implement.
#include "LameEncSettings.h"
#include "SampleCounting.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <variant>

namespace sondrel {

struct WavOutput {
    int rate = 0;       // 0: the input's
    int channels = 0;   // 0: the input's
    int bits = 16;      // 8 (unsigned) or 16
};
struct Mp3Output {
    LameEncSettings settings;
};
struct OggOutput {
    int rate = 0, channels = 0;
    int kbps = 0, maxKbps = 0, minKbps = 0; // managed bit rate; 0 = not limited
    int quality = -1;                       // >= 0: quality mode, 0 best .. 1000 lowest
};
struct WmaOutput {
    int profile = 0;    // 1..47
};
struct FlacOutput {
    int rate = 0, channels = 0; // 0: the input's
    int bits = 0;               // 16 or 24; 0: as the source holds them (16 for lossy sources)
    int level = 5;              // compression level 0 (fastest) .. 8 (smallest)
};
enum class OpusRateControl { Cbr = 0, Vbr = 1, ConstrainedVbr = 2 };
struct OpusOutput {
    int channels = 0;           // 0: the input's
    int kbps = 128;             // 6 .. 510
    OpusRateControl control = OpusRateControl::Vbr;
};
struct AacOutput {
    int rate = 0, channels = 0; // 0: the input's (a rate AAC lacks becomes the next it has)
    int kbps = 192;
};
using OutputSelection = std::variant<std::monostate, WavOutput, Mp3Output, OggOutput, WmaOutput, FlacOutput,
                                     OpusOutput, AacOutput>;

// One output file being written. The constructor of each implementation creates the file
// (EngineError when it cannot); start() comes once before the first write().
class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    // The stream write() will receive: channel count and sample rate.
    virtual void start(int channels, int rate) = 0;
    // Interleaved float samples, `frames` per channel.
    virtual void write(const float* samples, int frames) = 0;
    // Flushes everything and completes the file.
    virtual void finish() = 0;
    // The rate and channels the encoder would pick if start() was never called.
    virtual std::pair<int, int> defaultInput() const { return {44100, 2}; }
    // Bits per sample of the source (0 for lossy or unknown), for a writer that follows it;
    // given before start().
    virtual void setSourceBits(int) {}

    // Sample frames per channel handed to the codec so far, at the output's rate: after any
    // change of rate or channels, with the silence an encoder adds on purpose (LAME's frame
    // for an empty input).
    virtual std::int64_t framesEncoded() const = 0;
    // The output's sample rate; 0 before start().
    virtual int outputRate() const = 0;
    // How far a decoder of the finished file may be from framesEncoded, in frames: padding
    // the container cannot mark (wmav2's last frames, AAC's last frame). 0 where the file
    // states its exact length.
    virtual std::int64_t lengthSlack() const { return 0; }
    // How a reader finds the length of the finished file: the exact way this format states
    // it. A file measured any other way is not as it was written.
    virtual CountMethod lengthMethod() const = 0;
};

// What an output received and what its encoder made of it, for proving the finished file.
struct WrittenLength {
    std::int64_t framesFed = 0;      // sample frames per channel given to WriteSamples
    int inputRate = 0;
    std::int64_t framesEncoded = 0;  // at outputRate (AudioEncoder::framesEncoded)
    int outputRate = 0;
    std::int64_t slack = 0;          // AudioEncoder::lengthSlack
    CountMethod method = CountMethod::FullDecode; // AudioEncoder::lengthMethod
};

// Creates the encoder for the selection and the file at path. Throws EngineError.
std::unique_ptr<AudioEncoder> createEncoder(const OutputSelection& selection, const QString& path);

} // namespace sondrel
