// How long a source is: reading goes to the real end of the stream.
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class EngineFileLength : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void oggEndsAtItsLastGranuleOnlyWhereTheAudioDoes_data();
    void oggEndsAtItsLastGranuleOnlyWhereTheAudioDoes();

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

QTEST_GUILESS_MAIN(EngineFileLength)
#include "tst_engine_file_length.moc"
