// folder_asset.h: one scanned video file as an asset of the port.
// A file whose index row is current answers from the row (the fast route, with
// px_filesize and originalFilename); any other file has its container read
// once, in a batch of its neighbours in fetch order: the scan reads the batches
// of a slice before it builds the slice's items (UnreadFiles::prepare), so the
// properties only look the answer up. A property asked for before that reads
// the file's batch then and there.
#pragma once

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
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
#include "platform/folder/media/thumbnail_workers.h"
#include "platform/folder/store/metadata_index.h"

namespace reelkeep {

store::FileFingerprint storeFingerprint(const fs::FileFingerprint& fingerprint);

// The metadata index behind a mutex (one connection, any thread), with writes
// gathered into transactions of kIndexWriteBatch rows. Opened on first use:
// a scan that finds no files never pays for it, and one that does opens it
// on the lookup thread while the walk runs.
class MetadataSink {
public:
    using Opener = std::function<std::unique_ptr<store::MetadataIndex>()>;
    explicit MetadataSink(Opener open) : m_open(std::move(open)) {}
    explicit MetadataSink(std::unique_ptr<store::MetadataIndex> index) : m_index(std::move(index)) {}
    ~MetadataSink() { flush(); }
    MetadataSink(const MetadataSink&) = delete;
    MetadataSink& operator=(const MetadataSink&) = delete;

    std::vector<std::optional<store::IndexedMetadata>> lookup(std::span<const store::IndexKey> keys);
    std::vector<std::optional<store::ContentDigests>> lookupContent(
        std::span<const store::ContentFingerprint> files);
    void storeContent(const store::ContentFingerprint& file, const store::ContentDigests& digests);
    std::vector<std::optional<store::VisualRecord>> lookupVisual(
        std::span<const store::ContentFingerprint> files);
    void storeVisual(const store::ContentFingerprint& file, const store::VisualRecord& record);
    void add(store::IndexEntry entry);
    void flush();

private:
    void flushLocked();
    store::MetadataIndex& indexLocked();

    std::mutex m_mutex;
    Opener m_open;
    std::unique_ptr<store::MetadataIndex> m_index;
    std::vector<store::IndexEntry> m_pending;
    std::vector<std::pair<store::ContentFingerprint, store::ContentDigests>> m_pendingContent;
    std::vector<std::pair<store::ContentFingerprint, store::VisualRecord>> m_pendingVisual;
};

struct ScannedFile {
    QByteArray path;  // canonical absolute path bytes
    fs::FileFingerprint fingerprint;
    Timestamp fileDate = 0;  // the name's date, else mtime: the order of files not yet read
    // Names outside the library: trashing the file frees nothing while they remain.
    std::uint32_t hardLinksOutside = 0;
    std::int64_t allocatedBytes = -1;  // st_blocks × 512 as the walk saw it; below zero: unknown
};

// Where containers are read: in worker processes when the library has them
// (a reader that crashes or hangs costs a worker, never the caller), else in
// this process (tests, tools).
struct MetadataReaders {
    media::InputLimits limits;
    std::weak_ptr<media::ThumbnailWorkerPool> workers;  // expired while the library closes
    bool isInWorkers = false;
    std::stop_token closing;
};

// The files of one fetch without a current index row, in fetch order, read in
// batches of consecutive files, each batch at most once, by whoever asks first:
// the scan for a slice, a read-ahead task on the read pool, or a property.
// One lock for all: a slot per file must stay small, since a first scan keeps
// 100,000 of them for the session.
class UnreadFiles : public std::enable_shared_from_this<UnreadFiles> {
public:
    UnreadFiles(std::vector<ScannedFile> files, MetadataReaders readers, std::shared_ptr<MetadataSink> sink,
                std::weak_ptr<Executor> pool);

    // Reads the files at positions first … last (a few batches ahead on the
    // pool, the rest here) and returns once they are read or `stop` is requested.
    void prepare(std::size_t first, std::size_t last, const std::stop_token& stop = {});
    // The answer for one file, reading its batch here if no one has.
    const store::IndexedMetadata& metadata(std::size_t position);
    // The answer for one file if its batch was read; never starts a read.
    std::optional<store::IndexedMetadata> metadataIfRead(std::size_t position);

private:
    enum class State : std::uint8_t { unread, queued, reading, read };
    struct Slot {
        ScannedFile file;
        store::IndexedMetadata value;
    };

    void read(std::size_t batch);  // claims the batch and reads it, or waits for its reader
    void queue(std::size_t firstBatch, std::size_t endBatch);

    std::mutex m_mutex;
    std::condition_variable m_readDone;
    std::vector<Slot> m_slots;  // never resized: answers are references into it
    std::vector<State> m_batches;
    const MetadataReaders m_readers;
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
    void setFavorite(bool isFavorite) { m_isFavorite = isFavorite; }
    VideoLocationRef location() const override { return m_location; }

    // The same file and metadata with another favorite flag: assets are immutable.
    std::shared_ptr<const FolderAsset> withFavorite(bool isFavorite) const;
    // The same file after a move of ours put it back: a rename may set its ctime.
    std::shared_ptr<const FolderAsset> withFingerprint(const fs::FileFingerprint& fingerprint) const;
    const ScannedFile& file() const { return m_file; }
    const QString& identifier() const { return m_identifier; }
    bool isIndexed() const { return !m_unread; }
    // Where an unindexed file waits for its read: null for indexed files.
    UnreadFiles* unreadFiles() const { return m_unread.get(); }
    std::size_t unreadPosition() const { return m_unreadPosition; }
    const store::IndexedMetadata& metadata() const;

    QString localIdentifier() const override { return m_identifier; }
    std::optional<Timestamp> creationDate() const override { return metadata().creationDate; }
    DateSource dateSource() const { return metadata().dateSource; }
    double duration() const override { return metadata().lengthSeconds; }
    // The length if it is known without reading the file; 0 otherwise.
    double knownDuration() const;
    std::int64_t pixelWidth() const override { return metadata().pixelWidth; }
    std::int64_t pixelHeight() const override { return metadata().pixelHeight; }
    bool isFavorite() const override { return m_isFavorite; }
    std::uint64_t mediaSubtypes() const override;
    FileVersion fileVersion() const override {
        return {m_file.fingerprint.mtimeNs, m_file.fingerprint.sizeBytes};
    }

    // An indexed file whose name and length the dynamic route would take as they are.
    std::optional<VideoItem> plainItem() const override;

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

// Reads the containers of files that are still the scanned ones, one result each.
std::vector<ReadResult> readMetadata(std::span<const ScannedFile> files, const MetadataReaders& readers);

// The date rule of this build, for the index: its rows are dated again from
// their tags, their name (from the identifier) and their mtime.
store::DateRule folderDateRule();

}  // namespace reelkeep
