#include "../conversion/ConversionFixture.h"

#include "CarriedTags.h"
#include "ConversionJob.h"
#include "FileTags.h"
#include "LoudnessMeter.h"
#include "ReplayGainTags.h"

#include <QProcess>

#include <cmath>

using namespace sondrel;

namespace {

// A stereo 1 kHz tone whose peak stands at dbfs (a tone's loudness in LUFS is that level),
// with a burst of 5 ms at burstDbfs in its middle where given.
void writeTone(const QString& path, double dbfs, double seconds, double burstDbfs = 0)
{
    constexpr int rate = 44100;
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::vector<float> samples(std::size_t(seconds * rate) * 2);
    const std::size_t frames = samples.size() / 2;
    for (std::size_t i = 0; i < frames; ++i) {
        const bool burst = burstDbfs != 0 && i >= frames / 2 && i < frames / 2 + rate / 200;
        const double amplitude = std::pow(10.0, (burst ? burstDbfs : dbfs) / 20.0);
        samples[2 * i] = samples[2 * i + 1] = float(amplitude * std::sin(2 * M_PI * 1000.0 * double(i) / rate));
    }
    QVERIFY(testaudio::writeWav(path, samples, rate, 2, 24));
}

void tagAlbum(const QString& path, const QString& albumArtist, const QString& album,
              const QMap<QString, QStringList>& more = {})
{
    CarriedTags carried;
    carried.fields = more;
    if (!albumArtist.isEmpty())
        carried.fields.insert("ALBUMARTIST", {albumArtist});
    AudioInformation values;
    values.infoAlbum = album;
    values.infoTitle = QFileInfo(path).completeBaseName();
    writeFileTags(path, carried, values);
}

QMap<QString, QStringList> fieldsOf(const QString& path)
{
    QMap<QString, QStringList> fields;
    const CarriedTags tags = readCarriedTags(path);
    for (auto it = tags.fields.cbegin(); it != tags.fields.cend(); ++it)
        fields.insert(it.key().toUpper(), it.value());
    return fields;
}

// "-6.52 dB" as a number.
double gainOf(const QMap<QString, QStringList>& fields, const QString& name)
{
    const QString text = fields.value(name).value(0);
    bool ok = false;
    const double value = QString(text).remove(QStringLiteral(" dB")).toDouble(&ok);
    if (!ok)
        qWarning("%s is %s", qPrintable(name), qPrintable(text));
    return ok ? value : NAN;
}

double loudnessOf(const QString& path)
{
    JobProgress progress;
    return measureFileLoudness(path, progress)->measure().lufs.value_or(NAN);
}

double truePeakDbOf(const QString& path)
{
    JobProgress progress;
    return 20 * std::log10(measureFileLoudness(path, progress)->measure().peak);
}

} // namespace

// ReplayGain tags and normalized audio in real conversions: the command line in a child
// program, and the window.
class TestReplayGainRun : public ConversionFixture {
    Q_OBJECT

    struct Result {
        int code = -1;
        QString out, err;
    };
    Result run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        p.setProcessEnvironment(env);
        p.start(SONDREL_PROGRAM, args);
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished(5000);
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    Result convertCli(const QStringList& options, const QStringList& paths, const QString& to)
    {
        const Result r = run(QStringList{"--convert", "--out", to, "--existing", "overwrite"} + options + paths);
        if (r.code != 0)
            qWarning("%s%s", qPrintable(r.out), qPrintable(r.err));
        return r;
    }

    // An album of two tones tagged alike, a louder tone of another album artist, and a silent
    // file with no album tags (an album of its own folder).
    QString m_album;
    void makeAlbum()
    {
        m_album = tmp.filePath("album");
        if (QFileInfo::exists(m_album))
            return;
        writeTone(m_album + "/1 loud.wav", -20, 6);
        writeTone(m_album + "/2 quiet.wav", -30, 3);
        writeTone(m_album + "/3 other.wav", -14, 2);
        writeTone(m_album + "/4 silent.wav", -300, 2);
        tagAlbum(m_album + "/1 loud.wav", "Band", "Record");
        tagAlbum(m_album + "/2 quiet.wav", "Band", "Record");
        tagAlbum(m_album + "/3 other.wav", "Someone Else", "Record");
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    // Every output format takes the values as its tags keep them; an album's files share the
    // album's values, an album of one file has its track's, silence has none.
    void albumValuesInEveryFormat_data()
    {
        QTest::addColumn<QString>("format");
        for (const char* f : {"mp3", "wav", "wma", "ogg", "flac", "opus", "m4a"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void albumValuesInEveryFormat()
    {
        QFETCH(QString, format);
        makeAlbum();
        const QString to = tmp.filePath("rg-" + format);
        QCOMPARE(convertCli({"--format", format, "--replaygain", "album"}, {m_album}, to).code, 0);
        const double loud = -18.0 - loudnessOf(m_album + "/1 loud.wav");
        const double quiet = -18.0 - loudnessOf(m_album + "/2 quiet.wav");
        const double other = -18.0 - loudnessOf(m_album + "/3 other.wav");
        const QString ext = "." + format;
        const auto f1 = fieldsOf(to + "/1 loud" + ext), f2 = fieldsOf(to + "/2 quiet" + ext),
                   f3 = fieldsOf(to + "/3 other" + ext), f4 = fieldsOf(to + "/4 silent" + ext);
        if (format == "opus") {
            // In 1/256 dB against -23 LUFS, no peaks.
            QVERIFY(!f1.contains("REPLAYGAIN_TRACK_GAIN"));
            QCOMPARE(f1.value("R128_TRACK_GAIN").value(0).toInt(), r128Gain(loud));
            QCOMPARE(f2.value("R128_TRACK_GAIN").value(0).toInt(), r128Gain(quiet));
            QCOMPARE(f1.value("R128_ALBUM_GAIN"), f2.value("R128_ALBUM_GAIN"));
            const int album = f1.value("R128_ALBUM_GAIN").value(0).toInt();
            QVERIFY(album > r128Gain(loud) && album < r128Gain(quiet));
            QCOMPARE(f3.value("R128_ALBUM_GAIN"), f3.value("R128_TRACK_GAIN"));
            QVERIFY(!f4.contains("R128_TRACK_GAIN") && !f4.contains("R128_ALBUM_GAIN"));
            return;
        }
        QVERIFY(std::abs(gainOf(f1, "REPLAYGAIN_TRACK_GAIN") - loud) < 0.006);
        QVERIFY(std::abs(gainOf(f2, "REPLAYGAIN_TRACK_GAIN") - quiet) < 0.006);
        QVERIFY(std::abs(gainOf(f3, "REPLAYGAIN_TRACK_GAIN") - other) < 0.006);
        const double album = gainOf(f1, "REPLAYGAIN_ALBUM_GAIN");
        QCOMPARE(gainOf(f2, "REPLAYGAIN_ALBUM_GAIN"), album);
        QVERIFY(album > loud && album < quiet);
        QCOMPARE(f3.value("REPLAYGAIN_ALBUM_GAIN"), f3.value("REPLAYGAIN_TRACK_GAIN"));
        // Peaks of tones at -20 and -30 dBFS: the album's is the louder file's.
        QVERIFY(std::abs(20 * std::log10(f1.value("REPLAYGAIN_TRACK_PEAK").value(0).toDouble()) + 20) < 0.2);
        QCOMPARE(f1.value("REPLAYGAIN_ALBUM_PEAK"), f1.value("REPLAYGAIN_TRACK_PEAK"));
        QCOMPARE(f2.value("REPLAYGAIN_ALBUM_PEAK"), f1.value("REPLAYGAIN_TRACK_PEAK"));
        QVERIFY(!f4.contains("REPLAYGAIN_TRACK_GAIN") && !f4.contains("REPLAYGAIN_ALBUM_GAIN"));
        // No file is left waiting.
        QCOMPARE(QDir(to).entryList(QDir::Files | QDir::Hidden).size(), 4);
    }

    // Normalized audio is measured again from the output: -18 LUFS where the peak allows it,
    // otherwise a true peak of -1 dBTP; per album, the files keep their difference.
    void normalizedOutputs()
    {
        const QString src = tmp.filePath("norm");
        writeTone(src + "/quiet.wav", -35, 5);
        // Quiet but for a loud moment: raised to -18 LUFS it would peak far above full scale.
        writeTone(src + "/loud.wav", -35, 5, -3);
        const QString to = tmp.filePath("norm-out");
        QCOMPARE(convertCli({"--format", "flac", "--normalize", "--replaygain", "track"},
                            {src + "/quiet.wav", src + "/loud.wav"}, to).code, 0);
        QVERIFY(std::abs(loudnessOf(to + "/quiet.flac") + 18.0) < 0.05);
        QVERIFY(std::abs(gainOf(fieldsOf(to + "/quiet.flac"), "REPLAYGAIN_TRACK_GAIN")) < 0.06);
        const double peak = truePeakDbOf(to + "/loud.flac");
        QVERIFY2(peak <= -0.95 && peak > -1.2, qPrintable(QString::number(peak)));

        const QString albumTo = tmp.filePath("norm-album");
        tagAlbum(src + "/quiet.wav", "A", "B");
        writeTone(src + "/mid.wav", -25, 5);
        tagAlbum(src + "/mid.wav", "A", "B");
        QCOMPARE(convertCli({"--format", "flac", "--normalize", "--replaygain", "album"},
                            {src + "/quiet.wav", src + "/mid.wav"}, albumTo).code, 0);
        const double q = loudnessOf(albumTo + "/quiet.flac"), m = loudnessOf(albumTo + "/mid.flac");
        QVERIFY(std::abs((m - q) - 10.0) < 0.05);
        const auto fields = fieldsOf(albumTo + "/mid.flac");
        QVERIFY(std::abs(gainOf(fields, "REPLAYGAIN_ALBUM_GAIN")) < 0.06);
        QCOMPARE(fieldsOf(albumTo + "/quiet.flac").value("REPLAYGAIN_ALBUM_GAIN"), fields.value("REPLAYGAIN_ALBUM_GAIN"));
    }

    // Gains the source carried are replaced by measured ones, left out when the audio is
    // normalized without tags, and carried as they were otherwise.
    void carriedGains_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expected"); // the output's track gain; empty: none
        QTest::newRow("measured") << QStringList{"--replaygain", "track"} << "measured";
        QTest::newRow("normalized without tags") << QStringList{"--normalize", "--replaygain", "off"} << "";
        QTest::newRow("neither") << QStringList{"--replaygain", "off"} << "+9.99 dB";
    }
    void carriedGains()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, expected);
        const QString src = tmp.filePath("carried/tagged.wav");
        if (!QFileInfo::exists(src)) {
            writeTone(src, -25, 3);
            tagAlbum(src, "X", "Y", {{"REPLAYGAIN_TRACK_GAIN", {"+9.99 dB"}}, {"REPLAYGAIN_TRACK_PEAK", {"0.1"}}});
        }
        const QString to = tmp.filePath("carried-" + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
        QCOMPARE(convertCli(QStringList{"--format", "mp3"} + options, {src}, to).code, 0);
        const auto fields = fieldsOf(to + "/tagged.mp3");
        if (expected == "measured")
            QCOMPARE(fields.value("REPLAYGAIN_TRACK_GAIN").value(0), gainText(-18.0 - loudnessOf(src)));
        else if (expected.isEmpty())
            QVERIFY(!fields.contains("REPLAYGAIN_TRACK_GAIN") && !fields.contains("REPLAYGAIN_TRACK_PEAK"));
        else
            QCOMPARE(fields.value("REPLAYGAIN_TRACK_GAIN").value(0), expected);
    }

    // A copied file is measured by decoding its source: its packets stay the source's, its
    // tags carry the gains, and with album values the copies wait like encoded outputs.
    void copiesAreMeasuredToo_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("track") << "track";
        QTest::newRow("album") << "album";
    }
    void copiesAreMeasuredToo()
    {
        QFETCH(QString, mode);
        const QString src = tmp.filePath("copies");
        if (!QFileInfo::exists(src + "/b.mp3")) {
            writeTone(src + "/a.wav", -20, 3);
            writeTone(src + "/b.wav", -26, 3);
            for (const char* name : {"a", "b"}) {
                int code = -1;
                testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", src + "/" + name + ".wav", "-c:a", "libmp3lame",
                                              "-b:a", "96k", src + "/" + name + ".mp3"}, 60000, &code);
                QCOMPARE(code, 0);
                QVERIFY(QFile::remove(src + "/" + name + ".wav"));
            }
        }
        const QString to = tmp.filePath("copies-" + mode);
        const QStringList options{"--format", "mp3", "--copy-same-format", "--replaygain", mode};
        const Result plan = run(QStringList{"--convert", "--out", to, "--dry-run"} + options + QStringList{src});
        QVERIFY2(plan.out.count("\tcopy\n") == 2, qPrintable(plan.out));
        QCOMPARE(convertCli(options, {src}, to).code, 0);
        for (const char* name : {"a", "b"}) {
            const QString output = to + "/" + name + ".mp3";
            QCOMPARE(testaudio::runTool("ffmpeg", {"-v", "error", "-i", output, "-c", "copy", "-f", "md5", "-"}),
                     testaudio::runTool("ffmpeg", {"-v", "error", "-i", src + "/" + name + ".mp3", "-c", "copy", "-f", "md5", "-"}));
            const auto fields = fieldsOf(output);
            QCOMPARE(fields.value("REPLAYGAIN_TRACK_GAIN").value(0), gainText(-18.0 - loudnessOf(src + "/" + name + ".mp3")));
            QCOMPARE(fields.contains("REPLAYGAIN_ALBUM_GAIN"), mode == "album");
        }
    }

    // Only one file of an album changed: it is converted alone, and its album values still
    // come from the whole album, the kept outputs measured from their sources.
    void updateKeepsTheAlbumsValues()
    {
        const QString src = tmp.filePath("update");
        writeTone(src + "/a.wav", -20, 4);
        writeTone(src + "/b.wav", -30, 4);
        const QString to = tmp.filePath("update-out");
        const QStringList options{"--format", "ogg", "--replaygain", "album", "--existing", "update"};
        QCOMPARE(run(QStringList{"--convert", "--out", to} + options + QStringList{src}).code, 0);
        const QString album = fieldsOf(to + "/a.ogg").value("REPLAYGAIN_ALBUM_GAIN").value(0);
        QVERIFY(!album.isEmpty());
        const QDateTime keptTime = QFileInfo(to + "/a.ogg").lastModified();
        // b is newer than its output now.
        QFile f(src + "/b.wav");
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        const Result second = run(QStringList{"--convert", "--out", to} + options + QStringList{src});
        QCOMPARE(second.code, 0);
        QVERIFY2(second.err.contains("1 converted") && second.err.contains("1 up to date"), qPrintable(second.err));
        QCOMPARE(fieldsOf(to + "/b.ogg").value("REPLAYGAIN_ALBUM_GAIN").value(0), album);
        QCOMPARE(QFileInfo(to + "/a.ogg").lastModified(), keptTime);
    }

    // The window: the setting writes the tags, and the row's tooltip tells them.
    void windowWritesTheTags()
    {
        QVERIFY(startFresh());
        makeAlbum();
        settings().write_int("basic", "replaygain", 2);
        add({m_album + "/1 loud.wav", m_album + "/2 quiet.wav"});
        w().cb_format->setCurrentIndex(0);
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));
        QVERIFY2(w().list->toolTip(0).contains("ReplayGain: track "), qPrintable(w().list->toolTip(0)));
        QVERIFY2(w().list->toolTip(0).contains("; album "), qPrintable(w().list->toolTip(0)));
        QCOMPARE(fieldsOf(out + "/1 loud.mp3").value("REPLAYGAIN_ALBUM_GAIN"),
                 fieldsOf(out + "/2 quiet.mp3").value("REPLAYGAIN_ALBUM_GAIN"));
        stop();
    }

    // Stopped while an album's first outputs wait for its last file: nothing of the album is
    // written, nothing is left behind, and every row says so.
    void stopWhileAnAlbumWaits()
    {
        QVERIFY(startFresh());
        const QString src = tmp.filePath("waits");
        writeTone(src + "/1.wav", -20, 1);
        writeTone(src + "/2.wav", -20, 1);
        QVERIFY(testaudio::writeMusicWav(src + "/3 long.wav", 44100, 2, 240));
        settings().write_int("basic", "replaygain", 2);
        setJobs(1);
        add({src + "/1.wav", src + "/2.wav", src + "/3 long.wav"});
        w().cb_format->setCurrentIndex(0);
        startConvert();
        // The first two are written and held under their temporary names.
        QTRY_VERIFY_WITH_TIMEOUT(outputNames().filter(".part").size() >= 3, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(w().list->text(2, rows::Status).contains("Converting"), 10000);
        w().item("StopConverting1")->trigger();
        waitIdle();
        QCOMPARE(statuses(), QStringList({"stopped", "stopped", "stopped"}));
        QCOMPARE(outputNames(), QStringList());
        stop();
    }
};

QTEST_MAIN(TestReplayGainRun)
#include "test_replaygain_run.moc"
