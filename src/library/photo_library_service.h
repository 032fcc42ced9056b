// photo_library_service.h: the one component that talks to the photo library:
// access, the batched scan, the size probe, item actions, thumbnails, previews.
//
// Threading, for the whole library layer:
// - Callers (the view model, thumbnail and preview views) call from the main
//   thread, or any thread that runs a Qt event loop, and co_await the returned
//   task; it always resumes on the caller's thread. No operation blocks the caller.
// - Every operation runs on the service's own serial executor, one step at a time
//   in arrival order. It owns the scan's fetch result, the timings and the
//   thumbnail flights; no lock guards them because no other thread touches them.
//   An operation that waits for a platform callback or for probe children lets
//   the next operation in.
// - Size probes run on the probe pool, each a whole function that may block on
//   the port; they touch no service state and hand their results back through the
//   serial executor. Nothing else changes threads inside a function.
// - Port callbacks arrive on the port's threads and only resume a waiting step,
//   through Completion/ResumeGuard (first call wins); they hold their waiting
//   step weakly.
// - Each operation takes a std::stop_token. Reads stop at once; changes, which may
//   already be under way, ask the port to cancel and then report what really
//   happened. Destroying the service (never from its own executor) stops every
//   operation, waits for them to leave and joins its threads; callers still
//   waiting then resume with a cancelled result.
#pragma once

#include <QHash>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <unordered_map>

#include <QCoro/QCoroTask>

#include "library/asset_reader.h"
#include "library/executor.h"
#include "library/guarded_property_reader.h"
#include "library/photo_library_error.h"
#include "library/photo_library_port.h"
#include "library/scan_timings.h"
#include "library/thumbnail_memory_cache.h"
#include "model/size_state.h"
#include "model/video_item.h"

namespace reelkeep {

// 500 batches for 100k videos, yet the first rows show at once.
inline constexpr int kScanBatchSize = 200;
// Size probes at once, and the pool they run on: each mostly waits on a file.
inline constexpr int kProbeWidth = 6;

struct ScanBatch {
    VideoList items;
    qsizetype total = 0;
};

// The preview asset as the platform handed it out, for one request.
class PreviewAssetBox {
public:
    explicit PreviewAssetBox(PlayableVideo asset) : m_asset(std::move(asset)) {}
    const PlayableVideo& asset() const { return m_asset; }

private:
    const PlayableVideo m_asset;
};

// What the preview window needs to build its player on the main thread.
struct PreviewSource {
    QString filePath;
    double lengthSeconds = 0;  // finite and >= 0
};

// How putting videos back from the trash ended. Restored and kept identifiers
// together are those asked for, unless the whole request failed.
struct RestoreOutcome {
    QStringList restoredIdentifiers;
    // Those that stayed in the trash, each with the port's reason (naming the file).
    QList<std::pair<QString, QString>> failures;
    std::optional<QString> requestError;  // nothing was put back
};

class PhotoLibraryService {
public:
    struct Options {
        DynamicPropertyLoader* loader = nullptr;  // null: the process-wide one
        int backgroundThreads = kProbeWidth;
    };

    explicit PhotoLibraryService(LibraryPorts ports);
    PhotoLibraryService(LibraryPorts ports, Options options);
    ~PhotoLibraryService();
    PhotoLibraryService(const PhotoLibraryService&) = delete;
    PhotoLibraryService& operator=(const PhotoLibraryService&) = delete;

    // Read-write access: the standing status. It may ask the file system about
    // the library folders, so the main thread asks requestAccess() instead.
    AuthorizationStatus authorizationStatus() const;
    // Asks the user (from the main thread) and gives the resulting status; never fails.
    QCoro::Task<AuthorizationStatus> requestAccess(std::stop_token stop = {});

    // onFound hears the running count of videos found, on a thread of the port's.
    // onEarly hears, before the count, videos the port could already tell in
    // full, each once, on a thread of the port's: rows to show meanwhile, not the
    // scan's result, which the batches give (see FetchControl::onEarlyAssets).
    QCoro::Task<Result<qsizetype>> beginScan(std::stop_token stop = {},
                                             std::function<void(qsizetype found)> onFound = {},
                                             std::function<void(VideoList early)> onEarly = {});
    QCoro::Task<Result<ScanBatch>> readBatch(qsizetype start, qsizetype count, std::stop_token stop = {});
    QCoro::Task<ScanTimings> finishScan();
    // One entry per identifier probed; identifiers not started before a stop are missing.
    // At most maxConcurrent probes, and no more than the pool has threads, run at once.
    QCoro::Task<QHash<QString, SizeState>> probeSizes(QStringList localIdentifiers, int maxConcurrent,
                                                      std::stop_token stop = {});

    QCoro::Task<DeletionOutcome> deleteVideos(QStringList localIdentifiers, std::stop_token stop = {});
    // All or nothing: fails with assetNotFound, changing nothing, when any identifier is gone.
    QCoro::Task<Result<void>> setFavorite(QStringList localIdentifiers, bool isFavorite,
                                          std::stop_token stop = {});
    // Puts back videos that deleteVideos moved to the trash in this session.
    QCoro::Task<RestoreOutcome> restoreVideos(QStringList localIdentifiers, std::stop_token stop = {});
    // Writes to destinationPath, which the caller chose and made unique; with
    // nextFreeName a name taken meanwhile moves the file to the next free one.
    // The observer hears progress and the name the copy took, on a port thread.
    QCoro::Task<Result<void>> downloadVideo(QString localIdentifier, QString destinationPath,
                                            ExportNaming naming = ExportNaming::exactName,
                                            std::stop_token stop = {}, WriteObserver observer = {});
    QCoro::Task<QSet<QString>> existingIdentifiers(QStringList localIdentifiers, std::stop_token stop = {});
    // These videos as they are now, read again where their files changed; the
    // gone are left out. Sizes the fast routes do not give are unavailable.
    QCoro::Task<VideoList> readVideos(QStringList localIdentifiers, std::stop_token stop = {});
    // For each safe name in order, the first name free in folder and not given
    // to an earlier one ("name (2).ext", …); nothing when every counter is taken.
    // Looked up here, off the caller's thread: a folder on a hung mount must not
    // freeze a window.
    QCoro::Task<QList<std::optional<QString>>> freeFileNames(QString folder, QStringList names,
                                                             std::stop_token stop = {});

    // Null: no thumbnail (missing asset, failed request, unusable size); not cached.
    QCoro::Task<ThumbnailRef> thumbnail(QString localIdentifier, QSizeF targetSize,
                                        std::stop_token stop = {});
    QCoro::Task<Result<std::shared_ptr<const PreviewAssetBox>>> requestPreviewAsset(
        QString localIdentifier, std::stop_token stop = {});
    // A playable local file and its length; assetUnavailable when it cannot be played.
    QCoro::Task<Result<PreviewSource>> preparePreview(QString localIdentifier, std::stop_token stop = {});

    // Which same-size videos of the last scan are byte-identical copies. A stop
    // answers at once with what was verified so far (isComplete false).
    QCoro::Task<CopyCheck> checkCopies(std::function<void(CopyCheckProgress)> onProgress,
                                       std::stop_token stop = {});
    int hardLinksOutside(const QString& localIdentifier) const;
    // Which videos of the last scan show the same thing though their bytes differ:
    // the port fingerprints them, then the matcher runs here, never on the caller's
    // thread. The answer keeps the fingerprints of videos that have a near copy, so
    // a caller regroups those cheaply. A stop answers at once with no sets (isComplete false).
    QCoro::Task<SimilarityCheck> checkSimilar(std::function<void(SimilarityProgress)> onProgress,
                                              std::stop_token stop = {});
    // The pictures a video's fingerprint is made of, in order, longer side at most maxPixelSize.
    QCoro::Task<Result<QList<Picture>>> frameStrip(QString localIdentifier, int maxPixelSize,
                                                   std::stop_token stop = {});

    QCoro::Task<FileLocation> fileLocation(QString localIdentifier);
    QCoro::Task<LibraryFolderList> libraryFolders();
    QCoro::Task<bool> setLibraryFolders(std::vector<QByteArray> folders);
    void registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener);
    void unregisterChangeObserver(const LibraryChangeListener* listener);

    int cachedThumbnailCount() const { return m_thumbnailCache.count(); }
    std::int64_t cachedThumbnailCost() const { return m_thumbnailCache.totalCost(); }

private:
    class Tracker;
    class Ticket;
    struct ThumbnailFlight;
    struct ProbeWindow;

    // The frame of every operation: onto the serial executor under a ticket, run
    // body (a value or a task), then back to the caller's thread.
    template <class T, class Body>
    QCoro::Task<T> onExecutor(std::stop_token stop, Body body);

    Result<FetchResult> fetchVideoAssets(const FetchControl& control = {}) const;
    Result<qsizetype> startScan(const FetchControl& control);
    Result<ScanBatch> readScanBatch(qsizetype start, qsizetype count, const std::stop_token& stop);
    ScanTimings endScan();
    QCoro::Task<QHash<QString, SizeState>> runProbeWindow(QStringList localIdentifiers, int maxConcurrent,
                                                          std::stop_token stop);
    SizeState probeSize(const QString& localIdentifier, const std::stop_token& stop);
    QCoro::Task<CopyCheck> checkCopiesOnExecutor(std::function<void(CopyCheckProgress)> onProgress,
                                                 std::stop_token stop);
    QCoro::Task<SimilarityCheck> checkSimilarOnExecutor(std::function<void(SimilarityProgress)> onProgress,
                                                        std::stop_token stop);
    QCoro::Task<Result<QList<Picture>>> frameStripOnExecutor(QString localIdentifier, int maxPixelSize,
                                                             std::stop_token stop);
    QCoro::Task<DeletionOutcome> deleteOnExecutor(QStringList localIdentifiers, std::stop_token stop);
    QCoro::Task<RestoreOutcome> restoreOnExecutor(QStringList localIdentifiers, std::stop_token stop);
    QCoro::Task<Result<void>> favoriteOnExecutor(QStringList localIdentifiers, bool isFavorite,
                                                 std::stop_token stop);
    QCoro::Task<Result<void>> downloadOnExecutor(QString localIdentifier, QString destinationPath,
                                                 ExportNaming naming, std::stop_token stop,
                                                 WriteObserver observer);
    QCoro::Task<ThumbnailRef> thumbnailOnExecutor(QString localIdentifier, QSizeF targetSize,
                                                  std::stop_token stop);
    QCoro::Task<> runThumbnailFlight(QString key, AssetRef asset, QSize pixels,
                                     std::shared_ptr<ThumbnailFlight> flight);
    QCoro::Task<Result<std::shared_ptr<const PreviewAssetBox>>> previewAssetOnExecutor(
        QString localIdentifier, std::stop_token stop);

    const LibraryPorts m_ports;
    const Options m_options;
    DynamicPropertyLoader& m_loader;
    std::shared_ptr<Tracker> m_tracker;
    std::stop_source m_stop;
    ThumbnailMemoryCache m_thumbnailCache;

    // Serial-executor state.
    std::optional<FetchResult> m_scanFetchResult;
    ScanTimings m_timings;
    std::unordered_map<QString, std::shared_ptr<ThumbnailFlight>> m_thumbnailTasks;

    // Declared last: destroyed first, after every operation has left.
    std::unique_ptr<PoolExecutor> m_probePool;  // runs probeSize() whole, nothing else
    std::unique_ptr<SerialExecutor> m_executor;
};

}  // namespace reelkeep
