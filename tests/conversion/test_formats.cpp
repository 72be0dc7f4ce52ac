#include "CarriedTags.h"
#include "ConversionFixture.h"
#include "Mp4Gapless.h"

#include <QCheckBox>
#include <QDirIterator>
#include <cmath>

using namespace sondrel;

// The newer formats through the window: FLAC, Opus and M4A written with their settings and
// judged by ffprobe; every tag and the cover carried from each source format into each output
// format, the track record's values over them; the picture beside a source; "keep folders".
class TestFormats : public ConversionFixture {
    Q_OBJECT

    static const QStringList& extensions()
    {
        static const QStringList e{".mp3", ".wav", ".wma", ".ogg", ".flac", ".opus", ".m4a"};
        return e;
    }
    void setKeys(const QStringList& keys)
    {
        for (const QString& k : keys) {
            const QString rest = k.section('/', 1);
            settings().write_string(k.section('/', 0, 0), rest.section('=', 0, 0), rest.section('=', 1));
        }
    }
    // A source made from a WAV by the ffmpeg command (its tags and picture included).
    QString made(const QString& name, const QStringList& args, double seconds = 1.0)
    {
        const QString wav = source(QFileInfo(name).completeBaseName() + "-pcm.wav", seconds);
        const QString p = tmp.filePath("src/" + name);
        QDir().mkpath(QFileInfo(p).absolutePath());
        int code = -1;
        testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", wav} + args + QStringList{p}, 60000, &code);
        return code == 0 ? p : QString();
    }
    QString cover() const { return tmp.filePath("src/cover.jpg"); }
    static QStringList field(const CarriedTags& t, const char* key) { return t.fields.value(QString::fromLatin1(key)); }
    QString target(const QString& dir, const QString& src, int format) const
    {
        return dir + "/" + QFileInfo(src).completeBaseName() + extensions().at(format);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        QDir().mkpath(tmp.filePath("src"));
        int code = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x64", "-frames:v", "1",
                                      cover()}, 60000, &code);
        QCOMPARE(code, 0);
    }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    void newOutputFormats_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("srcRate");
        QTest::addColumn<int>("srcBits");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bits");   // FLAC's sample width; 0 for lossy formats
        QTest::addColumn<int>("kbps");   // the bit rate asked for; 0 for FLAC
        QTest::addColumn<QStringList>("ffmpegArgs"); // the same settings for the ffmpeg command
        const QStringList none;
        QTest::newRow("flac defaults") << 4 << none << 44100 << 16 << "flac" << 44100 << 2 << 16 << 0 << none;
        QTest::newRow("flac follows a 24-bit source")
            << 4 << none << 96000 << 24 << "flac" << 96000 << 2 << 24 << 0 << none;
        QTest::newRow("flac 24-bit level 8, 48 kHz mono")
            << 4 << QStringList({"flac/bit=2", "flac/compression level=8", "flac/frequency=9", "flac/channel=1"})
            << 44100 << 16 << "flac" << 48000 << 1 << 24 << 0 << none;
        QTest::newRow("opus defaults") << 5 << none << 44100 << 16 << "opus" << 48000 << 2 << 0 << 128
                                       << QStringList({"-c:a", "libopus", "-b:a", "128k"});
        QTest::newRow("opus cbr 64 mono")
            << 5 << QStringList({"opus/kbps=64", "opus/mode=2", "opus/channel=1"}) << 44100 << 16 << "opus" << 48000
            << 1 << 0 << 64 << QStringList({"-c:a", "libopus", "-b:a", "64k", "-vbr", "off", "-ac", "1"});
        QTest::newRow("m4a defaults") << 6 << none << 44100 << 16 << "aac" << 44100 << 2 << 0 << 192
                                      << QStringList({"-c:a", "aac", "-b:a", "192k"});
        QTest::newRow("m4a 96k, 22.05 kHz mono")
            << 6 << QStringList({"aac/bitrate=9", "aac/frequency=5", "aac/channel=1"}) << 44100 << 16 << "aac" << 22050
            << 1 << 0 << 96 << QStringList({"-c:a", "aac", "-b:a", "96k", "-ar", "22050", "-ac", "1"});
        // "As the source" goes no higher than 48 kHz; at or below it the source's rate stays.
        QTest::newRow("m4a from 96 kHz is 48 kHz") << 6 << none << 96000 << 24 << "aac" << 48000 << 2 << 0 << 192
                                                  << QStringList({"-c:a", "aac", "-b:a", "192k", "-ar", "48000"});
        QTest::newRow("m4a from 88.2 kHz is 48 kHz") << 6 << none << 88200 << 16 << "aac" << 48000 << 2 << 0 << 192
                                                    << QStringList({"-c:a", "aac", "-b:a", "192k", "-ar", "48000"});
        QTest::newRow("m4a keeps 48 kHz") << 6 << none << 48000 << 16 << "aac" << 48000 << 2 << 0 << 192
                                          << QStringList({"-c:a", "aac", "-b:a", "192k"});
        QTest::newRow("m4a chosen 96 kHz stays 96 kHz")
            << 6 << QStringList({"aac/frequency=11"}) << 96000 << 16 << "aac" << 96000 << 2 << 0 << 192
            << QStringList({"-c:a", "aac", "-b:a", "192k"});
    }
    void newOutputFormats()
    {
        QFETCH(int, format);
        QFETCH(QStringList, keys);
        QFETCH(int, srcRate);
        QFETCH(int, srcBits);
        QFETCH(QString, codec);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, bits);
        QFETCH(int, kbps);
        QFETCH(QStringList, ffmpegArgs);
        setKeys(keys);
        const double seconds = 4.0;
        const QString src = tmp.filePath(QStringLiteral("src/music_%1_%2.wav").arg(srcRate).arg(srcBits));
        QVERIFY(QFile::exists(src) || testaudio::writeMusicWav(src, srcRate, 2, seconds, srcBits));
        add({src});
        w().list->setTrackInfo(0, TrackInfo{"Tïtle ✓", "Artist", "Album", "Jazz", 7, 2001, "A comment"});
        w().cb_format->setCurrentIndex(format);
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(status(0), QString("finish"));

        const QString t = target(out, src, format);
        const testaudio::ProbeResult p = testaudio::ffprobe(t);
        QVERIFY2(p.ok, qPrintable(t + ": " + p.error));
        QCOMPARE(p.codecName, codec);
        QCOMPARE(p.sampleRate, rate);
        QCOMPARE(p.channels, channels);
        if (bits > 0)
            QCOMPARE(p.bitsPerRawSample, bits);
        if (kbps > 0) {
            // Near what was asked (variable rates follow the music), and near what the ffmpeg
            // command makes of the same source with the same settings.
            const double got = double(p.bitRate) / 1000.0;
            QVERIFY2(got > kbps * 0.5 && got < kbps * 1.6, qPrintable(QStringLiteral("%1 kbps").arg(got)));
            const QString reference = tmp.filePath("reference" + extensions().at(format));
            int code = -1;
            testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", src} + ffmpegArgs + QStringList{reference},
                               60000, &code);
            QCOMPARE(code, 0);
            const double theirs = double(testaudio::ffprobe(reference).bitRate) / 1000.0;
            QVERIFY2(std::abs(got - theirs) < theirs * 0.15,
                     qPrintable(QStringLiteral("%1 kbps, ffmpeg %2 kbps").arg(got).arg(theirs)));
        }
        QCOMPARE(p.tags.value("title").toString(), QString("Tïtle ✓"));
        QCOMPARE(p.tags.value("album").toString(), QString("Album"));

        // The length: exact, or within the resampler's rounding.
        const std::int64_t expected = std::llround(seconds * rate);
        const std::int64_t got = engineSamples(t);
        QVERIFY2(std::abs(got - expected) <= (rate == srcRate ? 0 : 2), qPrintable(QString::number(got - expected)));
        if (codec == "aac") {
            // The edit list and the gapless tag state that very length.
            QCOMPARE(probedTrackLength(t), got);
            QCOMPARE(smpbLength(t), got);
        }
        // A lossless copy at the source's own rate, channels and width is sample for sample.
        if (codec == "flac" && rate == srcRate && channels == 2 && bits == srcBits) {
            int r = 0, c = 0;
            QCOMPARE(testaudio::ffmpegDecode(t, &r, &c), testaudio::ffmpegDecode(src, &r, &c));
        }
    }

    // Every tag and the picture of a source reach every output format that can hold them;
    // the track record's values (the tag editor's) are written over them.
    void tagsAndPictureCarriedBetweenFormats()
    {
        const QStringList meta{"-metadata", "title=Source title", "-metadata", "artist=Source artist",
                               "-metadata", "album=Source album", "-metadata", "album_artist=Various",
                               "-metadata", "disc=2/3", "-metadata", "composer=Erik Satie",
                               "-metadata", "date=1999-04-01", "-metadata", "track=5/12",
                               "-metadata", "REPLAYGAIN_TRACK_GAIN=-6.50 dB"};
        const QStringList picture{"-i", cover(), "-map", "0:a", "-map", "1", "-c:v", "copy",
                                  "-disposition:v", "attached_pic"};
        struct Src { QString name; QStringList args; bool custom; };
        const QList<Src> sources{
            {"from-flac.flac", picture + meta + QStringList{"-c:a", "flac"}, true},
            {"from-mp3.mp3", picture + meta + QStringList{"-c:a", "libmp3lame", "-id3v2_version", "3"}, true},
            {"from-m4a.m4a", picture + meta + QStringList{"-c:a", "aac"}, false}, // ffmpeg keeps no custom keys in MP4
            {"from-wma.wma", meta + QStringList{"-c:a", "wmav2"}, true},
            {"from-ogg.ogg", meta + QStringList{"-c:a", "libvorbis"}, true},
            {"from-opus.opus", meta + QStringList{"-c:a", "libopus"}, true},
        };
        QStringList files;
        for (const Src& s : sources) {
            const QString f = made("carry/" + s.name, s.args);
            QVERIFY2(!f.isEmpty(), qPrintable(s.name));
            files << f;
        }
        // Gapless data that describes the source's own encoding, which no output may take.
        sondrel::writeITunSmpb(files[2], 2112, 300, 7);
        // The sources without a picture of their own take the one beside them.
        QVERIFY(QFile::copy(cover(), tmp.filePath("src/carry/Cover.JPG")));
        const QByteArray coverBytes = bytes(cover());
        add(files);
        TrackInfo edited = w().list->trackInfo(1);
        edited.title = "Edited title";
        edited.year = 1999;
        w().list->setTrackInfo(1, edited);

        for (int format = 0; format < 7; ++format) {
            const QString dir = out + "/" + extensions().at(format).mid(1);
            useOutput(dir);
            w().cb_format->setCurrentIndex(format);
            convert();
            QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
            for (int i = 0; i < files.size(); ++i) {
                const QString t = target(dir, files[i], format);
                const QString what = sources[i].name + " -> " + t;
                QCOMPARE(status(i), QString("finish"));
                const CarriedTags got = readCarriedTags(t);
                QCOMPARE(field(got, "ALBUMARTIST"), QStringList{"Various"});
                QCOMPARE(field(got, "COMPOSER"), QStringList{"Erik Satie"});
                QCOMPARE(field(got, "DISCNUMBER").value(0).section('/', 0, 0), QString("2"));
                QCOMPARE(field(got, "TITLE"), QStringList{i == 1 ? "Edited title" : "Source title"});
                QCOMPARE(field(got, "ALBUM"), QStringList{"Source album"});
                // The fuller date and track number stay where the record holds the same year
                // and number; the edited year replaces the date.
                QCOMPARE(field(got, "TRACKNUMBER").value(0).section('/', 0, 0), QString("5"));
                QVERIFY2(field(got, "DATE").value(0).startsWith("1999"), qPrintable(what));
                if (sources[i].custom)
                    QVERIFY2(field(got, "REPLAYGAIN_TRACK_GAIN") == QStringList{"-6.50 dB"}, qPrintable(what));
                QVERIFY2(!got.fields.contains("ITUNSMPB"), qPrintable(what));
                if (format == 6)
                    QCOMPARE(smpbLength(t), engineSamples(t));
                QVERIFY2(got.pictures.size() == 1, qPrintable(what));
                QCOMPARE(got.pictures.front().data, coverBytes);
                QCOMPARE(got.pictures.front().mime, QString("image/jpeg"));
                // An independent reader sees the same, where it reads the format's tags.
                if (format != 1) {
                    const testaudio::ProbeResult p = testaudio::ffprobe(t);
                    QCOMPARE(p.tags.value("album_artist").toString(), QString("Various"));
                    QCOMPARE(p.attachedPictures, 1);
                }
            }
        }
    }

    // A picture too big to carry is left out with the reason in the row's tooltip; the file
    // is converted all the same. The picture beside a source is found in any letter case,
    // and a source's own picture wins over it.
    void picturesBesideAndTooBig()
    {
        // A JPEG with 17 MB behind its end, which decoders ignore: a picture over 16 MiB.
        const QString big = tmp.filePath("src/big/big.jpg");
        QDir().mkpath(tmp.filePath("src/big"));
        writeBytes(big, bytes(cover()) + QByteArray(17000000, '\0'));
        QVERIFY(QFileInfo(big).size() > MaxPictureBytes);
        const QString withBig = made("big/with-big.mp3", {"-f", "image2", "-i", big, "-map", "0:a", "-map", "1", "-c:v",
                                                          "copy", "-disposition:v", "attached_pic", "-c:a", "libmp3lame"});
        QVERIFY(!withBig.isEmpty());
        const QString plain = made("beside/plain.flac", {"-c:a", "flac"});
        QVERIFY(QFile::copy(cover(), tmp.filePath("src/beside/FOLDER.jpeg")));
        add({withBig, plain});
        w().cb_format->setCurrentIndex(4);
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));
        QVERIFY2(w().list->toolTip(0).contains("16 MiB"), qPrintable(w().list->toolTip(0)));
        QVERIFY(readCarriedTags(target(out, withBig, 4)).pictures.empty());
        const CarriedTags beside = readCarriedTags(target(out, plain, 4));
        QCOMPARE(int(beside.pictures.size()), 1);
        QCOMPARE(beside.pictures.front().data, bytes(cover()));
        QCOMPARE(beside.pictures.front().type, 3);
    }

    // With "keep folders", rows added with a folder go below a folder of its name with their
    // sub-folders; rows added alone go straight into the output folder. Without it, all do.
    void keepFolders()
    {
        const QString root = tmp.filePath("src/Album Tree");
        QDir().mkpath(root + "/CD 1/bonus");
        QDir().mkpath(root + "/CD 2");
        for (const QString& rel : {"top.wav", "CD 1/a.wav", "CD 1/bonus/b.wav", "CD 2/c.wav"}) {
            QVERIFY(testaudio::writeMusicWav(root + "/" + rel, 8000, 1, 0.2));
        }
        const QString single = source("single.wav", 0.2, 8000, 1);
        for (bool keep : {true, false}) {
            if (!keep)
                QVERIFY(startFresh());
            if (keep)
                QTest::mouseClick(w().cbx_keep, Qt::LeftButton, {}, QPoint(5, w().cbx_keep->height() / 2));
            QCOMPARE(settings().read_int("basic", "keep folders", -1), keep ? 1 : -1);
            w().ScanFolder(root, true);
            QVERIFY(app.waitAdded());
            add({single});
            w().cb_format->setCurrentIndex(5);
            convert();
            QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
            QCOMPARE(statuses(), QStringList(5, "finish"));
            QStringList written;
            QDirIterator it(out, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                written << QDir(out).relativeFilePath(it.next());
            written.sort();
            const QStringList expected = keep
                ? QStringList{"Album Tree/CD 1/a.opus", "Album Tree/CD 1/bonus/b.opus", "Album Tree/CD 2/c.opus",
                              "Album Tree/top.opus", "single.opus"}
                : QStringList{"a.opus", "b.opus", "c.opus", "single.opus", "top.opus"};
            QCOMPARE(written, expected);
        }
    }

    // Stored positions 0 to 6 are formats; beyond them nothing is chosen and Convert says so.
    void noFormatBeyondTheList()
    {
        stop();
        settings().write_int("basic", "format", 7);
        start();
        add({source("any.wav", 0.2, 8000, 1)});
        QCOMPARE(w().cb_format->currentIndex(), -1);
        convert();
        QCOMPARE(prompts->texts(),
                 QStringList{"Please choose an output format (MP3, WAV, WMA, OGG, FLAC, Opus or M4A) first."});
        QCOMPARE(status(0), QString("unconverted"));
    }
};

QTEST_MAIN(TestFormats)
#include "test_formats.moc"
