// video_date.cpp: name layouts as fixed patterns, read left to right; no regular
// expressions, no locale, no clock.
#include "video_date.h"

#include <array>

namespace reelkeep {

namespace {

constexpr std::array kSourceNames{"container", "file-name", "mtime"};

// A literal prefix (letters in either case), then a pattern in which Y M D h m
// s f each stand for one digit of that field, H for an hour of one or two
// digits, and anything else for itself.
struct Layout {
    std::string_view prefix;
    std::string_view pattern;
};
constexpr std::array<Layout, 9> kLayouts{{
    {"VID_", "YYYYMMDD_hhmmss"},
    {"IMG_", "YYYYMMDD_hhmmss"},
    {"PXL_", "YYYYMMDD_hhmmssfff"},
    {"PXL_", "YYYYMMDD_hhmmss"},
    {"VID-", "YYYYMMDD-WA"},
    {"IMG-", "YYYYMMDD-WA"},
    {"", "YYYYMMDD_hhmmss"},
    {"Screen Recording ", "YYYY-MM-DD at H.mm.ss"},
    {"", "YYYY-MM-DD hh.mm.ss"},
}};
constexpr int kFirstYear = 1990;
constexpr int kLastYear = 2099;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool isLeap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && isLeap ? 29 : kDays[month - 1];
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// macOS names its screen recordings in the user's clock: "at 3.04.05 PM", with
// a narrow no-break space before the AM/PM in recent versions.
std::optional<int> twelveHourClock(std::string_view rest, int hour, std::size_t* used) {
    for (std::string_view space : {std::string_view(" "), std::string_view("\xE2\x80\xAF")}) {
        if (!startsWith(rest, space)) continue;
        const std::string_view marker = rest.substr(space.size(), 2);
        const bool isAm = marker == "AM" || marker == "am";
        const bool isPm = marker == "PM" || marker == "pm";
        if (!isAm && !isPm) continue;
        if (hour < 1 || hour > 12) return std::nullopt;
        *used = space.size() + 2;
        return hour % 12 + (isPm ? 12 : 0);
    }
    *used = 0;
    return hour;
}

std::optional<WallClockTime> matchLayout(std::string_view name, const Layout& layout) {
    if (name.size() < layout.prefix.size()) return std::nullopt;
    for (std::size_t i = 0; i < layout.prefix.size(); ++i)
        if (lower(name[i]) != lower(layout.prefix[i])) return std::nullopt;
    name.remove_prefix(layout.prefix.size());
    const std::string_view pattern = layout.pattern;
    WallClockTime time;
    std::size_t at = 0;
    bool endsInField = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char want = pattern[i];
        int* field = nullptr;
        switch (want) {
            case 'Y':
                field = &time.year;
                break;
            case 'M':
                field = &time.month;
                break;
            case 'D':
                field = &time.day;
                break;
            case 'h':
            case 'H':
                field = &time.hour;
                break;
            case 'm':
                field = &time.minute;
                break;
            case 's':
                field = &time.second;
                break;
            case 'f':
                field = &time.millisecond;
                break;
            default:
                break;
        }
        endsInField = field != nullptr;
        if (!field) {
            if (at >= name.size() || name[at] != want) return std::nullopt;
            ++at;
            continue;
        }
        if (at >= name.size() || !isDigit(name[at])) return std::nullopt;
        *field = *field * 10 + (name[at++] - '0');
        if (want == 'H' && at < name.size() && isDigit(name[at])) *field = *field * 10 + (name[at++] - '0');
    }
    // "20190101_1200001" is some other number, not a time with a stray digit.
    if (endsInField && at < name.size() && isDigit(name[at])) return std::nullopt;
    if (pattern.find('H') != std::string_view::npos) {
        std::size_t used = 0;
        const std::optional<int> hour = twelveHourClock(name.substr(at), time.hour, &used);
        if (!hour) return std::nullopt;
        time.hour = *hour;
    }
    if (time.year < kFirstYear || time.year > kLastYear || time.month < 1 || time.month > 12 ||
        time.day < 1 || time.day > daysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59 ||
        time.second > 59)
        return std::nullopt;
    return time;
}

}  // namespace

QString rawValue(DateSource source) {
    return QString::fromLatin1(kSourceNames.at(std::size_t(source)));
}

std::optional<DateSource> dateSourceFromRaw(std::string_view raw) {
    for (std::size_t i = 0; i < kSourceNames.size(); ++i)
        if (raw == kSourceNames[i]) return DateSource(i);
    return std::nullopt;
}

std::optional<WallClockTime> nameDate(std::string_view fileName) {
    for (const Layout& layout : kLayouts)
        if (auto time = matchLayout(fileName, layout)) return time;
    return std::nullopt;
}

}  // namespace reelkeep
