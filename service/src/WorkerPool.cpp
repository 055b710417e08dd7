#include "WorkerPool.h"

#include "Log.h"

#include <system_error>

namespace hv::service {

WorkerPool::WorkerPool(std::size_t maxThreads) : m_maxThreads(maxThreads) {}

WorkerPool::~WorkerPool() {
    shutdown();
}

void WorkerPool::enqueue(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() > m_idle && m_threads.size() < m_maxThreads) {
            try {
                m_threads.emplace_back([this] { Work(); });
            } catch (const std::system_error& e) {
                // The job waits for a thread that is already there.
                LogLine(std::string("cannot start a worker thread: ") + e.what());
            }
        }
    }
    m_wake.notify_one();
}

void WorkerPool::shutdown() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        threads.swap(m_threads);
    }
    m_wake.notify_all();
    for (auto& thread : threads) {
        thread.join();
    }
}

void WorkerPool::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        --m_idle;
        if (m_jobs.empty()) {
            return;
        }
        auto job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace hv::service
