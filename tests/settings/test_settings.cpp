#include "SettingsFile.h"
#include "ValueTables.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace sondrel;

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString path;

    void put(const QByteArray& content)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray content() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        path = tmp.filePath(QStringLiteral("s%1.ini").arg(QRandomGenerator::global()->generate()));
    }

    void absentFileGivesDefaultsAndFirstWriteCreatesIt()
    {
        SettingsFile s(path);
        QCOMPARE(s.read_string("basic", "output directory", "dflt"), QString("dflt"));
        QCOMPARE(s.read_int("mp3", "bitrate", 11), 11);
        QCOMPARE(s.read_bool("basic", "enable sub dir", true), true);
        QVERIFY(!QFile::exists(path));
        s.write_int("basic", "format", 2);
        QVERIFY(QFile::exists(path));
        QCOMPARE(s.read_int("basic", "format", 0), 2);
    }

    void valueKinds()
    {
        put("[Basic]\nOutput Directory=\nformat=\nHex=0x0B\nhexUpper=0X1f\nbare0x=0x\n"
            "word=abc\ntrailing=12abc\nneg=-42\nhuge=99999999999\nspaced =  7  \n"
            "flag=1\noff=0\nother=5\nallf=0xFFFFFFFF\n");
        SettingsFile s(path);
        // A present empty text reads as empty text; an empty number reads as the default.
        QCOMPARE(s.read_string("basic", "output directory", "dflt"), QString(""));
        QCOMPARE(s.read_int("BASIC", "FORMAT", 3), 3);
        QCOMPARE(s.read_int("basic", "hex", 0), 11);
        QCOMPARE(s.read_int("basic", "hexupper", 0), 31);
        QCOMPARE(s.read_int("basic", "bare0x", 5), 5);
        QCOMPARE(s.read_int("basic", "word", 5), 5);
        QCOMPARE(s.read_int("basic", "trailing", 5), 5);
        QCOMPARE(s.read_int("basic", "neg", 5), -42);
        QCOMPARE(s.read_int("basic", "huge", 5), 5);
        QCOMPARE(s.read_int("basic", "spaced", 5), 7);
        QCOMPARE(s.read_int("basic", "allf", 5), -1);
        QCOMPARE(s.read_bool("basic", "flag", false), true);
        QCOMPARE(s.read_bool("basic", "off", true), false);
        QCOMPARE(s.read_bool("basic", "other", false), true);
        QCOMPARE(s.read_bool("basic", "missing", true), true);
    }

    void yesNoStoredAsDigits()
    {
        SettingsFile s(path);
        s.write_bool("mp3", "enable vbr", true);
        s.write_bool("ogg", "enable quality", false);
        QVERIFY(content().contains("enable vbr=1\n"));
        QVERIFY(content().contains("enable quality=0\n"));
    }

    void longTextIsCutTo2047Characters()
    {
        SettingsFile s(path);
        const QString longText(5000, QChar(0x00e9)); // two bytes each in UTF-8
        s.write_string("basic", "output directory", longText);
        QCOMPARE(s.read_string("basic", "output directory", ""), longText.left(2047));
        const QString def(3000, QLatin1Char('d'));
        QCOMPARE(s.read_string("basic", "absent", def).size(), 2047);
    }

    void writesReplaceInPlaceAndKeepOtherLines()
    {
        put("; my comment\n[mp3]\nbitrate=3\n\n[WAV]\nMode=2\n");
        SettingsFile s(path);
        s.write_int("wav", "mode", 1);
        s.write_int("mp3", "quality", 4);
        s.write_int("ogg", "quality", 300);
        QCOMPARE(s.read_int("wav", "mode", 0), 1);
        QCOMPARE(s.read_int("mp3", "bitrate", 0), 3);
        QCOMPARE(s.read_int("mp3", "quality", 0), 4);
        QCOMPARE(s.read_int("ogg", "quality", 0), 300);
        const QByteArray c = content();
        QVERIFY(c.startsWith("; my comment\n[mp3]\nbitrate=3\nquality=4\n"));
        QCOMPARE(c.count("mode="), 1);
    }

    void badFilesReadAsDefaultsOrFirstMatch_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("format");   // expected basic/format with default 9
        QTest::addColumn<QString>("dir");  // expected basic/output directory with default "D"
        QByteArray garbage;
        QRandomGenerator rng(7);
        for (int i = 0; i < 4096; ++i)
            garbage.append(char(rng.bounded(256)));
        QTest::newRow("binary garbage") << garbage << 9 << "D";
        QTest::newRow("CRLF") << QByteArray("[basic]\r\nformat=2\r\noutput directory=/m\r\n") << 2 << "/m";
        QTest::newRow("duplicate sections and keys")
            << QByteArray("[basic]\nformat=1\nformat=3\n[basic]\noutput directory=/a\nformat=2\n")
            << 1 << "/a";
        QTest::newRow("lines without equals")
            << QByteArray("[basic]\njunk line\nformat\n=5\nformat=3\n") << 3 << "D";
        QTest::newRow("blanks around equals and names")
            << QByteArray("  [ basic ]  \n   format   =   2   \n output directory =  /x y  \n") << 2 << "/x y";
        QTest::newRow("key with blanks differs")
            << QByteArray("[basic]\nfor mat=2\noutputdirectory=/q\n") << 9 << "D";
        QTest::newRow("100 kB line")
            << (QByteArray("[basic]\nx=") + QByteArray(100 * 1024, 'z') + "\nformat=1\n") << 1 << "D";
        QTest::newRow("section without end bracket") << QByteArray("[basic\nformat=2\n") << 2 << "D";
        // Text ends at a NUL, as C strings do.
        QTest::newRow("NUL bytes") << QByteArray("[basic]\nformat=2\0x\n", 20) << 2 << "D";
    }
    void badFilesReadAsDefaultsOrFirstMatch()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, format);
        QFETCH(QString, dir);
        put(content);
        SettingsFile s(path);
        QCOMPARE(s.read_int("basic", "format", 9), format);
        QCOMPARE(s.read_string("basic", "output directory", "D"), dir);
        // Writing into such a file works and reads back.
        s.write_int("basic", "format", 3);
        QCOMPARE(s.read_int("basic", "format", 9), 3);
    }

    void directoryOrDanglingLinkReadsDefaults()
    {
        QVERIFY(QDir().mkpath(path));
        SettingsFile dir(path);
        QCOMPARE(dir.read_int("basic", "format", 4), 4);
        QVERIFY_THROWS_EXCEPTION(SettingsError, dir.write_int("basic", "format", 1));

        const QString link = path + ".lnk";
        QVERIFY(QFile::link(tmp.filePath("nowhere/none.ini"), link));
        SettingsFile dangling(link);
        QCOMPARE(dangling.read_string("basic", "output directory", "D"), QString("D"));
    }

    void readOnlyFileRefusesWritesAndStaysUnchanged()
    {
        put("[basic]\nformat=1\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        SettingsFile s(path);
        try {
            s.write_int("basic", "format", 2);
            QFAIL("the write was not refused");
        } catch (const SettingsError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + path);
        }
        QCOMPARE(content(), QByteArray("[basic]\nformat=1\n"));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // Every text the program can write reads back unchanged, whatever else the file holds.
    void anyTextReadsBackUnchanged()
    {
        SettingsFile s(path);
        QRandomGenerator rng(2026);
        const QString alphabet = QStringLiteral(" \t=;[]\"'#abcXYZ019/\\.,é漢字🎵ß-_");
        for (int round = 0; round < 300; ++round) {
            QString v;
            const int len = round == 0 ? 2047 : int(rng.bounded(40));
            for (int i = 0; i < len; ++i) {
                const QChar c = alphabet.at(int(rng.bounded(alphabet.size())));
                if (c.isHighSurrogate() || c.isLowSurrogate())
                    v += QStringLiteral("🎵");
                else
                    v += c;
            }
            if (v.size() > 2047)
                v.truncate(2047);
            if (!v.isEmpty() && v.back().isHighSurrogate())
                v.chop(1);
            const QString key = QStringLiteral("key %1").arg(round % 7);
            s.write_string("basic", key, v);
            s.write_int("basic", "format", round);
            QCOMPARE(s.read_string("basic", key, "absent"), v);
            QCOMPARE(s.read_int("basic", "format", -1), round);
        }
    }

    // A process killed in the middle of writing leaves the old file or the new one.
    void killedWriterNeverLeavesACutFile()
    {
        SettingsFile s(path);
        const QString big(1500, QLatin1Char('p'));
        for (int k = 0; k < 8; ++k)
            s.write_string("basic", QStringLiteral("k%1").arg(k), big + QString::number(0));
        QRandomGenerator rng(11);
        for (int attempt = 0; attempt < 20; ++attempt) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                SettingsFile w(path);
                for (int i = 1;; ++i)
                    w.write_string("basic", QStringLiteral("k%1").arg(i % 8), big + QString::number(i));
            }
            usleep(1000 + rng.bounded(20000)); // time passes on purpose: the kill comes at a random moment
            ::kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            for (int k = 0; k < 8; ++k)
                QVERIFY2(s.read_string("basic", QStringLiteral("k%1").arg(k), "").startsWith(big),
                         qPrintable(QStringLiteral("key k%1 lost after kill %2").arg(k).arg(attempt)));
        }
    }

    void valueTablesNeverReadOutside()
    {
        QCOMPARE(tableValue(frequency_values, 0, 7), 8000);
        QCOMPARE(tableValue(frequency_values, 8, 7), 48000);
        QCOMPARE(tableValue(frequency_values, 9, 7), 44100);
        QCOMPARE(tableValue(frequency_values, -1, 7), 44100);
        QCOMPARE(tableValue(bitrate_values, 16, 11), 320);
        QCOMPARE(tableValue(bitrate_values, 17, 11), 128);
        QCOMPARE(tableValue(bits_per_sample_values, 2, 1), 16);
        QCOMPARE(tableValue(bits_per_sample_values, 0, 1), 8);
        QCOMPARE(int(wma_profiles.size()), 47);
        QCOMPARE(QString(wma_profiles[9]), QString("WMA9 44KHz, 128Kbps, Stereo, CBR"));
        QCOMPARE(QString(wma_profiles[20]), QString(wma_profiles[22]));
        QCOMPARE(QString(wma_profiles[34]), QString("WMA9 8KHz,  12Kbps, Stereo, CBR"));
        QCOMPARE(QString(wma_profiles[46]), QString("WMA9 44KHz, Stereo, Lossless"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
