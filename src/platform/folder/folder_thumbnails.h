// folder_thumbnails.h: thumbnails and playable previews of scanned videos.
// Both run on the decode pool and answer once on the callback thread; a
// thumbnail answers within kImageRequestTimeLimit whatever the decoder does.
// A preview is an open descriptor of the checked file, never its name.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

#include "library/executor.h"
#include "library/photo_library_port.h"
#include "platform/folder/fs/unique_fd.h"
#include "platform/folder/media/fd_input.h"
#include "platform/folder/media/thumbnail_disk_cache.h"
#include "platform/folder/media/thumbnail_workers.h"

namespace reelkeep {

class RequestTable;
struct ScannedFile;

class FolderThumbnails {
public:
    // `decodePool` runs every request; it must be joined before this goes.
    // Null `workers`: decoded in this process.
    FolderThumbnails(QString cacheRoot, media::InputLimits readLimits,
                     std::shared_ptr<media::ThumbnailWorkerPool> workers, std::stop_token closing,
                     RequestTable& requests, PoolExecutor& decodePool);

    RequestId requestImage(const AssetRef& asset, QSize targetPixels,
                           std::function<void(ImageResult)> handler);
    void cancelImageRequest(RequestId id);
    RequestId requestPlayableVideo(const AssetRef& asset, std::function<void(VideoRequestResult)> handler);
    void cancelVideoRequest(RequestId id);

private:
    ImageResult thumbnail(const ScannedFile& file, media::ThumbnailFlavor flavor) const;
    QString previewPath(fs::UniqueFd fd);

    const QString m_cacheRoot;
    const media::InputLimits m_readLimits;
    const std::shared_ptr<media::ThumbnailWorkerPool> m_workers;
    const std::stop_token m_closing;
    RequestTable& m_requests;
    PoolExecutor& m_decodePool;
    std::mutex m_previewMutex;
    // Preview files whose names are not UTF-8 are handed out as /proc/self/fd/N.
    std::deque<fs::UniqueFd> m_previewFds;  // guarded by m_previewMutex
};

}  // namespace reelkeep
