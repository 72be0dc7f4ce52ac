#pragma once
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>
#include <vector>

// Helpers shared by the tests: fixture audio made on the spot, and ffprobe as an
// independent judge of the files the program writes.
namespace testaudio {

// Folder of the real-world corpus (files from public tag libraries' test suites).
QString corpusDir();
// Every audio file of the corpus, relative paths sorted.
QStringList corpusFiles();

// A music-like test signal: a few harmonics with a slow vibrato and a note envelope, so
// encoders treat it as music, with each channel different. Values in -1..1.
std::vector<float> musicSignal(int sampleRate, int channels, std::int64_t framesPerChannel);

// Writes interleaved float samples as a PCM WAV file (8-bit unsigned, 16, 24 or 32-bit
// signed, clipped to full scale, or 32-bit float with bits = -32, written as given).
bool writeWav(const QString& path, const std::vector<float>& samples, int sampleRate,
              int channels, int bits = 16);
bool writeMusicWav(const QString& path, int sampleRate, int channels, double seconds, int bits = 16);

struct ProbeResult {
    bool ok = false;
    QString formatName; // ffprobe's format_name
    QString codecName;  // first audio stream
    int sampleRate = 0;
    int channels = 0;
    double durationSeconds = 0; // format duration
    int bitsPerRawSample = 0;   // first audio stream, when ffprobe states it
    qint64 bitRate = 0;         // the whole file's, bits per second
    int attachedPictures = 0;   // streams that are cover art
    QString error;
    QVariantMap tags;   // format-level tags, keys in lower case
};
// Runs `ffprobe -show_format -show_streams` on path (bounded in time).
ProbeResult ffprobe(const QString& path);

// Decodes path with the ffmpeg command to interleaved float at its own rate and channel
// count (bounded in time). Empty on failure.
std::vector<float> ffmpegDecode(const QString& path, int* sampleRate = nullptr, int* channels = nullptr);

// Runs a program with arguments, waits at most timeoutMs, returns standard output.
QByteArray runTool(const QString& program, const QStringList& args, int timeoutMs = 60000,
                   int* exitCode = nullptr);

// Normalised cross-correlation of two mono sequences at a given lag of b against a.
double correlation(const std::vector<float>& a, const std::vector<float>& b, long lag = 0);
// Signal-to-noise ratio in dB of b against a reference a (same length, same alignment).
double snrDb(const std::vector<float>& ref, const std::vector<float>& test);
// One channel of an interleaved signal.
std::vector<float> channel(const std::vector<float>& interleaved, int channels, int index);

} // namespace testaudio
