// await_task.h: runs the caller's event loop until a task finishes or a time
// limit passes. Tests never wait without a limit.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QCoro/QCoroTask>

namespace reelkeep::testing {

inline constexpr std::chrono::milliseconds kAwaitLimit{5000};

template <class T>
QCoro::Task<> storeResult(QCoro::Task<T> task, std::shared_ptr<std::optional<T>> out) {
    out->emplace(co_await task);
}

// Pumps events until the predicate holds or the limit passes; returns the predicate.
inline bool pumpUntil(const std::function<bool()>& isDone, std::chrono::milliseconds limit = kAwaitLimit) {
    QTimer tick;  // wakes the loop so the deadline is checked
    tick.start(10);
    const QDeadlineTimer deadline(limit);
    while (!isDone() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return isDone();
}

// The task's value, or nothing when it did not finish within the limit.
template <class T>
std::optional<T> awaitFor(QCoro::Task<T> task, std::chrono::milliseconds limit = kAwaitLimit) {
    auto out = std::make_shared<std::optional<T>>();
    storeResult(std::move(task), out);
    pumpUntil([&] { return out->has_value(); }, limit);
    return *out;
}

// Starts a task now and lets the test collect it later.
template <class T>
class Pending {
public:
    explicit Pending(QCoro::Task<T> task) : m_out(std::make_shared<std::optional<T>>()) {
        storeResult(std::move(task), m_out);
    }
    bool isDone() const { return m_out->has_value(); }
    std::optional<T> wait(std::chrono::milliseconds limit = kAwaitLimit) {
        pumpUntil([this] { return isDone(); }, limit);
        return *m_out;
    }

private:
    std::shared_ptr<std::optional<T>> m_out;
};

}  // namespace reelkeep::testing
