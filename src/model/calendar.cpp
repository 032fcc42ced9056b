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
    UCalendar* calendar = threadCalendar();
    if (!calendar) return {};
    UErrorCode status = U_ZERO_ERROR;
    ucal_setMillis(calendar, date * 1000.0, &status);
    if (U_FAILURE(status)) return {};
    const int year = ucal_get(calendar, UCAL_YEAR, &status);
    const int month = ucal_get(calendar, UCAL_MONTH, &status);
    if (U_FAILURE(status)) return {};
    return {year, month + 1};
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
