// Writing through AudioFile and reading back: a music-like signal goes out in each format and
// setting, and comes back (through the engine and through the ffmpeg command as an independent
// judge) at the rate and channel count asked, with the source's length and alignment, and
// recognisably the same signal.
#include "EngineError.h"
#include "EngineFileSupport.h"
#include "WmaProfiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using sondrel::AudioFile;
using sondrel::EngineError;
using sondrel::LameEncSettings;

namespace {

// The source as the output should carry it. Same rate: computed (mono copied to both sides,
// stereo averaged to mono). Other rate: made by sox, an independent resampler.
std::vector<float> expectedSignal(const QString& dir, const std::vector<float>& source, int inRate, int inChannels,
                                  int outRate, int outChannels)
{
    if (inRate != outRate) {
        const QString in = dir + "/sox-in.wav", out = dir + "/sox-out.wav";
        if (!testaudio::writeWav(in, source, inRate, inChannels, -32))
            return {};
        int code = -1;
        testaudio::runTool("sox", {in, "-e", "floating-point", "-b", "32", out, "rate", "-v", QString::number(outRate),
                                   "channels", QString::number(outChannels)}, 60000, &code);
        return code == 0 ? testaudio::ffmpegDecode(out) : std::vector<float>{};
    }
    if (inChannels == outChannels)
        return source;
    const std::size_t frames = source.size() / std::size_t(inChannels);
    std::vector<float> out(frames * std::size_t(outChannels));
    for (std::size_t i = 0; i < frames; ++i) {
        if (inChannels == 1) {
            for (int c = 0; c < outChannels; ++c)
                out[i * std::size_t(outChannels) + std::size_t(c)] = source[i];
        } else {
            out[i] = 0.5f * (source[i * 2] + source[i * 2 + 1]);
        }
    }
    return out;
}

// Samples per channel of a file as another decoder writes it out (a WAV it made), by ffprobe.
std::int64_t wavFrames(const QString& wav)
{
    return testaudio::runTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                          "stream=duration_ts", "-of", "csv=p=0", wav}).trimmed().toLongLong();
}

LameEncSettings lame(int rate, int channels, int kbps, int quality, bool vbr = false, int vbrQuality = 4,
                     int vbrMax = 320)
{
    LameEncSettings s;
    s.Frequency = rate;
    s.Channels = channels;
    s.Bitrate = kbps;
    s.Quality = quality;
    s.VbrDisabled = !vbr;
    s.VbrQuality = vbrQuality;
    s.VbrBitrate = vbrMax;
    return s;
}

} // namespace

class EngineFileRoundTrip : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void everyWmaProfileMakesAPlayableFile();
    void wmaBitRateIsNotInflatedByTheContainer();
    void oggQualityScaleRunsFromBestToLowest();
    void tinyChunksWriteTheSameAudio();
    void closingWithoutSamplesLeavesAPlayableFile();
    void selectionStaysForLaterFilesAndInputMayComeFirst();
    void misuseOfTheWriterIsReported();

private:
    QTemporaryDir m_dir;
};

void EngineFileRoundTrip::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void EngineFileRoundTrip::roundTrip_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("inRate");
    QTest::addColumn<int>("inChannels");
    QTest::addColumn<QVariantList>("settings");
    QTest::addColumn<int>("outRate");
    QTest::addColumn<int>("outChannels");
    QTest::addColumn<double>("minCorrelation"); // each channel, at lag 0, over the source's length
    QTest::addColumn<double>("minSnr");         // dB, or 0 for none

    auto v = [](auto... xs) { return QVariantList{QVariant::fromValue(xs)...}; };
    // WAV: lossless at the same rate; the float signal comes back with the triangular dither
    // of its reduction to 16 or 8 bits, half a step of noise (RMS).
    QTest::newRow("wav 44.1k stereo 16-bit") << "wav" << 44100 << 2 << v(44100, 2, 16) << 44100 << 2 << 0.9999 << 75.0;
    QTest::newRow("wav follows input 32k mono") << "wav" << 32000 << 1 << v(0, 0, 16) << 32000 << 1 << 0.9999 << 75.0;
    QTest::newRow("wav 8-bit 22.05k stereo") << "wav" << 22050 << 2 << v(22050, 2, 8) << 22050 << 2 << 0.999 << 30.0;
    QTest::newRow("wav stereo to mono") << "wav" << 22050 << 2 << v(22050, 1, 16) << 22050 << 1 << 0.9999 << 75.0;
    QTest::newRow("wav mono to stereo") << "wav" << 22050 << 1 << v(22050, 2, 16) << 22050 << 2 << 0.9999 << 75.0;
    QTest::newRow("wav 8k mono 8-bit from 44.1k stereo") << "wav" << 44100 << 2 << v(8000, 1, 8) << 8000 << 1 << 0.999 << 0.0;
    QTest::newRow("wav 48k stereo from 44.1k mono") << "wav" << 44100 << 1 << v(48000, 2, 16) << 48000 << 2 << 0.999 << 0.0;
    QTest::newRow("wav follows input 12k stereo") << "wav" << 12000 << 2 << v(12000, 0, 16) << 12000 << 2 << 0.9999 << 75.0;
    // MP3 through LAME: gapless, so exactly the source's length.
    QTest::newRow("mp3 cbr 128 44.1k stereo q2") << "mp3" << 44100 << 2 << v(44100, 2, 128, 2) << 44100 << 2 << 0.99 << 0.0;
    QTest::newRow("mp3 cbr 320 48k stereo q0") << "mp3" << 48000 << 2 << v(48000, 2, 320, 0) << 48000 << 2 << 0.99 << 0.0;
    QTest::newRow("mp3 cbr 64 22.05k mono from 44.1k stereo") << "mp3" << 44100 << 2 << v(22050, 1, 64, 5) << 22050 << 1 << 0.99 << 0.0;
    QTest::newRow("mp3 cbr 32 8k mono") << "mp3" << 8000 << 1 << v(8000, 1, 32, 9) << 8000 << 1 << 0.99 << 0.0;
    QTest::newRow("mp3 cbr 8 8k mono") << "mp3" << 8000 << 1 << v(8000, 1, 8, 9) << 8000 << 1 << 0.98 << 0.0;
    QTest::newRow("mp3 vbr V2 max 256 44.1k stereo") << "mp3" << 44100 << 2 << v(44100, 2, 128, 5, true, 2, 256) << 44100 << 2 << 0.99 << 0.0;
    QTest::newRow("mp3 vbr V0 max 320 32k stereo") << "mp3" << 32000 << 2 << v(32000, 2, 128, 3, true, 0, 320) << 32000 << 2 << 0.99 << 0.0;
    QTest::newRow("mp3 vbr V9 max 64 16k mono") << "mp3" << 16000 << 1 << v(16000, 1, 64, 7, true, 9, 64) << 16000 << 1 << 0.98 << 0.0;
    QTest::newRow("mp3 vbr V4 max 160 24k stereo from 48k") << "mp3" << 48000 << 2 << v(24000, 2, 128, 5, true, 4, 160) << 24000 << 2 << 0.99 << 0.0;
    // OGG: the last granule position carries the exact length.
    QTest::newRow("ogg managed 128 (96..160) 44.1k stereo") << "ogg" << 44100 << 2 << v(44100, 2, 128, 160, 96, -1) << 44100 << 2 << 0.99 << 0.0;
    QTest::newRow("ogg managed 16 8k mono") << "ogg" << 8000 << 1 << v(8000, 1, 16, 16, 16, -1) << 8000 << 1 << 0.99 << 0.0;
    QTest::newRow("ogg managed 64 22.05k stereo from 44.1k") << "ogg" << 44100 << 2 << v(22050, 2, 64, 80, 48, -1) << 22050 << 2 << 0.99 << 0.0;
    QTest::newRow("ogg quality 0 (best) 48k stereo") << "ogg" << 48000 << 2 << v(48000, 2, 0, 0, 0, 0) << 48000 << 2 << 0.99 << 0.0;
    QTest::newRow("ogg quality 1000 (lowest) 22.05k mono") << "ogg" << 22050 << 1 << v(22050, 1, 0, 0, 0, 1000) << 22050 << 1 << 0.98 << 0.0;
    QTest::newRow("ogg quality 500 follows input 11.025k") << "ogg" << 11025 << 1 << v(0, 0, 0, 0, 0, 500) << 11025 << 1 << 0.99 << 0.0;
    // WMA: no shift at the start; the end is rounded up to whole frames (see below).
    QTest::newRow("wma 1: 48k 192 stereo") << "wma" << 48000 << 2 << v(1) << 48000 << 2 << 0.99 << 0.0;
    QTest::newRow("wma 6: 44.1k 320 stereo") << "wma" << 44100 << 2 << v(6) << 44100 << 2 << 0.99 << 0.0;
    QTest::newRow("wma 10: 44.1k 128 stereo") << "wma" << 44100 << 2 << v(10) << 44100 << 2 << 0.99 << 0.0;
    QTest::newRow("wma 17: 44.1k 32 mono from stereo") << "wma" << 44100 << 2 << v(17) << 44100 << 1 << 0.99 << 0.0;
    QTest::newRow("wma 24: 32k 22 stereo") << "wma" << 32000 << 2 << v(24) << 32000 << 2 << 0.99 << 0.0;
    QTest::newRow("wma 27: 22.05k 16 mono from 44.1k") << "wma" << 44100 << 1 << v(27) << 22050 << 1 << 0.99 << 0.0;
    QTest::newRow("wma 33: 11.025k 10 mono") << "wma" << 11025 << 1 << v(33) << 11025 << 1 << 0.99 << 0.0;
    QTest::newRow("wma 35: 8k 12 stereo") << "wma" << 8000 << 2 << v(35) << 8000 << 2 << 0.99 << 0.0;
    QTest::newRow("wma 38: 8k 5 mono from 44.1k stereo") << "wma" << 44100 << 2 << v(38) << 8000 << 1 << 0.99 << 0.0;
    QTest::newRow("wma 47: lossless profile") << "wma" << 44100 << 2 << v(47) << 44100 << 2 << 0.99 << 0.0;
}

void EngineFileRoundTrip::roundTrip()
{
    QFETCH(QString, format);
    QFETCH(int, inRate);
    QFETCH(int, inChannels);
    QFETCH(QVariantList, settings);
    QFETCH(int, outRate);
    QFETCH(int, outChannels);
    QFETCH(double, minCorrelation);
    QFETCH(double, minSnr);

    const double seconds = 2.3; // not a whole number of codec frames at any rate
    const std::vector<float> source = testaudio::musicSignal(inRate, inChannels, std::llround(seconds * inRate));
    const std::int64_t outFrames = std::llround(seconds * outRate);
    const auto at = [&](int i) { return settings.at(i).toInt(); };

    AudioFile writer;
    if (format == "wav")
        writer.SetWavOutput(at(0), at(1), at(2));
    else if (format == "mp3")
        writer.SetMp3Encoder(settings.size() > 4 ? lame(at(0), at(1), at(2), at(3), true, at(5), at(6))
                                                 : lame(at(0), at(1), at(2), at(3)));
    else if (format == "ogg")
        writer.SetOggOutput(at(0), at(1), at(2), at(3), at(4), std::int16_t(at(5)));
    else
        writer.SetWmaOutput(at(0));
    const QString path = m_dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_').replace(':', '_') + "." + format);
    enginetest::writeAll(writer, path, source, inChannels, inRate);
    QVERIFY(!writer.IsOpen());

    // The independent judges: ffprobe for the stream, and a decode by the ffmpeg command.
    const testaudio::ProbeResult probe = testaudio::ffprobe(path);
    QVERIFY2(probe.ok, qPrintable(probe.error));
    const QString codec = format == "wav" ? (at(2) == 8 ? "pcm_u8" : "pcm_s16le")
                          : format == "mp3" ? "mp3" : format == "ogg" ? "vorbis" : "wmav2";
    QCOMPARE(probe.codecName, codec);
    QCOMPARE(probe.sampleRate, outRate);
    QCOMPARE(probe.channels, outChannels);
    int oracleRate = 0, oracleChannels = 0;
    const std::vector<float> oracle = testaudio::ffmpegDecode(path, &oracleRate, &oracleChannels);
    QVERIFY(!oracle.empty());
    const std::int64_t oracleFrames = std::int64_t(oracle.size()) / oracleChannels;

    const enginetest::Decoded decoded = enginetest::readAll(path);
    QCOMPARE(decoded.rate, outRate);
    QCOMPARE(decoded.channels, outChannels);
    QCOMPARE(decoded.frames(), decoded.sampleCount);
    QCOMPARE(decoded.correction, std::int64_t(0));

    // Length: exact, except WMA, whose container cannot mark the end: it carries the last
    // partial frame completed with silence plus one frame of silence (2048 samples per
    // frame at 32 kHz and above, less below), so less than two frames more.
    if (format == "wma") {
        QVERIFY2(decoded.frames() >= outFrames && decoded.frames() < outFrames + 2 * 2048,
                 qPrintable(QString("%1 frames for %2").arg(decoded.frames()).arg(outFrames)));
    } else if (outRate != inRate) {
        QVERIFY2(std::abs(decoded.frames() - outFrames) <= 1,
                 qPrintable(QString("%1 frames for %2").arg(decoded.frames()).arg(outFrames)));
    } else {
        QCOMPARE(decoded.frames(), outFrames);
    }

    // Other decoders agree on the length. For OGG the reference decoder (oggdec, through
    // libvorbisfile) trims to the last granule position exactly; libavcodec sometimes keeps
    // the last block's padding, so the ffmpeg command may give a little more.
    if (format == "ogg") {
        const QString wav = path + ".oggdec.wav";
        int code = -1;
        testaudio::runTool("oggdec", {"-Q", "-o", wav, path}, 60000, &code);
        QCOMPARE(code, 0);
        QCOMPARE(wavFrames(wav), decoded.frames());
        QVERIFY(oracleFrames >= decoded.frames() && oracleFrames < decoded.frames() + 8192);
    } else {
        QCOMPARE(oracleFrames, decoded.frames());
    }
    if (format == "mp3") {
        // LAME's own decoder reads the gapless tag too.
        const QString wav = path + ".lame.wav";
        int code = -1;
        testaudio::runTool("lame", {"--quiet", "--decode", path, wav}, 60000, &code);
        QCOMPARE(code, 0);
        QCOMPARE(wavFrames(wav), decoded.frames());
    }

    // The engine decodes what ffmpeg decodes.
    double maxDiff = 0;
    const std::size_t common = std::min(oracle.size(), decoded.samples.size());
    for (std::size_t i = 0; i < common; ++i)
        maxDiff = std::max(maxDiff, double(std::abs(oracle[i] - decoded.samples[i])));
    QVERIFY2(maxDiff < 1e-5, qPrintable(QString("engine and ffmpeg differ by %1").arg(maxDiff)));

    // The same signal, not shifted.
    const std::vector<float> expected = expectedSignal(m_dir.path(), source, inRate, inChannels, outRate, outChannels);
    QVERIFY(!expected.empty());
    for (int c = 0; c < outChannels; ++c) {
        const std::vector<float> ref = testaudio::channel(expected, outChannels, c);
        const std::vector<float> got = enginetest::head(testaudio::channel(decoded.samples, outChannels, c), ref.size());
        QCOMPARE(enginetest::bestLag(ref, got, 64), 0L);
        const double corr = testaudio::correlation(ref, got);
        qInfo("%s: %lld frames, channel %d correlation %.4f", QTest::currentDataTag(),
              static_cast<long long>(decoded.frames()), c, corr);
        QVERIFY2(corr >= minCorrelation, qPrintable(QString("channel %1: correlation %2").arg(c).arg(corr)));
    }
    if (minSnr > 0) {
        const double snr = testaudio::snrDb(expected, enginetest::head(decoded.samples, expected.size()));
        QVERIFY2(snr >= minSnr, qPrintable(QString("SNR %1 dB").arg(snr)));
    }
}

void EngineFileRoundTrip::everyWmaProfileMakesAPlayableFile()
{
    const std::vector<float> source = testaudio::musicSignal(44100, 2, 22050);
    for (int number = 1; number <= sondrel::kWmaProfileCount; ++number) {
        const sondrel::WmaProfile* p = sondrel::wmaProfile(number);
        QVERIFY(p);
        AudioFile writer;
        writer.SetWmaOutput(number);
        const QString path = m_dir.filePath(QString("profile-%1.wma").arg(number));
        enginetest::writeAll(writer, path, source, 2, 44100);
        const testaudio::ProbeResult probe = testaudio::ffprobe(path);
        QVERIFY2(probe.ok, qPrintable(QString("profile %1: %2").arg(number).arg(probe.error)));
        QCOMPARE(probe.formatName, QString("asf"));
        QCOMPARE(probe.codecName, QString("wmav2"));
        QCOMPARE(probe.sampleRate, p->sampleRate);
        QCOMPARE(probe.channels, p->channels);
        const enginetest::Decoded d = enginetest::readAll(path);
        QVERIFY2(d.frames() >= p->sampleRate / 2, qPrintable(QString("profile %1: %2 frames").arg(number).arg(d.frames())));
        // The table's documented mapping: as named where the encoder can, else the nearest.
        if (p->namedKbps >= sondrel::kWmav2MinKbps)
            QCOMPARE(p->kbps, p->namedKbps);
        else if (p->namedKbps > 0)
            QCOMPARE(p->kbps, sondrel::kWmav2MinKbps);
    }
}

void EngineFileRoundTrip::wmaBitRateIsNotInflatedByTheContainer()
{
    const double seconds = 20;
    const std::vector<float> source = testaudio::musicSignal(44100, 2, std::llround(seconds * 44100));
    for (int number : {6, 10}) {
        AudioFile writer;
        writer.SetWmaOutput(number);
        const QString path = m_dir.filePath(QString("rate-%1.wma").arg(number));
        enginetest::writeAll(writer, path, source, 2, 44100);
        const double kbps = QFileInfo(path).size() * 8 / seconds / 1000;
        const int asked = sondrel::wmaProfile(number)->kbps;
        // Headers, packet framing and the last packet's padding cost a few per cent; the
        // muxer's default packet size would have made 320 kbps into about 550.
        QVERIFY2(kbps < asked * 1.08 && kbps > asked * 0.9, qPrintable(QString("%1 kbps for %2").arg(kbps).arg(asked)));
    }
}

void EngineFileRoundTrip::oggQualityScaleRunsFromBestToLowest()
{
    const std::vector<float> source = testaudio::musicSignal(44100, 2, 5 * 44100);
    qint64 previous = std::numeric_limits<qint64>::max();
    for (int quality : {0, 250, 500, 750, 1000}) {
        AudioFile writer;
        writer.SetOggOutput(44100, 2, 128, 128, 128, std::int16_t(quality));
        const QString path = m_dir.filePath(QString("q%1.ogg").arg(quality));
        enginetest::writeAll(writer, path, source, 2, 44100);
        const qint64 size = QFileInfo(path).size();
        QVERIFY2(size < previous, qPrintable(QString("quality %1: %2 bytes").arg(quality).arg(size)));
        previous = size;
        QCOMPARE(enginetest::readAll(path).frames(), std::int64_t(5 * 44100));
    }
}

// The writer's buffering must not depend on how the samples arrive: a few at a time, with
// resampling (whose filter holds some back), gives what one-second chunks give.
void EngineFileRoundTrip::tinyChunksWriteTheSameAudio()
{
    const std::vector<float> source = testaudio::musicSignal(44100, 2, 30000);
    const struct { const char* name; int kind; } outputs[] = {{"wav", 0}, {"mp3", 1}, {"ogg", 2}, {"wma", 3}};
    for (const auto& o : outputs) {
        std::vector<float> decoded[2];
        for (int way = 0; way < 2; ++way) {
            AudioFile writer;
            switch (o.kind) {
            case 0: writer.SetWavOutput(22050, 1, 16); break;
            case 1: writer.SetMp3Encoder(lame(22050, 1, 64, 5)); break;
            case 2: writer.SetOggOutput(22050, 1, 48, 64, 32, -1); break;
            default: writer.SetWmaOutput(26); break;
            }
            const QString path = m_dir.filePath(QString("chunks-%1.%2").arg(way).arg(o.name));
            if (way == 0) {
                enginetest::writeAll(writer, path, source, 2, 44100);
            } else {
                writer.OpenWrite(path, 0);
                writer.SetInputFormat(2, 44100);
                for (std::size_t i = 0; i < source.size(); i += 14)
                    writer.WriteSamples(sondrel::SampleArray(source.begin() + std::ptrdiff_t(i),
                                                             source.begin() + std::ptrdiff_t(std::min(source.size(), i + 14))));
                writer.Close();
            }
            decoded[way] = enginetest::readAll(path).samples;
        }
        QVERIFY2(decoded[0].size() == decoded[1].size(), o.name);
        qInfo("%s: %.1f dB", o.name, testaudio::snrDb(decoded[0], decoded[1]));
        QVERIFY2(testaudio::snrDb(decoded[0], decoded[1]) > 100, o.name);
    }
}

void EngineFileRoundTrip::closingWithoutSamplesLeavesAPlayableFile()
{
    const struct { const char* name; int kind; } outputs[] = {{"wav", 0}, {"mp3", 1}, {"ogg", 2}, {"wma", 3},
                                                              {"flac", 4}, {"opus", 5}, {"m4a", 6}};
    for (const auto& o : outputs) {
        for (bool withInput : {true, false}) {
            AudioFile writer;
            switch (o.kind) {
            case 0: writer.SetWavOutput(0, 0, 16); break;
            case 1: writer.SetMp3Encoder(lame(44100, 2, 128, 5)); break;
            case 2: writer.SetOggOutput(44100, 2, 128, 160, 96, -1); break;
            case 3: writer.SetWmaOutput(10); break;
            case 4: writer.SetFlacOutput(0, 0, 0, 5); break;
            case 5: writer.SetOpusOutput(0, 64, sondrel::OpusRateControl::Vbr); break;
            default: writer.SetAacOutput(0, 0, 128); break;
            }
            const QString path = m_dir.filePath(QString("empty-%1-%2.%1").arg(o.name).arg(withInput));
            writer.OpenWrite(path, 0);
            QVERIFY(writer.IsOpen());
            if (withInput)
                writer.SetInputFormat(1, 22050);
            writer.Close();
            QVERIFY(!writer.IsOpen());
            const testaudio::ProbeResult probe = testaudio::ffprobe(path);
            QVERIFY2(probe.ok, qPrintable(QString("%1: %2").arg(path, probe.error)));
            // Silence added to make a file of a format that needs a packet is told.
            const sondrel::WrittenLength w = writer.WrittenLength();
            QCOMPARE(w.framesFed, std::int64_t(0));
            int channels = 0;
            const std::vector<float> decoded = testaudio::ffmpegDecode(path, nullptr, &channels);
            const std::int64_t frames = std::int64_t(decoded.size()) / std::max(channels, 1);
            QVERIFY2(frames >= w.framesEncoded && frames <= w.framesEncoded + w.slack,
                     qPrintable(QString("%1: %2 frames for %3 (+%4)")
                                    .arg(path).arg(frames).arg(w.framesEncoded).arg(w.slack)));
        }
    }
}

void EngineFileRoundTrip::selectionStaysForLaterFilesAndInputMayComeFirst()
{
    AudioFile writer;
    writer.SetOggOutput(22050, 1, 48, 64, 32, -1);
    const std::vector<float> source = testaudio::musicSignal(22050, 1, 22050);
    for (int i = 0; i < 2; ++i) {
        const QString path = m_dir.filePath(QString("again-%1.ogg").arg(i));
        if (i == 1) {
            writer.SetInputFormat(1, 22050); // before OpenWrite: kept for it
            writer.OpenWrite(path, 0);
            writer.WriteSamples(source);
            writer.Close();
        } else {
            enginetest::writeAll(writer, path, source, 1, 22050);
        }
        QCOMPARE(testaudio::ffprobe(path).codecName, QString("vorbis"));
        QCOMPARE(enginetest::readAll(path).frames(), std::int64_t(22050));
    }
}

void EngineFileRoundTrip::misuseOfTheWriterIsReported()
{
    AudioFile writer;
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.WriteSamples({0.0f, 0.0f}));
    writer.SetWavOutput(8000, 1, 16);
    const QString path = m_dir.filePath("misuse.wav");
    writer.OpenWrite(path, 0);
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.WriteSamples({0.0f})); // no input format yet
    writer.SetInputFormat(2, 8000);
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.WriteSamples({0.0f, 0.1f, 0.2f})); // half a frame
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.SetInputFormat(1, 8000));           // changes mid-file
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.OpenWrite(path, 0));                // already open
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.OpenRead(path, 0, 1));
    QVERIFY_THROWS_EXCEPTION(EngineError, writer.ReadSamples(100));
    writer.WriteSamples({0.5f, -0.5f, 0.25f, -0.25f});
    writer.Close();
    writer.Close();
    QCOMPARE(enginetest::readAll(path).frames(), std::int64_t(2));
}

QTEST_GUILESS_MAIN(EngineFileRoundTrip)
#include "tst_engine_file_roundtrip.moc"
