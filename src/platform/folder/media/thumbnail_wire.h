// thumbnail_wire.h: decodeThumbnail across a process boundary.
// A worker process serves requests on a Unix socket: each request carries the
// video's descriptor (SCM_RIGHTS) and its limits, each reply one picture or one
// typed error. A decoder that crashes or hangs then costs one worker, which
// the client sees as a closed socket or a reply past its deadline, never as a
// picture. Replies are checked before use: a worker is not trusted blindly.
#pragma once

#include <QImage>
#include <chrono>

#include "fd_input.h"
#include "media_error.h"

namespace reelkeep::media {

// Client side. False when the worker is gone (its socket closed or broken).
[[nodiscard]] bool sendThumbnailRequest(int socketFd, int videoFd, int maxPixelSize,
                                        const InputLimits& limits);
// Waits at most `wait` for the reply; timedOut when none came (the caller kills
// that worker), unreadable when the worker ended or sent something malformed.
// isWorkerFault (if given) says whether the error came from the worker itself
// rather than from decoding the file: then that worker must not be used again.
MediaResult<QImage> receiveThumbnailReply(int socketFd, std::chrono::milliseconds wait,
                                          bool* isWorkerFault = nullptr);

// Worker side: answers requests one by one until the client closes the socket.
// Returns false when the socket failed, true on an orderly end.
bool serveThumbnailRequests(int socketFd);

}  // namespace reelkeep::media
