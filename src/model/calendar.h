// calendar.h: the catalogue calendar, the user's calendar and time zone captured
// once per process so that year/month buckets never shift under a running window.
#pragma once

#include <optional>

#include "video_item.h"

namespace reelkeep {

struct YearMonth {
    int year = 0;   // 0: the calendar gives none
    int month = 0;  // 1-12, 0: none
};

// Year and month of a point in time in the catalogue calendar; {0, 0} for the
// distant past and for dates the calendar cannot place (NaN, out of range).
YearMonth catalogueYearMonth(Timestamp date);

// The first instant of day 1 of the given year/month in the catalogue calendar,
// or nothing when that date does not exist.
std::optional<Timestamp> catalogueDate(int year, int month);

}  // namespace reelkeep
