// completion.h: the bridge from a platform callback to a suspended coroutine.
// The callback, a stop request and a deadline race to resume; the ResumeGuard
// lets the first one win, and the coroutine always continues on its executor,
// never on the platform's thread.
#pragma once

#include <coroutine>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "library/executor.h"
#include "library/resume_guard.h"

namespace reelkeep {

template <class T>
class Completion : public std::enable_shared_from_this<Completion<T>> {
public:
    // The executor must outlive the waiting operation; a resume that wins the
    // claim only happens while the operation waits, so owners that drain their
    // operations before dying keep it.
    static std::shared_ptr<Completion> create(Executor* resumeOn) {
        return std::shared_ptr<Completion>(new Completion(resumeOn));
    }

    // First caller wins; returns whether this call resumed the operation.
    bool resume(T value) {
        if (!m_guard.claim()) return false;
        std::coroutine_handle<> waiter;
        {
            std::lock_guard lock(m_mutex);
            m_value.emplace(std::move(value));
            waiter = m_waiter;
        }
        if (waiter) m_executor->post([waiter] { waiter.resume(); });
        return true;
    }

    bool isResolved() const { return m_guard.isClaimed(); }

    // co_await completion->wait(stop, valueOnStop)
    auto wait(std::stop_token stop, T valueOnStop) {
        return Awaiter{this->shared_from_this(), stop, std::move(valueOnStop)};
    }

private:
    explicit Completion(Executor* resumeOn) : m_executor(resumeOn) {}

    struct StopResume {
        std::shared_ptr<Completion> completion;
        T value;
        void operator()() { completion->resume(std::move(value)); }
    };

    class Awaiter {
    public:
        Awaiter(std::shared_ptr<Completion> completion, std::stop_token stop, T valueOnStop)
            : m_completion(std::move(completion)),
              m_stop(std::move(stop)),
              m_valueOnStop(std::move(valueOnStop)) {}
        // Moved only before suspension, while no stop callback is registered.
        Awaiter(Awaiter&& other) noexcept
            : m_completion(std::move(other.m_completion)),
              m_stop(std::move(other.m_stop)),
              m_valueOnStop(std::move(other.m_valueOnStop)) {}

        bool await_ready() const { return m_completion->m_guard.isClaimed() && m_completion->hasValue(); }
        bool await_suspend(std::coroutine_handle<> handle) {
            // Registered before the waiter: a stop that is already requested resolves
            // inline and the coroutine simply does not suspend.
            m_onStop.emplace(m_stop, StopResume{m_completion, std::move(m_valueOnStop)});
            std::lock_guard lock(m_completion->m_mutex);
            if (m_completion->m_value) return false;
            m_completion->m_waiter = handle;
            return true;
        }
        T await_resume() {
            m_onStop.reset();
            std::lock_guard lock(m_completion->m_mutex);
            return std::move(*m_completion->m_value);
        }

    private:
        std::shared_ptr<Completion> m_completion;
        std::stop_token m_stop;
        T m_valueOnStop;
        std::optional<std::stop_callback<StopResume>> m_onStop;
    };

    bool hasValue() {
        std::lock_guard lock(m_mutex);
        return m_value.has_value();
    }

    ResumeGuard m_guard;
    std::mutex m_mutex;
    std::optional<T> m_value;
    std::coroutine_handle<> m_waiter;
    Executor* m_executor;
};

}  // namespace reelkeep
