#include "calendar.h"

#include <unicode/ucal.h>
#include <cmath>
#include <memory>

namespace reelkeep {

namespace {

struct CalendarCloser {
    void operator()(UCalendar* calendar) const { ucal_close(calendar); }
};
using CalendarPtr = std::unique_ptr<UCalendar, CalendarCloser>;

// Captured once: later changes of the user's calendar or zone do not reach it.
const UCalendar* catalogueCalendar() {
    static const CalendarPtr calendar = [] {
        UErrorCode status = U_ZERO_ERROR;
        CalendarPtr opened{ucal_open(nullptr, 0, nullptr, UCAL_DEFAULT, &status)};
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            opened.reset(ucal_open(u"UTC", -1, "en_US", UCAL_GREGORIAN, &status));
        }
        return opened;
    }();
    return calendar.get();
}

// ICU calendars keep scratch state while computing fields, so each thread works
// on its own clone of the captured one.
UCalendar* threadCalendar() {
    thread_local const CalendarPtr clone = [] {
        UErrorCode status = U_ZERO_ERROR;
        return CalendarPtr{ucal_clone(catalogueCalendar(), &status)};
    }();
    return clone.get();
}

}  // namespace

YearMonth catalogueYearMonth(Timestamp date) {
    // ICU clamps instants beyond its range instead of failing; such dates have no year.
    constexpr double kMaxSeconds = 1.8e14;
    if (date == kDistantPast || !std::isfinite(date) || std::abs(date) > kMaxSeconds) return {};
    // The last month asked for, by its bounds: a scan dates its videos newest
    // first, so most of them fall in the month before, and ICU is not asked.
    struct Month {
        UDate start = 0, end = 0;
        YearMonth value;
    };
    thread_local Month last;
    const UDate millis = date * 1000.0;
    if (millis >= last.start && millis < last.end) return last.value;
    UCalendar* calendar = threadCalendar();
    if (!calendar) return {};
    UErrorCode status = U_ZERO_ERROR;
    ucal_setMillis(calendar, millis, &status);
    if (U_FAILURE(status)) return {};
    const int year = ucal_get(calendar, UCAL_YEAR, &status);
    const int month = ucal_get(calendar, UCAL_MONTH, &status);
    if (U_FAILURE(status)) return {};
    const YearMonth value{year, month + 1};
    // Its bounds, taken only once ICU places both ends in it: at a midnight that
    // a clock change skips, the first instant of a month is not its midnight.
    ucal_set(calendar, UCAL_DATE, 1);
    ucal_set(calendar, UCAL_HOUR_OF_DAY, 0);
    ucal_set(calendar, UCAL_MINUTE, 0);
    ucal_set(calendar, UCAL_SECOND, 0);
    ucal_set(calendar, UCAL_MILLISECOND, 0);
    const UDate start = ucal_getMillis(calendar, &status);
    ucal_add(calendar, UCAL_MONTH, 1, &status);
    const UDate end = ucal_getMillis(calendar, &status);
    const auto isInMonth = [&](UDate instant) {
        ucal_setMillis(calendar, instant, &status);
        return ucal_get(calendar, UCAL_YEAR, &status) == year &&
               ucal_get(calendar, UCAL_MONTH, &status) == month;
    };
    if (U_SUCCESS(status) && start <= millis && millis < end && isInMonth(start) && isInMonth(end - 1) &&
        U_SUCCESS(status))
        last = {start, end, value};
    return value;
}

std::optional<Timestamp> catalogueDate(int year, int month) {
    UCalendar* calendar = threadCalendar();
    if (!calendar) return std::nullopt;
    ucal_clear(calendar);
    ucal_setAttribute(calendar, UCAL_LENIENT, 0);
    UErrorCode status = U_ZERO_ERROR;
    ucal_setDate(calendar, year, month - 1, 1, &status);
    const UDate millis = ucal_getMillis(calendar, &status);
    ucal_setAttribute(calendar, UCAL_LENIENT, 1);
    if (U_FAILURE(status)) return std::nullopt;
    return millis / 1000.0;
}

}  // namespace reelkeep
