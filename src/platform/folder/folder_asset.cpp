// folder_asset.cpp: lazy container reads, read-ahead and the index write-back.
#include "platform/folder/folder_asset.h"

#include <QDebug>
#include <algorithm>

#include "platform/folder/fs/path_id.h"
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
    if (m_pending.empty()) return;
    // The index is a cache: a failed write only means these files are read again.
    if (const store::StoreStatus error = m_index->store(m_pending))
        qWarning().noquote() << "reelkeep: metadata index not updated:" << error->message();
    m_pending.clear();
}

std::pair<store::IndexedMetadata, bool> readMetadata(const ScannedFile& file,
                                                     const media::InputLimits& limits) {
    store::IndexedMetadata metadata;
    const QByteArray name = fs::splitPath(file.path).value_or(fs::SplitPath{}).name;
    metadata.isScreenRecording = media::isScreenRecording({{}, name.toStdString()});
    fs::Result<fs::UniqueFd> fd = fs::openVerifiedPath(file.path, file.fingerprint);
    if (!fd) return {metadata, false};
    const media::MediaResult<media::MediaInfo> info =
        media::probeMedia(fd->get(), name.toStdString(), limits);
    if (!info) {
        const media::MediaErrorKind kind = info.error().kind();
        // A broken file stays broken until it changes, and then its fingerprint does.
        const bool isLasting =
            kind != media::MediaErrorKind::timedOut && kind != media::MediaErrorKind::unreadable;
        return {metadata, isLasting};
    }
    metadata.creationDate = info->creationDate;
    metadata.lengthSeconds = info->lengthSeconds;
    metadata.pixelWidth = info->pixelWidth;
    metadata.pixelHeight = info->pixelHeight;
    metadata.isScreenRecording = info->isScreenRecording;
    metadata.hasDecodableVideo = info->hasDecodableVideo;
    return {metadata, true};
}

MetadataSlot::MetadataSlot(std::string identifier, ScannedFile file, media::InputLimits limits,
                           std::shared_ptr<MetadataSink> sink)
    : m_identifier(std::move(identifier)),
      m_file(std::move(file)),
      m_limits(limits),
      m_sink(std::move(sink)) {}

MetadataSlot::MetadataSlot(store::IndexedMetadata known) : m_state(State::read), m_value(std::move(known)) {
    m_isQueued = true;
}

const store::IndexedMetadata& MetadataSlot::get() {
    std::unique_lock lock(m_mutex);
    if (m_state == State::read) return m_value;
    if (m_state == State::reading) {
        m_readDone.wait(lock, [this] { return m_state == State::read; });
        return m_value;
    }
    m_state = State::reading;
    m_isQueued = true;
    lock.unlock();
    auto [metadata, isLasting] = readMetadata(m_file, m_limits);
    if (isLasting && m_sink)
        m_sink->add(store::IndexEntry{{m_identifier, storeFingerprint(m_file.fingerprint)}, metadata});
    lock.lock();
    m_value = std::move(metadata);
    m_state = State::read;
    m_readDone.notify_all();
    return m_value;
}

void ReadAhead::readAheadOf(std::size_t position) {
    const std::shared_ptr<Executor> pool = m_pool.lock();
    if (!pool) return;
    std::lock_guard lock(m_mutex);
    const std::size_t end = std::min(m_slots.size(), position + 1 + kReadAheadWindow);
    for (std::size_t i = std::max(m_next, position + 1); i < end; ++i) {
        if (!m_slots[i]->claimPrefetch()) continue;
        pool->post([slot = m_slots[i]] { slot->get(); });
    }
    m_next = std::max(m_next, end);
}

FolderAsset::FolderAsset(QString identifier, ScannedFile file, bool isFavorite,
                         std::shared_ptr<MetadataSlot> slot, bool isIndexed,
                         std::shared_ptr<ReadAhead> readAhead, std::size_t readAheadPosition)
    : m_identifier(std::move(identifier)),
      m_file(std::move(file)),
      m_isFavorite(isFavorite),
      m_slot(std::move(slot)),
      m_isIndexed(isIndexed),
      m_readAhead(std::move(readAhead)),
      m_readAheadPosition(readAheadPosition) {}

std::shared_ptr<const FolderAsset> FolderAsset::withFavorite(bool isFavorite) const {
    return std::make_shared<const FolderAsset>(m_identifier, m_file, isFavorite, m_slot, m_isIndexed,
                                               m_readAhead, m_readAheadPosition);
}

const store::IndexedMetadata& FolderAsset::metadata() const {
    if (m_readAhead) m_readAhead->readAheadOf(m_readAheadPosition);
    return m_slot->get();
}

std::optional<Timestamp> FolderAsset::creationDate() const {
    return metadata().creationDate.value_or(m_file.fileDate);
}

std::uint64_t FolderAsset::mediaSubtypes() const {
    return metadata().isScreenRecording ? kMediaSubtypeVideoScreenRecording : 0;
}

// Only a current index row vouches for the values, so only then do the
// undocumented members exist; otherwise the service takes the resource route.
bool FolderAsset::respondsTo(std::string_view selector) const {
    return m_isIndexed && (selector == "px_filesize" || selector == "originalFilename");
}

std::optional<DynamicMethod> FolderAsset::instanceMethod(std::string_view selector) const {
    if (!m_isIndexed) return std::nullopt;
    if (selector == "px_filesize")
        return DynamicMember::integer('q', static_cast<std::uint64_t>(m_file.fingerprint.sizeBytes)).method;
    if (selector == "originalFilename")
        return DynamicMember::object(makeStringObject(fs::displayName(m_file.path))).method;
    return std::nullopt;
}

}  // namespace reelkeep
