// Reading through AudioFile: every kind of input the program meets, opened by content; the
// sample count promised at opening is what the reads deliver, and what the ffmpeg command
// decodes; what is not audio is refused with a message naming the file.
#include "AudioInformation.h"
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using sondrel::AudioFile;
using sondrel::EngineError;

namespace {

// The MANIFEST.tsv row of a corpus file: sample rate, channels, seconds a full decode gave.
struct ManifestRow {
    int rate = 0, channels = 0;
    double decodedSeconds = -1;
    QString flags;
};

QHash<QString, ManifestRow> readManifest()
{
    QHash<QString, ManifestRow> rows;
    QFile f(testaudio::corpusDir() + "/MANIFEST.tsv");
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    const QStringList header = QString::fromUtf8(f.readLine()).trimmed().split('\t');
    const int path = header.indexOf("path"), rate = header.indexOf("sample_rate"), ch = header.indexOf("channels"),
              decoded = header.indexOf("decoded_s"), flags = header.indexOf("flags");
    while (!f.atEnd()) {
        const QStringList cols = QString::fromUtf8(f.readLine()).chopped(1).split('\t');
        if (cols.size() < header.size())
            continue;
        ManifestRow r;
        r.rate = cols[rate].toInt();
        r.channels = cols[ch].toInt();
        bool ok = false;
        r.decodedSeconds = cols[decoded].toDouble(&ok);
        if (!ok)
            r.decodedSeconds = -1;
        r.flags = cols[flags];
        rows.insert(cols[path], r);
    }
    return rows;
}

} // namespace

class EngineFileReading : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void inputKinds_data();
    void inputKinds();
    void mp3LengthWithAndWithoutTrustworthyHeaders_data();
    void mp3LengthWithAndWithoutTrustworthyHeaders();
    void notAudioIsRefusedNamingTheFile_data();
    void notAudioIsRefusedNamingTheFile();
    void readerStateAndChunks();
    void newerFormatsCountExactly_data();
    void newerFormatsCountExactly();
    void corpus_data();
    void corpus();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    QHash<QString, ManifestRow> m_manifest;
    std::vector<float> m_source; // 44.1 kHz stereo, 1.7 s
};

void EngineFileReading::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_manifest = readManifest();
    QVERIFY(!m_manifest.isEmpty());
    m_source = testaudio::musicSignal(44100, 2, 74970);
    const QString src = fixture("source.wav");
    QVERIFY(testaudio::writeWav(src, m_source, 44100, 2, -32));

    using enginetest::ffmpeg;
    const QStringList in{"-i", src};
    struct Job { QString name; QStringList args; };
    const QList<Job> jobs = {
        {"pcm_u8.wav", {"-c:a", "pcm_u8"}},
        {"pcm_s16.wav", {"-c:a", "pcm_s16le"}},
        {"pcm_s24.wav", {"-c:a", "pcm_s24le"}},
        {"pcm_s32.wav", {"-c:a", "pcm_s32le"}},
        {"pcm_f32.wav", {"-c:a", "pcm_f32le"}},
        {"pcm_f64.wav", {"-c:a", "pcm_f64le"}},
        {"alaw.wav", {"-ar", "8000", "-c:a", "pcm_alaw"}},
        {"mulaw.wav", {"-ar", "8000", "-ac", "1", "-c:a", "pcm_mulaw"}},
        {"extensible-6ch.wav", {"-af", "pan=5.1|c0=c0|c1=c1|c2=c0|c3=c1|c4=c0|c5=c1", "-c:a", "pcm_s16le"}},
        {"rf64.wav", {"-c:a", "pcm_s16le", "-rf64", "always"}},
        {"mp3-in.wav", {"-c:a", "libmp3lame", "-b:a", "128k", "-f", "wav"}},
        {"adpcm.wav", {"-c:a", "adpcm_ms"}},
        {"ffmpeg.ogg", {"-c:a", "libvorbis", "-b:a", "96k"}},
        {"ffmpeg.wma", {"-c:a", "wmav2", "-b:a", "128k"}},
        {"ffmpeg-mono22.wma", {"-ar", "22050", "-ac", "1", "-c:a", "wmav2", "-b:a", "32k"}},
        {"ffmpeg-v1-16k.wma", {"-ar", "16000", "-c:a", "wmav1", "-b:a", "48k"}},
        {"ffmpeg.flac", {"-c:a", "flac"}},
        {"ffmpeg.m4a", {"-c:a", "aac", "-b:a", "96k"}},
        {"ffmpeg.opus", {"-c:a", "libopus", "-b:a", "64k"}},
        {"cbr-noxing.mp3", {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"}},
        {"cbr-xing.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
        {"mpeg2-noxing.mp3", {"-ar", "22050", "-c:a", "libmp3lame", "-b:a", "48k", "-write_xing", "0"}},
    };
    for (const Job& j : jobs)
        QVERIFY2(ffmpeg(in + j.args + QStringList{fixture(j.name)}), qPrintable(j.name));

    // WAVE_FORMAT_EXTENSIBLE is what makes that fixture worth having.
    QFile ext(fixture("extensible-6ch.wav"));
    QVERIFY(ext.open(QIODevice::ReadOnly));
    const QByteArray head = ext.read(64);
    QCOMPARE(quint8(head[20]) | (quint8(head[21]) << 8), 0xFFFE);

    // LAME's own VBR file, with Xing and LAME headers.
    int code = -1;
    testaudio::runTool("lame", {"--quiet", "-V", "2", fixture("pcm_s16.wav"), fixture("lame-vbr.mp3")}, 60000, &code);
    QCOMPARE(code, 0);
    // Cut to 40 %: the header promises more than the data holds.
    QFile vbr(fixture("lame-vbr.mp3"));
    QVERIFY(vbr.open(QIODevice::ReadOnly));
    const QByteArray all = vbr.readAll();
    QFile cut(fixture("cut-vbr.mp3"));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(all.left(all.size() * 2 / 5));
    cut.close();
    // Two files end to end: the header speaks for the first only.
    QFile joined(fixture("joined.mp3"));
    QVERIFY(joined.open(QIODevice::WriteOnly));
    joined.write(all);
    QFile second(fixture("cbr-noxing.mp3"));
    QVERIFY(second.open(QIODevice::ReadOnly));
    joined.write(second.readAll());
    joined.close();
    // Without a VBR header: an ID3v1 tag at the end; junk between frames; the last frame cut.
    QFile plain(fixture("cbr-noxing.mp3"));
    QVERIFY(plain.open(QIODevice::ReadOnly));
    const QByteArray frames = plain.readAll();
    auto writeFile = [&](const QString& name, const QByteArray& bytes) {
        QFile out(fixture(name));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(bytes), bytes.size());
    };
    writeFile("noxing-id3v1.mp3", frames + "TAG" + QByteArray(125, ' '));
    writeFile("noxing-junk.mp3", frames.left(frames.size() / 2) + QByteArray(777, '\x55') + frames.mid(frames.size() / 2));
    writeFile("noxing-cut.mp3", frames.left(frames.size() - 100));
    // Cover art in front, as many taggers add it.
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=red:s=64x64", "-frames:v", "1", fixture("cover.png")}));
    QVERIFY(ffmpeg({"-i", fixture("lame-vbr.mp3"), "-i", fixture("cover.png"), "-map", "0:a", "-map", "1", "-c:a", "copy",
                    "-c:v", "png", "-disposition:v", "attached_pic", "-id3v2_version", "3", fixture("cover.mp3")}));
    // Megabytes of cover art in front.
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "nullsrc=s=1000x1000,geq=random(1)*255:128:128", "-frames:v", "1",
                    fixture("big-cover.png")}));
    QVERIFY(ffmpeg({"-i", fixture("lame-vbr.mp3"), "-i", fixture("big-cover.png"), "-map", "0:a", "-map", "1", "-c:a",
                    "copy", "-c:v", "png", "-disposition:v", "attached_pic", fixture("big-cover.mp3")}));
    QVERIFY(QFileInfo(fixture("big-cover.mp3")).size() > 1000000);
    // Content, not the name, decides.
    QVERIFY(QFile::copy(fixture("lame-vbr.mp3"), fixture("mp3-named.wav")));
    QVERIFY(QFile::copy(fixture("pcm_s16.wav"), fixture("wav-named.mp3")));
    QVERIFY(QFile::copy(fixture("ffmpeg.ogg"), fixture("ogg-named.wma")));
    QVERIFY(QFile::copy(fixture("ffmpeg.wma"), fixture("wma-named.ogg")));
    QVERIFY(QFile::copy(fixture("ffmpeg.ogg"), fixture("ünïcødé ♪ name.ogg")));
}

void EngineFileReading::inputKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minSnr"); // against the source where the format keeps it, else 0
    QTest::newRow("PCM 8-bit") << "pcm_u8.wav" << 35.0;
    QTest::newRow("PCM 16-bit") << "pcm_s16.wav" << 85.0;
    QTest::newRow("PCM 24-bit") << "pcm_s24.wav" << 120.0;
    QTest::newRow("PCM 32-bit") << "pcm_s32.wav" << 120.0;
    QTest::newRow("float 32") << "pcm_f32.wav" << 140.0;
    QTest::newRow("float 64") << "pcm_f64.wav" << 140.0;
    QTest::newRow("A-law") << "alaw.wav" << 0.0;
    QTest::newRow("mu-law mono") << "mulaw.wav" << 0.0;
    QTest::newRow("extensible 6 channels") << "extensible-6ch.wav" << 0.0;
    QTest::newRow("RF64") << "rf64.wav" << 85.0;
    QTest::newRow("MP3 in WAV") << "mp3-in.wav" << 0.0;
    QTest::newRow("ADPCM in WAV") << "adpcm.wav" << 0.0;
    QTest::newRow("OGG Vorbis (ffmpeg)") << "ffmpeg.ogg" << 0.0;
    QTest::newRow("WMA (ffmpeg)") << "ffmpeg.wma" << 0.0;
    QTest::newRow("WMA mono 22k") << "ffmpeg-mono22.wma" << 0.0;
    QTest::newRow("WMA version 1, 16k") << "ffmpeg-v1-16k.wma" << 0.0;
    QTest::newRow("FLAC") << "ffmpeg.flac" << 120.0;
    QTest::newRow("AAC in MP4") << "ffmpeg.m4a" << 0.0;
    QTest::newRow("Opus") << "ffmpeg.opus" << 0.0;
    QTest::newRow("MP3 VBR by LAME") << "lame-vbr.mp3" << 0.0;
    QTest::newRow("MP3 with cover art") << "cover.mp3" << 0.0;
    QTest::newRow("MP3 named .wav") << "mp3-named.wav" << 0.0;
    QTest::newRow("WAV named .mp3") << "wav-named.mp3" << 85.0;
    QTest::newRow("OGG named .wma") << "ogg-named.wma" << 0.0;
    QTest::newRow("WMA named .ogg") << "wma-named.ogg" << 0.0;
    QTest::newRow("non-ASCII name") << "ünïcødé ♪ name.ogg" << 0.0;
}

void EngineFileReading::inputKinds()
{
    QFETCH(QString, name);
    QFETCH(double, minSnr);
    const QString path = fixture(name);
    const testaudio::ProbeResult probe = testaudio::ffprobe(path);
    QVERIFY(probe.ok);

    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.rate, probe.sampleRate);
    QCOMPARE(d.channels, probe.channels);
    QCOMPARE(d.frames(), d.sampleCount);
    QCOMPARE(d.correction, std::int64_t(0));

    int rate = 0, channels = 0;
    const std::vector<float> oracle = testaudio::ffmpegDecode(path, &rate, &channels);
    QVERIFY(!oracle.empty());
    const std::int64_t oracleFrames = std::int64_t(oracle.size()) / channels;
    if (probe.codecName == "vorbis") {
        // The reference decoder trims to the last granule position exactly; libavcodec may
        // keep some of the last block's padding.
        QCOMPARE(enginetest::oggdecFrames(path), d.frames());
        QVERIFY(oracleFrames >= d.frames() && oracleFrames < d.frames() + 8192);
    } else if (probe.codecName == "aac") {
        // The track ends where its edit list says; the ffmpeg command may decode the last
        // frame whole.
        QCOMPARE(enginetest::ffprobeStreamLength(path), d.frames());
        QVERIFY(oracleFrames >= d.frames() && oracleFrames < d.frames() + 1024);
    } else {
        QCOMPARE(oracleFrames, d.frames());
    }
    // The same samples as ffmpeg's (the engine converts every sample format to float itself).
    double maxDiff = 0;
    for (std::size_t i = 0; i < std::min(oracle.size(), d.samples.size()); ++i)
        maxDiff = std::max(maxDiff, double(std::abs(oracle[i] - d.samples[i])));
    QVERIFY2(maxDiff < 1e-5, qPrintable(QString("differs from ffmpeg by %1").arg(maxDiff)));
    if (minSnr > 0) {
        QCOMPARE(d.frames(), std::int64_t(m_source.size() / 2));
        const double snr = testaudio::snrDb(m_source, d.samples);
        QVERIFY2(snr >= minSnr, qPrintable(QString("SNR %1 dB").arg(snr)));
    }
}

void EngineFileReading::mp3LengthWithAndWithoutTrustworthyHeaders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("method");
    QTest::newRow("LAME VBR: header") << "lame-vbr.mp3" << "mp3 header";
    QTest::newRow("ffmpeg CBR with Info: header") << "cbr-xing.mp3" << "mp3 header";
    QTest::newRow("cover art in front: header") << "cover.mp3" << "mp3 header";
    QTest::newRow("megabytes of cover art: header") << "big-cover.mp3" << "mp3 header";
    QTest::newRow("no Xing header: frames") << "cbr-noxing.mp3" << "mp3 frames";
    QTest::newRow("MPEG-2 without Xing: frames") << "mpeg2-noxing.mp3" << "mp3 frames";
    QTest::newRow("no Xing, ID3v1 at the end: frames") << "noxing-id3v1.mp3" << "mp3 frames";
    QTest::newRow("no Xing, junk inside: packets") << "noxing-junk.mp3" << "packet scan";
    QTest::newRow("no Xing, last frame cut: packets") << "noxing-cut.mp3" << "packet scan";
    QTest::newRow("cut after the header: packets") << "cut-vbr.mp3" << "packet scan";
    QTest::newRow("another file appended: packets") << "joined.mp3" << "packet scan";
}

void EngineFileReading::mp3LengthWithAndWithoutTrustworthyHeaders()
{
    QFETCH(QString, name);
    QFETCH(QString, method);
    const QString path = fixture(name);
    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.method, method);
    QCOMPARE(d.frames(), d.sampleCount);
    QCOMPARE(d.correction, std::int64_t(0));
    int rate = 0, channels = 0;
    const std::vector<float> oracle = testaudio::ffmpegDecode(path, &rate, &channels);
    QCOMPARE(std::int64_t(oracle.size()) / channels, d.frames());
    if (method == "mp3 header" && name != "cbr-xing.mp3")
        QCOMPARE(d.frames(), std::int64_t(m_source.size() / 2)); // gapless: exactly the source
}

void EngineFileReading::notAudioIsRefusedNamingTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // written into the file unless it is "<keep>"
    QTest::newRow("missing") << "does-not-exist.mp3" << QByteArray("<none>");
    QTest::newRow("empty") << "empty.wav" << QByteArray();
    QTest::newRow("text") << "notes.mp3" << QByteArray("These are not the samples you are looking for.\n").repeated(200);
    QTest::newRow("image") << "cover.png" << QByteArray("<keep>");
    QTest::newRow("folder") << "." << QByteArray("<keep>");
    QTest::newRow("zeros") << "zeros.ogg" << QByteArray(100000, '\0');
    QTest::newRow("ID3 tag only") << "tag-only.mp3" << QByteArray("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + QByteArray(16, '\0');
}

void EngineFileReading::notAudioIsRefusedNamingTheFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString path = name == "." ? m_dir.path() : fixture(name);
    if (content != "<keep>" && content != "<none>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    AudioFile reader;
    try {
        reader.OpenRead(path, 0, 1);
        QFAIL("opened");
    } catch (const EngineError& e) {
        const QString message = QString::fromUtf8(e.what());
        QVERIFY2(message.contains(QFileInfo(path).fileName()), e.what());
    }
    QVERIFY(!reader.IsOpen());
    QCOMPARE(reader.SampleCount(), std::int64_t(0));
    QCOMPARE(reader.SampleRate(), 0);
    reader.Close(); // harmless after a failed open
    // The same object opens a good file afterwards.
    reader.OpenRead(fixture("pcm_s16.wav"), 0, 1);
    QVERIFY(reader.IsOpen());
}

void EngineFileReading::readerStateAndChunks()
{
    AudioFile reader;
    QVERIFY(!reader.IsOpen());
    reader.Close(); // harmless with nothing open
    QCOMPARE(reader.SampleRate(), 0);
    QCOMPARE(reader.ChannelCount(), 0);
    QVERIFY_THROWS_EXCEPTION(EngineError, reader.ReadSamples(100));

    reader.OpenRead(fixture("pcm_s16.wav"), 0, 1);
    QVERIFY(reader.IsOpen());
    QCOMPARE(reader.PreparePlayback(0, 3), 0);
    QCOMPARE(reader.SampleRate(), 44100);
    QCOMPARE(reader.ChannelCount(), 2);
    QCOMPARE(reader.SampleCount(), std::int64_t(74970));
    QCOMPARE(reader.DurationMs(), std::int64_t(1700));
    QVERIFY_THROWS_EXCEPTION(EngineError, reader.OpenRead(fixture("pcm_s16.wav"), 0, 1)); // one file at a time
    QVERIFY_THROWS_EXCEPTION(EngineError, reader.ReadSamples(1));                         // less than a frame

    // Whole frames only, never more than asked; an odd count rounds down.
    std::vector<float> all;
    for (int count : {7, 2, 1000, 44100 * 2 + 1, 3}) {
        const sondrel::SampleArray a = reader.ReadSamples(count);
        QCOMPARE(int(a.size()), count / 2 * 2);
        all.insert(all.end(), a.begin(), a.end());
    }
    for (;;) {
        const sondrel::SampleArray a = reader.ReadSamples(44100 * 2);
        if (a.empty())
            break;
        all.insert(all.end(), a.begin(), a.end());
    }
    QCOMPARE(all.size(), m_source.size());
    QVERIFY(testaudio::snrDb(m_source, all) > 85);
    QVERIFY(reader.ReadSamples(100).empty()); // and stays at the end
    QVERIFY(reader.ReadSamples(100).empty());
    reader.Close();
    QVERIFY(!reader.IsOpen());
    QCOMPARE(reader.SampleCount(), std::int64_t(0));
    QCOMPARE(reader.DurationMs(), std::int64_t(0));
    reader.SetStartOption(true);
    QVERIFY(reader.StartOption());
}

void EngineFileReading::newerFormatsCountExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args");   // ffmpeg arguments that make it from the source
    QTest::addColumn<QString>("method");     // how the count is found
    QTest::addColumn<bool>("tagged");        // the container keeps ffmpeg's tags
    QTest::addColumn<int>("bits");           // SourceBits: the width a lossless source keeps
    const QStringList meta{"-metadata", "title=Newer", "-metadata", "artist=Someone", "-metadata", "date=2004",
                           "-metadata", "track=3"};
    QTest::newRow("FLAC") << "n.flac" << meta + QStringList{"-c:a", "flac", "-sample_fmt", "s16"} << "flac header" << true << 16;
    QTest::newRow("FLAC 24-bit") << "n24.flac" << QStringList{"-c:a", "flac", "-sample_fmt", "s32"} << "flac header"
                                 << false << 24;
    QTest::newRow("FLAC written to a pipe (no total)") << "<pipe>n-pipe.flac" << QStringList{"-c:a", "flac", "-f", "flac"}
                                                      << "packet scan" << false << 24;
    QTest::newRow("FLAC cut short") << "<cut>n.flac" << QStringList() << "full decode" << false << 16;
    QTest::newRow("Ogg FLAC") << "n.oga" << meta + QStringList{"-c:a", "flac", "-f", "ogg"} << "packet scan" << true << 24;
    QTest::newRow("Opus") << "n.opus" << meta + QStringList{"-c:a", "libopus", "-b:a", "96k"} << "ogg granule" << true << 0;
    QTest::newRow("Opus mono from 24 kHz") << "n24k.opus" << QStringList{"-ar", "24000", "-ac", "1", "-c:a", "libopus"}
                                           << "ogg granule" << false << 0;
    QTest::newRow("Opus cut short") << "<cut>n.opus" << QStringList() << "ogg granule" << false << 0;
    QTest::newRow("AAC in M4A") << "n.m4a" << meta + QStringList{"-c:a", "aac"} << "aac frames" << true << 0;
    QTest::newRow("ALAC in M4A") << "n-alac.m4a" << meta + QStringList{"-c:a", "alac"} << "packet scan" << true << 24;
    QTest::newRow("AAC in ADTS") << "n.aac" << meta + QStringList{"-c:a", "aac", "-write_id3v2", "1"} << "aac frames"
                                 << true << 0;
    QTest::newRow("AIFF") << "n.aiff" << meta + QStringList{"-write_id3v2", "1"} << "packet scan" << true << 16;
    QTest::newRow("WavPack") << "n.wv" << meta + QStringList{"-c:a", "wavpack"} << "packet scan" << true << 32;
    QTest::newRow("Opus in Matroska") << "n.mka" << meta + QStringList{"-c:a", "libopus"} << "full decode" << true << 0;
    QTest::newRow("Opus in WebM") << "n.webm" << meta + QStringList{"-c:a", "libopus"} << "full decode" << true << 0;
    QTest::newRow("MP2") << "n.mp2" << QStringList{"-c:a", "mp2"} << "mp3 frames" << false << 0;
    QTest::newRow("AC-3") << "n.ac3" << QStringList{"-c:a", "ac3"} << "full decode" << false << 0;
}

// The newer input formats: the count found at opening is what the reads deliver and what
// the ffmpeg command decodes, the samples are ffmpeg's, and the tags reach the track record.
void EngineFileReading::newerFormatsCountExactly()
{
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QFETCH(QString, method);
    QFETCH(bool, tagged);
    QFETCH(int, bits);
    QString path;
    if (name.startsWith("<cut>")) {
        // The file's first 60 %: its header promises more than it holds.
        const QString whole = fixture(name.mid(5));
        QVERIFY(QFile::exists(whole));
        path = fixture("cut-" + name.mid(5));
        QFile in(whole), out(path);
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        const QByteArray all = in.readAll();
        out.write(all.left(all.size() * 3 / 5));
    } else if (name.startsWith("<pipe>")) {
        path = fixture(name.mid(6));
        int code = -1;
        const QByteArray data = testaudio::runTool(
            "ffmpeg", QStringList{"-v", "error", "-i", fixture("source.wav")} + args + QStringList{"pipe:1"}, 60000, &code);
        QCOMPARE(code, 0);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(data);
    } else {
        path = fixture(name);
        QVERIFY(enginetest::ffmpeg(QStringList{"-i", fixture("source.wav")} + args + QStringList{path}));
    }
    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.method, method);
    QCOMPARE(d.frames(), d.sampleCount);
    QCOMPARE(d.correction, std::int64_t(0));
    int rate = 0, channels = 0;
    const std::vector<float> oracle = testaudio::ffmpegDecode(path, &rate, &channels);
    QCOMPARE(rate, d.rate);
    QCOMPARE(channels, d.channels);
    if (path.endsWith(".m4a") && method == "aac frames") {
        // The edit list's end (the source's length), which the ffmpeg command may not trim
        // the last frame to.
        QCOMPARE(enginetest::ffprobeStreamLength(path), d.frames());
        QCOMPARE(d.frames(), std::int64_t(m_source.size() / 2));
        const std::int64_t padding = std::int64_t(oracle.size()) / channels - d.frames();
        QVERIFY(padding >= 0 && padding < 1024);
    } else {
        QCOMPARE(std::int64_t(oracle.size()) / channels, d.frames());
    }
    double maxDiff = 0;
    for (std::size_t i = 0; i < std::min(oracle.size(), d.samples.size()); ++i)
        maxDiff = std::max(maxDiff, double(std::abs(oracle[i] - d.samples[i])));
    // (ffmpeg's MP2 decoder hands its samples on as 16-bit integers: a step of 1/32768.)
    QVERIFY2(maxDiff < 1e-4, qPrintable(QString("differs from ffmpeg by %1").arg(maxDiff)));
    if (bits > 0 && !name.startsWith("<cut>"))
        QCOMPARE(d.frames(), std::int64_t(m_source.size() / 2)); // lossless: exactly the source

    AudioFile reader;
    reader.OpenRead(path);
    QCOMPARE(reader.SourceBits(), bits);
    if (tagged) {
        sondrel::AudioInformation info;
        info.LoadFromFile(path);
        QCOMPARE(info.infoTitle, QString("Newer"));
        QCOMPARE(info.infoArtist, QString("Someone"));
        QCOMPARE(info.infoTrack, std::int16_t(3));
        if (!name.endsWith(".wv")) // ffmpeg's APE tag keeps the date under a name of its own
            QCOMPARE(info.infoYear, 2004);
    }
}

void EngineFileReading::corpus_data()
{
    QTest::addColumn<QString>("relative");
    const QStringList files = testaudio::corpusFiles();
    QVERIFY(files.size() >= 100);
    for (const QString& f : files)
        QTest::newRow(qPrintable(f)) << f;
}

// Every real-world file opens with the length a full decode gives, or is refused cleanly, and
// only files that ffmpeg cannot decode either are refused.
void EngineFileReading::corpus()
{
    QFETCH(QString, relative);
    const QString path = testaudio::corpusDir() + "/" + relative;
    const ManifestRow row = m_manifest.value(relative);
    enginetest::Decoded d;
    QString refused;
    try {
        d = enginetest::readAll(path, 1000);
    } catch (const EngineError& e) {
        refused = QString::fromUtf8(e.what());
    }
    if (!refused.isEmpty()) {
        QVERIFY2(refused.contains(QFileInfo(path).fileName()), qPrintable(refused));
        QVERIFY2(row.decodedSeconds <= 0 || row.flags.contains("ffprobe-fails"),
                 qPrintable("refused although ffmpeg decodes it: " + refused));
        return;
    }
    QVERIFY2(d.reads < 1000, "does not end");
    QCOMPARE(d.frames(), d.sampleCount);
    QCOMPARE(d.correction, std::int64_t(0));
    if (row.rate > 0) {
        QCOMPARE(d.rate, row.rate);
        QCOMPARE(d.channels, row.channels);
    }
    const double seconds = double(d.frames()) / d.rate;
    QVERIFY2(std::abs(seconds - row.decodedSeconds) < 0.01,
             qPrintable(QString("%1 s, a full decode gave %2 s (%3)").arg(seconds).arg(row.decodedSeconds).arg(d.method)));
    const testaudio::ProbeResult probe = testaudio::ffprobe(path);
    if (probe.codecName == "vorbis") {
        QCOMPARE(enginetest::oggdecFrames(path, m_dir.filePath("corpus.oggdec.wav")), d.frames());
    } else {
        int rate = 0, channels = 0;
        const std::vector<float> oracle = testaudio::ffmpegDecode(path, &rate, &channels);
        QCOMPARE(std::int64_t(oracle.size()) / std::max(channels, 1), d.frames());
    }
}

QTEST_GUILESS_MAIN(EngineFileReading)
#include "tst_engine_file_reading.moc"
