#include "BatchConvert.h"

#include "AudioFile.h"
#include "CommandLine.h"
#include "ConversionRun.h"
#include "CueRows.h"
#include "EngineError.h"
#include "FileListModel.h"
#include "FileProbe.h"
#include "FileTags.h"
#include "FolderWalk.h"
#include "LameEncSettings.h"
#include "OtherTags.h"
#include "OutputFormat.h"
#include "OutputPlan.h"
#include "RunTimeText.h"
#include "SettingsFile.h"
#include "StopSignals.h"
#include "TargetSetup.h"
#include "TerminalKey.h"
#include "ValueTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <optional>
#include <unistd.h>

namespace sondrel {

namespace {

QByteArray local(const QString& text)
{
    return text.toLocal8Bit();
}

const QString BadNameReason = QStringLiteral("the name is not valid UTF-8 text, so the program cannot open the file "
                                             "by name; renaming it makes it available");

// The files named on the command line, as rows of a run that prints what becomes of each.
class BatchRows : public RunRows {
public:
    BatchRows(const NamedFiles& named, std::FILE* out, std::FILE* err, bool terminal)
        : m_named(named), m_files(named.files), m_out(out), m_err(err), m_terminal(terminal)
    {
    }

    int count() const override { return int(m_files.size()); }
    QString source(int row) const override { return m_files[row]; }
    QString caption(int row) const override
    {
        const ListRow* t = track(row);
        return t ? t->captionText() : QFileInfo(m_files[row]).fileName();
    }
    std::optional<TrackRange> range(int row) const override
    {
        const ListRow* t = track(row);
        return t && t->range ? std::optional<TrackRange>(*t->range) : std::nullopt;
    }
    // A track's record comes from its sheet; a file's own tags are read by its job.
    std::optional<TrackInfo> tags(int row) const override
    {
        const ListRow* t = track(row);
        if (!t)
            return std::nullopt;
        return t->info ? *t->info : TrackInfo{};
    }
    // Read here, on the command line's only thread: there is no window to hold up.
    NameValues nameValues(int row) const override
    {
        if (const ListRow* t = track(row))
            return nameValuesOf(t->info ? *t->info : TrackInfo{}, t->other ? *t->other : OtherTags{});
        try {
            const FileTags t = readFileTags(m_files[row], true);
            return nameValuesOf(trackInfoOf(t.values), otherTagsOf(t.carried.fields));
        } catch (const EngineError&) {
            return {}; // the job says why the file cannot be read
        }
    }
    QString addedFolder(int row) const override { return m_named.added.value(row); }
    // Without a measured playing time, the file's size stands for the work.
    std::int64_t weight(int row) const override
    {
        const ListRow* t = track(row);
        return t ? t->sizeBytes() / 1024 : QFileInfo(m_files[row]).size() / 1024;
    }
    bool sourceStamp(int, std::int64_t*, std::int64_t*) const override { return false; }

    void started(int) override {}
    void ended(int row, const JobResult& result, double seconds) override
    {
        switch (result.outcome) {
        case JobResult::Outcome::Finished: line(row, QStringLiteral("converted"), seconds); break;
        case JobResult::Outcome::Stopped: line(row, QStringLiteral("stopped: nothing was written"), seconds); break;
        case JobResult::Outcome::Failed:
        case JobResult::Outcome::Measured: // a run hands on only what is over
            line(row, QStringLiteral("failed: ") + result.reason, seconds);
            break;
        }
    }
    void refused(int row, const QString&, const QString& reason) override
    {
        line(row, QStringLiteral("failed: ") + reason, 0);
    }
    void skipped(int row) override { line(row, QStringLiteral("skipped: the output exists"), 0); }
    void upToDate(int row) override { line(row, QStringLiteral("up to date"), 0); }

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
    // Called when a line could not be written because nobody reads the output any more.
    std::function<void()> outputClosed;

    // One "path<TAB>result" line for a file that never became a row (a name that is not text).
    void line(const QString& path, const QString& result) { write(path, result, 0); }

private:
    const ListRow* track(int row) const
    {
        return std::size_t(row) < m_named.tracks.size() ? m_named.tracks[std::size_t(row)].get() : nullptr;
    }
    void line(int row, const QString& result, double seconds) { write(namedFileLabel(m_named, row), result, seconds); }
    void write(const QString& path, const QString& result, double seconds)
    {
        clearProgress();
        if (m_outClosed)
            return;
        QString text = result;
        text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        errno = 0;
        const bool written = std::fprintf(m_out, "%s\t%s\t%.2f\n", local(path).constData(), local(text).constData(), seconds) >= 0
            && std::fflush(m_out) == 0;
        if (!written && errno == EPIPE) {
            m_outClosed = true;
            if (outputClosed)
                outputClosed();
        }
    }

    const NamedFiles& m_named;
    const QStringList& m_files; // m_named.files
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_terminal;
    bool m_progressShown = false;
    bool m_outClosed = false;
};

// The overwrite question on the terminal, answered by one key without Enter: y(es), n(o),
// a(ll: yes to all), s(kip all: no to all); any other key or the end of the input is no.
// A stop signal leaves it unanswered: the stop that follows closes it, as Stop does.
std::optional<Prompts::Overwrite> askOnTerminal(const QString& question, std::FILE* err)
{
    const TerminalKey answer = readTerminalKey(STDIN_FILENO, StopSignals::wakeFd(), [&] {
        std::fprintf(err, "\r\033[K%s\n[y]es, [n]o, yes to [a]ll, [s]kip all? ", local(question).constData());
        std::fflush(err);
    });
    const char key = answer.outcome == TerminalKey::Outcome::Key ? answer.key : 0;
    // The terminal does not echo the key: it is shown here (a control key as nothing).
    std::fprintf(err, "%c\n", key > ' ' && key < 127 ? key : ' ');
    std::fflush(err);
    if (answer.outcome == TerminalKey::Outcome::Woken)
        return std::nullopt;
    switch (key) {
    case 'y': case 'Y': return Prompts::Overwrite::Yes;
    case 'a': case 'A': return Prompts::Overwrite::YesToAll;
    case 's': case 'S': return Prompts::Overwrite::NoToAll;
    default: return Prompts::Overwrite::No;
    }
}

} // namespace

namespace {

// Takes one file into named: a sheet as its tracks, an image that carries a sheet as its
// tracks, anything else as itself. False when a sheet cannot be used (said on err).
bool takeFile(NamedFiles& n, const QString& path, const QString& added, AudioFile& reader, std::FILE* err)
{
    const auto take = [&](std::vector<ListRow>&& tracks) {
        for (ListRow& track : tracks) {
            n.files << track.path;
            n.added << added;
            n.tracks.push_back(std::make_shared<const ListRow>(std::move(track)));
        }
        return !tracks.empty();
    };
    if (isCueSheetName(path)) {
        try {
            take(cueSheetRows(readCueSheet(path), reader));
            return true;
        } catch (const EngineError& e) {
            std::fprintf(err, "%s is an invalid audio file! (%s)\n", local(path).constData(), e.what());
            return false;
        }
    }
    try {
        if (take(carriedSheetRows(path, reader)))
            return true;
    } catch (const EngineError& e) {
        std::fprintf(err, "%s: the cue sheet it carries cannot be used (%s); it is taken whole\n",
                     local(path).constData(), e.what());
    }
    n.files << path;
    n.added << added;
    n.tracks.push_back(nullptr);
    return true;
}

} // namespace

NamedFiles filesNamed(const QStringList& paths, std::FILE* err)
{
    NamedFiles n;
    AudioFile reader;
    // A sheet named together with the image it cuts stands for the image.
    QStringList namedFiles;
    for (const QString& path : paths)
        if (!QFileInfo(path).isDir())
            namedFiles << path;
    const QSet<QString> leftOut = leftOutOfNamedFiles(namedFiles);
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            const QString folder = QDir::cleanPath(info.absoluteFilePath());
            const std::atomic<bool> never{false};
            qsizetype found = 0;
            const int missingBefore = n.missing;
            scanFolderEntries(folder, true, never, [&](ScanEntry&& e) {
                if (e.badName) {
                    n.badNames << e.path;
                } else if (!e.folder && !QFileInfo(e.path).isDir()) {
                    if (takeFile(n, e.path, folder, reader, err))
                        ++found;
                    else
                        ++n.missing;
                }
            });
            if (found == 0 && !n.badNames.isEmpty() && n.badNames.last().startsWith(folder + QLatin1Char('/')))
                continue;
            if (found == 0 && n.missing == missingBefore) {
                std::fprintf(err, "%s: no audio files\n", local(path).constData());
                ++n.missing;
            }
        } else if (info.exists()) {
            const QString file = info.absoluteFilePath();
            if (leftOut.contains(QDir::cleanPath(file)))
                continue;
            if (!takeFile(n, file, QString(), reader, err))
                ++n.missing;
        } else if (hasUndecodableTwin(info.absoluteFilePath())) {
            n.badNames << info.absoluteFilePath();
        } else {
            std::fprintf(err, "%s: no such file or folder\n", local(path).constData());
            ++n.missing;
        }
    }
    return n;
}

QString namedFileLabel(const NamedFiles& named, int index)
{
    const ListRow* track = index < int(named.tracks.size()) ? named.tracks[std::size_t(index)].get() : nullptr;
    if (!track || !track->range)
        return named.files.value(index);
    return track->range->sheet + QStringLiteral(" track %1").arg(track->range->number);
}

namespace {

// Nobody to answer without a terminal: keep what exists.
Existing existingMode(const CommandLine& command, bool terminal)
{
    return command.existing.value_or(terminal ? Existing::Ask : Existing::Skip);
}

// What a run of the command line does: the output folder, the format's writer and its
// extension, the jobs and what to do with existing outputs. False (with the reason printed)
// when the format's settings cannot be written.
bool runSettings(const CommandLine& command, bool terminal, std::FILE* err, AudioFile& writer, ConversionRun::Settings& s)
{
    const SettingsFile settings(SettingsFile::defaultPath());
    LameEncSettings lame;
    const OutputFormat* format = outputFormatNamed(command.format);
    const TargetSetup setup = configureTarget(settings, format ? format->index : -1, writer, lame);
    if (setup.extension.isEmpty()) {
        std::fprintf(err, "%s\n", local(setup.refusal).constData());
        return false;
    }
    QString folder = QFileInfo(command.out).absoluteFilePath();
    // A folder that cannot be made shows as a write error for each file.
    if (!command.dryRun)
        QDir().mkpath(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    s.folder = folder;
    s.extension = setup.extension;
    s.maxJobs = ConversionRun::jobsFor(command.jobs >= 0 ? command.jobs : readKey(settings, keys::jobs));
    s.keepFolders = command.keepFolders.value_or(readKey(settings, keys::keepFolders) != 0);
    s.existing = existingMode(command, terminal);
    s.playlist = command.playlist || readKey(settings, keys::playlist) != 0;
    s.namePattern = command.pattern.value_or(readKey(settings, keys::namePattern));
    s.nameRules = command.portableNames || readKey(settings, keys::portableNames) != 0 ? NameRules::Portable
                                                                                         : NameRules::Native;
    s.formatLabel = format ? QString::fromUtf8(format->label) : QString();
    s.gainTags = command.replayGain.value_or(GainTags(std::clamp(readKey(settings, keys::replayGain), 0, 2)));
    s.normalize = command.normalize || readKey(settings, keys::normalize) != 0;
    // Normalized audio is never the source's own: nothing is copied.
    if ((command.copySameFormat || readKey(settings, keys::copySameFormat) != 0) && !s.normalize)
        s.copyCodec = writer.CopiedCodec();
    // The terminal's answer is read at once; the run hears it a turn of the loop later.
    s.ask = [err](const QString& question, std::function<void(Prompts::Overwrite)> answered)
        -> std::unique_ptr<Prompts::Pending> {
        if (const std::optional<Prompts::Overwrite> answer = askOnTerminal(question, err))
            answered(*answer);
        return std::make_unique<Prompts::Pending>();
    };
    return true;
}

// What a run did.
struct Outcome {
    QStringList failures;
    ConversionRun::Totals totals;
    bool outputClosed = false;
};

// Runs the conversion until it ends: by itself, after a stop signal, or once nobody reads
// the output any more.
Outcome convert(const NamedFiles& named, const ConversionRun::Settings& s, const AudioFile& writer,
                BatchRows& rows, StopSignals& stopSignals, std::FILE* err)
{
    Outcome outcome;
    ConversionRun run(writer);
    QEventLoop loop;
    QObject::connect(&run, &ConversionRun::progress, &run,
                     [&](double share, double elapsed, double remaining) { rows.showProgress(share, elapsed, remaining); });
    QObject::connect(&run, &ConversionRun::ended, &loop, [&](const QStringList& f, const ConversionRun::Totals& t) {
        outcome.failures = f;
        outcome.totals = t;
        loop.quit();
    });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &run, [&] {
        rows.clearProgress();
        std::fputs("Stopping: the files in work are given up; nothing of them is written.\n", err);
        run.stop();
    });
    rows.outputClosed = [&] {
        outcome.outputClosed = true;
        run.stop();
    };
    if (!named.files.isEmpty()) {
        run.start(rows, s);
        if (run.running())
            loop.exec();
    }
    rows.outputClosed = nullptr;
    rows.clearProgress();
    return outcome;
}

// Prints each file's plan, "source<TAB>target<TAB>action", and writes nothing. Returns the
// exit status: 1 when a file could not be given an output.
int printPlan(const NamedFiles& named, const ConversionRun::Settings& s, BatchRows& rows, std::FILE* out)
{
    const std::vector<PlannedOutput> plan = planOutputs(rows, s.folder, s, s.existing);
    bool failed = !named.badNames.isEmpty() || named.missing > 0;
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const PlannedOutput& p = plan[row];
        const QString target = p.relative.isEmpty() ? QString() : s.folder + p.relative;
        QString action = actionWord(p.action);
        if (p.action == PlannedOutput::Action::Fail) {
            action += QStringLiteral(": ") + p.error;
            failed = true;
        }
        std::fprintf(out, "%s\t%s\t%s\n", local(namedFileLabel(named, int(row))).constData(), local(target).constData(),
                     local(action).constData());
    }
    std::fflush(out);
    return failed ? 1 : 0;
}

} // namespace

int runBatchConversion(const CommandLine& command, std::FILE* out, std::FILE* err)
{
    // Asking needs someone to answer; decided before anything is read or written. A dry
    // run asks nothing.
    if (command.existing == Existing::Ask && !command.dryRun && !::isatty(STDIN_FILENO)) {
        std::fputs("sondrel: asking about existing outputs needs a terminal to answer on\n", err);
        return kUsageError;
    }
    const bool terminal = ::isatty(::fileno(err)) && ::isatty(::fileno(stdin));
    StopSignals stopSignals;
    const NamedFiles named = filesNamed(command.paths, err);
    if (named.files.isEmpty() && named.badNames.isEmpty()) {
        std::fputs("Nothing to convert: no audio files were found.\n", err);
        return 1;
    }
    AudioFile writer;
    ConversionRun::Settings s;
    if (!runSettings(command, terminal, err, writer, s))
        return 1;
    BatchRows rows(named, out, err, terminal);
    if (command.dryRun)
        return printPlan(named, s, rows, out);
    for (const QString& bad : named.badNames)
        rows.line(bad, QStringLiteral("failed: ") + BadNameReason);
    const Outcome o = convert(named, s, writer, rows, stopSignals, err);

    for (const QString& f : o.failures)
        std::fprintf(err, "%s\n", local(f).constData());
    const int failed = o.totals.failed + named.missing + int(named.badNames.size());
    std::fprintf(err, "%d converted, %d failed, %d skipped, %d up to date, %d stopped\n", o.totals.finished, failed,
                 o.totals.skipped, o.totals.upToDate, o.totals.stopped);
    if (!o.totals.playlist.isEmpty())
        std::fprintf(err, "playlist: %s\n", local(o.totals.playlist).constData());
    if (stopSignals.received())
        return StopSignals::exitStatusFor(stopSignals.received());
    if (o.outputClosed)
        return StopSignals::exitStatusFor(SIGPIPE);
    // Skips the user chose (by --existing or an answer) are no failure; skips made only
    // because nobody could be asked are.
    const bool skipsChosen = command.existing.has_value() || terminal;
    return failed == 0 && !o.totals.playlistFailed && (skipsChosen || o.totals.skipped == 0)
            && !o.totals.stopRequested
        ? 0
        : 1;
}

} // namespace sondrel
