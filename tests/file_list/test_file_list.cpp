#include "AppShell.h"
#include "FakePrompts.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "RowTexts.h"
#include "SettingsFile.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace sondrel;

class TestFileList : public WindowFixture {
    Q_OBJECT

    // A one-second WAV with a title tag, made by the ffmpeg command.
    QString taggedWav(const QString& name, const QString& title, double seconds = 1.0)
    {
        const QString path = tmp.filePath(name);
        int code = 0;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                      QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
                                      "-metadata", "title=" + title, "-metadata", "artist=Artist " + title,
                                      "-metadata", "date=1999", path}, 30000, &code);
        if (code != 0)
            qFatal("ffmpeg could not make %s", qPrintable(path));
        return path;
    }
    void addFiles(const QStringList& files) { add(files); }
    QStringList titles()
    {
        QStringList out;
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->trackInfo(i).title;
        return out;
    }
    QStringList column(rows::Column c)
    {
        QStringList out;
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->text(i, c);
        return out;
    }
    void clickHeader(int section)
    {
        QHeaderView* h = w().lv->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(section) + 5, h->height() / 2));
    }
    // A UNIX socket bound at path (left in place when the descriptor is closed).
    static bool makeSocket(const QString& path)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (fd < 0 || size_t(name.size()) >= sizeof addr.sun_path)
            return false;
        std::memcpy(addr.sun_path, name.constData(), size_t(name.size()));
        const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }
    QStringList captions()
    {
        QStringList out;
        for (int i = 0; i < w().list->count(); ++i)
            out << w().list->text(i, rows::FileName);
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { forgetSettings(); }
    void cleanup() { stop(); }

    void sizeAndTimeTexts()
    {
        const QLocale c(QLocale::C);
        QCOMPARE(sizeText(1048576, c), QString("1.00MB"));
        QCOMPARE(sizeText(0, c), QString("0.00MB"));
        QCOMPARE(sizeText(1572864 + 4000, c), QString("1.50MB"));
        QCOMPARE(sizeText(1572864 + 6000, c), QString("1.51MB"));
        QCOMPARE(sizeText(qint64(1000) * 1048576 - 1, c), QString("1000.00MB"));
        QCOMPARE(sizeText(qint64(1234.567 * 1048576), c), QString("1234.60MB"));
        // 64-bit sizes: files of 2 GiB and more show their real size.
        QCOMPARE(sizeText(qint64(3) * 1024 * 1024 * 1024, c), QString("3072.00MB"));
        QCOMPARE(sizeText(qint64(123456) * 1048576, c), QString("123460.00MB"));
        QCOMPARE(sizeText(1048576, QLocale(QLocale::German)), QString("1,00MB"));
        QCOMPARE(sizeText(qint64(5000) * 1048576, QLocale(QLocale::German)), QString("5000,00MB"));
        QCOMPARE(timeText(59999), QString("00:00:59"));
        QCOMPARE(timeText(3600000), QString("01:00:00"));
        QCOMPARE(timeText(3723456), QString("01:02:03"));
        QCOMPARE(timeText(qint64(100) * 3600000), QString("100:00:00"));
        QCOMPARE(timeText(0), QString("00:00:00"));
    }

    void addsFilesSkippingMissingAndInvalidOnes()
    {
        start();
        const QString a = taggedWav("one.wav", "T1");
        const QString missing = tmp.filePath("gone.wav");
        const QString c = taggedWav("three.wav", "T3", 2.5);
        const QString junk = tmp.filePath("four.mp3");
        {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(5000, 'x'));
        }
        const QString e = taggedWav("five.wav", "T5");
        addFiles({a, missing, c, junk, e});

        // One message when the adding has ended, each file on a line of its own.
        QCOMPARE(prompts->texts(), QStringList({"2 files cannot be added:\n" + missing + " has been removed!\n" + junk
                                                + " is an invalid audio file!"}));
        for (const auto& m : prompts->messages) {
            QCOMPARE(m.kind, FakePrompts::Kind::Notice);
            QCOMPARE(m.caption, QString("Information"));
        }
        QCOMPARE(captions(), QStringList({"one.wav", "three.wav", "five.wav"}));
        QCOMPARE(titles(), QStringList({"T1", "T3", "T5"}));
        QCOMPARE(w().list->trackInfo(1).artist, QString("Artist T3"));
        QCOMPARE(w().list->trackInfo(1).year, 1999);
        QCOMPARE(w().list->text(1, rows::FullPath), c);
        QCOMPARE(w().list->text(1, rows::Time), QString("00:00:02"));
        QCOMPARE(w().list->text(1, rows::Size), sizeText(QFileInfo(c).size()));
        QCOMPARE(w().list->text(2, rows::Status), QString("unconverted"));
        // The dialog opened the first time in the music folder (see addFilesDialogFolder) and
        // offered the filters in order: every supported file, the first four formats, then
        // the newer ones.
        QVERIFY(prompts->lastStartFolder != QCoreApplication::applicationDirPath());
        QCOMPARE(prompts->lastFilters.mid(1, 4), QStringList({"MP3 Files(*.mp3)", "WAV Files(*.wav)",
                                                             "WMA Files(*.wma)", "OGG Files(*.ogg)"}));
        QVERIFY(prompts->lastFilters.at(0).startsWith("All Supported Files (*.mp3 *.wav *.wma *.ogg *.flac *.opus"));
        for (const char* f : {"FLAC Files(*.flac)", "Opus Files(*.opus)", "M4A/MP4 Files(*.m4a *.m4b *.mp4)",
                              "AAC Files(*.aac)", "AIFF Files(*.aif *.aiff *.aifc)", "WavPack Files(*.wv)",
                              "Monkey's Audio Files(*.ape)", "Matroska/WebM audio Files(*.mka *.webm)",
                              "MP2 Files(*.mp2)", "AC-3 Files(*.ac3)"})
            QVERIFY2(prompts->lastFilters.contains(f), f);
        // The folder is remembered for the next time, and the window is idle again.
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_string("basic", "file path", ""),
                 QFileInfo(a).absolutePath());
        QCOMPARE(shell->state.uiState(), UiState::Idle);
        QVERIFY(w().item("AddFile1")->isEnabled());

        addFiles({a});
        QCOMPARE(prompts->lastStartFolder, QFileInfo(a).absolutePath());
        QCOMPARE(w().list->count(), 4);
        QCOMPARE(w().list->trackInfo(3).title, QString("T1"));
    }

    // The Add Files dialog opens in the music folder, or the home folder where there is
    // none, until files are added; then in the folder they were added from, also after a
    // restart. A cancelled dialog changes nothing; a remembered folder that is gone leads
    // back to the music folder.
    void addFilesDialogFolder()
    {
        const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        QVERIFY(!music.isEmpty());
        QDir(music).removeRecursively();
        start();
        w().item("AddFile1")->trigger(); // cancelled
        QCOMPARE(prompts->lastStartFolder, QDir::homePath());
        QVERIFY(QDir().mkpath(music));
        w().item("AddFile1")->trigger();
        QCOMPARE(prompts->lastStartFolder, music);
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_string("basic", "file path", "unset"), QString("unset"));

        QVERIFY(QDir().mkpath(tmp.filePath("from here")));
        const QString a = taggedWav("from here/a.wav", "A");
        addFiles({a});
        QCOMPARE(w().list->count(), 1);
        start(); // a restart
        w().item("AddFile1")->trigger();
        QCOMPARE(prompts->lastStartFolder, tmp.filePath("from here"));
        QVERIFY(QDir(tmp.filePath("from here")).removeRecursively());
        w().item("AddFile1")->trigger();
        QCOMPARE(prompts->lastStartFolder, music);
        QDir(music).removeRecursively();
    }

    // FIFOs, devices and sockets named like audio are refused by name, never opened: a FIFO
    // would wait for a writer and /dev/zero would never end. Messages keep the chosen order.
    void specialFilesAreRefusedWithoutBeingOpened()
    {
        start();
        const QString dir = tmp.filePath("special");
        QDir().mkpath(dir);
        const QString fifo = dir + "/pipe.wav", device = dir + "/zero.mp3", socket = dir + "/sock.ogg";
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        QVERIFY(QFile::link("/dev/zero", device));
        QVERIFY(makeSocket(socket));
        const QString good = taggedWav("good.wav", "G", 0.3);
        addFiles({fifo, good, device, socket});
        QCOMPARE(prompts->texts(), QStringList({"3 files cannot be added:\n" + fifo + " is an invalid audio file!\n"
                                                + device + " is an invalid audio file!\n" + socket
                                                + " is an invalid audio file!"}));
        QCOMPARE(captions(), QStringList({"good.wav"}));
    }

    // A name that is not valid UTF-8 cannot be handed back to the file system by its text:
    // the message says so for each such file instead of "has been removed!".
    void undecodableNamesAreListedInOneMessage()
    {
        start();
        const QString dir = tmp.filePath("names");
        QDir().mkpath(dir);
        QStringList chosen;
        QList<QByteArray> rawPaths;
        for (const QByteArray& raw : {QByteArray("caf\xe9.wav"), QByteArray("\xff\xfe.mp3")}) {
            const QByteArray path = QFile::encodeName(dir) + '/' + raw;
            rawPaths << path;
            QVERIFY(QFile::copy(taggedWav("src.wav", "S", 0.2), dir + "/tmp.wav"));
            QCOMPARE(::rename(QFile::encodeName(dir + "/tmp.wav").constData(), path.constData()), 0);
            chosen << QFile::decodeName(path);
        }
        const QString good = taggedWav("plain.wav", "P", 0.2);
        addFiles({chosen[0], good, chosen[1]});
        QCOMPARE(captions(), QStringList({"plain.wav"}));
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages[0].kind, FakePrompts::Kind::Notice);
        const QStringList lines = prompts->messages[0].text.split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QString("2 files cannot be added:"));
        for (int i : {0, 1})
            QVERIFY2(lines[i + 1].startsWith(chosen[i] + ": ") && lines[i + 1].contains("not valid UTF-8"),
                     qPrintable(lines[i + 1]));
        const QString text = prompts->messages[0].text;
        QVERIFY(!text.contains("has been removed"));
        // Qt cannot remove them either.
        for (const QByteArray& raw : rawPaths)
            ::unlink(raw.constData());
    }

    void cancelledDialogChangesNothing()
    {
        forgetSettings();
        QVERIFY(startFirstTime());
        w().item("AddFile2")->trigger();
        QCOMPARE(w().list->count(), 0);
        QVERIFY(!QFile::exists(SettingsFile::defaultPath()));
    }

    void removeKeepsEveryOtherRowsOwnTags()
    {
        start();
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files << taggedWav(QStringLiteral("r%1.wav").arg(i), QStringLiteral("R%1").arg(i), 0.2);
        addFiles(files);
        w().lv->selectRow(2);
        w().item("Remove2")->trigger();
        QCOMPARE(captions(), QStringList({"r0.wav", "r1.wav", "r3.wav", "r4.wav"}));
        QCOMPARE(titles(), QStringList({"R0", "R1", "R3", "R4"}));
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(QFile::exists(files[2]));
        // Nothing selected: nothing removed.
        w().lv->clearSelection();
        w().item("Remove1")->trigger();
        QCOMPARE(w().list->count(), 4);
    }

    void clearAsksThenNewRowsTakeTheFirstSlots()
    {
        start();
        QStringList files;
        for (int i = 0; i < 3; ++i)
            files << taggedWav(QStringLiteral("c%1.wav").arg(i), QStringLiteral("C%1").arg(i), 0.2);
        addFiles(files);
        prompts->answers = {false};
        w().item("Clear1")->trigger();
        QCOMPARE(w().list->count(), 3);
        QCOMPARE(prompts->messages.last().text,
                 QString("Are you sure to remove all the files from filelist?\nNot delete them from your computer."));
        QCOMPARE(prompts->messages.last().kind, FakePrompts::Kind::Confirm);
        prompts->answers = {true};
        w().item("Clear1")->trigger();
        QCOMPARE(w().list->count(), 0);
        QVERIFY(QFile::exists(files[0]));
        addFiles({files[2], files[1]});
        QCOMPARE(titles(), QStringList({"C2", "C1"}));
    }

    void listCommandsRefuseWhileBusy()
    {
        start();
        const QString f = taggedWav("busy.wav", "B", 0.2);
        addFiles({f});
        w().lv->selectRow(0);
        for (int busy = 0; busy < 3; ++busy) {
            AppState& s = shell->state;
            if (busy == 0) s.setConverting(true);
            if (busy == 1) s.setPlaying(true);
            if (busy == 2) s.setAdding(true);
            prompts->fileChoices.push_back({{f}, tmp.path()});
            prompts->answers = {true};
            w().AddFile1Click();
            w().AddPath1Click();
            w().Remove1Click();
            w().Clear1Click();
            QCOMPARE(w().list->count(), 1);
            QCOMPARE(int(prompts->fileChoices.size()), 1); // the open dialog was never shown
            QCOMPARE(prompts->dialogsShown, 0);
            QVERIFY(prompts->messages.isEmpty());
            prompts->fileChoices.clear();
            s.clearFlags();
        }
    }

    // Adding pumps messages between files; a command arriving meanwhile meets the guards.
    void commandsDuringAddingAreRefused()
    {
        start();
        QStringList files;
        for (int i = 0; i < 3; ++i)
            files << taggedWav(QStringLiteral("p%1.wav").arg(i), QStringLiteral("P%1").arg(i), 0.2);
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            seen << QString::number(int(shell->state.uiState()));
            prompts->fileChoices.push_back({{files[0]}, tmp.path()});
            w().AddFile1Click(); // refused: adding
            w().lv->selectRow(0);
            w().Remove1Click();  // refused: adding
            w().Play1Click();    // nothing while adding
        });
        addFiles(files);
        QCOMPARE(seen, QStringList({QString::number(int(UiState::Adding))}));
        QCOMPARE(w().list->count(), 3);
        QCOMPARE(int(prompts->fileChoices.size()), 1);
        QVERIFY(!shell->state.flag_playing());
    }

    // A header click sorts the rows with their records (names naturally, Time and Size by
    // value), ascending then descending; the sorted order is the order of conversion.
    void sortingByEachColumnThenConverting()
    {
        start();
        const auto make = [&](const QString& name, int rate, int channels, double seconds) {
            const QString path = tmp.filePath("sort/" + name);
            QDir().mkpath(tmp.filePath("sort"));
            int code = 0;
            testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", QStringLiteral("sine=frequency=330:duration=%1").arg(seconds),
                                          "-ar", QString::number(rate), "-ac", QString::number(channels),
                                          "-metadata", "title=" + name.section('.', 0, 0), path}, 30000, &code);
            if (code != 0)
                qFatal("ffmpeg could not make %s", qPrintable(path));
            return path;
        };
        // Sizes and times in other orders than the names.
        addFiles({make("b10.wav", 8000, 1, 2.0), make("B2.wav", 44100, 2, 0.5), make("a.wav", 8000, 1, 1.0)});
        QCOMPARE(captions(), QStringList({"b10.wav", "B2.wav", "a.wav"}));

        clickHeader(rows::FileName);
        QCOMPARE(captions(), QStringList({"a.wav", "B2.wav", "b10.wav"}));
        QCOMPARE(titles(), QStringList({"a", "B2", "b10"}));
        QCOMPARE(w().lv->header()->sortIndicatorSection(), int(rows::FileName));
        clickHeader(rows::FileName);
        QCOMPARE(captions(), QStringList({"b10.wav", "B2.wav", "a.wav"}));
        QCOMPARE(w().lv->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        clickHeader(rows::Time);
        QCOMPARE(captions(), QStringList({"B2.wav", "a.wav", "b10.wav"}));
        clickHeader(rows::Size);
        QCOMPARE(captions(), QStringList({"a.wav", "b10.wav", "B2.wav"}));
        clickHeader(rows::Size);
        QCOMPARE(captions(), QStringList({"B2.wav", "b10.wav", "a.wav"}));
        clickHeader(rows::FullPath);
        QCOMPARE(captions(), QStringList({"a.wav", "B2.wav", "b10.wav"}));
        w().list->setText(0, rows::Status, rows::Finish);
        clickHeader(rows::Status);
        QCOMPARE(captions(), QStringList({"a.wav", "B2.wav", "b10.wav"})); // "finish" < "unconverted"
        clickHeader(rows::Status);
        QCOMPARE(captions(), QStringList({"B2.wav", "b10.wav", "a.wav"})); // equal ones keep their order
        QCOMPARE(titles(), QStringList({"B2", "b10", "a"}));
        // The selection stays on its row.
        w().lv->selectRow(2);
        clickHeader(rows::Time);
        QCOMPARE(w().list->text(w().lv->selectedRow(), rows::FileName), QString("a.wav"));

        // No reordering while adding or converting: row numbers are in use.
        const QStringList before = captions();
        shell->state.setAdding(true);
        clickHeader(rows::FileName);
        QCOMPARE(captions(), before);
        QCOMPARE(w().lv->header()->sortIndicatorSection(), int(rows::Time));
        shell->state.setAdding(false);

        // Converted one at a time in the sorted order.
        const QString out = tmp.filePath("sorted-out");
        QDir(out).removeRecursively();
        {
            SettingsFile settings(SettingsFile::defaultPath());
            settings.write_string("basic", "output directory", out);
            settings.write_int("basic", "jobs", 1);
        }
        w().cb_format->setCurrentIndex(1);
        QStringList started;
        connect(w().lv->listModel(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& from) {
            const QString name = w().list->text(from.row(), rows::FileName);
            if (w().list->text(from.row(), rows::Status) == rows::Converting && !started.contains(name))
                started << name;
        });
        w().item("Convert1")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !shell->state.flag_converting(); }, 60000));
        QCOMPARE(started, before);
        QCOMPARE(column(rows::Status), QStringList(3, rows::Finish));

        // Rows added later come at the end; the list no longer claims a sorted order.
        addFiles({tmp.filePath("sort/a.wav")});
        QCOMPARE(captions().last(), QString("a.wav"));
        QCOMPARE(w().lv->header()->sortIndicatorSection(), -1);
    }

    // A cell too narrow for its text shows it whole in its tooltip, with the row's own
    // tooltip (why a conversion failed) after it.
    void cutCellTextShowsInTheTooltip()
    {
        start();
        const QString longName = QString(60, 'n') + ".wav";
        addFiles({taggedWav(longName, "L", 0.2), taggedWav("s.wav", "S", 0.2)});
        FileListView* lv = w().lv;
        const auto cell = [&](int row, int col) { return lv->listModel()->index(row, col); };
        QCOMPARE(lv->cellToolTip(cell(0, rows::FileName)), longName);
        QCOMPARE(lv->cellToolTip(cell(0, rows::FullPath)), tmp.filePath(longName));
        QCOMPARE(lv->cellToolTip(cell(1, rows::FileName)), QString());
        QCOMPARE(lv->cellToolTip(cell(1, rows::Time)), QString());
        w().list->setToolTip(0, "Why it failed.");
        w().list->setToolTip(1, "Why it failed.");
        QCOMPARE(lv->cellToolTip(cell(0, rows::FileName)), longName + "\nWhy it failed.");
        QCOMPARE(lv->cellToolTip(cell(1, rows::FileName)), QString("Why it failed."));
    }
};

QTEST_MAIN(TestFileList)
#include "test_file_list.moc"
