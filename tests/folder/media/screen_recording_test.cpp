// screen_recording_test.cpp: the one origin rule, on tags and names seen in the wild.
#include <gtest/gtest.h>

#include "platform/folder/media/screen_recording.h"

namespace reelkeep::media {
namespace {

TEST(ScreenRecordingRule, NamesRecordersByTagOrFileNameAndNothingElse) {
    struct Case {
        std::vector<std::string> tags;
        std::string fileName;
        bool expected;
    };
    const Case cases[] = {
        {{"GNOME Screencast"}, "clip.webm", true},
        {{"SimpleScreenRecorder"}, "a.mkv", true},
        {{"Lavf59.27.100", "Kazam"}, "a.mp4", true},
        {{"OBS 29.1.3"}, "a.mkv", true},
        {{"obs-studio"}, "a.mkv", true},
        {{"Android Screen Recorder"}, "a.mp4", true},
        {{}, "Screencast from 2024-05-01 12-34-56.webm", true},
        {{}, "Screen Recording 2024-05-01 at 12.34.56.mov", true},
        {{}, "Screen_Recording_20240501-123456_Chrome.mp4", true},
        {{}, "Screenshot from 2024-05-01 12-34-56.webm", true},
        {{}, "screen-20240501-123456.mp4", true},
        {{}, "RPReplay_Final1620000000.MP4", true},
        {{"Lavf59.27.100", "VideoHandler", "Core Media Video"}, "IMG_0001.MOV", false},
        {{"Jobs at the beach"}, "obsolete.mp4", false},  // "obs" only as a word
        {{}, "screen-saver.mp4", false},
        {{}, "My screencast notes.mp4", false},  // a prefix rule, not a search
        {{}, "", false},
        {{"\xff\xfe"}, "\xffScreencast.webm", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isScreenRecording(OriginEvidence{c.tags, c.fileName}), c.expected) << c.fileName;
}

}  // namespace
}  // namespace reelkeep::media
