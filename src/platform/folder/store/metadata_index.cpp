// metadata_index.cpp: the index file, its fallbacks and batched lookups.
// Rebuilding deletes only regular files at our own path and its -wal, -shm and
// -journal companions: a symlink or folder there is left alone and the index
// runs in memory instead.
#include "metadata_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include "sqlite_db.h"

namespace reelkeep::store {

namespace {

// Keys per query: a rescan of 100k files is 500 queries.
constexpr std::size_t kLookupBatch = 200;
// A range query reads at most this many rows per key before the rest of its
// keys are asked by name: rows of other files between two keys (files gone
// since, other roots) cost a step each, and a sparse batch must stay cheap.
constexpr std::size_t kRowsPerKeyInRange = 4;

constexpr char kColumns[] =
    "SELECT identifier, device, inode, size_bytes, mtime_ns, creation_date, length_seconds, pixel_width,"
    " pixel_height, is_screen_recording, has_decodable_video, date_source, date_rule, quicktime_date_tag,"
    " creation_time_tag FROM media";
constexpr int kBusyTimeoutMs = 5000;

// Step i takes a file from user_version i to i + 1, so a file of any earlier
// version is brought forward in place. Steps that shipped are never edited:
// a change is a new step.
constexpr std::array<const char*, 5> kMigrations{
    "CREATE TABLE IF NOT EXISTS media ("
    "  identifier TEXT PRIMARY KEY NOT NULL,"
    "  device INTEGER NOT NULL, inode INTEGER NOT NULL, size_bytes INTEGER NOT NULL,"
    "  mtime_ns INTEGER NOT NULL,"
    "  creation_date REAL, length_seconds REAL NOT NULL,"
    "  pixel_width INTEGER NOT NULL, pixel_height INTEGER NOT NULL,"
    "  is_screen_recording INTEGER NOT NULL, has_decodable_video INTEGER NOT NULL"
    ") WITHOUT ROWID;",
    // Which source gave the date, under which rule, and the raw tags it was made
    // from. Earlier rows kept only the parsed container date: as a tag it still
    // counts, and rule 0 has every row dated again on its first lookup.
    "ALTER TABLE media ADD COLUMN date_source TEXT;"
    "ALTER TABLE media ADD COLUMN date_rule INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE media ADD COLUMN quicktime_date_tag TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE media ADD COLUMN creation_time_tag TEXT NOT NULL DEFAULT '';"
    "UPDATE media SET creation_time_tag = strftime('%Y-%m-%dT%H:%M:%fZ', creation_date, 'unixepoch')"
    "  WHERE creation_date IS NOT NULL;",
    // What comparing same-size files found, by (device, inode): one row per
    // file, however many names it has.
    "CREATE TABLE IF NOT EXISTS content ("
    "  device INTEGER NOT NULL, inode INTEGER NOT NULL, size_bytes INTEGER NOT NULL,"
    "  mtime_ns INTEGER NOT NULL, ctime_ns INTEGER NOT NULL, sample BLOB, whole BLOB,"
    "  PRIMARY KEY (device, inode)"
    ") WITHOUT ROWID;",
    // Two same-size files compared alone stop at their first difference: the
    // digests of their bytes up to there tell them apart on the next scan.
    "ALTER TABLE content ADD COLUMN prefix_bytes INTEGER;"
    "ALTER TABLE content ADD COLUMN prefix BLOB;",
    // What a file shows, by (device, inode) as content; hashes NULL: it could
    // not be decoded. A row of another algorithm counts as missing.
    "CREATE TABLE IF NOT EXISTS visual ("
    "  device INTEGER NOT NULL, inode INTEGER NOT NULL, size_bytes INTEGER NOT NULL,"
    "  mtime_ns INTEGER NOT NULL, ctime_ns INTEGER NOT NULL, algorithm INTEGER NOT NULL,"
    "  duration_seconds REAL, aspect_ratio REAL, frame_count INTEGER, hashes BLOB,"
    "  PRIMARY KEY (device, inode)"
    ") WITHOUT ROWID;",
};
constexpr std::int64_t kSchemaVersion = std::int64_t(kMigrations.size());

// Runs the steps after `version`, each with its version number; SQLite's code.
int migrate(sqlite3* db, std::int64_t version) {
    for (std::int64_t step = version; step < kSchemaVersion; ++step) {
        if (const int code = execute(db, kMigrations[std::size_t(step)]); code != SQLITE_OK) return code;
        const std::string setVersion = "PRAGMA user_version = " + std::to_string(step + 1);
        if (const int code = execute(db, setVersion.c_str()); code != SQLITE_OK) return code;
    }
    return SQLITE_OK;
}

std::optional<StoredDigest> storedDigest(const Statement& row, int column) {
    const std::string_view bytes = row.blobAt(column);
    StoredDigest digest;
    if (bytes.size() != digest.size()) return std::nullopt;
    std::copy(bytes.begin(), bytes.end(), digest.begin());
    return digest;
}

std::string lookupSql(std::size_t count) {
    std::string sql = std::string(kColumns) + " WHERE identifier IN (";
    for (std::size_t i = 0; i < count; ++i) sql += i == 0 ? "?" : ",?";
    sql += ")";
    return sql;
}

std::string rangeSql() {
    return std::string(kColumns) + " WHERE identifier BETWEEN ?1 AND ?2 ORDER BY identifier LIMIT ?3";
}

FileFingerprint storedFingerprint(const Statement& row) {
    return FileFingerprint{fromStored(row.intAt(1)), fromStored(row.intAt(2)), row.intAt(3), row.intAt(4)};
}

// Nothing when the row's date was made under another rule than `ruleVersion`.
std::optional<DateSource> storedDateSource(const Statement& row, int ruleVersion) {
    if (row.isNullAt(5) || row.intAt(12) != ruleVersion) return std::nullopt;
    return dateSourceFromRaw(row.textAt(11));
}

IndexedMetadata storedMetadata(const Statement& row) {
    IndexedMetadata metadata;
    metadata.creationDate = row.doubleAt(5);
    metadata.lengthSeconds = row.doubleAt(6);
    metadata.pixelWidth = row.intAt(7);
    metadata.pixelHeight = row.intAt(8);
    metadata.isScreenRecording = row.intAt(9) != 0;
    metadata.hasDecodableVideo = row.intAt(10) != 0;
    return metadata;
}

// A kept statement must not hold its read snapshot past its batch.
struct ResetOnExit {
    Statement& statement;
    ~ResetOnExit() { statement.reset(); }
};

// Removes a companion file; false when something other than a regular file is there.
bool removeRegular(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

// Columns 1-5 of the content and visual tables: the file they speak for.
void bindFileKey(Statement& insert, const ContentFingerprint& file) {
    insert.bindInt(1, asStored(file.device));
    insert.bindInt(2, asStored(file.inode));
    insert.bindInt(3, file.sizeBytes);
    insert.bindInt(4, file.mtimeNs);
    insert.bindInt(5, file.ctimeNs);
}

// A row found by device and inode speaks for the file only while size and times agree.
bool isRowOf(const Statement& row, const ContentFingerprint& file) {
    return row.intAt(0) == file.sizeBytes && row.intAt(1) == file.mtimeNs && row.intAt(2) == file.ctimeNs;
}

}  // namespace

QString MetadataIndex::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/reelkeep/index.sqlite");
}

std::unique_ptr<MetadataIndex> MetadataIndex::open(const QString& path, DateRule dateRule) {
    std::unique_ptr<MetadataIndex> index(new MetadataIndex(path, std::move(dateRule)));
    index->connect();
    return index;
}

MetadataIndex::MetadataIndex(QString path, DateRule dateRule)
    : m_path(std::move(path)), m_dateRule(std::move(dateRule)) {}

MetadataIndex::~MetadataIndex() {
    closeConnection();
}

void MetadataIndex::closeConnection() {
    m_fullBatchQuery.reset();  // finalised before its connection closes
    m_rangeQuery.reset();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void MetadataIndex::connect() {
    QString reason;
    if (connectFile(&reason)) return;
    if (!reason.isEmpty()) return connectInMemory(reason);
    // The file is damaged, foreign or of another version: start anew, once.
    rebuild();
}

void MetadataIndex::rebuild() {
    closeConnection();
    ++m_rebuildCount;
    const QByteArray native = QFile::encodeName(m_path);
    for (const char* suffix : {"-wal", "-shm", "-journal", ""}) {
        if (!removeRegular(native + suffix))
            return connectInMemory(
                QStringLiteral("%1 could not be replaced").arg(m_path + QString::fromLatin1(suffix)));
    }
    QString reason;
    if (!connectFile(&reason))
        connectInMemory(reason.isEmpty() ? QStringLiteral("%1 stays unusable after a rebuild").arg(m_path)
                                         : reason);
}

// True when connected; false with a reason when the location is unusable, or
// with none when the file itself is at fault.
bool MetadataIndex::connectFile(QString* reason) {
    if (!makeFolderFor(m_path, reason)) return false;
    const QByteArray native = QFile::encodeName(m_path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *reason = QStringLiteral("%1 is not a regular file").arg(m_path);
        return false;
    }
    sqlite3* raw = nullptr;
    // NOMUTEX: an instance is used by one thread at a time, and SQLite's own
    // lock around every step and column read costs a rescan of 100,000 rows ~10 ms.
    const int opened = sqlite3_open_v2(
        native.constData(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection db(raw);
    if (opened != SQLITE_OK) {
        *reason = lastError(raw);
        return false;
    }
    if (sqlite3_db_readonly(raw, "main") == 1) {
        *reason = QStringLiteral("%1 is read-only").arg(m_path);
        return false;
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);

    std::int64_t version = -1;
    {
        Statement read(raw, "PRAGMA user_version");
        const int code = read ? read.step() : read.prepareCode();
        if (code == SQLITE_ROW) {
            version = read.intAt(0);
        } else if (!isDamage(code)) {
            *reason = lastError(raw);
            return false;
        }
    }
    if (version < 0 || version > kSchemaVersion) return false;  // damaged or a newer program's: rebuild
    if (version < kSchemaVersion) {
        // Inside the write lock, so that of two first opens one creates or
        // migrates and the other, reading the version again, finds it done.
        Transaction migrating(raw, true);
        int code = migrating.beginCode();
        if (code == SQLITE_OK) {
            std::int64_t current = 0;
            {
                Statement read(raw, "PRAGMA user_version");
                code = read ? read.step() : read.prepareCode();
                current = read.intAt(0);
            }
            if (code == SQLITE_ROW) code = migrate(raw, current);
        }
        if (code == SQLITE_OK) code = migrating.commit();
        if (code != SQLITE_OK) {
            // SQLITE_ERROR: a table not ours where ours belongs.
            if (isDamage(code) || code == SQLITE_ERROR) return false;
            *reason = lastError(raw);
            return false;
        }
    }
    // WAL lets a scan read while another process writes. Another connection may
    // be switching it at this moment (busy): it ends in WAL either way.
    if (!setWalMode(raw, reason)) return false;
    // NORMAL: a commit lost to a power cut is only a cache miss.
    execute(raw, "PRAGMA synchronous = NORMAL");
    m_db = db.release();
    return true;
}

void MetadataIndex::connectInMemory(const QString& reason) {
    closeConnection();
    m_inMemoryReason = reason.isEmpty() ? QStringLiteral("the index file is unusable") : reason;
    sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    migrate(m_db, 0);
}

std::vector<std::optional<IndexedMetadata>> MetadataIndex::lookup(std::span<const IndexKey> keys) {
    std::vector<std::optional<IndexedMetadata>> answers(keys.size());
    // In identifier order the rows of a batch lie side by side in the table: one
    // range read instead of 200 searches, and each page is visited once, not once
    // per folder that the walk's order scatters over it.
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return keys[a].identifier < keys[b].identifier; });
    int failure = SQLITE_OK;
    {
        Transaction reading(m_db, false);
        for (std::size_t offset = 0; offset < order.size() && failure == SQLITE_OK; offset += kLookupBatch) {
            const std::span<const std::size_t> batch =
                std::span(order).subspan(offset, std::min(kLookupBatch, order.size() - offset));
            const std::size_t read = lookupRange(keys, batch, answers, &failure);
            if (read < batch.size() && failure == SQLITE_OK)
                lookupByName(keys, batch.subspan(read), answers, &failure);
        }
    }
    if (failure != SQLITE_OK) {
        // A cache that cannot answer answers nothing; a damaged one starts over.
        answers.assign(keys.size(), std::nullopt);
        m_redated.clear();
        if (isDamage(failure) && !isInMemory()) rebuild();
    }
    if (!m_redated.empty()) {
        // Only a cache: rows not stored again are dated again next time.
        (void)store(m_redated);
        m_redated.clear();
    }
    return answers;
}

IndexedMetadata MetadataIndex::answerFor(const Statement& row, const IndexKey& key) {
    IndexedMetadata metadata = storedMetadata(row);
    if (!m_dateRule.apply) {
        metadata.dateSource = dateSourceFromRaw(row.textAt(11)).value_or(DateSource::modificationTime);
        return metadata;
    }
    if (const std::optional<DateSource> source = storedDateSource(row, m_dateRule.version)) {
        metadata.dateSource = *source;
        return metadata;
    }
    ContainerDateTags tags{std::string(row.textAt(13)), std::string(row.textAt(14))};
    m_dateRule.apply(tags, key, metadata);
    m_redated.push_back(IndexEntry{key, metadata, std::move(tags)});
    return metadata;
}

std::size_t MetadataIndex::lookupRange(std::span<const IndexKey> keys, std::span<const std::size_t> batch,
                                       std::vector<std::optional<IndexedMetadata>>& answers, int* failure) {
    if (!m_rangeQuery) m_rangeQuery = std::make_unique<Statement>(m_db, rangeSql());
    Statement& query = *m_rangeQuery;
    if (!query) {
        *failure = query.prepareCode();
        m_rangeQuery.reset();  // prepared again next time
        return 0;
    }
    ResetOnExit resetOnExit{query};
    const std::size_t rowLimit = batch.size() * kRowsPerKeyInRange;
    query.bindText(1, keys[batch.front()].identifier);
    query.bindText(2, keys[batch.back()].identifier);
    query.bindInt(3, static_cast<std::int64_t>(rowLimit));
    std::size_t next = 0;  // the first key of the batch after every row read so far
    std::size_t rowCount = 0;
    int code;
    while ((code = query.step()) == SQLITE_ROW) {
        ++rowCount;
        const std::string_view identifier = query.textAt(0);
        while (next < batch.size() && keys[batch[next]].identifier < identifier) ++next;
        if (next == batch.size() || keys[batch[next]].identifier != identifier) continue;
        const FileFingerprint stored = storedFingerprint(query);
        std::optional<IndexedMetadata> metadata;
        for (; next < batch.size() && keys[batch[next]].identifier == identifier; ++next) {
            if (keys[batch[next]].fingerprint != stored) continue;
            if (!metadata) metadata = answerFor(query, keys[batch[next]]);
            answers[batch[next]] = metadata;
        }
    }
    if (code != SQLITE_DONE) {
        *failure = code;
        return 0;
    }
    // Cut short by the limit, the keys after the last row read are still open.
    return rowCount < rowLimit ? batch.size() : next;
}

void MetadataIndex::lookupByName(std::span<const IndexKey> keys, std::span<const std::size_t> batch,
                                 std::vector<std::optional<IndexedMetadata>>& answers, int* failure) {
    std::unique_ptr<Statement> partial;
    if (batch.size() == kLookupBatch && !m_fullBatchQuery)
        m_fullBatchQuery = std::make_unique<Statement>(m_db, lookupSql(kLookupBatch));
    if (batch.size() != kLookupBatch) partial = std::make_unique<Statement>(m_db, lookupSql(batch.size()));
    Statement& query = partial ? *partial : *m_fullBatchQuery;
    if (!query) {
        *failure = query.prepareCode();
        if (!partial) m_fullBatchQuery.reset();  // prepared again next time
        return;
    }
    ResetOnExit resetOnExit{query};
    std::unordered_multimap<std::string_view, std::size_t> positions;
    positions.reserve(batch.size());
    for (std::size_t i = 0; i < batch.size(); ++i) {
        query.bindText(static_cast<int>(i + 1), keys[batch[i]].identifier);
        positions.emplace(keys[batch[i]].identifier, batch[i]);
    }
    int code;
    while ((code = query.step()) == SQLITE_ROW) {
        const FileFingerprint stored = storedFingerprint(query);
        std::optional<IndexedMetadata> metadata;
        const auto [first, last] = positions.equal_range(query.textAt(0));
        for (auto it = first; it != last; ++it) {
            if (keys[it->second].fingerprint != stored) continue;
            if (!metadata) metadata = answerFor(query, keys[it->second]);
            answers[it->second] = metadata;
        }
    }
    if (code != SQLITE_DONE) *failure = code;
}

StoreStatus MetadataIndex::insertRows(const char* sql, std::size_t count,
                                      const std::function<void(Statement& insert, std::size_t row)>& bind) {
    int failure = SQLITE_OK;
    {
        Transaction writing(m_db, true);
        Statement insert(m_db, sql);
        failure = writing.beginCode() != SQLITE_OK ? writing.beginCode() : insert.prepareCode();
        for (std::size_t i = 0; i < count && failure == SQLITE_OK; ++i) {
            bind(insert, i);
            const int code = insert.step();
            insert.reset();
            if (code != SQLITE_DONE) failure = code;
        }
        if (failure == SQLITE_OK) failure = writing.commit();
    }
    if (failure == SQLITE_OK) return std::nullopt;
    StoreError error(StoreErrorKind::writeFailed, m_path, lastError(m_db));
    if (isDamage(failure) && !isInMemory()) rebuild();
    return error;
}

StoreStatus MetadataIndex::store(std::span<const IndexEntry> entries) {
    for (const IndexEntry& entry : entries)
        if (!isValidIdentifier(entry.key.identifier))
            return StoreError(StoreErrorKind::invalidInput, m_path,
                              QString::fromLatin1(entry.key.identifier.c_str()));
    return insertRows(
        "INSERT OR REPLACE INTO media (identifier, device, inode, size_bytes, mtime_ns,"
        " creation_date, length_seconds, pixel_width, pixel_height, is_screen_recording,"
        " has_decodable_video, date_source, date_rule, quicktime_date_tag, creation_time_tag)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)",
        entries.size(), [&](Statement& insert, std::size_t i) {
            const IndexEntry& entry = entries[i];
            insert.bindText(1, entry.key.identifier);
            insert.bindInt(2, asStored(entry.key.fingerprint.device));
            insert.bindInt(3, asStored(entry.key.fingerprint.inode));
            insert.bindInt(4, entry.key.fingerprint.sizeBytes);
            insert.bindInt(5, entry.key.fingerprint.mtimeNs);
            insert.bindDouble(6, entry.metadata.creationDate);
            insert.bindDouble(7, entry.metadata.lengthSeconds);
            insert.bindInt(8, entry.metadata.pixelWidth);
            insert.bindInt(9, entry.metadata.pixelHeight);
            insert.bindInt(10, entry.metadata.isScreenRecording ? 1 : 0);
            insert.bindInt(11, entry.metadata.hasDecodableVideo ? 1 : 0);
            insert.bindText(12, rawValue(entry.metadata.dateSource).toStdString());
            insert.bindInt(13, m_dateRule.version);
            insert.bindText(14, entry.dateTags.quickTimeCreationDate);
            insert.bindText(15, entry.dateTags.creationTime);
        });
}

std::vector<std::optional<ContentDigests>> MetadataIndex::lookupContent(
    std::span<const ContentFingerprint> files) {
    std::vector<std::optional<ContentDigests>> answers(files.size());
    Transaction reading(m_db, false);
    Statement query(m_db,
                    "SELECT size_bytes, mtime_ns, ctime_ns, sample, whole, prefix_bytes, prefix FROM content "
                    "WHERE device = ?1 AND inode = ?2");
    if (!query) return answers;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ContentFingerprint& file = files[i];
        query.bindInt(1, asStored(file.device));
        query.bindInt(2, asStored(file.inode));
        if (query.step() == SQLITE_ROW && isRowOf(query, file))
            answers[i] = ContentDigests{storedDigest(query, 3), storedDigest(query, 4),
                                        query.isNullAt(5) ? std::nullopt : std::optional(query.intAt(5)),
                                        storedDigest(query, 6)};
        query.reset();
    }
    return answers;
}

StoreStatus MetadataIndex::storeContent(
    std::span<const std::pair<ContentFingerprint, ContentDigests>> files) {
    return insertRows(
        "INSERT OR REPLACE INTO content VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)", files.size(),
        [&](Statement& insert, std::size_t i) {
            const auto& [file, digests] = files[i];
            bindFileKey(insert, file);
            if (digests.prefixBytes)
                insert.bindInt(8, *digests.prefixBytes);
            else
                insert.bindNull(8);
            for (const auto& [column, digest] : {std::pair{6, &digests.sample}, std::pair{7, &digests.whole},
                                                 std::pair{9, &digests.prefix}}) {
                if (*digest)
                    insert.bindBlob(column, (*digest)->data(), (*digest)->size());
                else
                    insert.bindNull(column);
            }
        });
}

namespace {

// Hashes as 8 little-endian bytes each, the same on every machine.
std::string storedHashes(const VisualFingerprint& fingerprint) {
    std::string bytes;
    bytes.reserve(fingerprint.frameHashes.size() * 8);
    for (const std::uint64_t hash : fingerprint.frameHashes)
        for (int shift = 0; shift < 64; shift += 8) bytes.push_back(char((hash >> shift) & 0xff));
    return bytes;
}

// Nothing when the row is not a whole fingerprint: it is then made again.
std::optional<VisualFingerprint> storedVisual(const Statement& row) {
    const std::string_view bytes = row.blobAt(6);
    VisualFingerprint fingerprint;
    if (bytes.size() != fingerprint.frameHashes.size() * 8) return std::nullopt;
    for (std::size_t i = 0; i < fingerprint.frameHashes.size(); ++i)
        for (int b = 7; b >= 0; --b)
            fingerprint.frameHashes[i] = fingerprint.frameHashes[i] << 8 | std::uint8_t(bytes[i * 8 + b]);
    fingerprint.durationSeconds = row.doubleAt(3);
    fingerprint.aspectRatio = row.doubleAt(4);
    fingerprint.frameCount = int(row.intAt(5));
    if (fingerprint.frameCount <= 0 || fingerprint.frameCount > kFingerprintFrames) return std::nullopt;
    return fingerprint;
}

}  // namespace

std::vector<std::optional<VisualRecord>> MetadataIndex::lookupVisual(
    std::span<const ContentFingerprint> files, int algorithm) {
    std::vector<std::optional<VisualRecord>> answers(files.size());
    Transaction reading(m_db, false);
    Statement query(
        m_db,
        "SELECT size_bytes, mtime_ns, ctime_ns, duration_seconds, aspect_ratio, frame_count, hashes"
        " FROM visual WHERE device = ?1 AND inode = ?2 AND algorithm = ?3");
    if (!query) return answers;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ContentFingerprint& file = files[i];
        query.bindInt(1, asStored(file.device));
        query.bindInt(2, asStored(file.inode));
        query.bindInt(3, algorithm);
        if (query.step() == SQLITE_ROW && isRowOf(query, file)) {
            if (query.isNullAt(6))
                answers[i] = VisualRecord{};
            else if (auto fingerprint = storedVisual(query))
                answers[i] = VisualRecord{fingerprint};
        }
        query.reset();
    }
    return answers;
}

StoreStatus MetadataIndex::storeVisual(std::span<const std::pair<ContentFingerprint, VisualRecord>> files,
                                       int algorithm) {
    return insertRows("INSERT OR REPLACE INTO visual VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
                      files.size(), [&](Statement& insert, std::size_t i) {
                          const auto& [file, record] = files[i];
                          bindFileKey(insert, file);
                          insert.bindInt(6, algorithm);
                          std::string hashes;
                          if (record.fingerprint) {
                              hashes = storedHashes(*record.fingerprint);
                              insert.bindDouble(7, record.fingerprint->durationSeconds);
                              insert.bindDouble(8, record.fingerprint->aspectRatio);
                              insert.bindInt(9, record.fingerprint->frameCount);
                              insert.bindBlob(10, hashes.data(), hashes.size());
                          } else {
                              for (int column = 7; column <= 10; ++column) insert.bindNull(column);
                          }
                      });
}

}  // namespace reelkeep::store
