#include "../conversion/ConversionFixture.h"

#include "CarriedTags.h"
#include "FileListModel.h"
#include "FileTags.h"
#include "LoudnessMeter.h"
#include "OutputFormat.h"
#include "TrackRange.h"

#include <QBuffer>
#include <QImage>

#include <cmath>

using namespace sondrel;

namespace {

// An album of three tones kept as one image: 8 s, the tracks starting at CD frames 0, 225
// (3.0 s) and 413 (5.507 s), as a cue sheet places them.
constexpr int TrackCount = 3;
constexpr std::array<int, TrackCount> StartCdFrame{0, 225, 413};
constexpr int ImageCdFrames = 600;
const QStringList Captions{"01 Low", "02 Mr. Jones", "03 High"};
const QStringList Titles{"Low", "Mr. Jones", "High"};

std::int64_t framesPerCdFrame(int rate)
{
    return rate / 75;
}
std::int64_t trackStart(int rate, int track)
{
    return StartCdFrame[std::size_t(track)] * framesPerCdFrame(rate);
}
std::int64_t trackEnd(int rate, int track)
{
    return (track + 1 < TrackCount ? StartCdFrame[std::size_t(track + 1)] : ImageCdFrames) * framesPerCdFrame(rate);
}

std::int64_t roundedMs(std::int64_t frames, int rate)
{
    return (frames * 1000 + rate / 2) / rate;
}

std::vector<float> imageSamples(int rate)
{
    const std::array<double, TrackCount> hz{440, 1000, 2500};
    const std::array<double, TrackCount> level{0.5, 0.2, 0.05};
    std::vector<float> samples(std::size_t(ImageCdFrames * framesPerCdFrame(rate)) * 2);
    for (int t = 0; t < TrackCount; ++t) {
        for (std::int64_t i = trackStart(rate, t); i < trackEnd(rate, t); ++i) {
            const double v = level[std::size_t(t)] * std::sin(2 * M_PI * hz[std::size_t(t)] * double(i) / rate);
            samples[std::size_t(2 * i)] = float(v);
            samples[std::size_t(2 * i + 1)] = float(0.8 * v);
        }
    }
    return samples;
}

QByteArray coverPng()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// The decoded PCM of path as raw little-endian integers of bits, by the ffmpeg command.
QByteArray rawPcm(const QString& path, int bits)
{
    return testaudio::runTool("ffmpeg", {"-v", "error", "-i", path, "-f", bits == 24 ? "s24le" : "s16le", "-"});
}

QMap<QString, QStringList> fieldsOf(const QString& path)
{
    QMap<QString, QStringList> fields;
    const CarriedTags tags = readCarriedTags(path);
    for (auto it = tags.fields.cbegin(); it != tags.fields.cend(); ++it)
        fields.insert(it.key().toUpper(), it.value());
    return fields;
}

double gainOf(const QMap<QString, QStringList>& fields, const QString& name)
{
    bool ok = false;
    const double value = QString(fields.value(name).value(0)).remove(QStringLiteral(" dB")).toDouble(&ok);
    return ok ? value : NAN;
}

} // namespace

// Rows that stand for one track of an album image, converted and measured through the window.
// The rows are put into the list as the adder puts them: the image's path, the track's range,
// its record and the sheet's other fields.
class TestCueConvert : public ConversionFixture {
    Q_OBJECT

    struct Image {
        QString path;
        int rate = 44100;
        int bits = 16;
    };

    // The image as FLAC or WAV; a FLAC image carries tags of the whole image and a cover.
    Image makeImage(const QString& name, const QString& container, int rate, int bits)
    {
        Image image{tmp.filePath("src/" + name + "." + container), rate, bits};
        QDir().mkpath(tmp.filePath("src"));
        const QString wav = container == "wav" ? image.path : tmp.filePath("src/" + name + "-pcm.wav");
        if (!testaudio::writeWav(wav, imageSamples(rate), rate, 2, bits))
            qFatal("cannot write %s", qPrintable(wav));
        if (container == "flac") {
            int code = -1;
            testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, "-c:a", "flac", image.path}, 60000, &code);
            if (code != 0)
                qFatal("ffmpeg cannot make %s", qPrintable(image.path));
            CarriedTags carried;
            carried.fields = {{"ALBUMARTIST", {"Image Artist"}},
                              {"COMPOSER", {"Image Composer"}},
                              {"LABEL", {"Image Label"}},
                              {"CUESHEET", {"FILE \"" + name + ".flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00"}},
                              {"REPLAYGAIN_TRACK_GAIN", {"-9.99 dB"}},
                              {"REPLAYGAIN_TRACK_PEAK", {"0.999"}},
                              {"ISRC", {"USABC0000001"}},
                              {"DISCNUMBER", {"1"}}};
            carried.pictures.push_back({coverPng(), "image/png", 3, {}});
            AudioInformation values;
            values.infoTitle = "Whole Image";
            values.infoArtist = "Image Artist";
            values.infoAlbum = "The Album";
            values.infoTrack = 1;
            writeFileTags(image.path, carried, values);
        }
        return image;
    }

    // The image's three tracks appended as the list's rows.
    void addTracks(const Image& image)
    {
        FileListModel& list = *w().list;
        const QFileInfo info(image.path);
        for (int t = 0; t < TrackCount; ++t) {
            const std::int64_t start = trackStart(image.rate, t), end = trackEnd(image.rate, t);
            const int row = list.append(Captions[t], image.path, QString(), QString(), rows::Unconverted);
            list.setDurationMs(row, roundedMs(end - start, image.rate));
            list.setSourceStamp(row, info.size(), info.lastModified().toMSecsSinceEpoch());
            TrackRange range;
            range.sheet = image.path + ".cue";
            range.number = t + 1;
            range.start = start;
            range.end = t + 1 < TrackCount ? end : -1;
            range.bytes = info.size() * (end - start) / trackEnd(image.rate, TrackCount - 1);
            range.fields = {{"ALBUMARTIST", {"Sheet Artist"}},
                            {"COMPOSER", {QString("Composer %1").arg(t + 1)}},
                            {"TRACKNUMBER", {QString("%1/3").arg(t + 1)}}};
            list.setTrackRange(row, range);
            list.setTrackInfo(row, TrackInfo{Titles[t], "Track Artist", "The Album", "Rock", t + 1, 2001, {}});
        }
    }

    void chooseFormat(const QString& name) { w().cb_format->setCurrentIndex(outputFormatNamed(name)->index); }
    QString outputOf(int track, const QString& format)
    {
        return out + "/" + Captions[track] + QString::fromLatin1(outputFormatNamed(format)->extension);
    }
    // The loudness of one track of the image, measured over the ffmpeg command's decode.
    std::unique_ptr<LoudnessMeter> trackMeter(const Image& image, int track)
    {
        int rate = 0, channels = 0;
        const std::vector<float> all = testaudio::ffmpegDecode(image.path, &rate, &channels);
        auto meter = std::make_unique<LoudnessMeter>(channels, rate);
        const std::int64_t start = trackStart(rate, track), end = trackEnd(rate, track);
        if (std::size_t(end * channels) > all.size())
            return nullptr;
        meter->add(all.data() + start * channels, std::size_t(end - start));
        meter->finish();
        return meter;
    }

private slots:
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    // Two tracks at a time, losslessly: the outputs together are the image, sample for sample.
    void losslessTracksMakeUpTheImage_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("format");
        QTest::newRow("FLAC image to FLAC") << "flac" << 44100 << 16 << "flac";
        QTest::newRow("FLAC image to WAV") << "flac" << 44100 << 16 << "wav";
        QTest::newRow("WAV image to FLAC") << "wav" << 44100 << 16 << "flac";
        QTest::newRow("WAV image to WAV") << "wav" << 44100 << 16 << "wav";
        QTest::newRow("48 kHz 24-bit FLAC image to FLAC") << "flac" << 48000 << 24 << "flac";
    }
    void losslessTracksMakeUpTheImage()
    {
        QFETCH(QString, container);
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(QString, format);
        const Image image = makeImage("album", container, rate, bits);
        setJobs(2);
        addTracks(image);
        chooseFormat(format);
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "finish"}));
        QByteArray joined;
        for (int t = 0; t < TrackCount; ++t) {
            QVERIFY2(w().list->toolTip(t).contains("verified bit for bit"), qPrintable(w().list->toolTip(t)));
            const QByteArray pcm = rawPcm(outputOf(t, format), bits);
            QCOMPARE(qint64(pcm.size()), (trackEnd(rate, t) - trackStart(rate, t)) * 2 * bits / 8);
            joined += pcm;
        }
        const QByteArray whole = rawPcm(image.path, bits);
        QVERIFY(!whole.isEmpty());
        QVERIFY(joined == whole);
    }

    // Lossy outputs hold exactly their track's length, as their headers state it and as they
    // decode.
    void lossyTracksHoldTheirLength_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("format");
        QTest::newRow("MP3 at 44.1 kHz") << 44100 << "mp3";
        QTest::newRow("Opus at 48 kHz") << 48000 << "opus";
    }
    void lossyTracksHoldTheirLength()
    {
        QFETCH(int, rate);
        QFETCH(QString, format);
        addTracks(makeImage("lossy", "flac", rate, 16));
        chooseFormat(format);
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "finish"}));
        for (int t = 0; t < TrackCount; ++t) {
            const std::int64_t length = trackEnd(rate, t) - trackStart(rate, t);
            AudioFile reader;
            reader.OpenRead(outputOf(t, format));
            QCOMPARE(reader.SampleRate(), rate);
            QCOMPARE(reader.SampleCount(), length);
            QCOMPARE(engineSamples(outputOf(t, format)), length);
            // The ffmpeg command's decode, its delay and padding trimmed, is as long.
            QCOMPARE(qint64(rawPcm(outputOf(t, format), 16).size()), length * 2 * 2);
            // The row shows its track's time, not the image's.
            QCOMPARE(w().list->durationMs(t), roundedMs(length, rate));
        }
    }

    // A track's output: the record's title and number, the sheet's fields over the image's,
    // the image's cover; nothing that described the whole image. Never copied, even where the
    // image's codec is the output's.
    void tagsOfATrack()
    {
        settings().write_int("basic", "copy same format", 1);
        addTracks(makeImage("tagged", "flac", 44100, 16));
        chooseFormat("flac");
        // The Output column plans the caption with its dot as a whole name, and no copy.
        QTRY_COMPARE_WITH_TIMEOUT(w().list->text(1, rows::Output), QString("02 Mr. Jones.flac"), 10000);
        QVERIFY2(!w().list->outputNote(1).contains("copied"), qPrintable(w().list->outputNote(1)));
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "finish"}));
        const QByteArray cover = coverPng();
        for (int t = 0; t < TrackCount; ++t) {
            const QString path = outputOf(t, "flac");
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
            QVERIFY2(!w().list->toolTip(t).contains("copied"), qPrintable(w().list->toolTip(t)));
            const FileTags tags = readFileTags(path);
            QCOMPARE(tags.values.infoTitle, Titles[t]);
            QCOMPARE(int(tags.values.infoTrack), t + 1);
            QCOMPARE(tags.values.infoArtist, QString("Track Artist"));
            const QMap<QString, QStringList> fields = fieldsOf(path);
            QCOMPARE(fields.value("ALBUMARTIST"), QStringList{"Sheet Artist"});
            QCOMPARE(fields.value("COMPOSER"), QStringList{QString("Composer %1").arg(t + 1)});
            QCOMPARE(fields.value("LABEL"), QStringList{"Image Label"});
            for (const char* gone : {"CUESHEET", "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "ISRC", "DISCNUMBER"})
                QVERIFY2(!fields.contains(gone), gone);
            QCOMPARE(int(tags.carried.pictures.size()), 1);
            QCOMPARE(tags.carried.pictures.front().data, cover);
        }
        QCOMPARE(outputNames(), QStringList({"01 Low.flac", "02 Mr. Jones.flac", "03 High.flac"}));
    }

    // ReplayGain of each track is its range's; the album is the three together. Run again with
    // one output gone and the rule "update": the kept two are measured from their ranges, so
    // the new output's album values are the same.
    void replayGainOfTracks()
    {
        const Image image = makeImage("gain", "flac", 44100, 16);
        settings().write_int("basic", "replaygain", 2);
        setJobs(2);
        addTracks(image);
        chooseFormat("flac");
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "finish"}));
        std::vector<std::unique_ptr<LoudnessMeter>> meters;
        std::vector<const LoudnessMeter*> all;
        for (int t = 0; t < TrackCount; ++t) {
            meters.push_back(trackMeter(image, t));
            QVERIFY(meters.back());
            all.push_back(meters.back().get());
        }
        const std::optional<double> albumGain = gainToReference(LoudnessMeter::together(all));
        QVERIFY(albumGain);
        QString albumText;
        for (int t = 0; t < TrackCount; ++t) {
            const QMap<QString, QStringList> fields = fieldsOf(outputOf(t, "flac"));
            const std::optional<double> expected = gainToReference(meters[std::size_t(t)]->measure().lufs);
            QVERIFY(expected);
            QVERIFY2(std::abs(gainOf(fields, "REPLAYGAIN_TRACK_GAIN") - *expected) < 0.006,
                     qPrintable(fields.value("REPLAYGAIN_TRACK_GAIN").value(0)));
            QVERIFY2(std::abs(gainOf(fields, "REPLAYGAIN_ALBUM_GAIN") - *albumGain) < 0.006,
                     qPrintable(fields.value("REPLAYGAIN_ALBUM_GAIN").value(0)));
            albumText = fields.value("REPLAYGAIN_ALBUM_GAIN").value(0);
        }

        QVERIFY(QFile::remove(outputOf(1, "flac")));
        settings().write_int("basic", "existing", 4); // update
        convert();
        QCOMPARE(statuses(), QStringList({"up to date", "finish", "up to date"}));
        QCOMPARE(fieldsOf(outputOf(1, "flac")).value("REPLAYGAIN_ALBUM_GAIN").value(0), albumText);
    }

    // A sheet that places a track after the image's end: that row fails, the others convert.
    void trackBeyondTheImageFails()
    {
        const Image image = makeImage("short", "wav", 44100, 16);
        addTracks(image);
        TrackRange range = *w().list->trackRange(2);
        range.start = trackEnd(image.rate, TrackCount - 1) + 588;
        w().list->setTrackRange(2, range);
        chooseFormat("wav");
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "failed"}));
        QVERIFY2(w().list->toolTip(2).contains("beyond the end"), qPrintable(w().list->toolTip(2)));
        QCOMPARE(outputNames(), QStringList({"01 Low.wav", "02 Mr. Jones.wav"}));
    }

    // Analyze Loudness of track rows measures each track's range, and the album of the three.
    void analyzeTrackRows()
    {
        const Image image = makeImage("analyze", "wav", 44100, 16);
        addTracks(image);
        w().item("AnalyzeLoudness1")->trigger();
        QVERIFY(QTest::qWaitFor([this] { return !s().flag_analyzing(); }, 60000));
        std::vector<std::unique_ptr<LoudnessMeter>> meters;
        std::vector<const LoudnessMeter*> all;
        for (int t = 0; t < TrackCount; ++t) {
            meters.push_back(trackMeter(image, t));
            all.push_back(meters.back().get());
            const std::optional<RowLoudness> row = w().list->loudness(t);
            QVERIFY(row && row->lufs);
            QVERIFY2(std::abs(*row->lufs - *meters.back()->measure().lufs) < 0.01, qPrintable(QString::number(*row->lufs)));
            QVERIFY(std::abs(row->peak - meters.back()->measure().peak) < 1e-4);
        }
        const std::optional<double> album = LoudnessMeter::together(all);
        for (int t = 0; t < TrackCount; ++t) {
            const std::optional<RowLoudness> row = w().list->loudness(t);
            QVERIFY(row->albumKnown && row->albumLufs);
            QVERIFY(std::abs(*row->albumLufs - *album) < 0.01);
        }
    }
};

QTEST_MAIN(TestCueConvert)
#include "test_cue_convert.moc"
