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
    int highestFollowedRate = 0; // > 0: a rate taken from the input goes no higher than this
};
using OutputSelection = std::variant<std::monostate, WavOutput, Mp3Output, OggOutput, WmaOutput, FlacOutput,
                                     OpusOutput, AacOutput>;

// How long a written file is, for checking what a decoder makes of it.
struct WrittenLength {
    std::int64_t framesFed = 0;     // sample frames given to write(), at the input's rate
    // Sample frames per channel that reached the codec at the output's rate (after rate and
    // channel conversion), with any silence the encoder adds on purpose: wmav2's priming
    // frame, LAME's frame for an empty input. What a decoder gives at least.
    std::int64_t framesEncoded = 0;
    int outputRate = 0;
    // How many samples more a decoder may give: the codec's padding of the last frame where
    // the container cannot mark it (wmav2: the silence completing its last frame). 0 where
    // the file states its exact length (WAV, FLAC, MP3 with its LAME header, Vorbis, Opus,
    // AAC in M4A by its edit list).
    std::int64_t slack = 0;
    // Of framesEncoded, the silence the encoder added on purpose (not from the input).
    std::int64_t framesAdded = 0;
    int inputRate = 0;              // of the frames fed (AudioFile fills it in)
    // How a reader finds the length of the finished file: the exact way this format states
    // it. A file measured any other way is not as it was written.
    CountMethod method = CountMethod::FullDecode;
    // What the file holds: channels, and bits per sample where it keeps them losslessly
    // (PCM, FLAC); 0 for lossy formats.
    int outputChannels = 0;
    int outputBits = 0;
};

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
    // What was written so far; complete after finish().
    virtual WrittenLength writtenLength() const = 0;
};

// Creates the encoder for the selection and the file at path. Throws EngineError.
std::unique_ptr<AudioEncoder> createEncoder(const OutputSelection& selection, const QString& path);

} // namespace sondrel
