#include "AppShell.h"
#include "FakePrompts.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderPicker.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "Skin.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>

using namespace sondrel;

class TestFolderScan : public WindowFixture {
    Q_OBJECT
    QString wavTemplate;

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
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->text(i, rows::FullPath);
        return out;
    }
    // Scans as "Add Path" does and waits until the adding has ended.
    void scan(const QString& dir, bool sub)
    {
        w().ScanFolder(dir, sub);
        QVERIFY(app.waitAdded());
    }
    // A tree of folders of hard links to one small file: many files, made quickly.
    QString bigTree(const QString& name, int folders, int perFolder)
    {
        const QString root = folder(name);
        for (int d = 0; d < folders; ++d) {
            const QString sub = root + QStringLiteral("/d%1").arg(d);
            QDir().mkpath(sub);
            for (int f = 0; f < perFolder; ++f)
                if (::link(QFile::encodeName(wavTemplate).constData(),
                           QFile::encodeName(sub + QStringLiteral("/t%1.wav").arg(f)).constData()) != 0)
                    qFatal("cannot link into %s", qPrintable(sub));
        }
        return root;
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
        wavTemplate = tmp.filePath("template.wav.src");
        QVERIFY(testaudio::writeMusicWav(wavTemplate, 8000, 1, 0.3));
    }
    void init() { forgetSettings(); }
    void cleanup() { stop(); }

    // Every folder's entries in natural, case-insensitive name order; a sub-folder's files
    // where the sub-folder stands among its parent's entries.
    void scansDepthFirstInNaturalNameOrder()
    {
        start();
        const QString root = folder("tree");
        for (const char* f : {"a 20.wav", "a 3.wav", "b10.wav", "B2.wav", "SONG.MP3", "Song.Wav", "z.wav",
                              "sub 10/inner.ogg", "sub 2/deeper/deep.wma", "sub 2/deeper/Track.FLAC", "sub 2/Y.wav", "sub 2/x.wav",
                              ".hidden/skip.wav", ".dotfile.wav", "name with blanks 'quote' #1 ?&é.wav"})
            wav(root + "/" + QString::fromUtf8(f));
        text(root + "/song.mpeg");
        text(root + "/song");
        text(root + "/song.mp3.txt");

        const QStringList expected{"a 3.wav", "a 20.wav", "B2.wav", "b10.wav", "name with blanks 'quote' #1 ?&é.wav",
                                   "SONG.MP3", "Song.Wav", "sub 2/deeper/deep.wma", "sub 2/deeper/Track.FLAC", "sub 2/x.wav", "sub 2/Y.wav",
                                   "sub 10/inner.ogg", "z.wav"};
        scan(root, true);
        QStringList got = paths();
        got.replaceInStrings(root + "/", QString());
        QCOMPARE(got, expected);
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        for (int i = 0; i < w().list->count(); ++i) {
            QCOMPARE(w().list->text(i, rows::FileName), QFileInfo(paths()[i]).fileName());
            QCOMPARE(w().list->text(i, rows::Time), QString("00:00:00"));
            QCOMPARE(w().list->text(i, rows::Status), QString("unconverted"));
        }

        // With and without a trailing "/" alike; without sub-folders only the top files.
        w().list->clear();
        scan(root + "/", false);
        got = paths();
        got.replaceInStrings(root + "/", QString());
        QCOMPARE(got, QStringList({"a 3.wav", "a 20.wav", "B2.wav", "b10.wav", "name with blanks 'quote' #1 ?&é.wav",
                                   "SONG.MP3", "Song.Wav", "z.wav"}));
    }

    // FIFOs, devices and sockets named like audio are skipped without a word and never
    // opened (a FIFO would wait for a writer, /dev/zero never ends).
    void specialFilesInAScanAreSkipped()
    {
        start();
        const QString root = folder("special");
        QCOMPARE(::mkfifo(QFile::encodeName(root + "/pipe.wav").constData(), 0644), 0);
        QVERIFY(QFile::link("/dev/zero", root + "/zero.mp3"));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray sock = QFile::encodeName(root + "/sock.ogg");
        std::memcpy(addr.sun_path, sock.constData(), size_t(sock.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
        wav(root + "/real.wav");
        scan(root, true);
        QCOMPARE(paths(), QStringList({root + "/real.wav"}));
        QVERIFY(prompts->messages.isEmpty());
    }

    // Names that are not valid UTF-8 (a file, and a folder with a file in it) are listed in
    // one message; the others are added.
    void undecodableNamesAreListedInOneMessage()
    {
        start();
        const QString root = folder("names");
        const QByteArray base = QFile::encodeName(root);
        wav(root + "/good.wav");
        wav(root + "/tmp.wav");
        QCOMPARE(::rename(QFile::encodeName(root + "/tmp.wav").constData(), (base + "/bad\xe9.wav").constData()), 0);
        wav(root + "/sub/inner.wav");
        QCOMPARE(::rename(QFile::encodeName(root + "/sub").constData(), (base + "/dir\xff").constData()), 0);
        scan(root, true);
        QCOMPARE(paths(), QStringList({root + "/good.wav"}));
        QCOMPARE(prompts->messages.size(), 1);
        const QString text = prompts->messages[0].text;
        QVERIFY2(text.contains("not valid UTF-8"), qPrintable(text));
        QVERIFY2(text.contains(QFile::decodeName(base + "/bad\xe9.wav")), qPrintable(text));
        QVERIFY2(text.contains(QFile::decodeName(base + "/dir\xff")), qPrintable(text));
        // Qt cannot remove them either.
        QCOMPARE(::unlink((base + "/bad\xe9.wav").constData()), 0);
        QCOMPARE(::unlink((base + "/dir\xff/inner.wav").constData()), 0);
        QCOMPARE(::rmdir((base + "/dir\xff").constData()), 0);
    }

    // Stop Converting ends a scan, from the menu, the popup or the skin's "Stop": the rows
    // added stay, no more come, and the window is idle.
    void stopEndsAScan()
    {
        start();
        const QString root = bigTree("big", 40, 100);
        for (int way = 0; way < 3; ++way) {
            w().list->clear();
            int firstBatch = -1;
            auto stopAtFirstRows = connect(w().lv->listModel(), &QAbstractItemModel::rowsInserted, this, [&] {
                if (firstBatch >= 0)
                    return;
                firstBatch = w().list->count();
                QVERIFY(w().item("StopConverting1")->isEnabled());
                if (way == 0)
                    w().item("StopConverting1")->trigger();
                else if (way == 1)
                    w().item("StopConverting2")->trigger();
                else
                    w().SkinClick(SkinObject("Stop"));
            });
            w().ScanFolder(root, true);
            QVERIFY(app.waitAdded(30000));
            disconnect(stopAtFirstRows);
            QCOMPARE(w().list->count(), firstBatch);
            QVERIFY(firstBatch > 0 && firstBatch < 4000);
            QCOMPARE(shell->state.uiState(), UiState::Idle);
            QVERIFY(w().item("AddPath1")->isEnabled());
            QCoreApplication::processEvents();
            QCOMPARE(w().list->count(), firstBatch);
        }
        // The list is whole when nobody stops it.
        w().list->clear();
        scan(root, true);
        QCOMPARE(w().list->count(), 4000);
    }

    // Closing the window in the middle of a scan ends it at once, and the program exits.
    void closingMidScanEndsTheProgram()
    {
        const QString root = bigTree("closing", 40, 100);
        QProcess child;
        child.start(QStringLiteral(ADDING_CHILD), {root});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(child.exitCode() == 0, qPrintable(out + child.readAllStandardError()));
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QString("closed"));
        QVERIFY(lines.value(1).startsWith("rows "));
        QVERIFY(lines.value(1).mid(5).toInt() < 4000);
        QCOMPARE(lines.value(2), QString("idle"));
    }

    void directoryWithAudioNameIsReportedWhenNotEntered()
    {
        start();
        const QString root = folder("live");
        wav(root + "/live.mp3/track.wav");
        text(root + "/bad.wav");
        scan(root, false);
        // In scan order.
        QCOMPARE(prompts->texts(), QStringList({"2 files cannot be added:\n" + root + "/bad.wav is an invalid audio file!\n"
                                                + root + "/live.mp3 has been removed!"}));
        QCOMPARE(w().list->count(), 0);
        prompts->messages.clear();
        scan(root, true);
        QCOMPARE(paths(), QStringList({root + "/live.mp3/track.wav"}));
    }

    // The files of one adding that cannot be added are named in one message when the adding
    // has ended, in list order, and the good files after a broken one are not held back. The
    // adding lasts until the message is closed: an adding asked for meanwhile starts then, so
    // its own message never hides the first.
    void brokenFilesOfOneAddingShareOneMessage()
    {
        start();
        const QString root = folder("broken");
        wav(root + "/01 good.wav");
        text(root + "/02 text.wav");
        QVERIFY(QFile(root + "/03 empty.mp3").open(QIODevice::WriteOnly));
        wav(root + "/04 good.wav");
        QVERIFY(QDir().mkpath(root + "/cd 10") && QDir().mkpath(root + "/cd 2"));
        text(root + "/cd 10/06 text.flac");
        wav(root + "/cd 10/07 good.wav");
        text(root + "/cd 2/05 text.ogg");
        text(root + "/z.wma");
        prompts->holdBoxes = true;
        w().ScanFolder(root, true);
        QVERIFY(QTest::qWaitFor([this] { return prompts->boxHeld(); }, 60000));
        QCOMPARE(paths(), QStringList({root + "/01 good.wav", root + "/04 good.wav", root + "/cd 10/07 good.wav"}));
        QCOMPARE(prompts->texts(),
                 QStringList({"5 files cannot be added:\n" + root + "/02 text.wav is an invalid audio file!\n" + root
                              + "/03 empty.mp3 is an invalid audio file!\n" + root
                              + "/cd 2/05 text.ogg is an invalid audio file!\n" + root
                              + "/cd 10/06 text.flac is an invalid audio file!\n" + root
                              + "/z.wma is an invalid audio file!"}));
        QCOMPARE(prompts->messages[0].kind, FakePrompts::Kind::Notice);
        QVERIFY(shell->state.flag_adding());

        w().ScanFolder(root, false);
        QCOMPARE(w().list->count(), 3);
        QVERIFY(prompts->answerHeld());
        QVERIFY(QTest::qWaitFor([this] { return prompts->boxHeld(); }, 60000));
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(w().list->count(), 5);
        QVERIFY(prompts->messages[1].text.startsWith("3 files cannot be added:\n" + root + "/02 text.wav"));
        QVERIFY(shell->state.flag_adding());
        QVERIFY(prompts->answerHeld());
        QVERIFY(app.waitAdded());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
    }

    void linkedFoldersAreNotFollowedLinkedFilesAre()
    {
        start();
        const QString root = folder("links");
        wav(root + "/real/one.wav");
        QVERIFY(QFile::link(root, root + "/real/loop"));      // a link to a parent
        QVERIFY(QFile::link(root + "/real/one.wav", root + "/alias.wav"));
        scan(root, true);
        QStringList got = paths();
        got.sort();
        QCOMPARE(got, QStringList({root + "/alias.wav", root + "/real/one.wav"}));
    }

    void emptyOrUnreadableFolderAddsNothingSilently()
    {
        start();
        scan(folder("empty"), true);
        scan(tmp.filePath("does/not/exist"), true);
        QCOMPARE(w().list->count(), 0);
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
        scan(testaudio::corpusDir(), true);
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        QStringList seen = paths();
        QCOMPARE(prompts->messages.size(), 1);
        const QStringList lines = prompts->messages[0].text.split('\n');
        QVERIFY(lines[0].endsWith(" files cannot be added:"));
        for (const QString& line : lines.mid(1)) {
            QVERIFY2(line.endsWith(" is an invalid audio file!"), qPrintable(line));
            seen << line.chopped(QStringLiteral(" is an invalid audio file!").size());
        }
        QStringList expected;
        for (const QString& f : files)
            expected << QDir(testaudio::corpusDir()).filePath(f);
        seen.sort();
        expected.sort();
        QCOMPARE(seen, expected);
        QVERIFY(w().list->count() > 60);
    }

    void addPathThroughThePickerRemembersSubFolders()
    {
        start();
        const QString root = folder("picked");
        wav(root + "/top.wav");
        wav(root + "/sub/low.wav");
        pickFolder(root, false);
        w().item("AddPath1")->trigger();
        QVERIFY(app.waitAdded());
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
        QCOMPARE(w().list->count(), 0);
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_int("basic", "enable sub dir", -1), 0);

        pickFolder(root, true);
        w().item("AddPath1")->trigger();
        QVERIFY(app.waitAdded());
        QCOMPARE(w().list->count(), 2);
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

    // Browse while a folder is scanned: the picker shows again and another folder is
    // chosen, but the scan goes on with the folder it was given.
    void browseDuringAScanChangesNotTheScannedFolder()
    {
        start();
        const QString scanned = bigTree("scanned", 10, 100);
        const QString output = folder("elsewhere");
        wav(output + "/not-this.wav");
        pickFolder(scanned, true);
        w().item("AddPath1")->trigger();
        QVERIFY(shell->state.flag_adding());
        pickFolder(output, true);
        w().SkinClick(SkinObject("Browse"));
        QVERIFY(app.waitAdded());
        QCOMPARE(w().edt_dir->text(), output);
        QCOMPARE(w().list->count(), 1000);
        for (const QString& p : paths())
            QVERIFY2(p.startsWith(scanned + "/"), qPrintable(p));
    }
};

QTEST_MAIN(TestFolderScan)
#include "test_folder_scan.moc"
