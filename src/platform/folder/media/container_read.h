// container_read.h: what a video's container header says about it.
// Reads through a descriptor the caller verified; the header alone answers
// unless a value is missing, so a scan reads each file once and briefly.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>

#include "fd_input.h"
#include "media_error.h"
#include "model/video_date.h"
#include "model/video_item.h"

namespace reelkeep::media {

struct MediaInfo {
    double lengthSeconds = 0;  // 0 when the container does not say
    int pixelWidth = 0;        // as displayed: a portrait phone video is 1080 × 1920
    int pixelHeight = 0;
    ContainerDateTags dateTags;             // as written, for the index
    std::optional<Timestamp> creationDate;  // what they say; absent: the name or the mtime decides
    bool isScreenRecording = false;
    // A video stream (not cover art) with known dimensions whose codec this
    // FFmpeg can decode: the "playable" of a preview.
    bool hasDecodableVideo = false;
};

// fileName is the last path component, used only by the screen-recording rule.
MediaResult<MediaInfo> readContainer(int fd, const std::string& fileName, const InputLimits& limits = {});

// Opens a path with O_NOFOLLOW|O_NONBLOCK, regular files only, and reads its container;
// for tools and tests. The library passes descriptors.
MediaResult<MediaInfo> readContainerAtPath(const QByteArray& path, const InputLimits& limits = {});

}  // namespace reelkeep::media
