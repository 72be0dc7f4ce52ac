#include "AppShell.h"
#include "AudioFile.h"
#include "FakePrompts.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "PlayTime.h"
#include "SettingsFile.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QAction>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdint>

using namespace sondrel;

// Playback through the window against a real sound server (a PulseAudio null sink started
// by the test command). What reaches the device is recorded by the player's output tap.
class TestPlayback : public WindowFixture {
    Q_OBJECT
    std::vector<float> played;

    bool noSoundExpected() const { return qEnvironmentVariableIsSet("SONDREL_EXPECT_NO_SOUND"); }

    void start()
    {
        WindowFixture::start();
        played.clear();
        w().Player.SetOutputTap([this](const float* p, std::size_t n) { played.insert(played.end(), p, p + n); });
    }
    QString file(const QString& name, double seconds, int rate = 22050, int channels = 2)
    {
        const QString p = tmp.filePath(name);
        if (!QFile::exists(p) && !testaudio::writeMusicWav(p, rate, channels, seconds))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }
    void add(const QStringList& files) { WindowFixture::add(files, tmp.path()); }
    // A file the ffmpeg command encodes from a WAV of the test signal.
    QString encoded(const QString& name, double seconds, const QStringList& codec)
    {
        const QString p = tmp.filePath(name);
        if (QFile::exists(p))
            return p;
        int code = -1;
        testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", file(name + ".wav", seconds)} + codec + QStringList{p},
                           60000, &code);
        if (code != 0)
            qFatal("ffmpeg cannot write %s", qPrintable(p));
        return p;
    }
    // Ten minutes of Vorbis in Matroska: counting its length takes a full decode.
    QString longMatroska()
    {
        const QString p = tmp.filePath("long.mka");
        if (QFile::exists(p))
            return p;
        int code = -1;
        testaudio::runTool("ffmpeg",
                           {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=330:sample_rate=22050:duration=600",
                            "-c:a", "libvorbis", "-q:a", "0", p},
                           120000, &code);
        if (code != 0)
            qFatal("ffmpeg cannot write %s", qPrintable(p));
        return p;
    }
    // The first `limit` samples (all of them by default) as the program reads the file.
    static std::vector<float> decode(const QString& path, std::size_t limit = SIZE_MAX)
    {
        AudioFile f;
        f.OpenRead(path);
        std::vector<float> all;
        while (all.size() < limit) {
            const SampleArray a = f.ReadSamples(4410);
            if (a.empty())
                break;
            all.insert(all.end(), a.begin(), a.end());
        }
        all.resize(std::min(all.size(), limit));
        return all;
    }
    bool playedStartsWith(const std::vector<float>& head) const
    {
        return played.size() >= head.size() && std::equal(head.begin(), head.end(), played.begin());
    }
    // Play returned with the playing state on, and the file is still being opened.
    bool opening() { return s().flag_playing() && !w().AudioFileRead.IsOpen(); }
    // Whether the items that playback touches are in the state's column.
    QString menus()
    {
        QString out;
        for (const char* n : {"AddFile1", "AddPath2", "Remove1", "Clear2", "Convert1", "Convert2",
                              "PausePlaying1", "Pause1", "Stopplaying1", "StopPlay1", "Play1", "Play2"})
            out += w().item(n)->isEnabled() ? '1' : '0';
        return out;
    }
    static constexpr const char* IdleMenus = "111111000011";
    static constexpr const char* PlayingMenus = "000000111111";
    static constexpr const char* PausedMenus = "000000001111";

private slots:
    void initTestCase() { forgetSettings(); }
    void init()
    {
        if (noSoundExpected() != (QString(QTest::currentTestFunction()) == "noSoundServer"))
            QSKIP("runs only in its own configuration");
        if (!noSoundExpected() && QMediaDevices::audioOutputs().isEmpty())
            QSKIP("no sound server: scripts/test.sh starts a PulseAudio null sink");
        start();
    }
    void cleanup() { stop(); }

    // A track of an album image plays its own range of the image, and nothing else.
    void playsATrackOfAnImage()
    {
        const QString image = file("image.wav", 3.0, 44100);
        const QString sheet = tmp.filePath("image.cue");
        QFile f(sheet);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("FILE \"image.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:30\n"
                "TRACK 03 AUDIO\nINDEX 01 00:02:00\n");
        f.close();
        add({sheet});
        QCOMPARE(w().list->count(), 3);
        w().lv->selectRow(1);
        w().item("Play1")->trigger();
        QVERIFY(s().flag_playing());
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 60000);
        const std::vector<float> whole = decode(image);
        // 588 samples a CD frame at 44.1 kHz, two channels.
        const std::size_t from = (75 + 30) * 588 * 2, to = 150 * 588 * 2;
        QVERIFY(played == std::vector<float>(whole.begin() + from, whole.begin() + to));
        QVERIFY(prompts->messages.isEmpty());
    }

    void playsToTheEndAndReturnsToIdle()
    {
        const QString f = file("one.wav", 1.0);
        add({f});
        w().lv->selectRow(0);
        QCOMPARE(menus(), QString(IdleMenus));
        // What had reached the device when the window went back to idle: the end comes
        // only after the whole file.
        std::size_t playedAtEnd = 0;
        const QMetaObject::Connection watch = connect(&s(), &AppState::flagsChanged, this, [&] {
            if (!s().flag_playing() && playedAtEnd == 0)
                playedAtEnd = played.size();
        });
        w().item("Play1")->trigger();
        QVERIFY(s().flag_playing());
        QCOMPARE(menus(), QString(PlayingMenus));
        QCOMPARE(s().play_row, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 60000);
        disconnect(watch);
        QCOMPARE(playedAtEnd, decode(f).size());
        QCOMPARE(menus(), QString(IdleMenus));
        QVERIFY(!w().AudioFileRead.IsOpen());
        // Every sample was played once, in order.
        QVERIFY(played == decode(f));
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(w().lv->selectedRow(), 0); // never moves on to another row
    }

    // The row played carries a play sign, a pause sign while paused, and keeps it when the
    // list is sorted; the bar shows elapsed and total time while it plays and then what it
    // showed before.
    void playingRowIsMarkedAndItsTimeShown()
    {
        add({file("a.wav", 2.5), file("b.wav", 0.5, 22050, 1)});
        w().pb->setFormat("1 converted");
        w().pb->setTextVisible(true);
        const auto icon = [this](int row, int column) {
            return w().list->data(w().list->index(row, column), Qt::DecorationRole);
        };
        QVERIFY(icon(0, rows::FileName).isNull());
        w().lv->selectRow(0);
        w().item("Play1")->trigger();
        QCOMPARE(w().list->playMark(0), ListRow::PlayMark::Playing);
        QCOMPARE(w().pb->format(), QString("0:00 / 0:02"));
        QVERIFY(!icon(0, rows::FileName).isNull());
        for (int column : {rows::FullPath, rows::Time, rows::Status})
            QVERIFY(icon(0, column).isNull());
        QVERIFY(icon(1, rows::FileName).isNull());
        QTRY_COMPARE_WITH_TIMEOUT(w().pb->format(), QString("0:01 / 0:02"), 30000);
        QVERIFY(w().pb->value() >= 40 && w().pb->value() < 100);

        w().item("Pause1")->trigger();
        QCOMPARE(w().list->playMark(0), ListRow::PlayMark::Paused);
        QVERIFY(!icon(0, rows::FileName).isNull());
        // Sorted by path, descending: the sign goes with its row.
        w().lv->sortByColumnClick(rows::FullPath);
        w().lv->sortByColumnClick(rows::FullPath);
        QCOMPARE(w().list->text(1, rows::FileName), QString("a.wav"));
        QCOMPARE(w().list->playMarkRow(), 1);
        QVERIFY(icon(0, rows::FileName).isNull());

        w().item("Play1")->trigger();
        QCOMPARE(w().list->playMark(1), ListRow::PlayMark::Playing);
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 30000);
        QCOMPARE(w().list->playMarkRow(), -1);
        QVERIFY(icon(1, rows::FileName).isNull());
        QCOMPARE(w().pb->format(), QString("1 converted"));
        QVERIFY(w().pb->isTextVisible());

        // Stopped at once: the sign goes too.
        w().lv->selectRow(0);
        w().item("Play1")->trigger();
        QCOMPARE(w().list->playMarkRow(), 0);
        w().item("StopPlay1")->trigger();
        QCOMPARE(w().list->playMarkRow(), -1);
        QCOMPARE(w().pb->format(), QString("1 converted"));
    }

    void positionTexts_data()
    {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << qint64(0) << qint64(225000) << "0:00 / 3:45";
        QTest::newRow("seconds round down") << qint64(12999) << qint64(225000) << "0:12 / 3:45";
        QTest::newRow("hours") << qint64(3723000) << qint64(36000000) << "1:02:03 / 10:00:00";
        QTest::newRow("never past the end") << qint64(3900) << qint64(3500) << "0:03 / 0:03";
        QTest::newRow("total unknown") << qint64(61000) << qint64(-1) << "1:01";
    }
    void positionTexts()
    {
        QFETCH(qint64, elapsed);
        QFETCH(qint64, total);
        QFETCH(QString, text);
        QCOMPARE(playPositionText(elapsed, total), text);
    }

    void pauseAndResumeLoseNothing()
    {
        const QString f = file("two.wav", 2.0);
        add({f});
        w().lv->selectRow(0);
        w().item("Play2")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 22050, 30000);
        w().item("Pause1")->trigger();
        QVERIFY(s().flag_paused());
        QCOMPARE(menus(), QString(PausedMenus));
        const size_t atPause = played.size();
        // Time passes on purpose: nothing may reach the device while paused.
        QTest::qWait(300);
        QCOMPARE(played.size(), atPause);
        QVERIFY(s().flag_playing());
        // The Pause items are disabled while paused; Play resumes, whatever row is selected.
        w().lv->clearSelection();
        w().item("Play1")->trigger();
        QVERIFY(!s().flag_paused());
        QCOMPARE(menus(), QString(PlayingMenus));
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 30000);
        QVERIFY(played == decode(f));
    }

    void pauseButtonResumesToo()
    {
        const QString f = file("three.wav", 1.5);
        add({f});
        w().lv->selectRow(0);
        w().PlaySelected();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 4410, 30000);
        w().TogglePause();
        QVERIFY(s().flag_paused());
        w().TogglePause();
        QVERIFY(!s().flag_paused());
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 30000);
        QVERIFY(played == decode(f));
    }

    void doubleClickWhilePausedStartsTheClickedRowFromItsBeginning()
    {
        const QString a = file("a.wav", 2.0), b = file("b.wav", 0.5, 22050, 1);
        add({a, b});
        w().lv->selectRow(0);
        w().PlaySelected();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 8820, 30000);
        w().TogglePause();
        const size_t atPause = played.size();
        w().lv->selectRow(1);
        w().lvDblClick();
        QVERIFY(s().flag_playing());
        QVERIFY(!s().flag_paused());
        QCOMPARE(s().play_row, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 30000);
        const std::vector<float> tail(played.begin() + long(atPause), played.end());
        QVERIFY(tail == decode(b));
    }

    void playWhilePlayingRestartsTheSelectedRow()
    {
        const QString a = file("r.wav", 1.5);
        add({a});
        w().lv->selectRow(0);
        w().PlaySelected();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 8820, 30000);
        const size_t atRestart = played.size();
        w().PlaySelected();
        QVERIFY(s().flag_playing());
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 30000);
        const std::vector<float> tail(played.begin() + long(atRestart), played.end());
        QVERIFY(tail == decode(a));
    }

    void refusalsAndMissingFiles()
    {
        // Idle: pause and stop do nothing.
        w().TogglePause();
        w().StopPlaying();
        QVERIFY(!s().flag_playing());
        const QString a = file("m1.wav", 2.0), gone = tmp.filePath("gone.wav");
        QVERIFY(QFile::copy(a, gone));
        add({a, gone});
        w().lv->clearSelection();
        w().item("Play1")->trigger();
        QCOMPARE(prompts->texts(), QStringList({"Please select the file you want to play!"}));
        QVERIFY(QFile::remove(gone));
        w().lv->selectRow(1);
        w().item("Play1")->trigger();
        QCOMPARE(prompts->texts().last(), gone + " has been removed.");
        QVERIFY(!s().flag_playing());

        // While playing, Convert is refused with its message.
        w().lv->selectRow(0);
        w().PlaySelected();
        QVERIFY(s().flag_playing());
        w().Convert1Click();
        QCOMPARE(prompts->texts().last(), QString("Please stop playing first."));
        QVERIFY(!s().flag_converting());

        // A double-click on the deleted row stops the playing file and leaves all idle.
        w().lv->selectRow(1);
        w().lvDblClick();
        QCOMPARE(prompts->texts().last(), gone + " has been removed.");
        QVERIFY(!s().flag_playing());
        QVERIFY(!s().flag_paused());
        QCOMPARE(menus(), QString(IdleMenus));
        const size_t atStop = played.size();
        QTest::qWait(200); // time passes on purpose: nothing more reaches the device
        QCOMPARE(played.size(), atStop);

        // While converting, Play is refused with its message.
        s().setConverting(true);
        w().lv->selectRow(0);
        w().Play1Click();
        QCOMPARE(prompts->texts().last(), QString("Please stop converting first."));
        QVERIFY(!s().flag_playing());
        s().setConverting(false);
        // While adding, Play does nothing.
        s().setAdding(true);
        const int before = prompts->messages.size();
        w().Play1Click();
        QCOMPARE(prompts->messages.size(), before);
        QVERIFY(!s().flag_playing());
        s().setAdding(false);
    }

    void stopPlayingReturnsToIdleAtOnce()
    {
        const QString a = file("st.wav", 2.0);
        add({a});
        w().lv->selectRow(0);
        w().PlaySelected();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 4410, 30000);
        w().item("StopPlay1")->trigger();
        QVERIFY(!s().flag_playing());
        QCOMPARE(menus(), QString(IdleMenus));
        QVERIFY(!w().AudioFileRead.IsOpen());
        const size_t atStop = played.size();
        QTest::qWait(200); // time passes on purpose: nothing more reaches the device
        QCOMPARE(played.size(), atStop);
        QVERIFY(prompts->messages.isEmpty());
    }

    // Matroska and WebM files, whose length only a full decode tells, play from their first
    // sample to their last.
    void containersThatNeedAFullDecodePlay_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codec");
        QTest::newRow("Vorbis in Matroska") << "v.mka" << QStringList{"-c:a", "libvorbis"};
        QTest::newRow("Opus in WebM") << "o.webm" << QStringList{"-c:a", "libopus"};
    }
    void containersThatNeedAFullDecodePlay()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codec);
        const QString f = encoded(name, 1.2, codec);
        add({f});
        w().lv->selectRow(0);
        w().item("Play1")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 60000);
        QVERIFY(played == decode(f));
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(menus(), QString(IdleMenus));
    }

    // Play returns before the file is open: the window goes on handling events (a zero
    // timer keeps firing) while a long Matroska file opens, and the commands that would
    // change the list or convert are off from the start.
    void theWindowStaysResponsiveWhileAFileOpens()
    {
        const QString f = longMatroska();
        add({f});
        w().lv->selectRow(0);
        int ticks = 0;
        QTimer zero;
        connect(&zero, &QTimer::timeout, this, [&] { ++ticks; });
        zero.start(0);
        w().item("Play1")->trigger();
        QVERIFY(opening());
        QCOMPARE(menus(), QString(PlayingMenus));
        w().Convert1Click();
        QCOMPARE(prompts->texts(), QStringList({"Please stop playing first."}));
        const int ticksAtPlay = ticks;
        QTRY_VERIFY_WITH_TIMEOUT(!played.empty(), 30000);
        QVERIFY(ticks > ticksAtPlay);
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 22050, 30000);
        QVERIFY(playedStartsWith(decode(f, 22050)));
        w().item("StopPlay1")->trigger();
        QCOMPARE(menus(), QString(IdleMenus));
    }

    // What the user does while the long file is still being opened: the request is given up
    // or overtaken, and its result, when it comes, is dropped.
    void commandsWhileAFileOpens_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("heardRow"); // the row whose file is heard afterwards; -1: none
        QTest::newRow("Stop Playing") << "stop" << -1;
        QTest::newRow("Play on another row") << "play other" << 1;
        QTest::newRow("double-click on another row") << "double-click other" << 1;
        QTest::newRow("Pause, then Play") << "pause" << 0;
        QTest::newRow("closing the window") << "close" << -1;
        QTest::newRow("ending the program") << "end" << -1;
    }
    void commandsWhileAFileOpens()
    {
        QFETCH(QString, action);
        QFETCH(int, heardRow);
        const QString a = longMatroska(), b = file("other.wav", 0.6);
        add({a, b});
        w().lv->selectRow(0);
        w().item("Play1")->trigger();
        QVERIFY(opening());
        if (action == "stop") {
            w().item("StopPlay1")->trigger();
        } else if (action == "play other") {
            w().lv->selectRow(1);
            w().item("Play1")->trigger();
            QCOMPARE(s().play_row, 1);
        } else if (action == "double-click other") {
            w().lv->selectRow(1);
            w().lvDblClick();
        } else if (action == "pause") {
            w().item("Pause1")->trigger();
            QCOMPARE(menus(), QString(PausedMenus));
            // The file opens meanwhile, and nothing is played until Play.
            QTRY_VERIFY_WITH_TIMEOUT(w().AudioFileRead.IsOpen(), 30000);
            QTest::qWait(300); // time passes on purpose: paused, nothing is played
            QVERIFY(played.empty());
            QVERIFY(s().flag_paused());
            w().item("Play1")->trigger();
            QCOMPARE(menus(), QString(PlayingMenus));
        } else if (action == "close") {
            w().close();
            QVERIFY(!w().isVisible());
        } else if (action == "end") {
            // The window and its player go while the worker still opens the file.
            stop();
            // Time passes on purpose: the worker's open ends with no window to take it.
            QTest::qWait(300);
            QVERIFY(played.empty());
            return;
        }
        if (heardRow < 0) {
            QVERIFY(!s().flag_playing());
            // Time passes on purpose: the given-up open delivers its result meanwhile, which is
            // dropped without a trace (no event tells of it), so nothing may play after it.
            QTest::qWait(500);
            QVERIFY(played.empty());
            QVERIFY(!s().flag_playing());
            QVERIFY(!w().AudioFileRead.IsOpen());
            if (action != "close")
                QCOMPARE(menus(), QString(IdleMenus));
        } else if (heardRow == 1) {
            QTRY_VERIFY_WITH_TIMEOUT(!s().flag_playing(), 30000);
            QVERIFY(played == decode(b));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(played.size() > 22050, 30000);
            QVERIFY(playedStartsWith(decode(a, 22050)));
        }
        QVERIFY(prompts->messages.isEmpty());
    }

    // A file that changed after it was added: the playing state ends with the message.
    void aFileThatChangedSinceItWasAdded_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("deleted") << "delete" << " has been removed.";
        QTest::newRow("replaced by text") << "text" << " is an invalid audio file!";
        QTest::newRow("emptied") << "empty" << " is an invalid audio file!";
        QTest::newRow("Matroska cut to its header") << "cut" << " is an invalid audio file!";
    }
    void aFileThatChangedSinceItWasAdded()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        const QString f = tmp.filePath("changed-" + change + ".mka");
        QVERIFY(QFile::copy(encoded("c.mka", 0.5, {"-c:a", "libvorbis"}), f));
        add({f});
        QCOMPARE(w().list->count(), 1);
        QFile out(f);
        if (change == "delete") {
            QVERIFY(out.remove());
        } else {
            QVERIFY(out.open(QIODevice::ReadWrite));
            const QByteArray head = out.read(200);
            QVERIFY(out.resize(0));
            QVERIFY(out.seek(0));
            if (change == "text")
                out.write("not audio at all\n");
            else if (change == "cut")
                out.write(head);
            out.close();
        }
        w().lv->selectRow(0);
        w().item("Play1")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(prompts->texts(), QStringList({f + message}), 30000);
        QVERIFY(!s().flag_playing());
        QCOMPARE(menus(), QString(IdleMenus));
        QVERIFY(!w().AudioFileRead.IsOpen());
        QVERIFY(played.empty());
    }

    // Without a sound server, Play says so and the window stays idle.
    void noSoundServer()
    {
        const QString a = file("ns.wav", 0.5);
        add({a});
        w().lv->selectRow(0);
        w().item("Play1")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(prompts->messages.size(), 1, 30000);
        QVERIFY2(prompts->messages.first().text.startsWith("No sound output is available"),
                 qPrintable(prompts->messages.first().text));
        QVERIFY(!s().flag_playing());
        QCOMPARE(menus(), QString(IdleMenus));
        QVERIFY(!w().AudioFileRead.IsOpen());
        QVERIFY(w().isVisible());
    }
};

QTEST_MAIN(TestPlayback)
#include "test_playback.moc"
