// duplicates.h: same-size groups beside the verified identical copies, and the
// library and selection statistics. A same size is only a sieve: which copy is
// kept and what is extra come from verified sets alone (copies.h).
#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>

#include "copies.h"
#include "filters.h"
#include "video_item.h"

namespace reelkeep {

struct DuplicateSummary {
    SizeCounts countsBySize;  // only sizes shared by two or more videos
    int videoCount = 0;
    std::int64_t reclaimableBytes = 0;  // saturates at INT64_MAX
    CopySummary copies;                 // verified identical copies only

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
    // What trashing them frees: known bytes less what hard links and shared data keep.
    std::int64_t freeableBytes = 0;

    friend bool operator==(const SelectionStats&, const SelectionStats&) = default;
};

DuplicateSummary summarizeDuplicates(const VideoList& items, const CopyCheck& copies = {});

LibraryStats libraryStats(const VideoList& library, qsizetype visibleCount);

// lookup: the library's video for an identifier, or nullptr when it has none.
using VideoLookup = std::function<const VideoItem*(const QString& localIdentifier)>;
// freeableByID: videos that free less than their size (CopySummary::freeableByID).
SelectionStats selectionStats(const QSet<QString>& selectedIDs, const VideoLookup& lookup,
                              const QHash<QString, std::int64_t>& freeableByID = {});

}  // namespace reelkeep
