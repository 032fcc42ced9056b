// folder_requests.h: the folder library's requests still owed their answer.
// Whoever has an answer posts it to the callback thread; the first to run there
// claims the request and is delivered, every later one is dropped. So each
// request answers exactly once, on that thread, whether a worker, a time limit
// or a cancellation gets there first.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <unordered_map>
#include <utility>

#include "library/executor.h"
#include "library/photo_library_port.h"

namespace reelkeep {

class RequestTable;

// What a cancellation needs of a request, whatever it answers with.
class PendingRequest {
public:
    virtual ~PendingRequest() = default;

    void requestStop() { m_stop.request_stop(); }
    std::stop_token stopToken() const { return m_stop.get_token(); }
    bool isStopRequested() const { return m_stop.stop_requested(); }
    // Work not started yet can be skipped: its answer would be dropped.
    bool isAnswered() const { return m_isAnswered; }

protected:
    bool claim() { return !m_isAnswered.exchange(true); }

private:
    std::stop_source m_stop;
    std::atomic<bool> m_isAnswered{false};
};

template <typename Result>
class Pending final : public PendingRequest, public std::enable_shared_from_this<Pending<Result>> {
public:
    Pending(RequestTable& table, SerialExecutor& callbacks, RequestId id, std::function<void(Result)> handler)
        : m_table(table), m_callbacks(callbacks), m_id(id), m_handler(std::move(handler)) {}

    RequestId id() const { return m_id; }

    // From any thread; see the header comment for which answer is delivered.
    void answer(Result result);

    // Answers with `late()` unless another answer is delivered within `limit`.
    void answerAfter(std::chrono::steady_clock::duration limit, std::function<Result()> late) {
        m_timer = m_callbacks.postAfter(
            limit, [self = this->shared_from_this(), late = std::move(late)] { self->answer(late()); });
    }

private:
    RequestTable& m_table;
    SerialExecutor& m_callbacks;
    const RequestId m_id;
    const std::function<void(Result)> m_handler;
    std::atomic<SerialExecutor::TimerId> m_timer{0};
};

// Requests by id, so that a cancellation finds its request. Thread-safe.
class RequestTable {
public:
    // The callback thread must outlive the table's requests' answers.
    explicit RequestTable(SerialExecutor& callbacks) : m_callbacks(callbacks) {}

    template <typename Result>
    std::shared_ptr<Pending<Result>> open(std::function<void(Result)> handler) {
        std::lock_guard lock(m_mutex);
        const RequestId id = m_nextRequest++;
        auto pending = std::make_shared<Pending<Result>>(*this, m_callbacks, id, std::move(handler));
        m_pending.emplace(id, pending);
        return pending;
    }

    // Null when it was answered, or answers with another type than asked for.
    template <typename Result>
    std::shared_ptr<Pending<Result>> find(RequestId id) const {
        return std::dynamic_pointer_cast<Pending<Result>>(find(id));
    }
    std::shared_ptr<PendingRequest> find(RequestId id) const {
        std::lock_guard lock(m_mutex);
        const auto it = m_pending.find(id);
        return it == m_pending.end() ? nullptr : it->second;
    }

    // The work stops where it can; the request still answers.
    void requestStop(RequestId id) const {
        if (const std::shared_ptr<PendingRequest> pending = find(id)) pending->requestStop();
    }

    void forget(RequestId id) {
        std::lock_guard lock(m_mutex);
        m_pending.erase(id);
    }

private:
    SerialExecutor& m_callbacks;
    mutable std::mutex m_mutex;
    std::unordered_map<RequestId, std::shared_ptr<PendingRequest>> m_pending;
    RequestId m_nextRequest = 1;
};

template <typename Result>
void Pending<Result>::answer(Result result) {
    m_callbacks.post([self = this->shared_from_this(), result = std::move(result)]() mutable {
        self->m_table.forget(self->m_id);
        if (!self->claim()) return;
        if (const SerialExecutor::TimerId timer = self->m_timer) self->m_callbacks.cancelTimer(timer);
        self->m_handler(std::move(result));
    });
}

}  // namespace reelkeep
