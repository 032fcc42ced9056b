// folder_thumbnails.cpp: thumbnails through the disk cache and the media
// workers; previews handed out as descriptors.
#include "platform/folder/folder_thumbnails.h"

#include <algorithm>
#include <chrono>

#include "model/texts.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/folder_errors.h"
#include "platform/folder/folder_requests.h"
#include "platform/folder/media/thumbnail_decoder.h"

namespace reelkeep {
namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Previews are handed out as /proc/self/fd/N; the player reopens that link at
// once, so a few recent descriptors suffice and the process never runs out.
constexpr std::size_t kPreviewDescriptors = 8;
// The one limit of a decode: the decoder stops itself there, and a worker that
// has not answered by then is killed, a second before the port's limit fires.
constexpr std::chrono::milliseconds kDecodeTimeLimit = kImageRequestTimeLimit - std::chrono::seconds(1);

ImageResult imageFailure(PlatformError error) {
    return ImageResult{std::nullopt, false, false, std::move(error)};
}

}  // namespace

FolderThumbnails::FolderThumbnails(QString cacheRoot, media::InputLimits readLimits,
                                   std::shared_ptr<media::ThumbnailWorkerPool> workers,
                                   std::stop_token closing, RequestTable& requests, PoolExecutor& decodePool)
    : m_cacheRoot(std::move(cacheRoot)),
      m_readLimits(readLimits),
      m_workers(std::move(workers)),
      m_closing(std::move(closing)),
      m_requests(requests),
      m_decodePool(decodePool) {}

// ---- Thumbnails --------------------------------------------------------------

RequestId FolderThumbnails::requestImage(const AssetRef& asset, QSize targetPixels,
                                         std::function<void(ImageResult)> handler) {
    const auto pending = m_requests.open<ImageResult>(std::move(handler));
    pending->answerAfter(kImageRequestTimeLimit, [] {
        return imageFailure(PlatformError{kFolderErrorDomain, kTimeoutCode,
                                          reelkeep::tr("The thumbnail took too long to make.")});
    });
    const auto* folderAsset = dynamic_cast<const FolderAsset*>(asset.get());
    if (!folderAsset) {
        pending->answer(imageFailure(goneError()));
        return pending->id();
    }
    const media::ThumbnailFlavor flavor = std::max(targetPixels.width(), targetPixels.height()) >
                                                  media::maxPixelSize(media::ThumbnailFlavor::normal)
                                              ? media::ThumbnailFlavor::large
                                              : media::ThumbnailFlavor::normal;
    m_decodePool.post([this, pending, file = folderAsset->file(), flavor] {
        if (pending->isStopRequested() || pending->isAnswered()) return;
        pending->answer(thumbnail(file, flavor));
    });
    return pending->id();
}

ImageResult FolderThumbnails::thumbnail(const ScannedFile& file, media::ThumbnailFlavor flavor) const {
    const media::ThumbnailDiskCache cache(m_cacheRoot);
    const media::ThumbnailSubject subject{file.path, file.fingerprint.mtimeNs / kNsPerSecond,
                                          file.fingerprint.sizeBytes};
    if (!isUnchanged(file)) return imageFailure(goneError());
    if (std::optional<Picture> cached = cache.lookup(subject, flavor))
        return ImageResult{std::move(*cached), false, false, std::nullopt};
    if (cache.hasRecordedFailure(subject))
        return imageFailure(PlatformError{kFolderErrorDomain, kMediaCode,
                                          reelkeep::tr("This video has no picture to show.")});
    fs::Result<fs::UniqueFd> fd = fs::openVerifiedPath(file.path, file.fingerprint);
    if (!fd) return imageFailure(ioFailure(fd.error()));
    media::InputLimits limits = m_readLimits;
    limits.timeLimit = kDecodeTimeLimit;
    media::MediaResult<Picture> frame =
        m_workers
            ? m_workers->decode(fd->get(), media::maxPixelSize(flavor), limits, kDecodeTimeLimit, m_closing)
            : media::decodeThumbnail(fd->get(), media::maxPixelSize(flavor), limits);
    if (!frame) {
        const media::MediaErrorKind kind = frame.error().kind();
        // Only a lasting fault is remembered; a slow disk or a refusal is tried again.
        if (kind != media::MediaErrorKind::timedOut && kind != media::MediaErrorKind::unreadable)
            cache.recordFailure(subject);
        return imageFailure(PlatformError{kFolderErrorDomain, kMediaCode, frame.error().message()});
    }
    cache.store(subject, flavor, frame.value());
    return ImageResult{std::move(frame).value(), false, false, std::nullopt};
}

void FolderThumbnails::cancelImageRequest(RequestId id) {
    const auto pending = m_requests.find<ImageResult>(id);
    if (!pending) return;
    pending->requestStop();
    pending->answer(ImageResult{std::nullopt, false, true, std::nullopt});
}

// ---- Previews ----------------------------------------------------------------

QString FolderThumbnails::previewPath(fs::UniqueFd fd) {
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd.get());
    std::lock_guard lock(m_previewMutex);
    m_previewFds.push_back(std::move(fd));
    while (m_previewFds.size() > kPreviewDescriptors) m_previewFds.pop_front();
    return path;
}

RequestId FolderThumbnails::requestPlayableVideo(const AssetRef& asset,
                                                 std::function<void(VideoRequestResult)> handler) {
    const auto pending = m_requests.open<VideoRequestResult>(std::move(handler));
    std::shared_ptr<const FolderAsset> folderAsset = std::dynamic_pointer_cast<const FolderAsset>(asset);
    if (!folderAsset) {
        pending->answer(VideoRequestResult{std::nullopt, goneError()});
        return pending->id();
    }
    m_decodePool.post([this, pending, folderAsset] {
        if (pending->isStopRequested()) return;
        fs::Result<fs::UniqueFd> fd =
            fs::openVerifiedPath(folderAsset->file().path, folderAsset->file().fingerprint);
        if (!fd) return pending->answer(VideoRequestResult{std::nullopt, ioFailure(fd.error())});
        const store::IndexedMetadata& metadata = folderAsset->metadata();
        // The descriptor, not the name: a name that is not UTF-8 still plays, and
        // a file swapped in under the same name after the check is never shown.
        PlayableVideo video{previewPath(std::move(fd).value()), metadata.hasDecodableVideo,
                            metadata.lengthSeconds};
        pending->answer(VideoRequestResult{std::move(video), std::nullopt});
    });
    return pending->id();
}

void FolderThumbnails::cancelVideoRequest(RequestId id) {
    const auto pending = m_requests.find<VideoRequestResult>(id);
    if (!pending) return;
    pending->requestStop();
    pending->answer(VideoRequestResult{std::nullopt, cancelledError()});
}

}  // namespace reelkeep
