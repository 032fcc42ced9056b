// favorites_access.h: the favorites store behind a mutex, opened on first use.
// A damaged store was moved aside by open(): opening again would make an empty
// one and quietly show every video as non-favorite, so the damage is
// remembered for the session.
#pragma once

#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "platform/folder/store/favorites_store.h"

namespace reelkeep {

class FavoritesAccess {
public:
    explicit FavoritesAccess(QString path) : m_path(std::move(path)) {}

    // The favorites among the listed files, once the store followed renames to them.
    store::StoreResult<std::set<std::string>> reattachAndRead(std::span<const store::ListedFile> listing);
    // The favorites as stored, renames not followed yet.
    store::StoreResult<std::set<std::string>> read();
    store::StoreStatus setFavorite(std::span<const store::ListedFile> files, bool isFavorite);

private:
    store::StoreStatus openLocked();

    std::mutex m_mutex;
    QString m_path;
    std::unique_ptr<store::FavoritesStore> m_store;
    std::optional<store::StoreError> m_fatal;
};

}  // namespace reelkeep
