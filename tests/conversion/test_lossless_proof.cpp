// Conversions that keep every sample are proved to: the job hashes the source as it decodes
// it, the gate decodes the output and compares, and the row is told "verified bit for bit".
#include "ConversionJob.h"
#include "OutputFiles.h"
#include "OutputGate.h"
#include "PcmHash.h"
#include "TestAudio.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace sondrel;

class TestLosslessProof : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    // Only an unchanged copy between lossless formats is verified; the others finish without.
    void onlyUnchangedLosslessCopiesAreVerified_data()
    {
        QTest::addColumn<QString>("codec");   // of the stereo source
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("bits");        // FLAC 0: as the source
        QTest::addColumn<int>("rate");        // 0: the source's
        QTest::addColumn<int>("channels");    // 0: the source's
        QTest::addColumn<bool>("verified");
        QTest::newRow("wav 16 to flac") << "pcm_s16le" << "flac" << 0 << 0 << 0 << true;
        QTest::newRow("flac 24 to wav 24") << "flac -sample_fmt s32" << "wav" << 24 << 0 << 0 << true;
        QTest::newRow("wav 8 to wav 8") << "pcm_u8" << "wav" << 8 << 0 << 0 << true;
        QTest::newRow("fewer bits") << "pcm_s24le" << "wav" << 16 << 0 << 0 << false;
        QTest::newRow("more bits") << "pcm_s16le" << "flac" << 24 << 0 << 0 << false;
        QTest::newRow("another rate") << "pcm_s16le" << "flac" << 0 << 48000 << 0 << false;
        QTest::newRow("to mono") << "pcm_s16le" << "flac" << 0 << 0 << 1 << false;
        QTest::newRow("32-bit source") << "pcm_s32le" << "wav" << 32 << 0 << 0 << false;
        QTest::newRow("lossy output") << "pcm_s16le" << "mp3" << 0 << 0 << 0 << false;
    }
    void onlyUnchangedLosslessCopiesAreVerified()
    {
        QFETCH(QString, codec);
        QFETCH(QString, output);
        QFETCH(int, bits);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(bool, verified);
        const QString name = QString(QTest::currentDataTag()).replace(' ', '_');
        const QString source = tmp.filePath(name + (codec.startsWith("flac") ? ".flac" : ".wav"));
        int code = -1;
        testaudio::runTool("ffmpeg", QString("-v error -f lavfi -i aevalsrc=0.4*sin(2*PI*440*t)+0.001*random(0)|"
                                             "0.3*sin(2*PI*660*t):s=44100:d=1 -c:a %1").arg(codec).split(' ')
                                         << source, 60000, &code);
        QCOMPARE(code, 0);
        JobOrder order;
        order.source = source;
        order.target = tmp.filePath(name + ".out." + output);
        order.dir = OutputDir::open(tmp.path());
        order.writer = std::make_unique<AudioFile>();
        if (output == "wav")
            order.writer->SetWavOutput(rate, channels, bits);
        else if (output == "flac")
            order.writer->SetFlacOutput(rate, channels, bits, 5);
        else
            order.writer->SetMp3Encoder(LameEncSettings{});
        JobProgress progress;
        const JobResult r = runConversionJob(order, progress);
        QVERIFY2(r.outcome == JobResult::Outcome::Finished, qPrintable(r.message));
        QVERIFY2(r.notes.contains("verified bit for bit") == verified, qPrintable(r.notes.join("; ")));
    }

    // One bit changed in the written file, and it does not take its name.
    void anOutputWithOtherSamplesIsRefused()
    {
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
        QFile f(temp.path());
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(f.size() - qint64(samples.size())));
        const char middle = f.peek(1)[0];
        f.write(QByteArray(1, char(middle ^ 1)));
        f.close();
        const QString target = tmp.filePath("proved.wav");
        QString why;
        try {
            passOutputGate(temp, target, proof);
        } catch (const OutputError& e) {
            why = QString::fromUtf8(e.what());
        }
        QVERIFY2(why.contains("samples differ"), qPrintable(why));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestLosslessProof)
#include "test_lossless_proof.moc"
