// folder_scan.cpp: walk and index lookup, order, assets; reading files again.
// Each stage owns what it is handed and frees each piece once it is used, so
// that the peak of a scan is little more than what it keeps.
#include "platform/folder/folder_scan.h"

#include <sys/stat.h>

#include <QDebug>
#include <QHash>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

#include "platform/folder/favorites_access.h"
#include "platform/folder/folder_errors.h"
#include "platform/folder/folder_roots.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/media/creation_date.h"
#include "platform/folder/scanned_assets.h"

namespace reelkeep {
namespace {

// Thread count of the container-read pool: the machines we aim at have two cores.
constexpr int kContainerReadThreads = 2;

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
        // Looked up by the bytes before the last slash, not copied: a scan asks once a file.
        const qsizetype slash = filePath.lastIndexOf('/');
        const QByteArray written =
            QByteArray::fromRawData(filePath.constData(), std::max<qsizetype>(slash, 0));
        if (const auto known = m_byFolder.constFind(written); known != m_byFolder.cend()) return *known;
        // Once a folder: the folder as splitPath gives it, the path cleaned first.
        const std::optional<fs::SplitPath> split = fs::splitPath(filePath);
        const QByteArray folder = split ? split->parent : filePath;
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
        return m_byFolder[QByteArray(written.constData(), written.size())] = std::move(location);
    }

private:
    struct Root {
        QByteArray canonical;
        QString name;
    };
    std::vector<Root> m_roots;
    mutable QHash<QByteArray, VideoLocationRef> m_byFolder;
};

store::IndexKey indexKey(const QByteArray& path, const fs::FileFingerprint& fingerprint) {
    return store::IndexKey{fs::percentEncodePath(path).toStdString(), storeFingerprint(fingerprint)};
}

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

    // The paths go as their keys are made, before the lookup that follows.
    static std::vector<store::IndexKey> keysOf(std::vector<Found> found) {
        std::vector<store::IndexKey> keys;
        keys.reserve(found.size());
        for (const Found& file : found) keys.push_back(indexKey(file.path, file.fingerprint));
        return keys;
    }

    void lookUpUntilWalked(MetadataSink& index) {
        for (;;) {
            std::vector<Found> found;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_isWalked || m_queued.size() >= kLookupBatch; });
                if (m_queued.empty()) return;
                found.swap(m_queued);
            }
            std::vector<store::IndexKey> keys = keysOf(std::move(found));
            m_keyCount += keys.size();
            std::vector<std::optional<store::IndexedMetadata>> answers = index.lookup(keys);
            m_batches.push_back(Batch{std::move(keys), std::move(answers)});
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

// Files not read yet go by the date they would have without their container.
Timestamp fileDate(const fs::WalkEntry& entry) {
    const std::string name = fs::splitPath(entry.path).value_or(fs::SplitPath{}).name.toStdString();
    return media::fileDate(name, entry.mtimeNs).date;
}

}  // namespace

// What the walk found, in walk order: each file's index row when it is
// current, and its identifier and identity as the favorites store lists them.
struct FolderScan::WalkedFiles {
    fs::WalkResult walk;
    std::vector<std::optional<store::IndexedMetadata>> indexed;
    std::vector<store::ListedFile> listing;

    Timestamp dateOf(std::size_t i) const {
        return indexed[i] ? indexed[i]->creationDate : fileDate(walk.entries[i]);
    }
    ScannedFile scannedFile(std::size_t i) const {
        const fs::WalkEntry& entry = walk.entries[i];
        return ScannedFile{entry.path, entry.fingerprint, dateOf(i),
                           entry.linkCount > entry.linksInside ? entry.linkCount - entry.linksInside : 0,
                           entry.allocatedBytes};
    }
};

struct FolderScan::Dated {
    Timestamp date;
    std::uint32_t file;
};

std::optional<FolderScan::WalkedFiles> FolderScan::walkAndLookUp(const std::vector<QByteArray>& roots,
                                                                 const FetchControl& control) const {
    MetadataSink& index = *m_index;
    WalkWithLookup walked(roots, m_isVideoName, index, control);
    WalkedFiles files{std::move(walked.walk()), {}, {}};
    if (files.walk.isStopped) return std::nullopt;
    const std::size_t count = files.walk.entries.size();
    // Each identifier is made once, as the index key; the listing then takes
    // it over, and the asset's own copy replaces it.
    const auto addListed = [&](store::IndexKey& key) {
        const store::FileFingerprint& fingerprint = key.fingerprint;
        files.listing.push_back(store::ListedFile{
            std::move(key.identifier), {fingerprint.device, fingerprint.inode, fingerprint.sizeBytes}});
    };
    files.listing.reserve(count);
    if (walked.keyCount() == count) {
        files.indexed.reserve(count);
        for (WalkWithLookup::Batch& batch : walked.batches()) {
            WalkWithLookup::Batch taken = std::move(batch);  // freed before the next one
            for (store::IndexKey& key : taken.keys) addListed(key);
            files.indexed.insert(files.indexed.end(), taken.answers.begin(), taken.answers.end());
        }
    } else {
        // Repeats were dropped after the lookup began (hard links): ask again for the files that stayed.
        walked.batches() = {};
        std::vector<store::IndexKey> keys(count);
        for (std::size_t i = 0; i < count; ++i)
            keys[i] = indexKey(files.walk.entries[i].path, files.walk.entries[i].fingerprint);
        files.indexed = index.lookup(keys);
        for (store::IndexKey& key : keys) addListed(key);
    }
    return files;
}

FolderScan::FolderScan(fs::VideoNamePredicate isVideoName, std::shared_ptr<MetadataSink> index,
                       std::shared_ptr<FavoritesAccess> favorites, MetadataReaders readers,
                       ScannedAssets& scanned)
    : m_isVideoName(std::move(isVideoName)),
      m_index(std::move(index)),
      m_favorites(std::move(favorites)),
      m_readers(std::move(readers)),
      m_scanned(scanned),
      m_readPool(std::make_shared<PoolExecutor>(kContainerReadThreads)) {}

void FolderScan::stopReading() {
    m_readPool.reset();
}

std::shared_ptr<UnreadFiles> FolderScan::unreadFiles(std::vector<ScannedFile> files) const {
    return std::make_shared<UnreadFiles>(std::move(files), m_readers, m_index,
                                         std::weak_ptr<Executor>(m_readPool));
}

std::optional<FetchResult> FolderScan::fetch(const std::vector<QByteArray>& roots,
                                             const FetchControl& control) const {
    std::optional<WalkedFiles> files = walkAndLookUp(roots, control);
    if (!files) return std::nullopt;
    for (const fs::IoError& skipped : files->walk.skippedFolders)
        qInfo().noquote() << "reelkeep: skipped:" << skipped.message();

    auto favorites = m_favorites->reattachAndRead(files->listing);
    if (!favorites) {
        // Unknown is not "not a favorite": such a list would let Select Extra
        // Copies pick a favorite. List nothing and say why.
        m_scanned.fail(favoritesFailure(favorites.error()));
        return std::nullopt;
    }

    std::vector<Dated> order = newestFirst(*files);
    std::vector<QByteArray> walkedFolders = std::move(files->walk.walkedFolders);
    FetchResult result = makeAssets(std::move(*files), std::move(favorites).value(), std::move(order), roots);
    m_scanned.install(result, roots, std::move(walkedFolders));
    return result;
}

// Equal dates by path, so that readdir order never reorders a rescan.
std::vector<FolderScan::Dated> FolderScan::newestFirst(const WalkedFiles& files) {
    const std::vector<fs::WalkEntry>& entries = files.walk.entries;
    std::vector<Dated> order(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        order[i] = {files.dateOf(i), static_cast<std::uint32_t>(i)};
    std::sort(order.begin(), order.end(), [&](const Dated& a, const Dated& b) {
        if (a.date != b.date) return a.date > b.date;
        return entries[a.file].path < entries[b.file].path;
    });
    return order;
}

FetchResult FolderScan::makeAssets(WalkedFiles files, std::set<std::string> favorites,
                                   std::vector<Dated> order, const std::vector<QByteArray>& roots) const {
    std::vector<ScannedFile> unreadInOrder;
    for (const Dated& dated : order)
        if (!files.indexed[dated.file]) unreadInOrder.push_back(files.scannedFile(dated.file));
    const std::shared_ptr<UnreadFiles> unread =
        unreadInOrder.empty() ? nullptr : unreadFiles(std::move(unreadInOrder));

    const FolderLocations locations(roots);
    // One block for every asset of the fetch: they are made and freed together,
    // 100,000 at a time. An asset kept after the next fetch keeps the block.
    const auto assets = std::make_shared<std::vector<FolderAsset>>();
    assets->reserve(order.size());
    FetchResult result;
    result.reserve(qsizetype(order.size()));
    std::size_t unreadPosition = 0;
    for (const Dated& dated : order) {
        const std::uint32_t i = dated.file;
        // Taken, not copied: the walk's copies go as the assets take their place.
        const std::string identifier = std::move(files.listing[i].identifier);
        ScannedFile file = files.scannedFile(i);
        files.walk.entries[i].path = QByteArray();
        VideoLocationRef location = locations.of(file.path);
        const bool isFavorite = favorites.contains(identifier);
        QString localIdentifier = QString::fromLatin1(identifier);
        if (files.indexed[i])
            assets->emplace_back(std::move(localIdentifier), std::move(file), isFavorite, *files.indexed[i]);
        else
            assets->emplace_back(std::move(localIdentifier), std::move(file), isFavorite, unread,
                                 unreadPosition++);
        assets->back().setLocation(std::move(location));
        result.append(AssetRef(assets, &assets->back()));
    }
    return result;
}

void FolderScan::prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                               const std::stop_token& stop) {
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

FetchResult FolderScan::fetchAssets(QStringList localIdentifiers) const {
    localIdentifiers.removeDuplicates();  // the first of each stays, in order
    FetchResult result;
    for (const QString& identifier : localIdentifiers) {
        std::shared_ptr<const FolderAsset> asset = m_scanned.find(identifier);
        if (asset && isUnchanged(asset->file())) result.append(std::move(asset));
    }
    return result;
}

// A regular video file under a library folder, read again as the fetch would
// read it; null when there is none at the path (gone, hidden, not a video).
std::shared_ptr<const FolderAsset> FolderScan::rereadFile(
    const QByteArray& path, const std::shared_ptr<const FolderAsset>& scanned) const {
    const std::vector<QByteArray> roots = m_scanned.rootsInUse();
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
    const store::IndexKey key = indexKey(path, fingerprint);
    const std::vector<std::optional<store::IndexedMetadata>> indexed = m_index->lookup(std::span(&key, 1));
    const bool isFavorite = scanned && scanned->isFavorite();  // the same name keeps its flag
    std::shared_ptr<FolderAsset> asset;
    if (!indexed.empty() && indexed.front()) {
        asset = std::make_shared<FolderAsset>(std::move(identifier), std::move(file), isFavorite,
                                              *indexed.front());
    } else {
        auto unread = unreadFiles(std::vector<ScannedFile>{file});
        asset = std::make_shared<FolderAsset>(std::move(identifier), std::move(file), isFavorite,
                                              std::move(unread), 0);
    }
    asset->setLocation(FolderLocations({*root}).of(path));
    return asset;
}

FetchResult FolderScan::refreshAssets(QStringList localIdentifiers) const {
    localIdentifiers.removeDuplicates();
    FetchResult result;
    for (const QString& identifier : localIdentifiers) {
        std::shared_ptr<const FolderAsset> scanned = m_scanned.find(identifier);
        if (scanned && isUnchanged(scanned->file())) {
            result.append(std::move(scanned));
            continue;
        }
        const std::optional<QByteArray> path = fs::pathForIdentifier(identifier);
        std::shared_ptr<const FolderAsset> fresh = path ? rereadFile(*path, scanned) : nullptr;
        if (!fresh) continue;
        m_scanned.put(identifier, fresh);
        result.append(std::move(fresh));
    }
    return result;
}

QList<AssetResource> FolderScan::resources(const Asset& asset) {
    const auto* folderAsset = dynamic_cast<const FolderAsset*>(&asset);
    if (!folderAsset) return {};
    return {AssetResource{int(ResourceType::video), fs::displayName(folderAsset->file().path),
                          folderAsset->file().fingerprint.sizeBytes, folderAsset->localIdentifier(), 0}};
}

}  // namespace reelkeep
