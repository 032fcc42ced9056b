// ffmpeg_loader.h: FFmpeg's libraries are loaded when a video is first read,
// not when the program starts: listing, comparing and trashing never decode.
#pragma once

namespace reelkeep::media {

// Loads them now, where that must happen before a sandbox forbids opening files.
void loadFfmpeg();

}  // namespace reelkeep::media
