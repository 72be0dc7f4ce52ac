#include "FileListModel.h"

#include <QLocale>
#include <QTest>

using namespace sondrel;

namespace {
// A row as adding makes it: measured values and a caption, no cell texts of its own.
ListRow measured(const QString& path, std::int64_t durationMs, std::int64_t bytes, const TrackInfo& tags = {})
{
    ListRow row;
    row.path = path;
    row.setCaption(path.mid(path.lastIndexOf('/') + 1));
    row.durationMs = durationMs;
    row.bytes = bytes;
    row.setInfo(tags);
    return row;
}

int appendOne(FileListModel& list, ListRow&& row)
{
    std::vector<ListRow> one;
    one.push_back(std::move(row));
    return list.append(std::move(one));
}
} // namespace

// The list's own API, without a window or a view.
class TestListModel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // The Time and Size cells of a measured row read exactly as the list has always shown them.
    void measuredCellTexts_data()
    {
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("size");
        QTest::newRow("empty file") << qint64(0) << qint64(0) << "00:00:00" << "0.00MB";
        QTest::newRow("short") << qint64(8359) << qint64(130000) << "00:00:08" << "0.12MB";
        QTest::newRow("hour") << qint64(3725999) << qint64(1048576) << "01:02:05" << "1.00MB";
        QTest::newRow("long") << qint64(360000000) << qint64(123456789012) << "100:00:00" << "117740.00MB";
    }
    void measuredCellTexts()
    {
        QFETCH(qint64, durationMs);
        QFETCH(qint64, bytes);
        FileListModel list;
        const int row = appendOne(list, measured("/music/a b/01 Song.mp3", durationMs, bytes));
        QCOMPARE(list.text(row, rows::FileName), QString("01 Song.mp3"));
        QCOMPARE(list.text(row, rows::FullPath), QString("/music/a b/01 Song.mp3"));
        QTEST(list.text(row, rows::Time), "time");
        QTEST(list.text(row, rows::Size), "size");
        QCOMPARE(list.text(row, rows::Status), rows::Unconverted);
        QCOMPARE(list.data(list.index(row, rows::Time)).toString(), list.text(row, rows::Time));
        QCOMPARE(qint64(list.durationMs(row)), durationMs);
    }

    // Every Status text survives, the program's own and any other.
    void statusTexts()
    {
        FileListModel list;
        const int row = appendOne(list, measured("/a.wav", 1000, 10));
        for (const QString& status : {rows::Converting, rows::Finish, rows::Skipped, rows::Stopped, rows::Failed,
                                      QString("Write Error!"), QString(), rows::Unconverted}) {
            list.setText(row, rows::Status, status);
            QCOMPARE(list.text(row, rows::Status), status);
        }
    }

    // Texts given to a row are shown as given until the row is measured again.
    void givenTextsAreKept()
    {
        FileListModel list;
        const int row = list.append("caption", "/music/x.mp3", "00:03:12", "4,41MB", rows::Unconverted);
        QCOMPARE(list.text(row, rows::FileName), QString("caption"));
        QCOMPARE(list.text(row, rows::Time), QString("00:03:12"));
        QCOMPARE(list.text(row, rows::Size), QString("4,41MB"));
        QCOMPARE(qint64(list.durationMs(row)), qint64(192000));
        std::int64_t bytes = 0, modified = 0;
        QVERIFY(!list.sourceStamp(row, &bytes, &modified));

        list.setDurationMs(row, 5000);
        list.setSourceStamp(row, 2097152, 77);
        QCOMPARE(list.text(row, rows::Time), QString("00:00:05"));
        QCOMPARE(list.text(row, rows::Size), QString("2.00MB"));
        QVERIFY(list.sourceStamp(row, &bytes, &modified));
        QCOMPARE(qint64(modified), qint64(77));

        // A caption made from the path stays when the path changes.
        const int other = appendOne(list, measured("/music/y.mp3", 1000, 10));
        list.setText(other, rows::FullPath, "/elsewhere/z.mp3");
        QCOMPARE(list.text(other, rows::FileName), QString("y.mp3"));
        list.setText(other, rows::FileName, "");
        QCOMPARE(list.text(other, rows::FileName), QString());
    }

    // Removing and sorting move each row's record, tooltip, stamp and folder with it; rows
    // that shared tag texts keep their own when one is edited.
    void recordsStayWithTheirRows()
    {
        FileListModel list;
        std::vector<ListRow> added;
        for (const char* name : {"c", "a", "b"}) {
            added.push_back(measured(QString("/m/%1.mp3").arg(name), 1000, 10,
                                     TrackInfo{QString("T%1").arg(name), "Artist", "Album", {}, 1, 2000, {}}));
            added.back().addedFolder = "/m";
        }
        list.append(std::move(added));
        for (int row = 0; row < 3; ++row) {
            list.setToolTip(row, list.text(row, rows::FileName) + " tip");
            list.setSourceStamp(row, 100 + row, row);
        }
        list.remove(0);
        list.sort(rows::FileName);
        QCOMPARE(list.count(), 2);
        for (int row = 0; row < 2; ++row) {
            const QString name = list.text(row, rows::FileName);
            QCOMPARE(list.trackInfo(row).title, "T" + name.left(1));
            QCOMPARE(list.toolTip(row), name + " tip");
            QCOMPARE(list.addedFolder(row), QString("/m"));
        }
        std::int64_t bytes = 0, modified = 0;
        QVERIFY(list.sourceStamp(0, &bytes, &modified));
        QCOMPARE(qint64(bytes), qint64(101)); // "a", added second

        TrackInfo edited = list.trackInfo(0);
        edited.album = "Other";
        list.setTrackInfo(0, edited);
        QCOMPARE(list.trackInfo(1).album, QString("Album"));
        list.setTrackInfo(1, {});
        QCOMPARE(list.trackInfo(1), TrackInfo{});
        QCOMPARE(list.trackInfo(5), TrackInfo{});
    }
};

QTEST_GUILESS_MAIN(TestListModel)
#include "test_list_model.moc"
