#include "AppShell.h"
#include "FakePrompts.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "Skin.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <QTest>

using namespace sondrel;

// The window driven from the keyboard alone: mnemonics, shortcuts behind the same guards as
// their items, F10, the list's Enter and Space, and Tab through the drawn buttons, which
// screen readers can name.
class TestKeyboard : public WindowFixture {
    Q_OBJECT
    FakePrompts& prompts() { return *app.prompts; }

    void addRows(int n)
    {
        for (int i = 0; i < n; ++i)
            w().list->append(QStringLiteral("f%1.mp3").arg(i), QStringLiteral("/x/f%1.mp3").arg(i), "00:00:01",
                         "0.01MB", rows::Unconverted);
    }
    void press(QKeyCombination key) { QTest::keyClick(w().windowHandle(), key.key(), key.keyboardModifiers()); }
    void pressOn(QWidget* widget, Qt::Key key)
    {
        widget->setFocus();
        QTest::keyClick(widget, key);
    }

private slots:
    void init()
    {
        start();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
    }
    void cleanup() { stop(); }

    void everyMenuItemHasItsOwnMnemonic()
    {
        QList<QList<QAction*>> menus{w().menuBar()->actions(), w().PopupMenu1->actions()};
        for (QMenu* m : w().menuBar()->findChildren<QMenu*>())
            menus << m->actions();
        for (const QList<QAction*>& menu : menus) {
            QStringList letters;
            for (QAction* a : menu) {
                if (a->isSeparator())
                    continue;
                const qsizetype amp = a->text().indexOf('&');
                QVERIFY2(amp >= 0 && amp + 1 < a->text().size(), qPrintable(a->objectName()));
                letters << a->text().mid(amp + 1, 1).toLower();
            }
            QCOMPARE(QSet<QString>(letters.begin(), letters.end()).size(), letters.size());
        }
        const QList<std::pair<const char*, QKeySequence>> keys{
            {"AddFile1", QKeySequence("Ctrl+O")}, {"AddPath1", QKeySequence("Ctrl+Shift+O")},
            {"Remove1", QKeySequence("Del")}, {"Clear1", QKeySequence("Ctrl+Shift+Del")},
            {"Convert1", QKeySequence("Ctrl+Return")}, {"Play1", QKeySequence("Space")},
            {"Settings1", QKeySequence("Ctrl+,")}, {"ID31", QKeySequence("Ctrl+I")}};
        for (const auto& [name, keySequence] : keys)
            QCOMPARE(w().item(name)->shortcut(), keySequence);
    }

    void shortcutsRunTheirCommandsBehindTheirGuards()
    {
        press(Qt::CTRL | Qt::Key_O);
        QVERIFY(!prompts().lastFilters.isEmpty()); // the open dialog was asked for
        addRows(3);
        w().lv->selectRow(1);
        press(QKeyCombination(Qt::Key_Delete));
        QCOMPARE(w().list->count(), 2);
        QCOMPARE(w().list->text(1, rows::FileName), QString("f2.mp3"));
        prompts().answers = {false};
        press(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete);
        QCOMPARE(prompts().messages.last().kind, FakePrompts::Kind::Confirm);
        QCOMPARE(w().list->count(), 2);
        press(Qt::CTRL | Qt::Key_I);
        QCOMPARE(prompts().dialogsShown, 1); // the tag editor for the selected row
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        press(Qt::CTRL | Qt::Key_Comma);
        QCOMPARE(prompts().dialogsShown, 2); // the settings dialog
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));

        // While converting, the list's commands are off; Enter on the list says why it cannot
        // play.
        app.s().setConverting(true);
        prompts().messages.clear();
        press(QKeyCombination(Qt::Key_Delete));
        press(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete);
        press(Qt::CTRL | Qt::Key_O);
        QCOMPARE(w().list->count(), 2);
        QVERIFY(prompts().messages.isEmpty());
        pressOn(w().lv, Qt::Key_Return);
        QCOMPARE(prompts().texts(), QStringList({"Please stop converting first."}));
        app.s().setConverting(false);
    }

    void listKeysPlayAndF10OpensTheMenu()
    {
        addRows(2);
        w().lv->clearSelection();
        // Space on the list with no row selected: Play's own refusal.
        pressOn(w().lv, Qt::Key_Space);
        QCOMPARE(prompts().texts(), QStringList({"Please select the file you want to play!"}));
        press(QKeyCombination(Qt::Key_F10));
        QTRY_VERIFY_WITH_TIMEOUT(w().menuBar()->activeAction() != nullptr, 5000);
        QCOMPARE(w().menuBar()->activeAction()->objectName(), QString("File1"));
    }

    // Tab goes through the drawn buttons from left to right, then the list, the format and
    // Browse; a focused drawn button is pressed with Space or Enter, and has a name and a
    // description for screen readers.
    void tabReachesTheDrawnButtons()
    {
        QVERIFY(w().Skin->isAttached());
        const QList<QAbstractButton*> keys = w().Skin->keys();
        QCOMPARE(keys.size(), 11);
        keys.first()->setFocus();
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 14; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, QStringList({"key_AddFile", "key_Remove", "key_Clear", "key_Convert", "key_Stop", "key_Play",
                                     "key_PausePlay", "key_StopPlay", "key_ID3Tag", "key_Options", "lv", "cb_format",
                                     "cbx_keep", "key_Browse", "key_AddFile"}));
        for (QAbstractButton* key : keys) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(key);
            QVERIFY(a);
            QCOMPARE(a->role(), QAccessible::Button);
            QVERIFY(!a->text(QAccessible::Name).isEmpty());
            QVERIFY(!a->text(QAccessible::Description).isEmpty());
        }
        QAbstractButton* add = keys.first();
        QCOMPARE(add->accessibleName(), QString("Add"));
        pressOn(add, Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(!prompts().lastFilters.isEmpty(), 5000);
        prompts().lastFilters.clear();
        pressOn(add, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!prompts().lastFilters.isEmpty(), 5000);
        // Browse, from the keyboard too.
        QAbstractButton* browse = keys.last();
        QCOMPARE(browse->objectName(), QString("key_Browse"));
        const int shown = prompts().dialogsShown;
        pressOn(browse, Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(prompts().dialogsShown, shown + 1, 5000);
    }
};

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
