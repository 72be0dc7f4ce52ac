#include "ConversionFixture.h"
#include "AudioInformation.h"
#include "TagEditor.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace sondrel;

// End to end through the window: files are added, the format and its settings chosen, the
// run started from the menu; the output is judged by ffprobe and by reading it back.
class TestConversion : public ConversionFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    void eachFormatAndSettings_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("keys"); // section/key=value
        QTest::addColumn<int>("srcRate");
        QTest::addColumn<int>("srcChannels");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
                QTest::newRow("mp3 cbr 128k") << 0 << QStringList() << 44100 << 2 << "mp3" << 44100 << 2;
        QTest::newRow("mp3 cbr 22k mono 64k")
            << 0 << QStringList({"mp3/frequency=4", "mp3/channel=0", "mp3/bitrate=7", "mp3/quality=2"})
            << 44100 << 2 << "mp3" << 22050 << 1;
        QTest::newRow("mp3 vbr")
            << 0 << QStringList({"mp3/enable vbr=1", "mp3/vbr quality=2", "mp3/vbr bitrate=16"})
            << 48000 << 1 << "mp3" << 44100 << 2;
        QTest::newRow("wav cd") << 1 << QStringList({"wav/mode=0"}) << 22050 << 1 << "pcm_s16le" << 44100 << 2;
        QTest::newRow("wav best suited") << 1 << QStringList({"wav/mode=1"}) << 22050 << 1 << "pcm_s16le" << 22050 << 1;
        QTest::newRow("wav custom 8-bit")
            << 1 << QStringList({"wav/mode=2", "wav/bit=0", "wav/frequency=0", "wav/channel=0"})
            << 44100 << 2 << "pcm_u8" << 8000 << 1;
        QTest::newRow("wma high") << 2 << QStringList({"wma/format=0"}) << 44100 << 2 << "wmav2" << 48000 << 2;
        QTest::newRow("wma mid") << 2 << QStringList() << 44100 << 2 << "wmav2" << 44100 << 2;
        QTest::newRow("wma low") << 2 << QStringList({"wma/format=35"}) << 44100 << 2 << "wmav2" << 8000 << 1;
        QTest::newRow("ogg quality")
            << 3 << QStringList({"ogg/enable quality=1", "ogg/quality=500"}) << 44100 << 2 << "vorbis" << 44100 << 2;
        QTest::newRow("ogg managed")
            << 3 << QStringList({"ogg/frequency=8", "ogg/channel=0", "ogg/bitrate=9", "ogg/max bitrate=11", "ogg/min bitrate=7"})
            << 44100 << 2 << "vorbis" << 48000 << 1;
    }
    void eachFormatAndSettings()
    {
        QFETCH(int, format);
        QFETCH(QStringList, keys);
        QFETCH(int, srcRate);
        QFETCH(int, srcChannels);
        QFETCH(QString, codec);
        QFETCH(int, rate);
        QFETCH(int, channels);
        for (const QString& k : keys) {
            const QString section = k.section('/', 0, 0);
            const QString rest = k.section('/', 1);
            settings().write_string(section, rest.section('=', 0, 0), rest.section('=', 1));
        }
        const double seconds = 2.5;
        const QString src = source(QStringLiteral("music_%1_%2.wav").arg(srcRate).arg(srcChannels), seconds, srcRate, srcChannels);
        add({src});
        w().list->setTrackInfo(0, TrackInfo{"Tïtle ✓", "Artist", "Album", "Jazz", 7, 2001, "A comment"});
        w().cb_format->setCurrentIndex(format);
        convert();

        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(status(0), QString("finish"));
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        QCOMPARE(w().pb->value(), 0);
        const QString ext = QStringList({".mp3", ".wav", ".wma", ".ogg"}).at(format);
        const QString target = out + "/" + QFileInfo(src).completeBaseName() + ext;
        QVERIFY2(QFile::exists(target), qPrintable(target));

        const testaudio::ProbeResult p = testaudio::ffprobe(target);
        QVERIFY2(p.ok, qPrintable(p.error));
        QCOMPARE(p.codecName, codec);
        QCOMPARE(p.sampleRate, rate);
        QCOMPARE(p.channels, channels);
        QCOMPARE(p.tags.value("title").toString(), QString("Tïtle ✓"));
        QCOMPARE(p.tags.value("artist").toString(), QString("Artist"));

        // The length is the source's: exact in samples where the format allows it.
        const double expected = std::llround(seconds * srcRate) / double(srcRate);
        const double got = double(engineSamples(target)) / rate;
        // WMA (ASF cannot mark where the audio ends) may run up to two encoder frames of
        // silence past the end, never short.
        const double longer = codec == "wmav2" ? 4096.0 / rate : 0.0;
        QVERIFY2(got >= expected - 1.5 / rate && got <= expected + longer + 1.5 / rate,
                 qPrintable(QStringLiteral("%1 s instead of %2 s").arg(got).arg(expected)));

        AudioInformation tags;
        tags.LoadFromFile(target);
        QCOMPARE(tags.infoTitle, QString("Tïtle ✓"));
        QCOMPARE(tags.infoAlbum, QString("Album"));
        QCOMPARE(tags.infoGenreS, QString("Jazz"));
        QCOMPARE(int(tags.infoTrack), 7);
        QCOMPARE(tags.infoYear, 2001);
        QCOMPARE(tags.infoComments, QString("A comment"));
    }

    void deletedSourceFailsWithOneMessage()
    {
        const QString a = source("d1.wav", 0.5), b = source("d2.wav", 0.5), c = source("d3.wav", 0.5);
        add({a, b, c});
        QVERIFY(QFile::remove(b));
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(prompts->texts(), QStringList({b + " has been removed."}));
        QCOMPARE(prompts->messages.first().kind, FakePrompts::Kind::Information);
        QCOMPARE(QStringList({status(0), status(1), status(2)}), QStringList({"finish", "failed", "finish"}));
        QCOMPARE(w().list->toolTip(1), QString("The file has been removed."));
        QVERIFY(QFile::exists(out + "/d1.wav"));
        QVERIFY(!QFile::exists(out + "/d2.wav"));
        QVERIFY(QFile::exists(out + "/d3.wav"));
    }

    void targetNamesFollowTheCaption()
    {
        const QString s = source("n.wav", 0.2);
        add({s, s, s, s, s, s});
        const QStringList captions{"song.mp3", "Live at the Club", "a.b.c", "../up/x.mp3", "a/b", ""};
        for (int i = 0; i < captions.size(); ++i)
            w().list->setText(i, rows::FileName, captions[i]);
        w().cb_format->setCurrentIndex(1);
        useOutput(out + "/"); // a trailing "/" changes nothing
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QStringList names = QDir(out).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        // "/" never leads out of the output folder; an empty caption takes the source's name.
        QStringList expected{"song.wav", "Live at the Club.wav", "a.b.wav", "..-up-x.wav", "a-b.wav", "n.wav"};
        expected.sort();
        QCOMPARE(names, expected);
        QVERIFY(!QFile::exists(tmp.filePath("up/x.wav")));
    }

    void missingOutputFolderIsCreatedOneLevel()
    {
        const QString s = source("m.wav", 0.2);
        add({s});
        useOutput(out + "/new");
        w().cb_format->setCurrentIndex(1);
        convert();
        QVERIFY(QFile::exists(out + "/new/m.wav"));

        // A folder that cannot be made: every row fails with "Write Error!", all of them in one
        // message at the end.
        const QString blocker = out + "/afile";
        writeBytes(blocker, "x");
        add({source("m2.wav", 0.2)});
        useOutput(blocker + "/sub");
        convert();
        QCOMPARE(prompts->messages.size(), 1);
        const QStringList lines = prompts->messages.first().text.split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("Write Error! " + blocker + "/sub/m.wav"), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith("Write Error! " + blocker + "/sub/m2.wav"), qPrintable(lines[1]));
        QCOMPARE(statuses(), QStringList({"failed", "failed"}));
        QVERIFY(!w().list->toolTip(1).isEmpty());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
    }

    void overwriteQuestion()
    {
        const QString s = source("o.wav", 0.3);
        add({s});
        w().cb_format->setCurrentIndex(1);
        const QString target = out + "/o.wav";
        writeBytes(target, "precious");
        prompts->answers = {false};
        convert();
        // The question names the file; the answer No keeps it.
        QCOMPARE(prompts->texts(), QStringList({"File has existed. Overwrite?\n" + target}));
        QCOMPARE(prompts->messages.last().kind, FakePrompts::Kind::AskOverwrite);
        QCOMPARE(bytes(target), QByteArray("precious"));
        QCOMPARE(status(0), QString("skipped"));

        // A read-only target is replaced after Yes.
        QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner));
        prompts->answers = {true};
        convert();
        QCOMPARE(status(0), QString("finish"));
        QVERIFY(testaudio::ffprobe(target).ok);
        QCOMPARE(outputNames(), QStringList({"o.wav"}));
    }

    void stopDuringTheSecondFile()
    {
        const QString a = source("s1.wav", 3), b = source("s2.wav", 20), c = source("s3.wav", 3);
        add({a, b, c});
        setJobs(1);
        w().cb_format->setCurrentIndex(3);
        QTimer stopper;
        stopper.setInterval(0);
        connect(&stopper, &QTimer::timeout, this, [&] {
            if (w().list->progress(1) > 0) {
                w().item("StopConverting1")->trigger();
                stopper.stop();
            }
        });
        stopper.start();
        convert();
        QCOMPARE(QStringList({status(0), status(1), status(2)}), QStringList({"finish", "stopped", "unconverted"}));
        QCOMPARE(w().pb->value(), 0);
        QVERIFY(w().pb->text().startsWith("1 converted, 1 stopped · 0:"));
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        // The stopped file is not kept as far as it got: nothing of it is written.
        QCOMPARE(outputNames(), QStringList({"s1.ogg"}));
    }

    void refusedSettingsLeaveNoFileAndAnIdleWindow()
    {
        const QString s = source("r.wav", 0.2);
        add({s});
        settings().write_int("mp3", "frequency", 0); // 8 kHz
        settings().write_int("mp3", "bitrate", 16);  // 320 kbps
        w().cb_format->setCurrentIndex(0);
        convert();
        settings().write_int("ogg", "frequency", 0);
        settings().write_int("ogg", "bitrate", 16);
        settings().write_int("ogg", "max bitrate", 16);
        settings().write_int("ogg", "min bitrate", 16);
        w().cb_format->setCurrentIndex(3);
        convert();
        QCOMPARE(prompts->texts(),
                 QStringList({"This MP3 format not supported, please try another bit rate or frequency.",
                              "This OGG format not supported, please try another bit rate or frequency."}));
        QVERIFY(QDir(out).entryList(QDir::Files).isEmpty());
        QCOMPARE(status(0), QString("unconverted"));
        QCOMPARE(w().pb->value(), 0);
        QCOMPARE(shell->state.uiState(), UiState::Idle);
    }

    void aSourceIsNeverItsOwnTarget()
    {
        // MP3 to MP3 into the source's own folder would truncate the source.
        const QString folder = tmp.filePath("self");
        QDir().mkpath(folder);
        const QString wav = source("self.wav", 0.5);
        const QString mp3 = folder + "/self.mp3";
        int code = 0;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, mp3}, 30000, &code);
        QCOMPARE(code, 0);
        const QByteArray before = bytes(mp3);
        add({mp3});
        useOutput(folder);
        w().cb_format->setCurrentIndex(0);
        convert();
        QCOMPARE(prompts->messages.size(), 1);
        QVERIFY(prompts->messages.first().text.startsWith(mp3));
        QCOMPARE(bytes(mp3), before);
        QCOMPARE(status(0), QString("failed"));
        // Through a link to the folder, too.
        const QString link = tmp.filePath("selflink");
        QVERIFY(QFile::link(folder, link));
        useOutput(link);
        convert();
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(bytes(mp3), before);
    }

    void sourceThatBecameEmptyFails()
    {
        const QString a = source("e1.wav", 0.3);
        const QString b = tmp.filePath("src/e2.wav");
        QVERIFY(QFile::copy(a, b));
        const QString c = source("e3.wav", 0.3);
        add({a, b, c});
        QFile f(b);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.close();
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(prompts->texts(), QStringList({b + " is an invalid audio file!"}));
        QCOMPARE(QStringList({status(0), status(1), status(2)}), QStringList({"finish", "failed", "finish"}));
        QVERIFY(!QFile::exists(out + "/e2.wav"));
        QVERIFY(w().isVisible());
    }

    void noFormatSelectedStartsNothing()
    {
        const QString s = source("nf.wav", 0.2);
        add({s});
        w().cb_format->setCurrentIndex(-1);
        convert();
        QCOMPARE(prompts->messages.size(), 1);
        QVERIFY(QDir(out).entryList(QDir::Files).isEmpty());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
    }

    void trackIsWrittenAsItsLow16Bits()
    {
        const QString s = source("t.wav", 0.2);
        add({s});
        TrackInfo t = w().list->trackInfo(0);
        t.track = 70000;
        w().list->setTrackInfo(0, t);
        w().cb_format->setCurrentIndex(3);
        convert();
        AudioInformation tags;
        tags.LoadFromFile(out + "/t.ogg");
        QCOMPARE(int(tags.infoTrack), 4464);
    }

    // A title changed in the tag editor names the row, the output file and its title tag.
    void editedTagsReachTheOutput()
    {
        const QString s = source("tagged.wav", 0.3);
        add({s});
        w().lv->selectRow(0);
        prompts->dialogActions.push_back([](QDialog& d) {
            auto& editor = static_cast<Tfm_id3&>(d);
            editor.edt_title->setText("Edited Title");
            editor.edt_year->setText("1984");
            editor.cb_genre->setCurrentText("Blues");
            editor.btn_ok->click();
        });
        w().item("ID31")->trigger();
        QCOMPARE(w().list->text(0, rows::FileName), QString("Edited Title"));
        // Cancel after editing changes nothing.
        prompts->dialogActions.push_back([](QDialog& d) {
            auto& editor = static_cast<Tfm_id3&>(d);
            editor.edt_title->setText("Other");
            editor.btn_cancel->click();
        });
        w().item("ID31")->trigger();
        QCOMPARE(w().list->text(0, rows::FileName), QString("Edited Title"));
        w().cb_format->setCurrentIndex(0);
        convert();
        const QString target = out + "/Edited Title.mp3";
        QVERIFY(QFile::exists(target));
        const testaudio::ProbeResult p = testaudio::ffprobe(target);
        QCOMPARE(p.tags.value("title").toString(), QString("Edited Title"));
        QCOMPARE(p.tags.value("genre").toString(), QString("Blues"));
        QVERIFY(p.tags.value("date").toString().startsWith("1984"));
    }

    void closingTheWindowEndsTheRunCleanly()
    {
        const QString a = source("c1.wav", 8), b = source("c2.wav", 1);
        add({a, b});
        setJobs(1);
        w().cb_format->setCurrentIndex(3);
        QTimer closer;
        closer.setInterval(0);
        connect(&closer, &QTimer::timeout, this, [&] {
            if (status(0) == "Converting") {
                w().close();
                closer.stop();
            }
        });
        closer.start();
        convert();
        // Closing asked first, and Yes gave the file in work up.
        QCOMPARE(prompts->texts(), QStringList({"A conversion is running. Stop it and quit?"}));
        QVERIFY(!w().isVisible());
        QCOMPARE(status(0), QString("stopped"));
        QCOMPARE(status(1), QString("unconverted"));
        QCOMPARE(outputNames(), QStringList());
        QVERIFY(!shell->state.flag_converting());
        QVERIFY(!shell->state.settings());
    }
};

QTEST_MAIN(TestConversion)
#include "test_conversion.moc"
