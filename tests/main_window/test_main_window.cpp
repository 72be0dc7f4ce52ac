#include "AppShell.h"
#include "Dialogs.h"
#include "ExceptionHook.h"
#include "FakePrompts.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsDialog.h"
#include "SettingsFile.h"
#include "WindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include "FileListView.h"

#include <QHeaderView>
#include <memory>

using namespace sondrel;

namespace {
const QStringList AllItems{"AddFile1", "AddFile2", "AddPath1", "AddPath2", "Remove1", "Remove2",
                           "Clear1", "Clear2", "Convert1", "Convert2", "StopConverting1",
                           "StopConverting2", "AnalyzeLoudness1", "AnalyzeLoudness2", "Play1", "Play2", "PausePlaying1", "Pause1",
                           "Stopplaying1", "StopPlay1", "Settings1", "ID31", "File1", "Exit1",
                           "Action1", "Help1", "Content1", "Website1", "About1"};
}

class TestMainWindow : public WindowFixture {
    Q_OBJECT

    void addRows(int n)
    {
        for (int i = 0; i < n; ++i)
            w().list->append(QStringLiteral("f%1.mp3").arg(i), QStringLiteral("/x/f%1.mp3").arg(i),
                         "00:00:01", "0.01MB", rows::Unconverted);
    }
    QStringList enabledItems()
    {
        QStringList on;
        for (const QString& name : AllItems) {
            QAction* a = w().item(name.toLatin1().constData());
            if (!a)
                qFatal("no item %s", qPrintable(name));
            if (a->isEnabled())
                on << name;
        }
        if (w().cb_format->isEnabled())
            on << "cb_format";
        if (w().lv->isEnabled())
            on << "lv";
        return on;
    }

private slots:
    void init() { forgetSettings(); }
    void cleanup()
    {
        stop();
        setExceptionHandler({});
    }

    void startsWithMusicFolderAndMp3WithoutSettingsFile()
    {
        QVERIFY(startFirstTime());
        QCOMPARE(w().edt_dir->text(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
        QCOMPARE(w().cb_format->currentText(), QString("MP3"));
        QVERIFY(!w().edt_dir->isEnabled());
        QVERIFY(w().edt_dir->isReadOnly());
        // Showing the stored choices writes nothing.
        QVERIFY(!QFile::exists(settingsPath()));
    }

    void layoutAndMenus()
    {
        start();
        QCOMPARE(w().centralWidget()->size(), QSize(481, 388));
        QCOMPARE(w().lv->geometry(), QRect(6, 73, 469, 247));
        QCOMPARE(w().pb->geometry(), QRect(20, 330, 441, 12));
        QCOMPARE(w().cb_format->geometry(), QRect(243, 357, 55, 21));
        QCOMPARE(w().edt_dir->geometry(), QRect(303, 357, 95, 21));
        QCOMPARE(w().pb->minimum(), 0);
        QCOMPARE(w().pb->maximum(), 100);
        QVERIFY(!w().pb->isTextVisible());
        QStringList headers;
        for (int c = 0; c < w().lv->model()->columnCount(); ++c)
            headers << w().lv->model()->headerData(c, Qt::Horizontal).toString();
        // (Their widths: test_window_size.)
        QCOMPARE(headers, QStringList({"File Name", "Full Path", "Time", "Size", "Status", "Output", "Loudness"}));
        QStringList formats;
        for (int i = 0; i < w().cb_format->count(); ++i)
            formats << w().cb_format->itemText(i);
        QCOMPARE(formats, QStringList({"MP3", "WAV", "WMA", "OGG", "FLAC", "Opus", "M4A"}));
        QCOMPARE(w().cbx_keep->text(), QString("Keep folders"));

        // Each menu: captions and object names in order, separators included.
        const auto describe = [](const QList<QAction*>& actions) {
            QStringList out;
            for (QAction* a : actions)
                out << (a->isSeparator() ? "-" : QString(a->text()).remove('&')) + "=" + a->objectName();
            return out;
        };
        QCOMPARE(describe(w().menuBar()->actions()),
                 QStringList({"File=File1", "Action=Action1", "Options=Settings1", "ID3 Tag=ID31", "Help=Help1"}));
        QCOMPARE(describe(w().findChild<QMenu*>("File1")->actions()),
                 QStringList({"Add File(s)=AddFile1", "Add Path=AddPath1", "Remove=Remove1",
                              "Clear=Clear1", "-=N1", "Exit=Exit1"}));
        QCOMPARE(describe(w().findChild<QMenu*>("Action1")->actions()),
                 QStringList({"Convert=Convert1", "Stop Converting=StopConverting1",
                              "Analyze Loudness=AnalyzeLoudness1", "-=N2",
                              "Play=Play1", "Pause=PausePlaying1", "Stop Playing=Stopplaying1"}));
        QCOMPARE(describe(w().findChild<QMenu*>("Help1")->actions()),
                 QStringList({"Content=Content1", "-=N3", "Website=Website1", "-=N6", "About=About1"}));
        QCOMPARE(describe(w().PopupMenu1->actions()),
                 QStringList({"Add File(s)=AddFile2", "Add Path=AddPath2", "Remove=Remove2",
                              "Clear=Clear2", "-=N5", "Convert=Convert2",
                              "Stop Converting=StopConverting2", "Analyze Loudness=AnalyzeLoudness2", "-=N4",
                              "Play=Play2",
                              "Pause=Pause1", "Stop Playing=StopPlay1"}));
    }

    void storedFormatOutsideRangeSelectsNothing()
    {
        SettingsFile(settingsPath()).write_int("basic", "format", 7);
        SettingsFile(settingsPath()).write_string("basic", "output directory", "/srv/out put");
        start();
        QCOMPARE(w().cb_format->currentIndex(), -1);
        QCOMPARE(w().edt_dir->text(), QString("/srv/out put"));
    }

    void changedFormatIsStoredAtOnceAndSurvivesRestart()
    {
        start();
        w().cb_format->setCurrentIndex(3);
        QCOMPARE(SettingsFile(settingsPath()).read_int("basic", "format", -1), 3);
        w().cb_format->setCurrentIndex(1);
        QCOMPARE(SettingsFile(settingsPath()).read_int("basic", "format", -1), 1);
        start();
        QCOMPARE(w().cb_format->currentText(), QString("WAV"));
        // The newer formats follow the first four: stored positions 4, 5 and 6.
        for (const auto& [index, name] : {std::pair{4, "FLAC"}, std::pair{5, "Opus"}, std::pair{6, "M4A"}}) {
            SettingsFile(settingsPath()).write_int("basic", "format", index);
            start();
            QCOMPARE(w().cb_format->currentText(), QString(name));
        }
    }

    // "Keep folders" is stored at once, read back at start, and cannot change during a run.
    void keepFoldersIsStoredAtOnce()
    {
        start();
        QVERIFY(!w().cbx_keep->isChecked());
        QVERIFY(w().cbx_keep->isEnabled());
        QTest::mouseClick(w().cbx_keep, Qt::LeftButton, {}, QPoint(5, w().cbx_keep->height() / 2));
        QCOMPARE(SettingsFile(settingsPath()).read_int("basic", "keep folders", -1), 1);
        start();
        QVERIFY(w().cbx_keep->isChecked());
        shell->state.setConverting(true);
        QVERIFY(!w().cbx_keep->isEnabled());
        shell->state.setConverting(false);
        QVERIFY(w().cbx_keep->isEnabled());
        w().cbx_keep->setChecked(false);
        QCOMPARE(SettingsFile(settingsPath()).read_int("basic", "keep folders", -1), 0);
    }

    void eachUiStateEnablesItsColumn()
    {
        start();
        AppState& s = shell->state;
        const QStringList always{"File1", "Exit1", "Action1", "Help1", "Content1", "Website1", "About1", "lv"};
        const QStringList listEdit{"AddFile1", "AddFile2", "AddPath1", "AddPath2", "Remove1", "Remove2", "Clear1", "Clear2"};
        const auto expect = [&](QStringList on) {
            on += always;
            on.sort();
            QStringList got = enabledItems();
            got.sort();
            return got == on ? QString() : got.join(",") + " != " + on.join(",");
        };
        // idle
        QString diff = expect(listEdit + QStringList{"Convert1", "Convert2", "AnalyzeLoudness1", "AnalyzeLoudness2", "Play1",
                                                     "Play2", "Settings1", "ID31", "cb_format"});
        QVERIFY2(diff.isEmpty(), qPrintable("idle: " + diff));
        s.setAdding(true);
        // Stop Converting stops an adding too.
        diff = expect({"Settings1", "ID31", "cb_format", "StopConverting1", "StopConverting2"});
        QVERIFY2(diff.isEmpty(), qPrintable("adding: " + diff));
        s.setAdding(false);
        s.setConverting(true);
        diff = expect({"StopConverting1", "StopConverting2"});
        QVERIFY2(diff.isEmpty(), qPrintable("converting: " + diff));
        s.setConverting(false);
        // Stop ends an analysis; the tag editor, which writes to the files read, waits.
        s.setAnalyzing(true);
        diff = expect({"Settings1", "cb_format", "StopConverting1", "StopConverting2"});
        QVERIFY2(diff.isEmpty(), qPrintable("analyzing: " + diff));
        s.setAnalyzing(false);
        s.setPlaying(true);
        diff = expect({"Play1", "Play2", "PausePlaying1", "Pause1", "Stopplaying1", "StopPlay1", "Settings1", "ID31", "cb_format"});
        QVERIFY2(diff.isEmpty(), qPrintable("playing: " + diff));
        s.setPaused(true);
        diff = expect({"Play1", "Play2", "Stopplaying1", "StopPlay1", "Settings1", "ID31", "cb_format"});
        QVERIFY2(diff.isEmpty(), qPrintable("paused: " + diff));
        s.setPaused(false);
        s.setPlaying(false);
        diff = expect(listEdit + QStringList{"Convert1", "Convert2", "AnalyzeLoudness1", "AnalyzeLoudness2", "Play1",
                                             "Play2", "Settings1", "ID31", "cb_format"});
        QVERIFY2(diff.isEmpty(), qPrintable("idle again: " + diff));
    }

    void refusalsShowTheirMessagesAndChangeNothing()
    {
        start();
        AppState& s = shell->state;
        // Empty list: Convert, Clear and ID3 Tag do nothing and say nothing.
        w().item("Convert1")->trigger();
        w().item("Clear2")->trigger();
        w().item("ID31")->trigger();
        QVERIFY(prompts->messages.isEmpty());
        addRows(3);
        // Rows but none selected.
        w().item("ID31")->trigger();
        QCOMPARE(prompts->texts(), QStringList({"Please select the file you want to edit."}));
        QCOMPARE(prompts->messages.last().kind, FakePrompts::Kind::Information);
        QCOMPARE(prompts->messages.last().caption, QString("Information"));
        w().item("Remove1")->trigger();
        QCOMPARE(w().list->count(), 3);
        prompts->messages.clear();

        s.setPlaying(true);
        const QStringList enabledBefore = enabledItems();
        w().item("Convert1")->trigger(); // disabled: the menu item does nothing
        QVERIFY(prompts->messages.isEmpty());
        w().Convert1Click();             // invoked all the same (as the skin's button does)
        QCOMPARE(prompts->texts(), QStringList({"Please stop playing first."}));
        QCOMPARE(enabledItems(), enabledBefore);
        QVERIFY(!s.flag_converting());
        s.setPlaying(false);
        prompts->messages.clear();

        s.setConverting(true);
        w().Play1Click();
        w().lv->selectRow(1);
        w().lvDblClick();
        w().ID31Click(); // nothing while converting
        w().Remove1Click();
        QCOMPARE(prompts->texts(), QStringList(2, "Please stop converting first."));
        QCOMPARE(w().list->count(), 3);
        QVERIFY(s.flag_converting());
        // Stop Converting only clears the flag.
        w().item("StopConverting2")->trigger();
        QVERIFY(!s.flag_converting());
        QCOMPARE(s.uiState(), UiState::Idle);
    }

    // A double-click on the list's empty space plays the selected row, as one on a row does.
    void doubleClickOnEmptyListSpace()
    {
        start();
        addRows(2);
        w().lv->selectRow(1);
        shell->state.setConverting(true);
        QTest::mouseDClick(w().lv->viewport(), Qt::LeftButton, {}, QPoint(50, w().lv->viewport()->height() - 5));
        QCOMPARE(prompts->texts(), QStringList({"Please stop converting first."}));
        shell->state.setConverting(false);
    }

    void escClosesOnlyTheActiveMainWindow()
    {
        start();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));

        ModalDialog dialog(&w());
        dialog.setClientSize(200, 100);
        dialog.open();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QVERIFY(w().isVisible());
        dialog.close();

        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        QTest::keyClick(w().windowHandle(), Qt::Key_Escape);
        QVERIFY(!w().isVisible());
        // Closing released the store.
        QVERIFY(!shell->state.settings());
    }

    void f1OpensTheHelpFileFromAnyWindow()
    {
        start();
        const QUrl help = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/help/sondrel.chm");
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        QTest::keyClick(w().windowHandle(), Qt::Key_F1);
        QCOMPARE(launcher->urls, QList<QUrl>({help}));

        ModalDialog dialog(&w());
        dialog.setClientSize(200, 100);
        dialog.open();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(dialog.windowHandle(), Qt::Key_F1);
        QCOMPARE(launcher->urls, QList<QUrl>({help, help}));
        QVERIFY(dialog.isVisible());
        dialog.close();

        w().item("Content1")->trigger();
        w().item("Website1")->trigger();
        QCOMPARE(launcher->urls.size(), 4);
        QCOMPARE(launcher->urls.at(2), help);
        QCOMPARE(launcher->urls.at(3), QUrl(QString::fromLatin1(WebSiteAddress)));
        QVERIFY(launcher->processes.isEmpty());
        QVERIFY(prompts->messages.isEmpty());
        // Without a browser the address is shown instead.
        launcher->opens = false;
        w().item("Website1")->trigger();
        QCOMPARE(prompts->texts(), QStringList({QStringLiteral("No web browser could be started. The address is:\n")
                                                + QString::fromLatin1(WebSiteAddress)}));
        launcher->opens = true;
        launcher->urls.removeLast();

        // A viewer already showing the help is brought to the front, not started again.
        launcher->shownWindows = {"xCHM - Sondrel Help"};
        QTest::keyClick(w().windowHandle(), Qt::Key_F1);
        QCOMPARE(launcher->raised, QStringList({"Sondrel Help"}));
        QCOMPARE(launcher->urls.size(), 4);
    }

    void exceptionHookNoClosesYesRestarts()
    {
        start();
        prompts->answers = {false};
        reportException(std::make_exception_ptr(std::runtime_error("boom")));
        QCOMPARE(prompts->texts(), QStringList({"A system error occurs,do you want to restart this program?"}));
        QCOMPARE(prompts->messages.last().kind, FakePrompts::Kind::AskYesNo);
        QVERIFY(!w().isVisible());
        QVERIFY(launcher->processes.isEmpty());

        start();
        prompts->answers = {true};
        reportException(std::make_exception_ptr(std::runtime_error("boom")));
        QVERIFY(!w().isVisible());
        QCOMPARE(launcher->processes, QList<QStringList>({{QCoreApplication::applicationFilePath()}}));
    }

    void errorsInHandlersReachTheHook()
    {
        start();
        // A handler whose work fails: the settings dialog's OK without an open store.
        shell->state.releaseSettings();
        prompts->answers = {false};
        prompts->dialogActions.push_back([](QDialog& d) { static_cast<Tfm_set&>(d).btn_ok->click(); });
        w().item("Settings1")->trigger();
        QCOMPARE(prompts->texts(), QStringList({"A system error occurs,do you want to restart this program?"}));
        QVERIFY(!w().isVisible());
    }

    void closingStopsAConversionAndReleasesTheStore()
    {
        start();
        shell->state.setConverting(true);
        w().item("Exit1")->trigger();
        QVERIFY(!w().isVisible());
        QVERIFY(!shell->state.flag_converting());
        QVERIFY(!shell->state.settings());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
