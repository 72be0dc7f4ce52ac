#include "ConversionFixture.h"

using namespace sondrel;

// Sources already in the output's codec copied, not re-encoded: the copy holds the source's
// very packets, decodes to the source's length and carries the row's tags; a WAV of the same
// run is encoded; sources the copy cannot take and runs without the setting are encoded.
class TestCopySameFormat : public ConversionFixture {
    Q_OBJECT

    // A source made from a WAV by the ffmpeg command.
    QString made(const QString& name, const QStringList& args)
    {
        const QString wav = source(QFileInfo(name).completeBaseName() + "-pcm.wav", 1.7);
        const QString p = tmp.filePath("src/" + name);
        int code = -1;
        testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", wav} + args + QStringList{p}, 60000, &code);
        return code == 0 ? p : QString();
    }
    // Size and hash of each audio packet's data, as the ffmpeg command reads them; the
    // timestamps and side data a container keeps its own way are left out.
    static QStringList packets(const QString& path)
    {
        const QByteArray text = testaudio::runTool(
            "ffmpeg", {"-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "framemd5", "-"});
        QStringList list;
        for (const QByteArray& line : text.split('\n')) {
            const QList<QByteArray> f = line.split(',');
            if (!line.startsWith('#') && f.size() >= 6)
                list << QString::fromLatin1(f[4].trimmed() + ' ' + f[5].trimmed());
        }
        return list;
    }
    static std::size_t decodedSamples(const QString& path)
    {
        return testaudio::ffmpegDecode(path).size();
    }
    QString output(const QString& src, const QString& extension) const
    {
        return out + "/" + QFileInfo(src).completeBaseName() + extension;
    }
    QString outputTip(int row)
    {
        return w().list->data(w().list->index(row, rows::Output), Qt::ToolTipRole).toString();
    }
    void copySetting(bool on) { settings().write_int("basic", "copy same format", on ? 1 : 0); }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    void copiesSourcesInTheOutputsCodec_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("ffmpegArgs");
        QTest::addColumn<QString>("extension");
        // The encoders' defaults differ from these, so a file encoded again would show.
        QTest::newRow("mp3 with its LAME header")
            << 0 << "lame.mp3" << QStringList({"-c:a", "libmp3lame", "-b:a", "96k"}) << ".mp3";
        QTest::newRow("mp3 without a LAME header")
            << 0 << "plain.mp3" << QStringList({"-c:a", "libmp3lame", "-b:a", "96k", "-write_xing", "0"}) << ".mp3";
        QTest::newRow("vorbis to ogg") << 3 << "v.ogg" << QStringList({"-c:a", "libvorbis", "-q:a", "1"}) << ".ogg";
        QTest::newRow("flac") << 4 << "f.flac" << QStringList({"-c:a", "flac", "-compression_level", "0"}) << ".flac";
        QTest::newRow("flac in ogg to flac")
            << 4 << "f-in-ogg.oga" << QStringList({"-c:a", "flac", "-f", "ogg"}) << ".flac";
        QTest::newRow("opus") << 5 << "o.opus" << QStringList({"-c:a", "libopus", "-b:a", "48k"}) << ".opus";
        QTest::newRow("aac in m4a") << 6 << "a.m4a" << QStringList({"-c:a", "aac", "-b:a", "96k"}) << ".m4a";
        // Its edit list, in milliseconds, ends 32 samples before its last packet does.
        QTest::newRow("aac in m4a ending within its last packet")
            << 6 << "a-cut.m4a" << QStringList({"-af", "atrim=end_sample=73900", "-c:a", "aac", "-b:a", "96k"})
            << ".m4a";
    }
    void copiesSourcesInTheOutputsCodec()
    {
        QFETCH(int, format);
        QFETCH(QString, name);
        QFETCH(QStringList, ffmpegArgs);
        QFETCH(QString, extension);
        const QString src = made(name, ffmpegArgs);
        QVERIFY(!src.isEmpty());
        const QString wav = source("beside.wav", 1.2);
        copySetting(true);
        add({src, wav});
        const TrackInfo tags{"Copied Tïtle", "Artist ✓", "Album", "Jazz", 3, 1999, "kept"};
        w().list->setTrackInfo(0, tags);
        w().cb_format->setCurrentIndex(format);
        // The plan the Output column shows says which row is copied.
        const QString copyNote = "Its audio is copied without re-encoding.";
        QTRY_COMPARE_WITH_TIMEOUT(outputTip(0), copyNote, 10000);
        QCOMPARE(outputTip(1), QString());
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));

        const QString copy = output(src, extension);
        QVERIFY2(w().list->toolTip(0).contains("copied without re-encoding"), qPrintable(w().list->toolTip(0)));
        const QStringList original = packets(src);
        QVERIFY(original.size() > 10);
        QCOMPARE(packets(copy), original);
        QCOMPARE(decodedSamples(copy), decodedSamples(src));
        const std::int64_t length = engineSamples(src);
        QCOMPARE(engineSamples(copy), length);
        if (extension == ".m4a") {
            // The edit list and the gapless tag end the copy where the source ends.
            QCOMPARE(probedTrackLength(src), length);
            QCOMPARE(probedTrackLength(copy), length);
            QCOMPARE(smpbLength(copy), length);
        }
        const testaudio::ProbeResult p = testaudio::ffprobe(copy);
        QCOMPARE(p.tags.value("title").toString(), tags.title);
        QCOMPARE(p.tags.value("artist").toString(), tags.artist);
        QCOMPARE(p.tags.value("album").toString(), tags.album);
        QVERIFY(outputNames().filter(".part").isEmpty());

        // The WAV of the same run is encoded into the format.
        QVERIFY(!w().list->toolTip(1).contains("copied"));
        const QString encoded = output(wav, extension);
        QVERIFY(QFile::exists(encoded));
        QCOMPARE(testaudio::ffprobe(encoded).codecName, p.codecName);
    }

    // Encoded, not copied: the setting is off, or the source's container cannot hand its
    // audio over as it is (ADTS has no codec headers; Matroska's times are rounded).
    void encodesWhatIsNotCopied_data()
    {
        QTest::addColumn<bool>("setting");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("ffmpegArgs");
        QTest::addColumn<QString>("extension");
        QTest::newRow("setting off") << false << 0 << "off.mp3" << QStringList({"-c:a", "libmp3lame", "-b:a", "96k"})
                                     << ".mp3";
        QTest::newRow("aac in adts") << true << 6 << "adts.aac" << QStringList({"-c:a", "aac", "-b:a", "96k"}) << ".m4a";
        QTest::newRow("opus in webm") << true << 5 << "w.webm" << QStringList({"-c:a", "libopus", "-b:a", "48k"})
                                      << ".opus";
        // A Xing header without LAME's part, which the copy cannot carry as it is: the gate
        // refuses the copy, and the file is encoded.
        QTest::newRow("mp3 whose copy the gate refuses") << true << 0 << "corpus:mutagen/xing.mp3" << QStringList()
                                                         << ".mp3";
    }
    void encodesWhatIsNotCopied()
    {
        QFETCH(bool, setting);
        QFETCH(int, format);
        QFETCH(QString, name);
        QFETCH(QStringList, ffmpegArgs);
        QFETCH(QString, extension);
        const bool fromCorpus = name.startsWith("corpus:");
        const QString src = fromCorpus ? testaudio::corpusDir() + "/" + name.mid(7) : made(name, ffmpegArgs);
        QVERIFY(QFile::exists(src));
        copySetting(setting);
        add({src});
        w().cb_format->setCurrentIndex(format);
        QTRY_VERIFY_WITH_TIMEOUT(!w().list->text(0, rows::Output).isEmpty(), 10000);
        // The plan reads only headers: a copy the gate refuses is still planned as one.
        QCOMPARE(outputTip(0), fromCorpus ? QString("Its audio is copied without re-encoding.") : QString());
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(status(0), QString("finish"));
        const QString tip = w().list->toolTip(0);
        QVERIFY2(!tip.contains("copied without"), qPrintable(tip));
        // Only a copy that was tried says why it was not kept.
        QVERIFY2(tip.contains("not copied, encoded instead: the written file") == fromCorpus, qPrintable(tip));
        const QString encoded = output(src, extension);
        QVERIFY(QFile::exists(encoded));
        QVERIFY(packets(encoded) != packets(src));
    }
};

QTEST_MAIN(TestCopySameFormat)
#include "test_copy_same_format.moc"
