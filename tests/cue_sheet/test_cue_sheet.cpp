// Cue sheets: tags and track ranges (frames and exact samples), INDEX 00 gaps, broken sheets
// refused at their line, the text encodings sheets come in, several images, images renamed
// since the sheet was written, and sheets carried inside FLAC (written by metaflac) and
// WavPack (written by ffmpeg) files.
#include "CueSheet.h"
#include "EngineError.h"
#include "TestAudio.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace sondrel;

namespace {

constexpr qint64 frames(int m, int s, int f) { return (qint64(m) * 60 + s) * 75 + f; }

void touch(const QString& path, const QByteArray& bytes = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Each track's start and end, in order.
QList<qint64> ranges(const CueSheet& s)
{
    QList<qint64> r;
    for (const CueTrack& t : s.tracks)
        r << t.start << t.end;
    return r;
}

const char kThreeTracks[] =
    "REM GENRE \"Progressive Rock\"\r\n"
    "REM DATE 1994\r\n"
    "REM DISCNUMBER 1\r\n"
    "REM TOTALDISCS 2\r\n"
    "REM COMMENT \"ExactAudioCopy v1.6\"\r\n"
    "REM REPLAYGAIN_ALBUM_GAIN -7.20 dB\r\n"
    "CATALOG 0724383526122\r\n"
    "performer \"The Band\"\r\n"
    "TITLE \"First Album\"\r\n"
    "SONGWRITER Someone Else\r\n"
    "CDTEXTFILE \"album.cdt\"\r\n"
    "\r\n"
    "FILE \"album.flac\" WAVE\r\n"
    "  TRACK 01 AUDIO\r\n"
    "\tTITLE \"Opening\"\r\n"
    "\tISRC GBAYE9400001\r\n"
    "    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n"
    "    TITLE Second Song\r\n"
    "    PERFORMER \"Guest Singer\"\r\n"
    "    FLAGS dcp\tPRE\r\n"
    "    REM REPLAYGAIN_TRACK_GAIN -6.50 dB\r\n"
    "    INDEX 01 04:10:37\r\n"
    "  track 3 audio\r\n"
    "    title \"Last \"\r\n"
    "    index 01 09:00:74\r\n";

} // namespace

class TestCueSheet : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString sheetPath() const { return m_dir.filePath(QStringLiteral("album.cue")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        touch(m_dir.filePath(QStringLiteral("album.flac")));
        touch(m_dir.filePath(QStringLiteral("a.wav")));
        touch(m_dir.filePath(QStringLiteral("b.wav")));
    }

    void threeTracks()
    {
        const CueSheet s = parseCueSheet(kThreeTracks, sheetPath());
        QCOMPARE((QStringList{s.title, s.performer, s.songwriter, s.catalog}),
                 (QStringList{"First Album", "The Band", "Someone Else", "0724383526122"}));
        const QMap<QString, QString> rem{{"GENRE", "Progressive Rock"}, {"DATE", "1994"}, {"DISCNUMBER", "1"},
                                         {"TOTALDISCS", "2"}, {"COMMENT", "ExactAudioCopy v1.6"},
                                         {"REPLAYGAIN_ALBUM_GAIN", "-7.20 dB"}};
        QCOMPARE(s.rem, rem);
        QCOMPARE(s.files, QStringList{m_dir.filePath(QStringLiteral("album.flac"))});
        QCOMPARE(s.tracks.size(), std::size_t(3));
        const CueTrack& t2 = s.tracks[1];
        QCOMPARE(s.tracks[0].file, s.files[0]);
        QCOMPARE((QStringList{s.tracks[0].title, s.tracks[0].isrc, t2.title, t2.performer, s.tracks[2].title}),
                 (QStringList{"Opening", "GBAYE9400001", "Second Song", "Guest Singer", "Last "}));
        QCOMPARE(t2.flags, (QStringList{"DCP", "PRE"}));
        QCOMPARE(t2.rem, (QMap<QString, QString>{{"REPLAYGAIN_TRACK_GAIN", "-6.50 dB"}}));
        QCOMPARE(ranges(s), (QList<qint64>{0, frames(4, 10, 37), frames(4, 10, 37), frames(9, 0, 74),
                                           frames(9, 0, 74), -1}));
        QCOMPARE(cueTrackStartSample(t2, 44100), frames(4, 10, 37) * 588);
        QCOMPARE(cueTrackEndSample(t2, 44100), frames(9, 0, 74) * 588);
        QCOMPARE(cueTrackStartSample(t2, 48000), frames(4, 10, 37) * 640);
        QCOMPARE(cueTrackEndSample(t2, 48000), frames(9, 0, 74) * 640);
        QCOMPARE(cueTrackEndSample(s.tracks[2], 48000), -1);
    }

    void frameToSample_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("sample");
        QTest::newRow("CD frame") << qint64(1) << 44100 << qint64(588);
        QTest::newRow("CD second") << qint64(75) << 44100 << qint64(44100);
        QTest::newRow("48 kHz") << qint64(1) << 48000 << qint64(640);
        QTest::newRow("22.05 kHz") << qint64(1) << 22050 << qint64(294);
        QTest::newRow("96 kHz, 150 minutes") << frames(150, 0, 1) << 96000 << qint64(864000000) + 1280;
        QTest::newRow("8 kHz floors: 106.67") << qint64(1) << 8000 << qint64(106);
        QTest::newRow("8 kHz floors: 213.33") << qint64(2) << 8000 << qint64(213);
        QTest::newRow("8 kHz exact") << qint64(3) << 8000 << qint64(320);
        QTest::newRow("zero") << qint64(0) << 44100 << qint64(0);
    }

    void frameToSample()
    {
        QFETCH(qint64, frames);
        QFETCH(int, rate);
        QFETCH(qint64, sample);
        QCOMPARE(cueFrameToSample(frames, rate), sample);
    }

    // INDEX 00 gaps belong to the track before; a data track ends the audio before it and is
    // left out; PREGAP and POSTGAP are noted; minutes run past 99.
    void gapsAndDataTracks()
    {
        const QByteArray sheet = "FILE album.flac WAVE\n"
                                 "TRACK 01 AUDIO\n INDEX 00 00:00:00\n INDEX 01 00:00:32\n POSTGAP 00:02:00\n"
                                 "TRACK 02 AUDIO\n PREGAP 00:01:00\n INDEX 00 03:00:00\n INDEX 01 03:02:10\n"
                                 "TRACK 03 MODE1/2352\n INDEX 01 70:00:00\n"
                                 "TRACK 04 AUDIO\n INDEX 00 119:59:00\n INDEX 01 120:00:00\n INDEX 02 121:00:00\n";
        const CueSheet s = parseCueSheet(sheet, sheetPath());
        QCOMPARE(s.tracks.size(), std::size_t(3));
        QCOMPARE(s.tracks[2].number, 4);
        QCOMPARE(ranges(s), (QList<qint64>{0, frames(3, 2, 10), frames(3, 2, 10), frames(70, 0, 0),
                                           frames(120, 0, 0), -1}));
        QCOMPARE((QList<qint64>{s.tracks[0].index00, s.tracks[0].index01, s.tracks[1].index00, s.tracks[2].index01}),
                 (QList<qint64>{0, 32, frames(3, 0, 0), frames(120, 0, 0)}));
        QCOMPARE((QList<qint64>{s.tracks[0].postgap, s.tracks[1].pregap}), (QList<qint64>{150, 75}));
    }

    void brokenSheets_data()
    {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<QString>("message");
        const QByteArray file = "FILE \"album.flac\" WAVE\n";
        QTest::newRow("TRACK before FILE") << QByteArray("TITLE x\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n")
                                           << "album.cue, line 2: TRACK before FILE";
        QTest::newRow("INDEX before TRACK") << file + "INDEX 01 00:00:00\n" << "album.cue, line 2: INDEX before TRACK";
        QTest::newRow("PREGAP before TRACK") << file + "PREGAP 00:02:00\n" << "album.cue, line 2: PREGAP before TRACK";
        QTest::newRow("malformed time") << file + "TRACK 01 AUDIO\nINDEX 01 1:2\n"
                                        << "album.cue, line 3: malformed time \"1:2\"";
        QTest::newRow("time missing") << file + "TRACK 01 AUDIO\nINDEX 01\n" << "album.cue, line 3: malformed time \"\"";
        QTest::newRow("frames 75") << file + "TRACK 01 AUDIO\nINDEX 01 00:01:75\n"
                                   << "album.cue, line 3: time \"00:01:75\": frames must be below 75";
        QTest::newRow("seconds 60") << file + "TRACK 01 AUDIO\nINDEX 01 00:60:00\n"
                                    << "album.cue, line 3: time \"00:60:00\": seconds must be below 60";
        QTest::newRow("malformed TRACK") << file + "TRACK one AUDIO\n" << "album.cue, line 2: malformed TRACK";
        QTest::newRow("numbers repeat") << file + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\n"
                                        << "album.cue, line 4: track 1 after track 1";
        QTest::newRow("numbers fall") << file + "TRACK 05 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n"
                                      << "album.cue, line 4: track 3 after track 5";
        QTest::newRow("no INDEX 01") << file + "TRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:09:00\n"
                                     << "album.cue, line 2: track 1 has no INDEX 01";
        QTest::newRow("last without INDEX 01") << file + "TRACK 01 AUDIO\nINDEX 01 00:00:00\n\nTRACK 02 AUDIO\n\n"
                                               << "album.cue, line 5: track 2 has no INDEX 01";
        QTest::newRow("time backwards") << file + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                                                  "INDEX 01 05:00:00\nTRACK 03 AUDIO\nINDEX 01 04:59:74\n"
                                        << "album.cue, line 7: time 04:59:74 goes back";
        QTest::newRow("INDEX 00 after 01") << file + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 00 00:01:00\n"
                                           << "album.cue, line 4: INDEX 00 after INDEX 01";
        QTest::newRow("image missing") << QByteArray("REM\nFILE \"Other Album.wav\" WAVE\nTRACK 01 AUDIO\n")
                                       << "album.cue, line 2: the image \"Other Album.wav\" was not found";
        QTest::newRow("empty") << QByteArray() << "album.cue: no audio track";
        QTest::newRow("blank lines") << QByteArray("\r\n  \r\n\t\r\n") << "album.cue: no audio track";
        QTest::newRow("data only") << file + "TRACK 01 MODE1/2352\nINDEX 01 00:00:00\n" << "album.cue: no audio track";
        QTest::newRow("not a sheet") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "album.cue: no audio track";
    }

    void brokenSheets()
    {
        QFETCH(QByteArray, sheet);
        QFETCH(QString, message);
        try {
            parseCueSheet(sheet, sheetPath());
            QFAIL("the sheet was taken");
        } catch (const EngineError& e) {
            const QString got = QString::fromStdString(e.what());
            QVERIFY2(got.startsWith(message), qPrintable(got));
        }
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral("TITLE \"Café\"\r\nPERFORMER \"Ærø\"\r\nFILE \"album.flac\" WAVE\r\n"
                                            "TRACK 01 AUDIO\r\nTITLE \"naïve €5\"\r\nINDEX 01 00:00:00\r\n");
        QStringEncoder le(QStringConverter::Utf16LE), be(QStringConverter::Utf16BE);
        QTest::newRow("UTF-8") << text.toUtf8();
        QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + text.toUtf8();
        QTest::newRow("UTF-16 LE") << "\xFF\xFE" + QByteArray(le(text));
        QTest::newRow("UTF-16 BE") << "\xFE\xFF" + QByteArray(be(text));
        QTest::newRow("Windows-1252") << QByteArray("TITLE \"Caf\xE9\"\r\nPERFORMER \"\xC6r\xF8\"\r\n"
                                                    "FILE \"album.flac\" WAVE\r\nTRACK 01 AUDIO\r\n"
                                                    "TITLE \"na\xEFve \x80" "5\"\r\nINDEX 01 00:00:00\r\n");
    }

    void encodings()
    {
        QFETCH(QByteArray, bytes);
        const CueSheet s = parseCueSheet(bytes, sheetPath());
        QCOMPARE(s.title, QStringLiteral("Café"));
        QCOMPARE(s.performer, QStringLiteral("Ærø"));
        QCOMPARE(s.tracks.at(0).title, QStringLiteral("naïve €5"));
    }

    void windows1252Punctuation()
    {
        QCOMPARE(decodeCueText("\x93quoted\x94 \x96 \x85 \x99 \x9F \x8E \x81"),
                 QStringLiteral("\u201Cquoted\u201D \u2013 \u2026 \u2122 \u0178 \u017D \u0081"));
        // Valid UTF-8 is never taken for Windows-1252, even where both would decode.
        QCOMPARE(decodeCueText("\xC3\xA9"), QStringLiteral("é"));
    }

    // Tracks of each image are cut apart on their own; a track whose INDEX 00 lies at the end
    // of one image and its INDEX 01 in the next starts with the next.
    void severalFiles()
    {
        const QByteArray sheet = "FILE \"a.wav\" WAVE\n"
                                 "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                 "TRACK 02 AUDIO\nINDEX 01 02:00:00\n"
                                 "TRACK 03 AUDIO\nINDEX 00 04:30:00\n"
                                 "FILE \"b.wav\" WAVE\nINDEX 01 00:00:00\n"
                                 "TRACK 04 AUDIO\nINDEX 01 01:00:00\n"
                                 "FILE \"a.wav\" WAVE\n"
                                 "TRACK 05 AUDIO\nINDEX 01 00:30:00\n";
        const CueSheet s = parseCueSheet(sheet, sheetPath());
        const QString a = m_dir.filePath(QStringLiteral("a.wav")), b = m_dir.filePath(QStringLiteral("b.wav"));
        QCOMPARE(s.files, (QStringList{a, b}));
        QStringList files;
        for (const CueTrack& t : s.tracks)
            files << t.file;
        QCOMPARE(files, (QStringList{a, a, b, b, a}));
        QCOMPARE(ranges(s), (QList<qint64>{0, frames(2, 0, 0), frames(2, 0, 0), -1, 0, frames(1, 0, 0),
                                           frames(1, 0, 0), -1, 0, -1}));
    }

    void resolve_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("found");
        const QStringList flac{"album.flac"};
        QTest::newRow("as named") << flac << "album.flac" << "album.flac";
        QTest::newRow("wav named, flac present") << flac << "album.wav" << "album.flac";
        QTest::newRow("named one preferred") << QStringList{"album.flac", "album.wav"} << "album.wav" << "album.wav";
        QTest::newRow("extension order") << QStringList{"album.wv", "album.ape"} << "album.wav" << "album.ape";
        QTest::newRow("extension case") << QStringList{"album.FLAC"} << "album.wav" << "album.FLAC";
        QTest::newRow("name case") << flac << "ALBUM.FLAC" << "album.flac";
        QTest::newRow("name case, other extension") << flac << "Album.WAV" << "album.flac";
        QTest::newRow("no extension") << flac << "album" << "album.flac";
        QTest::newRow("dotted name") << QStringList{"live.at.home.flac"} << "live.at.home.wav" << "live.at.home.flac";
        QTest::newRow("Windows path") << flac << "C:\\Music\\Rips\\album.flac" << "album.flac";
        QTest::newRow("drive, no folder") << flac << "D:album.wav" << "album.flac";
        QTest::newRow("absolute path") << flac << "/home/someone/album.wav" << "album.flac";
        QTest::newRow("subfolder") << QStringList{"cd1/disc.flac"} << "cd1\\disc.wav" << "cd1/disc.flac";
        QTest::newRow("not an audio extension") << QStringList{"album.txt"} << "album.wav" << "";
        QTest::newRow("missing") << flac << "other.flac" << "";
    }

    void resolve()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, name);
        QFETCH(QString, found);
        QTemporaryDir dir;
        for (const QString& p : present)
            touch(dir.filePath(p));
        const QString sheet = dir.filePath(QStringLiteral("album.cue"));
        QCOMPARE(resolveCueFile(sheet, name), found.isEmpty() ? QString() : dir.filePath(found));
    }

    void readFromDisk()
    {
        const QString path = m_dir.filePath(QStringLiteral("disk.cue"));
        touch(path, kThreeTracks);
        QCOMPARE(readCueSheet(path).tracks.size(), std::size_t(3));

        const QString big = m_dir.filePath(QStringLiteral("big.cue"));
        touch(big, QByteArray(kMaxCueSheetBytes, ' ') + kThreeTracks);
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.cue"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const struct { QString path, message; } refused[] = {
            {big, "big.cue: too large"},
            {fifo, "fifo.cue: not a regular file"},
            {m_dir.path(), "not a regular file"},
            {m_dir.filePath(QStringLiteral("none.cue")), "none.cue: no such file"},
        };
        for (const auto& r : refused) {
            try {
                readCueSheet(r.path);
                QFAIL(qPrintable(r.path + " was read"));
            } catch (const EngineError& e) {
                QVERIFY2(QString::fromStdString(e.what()).contains(r.message), e.what());
            }
        }
    }

    // metaflac writes the CUESHEET block (sample offsets) and the CUESHEET comment.
    void embeddedInFlac()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("metaflac")).isEmpty())
            QSKIP("metaflac is not installed");
        QTemporaryDir dir;
        const QString flac = dir.filePath(QStringLiteral("image.flac"));
        int rc = -1;
        // 12 s at 44.1 kHz: a whole number of CD frames, as a CD's lead-out must be.
        testaudio::runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=12",
                                      "-ac", "2", "-ar", "44100", "-sample_fmt", "s16", flac}, 60000, &rc);
        QCOMPARE(rc, 0);
        QVERIFY(!embeddedCueSheet(flac).has_value());

        const QString cue = dir.filePath(QStringLiteral("block.cue"));
        touch(cue, "CATALOG 1234567890123\nFILE \"whatever.wav\" WAVE\n"
                   "TRACK 01 AUDIO\nISRC ABCDE1234567\nINDEX 01 00:00:00\n"
                   "TRACK 02 AUDIO\nINDEX 00 00:03:00\nINDEX 01 00:04:10\n"
                   "TRACK 03 AUDIO\nINDEX 01 00:08:74\n");
        testaudio::runTool("metaflac", {"--import-cuesheet-from=" + cue, flac}, 30000, &rc);
        QCOMPARE(rc, 0);
        const std::optional<CueSheet> block = embeddedCueSheet(flac);
        QVERIFY(block.has_value());
        QCOMPARE((QStringList{block->catalog, block->tracks.at(0).isrc, block->tracks.at(1).file}),
                 (QStringList{"1234567890123", "ABCDE1234567", flac}));
        QCOMPARE(block->files, QStringList{flac});
        QCOMPARE(block->tracks.size(), std::size_t(3));
        QCOMPARE(block->tracks[1].index00, frames(0, 3, 0));
        QCOMPARE(ranges(*block), (QList<qint64>{0, frames(0, 4, 10), frames(0, 4, 10), frames(0, 8, 74),
                                                frames(0, 8, 74), -1}));
        QList<qint64> samples;
        for (const CueTrack& t : block->tracks)
            samples << cueTrackStartSample(t, 44100) << cueTrackEndSample(t, 44100);
        QCOMPARE(samples, (QList<qint64>{0, frames(0, 4, 10) * 588, frames(0, 4, 10) * 588, frames(0, 8, 74) * 588,
                                         frames(0, 8, 74) * 588, -1}));

        // A comment that cannot be read leaves the block to stand in.
        testaudio::runTool("metaflac", {"--set-tag=CUESHEET=TRACK 01 AUDIO", flac}, 30000, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(embeddedCueSheet(flac).value().tracks.size(), std::size_t(3));
        testaudio::runTool("metaflac", {"--remove-tag=CUESHEET", flac}, 30000, &rc);
        QCOMPARE(rc, 0);

        // The comment, with titles, is taken before the block.
        const QString tagged = dir.filePath(QStringLiteral("tag.cue"));
        touch(tagged, "TITLE \"Tagged Café\"\nFILE \"elsewhere/rip.wav\" WAVE\n"
                      "TRACK 01 AUDIO\nTITLE One\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE Two\nINDEX 01 00:05:00\n");
        testaudio::runTool("metaflac", {"--set-tag-from-file=CUESHEET=" + tagged, flac}, 30000, &rc);
        QCOMPARE(rc, 0);
        const std::optional<CueSheet> comment = embeddedCueSheet(flac);
        QVERIFY(comment.has_value());
        QCOMPARE((QStringList{comment->title, comment->tracks.at(1).title, comment->tracks.at(1).file}),
                 (QStringList{"Tagged Café", "Two", flac}));
        QCOMPARE(cueTrackStartSample(comment->tracks.at(1), 44100), frames(0, 5, 0) * 588);
    }

    void embeddedInWavPack()
    {
        QTemporaryDir dir;
        const QString wv = dir.filePath(QStringLiteral("image.wv"));
        int rc = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=duration=3", "-ar", "48000",
                                      "-metadata", "CUESHEET=FILE \"image.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"Ærø\"\n"
                                                   "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:30\n",
                                      wv}, 60000, &rc);
        QCOMPARE(rc, 0);
        const std::optional<CueSheet> s = embeddedCueSheet(wv);
        QVERIFY(s.has_value());
        QCOMPARE(s->tracks.size(), std::size_t(2));
        QCOMPARE(s->tracks[0].title, QStringLiteral("Ærø"));
        QCOMPARE(s->tracks[0].file, wv);
        QCOMPARE(cueTrackStartSample(s->tracks[1], 48000), frames(0, 1, 30) * 640);

        const QString wav = dir.filePath(QStringLiteral("plain.wav"));
        QVERIFY(testaudio::writeMusicWav(wav, 44100, 2, 0.5));
        QVERIFY(!embeddedCueSheet(wav).has_value());
    }

    // Every file of the real-world corpus gives a sheet, none, or the engine's error.
    void corpusNeverCrashes()
    {
        int sheets = 0;
        for (const QString& rel : testaudio::corpusFiles()) {
            try {
                sheets += embeddedCueSheet(QDir(testaudio::corpusDir()).filePath(rel)).has_value();
            } catch (const EngineError&) {
            }
        }
        qInfo() << "sheets found in the corpus:" << sheets;
    }
};

QTEST_GUILESS_MAIN(TestCueSheet)
#include "test_cue_sheet.moc"
