// scanned_assets.cpp: the last fetch, looked up by identifier.
#include "platform/folder/scanned_assets.h"

#include <algorithm>
#include <utility>

#include "platform/folder/folder_asset.h"
#include "platform/folder/fs/path_id.h"

namespace reelkeep {

namespace {
const QString& identifierAt(const FetchResult& assets, qsizetype position) {
    return static_cast<const FolderAsset&>(*assets[position]).identifier();
}

// Assets and items lie spread over the heap: a pass over them asks for each,
// then for its identifier's text, a few turns ahead, so the misses overlap.
constexpr qsizetype kPrefetchAhead = 8;
}  // namespace

// The lookup order is made on first use, not by the fetch: a scan from the
// command line never looks anything up, and a window does so long after.

std::optional<std::size_t> ScannedAssets::findLocked(const QString& localIdentifier) const {
    // Hashed, not sorted: identifiers are long paths that share their
    // beginnings, which a binary search compares again at every step.
    if (m_byIdentifier.empty() && !m_assets.isEmpty()) {
        std::size_t capacity = 16;
        while (capacity < std::size_t(m_assets.size()) * 2) capacity *= 2;
        m_byIdentifier.assign(capacity, kNotListed);
        const qsizetype count = m_assets.size();
        for (qsizetype i = 0; i < count; ++i) {
            if (i + 2 * kPrefetchAhead < count) __builtin_prefetch(m_assets[i + 2 * kPrefetchAhead].get());
            if (i + kPrefetchAhead < count)
                __builtin_prefetch(identifierAt(m_assets, i + kPrefetchAhead).constData());
            const QString& identifier = identifierAt(m_assets, i);
            std::size_t slot = qHash(identifier) & (capacity - 1);
            // A name listed twice: the later one answers, as for put().
            while (m_byIdentifier[slot] != kNotListed &&
                   identifierAt(m_assets, m_byIdentifier[slot]) != identifier)
                slot = (slot + 1) & (capacity - 1);
            m_byIdentifier[slot] = std::uint32_t(i);
        }
    }
    if (m_byIdentifier.empty()) return std::nullopt;
    const std::size_t mask = m_byIdentifier.size() - 1;
    for (std::size_t slot = qHash(localIdentifier) & mask; m_byIdentifier[slot] != kNotListed;
         slot = (slot + 1) & mask)
        if (identifierAt(m_assets, m_byIdentifier[slot]) == localIdentifier) return m_byIdentifier[slot];
    return std::nullopt;
}

std::shared_ptr<const FolderAsset> ScannedAssets::find(const QString& localIdentifier) const {
    std::lock_guard lock(m_mutex);
    const std::optional<std::size_t> position = findLocked(localIdentifier);
    if (!position) return nullptr;
    return std::static_pointer_cast<const FolderAsset>(m_assets[qsizetype(*position)]);
}

ScannedAssets::Positions ScannedAssets::find(const VideoList& items) const {
    Positions found{{}, std::vector<std::uint32_t>(std::size_t(items.size()), kNotListed)};
    std::lock_guard lock(m_mutex);
    found.assets = m_assets;
    const qsizetype count = items.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (i + 2 * kPrefetchAhead < count)
            __builtin_prefetch(&items[i + 2 * kPrefetchAhead].localIdentifier());
        if (i + kPrefetchAhead < count)
            __builtin_prefetch(items[i + kPrefetchAhead].localIdentifier().constData());
        if (const std::optional<std::size_t> position = findLocked(items[i].localIdentifier()))
            found.ofItems[std::size_t(i)] = std::uint32_t(*position);
    }
    return found;
}

FetchResult ScannedAssets::all() const {
    std::lock_guard lock(m_mutex);
    return m_assets;
}

std::vector<QByteArray> ScannedAssets::rootsInUse() const {
    std::lock_guard lock(m_mutex);
    return m_rootsInUse;
}

std::vector<QByteArray> ScannedAssets::walkedFolders() const {
    std::lock_guard lock(m_mutex);
    return m_walkedFolders;
}

std::optional<PlatformError> ScannedAssets::lastFetchError() const {
    std::lock_guard lock(m_mutex);
    return m_lastFetchError;
}

QSet<QString> ScannedAssets::identifiersUnder(const std::vector<QByteArray>& folders) const {
    QSet<QString> identifiers;
    if (folders.empty()) return identifiers;
    std::lock_guard lock(m_mutex);
    for (const AssetRef& asset : m_assets) {
        const QByteArray& path = static_cast<const FolderAsset&>(*asset).file().path;
        for (const QByteArray& folder : folders)
            if (fs::isSameOrInside(path, folder)) identifiers.insert(asset->localIdentifier());
    }
    return identifiers;
}

// The old list is freed by the caller, outside the lock: it may hold 100,000 assets.
FetchResult ScannedAssets::takeLocked() {
    m_byIdentifier = {};
    return std::exchange(m_assets, {});
}

void ScannedAssets::install(FetchResult assets, std::vector<QByteArray> rootsInUse,
                            std::vector<QByteArray> walkedFolders) {
    FetchResult old;
    std::lock_guard lock(m_mutex);
    old = takeLocked();
    m_assets = std::move(assets);
    m_rootsInUse = std::move(rootsInUse);
    m_walkedFolders = std::move(walkedFolders);
    m_lastFetchError.reset();
}

void ScannedAssets::clear() {
    FetchResult old;
    std::lock_guard lock(m_mutex);
    old = takeLocked();
}

void ScannedAssets::fail(PlatformError error) {
    FetchResult old;
    std::lock_guard lock(m_mutex);
    old = takeLocked();
    m_lastFetchError = std::move(error);
}

void ScannedAssets::put(const QString& localIdentifier, AssetRef asset) {
    std::lock_guard lock(m_mutex);
    if (const std::optional<std::size_t> position = findLocked(localIdentifier)) {
        m_assets[qsizetype(*position)] = std::move(asset);
    } else {
        m_assets.append(std::move(asset));
        m_byIdentifier = {};  // hashed again on the next lookup
    }
}

void ScannedAssets::replaceFavoriteFlags(const FetchResult& assets, bool isFavorite) {
    std::lock_guard lock(m_mutex);
    for (const AssetRef& asset : assets) {
        if (const std::optional<std::size_t> position = findLocked(asset->localIdentifier())) {
            AssetRef& scanned = m_assets[qsizetype(*position)];
            scanned = static_cast<const FolderAsset&>(*scanned).withFavorite(isFavorite);
        }
    }
}

}  // namespace reelkeep
