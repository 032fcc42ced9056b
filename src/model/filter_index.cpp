// filter_index.cpp: the arrays behind keystroke filtering, and the few in-place
// changes an action makes, so a favorite or a trashed video needs no new sort.
#include "filter_index.h"

#include <algorithm>

#include "name_order.h"

namespace reelkeep {

FilterIndex::FilterIndex(VideoList items) : m_items(std::move(items)) {}

void FilterIndex::buildRows() const {
    m_hasRows = true;
    m_rows.reserve(std::size_t(m_items.size()));
    qsizetype textLength = 0;
    for (const VideoItem& item : m_items) textLength += item.displayName().size();
    m_foldedNames.reserve(textLength + textLength / 8);
    for (const VideoItem& item : m_items) m_rows.push_back(rowOf(item));
}

FilterIndex::Row FilterIndex::rowOf(const VideoItem& item) const {
    Row row;
    const std::optional<std::int64_t> bytes = item.sizeState().byteCount();
    row.isKnownSize = bytes.has_value();
    row.bytes = bytes.value_or(0);
    row.year = item.creationYear();
    row.month = std::int8_t(item.creationMonth());
    const QString folded = foldedText(item.displayName());
    row.textOffset = std::uint32_t(m_foldedNames.size());
    row.textLength = std::uint32_t(folded.size());
    m_foldedNames += folded;
    if (hasMarks(folded)) {
        const QString bare = withoutMarks(folded);
        row.bareOffset = std::uint32_t(m_bareNames.size());
        row.bareLength = std::uint32_t(bare.size());
        m_bareNames += bare;
    }
    return row;
}

void FilterIndex::replaceValues(const QHash<QString, VideoItem>& changed) {
    if (changed.isEmpty()) return;
    for (VideoItem& item : m_items)
        if (const auto found = changed.constFind(item.localIdentifier()); found != changed.cend())
            item = *found;
}

void FilterIndex::removeItems(const QSet<QString>& ids) {
    if (ids.isEmpty()) return;
    // Rows go with their items; their text stays behind, unread, until the next build.
    qsizetype kept = 0;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (ids.contains(m_items[i].localIdentifier())) continue;
        if (m_hasRows) m_rows[std::size_t(kept)] = m_rows[std::size_t(i)];
        m_items[kept++] = m_items[i];
    }
    m_items.remove(kept, m_items.size() - kept);
    if (m_hasRows) m_rows.resize(std::size_t(kept));
}

void FilterIndex::insertItems(const VideoList& added, const VideoTableSortComparator& less) {
    for (const VideoItem& item : added) {
        const auto at = std::upper_bound(m_items.cbegin(), m_items.cend(), item, less);
        const qsizetype position = at - m_items.cbegin();
        if (m_hasRows) m_rows.insert(m_rows.begin() + position, rowOf(item));
        m_items.insert(position, item);
    }
}

VideoList FilterIndex::filtered(SizeFilter sizeFilter, const QString& searchText,
                                const DateFilter& dateFilter, const SizeCounts* duplicateSizes) const {
    const QString query = searchQuery(searchText);
    const std::optional<std::int64_t> minimum = minimumBytes(sizeFilter);
    if (!minimum && query.isEmpty() && dateFilter.kind() == DateFilter::Kind::all && !duplicateSizes)
        return m_items;

    if (!m_hasRows) buildRows();
    const bool anyYear = dateFilter.kind() == DateFilter::Kind::all;
    const bool anyMonth = dateFilter.kind() != DateFilter::Kind::month;
    const QStringView names(m_foldedNames);
    const QStringView bareNames(m_bareNames);
    const bool ignoresMarks = !hasMarks(query);
    VideoList kept;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows[i];
        if (!anyYear && (row.year == 0 || row.year != dateFilter.year())) continue;
        if (!anyMonth && row.month != dateFilter.month()) continue;
        if (duplicateSizes && (!row.isKnownSize || !duplicateSizes->contains(row.bytes))) continue;
        if (minimum && (!row.isKnownSize || row.bytes < *minimum)) continue;
        if (!query.isEmpty()) {
            const QStringView name = ignoresMarks && row.bareLength > 0
                                         ? bareNames.mid(row.bareOffset, row.bareLength)
                                         : names.mid(row.textOffset, row.textLength);
            if (!name.contains(query)) continue;
        }
        kept.append(m_items[qsizetype(i)]);
    }
    return kept;
}

}  // namespace reelkeep
