// favorites_store.cpp: schema, integrity check, moving a damaged file aside.
#include "favorites_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <tuple>

#include "sqlite_db.h"

namespace reelkeep::store {

namespace {

constexpr int kSchemaVersion = 1;
// Another process may hold the write lock while it commits; a commit takes milliseconds.
constexpr int kBusyTimeoutMs = 5000;

constexpr char kSchema[] =
    "CREATE TABLE favorites ("
    "  identifier TEXT PRIMARY KEY NOT NULL,"
    "  device INTEGER NOT NULL, inode INTEGER NOT NULL, size_bytes INTEGER NOT NULL"
    ") WITHOUT ROWID;"
    "CREATE INDEX favorites_by_file ON favorites(device, inode, size_bytes);"
    "PRAGMA user_version = 1;";

bool exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

// Renames without replacing; the -wal and -shm files follow under the same
// suffix, since committed favorites may still live in the WAL.
QString moveAside(const QString& path) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    for (int attempt = 1; attempt < 100; ++attempt) {
        QString target = path + QStringLiteral(".damaged-") + stamp;
        if (attempt > 1) target += u'-' + QString::number(attempt);
        const QByteArray from = QFile::encodeName(path), to = QFile::encodeName(target);
        if (exists(to) || exists(to + "-wal")) continue;
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) continue;
            return {};
        }
        for (const char* suffix : {"-wal", "-shm"})
            if (exists(from + suffix))
                ::renameat2(AT_FDCWD, (from + suffix).constData(), AT_FDCWD, (to + suffix).constData(),
                            RENAME_NOREPLACE);
        return target;
    }
    return {};
}

// "ok", or SQLite's first complaint; a damage code when the file is no database.
int checkIntegrity(sqlite3* db, QString* complaint) {
    Statement check(db, "PRAGMA integrity_check(1)");
    if (!check) return check.prepareCode();
    const int code = check.step();
    if (code != SQLITE_ROW) return code;
    *complaint = QString::fromUtf8(check.textAt(0).data(), static_cast<qsizetype>(check.textAt(0).size()));
    return SQLITE_OK;
}

struct OpenAttempt {
    Connection db;
    int code = SQLITE_OK;
};

OpenAttempt openConnection(const QByteArray& path, int flags) {
    sqlite3* raw = nullptr;
    OpenAttempt attempt;
    attempt.code =
        sqlite3_open_v2(path.constData(), &raw,
                        flags | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_URI, nullptr);
    attempt.db.reset(raw);
    if (attempt.code == SQLITE_OK) sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    return attempt;
}

// A read-only file is read as immutable: SQLite then makes no -wal or -shm,
// which it would create with the file's own 0444 mode, and every later
// writable open would fail on them.
QByteArray immutableUri(const QByteArray& path) {
    return "file:" + path.toPercentEncoding("/") + "?immutable=1";
}

constexpr const char* kSideSuffixes[] = {"-wal", "-shm", "-journal"};

// The file SQLite will open: the path itself, or the regular file a symlink
// names (dotfile managers link it). The file and its side files must be
// regular files or missing; anything else (a FIFO would block the open
// forever, a linked -wal would write elsewhere) is refused before any open.
std::optional<QByteArray> storeFile(const QByteArray& path, QString* reason) {
    const auto notRegular = [reason, &path](const QByteArray& name) {
        *reason = name == path ? QStringLiteral("it is not a regular file")
                               : QStringLiteral("%1 is not a regular file").arg(QFile::decodeName(name));
        return std::nullopt;
    };
    struct stat st {};
    QByteArray file = path;
    if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.constData(), nullptr);
        if (!resolved) {
            *reason = QStringLiteral("%1 is a link that cannot be followed: %2")
                          .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
            return std::nullopt;
        }
        file = resolved;
        ::free(resolved);
    }
    if (::lstat(file.constData(), &st) == 0 && !S_ISREG(st.st_mode)) return notRegular(path);
    for (const char* suffix : kSideSuffixes)
        if (::lstat((file + suffix).constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return notRegular(path + suffix);
    return file;
}

bool isWritableFolderOf(const QByteArray& file) {
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? file.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
    return ::access(folder.constData(), W_OK | X_OK) == 0;
}

// Side files left read-only (by an older read-only open) would make every
// writable open fail: they take the store file's mode again.
void repairSideFileModes(const QByteArray& file) {
    struct stat main {};
    if (::stat(file.constData(), &main) != 0 || (main.st_mode & S_IWUSR) == 0) return;
    for (const char* suffix : kSideSuffixes) {
        const int fd = ::open((file + suffix).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat side {};
        if (::fstat(fd, &side) == 0 && S_ISREG(side.st_mode) && (side.st_mode & S_IWUSR) == 0)
            ::fchmod(fd, main.st_mode & 0666);
        ::close(fd);
    }
}

}  // namespace

bool isValidIdentifier(const std::string& identifier) {
    if (identifier.empty()) return false;
    for (const char c : identifier)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

QString FavoritesStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/reelkeep/favorites.sqlite");
}

StoreResult<std::unique_ptr<FavoritesStore>> FavoritesStore::open(const QString& path) {
    QString reason;
    if (!makeFolderFor(path, &reason)) return StoreError(StoreErrorKind::unavailable, path, reason);
    const std::optional<QByteArray> file = storeFile(QFile::encodeName(path), &reason);
    if (!file) return StoreError(StoreErrorKind::unavailable, path, reason);
    const QByteArray native = *file;
    repairSideFileModes(native);

    OpenAttempt attempt = openConnection(native, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // SQLite opens a write-protected file read-only without failing; in a
    // write-protected folder it opens, then fails on the first read of a WAL
    // store, as it cannot make the -shm beside it.
    const bool isReadOnly =
        exists(native) && (attempt.code != SQLITE_OK || sqlite3_db_readonly(attempt.db.get(), "main") == 1 ||
                           !isWritableFolderOf(native));
    if (isReadOnly) {
        // Committed changes may still wait in a WAL that immutable mode would
        // skip: then SQLite reads it, and a -shm it makes is repaired later.
        struct stat wal {};
        const bool hasWal = ::stat((native + "-wal").constData(), &wal) == 0 && wal.st_size > 0;
        attempt = hasWal ? openConnection(native, SQLITE_OPEN_READONLY)
                         : openConnection(immutableUri(native), SQLITE_OPEN_READONLY);
    }
    if (attempt.code != SQLITE_OK)
        return StoreError(StoreErrorKind::unavailable, path, lastError(attempt.db.get()));

    QString complaint;
    const int checked = checkIntegrity(attempt.db.get(), &complaint);
    if (isDamage(checked) || (checked == SQLITE_OK && complaint != QStringLiteral("ok"))) {
        const QString detail = checked == SQLITE_OK ? complaint : lastError(attempt.db.get());
        attempt.db.reset();  // closed before the rename, so no handle writes into the moved file
        // Read without locks, a file another user is writing can look damaged: never moved then.
        if (isReadOnly) return StoreError(StoreErrorKind::damaged, path, detail);
        const QString movedTo = moveAside(QFile::decodeName(native));
        if (movedTo.isEmpty())
            return StoreError(StoreErrorKind::damaged, path,
                              detail + QStringLiteral("; it could not be moved aside"));
        return StoreError(StoreErrorKind::damaged, path, detail, movedTo);
    }
    if (checked != SQLITE_OK)
        return StoreError(StoreErrorKind::unavailable, path, lastError(attempt.db.get()));

    sqlite3* db = attempt.db.get();
    // Ownership first: a file that is not ours is never written, not even its header.
    std::int64_t schemaVersion = -1, tableCount = -1;
    {
        Statement version(db, "PRAGMA user_version");
        Statement tables(db, "SELECT count(*) FROM sqlite_master");
        if (version && tables && version.step() == SQLITE_ROW && tables.step() == SQLITE_ROW) {
            schemaVersion = version.intAt(0);
            tableCount = tables.intAt(0);
        }
    }
    if (schemaVersion < 0) return StoreError(StoreErrorKind::unavailable, path, lastError(db));
    if (schemaVersion > kSchemaVersion) return StoreError(StoreErrorKind::newerSchema, path, {});
    if (schemaVersion == 0 && tableCount > 0) return StoreError(StoreErrorKind::foreign, path, {});
    const bool isNew = schemaVersion == 0;
    if (isNew && !isReadOnly) {
        Transaction creating(db, true);
        if (creating.beginCode() != SQLITE_OK)
            return StoreError(StoreErrorKind::unavailable, path, lastError(db));
        // Checked again inside the write lock: two first opens create the table once.
        Statement tables(db, "SELECT count(*) FROM sqlite_master");
        const bool isStillEmpty = tables && tables.step() == SQLITE_ROW && tables.intAt(0) == 0;
        tables.reset();
        if (isStillEmpty && (execute(db, kSchema) != SQLITE_OK || creating.commit() != SQLITE_OK))
            return StoreError(StoreErrorKind::unavailable, path, lastError(db));
    }
    if (!isReadOnly) {
        // WAL: readers never wait for a writer; FULL: a reported change survives a power cut.
        if (!setWalMode(db, &reason)) return StoreError(StoreErrorKind::unavailable, path, reason);
        execute(db, "PRAGMA synchronous = FULL");
    }
    return std::unique_ptr<FavoritesStore>(new FavoritesStore(path, attempt.db.release(), isReadOnly));
}

FavoritesStore::FavoritesStore(QString path, sqlite3* db, bool isReadOnly)
    : m_path(std::move(path)), m_db(db), m_isReadOnly(isReadOnly) {}

FavoritesStore::~FavoritesStore() {
    sqlite3_close_v2(m_db);
}

StoreError FavoritesStore::failure(StoreErrorKind kind) const {
    return StoreError(kind, m_path, lastError(m_db));
}

StoreStatus FavoritesStore::setFavorite(std::span<const ListedFile> files, bool isFavorite) {
    for (const ListedFile& file : files)
        if (!isValidIdentifier(file.identifier))
            return StoreError(StoreErrorKind::invalidInput, m_path,
                              QString::fromLatin1(file.identifier.c_str()));
    if (m_isReadOnly) return StoreError(StoreErrorKind::readOnly, m_path, {});

    Transaction transaction(m_db, true);
    if (transaction.beginCode() != SQLITE_OK) return failure(StoreErrorKind::writeFailed);
    Statement change(m_db, isFavorite ? "INSERT OR REPLACE INTO favorites VALUES (?1, ?2, ?3, ?4)"
                                      : "DELETE FROM favorites WHERE identifier = ?1");
    if (!change) return failure(StoreErrorKind::writeFailed);
    for (const ListedFile& file : files) {
        change.bindText(1, file.identifier);
        if (isFavorite) {
            change.bindInt(2, asStored(file.identity.device));
            change.bindInt(3, asStored(file.identity.inode));
            change.bindInt(4, file.identity.sizeBytes);
        }
        const int code = change.step();
        change.reset();
        if (code != SQLITE_DONE) {
            const StoreErrorKind kind =
                (code & 0xFF) == SQLITE_READONLY ? StoreErrorKind::readOnly : StoreErrorKind::writeFailed;
            return failure(kind);  // the transaction rolls back: none of the files changed
        }
    }
    if (transaction.commit() != SQLITE_OK) return failure(StoreErrorKind::writeFailed);
    return std::nullopt;
}

StoreResult<std::set<std::string>> FavoritesStore::favorites() const {
    std::set<std::string> identifiers;
    Statement tableCount(m_db, "SELECT count(*) FROM sqlite_master WHERE name = 'favorites'");
    if (!tableCount || tableCount.step() != SQLITE_ROW) return failure(StoreErrorKind::unavailable);
    if (tableCount.intAt(0) == 0) return identifiers;  // a read-only empty file
    Statement all(m_db, "SELECT identifier FROM favorites");
    if (!all) return failure(StoreErrorKind::unavailable);
    int code;
    while ((code = all.step()) == SQLITE_ROW) identifiers.emplace(all.textAt(0));
    if (code != SQLITE_DONE)
        return failure(isDamage(code) ? StoreErrorKind::damaged : StoreErrorKind::unavailable);
    return identifiers;
}

StoreResult<int> FavoritesStore::reattach(std::span<const ListedFile> listing) {
    if (m_isReadOnly) return 0;  // nothing can move; the flags stay where they are
    Transaction transaction(m_db, true);
    if (transaction.beginCode() != SQLITE_OK) return failure(StoreErrorKind::writeFailed);
    std::map<std::string, FileIdentity, std::less<>> stored;
    {
        Statement all(m_db, "SELECT identifier, device, inode, size_bytes FROM favorites");
        if (!all) return failure(StoreErrorKind::unavailable);
        int code;
        while ((code = all.step()) == SQLITE_ROW)
            stored.emplace(std::string(all.textAt(0)),
                           FileIdentity{fromStored(all.intAt(1)), fromStored(all.intAt(2)), all.intAt(3)});
        if (code != SQLITE_DONE) return failure(StoreErrorKind::unavailable);
    }
    if (stored.empty()) return 0;  // nothing to carry: a scan of 100,000 files pays no lookups

    // Only the listed files a favorite can follow, by its name or its identity,
    // the first listed one winning: two maps of the whole listing cost a
    // rescan of 100,000 files 60 ms, most often for a handful of favorites.
    using IdentityKey = std::tuple<std::uint64_t, std::uint64_t, std::int64_t>;
    const auto keyOf = [](const FileIdentity& identity) {
        return IdentityKey(identity.device, identity.inode, identity.sizeBytes);
    };
    std::set<IdentityKey> storedIdentities;
    for (const auto& [identifier, identity] : stored) storedIdentities.insert(keyOf(identity));
    std::map<std::string_view, FileIdentity, std::less<>> listedById;
    std::map<IdentityKey, std::string_view> listedByIdentity;
    for (const ListedFile& file : listing) {
        if (stored.contains(file.identifier)) listedById.emplace(file.identifier, file.identity);
        if (storedIdentities.contains(keyOf(file.identity)))
            listedByIdentity.emplace(keyOf(file.identity), file.identifier);
    }

    Statement refresh(m_db,
                      "UPDATE favorites SET device = ?2, inode = ?3, size_bytes = ?4 WHERE identifier = ?1");
    Statement rename(m_db, "UPDATE favorites SET identifier = ?2 WHERE identifier = ?1");
    Statement drop(m_db, "DELETE FROM favorites WHERE identifier = ?1");
    if (!refresh || !rename || !drop) return failure(StoreErrorKind::writeFailed);
    auto run = [](Statement& statement) {
        const int code = statement.step();
        statement.reset();
        return code == SQLITE_DONE;
    };

    int movedCount = 0;
    std::set<std::string, std::less<>> favoriteIds;
    for (const auto& [identifier, identity] : stored) favoriteIds.insert(identifier);
    for (const auto& [identifier, identity] : stored) {
        if (const auto listed = listedById.find(identifier); listed != listedById.end()) {
            if (listed->second == identity) continue;
            refresh.bindText(1, identifier);
            refresh.bindInt(2, asStored(listed->second.device));
            refresh.bindInt(3, asStored(listed->second.inode));
            refresh.bindInt(4, listed->second.sizeBytes);
            if (!run(refresh)) return failure(StoreErrorKind::writeFailed);
            continue;
        }
        const auto target = listedByIdentity.find(keyOf(identity));
        if (target == listedByIdentity.end()) continue;
        if (favoriteIds.contains(target->second)) {
            // The same file is a favorite under its new name already: the old row
            // would only re-flag it later, after the user cleared the flag.
            drop.bindText(1, identifier);
            if (!run(drop)) return failure(StoreErrorKind::writeFailed);
            continue;
        }
        rename.bindText(1, identifier);
        rename.bindText(2, target->second);
        if (!run(rename)) return failure(StoreErrorKind::writeFailed);
        favoriteIds.emplace(target->second);
        ++movedCount;
    }
    if (transaction.commit() != SQLITE_OK) return failure(StoreErrorKind::writeFailed);
    return movedCount;
}

}  // namespace reelkeep::store
