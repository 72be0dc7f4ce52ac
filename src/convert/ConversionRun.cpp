#include "ConversionRun.h"

#include "AudioFile.h"
#include "Doorbell.h"
#include "ExceptionHook.h"
#include "OutputFiles.h"
#include "RunTimeText.h"
#include "TargetPath.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QScopedValueRollback>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <map>
#include <thread>
#include <unordered_set>

namespace sondrel {

namespace {
const QString OverwriteQuestion = QStringLiteral("File has existed. Overwrite?");
// Rows planned in one go without starting a job (all missing, refused or skipped) before the
// thread's event loop gets its turn.
constexpr int MaxRowsPerPlanningTurn = 200;
constexpr int RowsIdentifiedPerTurn = 2000;
constexpr int ProgressIntervalMs = 100;
} // namespace

// One file being converted on its own thread.
struct ConversionRun::Job {
    int row = -1;
    bool remeasure = false;
    QString target;
    QElapsedTimer clock;
    JobOrder order;
    JobProgress progress;
    JobResult result;
    std::thread thread;
};

// What one run holds from its start to its end.
struct ConversionRun::Run {
    RunRows* rows = nullptr;
    Settings settings;
    int count = 0;
    int next = 0;
    bool stopping = false;
    Totals totals;
    std::map<int, QString> failures;                      // in row order
    std::unordered_set<FileId, FileIdHash> sources;       // of every row: never written
    int identified = 0;                                   // rows whose source is in sources
    QHash<QString, int> claims;                           // target -> row writing it
    std::vector<double> weights;                          // of each row
    double totalWeight = 0;                               // of the rows still to do or done
    double finishedWeight = 0;
    QElapsedTimer clock;
    std::optional<Planned> waiting; // a row whose target an earlier running job still writes
    std::shared_ptr<const OutputDir> root; // the output folder, once opened
    QSet<QString> cleanedFolders;          // sub-folders cleaned of stale temporary files
    // The sub-folder the last row went to: rows of one folder come together.
    QString lastSub;
    std::shared_ptr<const OutputDir> lastDir;
};

ConversionRun::ConversionRun(const AudioFile& writer, QObject* parent)
    : QObject(parent), m_writer(writer), m_bell(new Doorbell(this)), m_progressTimer(new QTimer(this))
{
    connect(m_bell, &Doorbell::rung, this, guarded([this] { reap(); }));
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, guarded([this] { reportProgress(); }));
}

ConversionRun::~ConversionRun()
{
    // Whoever owns the run is going: only the threads need ending, nothing is reported.
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    for (auto& job : m_jobs)
        if (job->thread.joinable())
            job->thread.join();
}

void ConversionRun::start(RunRows& rows, Settings settings)
{
    if (m_run)
        return;
    auto run = std::make_unique<Run>();
    run->rows = &rows;
    run->settings = std::move(settings);
    run->count = rows.count();
    run->weights.resize(std::size_t(run->count));
    for (int row = 0; row < run->count; ++row) {
        // A row of unknown length still counts a little, so that its progress shows.
        run->weights[std::size_t(row)] = std::max(0.001, double(rows.weight(row)));
        run->totalWeight += run->weights[std::size_t(row)];
    }
    run->clock.start();
    m_run = std::move(run);
    try {
        prepareFolder({});
    } catch (const OutputError&) {
        // Each row says why when it is planned.
    }
    m_progressTimer->start();
    fill();
}

void ConversionRun::stop()
{
    if (!m_run)
        return;
    m_run->stopping = true;
    m_run->totals.stopRequested = true;
    m_run->waiting.reset();
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    maybeFinish();
}

void ConversionRun::stopAndWait()
{
    if (!m_run)
        return;
    stop();
    for (auto& job : m_jobs)
        if (job->thread.joinable())
            job->thread.join();
    reap();
    if (m_run)
        finish();
}

void ConversionRun::fill()
{
    if (!m_run || m_planning)
        return;
    // Which files the sources are, found a slice at a time so that a long list does not hold
    // up the thread; no row is planned before all are known.
    if (m_run->identified < m_run->count) {
        const int end = std::min(m_run->count, m_run->identified + RowsIdentifiedPerTurn);
        for (; m_run->identified < end; ++m_run->identified) {
            if (const auto id = fileIdOf(m_run->rows->source(m_run->identified)))
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
        while (m_run && !m_run->stopping && int(m_jobs.size()) < m_run->settings.maxJobs) {
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
                continue; // skipped, or the run was ended while a question was up
            if (m_run->stopping)
                break; // Stop was pressed while the question was up: the row is not started
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

std::optional<ConversionRun::Planned> ConversionRun::planRow(int row)
{
    RunRows& rows = *m_run->rows;
    rows.planned(row);
    const QString source = rows.source(row);
    if (!QFileInfo::exists(source)) {
        refuse(row, source + QStringLiteral(" has been removed."), QStringLiteral("The file has been removed."));
        return std::nullopt;
    }
    if (!isRegularFile(source)) {
        refuse(row, source + QStringLiteral(" is an invalid audio file!"),
               QStringLiteral("Not a regular file: only files can be converted."));
        return std::nullopt;
    }
    const QString sub = m_run->settings.keepFolders ? keptSubFolderFor(rows.addedFolder(row), source) : QString();
    const QString name = targetNameFor(rows.caption(row), rows.captionIsTitle(row), m_run->settings.extension, source);
    std::shared_ptr<const OutputDir> dir;
    try {
        dir = prepareFolder(sub);
    } catch (const OutputError& e) {
        if (!sub.isEmpty() && !dynamic_cast<const OutputLinkError*>(&e)) {
            refuse(row, QStringLiteral("Write Error! ") + m_run->settings.folder + sub + QStringLiteral(": the folder cannot be created"),
                   QStringLiteral("The output's folder cannot be created."));
        } else {
            // The output folder cannot be opened, or a folder on the way is a link.
            const QString reason = QString::fromUtf8(e.what());
            refuse(row, QStringLiteral("Write Error! ") + m_run->settings.folder + sub + name + QStringLiteral(": ") + reason,
                   reason);
        }
        return std::nullopt;
    }
    const QString target = dir->path() + name;
    // Neither the row's own source nor any other row's may be written, whichever name or
    // link leads to it.
    const std::optional<FileId> own = fileIdOf(source);
    const std::optional<FileId> followed = dir->fileId(name);
    const std::optional<FileId> entry = dir->entryId(name);
    if ((followed && followed == own) || (entry && entry == own)) {
        refuse(row, target + QStringLiteral(" is the source file itself and cannot be overwritten. Choose another output folder."),
               QStringLiteral("The output would replace this file itself."));
        return std::nullopt;
    }
    if ((followed && m_run->sources.count(*followed)) || (entry && m_run->sources.count(*entry))) {
        refuse(row, target + QStringLiteral(" is the source of another file in the list and cannot be overwritten. Choose another output folder."),
               QStringLiteral("The output would replace the source of another file in the list."));
        return std::nullopt;
    }
    if (dir->isFolder(name)) {
        refuse(row, QStringLiteral("Write Error! ") + target + QStringLiteral(": a folder of that name exists"),
               QStringLiteral("A folder of the output's name exists."));
        return std::nullopt;
    }
    // A target an earlier row of this run writes counts as existing.
    if (m_run->claims.contains(target) || entry) {
        Settings& s = m_run->settings;
        bool yes = s.overwrite == Overwrite::Yes;
        if (s.overwrite == Overwrite::Ask) {
            const Prompts::Overwrite answer = s.ask ? s.ask(OverwriteQuestion + QLatin1Char('\n') + target)
                                                    : Prompts::Overwrite::No;
            if (!m_run)
                return std::nullopt;
            yes = answer == Prompts::Overwrite::Yes || answer == Prompts::Overwrite::YesToAll;
            if (answer == Prompts::Overwrite::YesToAll)
                m_run->settings.overwrite = Overwrite::Yes;
            else if (answer == Prompts::Overwrite::NoToAll)
                m_run->settings.overwrite = Overwrite::No;
        }
        if (!yes) {
            dropRowFromTotal(row);
            ++m_run->totals.skipped;
            rows.skipped(row);
            return std::nullopt;
        }
    }
    // A source written to since it was measured is measured again by its job.
    std::int64_t bytes = 0, modified = 0;
    const QFileInfo info(source);
    const bool changed = rows.sourceStamp(row, &bytes, &modified)
        && (info.size() != bytes || info.lastModified().toMSecsSinceEpoch() != modified);
    return Planned{row, source, target, dir, changed};
}

std::shared_ptr<const OutputDir> ConversionRun::prepareFolder(const QString& sub)
{
    Run& run = *m_run;
    if (!run.root) {
        run.root = OutputDir::open(run.settings.folder);
        // What a killed or crashed run left behind.
        removeStaleTempOutputs(*run.root);
    }
    if (sub.isEmpty())
        return run.root;
    if (run.lastDir && run.lastSub == sub)
        return run.lastDir;
    // Opened anew for each folder, so that a tree of many folders holds few of them open.
    run.lastDir.reset();
    run.lastDir = run.root->subFolder(sub);
    run.lastSub = sub;
    if (!run.cleanedFolders.contains(sub)) {
        removeStaleTempOutputs(*run.lastDir);
        run.cleanedFolders.insert(sub);
    }
    return run.lastDir;
}

bool ConversionRun::claimantRunning(const QString& target) const
{
    return std::any_of(m_jobs.begin(), m_jobs.end(), [&](const auto& job) { return job->target == target; });
}

void ConversionRun::startJob(const Planned& plan)
{
    RunRows& rows = *m_run->rows;
    auto job = std::make_unique<Job>();
    job->row = plan.row;
    job->target = plan.target;
    job->remeasure = plan.remeasure;
    job->order.source = plan.source;
    job->order.target = plan.target;
    job->order.dir = plan.dir;
    job->order.tags = rows.tags(plan.row);
    job->order.writer = std::make_unique<AudioFile>();
    job->order.writer->CopyOutputFrom(m_writer);
    m_run->claims.insert(plan.target, plan.row);
    rows.started(plan.row);
    job->clock.start();

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
        job->result.outcome = JobResult::Outcome::Failed;
        job->result.message = plan.source + QStringLiteral(" could not be converted: ") + QString::fromUtf8(e.what());
        job->result.reason = QString::fromUtf8(e.what());
        applyResult(*job);
        return;
    }
    m_jobs.push_back(std::move(job));
}

void ConversionRun::reap()
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
        reportProgress();
        fill();
    }
}

void ConversionRun::applyResult(Job& job)
{
    if (!m_run)
        return;
    JobResult& result = job.result;
    // The row hears of the source's measure when it changed since the row measured it, or
    // when it decoded to another length than the row shows.
    const std::int64_t shown = m_run->rows->shownDurationMs(job.row);
    const bool otherLength = result.outcome == JobResult::Outcome::Finished && shown >= 0
        && result.measured.durationMs != shown;
    if (!job.remeasure && !result.lengthCorrected && !otherLength)
        result.measured.durationMs = -1;
    switch (result.outcome) {
    case JobResult::Outcome::Finished:
        m_run->finishedWeight += m_run->weights[std::size_t(job.row)];
        ++m_run->totals.finished;
        break;
    case JobResult::Outcome::Stopped:
        m_run->claims.remove(job.target);
        ++m_run->totals.stopped;
        dropRowFromTotal(job.row);
        break;
    case JobResult::Outcome::Failed:
        m_run->claims.remove(job.target);
        m_run->failures[job.row] = result.message;
        ++m_run->totals.failed;
        dropRowFromTotal(job.row);
        break;
    }
    m_run->rows->ended(job.row, result, double(job.clock.elapsed()) / 1000.0);
}

void ConversionRun::refuse(int row, const QString& message, const QString& reason)
{
    m_run->failures[row] = message;
    ++m_run->totals.failed;
    dropRowFromTotal(row);
    m_run->rows->refused(row, message, reason);
}

void ConversionRun::dropRowFromTotal(int row)
{
    m_run->totalWeight = std::max(0.0, m_run->totalWeight - m_run->weights[std::size_t(row)]);
}

void ConversionRun::maybeFinish()
{
    if (!m_run || m_planning || !m_jobs.empty())
        return;
    if (m_run->stopping || (m_run->next >= m_run->count && !m_run->waiting))
        finish();
}

void ConversionRun::finish()
{
    const std::unique_ptr<Run> run = std::move(m_run);
    m_progressTimer->stop();
    run->totals.seconds = double(run->clock.elapsed()) / 1000.0;
    QStringList failures;
    for (const auto& [row, message] : run->failures)
        failures << message;
    emit ended(failures, run->totals);
}

void ConversionRun::reportProgress()
{
    if (!m_run)
        return;
    double done = m_run->finishedWeight;
    for (const auto& job : m_jobs) {
        const std::int64_t total = job->progress.framesTotal.load(std::memory_order_relaxed);
        const std::int64_t frames = job->progress.framesDone.load(std::memory_order_relaxed);
        const double fraction = total > 0 ? std::clamp(double(frames) / double(total), 0.0, 1.0) : 0.0;
        done += fraction * m_run->weights[std::size_t(job->row)];
        m_run->rows->progressed(job->row, int(fraction * 100.0));
    }
    const double share = m_run->totalWeight > 0 ? std::clamp(done / m_run->totalWeight, 0.0, 1.0) : 0.0;
    const double elapsed = double(m_run->clock.elapsed()) / 1000.0;
    emit progress(share, elapsed, remainingSeconds(elapsed, share));
}

} // namespace sondrel
