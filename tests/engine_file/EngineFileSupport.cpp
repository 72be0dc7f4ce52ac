#include "EngineFileSupport.h"

#include <algorithm>

namespace enginetest {

Decoded readAll(const QString& path, std::int64_t maxReads)
{
    sondrel::AudioFile reader;
    reader.OpenRead(path, 0, 1);
    Decoded d;
    d.rate = reader.SampleRate();
    d.channels = reader.ChannelCount();
    d.sampleCount = reader.SampleCount();
    d.method = QString::fromLatin1(reader.CountMethodName());
    while (d.reads < maxReads) {
        const sondrel::SampleArray chunk = reader.ReadSamples(reader.SampleRate() * reader.ChannelCount());
        if (chunk.empty())
            break;
        d.samples.insert(d.samples.end(), chunk.begin(), chunk.end());
        ++d.reads;
    }
    d.framesRead = reader.FramesRead();
    d.correction = reader.LengthCorrection();
    reader.Close();
    return d;
}

void writeAll(sondrel::AudioFile& writer, const QString& path, const std::vector<float>& samples, int channels,
              int rate)
{
    writer.OpenWrite(path, 0);
    writer.SetInputFormat(channels, rate);
    const std::size_t chunk = std::size_t(rate) * std::size_t(channels);
    for (std::size_t i = 0; i < samples.size(); i += chunk) {
        const auto end = samples.begin() + std::ptrdiff_t(std::min(samples.size(), i + chunk));
        writer.WriteSamples(sondrel::SampleArray(samples.begin() + std::ptrdiff_t(i), end));
    }
    writer.Close();
}

bool ffmpeg(const QStringList& args)
{
    int code = -1;
    testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y"} + args, 120000, &code);
    return code == 0;
}

std::int64_t oggdecFrames(const QString& path, const QString& scratch)
{
    const QString wav = scratch.isEmpty() ? path + ".oggdec.wav" : scratch;
    int code = -1;
    testaudio::runTool("oggdec", {"-Q", "-o", wav, path}, 60000, &code);
    if (code != 0)
        return -1;
    const QStringList args{"-v", "error", "-show_entries", "stream=duration_ts", "-of", "csv=p=0", wav};
    return testaudio::runTool("ffprobe", args).trimmed().toLongLong();
}

std::int64_t ffprobeStreamLength(const QString& path)
{
    const QStringList args{"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=duration_ts", "-of",
                           "csv=p=0", path};
    bool ok = false;
    const std::int64_t n = testaudio::runTool("ffprobe", args).trimmed().toLongLong(&ok);
    return ok ? n : -1;
}

long bestLag(const std::vector<float>& a, const std::vector<float>& b, long range)
{
    long best = 0;
    double bestValue = -2;
    for (long lag = -range; lag <= range; ++lag) {
        const double c = testaudio::correlation(a, b, lag);
        if (c > bestValue) {
            bestValue = c;
            best = lag;
        }
    }
    return best;
}

std::vector<float> head(const std::vector<float>& v, std::size_t n)
{
    return std::vector<float>(v.begin(), v.begin() + std::ptrdiff_t(std::min(n, v.size())));
}

} // namespace enginetest
