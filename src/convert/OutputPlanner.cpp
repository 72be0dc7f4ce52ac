#include "OutputPlanner.h"

#include "ExceptionHook.h"
#include "FileListModel.h"
#include "NamePattern.h"
#include "OutputPlan.h"
#include "RunRows.h"
#include "TrackTags.h"
#include "WorkerPool.h"

#include <QTimer>

#include <atomic>

namespace sondrel {

namespace {

// Changes that come within this time of each other are planned once.
constexpr int SettleMs = 150;

// What a plan needs of a row, copied on the GUI thread.
struct RowCopy {
    QString source;
    QString caption;
    QString addedFolder;
    bool captionIsTitle = false;
    std::optional<TrackRange> range;
    NameValues values; // only when outputs are named by a pattern
};

// The copied rows as a run would see them; only what naming reads is asked for.
class CopiedRows : public RunRows {
public:
    explicit CopiedRows(const std::vector<RowCopy>& rows) : m_rows(rows) {}
    int count() const override { return int(m_rows.size()); }
    QString source(int row) const override { return at(row).source; }
    QString caption(int row) const override { return at(row).caption; }
    bool captionIsTitle(int row) const override { return at(row).captionIsTitle; }
    std::optional<TrackRange> range(int row) const override { return at(row).range; }
    std::optional<TrackInfo> tags(int) const override { return std::nullopt; }
    QString addedFolder(int row) const override { return at(row).addedFolder; }
    NameValues nameValues(int row) const override { return at(row).values; }
    std::int64_t weight(int) const override { return 0; }
    bool sourceStamp(int, std::int64_t*, std::int64_t*) const override { return false; }
    void started(int) override {}
    void ended(int, const JobResult&, double) override {}
    void refused(int, const QString&, const QString&) override {}

private:
    const RowCopy& at(int row) const { return m_rows[std::size_t(row)]; }
    const std::vector<RowCopy>& m_rows;
};

std::vector<RowCopy> copyRows(const FileListModel& list, bool withValues)
{
    std::vector<RowCopy> rows(std::size_t(list.count()));
    for (int row = 0; row < list.count(); ++row) {
        RowCopy& r = rows[std::size_t(row)];
        r.source = list.text(row, rows::FullPath);
        r.caption = list.text(row, rows::FileName);
        r.addedFolder = list.addedFolder(row);
        r.captionIsTitle = list.captionIsTitle(row);
        r.range = list.trackRange(row);
        if (withValues)
            r.values = rowNameValues(list, row);
    }
    return rows;
}

} // namespace

struct OutputPlanner::Result {
    quint64 asked = 0;
    quint64 generation = 0;
    bool byPattern = false;
    std::vector<FileListModel::PlannedCell> cells;
    std::atomic<bool> done{false};
};

OutputPlanner::OutputPlanner(FileListModel& list, std::function<PlanSetup()> setup, QObject* parent)
    : QObject(parent), m_list(list), m_setup(std::move(setup)), m_timer(new QTimer(this)),
      m_pool(std::make_unique<WorkerPool>(1, "sondrel-plan"))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(SettleMs);
    connect(m_timer, &QTimer::timeout, this, guarded([this] { start(); }));
    connect(m_pool.get(), &WorkerPool::notified, this, guarded([this] { finished(); }));
    connect(&m_list, &FileListModel::namingChanged, this, [this] { schedule(); });
}

OutputPlanner::~OutputPlanner()
{
    m_pool->stop();
    m_pool->waitIdle();
}

void OutputPlanner::schedule()
{
    ++m_asked;
    m_timer->start();
}

void OutputPlanner::start()
{
    if (m_result) {
        // One plan at a time: the one in the making is out of date; this one follows it.
        m_pool->stop();
        m_timer->start();
        return;
    }
    const PlanSetup setup = m_setup();
    if (setup.naming.extension.isEmpty() || m_list.count() == 0) {
        m_list.setPlannedOutputs(std::vector<FileListModel::PlannedCell>(std::size_t(m_list.count())));
        emit planShown();
        return;
    }
    auto result = std::make_shared<Result>();
    result->asked = m_asked;
    result->generation = m_list.namingGeneration();
    result->byPattern = !setup.naming.namePattern.isEmpty();
    auto rows = std::make_shared<const std::vector<RowCopy>>(copyRows(m_list, !setup.naming.namePattern.isEmpty()));
    WorkerPool* pool = m_pool.get();
    m_result = result;
    const bool queued = pool->submit([result, rows, setup, pool](std::stop_token stop) {
        const CopiedRows copied(*rows);
        const std::vector<PlannedOutput> plan = planOutputs(copied, setup.folder, setup.naming, setup.existing, stop);
        result->cells.reserve(plan.size());
        for (const PlannedOutput& p : plan) {
            const QString other = p.sameNameAs >= 0 ? (*rows)[std::size_t(p.sameNameAs)].caption : QString();
            result->cells.push_back({p.relative, planNote(p, other, setup.existing)});
        }
        result->done.store(true, std::memory_order_release);
        pool->notify();
    });
    if (!queued)
        m_result.reset(); // no thread to spare: the column keeps its last plan
}

void OutputPlanner::finished()
{
    if (!m_result || !m_result->done.load(std::memory_order_acquire))
        return;
    const std::shared_ptr<Result> result = std::move(m_result);
    const bool current = result->asked == m_asked && result->generation == m_list.namingGeneration()
        && result->cells.size() == std::size_t(m_list.count());
    if (current) {
        m_list.setPlannedOutputs(result->cells, result->byPattern);
        emit planShown();
    } else if (!m_timer->isActive()) {
        m_timer->start();
    }
}

} // namespace sondrel
