// visual_fingerprint.h: what a video shows, reduced to perceptual hashes of a
// few frames, and the pictures those frames are, for comparing two by eye.
// Pure functions of (descriptor, limits) with no shared state, so a worker
// process runs them for descriptors passed over a socket; a file that crashes
// or hangs the decoder costs one worker.
#pragma once

#include <chrono>
#include <vector>

#include "fd_input.h"
#include "media_error.h"
#include "model/near_copies.h"
#include "model/picture.h"

namespace reelkeep::media {

// The version of the way fingerprints are made: raise it when the moments, the
// picture's reduction or perceptualHash change, and stored ones are made again.
inline constexpr int kFingerprintAlgorithm = 1;

// The frames at fingerprintFrameFraction(i) of the length: each the key frame
// at or before its moment, turned upright, squashed to 32×32 grey and hashed.
// Frames keep their positions: one that cannot be decoded is left out of
// frameCount and its hash is kFlatPictureHash, which tells nothing. None decoded at all, or an unknown
// length, is an error.
MediaResult<VisualFingerprint> fingerprintVideo(int fd, const InputLimits& limits = {});

// How long fingerprinting, or a frame strip, of a video this many seconds
// long may take before its decoder counts as hung: every frame from the key
// frame before each moment is decoded, so a long video with far-apart key
// frames (4K HEVC at one or two seconds of CPU a second of video) costs far
// more than a clip. Bounded, so a truly hung decoder is still caught; an
// unknown length gets the bound.
std::chrono::milliseconds fingerprintTimeLimit(double lengthSeconds);

// The same kFingerprintFrames moments as RGB pictures, upright, the longer
// side at most maxPixelSize; a moment that cannot be decoded is a null picture.
MediaResult<std::vector<Picture>> decodeFrameStrip(int fd, int maxPixelSize, const InputLimits& limits = {});

}  // namespace reelkeep::media
