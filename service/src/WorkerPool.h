#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace hv::service {

// The threads that serve connections, one connection each for as long as it
// stays open. A fixed pool lets a few dozen long polls or peers that send a
// byte at a time make everyone else queue; this one adds a thread whenever no
// thread is free, up to a bound, and keeps it for the connections to come.
class WorkerPool final : public httplib::TaskQueue {
  public:
    explicit WorkerPool(std::size_t maxThreads);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> job) override;
    void shutdown() override;

  private:
    void Work();

    const std::size_t m_maxThreads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_stopping = false;
};

}  // namespace hv::service
