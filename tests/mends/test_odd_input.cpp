#include "AppShell.h"
#include "AudioInformation.h"
#include "FakePrompts.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

// Input a user can hand the program that the formats or writers cannot take as it is: tags
// beyond what a format holds, settings edited by hand, sources no writer can take. None of
// it may cost an output, end the run or reach the exception hook.
class TestOddInput : public WindowFixture {
    Q_OBJECT
    QString out;
    FakePrompts& prompts() { return *app.prompts; }

    QString wav(const QString& name, int rate = 44100, int channels = 2, double seconds = 0.3)
    {
        const QString p = tmp.filePath(name);
        if (!QFile::exists(p) && !testaudio::writeMusicWav(p, rate, channels, seconds))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }
    // An Ogg Vorbis source with the given Vorbis comments (ffmpeg writes them as given).
    QString ogg(const QString& name, const QStringList& metadata)
    {
        const QString p = tmp.filePath(name);
        QStringList args{"-v", "error", "-y", "-i", wav("plain.wav"), "-c:a", "libvorbis"};
        for (const QString& m : metadata)
            args << "-metadata" << m;
        int code = 0;
        testaudio::runTool("ffmpeg", args << p, 60000, &code);
        if (code != 0)
            qFatal("ffmpeg could not make %s", qPrintable(p));
        return p;
    }
    // Runs the list to the format and waits until the run has ended.
    void convertTo(int format)
    {
        w().cb_format->setCurrentIndex(format);
        w().item("Convert1")->trigger();
        QVERIFY(waitConverted(60000));
    }
    QString status(int row) { return w().list->text(row, rows::Status); }
    void setKeys(const QStringList& keys) // "section/key=value"
    {
        for (const QString& k : keys) {
            const QString rest = k.section('/', 1);
            settings().write_string(k.section('/', 0, 0), rest.section('=', 0, 0), rest.section('=', 1));
        }
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init()
    {
        forgetSettings();
        static int run = 0;
        out = tmp.filePath(QStringLiteral("out%1").arg(++run));
        QVERIFY(QDir().mkpath(out));
        start();
        settings().write_string("basic", "output directory", out);
    }
    void cleanup() { stop(); }

    // A year of five digits, a negative date (read as the largest year) and a comment of
    // lyrics reach every format: what a format cannot hold is left out or shortened, the
    // rest is written, and every row finishes.
    void tagsBeyondAFormatNeverCostTheOutput()
    {
        const QString lyrics = QString("la la ").repeated(6667).left(40000);
        const QString a = ogg("big-year.ogg", {"date=12345", "title=Big Year", "comment=" + lyrics});
        const QString b = ogg("negative.ogg", {"date=-5", "title=Negative"});
        add({a, b});
        QCOMPARE(w().list->count(), 2);
        QCOMPARE(w().list->trackInfo(0).year, 12345);
        QCOMPARE(w().list->trackInfo(1).year, 2147483647);

        const struct {
            int format;
            const char* ext;
            int yearA, yearB;
            qsizetype comment;
        } runs[] = {{0, "mp3", 0, 0, 40000}, {1, "wav", 0, 0, 40000}, {2, "wma", 12345, 2147483647, 32766},
                    {3, "ogg", 12345, 2147483647, 40000}};
        for (const auto& r : runs) {
            convertTo(r.format);
            QVERIFY2(prompts().messages.isEmpty(), qPrintable(prompts().texts().join("; ")));
            QCOMPARE(status(0), QString("finish"));
            QCOMPARE(status(1), QString("finish"));
            AudioInformation tags;
            tags.LoadFromFile(out + "/big-year." + r.ext);
            QCOMPARE(tags.infoTitle, QString("Big Year"));
            QCOMPARE(tags.infoYear, r.yearA);
            QCOMPARE(tags.infoComments.size(), r.comment);
            QVERIFY(lyrics.startsWith(tags.infoComments));
            tags.LoadFromFile(out + "/negative." + r.ext);
            QCOMPARE(tags.infoTitle, QString("Negative"));
            QCOMPARE(tags.infoYear, r.yearB);
        }
    }

    // Values a hand-edited settings file can hold: each is taken as the dialog shows it
    // (an index outside its list is the key's default, a number outside its range its
    // nearest end), the run ends normally and the output has the resulting format.
    void handEditedSettingsRunAsTheDialogShowsThem_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("wav custom, channel 99")
            << 1 << QStringList{"wav/mode=2", "wav/channel=99", "wav/frequency=2147483647", "wav/bit=-1"}
            << "pcm_s16le" << 44100 << 2;
        QTest::newRow("wav custom, largest channel")
            << 1 << QStringList{"wav/mode=2", "wav/channel=2147483647", "wav/frequency=0"} << "pcm_s16le" << 8000 << 2;
        QTest::newRow("ogg quality, channel -2")
            << 3 << QStringList{"ogg/enable quality=1", "ogg/channel=-2", "ogg/quality=99999"} << "vorbis" << 44100 << 2;
        QTest::newRow("ogg largest channel, frequency")
            << 3 << QStringList{"ogg/channel=2147483647", "ogg/frequency=2147483647", "ogg/max bitrate=-9"}
            << "vorbis" << 44100 << 2;
        QTest::newRow("mp3 largest channel, odd quality")
            << 0 << QStringList{"mp3/channel=2147483647", "mp3/quality=-7", "mp3/bitrate=99", "mp3/frequency=-1"}
            << "mp3" << 44100 << 2;
        QTest::newRow("wma largest profile") << 2 << QStringList{"wma/format=2147483647"} << "wmav2" << 44100 << 2;
        QTest::newRow("flac level 99, unknown width, rate and channels")
            << 4 << QStringList{"flac/compression level=99", "flac/bit=7", "flac/frequency=-3", "flac/channel=2147483647"}
            << "flac" << 22050 << 1;
        QTest::newRow("opus 0 kbps, unknown mode and channels")
            << 5 << QStringList{"opus/kbps=0", "opus/mode=-1", "opus/channel=5"} << "opus" << 48000 << 1;
        QTest::newRow("aac unknown bit rate, rate and channels")
            << 6 << QStringList{"aac/bitrate=99", "aac/frequency=-1", "aac/channel=3"} << "aac" << 22050 << 1;
    }
    void handEditedSettingsRunAsTheDialogShowsThem()
    {
        QFETCH(int, format);
        QFETCH(QStringList, keys);
        QFETCH(QString, codec);
        QFETCH(int, rate);
        QFETCH(int, channels);
        setKeys(keys);
        add({wav("keys.wav", 22050, 1)});
        convertTo(format);
        QVERIFY2(prompts().messages.isEmpty(), qPrintable(prompts().texts().join("; ")));
        QVERIFY(w().isVisible());
        QCOMPARE(status(0), QString("finish"));
        const QString ext = QStringList{".mp3", ".wav", ".wma", ".ogg", ".flac", ".opus", ".m4a"}.at(format);
        const testaudio::ProbeResult p = testaudio::ffprobe(out + "/keys" + ext);
        QVERIFY2(p.ok, qPrintable(p.error));
        QCOMPARE(p.codecName, codec);
        QCOMPARE(p.sampleRate, rate);
        QCOMPARE(p.channels, channels);
    }

    // Sources whose stream no writer can take (more than 8 channels, a rate beyond 768 kHz
    // or below 1 kHz) are refused when added, with the message of any file that is not
    // audio; a source at the edges of what they take is added and converts.
    void sourcesNoWriterCanTakeAreRefused()
    {
        const QStringList odd{wav("nine.wav", 8000, 9, 0.1), wav("sixty-four.wav", 8000, 64, 0.05),
                              wav("eight-mhz.wav", 8000000, 1, 0.01), wav("one-hz.wav", 1, 2, 1000),
                              wav("999-hz.wav", 999, 1, 1)};
        add(odd);
        QString refused = QStringLiteral("5 files cannot be added:");
        for (const QString& f : odd)
            refused += "\n" + f + " is an invalid audio file!";
        QCOMPARE(prompts().texts(), QStringList({refused}));
        QCOMPARE(w().list->count(), 0);

        prompts().messages.clear();
        add({wav("eight.wav", 768000, 8, 0.05), wav("kilohertz.wav", 1000, 1, 1)});
        QVERIFY2(prompts().messages.isEmpty(), qPrintable(prompts().texts().join("; ")));
        QCOMPARE(w().list->count(), 2);
        for (int format : {0, 1}) {
            convertTo(format);
            QVERIFY2(prompts().messages.isEmpty(), qPrintable(prompts().texts().join("; ")));
            QCOMPARE(status(0), QString("finish"));
            QCOMPARE(status(1), QString("finish"));
        }
    }

    // "enable vbr" is a yes/no key: any value but 0 is on, as the dialog's check box shows
    // it, and a VBR file carries LAME's "Xing" header (a CBR one "Info").
    void anyNonZeroVbrIsOn()
    {
        setKeys({"mp3/enable vbr=5", "mp3/vbr quality=77", "mp3/vbr bitrate=-3"});
        add({wav("vbr.wav")});
        convertTo(0);
        QCOMPARE(status(0), QString("finish"));
        QFile f(out + "/vbr.mp3");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(8192);
        QVERIFY(head.contains("Xing"));
        QVERIFY(!head.contains("Info"));
    }
};

QTEST_MAIN(TestOddInput)
#include "test_odd_input.moc"
