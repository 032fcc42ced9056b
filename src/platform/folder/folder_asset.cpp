// folder_asset.cpp: lazy container reads, read-ahead and the index write-back.
#include "platform/folder/folder_asset.h"

#include <QDebug>
#include <algorithm>

#include "platform/folder/fs/path_id.h"
#include "platform/folder/media/creation_date.h"
#include "platform/folder/media/media_probe.h"
#include "platform/folder/media/screen_recording.h"

namespace reelkeep {
namespace {
// One transaction per this many new rows: a first scan of 10,000 files writes
// 100 times, and a stopped scan loses at most this much work.
constexpr std::size_t kIndexWriteBatch = 100;
// Files read ahead of the one asked for: enough to keep two pool threads busy
// through a batch, few enough that a stopped scan wastes little.
constexpr std::size_t kReadAheadWindow = 16;
}  // namespace

store::FileFingerprint storeFingerprint(const fs::FileFingerprint& fingerprint) {
    return store::FileFingerprint{fingerprint.device, fingerprint.inode, fingerprint.sizeBytes,
                                  fingerprint.mtimeNs};
}

std::vector<std::optional<store::IndexedMetadata>> MetadataSink::lookup(
    std::span<const store::IndexKey> keys) {
    std::lock_guard lock(m_mutex);
    flushLocked();
    return m_index->lookup(keys);
}

std::vector<std::optional<store::ContentDigests>> MetadataSink::lookupContent(
    std::span<const store::ContentFingerprint> files) {
    std::lock_guard lock(m_mutex);
    return m_index->lookupContent(files);
}

void MetadataSink::storeContent(const store::ContentFingerprint& file, const store::ContentDigests& digests) {
    std::lock_guard lock(m_mutex);
    // Pending rows are not looked up: what they say is only more than the index
    // says of the same fingerprint, never something else.
    m_pendingContent.emplace_back(file, digests);
    if (m_pendingContent.size() >= kIndexWriteBatch) flushLocked();
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
        if (const store::StoreStatus error = m_index->store(m_pending))
            qWarning().noquote() << "reelkeep: metadata index not updated:" << error->message();
    m_pending.clear();
    if (!m_pendingContent.empty())
        if (const store::StoreStatus error = m_index->storeContent(m_pendingContent))
            qWarning().noquote() << "reelkeep: copy results not kept:" << error->message();
    m_pendingContent.clear();
}

ReadResult readMetadata(const ScannedFile& file, const media::InputLimits& limits) {
    ReadResult result;
    store::IndexedMetadata& metadata = result.metadata;
    const std::string name = fs::splitPath(file.path).value_or(fs::SplitPath{}).name.toStdString();
    const auto setDate = [&] {
        const media::DatedBy dated = media::videoDate(result.dateTags, name, file.fingerprint.mtimeNs);
        metadata.creationDate = dated.date;
        metadata.dateSource = dated.source;
    };
    metadata.isScreenRecording = media::isScreenRecording({{}, name});
    setDate();
    fs::Result<fs::UniqueFd> fd = fs::openVerifiedPath(file.path, file.fingerprint);
    if (!fd) return result;
    const media::MediaResult<media::MediaInfo> info = media::probeMedia(fd->get(), name, limits);
    if (!info) {
        const media::MediaErrorKind kind = info.error().kind();
        // A broken file stays broken until it changes, and then its fingerprint does.
        result.isLasting =
            kind != media::MediaErrorKind::timedOut && kind != media::MediaErrorKind::unreadable;
        return result;
    }
    result.dateTags = info->dateTags;
    setDate();
    metadata.lengthSeconds = info->lengthSeconds;
    metadata.pixelWidth = info->pixelWidth;
    metadata.pixelHeight = info->pixelHeight;
    metadata.isScreenRecording = info->isScreenRecording;
    metadata.hasDecodableVideo = info->hasDecodableVideo;
    result.isLasting = true;
    return result;
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

UnreadFiles::UnreadFiles(std::vector<ScannedFile> files, media::InputLimits limits,
                         std::shared_ptr<MetadataSink> sink, std::weak_ptr<Executor> pool)
    : m_limits(limits), m_sink(std::move(sink)), m_pool(std::move(pool)) {
    m_slots.reserve(files.size());
    for (ScannedFile& file : files) m_slots.push_back(Slot{std::move(file), {}, State::unread});
}

const store::IndexedMetadata& UnreadFiles::metadata(std::size_t position) {
    readAheadOf(position);
    return read(position);
}

const store::IndexedMetadata& UnreadFiles::read(std::size_t position) {
    Slot& slot = m_slots[position];
    std::unique_lock lock(m_mutex);
    if (slot.state == State::read) return slot.value;
    if (slot.state == State::reading) {
        m_readDone.wait(lock, [&slot] { return slot.state == State::read; });
        return slot.value;
    }
    slot.state = State::reading;
    lock.unlock();
    ReadResult read = readMetadata(slot.file, m_limits);
    // The identifier is the path's, so it is made again here rather than kept per file.
    if (read.isLasting && m_sink)
        m_sink->add(store::IndexEntry{
            {fs::identifierForPath(slot.file.path).toStdString(), storeFingerprint(slot.file.fingerprint)},
            read.metadata,
            std::move(read.dateTags)});
    lock.lock();
    slot.value = std::move(read.metadata);
    slot.state = State::read;
    m_readDone.notify_all();
    return slot.value;
}

void UnreadFiles::readAheadOf(std::size_t position) {
    const std::shared_ptr<Executor> pool = m_pool.lock();
    if (!pool) return;
    std::lock_guard lock(m_mutex);
    const std::size_t end = std::min(m_slots.size(), position + 1 + kReadAheadWindow);
    for (std::size_t i = std::max(m_next, position + 1); i < end; ++i) {
        if (m_slots[i].state != State::unread) continue;
        m_slots[i].state = State::queued;
        pool->post([self = shared_from_this(), i] { self->read(i); });
    }
    m_next = std::max(m_next, end);
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

std::uint64_t FolderAsset::mediaSubtypes() const {
    return metadata().isScreenRecording ? kMediaSubtypeVideoScreenRecording : 0;
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
