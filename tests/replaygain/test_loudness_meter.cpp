#include "ConversionJob.h"
#include "EngineError.h"
#include "LoudnessMeter.h"
#include "ReplayGainTags.h"
#include "TestAudio.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace sondrel;

namespace {

// One part of a test signal: a stereo sine of this peak level for this long.
struct Segment {
    double dbfs;
    double seconds;
};

// The segments one after the other, fed to a meter a tenth of a second at a time.
LoudnessMeasure measureSegments(const std::vector<Segment>& segments, int rate, double frequency = 1000.0,
                                double phase = 0.0)
{
    LoudnessMeter meter(2, rate);
    std::int64_t n = 0;
    std::vector<float> chunk;
    for (const Segment& s : segments) {
        const double amplitude = std::pow(10.0, s.dbfs / 20.0);
        std::int64_t left = std::llround(s.seconds * rate);
        while (left > 0) {
            const std::int64_t frames = std::min<std::int64_t>(left, rate / 10);
            chunk.resize(std::size_t(frames) * 2);
            for (std::int64_t i = 0; i < frames; ++i, ++n) {
                const float v = float(amplitude * std::sin(2.0 * M_PI * frequency * double(n) / rate + phase));
                chunk[std::size_t(2 * i)] = v;
                chunk[std::size_t(2 * i + 1)] = v;
            }
            meter.add(chunk);
            left -= frames;
        }
    }
    return meter.finish();
}

// ffmpeg's own meter: the integrated loudness of its summary; none when it measured silence
// (it says -70) or could not read the file.
std::optional<double> ffmpegLoudness(const QString& path)
{
    int code = -1;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"), {"-nostats", "-hide_banner", "-i", path, "-filter_complex", "ebur128", "-f", "null", "-"});
    if (!p.waitForFinished(120000))
        return std::nullopt;
    code = p.exitCode();
    const QString out = QString::fromUtf8(p.readAll());
    const QRegularExpression summary(QStringLiteral("Integrated loudness:\\s+I:\\s+(-?[0-9.]+) LUFS"));
    // A stream whose format changes midway gets a summary per filter graph: the last counts.
    QRegularExpressionMatch m;
    for (auto it = summary.globalMatch(out); it.hasNext();)
        m = it.next();
    if (code != 0 || !m.hasMatch())
        return std::nullopt;
    const double lufs = m.captured(1).toDouble();
    if (lufs <= -70.0)
        return std::nullopt;
    return lufs;
}

} // namespace

class TestLoudnessMeter : public QObject {
    Q_OBJECT
private slots:
    // The EBU's reference signals for integrated loudness, made here: a 1 kHz sine in both
    // channels is as loud in LUFS as its peak in dBFS, and the gate leaves quiet parts out.
    void referenceSignals_data()
    {
        QTest::addColumn<std::vector<Segment>>("segments");
        QTest::addColumn<double>("lufs");
        for (const int rate : {48000, 44100}) {
            const QByteArray at = " at " + QByteArray::number(rate);
            QTest::addRow("-23 dBFS%s", at.constData()) << std::vector<Segment>{{-23, 20}} << -23.0;
            QTest::addRow("-33 dBFS%s", at.constData()) << std::vector<Segment>{{-33, 20}} << -33.0;
            QTest::addRow("-36/-23/-36%s", at.constData())
                << std::vector<Segment>{{-36, 10}, {-23, 60}, {-36, 10}} << -23.0;
            QTest::addRow("-72/-36/-23/-36/-72%s", at.constData())
                << std::vector<Segment>{{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}} << -23.0;
        }
    }
    void referenceSignals()
    {
        QFETCH(std::vector<Segment>, segments);
        QFETCH(double, lufs);
        for (const int rate : {48000, 44100}) {
            if (!QByteArray(QTest::currentDataTag()).endsWith(QByteArray::number(rate)))
                continue;
            const LoudnessMeasure m = measureSegments(segments, rate);
            QVERIFY(m.lufs);
            QVERIFY2(std::abs(*m.lufs - lufs) <= 0.1, qPrintable(QString::number(*m.lufs, 'f', 3)));
        }
    }

    // The true peak lies between the samples: a tone whose samples reach full scale can
    // peak 3 dB above it.
    void truePeak_data()
    {
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("phase");
        QTest::addColumn<double>("amplitudeDb");
        QTest::addColumn<double>("peakDb");
        // A quarter of the rate, 45 degrees off: every sample at 1/sqrt(2) of the wave's peak.
        QTest::newRow("12 kHz, samples at full scale") << 12000.0 << M_PI / 4 << 20 * std::log10(std::sqrt(2.0)) << 3.01;
        QTest::newRow("10 kHz at -6 dBFS") << 10000.0 << 0.3 << -6.0 << -6.0;
        QTest::newRow("1 kHz at -1 dBFS") << 1000.0 << 0.0 << -1.0 << -1.0;
    }
    void truePeak()
    {
        QFETCH(double, frequency);
        QFETCH(double, phase);
        QFETCH(double, amplitudeDb);
        QFETCH(double, peakDb);
        const LoudnessMeasure m = measureSegments({{amplitudeDb, 5}}, 48000, frequency, phase);
        const double measured = 20 * std::log10(m.peak);
        QVERIFY2(std::abs(measured - peakDb) <= 0.3, qPrintable(QString::number(measured, 'f', 3)));
    }

    // An album of one file has the file's loudness; an album of two files sits between them,
    // nearer the longer one; silence has no loudness alone and counts for nothing together.
    void albums()
    {
        const auto meterOf = [](double dbfs, double seconds) {
            auto meter = std::make_unique<LoudnessMeter>(2, 48000);
            std::vector<float> chunk(4800 * 2);
            std::int64_t n = 0;
            for (int c = 0; c < int(seconds * 10); ++c) {
                for (int i = 0; i < 4800; ++i, ++n)
                    chunk[std::size_t(2 * i)] = chunk[std::size_t(2 * i + 1)] =
                        float(std::pow(10.0, dbfs / 20.0) * std::sin(2 * M_PI * 1000.0 * double(n) / 48000));
                meter->add(chunk);
            }
            meter->finish();
            return meter;
        };
        const auto loud = meterOf(-20, 30);
        const auto quiet = meterOf(-30, 10);
        const auto silent = meterOf(-200, 5);
        QVERIFY(!silent->measure().lufs);
        const std::optional<double> one = LoudnessMeter::together({loud.get()});
        QVERIFY(one && loud->measure().lufs);
        QCOMPARE(gainToReference(one), gainToReference(loud->measure().lufs));
        const std::optional<double> two = LoudnessMeter::together({loud.get(), quiet.get()});
        QVERIFY(two);
        QVERIFY(*two < *loud->measure().lufs && *two > *quiet->measure().lufs);
        QVERIFY(*two - *quiet->measure().lufs > *loud->measure().lufs - *two);
        const std::optional<double> withSilence = LoudnessMeter::together({loud.get(), silent.get()});
        QVERIFY(withSilence);
        QVERIFY(std::abs(*withSilence - *one) < 0.01);
        QVERIFY(!LoudnessMeter::together({silent.get()}));
    }

    // The texts the tags hold.
    void tagTexts()
    {
        QCOMPARE(gainText(-6.5249), QStringLiteral("-6.52 dB"));
        QCOMPARE(gainText(-0.004), QStringLiteral("0.00 dB"));
        QCOMPARE(gainText(12.3), QStringLiteral("12.30 dB"));
        QCOMPARE(peakText(0.98855312), QStringLiteral("0.988553"));
        QCOMPARE(r128Gain(5.0), 0);           // -18 LUFS + 5 dB: the Opus reference, -23 LUFS
        QCOMPARE(r128Gain(-1.0), -1536);      // -6 dB in 1/256 dB
        QCOMPARE(r128Gain(500.0), 32767);     // beyond what 16 bits hold
        QMap<QString, QStringList> fields{{"REPLAYGAIN_TRACK_GAIN", {"+9.99 dB"}}, {"replaygain_album_peak", {"1"}},
                                          {"R128_TRACK_GAIN", {"99"}}, {"ARTIST", {"A"}}};
        ReplayGainValues v;
        v.trackGain = -3.0;
        v.trackPeak = 0.5;
        setLoudnessFields(fields, v, false);
        QCOMPARE(fields.keys(), QStringList({"ARTIST", "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK"}));
        QCOMPARE(fields.value("REPLAYGAIN_TRACK_GAIN"), QStringList{"-3.00 dB"});
        setLoudnessFields(fields, v, true);
        QCOMPARE(fields.keys(), QStringList({"ARTIST", "R128_TRACK_GAIN"}));
        QCOMPARE(fields.value("R128_TRACK_GAIN"), QStringList{"-2048"});
    }

    // Every real-world file the program reads measures as ffmpeg's meter measures it.
    void agreesWithFfmpegOnTheCorpus()
    {
        int compared = 0;
        for (const QString& relative : testaudio::corpusFiles()) {
            const QString path = testaudio::corpusDir() + QLatin1Char('/') + relative;
            JobProgress progress;
            std::shared_ptr<const LoudnessMeter> meter;
            try {
                meter = measureFileLoudness(path, progress);
            } catch (const EngineError&) {
                continue; // a file the program refuses
            }
            const std::optional<double> theirs = ffmpegLoudness(path);
            const std::optional<double> ours = meter->measure().lufs;
            if (!theirs || !ours) {
                QVERIFY2(!theirs == !ours || (ours && *ours < -69.5) || (theirs && *theirs < -69.5), qPrintable(relative));
                continue;
            }
            // ffmpeg's meter takes 48 kHz only and resamples what it is given; below 32 kHz the
            // weighting filter meets the lower Nyquist frequency, and a file of a second or two
            // has few blocks to even that out.
            const double within = testaudio::ffprobe(path).sampleRate >= 32000 ? 0.1 : 1.0;
            QVERIFY2(std::abs(*ours - *theirs) <= within,
                     qPrintable(QStringLiteral("%1: %2 against %3").arg(relative).arg(*ours).arg(*theirs)));
            ++compared;
        }
        QVERIFY(compared >= 15);
        qInfo("%d files compared", compared);
    }
};

QTEST_GUILESS_MAIN(TestLoudnessMeter)
#include "test_loudness_meter.moc"
