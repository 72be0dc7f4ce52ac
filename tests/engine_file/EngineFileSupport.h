#pragma once
// Helpers for the AudioFile tests: reading a whole file through the engine, writing a
// signal through it, and fixtures made with the ffmpeg command.
#include "AudioFile.h"
#include "TestAudio.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace enginetest {

struct Decoded {
    std::vector<float> samples; // interleaved
    int rate = 0;
    int channels = 0;
    std::int64_t sampleCount = 0;   // what SampleCount() counted at opening
    std::int64_t framesRead = 0;    // FramesRead() at the end
    std::int64_t correction = 0;    // LengthCorrection() at the end
    std::int64_t reads = 0;         // ReadSamples calls that returned samples
    QString method;
    std::int64_t frames() const { return channels ? std::int64_t(samples.size()) / channels : 0; }
};

// Opens path and reads it to the end in chunks of SampleRate x ChannelCount, as a
// conversion does. EngineError propagates. At most maxReads non-empty reads.
Decoded readAll(const QString& path, std::int64_t maxReads = 1 << 22);

// Writes interleaved samples through an AudioFile whose output was already selected:
// OpenWrite, SetInputFormat, WriteSamples in one-second chunks, Close.
void writeAll(sondrel::AudioFile& writer, const QString& path, const std::vector<float>& samples, int channels,
              int rate);

// Runs `ffmpeg -v error -y <args>` and tells whether it succeeded (bounded in time).
bool ffmpeg(const QStringList& args);

// Samples per channel the reference Vorbis decoder (libvorbisfile, by oggdec) gives for an
// Ogg Vorbis file; -1 if it fails. Its WAV goes to scratch, or beside the file.
std::int64_t oggdecFrames(const QString& path, const QString& scratch = {});

// The length ffprobe gives the first audio stream in its time base (duration_ts): for AAC in
// MP4 what the edit list states, which the ffmpeg command of some versions does not trim the
// last frame to. -1 if it fails.
std::int64_t ffprobeStreamLength(const QString& path);

// The lag of b against a (within +-range samples) where they correlate best.
long bestLag(const std::vector<float>& a, const std::vector<float>& b, long range);

// First n elements (or all).
std::vector<float> head(const std::vector<float>& v, std::size_t n);

} // namespace enginetest
