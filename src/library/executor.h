// executor.h: where coroutine steps run. A serial executor is one thread that runs
// jobs in arrival order (and delayed jobs by deadline); a pool runs jobs on a
// bounded set of threads. Destroying either joins its threads; jobs still queued
// then are dropped, so owners drain their work first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <coroutine>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace reelkeep {

class Executor {
public:
    using Job = std::function<void()>;
    virtual ~Executor() = default;
    virtual void post(Job job) = 0;

    // co_await executor.schedule(): continue on this executor, always through its queue.
    auto schedule() {
        struct Hop {
            Executor* executor;
            bool await_ready() const noexcept { return false; }
            void await_suspend(std::coroutine_handle<> handle) {
                executor->post([handle] { handle.resume(); });
            }
            void await_resume() const noexcept {}
        };
        return Hop{this};
    }
};

class SerialExecutor final : public Executor {
public:
    using TimerId = std::uint64_t;

    SerialExecutor();
    ~SerialExecutor() override;
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    void post(Job job) override;
    TimerId postAfter(std::chrono::steady_clock::duration delay, Job job);
    void cancelTimer(TimerId id);
    bool isCurrentThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void run(std::stop_token stop);

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Job> m_jobs;
    std::multimap<std::chrono::steady_clock::time_point, std::pair<TimerId, Job>> m_timers;
    TimerId m_nextTimer = 1;
    std::jthread m_thread;  // last: starts after the queue exists, joins before it goes
};

// Plain threads rather than QThreadPool: its locks are invisible to the thread
// sanitizer, which would then miss real races in the jobs.
class PoolExecutor final : public Executor {
public:
    explicit PoolExecutor(int threadCount);
    ~PoolExecutor() override;
    PoolExecutor(const PoolExecutor&) = delete;
    PoolExecutor& operator=(const PoolExecutor&) = delete;
    void post(Job job) override;

private:
    void run(std::stop_token stop);

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Job> m_jobs;
    std::vector<std::jthread> m_threads;  // last: joined before the queue goes
};

class ThreadPoster;

// Runs jobs, and resumes a coroutine, on the thread that created this object,
// through that thread's Qt event loop. A thread without one runs them inline.
class ResumeOnCaller {
public:
    ResumeOnCaller();
    void post(Executor::Job job) const;

    bool await_ready() const noexcept { return m_poster == nullptr; }
    void await_suspend(std::coroutine_handle<> handle) const {
        post([handle] { handle.resume(); });
    }
    void await_resume() const noexcept {}

private:
    ThreadPoster* m_poster;  // lives as long as its thread
};

}  // namespace reelkeep
