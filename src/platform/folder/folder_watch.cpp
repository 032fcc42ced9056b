// folder_watch.cpp: the watcher's life and the videos behind its news.
#include "platform/folder/folder_watch.h"

#include <QDebug>
#include <QSet>

#include "platform/folder/fs/path_id.h"
#include "platform/folder/scanned_assets.h"

namespace reelkeep {
namespace {

thread_local bool t_isNotifying = false;

}  // namespace

FolderWatch::FolderWatch(fs::VideoNamePredicate isVideoName, fs::WatchTiming timing,
                         const ScannedAssets& scanned)
    : m_isVideoName(std::move(isVideoName)), m_timing(timing), m_scanned(scanned) {}

void FolderWatch::followNewScan() {
    m_isWatcherStale = true;
    restart();
}

void FolderWatch::restart() {
    std::unique_ptr<fs::ChangeWatcher> old;
    std::unique_ptr<fs::ChangeWatcher> retired;
    {
        std::lock_guard lock(m_listenerMutex);
        if (m_listeners.empty() || (m_watcher && !m_isWatcherStale)) return;
        const std::vector<QByteArray> folders = m_scanned.walkedFolders();
        if (folders.empty()) return;
        m_isWatcherStale = false;
        old = std::move(m_watcher);
        // A watcher stopped from its own thread is joined here, from another one.
        if (!t_isNotifying) retired = std::move(m_retiredWatcher);
        fs::ChangeWatcherCallbacks callbacks;
        callbacks.onChange = [this](const fs::ChangeBatch& batch) { notifyListeners(changeFor(batch)); };
        callbacks.onWatchLimitReached = [this] {
            if (m_isWatchLimitReported.exchange(true)) return;
            qWarning().noquote() << "reelkeep: too many folders to watch; changes made elsewhere "
                                    "will not be noticed until the next scan.";
        };
        auto watcher = std::make_unique<fs::ChangeWatcher>(m_isVideoName, std::move(callbacks), m_timing);
        if (const fs::Result<void> started = watcher->start(folders); !started)
            qWarning().noquote() << "reelkeep:" << started.error().message();
        else
            m_watcher = std::move(watcher);
    }
    old.reset();  // joins its thread outside the lock, which its callbacks take
    retired.reset();
}

// The videos behind the watcher's paths: a video's own, or every listed video
// below a folder that came or went (a folder moved away reports only itself).
LibraryChange FolderWatch::changeFor(const fs::ChangeBatch& batch) const {
    if (batch.isOverflow) return {};
    QSet<QString> identifiers;
    std::vector<QByteArray> folders;
    for (const QByteArray& path : batch.paths) {
        const std::optional<fs::SplitPath> split = fs::splitPath(path);
        if (split && m_isVideoName(split->name))
            identifiers.insert(fs::identifierForPath(path));
        else
            folders.push_back(path);
    }
    identifiers.unite(m_scanned.identifiersUnder(folders));
    QStringList list(identifiers.begin(), identifiers.end());
    list.sort();
    return LibraryChange{std::move(list)};
}

void FolderWatch::notifyListeners(const LibraryChange& change) {
    std::lock_guard notifyLock(m_notifyMutex);
    std::vector<std::shared_ptr<LibraryChangeListener>> live;
    {
        std::lock_guard lock(m_listenerMutex);
        for (const auto& weak : m_listeners)
            if (auto listener = weak.lock()) live.push_back(std::move(listener));
    }
    t_isNotifying = true;
    for (const auto& listener : live) listener->libraryDidChange(change);
    t_isNotifying = false;
}

void FolderWatch::addListener(std::weak_ptr<LibraryChangeListener> listener) {
    {
        std::lock_guard lock(m_listenerMutex);
        m_listeners.push_back(std::move(listener));
    }
    restart();
}

void FolderWatch::removeListener(const LibraryChangeListener* listener) {
    std::unique_ptr<fs::ChangeWatcher> stopped;
    {
        std::lock_guard lock(m_listenerMutex);
        std::erase_if(m_listeners, [listener](const auto& weak) {
            const auto live = weak.lock();
            return !live || live.get() == listener;
        });
        if (m_listeners.empty() && m_watcher) {
            if (t_isNotifying) {
                // Its own thread cannot join itself: ask it to end, destroy it later.
                m_watcher->stop();
                m_retiredWatcher = std::move(m_watcher);
            } else {
                stopped = std::move(m_watcher);
            }
        }
    }
    stopped.reset();
    // A notification already under way finishes before this returns; later ones
    // no longer see the listener.
    if (!t_isNotifying) {
        std::lock_guard notifyLock(m_notifyMutex);
    }
}

void FolderWatch::close() {
    std::unique_ptr<fs::ChangeWatcher> watcher;
    std::unique_ptr<fs::ChangeWatcher> retired;
    {
        std::lock_guard lock(m_listenerMutex);
        watcher = std::move(m_watcher);
        retired = std::move(m_retiredWatcher);
        m_listeners.clear();
    }
    watcher.reset();
    retired.reset();
}

}  // namespace reelkeep
