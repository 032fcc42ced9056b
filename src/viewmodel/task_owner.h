// task_owner.h: the one owner of an object's running coroutines and their stop
// sources. start() replaces what runs, add() runs beside it, and the owner's
// death asks every one to stop: no coroutine is launched without an owner.
//
// Cancel, then wait: a stop reaches the service at once (its port requests are
// cancelled there), and a coroutine continues only through its object's thread's
// event loop, never inside this destructor; it holds its object weakly and ends
// at its next step, so none touches the object once the owner is gone.
#pragma once

#include <QObject>
#include <QtGlobal>
#include <algorithm>
#include <functional>
#include <stop_token>
#include <utility>
#include <vector>

#include <QCoro/QCoroTask>

namespace reelkeep {

class TaskOwner {
public:
    // The coroutines' object: they continue on its thread and end with it.
    explicit TaskOwner(QObject* context) : m_context(context) {}
    ~TaskOwner() { stop(); }
    TaskOwner(const TaskOwner&) = delete;
    TaskOwner& operator=(const TaskOwner&) = delete;

    // Runs make(token), a coroutine; what ran before is asked to stop and let go.
    template <class Make>
    void start(Make&& make) {
        stop();
        add(std::forward<Make>(make));
    }

    // Runs make(token) beside the coroutines already running; the id stops it alone.
    template <class Make>
    quint64 add(Make&& make) {
        const quint64 id = ++m_lastId;
        m_running.push_back({id, std::stop_source{}});
        const std::stop_token token = m_running.back().source.get_token();
        // Eager: the coroutine may already have ended, or replaced itself, when this returns.
        QCoro::connect(std::invoke(std::forward<Make>(make), token), m_context, [this, id] { forget(id); });
        return id;
    }

    // Asks the coroutine add() returned this id for to stop, and lets it go.
    void stop(quint64 id) {
        for (Running& running : m_running)
            if (running.id == id) running.source.request_stop();
        forget(id);
    }

    // Asks every coroutine to stop; each stays owned until it ends.
    void requestStop() {
        for (Running& running : m_running) running.source.request_stop();
    }

    // Asks every coroutine to stop and lets them go: their results are no longer wanted.
    void stop() {
        requestStop();
        m_running.clear();
    }

    bool isRunning() const { return !m_running.empty(); }

    // Whether the coroutine holding this token is still owned, not replaced or let go.
    bool owns(const std::stop_token& token) const {
        return std::any_of(m_running.begin(), m_running.end(),
                           [&](const Running& running) { return running.source.get_token() == token; });
    }

private:
    struct Running {
        quint64 id;
        std::stop_source source;
    };

    void forget(quint64 id) {
        std::erase_if(m_running, [id](const Running& running) { return running.id == id; });
    }

    QObject* m_context;
    std::vector<Running> m_running;
    quint64 m_lastId = 0;
};

}  // namespace reelkeep
