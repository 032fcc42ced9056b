// folder_asset.h: one scanned video file as an asset of the port.
// A file whose index row is current answers from the row (the fast route, with
// px_filesize and originalFilename); any other file reads its container once,
// the first time a metadata property is asked for, and its neighbours in fetch
// order are read ahead on the probe pool, so a batch costs about one read per
// pool thread instead of one read per file in a row.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "library/executor.h"
#include "library/photo_library_port.h"
#include "platform/folder/fs/fingerprint.h"
#include "platform/folder/media/fd_input.h"
#include "platform/folder/store/metadata_index.h"

namespace reelkeep {

store::FileFingerprint storeFingerprint(const fs::FileFingerprint& fingerprint);

// The metadata index behind a mutex (one connection, any thread), with writes
// gathered into transactions of kIndexWriteBatch rows.
class MetadataSink {
public:
    explicit MetadataSink(std::unique_ptr<store::MetadataIndex> index) : m_index(std::move(index)) {}
    ~MetadataSink() { flush(); }
    MetadataSink(const MetadataSink&) = delete;
    MetadataSink& operator=(const MetadataSink&) = delete;

    std::vector<std::optional<store::IndexedMetadata>> lookup(std::span<const store::IndexKey> keys);
    void add(store::IndexEntry entry);
    void flush();

private:
    void flushLocked();

    std::mutex m_mutex;
    std::unique_ptr<store::MetadataIndex> m_index;
    std::vector<store::IndexEntry> m_pending;
};

struct ScannedFile {
    QByteArray path;  // canonical absolute path bytes
    fs::FileFingerprint fingerprint;
    Timestamp fileDate = 0;  // birth time, else mtime: the order of files not yet read
};

// The container values of one file, read at most once whoever asks first.
class MetadataSlot {
public:
    MetadataSlot(std::string identifier, ScannedFile file, media::InputLimits limits,
                 std::shared_ptr<MetadataSink> sink);
    explicit MetadataSlot(store::IndexedMetadata known);

    const store::IndexedMetadata& get();
    // Marks the slot as handed to the pool; false when it already was, or is read.
    bool claimPrefetch() { return !m_isQueued.exchange(true); }

private:
    enum class State { unread, reading, read };

    std::mutex m_mutex;
    std::condition_variable m_readDone;
    State m_state = State::unread;
    store::IndexedMetadata m_value;
    std::atomic<bool> m_isQueued{false};
    const std::string m_identifier;
    const ScannedFile m_file;
    const media::InputLimits m_limits;
    const std::shared_ptr<MetadataSink> m_sink;
};

// The unread files of one fetch, in fetch order, for reading ahead.
class ReadAhead {
public:
    ReadAhead(std::vector<std::shared_ptr<MetadataSlot>> unread, std::weak_ptr<Executor> pool)
        : m_slots(std::move(unread)), m_pool(std::move(pool)) {}
    // The caller reads slot `position` itself; the ones after it go to the pool.
    void readAheadOf(std::size_t position);

private:
    std::mutex m_mutex;
    std::size_t m_next = 0;
    const std::vector<std::shared_ptr<MetadataSlot>> m_slots;
    const std::weak_ptr<Executor> m_pool;
};

class FolderAsset final : public Asset {
public:
    FolderAsset(QString identifier, ScannedFile file, bool isFavorite, std::shared_ptr<MetadataSlot> slot,
                bool isIndexed, std::shared_ptr<ReadAhead> readAhead, std::size_t readAheadPosition);

    // The same file and metadata with another favorite flag: assets are immutable.
    std::shared_ptr<const FolderAsset> withFavorite(bool isFavorite) const;
    const ScannedFile& file() const { return m_file; }
    bool isIndexed() const { return m_isIndexed; }
    const store::IndexedMetadata& metadata() const;

    QString localIdentifier() const override { return m_identifier; }
    std::optional<Timestamp> creationDate() const override;
    double duration() const override { return metadata().lengthSeconds; }
    std::int64_t pixelWidth() const override { return metadata().pixelWidth; }
    std::int64_t pixelHeight() const override { return metadata().pixelHeight; }
    bool isFavorite() const override { return m_isFavorite; }
    std::uint64_t mediaSubtypes() const override;

    bool respondsTo(std::string_view selector) const override;
    std::optional<DynamicMethod> instanceMethod(std::string_view selector) const override;

private:
    QString m_identifier;
    ScannedFile m_file;
    bool m_isFavorite;
    std::shared_ptr<MetadataSlot> m_slot;
    bool m_isIndexed;
    std::shared_ptr<ReadAhead> m_readAhead;  // null for indexed files
    std::size_t m_readAheadPosition;
};

// Reads the container of a file if it is still the scanned one. Second: whether
// the answer may be kept in the index (not for a time-out, a refusal or a change).
std::pair<store::IndexedMetadata, bool> readMetadata(const ScannedFile& file,
                                                     const media::InputLimits& limits);

}  // namespace reelkeep
