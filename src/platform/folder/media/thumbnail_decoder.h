// thumbnail_decoder.h: one frame of a video as a small RGB picture.
// A pure function of (descriptor, size, limits) with no shared state, so a
// worker process can run it for a descriptor passed over a socket and send the
// picture back; a file that crashes or hangs the decoder then costs one worker.
#pragma once

#include "model/picture.h"

#include "fd_input.h"
#include "media_error.h"

namespace reelkeep::media {

// The frame at about 10 % of the length (the key frame at or before it; the
// first frame when the length is unknown or the seek fails), converted to RGB,
// scaled so its longer side is at most maxPixelSize (never enlarged, sample
// aspect ratio applied) and turned upright by the stream's display rotation.
MediaResult<Picture> decodeThumbnail(int fd, int maxPixelSize, const InputLimits& limits = {});

}  // namespace reelkeep::media
