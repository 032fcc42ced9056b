// executor.h: where coroutine steps run. A serial executor is one thread that runs
// jobs in arrival order (and delayed jobs by deadline); a pool runs jobs on a
// bounded set of threads. Destroying either joins its threads; jobs still queued
// then are dropped, so owners drain their work first.
// Threads start with the first job that needs them, not with the executor: a
// library opens a dozen executors, and a run that never uses one (an empty or
// unchanged library) should not pay for its threads. A thread inherits the
// priority of the thread that posts that job, so an executor that threads of
// lowered priority post to first is started at once (Start::now).
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
    enum class Start { onFirstJob, now };

    explicit SerialExecutor(Start start = Start::onFirstJob);
    ~SerialExecutor() override;
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    void post(Job job) override;
    TimerId postAfter(std::chrono::steady_clock::duration delay, Job job);
    void cancelTimer(TimerId id);

private:
    void run(std::stop_token stop);
    void startLocked();

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Job> m_jobs;
    std::multimap<std::chrono::steady_clock::time_point, std::pair<TimerId, Job>> m_timers;
    TimerId m_nextTimer = 1;
    bool m_isClosing = false;  // no thread starts once the destructor runs
    std::jthread m_thread;     // last: joins before the queue goes
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
    const std::size_t m_maxThreads;
    std::size_t m_idleThreads = 0;
    bool m_isClosing = false;             // no thread starts once the destructor runs
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
