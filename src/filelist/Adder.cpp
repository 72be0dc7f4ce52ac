#include "Adder.h"

#include "AppState.h"
#include "AudioFile.h"
#include "CueRows.h"
#include "ExceptionHook.h"
#include "FileListModel.h"
#include "FileProbe.h"
#include "FolderWalk.h"
#include "Prompts.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace sondrel {

namespace {
// Files found by a scan but not yet in the list, at most: a scan far ahead of the measuring
// would only hold memory.
constexpr std::size_t MaxQueued = 4096;
constexpr std::size_t ScanBatch = 32;
// Finished rows go into the list at most this often. Each insertion makes the view lay out
// every row again, so the interval grows with that cost, up to MaxIntervalMs.
constexpr int MinIntervalMs = 20;
constexpr int MaxIntervalMs = 120;
constexpr int CostShare = 4;
// The GUI thread's longest turn at inserting rows before the window gets its turn again.
constexpr qint64 TurnBudgetMs = 15;
} // namespace

// One file to measure, or an entry known to be unreachable.
struct Adder::Item {
    QString path;
    QString caption;
    QString root; // found by a scan: the folder added, which its row remembers
    bool fromScan = false;
    bool badName = false;
    Probed result;
    std::atomic<bool> done{false}; // set last by the worker; result may be read after it
};

struct Adder::Done {
    QString path;
    QString root;
    Probed result;
};

// What one adding holds from its start to its end. The queue runs from the next row to go
// into the list on; workers take items from `claimed` on, the scan appends at the back.
struct Adder::Run {
    explicit Run(AppState& state) : busy(state, &AppState::setAdding) {}
    BusyFlag busy;
    std::mutex m;
    std::condition_variable work; // workers: more items, or the end
    std::condition_variable room; // the scan: the queue has room again
    std::deque<Item> items;
    std::size_t first = 0;   // number of items.front() since the start
    std::size_t claimed = 0; // number of the next item to measure
    bool listed = false;     // every item is in the queue
    std::atomic<bool> stop{false};
    std::atomic<int> threadsLeft{0}; // tasks still running for this adding
    QStringList failures; // one line for each file not added, in list order
    bool stopping = false;

    std::size_t end() const { return first + items.size(); }
    void wakeAll()
    {
        { std::lock_guard lock(m); }
        work.notify_all();
        room.notify_all();
    }
};

void Adder::measureLoop(Run& run, WorkerPool& pool)
{
    measureItems(run, pool);
    // The last touch of the run: the adder may end it as soon as it sees no task left.
    run.threadsLeft.fetch_sub(1, std::memory_order_acq_rel);
    pool.notify();
}

void Adder::measureItems(Run& run, WorkerPool& pool)
{
    AudioFile reader;
    reader.SetCancelFlag(&run.stop);
    for (;;) {
        Item* item = nullptr;
        {
            std::unique_lock lock(run.m);
            run.work.wait(lock, [&] { return run.stop.load() || run.claimed < run.end() || run.listed; });
            if (run.stop.load() || run.claimed == run.end())
                break;
            item = &run.items[run.claimed - run.first];
            ++run.claimed;
        }
        if (item->badName)
            item->result.outcome = Probed::Outcome::BadName;
        else
            item->result = probeFile(item->path, item->caption, item->fromScan, reader);
        item->done.store(true, std::memory_order_release);
        pool.notify();
    }
}

namespace {
QString captionOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}
} // namespace

void Adder::listLoop(Run& run, WorkerPool& pool, const std::vector<Request>& requests)
{
    // Items listed but not yet in the queue (an Item itself stays where it is made).
    struct Listed {
        QString path;
        QString caption;
        QString root;
        bool fromScan = false;
        bool badName = false;
    };
    // A sheet added together with the image it cuts stands for it: the image's audio is listed
    // as the sheet's tracks, not once more as a whole (and a sheet that cuts nothing added with
    // its files is left out).
    QStringList namedFiles;
    for (const Request& request : requests)
        if (!request.folder)
            namedFiles << request.path;
    const QSet<QString> leftOut = leftOutOfNamedFiles(namedFiles);
    std::vector<Listed> batch;
    const auto flush = [&] {
        {
            std::unique_lock lock(run.m);
            run.room.wait(lock, [&] { return run.stop.load() || run.items.size() < MaxQueued; });
            for (Listed& from : batch) {
                Item& item = run.items.emplace_back();
                item.path = std::move(from.path);
                item.caption = std::move(from.caption);
                item.root = std::move(from.root);
                item.fromScan = from.fromScan;
                item.badName = from.badName;
            }
        }
        batch.clear();
        run.work.notify_all();
    };
    for (const Request& request : requests) {
        if (run.stop.load())
            break;
        if (!request.folder) {
            if (!leftOut.isEmpty() && leftOut.contains(QDir::cleanPath(QFileInfo(request.path).absoluteFilePath())))
                continue;
            Listed& item = batch.emplace_back();
            item.path = request.path;
            item.caption = captionOf(request.path);
        } else {
            const QString root = QDir::cleanPath(QFileInfo(request.path).absoluteFilePath());
            scanFolderEntries(request.path, request.includeSub, run.stop, [&](ScanEntry&& e) {
                Listed& item = batch.emplace_back();
                item.path = std::move(e.path);
                item.caption = std::move(e.name);
                item.root = root;
                item.fromScan = true;
                item.badName = e.badName;
                if (batch.size() >= ScanBatch)
                    flush();
            });
        }
        if (batch.size() >= ScanBatch)
            flush();
    }
    flush();
    {
        std::lock_guard lock(run.m);
        run.listed = true;
    }
    run.work.notify_all();
    run.threadsLeft.fetch_sub(1, std::memory_order_acq_rel);
    pool.notify();
}

Adder::Adder(QWidget* window, FileListModel& list, AppState& state, Prompts& prompts)
    : m_window(window), m_list(list), m_state(state), m_prompts(prompts), m_timer(new QTimer(this)),
      m_intervalMs(MinIntervalMs), m_pool(std::make_unique<WorkerPool>(workerCount() + 1, "sondrel-add"))
{
    m_timer->setSingleShot(true);
    connect(m_pool.get(), &WorkerPool::notified, this, guarded([this] { onBell(); }));
    connect(m_timer, &QTimer::timeout, this, guarded([this] { reap(); }));
}

Adder::~Adder()
{
    if (m_run) {
        m_run->stop.store(true);
        m_run->wakeAll();
    }
    m_pool->waitIdle();
}

int Adder::workerCount() { return std::max(1, QThread::idealThreadCount()); }

void Adder::addFiles(const QStringList& paths)
{
    std::vector<Request> requests;
    for (const QString& path : paths)
        requests.push_back({path, false, false});
    add(std::move(requests));
}

void Adder::addFolder(const QString& folder, bool includeSub)
{
    add({{folder, true, includeSub}});
}

void Adder::add(std::vector<Request> requests)
{
    if (requests.empty())
        return;
    m_waiting.push_back(std::move(requests));
    if (!m_run && !m_report)
        startNext();
}

void Adder::startNext()
{
    while (!m_run && !m_waiting.empty()) {
        std::vector<Request> requests = std::move(m_waiting.front());
        m_waiting.pop_front();
        auto run = std::make_unique<Run>(m_state);
        // Folders are scanned, and sheets read, by a worker of the pool.
        const bool anyFolder = std::any_of(requests.begin(), requests.end(),
                                           [](const Request& r) { return r.folder || isCueSheetName(r.path); });
        if (!anyFolder) {
            // Files only: every item is known now.
            for (const Request& request : requests) {
                Item& item = run->items.emplace_back();
                item.path = request.path;
                item.caption = captionOf(request.path);
            }
            run->listed = true;
            start(std::move(run));
            continue;
        }
        // A worker of its own lists the files and scans the folders, in order, while the
        // others measure what it has listed.
        Run* r = run.get();
        WorkerPool* pool = m_pool.get();
        r->threadsLeft.store(1);
        if (!pool->submit([r, pool, requests = std::move(requests)](std::stop_token) { listLoop(*r, *pool, requests); })) {
            run.reset();
            m_prompts.information(m_window, QStringLiteral("The folder cannot be scanned: the system has no thread to spare."));
            continue;
        }
        start(std::move(run));
    }
}

void Adder::start(std::unique_ptr<Run> run)
{
    m_run = std::move(run);
    m_intervalMs = MinIntervalMs;
    m_sinceBatch.invalidate();
    Run* r = m_run.get();
    WorkerPool* pool = m_pool.get();
    const int workers = workerCount();
    for (int i = 0; i < workers; ++i) {
        r->threadsLeft.fetch_add(1);
        if (!pool->submit([r, pool](std::stop_token) { measureLoop(*r, *pool); })) {
            r->threadsLeft.fetch_sub(1);
            if (i == 0) {
                // Not one worker: nothing can be measured.
                stop();
                m_prompts.information(m_window, QStringLiteral("The files cannot be added: the system has no thread to spare."));
                return;
            }
            break;
        }
    }
}

void Adder::onBell()
{
    if (!m_run || m_timer->isActive())
        return;
    const qint64 since = m_sinceBatch.isValid() ? m_sinceBatch.elapsed() : m_intervalMs;
    if (since < m_intervalMs)
        later(int(m_intervalMs - since));
    else
        reap();
}

void Adder::later(int ms)
{
    if (!m_timer->isActive())
        m_timer->start(ms);
}

void Adder::reap()
{
    if (!m_run)
        return;
    if (insertFinished())
        maybeFinish();
}

namespace {

// The line that tells the user why a file is not added; empty for a file that is.
QString failureLine(const QString& path, const Probed& result)
{
    switch (result.outcome) {
    case Probed::Outcome::Removed: return path + QStringLiteral(" has been removed!");
    case Probed::Outcome::Invalid:
        return path + QStringLiteral(" is an invalid audio file!")
            + (result.reason.isEmpty() ? QString() : QStringLiteral(" (") + result.reason + QLatin1Char(')'));
    case Probed::Outcome::BadName:
        return path + QStringLiteral(": the name is not valid UTF-8 text, so the program cannot open the file "
                                     "by name; renaming it makes it available.");
    default: return {};
    }
}

// One message for every file of an adding that was not added: a single line alone, several
// under a heading that counts them.
QString failureReport(const QStringList& lines)
{
    if (lines.size() == 1)
        return lines.first();
    return QStringLiteral("%1 files cannot be added:\n").arg(lines.size()) + lines.join(QLatin1Char('\n'));
}

} // namespace

std::vector<Adder::Done> Adder::takeFinished(Run& run)
{
    std::vector<Done> taken;
    {
        std::lock_guard lock(run.m);
        while (!run.items.empty() && run.items.front().done.load(std::memory_order_acquire) && taken.size() < 256) {
            Item& front = run.items.front();
            taken.push_back({std::move(front.path), std::move(front.root), std::move(front.result)});
            run.items.pop_front();
            ++run.first;
        }
    }
    run.room.notify_all();
    return taken;
}

bool Adder::insertFinished()
{
    Run* run = m_run.get();
    m_sinceBatch.start();
    QElapsedTimer turn;
    turn.start();
    std::vector<ListRow> batch;
    bool more = false;
    while (!run->stopping) {
        std::vector<Done> taken = takeFinished(*run);
        if (taken.empty())
            break;
        for (Done& d : taken) {
            if (d.result.outcome == Probed::Outcome::Listed && !d.result.tracks.empty()) {
                for (ListRow& track : d.result.tracks) {
                    track.addedFolder = d.root;
                    batch.push_back(std::move(track));
                }
            } else if (d.result.outcome == Probed::Outcome::Listed) {
                d.result.row.addedFolder = d.root;
                batch.push_back(std::move(d.result.row));
            } else if (QString line = failureLine(d.path, d.result); !line.isEmpty()) {
                run->failures << std::move(line);
            }
        }
        if (turn.elapsed() >= TurnBudgetMs) {
            more = true;
            break;
        }
    }
    insert(batch);
    // The next batch waits in proportion to what this one cost.
    m_intervalMs = int(std::clamp<qint64>(turn.elapsed() * CostShare, MinIntervalMs, MaxIntervalMs));
    if (more) {
        later(0);
        return false;
    }
    return true;
}

void Adder::insert(std::vector<ListRow>& batch)
{
    if (batch.empty())
        return;
    m_list.append(std::move(batch));
    batch.clear();
}

bool Adder::tellToStop()
{
    m_waiting.clear();
    if (!m_run)
        return false;
    m_run->stopping = true;
    m_run->stop.store(true);
    m_run->wakeAll();
    return true;
}

void Adder::stop()
{
    if (tellToStop())
        maybeFinish();
}

void Adder::stopAndWait()
{
    m_report.reset();
    m_reported.reset();
    if (!tellToStop())
        return;
    m_pool->waitIdle();
    finish(true);
}

void Adder::maybeFinish()
{
    Run* run = m_run.get();
    if (!run || run->threadsLeft.load(std::memory_order_acquire) != 0)
        return;
    if (!run->stopping) {
        std::lock_guard lock(run->m);
        if (!run->items.empty())
            return; // finished rows are still to go in
    }
    finish(false);
}

void Adder::finish(bool closing)
{
    std::unique_ptr<Run> run = std::move(m_run);
    m_timer->stop();
    if (closing) {
        m_waiting.clear();
        emit finished();
        return;
    }
    if (!run->failures.isEmpty()) {
        // The adding state lasts until the report is closed, and the next adding waits for
        // it, so its own report never hides this one.
        const QString text = failureReport(run->failures);
        m_reported = std::move(run);
        m_report = m_prompts.noticeLater(m_window, text, [this] {
            QMetaObject::invokeMethod(this, guarded([this] {
                m_report.reset();
                m_reported.reset();
                afterReport();
            }), Qt::QueuedConnection);
        });
        return;
    }
    run.reset(); // the adding state ends here
    afterReport();
}

void Adder::afterReport()
{
    startNext();
    if (!m_run && !m_report)
        emit finished();
}

} // namespace sondrel
