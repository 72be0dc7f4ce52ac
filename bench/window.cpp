// sondrel-bench add FILE...            adds the files through the real main window
// sondrel-bench scan DIR [--no-sub]    adds a folder as Add Path does
// sondrel-bench convert --format mp3|wav|wma|ogg|flac|opus|m4a [--settings INI] [--jobs N]
//                      [--keep-folders] [--stop-after S] --out DIR PATH...
//                                      adds the files (folders as Add Path adds them, with their
//                                      sub-folders) and runs the conversion of the window; with
//                                      --keep-folders a folder's files keep its folder tree; with
//                                      --stop-after, presses Stop after S seconds and prints how
//                                      long the run took to end ("stop ms")
// The window runs offscreen with every question answered Yes; the settings file is a
// temporary one (a copy of INI when given). Adding and converting run on worker threads: each
// command is timed until the window is idle again, waiting in the event loop. Each prints one
// line per row, the longest time the window's thread did not get back to its event loop
// ("longest GUI stall ms": how late a 5 ms timer fired at worst) and the total line.
#include "AppShell.h"
#include "BenchCommon.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "Launcher.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "OutputFormat.h"
#include "Prompts.h"
#include "SettingsFile.h"
#include "TargetPath.h"
#include "ValueTables.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QEventLoop>
#include <cstdio>

namespace {

using namespace sondrel;

// Answers for the user: the given files in the open dialog, Yes to every question; each
// message goes to the error stream.
class BenchPrompts : public Prompts {
public:
    QStringList files;
    int messages = 0;
    void information(QWidget*, const QString& text) override { say(text); }
    void notice(QWidget*, const QString& text) override { say(text); }
    bool confirm(QWidget*, const QString& text) override { say(text); return true; }
    bool askYesNo(QWidget*, const QString& text) override { say(text); return true; }
    bool confirmCautious(QWidget*, const QString& text) override { say(text); return true; }
    Overwrite askOverwrite(QWidget*, const QString& text) override { say(text); return Overwrite::Yes; }
    std::unique_ptr<Pending> askOverwriteLater(QWidget*, const QString& text, std::function<void(Overwrite)> answered) override
    {
        say(text);
        answered(Overwrite::Yes);
        return std::make_unique<Pending>();
    }
    std::unique_ptr<Pending> noticeLater(QWidget*, const QString& text, std::function<void()> closed) override
    {
        say(text);
        closed();
        return std::make_unique<Pending>();
    }
    FileChoice chooseFiles(QWidget*, const QString&, const QStringList&) override
    {
        return {files, files.isEmpty() ? QString() : QFileInfo(files.first()).absolutePath()};
    }
    void runModal(QDialog& dialog) override { dialog.reject(); }

private:
    void say(const QString& text)
    {
        ++messages;
        std::fprintf(stderr, "message\t%s\n", text.toUtf8().constData());
    }
};

class NoLauncher : public Launcher {
public:
    bool openUrl(const QUrl&) override { return true; }
    void startDetached(const QString&, const QStringList&) override {}
    bool raiseWindow(const QString&) override { return false; }
};

// The window with its own temporary settings file.
struct Window {
    QTemporaryDir config;
    BenchPrompts prompts;
    NoLauncher launcher;
    std::unique_ptr<AppShell> shell;

    explicit Window(const QString& iniToCopy = {})
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        if (!iniToCopy.isEmpty())
            QFile::copy(iniToCopy, SettingsFile::defaultPath());
        shell = std::make_unique<AppShell>(prompts, launcher);
        shell->mainWindow().show();
    }
    Tfm_main& w() { return shell->mainWindow(); }
};

// The longest time the GUI thread stayed away from its event loop while the command ran: a
// 5 ms timer that fires late by that much. Timers fire inside the message pumps of the
// commands that run in their handler, and in the event loop otherwise.
struct StallWatch {
    static constexpr int IntervalMs = 5;
    QTimer timer;
    double last = -1;
    double longest = 0;
    StallWatch()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(IntervalMs);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
        last = bench::wallSeconds();
        timer.start();
    }
    void tick()
    {
        const double now = bench::wallSeconds();
        longest = std::max(longest, (now - last) * 1000.0 - IntervalMs);
        last = now;
    }
    // Ends the watch when the command has ended (before the figures are printed, which takes
    // the GUI thread a while for a long list): the time since the last firing counts too.
    void finish()
    {
        if (!timer.isActive())
            return;
        tick();
        timer.stop();
    }
    void print()
    {
        finish();
        bench::printRow({QStringLiteral("longest GUI stall ms"), bench::number(std::max(0.0, longest), 1)});
    }
};

// Runs the event loop until the adding or conversion a command started has ended.
void waitUntilIdle(AppState& state)
{
    if (state.uiState() != UiState::Adding && state.uiState() != UiState::Converting)
        return;
    QEventLoop untilIdle;
    QObject::connect(&state, &AppState::flagsChanged, &untilIdle, [&] {
        if (!state.flag_adding() && !state.flag_converting())
            untilIdle.quit();
    });
    untilIdle.exec();
}

QStringList absolute(const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out << QFileInfo(p).absoluteFilePath();
    return out;
}

void printRows(Tfm_main& w)
{
    for (int i = 0; i < w.list->count(); ++i)
        bench::printRow({w.list->text(i, rows::FileName), w.list->text(i, rows::FullPath),
                         w.list->text(i, rows::Time), w.list->text(i, rows::Size),
                         w.list->text(i, rows::Status)});
}

int runAdd(const QStringList& args)
{
    if (args.isEmpty()) {
        bench::printError(QStringLiteral("add needs files"));
        return 2;
    }
    Window win;
    win.prompts.files = absolute(args);
    StallWatch stalls;
    const double t0 = bench::wallSeconds();
    win.w().AddFile1Click();
    waitUntilIdle(win.shell->state);
    const double seconds = bench::wallSeconds() - t0;
    stalls.finish();
    printRows(win.w());
    stalls.print();
    bench::printTotal(win.w().list->count(), seconds);
    return 0;
}

int runScan(const QStringList& args)
{
    QStringList rest = args;
    const bool sub = !rest.removeAll(QStringLiteral("--no-sub"));
    if (rest.size() != 1) {
        bench::printError(QStringLiteral("scan needs one folder"));
        return 2;
    }
    Window win;
    StallWatch stalls;
    const double t0 = bench::wallSeconds();
    win.w().ScanFolder(QFileInfo(rest.first()).absoluteFilePath(), sub);
    waitUntilIdle(win.shell->state);
    const double seconds = bench::wallSeconds() - t0;
    stalls.finish();
    printRows(win.w());
    stalls.print();
    bench::printTotal(win.w().list->count(), seconds);
    return 0;
}

int runConvert(const QStringList& args)
{
    QString format, ini, out;
    int jobs = -1;
    bool keepFolders = false;
    double stopAfter = -1;
    QStringList paths;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--format") && i + 1 < args.size())
            format = args[++i];
        else if (a == QLatin1String("--settings") && i + 1 < args.size())
            ini = args[++i];
        else if (a == QLatin1String("--out") && i + 1 < args.size())
            out = args[++i];
        else if (a == QLatin1String("--jobs") && i + 1 < args.size())
            jobs = args[++i].toInt();
        else if (a == QLatin1String("--keep-folders"))
            keepFolders = true;
        else if (a == QLatin1String("--stop-after") && i + 1 < args.size())
            stopAfter = args[++i].toDouble();
        else
            paths << a;
    }
    const OutputFormat* chosen = outputFormatNamed(format);
    if (!chosen || out.isEmpty() || paths.isEmpty()) {
        bench::printError(QStringLiteral("convert needs --format %1, --out DIR and files or folders")
                              .arg(outputFormatNames().join(QLatin1Char('|'))));
        return 2;
    }
    QDir().mkpath(out);
    out = QFileInfo(out).absoluteFilePath();

    Window win(ini);
    {
        SettingsFile settings(SettingsFile::defaultPath());
        settings.write_string("basic", "output directory", out);
        if (jobs >= 0)
            settings.write_int("basic", "jobs", jobs);
        if (keepFolders)
            writeKey(settings, keys::keepFolders, 1);
    }
    // Files through the open dialog, several at a time; folders as Add Path adds them.
    QStringList files;
    const auto addFiles = [&] {
        if (files.isEmpty())
            return;
        win.prompts.files = files;
        win.w().AddFile1Click();
        waitUntilIdle(win.shell->state);
        files.clear();
    };
    for (const QString& p : absolute(paths)) {
        if (QFileInfo(p).isDir()) {
            addFiles();
            win.w().ScanFolder(p, true);
            waitUntilIdle(win.shell->state);
        } else {
            files << p;
        }
    }
    addFiles();
    win.w().cb_format->setCurrentIndex(win.w().cb_format->findData(chosen->index));

    FileListView* lv = win.w().lv;
    FileListModel* list = win.w().list;
    const int n = list->count();
    std::vector<double> audioSeconds(size_t(n), 0), started(size_t(n), -1), finished(size_t(n), -1);
    for (int i = 0; i < n; ++i)
        audioSeconds[size_t(i)] = double(list->durationMs(i)) / 1000.0;
    QObject::connect(list, &QAbstractItemModel::dataChanged, lv,
                     [&](const QModelIndex& from, const QModelIndex& to) {
        const int row = from.row();
        if (row != to.row() || rows::Status < from.column() || rows::Status > to.column())
            return;
        const QString status = list->text(row, rows::Status);
        if (status == rows::Converting && started[size_t(row)] < 0)
            started[size_t(row)] = bench::wallSeconds();
        else if (status == rows::Finish)
            finished[size_t(row)] = bench::wallSeconds();
    });
    AppState& state = win.shell->state;
    const double cpu0 = bench::cpuSeconds();
    StallWatch stalls;
    double stopPressed = -1;
    if (stopAfter >= 0) {
        QTimer::singleShot(int(stopAfter * 1000), lv, [&] {
            stopPressed = bench::wallSeconds();
            win.w().StopConverting1Click();
        });
    }
    const double t0 = bench::wallSeconds();
    win.w().Convert1Click();
    waitUntilIdle(state);
    const double seconds = bench::wallSeconds() - t0;
    const double cpu = bench::cpuSeconds() - cpu0;
    stalls.finish();
    const QString ext = QLatin1String(chosen->extension);
    for (int i = 0; i < n; ++i) {
        const QString source = list->text(i, rows::FullPath);
        const QString folder = keepFolders ? keptFolderFor(out + QLatin1Char('/'), list->addedFolder(i), source)
                                           : out + QLatin1Char('/');
        const QString target = targetPathFor(folder, list->text(i, rows::FileName), ext, source,
                                             list->captionIsTitle(i));
        const double wall = started[size_t(i)] >= 0 && finished[size_t(i)] >= 0
            ? finished[size_t(i)] - started[size_t(i)] : 0;
        bench::printRow({list->text(i, rows::FileName), list->text(i, rows::Status), target,
                         bench::number(audioSeconds[size_t(i)]), bench::number(wall)});
    }
    stalls.print();
    if (stopPressed >= 0)
        bench::printRow({QStringLiteral("stop ms"), bench::number((t0 + seconds - stopPressed) * 1000.0, 1)});
    bench::printRow({QStringLiteral("cpu seconds"), bench::number(cpu), QStringLiteral("per file"),
                     bench::number(n > 0 ? cpu / n : 0)});
    bench::printTotal(n, seconds);
    // Questions answered Yes (overwriting an earlier run's output) are fine; a row that did
    // not finish is not, unless the run was stopped.
    if (stopPressed >= 0)
        return 0;
    int unfinished = 0;
    for (int i = 0; i < n; ++i)
        unfinished += list->text(i, rows::Status) != rows::Finish;
    return unfinished == 0 ? 0 : 1;
}

const bool registered = [] {
    bench::registerCommand({QStringLiteral("add"), QStringLiteral("FILE..."),
                            QStringLiteral("add files through the real window (the Add File(s) command)"),
                            runAdd, true});
    bench::registerCommand({QStringLiteral("scan"), QStringLiteral("DIR [--no-sub]"),
                            QStringLiteral("add a folder through the real window (the Add Path command)"),
                            runScan, true});
    bench::registerCommand({QStringLiteral("convert"),
                            QStringLiteral("--format %formats [--settings INI] [--jobs N] "
                                           "[--keep-folders] [--stop-after S] --out DIR PATH..."),
                            QStringLiteral("add the files and run the window's conversion"), runConvert, true});
    return true;
}();

} // namespace
