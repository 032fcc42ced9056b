// filter_index.h: a list prepared for filtering on every keystroke. The folded
// names and the values the filter tests sit in contiguous arrays, so one pass
// over 100k videos stays in cache; the result equals filteredItems() of the list.
// The arrays are built by the first call that filters anything, so a list that is
// never searched costs nothing. Not for concurrent use.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

#include "filters.h"
#include "sort_order.h"
#include "video_item.h"

namespace reelkeep {

class FilterIndex {
public:
    FilterIndex() = default;
    explicit FilterIndex(VideoList items);

    const VideoList& items() const { return m_items; }
    // Items whose sort keys and filtered values stay (a favorite flag), in place.
    void replaceValues(const QHash<QString, VideoItem>& changed);
    // Without these items; the others keep their order.
    void removeItems(const QSet<QString>& ids);
    // With these items, each where `less`, the order of the list, puts it.
    void insertItems(const VideoList& added, const VideoTableSortComparator& less);
    VideoList filtered(SizeFilter sizeFilter, const QString& searchText, const DateFilter& dateFilter,
                       const SizeCounts* duplicateSizes) const;

private:
    struct Row {
        std::int64_t bytes = 0;
        std::uint32_t textOffset = 0;
        std::uint32_t textLength = 0;
        std::uint32_t bareOffset = 0;  // into m_bareNames; equal to the folded text when bareLength is 0
        std::uint32_t bareLength = 0;
        std::int32_t year = 0;
        std::int8_t month = 0;
        bool isKnownSize = false;
    };

    void buildRows() const;
    Row rowOf(const VideoItem& item) const;  // its text goes to the end of the buffers

    VideoList m_items;
    mutable std::vector<Row> m_rows;
    mutable QString m_foldedNames;  // every displayName, folded, back to back
    mutable QString m_bareNames;    // the folded names that have accents, without them
    mutable bool m_hasRows = false;
};

}  // namespace reelkeep
