// folder_watch.h: change notification for the folders the last fetch walked.
// The watcher runs only while anyone listens, and follows each new scan.
// Listeners are called on the watcher's thread with m_notifyMutex held, so once
// removeListener returns a listener is never called again; a listener may
// remove itself (or the last one) from within its call. Thread-safe.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "library/photo_library_port.h"
#include "platform/folder/fs/change_watcher.h"
#include "platform/folder/fs/walk.h"

namespace reelkeep {

class ScannedAssets;

class FolderWatch {
public:
    FolderWatch(fs::VideoNamePredicate isVideoName, fs::WatchTiming timing, const ScannedAssets& scanned);

    void addListener(std::weak_ptr<LibraryChangeListener> listener);
    void removeListener(const LibraryChangeListener* listener);
    // A fetch walked other folders: the watcher follows them.
    void followNewScan();
    // Stops the watcher and forgets every listener; nothing is called after.
    void close();

private:
    void restart();
    void notifyListeners(const LibraryChange& change);
    LibraryChange changeFor(const fs::ChangeBatch& batch) const;

    const fs::VideoNamePredicate m_isVideoName;
    const fs::WatchTiming m_timing;
    const ScannedAssets& m_scanned;

    mutable std::mutex m_listenerMutex;
    std::mutex m_notifyMutex;
    std::vector<std::weak_ptr<LibraryChangeListener>> m_listeners;  // guarded by m_listenerMutex
    std::unique_ptr<fs::ChangeWatcher> m_watcher;                   // guarded by m_listenerMutex
    std::unique_ptr<fs::ChangeWatcher> m_retiredWatcher;  // stopped from its own thread; guarded likewise
    std::atomic<bool> m_isWatcherStale{false};
    std::atomic<bool> m_isWatchLimitReported{false};  // said once per session, not per scan
};

}  // namespace reelkeep
