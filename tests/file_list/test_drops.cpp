// The other ways into the list: files and folders dropped on it from a file manager, and
// those named on the command line. Both add as Add File(s) and Add Path do, in the given
// order, and obey the same guards.
#include "AppShell.h"
#include "CommandLine.h"
#include "FakePrompts.h"
#include "FileListView.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace sondrel;

namespace {

QList<QUrl> urls(const QStringList& paths)
{
    QList<QUrl> out;
    for (const QString& p : paths)
        out << QUrl::fromLocalFile(p);
    return out;
}

} // namespace

class TestDrops : public WindowFixture {
    Q_OBJECT

    QString wav(const QString& rel, double seconds = 0.3)
    {
        const QString path = tmp.filePath(rel);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!testaudio::writeMusicWav(path, 8000, 1, seconds))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // An album folder: two files of its own and one in a sub-folder.
    QString album(const QString& name)
    {
        wav(name + "/02 b.wav");
        wav(name + "/01 a.wav");
        wav(name + "/cd2/01 c.wav");
        return tmp.filePath(name);
    }
    void storeSubFolders(bool on)
    {
        SettingsFile s(SettingsFile::defaultPath());
        s.write_int("basic", "enable sub dir", on ? 1 : 0);
    }
    QStringList paths()
    {
        QStringList out;
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->text(i, rows::FullPath);
        return out;
    }
    QStringList addedFolders()
    {
        QStringList out;
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->addedFolder(i);
        return out;
    }

    struct Drop {
        bool enterAccepted = false;
        bool dropAccepted = false;
        Qt::DropAction proposed = Qt::IgnoreAction;
        Qt::DropAction action = Qt::IgnoreAction;
    };
    // Drags mime over the list and drops it, as a file manager does; the events go to the
    // list's viewport, where the window system delivers them. The proposed action follows
    // the keys held (Shift: move) and what the source allows.
    Drop dropMime(const QMimeData& mime, Qt::KeyboardModifiers keys = Qt::NoModifier,
                  Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
    {
        QWidget* viewport = w().lv->viewport();
        const QPoint at = viewport->rect().center();
        Drop result;
        QDragEnterEvent enter(at, possible, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &enter);
        result.enterAccepted = enter.isAccepted();
        QDragMoveEvent move(at, possible, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &move);
        if (move.isAccepted() != result.enterAccepted)
            qWarning("the move over the list was answered unlike the enter");
        QDropEvent drop(QPointF(at), possible, &mime, Qt::LeftButton, keys);
        result.proposed = drop.proposedAction();
        QApplication::sendEvent(viewport, &drop);
        result.dropAccepted = drop.isAccepted();
        result.action = drop.dropAction();
        return result;
    }
    Drop dropPaths(const QStringList& paths)
    {
        QMimeData mime;
        mime.setUrls(urls(paths));
        return dropMime(mime);
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { forgetSettings(); }
    void cleanup() { stop(); }

    // A cue sheet dropped with the image it cuts: the image's tracks, once.
    void droppedSheetAddsItsTracks()
    {
        const QString image = wav("cue/image.wav", 2.0);
        const QString sheet = tmp.filePath("cue/image.cue");
        QFile f(sheet);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("FILE \"image.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"A\"\nINDEX 01 00:00:00\n"
                "TRACK 02 AUDIO\nTITLE \"B\"\nINDEX 01 00:01:00\n");
        f.close();
        start();
        QVERIFY(dropPaths({image, sheet}).dropAccepted);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({image, image}));
        QCOMPARE(w().list->text(0, rows::FileName) + "|" + w().list->text(1, rows::FileName), QStringLiteral("01 A|02 B"));
        QCOMPARE(w().list->trackRange(1)->start, 8000);
    }

    // Files in the dropped order (not name order); a folder scanned with the picker's stored
    // sub-folders choice, its rows remembering the folder; a mix of both, in order, as one
    // adding.
    void dropsAddFilesAndFoldersInOrder()
    {
        const QString two = wav("loose/two.wav");
        const QString one = wav("loose/one.wav");
        const QString folder = album("album");
        storeSubFolders(false);
        start();

        Drop d = dropPaths({two, one});
        QVERIFY(d.enterAccepted);
        QVERIFY(d.dropAccepted);
        QCOMPARE(d.action, Qt::CopyAction);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({two, one}));
        QCOMPARE(addedFolders(), QStringList({"", ""}));

        w().list->clear();
        QVERIFY(dropPaths({folder}).dropAccepted);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({folder + "/01 a.wav", folder + "/02 b.wav"}));
        QCOMPARE(addedFolders(), QStringList(2, folder));

        // With sub-folders chosen (the picker writes the choice), a mix: file, folder, file.
        storeSubFolders(true);
        w().list->clear();
        QVERIFY(dropPaths({one, folder, two}).dropAccepted);
        QVERIFY(shell()->state.flag_adding());
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({one, folder + "/01 a.wav", folder + "/02 b.wav", folder + "/cd2/01 c.wav", two}));
        QCOMPARE(addedFolders(), QStringList({"", folder, folder, folder, ""}));
        // A dropped file that is no audio, or gone, gets the message Add File(s) gives.
        QFile junk(tmp.filePath("loose/notes.mp3"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4000, 'x'));
        junk.close();
        w().list->clear();
        QVERIFY(dropPaths({junk.fileName(), tmp.filePath("loose/gone.wav"), one}).dropAccepted);
        QVERIFY(app.waitAdded());
        QCOMPARE(prompts->texts(), QStringList({"2 files cannot be added:\n" + junk.fileName() + " is an invalid audio file!\n"
                                                + tmp.filePath("loose/gone.wav") + " has been removed!"}));
        QCOMPARE(paths(), QStringList({one}));
    }

    // Only local files are taken, and taken as a copy: a file manager offering a move must
    // never delete its files after the drop.
    void dropsOfOtherThingsAreRefused()
    {
        const QString one = wav("other/one.wav");
        start();
        QMimeData text;
        text.setText(one);
        Drop d = dropMime(text);
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        QMimeData web;
        web.setUrls({QUrl::fromLocalFile(one), QUrl("https://example.org/song.mp3")});
        d = dropMime(web);
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        QVERIFY(!shell()->state.flag_adding());
        QCOMPARE(w().list->count(), 0);

        QMimeData moved;
        moved.setUrls(urls({one}));
        d = dropMime(moved, Qt::NoModifier, Qt::MoveAction); // a source that only moves
        QCOMPARE(d.proposed, Qt::MoveAction);
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        d = dropMime(moved, Qt::ShiftModifier);
        QCOMPARE(d.proposed, Qt::MoveAction);
        QVERIFY(d.dropAccepted);
        QCOMPARE(d.action, Qt::CopyAction);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({one}));
        QVERIFY(QFile::exists(one));
        QCOMPARE(prompts->texts(), QStringList());
    }

    // While converting or adding, the list refuses the drag and a drop adds nothing, with
    // no message: as Add File(s) and Add Path, which are refused silently then.
    void dropsRefusedWhileBusy()
    {
        const QString longOne = wav("busy/long.wav", 20);
        const QString one = wav("busy/one.wav");
        const QString folder = album("busy-album");
        const QString out = tmp.filePath("busy-out");
        QVERIFY(QDir().mkpath(out));
        SettingsFile(SettingsFile::defaultPath()).write_string("basic", "output directory", out);
        start();
        QVERIFY(dropPaths({longOne}).dropAccepted);
        QVERIFY(app.waitAdded());

        w().item("Convert1")->trigger();
        QVERIFY(shell()->state.flag_converting());
        Drop d = dropPaths({one});
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        w().lvDragDrop({one}); // the handler itself keeps the guard too
        QVERIFY(!shell()->state.flag_adding());
        w().item("StopConverting1")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !shell()->state.flag_converting(); }, 60000));
        QCOMPARE(paths(), QStringList({longOne}));

        w().ScanFolder(folder, true);
        QVERIFY(shell()->state.flag_adding());
        d = dropPaths({one});
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        QVERIFY(app.waitAdded());
        QCOMPARE(w().list->count(), 4);
        QVERIFY(!paths().contains(one));
        QCOMPARE(prompts->texts(), QStringList());
        // Idle again: the drag is welcome.
        QVERIFY(dropPaths({one}).enterAccepted);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths().last(), one);
    }

    // A request made while an adding runs waits and follows it, in order; Stop ends both.
    void requestsWhileAddingWaitTheirTurn()
    {
        const QString first = album("first");
        const QString second = album("second");
        start();
        w().ScanFolder(first, false);
        w().ScanFolder(second, false);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({first + "/01 a.wav", first + "/02 b.wav", second + "/01 a.wav",
                                       second + "/02 b.wav"}));
        QCOMPARE(addedFolders(), QStringList({first, first, second, second}));

        w().list->clear();
        w().ScanFolder(first, false);
        w().ScanFolder(second, false);
        w().item("StopConverting1")->trigger(); // Stop ends an adding
        QVERIFY(app.waitAdded());
        for (const QString& p : paths())
            QVERIFY2(p.startsWith(first + "/"), qPrintable(p));
    }

    // The command line's files and folders, added as the window opens: in the given order,
    // relative names taken against the current folder, folders with their sub-folders
    // whatever the picker's choice.
    void commandLineFilesAndFoldersAtStart()
    {
        const QString one = wav("cli/one.wav");
        const QString two = wav("cli/sub/two.wav");
        const QString folder = album("cli/album");
        storeSubFolders(false);
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.filePath("cli")));
        const CommandLine c = parseCommandLine({"sub/two.wav", "album", one, "./missing.wav"});
        QCOMPARE(c.action, CommandLine::Action::Window);
        start();
        w().AddFromCommandLine(c.paths);
        QDir::setCurrent(before);
        QVERIFY(app.waitAdded());
        QCOMPARE(paths(), QStringList({two, folder + "/01 a.wav", folder + "/02 b.wav", folder + "/cd2/01 c.wav", one}));
        QCOMPARE(addedFolders(), QStringList({"", folder, folder, folder, ""}));
        QCOMPARE(prompts->texts(), QStringList({tmp.filePath("cli/missing.wav") + " has been removed!"}));
    }

private:
    AppShell* shell() { return WindowFixture::shell; }
};

QTEST_MAIN(TestDrops)
#include "test_drops.moc"
