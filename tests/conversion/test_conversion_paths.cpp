#include "CarriedTags.h"
#include "ConversionFixture.h"
#include "FileTags.h"
#include "TagEditor.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

using namespace sondrel;

// Where outputs go and what they are named, through the window: titles typed in the tag
// editor keep their text, names fit the file system, pictures and stale temporary files
// beside the work are looked at before they are opened, and no output follows a link out of
// the output folder.
class TestConversionPaths : public ConversionFixture {
    Q_OBJECT

    void clickHeader(int section)
    {
        QHeaderView* h = w().lv->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(section) + 5, h->height() / 2));
    }
    static void makeFifo(const QString& path) { QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0); }
    static void link(const QString& target, const QString& path) { QVERIFY(QFile::link(target, path)); }
    // Every file below folder, hidden ones included, relative to it.
    static QStringList filesBelow(const QString& folder)
    {
        QStringList found;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(folder).relativeFilePath(it.next());
        found.sort();
        return found;
    }
    // A source with tags the record holds and tags only output names use.
    QString taggedSource(const QString& name)
    {
        const QString path = source(name, 0.2, 8000, 1);
        CarriedTags carried;
        carried.fields["ALBUMARTIST"] = {"Band"};
        AudioInformation values;
        values.infoTitle = "Old";
        values.infoArtist = "Art";
        values.infoAlbum = "Alb";
        values.infoTrack = 3;
        writeFileTags(path, carried, values);
        return path;
    }
    void usePattern(const QString& pattern, bool portable)
    {
        settings().write_string("basic", "name pattern", pattern);
        settings().write_int("basic", "portable names", portable ? 1 : 0);
    }
    void keepFolders()
    {
        QTest::mouseClick(w().cbx_keep, Qt::LeftButton, {}, QPoint(5, w().cbx_keep->height() / 2));
        QCOMPARE(settings().read_int("basic", "keep folders", -1), 1);
    }

    void editTitleChecked(int row, const QString& title)
    {
        editTitle(row, title);
        QCOMPARE(w().list->text(row, rows::FileName), title);
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    // A typed title keeps every character (the extension is appended, "/" becomes "-"); a
    // caption that is still a file name has its extension replaced. A name too long for the
    // file system is cut at a character boundary before the extension. Sorting the list keeps
    // each row's kind of caption.
    void titlesKeepTheirText()
    {
        // 301 bytes: one ASCII letter, then 75 characters of four bytes (two UTF-16 units).
        QString longTitle = QStringLiteral("a");
        for (int i = 0; i < 75; ++i)
            longTitle += QString::fromUtf8("\xF0\x9D\x84\x9E"); // U+1D11E MUSICAL SYMBOL G CLEF
        QCOMPARE(longTitle.toUtf8().size(), 301);
        // 251 bytes left before ".wav": the letter and 62 whole characters (249 bytes).
        const QString shortened = longTitle.left(1 + 62 * 2) + ".wav";

        const QString s = source("n.wav", 0.2, 8000, 1);
        add({s, s, s, s, s});
        editTitleChecked(0, "Vol. 2: Intro/Outro");
        editTitleChecked(1, longTitle);
        editTitleChecked(2, "a.b.c");
        w().list->setText(3, rows::FileName, "a.b.c"); // as a file name would be
        editTitleChecked(4, "");
        QStringList before;
        for (int row = 0; row < 5; ++row)
            before << w().list->text(row, rows::FileName);
        clickHeader(rows::FileName);
        QVERIFY(w().list->text(4, rows::FileName) != before[4]);
        w().cb_format->setCurrentIndex(1);
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(statuses(), QStringList(5, "finish"));
        QStringList expected{"Vol. 2: Intro-Outro.wav", shortened, "a.b.c.wav", "a.b.wav", "n.wav"};
        expected.sort();
        QCOMPARE(outputNames(), expected);
        QCOMPARE(shortened.toUtf8().size(), 253);
    }

    // A stored pattern names the outputs: the album artist the adder read with the row, the
    // title as typed in the tag editor, the portable rules for its ":"; a row without tags
    // gets the stand-ins.
    void patternNamesOutputsWithEditedTags()
    {
        usePattern("{albumartist|artist}/{album}/{track:02} {title}", true);
        add({taggedSource("tagged.wav"), source("blank.wav", 0.2, 8000, 1)});
        editTitleChecked(0, "New: Title");
        w().cb_format->setCurrentIndex(1);
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));
        QCOMPARE(filesBelow(out), QStringList({"Band/Alb/03 New- Title.wav",
                                                "Unknown Album Artist/Unknown Album/00 Unknown Title.wav"}));
    }

    // A folder of the pattern that is a link out of the output folder refuses the rows
    // written through it; nothing is written there, and the other rows convert.
    void linkInThePatternsFolderRefusesTheRow()
    {
        const QString elsewhere = tmp.filePath("pattern-elsewhere");
        QDir().mkpath(elsewhere);
        link(elsewhere, out + "/Art");
        usePattern("{artist}/{name}", false);
        add({taggedSource("linked.wav"), source("blank.wav", 0.2, 8000, 1)});
        w().cb_format->setCurrentIndex(1);
        convert();
        const QString reason = "the output folder holds a link: " + out + "/Art";
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages.first().text, "Write Error! " + out + "/Art/linked.wav: " + reason);
        QCOMPARE(statuses(), QStringList({"failed", "finish"}));
        QCOMPARE(w().list->toolTip(0), reason);
        QCOMPARE(filesBelow(elsewhere), QStringList());
        QCOMPARE(filesBelow(out), QStringList({"Unknown Artist/blank.wav"}));
    }

    // A cover.jpg linked to /dev/zero and a pipe named folder.jpg beside a source without a
    // picture are neither followed nor read (the run would hang or run out of memory); the
    // regular front.jpg after them is taken, and the row's tooltip says why they were not.
    void picturesBesideAreCheckedBeforeReading()
    {
        const QString folder = tmp.filePath("src/odd-pictures");
        QDir().mkpath(folder);
        link("/dev/zero", folder + "/cover.jpg");
        makeFifo(folder + "/folder.jpg");
        int code = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=32x32", "-frames:v", "1",
                                      folder + "/front.jpg"}, 60000, &code);
        QCOMPARE(code, 0);
        const QString plain = folder + "/plain.wav";
        QVERIFY(testaudio::writeMusicWav(plain, 8000, 1, 0.2));
        add({plain});
        w().cb_format->setCurrentIndex(4);
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(status(0), QString("finish"));
        const CarriedTags tags = readCarriedTags(out + "/plain.flac");
        QCOMPARE(int(tags.pictures.size()), 1);
        QCOMPARE(tags.pictures.front().data, bytes(folder + "/front.jpg"));
        const QString tip = w().list->toolTip(0);
        QVERIFY2(tip.contains("cover.jpg was not used") && tip.contains("folder.jpg was not used"), qPrintable(tip));
    }

    // With "keep folders", a sub-folder of the output folder that is a link (here to a folder
    // outside it) fails the rows that would be written through it; nothing is written or
    // removed there, and the other rows convert. Things named like a stale temporary file in
    // the output folder that are not regular files (a pipe, a link to a device) neither block
    // the run nor go; a real stale temporary file goes.
    void linksInTheOutputFolderAreNotFollowed()
    {
        const QString root = tmp.filePath("src/Linked Album");
        QDir().mkpath(root + "/CD1");
        for (const char* rel : {"top.wav", "CD1/a.wav", "CD1/b.wav"})
            QVERIFY(testaudio::writeMusicWav(root + "/" + rel, 8000, 1, 0.2));
        const QString elsewhere = tmp.filePath("elsewhere");
        QDir().mkpath(elsewhere);
        const QString stale = elsewhere + "/.sondrel-abcdefghij.part";
        writeBytes(stale, "not this folder's");
        QDir().mkpath(out + "/Linked Album");
        link(elsewhere, out + "/Linked Album/CD1");
        makeFifo(out + "/.sondrel-Fifo123456.part");
        link("/dev/zero", out + "/.sondrel-Zero123456.part");
        writeBytes(out + "/.sondrel-Stale12345.part", "left by a killed run");
        keepFolders();

        w().ScanFolder(root, true);
        QVERIFY(app.waitAdded());
        add({source("single.wav", 0.2, 8000, 1)});
        w().cb_format->setCurrentIndex(1);
        convert();

        const QString reason = "the output folder holds a link: " + out + "/Linked Album/CD1";
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages.first().text,
                 QStringList({"Write Error! " + out + "/Linked Album/CD1/a.wav: " + reason,
                              "Write Error! " + out + "/Linked Album/CD1/b.wav: " + reason})
                     .join('\n'));
        QStringList captions, tips;
        for (int row = 0; row < w().list->count(); ++row) {
            captions << w().list->text(row, rows::FileName);
            tips << w().list->toolTip(row);
        }
        QCOMPARE(captions, QStringList({"a.wav", "b.wav", "top.wav", "single.wav"}));
        QCOMPARE(statuses(), QStringList({"failed", "failed", "finish", "finish"}));
        QCOMPARE(tips.mid(0, 2), QStringList({reason, reason}));
        QCOMPARE(filesBelow(elsewhere), QStringList({".sondrel-abcdefghij.part"}));
        QCOMPARE(filesBelow(out), QStringList({".sondrel-Fifo123456.part", ".sondrel-Zero123456.part",
                                                "Linked Album/top.wav", "single.wav"}));
        QVERIFY(QFileInfo(out + "/.sondrel-Zero123456.part").isSymLink());
    }
};

QTEST_MAIN(TestConversionPaths)
#include "test_conversion_paths.moc"
