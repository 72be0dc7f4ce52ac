#pragma once
// The program's worker threads: adding and converting hand their work to a pool as tasks.
// At most `threads` tasks run at once, in the order they were given; threads are started
// when the first tasks need them and are named for what they do. Each task receives a stop
// token that stop() (or the pool's end) sets; a task reads it, or registers a callback on it,
// to end early. Tasks never touch the GUI: they leave their results where their owner reads
// them and call notify(), and the owner hears `notified` on its own thread, once for any
// number of notifications since the last (a doorbell, never one queued event per result).
#include <QByteArray>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace sondrel {

class Doorbell;

class WorkerPool : public QObject {
    Q_OBJECT
public:
    using Task = std::function<void(std::stop_token)>;

    // name: the threads' name as top -H shows it (at most 15 bytes).
    WorkerPool(int threads, QByteArray name, QObject* parent = nullptr);
    ~WorkerPool() override; // stops every task and waits for the threads

    // Queues task. Returns false, and drops it, when no worker thread runs and none could be
    // started (the system has no thread to spare): the caller reports that for its task.
    bool submit(Task task);
    // Every task given so far sees its token set: the running ones at once, the queued ones
    // when they start (every task runs, so its owner hears of its end; a stopped one can
    // return at once). Tasks submitted afterwards run with a fresh token.
    void stop();
    // Waits until no task runs any more (after stop(), that is soon).
    void waitIdle();
    // Tasks queued or running.
    int pending() const;
    int maxThreads() const { return m_maxThreads; }
    // Changes how many tasks run at once, from the next task on (1 at least).
    void setMaxThreads(int threads);

    // From any thread: wake the owner.
    void notify() noexcept;

signals:
    void notified();

private:
    struct Queued {
        Task task;
        std::stop_token token;
    };
    void workerLoop(std::stop_token poolEnd);
    bool startThreadIfNeeded(); // with m_mutex held

    QByteArray m_name;
    int m_maxThreads;
    Doorbell* m_bell;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;   // workers: a task, or the end
    std::condition_variable m_idle;       // waitIdle: a task ended
    std::deque<Queued> m_queue;
    std::stop_source m_generation;        // what stop() sets, for the tasks given so far
    int m_running = 0;
    int m_idleThreads = 0;
    std::vector<std::jthread> m_threads;
};

} // namespace sondrel
