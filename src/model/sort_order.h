// sort_order.h: the twelve sort orders, the table's column comparators and the one
// comparison behind both. Every comparison is a strict weak order for any input:
// unknown sizes last in both directions, NaN below every number, and each tie
// ends on the identifier ascending, which no direction reverses.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "video_item.h"

namespace reelkeep {

// folder sorts by the folder, then by name within it.
enum class VideoSortColumn : std::uint8_t { name, size, duration, resolution, creationDate, folder };

enum class VideoSortOrder : std::uint8_t {
    nameAsc,
    nameDesc,
    sizeAsc,
    sizeDesc,
    durationAsc,
    durationDesc,
    resolutionAsc,
    resolutionDesc,
    creationDateDesc,
    creationDateAsc,
    folderAsc,
    folderDesc,
};

inline constexpr std::array kAllSortOrders{
    VideoSortOrder::nameAsc,         VideoSortOrder::nameDesc,       VideoSortOrder::sizeAsc,
    VideoSortOrder::sizeDesc,        VideoSortOrder::durationAsc,    VideoSortOrder::durationDesc,
    VideoSortOrder::resolutionAsc,   VideoSortOrder::resolutionDesc, VideoSortOrder::creationDateDesc,
    VideoSortOrder::creationDateAsc, VideoSortOrder::folderAsc,      VideoSortOrder::folderDesc,
};

enum class SortOrder : std::uint8_t { forward, reverse };

// Negative: the first argument goes first.
enum class ComparisonResult : std::int8_t { ascending = -1, same = 0, descending = 1 };

QString rawValue(VideoSortOrder order);
std::optional<VideoSortOrder> videoSortOrderFromRaw(const QString& raw);

VideoSortColumn column(VideoSortOrder order);
SortOrder direction(VideoSortOrder order);
VideoSortOrder videoSortOrder(VideoSortColumn column, SortOrder order);

struct VideoTableSortComparator {
    VideoSortColumn column = VideoSortColumn::size;
    SortOrder order = SortOrder::reverse;

    ComparisonResult compare(const VideoItem& a, const VideoItem& b) const;
    bool operator()(const VideoItem& a, const VideoItem& b) const {
        return compare(a, b) == ComparisonResult::ascending;
    }
    friend bool operator==(const VideoTableSortComparator&, const VideoTableSortComparator&) = default;
};

VideoTableSortComparator tableComparator(VideoSortOrder order);

// A stable sort: entries with one identifier keep their input order.
VideoList sortedItems(const VideoList& items, VideoSortOrder order);

}  // namespace reelkeep

template <>
struct std::hash<reelkeep::VideoTableSortComparator> {
    std::size_t operator()(const reelkeep::VideoTableSortComparator& c) const {
        return std::size_t(c.column) * 2 + std::size_t(c.order);
    }
};
