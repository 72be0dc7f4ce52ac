// sondrel-bench transcode --format mp3|wav|wma|ogg|flac|opus|m4a|... [--settings INI] --out DIR FILE...
// Converts each file with the conversion job a run uses: the writer is set up once from the
// INI file's section of that format (its defaults when absent); each file is decoded, encoded
// into a temporary file, given the source's tags and pictures and the track record's seven
// values, and proved by the output gate before it takes its name. The last lines give the
// time the gate took of the jobs' time: all of it, and its proof alone (without syncing the
// file to the disk).
#include "AudioFile.h"
#include "AudioInformation.h"
#include "BenchCommon.h"
#include "ConversionJob.h"
#include "OutputFiles.h"
#include "LameEncSettings.h"
#include "SettingsFile.h"
#include "OutputFormat.h"
#include "TargetSetup.h"
#include "EngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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
    const sondrel::OutputFormat* chosen = sondrel::outputFormatNamed(format);
    if (!QDir().mkpath(outDir)) {
        bench::printError(QStringLiteral("transcode: cannot create %1").arg(outDir));
        return 2;
    }

    const double start = bench::wallSeconds();
    sondrel::AudioFile writer;
    try {
        sondrel::LameEncSettings lame;
        const sondrel::TargetSetup setup = sondrel::configureTarget(ini, chosen ? chosen->index : -1, writer, lame);
        if (setup.extension.isEmpty()) {
            bench::printError(QStringLiteral("transcode: %1").arg(setup.refusal));
            return 2;
        }
    } catch (const sondrel::EngineError& e) {
        bench::printError(QStringLiteral("transcode: %1").arg(QString::fromUtf8(e.what())));
        return 2;
    }

    std::shared_ptr<const sondrel::OutputDir> dir;
    try {
        dir = sondrel::OutputDir::open(outDir);
    } catch (const std::exception& e) {
        bench::printError(QStringLiteral("transcode: %1").arg(QString::fromUtf8(e.what())));
        return 2;
    }
    int failed = 0;
    double gateSeconds = 0, syncSeconds = 0, jobSeconds = 0;
    for (const QString& path : files) {
        sondrel::JobOrder order;
        order.source = path;
        order.target = QDir(outDir).filePath(QFileInfo(path).completeBaseName() + QLatin1String(chosen->extension));
        order.dir = dir;
        order.writer = std::make_unique<sondrel::AudioFile>();
        order.writer->CopyOutputFrom(writer);
        // The track record as adding the file to the list reads it, before the run.
        sondrel::AudioInformation info;
        try {
            info.LoadFromFile(path);
            order.tags = sondrel::trackInfoOf(info);
        } catch (const sondrel::EngineError&) {
        }
        QFile::remove(order.target);
        sondrel::JobProgress progress;
        const double t0 = bench::wallSeconds();
        const sondrel::JobResult r = sondrel::runConversionJob(order, progress);
        const double seconds = bench::wallSeconds() - t0;
        if (r.outcome != sondrel::JobResult::Outcome::Finished) {
            bench::printRow({QStringLiteral("error"), path, r.reason});
            ++failed;
            continue;
        }
        gateSeconds += r.gateSeconds;
        syncSeconds += r.syncSeconds;
        jobSeconds += seconds;
        const double audio = double(r.framesRead) / std::max(1, r.sampleRate);
        bench::printRow({path, order.target, bench::number(audio), bench::number(seconds), bench::number(r.gateSeconds)});
    }
    if (jobSeconds > 0) {
        // The gate as a whole, and the part of it that proves the file (measuring it and
        // reading its tags back) apart from syncing it to the disk.
        const auto share = [&](double s) { return bench::number(100.0 * s / jobSeconds) + QStringLiteral("%"); };
        bench::printRow({QStringLiteral("gate"), bench::number(gateSeconds), bench::number(jobSeconds), share(gateSeconds)});
        bench::printRow({QStringLiteral("gate-proof"), bench::number(gateSeconds - syncSeconds), bench::number(jobSeconds),
                         share(gateSeconds - syncSeconds)});
    }
    bench::printTotal(int(files.size()), bench::wallSeconds() - start);
    return failed ? 1 : 0;
}

[[maybe_unused]] const bool registered = bench::registerCommand(
    {QStringLiteral("transcode"), QStringLiteral("--format %formats [--settings INI] --out DIR FILE..."),
     QStringLiteral("convert each file as a conversion run does; path, output, audio s, wall s, gate s"), transcode});

} // namespace
