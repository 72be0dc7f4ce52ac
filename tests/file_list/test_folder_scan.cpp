#include "AppShell.h"
#include "FakePrompts.h"
#include "RunningWindow.h"
#include "FolderPicker.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "TestAudio.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace sondrel;

class TestFolderScan : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString wavTemplate;
    RunningWindow app;
    FakePrompts* prompts = nullptr;
    FakeLauncher* launcher = nullptr;
    AppShell* shell = nullptr;
    Tfm_main& w() { return shell->mainWindow(); }

    void start()
    {
        QVERIFY(app.start());
        prompts = app.prompts.get();
        launcher = app.launcher.get();
        shell = app.shell.get();
    }
    // A fresh folder under the temporary one.
    QString folder(const QString& name)
    {
        const QString p = tmp.filePath(name);
        QDir(p).removeRecursively();
        QDir().mkpath(p);
        return p;
    }
    void wav(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(QFile::copy(wavTemplate, path));
    }
    void text(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not audio");
    }
    QStringList paths()
    {
        QStringList out;
        for (int i = 0; i < rows::count(w().lv); ++i)
            out << rows::text(w().lv, i, rows::FullPath);
        return out;
    }
    // The order a depth-first scan must produce, from the file system's own order.
    void expectedOrder(const QString& dir, bool sub, QStringList* out)
    {
        QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            const QFileInfo fi = it.fileInfo();
            if (fi.fileName().startsWith('.'))
                continue;
            if (fi.isDir() && !fi.isSymLink() && sub)
                expectedOrder(fi.filePath(), sub, out);
            else if (fi.isFile() && QStringList({"wav", "mp3", "ogg", "wma", "flac"}).contains(fi.suffix().toLower()))
                *out << fi.filePath();
        }
    }
    void pickFolder(const QString& path, bool sub)
    {
        prompts->dialogActions.push_back([path, sub](QDialog& d) {
            auto& picker = static_cast<Tfm_dir&>(d);
            picker.selectFolder(path);
            picker.cbx_sub->setChecked(sub);
            picker.btn_ok->click();
        });
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        wavTemplate = tmp.filePath("template.wav.src");
        QVERIFY(testaudio::writeMusicWav(wavTemplate, 8000, 1, 0.3));
    }
    void init() { QFile::remove(SettingsFile::defaultPath()); }
    void cleanup() { app.stop(); }

    void scansDepthFirstWithTheFileSystemsOrder()
    {
        start();
        const QString root = folder("tree");
        wav(root + "/a.wav");
        wav(root + "/SONG.MP3");
        wav(root + "/Song.Wav");
        wav(root + "/sub/inner.ogg");
        wav(root + "/sub/deeper/deep.wma");
        wav(root + "/sub/deeper/Track.FLAC"); // the newer formats' names too, in any case
        wav(root + "/z.wav");
        wav(root + "/.hidden/skip.wav");
        wav(root + "/.dotfile.wav");
        text(root + "/song.mpeg");
        text(root + "/song");
        text(root + "/song.mp3.txt");
        wav(root + "/name with blanks 'quote' #1 ?&é.wav");

        QStringList expected;
        expectedOrder(root, true, &expected);
        QCOMPARE(expected.size(), 8);
        w().ScanFolder(root, true);
        QCOMPARE(paths(), expected);
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(int(shell->state.TrackInfos.size()), 8);
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        for (int i = 0; i < rows::count(w().lv); ++i) {
            QCOMPARE(rows::text(w().lv, i, rows::FileName), QFileInfo(expected[i]).fileName());
            QCOMPARE(rows::text(w().lv, i, rows::Time), QString("00:00:00"));
            QCOMPARE(rows::text(w().lv, i, rows::Status), QString("unconverted"));
        }

        // With and without a trailing "/" alike; without sub-folders only the top files.
        QTreeWidget* lv = w().lv;
        rows::clear(lv);
        w().ScanFolder(root + "/", false);
        QStringList top;
        expectedOrder(root, false, &top);
        QCOMPARE(paths(), top);
        QCOMPARE(top.size(), 5);
    }

    void directoryWithAudioNameIsReportedWhenNotEntered()
    {
        start();
        const QString root = folder("live");
        wav(root + "/live.mp3/track.wav");
        text(root + "/bad.wav");
        w().ScanFolder(root, false);
        QStringList texts = prompts->texts();
        texts.sort();
        QCOMPARE(texts, QStringList({root + "/bad.wav is an invalid audio file!",
                                     root + "/live.mp3 has been removed!"}));
        QCOMPARE(rows::count(w().lv), 0);
        prompts->messages.clear();
        w().ScanFolder(root, true);
        QCOMPARE(paths(), QStringList({root + "/live.mp3/track.wav"}));
    }

    void linkedFoldersAreNotFollowedLinkedFilesAre()
    {
        start();
        const QString root = folder("links");
        wav(root + "/real/one.wav");
        QVERIFY(QFile::link(root, root + "/real/loop"));      // a link to a parent
        QVERIFY(QFile::link(root + "/real/one.wav", root + "/alias.wav"));
        w().ScanFolder(root, true);
        QStringList got = paths();
        got.sort();
        QCOMPARE(got, QStringList({root + "/alias.wav", root + "/real/one.wav"}));
    }

    void emptyOrUnreadableFolderAddsNothingSilently()
    {
        start();
        w().ScanFolder(folder("empty"), true);
        w().ScanFolder(tmp.filePath("does/not/exist"), true);
        QCOMPARE(rows::count(w().lv), 0);
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
    }

    // Every file of the real-world corpus is added with its time or refused with the
    // program's message; nothing crashes or hangs, and the window is idle afterwards.
    void wholeCorpusFolder()
    {
        start();
        const QStringList files = testaudio::corpusFiles();
        QVERIFY(files.size() > 90);
        w().ScanFolder(testaudio::corpusDir(), true);
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        QStringList seen = paths();
        for (const auto& m : prompts->messages) {
            QVERIFY2(m.text.endsWith(" is an invalid audio file!"), qPrintable(m.text));
            seen << m.text.chopped(QStringLiteral(" is an invalid audio file!").size());
        }
        QStringList expected;
        for (const QString& f : files)
            expected << QDir(testaudio::corpusDir()).filePath(f);
        seen.sort();
        expected.sort();
        QCOMPARE(seen, expected);
        QCOMPARE(int(shell->state.TrackInfos.size()), rows::count(w().lv));
        QVERIFY(rows::count(w().lv) > 60);
    }

    void addPathThroughThePickerRemembersSubFolders()
    {
        start();
        const QString root = folder("picked");
        wav(root + "/top.wav");
        wav(root + "/sub/low.wav");
        pickFolder(root, false);
        w().item("AddPath1")->trigger();
        QCOMPARE(paths(), QStringList({root + "/top.wav"}));
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_int("basic", "enable sub dir", -1), 0);
        QCOMPARE(w().fm_dir->windowTitle(), QString("Open Folder"));
        QCOMPARE(w().fm_dir->lbl_action->text(), QString("Please select the folder you want to add."));
        QVERIFY(w().fm_dir->cbx_sub->isHidden()); // hidden again once closed

        // The choice survives a restart; a cancelled picker scans nothing.
        start();
        bool ticked = true;
        prompts->dialogActions.push_back([&](QDialog& d) {
            ticked = static_cast<Tfm_dir&>(d).cbx_sub->isChecked();
            static_cast<Tfm_dir&>(d).btn_cancel->click();
        });
        w().item("AddPath2")->trigger();
        QVERIFY(!ticked);
        QCOMPARE(rows::count(w().lv), 0);
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_int("basic", "enable sub dir", -1), 0);

        pickFolder(root, true);
        w().item("AddPath1")->trigger();
        QCOMPARE(rows::count(w().lv), 2);
    }

    void browseChoosesTheOutputFolderAndCancelKeepsIt()
    {
        start();
        const QString first = folder("out1");
        pickFolder(first, true);
        w().ChooseOutputDir();
        QCOMPARE(w().edt_dir->text(), first);
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_string("basic", "output directory", ""), first);
        QCOMPARE(w().fm_dir->windowTitle(), QString("Output Directory"));
        QCOMPARE(w().fm_dir->lbl_action->text(), QString("Please select the folder you want to save your files."));
        prompts->dialogActions.push_back([](QDialog& d) { static_cast<Tfm_dir&>(d).btn_cancel->click(); });
        w().ChooseOutputDir();
        prompts->dialogActions.push_back([](QDialog& d) { d.close(); });
        w().ChooseOutputDir();
        QCOMPARE(w().edt_dir->text(), first);
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_string("basic", "output directory", ""), first);
        // Not while converting.
        shell->state.setConverting(true);
        const int shown = prompts->dialogsShown;
        w().ChooseOutputDir();
        QCOMPARE(prompts->dialogsShown, shown);
    }
};

QTEST_MAIN(TestFolderScan)
#include "test_folder_scan.moc"
