// scanned_assets.h: what the last fetch found, which every action goes by.
// Every asset here is a FolderAsset as scanned (or as an action of ours left
// it); an identifier not here is not in the library. Thread-safe: one mutex,
// held only to read or replace entries, never across I/O.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "library/photo_library_port.h"
#include "model/video_item.h"

namespace reelkeep {

class FolderAsset;

class ScannedAssets {
public:
    std::shared_ptr<const FolderAsset> find(const QString& localIdentifier) const;
    // The listed assets, and the position among them of each of `items`
    // (kNotListed where it is not listed): one lock for all.
    static constexpr std::uint32_t kNotListed = UINT32_MAX;
    struct Positions {
        FetchResult assets;
        std::vector<std::uint32_t> ofItems;
    };
    Positions find(const VideoList& items) const;
    FetchResult all() const;
    std::vector<QByteArray> rootsInUse() const;
    std::vector<QByteArray> walkedFolders() const;
    // Set when a damaged favorites store made the fetch list nothing.
    std::optional<PlatformError> lastFetchError() const;
    // The listed videos at or below any of `folders`.
    QSet<QString> identifiersUnder(const std::vector<QByteArray>& folders) const;

    // A complete fetch, which replaces the last one.
    void install(FetchResult assets, std::vector<QByteArray> rootsInUse,
                 std::vector<QByteArray> walkedFolders);
    // Nothing listed: the folders cannot be read.
    void clear();
    // Nothing listed, and why.
    void fail(PlatformError error);
    // Takes the place of the asset listed under `localIdentifier`, or joins the list.
    void put(const QString& localIdentifier, AssetRef asset);
    // Those of `assets` still listed, with the new flag.
    void replaceFavoriteFlags(const FetchResult& assets, bool isFavorite);

private:
    std::optional<std::size_t> findLocked(const QString& localIdentifier) const;
    FetchResult takeLocked();

    mutable std::mutex m_mutex;
    // In fetch order; m_byIdentifier holds their positions, hashed by identifier, once asked:
    // open addressing, kNotListed where free. Positions, not copies of the
    // identifiers: a table of 100,000 takes 1 MB instead of 5.
    FetchResult m_assets;
    mutable std::vector<std::uint32_t> m_byIdentifier;
    std::vector<QByteArray> m_rootsInUse;
    std::vector<QByteArray> m_walkedFolders;
    std::optional<PlatformError> m_lastFetchError;
};

}  // namespace reelkeep
