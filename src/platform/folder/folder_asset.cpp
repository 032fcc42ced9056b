// folder_asset.cpp: lazy container reads, read-ahead and the index write-back.
#include "platform/folder/folder_asset.h"

#include <QDebug>
#include <algorithm>
#include <utility>

#include "platform/folder/fs/path_id.h"
#include "platform/folder/media/container_read.h"
#include "platform/folder/media/creation_date.h"
#include "platform/folder/media/screen_recording.h"
#include "platform/folder/media/visual_fingerprint.h"

namespace reelkeep {
namespace {
// One transaction per this many new rows: a first scan of 10,000 files writes
// 100 times, and a stopped scan loses at most this much work.
constexpr std::size_t kIndexWriteBatch = 100;
// Files per read: one request to a worker.
constexpr std::size_t kReadBatch = media::kMaxMetadataBatch;
// Batches read ahead of the last one asked for: enough to keep two pool
// threads busy while the scan builds items, few enough that a stopped scan
// wastes little.
constexpr std::size_t kReadAheadBatches = 2;
// A worker gets this much longer than its reader's own limit before it counts as hung.
constexpr std::chrono::milliseconds kWorkerGrace{1000};

bool isLasting(media::MediaErrorKind kind) {
    // A broken file stays broken until it changes, and then its fingerprint does.
    return kind != media::MediaErrorKind::timedOut && kind != media::MediaErrorKind::unreadable;
}
}  // namespace

store::FileFingerprint storeFingerprint(const fs::FileFingerprint& fingerprint) {
    return store::FileFingerprint{fingerprint.device, fingerprint.inode, fingerprint.sizeBytes,
                                  fingerprint.mtimeNs};
}

store::MetadataIndex& MetadataSink::indexLocked() {
    if (!m_index) m_index = std::exchange(m_open, nullptr)();
    return *m_index;
}

std::vector<std::optional<store::IndexedMetadata>> MetadataSink::lookup(
    std::span<const store::IndexKey> keys) {
    std::lock_guard lock(m_mutex);
    flushLocked();
    return indexLocked().lookup(keys);
}

std::vector<std::optional<store::ContentDigests>> MetadataSink::lookupContent(
    std::span<const store::ContentFingerprint> files) {
    std::lock_guard lock(m_mutex);
    return indexLocked().lookupContent(files);
}

void MetadataSink::storeContent(const store::ContentFingerprint& file, const store::ContentDigests& digests) {
    std::lock_guard lock(m_mutex);
    // Pending rows are not looked up: what they say is only more than the index
    // says of the same fingerprint, never something else.
    m_pendingContent.emplace_back(file, digests);
    if (m_pendingContent.size() >= kIndexWriteBatch) flushLocked();
}

std::vector<std::optional<store::VisualRecord>> MetadataSink::lookupVisual(
    std::span<const store::ContentFingerprint> files) {
    std::lock_guard lock(m_mutex);
    flushLocked();
    return indexLocked().lookupVisual(files, media::kFingerprintAlgorithm);
}

void MetadataSink::storeVisual(const store::ContentFingerprint& file, const store::VisualRecord& record) {
    std::lock_guard lock(m_mutex);
    m_pendingVisual.emplace_back(file, record);
    if (m_pendingVisual.size() >= kIndexWriteBatch) flushLocked();
}

void MetadataSink::add(store::IndexEntry entry) {
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(entry));
    if (m_pending.size() >= kIndexWriteBatch) flushLocked();
}

void MetadataSink::flush() {
    std::lock_guard lock(m_mutex);
    flushLocked();
}

void MetadataSink::flushLocked() {
    // The index is a cache: a failed write only means these files are read again.
    if (!m_pending.empty())
        if (const store::StoreStatus error = indexLocked().store(m_pending))
            qWarning().noquote() << "reelkeep: metadata index not updated:" << error->message();
    m_pending.clear();
    if (!m_pendingContent.empty())
        if (const store::StoreStatus error = indexLocked().storeContent(m_pendingContent))
            qWarning().noquote() << "reelkeep: copy results not kept:" << error->message();
    m_pendingContent.clear();
    if (!m_pendingVisual.empty())
        if (const store::StoreStatus error =
                indexLocked().storeVisual(m_pendingVisual, media::kFingerprintAlgorithm))
            qWarning().noquote() << "reelkeep: fingerprints not kept:" << error->message();
    m_pendingVisual.clear();
}

std::vector<ReadResult> readMetadata(std::span<const ScannedFile> files, const MetadataReaders& readers) {
    std::vector<ReadResult> results(files.size());
    std::vector<std::string> names(files.size());
    std::vector<fs::UniqueFd> opened;
    std::vector<std::size_t> openedFiles;
    opened.reserve(files.size());
    openedFiles.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        names[i] = fs::splitPath(files[i].path).value_or(fs::SplitPath{}).name.toStdString();
        store::IndexedMetadata& metadata = results[i].metadata;
        metadata.isScreenRecording = media::isScreenRecording({{}, names[i]});
        const media::DatedBy dated = media::fileDate(names[i], files[i].fingerprint.mtimeNs);
        metadata.creationDate = dated.date;
        metadata.dateSource = dated.source;
        fs::Result<fs::UniqueFd> fd = fs::openVerifiedPath(files[i].path, files[i].fingerprint);
        if (!fd) continue;
        opened.push_back(std::move(fd).value());
        openedFiles.push_back(i);
    }
    if (opened.empty()) return results;

    std::vector<media::MediaResult<media::MediaInfo>> infos;
    if (readers.isInWorkers) {
        std::vector<int> fds;
        for (const fs::UniqueFd& fd : opened) fds.push_back(fd.get());
        // Never in this process instead: the library is closing, these files wait for the next scan.
        if (const std::shared_ptr<media::ThumbnailWorkerPool> workers = readers.workers.lock())
            infos = workers->readMetadata(fds, readers.limits, readers.limits.timeLimit + kWorkerGrace,
                                          readers.closing);
        else
            infos.assign(fds.size(),
                         media::MediaError(media::MediaErrorKind::timedOut, QStringLiteral("closing")));
    } else {
        infos.reserve(opened.size());
        for (std::size_t j = 0; j < opened.size(); ++j)
            infos.push_back(media::readContainer(opened[j].get(), names[openedFiles[j]], readers.limits));
    }

    for (std::size_t j = 0; j < opened.size(); ++j) {
        const std::size_t i = openedFiles[j];
        const media::MediaResult<media::MediaInfo>& info = infos[j];
        ReadResult& result = results[i];
        if (!info) {
            result.isLasting = isLasting(info.error().kind());
            continue;
        }
        store::IndexedMetadata& metadata = result.metadata;
        result.dateTags = info->dateTags;
        const media::DatedBy dated =
            media::videoDate(result.dateTags, names[i], files[i].fingerprint.mtimeNs);
        metadata.creationDate = dated.date;
        metadata.dateSource = dated.source;
        metadata.lengthSeconds = info->lengthSeconds;
        metadata.pixelWidth = info->pixelWidth;
        metadata.pixelHeight = info->pixelHeight;
        // A worker sees the tags only; the name rule was applied above.
        metadata.isScreenRecording = metadata.isScreenRecording || info->isScreenRecording;
        metadata.hasDecodableVideo = info->hasDecodableVideo;
        result.isLasting = true;
    }
    return results;
}

store::DateRule folderDateRule() {
    return store::DateRule{
        media::kDateRuleVersion,
        [](const ContainerDateTags& tags, const store::IndexKey& key, store::IndexedMetadata& metadata) {
            const std::optional<QByteArray> path =
                fs::percentDecodePath(QByteArray::fromStdString(key.identifier));
            const QByteArray name = path ? fs::splitPath(*path).value_or(fs::SplitPath{}).name : QByteArray();
            const media::DatedBy dated = media::videoDate(tags, name.toStdString(), key.fingerprint.mtimeNs);
            metadata.creationDate = dated.date;
            metadata.dateSource = dated.source;
        }};
}

UnreadFiles::UnreadFiles(std::vector<ScannedFile> files, MetadataReaders readers,
                         std::shared_ptr<MetadataSink> sink, std::weak_ptr<Executor> pool)
    : m_readers(std::move(readers)), m_sink(std::move(sink)), m_pool(std::move(pool)) {
    m_slots.reserve(files.size());
    for (ScannedFile& file : files) m_slots.push_back(Slot{std::move(file), {}});
    m_batches.assign((m_slots.size() + kReadBatch - 1) / kReadBatch, State::unread);
}

void UnreadFiles::prepare(std::size_t first, std::size_t last, const std::stop_token& stop) {
    if (first > last || last >= m_slots.size()) return;
    const std::size_t firstBatch = first / kReadBatch;
    const std::size_t endBatch = last / kReadBatch + 1;
    // The pool takes batches from the front, this thread too: a batch goes to whoever claims it first.
    queue(firstBatch, std::min(m_batches.size(), endBatch + kReadAheadBatches));
    for (std::size_t batch = firstBatch; batch < endBatch && !stop.stop_requested(); ++batch) read(batch);
}

const store::IndexedMetadata& UnreadFiles::metadata(std::size_t position) {
    prepare(position, position);
    return m_slots[position].value;
}

std::optional<store::IndexedMetadata> UnreadFiles::metadataIfRead(std::size_t position) {
    std::lock_guard lock(m_mutex);
    if (position >= m_slots.size() || m_batches[position / kReadBatch] != State::read) return std::nullopt;
    return m_slots[position].value;
}

void UnreadFiles::read(std::size_t batch) {
    std::unique_lock lock(m_mutex);
    State& state = m_batches[batch];
    if (state == State::read) return;
    if (state == State::reading) {
        m_readDone.wait(lock, [&state] { return state == State::read; });
        return;
    }
    state = State::reading;
    lock.unlock();
    const std::size_t first = batch * kReadBatch;
    const std::size_t count = std::min(kReadBatch, m_slots.size() - first);
    std::vector<ScannedFile> files;
    files.reserve(count);
    for (std::size_t i = first; i < first + count; ++i) files.push_back(m_slots[i].file);
    std::vector<ReadResult> results = readMetadata(files, m_readers);
    for (std::size_t i = 0; i < count; ++i) {
        ReadResult& result = results[i];
        // The identifier is the path's, so it is made again here rather than kept per file.
        if (result.isLasting && m_sink)
            m_sink->add(store::IndexEntry{
                {fs::identifierForPath(files[i].path).toStdString(), storeFingerprint(files[i].fingerprint)},
                result.metadata,
                std::move(result.dateTags)});
    }
    lock.lock();
    for (std::size_t i = 0; i < count; ++i) m_slots[first + i].value = results[i].metadata;
    state = State::read;
    m_readDone.notify_all();
}

void UnreadFiles::queue(std::size_t firstBatch, std::size_t endBatch) {
    const std::shared_ptr<Executor> pool = m_pool.lock();
    if (!pool) return;
    std::lock_guard lock(m_mutex);
    for (std::size_t batch = firstBatch; batch < endBatch; ++batch) {
        if (m_batches[batch] != State::unread) continue;
        m_batches[batch] = State::queued;
        pool->post([self = shared_from_this(), batch] { self->read(batch); });
    }
}

FolderAsset::FolderAsset(QString identifier, ScannedFile file, bool isFavorite,
                         const store::IndexedMetadata& indexed)
    : m_identifier(std::move(identifier)),
      m_file(std::move(file)),
      m_indexed(indexed),
      m_isFavorite(isFavorite) {}

FolderAsset::FolderAsset(QString identifier, ScannedFile file, bool isFavorite,
                         std::shared_ptr<UnreadFiles> unread, std::size_t position)
    : m_identifier(std::move(identifier)),
      m_file(std::move(file)),
      m_unread(std::move(unread)),
      m_unreadPosition(static_cast<std::uint32_t>(position)),
      m_isFavorite(isFavorite) {}

std::shared_ptr<const FolderAsset> FolderAsset::withFingerprint(
    const fs::FileFingerprint& fingerprint) const {
    auto copy = std::make_shared<FolderAsset>(*this);
    copy->m_file.fingerprint = fingerprint;
    return copy;
}

std::shared_ptr<const FolderAsset> FolderAsset::withFavorite(bool isFavorite) const {
    auto copy = std::make_shared<FolderAsset>(*this);
    copy->m_isFavorite = isFavorite;
    return copy;
}

const store::IndexedMetadata& FolderAsset::metadata() const {
    return m_unread ? m_unread->metadata(m_unreadPosition) : m_indexed;
}

double FolderAsset::knownDuration() const {
    if (!m_unread) return m_indexed.lengthSeconds;
    const std::optional<store::IndexedMetadata> read = m_unread->metadataIfRead(m_unreadPosition);
    return read ? read->lengthSeconds : 0;
}

std::uint64_t FolderAsset::mediaSubtypes() const {
    return metadata().isScreenRecording ? kMediaSubtypeVideoScreenRecording : 0;
}

std::optional<VideoItem> FolderAsset::plainItem() const {
    // px_filesize travels as a double and counts only when positive: other
    // lengths, and an empty name, take the resource route.
    constexpr std::int64_t kExactInDouble = std::int64_t(1) << 53;
    const std::int64_t bytes = m_file.fingerprint.sizeBytes;
    if (!isIndexed() || bytes <= 0 || bytes >= kExactInDouble) return std::nullopt;
    QString name = fs::displayName(m_file.path);
    if (name.isEmpty()) return std::nullopt;
    return VideoItem(m_identifier, std::move(name), m_indexed.creationDate, m_indexed.lengthSeconds,
                     m_indexed.pixelWidth, m_indexed.pixelHeight, m_isFavorite, m_indexed.isScreenRecording,
                     SizeState::known(bytes, SizeSource::photosMetadata), m_location);
}

// Only a current index row vouches for the values, so only then do the
// undocumented members exist; otherwise the service takes the resource route.
bool FolderAsset::respondsTo(std::string_view selector) const {
    return isIndexed() && (selector == "px_filesize" || selector == "originalFilename");
}

std::optional<DynamicMethod> FolderAsset::instanceMethod(std::string_view selector) const {
    if (!isIndexed()) return std::nullopt;
    if (selector == "px_filesize")
        return DynamicMember::integer('q', static_cast<std::uint64_t>(m_file.fingerprint.sizeBytes)).method;
    if (selector == "originalFilename")
        return DynamicMember::object(makeStringObject(fs::displayName(m_file.path))).method;
    return std::nullopt;
}

}  // namespace reelkeep
