// folder_scan.cpp: walk and index lookup, order, assets; reading files again.
// Each stage owns what it is handed and frees each piece once it is used, so
// that the peak of a scan is little more than what it keeps.
#include "platform/folder/folder_scan.h"

#include <sys/stat.h>

#include <QDebug>
#include <QHash>
#include <algorithm>
#include <condition_variable>
#include <functional>
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
// each transaction is worth its cost, and hands each batch on in walk order as
// soon as it is answered: what is made of the files overlaps the rest of the
// walk. The keys are made by the caller: they are freed by it too, and memory
// freed into another thread's arena would not serve the rest of the fetch.
class WalkWithLookup {
public:
    // One key and answer per file found, repeats included (see fs::WalkProgress);
    // the handler may take the keys' identifiers.
    using BatchHandler =
        std::function<void(std::span<const fs::WalkEntry> found, std::vector<store::IndexKey>& keys,
                           const std::vector<std::optional<store::IndexedMetadata>>& answers)>;

    WalkWithLookup(const std::vector<QByteArray>& roots, const fs::VideoNamePredicate& isVideoName,
                   MetadataSink& index, const FetchControl& control, const BatchHandler& onBatch) {
        const auto walk = [this, &roots, &isVideoName, &control] {
            qsizetype foundCount = 0;
            fs::WalkResult result =
                fs::walkRoots(roots, isVideoName, control.stop, [&](std::span<const fs::WalkEntry> found) {
                    {
                        std::lock_guard lock(m_mutex);
                        m_queued.insert(m_queued.end(), found.begin(), found.end());
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
        lookUpUntilWalked(index, onBatch);
        if (walker.joinable()) walker.join();
    }

    fs::WalkResult& walk() { return m_walk; }
    // Files handed on, repeats included.
    std::size_t handedCount() const { return m_handedCount; }

private:
    // The index's own batch: fewer keys would cost a transaction each.
    static constexpr std::size_t kLookupBatch = 200;

    void lookUpUntilWalked(MetadataSink& index, const BatchHandler& onBatch) {
        for (;;) {
            std::vector<fs::WalkEntry> found;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_isWalked || m_queued.size() >= kLookupBatch; });
                if (m_queued.empty()) return;
                found.swap(m_queued);
            }
            std::vector<store::IndexKey> keys;
            keys.reserve(found.size());
            for (const fs::WalkEntry& file : found) keys.push_back(indexKey(file.path, file.fingerprint));
            const std::vector<std::optional<store::IndexedMetadata>> answers = index.lookup(keys);
            m_handedCount += found.size();
            onBatch(found, keys, answers);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<fs::WalkEntry> m_queued;  // guarded by m_mutex
    bool m_isWalked = false;              // guarded by m_mutex
    fs::WalkResult m_walk;                // guarded by m_mutex until the walker is joined
    std::size_t m_handedCount = 0;
};

// Files not read yet go by the date they would have without their container.
Timestamp fileDate(const fs::WalkEntry& entry) {
    const std::string name = fs::splitPath(entry.path).value_or(fs::SplitPath{}).name.toStdString();
    return media::fileDate(name, entry.mtimeNs).date;
}

ScannedFile scannedFile(const fs::WalkEntry& entry, Timestamp date) {
    return ScannedFile{entry.path, entry.fingerprint, date,
                       entry.linkCount > entry.linksInside ? entry.linkCount - entry.linksInside : 0,
                       entry.allocatedBytes};
}

// Hears each batch before the fetch takes it over: the files and their answers.
using EarlyAssets =
    std::function<void(std::span<const fs::WalkEntry> files, std::span<const store::IndexKey> keys,
                       std::span<const std::optional<store::IndexedMetadata>> answers)>;

// The files the index knows, made into assets as each batch is looked up, for
// FetchControl::onEarlyAssets. Their favorite flags are the store's before the
// fetch follows renames, read at the first such file; a store that cannot be
// read gives no early assets.
EarlyAssets earlyAssets(const std::vector<QByteArray>& roots, FavoritesAccess& favorites,
                        const FetchControl& control) {
    if (!control.onEarlyAssets) return {};
    return [locations = std::make_shared<const FolderLocations>(roots), &favorites,
            flagged = std::optional<std::set<std::string>>(), isUnreadable = false,
            deliver = control.onEarlyAssets,
            stop = control.stop](std::span<const fs::WalkEntry> files, std::span<const store::IndexKey> keys,
                                 std::span<const std::optional<store::IndexedMetadata>> answers) mutable {
        if (stop.stop_requested() || isUnreadable) return;
        const auto assets = std::make_shared<std::vector<FolderAsset>>();
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!answers[i]) continue;  // its container is read after the fetch
            if (!flagged) {
                auto read = favorites.read();
                isUnreadable = !read;
                if (isUnreadable) return;
                flagged = std::move(read).value();
                assets->reserve(files.size());
            }
            assets->emplace_back(QString::fromLatin1(keys[i].identifier),
                                 scannedFile(files[i], answers[i]->creationDate),
                                 flagged->contains(keys[i].identifier), *answers[i]);
            assets->back().setLocation(locations->of(files[i].path));
        }
        if (assets->empty()) return;
        FetchResult found;
        found.reserve(qsizetype(assets->size()));
        for (const FolderAsset& asset : *assets) found.append(AssetRef(assets, &asset));
        deliver(std::move(found));
    };
}

}  // namespace

// What the walk found, in walk order: the asset of each file whose index row
// is current (made as its batch was answered), its date, and its identifier
// and identity as the favorites store lists them.
struct FolderScan::WalkedFiles {
    explicit WalkedFiles(const std::vector<QByteArray>& roots) : locations(roots) {}

    fs::WalkResult walk;
    FolderLocations locations;
    std::vector<store::ListedFile> listing;
    std::vector<AssetRef> indexed;  // null: no current row, made once the order is known
    std::vector<Timestamp> dates;
    // The indexed assets in walk order, one block per batch, not shared until the fetch is done.
    std::vector<std::shared_ptr<std::vector<FolderAsset>>> blocks;
    std::size_t unreadCount = 0;

    // Each identifier is made once, as the index key; the listing then takes it
    // over, and an indexed file's asset makes its own copy now, an unread one's later.
    void add(std::span<const fs::WalkEntry> found, std::vector<store::IndexKey>& keys,
             const std::vector<std::optional<store::IndexedMetadata>>& answers) {
        const auto block = std::make_shared<std::vector<FolderAsset>>();
        block->reserve(std::size_t(std::count_if(answers.begin(), answers.end(),
                                                 [](const auto& answer) { return answer.has_value(); })));
        for (std::size_t i = 0; i < found.size(); ++i) {
            store::IndexKey& key = keys[i];
            if (answers[i]) {
                const std::string& identifier = key.identifier;
                block->emplace_back(QString::fromLatin1(identifier.data(), qsizetype(identifier.size())),
                                    scannedFile(found[i], answers[i]->creationDate), false, *answers[i]);
                block->back().setLocation(locations.of(found[i].path));
                indexed.push_back(AssetRef(block, &block->back()));
                dates.push_back(answers[i]->creationDate);
            } else {
                indexed.emplace_back();
                dates.push_back(fileDate(found[i]));
                ++unreadCount;
            }
            const store::FileFingerprint& fingerprint = key.fingerprint;
            listing.push_back(store::ListedFile{
                std::move(key.identifier), {fingerprint.device, fingerprint.inode, fingerprint.sizeBytes}});
        }
        if (!block->empty()) blocks.push_back(block);
    }
};

struct FolderScan::Dated {
    Timestamp date;
    std::uint32_t file;
};

std::optional<FolderScan::WalkedFiles> FolderScan::walkAndLookUp(const std::vector<QByteArray>& roots,
                                                                 const FetchControl& control) const {
    MetadataSink& index = *m_index;
    WalkedFiles files(roots);
    // Made apart from the fetch's own assets, which take their flags only once the walk is done.
    const EarlyAssets early = earlyAssets(roots, *m_favorites, control);
    WalkWithLookup walked(
        roots, m_isVideoName, index, control,
        [&files, &early](std::span<const fs::WalkEntry> found, std::vector<store::IndexKey>& keys,
                         const std::vector<std::optional<store::IndexedMetadata>>& answers) {
            if (early) early(found, keys, answers);
            files.add(found, keys, answers);
        });
    files.walk = std::move(walked.walk());
    if (files.walk.isStopped) return std::nullopt;
    if (walked.handedCount() == files.walk.entries.size()) return files;
    // Repeats were dropped after the lookup began (hard links): what was made
    // goes, and the files that stayed are asked for again.
    WalkedFiles kept(roots);
    kept.walk = std::move(files.walk);
    const std::vector<fs::WalkEntry>& entries = kept.walk.entries;
    std::vector<store::IndexKey> keys(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        keys[i] = indexKey(entries[i].path, entries[i].fingerprint);
    kept.add(entries, keys, index.lookup(keys));
    return kept;
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

    std::vector<QByteArray> walkedFolders = std::move(files->walk.walkedFolders);
    FetchResult result = makeAssets(std::move(*files), favorites.value());
    m_scanned.install(result, roots, std::move(walkedFolders));
    return result;
}

// Equal dates by path, so that readdir order never reorders a rescan.
std::vector<FolderScan::Dated> FolderScan::newestFirst(const WalkedFiles& files) {
    const std::vector<fs::WalkEntry>& entries = files.walk.entries;
    std::vector<Dated> order(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        order[i] = {files.dates[i], static_cast<std::uint32_t>(i)};
    std::sort(order.begin(), order.end(), [&](const Dated& a, const Dated& b) {
        if (a.date != b.date) return a.date > b.date;
        return entries[a.file].path < entries[b.file].path;
    });
    return order;
}

FetchResult FolderScan::makeAssets(WalkedFiles files, const std::set<std::string>& favorites) const {
    // The indexed assets take their flags, lying in their blocks in walk order;
    // then the listing goes, but for the identifiers of the unread files, before
    // anything more is made.
    std::vector<std::pair<std::uint32_t, std::string>> unreadIdentifiers;  // by file, in walk order
    unreadIdentifiers.reserve(files.unreadCount);
    std::size_t block = 0, inBlock = 0;
    for (std::size_t i = 0; i < files.indexed.size(); ++i) {
        std::string& identifier = files.listing[i].identifier;
        if (!files.indexed[i]) {
            unreadIdentifiers.emplace_back(std::uint32_t(i), std::move(identifier));
            continue;
        }
        if (favorites.empty()) continue;
        while (inBlock == files.blocks[block]->size()) {
            ++block;
            inBlock = 0;
        }
        (*files.blocks[block])[inBlock++].setFavorite(favorites.contains(identifier));
    }
    files.blocks = {};
    files.listing = {};

    const std::vector<Dated> order = newestFirst(files);
    files.dates = {};
    std::vector<ScannedFile> unreadInOrder;
    unreadInOrder.reserve(files.unreadCount);
    for (const Dated& dated : order)
        if (!files.indexed[dated.file])
            unreadInOrder.push_back(scannedFile(files.walk.entries[dated.file], dated.date));
    const std::shared_ptr<UnreadFiles> unread =
        unreadInOrder.empty() ? nullptr : unreadFiles(std::move(unreadInOrder));

    // One block for the unread files' assets, as for each batch of indexed ones:
    // an asset kept after the next fetch keeps its block.
    const auto unreadBlock = std::make_shared<std::vector<FolderAsset>>();
    unreadBlock->reserve(files.unreadCount);
    FetchResult result;
    result.reserve(qsizetype(order.size()));
    std::size_t unreadPosition = 0;
    for (const Dated& dated : order) {
        AssetRef& indexed = files.indexed[dated.file];
        if (indexed) {
            result.append(std::move(indexed));
            continue;
        }
        const fs::WalkEntry& entry = files.walk.entries[dated.file];
        const std::string& identifier =
            std::lower_bound(
                unreadIdentifiers.begin(), unreadIdentifiers.end(), dated.file,
                [](const auto& unreadFile, std::uint32_t file) { return unreadFile.first < file; })
                ->second;
        unreadBlock->emplace_back(QString::fromLatin1(identifier.data(), qsizetype(identifier.size())),
                                  scannedFile(entry, dated.date), favorites.contains(identifier), unread,
                                  unreadPosition++);
        unreadBlock->back().setLocation(files.locations.of(entry.path));
        result.append(AssetRef(unreadBlock, &unreadBlock->back()));
    }
    return result;
}

void FolderScan::prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                               const std::stop_token& stop) {
    // The unindexed files of a slice sit in one run of their fetch's reading order.
    UnreadFiles* unread = nullptr;
    std::size_t first = 0, last = 0;
    const qsizetype end = std::min(assets.size(), start + count);
    // The slice's items are made next, in fetch order, of assets made in walk
    // order and spread over the heap: all they read is asked for at once here,
    // so its cache misses overlap instead of coming one at a time.
    for (qsizetype i = std::max<qsizetype>(start, 0); i < end; ++i)
        for (std::size_t line = 0; line < sizeof(FolderAsset); line += 64)
            __builtin_prefetch(reinterpret_cast<const char*>(assets[i].get()) + line);
    for (qsizetype i = std::max<qsizetype>(start, 0); i < end; ++i) {
        const auto* asset = dynamic_cast<const FolderAsset*>(assets[i].get());
        if (!asset) continue;
        __builtin_prefetch(asset->file().path.constData());
        __builtin_prefetch(asset->identifier().constData());
        if (!asset->unreadFiles()) continue;
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
