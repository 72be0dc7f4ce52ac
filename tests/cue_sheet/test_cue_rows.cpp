// Albums kept as one image with a cue sheet, listed in the real window: a sheet added (by the
// open dialog, a folder scan, with its image beside it) becomes one row per track with its
// caption, time, size share, record and range; sheets in other encodings; a sheet carried in a
// FLAC image; a broken sheet refused with its line; the command line's listing of the tracks.
#include "AudioFile.h"
#include "FileTags.h"
#include "OutputFormat.h"
#include "OutputPlanner.h"
#include "TagEditor.h"
#include "FileListModel.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace sondrel;

namespace {
// 44.1 kHz: 588 samples a CD frame.
constexpr qint64 frames(int m, int s, int f) { return (qint64(m) * 60 * 75 + s * 75 + f) * 588; }
} // namespace

class TestCueRows : public WindowFixture {
    Q_OBJECT

    QString folder;

    // Three tones back to back, 8 s of 44.1 kHz stereo in all.
    QString image(const QString& name, const QStringList& codec = {})
    {
        const QString path = QDir(folder).filePath(name);
        int rc = -1;
        testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                                 "sine=frequency=440:duration=8", "-ac", "2", "-ar", "44100",
                                                 "-sample_fmt", "s16", "-metadata", "title=Whole Image",
                                                 "-metadata", "artist=Image Artist", "-metadata", "album=Image Album",
                                                 "-metadata", "genre=Image Genre"} + codec + QStringList{path},
                           60000, &rc);
        if (rc != 0)
            qFatal("ffmpeg cannot write %s", qPrintable(path));
        return path;
    }
    QString sheet(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(folder).filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // The album's sheet: it names a .wav where the folder holds the .flac; track 2 has a
    // pregap (INDEX 00) that belongs to track 1.
    static QByteArray albumSheet(const QByteArray& imageName = "album.wav")
    {
        return "REM GENRE Jazz\nREM DATE 1994-05-02\nREM DISCNUMBER 2\nREM TOTALDISCS 3\n"
               "PERFORMER \"The Band\"\nTITLE \"The Album\"\nFILE \"" + imageName + "\" WAVE\n"
               "  TRACK 01 AUDIO\n    TITLE \"Mr. Jones\"\n    PERFORMER \"Singer\"\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE \"Second\"\n    INDEX 00 00:02:50\n    INDEX 01 00:03:00\n"
               "  TRACK 03 AUDIO\n    SONGWRITER \"Writer\"\n    INDEX 01 00:05:37\n";
    }
    QStringList column(rows::Column c)
    {
        QStringList out;
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->text(i, c);
        return out;
    }
    void clearList()
    {
        w().list->clear();
        prompts->messages.clear();
    }

private slots:
    void initTestCase()
    {
        startFresh();
        folder = tmp.filePath("library/album");
        QVERIFY(QDir().mkpath(folder));
        image("album.flac");
        sheet("album.cue", albumSheet());
        // The same album with a WAV image, in a folder of its own.
        const QString flacFolder = folder;
        folder = tmp.filePath("library/wavalbum");
        QVERIFY(QDir().mkpath(folder));
        image("album.wav");
        sheet("album.cue", albumSheet());
        folder = flacFolder;
    }
    void cleanupTestCase() { stop(); }

    // One row per track: caption, time, size share, range, and the record from the sheet over
    // the image's tags. The sheet names album.wav: the FLAC beside it is taken where there is
    // no WAV.
    void sheetListsItsTracks_data()
    {
        QTest::addColumn<QString>("albumFolder");
        QTest::addColumn<QString>("imageName");
        QTest::newRow("FLAC image") << "album" << "album.flac";
        QTest::newRow("WAV image") << "wavalbum" << "album.wav";
    }
    void sheetListsItsTracks()
    {
        QFETCH(QString, albumFolder);
        QFETCH(QString, imageName);
        const QString dir = tmp.filePath("library/" + albumFolder);
        clearList();
        add({QDir(dir).filePath("album.cue")});
        QVERIFY(prompts->lastFilters.first().contains("*.cue"));
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(column(rows::FileName), (QStringList{"01 Mr. Jones", "02 Second", "Track 03"}));
        const QString flac = QDir(dir).filePath(imageName);
        QCOMPARE(column(rows::FullPath), (QStringList{flac, flac, flac}));
        const qint64 total = 8 * 44100;
        const qint64 bounds[] = {0, frames(0, 3, 0), frames(0, 5, 37), total};
        qint64 shares = 0;
        for (int row = 0; row < 3; ++row) {
            const std::optional<TrackRange> r = w().list->trackRange(row);
            QVERIFY(r.has_value());
            QCOMPARE(r->number, row + 1);
            QCOMPARE(r->start, bounds[row]);
            QCOMPARE(r->end, bounds[row + 1]);
            QCOMPARE(w().list->durationMs(row), ((bounds[row + 1] - bounds[row]) * 1000 + 22050) / 44100);
            shares += r->bytes;
        }
        QCOMPARE(column(rows::Time), (QStringList{"00:00:03", "00:00:02", "00:00:02"}));
        QVERIFY(std::abs(shares - QFileInfo(flac).size()) <= 2);

        const TrackInfo one = w().list->trackInfo(0);
        QCOMPARE((QStringList{one.title, one.artist, one.album, one.genre}),
                 (QStringList{"Mr. Jones", "Singer", "The Album", "Jazz"}));
        QCOMPARE(one.track, 1);
        QCOMPARE(one.year, 1994);
        const TrackInfo three = w().list->trackInfo(2);
        QCOMPARE((QStringList{three.title, three.artist}), (QStringList{"", "The Band"}));
        const OtherTags other = w().list->otherTags(2);
        QCOMPARE((QStringList{other.albumArtist, other.composer, other.trackTotal, other.disc, other.discTotal}),
                 (QStringList{"The Band", "Writer", "3", "2/3", "3"}));
        const std::optional<TrackRange> r = w().list->trackRange(2);
        QCOMPARE(r->fields.value("DATE"), QStringList{"1994-05-02"});
        QCOMPARE(r->sheet, QDir(dir).filePath("album.cue"));
    }

    // Under a name pattern a track shows the pattern's name (it has no file name of its own);
    // its caption stays what the sheet made it, and shows again once the pattern is cleared.
    void patternNamesTheTracks()
    {
        clearList();
        w().cb_format->setCurrentIndex(outputFormatNamed("mp3")->index);
        add({QDir(folder).filePath("album.cue")});
        const auto shown = [this] {
            QStringList out;
            for (int i = 0; i < w().list->count(); ++i)
                out << w().list->data(w().list->index(i, rows::FileName)).toString();
            return out;
        };
        settings().write_string("basic", "name pattern", "{albumartist}/{track:02} - {title|\"Untitled\"}");
        w().planner()->schedule(); // as closing the settings dialog does
        QTRY_COMPARE_WITH_TIMEOUT(shown(), (QStringList{"01 - Mr. Jones", "02 - Second", "03 - Untitled"}), 10000);
        QCOMPARE(column(rows::Output).first(), QStringLiteral("The Band/01 - Mr. Jones.mp3"));
        QCOMPARE(column(rows::FileName), (QStringList{"01 Mr. Jones", "02 Second", "Track 03"}));
        settings().write_string("basic", "name pattern", "");
        w().planner()->schedule();
        QTRY_COMPARE_WITH_TIMEOUT(shown(), (QStringList{"01 Mr. Jones", "02 Second", "Track 03"}), 10000);
    }

    // A sheet over two images: each track keeps to its own image, the last of each image runs
    // to that image's end, and the numbering and total go across both.
    void severalImagesInOneSheet()
    {
        clearList();
        const QString a = image("disc a.flac"), b = image("disc b.wav");
        const QString cue = sheet("two.cue", "FILE \"disc a.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                             "TRACK 02 AUDIO\nINDEX 01 00:04:00\nFILE \"disc b.wav\" WAVE\n"
                                             "TRACK 03 AUDIO\nINDEX 01 00:00:00\nTRACK 04 AUDIO\nINDEX 01 00:06:00\n");
        add({cue});
        QFile::remove(cue);
        QFile::remove(a);
        QFile::remove(b);
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(column(rows::FullPath), (QStringList{a, a, b, b}));
        QList<qint64> bounds;
        for (int row = 0; row < 4; ++row)
            bounds << w().list->trackRange(row)->start << w().list->trackRange(row)->end;
        QCOMPARE(bounds, (QList<qint64>{0, frames(0, 4, 0), frames(0, 4, 0), 8 * 44100, 0, frames(0, 6, 0),
                                        frames(0, 6, 0), 8 * 44100}));
        QCOMPARE(w().list->otherTags(3).trackTotal, QStringLiteral("4"));
    }

    // Added, edited in the tag editor and converted through the window: the tracks joined
    // are the image, and the edited title names its track's file.
    void addedTracksConvert()
    {
        clearList();
        const QString out = tmp.filePath("window-out");
        QVERIFY(QDir().mkpath(out));
        settings().write_string("basic", "output directory", out);
        w().cb_format->setCurrentIndex(outputFormatNamed("wav")->index);
        add({QDir(folder).filePath("album.cue")});
        w().lv->selectRow(1);
        prompts->dialogActions.push_back([](QDialog& d) {
            auto& editor = static_cast<Tfm_id3&>(d);
            editor.edt_title->setText("Edited");
            editor.btn_ok->click();
        });
        w().item("ID31")->trigger();
        QCOMPARE(w().list->trackInfo(1).title, QStringLiteral("Edited"));
        w().item("Convert1")->trigger();
        QVERIFY(waitConverted());
        QCOMPARE(column(rows::Status), (QStringList{"finish", "finish", "finish"}));
        std::vector<float> joined;
        for (const char* name : {"01 Mr. Jones.wav", "Edited.wav", "Track 03.wav"}) {
            const std::vector<float> track = decode(out + "/" + name);
            joined.insert(joined.end(), track.begin(), track.end());
        }
        QVERIFY(joined == decode(QDir(folder).filePath("album.flac")));
        const FileTags tags = readFileTags(out + "/Edited.wav", true);
        QCOMPARE(tags.values.infoTitle, QStringLiteral("Edited"));
        QCOMPARE(tags.carried.fields.value("ALBUMARTIST"), QStringList{"The Band"});
    }

    // The image is listed once, as the sheet's tracks: a folder scan that finds both, and the
    // open dialog given both.
    void imageBesideItsSheetIsListedOnce_data()
    {
        QTest::addColumn<bool>("scan");
        QTest::newRow("folder scan") << true;
        QTest::newRow("both chosen") << false;
    }
    void imageBesideItsSheetIsListedOnce()
    {
        QFETCH(bool, scan);
        clearList();
        const QString other = image("other.wav");
        if (scan) {
            w().ScanFolder(folder, false);
            QVERIFY(waitAdded());
        } else {
            add({QDir(folder).filePath("album.flac"), QDir(folder).filePath("album.cue"), other});
        }
        QFile::remove(other);
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(column(rows::FileName), (QStringList{"01 Mr. Jones", "02 Second", "Track 03", "other.wav"}));
    }

    // A ripper's sheet beside the tracks it wrote (one whole file a track) cuts nothing: the
    // files are listed as themselves, once, and the sheet is left out without a word.
    void sheetOfWholeFilesIsLeftOut_data()
    {
        QTest::addColumn<bool>("scan");
        QTest::newRow("folder scan") << true;
        QTest::newRow("chosen with its files") << false;
    }
    void sheetOfWholeFilesIsLeftOut()
    {
        QFETCH(bool, scan);
        clearList();
        QTemporaryDir dir;
        const QString saved = folder;
        folder = dir.path();
        const QString one = image("01 First.flac"), two = image("02 Second.flac");
        const QString cue = sheet("rip.cue", "FILE \"01 First.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"Sheet One\"\n"
                                             "INDEX 01 00:00:00\nFILE \"02 Second.wav\" WAVE\nTRACK 02 AUDIO\n"
                                             "INDEX 00 00:00:00\nINDEX 01 00:00:32\n");
        folder = saved;
        if (scan) {
            w().ScanFolder(dir.path(), false);
            QVERIFY(waitAdded());
        } else {
            add({cue, one, two});
        }
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(column(rows::FileName), (QStringList{"01 First.flac", "02 Second.flac"}));
        QVERIFY(!w().list->trackRange(0).has_value());
    }

    // Sheets as editors save them: the accented title reads right in every encoding.
    void sheetEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral("FILE \"album.flac\" WAVE\nTRACK 01 AUDIO\nTITLE \"Café Ærø\"\nINDEX 01 00:00:00\n");
        QTest::newRow("UTF-8") << text.toUtf8();
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        QByteArray utf16("\xFF\xFE");
        for (const QChar c : text)
            utf16 += char(c.unicode() & 0xFF), utf16 += char(c.unicode() >> 8);
        QTest::newRow("UTF-16 LE") << utf16;
        QTest::newRow("Windows-1252") << text.toLatin1();
    }
    void sheetEncodings()
    {
        QFETCH(QByteArray, bytes);
        clearList();
        add({sheet("encoded.cue", bytes)});
        QFile::remove(QDir(folder).filePath("encoded.cue"));
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(column(rows::FileName), QStringList{"01 Café Ærø"});
        QCOMPARE(w().list->durationMs(0), 8000);
    }

    // What cannot be used is refused with the reason; nothing else of the adding is lost.
    void brokenSheetsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("index before track") << QByteArray("FILE \"album.flac\" WAVE\nINDEX 01 00:00:00\n")
                                            << "broken.cue, line 2: INDEX before TRACK";
        QTest::newRow("missing image") << QByteArray("FILE \"gone.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n")
                                       << "broken.cue, line 1: the image \"gone.flac\" was not found";
        QTest::newRow("track past the end")
            << QByteArray("FILE \"album.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 09:00:00\n")
            << "track 2 starts after the end of album.flac";
    }
    void brokenSheetsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        clearList();
        const QString broken = sheet("broken.cue", bytes);
        add({broken, QDir(folder).filePath("album.cue")});
        QFile::remove(broken);
        QCOMPARE(prompts->texts(), QStringList{broken + " is an invalid audio file! (" + reason + ")"});
        QCOMPARE(w().list->count(), 3);
    }

    // A FLAC image that carries its sheet (metaflac writes the CUESHEET block) is listed track
    // by track when it is added alone.
    void embeddedSheet()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("metaflac")).isEmpty())
            QSKIP("metaflac is not installed");
        clearList();
        QTemporaryDir dir;
        const QString saved = folder;
        folder = dir.path();
        const QString flac = image("carrier.flac");
        folder = saved;
        QFile cue(dir.filePath("block.cue"));
        QVERIFY(cue.open(QIODevice::WriteOnly));
        cue.write("FILE \"x.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:04:10\n");
        cue.close();
        int rc = -1;
        testaudio::runTool("metaflac", {"--import-cuesheet-from=" + cue.fileName(), flac}, 30000, &rc);
        QCOMPARE(rc, 0);
        QVERIFY(cue.remove());
        add({flac});
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(column(rows::FileName), (QStringList{"Track 01", "Track 02"}));
        QCOMPARE(w().list->trackRange(1)->start, frames(0, 4, 10));
        QCOMPARE(w().list->trackRange(1)->end, 8 * 44100);
        // The image's own tags stand where the sheet has none.
        QCOMPARE(w().list->trackInfo(0).album, QStringLiteral("Image Album"));
        QCOMPARE(w().list->trackInfo(0).title, QString());

        // A carried sheet of one track is the file itself.
        const QString single = dir.filePath("single.flac");
        QVERIFY(QFile::copy(flac, single));
        QVERIFY(cue.open(QIODevice::WriteOnly));
        cue.write("FILE \"x.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
        cue.close();
        testaudio::runTool("metaflac", {"--remove", "--block-type=CUESHEET", single}, 30000, &rc);
        testaudio::runTool("metaflac", {"--import-cuesheet-from=" + cue.fileName(), single}, 30000, &rc);
        QCOMPARE(rc, 0);
        clearList();
        add({single});
        QCOMPARE(column(rows::FileName), QStringList{"single.flac"});
        QVERIFY(!w().list->trackRange(0).has_value());
    }

    // The program's output lines, one list of fields per line; exit status in *code.
    QList<QStringList> program(const QStringList& args, int* code)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        p.setProcessEnvironment(env);
        p.start(SONDREL_PROGRAM, args);
        *code = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        QList<QStringList> lines;
        for (const QString& line : QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            lines << line.split('\t');
        return lines;
    }
    static std::vector<float> decode(const QString& path)
    {
        AudioFile f;
        f.OpenRead(path);
        std::vector<float> all;
        for (SampleArray a = f.ReadSamples(44100); !a.empty(); a = f.ReadSamples(44100))
            all.insert(all.end(), a.begin(), a.end());
        return all;
    }

    // The command line takes the same tracks: one line per track, named by sheet and number;
    // converted, the tracks joined are the image; analyzed, each track is measured.
    void commandLineTakesTracks()
    {
        const QString out = tmp.filePath("out");
        const QString sheetPath = QDir(folder).filePath("album.cue");
        int code = -1;
        // A library of two albums: each track keeps its folders below the output.
        QList<QStringList> lines = program({"--convert", "--dry-run", "--keep-folders", "--format", "mp3", "--out", out,
                                            tmp.filePath("library")}, &code);
        QCOMPARE(code, 0);
        const QString wavSheet = tmp.filePath("library/wavalbum/album.cue");
        QCOMPARE(lines, (QList<QStringList>{{sheetPath + " track 1", out + "/library/album/01 Mr. Jones.mp3", "convert"},
                                            {sheetPath + " track 2", out + "/library/album/02 Second.mp3", "convert"},
                                            {sheetPath + " track 3", out + "/library/album/Track 03.mp3", "convert"},
                                            {wavSheet + " track 1", out + "/library/wavalbum/01 Mr. Jones.mp3", "convert"},
                                            {wavSheet + " track 2", out + "/library/wavalbum/02 Second.mp3", "convert"},
                                            {wavSheet + " track 3", out + "/library/wavalbum/Track 03.mp3", "convert"}}));

        lines = program({"--convert", "--format", "flac", "--existing", "overwrite", "--out", out, sheetPath}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(lines.size(), 3);
        std::vector<float> joined;
        for (const char* name : {"01 Mr. Jones.flac", "02 Second.flac", "Track 03.flac"}) {
            const std::vector<float> track = decode(out + "/" + name);
            joined.insert(joined.end(), track.begin(), track.end());
        }
        QVERIFY(joined == decode(QDir(folder).filePath("album.flac")));

        lines = program({"--analyze", sheetPath}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(lines.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lines[i].first(), sheetPath + QStringLiteral(" track %1").arg(i + 1));
        // One tone throughout: every track is as loud as the others, and so is the album.
        QVERIFY(std::abs(lines[0][1].toDouble() - lines[2][1].toDouble()) < 0.2);
        QCOMPARE(lines[0][4], lines[2][4]);
    }
};

QTEST_MAIN(TestCueRows)
#include "test_cue_rows.moc"
