// thumbnail_wire.h: decodeThumbnail, readContainer, fingerprintVideo and
// decodeFrameStrip across a process boundary. A worker process serves requests
// on a Unix socket: a thumbnail or frame-strip request carries one video's
// descriptor (SCM_RIGHTS) and its limits, a metadata or fingerprint request a
// batch of descriptors; each reply is one picture, one strip of pictures, one
// record or one typed error, records in request order. A reader that
// crashes or hangs then costs one worker, which the client sees as a closed
// socket or a reply past its deadline, never as a value. Replies are checked
// before use: a worker is not trusted blindly.
#pragma once

#include <chrono>
#include <functional>
#include <span>
#include <vector>
#include "model/picture.h"

#include "container_read.h"
#include "fd_input.h"
#include "media_error.h"
#include "model/near_copies.h"

namespace reelkeep::media {

// Client side. False when the worker is gone (its socket closed or broken).
[[nodiscard]] bool sendThumbnailRequest(int socketFd, int videoFd, int maxPixelSize,
                                        const InputLimits& limits);
// Waits at most `wait` for the reply; timedOut when none came (the caller kills
// that worker), unreadable when the worker ended or sent something malformed.
// isWorkerFault (if given) says whether the error came from the worker itself
// rather than from decoding the file: then that worker must not be used again.
MediaResult<Picture> receiveThumbnailReply(int socketFd, std::chrono::milliseconds wait,
                                           bool* isWorkerFault = nullptr);

// Descriptors in one metadata request: well inside a worker's descriptor limit.
inline constexpr int kMaxMetadataBatch = 32;

// Client side. At most kMaxMetadataBatch descriptors; false when the worker is gone.
[[nodiscard]] bool sendMetadataRequest(int socketFd, std::span<const int> videoFds,
                                       const InputLimits& limits);
// The next record of a metadata request, waiting at most `wait`; errors as for thumbnails.
MediaResult<MediaInfo> receiveMetadataReply(int socketFd, std::chrono::milliseconds wait,
                                            bool* isWorkerFault = nullptr);

// Client side, as for metadata: at most kMaxMetadataBatch descriptors.
[[nodiscard]] bool sendFingerprintRequest(int socketFd, std::span<const int> videoFds,
                                          const InputLimits& limits);
MediaResult<VisualFingerprint> receiveFingerprintReply(int socketFd, std::chrono::milliseconds wait,
                                                       bool* isWorkerFault = nullptr);

// Client side: one video's frame strip, each picture's longer side at most maxPixelSize.
[[nodiscard]] bool sendFrameStripRequest(int socketFd, int videoFd, int maxPixelSize,
                                         const InputLimits& limits);
// kFingerprintFrames pictures, null where a moment did not decode; errors as for thumbnails.
MediaResult<std::vector<Picture>> receiveFrameStripReply(int socketFd, std::chrono::milliseconds wait,
                                                         bool* isWorkerFault = nullptr);

// What a worker runs before it reads a received video; tests use it to make a
// reader that crashes or hangs on chosen files.
struct WorkerHooks {
    std::function<void(int videoFd)> beforeRead;
};

// Worker side: answers requests one by one until the client closes the socket.
// Returns false when the socket failed, true on an orderly end.
bool serveMediaRequests(int socketFd, const WorkerHooks& hooks = {});

}  // namespace reelkeep::media
