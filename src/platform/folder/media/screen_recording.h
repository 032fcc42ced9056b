// screen_recording.h: the one rule that calls a video a screen recording.
// Every caller asks this function, so the list, the index and the command line
// can never disagree about a video.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace reelkeep::media {

// What a file says about its origin: the values of the container's and video
// stream's encoder, handler, software and title tags, and the file name.
struct OriginEvidence {
    std::vector<std::string> tagValues;
    std::string fileName;  // the last path component, bytes as on disk
};

// A screen recording when, ignoring case,
//  - a tag value names a screen recorder: "screen recorder", "screenrecorder",
//    "screen recording", "screencast" (GNOME Screencast), "simplescreenrecorder",
//    "kazam", "vokoscreen", "recordmydesktop", "kooha", "obs studio", or the
//    word "OBS"; or
//  - the file name starts with "screencast", "screen recording",
//    "screen_recording", "screen-recording", "screenrecording", "screenrecorder",
//    "simplescreenrecorder", "kazam", "rpreplay" (iOS), "screenshot from" (GNOME
//    names its screen videos so), or "screen-" followed by a digit (Android).
bool isScreenRecording(const OriginEvidence& evidence);

}  // namespace reelkeep::media
