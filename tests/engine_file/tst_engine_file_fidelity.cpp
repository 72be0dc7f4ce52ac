// What conversion does to the samples: rate changes without aliasing, dithered reductions of
// depth, exact copies where nothing changes, FLAC's MD5 of its audio. Sources are made and
// outputs decoded by the ffmpeg command.
#include "EngineFileSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <complex>
#include <numbers>

using sondrel::AudioFile;

namespace {

// Two seconds of ffmpeg's aevalsrc expression in the codec's WAV or FLAC file.
bool makeSource(const QString& path, const QString& expression, int rate, const QString& codec)
{
    return enginetest::ffmpeg(
        QString("-f lavfi -i aevalsrc=%1:s=%2:d=2 -c:a %3").arg(expression).arg(rate).arg(codec).split(' ') << path);
}

// Converts through the engine as a job does (the source's bits handed on) to WAV or FLAC.
void convert(const QString& source, const QString& target, int rate, int bits)
{
    AudioFile reader, writer;
    if (target.endsWith(".flac"))
        writer.SetFlacOutput(rate, 0, bits, 5);
    else
        writer.SetWavOutput(rate, 0, bits);
    reader.OpenRead(source);
    writer.OpenWrite(target);
    writer.SetInputFormat(reader.ChannelCount(), reader.SampleRate(), reader.SourceBits());
    const int chunk = reader.SampleRate() / 10 * reader.ChannelCount();
    for (auto s = reader.ReadSamples(chunk); !s.empty(); s = reader.ReadSamples(chunk))
        writer.WriteSamples(s);
    writer.Close();
}

QByteArray rawPcm(const QString& path, const QString& format)
{
    return testaudio::runTool("ffmpeg", {"-v", "error", "-i", path, "-f", format, "-"});
}

// The amplitude in dBFS of the sine at frequency in x (one Hann-windowed DFT bin).
double sineDb(const std::vector<float>& x, int rate, double frequency)
{
    const double n = double(x.size()), pi = std::numbers::pi;
    std::complex<double> sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        sum += double(x[i]) * (1 - std::cos(2 * pi * double(i) / n)) * std::polar(1.0, -2 * pi * frequency * double(i) / rate);
    return 20 * std::log10(std::abs(sum) * 2 / n + 1e-30);
}

// STREAMINFO (the first block after "fLaC") ends with the MD5 of the decoded audio.
void verifyFlacMd5(const QString& path, const QString& raw)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray md5 = f.read(42).mid(26);
    QCOMPARE(md5.size(), 16);
    QVERIFY(md5 != QByteArray(16, '\0'));
    QCOMPARE(md5.toHex(), QCryptographicHash::hash(rawPcm(path, raw), QCryptographicHash::Md5).toHex());
}

} // namespace

class EngineFileFidelity : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& suffix) const
    {
        return m_dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + suffix);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // A -6 dBFS tone above the new Nyquist frequency leaves nothing (libswresample's own
    // engine folded it back at -26 dB); one below it keeps its level.
    void rateChangeLeavesNoAlias_data()
    {
        QTest::addColumn<int>("inRate");
        QTest::addColumn<int>("tone");
        QTest::addColumn<int>("outRate");
        QTest::addColumn<bool>("folds");
        QTest::newRow("96k to 44.1k, 23 kHz") << 96000 << 23000 << 44100 << true;
        QTest::newRow("48k to 44.1k, 22.5 kHz") << 48000 << 22500 << 44100 << true;
        QTest::newRow("96k to 44.1k, 19 kHz") << 96000 << 19000 << 44100 << false;
        QTest::newRow("44.1k to 48k, 18 kHz") << 44100 << 18000 << 48000 << false;
    }
    void rateChangeLeavesNoAlias()
    {
        QFETCH(int, inRate);
        QFETCH(int, tone);
        QFETCH(int, outRate);
        QFETCH(bool, folds);
        QVERIFY(makeSource(path(".wav"), QString("0.5*sin(2*PI*%1*t)").arg(tone), inRate, "pcm_s24le"));
        convert(path(".wav"), path(".flac"), outRate, 24);
        verifyFlacMd5(path(".flac"), "s24le");
        int rate = 0;
        const std::vector<float> out = testaudio::ffmpegDecode(path(".flac"), &rate);
        QCOMPARE(rate, outRate);
        // Away from the switched-on and -off ends, whose clicks are in the band.
        const std::vector<float> middle(out.begin() + rate / 5, out.end() - rate / 5);
        float peak = 0;
        for (float v : middle)
            peak = std::max(peak, std::abs(v));
        const double level = folds ? 20 * std::log10(peak + 1e-30) : sineDb(middle, rate, tone);
        qInfo("%s: %.1f dBFS", QTest::currentDataTag(), level);
        QVERIFY2(folds ? level < -100 : std::abs(level + 6.02) < 0.05, qPrintable(QString::number(level)));
    }

    // A tone about one step of the output high: rounded plainly, its third harmonic stands
    // 84 dB (16 bits) or 105 dB (8 bits) above the noise; dithered, it is gone.
    void reducedDepthIsDithered_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<double>("toneDb");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("bits");
        QTest::newRow("24-bit to flac 16") << "pcm_s24le" << -90.0 << ".flac" << 16;
        QTest::newRow("float to wav 16") << "pcm_f32le" << -90.0 << ".wav" << 16;
        QTest::newRow("24-bit to wav 8") << "pcm_s24le" << -45.0 << ".wav" << 8;
    }
    void reducedDepthIsDithered()
    {
        QFETCH(QString, codec);
        QFETCH(double, toneDb);
        QFETCH(QString, output);
        QFETCH(int, bits);
        const QString tone = QString("%1*sin(2*PI*1000*t)").arg(std::pow(10.0, toneDb / 20), 0, 'f', 12);
        QVERIFY(makeSource(path(".src.wav"), tone, 44100, codec));
        convert(path(".src.wav"), path(output), 0, bits);
        const std::vector<float> in = testaudio::ffmpegDecode(path(".src.wav"));
        const std::vector<float> out = testaudio::ffmpegDecode(path(output));
        QCOMPARE(out.size(), in.size());
        double noise = 0;
        for (int k = 1; k <= 10; ++k)
            noise += std::pow(10.0, sineDb(out, 44100, 3000 + 53 * k) / 10) / 10;
        const double harmonic = sineDb(out, 44100, 3000) - 10 * std::log10(noise);
        qInfo("%s: tone %.1f dBFS, third harmonic %.1f dB above the noise", QTest::currentDataTag(),
              sineDb(out, 44100, 1000), harmonic);
        QVERIFY2(harmonic < 10, qPrintable(QString::number(harmonic)));
        QVERIFY(std::abs(sineDb(out, 44100, 1000) - toneDb) < 1);
        // Triangular dither of one step either way, then rounding: half a step of error (RMS).
        double sum = 0;
        for (std::size_t i = 0; i < in.size(); ++i)
            sum += std::pow(std::ldexp(double(out[i]) - double(in[i]), bits - 1), 2);
        const double rms = std::sqrt(sum / double(in.size()));
        QVERIFY2(std::abs(rms - 0.5) < 0.08, qPrintable(QString::number(rms)));
        if (output == ".flac")
            verifyFlacMd5(path(output), "s16le");
    }

    // At the source's own rate, bits and channels every sample comes through as it was: no
    // dither, no rounding.
    void unchangedAudioIsCopiedExactly_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("bits"); // 0: FLAC as the source
        QTest::addColumn<QString>("raw");
        QTest::newRow("wav 16 to flac") << "pcm_s16le" << ".flac" << 0 << "s16le";
        QTest::newRow("flac 16 to wav 16") << "flac -sample_fmt s16" << ".wav" << 16 << "s16le";
        QTest::newRow("flac 24 to flac") << "flac -sample_fmt s32" << ".flac" << 0 << "s24le";
        QTest::newRow("wav 24 to wav 24") << "pcm_s24le" << ".wav" << 24 << "s24le";
        QTest::newRow("wav 8 to wav 8") << "pcm_u8" << ".wav" << 8 << "u8";
    }
    void unchangedAudioIsCopiedExactly()
    {
        QFETCH(QString, codec);
        QFETCH(QString, output);
        QFETCH(int, bits);
        QFETCH(QString, raw);
        const QString source = path(codec.startsWith("flac") ? ".src.flac" : ".src.wav");
        // Quiet noise on a tone: every bit of every sample varies.
        QVERIFY(makeSource(source, "0.4*sin(2*PI*440*t)+0.001*(random(0)-0.5)", 44100, codec));
        convert(source, path(output), 0, bits);
        const QByteArray before = rawPcm(source, raw);
        QVERIFY(!before.isEmpty());
        QVERIFY(rawPcm(path(output), raw) == before);
        if (output == ".flac")
            verifyFlacMd5(path(output), raw);
    }
};

QTEST_GUILESS_MAIN(EngineFileFidelity)
#include "tst_engine_file_fidelity.moc"
