// What conversion does to the samples themselves: rate changes without aliasing, dithered
// reductions of depth, bit-exact copies where nothing changes, and FLAC's MD5 of its audio.
// Sources are made and outputs decoded by the ffmpeg command; the spectra are measured here.
#include "EngineFileSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

using sondrel::AudioFile;

namespace {

// Reads source through the engine and writes it to target with writer's output, as a job does
// (the source's bits handed on).
void convert(const QString& source, AudioFile& writer, const QString& target)
{
    AudioFile reader;
    reader.OpenRead(source);
    writer.OpenWrite(target);
    writer.SetInputFormat(reader.ChannelCount(), reader.SampleRate(), reader.SourceBits());
    const int chunk = reader.SampleRate() / 10 * reader.ChannelCount();
    for (auto s = reader.ReadSamples(chunk); !s.empty(); s = reader.ReadSamples(chunk))
        writer.WriteSamples(s);
    reader.Close();
    writer.Close();
}

// A mono WAV of `expression` (ffmpeg's aevalsrc) with the given codec.
bool makeSource(const QString& path, const QString& expression, int rate, double seconds, const QString& codec)
{
    return enginetest::ffmpeg({"-f", "lavfi", "-i",
                               QString("aevalsrc=%1:s=%2:d=%3").arg(expression).arg(rate).arg(seconds), "-c:a",
                               codec, path});
}

void fft(std::vector<std::complex<double>>& a)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * std::numbers::pi / double(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (std::size_t k = 0; k < len / 2; ++k, wk *= w) {
                const auto u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Power spectrum of a mono signal in dB of full scale (a full-scale sine reads 0 dB at its
// bin): Hann windows of n samples, overlapping by half and averaged, after the first 0.1 s.
std::vector<double> spectrumDb(const std::vector<float>& x, int rate, std::size_t n)
{
    std::vector<double> power(n / 2, 0.0);
    int segments = 0;
    for (std::size_t at = std::size_t(rate / 10); at + n <= x.size(); at += n / 2, ++segments) {
        std::vector<std::complex<double>> a(n);
        for (std::size_t i = 0; i < n; ++i)
            a[i] = x[at + i] * 0.5 * (1 - std::cos(2 * std::numbers::pi * double(i) / double(n)));
        fft(a);
        for (std::size_t i = 0; i < n / 2; ++i)
            power[i] += std::norm(a[i] * (4.0 / double(n)));
    }
    for (double& p : power)
        p = 10 * std::log10(std::max(p / std::max(segments, 1), 1e-30));
    return power;
}

// The bins within 3 of frequency: the strongest, or (tone) the level of a sine there, from
// the power of the window's main lobe wherever it falls between bins.
double levelAt(const std::vector<double>& db, int rate, double frequency, bool tone = true)
{
    const double n = double(db.size()) * 2;
    const long centre = std::lround(frequency * n / rate);
    double best = -300, power = 0;
    for (long i = std::max(0L, centre - 3); i <= centre + 3 && i < long(db.size()); ++i) {
        best = std::max(best, db[std::size_t(i)]);
        power += std::pow(10.0, db[std::size_t(i)] / 10);
    }
    // A Hann window spreads a sine over 1.5 bins of power.
    return tone ? 10 * std::log10(std::max(power / 1.5, 1e-30)) : best;
}

// The median bin from 200 Hz to 15 kHz: the noise floor beside a few tones.
double floorDb(std::vector<double> db, int rate)
{
    const double n = double(db.size()) * 2;
    std::vector<double> band(db.begin() + std::lround(200 * n / rate), db.begin() + std::lround(15000 * n / rate));
    std::nth_element(band.begin(), band.begin() + band.size() / 2, band.end());
    return band[band.size() / 2];
}

QByteArray rawPcm(const QString& path, const QString& format)
{
    int code = -1;
    const QByteArray raw = testaudio::runTool("ffmpeg", {"-v", "error", "-i", path, "-f", format, "-"}, 60000, &code);
    return code == 0 ? raw : QByteArray();
}

// The MD5 of the audio a FLAC file's STREAMINFO states (its first metadata block).
QByteArray streamInfoMd5(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(42);
    if (head.size() < 42 || !head.startsWith("fLaC") || (head[4] & 0x7f) != 0)
        return {};
    return head.mid(26, 16);
}

} // namespace

class EngineFileFidelity : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void rateChangeLeavesNoAlias_data();
    void rateChangeLeavesNoAlias();
    void reducedDepthIsDithered_data();
    void reducedDepthIsDithered();
    void unchangedAudioIsCopiedExactly_data();
    void unchangedAudioIsCopiedExactly();
    void flacStatesMd5OfItsAudio_data();
    void flacStatesMd5OfItsAudio();

private:
    QString path(const QString& what) const
    {
        return m_dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + what);
    }
    QTemporaryDir m_dir;
};

void EngineFileFidelity::rateChangeLeavesNoAlias_data()
{
    QTest::addColumn<int>("inRate");
    QTest::addColumn<int>("tone");
    QTest::addColumn<int>("outRate");
    QTest::addColumn<int>("probed"); // where the output is measured
    QTest::addColumn<double>("lowestDb");
    QTest::addColumn<double>("highestDb");
    // A tone of -6 dBFS above the new Nyquist frequency must not fold back into the output;
    // one below it must come through at its level.
    QTest::newRow("96k to 44.1k, 23 kHz folded") << 96000 << 23000 << 44100 << 21100 << -300.0 << -100.0;
    QTest::newRow("48k to 44.1k, 22.5 kHz folded") << 48000 << 22500 << 44100 << 21600 << -300.0 << -100.0;
    QTest::newRow("96k to 44.1k, 1 kHz kept") << 96000 << 1000 << 44100 << 1000 << -6.1 << -5.9;
    QTest::newRow("96k to 44.1k, 19 kHz kept") << 96000 << 19000 << 44100 << 19000 << -6.1 << -5.9;
    QTest::newRow("44.1k to 48k, 18 kHz kept") << 44100 << 18000 << 48000 << 18000 << -6.1 << -5.9;
    // Its image at 44.1 - 18 = 26.1 kHz would fold to 21.9 kHz at 48 kHz.
    QTest::newRow("44.1k to 48k, no image") << 44100 << 18000 << 48000 << 21900 << -300.0 << -100.0;
}

void EngineFileFidelity::rateChangeLeavesNoAlias()
{
    QFETCH(int, inRate);
    QFETCH(int, tone);
    QFETCH(int, outRate);
    QFETCH(int, probed);
    QFETCH(double, lowestDb);
    QFETCH(double, highestDb);
    const QString source = path(".src.wav"), target = path(".wav");
    QVERIFY(makeSource(source, QString("0.5*sin(2*PI*%1*t)").arg(tone), inRate, 2.0, "pcm_s24le"));
    AudioFile writer;
    writer.SetWavOutput(outRate, 0, 24);
    convert(source, writer, target);

    int rate = 0;
    const std::vector<float> out = testaudio::ffmpegDecode(target, &rate);
    QCOMPARE(rate, outRate);
    const double level = levelAt(spectrumDb(out, rate, 32768), rate, probed);
    qInfo("%d Hz at %d Hz: %.1f dBFS at %d Hz", tone, inRate, level, probed);
    QVERIFY2(level >= lowestDb && level <= highestDb, qPrintable(QString::number(level)));
}

void EngineFileFidelity::reducedDepthIsDithered_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<double>("toneDb");
    QTest::addColumn<int>("bits");
    // A tone near one step of the output: rounded plainly it becomes a square-ish wave whose
    // third harmonic stands far above everything else.
    QTest::newRow("24-bit to 16") << "pcm_s24le" << -90.0 << 16;
    QTest::newRow("float to 16") << "pcm_f32le" << -90.0 << 16;
    QTest::newRow("24-bit to 8") << "pcm_s24le" << -45.0 << 8;
}

void EngineFileFidelity::reducedDepthIsDithered()
{
    QFETCH(QString, codec);
    QFETCH(double, toneDb);
    QFETCH(int, bits);
    const QString source = path(".src.wav"), target = path(".wav");
    const double amplitude = std::pow(10.0, toneDb / 20);
    QVERIFY(makeSource(source, QString("%1*sin(2*PI*1000*t)").arg(amplitude, 0, 'g', 10), 44100, 3.0, codec));
    AudioFile writer;
    writer.SetWavOutput(0, 0, bits);
    convert(source, writer, target);

    const std::vector<float> in = testaudio::ffmpegDecode(source);
    const std::vector<float> out = testaudio::ffmpegDecode(target);
    QCOMPARE(out.size(), in.size());
    const std::vector<double> db = spectrumDb(out, 44100, 16384);
    const double floor = floorDb(db, 44100), third = levelAt(db, 44100, 3000, false);
    qInfo("tone %.1f dBFS, third harmonic %.1f dB above the floor", levelAt(db, 44100, 1000), third - floor);
    QVERIFY2(third - floor < 6, qPrintable(QString::number(third - floor)));
    QVERIFY(std::abs(levelAt(db, 44100, 1000) - toneDb) < 1.0);

    // Triangular dither of one step either way, then rounding: an error of half a step (RMS).
    const double step = std::ldexp(1.0, 1 - bits);
    double sum = 0;
    for (std::size_t i = 0; i < in.size(); ++i)
        sum += std::pow((double(out[i]) - double(in[i])) / step, 2);
    const double rms = std::sqrt(sum / double(in.size()));
    QVERIFY2(rms > 0.42 && rms < 0.58, qPrintable(QString::number(rms)));
}

void EngineFileFidelity::unchangedAudioIsCopiedExactly_data()
{
    QTest::addColumn<QString>("codec");    // of the source
    QTest::addColumn<QString>("output");   // wav or flac
    QTest::addColumn<int>("bits");         // of the output; 0: FLAC follows the source
    QTest::addColumn<QString>("raw");      // how both are compared
    QTest::newRow("wav 16 to wav 16") << "pcm_s16le" << "wav" << 16 << "s16le";
    QTest::newRow("wav 16 to flac") << "pcm_s16le" << "flac" << 0 << "s16le";
    QTest::newRow("flac 16 to wav 16") << "flac -sample_fmt s16" << "wav" << 16 << "s16le";
    QTest::newRow("flac 24 to flac") << "flac -sample_fmt s32" << "flac" << 0 << "s24le";
    QTest::newRow("flac 24 to flac 24") << "flac -sample_fmt s32" << "flac" << 24 << "s24le";
    QTest::newRow("wav 24 to wav 24") << "pcm_s24le" << "wav" << 24 << "s24le";
    QTest::newRow("wav 24 to flac") << "pcm_s24le" << "flac" << 0 << "s24le";
    QTest::newRow("wav 8 to wav 8") << "pcm_u8" << "wav" << 8 << "u8";
}

void EngineFileFidelity::unchangedAudioIsCopiedExactly()
{
    QFETCH(QString, codec);
    QFETCH(QString, output);
    QFETCH(int, bits);
    QFETCH(QString, raw);
    const QString source = path(".src." + QString(codec.startsWith("flac") ? "flac" : "wav"));
    const QString target = path("." + output);
    // A loud tone with quiet noise on it: every bit of every sample varies.
    const QStringList args = QString("-f lavfi -i aevalsrc=0.4*sin(2*PI*440*t)+0.001*(random(0)-0.5)|"
                                     "0.3*sin(2*PI*3001*t)+0.0001*(random(1)-0.5):s=44100:d=1.5 -c:a %1")
                                 .arg(codec)
                                 .split(' ');
    QVERIFY(enginetest::ffmpeg(args + QStringList{source}));
    AudioFile writer;
    if (output == "wav")
        writer.SetWavOutput(0, 0, bits);
    else
        writer.SetFlacOutput(0, 0, bits, 5);
    convert(source, writer, target);

    const QByteArray before = rawPcm(source, raw), after = rawPcm(target, raw);
    QVERIFY(!before.isEmpty());
    QCOMPARE(after.size(), before.size());
    QVERIFY(after == before);
}

void EngineFileFidelity::flacStatesMd5OfItsAudio_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("rate");  // of the output; 0: the source's
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("raw");
    QTest::newRow("16 bits") << "pcm_s16le" << 0 << 16 << "s16le";
    QTest::newRow("24 bits") << "pcm_s24le" << 0 << 24 << "s24le";
    QTest::newRow("24 to 16 bits") << "pcm_s24le" << 0 << 16 << "s16le";
    QTest::newRow("resampled") << "pcm_s16le" << 48000 << 16 << "s16le";
}

void EngineFileFidelity::flacStatesMd5OfItsAudio()
{
    QFETCH(QString, codec);
    QFETCH(int, rate);
    QFETCH(int, bits);
    QFETCH(QString, raw);
    const QString source = path(".src.wav"), target = path(".flac");
    QVERIFY(makeSource(source, "0.5*sin(2*PI*440*t)+0.01*(random(0)-0.5)", 44100, 1.0, codec));
    AudioFile writer;
    writer.SetFlacOutput(rate, 0, bits, 5);
    convert(source, writer, target);

    const QByteArray stated = streamInfoMd5(target);
    QCOMPARE(stated.size(), 16);
    QVERIFY(stated != QByteArray(16, '\0'));
    const QByteArray audio = rawPcm(target, raw);
    QVERIFY(!audio.isEmpty());
    QCOMPARE(stated.toHex(), QCryptographicHash::hash(audio, QCryptographicHash::Md5).toHex());
}

QTEST_GUILESS_MAIN(EngineFileFidelity)
#include "tst_engine_file_fidelity.moc"
