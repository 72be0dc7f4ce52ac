// What the writers report about the files they complete (WrittenLength), checked against
// what independent decoders make of those files, down to sources shorter than one frame of
// any codec.
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using sondrel::AudioFile;
using sondrel::EngineError;

namespace {

// Selects an output by its name: rate and channels 0 follow the input (WMA takes them from
// its profile: rate 22050 is profile 27, mono at 22.05 kHz; anything else profile 10, 44.1 kHz
// stereo).
void selectOutput(AudioFile& f, const QString& format, int rate, int channels)
{
    if (format == "mp3") {
        sondrel::LameEncSettings s;
        s.Frequency = rate;
        s.Channels = channels;
        f.SetMp3Encoder(s);
    } else if (format == "wav") {
        f.SetWavOutput(rate, channels, 16);
    } else if (format == "wma") {
        f.SetWmaOutput(rate == 22050 ? 27 : 10);
    } else if (format == "ogg") {
        f.SetOggOutput(rate, channels, 0, 0, 0, 400);
    } else if (format == "flac") {
        f.SetFlacOutput(rate, channels, 0, 5);
    } else if (format == "opus") {
        f.SetOpusOutput(channels, 96, sondrel::OpusRateControl::Vbr);
    } else {
        f.SetAacOutput(rate, channels, 128);
    }
}

// ffprobe's reading of an M4A file's audio track: its time base, its length in that time base
// (what the edit list states) and its packets.
struct ProbedTrack {
    QString timeBase;
    std::int64_t length = -1;
    std::int64_t packets = -1;
};

ProbedTrack probeTrack(const QString& path)
{
    const QStringList args{"-v", "error", "-select_streams", "a:0", "-count_packets", "-show_entries",
                           "stream=time_base,duration_ts,nb_read_packets", "-of", "csv=p=0", path};
    const QStringList fields = QString::fromUtf8(testaudio::runTool("ffprobe", args)).trimmed().split(',');
    if (fields.size() != 3)
        return {};
    return {fields[0], fields[1].toLongLong(), fields[2].toLongLong()};
}

// Samples per channel another decoder gives: for Vorbis the reference decoder (oggdec), which
// ends at the last granule position as the format says (libavcodec may keep some padding of
// the last block); for M4A the length ffprobe reads from the edit list (the ffmpeg command of
// some versions decodes the last frame whole); for the others the ffmpeg command.
std::int64_t referenceFrames(const QString& path, const QString& format)
{
    if (format == "ogg")
        return enginetest::oggdecFrames(path);
    if (format == "aac")
        return probeTrack(path).length;
    int rate = 0, channels = 0;
    const std::vector<float> decoded = testaudio::ffmpegDecode(path, &rate, &channels);
    return channels > 0 ? std::int64_t(decoded.size()) / channels : -1;
}

// Whether the last Ogg page of the file is marked as the end of its stream.
bool endsWithEndOfStreamPage(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    const qsizetype last = bytes.lastIndexOf("OggS");
    return last >= 0 && last + 5 < bytes.size() && (bytes[last + 5] & 0x04) != 0;
}

} // namespace

class EngineFileWritten : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenLengthIsWhatDecodersGive_data();
    void writtenLengthIsWhatDecodersGive();
    void shorterThanOneFrame_data();
    void shorterThanOneFrame();
    void m4aStatesTheExactLength_data();
    void m4aStatesTheExactLength();

private:
    // Writes frames of a music signal and checks the file's length against WrittenLength.
    void writeAndCompare(const QString& format, int inRate, int inChannels, int outRate, int outChannels,
                         std::int64_t frames);
    QTemporaryDir m_dir;
};

void EngineFileWritten::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void EngineFileWritten::writeAndCompare(const QString& format, int inRate, int inChannels, int outRate,
                                        int outChannels, std::int64_t frames)
{
    AudioFile writer;
    selectOutput(writer, format, outRate, outChannels);
    const QString tag = QString(QTest::currentDataTag()).replace(QRegularExpression("[^A-Za-z0-9]"), "_");
    const QString path = m_dir.filePath(tag + "." + (format == "aac" ? "m4a" : format));
    std::vector<float> source = testaudio::musicSignal(inRate, inChannels, frames);
    for (float& s : source)
        s = s == 0.0f ? 0.25f : s; // even a single sample is not silence
    try {
        enginetest::writeAll(writer, path, source, inChannels, inRate);
    } catch (const EngineError& e) {
        // Refusing is allowed, with a reason that names the file.
        QVERIFY2(QString::fromUtf8(e.what()).contains(QFileInfo(path).fileName()), e.what());
        writer.Discard();
        return;
    }
    const sondrel::WrittenLength w = writer.WrittenLength();
    QCOMPARE(w.framesFed, frames);

    const testaudio::ProbeResult probe = testaudio::ffprobe(path);
    QVERIFY2(probe.ok, qPrintable(probe.error));
    QCOMPARE(w.outputRate, probe.sampleRate);
    // The source at the output's rate, and for wmav2 a frame of silence for its priming (its
    // frames have 2048 samples above 22.05 kHz, 1024 up to it). A source shorter than a frame
    // may be made up with some silence where a decoder would not read it right otherwise.
    const std::int64_t resampled = (frames * w.outputRate + inRate / 2) / inRate;
    const std::int64_t added = format == "wma" ? (w.outputRate > 22050 ? 2048 : 1024) : 0;
    const std::int64_t tolerance = inRate == w.outputRate ? 0 : 4;
    if (frames > 2048)
        QVERIFY2(std::abs(w.framesEncoded - added - resampled) <= tolerance,
                 qPrintable(QString("%1 encoded for %2 at the output's rate").arg(w.framesEncoded).arg(resampled)));
    else
        QVERIFY(w.framesEncoded >= resampled - tolerance && w.framesEncoded <= resampled + 2048);
    if (format == "opus")
        QVERIFY(endsWithEndOfStreamPage(path));

    const auto within = [&](std::int64_t n) { return n >= w.framesEncoded && n <= w.framesEncoded + w.slack; };
    const std::int64_t reference = referenceFrames(path, format);
    QVERIFY2(within(reference), qPrintable(QString("another decoder gives %1 for %2 encoded (+%3)")
                                               .arg(reference).arg(w.framesEncoded).arg(w.slack)));
    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.rate, w.outputRate);
    QVERIFY2(within(d.frames()), qPrintable(QString("the engine reads %1 for %2 encoded (+%3)")
                                                .arg(d.frames()).arg(w.framesEncoded).arg(w.slack)));
    QCOMPARE(d.frames(), d.sampleCount);
}

void EngineFileWritten::writtenLengthIsWhatDecodersGive_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("inRate");
    QTest::addColumn<int>("inChannels");
    QTest::addColumn<int>("outRate");     // 0: the input's
    QTest::addColumn<int>("outChannels"); // 0: the input's
    const struct { const char* format; int inRate, inChannels, outRate, outChannels; } rows[] = {
        {"wav", 44100, 2, 0, 0},    {"wav", 44100, 2, 22050, 1}, {"mp3", 44100, 2, 0, 0},
        {"mp3", 32000, 1, 48000, 2}, {"wma", 44100, 2, 0, 0},    {"wma", 48000, 2, 22050, 1},
        {"ogg", 44100, 2, 0, 0},    {"ogg", 48000, 1, 22050, 2}, {"flac", 44100, 2, 0, 0},
        {"flac", 96000, 2, 44100, 1}, {"opus", 48000, 2, 0, 0},  {"opus", 44100, 1, 0, 2},
        {"opus", 22050, 1, 0, 0},
        {"aac", 44100, 2, 0, 0},    {"aac", 22050, 2, 32000, 1},
    };
    for (const auto& r : rows)
        QTest::newRow(qPrintable(QString("%1 %2/%3 to %4/%5").arg(r.format).arg(r.inRate).arg(r.inChannels)
                                     .arg(r.outRate).arg(r.outChannels)))
            << r.format << r.inRate << r.inChannels << r.outRate << r.outChannels;
}

// For every format, with and without rate and channel changes: a decoder gives what the
// writer says it encoded, give or take what the format's container cannot mark.
void EngineFileWritten::writtenLengthIsWhatDecodersGive()
{
    QFETCH(QString, format);
    QFETCH(int, inRate);
    QFETCH(int, inChannels);
    QFETCH(int, outRate);
    QFETCH(int, outChannels);
    writeAndCompare(format, inRate, inChannels, outRate, outChannels, std::int64_t(inRate) * 13 / 10 + 7);
}

void EngineFileWritten::shorterThanOneFrame_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("inRate");
    QTest::addColumn<int>("outRate"); // 0: the input's
    const struct { int in, out; } rates[] = {{44100, 0}, {48000, 0}, {44100, 22050}};
    for (const char* format : {"mp3", "wav", "wma", "ogg", "flac", "opus", "aac"})
        for (int frames : {1, 4})
            for (const auto& r : rates)
                QTest::newRow(qPrintable(QString("%1, %2 samples at %3 to %4").arg(format).arg(frames).arg(r.in)
                                             .arg(r.out)))
                    << QString(format) << frames << r.in << r.out;
}

// A source of a sample or four still makes a complete file of every format (Opus with the
// page that ends its stream), whose length decoders agree with.
void EngineFileWritten::shorterThanOneFrame()
{
    QFETCH(QString, format);
    QFETCH(int, frames);
    QFETCH(int, inRate);
    QFETCH(int, outRate);
    writeAndCompare(format, inRate, 2, outRate, 0, frames);
}

void EngineFileWritten::m4aStatesTheExactLength_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("frames");
    for (qint64 frames : {1, 1023, 1024, 1025, 321930, 2646000})
        QTest::newRow(qPrintable(QString("%1 at 44100").arg(frames))) << 44100 << frames;
    QTest::newRow("1.3 s at 48000") << 48000 << qint64(62407);
    QTest::newRow("1.3 s at 22050") << 22050 << qint64(28672);
    QTest::newRow("1 at 22050") << 22050 << qint64(1);
}

// An M4A file marks the encoder's delay and the padding of its last frame, by its edit list
// and by the iTunSMPB tag: it decodes to exactly the samples it was given, by ffprobe's
// reading of the edit list and by the engine's count and decode.
void EngineFileWritten::m4aStatesTheExactLength()
{
    QFETCH(int, rate);
    QFETCH(qint64, frames);
    AudioFile writer;
    writer.SetAacOutput(0, 0, 128);
    const QString path = m_dir.filePath(QString("exact-%1-%2.m4a").arg(rate).arg(frames));
    std::vector<float> source = testaudio::musicSignal(rate, 2, frames);
    for (float& s : source)
        s = s == 0.0f ? 0.25f : s;
    enginetest::writeAll(writer, path, source, 2, rate);
    const sondrel::WrittenLength w = writer.WrittenLength();
    QCOMPARE(w.framesEncoded, frames);
    QCOMPARE(w.slack, 0);

    const ProbedTrack track = probeTrack(path);
    QCOMPARE(track.timeBase, QString("1/%1").arg(rate));
    QCOMPARE(track.length, frames);

    // iTunSMPB: delay, padding and length in hexadecimal, the three filling the packets.
    const testaudio::ProbeResult probe = testaudio::ffprobe(path);
    QVERIFY2(probe.ok, qPrintable(probe.error));
    const QStringList smpb = probe.tags.value("itunsmpb").toString().split(' ', Qt::SkipEmptyParts);
    QCOMPARE(smpb.size(), 12);
    QCOMPARE(smpb[0], QString("00000000"));
    const qint64 delay = smpb[1].toLongLong(nullptr, 16), padding = smpb[2].toLongLong(nullptr, 16);
    QCOMPARE(smpb[3].size(), 16);
    QCOMPARE(smpb[3].toLongLong(nullptr, 16), frames);
    QCOMPARE(delay, 1024);
    QCOMPARE(delay + frames + padding, track.packets * 1024);

    // The engine counts and decodes exactly that; ffmpeg's decoder (which in some versions
    // keeps the padding of the last frame) gives the same samples from the same start.
    const enginetest::Decoded d = enginetest::readAll(path);
    QCOMPARE(d.rate, rate);
    QCOMPARE(d.method, QString("aac frames"));
    QCOMPARE(d.sampleCount, frames);
    QCOMPARE(d.frames(), frames);
    int refRate = 0, refChannels = 0;
    const std::vector<float> reference = testaudio::ffmpegDecode(path, &refRate, &refChannels);
    QCOMPARE(refChannels, 2);
    QVERIFY(qint64(reference.size()) / 2 >= frames);
    QVERIFY(std::equal(d.samples.begin(), d.samples.end(), reference.begin(),
                       [](float a, float b) { return std::abs(a - b) < 1e-4f; }));
}

QTEST_GUILESS_MAIN(EngineFileWritten)
#include "tst_engine_file_written.moc"
