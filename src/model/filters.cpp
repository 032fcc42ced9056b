#include "filters.h"

#include <algorithm>
#include <map>

#include "name_order.h"
#include "saturating.h"
#include "texts.h"

namespace reelkeep {

namespace {

constexpr std::array kFilterNames{"none", "atLeast100MB", "atLeast500MB", "atLeast1GB", "atLeast2GB"};
// Decimal, as every size on screen: "1 GB and up" keeps the video shown as "1.05 GB".
constexpr std::int64_t kMB = 1000 * 1000;

}  // namespace

QString rawValue(SizeFilter filter) {
    return QString::fromLatin1(kFilterNames.at(std::size_t(filter)));
}

std::optional<SizeFilter> sizeFilterFromRaw(const QString& raw) {
    for (std::size_t i = 0; i < kFilterNames.size(); ++i)
        if (raw == QLatin1String(kFilterNames[i])) return SizeFilter(i);
    return std::nullopt;
}

std::optional<std::int64_t> minimumBytes(SizeFilter filter) {
    switch (filter) {
        case SizeFilter::none:
            return std::nullopt;
        case SizeFilter::atLeast100MB:
            return 100 * kMB;
        case SizeFilter::atLeast500MB:
            return 500 * kMB;
        case SizeFilter::atLeast1GB:
            return 1000 * kMB;
        case SizeFilter::atLeast2GB:
            return 2000 * kMB;
    }
    return std::nullopt;
}

QString label(SizeFilter filter) {
    switch (filter) {
        case SizeFilter::none:
            return tr("All sizes");
        case SizeFilter::atLeast100MB:
            return tr("100 MB and up");
        case SizeFilter::atLeast500MB:
            return tr("500 MB and up");
        case SizeFilter::atLeast1GB:
            return tr("1 GB and up");
        case SizeFilter::atLeast2GB:
            return tr("2 GB and up");
    }
    return {};
}

bool DateFilter::keeps(const VideoItem& item) const {
    switch (m_kind) {
        case Kind::all:
            return true;
        case Kind::year:
            return item.creationYear() == m_year && item.creationYear() != 0;
        case Kind::month:
            return item.creationYear() == m_year && item.creationMonth() == m_month &&
                   item.creationYear() != 0;
    }
    return false;
}

QString searchQuery(const QString& searchText) {
    // QChar::isSpace covers every Unicode space separator and line break.
    qsizetype start = 0, end = searchText.size();
    while (start < end && searchText[start].isSpace()) ++start;
    while (end > start && searchText[end - 1].isSpace()) --end;
    return foldedText(QStringView(searchText).mid(start, end - start));
}

VideoList filteredItems(const VideoList& items, SizeFilter sizeFilter, const QString& searchText,
                        const DateFilter& dateFilter, const SizeCounts* duplicateSizes) {
    const QString query = searchQuery(searchText);
    const std::optional<std::int64_t> minimum = minimumBytes(sizeFilter);
    if (!minimum && query.isEmpty() && dateFilter.kind() == DateFilter::Kind::all && !duplicateSizes)
        return items;

    VideoList kept;
    for (const VideoItem& item : items) {
        if (!dateFilter.keeps(item)) continue;
        const std::optional<std::int64_t> bytes = item.sizeState().byteCount();
        if (duplicateSizes && (!bytes || !duplicateSizes->contains(*bytes))) continue;
        if (minimum && (!bytes || *bytes < *minimum)) continue;
        if (!query.isEmpty() && !containsFolded(item.displayName(), query)) continue;
        kept.append(item);
    }
    return kept;
}

DateBuckets buildDateBuckets(const VideoList& items) {
    // Keyed year * 100 + 1 + month, the year itself at + 0: std::map keeps them in
    // order, so walking it backwards gives newest years and latest months first.
    std::map<std::int64_t, DateBucket> buckets;
    for (const VideoItem& item : items) {
        const int year = item.creationYear();
        if (year < 1) continue;
        const std::int64_t bytes = item.sizeState().byteCount().value_or(0);
        for (const std::optional<int> month :
             {std::optional<int>{}, std::optional<int>{item.creationMonth()}}) {
            const std::int64_t key = std::int64_t(year) * 100 + (month ? 1 + *month : 0);
            auto [it, inserted] = buckets.try_emplace(key, DateBucket{year, month, 0, 0});
            ++it->second.count;
            it->second.knownBytes = saturatingAdd(it->second.knownBytes, bytes);
        }
    }
    DateBuckets result;
    for (auto it = buckets.rbegin(); it != buckets.rend(); ++it) {
        const DateBucket& bucket = it->second;
        if (bucket.month)
            result.monthsByYear[bucket.year].append(bucket);
        else
            result.years.append(bucket);
    }
    return result;
}

}  // namespace reelkeep
