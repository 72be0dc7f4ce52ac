// Reading a range of sample frames (one track of an album image): what a range delivers is
// exactly that slice of a read from the beginning, for every kind of source, wherever the
// range starts and ends; the cancel flag stops it.
#include "EngineError.h"
#include "EngineFileSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>

using sondrel::AudioFile;

namespace {

// A stereo signal of four seconds whose channels differ, so a swap or an offset shows.
const QString kSignal = "aevalsrc=0.5*sin(2*PI*440*t)+0.2*sin(2*PI*3000*t*t)|0.4*sin(2*PI*661*t)+0.1*random(0)"
                        ":s=%1:d=4";

struct Fixture {
    const char* name;
    int rate;
    QStringList codec; // ffmpeg's output options
    const char* extension;
};

const Fixture kFixtures[] = {
    {"flac", 44100, {"-c:a", "flac"}, "flac"},
    {"flac 4608", 44100, {"-c:a", "flac", "-frame_size", "4608"}, "flac"},
    {"flac 1152 24-bit", 44100, {"-c:a", "flac", "-frame_size", "1152", "-sample_fmt", "s32"}, "flac"},
    {"wav 16", 44100, {"-c:a", "pcm_s16le"}, "wav"},
    {"wav 24", 48000, {"-c:a", "pcm_s24le"}, "wav"},
    {"wavpack", 44100, {"-c:a", "wavpack"}, "wv"},
    {"mp3", 44100, {"-c:a", "libmp3lame", "-b:a", "128k"}, "mp3"},
    {"vorbis", 44100, {"-c:a", "libvorbis", "-q:a", "4"}, "ogg"},
    {"opus", 48000, {"-c:a", "libopus", "-b:a", "96k"}, "opus"},
    {"m4a", 44100, {"-c:a", "aac", "-b:a", "128k"}, "m4a"},
    {"flac in matroska", 44100, {"-c:a", "flac"}, "mka"}, // millisecond timestamps
};

// Reads the open reader to its end in pieces the size playback uses.
std::vector<float> readRest(AudioFile& reader)
{
    std::vector<float> out;
    for (int reads = 0; reads < 1 << 20; ++reads) {
        const sondrel::SampleArray chunk = reader.ReadSamples(4410 * reader.ChannelCount());
        if (chunk.empty())
            break;
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

std::vector<float> readRange(const QString& path, std::int64_t start, std::int64_t end)
{
    AudioFile reader;
    reader.OpenRead(path);
    reader.SetReadRange(start, end);
    return readRest(reader);
}

std::vector<float> slice(const std::vector<float>& whole, int channels, std::int64_t start, std::int64_t end)
{
    const auto frames = std::int64_t(whole.size()) / channels;
    const std::int64_t from = std::min(start, frames), to = end < 0 ? frames : std::min(end, frames);
    if (to <= from)
        return {};
    return {whole.begin() + from * channels, whole.begin() + to * channels};
}

// Bit for bit, with the first difference named.
bool sameSamples(const std::vector<float>& got, const std::vector<float>& want, QString* why)
{
    if (got.size() != want.size()) {
        *why = QString("%1 samples instead of %2").arg(got.size()).arg(want.size());
        return false;
    }
    for (std::size_t i = 0; i < got.size(); ++i)
        if (std::memcmp(&got[i], &want[i], sizeof(float)) != 0) {
            *why = QString("sample %1 is %2 instead of %3").arg(i).arg(got[i]).arg(want[i]);
            return false;
        }
    return true;
}

} // namespace

class EngineFileRange : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void rangeIsSliceOfWholeRead_data();
    void rangeIsSliceOfWholeRead();
    void consecutiveRangesMakeWhole_data();
    void consecutiveRangesMakeWhole();
    void refusedRanges();
    void cancelStopsRangeRead();
    void rangeKeepsSourceFacts();
    void corpusRangesAreSlices_data();
    void corpusRangesAreSlices();
    void lastTrackOfLongImage();

private:
    QString fixture(const char* name) const;
    void addFixtureRows();

    QTemporaryDir m_dir;
    QHash<QString, enginetest::Decoded> m_whole;
};

QString EngineFileRange::fixture(const char* name) const
{
    for (const Fixture& f : kFixtures)
        if (qstrcmp(f.name, name) == 0)
            return m_dir.filePath(QString(name).replace(' ', '_') + "." + f.extension);
    return {};
}

void EngineFileRange::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const Fixture& f : kFixtures) {
        const QString path = fixture(f.name);
        QVERIFY2(enginetest::ffmpeg(QStringList{"-f", "lavfi", "-i", kSignal.arg(f.rate)} + f.codec + QStringList{path}),
                 f.name);
        m_whole.insert(f.name, enginetest::readAll(path));
        QVERIFY2(m_whole[f.name].frames() > 100000, f.name);
    }
}

void EngineFileRange::addFixtureRows()
{
    QTest::addColumn<QString>("name");
    for (const Fixture& f : kFixtures)
        QTest::newRow(f.name) << QString(f.name);
}

void EngineFileRange::rangeIsSliceOfWholeRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::int64_t>("start");
    QTest::addColumn<std::int64_t>("end"); // -2: the stream's real end, -1: as given
    const std::int64_t mid = 588 * 75 * 1 + 123;
    for (const Fixture& f : kFixtures) {
        auto row = [&](const char* what, std::int64_t s, std::int64_t e) {
            QTest::addRow("%s: %s", f.name, what) << QString(f.name) << s << e;
        };
        row("from the start", 0, 30000);
        row("mid-frame to mid-frame", mid, 2 * mid + 7);
        row("to the stream's end", mid, -2);
        row("to the end, open", 2 * mid + 1, -1);
        row("one frame", 2 * mid + 1, 2 * mid + 2);
        row("late, short", 150001, 160000);
        row("past the end", 10'000'000, 10'000'100);
        row("past the end, open", 10'000'000, -1);
        row("running past the end", 3 * mid, 10'000'000);
    }
}

void EngineFileRange::rangeIsSliceOfWholeRead()
{
    QFETCH(QString, name);
    QFETCH(std::int64_t, start);
    QFETCH(std::int64_t, end);
    const enginetest::Decoded& whole = m_whole[name];
    if (end == -2)
        end = whole.frames();
    const QString path = fixture(name.toLatin1().constData());

    AudioFile reader;
    reader.OpenRead(path);
    reader.SetReadRange(start, end);
    const std::int64_t counted = end >= 0 ? end - start : std::max<std::int64_t>(0, whole.sampleCount - start);
    QCOMPARE(reader.SampleCount(), counted);
    QCOMPARE(reader.DurationMs(), (counted * 1000 + whole.rate / 2) / whole.rate);
    const std::vector<float> got = readRest(reader);
    const std::vector<float> want = slice(whole.samples, whole.channels, start, end);
    QString why;
    QVERIFY2(sameSamples(got, want, &why), qPrintable(why));
    QCOMPARE(reader.FramesRead(), std::int64_t(want.size()) / whole.channels);
    QVERIFY(reader.ReadSamples(4410 * whole.channels).empty());
}

void EngineFileRange::consecutiveRangesMakeWhole_data()
{
    addFixtureRows();
}

void EngineFileRange::consecutiveRangesMakeWhole()
{
    QFETCH(QString, name);
    const enginetest::Decoded& whole = m_whole[name];
    const QString path = fixture(name.toLatin1().constData());
    // CD-frame boundaries, as a cue sheet places them.
    const std::int64_t a = 588 * 97, b = 588 * 211;
    std::vector<float> joined = readRange(path, 0, a);
    for (const std::vector<float>& part : {readRange(path, a, b), readRange(path, b, -1)})
        joined.insert(joined.end(), part.begin(), part.end());
    QString why;
    QVERIFY2(sameSamples(joined, whole.samples, &why), qPrintable(why));
}

void EngineFileRange::refusedRanges()
{
    AudioFile reader;
    QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, reader.SetReadRange(0, -1)); // nothing open
    const QString path = fixture("flac");
    reader.OpenRead(path);
    QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, reader.SetReadRange(-1, 100));
    QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, reader.SetReadRange(100, 99));
    reader.SetReadRange(100, 100); // an empty range is one
    QVERIFY(reader.ReadSamples(4410 * 2).empty());
    QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, reader.SetReadRange(0, 100)); // set already
    reader.Close();
    reader.OpenRead(path);
    QVERIFY(!reader.ReadSamples(4410 * 2).empty());
    QVERIFY_THROWS_EXCEPTION(sondrel::EngineError, reader.SetReadRange(0, 100)); // reading began
}

void EngineFileRange::cancelStopsRangeRead()
{
    for (const char* name : {"flac", "mp3"}) {
        std::atomic<bool> stop{false};
        AudioFile reader;
        reader.SetCancelFlag(&stop);
        reader.OpenRead(fixture(name));
        reader.SetReadRange(588 * 75, -1);
        QVERIFY(!reader.ReadSamples(4410 * 2).empty());
        stop = true;
        // What was decoded already may still come; the file is not read any further.
        bool stopped = false;
        for (int reads = 0; reads < 100 && !stopped; ++reads) {
            try {
                if (reader.ReadSamples(4410 * 2).empty())
                    break;
            } catch (const sondrel::CancelledError&) {
                stopped = true;
            }
        }
        QVERIFY2(stopped, name);

        // Set before the range is: positioning itself stops.
        AudioFile second;
        second.SetCancelFlag(&stop);
        stop = false;
        second.OpenRead(fixture(name));
        stop = true;
        QVERIFY_THROWS_EXCEPTION(sondrel::CancelledError, second.SetReadRange(588 * 150, -1));
    }
}

void EngineFileRange::rangeKeepsSourceFacts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("image.wav");
    QVERIFY(QFile::copy(fixture("wav 24"), path));
    AudioFile reader;
    reader.OpenReadUncounted(path);
    reader.SetReadRange(48000, 96000);
    QCOMPARE(reader.SourceBits(), 24);
    QCOMPARE(reader.SampleRate(), 48000);
    QVERIFY(!reader.ReadSamples(4800 * 2).empty());
    QVERIFY(!reader.SourceChanged());
    QFile f(path);
    QVERIFY(f.open(QIODevice::Append));
    f.write(QByteArray(4096, '\0'));
    f.close();
    QVERIFY(reader.SourceChanged());
}

void EngineFileRange::corpusRangesAreSlices_data()
{
    QTest::addColumn<QString>("path");
    for (const QString& path : testaudio::corpusFiles())
        QTest::newRow(qPrintable(path)) << testaudio::corpusDir() + "/" + path;
}

// Real-world files, odd ones included: a range of one that opens is its slice; none crashes.
void EngineFileRange::corpusRangesAreSlices()
{
    QFETCH(QString, path);
    enginetest::Decoded whole;
    try {
        whole = enginetest::readAll(path);
    } catch (const sondrel::EngineError&) {
        QSKIP("refused");
    }
    const std::int64_t n = whole.frames();
    for (const auto& [start, end] : {std::pair{n / 3, 2 * n / 3}, std::pair{2 * n / 3 + 1, std::int64_t(-1)}}) {
        std::vector<float> got;
        try {
            got = readRange(path, start, end);
        } catch (const sondrel::EngineError& e) {
            QFAIL(e.what()); // a file read whole is read in parts too
        }
        QString why;
        QVERIFY2(sameSamples(got, slice(whole.samples, whole.channels, start, end), &why),
                 qPrintable(QString("%1 to %2: %3").arg(start).arg(end).arg(why)));
    }
}

// The time to reach the last three minutes of a sixty-minute FLAC, against decoding from the
// start: run by hand with SONDREL_LONG_IMAGE naming such a file.
void EngineFileRange::lastTrackOfLongImage()
{
    const QString path = qEnvironmentVariable("SONDREL_LONG_IMAGE");
    if (path.isEmpty())
        QSKIP("SONDREL_LONG_IMAGE names no file");
    AudioFile probe;
    probe.OpenRead(path);
    const std::int64_t start = probe.SampleCount() - std::int64_t(probe.SampleRate()) * 180;
    probe.Close();

    QElapsedTimer timer;
    timer.start();
    AudioFile ranged;
    ranged.OpenRead(path);
    ranged.SetReadRange(start, -1);
    const qint64 openMs = timer.elapsed();
    const std::vector<float> track = readRest(ranged);
    const qint64 rangedMs = timer.restart();

    AudioFile whole;
    whole.OpenRead(path);
    std::vector<float> tail; // only the track's part is kept: the whole would take gigabytes
    for (std::int64_t at = 0;;) {
        const sondrel::SampleArray chunk = whole.ReadSamples(4410 * whole.ChannelCount());
        if (chunk.empty())
            break;
        const std::int64_t frames = std::int64_t(chunk.size()) / whole.ChannelCount();
        const std::int64_t skip = std::clamp<std::int64_t>(start - at, 0, frames) * whole.ChannelCount();
        tail.insert(tail.end(), chunk.begin() + skip, chunk.end());
        at += frames;
    }
    const qint64 wholeMs = timer.elapsed();
    QString why;
    QVERIFY2(sameSamples(track, tail, &why), qPrintable(why));
    qInfo("last 3 minutes: %lld ms by range (%lld ms of it to open and place), %lld ms decoding from the start",
          rangedMs, openMs, wholeMs);
}

QTEST_GUILESS_MAIN(EngineFileRange)
#include "tst_engine_file_range.moc"
