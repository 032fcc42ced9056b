// folder_asset.h: one scanned video file as an asset of the port.
// A file whose index row is current answers from the row (the fast route, with
// px_filesize and originalFilename); any other file reads its container once,
// the first time a metadata property is asked for, and its neighbours in fetch
// order are read ahead on the probe pool, so a batch costs about one read per
// pool thread instead of one read per file in a row.
#pragma once

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
    std::vector<std::optional<store::ContentDigests>> lookupContent(
        std::span<const store::ContentFingerprint> files);
    void storeContent(const store::ContentFingerprint& file, const store::ContentDigests& digests);
    void add(store::IndexEntry entry);
    void flush();

private:
    void flushLocked();

    std::mutex m_mutex;
    std::unique_ptr<store::MetadataIndex> m_index;
    std::vector<store::IndexEntry> m_pending;
    std::vector<std::pair<store::ContentFingerprint, store::ContentDigests>> m_pendingContent;
};

struct ScannedFile {
    QByteArray path;  // canonical absolute path bytes
    fs::FileFingerprint fingerprint;
    Timestamp fileDate = 0;  // the name's date, else mtime: the order of files not yet read
    // Names outside the library: trashing the file frees nothing while they remain.
    std::uint32_t hardLinksOutside = 0;
};

// The files of one fetch without a current index row, in fetch order. Each is
// read at most once, by whoever asks first; asking for one hands the next few to
// the probe pool. One lock for all: a slot per file must stay small, since a
// first scan keeps 100,000 of them for the session.
class UnreadFiles : public std::enable_shared_from_this<UnreadFiles> {
public:
    UnreadFiles(std::vector<ScannedFile> files, media::InputLimits limits, std::shared_ptr<MetadataSink> sink,
                std::weak_ptr<Executor> pool);

    // Reads ahead of `position` on the pool, then answers for it, reading it here if no one has.
    const store::IndexedMetadata& metadata(std::size_t position);

private:
    enum class State : std::uint8_t { unread, queued, reading, read };
    struct Slot {
        ScannedFile file;
        store::IndexedMetadata value;
        State state = State::unread;
    };

    const store::IndexedMetadata& read(std::size_t position);
    void readAheadOf(std::size_t position);

    std::mutex m_mutex;
    std::condition_variable m_readDone;
    std::vector<Slot> m_slots;  // never resized: answers are references into it
    std::size_t m_next = 0;     // the first slot not yet considered for reading ahead
    const media::InputLimits m_limits;
    const std::shared_ptr<MetadataSink> m_sink;
    const std::weak_ptr<Executor> m_pool;
};

class FolderAsset final : public Asset {
public:
    // A file whose index row is current: the row's values, never a read.
    FolderAsset(QString identifier, ScannedFile file, bool isFavorite, const store::IndexedMetadata& indexed);
    // Any other file: read through `unread`, where it sits at `position`.
    FolderAsset(QString identifier, ScannedFile file, bool isFavorite, std::shared_ptr<UnreadFiles> unread,
                std::size_t position);

    // Set once, before the asset is shared.
    void setLocation(VideoLocationRef location) { m_location = std::move(location); }
    VideoLocationRef location() const override { return m_location; }

    // The same file and metadata with another favorite flag: assets are immutable.
    std::shared_ptr<const FolderAsset> withFavorite(bool isFavorite) const;
    // The same file after a move of ours put it back: a rename may set its ctime.
    std::shared_ptr<const FolderAsset> withFingerprint(const fs::FileFingerprint& fingerprint) const;
    const ScannedFile& file() const { return m_file; }
    const QString& identifier() const { return m_identifier; }
    bool isIndexed() const { return !m_unread; }
    const store::IndexedMetadata& metadata() const;

    QString localIdentifier() const override { return m_identifier; }
    std::optional<Timestamp> creationDate() const override { return metadata().creationDate; }
    DateSource dateSource() const { return metadata().dateSource; }
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
    store::IndexedMetadata m_indexed;       // indexed files only
    std::shared_ptr<UnreadFiles> m_unread;  // null for indexed files
    VideoLocationRef m_location;            // shared by the files of one folder
    std::uint32_t m_unreadPosition = 0;
    bool m_isFavorite;
};

struct ReadResult {
    store::IndexedMetadata metadata;
    ContainerDateTags dateTags;
    bool isLasting = false;  // may be kept in the index: not a time-out, a refusal or a change
};

// Reads the container of a file if it is still the scanned one.
ReadResult readMetadata(const ScannedFile& file, const media::InputLimits& limits);

// The date rule of this build, for the index: its rows are dated again from
// their tags, their name (from the identifier) and their mtime.
store::DateRule folderDateRule();

}  // namespace reelkeep
