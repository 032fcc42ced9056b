// folder_library.cpp: the port operations over real files.
// Blocking work never runs on the caller's thread or the callback thread:
// changes and exports run in order on their own thread, thumbnails and previews
// on a small pool, container reads on the read pool; a fetch walks on a thread
// of its own while it looks the files up in the index. Answers are claimed
// once (Pending::claim) and delivered on the callback thread.
#include "platform/folder/folder_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <numeric>
#include <set>
#include <span>
#include <stop_token>
#include <system_error>
#include <thread>

#include "model/file_names.h"
#include "model/texts.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/fs/content_compare.h"
#include "platform/folder/fs/export.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/fs/trash_restore.h"
#include "platform/folder/media/creation_date.h"
#include "platform/folder/media/thumbnail_decoder.h"
#include "platform/folder/media/thumbnail_disk_cache.h"
#include "platform/folder/store/favorites_store.h"

namespace reelkeep {
namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Previews are handed out as /proc/self/fd/N; the player reopens that link at
// once, so a few recent descriptors suffice and the process never runs out.
constexpr std::size_t kPreviewDescriptors = 8;
// The one limit of a decode: the decoder stops itself there, and a worker that
// has not answered by then is killed, a second before the port's limit fires.
constexpr std::chrono::milliseconds kDecodeTimeLimit = kImageRequestTimeLimit - std::chrono::seconds(1);
// Thread count of the container-read pool: the machines we aim at have two cores.
constexpr int kContainerReadThreads = 2;
const QString kDomain = QStringLiteral("app.reelkeep.folders");

PlatformError cancelledError() {
    return PlatformError{kDomain, kUserCancelledErrorCode, reelkeep::tr("The operation was cancelled.")};
}

// Error codes above any errno, so no failure can pose as the user's cancellation.
enum : int {
    kGoneCode = 1001,
    kStoreCode = 1002,
    kInvalidCode = 1003,
    kMediaCode = 1004,
    kTimeoutCode = 1005
};

// Enough for any real pile of copies; past it the name error is the answer.
constexpr int kMaxExportCounter = 10'000;

// Publishes one staged copy under the name or, while names are taken (another
// program may create them after the caller picked this one), the next free one.
fs::Result<QByteArray> exportUnderFreeName(int sourceFd, const QByteArray& sourcePath, int folderFd,
                                           const QByteArray& folderPath, const QByteArray& name,
                                           std::stop_token stop, const fs::CopyProgress& onProgress) {
    fs::Result<fs::StagedCopy> staged = fs::stageCopy(sourceFd, sourcePath, folderFd, folderPath,
                                                      fs::systemCopyCalls(), std::move(stop), onProgress);
    if (!staged) return staged.error();
    QByteArray candidate = name;
    if (QString::fromUtf8(name).toUtf8() != name) {
        // Not UTF-8: the counter goes into the bytes themselves, which no QString could carry.
        const qsizetype dot = name.lastIndexOf('.');
        const QByteArray base = dot > 0 ? name.left(dot) : name;
        const QByteArray extension = dot > 0 ? name.mid(dot) : QByteArray{};
        for (int counter = 2;; ++counter) {
            fs::Result<void> published = staged.value().publish(candidate);
            if (published) return candidate;
            if (published.error().kind() != fs::IoErrorKind::alreadyExists || counter > kMaxExportCounter)
                return published.error();
            candidate = base + " (" + QByteArray::number(counter) + ")" + extension;
        }
    }
    QSet<QString> tried;
    const auto isTaken = [folderFd](const QString& text) {
        struct stat info;
        return ::fstatat(folderFd, QFile::encodeName(text).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    };
    for (;;) {
        fs::Result<void> published = staged.value().publish(candidate);
        if (published) return candidate;
        if (published.error().kind() != fs::IoErrorKind::alreadyExists) return published.error();
        tried.insert(QFile::decodeName(candidate));
        const std::optional<QString> next = uniqueName(QFile::decodeName(name), tried, isTaken);
        if (!next) return published.error();  // every counter taken: the error says the name exists
        candidate = QFile::encodeName(*next);
    }
}

PlatformError ioFailure(const fs::IoError& error) {
    const int code = error.kind() == fs::IoErrorKind::system ? error.errorNumber() : 1100 + int(error.kind());
    return PlatformError{kDomain, code, error.message()};
}

PlatformError goneError() {
    return PlatformError{kDomain, kGoneCode, reelkeep::tr("The video is no longer in the library.")};
}

PlatformError favoritesFailure(const store::StoreError& error) {
    QString text = error.message();
    if (error.kind() == store::StoreErrorKind::unavailable)
        text += QStringLiteral(". ") +
                tr("Reelkeep needs this file to know your favorites: make sure it is a regular file on a "
                   "disk with free space and that no other program holds it, then scan again.");
    return PlatformError{kDomain, kStoreCode, text};
}

bool isReadableFolder(const QByteArray& path, const fs::RootProbe& probe) {
    if (!path.startsWith('/')) return false;
    bool isFolder = false;
    return probe(path, &isFolder) == 0 && isFolder;
}

const FolderAsset* asFolderAsset(const AssetRef& asset) {
    return dynamic_cast<const FolderAsset*>(asset.get());
}

// The scanned file is still there, unchanged, as a regular file, reached
// without a symlink (and past PATH_MAX).
bool isUnchanged(const ScannedFile& file) {
    return fs::verifyPath(file.path, file.fingerprint).ok();
}

thread_local bool t_isNotifying = false;

// Symlinks resolved, as the walk reports paths; the path itself when it cannot be.
QByteArray resolvedOrSame(const QByteArray& path) {
    char* resolved = ::realpath(path.constData(), nullptr);
    const QByteArray canonical = resolved ? QByteArray(resolved) : path;
    std::free(resolved);
    return canonical;
}

// The display location of each file's folder, made once per folder: a library
// of 100,000 videos has a few hundred folders, and their videos share the text.
class FolderLocations {
public:
    explicit FolderLocations(const std::vector<QByteArray>& roots) {
        for (const QByteArray& root : roots) {
            // The walk reports canonical paths; the user knows the root by the name they gave it.
            m_roots.push_back({resolvedOrSame(root), fs::displayName(root)});
        }
    }

    VideoLocationRef of(const QByteArray& filePath) const {
        const std::optional<fs::SplitPath> split = fs::splitPath(filePath);
        const QByteArray folder = split ? split->parent : filePath;
        VideoLocationRef& known = m_byFolder[folder];
        if (known) return known;
        auto location = std::make_shared<VideoLocation>();
        location->folderPath = fs::displayPath(folder);
        location->folder = location->folderPath;
        // The innermost root holding it, should roots nest.
        const Root* best = nullptr;
        for (const Root& root : m_roots)
            if (fs::isSameOrInside(folder, root.canonical) &&
                (!best || root.canonical.size() > best->canonical.size()))
                best = &root;
        if (best && best->canonical != "/")
            location->folder = best->name + fs::displayPath(folder.mid(best->canonical.size()));
        known = std::move(location);
        return known;
    }

private:
    struct Root {
        QByteArray canonical;
        QString name;
    };
    std::vector<Root> m_roots;
    mutable QHash<QByteArray, VideoLocationRef> m_byFolder;
};

// The walk on a thread of its own while the caller looks up in the index the
// files of each folder it has finished, at least kLookupBatch at a time so that
// each transaction is worth its cost. Keys and answers stay in walk order. The
// keys are made by the caller: they are freed by it too, and memory freed into
// another thread's arena would not serve the rest of the fetch.
class WalkWithLookup {
public:
    WalkWithLookup(const std::vector<QByteArray>& roots, const fs::VideoNamePredicate& isVideoName,
                   MetadataSink& index, const FetchControl& control) {
        const auto walk = [this, &roots, &isVideoName, &control] {
            qsizetype foundCount = 0;
            fs::WalkResult result =
                fs::walkRoots(roots, isVideoName, control.stop, [&](std::span<const fs::WalkEntry> found) {
                    {
                        std::lock_guard lock(m_mutex);
                        for (const fs::WalkEntry& entry : found)
                            m_queued.push_back(Found{entry.path, entry.fingerprint});
                        if (m_queued.size() >= kLookupBatch) m_wake.notify_one();
                    }
                    // Repeats are still in (see fs::WalkProgress): a count for the eye only.
                    foundCount += qsizetype(found.size());
                    if (control.onFound && !found.empty()) control.onFound(foundCount);
                });
            std::lock_guard lock(m_mutex);
            m_walk = std::move(result);
            m_isWalked = true;
            m_wake.notify_one();
        };
        std::thread walker;
        try {
            walker = std::thread(walk);
        } catch (const std::system_error& error) {
            // No thread to spare: walk first, then look up.
            qWarning().noquote() << "reelkeep: index lookups not overlapped:" << error.what();
            walk();
        }
        lookUpUntilWalked(index);
        if (walker.joinable()) walker.join();
    }

    // Batches in walk order, one key and answer per file the walk found,
    // repeats included (see fs::WalkProgress). Kept apart rather than appended
    // to one list, which would grow by copying: the caller frees each as it goes.
    struct Batch {
        std::vector<store::IndexKey> keys;
        std::vector<std::optional<store::IndexedMetadata>> answers;
    };
    fs::WalkResult& walk() { return m_walk; }
    std::vector<Batch>& batches() { return m_batches; }
    std::size_t keyCount() const { return m_keyCount; }

private:
    // The index's own batch: fewer keys would cost a transaction each.
    static constexpr std::size_t kLookupBatch = 200;

    struct Found {
        QByteArray path;
        fs::FileFingerprint fingerprint;
    };

    void lookUpUntilWalked(MetadataSink& index) {
        for (;;) {
            std::vector<Found> found;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_isWalked || m_queued.size() >= kLookupBatch; });
                if (m_queued.empty()) return;
                found.swap(m_queued);
            }
            std::vector<store::IndexKey> batch;
            batch.reserve(found.size());
            for (const Found& file : found)
                batch.push_back(store::IndexKey{fs::percentEncodePath(file.path).toStdString(),
                                                storeFingerprint(file.fingerprint)});
            found = {};
            m_keyCount += batch.size();
            std::vector<std::optional<store::IndexedMetadata>> answers = index.lookup(batch);
            m_batches.push_back(Batch{std::move(batch), std::move(answers)});
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Found> m_queued;  // guarded by m_mutex
    bool m_isWalked = false;      // guarded by m_mutex
    fs::WalkResult m_walk;        // guarded by m_mutex until the walker is joined
    std::vector<Batch> m_batches;
    std::size_t m_keyCount = 0;
};

}  // namespace

// The favorites store behind a mutex, opened on first use. A damaged store was
// moved aside by open(): opening again would make an empty one and quietly show
// every video as non-favorite, so the damage is remembered for the session.
class FavoritesAccess {
public:
    explicit FavoritesAccess(QString path) : m_path(std::move(path)) {}

    store::StoreResult<std::set<std::string>> reattachAndRead(std::span<const store::ListedFile> listing) {
        std::lock_guard lock(m_mutex);
        if (store::StoreStatus error = openLocked()) return *error;
        if (!m_store->isReadOnly()) {
            if (auto moved = m_store->reattach(listing); !moved)
                qWarning().noquote() << "reelkeep: favorites not re-attached:" << moved.error().message();
        }
        return m_store->favorites();
    }

    store::StoreStatus setFavorite(std::span<const store::ListedFile> files, bool isFavorite) {
        std::lock_guard lock(m_mutex);
        if (store::StoreStatus error = openLocked()) return error;
        return m_store->setFavorite(files, isFavorite);
    }

    static bool isFatal(const store::StoreError& error) {
        return error.kind() == store::StoreErrorKind::damaged ||
               error.kind() == store::StoreErrorKind::newerSchema ||
               error.kind() == store::StoreErrorKind::foreign;
    }

private:
    store::StoreStatus openLocked() {
        if (m_store) return std::nullopt;
        if (m_fatal) return m_fatal;
        auto opened = store::FavoritesStore::open(m_path);
        if (!opened) {
            if (isFatal(opened.error())) m_fatal = opened.error();
            return opened.error();
        }
        m_store = std::move(opened).value();
        return std::nullopt;
    }

    std::mutex m_mutex;
    QString m_path;
    std::unique_ptr<store::FavoritesStore> m_store;
    std::optional<store::StoreError> m_fatal;
};

// One asynchronous request still owed its one answer.
struct FolderLibrary::Pending {
    std::atomic<bool> isAnswered{false};
    std::stop_source stop;
    std::atomic<SerialExecutor::TimerId> timer{0};
    std::function<void(DeletionCompletion)> onDeletion;
    std::function<void(FavoriteCompletion)> onFavorite;
    std::function<void(RestoreCompletion)> onRestore;
    std::function<void(std::optional<PlatformError>)> onWrite;
    std::function<void(ImageResult)> onImage;
    std::function<void(VideoRequestResult)> onVideo;
    std::function<void(CopyCheck)> onCopyCheck;

    bool claim() { return !isAnswered.exchange(true); }
};

std::shared_ptr<FolderLibrary> FolderLibrary::create(FolderLibraryOptions options) {
    return std::shared_ptr<FolderLibrary>(new FolderLibrary(std::move(options)));
}

FolderLibrary::FolderLibrary(FolderLibraryOptions options)
    : m_options(std::move(options)),
      m_isVideoName(m_options.isVideoName ? m_options.isVideoName : fs::defaultVideoNamePredicate()),
      m_trash(m_options.trash ? *m_options.trash : fs::systemTrashOptions()),
      m_rootProbe(fs::probeWithAnswerLimit(
          m_options.mountInputs ? m_options.mountInputs->probe : fs::systemRootProbe(),
          m_options.rootAnswerLimit)),
      m_index(std::make_shared<MetadataSink>(store::MetadataIndex::open(
          m_options.indexPath.isEmpty() ? store::MetadataIndex::defaultPath() : m_options.indexPath,
          folderDateRule()))),
      m_favorites(std::make_shared<FavoritesAccess>(m_options.favoritesPath.isEmpty()
                                                        ? store::FavoritesStore::defaultPath()
                                                        : m_options.favoritesPath)),
      m_thumbnailRoot(m_options.thumbnailCacheRoot.isEmpty() ? media::ThumbnailDiskCache::defaultRoot()
                                                             : m_options.thumbnailCacheRoot),
      m_workers(m_options.thumbnailWorker ? std::make_shared<media::ThumbnailWorkerPool>(
                                                *m_options.thumbnailWorker, media::defaultWorkerLimits())
                                          : nullptr),
      m_readPool(std::make_shared<PoolExecutor>(kContainerReadThreads)) {}

FolderLibrary::~FolderLibrary() {
    m_closing.request_stop();  // a decode in a hung worker ends now, not at its limit
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
    m_readPool.reset();  // reads in flight finish and reach the index before it flushes
    m_index->flush();
}

LibraryPorts FolderLibrary::ports() {
    const std::shared_ptr<FolderLibrary> self = shared_from_this();
    return LibraryPorts{self, self, self, self, self, self, self, self, self, self};
}

std::optional<PlatformError> FolderLibrary::lastFetchError() const {
    std::lock_guard lock(m_mutex);
    return m_lastFetchError;
}

std::vector<QByteArray> FolderLibrary::walkedFolders() const {
    std::lock_guard lock(m_mutex);
    return m_walkedFolders;
}

// ---- Roots and access ------------------------------------------------------

std::optional<FolderChoice> FolderLibrary::savedChoice() const {
    {
        std::lock_guard lock(m_mutex);
        if (m_unsavedChoice) return m_unsavedChoice;
    }
    return readFolderChoice(m_options.choicePath.isEmpty() ? defaultFolderChoicePath()
                                                           : m_options.choicePath);
}

FolderLibrary::RootState FolderLibrary::resolveRootState() const {
    std::vector<QByteArray> configured = m_options.explicitRoots;
    if (configured.empty()) {
        const std::optional<FolderChoice> choice = savedChoice();
        if (choice && choice->folders.empty()) return RootState{{}, {}, AuthorizationStatus::denied};
        if (choice) configured = choice->folders;
        if (!choice && !m_options.sampleRoot.isEmpty()) configured = {m_options.sampleRoot};
    }
    fs::RootInputs inputs =
        m_options.defaultRootInputs ? *m_options.defaultRootInputs : fs::systemRootInputs({});
    inputs.explicitRoots = configured;
    const fs::ResolvedRoots resolved = fs::resolveRoots(inputs);

    RootState state;
    state.roots = resolved.roots;
    for (const QByteArray& root : resolved.roots)
        if (isReadableFolder(root, m_rootProbe)) state.usable.push_back(root);
    if (state.roots.empty())
        state.status = resolved.isExplicit ? AuthorizationStatus::denied : AuthorizationStatus::notDetermined;
    else if (state.usable.size() == state.roots.size())
        state.status = AuthorizationStatus::authorized;
    else if (!state.usable.empty())
        state.status = AuthorizationStatus::limited;
    else
        state.status = AuthorizationStatus::denied;
    return state;
}

// Blocking: the roots may sit on a drive that hangs a stat() for minutes.
AuthorizationStatus FolderLibrary::authorizationStatus(AccessLevel) const {
    return resolveRootState().status;
}

bool FolderLibrary::saveChoice(const std::vector<QByteArray>& folders) {
    const FolderChoice choice{folders};
    const QString path = m_options.choicePath.isEmpty() ? defaultFolderChoicePath() : m_options.choicePath;
    const bool isSaved = writeFolderChoice(path, choice);
    if (!isSaved) qWarning().noquote() << "reelkeep: could not save the chosen folders to" << path;
    std::lock_guard lock(m_mutex);
    // Unsaved, the choice still holds for this session rather than asking again.
    m_unsavedChoice = isSaved ? std::nullopt : std::optional{choice};
    return isSaved;
}

void FolderLibrary::requestAuthorization(AccessLevel, std::function<void(AuthorizationStatus)> handler) {
    // The chooser is a window, so it runs here, on the caller's thread; it is
    // needed only before any folder was named, when the check looks at the
    // standard folders in the home folder alone.
    if (m_options.chooser && m_options.explicitRoots.empty() && !savedChoice() &&
        resolveRootState().status == AuthorizationStatus::notDetermined) {
        const std::optional<std::vector<QByteArray>> chosen = m_options.chooser->chooseFolders();
        saveChoice(chosen.value_or(std::vector<QByteArray>{}));
    }
    // Named folders may be on a drive that hangs: they are checked on the change thread.
    m_changes.post([this, handler = std::move(handler)]() mutable {
        AuthorizationStatus status = resolveRootState().status;
        if (status == AuthorizationStatus::notDetermined) status = AuthorizationStatus::denied;
        m_callbacks.post([handler = std::move(handler), status] { handler(status); });
    });
}

AuthorizationStatus FolderLibrary::reopenFolderChooser() {
    if (m_options.chooser)
        if (const auto chosen = m_options.chooser->chooseFolders()) saveChoice(*chosen);
    return resolveRootState().status;
}

LibraryFolderList FolderLibrary::libraryFolders() const {
    LibraryFolderList list;
    std::vector<QByteArray> folders = m_options.explicitRoots;
    if (!folders.empty()) {
        list.overriddenBy = m_options.explicitRootsSource;
    } else if (const std::optional<FolderChoice> choice = savedChoice()) {
        folders = choice->folders;
    } else if (!m_options.sampleRoot.isEmpty()) {
        folders = {m_options.sampleRoot};
        list.isDefault = true;
        list.isSample = true;
    } else {
        fs::RootInputs inputs =
            m_options.defaultRootInputs ? *m_options.defaultRootInputs : fs::systemRootInputs({});
        inputs.explicitRoots.clear();
        folders = fs::resolveRoots(inputs).roots;
        list.isDefault = true;
    }
    fs::MountInputs mounts = m_options.mountInputs ? *m_options.mountInputs : fs::systemMountInputs();
    mounts.probe = m_rootProbe;
    for (const QByteArray& folder : folders) {
        LibraryFolder entry{folder, {}, LibraryFolder::State::available};
        switch (fs::rootState(folder, mounts)) {
            case fs::RootState::available:
                entry.resolvedPath = fs::displayPath(resolvedOrSame(fs::cleanPath(folder)));
                break;
            case fs::RootState::missing:
                entry.state = LibraryFolder::State::missing;
                break;
            case fs::RootState::unreadable:
                entry.state = LibraryFolder::State::unreadable;
                break;
            case fs::RootState::notMounted:
                entry.state = LibraryFolder::State::notMounted;
                break;
            case fs::RootState::notAnswering:
                entry.state = LibraryFolder::State::notAnswering;
                break;
        }
        list.folders.append(std::move(entry));
    }
    return list;
}

bool FolderLibrary::setLibraryFolders(const std::vector<QByteArray>& folders) {
    std::vector<QByteArray> cleaned;
    for (const QByteArray& folder : folders)
        if (folder.startsWith('/')) cleaned.push_back(fs::cleanPath(folder));
    return saveChoice(cleaned);
}

QStringList FolderLibrary::libraryRoots() const {
    std::vector<QByteArray> roots;
    {
        std::lock_guard lock(m_mutex);
        roots = m_rootsInUse;
    }
    if (roots.empty()) roots = resolveRootState().usable;
    QStringList texts;
    for (const QByteArray& root : roots) texts.append(QFile::decodeName(root));
    return texts;
}

// ---- Fetch -------------------------------------------------------------------

FetchResult FolderLibrary::fetchVideos(const FetchControl& control) const {
    const RootState state = resolveRootState();
    if (state.status != AuthorizationStatus::authorized && state.status != AuthorizationStatus::limited) {
        std::lock_guard lock(m_mutex);
        clearScannedLocked();
        return {};
    }
    fs::WalkResult walk;
    std::vector<std::optional<store::IndexedMetadata>> indexed;
    std::vector<store::ListedFile> listing;
    {
        WalkWithLookup walked(state.usable, m_isVideoName, *m_index, control);
        walk = std::move(walked.walk());
        // Stopped: the last complete scan stays what the library knows.
        if (walk.isStopped) return {};
        const std::size_t count = walk.entries.size();
        // Each identifier is made once, as the index key; the listing then
        // takes it over, and the asset's own copy replaces it. Every temporary
        // goes as soon as it is used, so that the peak of a scan is little more
        // than what it keeps.
        const auto addListed = [&](store::IndexKey& key) {
            const store::FileFingerprint& fingerprint = key.fingerprint;
            listing.push_back(store::ListedFile{
                std::move(key.identifier), {fingerprint.device, fingerprint.inode, fingerprint.sizeBytes}});
        };
        listing.reserve(count);
        if (walked.keyCount() == count) {
            indexed.reserve(count);
            for (WalkWithLookup::Batch& batch : walked.batches()) {
                for (store::IndexKey& key : batch.keys) addListed(key);
                indexed.insert(indexed.end(), batch.answers.begin(), batch.answers.end());
                batch = {};
            }
        } else {
            // Repeats were dropped after the lookup began (hard links): ask again for the files that stayed.
            walked.batches() = {};
            std::vector<store::IndexKey> keys(count);
            for (std::size_t i = 0; i < count; ++i) {
                const fs::WalkEntry& entry = walk.entries[i];
                keys[i] = store::IndexKey{fs::percentEncodePath(entry.path).toStdString(),
                                          storeFingerprint(entry.fingerprint)};
            }
            indexed = m_index->lookup(keys);
            for (store::IndexKey& key : keys) addListed(key);
        }
    }
    for (const fs::IoError& skipped : walk.skippedFolders)
        qInfo().noquote() << "reelkeep: skipped:" << skipped.message();
    const std::size_t count = walk.entries.size();

    std::set<std::string> favorites;
    auto favoriteResult = m_favorites->reattachAndRead(listing);
    if (!favoriteResult) {
        // Unknown is not "not a favorite": such a list would let Select Extra
        // Copies pick a favorite. List nothing and say why.
        std::lock_guard lock(m_mutex);
        m_lastFetchError = favoritesFailure(favoriteResult.error());
        clearScannedLocked();
        return {};
    }
    favorites = std::move(favoriteResult).value();

    struct Dated {
        Timestamp date;
        std::uint32_t file;
    };
    // Files not read yet go by the date they would have without their container.
    const auto fileDate = [&](std::size_t i) {
        const fs::WalkEntry& entry = walk.entries[i];
        const std::string name = fs::splitPath(entry.path).value_or(fs::SplitPath{}).name.toStdString();
        return media::fileDate(name, entry.mtimeNs).date;
    };
    std::vector<Dated> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = {indexed[i] ? indexed[i]->creationDate : fileDate(i), static_cast<std::uint32_t>(i)};
    // Newest first; equal dates by path so that readdir order never reorders a rescan.
    std::sort(order.begin(), order.end(), [&](const Dated& a, const Dated& b) {
        if (a.date != b.date) return a.date > b.date;
        return walk.entries[a.file].path < walk.entries[b.file].path;
    });

    const auto scannedFile = [&](std::size_t i) {
        const fs::WalkEntry& entry = walk.entries[i];
        return ScannedFile{entry.path, entry.fingerprint, indexed[i] ? indexed[i]->creationDate : fileDate(i),
                           entry.linkCount > entry.linksInside ? entry.linkCount - entry.linksInside : 0,
                           entry.allocatedBytes};
    };
    std::vector<ScannedFile> unreadFiles;
    for (const Dated& dated : order)
        if (!indexed[dated.file]) unreadFiles.push_back(scannedFile(dated.file));
    const auto unread = unreadFiles.empty()
                            ? nullptr
                            : std::make_shared<UnreadFiles>(std::move(unreadFiles), metadataReaders(),
                                                            m_index, std::weak_ptr<Executor>(m_readPool));

    const FolderLocations locations(state.usable);
    // One block for every asset of the fetch: they are made and freed together,
    // 100,000 at a time. An asset kept after the next fetch keeps the block.
    const auto assets = std::make_shared<std::vector<FolderAsset>>();
    assets->reserve(count);
    FetchResult result;
    result.reserve(qsizetype(count));
    std::size_t unreadPosition = 0;
    for (const Dated& dated : order) {
        const std::uint32_t i = dated.file;
        std::string& identifier = listing[i].identifier;
        QString localIdentifier = QString::fromLatin1(identifier);
        const bool isFavorite = favorites.contains(identifier);
        std::string().swap(identifier);
        ScannedFile file = scannedFile(i);
        VideoLocationRef location = locations.of(file.path);
        walk.entries[i].path = QByteArray();
        if (indexed[i])
            assets->emplace_back(std::move(localIdentifier), std::move(file), isFavorite, *indexed[i]);
        else
            assets->emplace_back(std::move(localIdentifier), std::move(file), isFavorite, unread,
                                 unreadPosition++);
        assets->back().setLocation(std::move(location));
        result.append(AssetRef(assets, &assets->back()));
    }
    {
        std::lock_guard lock(m_mutex);
        clearScannedLocked();
        m_scanned = result;
        m_rootsInUse = state.usable;
        m_walkedFolders = std::move(walk.walkedFolders);
        m_lastFetchError.reset();
    }
    // The port's fetch is const, yet the watcher must follow the folders it walked.
    m_isWatcherStale = true;
    const_cast<FolderLibrary*>(this)->restartWatcher();
    return result;
}

void FolderLibrary::prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                                  const std::stop_token& stop) const {
    // The unindexed files of a slice sit in one run of their fetch's reading order.
    UnreadFiles* unread = nullptr;
    std::size_t first = 0, last = 0;
    const qsizetype end = std::min(assets.size(), start + count);
    for (qsizetype i = std::max<qsizetype>(start, 0); i < end; ++i) {
        const auto* asset = dynamic_cast<const FolderAsset*>(assets[i].get());
        if (!asset || !asset->unreadFiles()) continue;
        if (unread && asset->unreadFiles() != unread) {
            unread->prepare(first, last, stop);  // assets of two fetches: one run each
            unread = nullptr;
        }
        if (!unread) {
            unread = asset->unreadFiles();
            first = last = asset->unreadPosition();
        }
        first = std::min(first, asset->unreadPosition());
        last = std::max(last, asset->unreadPosition());
    }
    if (unread) unread->prepare(first, last, stop);
}

void FolderLibrary::clearScannedLocked() const {
    m_scanned = {};
    m_scannedByIdentifier = {};
}

// The lookup order is made on first use, not by the fetch: a scan from the
// command line never looks anything up, and a window does so long after.
std::optional<std::size_t> FolderLibrary::findScannedLocked(const QString& localIdentifier) const {
    const auto identifierAt = [this](std::uint32_t position) -> const QString& {
        return static_cast<const FolderAsset&>(*m_scanned[position]).identifier();
    };
    if (m_scannedByIdentifier.size() != std::size_t(m_scanned.size())) {
        m_scannedByIdentifier.resize(std::size_t(m_scanned.size()));
        std::iota(m_scannedByIdentifier.begin(), m_scannedByIdentifier.end(), std::uint32_t{0});
        std::sort(m_scannedByIdentifier.begin(), m_scannedByIdentifier.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return identifierAt(a) < identifierAt(b); });
    }
    const auto it = std::lower_bound(
        m_scannedByIdentifier.begin(), m_scannedByIdentifier.end(), localIdentifier,
        [&](std::uint32_t position, const QString& wanted) { return identifierAt(position) < wanted; });
    if (it == m_scannedByIdentifier.end() || identifierAt(*it) != localIdentifier) return std::nullopt;
    return *it;
}

std::shared_ptr<const FolderAsset> FolderLibrary::scannedAsset(const QString& localIdentifier) const {
    std::lock_guard lock(m_mutex);
    const std::optional<std::size_t> position = findScannedLocked(localIdentifier);
    if (!position) return nullptr;
    return std::static_pointer_cast<const FolderAsset>(m_scanned[qsizetype(*position)]);
}

FetchResult FolderLibrary::fetchAssets(const QStringList& localIdentifiers) const {
    FetchResult result;
    QSet<QString> seen;
    for (const QString& identifier : localIdentifiers) {
        if (seen.contains(identifier)) continue;
        seen.insert(identifier);
        std::shared_ptr<const FolderAsset> asset = scannedAsset(identifier);
        if (asset && isUnchanged(asset->file())) result.append(std::move(asset));
    }
    return result;
}

MetadataReaders FolderLibrary::metadataReaders() const {
    return MetadataReaders{m_options.readLimits, m_workers, m_workers != nullptr, m_closing.get_token()};
}

// A regular video file under a library folder, read again as the fetch would
// read it; null when there is none at the path (gone, hidden, not a video).
std::shared_ptr<const FolderAsset> FolderLibrary::rereadFile(
    const QByteArray& path, const std::shared_ptr<const FolderAsset>& scanned) const {
    std::vector<QByteArray> roots;
    {
        std::lock_guard lock(m_mutex);
        roots = m_rootsInUse;
    }
    const std::optional<fs::SplitPath> split = fs::splitPath(path);
    if (!split || split->name.startsWith('.') || path.contains("/.") || !m_isVideoName(split->name))
        return nullptr;
    const auto root = std::find_if(roots.begin(), roots.end(), [&](const QByteArray& candidate) {
        return fs::isSameOrInside(path, resolvedOrSame(candidate));
    });
    if (root == roots.end()) return nullptr;
    const fs::Result<fs::UniqueFd> folder = fs::openScannedFolder(split->parent);
    if (!folder) return nullptr;
    const fs::Result<struct stat> status = fs::statAt(folder.value().get(), split->name, path);
    if (!status || !S_ISREG(status.value().st_mode)) return nullptr;
    const fs::FileFingerprint fingerprint = fs::fingerprintOf(status.value());
    ScannedFile file{path, fingerprint, media::fileDate(split->name.toStdString(), fingerprint.mtimeNs).date,
                     status.value().st_nlink > 1 ? std::uint32_t(status.value().st_nlink - 1) : 0,
                     std::int64_t(status.value().st_blocks) * 512};
    QString identifier = fs::identifierForPath(path);
    const store::IndexKey key{fs::percentEncodePath(path).toStdString(), storeFingerprint(fingerprint)};
    const std::vector<std::optional<store::IndexedMetadata>> indexed = m_index->lookup(std::span(&key, 1));
    const bool isFavorite = scanned && scanned->isFavorite();  // the same name keeps its flag
    std::shared_ptr<FolderAsset> asset;
    if (!indexed.empty() && indexed.front()) {
        asset = std::make_shared<FolderAsset>(std::move(identifier), std::move(file), isFavorite,
                                              *indexed.front());
    } else {
        auto unread = std::make_shared<UnreadFiles>(std::vector<ScannedFile>{file}, metadataReaders(),
                                                    m_index, std::weak_ptr<Executor>(m_readPool));
        asset = std::make_shared<FolderAsset>(std::move(identifier), std::move(file), isFavorite,
                                              std::move(unread), 0);
    }
    asset->setLocation(FolderLocations({*root}).of(path));
    return asset;
}

FetchResult FolderLibrary::refreshAssets(const QStringList& localIdentifiers) const {
    FetchResult result;
    QSet<QString> seen;
    for (const QString& identifier : localIdentifiers) {
        if (seen.contains(identifier)) continue;
        seen.insert(identifier);
        std::shared_ptr<const FolderAsset> scanned = scannedAsset(identifier);
        if (scanned && isUnchanged(scanned->file())) {
            result.append(std::move(scanned));
            continue;
        }
        const std::optional<QByteArray> path = fs::pathForIdentifier(identifier);
        std::shared_ptr<const FolderAsset> fresh = path ? rereadFile(*path, scanned) : nullptr;
        if (!fresh) continue;
        std::lock_guard lock(m_mutex);
        if (const std::optional<std::size_t> position = findScannedLocked(identifier)) {
            m_scanned[qsizetype(*position)] = fresh;
        } else {
            m_scanned.append(fresh);
            m_scannedByIdentifier.clear();  // sorted again on the next lookup
        }
        result.append(std::move(fresh));
    }
    return result;
}

QList<AssetResource> FolderLibrary::resources(const Asset& asset) const {
    const auto* folderAsset = dynamic_cast<const FolderAsset*>(&asset);
    if (!folderAsset) return {};
    return {AssetResource{int(ResourceType::video), fs::displayName(folderAsset->file().path),
                          folderAsset->file().fingerprint.sizeBytes, folderAsset->localIdentifier(), 0}};
}

std::optional<std::int64_t> FolderLibrary::allocatedBytes(const QString& localIdentifier) const {
    const std::shared_ptr<const FolderAsset> asset = scannedAsset(localIdentifier);
    if (!asset || asset->file().allocatedBytes < 0) return std::nullopt;
    return asset->file().allocatedBytes;
}

std::optional<DateSource> FolderLibrary::dateSource(const QString& localIdentifier) const {
    const std::shared_ptr<const FolderAsset> asset = scannedAsset(localIdentifier);
    if (!asset) return std::nullopt;
    return asset->dateSource();
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

// ---- Requests ----------------------------------------------------------------

RequestId FolderLibrary::addPending(std::shared_ptr<Pending> pending) {
    std::lock_guard lock(m_mutex);
    const RequestId id = m_nextRequest++;
    m_pending.emplace(id, std::move(pending));
    return id;
}

std::shared_ptr<FolderLibrary::Pending> FolderLibrary::findPending(RequestId id) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_pending.find(id);
    return it == m_pending.end() ? nullptr : it->second;
}

void FolderLibrary::forgetPending(RequestId id) {
    std::lock_guard lock(m_mutex);
    m_pending.erase(id);
}

// ---- Changes -----------------------------------------------------------------

RequestId FolderLibrary::deleteAssets(const FetchResult& assets,
                                      std::function<void(DeletionCompletion)> handler) {
    auto pending = std::make_shared<Pending>();
    pending->onDeletion = std::move(handler);
    const RequestId id = addPending(pending);
    m_changes.post([this, id, pending, assets] {
        DeletionCompletion completion;
        const std::stop_token stop = pending->stop.get_token();
        for (const AssetRef& asset : assets) {
            // Between items only: a rename in progress is never interrupted.
            if (stop.stop_requested()) {
                completion.requestError = cancelledError();
                break;
            }
            const FolderAsset* folderAsset = asFolderAsset(asset);
            if (!folderAsset) {
                completion.items.append({asset->localIdentifier(), goneError()});
                continue;
            }
            const fs::Result<fs::TrashedFile> moved =
                fs::moveToTrash(folderAsset->file().path, folderAsset->file().fingerprint, m_trash);
            if (moved)
                m_trashed.insert_or_assign(asset->localIdentifier(), TrashedAsset{moved.value(), asset});
            completion.items.append({asset->localIdentifier(),
                                     moved ? std::nullopt : std::optional{ioFailure(moved.error())},
                                     moved ? fs::displayPath(moved->filePath) : QString()});
        }
        m_callbacks.post([this, id, pending, completion = std::move(completion)] {
            forgetPending(id);
            if (pending->claim()) pending->onDeletion(completion);
        });
    });
    return id;
}

// ---- Copies ------------------------------------------------------------------

RequestId FolderLibrary::checkCopies(std::function<void(CopyCheckProgress)> progress,
                                     std::function<void(CopyCheck)> handler) {
    auto pending = std::make_shared<Pending>();
    pending->onCopyCheck = std::move(handler);
    const RequestId id = addPending(pending);
    FetchResult scanned;
    {
        std::lock_guard lock(m_mutex);
        scanned = m_scanned;
    }
    m_copyChecks.post([this, id, pending, scanned, progress = std::move(progress)] {
        fs::useIdleIoPriority();
        // Closing the library ends a check at once, not after its last group.
        const std::stop_callback onClosing(m_closing.get_token(),
                                           [pending] { pending->stop.request_stop(); });
        CopyCheck check = checkScannedCopies(scanned, progress, pending->stop.get_token());
        m_callbacks.post([this, id, pending, check = std::move(check)] {
            forgetPending(id);
            if (pending->claim()) pending->onCopyCheck(check);
        });
    });
    return id;
}

RequestId FolderLibrary::restoreAssets(const QStringList& localIdentifiers,
                                       std::function<void(RestoreCompletion)> handler) {
    auto pending = std::make_shared<Pending>();
    pending->onRestore = std::move(handler);
    const RequestId id = addPending(pending);
    m_changes.post([this, id, pending, localIdentifiers] {
        RestoreCompletion completion;
        const std::stop_token stop = pending->stop.get_token();
        for (const QString& identifier : localIdentifiers) {
            // Between items only; those put back before the stop are reported as back.
            if (stop.stop_requested()) {
                completion.items.append({identifier, cancelledError()});
                continue;
            }
            const auto trashed = m_trashed.find(identifier);
            if (trashed == m_trashed.end()) {
                completion.items.append({identifier, goneError()});
                continue;
            }
            const FolderAsset& asset = static_cast<const FolderAsset&>(*trashed->second.asset);
            const fs::Result<void> restored =
                fs::restoreFromTrash(trashed->second.entry, asset.file().path, asset.file().fingerprint);
            if (!restored) {
                completion.items.append({identifier, ioFailure(restored.error())});
                continue;
            }
            // Back under its old name: the scanned asset is true again, with the
            // ctime the moves gave it (checked to be the same file just now).
            AssetRef back = trashed->second.asset;
            if (const fs::Result<struct stat> status = fs::statScannedPath(asset.file().path))
                back = asset.withFingerprint(fs::fingerprintOf(status.value()));
            {
                std::lock_guard lock(m_mutex);
                if (const std::optional<std::size_t> position = findScannedLocked(identifier)) {
                    m_scanned[qsizetype(*position)] = std::move(back);
                } else {
                    m_scanned.append(std::move(back));
                    m_scannedByIdentifier = {};
                }
            }
            m_trashed.erase(trashed);
            completion.items.append({identifier, std::nullopt});
        }
        m_callbacks.post([this, id, pending, completion = std::move(completion)] {
            forgetPending(id);
            if (pending->claim()) pending->onRestore(completion);
        });
    });
    return id;
}

void FolderLibrary::cancelCopyCheck(RequestId id) {
    if (const std::shared_ptr<Pending> pending = findPending(id)) pending->stop.request_stop();
}

void FolderLibrary::replaceFavoriteFlags(const FetchResult& assets, bool isFavorite) {
    std::lock_guard lock(m_mutex);
    for (const AssetRef& asset : assets) {
        if (const std::optional<std::size_t> position = findScannedLocked(asset->localIdentifier())) {
            AssetRef& scanned = m_scanned[qsizetype(*position)];
            scanned = static_cast<const FolderAsset&>(*scanned).withFavorite(isFavorite);
        }
    }
}

RequestId FolderLibrary::setFavorite(const FetchResult& assets, bool isFavorite,
                                     std::function<void(FavoriteCompletion)> handler) {
    auto pending = std::make_shared<Pending>();
    pending->onFavorite = std::move(handler);
    const RequestId id = addPending(pending);
    m_changes.post([this, id, pending, assets, isFavorite] {
        FavoriteCompletion completion;
        if (pending->stop.stop_requested()) {
            completion.error = cancelledError();
        } else {
            std::vector<store::ListedFile> files;
            bool isAnyGone = assets.isEmpty();
            for (const AssetRef& asset : assets) {
                const FolderAsset* folderAsset = asFolderAsset(asset);
                // A file replaced since the scan is not the video the user marked;
                // marking only the others would report a change that was not made.
                if (!folderAsset || !isUnchanged(folderAsset->file())) {
                    isAnyGone = true;
                    break;
                }
                const fs::FileFingerprint& fingerprint = folderAsset->file().fingerprint;
                files.push_back(
                    store::ListedFile{asset->localIdentifier().toStdString(),
                                      {fingerprint.device, fingerprint.inode, fingerprint.sizeBytes}});
            }
            if (isAnyGone) {
                completion.error = goneError();
            } else if (const store::StoreStatus error = m_favorites->setFavorite(files, isFavorite)) {
                completion.error = PlatformError{kDomain, kStoreCode, error->message()};
            } else {
                replaceFavoriteFlags(assets, isFavorite);
                completion.success = true;
            }
        }
        m_callbacks.post([this, id, pending, completion = std::move(completion)] {
            forgetPending(id);
            if (pending->claim()) pending->onFavorite(completion);
        });
    });
    return id;
}

void FolderLibrary::cancelChange(RequestId id) {
    if (const std::shared_ptr<Pending> pending = findPending(id)) pending->stop.request_stop();
}

// ---- Export ------------------------------------------------------------------

RequestId FolderLibrary::writeResourceData(const AssetResource& resource, const QString& destinationPath,
                                           ExportNaming naming, bool,
                                           std::function<void(std::optional<PlatformError>)> handler,
                                           WriteObserver observer) {
    auto pending = std::make_shared<Pending>();
    pending->onWrite = std::move(handler);
    const RequestId id = addPending(pending);
    m_changes.post([this, id, pending, resource, destinationPath, naming, observer = std::move(observer)] {
        const auto write = [&]() -> std::optional<PlatformError> {
            const std::shared_ptr<const FolderAsset> asset = scannedAsset(resource.assetIdentifier);
            if (!asset) return goneError();
            const QByteArray destination = fs::cleanPath(QFile::encodeName(destinationPath));
            const std::optional<fs::SplitPath> split = fs::splitPath(destination);
            if (!destination.startsWith('/') || !split || split->name.isEmpty() || split->name == "." ||
                split->name == "..")
                return PlatformError{
                    kDomain, kInvalidCode,
                    reelkeep::tr("“%1” is not a file name that can be written.").arg(destinationPath)};
            fs::Result<fs::UniqueFd> source =
                fs::openVerifiedPath(asset->file().path, asset->file().fingerprint);
            if (!source) return ioFailure(source.error());
            // The name offered was the source's, shown as text; a name that is not
            // UTF-8 lost bytes on the way, so the source's own bytes are used.
            QByteArray name = split->name;
            const std::optional<fs::SplitPath> sourceSplit = fs::splitPath(asset->file().path);
            if (sourceSplit && name != sourceSplit->name &&
                name == QFile::encodeName(fs::displayName(asset->file().path)))
                name = sourceSplit->name;
            fs::Result<fs::UniqueFd> folder = fs::openChosenFolder(split->parent);
            if (!folder) return ioFailure(folder.error());
            const fs::CopyProgress onProgress = observer.onProgress;
            fs::Result<QByteArray> exported = name;
            if (naming == ExportNaming::exactName) {
                const fs::Result<void> written =
                    fs::exportFile(source->get(), asset->file().path, folder->get(), split->parent, name,
                                   fs::systemCopyCalls(), pending->stop.get_token(), onProgress);
                if (!written) exported = written.error();
            } else {
                exported = exportUnderFreeName(source->get(), asset->file().path, folder->get(),
                                               split->parent, name, pending->stop.get_token(), onProgress);
            }
            if (exported) {
                if (observer.onWritten)
                    observer.onWritten((split->parent.endsWith('/') ? split->parent : split->parent + '/') +
                                       exported.value());
                return std::nullopt;
            }
            if (exported.error().kind() == fs::IoErrorKind::stopped) return cancelledError();
            return ioFailure(exported.error());
        };
        std::optional<PlatformError> error =
            pending->stop.stop_requested() ? std::optional{cancelledError()} : write();
        m_callbacks.post([this, id, pending, error = std::move(error)] {
            forgetPending(id);
            if (pending->claim()) pending->onWrite(error);
        });
    });
    return id;
}

void FolderLibrary::cancelWrite(RequestId id) {
    if (const std::shared_ptr<Pending> pending = findPending(id)) pending->stop.request_stop();
}

// ---- Thumbnails --------------------------------------------------------------

RequestId FolderLibrary::requestImage(const AssetRef& asset, QSize targetPixels, int,
                                      const ImageRequestOptions&, std::function<void(ImageResult)> handler) {
    auto pending = std::make_shared<Pending>();
    pending->onImage = std::move(handler);
    const RequestId id = addPending(pending);
    const auto answer = [this, id, pending](ImageResult result) {
        m_callbacks.post([this, id, pending, result = std::move(result)] {
            if (!pending->claim()) return;
            m_callbacks.cancelTimer(pending->timer);
            forgetPending(id);
            pending->onImage(result);
        });
    };
    pending->timer = m_callbacks.postAfter(kImageRequestTimeLimit, [answer] {
        answer(ImageResult{
            std::nullopt, false, false,
            PlatformError{kDomain, kTimeoutCode, reelkeep::tr("The thumbnail took too long to make.")}});
    });

    const FolderAsset* folderAsset = asFolderAsset(asset);
    if (!folderAsset) {
        answer(ImageResult{std::nullopt, false, false, goneError()});
        return id;
    }
    const ScannedFile file = folderAsset->file();
    const media::ThumbnailFlavor flavor = std::max(targetPixels.width(), targetPixels.height()) >
                                                  media::maxPixelSize(media::ThumbnailFlavor::normal)
                                              ? media::ThumbnailFlavor::large
                                              : media::ThumbnailFlavor::normal;
    m_decodePool.post([this, pending, answer, file, flavor] {
        if (pending->stop.stop_requested() || pending->isAnswered) return;
        const media::ThumbnailDiskCache cache(m_thumbnailRoot);
        const media::ThumbnailSubject subject{file.path, file.fingerprint.mtimeNs / kNsPerSecond,
                                              file.fingerprint.sizeBytes};
        if (!isUnchanged(file)) return answer(ImageResult{std::nullopt, false, false, goneError()});
        if (std::optional<QImage> cached = cache.lookup(subject, flavor))
            return answer(ImageResult{std::move(*cached), false, false, std::nullopt});
        if (cache.hasRecordedFailure(subject))
            return answer(ImageResult{
                std::nullopt, false, false,
                PlatformError{kDomain, kMediaCode, reelkeep::tr("This video has no picture to show.")}});
        fs::Result<fs::UniqueFd> fd = fs::openVerifiedPath(file.path, file.fingerprint);
        if (!fd) return answer(ImageResult{std::nullopt, false, false, ioFailure(fd.error())});
        media::InputLimits limits = m_options.readLimits;
        limits.timeLimit = kDecodeTimeLimit;
        media::MediaResult<QImage> frame =
            m_workers ? m_workers->decode(fd->get(), media::maxPixelSize(flavor), limits, kDecodeTimeLimit,
                                          m_closing.get_token())
                      : media::decodeThumbnail(fd->get(), media::maxPixelSize(flavor), limits);
        if (!frame) {
            const media::MediaErrorKind kind = frame.error().kind();
            // Only a lasting fault is remembered; a slow disk or a refusal is tried again.
            if (kind != media::MediaErrorKind::timedOut && kind != media::MediaErrorKind::unreadable)
                cache.recordFailure(subject);
            return answer(ImageResult{std::nullopt, false, false,
                                      PlatformError{kDomain, kMediaCode, frame.error().message()}});
        }
        cache.store(subject, flavor, frame.value());
        answer(ImageResult{std::move(frame).value(), false, false, std::nullopt});
    });
    return id;
}

void FolderLibrary::cancelImageRequest(RequestId id) {
    const std::shared_ptr<Pending> pending = findPending(id);
    if (!pending) return;
    pending->stop.request_stop();
    m_callbacks.post([this, id, pending] {
        if (!pending->claim()) return;
        m_callbacks.cancelTimer(pending->timer);
        forgetPending(id);
        pending->onImage(ImageResult{std::nullopt, false, true, std::nullopt});
    });
}

// ---- Previews ----------------------------------------------------------------

QString FolderLibrary::previewPath(fs::UniqueFd fd) {
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd.get());
    std::lock_guard lock(m_mutex);
    m_previewFds.push_back(std::move(fd));
    while (m_previewFds.size() > kPreviewDescriptors) m_previewFds.pop_front();
    return path;
}

RequestId FolderLibrary::requestPlayableVideo(const AssetRef& asset, const VideoRequestOptions&,
                                              std::function<void(VideoRequestResult)> handler) {
    auto pending = std::make_shared<Pending>();
    pending->onVideo = std::move(handler);
    const RequestId id = addPending(pending);
    const auto answer = [this, id, pending](VideoRequestResult result) {
        m_callbacks.post([this, id, pending, result = std::move(result)] {
            forgetPending(id);
            if (pending->claim()) pending->onVideo(result);
        });
    };
    std::shared_ptr<const FolderAsset> folderAsset = std::dynamic_pointer_cast<const FolderAsset>(asset);
    if (!folderAsset) {
        answer(VideoRequestResult{std::nullopt, goneError()});
        return id;
    }
    m_decodePool.post([this, pending, answer, folderAsset] {
        if (pending->stop.stop_requested()) return;
        fs::Result<fs::UniqueFd> fd =
            fs::openVerifiedPath(folderAsset->file().path, folderAsset->file().fingerprint);
        if (!fd) return answer(VideoRequestResult{std::nullopt, ioFailure(fd.error())});
        const store::IndexedMetadata& metadata = folderAsset->metadata();
        // The descriptor, not the name: a name that is not UTF-8 still plays, and
        // a file swapped in under the same name after the check is never shown.
        PlayableVideo video{previewPath(std::move(fd).value()), metadata.hasDecodableVideo,
                            metadata.lengthSeconds};
        answer(VideoRequestResult{std::move(video), std::nullopt});
    });
    return id;
}

void FolderLibrary::cancelVideoRequest(RequestId id) {
    const std::shared_ptr<Pending> pending = findPending(id);
    if (!pending) return;
    pending->stop.request_stop();
    m_callbacks.post([this, id, pending] {
        forgetPending(id);
        if (pending->claim()) pending->onVideo(VideoRequestResult{std::nullopt, cancelledError()});
    });
}

// ---- Change observation ------------------------------------------------------

void FolderLibrary::restartWatcher() {
    std::unique_ptr<fs::ChangeWatcher> old;
    std::unique_ptr<fs::ChangeWatcher> retired;
    {
        std::lock_guard lock(m_listenerMutex);
        if (m_listeners.empty() || (m_watcher && !m_isWatcherStale)) return;
        const std::vector<QByteArray> folders = walkedFolders();
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
        auto watcher =
            std::make_unique<fs::ChangeWatcher>(m_isVideoName, std::move(callbacks), m_options.watchTiming);
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
LibraryChange FolderLibrary::changeFor(const fs::ChangeBatch& batch) const {
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
    if (!folders.empty()) {
        std::lock_guard lock(m_mutex);
        for (const AssetRef& asset : m_scanned) {
            const QByteArray& path = static_cast<const FolderAsset&>(*asset).file().path;
            for (const QByteArray& folder : folders)
                if (fs::isSameOrInside(path, folder)) identifiers.insert(asset->localIdentifier());
        }
    }
    QStringList list(identifiers.begin(), identifiers.end());
    list.sort();
    return LibraryChange{std::move(list)};
}

void FolderLibrary::notifyListeners(const LibraryChange& change) {
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

void FolderLibrary::registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener) {
    {
        std::lock_guard lock(m_listenerMutex);
        m_listeners.push_back(std::move(listener));
    }
    restartWatcher();
}

void FolderLibrary::unregisterChangeObserver(const LibraryChangeListener* listener) {
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

}  // namespace reelkeep
