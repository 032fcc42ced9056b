// creation_date.h: the creation date written into a container, as a Timestamp.
// Pure and locale-free: the same tag gives the same instant on every machine.
#pragma once

#include <optional>
#include <string_view>

#include "model/video_item.h"

namespace reelkeep::media {

// ISO 8601 as containers write it: "2024-05-01T12:34:56.000000Z",
// "2019-07-18T14:45:21+0200", "2024-05-01 12:34:56" (no zone: UTC, the
// QuickTime convention), or a date alone (midnight UTC). Anything else, an
// impossible field, or an instant at or before 1970-01-01 (cameras without a
// clock write zero) gives nothing, so the caller falls back to the file's dates.
std::optional<Timestamp> parseContainerDate(std::string_view text);

}  // namespace reelkeep::media
