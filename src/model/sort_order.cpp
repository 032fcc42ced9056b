#include "sort_order.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "name_order.h"

namespace reelkeep {

namespace {

constexpr std::array kOrderNames{"nameAsc",          "nameDesc",       "sizeAsc",       "sizeDesc",
                                 "durationAsc",      "durationDesc",   "resolutionAsc", "resolutionDesc",
                                 "creationDateDesc", "creationDateAsc"};

ComparisonResult fromSign(int sign) {
    return sign < 0 ? ComparisonResult::ascending
                    : (sign > 0 ? ComparisonResult::descending : ComparisonResult::same);
}

// NaN is equal to NaN and below every number: a total order, unlike IEEE's.
int compareDoubles(double a, double b) {
    const bool aNan = std::isnan(a), bNan = std::isnan(b);
    if (aNan || bNan) return int(bNan) - int(aNan);
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Pixel counts from hostile files can pass 2^63, so multiply in 128 bits.
__extension__ using PixelCount = __int128;
PixelCount pixelCount(const VideoItem& item) {
    return PixelCount(item.pixelWidth()) * item.pixelHeight();
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Base comparison in ascending sense; unknown sizes are handled by the caller.
int baseCompare(VideoSortColumn column, const VideoItem& a, const VideoItem& b) {
    switch (column) {
        case VideoSortColumn::name:
            return compareNames(a.displayName(), b.displayName());
        case VideoSortColumn::size: {
            const auto x = a.sizeState().byteCount(), y = b.sizeState().byteCount();
            return x && y ? threeWay(*x, *y) : 0;
        }
        case VideoSortColumn::duration:
            return compareDoubles(a.duration(), b.duration());
        case VideoSortColumn::resolution:
            return threeWay(pixelCount(a), pixelCount(b));
        case VideoSortColumn::creationDate:
            return compareDoubles(a.creationDate(), b.creationDate());
    }
    return 0;
}

int unknownSizeRank(VideoSortColumn column, const VideoItem& a, const VideoItem& b) {
    if (column != VideoSortColumn::size) return 0;
    return int(a.sizeState().isUnknown()) - int(b.sizeState().isUnknown());
}

}  // namespace

QString rawValue(VideoSortOrder order) {
    return QString::fromLatin1(kOrderNames.at(std::size_t(order)));
}

std::optional<VideoSortOrder> videoSortOrderFromRaw(const QString& raw) {
    for (std::size_t i = 0; i < kOrderNames.size(); ++i)
        if (raw == QLatin1String(kOrderNames[i])) return VideoSortOrder(i);
    return std::nullopt;
}

VideoSortColumn column(VideoSortOrder order) {
    switch (order) {
        case VideoSortOrder::nameAsc:
        case VideoSortOrder::nameDesc:
            return VideoSortColumn::name;
        case VideoSortOrder::sizeAsc:
        case VideoSortOrder::sizeDesc:
            return VideoSortColumn::size;
        case VideoSortOrder::durationAsc:
        case VideoSortOrder::durationDesc:
            return VideoSortColumn::duration;
        case VideoSortOrder::resolutionAsc:
        case VideoSortOrder::resolutionDesc:
            return VideoSortColumn::resolution;
        case VideoSortOrder::creationDateDesc:
        case VideoSortOrder::creationDateAsc:
            return VideoSortColumn::creationDate;
    }
    return VideoSortColumn::size;
}

SortOrder direction(VideoSortOrder order) {
    switch (order) {
        case VideoSortOrder::nameAsc:
        case VideoSortOrder::sizeAsc:
        case VideoSortOrder::durationAsc:
        case VideoSortOrder::resolutionAsc:
        case VideoSortOrder::creationDateAsc:
            return SortOrder::forward;
        case VideoSortOrder::nameDesc:
        case VideoSortOrder::sizeDesc:
        case VideoSortOrder::durationDesc:
        case VideoSortOrder::resolutionDesc:
        case VideoSortOrder::creationDateDesc:
            return SortOrder::reverse;
    }
    return SortOrder::forward;
}

VideoSortOrder videoSortOrder(VideoSortColumn column, SortOrder order) {
    const bool forward = order == SortOrder::forward;
    switch (column) {
        case VideoSortColumn::name:
            return forward ? VideoSortOrder::nameAsc : VideoSortOrder::nameDesc;
        case VideoSortColumn::size:
            return forward ? VideoSortOrder::sizeAsc : VideoSortOrder::sizeDesc;
        case VideoSortColumn::duration:
            return forward ? VideoSortOrder::durationAsc : VideoSortOrder::durationDesc;
        case VideoSortColumn::resolution:
            return forward ? VideoSortOrder::resolutionAsc : VideoSortOrder::resolutionDesc;
        case VideoSortColumn::creationDate:
            return forward ? VideoSortOrder::creationDateAsc : VideoSortOrder::creationDateDesc;
    }
    return VideoSortOrder::sizeDesc;
}

VideoTableSortComparator tableComparator(VideoSortOrder order) {
    return {column(order), direction(order)};
}

ComparisonResult VideoTableSortComparator::compare(const VideoItem& a, const VideoItem& b) const {
    if (const int rank = unknownSizeRank(column, a, b)) return fromSign(rank);
    int result = baseCompare(column, a, b);
    if (order == SortOrder::reverse) result = -result;
    if (result != 0) return fromSign(result);
    return fromSign(compareIdentifiers(a.localIdentifier(), b.localIdentifier()));
}

VideoList sortedItems(const VideoList& items, VideoSortOrder order) {
    const VideoTableSortComparator comparator = tableComparator(order);
    std::vector<std::uint32_t> positions(std::size_t(items.size()));
    std::iota(positions.begin(), positions.end(), 0U);

    if (comparator.column == VideoSortColumn::name) {
        // Folding and normalizing once per item instead of once per comparison.
        std::vector<std::string> keys;
        keys.reserve(positions.size());
        for (const VideoItem& item : items) keys.push_back(nameSortKey(item.displayName()));
        const bool reverse = comparator.order == SortOrder::reverse;
        std::stable_sort(positions.begin(), positions.end(), [&](std::uint32_t x, std::uint32_t y) {
            const int raw = keys[x].compare(keys[y]);
            int result = (raw > 0) - (raw < 0);
            if (reverse) result = -result;
            if (result != 0) return result < 0;
            return compareIdentifiers(items[x].localIdentifier(), items[y].localIdentifier()) < 0;
        });
    } else {
        std::stable_sort(positions.begin(), positions.end(),
                         [&](std::uint32_t x, std::uint32_t y) { return comparator(items[x], items[y]); });
    }

    VideoList sorted;
    sorted.reserve(items.size());
    for (std::uint32_t position : positions) sorted.append(items[position]);
    return sorted;
}

}  // namespace reelkeep
