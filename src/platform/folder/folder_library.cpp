// folder_library.cpp: the port, wired to its parts.
// Blocking work never runs on the caller's thread or the callback thread:
// changes and exports run in order on their own thread, thumbnails and previews
// on a small pool, container reads on the scan's read pool, copy checks on a
// thread at idle I/O priority, fingerprints from a thread at the lowest
// priority through workers at the lowest priority; a fetch walks on a thread of its own while it
// looks the files up in the index.
#include "platform/folder/folder_library.h"

#include <QFile>

#include "platform/folder/favorites_access.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/folder_errors.h"
#include "platform/folder/fs/content_compare.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/media/thumbnail_disk_cache.h"
#include "platform/folder/store/favorites_store.h"

namespace reelkeep {

namespace {

media::WorkerLimits backgroundWorkerLimits(bool isBackground) {
    media::WorkerLimits limits = media::defaultWorkerLimits();
    limits.isBackground = isBackground;
    return limits;
}

}  // namespace

std::shared_ptr<FolderLibrary> FolderLibrary::create(FolderLibraryOptions options) {
    return std::shared_ptr<FolderLibrary>(new FolderLibrary(std::move(options)));
}

FolderLibrary::FolderLibrary(FolderLibraryOptions options)
    : m_options(std::move(options)),
      m_isVideoName(m_options.isVideoName ? m_options.isVideoName : fs::defaultVideoNamePredicate()),
      m_index(std::make_shared<MetadataSink>(
          [path = m_options.indexPath.isEmpty() ? store::MetadataIndex::defaultPath() : m_options.indexPath] {
              return store::MetadataIndex::open(path, folderDateRule());
          })),
      m_favorites(std::make_shared<FavoritesAccess>(m_options.favoritesPath.isEmpty()
                                                        ? store::FavoritesStore::defaultPath()
                                                        : m_options.favoritesPath)),
      m_workers(m_options.thumbnailWorker ? std::make_shared<media::ThumbnailWorkerPool>(
                                                *m_options.thumbnailWorker, media::defaultWorkerLimits())
                                          : nullptr),
      m_backgroundWorkers(
          m_options.thumbnailWorker
              ? std::make_shared<media::ThumbnailWorkerPool>(
                    *m_options.thumbnailWorker, backgroundWorkerLimits(m_options.fingerprintsInBackground))
              : nullptr),
      m_roots(m_options),
      m_requests(m_callbacks),
      m_scan(m_isVideoName, m_index, m_favorites,
             MetadataReaders{m_options.readLimits, m_workers, m_workers != nullptr, m_closing.get_token()},
             m_scanned),
      m_watch(m_isVideoName, m_options.watchTiming, m_scanned),
      m_actions(m_options.trash ? *m_options.trash : fs::systemTrashOptions(), m_favorites, m_scanned,
                m_requests, m_changes),
      m_thumbnails(m_options.thumbnailCacheRoot.isEmpty() ? media::ThumbnailDiskCache::defaultRoot()
                                                          : m_options.thumbnailCacheRoot,
                   m_options.readLimits, m_workers, m_closing.get_token(), m_requests, m_decodePool) {}

FolderLibrary::~FolderLibrary() {
    m_closing.request_stop();  // a decode in a hung worker ends now, not at its limit
    m_watch.close();
    m_scan.stopReading();  // reads in flight finish and reach the index before it flushes
    m_index->flush();
}

LibraryPorts FolderLibrary::ports() {
    const std::shared_ptr<FolderLibrary> self = shared_from_this();
    return LibraryPorts{self, self, self, self, self, self, self, self, self, self, self};
}

// ---- Roots and access ------------------------------------------------------

// Blocking: the roots may sit on a drive that hangs a stat() for minutes.
AuthorizationStatus FolderLibrary::authorizationStatus(AccessLevel) const {
    return m_roots.resolve().status;
}

void FolderLibrary::requestAuthorization(AccessLevel, std::function<void(AuthorizationStatus)> handler) {
    // The chooser is a window, so it runs here, on the caller's thread.
    m_roots.chooseIfUndecided();
    // Named folders may be on a drive that hangs: they are checked on the change thread.
    m_changes.post([this, handler = std::move(handler)]() mutable {
        AuthorizationStatus status = m_roots.resolve().status;
        if (status == AuthorizationStatus::notDetermined) status = AuthorizationStatus::denied;
        m_callbacks.post([handler = std::move(handler), status] { handler(status); });
    });
}

AuthorizationStatus FolderLibrary::reopenFolderChooser() {
    m_roots.choose();
    return m_roots.resolve().status;
}

LibraryFolderList FolderLibrary::libraryFolders() const {
    return m_roots.libraryFolders();
}

bool FolderLibrary::setLibraryFolders(const std::vector<QByteArray>& folders) {
    return m_roots.setLibraryFolders(folders);
}

QStringList FolderLibrary::libraryRoots() const {
    std::vector<QByteArray> roots = m_scanned.rootsInUse();
    if (roots.empty()) roots = m_roots.resolve().usable;
    QStringList texts;
    for (const QByteArray& root : roots) texts.append(QFile::decodeName(root));
    return texts;
}

// ---- Fetch -------------------------------------------------------------------

FetchResult FolderLibrary::fetchVideos(const FetchControl& control) const {
    const RootAccess access = m_roots.resolve();
    if (!access.isGranted()) {
        m_scanned.clear();
        return {};
    }
    std::optional<FetchResult> fetched = m_scan.fetch(access.usable, control);
    if (!fetched) return {};
    m_watch.followNewScan();
    return std::move(*fetched);
}

FetchResult FolderLibrary::fetchAssets(const QStringList& localIdentifiers) const {
    return m_scan.fetchAssets(localIdentifiers);
}

FetchResult FolderLibrary::refreshAssets(const QStringList& localIdentifiers) const {
    return m_scan.refreshAssets(localIdentifiers);
}

void FolderLibrary::prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                                  const std::stop_token& stop) const {
    FolderScan::prepareAssets(assets, start, count, stop);
}

QList<AssetResource> FolderLibrary::resources(const Asset& asset) const {
    return FolderScan::resources(asset);
}

std::optional<PlatformError> FolderLibrary::lastFetchError() const {
    return m_scanned.lastFetchError();
}

std::vector<QByteArray> FolderLibrary::walkedFolders() const {
    return m_scanned.walkedFolders();
}

std::shared_ptr<const FolderAsset> FolderLibrary::scannedAsset(const QString& localIdentifier) const {
    return m_scanned.find(localIdentifier);
}

namespace {
FileFacts factsOf(const FolderAsset& asset) {
    const std::int64_t allocated = asset.file().allocatedBytes;
    return {asset.dateSource(), allocated < 0 ? std::nullopt : std::optional(allocated), asset.file().path};
}
}  // namespace

FileFacts FolderLibrary::scannedFacts(const QString& localIdentifier) const {
    const std::shared_ptr<const FolderAsset> asset = scannedAsset(localIdentifier);
    return asset ? factsOf(*asset) : FileFacts{};
}

std::function<FileFacts(std::size_t item)> FolderLibrary::scannedFacts(const VideoList& items) const {
    auto found = std::make_shared<const ScannedAssets::Positions>(m_scanned.find(items));
    return [found](std::size_t item) {
        const auto assetOf = [&found](std::size_t at) -> const FolderAsset* {
            const std::uint32_t position =
                at < found->ofItems.size() ? found->ofItems[at] : ScannedAssets::kNotListed;
            return position == ScannedAssets::kNotListed
                       ? nullptr
                       : static_cast<const FolderAsset*>(found->assets[qsizetype(position)].get());
        };
        // Items are asked for in their order, their assets lie spread over the
        // heap: the next few, and their paths, are asked for ahead.
        constexpr std::size_t kAhead = 8;
        if (const FolderAsset* later = assetOf(item + 2 * kAhead)) __builtin_prefetch(later);
        if (const FolderAsset* next = assetOf(item + kAhead))
            __builtin_prefetch(next->file().path.constData());
        const FolderAsset* asset = assetOf(item);
        return asset ? factsOf(*asset) : FileFacts{};
    };
}

FileLocation FolderLibrary::fileLocation(const QString& localIdentifier) const {
    const std::shared_ptr<const FolderAsset> asset = scannedAsset(localIdentifier);
    if (!asset) return FileLocation{FileLocation::Status::notFound, {}};
    if (const fs::Result<void> same = fs::verifyPath(asset->file().path, asset->file().fingerprint); !same)
        return FileLocation{same.error().errorNumber() == ENOENT ? FileLocation::Status::notFound
                                                                 : FileLocation::Status::changed,
                            {}};
    return FileLocation{FileLocation::Status::found, asset->file().path};
}

// ---- Actions -----------------------------------------------------------------

RequestId FolderLibrary::deleteAssets(const FetchResult& assets,
                                      std::function<void(DeletionCompletion)> handler) {
    return m_actions.deleteAssets(assets, std::move(handler));
}

RequestId FolderLibrary::setFavorite(const FetchResult& assets, bool isFavorite,
                                     std::function<void(FavoriteCompletion)> handler) {
    return m_actions.setFavorite(assets, isFavorite, std::move(handler));
}

RequestId FolderLibrary::restoreAssets(const QStringList& localIdentifiers,
                                       std::function<void(RestoreCompletion)> handler) {
    return m_actions.restoreAssets(localIdentifiers, std::move(handler));
}

void FolderLibrary::cancelChange(RequestId id) {
    m_requests.requestStop(id);
}

RequestId FolderLibrary::writeResourceData(const AssetResource& resource, const QString& destinationPath,
                                           ExportNaming naming, bool,
                                           std::function<void(std::optional<PlatformError>)> handler,
                                           WriteObserver observer) {
    return m_actions.writeResourceData(resource, destinationPath, naming, std::move(handler),
                                       std::move(observer));
}

void FolderLibrary::cancelWrite(RequestId id) {
    m_requests.requestStop(id);
}

// ---- Copies ------------------------------------------------------------------

RequestId FolderLibrary::checkCopies(std::function<void(CopyCheckProgress)> progress,
                                     std::function<void(CopyCheck)> handler) {
    const auto pending = m_requests.open<CopyCheck>(std::move(handler));
    m_copyChecks.post([this, pending, scanned = m_scanned.all(), progress = std::move(progress)] {
        fs::useIdleIoPriority();
        // Closing the library ends a check at once, not after its last group.
        const std::stop_callback onClosing(m_closing.get_token(), [pending] { pending->requestStop(); });
        pending->answer(checkScannedCopies(scanned, progress, pending->stopToken()));
    });
    return pending->id();
}

void FolderLibrary::cancelCopyCheck(RequestId id) {
    m_requests.requestStop(id);
}

// ---- Thumbnails and previews -------------------------------------------------

RequestId FolderLibrary::requestImage(const AssetRef& asset, QSize targetPixels, int,
                                      const ImageRequestOptions&, std::function<void(ImageResult)> handler) {
    return m_thumbnails.requestImage(asset, targetPixels, std::move(handler));
}

void FolderLibrary::cancelImageRequest(RequestId id) {
    m_thumbnails.cancelImageRequest(id);
}

RequestId FolderLibrary::requestPlayableVideo(const AssetRef& asset, const VideoRequestOptions&,
                                              std::function<void(VideoRequestResult)> handler) {
    return m_thumbnails.requestPlayableVideo(asset, std::move(handler));
}

void FolderLibrary::cancelVideoRequest(RequestId id) {
    m_thumbnails.cancelVideoRequest(id);
}

// ---- Change observation ------------------------------------------------------

void FolderLibrary::registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener) {
    m_watch.addListener(std::move(listener));
}

void FolderLibrary::unregisterChangeObserver(const LibraryChangeListener* listener) {
    m_watch.removeListener(listener);
}

}  // namespace reelkeep
