// duplicates.h: same-size groups, the choice of which copy to keep, and the
// library and selection statistics. Duplicates are by exact byte count only; a
// favorite is kept first, then the oldest, then the smallest identifier.
#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>

#include "filters.h"
#include "video_item.h"

namespace reelkeep {

struct DuplicateSummary {
    SizeCounts countsBySize;  // only sizes shared by two or more videos
    int videoCount = 0;
    std::int64_t reclaimableBytes = 0;  // saturates at INT64_MAX

    friend bool operator==(const DuplicateSummary&, const DuplicateSummary&) = default;
};

struct LibraryStats {
    int totalCount = 0;
    int visibleCount = 0;
    std::int64_t knownBytes = 0;
    int unknownSizeCount = 0;

    friend bool operator==(const LibraryStats&, const LibraryStats&) = default;
};

struct SelectionStats {
    int count = 0;
    std::int64_t knownBytes = 0;
    int unknownSizeCount = 0;

    friend bool operator==(const SelectionStats&, const SelectionStats&) = default;
};

DuplicateSummary summarizeDuplicates(const VideoList& items);
QSet<QString> extraCopyIDs(const VideoList& items);

LibraryStats libraryStats(const VideoList& library, qsizetype visibleCount);

// lookup: the library's video for an identifier, or nullptr when it has none.
using VideoLookup = std::function<const VideoItem*(const QString& localIdentifier)>;
SelectionStats selectionStats(const QSet<QString>& selectedIDs, const VideoLookup& lookup);

}  // namespace reelkeep
