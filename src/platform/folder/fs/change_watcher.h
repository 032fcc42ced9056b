// change_watcher.h: noticing changes to the library's videos made elsewhere.
// Raw inotify on every walked folder, on a thread of its own. Events for hidden
// names and non-videos never count, so an editor's or sync client's temporary
// files raise nothing. Bursts are coalesced; after stop() returns no callback runs.
#pragma once

#include <QByteArray>
#include <QSet>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/folder/fs/io_error.h"
#include "platform/folder/fs/unique_fd.h"
#include "platform/folder/fs/walk.h"

namespace reelkeep::fs {

struct WatchTiming {
    // Quiet time after the last event: one copy of many files is one notification.
    std::chrono::milliseconds quiet{250};
    // Never later than this after the first event, so our own actions' echoes
    // land inside the listener's 2 s suppression window.
    std::chrono::milliseconds maxDelay{1000};
    // At most one notification per interval, however busy the folders are.
    std::chrono::milliseconds minInterval{2000};
};

// The coalescing rule alone, free of threads and clocks so it can be tested.
class ChangeCoalescer {
public:
    using Clock = std::chrono::steady_clock;
    explicit ChangeCoalescer(WatchTiming timing) : m_timing(timing) {}

    void noteEvent(Clock::time_point now);
    // When the pending notification is due; nullopt when nothing is pending.
    std::optional<Clock::time_point> dueTime() const;
    // True (and nothing pending afterwards) when a notification is due at `now`.
    bool takeIfDue(Clock::time_point now);

private:
    WatchTiming m_timing;
    std::optional<Clock::time_point> m_firstEvent;
    std::optional<Clock::time_point> m_lastEvent;
    std::optional<Clock::time_point> m_lastNotified;
};

struct ChangeBatch {
    std::vector<QByteArray> paths;  // changed videos and folders, each once, up to a cap
    bool isOverflow = false;        // events were lost or too many: treat everything as changed
};

struct ChangeWatcherCallbacks {
    std::function<void(const ChangeBatch&)> onChange;
    // Called at most once: the watch limit was hit, some folders go unwatched.
    std::function<void()> onWatchLimitReached;
};

// inotify_add_watch by default; replaceable so a test can run out of watches.
using AddWatchCall = std::function<int(int inotifyFd, const char* path, std::uint32_t mask)>;

// Callbacks run on the watcher's own thread, one at a time; they must not
// destroy the watcher (stop() from a callback only asks the thread to end).
class ChangeWatcher {
public:
    ChangeWatcher(VideoNamePredicate isVideoName, ChangeWatcherCallbacks callbacks, WatchTiming timing = {},
                  AddWatchCall addWatch = {});
    ChangeWatcher(const ChangeWatcher&) = delete;
    ChangeWatcher& operator=(const ChangeWatcher&) = delete;
    ~ChangeWatcher();

    // Watches `folders` (the walk's walkedFolders) and starts the thread. Once only.
    // A folder that cannot be watched (gone, denied) is skipped; running out of
    // watches is reported through onWatchLimitReached, not as an error.
    Result<void> start(const std::vector<QByteArray>& folders);
    // Ends the thread and waits for it; afterwards no callback runs. Idempotent.
    void stop();

    bool isWatchLimitReached() const { return m_isLimitReached.load(); }

private:
    void run(std::stop_token stop);
    void addTree(const QByteArray& folder, int depth, ChangeBatch* batch);
    bool addWatch(const QByteArray& folder);
    void readEvents(ChangeBatch& batch, ChangeCoalescer& coalescer);
    void record(ChangeBatch& batch, QByteArray path);
    void markOverflow(ChangeBatch& batch);

    VideoNamePredicate m_isVideoName;
    ChangeWatcherCallbacks m_callbacks;
    WatchTiming m_timing;
    AddWatchCall m_addWatch;
    UniqueFd m_inotifyFd;
    UniqueFd m_wakeFd;
    // Written by start() before the thread exists, then by the thread alone.
    std::unordered_map<int, QByteArray> m_folderByWatch;
    QSet<QByteArray> m_pendingPaths;  // the batch's paths, for dedup
    bool m_isEventSeen = false;       // in the current read: something relevant happened
    std::atomic<bool> m_isLimitReached{false};
    bool m_isStarted = false;
    std::jthread m_thread;  // last: joined before the members it uses go
};

}  // namespace reelkeep::fs
