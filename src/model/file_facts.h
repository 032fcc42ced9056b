// file_facts.h: what a scan learnt of a video's file beyond its item, kept
// from the scan so that nobody opens the file again to say it.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

#include "model/video_date.h"

namespace reelkeep {

struct FileFacts {
    std::optional<DateSource> dateSource;        // where its date came from
    std::optional<std::int64_t> allocatedBytes;  // the space it takes on disk, st_blocks × 512
    std::optional<QByteArray> path;              // its path bytes, as the scan found it
};

}  // namespace reelkeep
