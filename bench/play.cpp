// sondrel-bench play [--monitor SOURCE] [--pause-at S --pause-for S] FILE...
// sondrel-bench play-window [--runs N] FILE
// Plays each file as the program does (AudioFile reader, chunks of 4410 samples, one more
// for each OnEndArrayPlay and OnRequestOnLoadArray, two at every start and resume) and
// measures the wall time to OnEndPlay and the CPU share of this process while playing.
// With --monitor (e.g. nullsink.monitor), `parec` records that PulseAudio source and the
// time from Play to the first sound arriving there is measured as well (an upper bound:
// it includes parec's own latency).
// play-window adds FILE to the real main window (offscreen, a temporary settings file) and
// presses Play N times (default 5), each after the last playing was stopped: the time Play
// took to return, the time from Play to the first samples written to the device (the
// player's output tap) and the longest gap between the ticks of a 1 ms timer on the GUI
// thread from Play until a second after the first sound. The open with the length counted,
// as adding counts it, is timed apart for comparison.
#include "AppShell.h"
#include "AudioFile.h"
#include "AudioPlayer.h"
#include "BenchCommon.h"
#include "EngineError.h"
#include "Launcher.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "Prompts.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

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

// The window's messages go to the error stream; nothing else is asked while playing.
class PlayPrompts : public sondrel::QtPrompts {
public:
    int messages = 0;
    void information(QWidget*, const QString& text) override { say(text); }
    void notice(QWidget*, const QString& text) override { say(text); }

private:
    void say(const QString& text)
    {
        ++messages;
        std::fprintf(stderr, "message\t%s\n", text.toUtf8().constData());
    }
};

// Runs the event loop until done() holds or timeoutMs have passed; false on the time-out.
template <class F>
bool waitFor(F done, int timeoutMs)
{
    const double end = bench::wallSeconds() + timeoutMs / 1000.0;
    while (!done()) {
        if (bench::wallSeconds() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

int playWindow(const QStringList& argsIn)
{
    QStringList args = argsIn;
    int runs = 5;
    QString path;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--runs") && !args.isEmpty())
            runs = std::max(1, args.takeFirst().toInt());
        else
            path = a;
    }
    if (path.isEmpty()) {
        bench::printError(QStringLiteral("play-window: no file given"));
        return 2;
    }

    double countedOpenMs = 0;
    try {
        const double t0 = bench::wallSeconds();
        sondrel::AudioFile counted;
        counted.OpenRead(path);
        countedOpenMs = (bench::wallSeconds() - t0) * 1000;
        bench::printRow({QStringLiteral("file"), path, QStringLiteral("audio s"),
                         bench::number(double(counted.SampleCount()) / counted.SampleRate(), 1),
                         QStringLiteral("open with its length counted ms"), bench::number(countedOpenMs, 1),
                         counted.CountMethodName()});
    } catch (const sondrel::EngineError& e) {
        bench::printRow({QStringLiteral("error"), path, QString::fromUtf8(e.what())});
        return 1;
    }

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    PlayPrompts prompts;
    sondrel::DesktopLauncher launcher;
    sondrel::AppShell shell(prompts, launcher);
    sondrel::Tfm_main& w = shell.mainWindow();
    w.show();
    w.AddFromCommandLine({path});
    if (!waitFor([&] { return !shell.state.flag_adding(); }, 600000) || w.list->count() != 1) {
        bench::printError(QStringLiteral("play-window: the file was not added"));
        return 1;
    }
    w.lv->selectRow(0);

    double firstSoundAt = -1;
    w.Player.SetOutputTap([&](const float*, std::size_t) {
        if (firstSoundAt < 0)
            firstSoundAt = bench::wallSeconds();
    });
    double lastTick = 0, longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = bench::wallSeconds();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });

    std::vector<double> firstSounds, stalls;
    int failed = 0;
    bench::printRow({QStringLiteral("run"), QStringLiteral("Play returned ms"), QStringLiteral("first sound ms"),
                     QStringLiteral("longest GUI stall ms")});
    for (int run = 1; run <= runs; ++run) {
        firstSoundAt = -1;
        longestGap = 0;
        lastTick = bench::wallSeconds();
        ticker.start(1);
        const double t0 = bench::wallSeconds();
        w.item("Play1")->trigger();
        const double returned = bench::wallSeconds();
        const bool heard = waitFor([&] { return firstSoundAt >= 0; }, 60000);
        const double after = bench::wallSeconds();
        waitFor([&] { return bench::wallSeconds() > after + 1.0; }, 2000);
        ticker.stop();
        longestGap = std::max(longestGap, bench::wallSeconds() - lastTick);
        w.item("StopPlay1")->trigger();
        waitFor([&] { return bench::wallSeconds() > after + 1.3; }, 1000);
        if (!heard || prompts.messages > 0) {
            bench::printRow({QString::number(run), QStringLiteral("error"), QStringLiteral("no sound")});
            ++failed;
            continue;
        }
        firstSounds.push_back((firstSoundAt - t0) * 1000);
        stalls.push_back(longestGap * 1000);
        bench::printRow({QString::number(run), bench::number((returned - t0) * 1000, 1),
                         bench::number(firstSounds.back(), 1), bench::number(stalls.back(), 1)});
    }
    if (!firstSounds.empty()) {
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        bench::printRow({QStringLiteral("median"), QStringLiteral("-"), bench::number(median(firstSounds), 1),
                         bench::number(median(stalls), 1)});
        bench::printRow({QStringLiteral("worst"), QStringLiteral("-"),
                         bench::number(*std::max_element(firstSounds.begin(), firstSounds.end()), 1),
                         bench::number(*std::max_element(stalls.begin(), stalls.end()), 1)});
    }
    bench::printTotal(1, bench::wallSeconds());
    return failed ? 1 : 0;
}

[[maybe_unused]] const bool registeredWindow = bench::registerCommand(
    {QStringLiteral("play-window"), QStringLiteral("[--runs N] FILE"),
     QStringLiteral("Play in the real window, N times: ms until Play returned, ms from Play to the first samples "
                    "written to the device, the longest GUI stall ms (gap between 1 ms timer ticks)"),
     playWindow, true});

[[maybe_unused]] const bool registered = bench::registerCommand(
    {QStringLiteral("play"), QStringLiteral("[--monitor SOURCE] [--pause-at S --pause-for S] FILE..."),
     QStringLiteral("play each file as the program does; path, audio s, wall s to OnEndPlay, CPU %, "
                    "ms from Play to the first sound on SOURCE"),
     play});

} // namespace
