#include "AppState.h"
#include "ExceptionHook.h"
#include "FakePrompts.h"
#include "FolderPicker.h"
#include "SettingsFile.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace sondrel;

// QVERIFY for helpers that return a value.
#define QVERIFY_RETURN(cond, value)                                                                        \
    do {                                                                                                   \
        if (!QTest::qVerify(static_cast<bool>(cond), #cond, "", __FILE__, __LINE__))                       \
            return value;                                                                                  \
    } while (false)


class TestFolderPicker : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString folders; // a small tree of folders to pick from
    AppState state;
    FakePrompts prompts;
    std::unique_ptr<Tfm_dir> dlg;
    int hookCalls = 0;

    QAbstractItemModel* model() const { return dlg->stview_selectdir->model(); }
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
    void openForAdding()
    {
        dlg->showForAdding();
        dlg->open();
    }
    void openForOutput(const QString& folder)
    {
        dlg->showForOutput(folder);
        dlg->open();
    }
    // The names of the folders shown below a folder.
    QStringList shownBelow(const QString& path)
    {
        QVERIFY_RETURN(dlg->selectFolder(path), {});
        const QModelIndex parent = dlg->stview_selectdir->currentIndex();
        dlg->stview_selectdir->expand(parent);
        QStringList out;
        for (int r = 0; r < model()->rowCount(parent); ++r)
            out << model()->index(r, 0, parent).data().toString();
        return out;
    }
    // The prompt shows whole: its text fits the label, and the tree starts below it.
    void checkPromptWhole()
    {
        QLabel* l = dlg->lbl_action;
        const QRect need = l->fontMetrics().boundingRect(QRect(0, 0, l->width(), 1000), Qt::TextWordWrap, l->text());
        QVERIFY2(need.width() <= l->width() && need.height() <= l->height(),
                 qPrintable(QStringLiteral("%1 needs %2x%3, has %4x%5").arg(l->text()).arg(need.width())
                                .arg(need.height()).arg(l->width()).arg(l->height())));
        QVERIFY(l->geometry().right() < dlg->width());
        QVERIFY(l->geometry().bottom() < dlg->stview_selectdir->geometry().top());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        folders = QDir(tmp.path()).canonicalPath() + QStringLiteral("/music");
        for (const char* sub : {"a/deep/deeper", "b", "c with blank", "ümlaut", "Disc 10", "disc 9", ".hidden"})
            QVERIFY(QDir().mkpath(folders + QLatin1Char('/') + QString::fromUtf8(sub)));
        setExceptionHandler([this](std::exception_ptr) { ++hookCalls; });
    }

    void init()
    {
        static int n = 0;
        state.openSettings(std::make_unique<SettingsFile>(
            tmp.filePath(QStringLiteral("trevalon%1.ini").arg(++n))));
        prompts.messages.clear();
        dlg = std::make_unique<Tfm_dir>(state, nullptr, &prompts);
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
        QCOMPARE(dlg->stview_selectdir->geometry(), QRect(10, 32, 281, 158));
        QCOMPARE(dlg->edt_path->geometry(), QRect(10, 195, 281, 22));
        QCOMPARE(dlg->btn_ok->geometry(), QRect(53, 246, 75, 25));
        QCOMPARE(dlg->btn_cancel->geometry(), QRect(169, 246, 75, 25));
        QCOMPARE(dlg->btn_ok->text(), QStringLiteral("OK"));
        QCOMPARE(dlg->btn_cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(dlg->cbx_sub->pos(), QPoint(15, 225));
        QCOMPARE(dlg->cbx_sub->text(), QStringLiteral("Include Sub-folders"));
        QVERIFY(dlg->cbx_sub->isHidden());
        QCOMPARE(dlg->btn_newfolder->text(), QStringLiteral("New Folder"));
        QVERIFY(dlg->btn_newfolder->isHidden());

        // "/" is the one top node, opened; the home folder is selected and shown in the field.
        QCOMPARE(model()->rowCount(), 1);
        const QModelIndex root = model()->index(0, 0);
        QCOMPARE(root.data().toString(), QStringLiteral("/"));
        QVERIFY(dlg->stview_selectdir->isExpanded(root));
        QCOMPARE(dlg->selectedFolder(), QDir::homePath());
        openForAdding();
        QCOMPARE(dlg->edt_path->text(), QDir::homePath());
        QVERIFY(dlg->btn_ok->isEnabled());
        const QModelIndex home = dlg->stview_selectdir->currentIndex();
        QVERIFY(dlg->stview_selectdir->viewport()->rect().contains(dlg->stview_selectdir->visualRect(home)));

        // Tab order: tree, path, OK, Cancel, box.
        QCOMPARE(nextTab(dlg->stview_selectdir), dlg->edt_path);
        QCOMPARE(nextTab(dlg->edt_path), dlg->btn_ok);
        QCOMPARE(nextTab(dlg->btn_ok), dlg->btn_cancel);
        QCOMPARE(nextTab(dlg->btn_cancel), dlg->cbx_sub);
        QCOMPARE(nextTab(dlg->cbx_sub), dlg->stview_selectdir);
        if (const QByteArray dir = qgetenv("SONDREL_SHOTS"); !dir.isEmpty()) {
            QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/folder_picker_add.png")));
            dlg->reject();
            openForOutput(folders);
            QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/folder_picker_output.png")));
        }
    }

    // Folders in natural order, hidden ones left out; the whole tree reaches "/".
    void foldersInNaturalOrder()
    {
        QCOMPARE(shownBelow(folders),
                 QStringList({"a", "b", "c with blank", "disc 9", "Disc 10", "ümlaut"}));
        QVERIFY(dlg->selectFolder(QStringLiteral("/")));
        QCOMPARE(dlg->selectedFolder(), QStringLiteral("/"));
        // A hidden folder named in full is found all the same.
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/.hidden")));
        QCOMPARE(dlg->selectedFolder(), folders + QStringLiteral("/.hidden"));
    }

    // Each mode shows its prompt whole, however often the two alternate, and its own control
    // where the other's was: no gap.
    void promptsWholeAndNoGap()
    {
        for (int round = 0; round < 3; ++round) {
            openForOutput(folders);
            checkPromptWhole();
            QVERIFY(dlg->btn_newfolder->isVisible());
            QVERIFY(!dlg->cbx_sub->isVisible());
            QVERIFY(dlg->btn_newfolder->geometry().intersects(dlg->cbx_sub->geometry()));
            dlg->reject();
            openForAdding();
            checkPromptWhole();
            QVERIFY(dlg->cbx_sub->isVisible());
            QVERIFY(!dlg->btn_newfolder->isVisible());
            dlg->reject();
        }
        // A prompt too wide for one line wraps, and the tree makes room.
        dlg->lbl_action->setText(QStringLiteral("Please select the folder you want to save your files, "
                                                "or make a new one for them with the button below."));
        dlg->open();
        checkPromptWhole();
        QVERIFY(dlg->lbl_action->wordWrap());
        dlg->reject();
    }

    // Nothing arrives later to move the tree: the selection stays where it was shown.
    void noJumpAfterOpening()
    {
        openForOutput(folders + QStringLiteral("/c with blank"));
        QTreeView* tree = dlg->stview_selectdir;
        const QRect shown = tree->visualRect(tree->currentIndex());
        const int scroll = tree->verticalScrollBar()->value();
        QVERIFY(tree->viewport()->rect().contains(shown));
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(tree->visualRect(tree->currentIndex()), shown);
        QCOMPARE(tree->verticalScrollBar()->value(), scroll);
    }

    // Browse opens at the output folder, or at the nearest folder above it that exists.
    void outputStartsAtTheOutputFolder()
    {
        openForOutput(folders + QStringLiteral("/b"));
        QCOMPARE(dlg->selectedFolder(), folders + QStringLiteral("/b"));
        QCOMPARE(dlg->edt_path->text(), folders + QStringLiteral("/b"));
        dlg->reject();
        openForOutput(folders + QStringLiteral("/a/not made/yet"));
        QCOMPARE(dlg->selectedFolder(), folders + QStringLiteral("/a"));
        dlg->btn_ok->click();
        QCOMPARE(dlg->chosen_dir, folders + QStringLiteral("/a"));
    }

    // Enter in the path field chooses the folder it names, as OK does: a full path, a path
    // relative to the selected folder, or "~".
    void enterInThePathFieldChoosesTheTypedFolder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen"); // below the test's folders; "~" for the home folder
        QTest::newRow("full path, blanks around") << "  %1/a/deep/ " << "/a/deep";
        QTest::newRow("relative") << "../b" << "/b";
        QTest::newRow("home") << "~" << "~";
    }
    void enterInThePathFieldChoosesTheTypedFolder()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        openForAdding();
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/a")));
        dlg->edt_path->setText(typed.contains(QLatin1String("%1")) ? typed.arg(folders) : typed);
        QTest::keyClick(dlg->edt_path, Qt::Key_Return);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->chosen_dir, chosen == QLatin1String("~") ? QDir::homePath() : folders + chosen);
        QVERIFY(prompts.messages.isEmpty());
    }

    // The tree follows a full path as it is typed, to each folder on the way that exists,
    // and never rewrites what is being typed.
    void treeFollowsTheTypedPath()
    {
        openForAdding();
        QVERIFY(dlg->selectFolder(QDir::homePath()));
        dlg->edt_path->clear();
        const QString target = folders + QStringLiteral("/a/deep/deeper");
        QString selectedAtDee;
        for (const QChar c : target) {
            QTest::keyClicks(dlg->edt_path, QString(c));
            QCOMPARE(dlg->edt_path->text(), target.left(dlg->edt_path->text().size()));
            if (dlg->edt_path->text() == folders + QStringLiteral("/a/dee"))
                selectedAtDee = dlg->selectedFolder();
        }
        QCOMPARE(selectedAtDee, folders + QStringLiteral("/a")); // "dee" is no folder
        QCOMPARE(dlg->selectedFolder(), target);
        QVERIFY(dlg->stview_selectdir->isExpanded(dlg->stview_selectdir->currentIndex().parent()));
        QVERIFY(prompts.messages.isEmpty());
        QVERIFY(dlg->isVisible());
    }

    // A folder that does not exist: when adding, said; for the output, made (with the
    // folders above it) and chosen when the user says Yes. Otherwise the picker stays open.
    void missingFolder_data()
    {
        QTest::addColumn<bool>("output");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("adding") << false << true << true;
        QTest::newRow("output, Yes, Enter") << true << true << true;
        QTest::newRow("output, Yes, OK") << true << true << false;
        QTest::newRow("output, No") << true << false << true;
    }
    void missingFolder()
    {
        QFETCH(bool, output);
        QFETCH(bool, yes);
        QFETCH(bool, byEnter);
        // Outside the folders the other tests list.
        const QString missing = QDir(tmp.path()).canonicalPath() + QStringLiteral("/new %1/deeper").arg(QTest::currentDataTag());
        if (output)
            openForOutput(folders + QStringLiteral("/b"));
        else
            openForAdding();
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/b")));
        prompts.answers = {yes};
        dlg->edt_path->setText(missing);
        if (byEnter)
            QTest::keyClick(dlg->edt_path, Qt::Key_Return);
        else
            dlg->btn_ok->click();
        const bool made = output && yes;
        QCOMPARE(prompts.texts(), QStringList({output ? QStringLiteral("The folder %1 does not exist. Do you want to create it?").arg(missing)
                                                      : QStringLiteral("There is no folder %1.").arg(missing)}));
        QCOMPARE(QFileInfo(missing).isDir(), made);
        QCOMPARE(dlg->isVisible(), !made);
        QCOMPARE(dlg->chosen_dir, made ? missing : QString());
        if (!made) {
            QCOMPARE(dlg->selectedFolder(), folders + QStringLiteral("/b"));
            QCOMPARE(dlg->edt_path->text(), missing);
        }
    }

    void newFolderIsMadeAndNamedInPlace()
    {
        const QString parent = folders + QStringLiteral("/b");
        openForOutput(parent);
        dlg->btn_newfolder->click();
        QVERIFY(QFileInfo(parent + QStringLiteral("/New Folder")).isDir());
        QCOMPARE(dlg->selectedFolder(), parent + QStringLiteral("/New Folder"));
        // Its name is open for typing; Enter keeps what was typed.
        QTreeView* tree = dlg->stview_selectdir;
        auto* editor = tree->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor && editor->isVisible());
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Live 2024"));
        QTest::keyClick(editor, Qt::Key_Return);
        // The view takes the name over once the key has reached the editor.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(parent + QStringLiteral("/Live 2024")).isDir(), 5000);
        QVERIFY(!QFileInfo::exists(parent + QStringLiteral("/New Folder")));
        QCOMPARE(dlg->selectedFolder(), parent + QStringLiteral("/Live 2024"));
        QCOMPARE(dlg->edt_path->text(), parent + QStringLiteral("/Live 2024"));
        // A second and a third are numbered.
        QVERIFY(dlg->selectFolder(parent));
        dlg->btn_newfolder->click();
        QVERIFY(dlg->selectFolder(parent));
        dlg->btn_newfolder->click();
        QVERIFY(QFileInfo(parent + QStringLiteral("/New Folder (2)")).isDir());
        dlg->btn_ok->click();
        QCOMPARE(dlg->chosen_dir, parent + QStringLiteral("/New Folder (2)"));
        // Where no folder can be made, the picker says so.
        const QString locked = folders + QStringLiteral("/c with blank");
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QDir(locked).mkdir(QStringLiteral("probe"))) {
            QDir(locked).rmdir(QStringLiteral("probe"));
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("running as a user whom permissions do not stop");
        }
        openForOutput(locked);
        dlg->btn_newfolder->click();
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(prompts.texts(), QStringList({QStringLiteral("A folder cannot be made in %1.").arg(locked)}));
        QCOMPARE(dlg->selectedFolder(), locked);
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
        QCOMPARE(dlg->chosen_dir, QDir::homePath());
    }

    void okGivesThePathAndStoresTheBox()
    {
        writeKey(*state.settings(), keys::enableSubDir, 1);
        openForAdding();
        const QString deep = folders + QStringLiteral("/a/deep/deeper");
        QVERIFY(dlg->selectFolder(deep + QStringLiteral("/")));
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
        openForOutput(folders);
        dlg->btn_ok->click();
        QVERIFY(storedPresent());
        QCOMPARE(stored(), 1);
        QCOMPARE(dlg->include_sub, true);

        writeKey(*state.settings(), keys::enableSubDir, 0);
        openForOutput(folders);
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
        const QString b = folders + QStringLiteral("/b");
        prompts.dialogActions.push_back([&](QDialog&) {
            QVERIFY(dlg->selectFolder(b));
            dlg->btn_cancel->click();
        });
        // The user only presses OK; the folder is still the one chosen last time, and in view.
        prompts.dialogActions.push_back([&](QDialog&) {
            QTreeView* tree = dlg->stview_selectdir;
            QVERIFY(tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex())));
            dlg->btn_ok->click();
        });
        dlg->showForAdding();
        prompts.runModal(*dlg);
        QCOMPARE(dlg->chosen_dir, QString());
        dlg->showForAdding();
        prompts.runModal(*dlg);
        QCOMPARE(dlg->chosen_dir, b);
    }

    void folderMadeAfterItsParentWasReadCanBeSelected()
    {
        QVERIFY(dlg->selectFolder(folders + QStringLiteral("/a")));
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
        QTreeView* tree = dlg->stview_selectdir;
        const QModelIndex b = tree->currentIndex().siblingAtRow(1);
        QCOMPARE(b.data().toString(), QStringLiteral("b"));
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
