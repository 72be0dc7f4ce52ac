// AudioPlayer against a real sound server (a PulseAudio null sink in CI): fed the way the
// program feeds it, a clip plays to OnEndPlay in real time; Stop halts every event; Stop
// then Play continues with the very next sample; without a server Play says so.
#include "AudioFile.h"
#include "AudioPlayer.h"
#include "EngineError.h"
#include "TestAudio.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

using sondrel::AudioPlayer;
using sondrel::SampleArray;

namespace {

constexpr int kChunk = 4410; // samples per load, as the program reads them

// Plays a source the way the program does: Play, then two loads; one more load for each
// OnEndArrayPlay and each OnRequestOnLoadArray; an empty array once the source is done.
// Pause is Stop; resume is Play and two loads.
struct Feeder {
    AudioPlayer& player;
    std::vector<float> source;
    int channels;
    int rate;
    std::size_t pos = 0;

    std::vector<float> tapped; // what the player wrote to the device
    int nonEmptyLoads = 0;
    int endArrays = 0;
    int requests = 0;
    int endPlays = 0;
    int eventsWhileStopped = 0;
    int lastTimerSamples = 0;
    int maxLevel = 0;
    bool stopped = false;
    std::size_t tappedAtEnd = 0; // what had gone to the device when OnEndPlay came

    Feeder(AudioPlayer& p, std::vector<float> src, int ch, int sr)
        : player(p), source(std::move(src)), channels(ch), rate(sr)
    {
        player.SetOutputTap([this](const float* s, std::size_t n) { tapped.insert(tapped.end(), s, s + n); });
        QObject::connect(&player, &AudioPlayer::OnEndArrayPlay, &player, [this] {
            ++endArrays;
            event();
        });
        QObject::connect(&player, &AudioPlayer::OnRequestOnLoadArray, &player, [this] {
            ++requests;
            event();
        });
        QObject::connect(&player, &AudioPlayer::OnEndPlay, &player, [this] {
            ++endPlays;
            if (stopped)
                ++eventsWhileStopped;
            tappedAtEnd = tapped.size();
            player.Stop(); // as the program's handler does
        });
        QObject::connect(&player, &AudioPlayer::OnTimer, &player, [this](int current, int l, int r) {
            lastTimerSamples = current;
            maxLevel = std::max({maxLevel, l, r});
        });
    }
    ~Feeder()
    {
        player.SetOutputTap({});
        QObject::disconnect(&player, nullptr, &player, nullptr);
    }

    void event()
    {
        if (stopped)
            ++eventsWhileStopped;
        feed();
    }
    void feed()
    {
        const std::size_t n = std::min<std::size_t>(kChunk, source.size() - pos);
        const SampleArray chunk(source.begin() + long(pos), source.begin() + long(pos + n));
        pos += n;
        if (!chunk.empty())
            ++nonEmptyLoads;
        player.LoadArray(chunk);
    }
    void start()
    {
        player.SetArrayFormat(channels, rate);
        player.Play();
        feed();
        feed();
    }
    void pause()
    {
        player.Stop();
        stopped = true;
    }
    void resume()
    {
        stopped = false;
        player.Play();
        feed();
        feed();
    }
    double secondsWritten() const { return double(tapped.size()) / channels / rate; }
    double duration() const { return double(source.size()) / channels / rate; }
};

// Run as a child process with PULSE_SERVER pointing nowhere: Play must throw
// NoAudioDeviceError. Exit 0 and the message on success.
int playWithoutServer(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    AudioPlayer player;
    player.SetArrayFormat(2, 44100);
    player.LoadArray(SampleArray(kChunk, 0.1f));
    try {
        player.Play();
    } catch (const sondrel::NoAudioDeviceError& e) {
        std::fputs(e.what(), stdout);
        return 0;
    } catch (const std::exception& e) {
        std::printf("wrong exception: %s", e.what());
        return 2;
    }
    std::fputs("Play did not throw", stdout);
    return 1;
}

} // namespace

// QSKIP returns from the function it is written in, so this has to be a macro.
#define NEED_SOUND_SERVER()                                                                         \
    do {                                                                                           \
        if (!m_haveServer)                                                                         \
            QSKIP("No sound server reachable: start one with scripts/sound-server.sh (start_null_sink)"); \
    } while (false)

class TestEnginePlayer : public QObject {
    Q_OBJECT
    bool m_haveServer = false;


private slots:
    void initTestCase() { m_haveServer = !QMediaDevices::audioOutputs().isEmpty(); }

    // A short clip plays to OnEndPlay, which comes after its last sample; exactly its
    // samples reach the device, in order, and every loaded array is reported once.
    void playsToEnd_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("seconds");
        QTest::newRow("stereo 44.1k") << 2 << 44100 << 1.5;
        QTest::newRow("stereo 48k") << 2 << 48000 << 0.7;
        QTest::newRow("mono 22.05k") << 1 << 22050 << 0.8;
        QTest::newRow("mono 8k (chunks longer than the buffer)") << 1 << 8000 << 1.2;
        QTest::newRow("shorter than one chunk") << 2 << 44100 << 0.03;
    }
    void playsToEnd()
    {
        NEED_SOUND_SERVER();
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(double, seconds);
        AudioPlayer player;
        Feeder f(player, testaudio::musicSignal(rate, channels, std::int64_t(seconds * rate)), channels, rate);
        f.start();
        QTRY_VERIFY_WITH_TIMEOUT(f.endPlays > 0, int(seconds * 1000) + 30000);
        // The end comes only after the last sample has gone to the device.
        QCOMPARE(f.tappedAtEnd, f.source.size());
        QCOMPARE(f.endPlays, 1);
        QVERIFY(f.tapped == f.source);
        QCOMPARE(f.endArrays, f.nonEmptyLoads);
        QCOMPARE(player.FramesWritten(), std::int64_t(f.source.size()) / channels);
        QVERIFY(!player.IsPlaying());
        if (seconds > 0.5) {
            QVERIFY(f.lastTimerSamples > 0);
            QVERIFY(f.lastTimerSamples <= std::int64_t(f.source.size()) / channels);
            QVERIFY(f.maxLevel > 1000);
        }
    }

    // A file, decoded by AudioFile in the program's chunks, plays to its end.
    void playsAFile()
    {
        NEED_SOUND_SERVER();
        QTemporaryDir dir;
        const QString path = dir.filePath("clip.wav");
        const std::vector<float> original = testaudio::musicSignal(22050, 2, 22050 * 3 / 4);
        QVERIFY(testaudio::writeWav(path, original, 22050, 2, 16));
        sondrel::AudioFile reader;
        reader.OpenRead(path, 0, 1);
        std::vector<float> decoded;
        for (;;) {
            const SampleArray chunk = reader.ReadSamples(kChunk);
            if (chunk.empty())
                break;
            decoded.insert(decoded.end(), chunk.begin(), chunk.end());
        }
        QCOMPARE(decoded.size(), original.size());
        AudioPlayer player;
        Feeder f(player, decoded, reader.ChannelCount(), reader.SampleRate());
        reader.Close();
        f.start();
        QTRY_VERIFY_WITH_TIMEOUT(f.endPlays > 0, 30000);
        QCOMPARE(f.tappedAtEnd, decoded.size());
        QVERIFY(f.tapped == decoded);
        QVERIFY(testaudio::snrDb(original, f.tapped) > 80); // 16-bit WAV: the same sound
    }

    // What the sound server really played: our stream's own output, recorded through
    // parec, is the source sample for sample (16-bit on the null sink) from the first
    // sound to the last: no gap or glitch at any chunk boundary, and nothing cut at the end
    // by OnEndPlay coming too early (the handler stops the player at once). The server
    // may swallow the first few milliseconds of a new stream while it rewinds its sink
    // to mix the stream in (pacat shows the same on the null sink's monitor), so the
    // recording may begin a little into the source. The same rewinds make the recording
    // unreliable around a pause, which the tests above check on what the device was given.
    void heardOutputIsTheSource()
    {
        NEED_SOUND_SERVER();
        if (QStandardPaths::findExecutable("parec").isEmpty() || QStandardPaths::findExecutable("pactl").isEmpty())
            QSKIP("parec and pactl (pulseaudio-utils) are needed to record the stream");
        AudioPlayer player;
        player.SetArrayFormat(2, 44100);
        player.Play(); // the stream exists now; nothing is queued yet

        // Our stream's index on the server, then a recorder attached to it alone (other
        // programs playing to the same sink do not disturb it).
        QString index;
        const QString inputs = QString::fromUtf8(testaudio::runTool("pactl", {"list", "sink-inputs"}, 10000));
        for (const QString& block : inputs.split("Sink Input #")) {
            if (block.contains(QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid())))
                index = block.section('\n', 0, 0).trimmed();
        }
        QVERIFY2(!index.isEmpty(), qPrintable(inputs));
        QProcess parec;
        parec.start("parec", {"--monitor-stream=" + index, "--raw", "--format=float32le", "--channels=2",
                              "--rate=44100", "--latency-msec=10"});
        QVERIFY(parec.waitForStarted(5000));
        const QString pid = QStringLiteral("application.process.id = \"%1\"").arg(parec.processId());
        QTRY_VERIFY_WITH_TIMEOUT(
            QString::fromUtf8(testaudio::runTool("pactl", {"list", "source-outputs"}, 10000)).contains(pid), 30000);

        const int rate = 44100;
        Feeder f(player, testaudio::musicSignal(rate, 2, rate), 2, rate);
        f.feed();
        f.feed();
        QTRY_VERIFY_WITH_TIMEOUT(f.endPlays > 0, 30000);
        // Our stream is gone now, and with it the recorder's: parec ends by itself once it
        // has delivered everything.
        QVERIFY(parec.state() == QProcess::NotRunning || parec.waitForFinished(5000));
        const QByteArray raw = parec.readAllStandardOutput();
        std::vector<float> heard(size_t(raw.size()) / 4);
        std::memcpy(heard.data(), raw.constData(), heard.size() * 4);

        // Align: where in the source does the first sound of the recording sit?
        const std::vector<float> src = testaudio::channel(f.source, 2, 0);
        const std::vector<float> rec = testaudio::channel(heard, 2, 0);
        size_t first = 0;
        while (first < rec.size() && rec[first] == 0.0f)
            ++first;
        QVERIFY2(first + 64 < rec.size(), "nothing was recorded");
        constexpr double tolerance = 2.0 / 32768;
        long start = -1;
        for (size_t k = 0; k < size_t(rate / 20) && start < 0; ++k) {
            bool match = true;
            for (size_t j = 0; j < 64 && match; ++j)
                match = std::abs(double(rec[first + j]) - src[k + j]) < tolerance;
            if (match)
                start = long(k);
        }
        QVERIFY2(start >= 0, "the recording does not start within the first 50 ms of the source");
        // From there on, every sample of both channels to the very end, then silence.
        const size_t offset = 2 * first - 2 * size_t(start);
        QVERIFY2(heard.size() >= offset + f.source.size(),
                 qPrintable(QStringLiteral("the recording ends %1 samples early")
                                .arg(offset + f.source.size() - heard.size())));
        for (size_t i = 2 * size_t(start); i < f.source.size(); ++i) {
            if (std::abs(double(heard[offset + i]) - f.source[i]) >= tolerance)
                QFAIL(qPrintable(QStringLiteral("sample %1 of %2 differs: %3 heard, %4 sent")
                                     .arg(i).arg(f.source.size()).arg(heard[offset + i]).arg(f.source[i])));
        }
        for (size_t i = offset + f.source.size(); i < heard.size(); ++i)
            QCOMPARE(heard[i], 0.0f);
    }

    // Stop halts everything: no OnEndPlay, no OnEndArrayPlay, no OnRequestOnLoadArray, no
    // more samples to the device, for longer than the rest of the clip would have taken.
    void stopRaisesNothing()
    {
        NEED_SOUND_SERVER();
        AudioPlayer player;
        Feeder f(player, testaudio::musicSignal(44100, 2, 44100), 2, 44100);
        f.start();
        QTRY_VERIFY_WITH_TIMEOUT(f.secondsWritten() > 0.3, 30000);
        f.pause();
        const std::size_t written = f.tapped.size();
        const int loads = f.nonEmptyLoads;
        QTest::qWait(1500); // time passes on purpose: longer than the remaining 0.7 s of sound
        QCOMPARE(f.endPlays, 0);
        QCOMPARE(f.eventsWhileStopped, 0);
        QCOMPARE(f.tapped.size(), written);
        QCOMPARE(f.nonEmptyLoads, loads);
        QVERIFY(!player.IsPlaying());
    }

    // Pauses at different moments (right after the start, mid-way twice, after the end
    // marker was loaded): the device gets every sample exactly once, in order, and the
    // clip still ends with one OnEndPlay.
    void stopThenPlayContinues()
    {
        NEED_SOUND_SERVER();
        AudioPlayer player;
        Feeder f(player, testaudio::musicSignal(44100, 2, std::int64_t(1.2 * 44100)), 2, 44100);
        f.start();
        f.pause(); // before anything was heard
        f.resume();
        QTRY_VERIFY_WITH_TIMEOUT(f.secondsWritten() > 0.3, 30000);
        f.pause();
        QTest::qWait(200); // time passes on purpose: the user's pause
        f.resume();
        QTRY_VERIFY_WITH_TIMEOUT(f.secondsWritten() > 0.7, 30000);
        f.pause();
        f.resume(); // at once
        QTRY_VERIFY_WITH_TIMEOUT(f.pos == f.source.size(), 30000);
        QVERIFY(f.endPlays == 0);
        f.pause(); // the end marker is queued, the tail still playing
        QTest::qWait(200); // time passes on purpose: no end is reported while paused
        QCOMPARE(f.endPlays, 0);
        f.resume();
        QTRY_VERIFY_WITH_TIMEOUT(f.endPlays > 0, 30000);
        QCOMPARE(f.endPlays, 1);
        QCOMPARE(f.eventsWhileStopped, 0);
        QCOMPARE(f.tapped.size(), f.source.size());
        QVERIFY(f.tapped == f.source);
        QCOMPARE(f.endArrays, f.nonEmptyLoads);
    }

    // SetArrayFormat starts a new stream: what was queued from the previous file (stopped
    // half-way) is dropped, and the new file plays from its first sample.
    void newFormatDropsOldQueue()
    {
        NEED_SOUND_SERVER();
        AudioPlayer player;
        {
            Feeder first(player, testaudio::musicSignal(44100, 2, 44100), 2, 44100);
            first.start();
            QTRY_VERIFY_WITH_TIMEOUT(first.secondsWritten() > 0.2, 30000);
            first.pause();
        }
        Feeder second(player, testaudio::musicSignal(22050, 1, 11025), 1, 22050);
        second.start();
        QTRY_VERIFY_WITH_TIMEOUT(second.endPlays > 0, 30000);
        QVERIFY(second.tapped == second.source);
        QCOMPARE(player.FramesWritten(), std::int64_t(11025));
    }

    // With no sound server at all, Play throws NoAudioDeviceError with a readable reason.
    void noServerThrows()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:/nonexistent-sondrel-test/native");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--play-without-server"});
        QVERIFY(child.waitForFinished(30000));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(out));
        QVERIFY2(out.contains("sound", Qt::CaseInsensitive), qPrintable(out));
    }

    // Opening for playing counts nothing that reading does not need, yet reads the very
    // samples a counted opening reads: the Ogg end still trimmed at the last granule
    // position, AAC in M4A at its edit list's end, Matroska/WebM and AC-3 (whose counts take
    // a full decode) read to their end.
    void readingForPlaying_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("args"); // ffmpeg arguments that make it from the source
        QTest::addColumn<QString>("method");   // CountMethodName of the uncounted opening
        QTest::newRow("Vorbis in Matroska") << "v.mka" << QStringList{"-c:a", "libvorbis"} << "not counted";
        QTest::newRow("Opus in WebM") << "o.webm" << QStringList{"-c:a", "libopus"} << "not counted";
        QTest::newRow("Ogg Vorbis") << "v.ogg" << QStringList{"-c:a", "libvorbis"} << "ogg granule";
        QTest::newRow("Opus in Ogg") << "o.opus" << QStringList{"-c:a", "libopus"} << "ogg granule";
        QTest::newRow("MP3") << "m.mp3" << QStringList{"-c:a", "libmp3lame"} << "not counted";
        QTest::newRow("AAC in M4A") << "a.m4a" << QStringList{"-c:a", "aac"} << "not counted";
        QTest::newRow("AC-3") << "a.ac3" << QStringList{"-c:a", "ac3"} << "not counted";
        QTest::newRow("FLAC") << "f.flac" << QStringList{"-c:a", "flac"} << "not counted";
    }
    void readingForPlaying()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, args);
        QFETCH(QString, method);
        QTemporaryDir dir;
        const QString source = dir.filePath("source.wav"), path = dir.filePath(name);
        QVERIFY(testaudio::writeMusicWav(source, 44100, 2, 2.3));
        int code = -1;
        testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", source} + args + QStringList{path}, 60000,
                           &code);
        QCOMPARE(code, 0);
        auto readAll = [](sondrel::AudioFile& f) {
            std::vector<float> all;
            while (true) {
                const SampleArray chunk = f.ReadSamples(kChunk);
                if (chunk.empty())
                    return all;
                all.insert(all.end(), chunk.begin(), chunk.end());
            }
        };
        sondrel::AudioFile counted, uncounted;
        counted.OpenRead(path);
        uncounted.OpenReadUncounted(path);
        QCOMPARE(QString(uncounted.CountMethodName()), method);
        QCOMPARE(uncounted.SampleRate(), counted.SampleRate());
        QCOMPARE(uncounted.ChannelCount(), counted.ChannelCount());
        const std::vector<float> expected = readAll(counted);
        // Handed to another instance after opening, as the player's reader takes it over.
        sondrel::AudioFile player;
        player.TakeReader(uncounted);
        QVERIFY(!uncounted.IsOpen());
        QVERIFY(player.IsOpen());
        const std::vector<float> got = readAll(player);
        QCOMPARE(got.size(), expected.size());
        QVERIFY(got == expected);
        QCOMPARE(player.FramesRead(), counted.SampleCount());
    }

    // Every real-world file opens for playing exactly when it opens counted (the same error
    // otherwise) and reads the same samples.
    void readingForPlayingTheCorpus()
    {
        const QStringList files = testaudio::corpusFiles();
        if (files.isEmpty())
            QSKIP("no real-world corpus");
        int opened = 0;
        for (const QString& name : files) {
            const QString path = testaudio::corpusDir() + "/" + name;
            sondrel::AudioFile counted, uncounted;
            QString countedError, uncountedError;
            try {
                counted.OpenRead(path);
            } catch (const sondrel::EngineError& e) {
                countedError = e.what();
            }
            try {
                uncounted.OpenReadUncounted(path);
            } catch (const sondrel::EngineError& e) {
                uncountedError = e.what();
            }
            QVERIFY2(countedError == uncountedError, qPrintable(name + ": " + countedError + " / " + uncountedError));
            if (!countedError.isEmpty())
                continue;
            ++opened;
            bool same = true;
            while (same) {
                const SampleArray a = counted.ReadSamples(kChunk), b = uncounted.ReadSamples(kChunk);
                same = a == b;
                if (a.empty() || b.empty())
                    break;
            }
            QVERIFY2(same, qPrintable(name));
        }
        QVERIFY(opened > 0);
    }

    void playBeforeFormatIsAnError()
    {
        AudioPlayer player;
        QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, player.Play());
        QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, player.SetArrayFormat(0, 44100));
        QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, player.SetArrayFormat(2, 0));
        player.Stop(); // harmless when nothing plays
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--play-without-server") == 0)
        return playWithoutServer(argc, argv);
    QCoreApplication app(argc, argv);
    TestEnginePlayer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine_player.moc"
