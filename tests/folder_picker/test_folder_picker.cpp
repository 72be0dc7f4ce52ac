#include "AppState.h"
#include "ExceptionHook.h"
#include "FakePrompts.h"
#include "FolderPicker.h"
#include "SettingsFile.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace sondrel;

class TestFolderPicker : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString folders; // a small tree of folders to pick from
    AppState state;
    std::unique_ptr<Tfm_dir> dlg;
    int hookCalls = 0;

    QFileSystemModel* model() const
    {
        return qobject_cast<QFileSystemModel*>(dlg->stview_selectdir->model());
    }
    int stored() const { return readKey(*state.settings(), keys::enableSubDir); }
    bool storedPresent() const
    {
        return state.settings()->read_int(QStringLiteral("basic"), QStringLiteral("enable sub dir"), -7) != -7;
    }
    // The widget Tab moves to from w.
    QWidget* nextTab(QWidget* w) const
    {
        do
            w = w->nextInFocusChain();
        while (w == dlg.get() || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(dlg.get()));
        return w;
    }
    // As "Add Path" shows the picker.
    void openForAdding()
    {
        dlg->cbx_sub->setVisible(true);
        dlg->open();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        folders = QDir(tmp.path()).canonicalPath() + QStringLiteral("/music");
        for (const char* sub : {"a/deep/deeper", "b", "c with blank", "ümlaut"})
            QVERIFY(QDir().mkpath(folders + QLatin1Char('/') + QString::fromUtf8(sub)));
        setExceptionHandler([this](std::exception_ptr) { ++hookCalls; });
    }

    void init()
    {
        static int n = 0;
        state.openSettings(std::make_unique<SettingsFile>(
            tmp.filePath(QStringLiteral("trevalon%1.ini").arg(++n))));
        dlg = std::make_unique<Tfm_dir>(state);
        hookCalls = 0;
    }

    void cleanup()
    {
        if (dlg->isVisible())
            dlg->reject();
        QCOMPARE(hookCalls, 0);
    }

    void layoutAndFirstState()
    {
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Output Directory"));
        QCOMPARE(dlg->size(), QSize(302, 284));
        QCOMPARE(dlg->lbl_action->text(), QStringLiteral("Please select the folder you want to scan"));
        QCOMPARE(dlg->lbl_action->pos(), QPoint(11, 10));
        QCOMPARE(dlg->stview_selectdir->geometry(), QRect(10, 32, 281, 187));
        QCOMPARE(dlg->btn_ok->geometry(), QRect(53, 246, 75, 25));
        QCOMPARE(dlg->btn_cancel->geometry(), QRect(169, 246, 75, 25));
        QCOMPARE(dlg->btn_ok->text(), QStringLiteral("OK"));
        QCOMPARE(dlg->btn_cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(dlg->cbx_sub->pos(), QPoint(15, 225));
        QCOMPARE(dlg->cbx_sub->text(), QStringLiteral("Include Sub-folders"));
        QVERIFY(dlg->cbx_sub->isHidden());

        // "/" is the one top node, expanded and selected.
        QFileSystemModel* m = model();
        QCOMPARE(m->rowCount(QModelIndex()), 1);
        const QModelIndex root = m->index(0, 0, QModelIndex());
        QCOMPARE(m->filePath(root), QStringLiteral("/"));
        QVERIFY(dlg->stview_selectdir->isExpanded(root));
        QCOMPARE(dlg->selectedFolder(), QStringLiteral("/"));
        QTRY_VERIFY_WITH_TIMEOUT(m->rowCount(root) > 0, 10000);
        // Folders only.
        for (int r = 0; r < m->rowCount(root); ++r)
            QVERIFY(m->isDir(m->index(r, 0, root)));

        // Tab order: tree, OK, Cancel, box.
        dlg->cbx_sub->show();
        QCOMPARE(nextTab(dlg->stview_selectdir), dlg->btn_ok);
        QCOMPARE(nextTab(dlg->btn_ok), dlg->btn_cancel);
        QCOMPARE(nextTab(dlg->btn_cancel), dlg->cbx_sub);
        QCOMPARE(nextTab(dlg->cbx_sub), dlg->stview_selectdir);
        dlg->cbx_sub->hide();

        // The prompt the add command sets fits in the dialog.
        dlg->setWindowTitle(QStringLiteral("Open Folder"));
        dlg->lbl_action->setText(QStringLiteral("Please select the folder you want to add."));
        openForAdding();
        QVERIFY(dlg->btn_ok->isEnabled());
        QVERIFY(dlg->lbl_action->geometry().right() < 302);
        QVERIFY(dlg->lbl_action->geometry().bottom() < 32);
        QVERIFY(dlg->cbx_sub->geometry().right() < dlg->width());
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/c with blank")));
        // The rest of the folder list arrives later and is sorted by name around the selection.
        const auto names = [&] {
            QStringList out;
            const QModelIndex parent = m->index(folders);
            for (int r = 0; r < m->rowCount(parent); ++r)
                out << m->fileName(m->index(r, 0, parent));
            return out.join(u'|');
        };
        QTRY_COMPARE_WITH_TIMEOUT(names(), QStringLiteral("a|b|c with blank|ümlaut"), 10000);
        QCOMPARE(dlg->selectedFolder(), folders + QStringLiteral("/c with blank"));
        if (const QByteArray dir = qgetenv("SONDREL_SHOTS"); !dir.isEmpty()) {
            QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/folder_picker_add.png")));
            dlg->reject();
            dlg->lbl_action->setText(QStringLiteral("Please select the folder you want to save your files."));
            dlg->open();
            QVERIFY(dlg->lbl_action->geometry().bottom() < 32);
            QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/folder_picker_output.png")));
        }
    }

    void showTicksTheBoxAsStored_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("absent") << -1 << true;
        QTest::newRow("no") << 0 << false;
        QTest::newRow("yes") << 1 << true;
    }
    void showTicksTheBoxAsStored()
    {
        QFETCH(int, stored);
        QFETCH(bool, ticked);
        if (stored >= 0)
            writeKey(*state.settings(), keys::enableSubDir, stored);
        dlg->chosen_dir = QStringLiteral("/left/over");
        dlg->cbx_sub->setChecked(!ticked);
        openForAdding();
        QCOMPARE(dlg->chosen_dir, QString());
        QCOMPARE(dlg->cbx_sub->isChecked(), ticked);
        QVERIFY(dlg->cbx_sub->isVisible());
        dlg->btn_cancel->click();
        // Without an open settings store the default (yes) holds.
        state.releaseSettings();
        dlg->cbx_sub->setChecked(false);
        dlg->open();
        QVERIFY(dlg->cbx_sub->isChecked());
        dlg->btn_ok->click();
        QCOMPARE(dlg->chosen_dir, QStringLiteral("/"));
    }

    void okGivesThePathAndStoresTheBox()
    {
        writeKey(*state.settings(), keys::enableSubDir, 1);
        openForAdding();
        // Right after creation nothing below "/" may have been read yet; the deep folder is
        // selected all the same.
        const QString deep = folders + QStringLiteral("/a/deep/deeper");
        QVERIFY(dlg->selectFolder(deep + QStringLiteral("/")));
        QVERIFY(dlg->stview_selectdir->isExpanded(model()->index(folders + QStringLiteral("/a/deep"))));
        dlg->cbx_sub->setChecked(false);
        dlg->btn_ok->click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->chosen_dir, deep);
        QCOMPARE(dlg->include_sub, false);
        QCOMPARE(stored(), 0);
        QVERIFY(dlg->cbx_sub->isHidden());

        openForAdding();
        QVERIFY(!dlg->cbx_sub->isChecked());
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/ümlaut")));
        dlg->cbx_sub->setChecked(true);
        dlg->btn_ok->click();
        QCOMPARE(dlg->chosen_dir, folders + QStringLiteral("/ümlaut"));
        QCOMPARE(dlg->include_sub, true);
        QCOMPARE(stored(), 1);
    }

    void okWithTheBoxHiddenStoresWhatWasRead()
    {
        // Choosing the output directory: the box stays hidden.
        QVERIFY(!storedPresent());
        dlg->open();
        dlg->btn_ok->click();
        QVERIFY(storedPresent());
        QCOMPARE(stored(), 1);
        QCOMPARE(dlg->include_sub, true);

        writeKey(*state.settings(), keys::enableSubDir, 0);
        dlg->open();
        QVERIFY(dlg->cbx_sub->isHidden());
        dlg->btn_ok->click();
        QCOMPARE(stored(), 0);
        QCOMPARE(dlg->include_sub, false);
    }

    void cancelAndCloseBoxChooseNothing()
    {
        writeKey(*state.settings(), keys::enableSubDir, 0);
        openForAdding();
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/b")));
        dlg->btn_ok->click();
        QCOMPARE(dlg->include_sub, false);

        for (const bool viaCloseBox : {false, true}) {
            openForAdding();
            QVERIFY(dlg->selectFolder(folders + QStringLiteral("/a")));
            dlg->cbx_sub->setChecked(true);
            if (viaCloseBox)
                QVERIFY(dlg->close());
            else
                dlg->btn_cancel->click();
            QVERIFY(!dlg->isVisible());
            QCOMPARE(dlg->chosen_dir, QString());
            QCOMPARE(dlg->include_sub, false); // kept from the last OK
            QCOMPARE(stored(), 0);
            QVERIFY(dlg->cbx_sub->isHidden());
        }
    }

    void selectionPersistsBetweenShowings()
    {
        FakePrompts prompts;
        const QString b = folders + QStringLiteral("/b");
        prompts.dialogActions.push_back([&](QDialog&) {
            QVERIFY(dlg->selectFolder(b));
            dlg->btn_cancel->click();
        });
        // The user only presses OK; the folder is still the one chosen last time, and in view.
        prompts.dialogActions.push_back([&](QDialog&) {
            QTreeView* tree = dlg->stview_selectdir;
            QTRY_VERIFY_WITH_TIMEOUT(
                tree->viewport()->rect().contains(tree->visualRect(model()->index(b))), 10000);
            dlg->btn_ok->click();
        });
        prompts.runModal(*dlg);
        QCOMPARE(dlg->chosen_dir, QString());
        // Meanwhile the folder list of its parent is read; the selection survives that.
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowCount(model()->index(folders)) == 4, 10000);
        prompts.runModal(*dlg);
        QCOMPARE(dlg->chosen_dir, b);
    }

    void folderMadeAfterItsParentWasReadCanBeSelected()
    {
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/a")));
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowCount(model()->index(folders)) == 4, 10000);
        QTemporaryDir fresh(folders + QStringLiteral("/new-XXXXXX"));
        QVERIFY(fresh.isValid());
        dlg->open();
        QVERIFY(dlg->selectFolder(fresh.path()));
        dlg->btn_ok->click();
        QCOMPARE(dlg->chosen_dir, fresh.path());
        // No such folder: the selection stays where it was.
        dlg->open();
        QVERIFY(!dlg->selectFolder(folders + QStringLiteral("/missing")));
        dlg->btn_ok->click();
        QCOMPARE(dlg->chosen_dir, fresh.path());
    }

    void rightClickSelects()
    {
        dlg->open();
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/a")));
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowCount(model()->index(folders)) == 4, 10000);
        QTreeView* tree = dlg->stview_selectdir;
        const QModelIndex b = model()->index(folders + QStringLiteral("/b"));
        tree->scrollTo(b);
        const QRect r = tree->visualRect(b);
        QVERIFY(r.isValid());
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, r.center());
        QCOMPARE(dlg->selectedFolder(), folders + QStringLiteral("/b"));
        QVERIFY(dlg->btn_ok->isEnabled());
    }

    void enterAndEscMeanNothing()
    {
        dlg->open();
        QVERIFY(dlg->selectFolder(folders));
        dlg->stview_selectdir->setFocus();
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(dlg->stview_selectdir, key);
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->chosen_dir, QString());
        // On a focused button, Enter presses that button.
        dlg->btn_ok->setFocus();
        QTest::keyClick(dlg->btn_ok, Qt::Key_Return);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->chosen_dir, folders);
    }
};

QTEST_MAIN(TestFolderPicker)
#include "test_folder_picker.moc"
