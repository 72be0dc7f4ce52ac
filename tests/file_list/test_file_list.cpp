#include "AppShell.h"
#include "FakePrompts.h"
#include "RunningWindow.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "RowTexts.h"
#include "SettingsFile.h"
#include "TestAudio.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace sondrel;

class TestFileList : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    RunningWindow app;
    FakePrompts* prompts = nullptr;
    FakeLauncher* launcher = nullptr;
    AppShell* shell = nullptr;
    Tfm_main& w() { return shell->mainWindow(); }

    void start()
    {
        QVERIFY(app.start());
        prompts = app.prompts.get();
        launcher = app.launcher.get();
        shell = app.shell.get();
    }
    // A one-second WAV with a title tag, made by the ffmpeg command.
    QString taggedWav(const QString& name, const QString& title, double seconds = 1.0)
    {
        const QString path = tmp.filePath(name);
        int code = 0;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                      QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
                                      "-metadata", "title=" + title, "-metadata", "artist=Artist " + title,
                                      "-metadata", "date=1999", path}, 30000, &code);
        if (code != 0)
            qFatal("ffmpeg could not make %s", qPrintable(path));
        return path;
    }
    void addFiles(const QStringList& files)
    {
        prompts->fileChoices.push_back({files, QFileInfo(files.value(0)).absolutePath()});
        w().item("AddFile1")->trigger();
    }
    QStringList titles() const
    {
        QStringList out;
        for (const TrackInfo& t : shell->state.TrackInfos)
            out << t.title;
        return out;
    }
    QStringList captions()
    {
        QStringList out;
        for (int i = 0; i < rows::count(w().lv); ++i)
            out << rows::text(w().lv, i, rows::FileName);
        return out;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(tmp.isValid());
    }
    void init() { QFile::remove(SettingsFile::defaultPath()); }
    void cleanup() { app.stop(); }

    void sizeAndTimeTexts()
    {
        const QLocale c(QLocale::C);
        QCOMPARE(sizeText(1048576, c), QString("1.00MB"));
        QCOMPARE(sizeText(0, c), QString("0.00MB"));
        QCOMPARE(sizeText(1572864 + 4000, c), QString("1.50MB"));
        QCOMPARE(sizeText(1572864 + 6000, c), QString("1.51MB"));
        QCOMPARE(sizeText(qint64(1000) * 1048576 - 1, c), QString("1000.00MB"));
        QCOMPARE(sizeText(qint64(1234.567 * 1048576), c), QString("1234.60MB"));
        // 64-bit sizes: files of 2 GiB and more show their real size.
        QCOMPARE(sizeText(qint64(3) * 1024 * 1024 * 1024, c), QString("3072.00MB"));
        QCOMPARE(sizeText(qint64(123456) * 1048576, c), QString("123460.00MB"));
        QCOMPARE(sizeText(1048576, QLocale(QLocale::German)), QString("1,00MB"));
        QCOMPARE(sizeText(qint64(5000) * 1048576, QLocale(QLocale::German)), QString("5000,00MB"));
        QCOMPARE(timeText(59999), QString("00:00:59"));
        QCOMPARE(timeText(3600000), QString("01:00:00"));
        QCOMPARE(timeText(3723456), QString("01:02:03"));
        QCOMPARE(timeText(qint64(100) * 3600000), QString("100:00:00"));
        QCOMPARE(timeText(0), QString("00:00:00"));
    }

    void addsFilesSkippingMissingAndInvalidOnes()
    {
        start();
        const QString a = taggedWav("one.wav", "T1");
        const QString missing = tmp.filePath("gone.wav");
        const QString c = taggedWav("three.wav", "T3", 2.5);
        const QString junk = tmp.filePath("four.mp3");
        {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(5000, 'x'));
        }
        const QString e = taggedWav("five.wav", "T5");
        addFiles({a, missing, c, junk, e});

        QCOMPARE(prompts->texts(), QStringList({missing + " has been removed!", junk + " is an invalid audio file!"}));
        for (const auto& m : prompts->messages) {
            QCOMPARE(m.kind, FakePrompts::Kind::Notice);
            QCOMPARE(m.caption, QString("Information"));
        }
        QCOMPARE(captions(), QStringList({"one.wav", "three.wav", "five.wav"}));
        QCOMPARE(titles(), QStringList({"T1", "T3", "T5"}));
        QCOMPARE(shell->state.TrackInfos[1].artist, QString("Artist T3"));
        QCOMPARE(shell->state.TrackInfos[1].year, 1999);
        QCOMPARE(rows::text(w().lv, 1, rows::FullPath), c);
        QCOMPARE(rows::text(w().lv, 1, rows::Time), QString("00:00:02"));
        QCOMPARE(rows::text(w().lv, 1, rows::Size), sizeText(QFileInfo(c).size()));
        QCOMPARE(rows::text(w().lv, 2, rows::Status), QString("unconverted"));
        // The dialog opened in the program's folder and offered the filters in order: every
        // supported file, the first four formats, then the newer ones.
        QCOMPARE(prompts->lastStartFolder, QCoreApplication::applicationDirPath());
        QCOMPARE(prompts->lastFilters.mid(1, 4), QStringList({"MP3 Files(*.mp3)", "WAV Files(*.wav)",
                                                             "WMA Files(*.wma)", "OGG Files(*.ogg)"}));
        QVERIFY(prompts->lastFilters.at(0).startsWith("All Supported Files (*.mp3 *.wav *.wma *.ogg *.flac *.opus"));
        for (const char* f : {"FLAC Files(*.flac)", "Opus Files(*.opus)", "M4A/MP4 Files(*.m4a *.m4b *.mp4)",
                              "AAC Files(*.aac)", "AIFF Files(*.aif *.aiff *.aifc)", "WavPack Files(*.wv)",
                              "Monkey's Audio Files(*.ape)", "Matroska/WebM audio Files(*.mka *.webm)",
                              "MP2 Files(*.mp2)", "AC-3 Files(*.ac3)"})
            QVERIFY2(prompts->lastFilters.contains(f), f);
        // The folder is remembered for the next time, and the window is idle again.
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_string("basic", "file path", ""),
                 QFileInfo(a).absolutePath());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        QVERIFY(w().item("AddFile1")->isEnabled());

        addFiles({a});
        QCOMPARE(prompts->lastStartFolder, QFileInfo(a).absolutePath());
        QCOMPARE(rows::count(w().lv), 4);
    }

    void cancelledDialogChangesNothing()
    {
        start();
        w().item("AddFile2")->trigger();
        QCOMPARE(rows::count(w().lv), 0);
        QVERIFY(!QFile::exists(SettingsFile::defaultPath()));
    }

    void removeKeepsEveryOtherRowsOwnTags()
    {
        start();
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files << taggedWav(QStringLiteral("r%1.wav").arg(i), QStringLiteral("R%1").arg(i), 0.2);
        addFiles(files);
        rows::select(w().lv, 2);
        w().item("Remove2")->trigger();
        QCOMPARE(captions(), QStringList({"r0.wav", "r1.wav", "r3.wav", "r4.wav"}));
        QCOMPARE(titles(), QStringList({"R0", "R1", "R3", "R4"}));
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(QFile::exists(files[2]));
        // Nothing selected: nothing removed.
        w().lv->clearSelection();
        w().item("Remove1")->trigger();
        QCOMPARE(rows::count(w().lv), 4);
    }

    void clearAsksThenNewRowsTakeTheFirstSlots()
    {
        start();
        QStringList files;
        for (int i = 0; i < 3; ++i)
            files << taggedWav(QStringLiteral("c%1.wav").arg(i), QStringLiteral("C%1").arg(i), 0.2);
        addFiles(files);
        prompts->answers = {false};
        w().item("Clear1")->trigger();
        QCOMPARE(rows::count(w().lv), 3);
        QCOMPARE(prompts->messages.last().text,
                 QString("Are you sure to remove all the files from filelist?\nNot delete them from your computer."));
        QCOMPARE(prompts->messages.last().kind, FakePrompts::Kind::Confirm);
        prompts->answers = {true};
        w().item("Clear1")->trigger();
        QCOMPARE(rows::count(w().lv), 0);
        QVERIFY(QFile::exists(files[0]));
        addFiles({files[2], files[1]});
        QCOMPARE(titles(), QStringList({"C2", "C1"}));
    }

    void listCommandsRefuseWhileBusy()
    {
        start();
        const QString f = taggedWav("busy.wav", "B", 0.2);
        addFiles({f});
        rows::select(w().lv, 0);
        for (int busy = 0; busy < 3; ++busy) {
            AppState& s = shell->state;
            if (busy == 0) s.setConverting(true);
            if (busy == 1) s.setPlaying(true);
            if (busy == 2) s.setAdding(true);
            prompts->fileChoices.push_back({{f}, tmp.path()});
            prompts->answers = {true};
            w().AddFile1Click();
            w().AddPath1Click();
            w().Remove1Click();
            w().Clear1Click();
            QCOMPARE(rows::count(w().lv), 1);
            QCOMPARE(int(prompts->fileChoices.size()), 1); // the open dialog was never shown
            QCOMPARE(prompts->dialogsShown, 0);
            QVERIFY(prompts->messages.isEmpty());
            prompts->fileChoices.clear();
            s.clearFlags();
        }
    }

    // Adding pumps messages between files; a command arriving meanwhile meets the guards.
    void commandsDuringAddingAreRefused()
    {
        start();
        QStringList files;
        for (int i = 0; i < 3; ++i)
            files << taggedWav(QStringLiteral("p%1.wav").arg(i), QStringLiteral("P%1").arg(i), 0.2);
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            seen << QString::number(int(shell->state.uiState()));
            prompts->fileChoices.push_back({{files[0]}, tmp.path()});
            w().AddFile1Click(); // refused: adding
            rows::select(w().lv, 0);
            w().Remove1Click();  // refused: adding
            w().Play1Click();    // nothing while adding
        });
        addFiles(files);
        QCOMPARE(seen, QStringList({QString::number(int(UiState::Adding))}));
        QCOMPARE(rows::count(w().lv), 3);
        QCOMPARE(int(prompts->fileChoices.size()), 1);
        QVERIFY(!shell->state.flag_playing());
    }

    void recordsGrowPastTheOldLimit()
    {
        AppState s;
        s.setTrackInfo(10001, TrackInfo{"t", "", "", "", 1, 2, ""});
        QCOMPARE(int(s.TrackInfos.size()), 10002);
        QCOMPARE(s.trackInfo(10001).title, QString("t"));
        QCOMPARE(s.trackInfo(20000).title, QString());
    }
};

QTEST_MAIN(TestFileList)
#include "test_file_list.moc"
