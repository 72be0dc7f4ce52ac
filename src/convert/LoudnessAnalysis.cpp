#include "LoudnessAnalysis.h"

#include "ConversionJob.h"
#include "EngineError.h"
#include "ExceptionHook.h"
#include "LoudnessMeter.h"
#include "WorkerPool.h"

#include <QTimer>

#include <algorithm>

namespace sondrel {

struct LoudnessAnalysis::Job {
    File file;
    JobProgress progress;
    Result result;
    bool reaped = false;
};

LoudnessAnalysis::LoudnessAnalysis(QObject* parent)
    : QObject(parent), m_pool(std::make_unique<WorkerPool>(1, "sondrel-analyze"))
{
    connect(m_pool.get(), &WorkerPool::notified, this, guarded([this] { reap(); }));
}

LoudnessAnalysis::~LoudnessAnalysis()
{
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
    m_pool.reset();
}

void LoudnessAnalysis::start(std::vector<File> files, int jobs)
{
    if (m_running)
        return;
    m_jobs.clear();
    std::vector<QString> keys;
    for (File& f : files) {
        keys.push_back(f.albumKey);
        auto job = std::make_unique<Job>();
        job->file = std::move(f);
        m_jobs.push_back(std::move(job));
    }
    m_albums = AlbumTally(keys);
    m_left = int(m_jobs.size());
    m_firstOpen = 0;
    m_running = true;
    m_stopRequested = false;
    m_pool->setMaxThreads(std::max(1, jobs));
    WorkerPool* pool = m_pool.get();
    for (auto& owned : m_jobs) {
        Job* j = owned.get();
        // Once `ended` is set the job belongs to this thread again.
        const bool queued = pool->submit([j, pool](std::stop_token) {
            // A task still queued when the stop came ends without opening its file; a
            // failure seen while stopping is the stop's doing.
            try {
                if (!j->progress.stop.load())
                    j->result.meter = measureFileLoudness(j->file.path, j->progress, j->file.range);
            } catch (const std::exception& e) {
                if (!j->progress.stop.load())
                    j->result.error = QString::fromUtf8(e.what());
            }
            j->result.stopped = !j->result.meter && j->result.error.isEmpty();
            j->progress.ended.store(true, std::memory_order_release);
            pool->notify();
        });
        if (!queued) {
            j->result.error = QStringLiteral("the system has no thread to spare");
            j->progress.ended.store(true);
        }
    }
    // Files that failed at once, and an analysis of no files, end on the next turn.
    QTimer::singleShot(0, this, guarded([this] { reap(); }));
}

void LoudnessAnalysis::stop()
{
    if (!m_running)
        return;
    m_stopRequested = true;
    for (auto& job : m_jobs)
        job->progress.stop.store(true);
}

void LoudnessAnalysis::stopAndWait()
{
    if (!m_running)
        return;
    stop();
    m_pool->waitIdle();
    reap();
}

const LoudnessAnalysis::Result& LoudnessAnalysis::result(int file) const
{
    return m_jobs[std::size_t(file)]->result;
}

double LoudnessAnalysis::share() const
{
    double total = 0;
    double done = 0;
    for (const auto& job : m_jobs) {
        const double weight = double(std::max<std::int64_t>(1, job->file.weight));
        total += weight;
        if (job->progress.ended.load(std::memory_order_acquire)) {
            done += weight;
            continue;
        }
        const auto frames = job->progress.framesTotal.load(std::memory_order_relaxed);
        if (frames > 0)
            done += weight * std::clamp(double(job->progress.framesDone.load(std::memory_order_relaxed)) / double(frames),
                                        0.0, 1.0);
    }
    return total > 0 ? done / total : 1.0;
}

void LoudnessAnalysis::reap()
{
    if (!m_running)
        return;
    // Files start in order: the ones before the first still open are all in.
    while (m_firstOpen < count() && m_jobs[std::size_t(m_firstOpen)]->reaped)
        ++m_firstOpen;
    for (int file = m_firstOpen; file < count(); ++file) {
        Job& job = *m_jobs[std::size_t(file)];
        if (job.reaped || !job.progress.ended.load(std::memory_order_acquire))
            continue;
        job.reaped = true;
        --m_left;
        // A stopped file leaves its album incomplete: its values are never known.
        if (job.result.meter)
            job.result.measure = job.result.meter->measure();
        const bool albumDone = !job.result.stopped && m_albums.settle(file, std::move(job.result.meter));
        emit measured(file);
        if (albumDone)
            emit albumMeasured(m_albums.albumOf(file));
    }
    if (m_left == 0) {
        m_running = false;
        emit ended();
    }
}

} // namespace sondrel
