// favorites_store.h: the user's favorite flags, kept in our own SQLite file.
// This is user data: a change is one transaction (all or nothing), and a store
// that fails its integrity check is moved aside, never rebuilt or deleted, and
// opening fails, so a damaged file never shows every video as non-favorite.
// One instance per thread; several processes may open the same file.
#pragma once

#include <QString>
#include <memory>
#include <set>
#include <span>
#include <string>

#include "file_identity.h"
#include "store_error.h"

struct sqlite3;

namespace reelkeep::store {

class FavoritesStore {
public:
    // $XDG_DATA_HOME/reelkeep/favorites.sqlite
    static QString defaultPath();
    // Creates the file when missing. A file that is not a database or fails
    // PRAGMA integrity_check is renamed to "<path>.damaged-<UTC time>" and the
    // result is a damaged error naming that file. A store that cannot be
    // written opens read-only (isReadOnly), makes no side files and refuses
    // changes. The path may be a symlink to a regular file; a FIFO, folder or
    // linked side file there is an unavailable error, found before any open.
    static StoreResult<std::unique_ptr<FavoritesStore>> open(const QString& path);
    ~FavoritesStore();
    FavoritesStore(const FavoritesStore&) = delete;
    FavoritesStore& operator=(const FavoritesStore&) = delete;

    const QString& path() const { return m_path; }
    bool isReadOnly() const { return m_isReadOnly; }

    // Sets or clears the flag of every file in one transaction: all or nothing.
    [[nodiscard]] StoreStatus setFavorite(std::span<const ListedFile> files, bool isFavorite);
    StoreResult<std::set<std::string>> favorites() const;

    // After a scan: a favorite whose identifier is not listed moves to the listed
    // file with the same identity (a rename keeps the flag); a listed favorite
    // takes its file's current identity. Unmatched favorites stay (the file may
    // be on a drive that is not mounted). Returns how many moved.
    StoreResult<int> reattach(std::span<const ListedFile> listing);

private:
    FavoritesStore(QString path, sqlite3* db, bool isReadOnly);
    StoreError failure(StoreErrorKind kind) const;

    QString m_path;
    sqlite3* m_db;
    bool m_isReadOnly;
};

}  // namespace reelkeep::store
