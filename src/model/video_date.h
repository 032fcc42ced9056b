// video_date.h: where a video's date came from, the container's raw date tags,
// and the wall-clock time that phone and desktop file names carry. Pure: a name
// has no zone, so placing its time on the timeline is the caller's business.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace reelkeep {

// In the order they are tried; a file's birth or change time is never one:
// both tell when the file was copied here, not when the video was made.
enum class DateSource : std::uint8_t { container, fileName, modificationTime };

// "container", "file-name", "mtime": the words of the JSON and the index.
QString rawValue(DateSource source);
std::optional<DateSource> dateSourceFromRaw(std::string_view raw);

// The tags exactly as the container holds them (empty: absent), kept so that a
// new date rule can be applied without opening the file again.
struct ContainerDateTags {
    std::string quickTimeCreationDate;  // com.apple.quicktime.creationdate, with the camera's zone
    std::string creationTime;           // creation_time of the container, else of the video stream
    friend bool operator==(const ContainerDateTags&, const ContainerDateTags&) = default;
};

struct WallClockTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    friend bool operator==(const WallClockTime&, const WallClockTime&) = default;
};

// The date at the start of a name as cameras, phones, messengers and desktops
// write it: "VID_20190101_120000", "IMG_…", "PXL_20190101_120000123",
// "VID-20170211-WA0001" (a date alone: midnight), "20190101_120000",
// "Screen Recording 2023-05-01 at 3.04.05 PM", "2019-01-01 12.00.00". Every
// field must be valid and the year within 1990–2099, so a counter that looks
// like a date is not taken for one.
std::optional<WallClockTime> nameDate(std::string_view fileName);

}  // namespace reelkeep
