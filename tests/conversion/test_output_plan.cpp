#include "ConversionFixture.h"

#include <QDirIterator>
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
};

QTEST_MAIN(TestOutputPlan)
#include "test_output_plan.moc"
