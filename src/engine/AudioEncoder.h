#pragma once
// What AudioFile writes with: the selected output format, and the encoder interface that the
// WAV/WMA (libavcodec), MP3 (libmp3lame) and OGG (libvorbisenc) writers implement.
#include "LameEncSettings.h"

#include <QString>
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
using OutputSelection = std::variant<std::monostate, WavOutput, Mp3Output, OggOutput, WmaOutput>;

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
};

// Creates the encoder for the selection and the file at path. Throws EngineError.
std::unique_ptr<AudioEncoder> createEncoder(const OutputSelection& selection, const QString& path);

} // namespace sondrel
