// sondrel-bench probe FILE...
// Opens each file as adding it to the list does (OpenRead, SampleCount, DurationMs, Close,
// LoadFromFile) and prints what it found.
#include "AudioFile.h"
#include "AudioInformation.h"
#include "BenchCommon.h"
#include "EngineError.h"

namespace {

int probe(const QStringList& files)
{
    if (files.isEmpty()) {
        bench::printError(QStringLiteral("probe: no files given"));
        return 2;
    }
    const double start = bench::wallSeconds();
    sondrel::AudioFile reader;
    sondrel::AudioInformation info;
    int failed = 0;
    for (const QString& path : files) {
        int rate = 0, channels = 0;
        std::int64_t samples = 0, ms = 0;
        try {
            reader.OpenRead(path, 0, 1);
            samples = reader.SampleCount();
            ms = reader.DurationMs();
            rate = reader.SampleRate();
            channels = reader.ChannelCount();
            reader.Close();
            if (samples == 0) {
                // The list refuses such a file just as one that does not open.
                bench::printRow({QStringLiteral("invalid"), path, QStringLiteral("no audio samples")});
                ++failed;
                continue;
            }
            info.LoadFromFile(path);
        } catch (const sondrel::EngineError& e) {
            reader.Close();
            bench::printRow({QStringLiteral("invalid"), path, QString::fromUtf8(e.what())});
            ++failed;
            continue;
        }
        bench::printRow({QStringLiteral("ok"), path, QString::number(rate), QString::number(channels),
                         QString::number(samples), QString::number(ms), info.infoTitle, info.infoArtist,
                         info.infoAlbum, info.infoGenreS, QString::number(info.infoYear),
                         QString::number(info.infoTrack), info.infoComments});
    }
    bench::printTotal(int(files.size()), bench::wallSeconds() - start);
    Q_UNUSED(failed);
    return 0;
}

[[maybe_unused]] const bool registered = bench::registerCommand(
    {QStringLiteral("probe"), QStringLiteral("FILE..."),
     QStringLiteral("open each file as adding it to the list does; one line per file, then the total"),
     probe});

} // namespace
