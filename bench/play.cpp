// sondrel-bench play [--monitor SOURCE] [--pause-at S --pause-for S] FILE...
// Plays each file as the program does (AudioFile reader, chunks of 4410 samples, one more
// for each OnEndArrayPlay and OnRequestOnLoadArray, two at every start and resume) and
// measures the wall time to OnEndPlay and the CPU share of this process while playing.
// With --monitor (e.g. nullsink.monitor), `parec` records that PulseAudio source and the
// time from Play to the first sound arriving there is measured as well (an upper bound:
// it includes parec's own latency).
#include "AudioFile.h"
#include "AudioPlayer.h"
#include "BenchCommon.h"
#include "EngineError.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cmath>

namespace {

constexpr int kChunk = 4410;
constexpr int kMonitorRate = 48000;

// Reads a PulseAudio source through parec and notes when sound first arrives.
struct Monitor {
    QProcess parec;
    QByteArray pending;
    qint64 bytesSeen = 0;
    bool armed = false;
    bool heardBeforeArming = false;
    double armedAt = 0;
    double firstSoundAt = -1;

    bool start(const QString& source)
    {
        QObject::connect(&parec, &QProcess::readyReadStandardOutput, &parec, [this] { read(); });
        parec.start(QStringLiteral("parec"),
                    {QStringLiteral("-d"), source, QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                     QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(kMonitorRate),
                     QStringLiteral("--latency-msec=2")});
        if (!parec.waitForStarted(5000))
            return false;
        // Wait for a tenth of a second of (silent) data, so the recorder runs before Play.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (bytesSeen >= kMonitorRate / 10 * 2 || parec.state() != QProcess::Running)
                loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        return bytesSeen > 0;
    }
    void arm()
    {
        armed = true;
        armedAt = bench::wallSeconds();
    }
    void read()
    {
        pending += parec.readAllStandardOutput();
        const qsizetype whole = pending.size() / 2 * 2;
        const auto* s = reinterpret_cast<const qint16*>(pending.constData());
        for (qsizetype i = 0; i < whole / 2; ++i) {
            if (std::abs(int(s[i])) > 64) {
                if (!armed)
                    heardBeforeArming = true;
                else if (firstSoundAt < 0)
                    firstSoundAt = bench::wallSeconds();
            }
        }
        bytesSeen += whole;
        pending.remove(0, whole);
    }
    void stop()
    {
        parec.kill();
        parec.waitForFinished(3000);
    }
};

int play(const QStringList& argsIn)
{
    QStringList args = argsIn;
    QString monitorSource;
    double pauseAt = -1, pauseFor = 0;
    QStringList files;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a.startsWith(QLatin1String("--")) && args.isEmpty()) {
            bench::printError(QStringLiteral("play: %1 needs a value").arg(a));
            return 2;
        }
        if (a == QLatin1String("--monitor"))
            monitorSource = args.takeFirst();
        else if (a == QLatin1String("--pause-at"))
            pauseAt = args.takeFirst().toDouble();
        else if (a == QLatin1String("--pause-for"))
            pauseFor = args.takeFirst().toDouble();
        else
            files << a;
    }
    if (files.isEmpty()) {
        bench::printError(QStringLiteral("play: no files given"));
        return 2;
    }

    const double start = bench::wallSeconds();
    int failed = 0;
    for (const QString& path : files) {
        sondrel::AudioFile reader;
        sondrel::AudioPlayer player;
        Monitor monitor;
        try {
            reader.OpenRead(path, 0, 1);
            player.SetArrayFormat(reader.FormatParamB(), reader.FormatParamA());
            reader.PreparePlayback(0, 3);
            const double audioSeconds = double(reader.SampleCount()) / reader.SampleRate();
            if (!monitorSource.isEmpty() && !monitor.start(monitorSource)) {
                bench::printError(QStringLiteral("play: cannot record %1 with parec").arg(monitorSource));
                return 2;
            }

            auto feed = [&] { player.LoadArray(reader.ReadSamples(kChunk)); };
            QEventLoop loop;
            bool ended = false;
            QObject::connect(&player, &sondrel::AudioPlayer::OnEndArrayPlay, &loop, feed);
            QObject::connect(&player, &sondrel::AudioPlayer::OnRequestOnLoadArray, &loop, feed);
            QObject::connect(&player, &sondrel::AudioPlayer::OnEndPlay, &loop, [&] {
                ended = true;
                player.Stop();
                loop.quit();
            });
            QTimer::singleShot(int((audioSeconds + pauseFor + 10) * 1000), &loop, &QEventLoop::quit);
            if (pauseAt >= 0) {
                QTimer::singleShot(int(pauseAt * 1000), &loop, [&] { player.Stop(); });
                QTimer::singleShot(int((pauseAt + pauseFor) * 1000), &loop, [&] {
                    player.Play();
                    feed();
                    feed();
                });
            }

            const double cpu0 = bench::cpuSeconds();
            const double t0 = bench::wallSeconds();
            monitor.arm();
            player.Play();
            feed();
            feed();
            loop.exec();
            const double wall = bench::wallSeconds() - t0;
            const double cpu = bench::cpuSeconds() - cpu0;
            reader.Close();
            monitor.stop();
            if (!ended) {
                bench::printRow({QStringLiteral("error"), path, QStringLiteral("no OnEndPlay in time")});
                ++failed;
                continue;
            }
            QString firstSound = QStringLiteral("-");
            if (!monitorSource.isEmpty())
                firstSound = monitor.heardBeforeArming ? QStringLiteral("busy")
                             : monitor.firstSoundAt < 0 ? QStringLiteral("none")
                                                        : bench::number((monitor.firstSoundAt - t0) * 1000, 1);
            bench::printRow({path, bench::number(audioSeconds), bench::number(wall),
                             bench::number(wall > 0 ? cpu / wall * 100 : 0, 2), firstSound});
        } catch (const sondrel::EngineError& e) {
            monitor.stop();
            bench::printRow({QStringLiteral("error"), path, QString::fromUtf8(e.what())});
            ++failed;
        }
    }
    bench::printTotal(int(files.size()), bench::wallSeconds() - start);
    return failed ? 1 : 0;
}

[[maybe_unused]] const bool registered = bench::registerCommand(
    {QStringLiteral("play"), QStringLiteral("[--monitor SOURCE] [--pause-at S --pause-for S] FILE..."),
     QStringLiteral("play each file as the program does; path, audio s, wall s to OnEndPlay, CPU %, "
                    "ms from Play to the first sound on SOURCE"),
     play});

} // namespace
