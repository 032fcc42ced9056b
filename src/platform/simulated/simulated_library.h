// simulated_library.h: an in-memory photo library implementing the whole port,
// for tests and for demos without real files. Thread-safe. Every asynchronous
// call answers once on the library's own callback thread, unless a script asks
// for a broken answer (twice, never) to exercise the service's guards.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "library/executor.h"
#include "library/photo_library_port.h"

namespace reelkeep {

enum class ImageBehavior { finalOnly, degradedThenFinal, error, cancelled, noImage, never, twice };
enum class VideoBehavior { playable, noAsset, error, twice };

struct SimulatedResource {
    int type = int(ResourceType::video);
    QString originalFilename;
    std::optional<std::int64_t> dataSize;
};

struct SimulatedAsset {
    QString localIdentifier;
    std::optional<Timestamp> creationDate;
    double duration = 0;
    std::int64_t pixelWidth = 1920;
    std::int64_t pixelHeight = 1080;
    bool isFavorite = false;
    std::uint64_t mediaSubtypes = 0;
    QList<SimulatedResource> resources;
    // Undocumented members by name: "px_filesize", "originalFilename",
    // "originalMetadataProperties".
    std::vector<std::pair<std::string, DynamicMember>> members;

    // What a playable-video request hands out. No local file: the video lives only
    // in the cloud; without network access the request then gives no asset.
    std::optional<QString> localFilePath;
    VideoBehavior video = VideoBehavior::playable;
    bool isPlayable = true;
    std::optional<PlatformError> videoError;
    // The file on disk no longer matches what the fetch saw.
    bool isFileReplaced = false;
    FileVersion fileVersion;    // what thumbnails are kept for
    VideoLocationRef location;  // the folder shown for it; null: none

    ImageBehavior image = ImageBehavior::finalOnly;

    // Assets of one size with equal non-empty tags hold the same bytes.
    QString contentTag;
    int hardLinksOutside = 0;
    std::optional<std::int64_t> unsharedBytes;  // reflinked: less than the size
    // Assets with equal non-empty tags show the same thing: near copies when
    // their lengths and shapes agree too. Untagged assets look like nothing else.
    QString visualTag;

    SimulatedAsset& withFastFilename(const QString& name);
    SimulatedAsset& withFastSize(std::int64_t bytes);      // px_filesize as "q"
    SimulatedAsset& withMetadataSize(std::int64_t bytes);  // originalMetadataProperties.originalFilesize
    SimulatedAsset& withMember(std::string name, DynamicMember member);
};

enum class SimulatedCall {
    authorizationStatus,
    requestAuthorization,
    fetchVideos,
    fetchAssets,
    resources,
    deleteAssets,
    setFavorite,
    cancelChange,
    restoreAssets,
    writeResourceData,
    cancelWrite,
    requestImage,
    cancelImageRequest,
    requestPlayableVideo,
    cancelVideoRequest,
    fileLocation,
    libraryRoots,
    libraryFolders,
    setLibraryFolders,
};
inline constexpr std::size_t kSimulatedCallCount = std::size_t(SimulatedCall::setLibraryFolders) + 1;

struct DeletionScript {
    std::optional<PlatformError> requestError;  // nothing is deleted
    QHash<QString, PlatformError> itemErrors;   // these stay; the rest go
};

struct CopyCheckScript {
    QSet<QString> unreadable;  // never verified, whatever their tags
    bool holds = false;        // answers wait for releaseHeldCopyChecks() or a cancel
};

struct SimilarityScript {
    QSet<QString> undecodable;  // reported as failed, with no fingerprint and no frames
    bool holds = false;         // answers wait for releaseHeldFingerprinting() or a cancel
};

struct RestoreScript {
    std::optional<PlatformError> requestError;  // nothing is put back
    QHash<QString, PlatformError> itemErrors;   // these stay in the trash
};

struct FavoriteScript {
    std::optional<PlatformError> error;
    bool failsWithoutError = false;
};

class SimulatedLibrary final : public AuthorizationPort,
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
                               public std::enable_shared_from_this<SimulatedLibrary> {
public:
    static std::shared_ptr<SimulatedLibrary> create();
    ~SimulatedLibrary() override;

    LibraryPorts ports();

    // Contents.
    void addAssets(const QList<SimulatedAsset>& entries);
    void addAsset(const SimulatedAsset& entry) { addAssets({entry}); }
    bool removeAsset(const QString& localIdentifier);  // vanishes for later calls
    void clear();
    int assetCount() const;
    std::optional<SimulatedAsset> asset(const QString& localIdentifier) const;
    // Also what libraryFolders() reports: these folders, all available.
    void setLibraryRoots(QStringList roots);
    // What libraryFolders() reports; setLibraryFolders() replaces the folders
    // (all available) unless saving is scripted to fail.
    void setLibraryFolderList(LibraryFolderList list);
    void setFolderSaveFails(bool isFailing);
    void setProvidesResourceDataSize(bool isProvided);
    // Those of these still in the library go to FetchControl::onEarlyAssets, in
    // one call, before fetchVideos waits its latency and takes its snapshot.
    void setEarlyAssets(QStringList localIdentifiers);

    // Scripts.
    void setAuthorizationStatus(AuthorizationStatus status);
    // What answering the prompt gives; the standing status changes to it.
    void setAuthorizationAnswer(AuthorizationStatus answer);
    void setDeletionScript(DeletionScript script);
    void setFavoriteScript(FavoriteScript script);
    void setRestoreScript(RestoreScript script);
    void setWriteError(std::optional<PlatformError> error);
    // Delay before an answer (asynchronous calls) or inside the call (synchronous ones).
    void setLatency(SimulatedCall call, std::chrono::microseconds latency);
    // Image requests with no answer get a final error after this; zero: never.
    void setImageTimeLimit(std::chrono::milliseconds limit);
    // Holds answers to deletions until releaseHeldChanges(), to test stops mid-request.
    void setHoldsChanges(bool isHeld);
    void releaseHeldChanges();
    // Holds answers to playable-video requests the same way.
    void setHoldsVideoRequests(bool isHeld);
    void releaseHeldVideoRequests();

    void setCopyCheckScript(CopyCheckScript script);
    void releaseHeldCopyChecks();
    void setSimilarityScript(SimilarityScript script);
    void releaseHeldFingerprinting();

    // Counts the calls that may block (those that ask a real library's file
    // system) made on this thread: a window's thread must make none.
    void watchBlockingCallsFrom(std::thread::id thread);
    int blockingCallsOnWatchedThread() const { return m_callsOnWatchedThread.load(); }
    // Blocking calls sleeping in their latency right now.
    int blockingCallsInFlight() const { return m_blockingCalls.load(); }

    // Fires libraryDidChange on the calling thread; by default without saying what changed.
    void notifyChange(const LibraryChange& change = {});

    // Counters.
    int callCount(SimulatedCall call) const;
    int videoRequestsInFlight() const { return m_videosInFlight.load(); }
    int maxVideoRequestsInFlight() const { return m_maxVideosInFlight.load(); }
    void resetCounters();

    // Port.
    AuthorizationStatus authorizationStatus(AccessLevel level) const override;
    void requestAuthorization(AccessLevel level, std::function<void(AuthorizationStatus)> handler) override;
    FetchResult fetchVideos(const FetchControl& control = {}) const override;
    FetchResult fetchAssets(const QStringList& localIdentifiers) const override;
    QList<AssetResource> resources(const Asset& asset) const override;
    bool providesResourceDataSize() const override;
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

private:
    SimulatedLibrary();
    class StoredAsset;
    struct PendingRequest;

    void count(SimulatedCall call) const;
    void sleepFor(SimulatedCall call, const std::stop_token& stop = {}) const;
    std::chrono::microseconds latency(SimulatedCall call) const;
    RequestId addPending(std::shared_ptr<PendingRequest> request);
    std::shared_ptr<PendingRequest> takePending(RequestId id);
    void answerDeletion(RequestId id, const FetchResult& assets, bool isCancelled);
    void answerRestore(RequestId id, bool isCancelled);
    void reindexLocked();

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<const StoredAsset>> m_assets;  // insertion order
    std::unordered_map<QString, std::size_t> m_indexById;
    mutable std::optional<FetchResult> m_sortedSnapshot;
    QStringList m_roots;
    LibraryFolderList m_folderList;
    bool m_isFolderSaveFailing = false;
    bool m_isDataSizeProvided = false;
    QStringList m_earlyIDs;
    AuthorizationStatus m_status = AuthorizationStatus::authorized;
    std::optional<AuthorizationStatus> m_answer;
    DeletionScript m_deletionScript;
    FavoriteScript m_favoriteScript;
    RestoreScript m_restoreScript;
    // What deletions removed, for restoreAssets; an asset added again under the
    // same identifier takes its place back, so it cannot be restored over.
    std::unordered_map<QString, std::shared_ptr<const StoredAsset>> m_trashed;
    std::optional<PlatformError> m_writeError;
    std::array<std::chrono::microseconds, kSimulatedCallCount> m_latency{};
    std::chrono::milliseconds m_imageTimeLimit = kImageRequestTimeLimit;
    bool m_isHoldingChanges = false;
    std::vector<RequestId> m_heldChanges;
    bool m_isHoldingVideos = false;
    std::vector<std::function<void()>> m_heldVideoAnswers;
    CopyCheckScript m_copyCheckScript;
    struct HeldCopyCheck {
        std::function<void(CopyCheck)> handler;
        CopyCheck result;
    };
    std::unordered_map<RequestId, HeldCopyCheck> m_heldCopyChecks;
    SimilarityScript m_similarityScript;
    struct HeldFingerprinting {
        std::function<void(SimilarityCheck)> handler;
        SimilarityCheck result;
    };
    std::unordered_map<RequestId, HeldFingerprinting> m_heldFingerprinting;
    std::unordered_map<RequestId, std::shared_ptr<PendingRequest>> m_pending;
    RequestId m_nextRequest = 1;
    std::vector<std::weak_ptr<LibraryChangeListener>> m_listeners;

    mutable std::array<std::atomic<int>, kSimulatedCallCount> m_counts{};
    std::atomic<int> m_videosInFlight{0};
    std::atomic<int> m_maxVideosInFlight{0};
    std::atomic<std::thread::id> m_watchedThread{};
    mutable std::atomic<int> m_callsOnWatchedThread{0};
    mutable std::atomic<int> m_blockingCalls{0};

    SerialExecutor m_callbacks;  // last: joined before the state above goes
};

}  // namespace reelkeep
