// Damaged input: truncations and flipped bytes of small files of every format, made the same
// way on every run (fixed seed, bounded count). Each must open and read to its end, telling
// how far that was from the count made at opening, or be refused with EngineError; never
// crash, never hang. Run it under the sanitizer build too.
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using sondrel::AudioFile;
using sondrel::EngineError;

class EngineFileMutation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void mutants_data();
    void mutants();
    void cleanupTestCase();

private:
    int m_opened = 0, m_refused = 0, m_corrected = 0;
    QTemporaryDir m_dir;
    QStringList m_fixtures;
};

void EngineFileMutation::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const std::vector<float> source = testaudio::musicSignal(22050, 2, 11025);
    auto make = [&](const QString& name, auto select) {
        AudioFile f;
        select(f);
        const QString path = m_dir.filePath(name);
        enginetest::writeAll(f, path, source, 2, 22050);
        m_fixtures << path;
    };
    make("fixture.wav", [](AudioFile& f) { f.SetWavOutput(0, 0, 16); });
    make("fixture-cbr.mp3", [](AudioFile& f) {
        sondrel::LameEncSettings s;
        s.Frequency = 22050;
        s.Bitrate = 64;
        f.SetMp3Encoder(s);
    });
    make("fixture-vbr.mp3", [](AudioFile& f) {
        sondrel::LameEncSettings s;
        s.Frequency = 44100;
        s.VbrDisabled = false;
        s.VbrQuality = 4;
        f.SetMp3Encoder(s);
    });
    make("fixture.ogg", [](AudioFile& f) { f.SetOggOutput(22050, 2, 64, 80, 48, -1); });
    make("fixture.wma", [](AudioFile& f) { f.SetWmaOutput(26); });
    // Real files with structures ours do not have: ID3v2 and APE tags, VBRI, cover art.
    for (const char* corpus : {"mutagen/vbri.mp3", "taglib/ape-id3v2.mp3", "beets/image.ogg", "taglib/alaw.wav",
                               "mutagen/silence-2.wma"})
        m_fixtures << testaudio::corpusDir() + "/" + corpus;
}

void EngineFileMutation::mutants_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QByteArray>("content");
    QRandomGenerator random(20240611); // the same mutants on every run
    for (const QString& path : m_fixtures) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray original = f.readAll();
        const qsizetype size = original.size();
        const QString base = QFileInfo(path).fileName();
        // Truncations: through the headers byte by byte region, then across the data.
        for (qsizetype cut : {qsizetype(0), qsizetype(1), qsizetype(4), qsizetype(12), qsizetype(44), qsizetype(100),
                              qsizetype(300), qsizetype(1000), size / 4, size / 2, size * 3 / 4, size - 100, size - 1}) {
            if (cut >= 0 && cut < size)
                QTest::newRow(qPrintable(QString("%1 cut at %2").arg(base).arg(cut))) << path << original.left(cut);
        }
        // Flipped bytes: mostly in the first kilobyte, where the headers are.
        for (int i = 0; i < 100; ++i) {
            QByteArray mutant = original;
            const int flips = 1 + int(random.bounded(4));
            QString where;
            for (int k = 0; k < flips; ++k) {
                const qsizetype pos = random.bounded(4) == 0 ? qsizetype(random.bounded(quint32(size)))
                                                             : qsizetype(random.bounded(quint32(std::min<qsizetype>(size, 1024))));
                mutant[pos] = char(mutant[pos] ^ char(1 + random.bounded(255)));
                where += QString::number(pos) + " ";
            }
            QTest::newRow(qPrintable(QString("%1 flipped at %2").arg(base, where.trimmed()))) << path << mutant;
        }
    }
}

void EngineFileMutation::mutants()
{
    QFETCH(QString, fixture);
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath("mutant." + QFileInfo(fixture).suffix());
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(content), content.size());
    }
    try {
        const enginetest::Decoded d = enginetest::readAll(path, 2000);
        ++m_opened;
        m_corrected += d.correction != 0;
        QVERIFY2(d.reads < 2000, "reading does not end");
        // Damaged data reads to where the decoder ends, not to the count: the difference is
        // told, nothing is made up.
        QCOMPARE(d.framesRead, d.frames());
        QCOMPARE(d.frames(), d.sampleCount + d.correction);
        QVERIFY(d.rate > 0 && d.channels > 0);
        // No claim beyond what the bytes can hold (so no endless reading either).
        const std::int64_t most = 4096 * std::max<std::int64_t>(content.size(), 1);
        QVERIFY2(d.sampleCount <= most && d.frames() <= most,
                 qPrintable(QString("%1 samples (%2 counted) from %3 bytes")
                                .arg(d.frames()).arg(d.sampleCount).arg(content.size())));
    } catch (const EngineError& e) {
        ++m_refused;
        QVERIFY2(QString::fromUtf8(e.what()).contains("mutant"), e.what());
    }
}

void EngineFileMutation::cleanupTestCase()
{
    // Both outcomes must occur, or the sweep tests less than it seems to.
    qInfo("%d mutants opened (%d ending away from their count), %d refused", m_opened, m_corrected, m_refused);
    QVERIFY(m_opened > 100);
    QVERIFY(m_refused > 10);
}

QTEST_GUILESS_MAIN(EngineFileMutation)
#include "tst_engine_file_mutation.moc"
