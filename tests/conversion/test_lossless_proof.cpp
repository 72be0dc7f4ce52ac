// Conversions that keep every sample are proved to: the job hashes the source as it decodes
// it, the gate decodes the output and compares, and the row is told "verified bit for bit".
// An output whose samples differ is refused like any other the gate refuses.
#include "ConversionJob.h"
#include "OutputFiles.h"
#include "OutputGate.h"
#include "PcmHash.h"
#include "TestAudio.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace sondrel;

namespace {

const QString Verified = QStringLiteral("verified bit for bit");

bool ffmpeg(const QStringList& args)
{
    int code = -1;
    testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y"} + args, 60000, &code);
    return code == 0;
}

// A second of a tone with quiet noise on it, every bit of every sample varying.
bool makeSource(const QString& path, const QString& codec, int channels)
{
    const QString tone = "0.4*sin(2*PI*440*t)+0.001*(random(0)-0.5)";
    return ffmpeg(QStringList{"-f", "lavfi", "-i",
                              QString("aevalsrc=%1:s=44100:d=1").arg(channels == 2 ? tone + "|" + tone : tone),
                              "-c:a"}
                  + codec.split(' ') + QStringList{path});
}

} // namespace

class TestLosslessProof : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    // Only an unchanged copy between lossless formats is verified; every other conversion
    // still finishes, without the note.
    void onlyUnchangedLosslessCopiesAreVerified_data()
    {
        QTest::addColumn<QString>("codec");   // of the source
        QTest::addColumn<int>("channels");    // of the source
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("bits");        // of the output (FLAC 0: as the source)
        QTest::addColumn<int>("rate");        // of the output; 0: the source's
        QTest::addColumn<int>("outChannels"); // 0: the source's
        QTest::addColumn<bool>("verified");
        QTest::newRow("wav 16 to flac") << "pcm_s16le" << 2 << "flac" << 0 << 0 << 0 << true;
        QTest::newRow("wav 16 to wav 16") << "pcm_s16le" << 2 << "wav" << 16 << 0 << 0 << true;
        QTest::newRow("flac 24 to wav 24") << "flac -sample_fmt s32" << 1 << "wav" << 24 << 0 << 0 << true;
        QTest::newRow("flac 24 to flac") << "flac -sample_fmt s32" << 2 << "flac" << 0 << 0 << 0 << true;
        QTest::newRow("wav 8 to wav 8") << "pcm_u8" << 1 << "wav" << 8 << 0 << 0 << true;
        QTest::newRow("fewer bits") << "pcm_s24le" << 2 << "wav" << 16 << 0 << 0 << false;
        QTest::newRow("more bits") << "pcm_s16le" << 2 << "flac" << 24 << 0 << 0 << false;
        QTest::newRow("another rate") << "pcm_s16le" << 2 << "flac" << 0 << 48000 << 0 << false;
        QTest::newRow("to mono") << "pcm_s16le" << 2 << "flac" << 0 << 0 << 1 << false;
        QTest::newRow("to stereo") << "pcm_s16le" << 1 << "wav" << 16 << 0 << 2 << false;
        QTest::newRow("float source") << "pcm_f32le" << 2 << "wav" << 32 << 0 << 0 << false;
        QTest::newRow("32-bit source") << "pcm_s32le" << 2 << "wav" << 32 << 0 << 0 << false;
        QTest::newRow("lossy output") << "pcm_s16le" << 2 << "mp3" << 0 << 0 << 0 << false;
    }
    void onlyUnchangedLosslessCopiesAreVerified()
    {
        QFETCH(QString, codec);
        QFETCH(int, channels);
        QFETCH(QString, output);
        QFETCH(int, bits);
        QFETCH(int, rate);
        QFETCH(int, outChannels);
        QFETCH(bool, verified);
        const QString name = QString(QTest::currentDataTag()).replace(' ', '_');
        const QString source = tmp.filePath(name + (codec.startsWith("flac") ? ".flac" : ".wav"));
        QVERIFY(makeSource(source, codec, channels));
        QDir().mkpath(tmp.filePath("out"));
        JobOrder order;
        order.source = source;
        order.target = tmp.filePath("out/" + name + "." + output);
        order.dir = OutputDir::open(tmp.filePath("out"));
        order.writer = std::make_unique<AudioFile>();
        if (output == "wav")
            order.writer->SetWavOutput(rate, outChannels, bits);
        else if (output == "flac")
            order.writer->SetFlacOutput(rate, outChannels, bits, 5);
        else
            order.writer->SetMp3Encoder(LameEncSettings{});
        JobProgress progress;
        const JobResult r = runConversionJob(order, progress);
        QVERIFY2(r.outcome == JobResult::Outcome::Finished, qPrintable(r.message));
        QVERIFY2(r.notes.contains(Verified) == verified, qPrintable(r.notes.join("; ")));
    }

    // The gate decodes the output whole: one sample changed anywhere, and the file does not
    // take its name.
    void anOutputWithOtherSamplesIsRefused_data()
    {
        QTest::addColumn<double>("where"); // share of the audio where a byte is changed; < 0: none
        QTest::newRow("unchanged") << -1.0;
        QTest::newRow("first sample") << 0.0;
        QTest::newRow("middle") << 0.5;
        QTest::newRow("last sample") << 1.0;
    }
    void anOutputWithOtherSamplesIsRefused()
    {
        QFETCH(double, where);
        const QString target = tmp.filePath("proved.wav");
        QFile::remove(target);
        std::vector<float> samples = testaudio::musicSignal(44100, 2, 22050);
        for (float& s : samples)
            s = float(std::lrint(double(s) * 32767) / 32768.0); // on the 16-bit grid: written exactly
        PcmHash hash;
        hash.add(samples);
        OutputProof proof;
        proof.sourcePcm = hash.result();

        TempOutput temp(OutputDir::open(tmp.path()));
        AudioFile writer;
        writer.SetWavOutput(0, 0, 16);
        writer.OpenWrite(temp.path());
        writer.SetInputFormat(2, 44100, 16);
        writer.WriteSamples(samples);
        writer.Close();
        proof.length = writer.WrittenLength();
        if (where >= 0) {
            QFile f(temp.path());
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 dataBytes = qint64(samples.size()) * 2;
            const qint64 at = f.size() - dataBytes + std::min(qint64(where * double(dataBytes)), dataBytes - 1);
            QVERIFY(f.seek(at));
            const char old = f.read(1)[0];
            QVERIFY(f.seek(at));
            f.write(QByteArray(1, char(old ^ 1)));
        }
        QString why;
        try {
            passOutputGate(temp, target, proof);
        } catch (const std::exception& e) {
            why = QString::fromUtf8(e.what());
        }
        if (where < 0) {
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QVERIFY(QFile::exists(target));
        } else {
            QVERIFY2(why.contains("samples differ"), qPrintable(why));
            QVERIFY(!QFile::exists(target));
        }
    }
};

QTEST_GUILESS_MAIN(TestLosslessProof)
#include "test_lossless_proof.moc"
