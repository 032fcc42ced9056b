// metadata_index.h: what we read from each video, kept so a rescan need not
// open unchanged files. Only a cache: a row counts only while its file's
// fingerprint is unchanged, a damaged file is deleted and rebuilt without a
// word, and a location we cannot write gives an index in memory that says so.
// One instance per thread; several processes may open the same file.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "file_identity.h"
#include "model/near_copies.h"
#include "model/video_date.h"
#include "model/video_item.h"
#include "store_error.h"

struct sqlite3;

namespace reelkeep::store {

class Statement;

// (st_dev, st_ino, st_size, mtime in ns): any edit, replacement or copy-over changes one.
struct FileFingerprint {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t sizeBytes = 0;
    std::int64_t mtimeNs = 0;
    friend bool operator==(const FileFingerprint&, const FileFingerprint&) = default;
};

struct IndexKey {
    std::string identifier;
    FileFingerprint fingerprint;
};

struct IndexedMetadata {
    Timestamp creationDate = 0;  // as the date rule made it
    double lengthSeconds = 0;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    bool isScreenRecording = false;
    bool hasDecodableVideo = false;
    DateSource dateSource = DateSource::modificationTime;
    friend bool operator==(const IndexedMetadata&, const IndexedMetadata&) = default;
};

struct IndexEntry {
    IndexKey key;
    IndexedMetadata metadata;
    ContainerDateTags dateTags;  // what the date was made from
};

// How a file's date is made from its tags, name and mtime. A row stored under
// another version is given a new date on lookup, and stored again, without
// anyone opening the video.
struct DateRule {
    int version = 0;
    // Sets creationDate and dateSource of `metadata`; empty: rows are taken as stored.
    std::function<void(const ContainerDateTags&, const IndexKey&, IndexedMetadata& metadata)> apply;
};

// The full fingerprint of a file's bytes: ctime too, which a chmod, a link or
// an edit that restores the mtime (touch -r) all change.
struct ContentFingerprint {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t sizeBytes = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    friend bool operator==(const ContentFingerprint&, const ContentFingerprint&) = default;
};

using StoredDigest = std::array<std::uint8_t, 16>;

// What comparing a file's bytes found: digests of its first and last block, of
// all of it, and of its first prefixBytes bytes.
struct ContentDigests {
    std::optional<StoredDigest> sample;
    std::optional<StoredDigest> whole;
    std::optional<std::int64_t> prefixBytes;
    std::optional<StoredDigest> prefix;
    friend bool operator==(const ContentDigests&, const ContentDigests&) = default;
};

// What fingerprinting a file's pictures found: its fingerprint, or nothing
// when the file cannot be decoded (kept too, so it is not tried on every scan).
struct VisualRecord {
    std::optional<VisualFingerprint> fingerprint;
    friend bool operator==(const VisualRecord&, const VisualRecord&) = default;
};

class MetadataIndex {
public:
    // $XDG_CACHE_HOME/reelkeep/index.sqlite
    static QString defaultPath();
    // Never fails: see isInMemory().
    static std::unique_ptr<MetadataIndex> open(const QString& path, DateRule dateRule = {});
    ~MetadataIndex();
    MetadataIndex(const MetadataIndex&) = delete;
    MetadataIndex& operator=(const MetadataIndex&) = delete;

    const QString& path() const { return m_path; }
    // True when the file could not be used; inMemoryReason() says why, once, for the log.
    bool isInMemory() const { return !m_inMemoryReason.isEmpty(); }
    const QString& inMemoryReason() const { return m_inMemoryReason; }
    // How often a damaged file was deleted and started anew.
    int rebuildCount() const { return m_rebuildCount; }

    // One answer per key, in order: nothing when the row is missing or its
    // fingerprint differs. Keys are read in identifier order, 200 to a range
    // query (by name where the range holds many other rows), in one read transaction.
    std::vector<std::optional<IndexedMetadata>> lookup(std::span<const IndexKey> keys);
    // Inserts or replaces in one transaction; an error leaves the index as it was.
    [[nodiscard]] StoreStatus store(std::span<const IndexEntry> entries);

    // One answer per fingerprint, in order: nothing unless a row of that
    // (device, inode) has the same size, mtime and ctime.
    std::vector<std::optional<ContentDigests>> lookupContent(std::span<const ContentFingerprint> files);
    // Inserts or replaces in one transaction; an error leaves the index as it was.
    [[nodiscard]] StoreStatus storeContent(
        std::span<const std::pair<ContentFingerprint, ContentDigests>> files);

    // One answer per fingerprint, in order: nothing unless a row of that
    // (device, inode) has the same size, mtime and ctime and was made by
    // `algorithm`, the version of the way fingerprints are made.
    std::vector<std::optional<VisualRecord>> lookupVisual(std::span<const ContentFingerprint> files,
                                                          int algorithm);
    // Inserts or replaces in one transaction; an error leaves the index as it was.
    [[nodiscard]] StoreStatus storeVisual(std::span<const std::pair<ContentFingerprint, VisualRecord>> files,
                                          int algorithm);

private:
    MetadataIndex(QString path, DateRule dateRule);
    void connect();
    bool connectFile(QString* reason);
    void connectInMemory(const QString& reason);
    void rebuild();
    // Both take positions into keys, in identifier order. lookupRange returns
    // how many of them it settled; lookupByName settles all.
    std::size_t lookupRange(std::span<const IndexKey> keys, std::span<const std::size_t> batch,
                            std::vector<std::optional<IndexedMetadata>>& answers, int* failure);
    void lookupByName(std::span<const IndexKey> keys, std::span<const std::size_t> batch,
                      std::vector<std::optional<IndexedMetadata>>& answers, int* failure);
    // The metadata of a row that matched key, its date made again if its rule is old.
    IndexedMetadata answerFor(const Statement& row, const IndexKey& key);

    // Inserts `count` rows in one transaction, `bind` filling each; an error
    // leaves the index as it was (and a damaged file is rebuilt).
    [[nodiscard]] StoreStatus insertRows(const char* sql, std::size_t count,
                                         const std::function<void(Statement& insert, std::size_t row)>& bind);
    void closeConnection();

    QString m_path;
    DateRule m_dateRule;
    std::vector<IndexEntry> m_redated;  // rows to store again after a lookup
    sqlite3* m_db = nullptr;
    // Prepared once per connection: a rescan runs them up to 500 times.
    std::unique_ptr<Statement> m_fullBatchQuery;
    std::unique_ptr<Statement> m_rangeQuery;
    QString m_inMemoryReason;
    int m_rebuildCount = 0;
};

}  // namespace reelkeep::store
