// screen_recording.cpp: case-insensitive matching over ASCII only: a name in
// another encoding can still match its ASCII prefix and never throws.
#include "screen_recording.h"

#include <algorithm>
#include <array>

namespace reelkeep::media {

namespace {

constexpr std::array<std::string_view, 11> kRecorderNames = {
    "screen recorder", "screenrecorder", "screen recording", "screencast", "simplescreenrecorder",
    "kazam",           "vokoscreen",     "recordmydesktop",  "kooha",      "obs studio",
    "obs-studio",
};

constexpr std::array<std::string_view, 11> kNamePrefixes = {
    "screencast",      "screen recording", "screen_recording",     "screen-recording",
    "screenrecording", "screenrecorder",   "simplescreenrecorder", "kazam",
    "rpreplay",        "screenshot from",  "screenshot_from",
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// "OBS" as a word, so "jobs" or "obsolete" never match.
bool containsWordObs(std::string_view text) {
    for (std::size_t at = text.find("obs"); at != std::string_view::npos; at = text.find("obs", at + 1)) {
        const bool startsWord = at == 0 || !isWordChar(text[at - 1]);
        const bool endsWord = at + 3 == text.size() || !isWordChar(text[at + 3]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

}  // namespace

bool isScreenRecording(const OriginEvidence& evidence) {
    for (const std::string& value : evidence.tagValues) {
        const std::string text = lowered(value);
        for (std::string_view name : kRecorderNames)
            if (text.find(name) != std::string::npos) return true;
        if (containsWordObs(text)) return true;
    }
    const std::string name = lowered(evidence.fileName);
    for (std::string_view prefix : kNamePrefixes)
        if (name.starts_with(prefix)) return true;
    return name.starts_with("screen-") && name.size() > 7 && name[7] >= '0' && name[7] <= '9';
}

}  // namespace reelkeep::media
