// folder_library.h: the photo library port over folders of real video files.
// Every action first checks that the file is still the one the scan saw
// (device, inode, size, mtime); anything else counts as gone, so a replaced or
// renamed file is never trashed, exported or shown in its place. Thread-safe;
// every asynchronous call answers exactly once on the library's callback thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "library/executor.h"
#include "library/photo_library_port.h"
#include "model/video_date.h"
#include "platform/folder/folder_choice.h"
#include "platform/folder/fs/change_watcher.h"
#include "platform/folder/fs/root_state.h"
#include "platform/folder/fs/trash.h"
#include "platform/folder/fs/unique_fd.h"
#include "platform/folder/fs/walk.h"
#include "platform/folder/media/fd_input.h"
#include "platform/folder/media/thumbnail_workers.h"

namespace reelkeep {

class FolderAsset;
class MetadataSink;
struct MetadataReaders;
class FavoritesAccess;

// The window's folder picker: the one "prompt" of this library. Called on the
// thread that asks for access (the main thread); nothing means the user declined.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    virtual std::optional<std::vector<QByteArray>> chooseFolders() = 0;
};

struct FolderLibraryOptions {
    // --library / REELKEEP_LIBRARY, absolute byte paths; empty: the saved choice, then the defaults.
    std::vector<QByteArray> explicitRoots;
    QString explicitRootsSource;  // what gave explicitRoots, as the user would type it ("--library")
    // A generated sample library that stands in for the standard folders until the
    // user chooses some; empty: none.
    QByteArray sampleRoot;
    // Where the folders the user chose are kept; empty: $XDG_CONFIG_HOME/reelkeep/library-folders.
    QString choicePath;
    // What default-root resolution looks at; empty: this session's (fs::systemRootInputs).
    std::optional<fs::RootInputs> defaultRootInputs;
    // What root states look at; empty: this system's mount tables (fs::systemMountInputs).
    std::optional<fs::MountInputs> mountInputs;
    // How long a check of a library folder waits before calling it not answering.
    std::chrono::milliseconds rootAnswerLimit = fs::kRootAnswerLimit;
    // Null: a request for access answers "denied" without asking (the command line).
    std::shared_ptr<FolderChooser> chooser;
    QString favoritesPath;                  // empty: store::FavoritesStore::defaultPath()
    QString indexPath;                      // empty: store::MetadataIndex::defaultPath()
    QString thumbnailCacheRoot;             // empty: media::ThumbnailDiskCache::defaultRoot()
    std::optional<fs::TrashOptions> trash;  // empty: fs::systemTrashOptions()
    fs::VideoNamePredicate isVideoName;     // empty: fs::defaultVideoNamePredicate()
    fs::WatchTiming watchTiming;
    media::InputLimits readLimits;
    // Thumbnails are decoded and containers read in these worker processes (the
    // application: its own executable, media::selfWorkerCommand()); empty: in this process.
    std::optional<media::WorkerCommand> thumbnailWorker;
};

class FolderLibrary final : public AuthorizationPort,
                            public FetchPort,
                            public ResourcePort,
                            public ChangePort,
                            public ExportPort,
                            public ImagePort,
                            public VideoAssetPort,
                            public ChangeObserverPort,
                            public LocationPort,
                            public CopyCheckPort,
                            public std::enable_shared_from_this<FolderLibrary> {
public:
    static std::shared_ptr<FolderLibrary> create(FolderLibraryOptions options);
    ~FolderLibrary() override;

    LibraryPorts ports();

    // Asks the folder chooser again and keeps the answer.
    AuthorizationStatus reopenFolderChooser();
    // The folders scanned by the last fetch.
    std::vector<QByteArray> walkedFolders() const;

    // Port.
    AuthorizationStatus authorizationStatus(AccessLevel level) const override;
    void requestAuthorization(AccessLevel level, std::function<void(AuthorizationStatus)> handler) override;
    FetchResult fetchVideos(const FetchControl& control = {}) const override;
    FetchResult fetchAssets(const QStringList& localIdentifiers) const override;
    // A file changed since the fetch is read again and one added since under a
    // library folder is found; either then counts as fetched for every action.
    FetchResult refreshAssets(const QStringList& localIdentifiers) const override;
    // Set when a damaged favorites store made the fetch list nothing.
    std::optional<PlatformError> lastFetchError() const override;
    // Reads the containers of the unindexed files among them, in batches.
    void prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                       const std::stop_token& stop) const override;
    QList<AssetResource> resources(const Asset& asset) const override;
    bool providesResourceDataSize() const override { return true; }
    RequestId deleteAssets(const FetchResult& assets,
                           std::function<void(DeletionCompletion)> handler) override;
    RequestId setFavorite(const FetchResult& assets, bool isFavorite,
                          std::function<void(FavoriteCompletion)> handler) override;
    RequestId restoreAssets(const QStringList& localIdentifiers,
                            std::function<void(RestoreCompletion)> handler) override;
    void cancelChange(RequestId id) override;
    RequestId writeResourceData(const AssetResource& resource, const QString& destinationPath,
                                ExportNaming naming, bool isNetworkAccessAllowed,
                                std::function<void(std::optional<PlatformError>)> handler,
                                WriteObserver observer = {}) override;
    void cancelWrite(RequestId id) override;
    RequestId requestImage(const AssetRef& asset, QSize targetPixels, int contentMode,
                           const ImageRequestOptions& options,
                           std::function<void(ImageResult)> handler) override;
    void cancelImageRequest(RequestId id) override;
    RequestId requestPlayableVideo(const AssetRef& asset, const VideoRequestOptions& options,
                                   std::function<void(VideoRequestResult)> handler) override;
    void cancelVideoRequest(RequestId id) override;
    void registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener) override;
    void unregisterChangeObserver(const LibraryChangeListener* listener) override;
    FileLocation fileLocation(const QString& localIdentifier) const override;
    QStringList libraryRoots() const override;
    RequestId checkCopies(std::function<void(CopyCheckProgress)> progress,
                          std::function<void(CopyCheck)> handler) override;
    void cancelCopyCheck(RequestId id) override;
    int hardLinksOutside(const QString& localIdentifier) const override;
    LibraryFolderList libraryFolders() const override;
    bool setLibraryFolders(const std::vector<QByteArray>& folders) override;

    // Where the date of a video of the last fetch came from; nothing for others.
    std::optional<DateSource> dateSource(const QString& localIdentifier) const;
    // The space the file took on disk when scanned: no file is opened again to say.
    std::optional<std::int64_t> allocatedBytes(const QString& localIdentifier) const;

private:
    struct RootState {
        std::vector<QByteArray> roots;   // configured or default, cleaned
        std::vector<QByteArray> usable;  // those that can be read now
        AuthorizationStatus status = AuthorizationStatus::notDetermined;
    };
    struct Pending;
    // A video this library moved to the trash, kept for the session so that it can be put back.
    struct TrashedAsset {
        fs::TrashedFile entry;
        AssetRef asset;  // a FolderAsset, as scanned
    };

    explicit FolderLibrary(FolderLibraryOptions options);
    RootState resolveRootState() const;
    std::optional<FolderChoice> savedChoice() const;
    bool saveChoice(const std::vector<QByteArray>& folders);
    std::shared_ptr<const FolderAsset> scannedAsset(const QString& localIdentifier) const;
    std::optional<std::size_t> findScannedLocked(const QString& localIdentifier) const;
    void clearScannedLocked() const;
    RequestId addPending(std::shared_ptr<Pending> pending);
    std::shared_ptr<Pending> findPending(RequestId id) const;
    void forgetPending(RequestId id);
    void replaceFavoriteFlags(const FetchResult& assets, bool isFavorite);
    void restartWatcher();
    void notifyListeners(const LibraryChange& change);
    LibraryChange changeFor(const fs::ChangeBatch& batch) const;
    MetadataReaders metadataReaders() const;
    std::shared_ptr<const FolderAsset> rereadFile(const QByteArray& path,
                                                  const std::shared_ptr<const FolderAsset>& scanned) const;
    QString previewPath(fs::UniqueFd fd);
    CopyCheck checkScannedCopies(const FetchResult& scanned,
                                 const std::function<void(CopyCheckProgress)>& progress,
                                 const std::stop_token& stop);

    const FolderLibraryOptions m_options;
    const fs::VideoNamePredicate m_isVideoName;
    const fs::TrashOptions m_trash;
    const fs::RootProbe m_rootProbe;  // time-limited: a dead network mount answers "not answering"
    std::shared_ptr<MetadataSink> m_index;
    std::shared_ptr<FavoritesAccess> m_favorites;
    QString m_thumbnailRoot;

    mutable std::mutex m_mutex;
    // The last fetch, every asset as it was scanned (all FolderAssets), in fetch
    // order; m_scannedByIdentifier holds their positions by identifier once asked.
    mutable FetchResult m_scanned;
    mutable std::vector<std::uint32_t> m_scannedByIdentifier;
    mutable std::vector<QByteArray> m_rootsInUse;
    mutable std::vector<QByteArray> m_walkedFolders;
    mutable std::optional<PlatformError> m_lastFetchError;
    std::optional<FolderChoice> m_unsavedChoice;  // kept for the session when saving failed
    std::unordered_map<RequestId, std::shared_ptr<Pending>> m_pending;
    std::unordered_map<QString, TrashedAsset> m_trashed;  // by identifier; m_changes thread only
    RequestId m_nextRequest = 1;
    // Preview files whose names are not UTF-8 are handed out as /proc/self/fd/N.
    std::deque<fs::UniqueFd> m_previewFds;

    // Listeners and the watcher: m_notifyMutex is held while listeners run, so
    // that once unregister returns the listener is never called again.
    mutable std::mutex m_listenerMutex;
    std::mutex m_notifyMutex;
    std::vector<std::weak_ptr<LibraryChangeListener>> m_listeners;  // guarded by m_listenerMutex
    std::unique_ptr<fs::ChangeWatcher> m_watcher;
    std::unique_ptr<fs::ChangeWatcher> m_retiredWatcher;  // stopped from its own thread
    mutable std::atomic<bool> m_isWatcherStale{false};
    std::atomic<bool> m_isWatchLimitReported{false};  // said once per session, not per scan

    // Outlives the decode pool, whose threads use it; stopped first on closing.
    std::shared_ptr<media::ThumbnailWorkerPool> m_workers;
    std::stop_source m_closing;

    // Last: joined before the state above goes; the callback thread goes last
    // because the others post to it.
    mutable SerialExecutor m_callbacks;
    SerialExecutor m_changes;
    SerialExecutor m_copyChecks;  // idle I/O priority: its reads yield to everyone's
    PoolExecutor m_decodePool{2};
    mutable std::shared_ptr<PoolExecutor> m_readPool;
};

}  // namespace reelkeep
