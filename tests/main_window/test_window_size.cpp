#include "AppShell.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "Skin.h"
#include "WindowFixture.h"
#include "WindowSettings.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <numeric>
#include <QStandardPaths>
#include <QHeaderView>
#include <QTest>

using namespace sondrel;

// A window that can be made larger: the list takes the room, the controls and drawn buttons
// keep their places to their edges, and size, place and column widths come back next time.
class TestWindowSize : public WindowFixture {
    Q_OBJECT
    QWidget* client() { return w().centralWidget(); }
    QAbstractButton* key(const QString& name)
    {
        for (QAbstractButton* k : w().Skin->keys())
            if (k->objectName() == "key_" + name)
                return k;
        return nullptr;
    }
    QList<int> widths()
    {
        QList<int> out;
        for (int c = 0; c < rows::ColumnCount; ++c)
            out << w().lv->columnWidth(c);
        return out;
    }
    static QString joined(const QList<int>& values)
    {
        QStringList out;
        for (int v : values)
            out << QString::number(v);
        return out.join(',');
    }
    // Time, Size, Status and Loudness fit what they show; all columns fit the list with its scroll
    // bar, File Name and Full Path filling it.
    void checkDefaultColumns()
    {
        const QFontMetrics fm(w().lv->font());
        const QList<int> c = widths();
        QVERIFY(c[rows::Time] >= fm.horizontalAdvance("00:00:00") + 4);
        QVERIFY(c[rows::Size] >= fm.horizontalAdvance("999.99MB") + 4);
        for (const char* text : {"Converting 100%", "unconverted"})
            QVERIFY2(c[rows::Status] >= fm.horizontalAdvance(text) + 6, text);
        QVERIFY(c[rows::Status] < fm.horizontalAdvance("Converting 100%") * 2);
        // Empty until an analysis widens it, it leaves the names their room.
        QVERIFY(c[rows::Loudness] >= w().lv->header()->minimumSectionSize());
        QVERIFY(c[rows::Loudness] < c[rows::FileName]);
        const int viewport = w().lv->width() - 2 * w().lv->frameWidth()
            - w().lv->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w().lv);
        const int sum = std::accumulate(c.begin(), c.end(), 0);
        QVERIFY2(sum <= viewport && sum >= viewport - 2, qPrintable(QString("%1 in %2").arg(sum).arg(viewport)));
        QVERIFY(c[rows::FullPath] >= c[rows::FileName]);
    }
    void growClientBy(int dx, int dy)
    {
        const QSize target = client()->size() + QSize(dx, dy);
        w().resize(w().size() + QSize(dx, dy));
        QTRY_COMPARE_WITH_TIMEOUT(client()->size(), target, 5000);
    }

private slots:
    void init() { startFresh(); }
    void cleanup() { stop(); }

    void theListTakesTheRoomAndTheRestKeepsToItsEdges()
    {
        QVERIFY(w().Skin->isAttached());
        const QList<int> before = widths();
        growClientBy(200, 100);
        QCOMPARE(w().lv->geometry(), QRect(6, 73, 669, 347));
        QCOMPARE(w().pb->geometry(), QRect(20, 430, 641, 12));
        QCOMPARE(w().cb_format->geometry(), QRect(443, 457, 55, 21));
        QCOMPARE(w().edt_dir->geometry(), QRect(503, 457, 95, 21));
        QCOMPARE(key("AddFile")->geometry(), QRect(6, 6, 44, 56));
        QCOMPARE(key("Options")->geometry(), QRect(631, 6, 44, 56));
        QCOMPARE(key("Browse")->geometry(), QRect(602, 457, 73, 21));
        // File Name, Full Path and Output share the growth; the others keep their widths.
        QCOMPARE(widths(), QList<int>({before[0] + 66, before[1] + 68, before[2], before[3], before[4], before[5] + 66,
                                       before[6]}));
        // The drawn Browse button answers where it is drawn now.
        QTest::mouseClick(w().Skin, Qt::LeftButton, {}, QPoint(630, 465));
        QCOMPARE(app.prompts->dialogsShown, 1);

        // Never smaller than designed: made tiny, the window shrinks back to its designed size.
        w().resize(200, 150);
        QTRY_COMPARE_WITH_TIMEOUT(client()->size(), QSize(Tfm_main::ClientWidth, Tfm_main::ClientHeight), 5000);
    }

    void sizePlaceAndColumnsComeBack()
    {
        w().lv->setColumnWidth(rows::Time, 90);
        w().setGeometry(QRect(QPoint(40, 50), w().size() + QSize(120, 60)));
        QTRY_COMPARE_WITH_TIMEOUT(client()->width(), Tfm_main::ClientWidth + 120, 5000);
        const QRect before = w().geometry();
        const QList<int> shown = widths();
        w().close();
        {
            SettingsFile s(SettingsFile::defaultPath());
            QCOMPARE(s.read_int("window", "width", 0), before.width());
            QCOMPARE(s.read_string("window", "column widths", ""), joined(shown));
        }
        start();
        QTRY_COMPARE_WITH_TIMEOUT(w().geometry().size(), before.size(), 5000);
        QCOMPARE(w().geometry().topLeft(), before.topLeft());
        QCOMPARE(widths(), shown);
        QCOMPARE(w().lv->columnWidth(rows::Time), 90);
    }

    // With nothing stored the window opens at about 900 by 560, at most four fifths of the
    // screen, centred; Time, Size and Status fit what they show, and File Name and Full Path
    // share the rest of the list.
    void firstStartSize_data()
    {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<QSize>("size");
        const QSize minimum(500, 420);
        QTest::newRow("large screen") << QSize(2560, 1400) << QSize(900, 560);
        QTest::newRow("netbook") << QSize(1024, 570) << QSize(819, 456);
        QTest::newRow("smaller than the window's minimum") << QSize(560, 480) << minimum;
    }
    void firstStartSize()
    {
        QFETCH(QSize, available);
        QFETCH(QSize, size);
        QCOMPARE(sondrel::firstStartSize(available, QSize(500, 420)), size);
    }

    void firstStartOpensCentredWithFittingColumns()
    {
        stop();
        forgetSettings();
        QVERIFY(startFirstTime());
        const QRect avail = w().screen()->availableGeometry();
        const QSize expected = sondrel::firstStartSize(avail.size(), w().minimumSizeHint());
        QTRY_COMPARE_WITH_TIMEOUT(w().size(), expected, 5000);
        QVERIFY(w().width() <= avail.width() * 4 / 5 && w().height() <= avail.height() * 4 / 5);
        const QPoint off = w().frameGeometry().center() - avail.center();
        QVERIFY2(std::abs(off.x()) <= 2 && std::abs(off.y()) <= 2, qPrintable(QString("%1,%2").arg(off.x()).arg(off.y())));
        checkDefaultColumns();
    }

    // Stored widths are checked: one that is negative, no number or absurd is not used; a
    // layout that would push a column out of sight in a window at least 800 wide is replaced
    // by the widths of a first start. One that only runs a little past the edge is kept.
    void storedWidthsAreChecked_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown"); // "defaults", or the widths expected, "d" for a column's default
        QTest::newRow("good") << "150,300,60,60,75,120" << "150,300,60,60,75,120";
        QTest::newRow("negative") << "-40,300,60,60,75,120" << "d,300,60,60,75,120";
        QTest::newRow("no number") << "150,wide,60,60,75,120" << "150,d,60,60,75,120";
        QTest::newRow("absurd") << "150,300,99999,60,75,120" << "150,300,d,60,75,120";
        QTest::newRow("Output a little past the edge") << "150,300,160,60,75,120" << "150,300,160,60,75,120";
        QTest::newRow("Output pushed out") << "150,400,300,60,75,120" << "defaults";
        QTest::newRow("stored before the Output column") << "150,300,60,60,75" << "150,300,60,60,75,d";
        QTest::newRow("too few") << "150,300" << "150,300,d,d,d,d";
    }
    void storedWidthsAreChecked()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        // The window as wide as the screen (800), the widths of a first start there.
        stop();
        forgetSettings();
        const auto store = [](const QString& widths) {
            SettingsFile s(settingsPath());
            s.write_int("window", "width", 800);
            s.write_int("window", "height", 480);
            if (!widths.isEmpty())
                s.write_string("window", "column widths", widths);
        };
        store({});
        start();
        QTRY_COMPARE_WITH_TIMEOUT(client()->width(), 800, 5000);
        const QList<int> defaults = widths();
        stop();
        store(stored);
        start();
        QTRY_COMPARE_WITH_TIMEOUT(client()->width(), 800, 5000);
        QList<int> expected = defaults;
        if (shown != "defaults") {
            const QStringList parts = shown.split(',');
            // Widths stored before a column existed leave it at its default.
            for (int c = 0; c < rows::ColumnCount && c < parts.size(); ++c)
                if (parts[c] != "d")
                    expected[c] = parts[c].toInt();
        }
        QCOMPARE(widths(), expected);
        QVERIFY(std::all_of(expected.begin(), expected.end(), [](int w) { return w >= 24; }));
    }

    void aPlaceNoScreenShowsIsCorrected()
    {
        stop();
        SettingsFile s(SettingsFile::defaultPath());
        s.write_int("window", "left", 9000);
        s.write_int("window", "top", -7000);
        s.write_int("window", "width", 600);
        s.write_int("window", "height", 500);
        start();
        const QRect screen = w().screen()->availableGeometry();
        QTRY_VERIFY_WITH_TIMEOUT(screen.contains(w().geometry().topLeft()), 5000);
        QCOMPARE(w().geometry().size(), QSize(600, 500));
    }
};

QTEST_MAIN(TestWindowSize)
#include "test_window_size.moc"
