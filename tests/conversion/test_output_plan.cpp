#include "ConversionFixture.h"
#include "NamePattern.h"
#include "OutputPlanner.h"
#include "SettingsDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QTabWidget>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>

using namespace sondrel;

// What a run does with outputs that exist, and with two rows that would write one file, under
// each rule for existing outputs, through the window.
class TestOutputPlan : public ConversionFixture {
    Q_OBJECT

    static QStringList filesBelow(const QString& folder)
    {
        QStringList found;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(folder).relativeFilePath(it.next());
        found.sort();
        return found;
    }
    static void setModified(const QString& path, const QDateTime& when)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
    }
    // Two sources of one name from two folders, and a third whose output exists and is newer
    // than it; an older a.wav is in the output folder too.
    void listWithExistingOutputs()
    {
        add({source("p1/a.wav", 0.2, 8000, 1), source("p2/a.wav", 0.3, 8000, 1), source("b.wav", 0.2, 8000, 1)});
        writeBytes(out + "/a.wav", "old a");
        setModified(out + "/a.wav", QDateTime::currentDateTime().addYears(-5));
        writeBytes(out + "/b.wav", "newer b");
        setModified(out + "/b.wav", QDateTime::currentDateTime().addSecs(3600));
        w().cb_format->setCurrentIndex(1);
    }

    QStringList outputs()
    {
        QStringList texts;
        for (int row = 0; row < w().list->count(); ++row)
            texts << w().list->text(row, rows::Output);
        return texts;
    }
    QString outputTip(int row)
    {
        return w().list->data(w().list->index(row, rows::Output), Qt::ToolTipRole).toString();
    }
    bool outputMarked(int row)
    {
        return !w().list->data(w().list->index(row, rows::Output), Qt::DecorationRole).isNull();
    }
private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    void existingOutputsFollowTheRule_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QByteArray>("keptA"); // a.wav as it is after the run; empty: converted
        QTest::addColumn<QByteArray>("keptB");
        QTest::addColumn<QString>("summary");
        QTest::newRow("skip") << 1 << QStringList{"skipped", "finish", "skipped"}
                              << QStringList{"a (2).wav", "a.wav", "b.wav"} << QByteArray("old a")
                              << QByteArray("newer b") << "1 converted, 2 skipped";
        QTest::newRow("overwrite") << 2 << QStringList{"finish", "finish", "finish"}
                                   << QStringList{"a (2).wav", "a.wav", "b.wav"} << QByteArray() << QByteArray()
                                   << "3 converted";
        QTest::newRow("rename") << 3 << QStringList{"finish", "finish", "finish"}
                                << QStringList{"a (2).wav", "a (3).wav", "a.wav", "b (2).wav", "b.wav"}
                                << QByteArray("old a") << QByteArray("newer b") << "3 converted";
        QTest::newRow("update") << 4 << QStringList{"finish", "finish", "up to date"}
                                << QStringList{"a (2).wav", "a.wav", "b.wav"} << QByteArray() << QByteArray("newer b")
                                << "2 converted, 1 up to date";
    }
    // Whatever the rule, the second a.wav never counts the first one's output as existing:
    // it becomes "a (2).wav" (with rename, the next free number). No question is asked.
    void existingOutputsFollowTheRule()
    {
        QFETCH(int, rule);
        settings().write_int("basic", "existing", rule);
        listWithExistingOutputs();
        convert();
        QCOMPARE(prompts->texts(), QStringList());
        QTEST(statuses(), "statuses");
        QTEST(filesBelow(out), "files");
        QFETCH(QByteArray, keptA);
        QFETCH(QByteArray, keptB);
        for (const auto& [name, kept] : {std::pair{"a.wav", keptA}, {"b.wav", keptB}}) {
            if (kept.isEmpty())
                QVERIFY2(testaudio::ffprobe(out + "/" + name).ok, name);
            else
                QCOMPARE(bytes(out + "/" + name), kept);
        }
        QFETCH(QString, summary);
        QVERIFY2(w().pb->text().startsWith(summary + " · "), qPrintable(w().pb->text()));
    }

    // Update converts again once the source is newer than its output, and only then.
    void updateFollowsModificationTimes()
    {
        settings().write_int("basic", "existing", 4);
        const QString src = source("u.wav", 0.2, 8000, 1);
        add({src});
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(statuses(), QStringList({"finish"}));
        convert();
        QCOMPARE(statuses(), QStringList({"up to date"}));
        setModified(src, QDateTime::currentDateTime().addSecs(60));
        convert();
        QCOMPARE(statuses(), QStringList({"finish"}));
        QCOMPARE(filesBelow(out), QStringList({"u.wav"}));
    }

    // The Output column shows where each row would go, and follows the format, the rows'
    // names, the tag editor, the naming settings, files that appear, and a run's own outputs.
    void outputColumnFollowsEveryChange()
    {
        add({source("p1/a.wav", 0.2, 8000, 1), source("p2/a.wav", 0.2, 8000, 1), source("b.wav", 0.2, 8000, 1)});
        w().cb_format->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(outputs(), QStringList({"a.wav", "a (2).wav", "b.wav"}), 10000);
        QVERIFY(!outputMarked(0) && outputMarked(1) && !outputMarked(2));
        QCOMPARE(outputTip(1), "\"a.wav\" in the list has the same output name.\nIt is written as a (2).wav.");

        w().cb_format->setCurrentIndex(0);
        QTRY_COMPARE_WITH_TIMEOUT(outputs(), QStringList({"a.mp3", "a (2).mp3", "b.mp3"}), 10000);

        editTitle(0, "First: One");
        QTRY_COMPARE_WITH_TIMEOUT(outputs(), QStringList({"First: One.mp3", "a.mp3", "b.mp3"}), 10000);
        QVERIFY(!outputMarked(1));

        // A file that appears is seen at the next change (here: the keep-folders box).
        writeBytes(out + "/b.mp3", "there");
        QTest::mouseClick(w().cbx_keep, Qt::LeftButton, {}, QPoint(5, w().cbx_keep->height() / 2));
        QTRY_VERIFY_WITH_TIMEOUT(outputMarked(2), 10000);
        QCOMPARE(outputTip(2), "A file of this name exists in the output folder.\nYou are asked whether to replace b.mp3.");

        settings().write_string("basic", "name pattern", "{artist|\"No Artist\"}/{track:02} {name}");
        settings().write_int("basic", "existing", 3);
        w().planner()->schedule(); // as closing the settings dialog does
        QTRY_COMPARE_WITH_TIMEOUT(outputs(), QStringList({"No Artist/00 First: One.mp3", "No Artist/00 a.mp3",
                                                          "No Artist/00 b.mp3"}), 10000);
        QVERIFY(!outputMarked(2));

        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "finish"}));
        QTRY_COMPARE_WITH_TIMEOUT(outputs(), QStringList({"No Artist/00 First: One (2).mp3", "No Artist/00 a (2).mp3",
                                                          "No Artist/00 b (2).mp3"}), 10000);
        QCOMPARE(outputTip(0), "A file of this name exists in the output folder.\nIt is written as No Artist/00 First: One (2).mp3.");
    }

    // The Naming page shows the selected row's name as a pattern is typed or chosen, says
    // what is wrong with a pattern that is not valid, and OK stores the naming settings, which
    // the Output column then follows.
    void namingPageShowsTheSelectedRowsName()
    {
        add({source("n/one.wav", 0.2, 8000, 1)});
        w().cb_format->setCurrentIndex(0);
        w().lv->selectRow(0);
        QStringList seen;
        prompts->dialogActions.push_back([&seen](QDialog& d) {
            auto& set = static_cast<Tfm_set&>(d);
            set.pc->setCurrentWidget(set.findChild<QWidget*>("ts_naming"));
            seen << set.lbl_example->text();
            set.edt_pattern->setText("{artist|\"Nobody\"}/{name}");
            seen << set.lbl_example->text();
            set.edt_pattern->setText("{artist");
            seen << set.lbl_example->text();
            emit set.cb_ready_pattern->activated(1);
            seen << set.edt_pattern->text();
            set.cbx_portable->setChecked(true);
            set.cb_existing->setCurrentIndex(3);
            set.btn_ok->click();
        });
        w().item("Settings1")->trigger();
        QCOMPARE(seen, QStringList({"Example: one.mp3", "Example: Nobody/one.mp3",
                                    "The name pattern is not valid: " + NamePattern("{artist").error(),
                                    "{artist}/{album}/{track:02} {title}"}));
        QCOMPARE(settings().read_string("basic", "name pattern", {}), "{artist}/{album}/{track:02} {title}");
        QCOMPARE(settings().read_int("basic", "portable names", 0), 1);
        QCOMPARE(settings().read_int("basic", "existing", 0), 3);
        QTRY_COMPARE_WITH_TIMEOUT(outputs(), QStringList({"Unknown Artist/Unknown Album/00 Unknown Title.mp3"}), 10000);
    }

    // With the playlist on, a run leaves "<added folder>.m3u8" in the output folder: every
    // output that is there at the end (converted or kept), in list order, each entry a path
    // relative to the playlist that leads to the file; a row that failed is not in it.
    void playlistListsTheRunsOutputs()
    {
        settings().write_int("basic", "playlist", 1);
        settings().write_int("basic", "existing", 1);
        settings().write_int("basic", "keep folders", 1);
        const QString root = tmp.filePath("src/Album X");
        for (const QString name : {"CD1/01 one.wav", "CD1/02 two.wav", "CD2/01 three.wav"})
            source("Album X/" + name, 0.2, 8000, 1);
        w().ScanFolder(root, true);
        QVERIFY(app.waitAdded());
        QCOMPARE(w().list->count(), 3);
        QDir().mkpath(out + "/Album X/CD2");
        writeBytes(out + "/Album X/CD2/01 three.wav", "kept");
        QVERIFY(QFile::remove(root + "/CD1/02 two.wav"));
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "failed", "skipped"}));
        const QStringList lines = QString::fromUtf8(bytes(out + "/Album X.m3u8")).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({"#EXTM3U", "#EXTINF:0,01 one", "Album X/CD1/01 one.wav", "#EXTINF:0,01 three",
                                     "Album X/CD2/01 three.wav"}));
        for (const QString& line : lines)
            QVERIFY2(line.startsWith('#') || QFileInfo(QDir(out).filePath(line)).isFile(), qPrintable(line));
        // A stopped run leaves the playlist as it was.
        QVERIFY(QFile::remove(out + "/Album X.m3u8"));
        prompts->messages.clear();
        setJobs(1);
        settings().write_int("basic", "existing", 2);
        startConvert();
        w().item("StopConverting1")->trigger();
        waitIdle();
        QVERIFY(!QFileInfo::exists(out + "/Album X.m3u8"));
    }
};

QTEST_MAIN(TestOutputPlan)
#include "test_output_plan.moc"
