#include "AppShell.h"
#include "AudioFile.h"
#include "FakePrompts.h"
#include "RunningWindow.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "TestAudio.h"

#include <QAction>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

// Playback through the window against a real sound server (a PulseAudio null sink started
// by the test command). What reaches the device is recorded by the player's output tap.
class TestPlayback : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    RunningWindow app;
    FakePrompts* prompts = nullptr;
    FakeLauncher* launcher = nullptr;
    AppShell* shell = nullptr;
    std::vector<float> played;
    Tfm_main& w() { return shell->mainWindow(); }
    AppState& s() { return shell->state; }

    bool noSoundExpected() const { return qEnvironmentVariableIsSet("SONDREL_EXPECT_NO_SOUND"); }

    void start()
    {
        QVERIFY(app.start());
        prompts = app.prompts.get();
        launcher = app.launcher.get();
        shell = app.shell.get();
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
    void add(const QStringList& files)
    {
        prompts->fileChoices.push_back({files, tmp.path()});
        w().item("AddFile1")->trigger();
        QVERIFY(app.waitAdded());
    }
    static std::vector<float> decode(const QString& path)
    {
        AudioFile f;
        f.OpenRead(path);
        std::vector<float> all;
        for (;;) {
            const SampleArray a = f.ReadSamples(4410);
            if (a.empty())
                break;
            all.insert(all.end(), a.begin(), a.end());
        }
        return all;
    }
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
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(SettingsFile::defaultPath());
    }
    void init()
    {
        if (noSoundExpected() != (QString(QTest::currentTestFunction()) == "noSoundServer"))
            QSKIP("runs only in its own configuration");
        if (!noSoundExpected() && QMediaDevices::audioOutputs().isEmpty())
            QSKIP("no sound server: scripts/test.sh starts a PulseAudio null sink");
        start();
    }
    void cleanup() { app.stop(); }

    void playsToTheEndAndReturnsToIdle()
    {
        const QString f = file("one.wav", 1.0);
        add({f});
        rows::select(w().lv, 0);
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
        QCOMPARE(rows::selected(w().lv), 0); // never moves on to another row
    }

    void pauseAndResumeLoseNothing()
    {
        const QString f = file("two.wav", 2.0);
        add({f});
        rows::select(w().lv, 0);
        w().item("Play2")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 22050, 30000);
        w().item("Pause1")->trigger();
        QVERIFY(s().flag_paused());
        QCOMPARE(menus(), QString(PausedMenus));
        const size_t atPause = played.size();
        QTest::qWait(300); // nothing is played while paused
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
        rows::select(w().lv, 0);
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
        rows::select(w().lv, 0);
        w().PlaySelected();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 8820, 30000);
        w().TogglePause();
        const size_t atPause = played.size();
        rows::select(w().lv, 1);
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
        rows::select(w().lv, 0);
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
        rows::select(w().lv, 1);
        w().item("Play1")->trigger();
        QCOMPARE(prompts->texts().last(), gone + " has been removed.");
        QVERIFY(!s().flag_playing());

        // While playing, Convert is refused with its message.
        rows::select(w().lv, 0);
        w().PlaySelected();
        QVERIFY(s().flag_playing());
        w().Convert1Click();
        QCOMPARE(prompts->texts().last(), QString("Please stop playing first."));
        QVERIFY(!s().flag_converting());

        // A double-click on the deleted row stops the playing file and leaves all idle.
        rows::select(w().lv, 1);
        w().lvDblClick();
        QCOMPARE(prompts->texts().last(), gone + " has been removed.");
        QVERIFY(!s().flag_playing());
        QVERIFY(!s().flag_paused());
        QCOMPARE(menus(), QString(IdleMenus));
        const size_t atStop = played.size();
        QTest::qWait(200);
        QCOMPARE(played.size(), atStop);

        // While converting, Play is refused with its message.
        s().setConverting(true);
        rows::select(w().lv, 0);
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
        rows::select(w().lv, 0);
        w().PlaySelected();
        QTRY_VERIFY_WITH_TIMEOUT(played.size() > 4410, 30000);
        w().item("StopPlay1")->trigger();
        QVERIFY(!s().flag_playing());
        QCOMPARE(menus(), QString(IdleMenus));
        QVERIFY(!w().AudioFileRead.IsOpen());
        const size_t atStop = played.size();
        QTest::qWait(200);
        QCOMPARE(played.size(), atStop);
        QVERIFY(prompts->messages.isEmpty());
    }

    // Without a sound server, Play says so and the window stays idle.
    void noSoundServer()
    {
        const QString a = file("ns.wav", 0.5);
        add({a});
        rows::select(w().lv, 0);
        w().item("Play1")->trigger();
        QCOMPARE(prompts->messages.size(), 1);
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
