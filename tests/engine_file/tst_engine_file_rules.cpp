// The format questions AudioFile answers before a conversion (SetMp3Output, CheckOggOutput)
// and the output selections it refuses.
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QTemporaryDir>
#include <QtTest>
#include <set>

using sondrel::AudioFile;
using sondrel::EngineError;

class EngineFileRules : public QObject {
    Q_OBJECT

private slots:
    void mp3OutputFollowsTheMpegTables();
    void mp3OutputRefusesOtherRatesAndChannels();
    void allowedMp3FormatsAreWrittenAsAsked();
    void everyAllowedMp3FormatIsGapless();
    void oggCheckIsTheEncodersAnswer_data();
    void oggCheckIsTheEncodersAnswer();
    void badOutputSelectionsAreRefused();
};

// MPEG layer III, written out from the standard's tables: MPEG-1 (32, 44.1, 48 kHz) has
// 32..320 kbps, MPEG-2 (16, 22.05, 24 kHz) 8..160 kbps and MPEG-2.5 (8, 11.025, 12 kHz)
// 8..64 kbps, each only at the bit rates of its version's table.
static bool mpegLayer3Allows(int rate, int kbps, int channels)
{
    static const std::set<int> mpeg1Rates{32000, 44100, 48000}, mpeg2Rates{16000, 22050, 24000},
        mpeg25Rates{8000, 11025, 12000};
    static const std::set<int> mpeg1Kbps{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const std::set<int> lsfKbps{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    if (channels < 1 || channels > 2)
        return false;
    if (mpeg1Rates.count(rate))
        return mpeg1Kbps.count(kbps) && kbps >= 32 && kbps <= 320;
    if (mpeg2Rates.count(rate))
        return lsfKbps.count(kbps) && kbps >= 8 && kbps <= 160;
    if (mpeg25Rates.count(rate))
        return lsfKbps.count(kbps) && kbps >= 8 && kbps <= 64;
    return false;
}

void EngineFileRules::mp3OutputFollowsTheMpegTables()
{
    const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    const int kbps[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    AudioFile f;
    int yes = 0, cases = 0;
    for (int rate : rates)
        for (int k : kbps)
            for (int ch : {1, 2}) {
                ++cases;
                const bool expected = mpegLayer3Allows(rate, k, ch);
                yes += expected;
                QVERIFY2(f.SetMp3Output(rate, k, ch) == expected,
                         qPrintable(QString("%1 Hz, %2 kbps, %3 ch").arg(rate).arg(k).arg(ch)));
            }
    QCOMPARE(cases, 9 * 17 * 2);
    // 3 MPEG-1 rates x 14 + 3 MPEG-2 rates x 13 (144 is not in the grid) + 3 MPEG-2.5 x 8, twice.
    QCOMPARE(yes, 2 * (3 * 14 + 3 * 13 + 3 * 8));
    QVERIFY(!f.IsOpen());
}

void EngineFileRules::mp3OutputRefusesOtherRatesAndChannels()
{
    AudioFile f;
    QVERIFY(f.SetMp3Output(22050, 144, 2));  // in the MPEG-2 table, outside the grid
    QVERIFY(!f.SetMp3Output(44100, 144, 2)); // not an MPEG-1 bit rate
    QVERIFY(!f.SetMp3Output(44100, 128, 0));
    QVERIFY(!f.SetMp3Output(44100, 128, 3));
    QVERIFY(!f.SetMp3Output(44000, 128, 2));
    QVERIFY(!f.SetMp3Output(96000, 128, 2));
    QVERIFY(!f.SetMp3Output(0, 0, 0));
}

// Where the rules say yes, LAME really writes that rate and bit rate; where they say no it
// silently picks something else, which is why the answer cannot come from trying.
void EngineFileRules::allowedMp3FormatsAreWrittenAsAsked()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const struct { int rate, kbps, channels; bool allowed; } cases[] = {
        {8000, 8, 1, true},     {8000, 64, 2, true},   {12000, 40, 1, true},  {16000, 160, 2, true},
        {24000, 8, 1, true},    {32000, 32, 1, true},  {44100, 320, 2, true}, {48000, 192, 2, true},
        {8000, 320, 2, false},  {44100, 8, 2, false},
    };
    for (const auto& c : cases) {
        AudioFile f;
        QCOMPARE(f.SetMp3Output(c.rate, c.kbps, c.channels), c.allowed);
        sondrel::LameEncSettings s;
        s.Frequency = c.rate;
        s.Bitrate = c.kbps;
        s.Channels = c.channels;
        s.VbrDisabled = true;
        f.SetMp3Encoder(s);
        const QString path = dir.filePath(QString("cbr-%1-%2-%3.mp3").arg(c.rate).arg(c.kbps).arg(c.channels));
        enginetest::writeAll(f, path, testaudio::musicSignal(44100, 2, 44100), 2, 44100);
        const testaudio::ProbeResult p = testaudio::ffprobe(path);
        QVERIFY2(p.ok, qPrintable(path));
        QCOMPARE(p.codecName, QString("mp3"));
        QCOMPARE(p.channels, c.channels);
        QCOMPARE(p.sampleRate, c.rate);
        const QByteArray br = testaudio::runTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                             "stream=bit_rate", "-of", "csv=p=0", path}).trimmed();
        const int kbps = int(br.toLongLong() / 1000);
        if (c.allowed)
            QVERIFY2(kbps == c.kbps, qPrintable(QString("%1: %2 kbps").arg(path).arg(kbps)));
        else
            QVERIFY2(kbps != c.kbps, qPrintable(QString("%1: LAME wrote %2 kbps").arg(path).arg(kbps)));
    }
}

// LAME writes its gapless tag only where it fits into a frame at the stream's bit rate; for
// the others the encoder writes its own. Either way every allowed CBR format decodes to
// exactly what was written, and VBR too.
void EngineFileRules::everyAllowedMp3FormatIsGapless()
{
    QTemporaryDir dir;
    const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    const int kbps[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320};
    const std::vector<float> stereo = testaudio::musicSignal(22050, 2, 5000);
    int files = 0;
    for (int rate : rates)
        for (int k : kbps)
            for (int ch : {1, 2})
                for (bool vbr : {false, true}) {
                    if (!mpegLayer3Allows(rate, k, ch) || (vbr && k != 64 && k != 160))
                        continue;
                    AudioFile f;
                    sondrel::LameEncSettings s;
                    s.Frequency = rate;
                    s.Bitrate = k;
                    s.Channels = ch;
                    s.Quality = 9;
                    s.VbrDisabled = !vbr;
                    s.VbrQuality = 6;
                    s.VbrBitrate = k;
                    f.SetMp3Encoder(s);
                    const QString path = dir.filePath(QString("g-%1-%2-%3-%4.mp3").arg(rate).arg(k).arg(ch).arg(vbr));
                    enginetest::writeAll(f, path, stereo, 2, 22050);
                    const enginetest::Decoded d = enginetest::readAll(path);
                    const std::int64_t expected = (5000LL * rate + 11025) / 22050;
                    QVERIFY2(std::abs(d.frames() - expected) <= 1 && d.method == "mp3 header" && d.correction == 0,
                             qPrintable(QString("%1: %2 samples for %3 (%4)").arg(path).arg(d.frames()).arg(expected).arg(d.method)));
                    ++files;
                }
    QVERIFY(files > 200);
}

void EngineFileRules::oggCheckIsTheEncodersAnswer_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("kbps");
    QTest::addColumn<int>("maxKbps");
    QTest::addColumn<int>("minKbps");
    QTest::addColumn<bool>("supported");
    QTest::newRow("44.1k stereo 128") << 44100 << 2 << 128 << 128 << 128 << true;
    QTest::newRow("44.1k stereo 128 (96..160)") << 44100 << 2 << 128 << 160 << 96 << true;
    QTest::newRow("48k stereo 192 (128..256)") << 48000 << 2 << 192 << 256 << 128 << true;
    QTest::newRow("8k mono 16") << 8000 << 1 << 16 << 16 << 16 << true;
    QTest::newRow("22.05k mono 32 (24..40)") << 22050 << 1 << 32 << 40 << 24 << true;
    QTest::newRow("8k stereo 320") << 8000 << 2 << 320 << 320 << 320 << false;
    QTest::newRow("44.1k stereo 32") << 44100 << 2 << 32 << 32 << 32 << false;
    QTest::newRow("44.1k mono 320") << 44100 << 1 << 320 << 320 << 320 << false;
    QTest::newRow("96k stereo 128") << 96000 << 2 << 128 << 128 << 128 << false;
    QTest::newRow("no channels") << 44100 << 0 << 128 << 128 << 128 << false;
}

void EngineFileRules::oggCheckIsTheEncodersAnswer()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, kbps);
    QFETCH(int, maxKbps);
    QFETCH(int, minKbps);
    QFETCH(bool, supported);
    AudioFile f;
    QCOMPARE(f.CheckOggOutput(rate, channels, kbps, maxKbps, minKbps), supported);
    if (!supported || channels == 0)
        return;
    // What it accepts, it writes.
    QTemporaryDir dir;
    const QString path = dir.filePath("check.ogg");
    f.SetOggOutput(rate, channels, kbps, maxKbps, minKbps, -1);
    enginetest::writeAll(f, path, testaudio::musicSignal(rate, channels, rate / 2), channels, rate);
    const testaudio::ProbeResult p = testaudio::ffprobe(path);
    QCOMPARE(p.codecName, QString("vorbis"));
    QCOMPARE(p.sampleRate, rate);
    QCOMPARE(p.channels, channels);
}

void EngineFileRules::badOutputSelectionsAreRefused()
{
    QTemporaryDir dir;
    AudioFile f;
    // Nothing selected yet.
    QVERIFY_THROWS_EXCEPTION(EngineError, f.OpenWrite(dir.filePath("none.wav"), 0));
    QVERIFY(!f.IsOpen());
    QVERIFY(!QFile::exists(dir.filePath("none.wav")));
    QVERIFY_THROWS_EXCEPTION(EngineError, f.SetWmaOutput(0));
    QVERIFY_THROWS_EXCEPTION(EngineError, f.SetWmaOutput(48));
    QVERIFY_THROWS_EXCEPTION(EngineError, f.SetWavOutput(44100, 2, 12));
    QVERIFY_THROWS_EXCEPTION(EngineError, f.SetWavOutput(-1, 2, 16));
    for (int p = 1; p <= 47; ++p)
        f.SetWmaOutput(p);
    // A folder that does not exist: the error names the file, nothing is left open.
    f.SetWavOutput(44100, 2, 16);
    const QString missing = dir.filePath("no/such/folder/out.wav");
    try {
        f.OpenWrite(missing, 0);
        QFAIL("OpenWrite into a missing folder succeeded");
    } catch (const EngineError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains("out.wav"), e.what());
    }
    QVERIFY(!f.IsOpen());
    f.Close(); // harmless
}

QTEST_GUILESS_MAIN(EngineFileRules)
#include "tst_engine_file_rules.moc"
