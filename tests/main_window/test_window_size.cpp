#include "AppShell.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "Skin.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
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
        growClientBy(200, 100);
        QCOMPARE(w().lv->geometry(), QRect(6, 73, 669, 347));
        QCOMPARE(w().pb->geometry(), QRect(20, 430, 641, 12));
        QCOMPARE(w().cb_format->geometry(), QRect(443, 457, 55, 21));
        QCOMPARE(w().edt_dir->geometry(), QRect(503, 457, 95, 21));
        QCOMPARE(key("AddFile")->geometry(), QRect(6, 6, 44, 56));
        QCOMPARE(key("Options")->geometry(), QRect(631, 6, 44, 56));
        QCOMPARE(key("Browse")->geometry(), QRect(602, 457, 73, 21));
        QStringList widths;
        for (int c = 0; c < 5; ++c)
            widths << QString::number(w().lv->columnWidth(c));
        QCOMPARE(widths, QStringList({"100", "355", "60", "60", "75"}));
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
        w().close();
        {
            SettingsFile s(SettingsFile::defaultPath());
            QCOMPARE(s.read_int("window", "width", 0), before.width());
            // Full Path at the list's designed width: without the 120 pixels it grew by.
            QCOMPARE(s.read_string("window", "column widths", ""), QString("100,155,90,60,75"));
        }
        start();
        QTRY_COMPARE_WITH_TIMEOUT(w().geometry().size(), before.size(), 5000);
        QCOMPARE(w().geometry().topLeft(), before.topLeft());
        QCOMPARE(w().lv->columnWidth(rows::Time), 90);
        QCOMPARE(w().lv->columnWidth(rows::FullPath), 275);
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
