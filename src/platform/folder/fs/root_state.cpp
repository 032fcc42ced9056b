// root_state.cpp: mount tables and the classification of one root.
#include "platform/folder/fs/root_state.h"

#include <fcntl.h>
#include <mntent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QList>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

std::set<QByteArray> mountPointsIn(const char* table) {
    std::set<QByteArray> points;
    FILE* file = ::setmntent(table, "re");
    if (!file) return points;
    while (const mntent* entry = ::getmntent(file))
        if (entry->mnt_dir && entry->mnt_dir[0] == '/') points.insert(cleanPath(entry->mnt_dir));
    ::endmntent(file);
    return points;
}

// The folder a removable drive is mounted on: /media/NAME, /media/USER/NAME,
// /run/media/USER/NAME or /mnt/NAME (the deepest of those the path lies in).
QByteArray removableMountPoint(const QByteArray& path) {
    const QList<QByteArray> parts = path.split('/');  // "", "media", …
    const auto join = [&](int count) {
        QByteArray joined;
        for (int i = 1; i <= count && i < parts.size(); ++i) joined += '/' + parts[i];
        return joined;
    };
    if (parts.size() > 2 && parts[1] == "mnt") return join(2);
    if (parts.size() > 2 && parts[1] == "media") return join(parts.size() > 3 ? 3 : 2);
    if (parts.size() > 4 && parts[1] == "run" && parts[2] == "media") return join(4);
    return {};
}

// Detached threads for probes, each kept a moment after its last one: the
// checks of one scan (a few a root) then share a thread rather than start one
// each. A thread stuck on a dead mount stays busy, and the next probe starts another.
class ProbeThreads : public std::enable_shared_from_this<ProbeThreads> {
public:
    // Throws std::system_error, the job not taken, when no thread can start.
    void run(std::function<void()> job) {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() <= m_idleCount) {
            m_wake.notify_one();
            return;
        }
        try {
            std::thread([self = shared_from_this()] { self->serve(); }).detach();
        } catch (const std::system_error&) {
            m_jobs.pop_back();
            throw;
        }
    }

private:
    static constexpr std::chrono::seconds kLinger{2};

    void serve() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idleCount;
            const bool hasJob = m_wake.wait_for(lock, kLinger, [this] { return !m_jobs.empty(); });
            --m_idleCount;
            if (!hasJob) return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            job = nullptr;  // its captures go before the thread waits again
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idleCount = 0;
};

// What a network file system says when its server is gone (a soft NFS mount
// gives up, a dead sshfs connection), and what a probe that never came back gets.
bool isNotAnswering(int error) {
    return error == ETIMEDOUT || error == ENOTCONN || error == EHOSTDOWN;
}

}  // namespace

RootProbe systemRootProbe() {
    return [](const QByteArray& path, bool* isFolder) {
        struct stat status {};
        if (::stat(path.constData(), &status) != 0) return errno;
        *isFolder = S_ISDIR(status.st_mode);
        return ::access(path.constData(), R_OK | X_OK) == 0 ? 0 : errno;
    };
}

MountInputs systemMountInputs() {
    MountInputs inputs;
    inputs.mountedPoints = mountPointsIn("/proc/self/mounts");
    inputs.fstabPoints = mountPointsIn("/etc/fstab");
    inputs.probe = systemRootProbe();
    return inputs;
}

RootProbe probeWithAnswerLimit(RootProbe probe, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    struct Flight {
        Clock::time_point deadline;
        std::mutex mutex;
        std::condition_variable done;
        bool isDone = false;  // guarded by mutex, as are the answer's fields
        int error = 0;
        bool isFolder = false;
    };
    struct Flights {
        std::mutex mutex;
        std::map<QByteArray, std::shared_ptr<Flight>> byPath;
    };
    auto flights = std::make_shared<Flights>();
    auto threads = std::make_shared<ProbeThreads>();
    return [probe = std::move(probe), limit, flights, threads](const QByteArray& path, bool* isFolder) {
        if (!probe) return ENOENT;
        std::shared_ptr<Flight> flight;
        bool isNew = false;
        {
            std::lock_guard lock(flights->mutex);
            std::shared_ptr<Flight>& slot = flights->byPath[path];
            if (!slot) {
                slot = std::make_shared<Flight>();
                slot->deadline = Clock::now() + limit;
                isNew = true;
            }
            flight = slot;
        }
        if (isNew) {
            const auto run = [probe, path, flight, flights] {
                bool folder = false;
                const int error = probe(path, &folder);
                {
                    std::lock_guard lock(flight->mutex);
                    flight->isDone = true;
                    flight->error = error;
                    flight->isFolder = folder;
                }
                flight->done.notify_all();
                std::lock_guard lock(flights->mutex);
                flights->byPath.erase(path);
            };
            try {
                threads->run(run);  // see the header: it may never come back
            } catch (const std::system_error&) {
                run();  // no thread to spare: ask here, unguarded
            }
        }
        // A check already waiting for this path shares its deadline: a dead mount
        // answers at once the second time, a slow one is not asked twice.
        std::unique_lock lock(flight->mutex);
        if (!flight->done.wait_until(lock, flight->deadline, [&] { return flight->isDone; }))
            return ETIMEDOUT;
        *isFolder = flight->isFolder;
        return flight->error;
    };
}

RootState rootState(const QByteArray& absolutePath, const MountInputs& inputs) {
    const QByteArray path = cleanPath(absolutePath);
    bool isFolder = false;
    const int error = inputs.probe ? inputs.probe(path, &isFolder) : ENOENT;
    if (isNotAnswering(error)) return RootState::notAnswering;
    const bool isMissing = error == ENOENT || error == ENOTDIR;
    // The deepest mount point the path needs: one fstab names, or, for a path
    // that is not there, the folder a removable drive would be mounted on (a
    // plain folder under /mnt that exists is just a folder).
    QByteArray expected;
    for (const QByteArray& point : inputs.fstabPoints)
        if (point != "/" && isSameOrInside(path, point) && point.size() > expected.size()) expected = point;
    const QByteArray removable = isMissing ? removableMountPoint(path) : QByteArray{};
    if (removable.size() > expected.size()) expected = removable;
    if (!expected.isEmpty() && !inputs.mountedPoints.contains(expected)) {
        // A drive mounted higher up may hold it: then what is there is the truth.
        const bool isCovered = std::any_of(
            inputs.mountedPoints.begin(), inputs.mountedPoints.end(),
            [&](const QByteArray& point) { return point != "/" && isSameOrInside(expected, point); });
        if (!isCovered) return RootState::notMounted;
    }
    if (isMissing) return RootState::missing;
    if (error != 0 || !isFolder) return RootState::unreadable;
    return RootState::available;
}

}  // namespace reelkeep::fs
