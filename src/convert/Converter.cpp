#include "Converter.h"

#include "AppState.h"
#include "AudioFile.h"
#include "ConversionJob.h"
#include "Doorbell.h"
#include "ExceptionHook.h"
#include "ListRows.h"
#include "OutputFiles.h"
#include "Prompts.h"
#include "RowTexts.h"
#include "RunTimeText.h"
#include "TargetPath.h"
#include "TargetSetup.h"
#include "ValueTables.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <thread>
#include <unordered_set>

namespace sondrel {

namespace {
const QString NoFormat = QStringLiteral("Please choose an output format (MP3, WAV, WMA, OGG, FLAC, Opus or M4A) first.");
const QString Overwrite = QStringLiteral("File has existed. Overwrite?");
// The most failures listed in the closing message; every row's tooltip has its own.
constexpr int MaxListedFailures = 20;
// Rows planned in one go without starting a job (all missing, refused or skipped) before the
// window gets its turn.
constexpr int MaxRowsPerPlanningTurn = 200;
constexpr int RowsIdentifiedPerTurn = 2000;
constexpr int ProgressIntervalMs = 100;
// The progress bar's caption: its percentage, during a run followed by the times.
const QString PercentOnly = QStringLiteral("%p%");
} // namespace

// One file being converted on its own thread.
struct Converter::Job {
    int row = -1;
    bool remeasure = false;
    QString target;
    QString oldStatus;
    JobOrder order;
    JobProgress progress;
    JobResult result;
    std::thread thread;
};

// What one run holds from its start to its end.
struct Converter::Run {
    QString folder;
    QString extension;
    int count = 0;
    int next = 0;
    int maxJobs = 1;
    bool stopping = false;
    bool closing = false;   // the window closes: no message at the end
    enum class All { Ask, Yes, No } overwrite = All::Ask;
    std::map<int, QString> failures;                      // in row order
    std::unordered_set<FileId, FileIdHash> sources;       // of every row: never written
    int identified = 0;                                   // rows whose source is in sources
    QHash<QString, int> claims;                           // target -> row writing it
    std::vector<double> seconds;                          // playing time of each row
    double totalSeconds = 0;                              // of the rows still to do or done
    double finishedSeconds = 0;
    QElapsedTimer clock;
    std::optional<Planned> waiting; // a row whose target an earlier running job still writes
    bool keepFolders = false;
    QSet<QString> madeFolders;      // sub-folders of the output folder this run has prepared
};

Converter::Converter(QWidget* window, QTreeWidget* lv, QProgressBar* pb, AppState& state, Prompts& prompts,
                     AudioFile& writer, LameEncSettings& lame)
    : m_window(window), m_lv(lv), m_pb(pb), m_state(state), m_prompts(prompts),
      m_writer(writer), m_lame(lame), m_bell(new Doorbell(this)), m_progressTimer(new QTimer(this))
{
    connect(m_bell, &Doorbell::rung, this, guarded([this] { reap(); }));
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, guarded([this] { showProgress(); }));
}

Converter::~Converter()
{
    // The window is going: only the threads need ending, nothing is shown any more.
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    for (auto& job : m_jobs)
        if (job->thread.joinable())
            job->thread.join();
}

int Converter::jobsFor(int setting)
{
    if (setting <= 0)
        return std::max(1, QThread::idealThreadCount());
    return std::min(setting, MaxJobs);
}

void Converter::ConvertList(int format)
{
    SettingsFile* settings = m_state.settings();
    if (!settings || m_run)
        return;
    // Without a chosen format there is nothing defined to write.
    if (format < 0 || format >= int(output_formats.size())) {
        m_prompts.information(m_window, NoFormat);
        return;
    }
    m_pb->setValue(0);
    m_state.setConverting(true);

    QString folder = settings->read_string(QString::fromLatin1(keys::outputDirectory.section),
                                           QString::fromLatin1(keys::outputDirectory.key),
                                           defaultOutputDirectory());
    if (folder.isEmpty())
        folder = defaultOutputDirectory();
    // One level is created; a folder that cannot be made shows as "Write Error!" per file.
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    const TargetSetup setup = configureTarget(*settings, format, m_writer, m_lame);
    if (setup.extension.isEmpty()) {
        m_prompts.information(m_window, setup.refusal);
        m_state.setConverting(false);
        return;
    }
    // What a killed or crashed run left behind.
    removeStaleTempOutputs(folder);

    auto run = std::make_unique<Run>();
    run->folder = folder;
    run->extension = setup.extension;
    run->count = rows::count(m_lv);
    run->maxJobs = jobsFor(readKey(*settings, keys::jobs));
    run->keepFolders = readKey(*settings, keys::keepFolders) != 0;
    run->seconds.resize(std::size_t(run->count));
    for (int row = 0; row < run->count; ++row) {
        // A row of unknown length still counts a little, so that its progress shows.
        run->seconds[std::size_t(row)] = std::max(0.001, double(rows::durationMs(m_lv, row)) / 1000.0);
        run->totalSeconds += run->seconds[std::size_t(row)];
    }
    run->clock.start();
    m_run = std::move(run);
    m_pb->setFormat(PercentOnly + QStringLiteral("  ·  ") + runTimeText(0, -1));
    m_pb->setTextVisible(true);
    m_progressTimer->start();
    fill();
}

void Converter::StopConverting()
{
    if (!m_run) {
        m_state.setConverting(false);
        return;
    }
    m_run->stopping = true;
    m_run->waiting.reset();
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    maybeFinish();
}

void Converter::stopAndWait()
{
    if (!m_run)
        return;
    m_run->closing = true;
    StopConverting();
    for (auto& job : m_jobs)
        if (job->thread.joinable())
            job->thread.join();
    reap();
    if (m_run)
        finishRun();
}

void Converter::fill()
{
    if (!m_run || m_planning)
        return;
    // Which files the sources are, found a slice at a time so that a long list does not
    // hold up the window; no row is planned before all are known.
    if (m_run->identified < m_run->count) {
        const int end = std::min(m_run->count, m_run->identified + RowsIdentifiedPerTurn);
        for (; m_run->identified < end; ++m_run->identified) {
            if (const auto id = fileIdOf(rows::text(m_lv, m_run->identified, rows::FullPath)))
                m_run->sources.insert(*id);
        }
        if (m_run->identified < m_run->count) {
            QTimer::singleShot(0, this, guarded([this] { fill(); }));
            return;
        }
    }
    {
        QScopedValueRollback<bool> planning(m_planning, true);
        int planned = 0;
        while (m_run && !m_run->stopping && int(m_jobs.size()) < m_run->maxJobs) {
            if (m_run->waiting) {
                if (claimantRunning(m_run->waiting->target))
                    break;
                const Planned plan = *m_run->waiting;
                m_run->waiting.reset();
                startJob(plan);
                continue;
            }
            if (m_run->next >= m_run->count)
                break;
            if (++planned > MaxRowsPerPlanningTurn) {
                QTimer::singleShot(0, this, guarded([this] { fill(); }));
                return;
            }
            const int row = m_run->next++;
            const std::optional<Planned> plan = planRow(row);
            if (!plan || !m_run)
                continue; // skipped, or the window closed while a question was up
            if (claimantRunning(plan->target)) {
                m_run->waiting = plan;
                break;
            }
            startJob(*plan);
            planned = 0;
        }
    }
    maybeFinish();
}

std::optional<Converter::Planned> Converter::planRow(int row)
{
    rows::setToolTip(m_lv, row, {});
    const QString source = rows::text(m_lv, row, rows::FullPath);
    if (!QFileInfo::exists(source)) {
        failRow(row, source + QStringLiteral(" has been removed."), QStringLiteral("The file has been removed."));
        return std::nullopt;
    }
    if (!isRegularFile(source)) {
        failRow(row, source + QStringLiteral(" is an invalid audio file!"),
                QStringLiteral("Not a regular file: only files can be converted."));
        return std::nullopt;
    }
    const QString folder = m_run->keepFolders ? keptFolderFor(m_run->folder, rows::addedFolder(m_lv, row), source)
                                              : m_run->folder;
    if (!prepareFolder(folder)) {
        failRow(row, QStringLiteral("Write Error! ") + folder + QStringLiteral(": the folder cannot be created"),
                QStringLiteral("The output's folder cannot be created."));
        return std::nullopt;
    }
    const QString target = targetPathFor(folder, rows::text(m_lv, row, rows::FileName), m_run->extension, source);
    // A source written to since it was added is measured again by its job.
    std::int64_t bytes = 0, modified = 0;
    const QFileInfo info(source);
    const bool changed = rows::sourceStamp(m_lv, row, &bytes, &modified)
        && (info.size() != bytes || info.lastModified().toMSecsSinceEpoch() != modified);
    // Neither the row's own source nor any other row's may be written, whichever name or
    // link leads to it.
    const std::optional<FileId> own = fileIdOf(source);
    const std::optional<FileId> followed = fileIdOf(target);
    const std::optional<FileId> entry = entryIdOf(target);
    if ((followed && followed == own) || (entry && entry == own)) {
        failRow(row, target + QStringLiteral(" is the source file itself and cannot be overwritten. Choose another output folder."),
                QStringLiteral("The output would replace this file itself."));
        return std::nullopt;
    }
    if ((followed && m_run->sources.count(*followed)) || (entry && m_run->sources.count(*entry))) {
        failRow(row, target + QStringLiteral(" is the source of another file in the list and cannot be overwritten. Choose another output folder."),
                QStringLiteral("The output would replace the source of another file in the list."));
        return std::nullopt;
    }
    if (entryIsFolder(target)) {
        failRow(row, QStringLiteral("Write Error! ") + target + QStringLiteral(": a folder of that name exists"),
                QStringLiteral("A folder of the output's name exists."));
        return std::nullopt;
    }
    // A target an earlier row of this run writes counts as existing.
    if (m_run->claims.contains(target) || entryExists(target)) {
        bool yes = m_run->overwrite == Run::All::Yes;
        if (m_run->overwrite == Run::All::Ask) {
            const Prompts::Overwrite answer = m_prompts.askOverwrite(m_window, Overwrite + QLatin1Char('\n') + target);
            if (!m_run)
                return std::nullopt;
            yes = answer == Prompts::Overwrite::Yes || answer == Prompts::Overwrite::YesToAll;
            if (answer == Prompts::Overwrite::YesToAll)
                m_run->overwrite = Run::All::Yes;
            else if (answer == Prompts::Overwrite::NoToAll)
                m_run->overwrite = Run::All::No;
        }
        if (!yes) {
            dropRowFromTotal(row);
            return std::nullopt;
        }
    }
    return Planned{row, source, target, folder, changed};
}

bool Converter::prepareFolder(const QString& folder)
{
    if (folder == m_run->folder || m_run->madeFolders.contains(folder))
        return true;
    if (!QDir().mkpath(folder))
        return false;
    // What a killed or crashed run left behind there.
    removeStaleTempOutputs(folder);
    m_run->madeFolders.insert(folder);
    return true;
}

bool Converter::claimantRunning(const QString& target) const
{
    return std::any_of(m_jobs.begin(), m_jobs.end(), [&](const auto& job) { return job->target == target; });
}

void Converter::startJob(const Planned& plan)
{
    auto job = std::make_unique<Job>();
    job->row = plan.row;
    job->target = plan.target;
    job->remeasure = plan.remeasure;
    job->oldStatus = rows::text(m_lv, plan.row, rows::Status);
    job->order.source = plan.source;
    job->order.target = plan.target;
    job->order.folder = plan.folder;
    job->order.tags = m_state.trackInfo(plan.row);
    job->order.writer = std::make_unique<AudioFile>();
    job->order.writer->CopyOutputFrom(m_writer);
    m_run->claims.insert(plan.target, plan.row);

    rows::select(m_lv, plan.row);
    rows::setText(m_lv, plan.row, rows::Status, rows::Converting);
    rows::setProgress(m_lv, plan.row, 0);

    Job* j = job.get();
    Doorbell* bell = m_bell;
    try {
        job->thread = std::thread([j, bell] {
            j->result = runConversionJob(j->order, j->progress);
            j->progress.ended.store(true, std::memory_order_release);
            bell->ring();
        });
    } catch (const std::system_error& e) {
        // No thread could be made (a resource limit): this file fails, the run goes on.
        m_run->claims.remove(plan.target);
        rows::setText(m_lv, plan.row, rows::Status, job->oldStatus);
        rows::setProgress(m_lv, plan.row, -1);
        failRow(plan.row, plan.source + QStringLiteral(" could not be converted: ") + QString::fromUtf8(e.what()),
                QString::fromUtf8(e.what()));
        return;
    }
    m_jobs.push_back(std::move(job));
}

void Converter::reap()
{
    bool any = false;
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        Job& job = **it;
        if (!job.progress.ended.load(std::memory_order_acquire)) {
            ++it;
            continue;
        }
        if (job.thread.joinable())
            job.thread.join();
        applyResult(job);
        it = m_jobs.erase(it);
        any = true;
    }
    if (any && m_run) {
        showProgress();
        fill();
    }
}

void Converter::applyResult(Job& job)
{
    const int row = job.row;
    rows::setProgress(m_lv, row, -1);
    if (!m_run)
        return;
    const SourceMeasure& m = job.result.measured;
    if (job.remeasure && m.durationMs >= 0) {
        rows::setText(m_lv, row, rows::Time, timeText(m.durationMs));
        rows::setText(m_lv, row, rows::Size, sizeText(m.bytes));
        rows::setDurationMs(m_lv, row, m.durationMs);
        rows::setSourceStamp(m_lv, row, m.bytes, m.modifiedMs);
    }
    switch (job.result.outcome) {
    case JobResult::Outcome::Finished:
        rows::setText(m_lv, row, rows::Status, rows::Finish);
        rows::setToolTip(m_lv, row, job.result.notes.join(QLatin1Char('\n')));
        m_run->finishedSeconds += m_run->seconds[std::size_t(row)];
        break;
    case JobResult::Outcome::Failed:
        rows::setText(m_lv, row, rows::Status, job.oldStatus);
        m_run->claims.remove(job.target);
        failRow(row, job.result.message, job.result.reason);
        break;
    }
}

void Converter::failRow(int row, const QString& message, const QString& reason)
{
    m_run->failures[row] = message;
    rows::setToolTip(m_lv, row, reason);
    dropRowFromTotal(row);
}

void Converter::dropRowFromTotal(int row)
{
    m_run->totalSeconds = std::max(0.0, m_run->totalSeconds - m_run->seconds[std::size_t(row)]);
}

void Converter::maybeFinish()
{
    if (!m_run || m_planning || !m_jobs.empty())
        return;
    if (m_run->stopping || (m_run->next >= m_run->count && !m_run->waiting))
        finishRun();
}

void Converter::finishRun()
{
    const std::unique_ptr<Run> run = std::move(m_run);
    m_progressTimer->stop();
    m_pb->setValue(0);
    m_state.setConverting(false);
    m_pb->setTextVisible(false);
    m_pb->setFormat(PercentOnly);
    if (!run->closing && !run->failures.empty()) {
        QStringList lines;
        for (const auto& [row, message] : run->failures) {
            if (lines.size() == MaxListedFailures)
                break;
            lines << message;
        }
        const int more = int(run->failures.size()) - int(lines.size());
        if (more > 0)
            lines << QStringLiteral("… and %1 more; the tooltip of each row says why.").arg(more);
        m_prompts.information(m_window, lines.join(QLatin1Char('\n')));
    }
    emit runEnded();
}

void Converter::showProgress()
{
    if (!m_run)
        return;
    double done = m_run->finishedSeconds;
    for (const auto& job : m_jobs) {
        const std::int64_t total = job->progress.framesTotal.load(std::memory_order_relaxed);
        const std::int64_t frames = job->progress.framesDone.load(std::memory_order_relaxed);
        const double fraction = total > 0 ? std::clamp(double(frames) / double(total), 0.0, 1.0) : 0.0;
        done += fraction * m_run->seconds[std::size_t(job->row)];
        rows::setProgress(m_lv, job->row, int(fraction * 100.0));
    }
    const double share = m_run->totalSeconds > 0 ? std::clamp(done / m_run->totalSeconds, 0.0, 1.0) : 0.0;
    m_pb->setValue(int(share * 100.0));
    const double elapsed = double(m_run->clock.elapsed()) / 1000.0;
    m_pb->setFormat(PercentOnly + QStringLiteral("  ·  ") + runTimeText(elapsed, remainingSeconds(elapsed, share)));
}

} // namespace sondrel
