// sondrel-bench transcode --format mp3|wav|wma|ogg [--settings INI] --out DIR FILE...
// Converts each file through AudioFile exactly as a conversion run does: the writer is set
// up once from the INI file's section of that format (its defaults when absent), each file
// is copied in chunks of FormatParamA x FormatParamB samples, then tagged with the source's
// tags.
#include "AudioFile.h"
#include "AudioInformation.h"
#include "BenchCommon.h"
#include "BenchIni.h"
#include "EngineError.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Sets the writer up as the conversion does for this format. Returns an error text when the
// settings are refused.
QString configure(sondrel::AudioFile& writer, const QString& format, const bench::BenchIni& ini)
{
    if (format == QLatin1String("mp3")) {
        sondrel::LameEncSettings lame;
        lame.Frequency = bench::frequencyAt(ini.readInt("mp3", "frequency", 7));
        lame.Bitrate = bench::bitrateAt(ini.readInt("mp3", "bitrate", 11));
        lame.Channels = ini.readInt("mp3", "channel", 1) + 1;
        lame.Quality = ini.readInt("mp3", "quality", 9);
        const int vbr = ini.readInt("mp3", "enable vbr", 0);
        if (vbr == 0) {
            lame.VbrDisabled = true;
        } else if (vbr == 1) {
            lame.VbrDisabled = false;
            lame.VbrBitrate = bench::bitrateAt(ini.readInt("mp3", "vbr bitrate", 11));
            lame.VbrQuality = ini.readInt("mp3", "vbr quality", 9);
        }
        if (!writer.SetMp3Output(lame.Frequency, lame.Bitrate, lame.Channels))
            return QStringLiteral("This MP3 format not supported, please try another bit rate or frequency.");
        writer.SetMp3Encoder(lame);
    } else if (format == QLatin1String("wav")) {
        const int mode = ini.readInt("wav", "mode", 0);
        if (mode == 0)
            writer.SetWavOutput(44100, 2, 16);
        else if (mode == 1)
            writer.SetWavOutput(0, 0, 16); // best suited: each file's own rate and channels
        else if (mode == 2)
            writer.SetWavOutput(bench::frequencyAt(ini.readInt("wav", "frequency", 7)),
                                ini.readInt("wav", "channel", 1) + 1, bench::bitsAt(ini.readInt("wav", "bit", 1)));
    } else if (format == QLatin1String("wma")) {
        writer.SetWmaOutput(ini.readInt("wma", "format", 9) + 1);
    } else if (format == QLatin1String("ogg")) {
        const bool quality = ini.readInt("ogg", "enable quality", 0) != 0;
        const int rate = bench::frequencyAt(ini.readInt("ogg", "frequency", 7));
        const int channels = ini.readInt("ogg", "channel", 1) + 1;
        const int nominal = bench::bitrateAt(ini.readInt("ogg", "bitrate", 11));
        const int maximum = bench::bitrateAt(ini.readInt("ogg", "max bitrate", 11));
        const int minimum = bench::bitrateAt(ini.readInt("ogg", "min bitrate", 11));
        if (quality) {
            writer.SetOggOutput(rate, channels, nominal, maximum, minimum,
                                std::int16_t(ini.readInt("ogg", "quality", 300)));
        } else {
            if (!writer.CheckOggOutput(rate, channels, nominal, maximum, minimum))
                return QStringLiteral("This OGG format not supported, please try another bit rate or frequency.");
            writer.SetOggOutput(rate, channels, nominal, maximum, minimum, -1);
        }
    } else {
        return QStringLiteral("unknown format \"%1\" (mp3, wav, wma or ogg)").arg(format);
    }
    return {};
}

int transcode(const QStringList& argsIn)
{
    QStringList args = argsIn;
    QString format, settings, outDir;
    QStringList files;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if ((a == QLatin1String("--format") || a == QLatin1String("--settings") || a == QLatin1String("--out")) &&
            args.isEmpty()) {
            bench::printError(QStringLiteral("transcode: %1 needs a value").arg(a));
            return 2;
        }
        if (a == QLatin1String("--format"))
            format = args.takeFirst().toLower();
        else if (a == QLatin1String("--settings"))
            settings = args.takeFirst();
        else if (a == QLatin1String("--out"))
            outDir = args.takeFirst();
        else
            files << a;
    }
    if (format.isEmpty() || outDir.isEmpty() || files.isEmpty()) {
        bench::printError(QStringLiteral("transcode: --format, --out and at least one file are needed"));
        return 2;
    }
    bench::BenchIni ini;
    if (!ini.load(settings)) {
        bench::printError(QStringLiteral("transcode: cannot read %1").arg(settings));
        return 2;
    }
    if (!QDir().mkpath(outDir)) {
        bench::printError(QStringLiteral("transcode: cannot create %1").arg(outDir));
        return 2;
    }

    const double start = bench::wallSeconds();
    sondrel::AudioFile reader;
    sondrel::AudioFile writer;
    sondrel::AudioInformation info;
    try {
        const QString refused = configure(writer, format, ini);
        if (!refused.isEmpty()) {
            bench::printError(QStringLiteral("transcode: %1").arg(refused));
            return 2;
        }
    } catch (const sondrel::EngineError& e) {
        bench::printError(QStringLiteral("transcode: %1").arg(QString::fromUtf8(e.what())));
        return 2;
    }

    int failed = 0;
    for (const QString& path : files) {
        const QString target = QDir(outDir).filePath(QFileInfo(path).completeBaseName() + QLatin1Char('.') + format);
        try {
            info.LoadFromFile(path); // as adding the file to the list does, before the run
            const double t0 = bench::wallSeconds();
            reader.OpenRead(path, 0, 1);
            QFile::remove(target);
            writer.OpenWrite(target, 0);
            writer.SetInputFormat(reader.FormatParamB(), reader.FormatParamA());
            std::int64_t frames = 0;
            for (;;) {
                const sondrel::SampleArray chunk = reader.ReadSamples(reader.FormatParamA() * reader.FormatParamB());
                if (chunk.empty())
                    break;
                writer.WriteSamples(chunk);
                frames += std::int64_t(chunk.size()) / reader.ChannelCount();
            }
            const int rate = reader.SampleRate();
            reader.Close();
            writer.Close();
            info.SaveToFile(target);
            bench::printRow({path, target, bench::number(rate ? double(frames) / rate : 0.0),
                             bench::number(bench::wallSeconds() - t0)});
        } catch (const sondrel::EngineError& e) {
            if (reader.IsOpen())
                reader.Close();
            if (writer.IsOpen())
                writer.Close();
            bench::printRow({QStringLiteral("error"), path, QString::fromUtf8(e.what())});
            ++failed;
        }
    }
    bench::printTotal(int(files.size()), bench::wallSeconds() - start);
    return failed ? 1 : 0;
}

[[maybe_unused]] const bool registered = bench::registerCommand(
    {QStringLiteral("transcode"), QStringLiteral("--format mp3|wav|wma|ogg [--settings INI] --out DIR FILE..."),
     QStringLiteral("convert each file as a conversion run does; path, output, audio s, wall s"), transcode});

} // namespace
