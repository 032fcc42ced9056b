// run_task.h: runs the main thread's event loop until a coroutine is done, so a
// benchmark can time a service or view-model call from plain code.
#pragma once

#include <qcoro/qcorotask.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

namespace reelkeep::bench {

template <class T>
QCoro::Task<> storeResult(QCoro::Task<T> task, std::shared_ptr<std::optional<T>> out) {
    out->emplace(co_await task);
}

// Nothing when the task did not finish within `limit`.
template <class T>
std::optional<T> runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    auto out = std::make_shared<std::optional<T>>();
    storeResult(std::move(task), out);
    // A tick, so that the wait returns to check even when no event arrives.
    QTimer tick;
    tick.start(5);
    const QDeadlineTimer deadline(limit.count());
    while (!out->has_value() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *out;
}

}  // namespace reelkeep::bench
