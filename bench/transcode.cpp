// sondrel-bench transcode --format mp3|wav|wma|ogg|flac|opus|m4a [--settings INI] --out DIR FILE...
// Converts each file through AudioFile exactly as a conversion run does: the writer is set
// up once from the INI file's section of that format (its defaults when absent), each file
// is copied in chunks of FormatParamA x FormatParamB samples, then given the source's tags and
// pictures and the track record's seven values.
#include "AudioFile.h"
#include "AudioInformation.h"
#include "BenchCommon.h"
#include "CarriedTags.h"
#include "LameEncSettings.h"
#include "SettingsFile.h"
#include "TargetSetup.h"
#include "ValueTables.h"
#include "EngineError.h"

#include <QDir>
#include <QFileInfo>

namespace {

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
    // The program's own settings store over the given file (none: every key's default).
    if (!settings.isEmpty() && !QFileInfo(settings).isFile()) {
        bench::printError(QStringLiteral("transcode: cannot read %1").arg(settings));
        return 2;
    }
    const sondrel::SettingsFile ini(settings.isEmpty() ? QStringLiteral("/nonexistent/settings.ini") : settings);
    int formatIndex = -1;
    for (std::size_t i = 0; i < sondrel::output_formats.size(); ++i)
        if (format == QLatin1String(sondrel::output_formats[i].extension + 1))
            formatIndex = int(i);
    if (!QDir().mkpath(outDir)) {
        bench::printError(QStringLiteral("transcode: cannot create %1").arg(outDir));
        return 2;
    }

    const double start = bench::wallSeconds();
    sondrel::AudioFile reader;
    sondrel::AudioFile writer;
    sondrel::AudioInformation info;
    try {
        sondrel::LameEncSettings lame;
        const sondrel::TargetSetup setup = sondrel::configureTarget(ini, formatIndex, writer, lame);
        if (setup.extension.isEmpty()) {
            bench::printError(QStringLiteral("transcode: %1").arg(setup.refusal));
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
            writer.SetInputFormat(reader.FormatParamB(), reader.FormatParamA(), reader.SourceBits());
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
            sondrel::writeCarriedTags(target, sondrel::readCarriedTags(path));
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
    {QStringLiteral("transcode"), QStringLiteral("--format mp3|wav|wma|ogg|flac|opus|m4a [--settings INI] --out DIR FILE..."),
     QStringLiteral("convert each file as a conversion run does; path, output, audio s, wall s"), transcode});

} // namespace
