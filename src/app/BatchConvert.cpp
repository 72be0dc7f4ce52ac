#include "BatchConvert.h"

#include "AudioFile.h"
#include "CommandLine.h"
#include "ConversionRun.h"
#include "Converter.h"
#include "FolderWalk.h"
#include "LameEncSettings.h"
#include "RunTimeText.h"
#include "SettingsFile.h"
#include "TargetSetup.h"
#include "ValueTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sondrel {

namespace {

QByteArray local(const QString& text)
{
    return text.toLocal8Bit();
}

// Ctrl+C and SIGTERM stop the run as Stop Converting does; the handler only writes to a pipe.
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}

// The files named on the command line, as rows of a run that prints what becomes of each.
class BatchRows : public RunRows {
public:
    // added: for each file the folder named on the command line it was found in, or empty.
    BatchRows(QStringList files, QStringList added, std::FILE* out, std::FILE* err, bool terminal)
        : m_files(std::move(files)), m_added(std::move(added)), m_out(out), m_err(err), m_terminal(terminal)
    {
    }

    int count() const override { return int(m_files.size()); }
    QString source(int row) const override { return m_files[row]; }
    QString caption(int row) const override { return QFileInfo(m_files[row]).fileName(); }
    std::optional<TrackInfo> tags(int) const override { return std::nullopt; }
    QString addedFolder(int row) const override { return m_added.value(row); }
    // Without a measured playing time, the file's size stands for the work.
    std::int64_t weight(int row) const override { return QFileInfo(m_files[row]).size() / 1024; }
    bool sourceStamp(int, std::int64_t*, std::int64_t*) const override { return false; }

    void started(int) override {}
    void ended(int row, const JobResult& result, double seconds) override
    {
        if (result.outcome == JobResult::Outcome::Finished)
            line(row, result.stopped ? QStringLiteral("stopped") : QStringLiteral("converted"), seconds);
        else
            line(row, QStringLiteral("failed: ") + result.reason, seconds);
    }
    void refused(int row, const QString&, const QString& reason) override
    {
        line(row, QStringLiteral("failed: ") + reason, 0);
    }
    void skipped(int row) override { line(row, QStringLiteral("skipped: the output exists"), 0); }

    // The progress line, on a terminal only.
    void showProgress(double share, double elapsed, double remaining)
    {
        if (!m_terminal)
            return;
        std::fprintf(m_err, "\r\033[K%3d%%  %s", int(share * 100.0), local(runTimeText(elapsed, remaining)).constData());
        std::fflush(m_err);
        m_progressShown = true;
    }
    void clearProgress()
    {
        if (m_progressShown)
            std::fputs("\r\033[K", m_err);
        m_progressShown = false;
    }

private:
    void line(int row, const QString& result, double seconds)
    {
        clearProgress();
        QString text = result;
        text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::fprintf(m_out, "%s\t%s\t%.2f\n", local(m_files[row]).constData(), local(text).constData(), seconds);
        std::fflush(m_out);
    }

    QStringList m_files;
    QStringList m_added;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_terminal;
    bool m_progressShown = false;
};

// The overwrite question on the terminal: y(es), n(o), a(ll: yes to all), s(kip all: no to
// all); anything else, or the end of the input, is no.
Prompts::Overwrite askOnTerminal(const QString& question, std::FILE* err)
{
    std::fprintf(err, "\r\033[K%s\n[y]es, [n]o, yes to [a]ll, [s]kip all? ", local(question).constData());
    std::fflush(err);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return Prompts::Overwrite::No;
    switch (answer[0]) {
    case 'y': case 'Y': return Prompts::Overwrite::Yes;
    case 'a': case 'A': return Prompts::Overwrite::YesToAll;
    case 's': case 'S': return Prompts::Overwrite::NoToAll;
    default: return Prompts::Overwrite::No;
    }
}

} // namespace

int runBatchConversion(const CommandLine& command, std::FILE* out, std::FILE* err)
{
    const bool terminal = ::isatty(::fileno(err)) && ::isatty(::fileno(stdin));

    // The files: folders as adding a folder with its sub-folders takes them.
    QStringList files, added;
    int missing = 0;
    for (const QString& path : command.paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            const QStringList found = audioFilesIn(info.absoluteFilePath(), true);
            files << found;
            for (qsizetype i = 0; i < found.size(); ++i)
                added << QDir::cleanPath(info.absoluteFilePath());
        } else if (info.exists()) {
            files << info.absoluteFilePath();
            added << QString();
        } else {
            std::fprintf(err, "%s: no such file or folder\n", local(path).constData());
            ++missing;
        }
    }
    if (files.isEmpty()) {
        std::fputs("Nothing to convert: no audio files were found.\n", err);
        return 1;
    }

    const SettingsFile settings(SettingsFile::defaultPath());
    AudioFile writer;
    LameEncSettings lame;
    const TargetSetup setup = configureTarget(settings, int(commandLineFormats().indexOf(command.format)), writer, lame);
    if (setup.extension.isEmpty()) {
        std::fprintf(err, "%s\n", local(setup.refusal).constData());
        return 1;
    }
    QString folder = QFileInfo(command.out).absoluteFilePath();
    // A folder that cannot be made shows as a write error for each file.
    QDir().mkpath(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    ConversionRun::Settings s;
    s.folder = folder;
    s.extension = setup.extension;
    s.maxJobs = Converter::jobsFor(command.jobs >= 0 ? command.jobs : readKey(settings, keys::jobs));
    s.keepFolders = readKey(settings, keys::keepFolders) != 0;
    switch (command.overwrite) {
    case CommandLine::Overwrite::Yes: s.overwrite = ConversionRun::Overwrite::Yes; break;
    case CommandLine::Overwrite::No: s.overwrite = ConversionRun::Overwrite::No; break;
    case CommandLine::Overwrite::Ask: s.overwrite = ConversionRun::Overwrite::Ask; break;
    case CommandLine::Overwrite::Default:
        // Nobody to answer: keep what exists.
        s.overwrite = terminal ? ConversionRun::Overwrite::Ask : ConversionRun::Overwrite::No;
        break;
    }
    s.ask = [err](const QString& question) { return askOnTerminal(question, err); };

    BatchRows rows(files, added, out, err, terminal);
    ConversionRun run(writer);
    QEventLoop loop;
    QStringList failures;
    ConversionRun::Totals totals;
    QObject::connect(&run, &ConversionRun::progress, &run,
                     [&](double share, double elapsed, double remaining) { rows.showProgress(share, elapsed, remaining); });
    QObject::connect(&run, &ConversionRun::ended, &loop, [&](const QStringList& f, const ConversionRun::Totals& t) {
        failures = f;
        totals = t;
        loop.quit();
    });

    std::unique_ptr<QSocketNotifier> stopper;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        stopper = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(stopper.get(), &QSocketNotifier::activated, &run, [&] {
            char c;
            while (::read(g_signalPipe[0], &c, 1) == 1) {
            }
            rows.clearProgress();
            std::fputs("Stopping: the files in work are kept as far as they got.\n", err);
            run.stop();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    run.start(rows, s);
    if (run.running())
        loop.exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    rows.clearProgress();

    for (const QString& f : failures)
        std::fprintf(err, "%s\n", local(f).constData());
    std::fprintf(err, "%d converted, %d failed, %d skipped%s\n", totals.finished, totals.failed + missing,
                 totals.skipped, totals.stopped ? ", stopped" : "");
    return totals.failed == 0 && totals.skipped == 0 && missing == 0 && !totals.stopped ? 0 : 1;
}

} // namespace sondrel
