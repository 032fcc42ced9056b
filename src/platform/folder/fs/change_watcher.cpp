// change_watcher.cpp: the inotify thread and the coalescing rule.
#include "platform/folder/fs/change_watcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace reelkeep::fs {
namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW |
                                     IN_EXCL_UNLINK;
// Past this many paths a batch only says "much changed": a consumer rescans anyway.
constexpr std::size_t kMaxBatchPaths = 4096;
constexpr int kMaxDepth = 200;

QByteArray joinPath(const QByteArray& folder, const char* name) {
    QByteArray path = folder;
    if (!path.endsWith('/')) path.append('/');
    path.append(name);
    return path;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

void ChangeCoalescer::noteEvent(Clock::time_point now) {
    if (!m_firstEvent) m_firstEvent = now;
    m_lastEvent = now;
}

std::optional<ChangeCoalescer::Clock::time_point> ChangeCoalescer::dueTime() const {
    if (!m_firstEvent) return std::nullopt;
    Clock::time_point due = std::min(*m_lastEvent + m_timing.quiet, *m_firstEvent + m_timing.maxDelay);
    if (m_lastNotified) due = std::max(due, *m_lastNotified + m_timing.minInterval);
    return due;
}

bool ChangeCoalescer::takeIfDue(Clock::time_point now) {
    const std::optional<Clock::time_point> due = dueTime();
    if (!due || now < *due) return false;
    m_firstEvent.reset();
    m_lastEvent.reset();
    m_lastNotified = now;
    return true;
}

ChangeWatcher::ChangeWatcher(VideoNamePredicate isVideoName, ChangeWatcherCallbacks callbacks,
                             WatchTiming timing, AddWatchCall addWatch)
    : m_isVideoName(std::move(isVideoName)),
      m_callbacks(std::move(callbacks)),
      m_timing(timing),
      m_addWatch(addWatch ? std::move(addWatch)
                          : AddWatchCall{[](int fd, const char* path, std::uint32_t mask) {
                                return ::inotify_add_watch(fd, path, mask);
                            }}) {}

ChangeWatcher::~ChangeWatcher() {
    stop();
}

Result<void> ChangeWatcher::start(const std::vector<QByteArray>& folders) {
    if (m_isStarted) return IoError::fromErrorNumber(IoOperation::watch, {}, EALREADY);
    m_inotifyFd.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_inotifyFd)
        return IoError::fromErrno(IoOperation::watch, folders.empty() ? QByteArray{} : folders.front());
    m_wakeFd.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!m_wakeFd)
        return IoError::fromErrno(IoOperation::watch, folders.empty() ? QByteArray{} : folders.front());
    for (const QByteArray& folder : folders) {
        if (m_isLimitReached) break;
        addWatch(folder);
    }
    m_isStarted = true;
    m_thread = std::jthread{[this](std::stop_token stop) { run(std::move(stop)); }};
    return {};
}

void ChangeWatcher::stop() {
    if (!m_thread.joinable()) return;
    m_thread.request_stop();
    // From a callback the thread cannot wait for itself; it ends after the callback.
    if (m_thread.get_id() == std::this_thread::get_id()) return;
    m_thread.join();
}

bool ChangeWatcher::addWatch(const QByteArray& folder) {
    const int watch = m_addWatch(m_inotifyFd.get(), folder.constData(), kWatchMask);
    if (watch < 0) {
        // Out of watches: keep what is watched and say so once. Anything else
        // (gone, denied, now a symlink) just leaves that folder unwatched.
        if (errno == ENOSPC) m_isLimitReached = true;
        return false;
    }
    m_folderByWatch[watch] = folder;
    return true;
}

// A new folder may fill before its watch exists, so after watching it we list
// it: what is already inside counts as changed and its subfolders get watched.
void ChangeWatcher::addTree(const QByteArray& folder, int depth, ChangeBatch* batch) {
    if (depth > kMaxDepth || m_isLimitReached || !addWatch(folder)) return;
    std::unique_ptr<DIR, DirCloser> dir{[&]() -> DIR* {
        const int fd =
            ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return nullptr;
        DIR* opened = ::fdopendir(fd);
        if (!opened) ::close(fd);
        return opened;
    }()};
    if (!dir) return;
    std::vector<QByteArray> subfolders;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.') continue;
        if (entry->d_type == DT_DIR)
            subfolders.push_back(joinPath(folder, entry->d_name));
        else if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) &&
                 m_isVideoName(QByteArray{entry->d_name}))
            record(*batch, joinPath(folder, entry->d_name));
    }
    for (const QByteArray& subfolder : subfolders) addTree(subfolder, depth + 1, batch);
}

void ChangeWatcher::record(ChangeBatch& batch, QByteArray path) {
    m_isEventSeen = true;
    if (batch.isOverflow || m_pendingPaths.contains(path)) return;
    if (batch.paths.size() >= kMaxBatchPaths) {
        markOverflow(batch);
        return;
    }
    m_pendingPaths.insert(path);
    batch.paths.push_back(std::move(path));
}

void ChangeWatcher::markOverflow(ChangeBatch& batch) {
    m_isEventSeen = true;
    batch.isOverflow = true;
    batch.paths.clear();
    m_pendingPaths.clear();
}

// One read per wake-up, not until drained: under a flood of events the loop
// must still reach the coalescer's deadline and the stop token.
void ChangeWatcher::readEvents(ChangeBatch& batch, ChangeCoalescer& coalescer) {
    alignas(inotify_event) char buffer[64 * 1024];
    const ssize_t length = ::read(m_inotifyFd.get(), buffer, sizeof buffer);
    if (length <= 0) return;  // EAGAIN or EINTR: poll again
    m_isEventSeen = false;
    for (ssize_t offset = 0; offset < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if ((event->mask & IN_Q_OVERFLOW) != 0) {
            markOverflow(batch);
            continue;
        }
        const auto folder = m_folderByWatch.find(event->wd);
        if (folder == m_folderByWatch.end()) continue;
        if ((event->mask & IN_IGNORED) != 0) {
            m_folderByWatch.erase(folder);
            continue;
        }
        if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
            record(batch, folder->second);
            continue;
        }
        if (event->len == 0 || event->name[0] == '.') continue;
        const bool isFolder = (event->mask & IN_ISDIR) != 0;
        // A folder counts whatever its name: deleting one may delete many videos.
        if (!isFolder && !m_isVideoName(QByteArray{event->name})) continue;
        const QByteArray path = joinPath(folder->second, event->name);
        if (isFolder && (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0) addTree(path, 0, &batch);
        record(batch, path);
    }
    // Repeats of a pending path count too: a file still being written keeps the quiet time going.
    if (m_isEventSeen) coalescer.noteEvent(ChangeCoalescer::Clock::now());
}

void ChangeWatcher::run(std::stop_token stop) {
    const int wakeFd = m_wakeFd.get();
    const std::stop_callback wake{stop, [wakeFd] {
                                      const std::uint64_t one = 1;
                                      [[maybe_unused]] const ssize_t ignored =
                                          ::write(wakeFd, &one, sizeof one);
                                  }};
    bool isLimitReported = false;
    ChangeCoalescer coalescer{m_timing};
    ChangeBatch batch;
    while (!stop.stop_requested()) {
        if (m_isLimitReached && !isLimitReported) {
            isLimitReported = true;
            if (m_callbacks.onWatchLimitReached) m_callbacks.onWatchLimitReached();
            continue;
        }
        int timeoutMs = -1;
        if (const auto due = coalescer.dueTime()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*due - ChangeCoalescer::Clock::now());
            timeoutMs = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
        }
        pollfd fds[2] = {{m_inotifyFd.get(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) break;
        if (stop.stop_requested()) break;
        if ((fds[0].revents & POLLIN) != 0) readEvents(batch, coalescer);
        if (coalescer.takeIfDue(ChangeCoalescer::Clock::now())) {
            ChangeBatch ready = std::exchange(batch, {});
            m_pendingPaths.clear();
            if (m_callbacks.onChange && !stop.stop_requested()) m_callbacks.onChange(ready);
        }
    }
}

}  // namespace reelkeep::fs
