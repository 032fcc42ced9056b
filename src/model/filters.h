// filters.h: the list filter (date, duplicates, minimum size, search text) and the
// year/month buckets of the sidebar. Thresholds are decimal like the sizes on
// screen (1 GB = 10^9 bytes); the raw values keep their names, so a saved
// choice still means the same label. A video without a date passes only `all`.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <variant>

#include "video_item.h"

namespace reelkeep {

enum class SizeFilter : std::uint8_t { none, atLeast100MB, atLeast500MB, atLeast1GB, atLeast2GB };

inline constexpr std::array kAllSizeFilters{SizeFilter::none, SizeFilter::atLeast100MB,
                                            SizeFilter::atLeast500MB, SizeFilter::atLeast1GB,
                                            SizeFilter::atLeast2GB};

QString rawValue(SizeFilter filter);
std::optional<SizeFilter> sizeFilterFromRaw(const QString& raw);
std::optional<std::int64_t> minimumBytes(SizeFilter filter);
QString label(SizeFilter filter);

class DateFilter {
public:
    enum class Kind : std::uint8_t { year, month, all };

    static DateFilter all() { return DateFilter{Kind::all, 0, 0}; }
    static DateFilter ofYear(int year) { return DateFilter{Kind::year, year, 0}; }
    static DateFilter ofMonth(int year, int month) { return DateFilter{Kind::month, year, month}; }

    Kind kind() const { return m_kind; }
    int year() const { return m_year; }
    int month() const { return m_month; }
    bool keeps(const VideoItem& item) const;

    friend bool operator==(const DateFilter&, const DateFilter&) = default;

private:
    DateFilter(Kind kind, int year, int month) : m_kind(kind), m_year(year), m_month(month) {}

    Kind m_kind;
    int m_year;
    int m_month;
};

// Byte count to number of videos of that size.
using SizeCounts = QHash<std::int64_t, int>;

// duplicateSizes: only while duplicates mode is on; nullptr otherwise.
VideoList filteredItems(const VideoList& items, SizeFilter sizeFilter, const QString& searchText,
                        const DateFilter& dateFilter, const SizeCounts* duplicateSizes);

// The search text as the filter uses it: surrounding white space removed, then folded.
QString searchQuery(const QString& searchText);

struct DateBucket {
    int year = 0;
    std::optional<int> month;
    int count = 0;
    std::int64_t knownBytes = 0;

    int id() const { return year * 100 + month.value_or(0); }
    friend bool operator==(const DateBucket&, const DateBucket&) = default;
};

struct DateBuckets {
    QList<DateBucket> years;                     // newest first
    QHash<int, QList<DateBucket>> monthsByYear;  // latest month first
};

DateBuckets buildDateBuckets(const VideoList& items);

}  // namespace reelkeep

template <>
struct std::hash<reelkeep::DateFilter> {
    std::size_t operator()(const reelkeep::DateFilter& f) const {
        return (std::size_t(f.kind()) << 40) ^ (std::size_t(std::uint32_t(f.year())) << 8) ^
               std::size_t(f.month());
    }
};
