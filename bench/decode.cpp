// sondrel-bench decode FILE...
// Decodes each file through AudioFile in the conversion's chunks (one second each) and
// drops the samples: the decoding share of a conversion.
#include "AudioFile.h"
#include "BenchCommon.h"
#include "EngineError.h"

namespace {

int decode(const QStringList& files)
{
    if (files.isEmpty()) {
        bench::printError(QStringLiteral("decode: no files given"));
        return 2;
    }
    const double start = bench::wallSeconds();
    sondrel::AudioFile reader;
    int failed = 0;
    for (const QString& path : files) {
        const double t0 = bench::wallSeconds();
        std::int64_t frames = 0;
        int rate = 0;
        try {
            reader.OpenRead(path, 0, 1);
            rate = reader.SampleRate();
            const int channels = reader.ChannelCount();
            for (;;) {
                const sondrel::SampleArray chunk = reader.ReadSamples(reader.FormatParamA() * reader.FormatParamB());
                if (chunk.empty())
                    break;
                frames += std::int64_t(chunk.size()) / channels;
            }
            reader.Close();
        } catch (const sondrel::EngineError& e) {
            reader.Close();
            bench::printRow({QStringLiteral("error"), path, QString::fromUtf8(e.what())});
            ++failed;
            continue;
        }
        bench::printRow({path, QString::number(frames), bench::number(rate ? double(frames) / rate : 0.0),
                         bench::number(bench::wallSeconds() - t0)});
    }
    bench::printTotal(int(files.size()), bench::wallSeconds() - start);
    return failed ? 1 : 0;
}

[[maybe_unused]] const bool registered = bench::registerCommand(
    {QStringLiteral("decode"), QStringLiteral("FILE..."),
     QStringLiteral("decode each file in one-second chunks; path, samples, audio s, wall s"), decode});

} // namespace
