// favorites_access.cpp: opening the favorites store once, and remembering damage.
#include "platform/folder/favorites_access.h"

#include <QDebug>

namespace reelkeep {
namespace {

bool isFatal(const store::StoreError& error) {
    return error.kind() == store::StoreErrorKind::damaged ||
           error.kind() == store::StoreErrorKind::newerSchema ||
           error.kind() == store::StoreErrorKind::foreign;
}

}  // namespace

store::StoreResult<std::set<std::string>> FavoritesAccess::reattachAndRead(
    std::span<const store::ListedFile> listing) {
    std::lock_guard lock(m_mutex);
    // No file, no favorite to read or follow: an empty library never opens the store.
    if (listing.empty() && !m_store && !m_fatal) return std::set<std::string>{};
    if (store::StoreStatus error = openLocked()) return *error;
    if (!m_store->isReadOnly()) {
        if (auto moved = m_store->reattach(listing); !moved)
            qWarning().noquote() << "reelkeep: favorites not re-attached:" << moved.error().message();
    }
    return m_store->favorites();
}

store::StoreResult<std::set<std::string>> FavoritesAccess::read() {
    std::lock_guard lock(m_mutex);
    if (store::StoreStatus error = openLocked()) return *error;
    return m_store->favorites();
}

store::StoreStatus FavoritesAccess::setFavorite(std::span<const store::ListedFile> files, bool isFavorite) {
    std::lock_guard lock(m_mutex);
    if (store::StoreStatus error = openLocked()) return error;
    return m_store->setFavorite(files, isFavorite);
}

store::StoreStatus FavoritesAccess::openLocked() {
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

}  // namespace reelkeep
