#include "WorkerPool.h"

#include "Doorbell.h"

#include <pthread.h>
#include <system_error>

namespace sondrel {

WorkerPool::WorkerPool(int threads, QByteArray name, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_maxThreads(std::max(1, threads)), m_bell(new Doorbell(this))
{
    connect(m_bell, &Doorbell::rung, this, &WorkerPool::notified);
}

WorkerPool::~WorkerPool()
{
    // The tasks still queued are dropped: their owner is going too.
    stop();
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
    }
    for (std::jthread& t : m_threads)
        t.request_stop();
    m_wake.notify_all();
    m_threads.clear(); // joins
}

void WorkerPool::setMaxThreads(int threads)
{
    std::lock_guard lock(m_mutex);
    m_maxThreads = std::max(1, threads);
}

bool WorkerPool::submit(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({std::move(task), m_generation.get_token()});
        if (!startThreadIfNeeded() && m_threads.empty()) {
            m_queue.pop_back();
            return false;
        }
    }
    m_wake.notify_one();
    return true;
}

bool WorkerPool::startThreadIfNeeded()
{
    const int wanted = std::min<int>(m_maxThreads, m_running + int(m_queue.size()));
    if (m_idleThreads > 0 || int(m_threads.size()) >= wanted)
        return true;
    try {
        m_threads.emplace_back([this](std::stop_token end) { workerLoop(end); });
    } catch (const std::system_error&) {
        return false; // the threads there are will do the work
    }
    return true;
}

void WorkerPool::workerLoop(std::stop_token poolEnd)
{
    pthread_setname_np(pthread_self(), m_name.left(15).constData());
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idleThreads;
        const bool got = m_wake.wait(lock, poolEnd, [&] { return !m_queue.empty() && m_running < m_maxThreads; });
        --m_idleThreads;
        if (!got)
            return; // the pool ends
        Queued next = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        next.task(next.token);
        next = {}; // what the task held goes before the owner hears of its end
        lock.lock();
        --m_running;
        m_idle.notify_all();
        if (!m_queue.empty())
            m_wake.notify_one();
    }
}

void WorkerPool::stop()
{
    std::lock_guard lock(m_mutex);
    m_generation.request_stop();
    m_generation = std::stop_source();
}

void WorkerPool::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [&] { return m_running == 0 && m_queue.empty(); });
}

int WorkerPool::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_running + int(m_queue.size());
}

void WorkerPool::notify() noexcept
{
    m_bell->ring();
}

} // namespace sondrel
