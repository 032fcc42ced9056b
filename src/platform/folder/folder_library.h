// folder_library.h: the photo library port over folders of real video files.
// Every action first checks that the file is still the one the scan saw
// (device, inode, size, mtime); anything else counts as gone, so a replaced or
// renamed file is never trashed, exported or shown in its place. Thread-safe;
// every asynchronous call answers exactly once on the library's callback thread.
// A facade: roots, scan, actions, thumbnails and the watcher are parts of their
// own (folder_*.h); this class owns them, their shared stores and the threads.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "library/executor.h"
#include "library/photo_library_port.h"
#include "model/file_facts.h"
#include "platform/folder/folder_actions.h"
#include "platform/folder/folder_options.h"
#include "platform/folder/folder_requests.h"
#include "platform/folder/folder_roots.h"
#include "platform/folder/folder_scan.h"
#include "platform/folder/folder_thumbnails.h"
#include "platform/folder/folder_watch.h"
#include "platform/folder/scanned_assets.h"

namespace reelkeep {

class FolderAsset;
class MetadataSink;
class FavoritesAccess;

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
                            public SimilarityPort,
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

    RequestId fingerprintVideos(std::function<void(SimilarityProgress)> progress,
                                std::function<void(SimilarityCheck)> handler) override;
    void cancelFingerprinting(RequestId id) override;
    RequestId requestFrameStrip(const AssetRef& asset, int maxPixelSize,
                                std::function<void(FrameStripResult)> handler) override;
    void cancelFrameStrip(RequestId id) override;
    LibraryFolderList libraryFolders() const override;
    bool setLibraryFolders(const std::vector<QByteArray>& folders) override;

    // What the scan learnt of a video of the last fetch; nothing for others.
    FileFacts scannedFacts(const QString& localIdentifier) const;
    // The same for each of `items`, by its position among them, made as each is
    // asked for: the facts of 100,000 videos held at once would add to the peak.
    std::function<FileFacts(std::size_t item)> scannedFacts(const VideoList& items) const;

private:
    explicit FolderLibrary(FolderLibraryOptions options);
    std::shared_ptr<const FolderAsset> scannedAsset(const QString& localIdentifier) const;
    CopyCheck checkScannedCopies(const FetchResult& scanned,
                                 const std::function<void(CopyCheckProgress)>& progress,
                                 const std::stop_token& stop);
    SimilarityCheck fingerprintScanned(const FetchResult& scanned,
                                       const std::function<void(SimilarityProgress)>& progress,
                                       const std::stop_token& stop);

    const FolderLibraryOptions m_options;
    const fs::VideoNamePredicate m_isVideoName;
    std::shared_ptr<MetadataSink> m_index;
    std::shared_ptr<FavoritesAccess> m_favorites;
    // Outlives the decode pool, whose threads use it; stopped first on closing.
    std::shared_ptr<media::ThumbnailWorkerPool> m_workers;
    // Fingerprints only: nobody waits for them, so they run at the lowest priority.
    std::shared_ptr<media::ThumbnailWorkerPool> m_backgroundWorkers;
    std::stop_source m_closing;

    // The parts, each with its own lock; only the watcher takes another's (the
    // scanned assets') while it holds its own. They run on the executors below,
    // which are joined before any part goes. The port's fetch is const, yet it
    // replaces the scanned assets and moves the watcher: those two are mutable.
    FolderRoots m_roots;
    mutable ScannedAssets m_scanned;
    RequestTable m_requests;
    FolderScan m_scan;
    mutable FolderWatch m_watch;
    FolderActions m_actions;
    FolderThumbnails m_thumbnails;

    // Last: joined before the state above goes; the callback thread goes last
    // because the others post to it. It starts at once: the copy check and the
    // fingerprints post to it from threads of lowered priority, which a thread
    // they started would inherit.
    mutable SerialExecutor m_callbacks{SerialExecutor::Start::now};
    SerialExecutor m_changes;
    SerialExecutor m_copyChecks;  // idle I/O priority: its reads yield to everyone's
    SerialExecutor m_fingerprinting;
    PoolExecutor m_decodePool{2};
};

}  // namespace reelkeep
