#include "ConversionRunParts.h"

#include "AudioFile.h"
#include "EngineError.h"
#include "ExceptionHook.h"
#include "OutputFiles.h"
#include "RunPlaylist.h"
#include "RunTimeText.h"
#include "TargetPath.h"
#include "WorkerPool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <map>
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

ConversionRun::ConversionRun(const AudioFile& writer, QObject* parent)
    : QObject(parent), m_writer(writer), m_progressTimer(new QTimer(this)),
      m_jobFunction(runConversionJob), m_pool(std::make_unique<WorkerPool>(1, "sondrel-convert"))
{
    connect(m_pool.get(), &WorkerPool::notified, this, guarded([this] { reap(); }));
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, guarded([this] { reportProgress(); }));
}

ConversionRun::~ConversionRun()
{
    // Whoever owns the run is going: only the workers need ending, nothing is reported.
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    m_pool->waitIdle();
}

int ConversionRun::jobsFor(int setting)
{
    if (setting <= 0)
        return std::max(1, QThread::idealThreadCount());
    return std::min(setting, MaxJobs);
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
    run->id = ++m_runs;
    m_pool->setMaxThreads(run->settings.maxJobs);
    if (!run->settings.namePattern.isEmpty())
        run->pattern.emplace(run->settings.namePattern);
    run->names = RunNames(run->settings.nameRules);
    m_run = std::move(run);
    setUpAlbums();
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
    // A question still up is closed unanswered: no row starts after a stop.
    m_run->question.reset();
    m_run->asking.reset();
    // Every job ends: a queued one as soon as it starts.
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    dropWaiting();
    maybeFinish();
}

void ConversionRun::stopAndWait()
{
    if (!m_run)
        return;
    stop();
    m_pool->waitIdle();
    reap();
    if (m_run)
        finish();
}

bool ConversionRun::identifySources()
{
    // Which files the sources are, found a slice at a time so that a long list does not hold
    // up the thread; no row is planned before all are known.
    const int end = std::min(m_run->count, m_run->identified + RowsIdentifiedPerTurn);
    for (; m_run->identified < end; ++m_run->identified) {
        if (const auto id = fileIdOf(m_run->rows->source(m_run->identified)))
            m_run->sources.insert(*id);
    }
    return m_run->identified == m_run->count;
}

void ConversionRun::fill()
{
    // No row is planned while a question is up (its answer resumes the run), but work made
    // ready meanwhile (an album's held outputs) still starts.
    if (!m_run)
        return;
    if (!identifySources()) {
        QTimer::singleShot(0, this, guarded([this] { fill(); }));
        return;
    }
    int planned = 0;
    while (!m_run->stopping && int(m_jobs.size()) < m_run->settings.maxJobs) {
        if (!m_ready.empty()) {
            std::unique_ptr<Job> job = std::move(m_ready.front());
            m_ready.pop_front();
            launch(std::move(job));
            continue;
        }
        if (m_run->question || m_run->next >= m_run->count)
            break;
        if (++planned > MaxRowsPerPlanningTurn) {
            QTimer::singleShot(0, this, guarded([this] { fill(); }));
            return;
        }
        if (std::optional<Planned> plan = planRow(m_run->next++)) {
            startJob(*plan);
            planned = 0;
        }
    }
    maybeFinish();
}

void ConversionRun::ask(const Planned& plan)
{
    // The question opens and the run waits for its answer; the answer comes back through the
    // event loop, for this run only.
    const quint64 id = m_run->id;
    m_run->asking = plan;
    m_run->question = m_run->settings.ask(OverwriteQuestion + QLatin1Char('\n') + plan.target, [this, id](Prompts::Overwrite answer) {
        QMetaObject::invokeMethod(this, guarded([this, id, answer] { answered(id, answer); }), Qt::QueuedConnection);
    });
}

void ConversionRun::answered(quint64 id, Prompts::Overwrite answer)
{
    if (!m_run || m_run->id != id || m_run->stopping || !m_run->asking)
        return; // the run ended or was stopped while the question was up
    const Planned plan = *m_run->asking;
    m_run->asking.reset();
    m_run->question.reset();
    if (answer == Prompts::Overwrite::YesToAll)
        m_run->settings.existing = Existing::Overwrite;
    else if (answer == Prompts::Overwrite::NoToAll)
        m_run->settings.existing = Existing::Skip;
    if (answer == Prompts::Overwrite::Yes || answer == Prompts::Overwrite::YesToAll)
        startJob(plan);
    else
        skip(plan);
    fill();
}

void ConversionRun::skip(const Planned& plan)
{
    dropRowFromTotal(plan.row);
    ++m_run->totals.skipped;
    m_run->outputs[plan.row] = plan.target;
    m_run->rows->skipped(plan.row);
    keptOutput(plan);
}

std::optional<ConversionRun::Planned> ConversionRun::planRow(int row)
{
    RunRows& rows = *m_run->rows;
    rows.planned(row);
    const QString source = rows.source(row);
    if (!sourceUsable(row, source))
        return std::nullopt;
    QString name;
    const std::shared_ptr<const OutputDir> dir = outputFor(row, source, &name);
    if (!dir || !targetWritable(row, source, *dir, name))
        return std::nullopt;
    const QString target = dir->path() + name;
    // A source written to since it was measured is measured again by its job.
    std::int64_t bytes = 0, modified = 0;
    const QFileInfo info(source);
    const bool changed = rows.sourceStamp(row, &bytes, &modified)
        && (info.size() != bytes || info.lastModified().toMSecsSinceEpoch() != modified);
    const Planned plan{row, source, target, dir, changed};
    if (!dir->entryId(name))
        return plan;
    return existingTarget(plan);
}

std::optional<ConversionRun::Planned> ConversionRun::existingTarget(const Planned& plan)
{
    switch (m_run->settings.existing) {
    case Existing::Overwrite:
    case Existing::Rename: // a name taken meanwhile by another program: the user chose to write
        return plan;
    case Existing::Skip:
        skip(plan);
        return std::nullopt;
    case Existing::Update: {
        const std::optional<std::int64_t> from = modifiedNsOf(plan.source);
        const std::optional<std::int64_t> to = plan.dir->modifiedNs(plan.target.mid(plan.dir->path().size()));
        if (!from || !to || !outputIsUpToDate(*from, *to))
            return plan;
        dropRowFromTotal(plan.row);
        ++m_run->totals.upToDate;
        m_run->outputs[plan.row] = plan.target;
        m_run->rows->upToDate(plan.row);
        keptOutput(plan);
        return std::nullopt;
    }
    case Existing::Ask:
        break;
    }
    if (!m_run->settings.ask) {
        skip(plan);
        return std::nullopt;
    }
    ask(plan);
    return std::nullopt;
}

bool ConversionRun::sourceUsable(int row, const QString& source)
{
    if (!QFileInfo::exists(source)) {
        refuse(row, source + QStringLiteral(" has been removed."), QStringLiteral("The file has been removed."));
        return false;
    }
    if (!isRegularFile(source)) {
        refuse(row, source + QStringLiteral(" is an invalid audio file!"),
               QStringLiteral("Not a regular file: only files can be converted."));
        return false;
    }
    return true;
}

std::shared_ptr<const OutputDir> ConversionRun::outputFor(int row, const QString& source, QString* name)
{
    const Settings& s = m_run->settings;
    QString relative, error;
    if (!relativeOutputFor(*m_run->rows, row, s, m_run->pattern ? &*m_run->pattern : nullptr, &relative, &error)) {
        refuse(row, source + QStringLiteral(": ") + error, error);
        return nullptr;
    }
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QString sub = relative.left(slash + 1);
    std::shared_ptr<const OutputDir> dir = folderFor(row, sub, relative.mid(slash + 1));
    if (!dir)
        return nullptr;
    // A name an earlier row took is numbered; renaming also passes over existing files.
    std::function<bool(const QString&)> exists;
    if (s.existing == Existing::Rename)
        exists = [&](const QString& r) { return dir->entryId(r.mid(sub.size())).has_value(); };
    *name = m_run->names.take(relative, s.extension, exists).mid(sub.size());
    return dir;
}

std::shared_ptr<const OutputDir> ConversionRun::folderFor(int row, const QString& sub, const QString& name)
{
    try {
        return prepareFolder(sub);
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
        return nullptr;
    }
}

bool ConversionRun::targetWritable(int row, const QString& source, const OutputDir& dir, const QString& name)
{
    const QString target = dir.path() + name;
    // Neither the row's own source nor any other row's may be written, whichever name or
    // link leads to it.
    const std::optional<FileId> own = fileIdOf(source);
    const std::optional<FileId> followed = dir.fileId(name);
    const std::optional<FileId> entry = dir.entryId(name);
    if ((followed && followed == own) || (entry && entry == own)) {
        refuse(row, target + QStringLiteral(" is the source file itself and cannot be overwritten. Choose another output folder."),
               QStringLiteral("The output would replace this file itself."));
        return false;
    }
    if ((followed && m_run->sources.count(*followed)) || (entry && m_run->sources.count(*entry))) {
        refuse(row, target + QStringLiteral(" is the source of another file in the list and cannot be overwritten. Choose another output folder."),
               QStringLiteral("The output would replace the source of another file in the list."));
        return false;
    }
    if (dir.isFolder(name)) {
        refuse(row, QStringLiteral("Write Error! ") + target + QStringLiteral(": a folder of that name exists"),
               QStringLiteral("A folder of the output's name exists."));
        return false;
    }
    return true;
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

void ConversionRun::startJob(const Planned& plan)
{
    std::unique_ptr<Job> job = makeJob(plan);
    m_run->rows->started(plan.row);
    job->clock.start();
    decided(plan.row, true);
    if (m_run->settings.normalize) {
        // The source's loudness first: the gain it is converted with depends on it.
        job->stage = Stage::Measure;
        job->progressShare = 0.5;
    }
    launch(std::move(job));
}

std::unique_ptr<ConversionRun::Job> ConversionRun::makeJob(const Planned& plan)
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
    job->order.range = rows.range(plan.row);
    job->order.writer = std::make_unique<AudioFile>();
    job->order.writer->CopyOutputFrom(m_writer);
    // Normalized audio is not the source's: it is always encoded.
    if (!m_run->settings.normalize)
        job->order.copyCodec = m_run->settings.copyCodec;
    job->order.loudness = loudnessOrder();
    return job;
}

void ConversionRun::launch(std::unique_ptr<Job> job)
{
    Job* j = job.get();
    m_jobs.push_back(std::move(job));
    WorkerPool* pool = m_pool.get();
    // A job is stopped through its own flag (which its reader also watches), so a job still
    // queued when Stop comes ends as soon as it starts. Once `ended` is set the job belongs
    // to the GUI thread again.
    const JobFunction& work = m_jobFunction;
    const bool queued = pool->submit([j, pool, work](std::stop_token) {
        switch (j->stage) {
        case Stage::Convert:
            j->result = work(j->order, j->progress);
            break;
        case Stage::Finish:
            j->result = finishHeldOutput(j->order, *j->held, j->album, j->progress);
            break;
        case Stage::Measure:
            try {
                j->result.loudness = measureFileLoudness(j->order.source, j->progress, j->order.range);
                j->result.outcome = JobResult::Outcome::Finished;
            } catch (const CancelledError&) {
                j->result.outcome = JobResult::Outcome::Stopped;
            } catch (const std::exception& e) {
                j->result.outcome = JobResult::Outcome::Failed;
                j->result.reason = QString::fromUtf8(e.what());
                j->result.message = j->order.source + QStringLiteral(" could not be converted: ") + j->result.reason;
            }
            break;
        }
        j->progress.ended.store(true, std::memory_order_release);
        pool->notify();
    });
    if (!queued) {
        // No worker thread could be made (a resource limit): this file fails, the run goes on.
        j->result = JobResult{};
        j->result.outcome = JobResult::Outcome::Failed;
        j->result.reason = QStringLiteral("the system has no thread to spare");
        j->result.message = j->order.source + QStringLiteral(" could not be converted: ") + j->result.reason;
        j->progress.ended.store(true);
        QTimer::singleShot(0, this, guarded([this] { reap(); }));
    }
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
        std::unique_ptr<Job> done = std::move(*it);
        it = m_jobs.erase(it);
        applyResult(std::move(done));
        any = true;
    }
    if (any && m_run) {
        reportProgress();
        fill();
    }
}

void ConversionRun::applyResult(std::unique_ptr<Job> job)
{
    if (!m_run)
        return;
    if (job->stage == Stage::Measure) {
        measured(std::move(job));
        return;
    }
    if (job->result.outcome == JobResult::Outcome::Measured) {
        held(std::move(job));
        return;
    }
    jobEnded(*job);
    // A row of an album whose output was to wait for the album has none: the album goes on
    // without it.
    if (job->stage == Stage::Convert && job->order.loudness.waitForAlbum)
        settleRow(job->row, nullptr);
}

void ConversionRun::jobEnded(Job& job)
{
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
        m_run->outputs[job.row] = job.target;
        break;
    case JobResult::Outcome::Stopped:
        ++m_run->totals.stopped;
        dropRowFromTotal(job.row);
        break;
    case JobResult::Outcome::Failed:
    case JobResult::Outcome::Measured: // never handed here
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
    decided(row, false);
    settleRow(row, nullptr);
}

void ConversionRun::dropRowFromTotal(int row)
{
    m_run->totalWeight = std::max(0.0, m_run->totalWeight - m_run->weights[std::size_t(row)]);
}

void ConversionRun::maybeFinish()
{
    if (!m_run || !m_jobs.empty())
        return;
    if (m_run->stopping) {
        finish();
        return;
    }
    if (m_run->next < m_run->count || m_run->asking || !m_ready.empty())
        return;
    // Every row is decided and nothing runs: whatever still waits for its album is released
    // with what its album has (it cannot be, but a run must never hang on it).
    if (m_run->albums && !m_run->albums->waiting.empty()) {
        while (!m_run->albums->waiting.empty())
            releaseAlbum(m_run->albums->waiting.begin()->first);
        fill();
        return;
    }
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
    if (run->settings.playlist && !run->totals.stopRequested && !run->outputs.empty())
        writeRunPlaylist(*run, failures);
    emit ended(failures, run->totals);
}

void ConversionRun::writeRunPlaylist(Run& run, QStringList& failures)
{
    const QString root = run.root->path();
    std::vector<PlaylistEntry> entries;
    for (const auto& [row, target] : run.outputs) {
        const QString caption = run.rows->caption(row);
        entries.push_back({target.mid(root.size()),
                           run.rows->captionNamesWhole(row) ? caption : QFileInfo(caption).completeBaseName(),
                           run.rows->shownDurationMs(row)});
    }
    const QString name = playlistNameFor(run.rows->addedFolder(run.outputs.begin()->first), run.settings.nameRules);
    try {
        writePlaylist(run.root, name, playlistText(entries));
        run.totals.playlist = root + name;
    } catch (const OutputError& e) {
        run.totals.playlistFailed = true;
        failures << QStringLiteral("The playlist %1 could not be written: %2").arg(root + name, QString::fromUtf8(e.what()));
    }
}

void ConversionRun::reportProgress()
{
    if (!m_run)
        return;
    double done = m_run->finishedWeight;
    for (const auto& job : m_jobs) {
        if (job->keptOutput)
            continue;
        const std::int64_t total = job->progress.framesTotal.load(std::memory_order_relaxed);
        const std::int64_t frames = job->progress.framesDone.load(std::memory_order_relaxed);
        const double fraction = job->progressFrom
            + job->progressShare * (total > 0 ? std::clamp(double(frames) / double(total), 0.0, 1.0) : 0.0);
        done += fraction * m_run->weights[std::size_t(job->row)];
        m_run->rows->progressed(job->row, int(fraction * 100.0));
    }
    const auto waiting = [&](const Job& job) { done += job.progressFrom * m_run->weights[std::size_t(job.row)]; };
    for (const auto& job : m_ready)
        waiting(*job);
    if (m_run->albums) {
        for (const auto& [album, jobs] : m_run->albums->waiting)
            for (const auto& job : jobs)
                waiting(*job);
    }
    const double share = m_run->totalWeight > 0 ? std::clamp(done / m_run->totalWeight, 0.0, 1.0) : 0.0;
    const double elapsed = double(m_run->clock.elapsed()) / 1000.0;
    emit progress(share, elapsed, remainingSeconds(elapsed, share));
}

} // namespace sondrel
