// creation_date.h: the date of a video, as a user recognises it: the one the
// camera wrote into the container, else the one in the file's name, else the
// file's modification time. Never its birth or change time, which tell when the
// file was copied onto this disk. Tags are read locale-free: the same tag gives
// the same instant on every machine; a name's date is the local wall clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/video_date.h"
#include "model/video_item.h"

namespace reelkeep::media {

// Raised whenever the rule below changes: indexed files then get their date
// again from their stored tags, name and mtime, without a container read.
inline constexpr int kDateRuleVersion = 1;

// ISO 8601 as containers write it: "2024-05-01T12:34:56.000000Z",
// "2019-07-18T14:45:21+0200", "2024-05-01 12:34:56" (no zone: UTC, the
// QuickTime convention), or a date alone (midnight UTC). Anything else, an
// impossible field, or an instant before 1971 (cameras without a clock write
// zero: 1904 in QuickTime's epoch, 1970 in Unix time) gives nothing.
std::optional<Timestamp> parseContainerDate(std::string_view text);

// QuickTime's creation date first (it keeps the camera's zone), then creation_time.
std::optional<Timestamp> containerDate(const ContainerDateTags& tags);

struct DatedBy {
    Timestamp date = 0;
    DateSource source = DateSource::modificationTime;
    friend bool operator==(const DatedBy&, const DatedBy&) = default;
};

// The date without the container: the name's (local time), else the mtime.
DatedBy fileDate(std::string_view fileName, std::int64_t mtimeNs);
// The whole rule: the container's date, else fileDate().
DatedBy videoDate(const ContainerDateTags& tags, std::string_view fileName, std::int64_t mtimeNs);

}  // namespace reelkeep::media
