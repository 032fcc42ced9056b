// executor.cpp: the service thread, the background pool and the hop back to the
// caller. Jobs run outside the lock so that a job may post more jobs.
#include "library/executor.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

namespace reelkeep {

SerialExecutor::SerialExecutor(Start start) {
    if (start == Start::now) {
        std::lock_guard lock(m_mutex);
        startLocked();
    }
}

SerialExecutor::~SerialExecutor() {
    {
        // A job still running may post: that job is dropped, and starts no thread.
        std::lock_guard lock(m_mutex);
        m_isClosing = true;
    }
    if (!m_thread.joinable()) return;
    m_thread.request_stop();
    m_wake.notify_all();
    m_thread.join();
}

void SerialExecutor::startLocked() {
    if (!m_isClosing && !m_thread.joinable())
        m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void SerialExecutor::post(Job job) {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    startLocked();
    m_wake.notify_one();  // under the lock: the executor may be destroyed right after
}

SerialExecutor::TimerId SerialExecutor::postAfter(std::chrono::steady_clock::duration delay, Job job) {
    std::lock_guard lock(m_mutex);
    const TimerId id = m_nextTimer++;
    m_timers.emplace(std::chrono::steady_clock::now() + delay, std::pair{id, std::move(job)});
    startLocked();
    m_wake.notify_one();
    return id;
}

void SerialExecutor::cancelTimer(TimerId id) {
    Job dropped;  // destroyed outside the lock: it may own anything
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (it->second.first == id) {
                dropped = std::move(it->second.second);
                m_timers.erase(it);
                break;
            }
        }
    }
}

void SerialExecutor::run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        const auto now = std::chrono::steady_clock::now();
        Job job;
        if (!m_timers.empty() && m_timers.begin()->first <= now) {
            job = std::move(m_timers.begin()->second.second);
            m_timers.erase(m_timers.begin());
        } else if (!m_jobs.empty()) {
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        } else if (!m_timers.empty()) {
            // Wake for a new job or an earlier timer, not only for this deadline.
            const auto next = m_timers.begin()->first;
            m_wake.wait_until(lock, stop, next, [this, next] {
                return !m_jobs.empty() || m_timers.empty() || m_timers.begin()->first < next;
            });
            continue;
        } else {
            m_wake.wait(lock, stop, [this] { return !m_jobs.empty() || !m_timers.empty(); });
            continue;
        }
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
    // Dropped unrun; destroy them outside the lock.
    auto jobs = std::move(m_jobs);
    auto timers = std::move(m_timers);
    lock.unlock();
}

PoolExecutor::PoolExecutor(int threadCount) : m_maxThreads(std::size_t(std::max(threadCount, 1))) {}

PoolExecutor::~PoolExecutor() {
    {
        std::lock_guard lock(m_mutex);
        m_isClosing = true;
    }
    for (auto& thread : m_threads) thread.request_stop();
    m_wake.notify_all();
    m_threads.clear();  // joins
}

void PoolExecutor::post(Job job) {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    // A thread more only while jobs wait that no idle thread will take. Closing
    // is checked first: the destructor then joins the threads without the lock.
    if (!m_isClosing && m_jobs.size() > m_idleThreads && m_threads.size() < m_maxThreads)
        m_threads.emplace_back([this](std::stop_token stop) { run(stop); });
    m_wake.notify_one();
}

void PoolExecutor::run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idleThreads;
        const bool hasJob = m_wake.wait(lock, stop, [this] { return !m_jobs.empty(); });
        --m_idleThreads;
        if (!hasJob) return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
}

// One receiver per event-loop thread. The job travels inside the event with an
// atomic flag: Qt's own locks are invisible to the thread sanitizer, the flag is
// not, so the hand-over is visible as the synchronisation it really is.
class ThreadPoster final : public QObject {
public:
    static ThreadPoster* forCurrentThread() {
        thread_local std::unique_ptr<ThreadPoster> poster;
        if (!poster && QAbstractEventDispatcher::instance(QThread::currentThread()))
            poster = std::make_unique<ThreadPoster>();
        return poster.get();
    }

    void post(Executor::Job job) {
        auto* event = new JobEvent(std::move(job));
        event->isReady.store(true, std::memory_order_release);
        // Qt guards its event queue with a lock the thread sanitizer cannot see, so
        // two posting threads look like a race on the queue; this lock it can see.
        static std::mutex posting;
        std::lock_guard lock(posting);
        QCoreApplication::postEvent(this, event);
    }

protected:
    // Only JobEvents are posted here, and the flag is read before anything else
    // of the event (even its type), so every field is seen after the hand-over.
    void customEvent(QEvent* event) override {
        auto* jobEvent = static_cast<JobEvent*>(event);
        if (!jobEvent->isReady.load(std::memory_order_acquire)) return;
        Executor::Job job = std::move(jobEvent->job);
        job();
    }

private:
    struct JobEvent final : QEvent {
        explicit JobEvent(Executor::Job job) : QEvent(type()), job(std::move(job)) {}
        static QEvent::Type type() {
            static const auto registered = QEvent::Type(QEvent::registerEventType());
            return registered;
        }
        Executor::Job job;
        std::atomic<bool> isReady{false};
    };
};

ResumeOnCaller::ResumeOnCaller() : m_poster(ThreadPoster::forCurrentThread()) {}

void ResumeOnCaller::post(Executor::Job job) const {
    if (m_poster)
        m_poster->post(std::move(job));
    else
        job();
}

}  // namespace reelkeep
