#include "duplicates.h"

#include <algorithm>
#include <vector>

#include "saturating.h"

namespace reelkeep {

namespace {

struct SizedPosition {
    std::int64_t bytes;
    std::uint32_t position;
};

// Known, positive sizes with their list positions, grouped by size and in list
// order within a group. Sorting 100k pairs beats hashing them.
std::vector<SizedPosition> sizedPositions(const VideoList& items) {
    std::vector<SizedPosition> sized;
    sized.reserve(std::size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        const std::optional<std::int64_t> bytes = items[i].sizeState().byteCount();
        if (bytes && *bytes > 0) sized.push_back({*bytes, std::uint32_t(i)});
    }
    std::sort(sized.begin(), sized.end(), [](const SizedPosition& a, const SizedPosition& b) {
        return a.bytes != b.bytes ? a.bytes < b.bytes : a.position < b.position;
    });
    return sized;
}

template <typename Visit>
void forEachGroup(const std::vector<SizedPosition>& sized, Visit visit) {
    for (std::size_t start = 0; start < sized.size();) {
        std::size_t end = start + 1;
        while (end < sized.size() && sized[end].bytes == sized[start].bytes) ++end;
        if (end - start >= 2)
            visit(sized.begin() + std::ptrdiff_t(start), sized.begin() + std::ptrdiff_t(end));
        start = end;
    }
}

}  // namespace

DuplicateSummary summarizeDuplicates(const VideoList& items, const CopyCheck& copies) {
    DuplicateSummary summary;
    summary.copies = summarizeCopies(copies, items);
    forEachGroup(sizedPositions(items), [&](auto first, auto last) {
        const auto count = std::int64_t(last - first);
        summary.countsBySize.insert(first->bytes, int(count));
        summary.videoCount += int(count);
        summary.reclaimableBytes =
            saturatingAdd(summary.reclaimableBytes, saturatingMul(first->bytes, count - 1));
    });
    return summary;
}

LibraryStats libraryStats(const VideoList& library, qsizetype visibleCount) {
    LibraryStats stats;
    stats.totalCount = int(library.size());
    stats.visibleCount = int(visibleCount);
    for (const VideoItem& item : library) {
        if (const auto bytes = item.sizeState().byteCount())
            stats.knownBytes = saturatingAdd(stats.knownBytes, *bytes);
        else
            ++stats.unknownSizeCount;
    }
    return stats;
}

SelectionStats selectionStats(const QSet<QString>& selectedIDs, const VideoLookup& lookup,
                              const QHash<QString, std::int64_t>& freeableByID) {
    SelectionStats stats;
    for (const QString& id : selectedIDs) {
        const VideoItem* item = lookup(id);
        if (!item) continue;
        ++stats.count;
        if (const auto bytes = item->sizeState().byteCount()) {
            stats.knownBytes = saturatingAdd(stats.knownBytes, *bytes);
            stats.freeableBytes = saturatingAdd(stats.freeableBytes, freeableByID.value(id, *bytes));
        } else
            ++stats.unknownSizeCount;
    }
    return stats;
}

}  // namespace reelkeep
