// How long a source is: reading goes to the real end of the stream, containers whose time
// stamps cannot give an exact count are counted by decoding when they are opened, and bytes
// that a format probe only guesses at are refused.
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using sondrel::AudioFile;
using sondrel::EngineError;

namespace {

// The Ogg page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected, from 0.
quint32 oggCrc(const QByteArray& page)
{
    quint32 crc = 0;
    for (const char c : page) {
        crc ^= quint32(quint8(c)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// The granule position of the last Ogg page moved by delta, with its checksum made good.
bool shiftLastGranule(const QString& path, qint64 delta)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = f.readAll();
    const qsizetype page = bytes.lastIndexOf("OggS");
    if (page < 0 || page + 27 > bytes.size())
        return false;
    quint64 granule = 0;
    for (int i = 0; i < 8; ++i)
        granule |= quint64(quint8(bytes[page + 6 + i])) << (8 * i);
    granule += quint64(delta);
    for (int i = 0; i < 8; ++i)
        bytes[page + 6 + i] = char(granule >> (8 * i));
    const int segments = quint8(bytes[page + 26]);
    qsizetype size = 27 + segments;
    for (int i = 0; i < segments; ++i)
        size += quint8(bytes[page + 27 + i]);
    for (int i = 22; i < 26; ++i)
        bytes[page + i] = 0;
    const quint32 crc = oggCrc(bytes.mid(page, size));
    for (int i = 0; i < 4; ++i)
        bytes[page + 22 + i] = char(crc >> (8 * i));
    return f.seek(0) && f.write(bytes) == bytes.size();
}

// Reads source to the end and writes it through writer (its output already selected) into
// target, as a conversion does.
void convert(const QString& source, AudioFile& writer, const QString& target)
{
    AudioFile reader;
    reader.OpenRead(source);
    writer.OpenWrite(target);
    writer.SetInputFormat(reader.ChannelCount(), reader.SampleRate(), reader.SourceBits());
    for (;;) {
        const sondrel::SampleArray chunk = reader.ReadSamples(reader.SampleRate() * reader.ChannelCount());
        if (chunk.empty())
            break;
        writer.WriteSamples(chunk);
    }
    reader.Close();
    writer.Close();
}

std::int64_t oracleFrames(const QString& path)
{
    int rate = 0, channels = 0;
    const std::vector<float> decoded = testaudio::ffmpegDecode(path, &rate, &channels);
    return channels > 0 ? std::int64_t(decoded.size()) / channels : -1;
}

double maxDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    double most = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        most = std::max(most, double(std::abs(a[i] - b[i])));
    return most;
}

// The time scale of the first track's media header (mdhd) of an MP4 file set to a value.
bool patchMediaTimeScale(const QString& path, quint32 timeScale)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = f.readAll();
    const qsizetype box = bytes.indexOf("mdhd");
    if (box < 0)
        return false;
    // After the type: version and flags (4 bytes), creation and modification times (4 bytes
    // each in version 0, 8 in version 1), then the time scale.
    const qsizetype at = box + 4 + 4 + (bytes[box + 4] == 1 ? 16 : 8);
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(timeScale >> (24 - 8 * i));
    return f.seek(0) && f.write(bytes) == bytes.size();
}

} // namespace

class EngineFileLength : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void oggEndsAtItsLastGranuleOnlyWhereTheAudioDoes_data();
    void oggEndsAtItsLastGranuleOnlyWhereTheAudioDoes();
    void timestampContainersReadToTheEnd_data();
    void timestampContainersReadToTheEnd();
    void mp4WithAWrongTimeScaleReadsEverySample_data();
    void mp4WithAWrongTimeScaleReadsEverySample();
    void guessedContentIsRefused_data();
    void guessedContentIsRefused();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    std::vector<float> m_source; // 44.1 kHz stereo, 7.3 s: not a whole number of milliseconds per packet
};

void EngineFileLength::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_source = testaudio::musicSignal(44100, 2, 321930);
    QVERIFY(testaudio::writeWav(fixture("source.wav"), m_source, 44100, 2, 16));
}

void EngineFileLength::oggEndsAtItsLastGranuleOnlyWhereTheAudioDoes_data()
{
    QTest::addColumn<qint64>("shift");    // of the last granule position
    QTest::addColumn<bool>("trimmed");    // reading ends at the granule position
    QTest::newRow("as written") << qint64(0) << true;
    QTest::newRow("a little early: the end by the format's rule") << qint64(-100) << true;
    QTest::newRow("beyond the audio: the decoder ends first") << qint64(44100) << false;
    QTest::newRow("seconds early: the audio goes on") << qint64(-30000) << false;
}

// A Vorbis stream ends at its last granule position, cutting the padding of the last block;
// a position that is not near where the audio ends is no reason to add silence or to drop
// audio: reading ends where the decoder does, and tells how far that was from the count.
void EngineFileLength::oggEndsAtItsLastGranuleOnlyWhereTheAudioDoes()
{
    QFETCH(qint64, shift);
    QFETCH(bool, trimmed);
    const QString path = fixture(QString("granule%1.ogg").arg(shift));
    AudioFile writer;
    writer.SetOggOutput(0, 0, 0, 0, 0, 400);
    enginetest::writeAll(writer, path, m_source, 2, 44100);
    const std::int64_t written = std::int64_t(m_source.size() / 2);
    QVERIFY(shiftLastGranule(path, shift));

    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.method, QString("ogg granule"));
    QCOMPARE(d.sampleCount, written + shift);
    QCOMPARE(d.framesRead, d.frames());
    QCOMPARE(d.correction, d.frames() - d.sampleCount);
    if (trimmed) {
        QCOMPARE(d.frames(), d.sampleCount);
        QCOMPARE(d.frames(), enginetest::oggdecFrames(path));
    } else {
        // Every decoded sample: the source and at most the padding of the last block.
        QVERIFY2(d.frames() >= written && d.frames() < written + 8192, qPrintable(QString::number(d.frames())));
        QVERIFY(d.correction != 0);
        QVERIFY(testaudio::snrDb(m_source, enginetest::head(d.samples, m_source.size())) > 10);
    }
}

void EngineFileLength::timestampContainersReadToTheEnd_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("PCM in Matroska") << "pcm.mka" << QStringList{"-c:a", "pcm_s16le"} << true;
    QTest::newRow("FLAC in Matroska") << "flac.mka" << QStringList{"-c:a", "flac"} << true;
    QTest::newRow("Vorbis in Matroska") << "vorbis.mka" << QStringList{"-c:a", "libvorbis"} << false;
    QTest::newRow("Vorbis in WebM") << "vorbis.webm" << QStringList{"-c:a", "libvorbis"} << false;
    QTest::newRow("PCM in Matroska, 22.05 kHz mono")
        << "pcm22.mka" << QStringList{"-ar", "22050", "-ac", "1", "-c:a", "pcm_s16le"} << false;
}

// Matroska states times in milliseconds, so packet durations summed lose up to a millisecond
// a packet: the count comes from decoding, and reading and converting give every sample.
void EngineFileLength::timestampContainersReadToTheEnd()
{
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QFETCH(bool, lossless);
    const QString path = fixture(name);
    QVERIFY(enginetest::ffmpeg(QStringList{"-i", fixture("source.wav")} + args + QStringList{path}));

    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.method, QString("full decode"));
    QCOMPARE(d.sampleCount, d.frames());
    QCOMPARE(d.framesRead, d.frames());
    QCOMPARE(d.correction, std::int64_t(0));
    QCOMPARE(d.frames(), oracleFrames(path));
    if (lossless)
        QCOMPARE(d.frames(), std::int64_t(m_source.size() / 2));
    QVERIFY(maxDifference(testaudio::ffmpegDecode(path), d.samples) < 1e-5);

    // Converted, every sample arrives.
    AudioFile writer;
    writer.SetFlacOutput(0, 0, 0, 5);
    const QString out = path + ".flac";
    convert(path, writer, out);
    QCOMPARE(writer.WrittenLength().framesFed, d.frames());
    const enginetest::Decoded back = enginetest::readAll(out);
    QCOMPARE(back.frames(), d.frames());
    QCOMPARE(oracleFrames(out), d.frames());
}

void EngineFileLength::mp4WithAWrongTimeScaleReadsEverySample_data()
{
    QTest::addColumn<quint32>("timeScale");
    // Durations then sum to a few samples (what an 11-sample count came from).
    QTest::newRow("far larger than the rate") << quint32(44100u * 40000u);
    // The edit list, read in this scale, would end the track after a packet or two.
    QTest::newRow("milliseconds") << quint32(1000);
    QTest::newRow("twice the rate") << quint32(88200);
    QTest::newRow("beyond a signed 32-bit value") << quint32(0xF0000000u);
}

void EngineFileLength::mp4WithAWrongTimeScaleReadsEverySample()
{
    QFETCH(quint32, timeScale);
    const QString path = fixture(QString("alac-%1.m4a").arg(timeScale));
    QVERIFY(enginetest::ffmpeg({"-i", fixture("source.wav"), "-c:a", "alac", path}));
    QVERIFY(patchMediaTimeScale(path, timeScale));

    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.method, QString("full decode"));
    QCOMPARE(d.frames(), std::int64_t(m_source.size() / 2));
    QCOMPARE(d.sampleCount, d.frames());
    QVERIFY(testaudio::snrDb(m_source, d.samples) > 80); // the 16-bit source, sample for sample

    AudioFile writer;
    writer.SetWavOutput(0, 0, 16);
    const QString out = path + ".wav";
    convert(path, writer, out);
    QCOMPARE(oracleFrames(out), std::int64_t(m_source.size() / 2));
}

void EngineFileLength::guessedContentIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args"); // ffmpeg arguments that make it from the source
    QTest::addColumn<int>("junk");         // bytes of noise put in front
    QTest::addColumn<bool>("audio");       // opens (else refused)
    // Raw samples without a header: nothing says what they are.
    QTest::newRow("raw PCM, equal channels, named .wav")
        << "raw-equal.wav" << QStringList{"-af", "pan=stereo|c0=c0|c1=c0", "-f", "s16le"} << 0 << false;
    QTest::newRow("raw PCM mono named .wav") << "raw-mono.wav" << QStringList{"-ac", "1", "-f", "s16le"} << 0 << false;
    QTest::newRow("raw PCM stereo named .wav") << "raw-stereo.wav" << QStringList{"-f", "s16le"} << 0 << false;
    QTest::newRow("raw 24-bit PCM named .mp3") << "raw24.mp3" << QStringList{"-f", "s24le"} << 0 << false;
    // Streams without a container whose few frames give the probes little to go on.
    QTest::newRow("MP3 after junk") << "junk.mp3" << QStringList{"-c:a", "libmp3lame", "-f", "mp3"} << 300 << true;
    QTest::newRow("MP2 of two frames")
        << "short.mp2" << QStringList{"-t", "0.03", "-c:a", "mp2", "-f", "mp2"} << 0 << true;
    QTest::newRow("ADTS AAC of two frames")
        << "short.aac" << QStringList{"-t", "0.01", "-c:a", "aac", "-f", "adts"} << 0 << true;
    QTest::newRow("E-AC-3 of two frames") << "short.eac3" << QStringList{"-t", "0.04", "-c:a", "eac3"} << 0 << true;
    QTest::newRow("AC-3 after junk") << "junk.ac3" << QStringList{"-c:a", "ac3"} << 700 << true;
}

void EngineFileLength::guessedContentIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QFETCH(int, junk);
    QFETCH(bool, audio);
    const QString made = fixture("made-" + name);
    QVERIFY(enginetest::ffmpeg(QStringList{"-i", fixture("source.wav")} + args + QStringList{made}));
    const QString path = fixture(name);
    {
        QFile in(made), out(path);
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        QByteArray noise(junk, '\0');
        for (int i = 0; i < junk; ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        out.write(noise + in.readAll());
    }
    if (!audio) {
        try {
            enginetest::readAll(path);
            QFAIL("opened");
        } catch (const EngineError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(name), e.what());
        }
        return;
    }
    const enginetest::Decoded d = enginetest::readAll(path);
    QVERIFY(d.frames() > 0);
    QCOMPARE(d.frames(), d.sampleCount);
    QCOMPARE(d.frames(), oracleFrames(path));
}

QTEST_GUILESS_MAIN(EngineFileLength)
#include "tst_engine_file_length.moc"
