// sondrel-bench add FILE...            adds the files through the real main window
// sondrel-bench scan DIR [--no-sub]    adds a folder as Add Path does
// sondrel-bench convert --format mp3|wav|wma|ogg [--settings INI] --out DIR FILE...
//                                      adds the files and runs the conversion of the window
// The window runs offscreen with every question answered Yes; the settings file is a
// temporary one (a copy of INI when given). Each prints one line per row and the total line;
// add and scan also print the longest time the window went without pumping messages.
#include "AppShell.h"
#include "AudioFile.h"
#include "BenchCommon.h"
#include "Launcher.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "Prompts.h"
#include "Pump.h"
#include "SettingsFile.h"
#include "TargetPath.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTreeWidget>
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
    Overwrite askOverwrite(QWidget*, const QString& text) override { say(text); return Overwrite::Yes; }
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
    void openUrl(const QUrl&) override {}
    void startDetached(const QString&, const QStringList&) override {}
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

// The longest gap between two message pumps, from the first pump on.
struct PumpGaps {
    double last = -1;
    double longest = 0;
    int pumps = 0;
    PumpGaps()
    {
        setPumpObserver([this] {
            const double now = bench::wallSeconds();
            if (last >= 0)
                longest = std::max(longest, now - last);
            last = now;
            ++pumps;
        });
    }
    ~PumpGaps() { setPumpObserver({}); }
    void print() const
    {
        bench::printRow({QStringLiteral("pumps"), QString::number(pumps),
                         QStringLiteral("longest gap ms"), bench::number(longest * 1000.0, 1)});
    }
};

QStringList absolute(const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out << QFileInfo(p).absoluteFilePath();
    return out;
}

void printRows(Tfm_main& w)
{
    for (int i = 0; i < rows::count(w.lv); ++i)
        bench::printRow({rows::text(w.lv, i, rows::FileName), rows::text(w.lv, i, rows::FullPath),
                         rows::text(w.lv, i, rows::Time), rows::text(w.lv, i, rows::Size),
                         rows::text(w.lv, i, rows::Status)});
}

int runAdd(const QStringList& args)
{
    if (args.isEmpty()) {
        bench::printError(QStringLiteral("add needs files"));
        return 2;
    }
    Window win;
    win.prompts.files = absolute(args);
    PumpGaps gaps;
    const double t0 = bench::wallSeconds();
    win.w().AddFile1Click();
    const double seconds = bench::wallSeconds() - t0;
    printRows(win.w());
    gaps.print();
    bench::printTotal(rows::count(win.w().lv), seconds);
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
    PumpGaps gaps;
    const double t0 = bench::wallSeconds();
    win.w().ScanFolder(QFileInfo(rest.first()).absoluteFilePath(), sub);
    const double seconds = bench::wallSeconds() - t0;
    printRows(win.w());
    gaps.print();
    bench::printTotal(rows::count(win.w().lv), seconds);
    return 0;
}

int runConvert(const QStringList& args)
{
    QString format, ini, out;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--format") && i + 1 < args.size())
            format = args[++i];
        else if (a == QLatin1String("--settings") && i + 1 < args.size())
            ini = args[++i];
        else if (a == QLatin1String("--out") && i + 1 < args.size())
            out = args[++i];
        else
            files << a;
    }
    const QStringList formats{"mp3", "wav", "wma", "ogg"};
    const int index = formats.indexOf(format);
    if (index < 0 || out.isEmpty() || files.isEmpty()) {
        bench::printError(QStringLiteral("convert needs --format mp3|wav|wma|ogg, --out DIR and files"));
        return 2;
    }
    QDir().mkpath(out);
    out = QFileInfo(out).absoluteFilePath();

    Window win(ini);
    SettingsFile(SettingsFile::defaultPath()).write_string("basic", "output directory", out);
    win.prompts.files = absolute(files);
    win.w().AddFile1Click();
    win.w().cb_format->setCurrentIndex(index);

    QTreeWidget* lv = win.w().lv;
    const int n = rows::count(lv);
    std::vector<double> audioSeconds(size_t(n), 0), started(size_t(n), -1), finished(size_t(n), -1);
    for (int i = 0; i < n; ++i) {
        AudioFile probe;
        probe.OpenRead(rows::text(lv, i, rows::FullPath));
        audioSeconds[size_t(i)] = double(probe.SampleCount()) / probe.SampleRate();
    }
    QObject::connect(lv, &QTreeWidget::itemChanged, lv, [&](QTreeWidgetItem* item, int column) {
        const int row = lv->indexOfTopLevelItem(item);
        if (column != rows::Status || row < 0)
            return;
        if (item->text(column) == rows::Converting)
            started[size_t(row)] = bench::wallSeconds();
        else if (item->text(column) == rows::Finish)
            finished[size_t(row)] = bench::wallSeconds();
    });
    const double t0 = bench::wallSeconds();
    win.w().Convert1Click();
    const double seconds = bench::wallSeconds() - t0;
    const QString ext = QLatin1Char('.') + format;
    for (int i = 0; i < n; ++i) {
        const QString target = targetPathFor(out + QLatin1Char('/'), rows::text(lv, i, rows::FileName),
                                             ext, rows::text(lv, i, rows::FullPath));
        const double wall = started[size_t(i)] >= 0 && finished[size_t(i)] >= 0
            ? finished[size_t(i)] - started[size_t(i)] : 0;
        bench::printRow({rows::text(lv, i, rows::FileName), rows::text(lv, i, rows::Status), target,
                         bench::number(audioSeconds[size_t(i)]), bench::number(wall)});
    }
    bench::printTotal(n, seconds);
    // Questions answered Yes (overwriting an earlier run's output) are fine; a row that did
    // not finish is not.
    int unfinished = 0;
    for (int i = 0; i < n; ++i)
        unfinished += rows::text(lv, i, rows::Status) != rows::Finish;
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
                            QStringLiteral("--format mp3|wav|wma|ogg [--settings INI] --out DIR FILE..."),
                            QStringLiteral("add the files and run the window's conversion"), runConvert, true});
    return true;
}();

} // namespace
