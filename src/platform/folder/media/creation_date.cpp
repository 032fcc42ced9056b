// creation_date.cpp: a strict ISO 8601 reader; no libc time functions, so no
// dependence on TZ or the C locale.
#include "creation_date.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstdint>

namespace reelkeep::media {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_pos == m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++m_pos;
        return true;
    }
    // Exactly `digits` decimal digits.
    std::optional<int> number(int digits) {
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            const char c = peek();
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
            ++m_pos;
        }
        return value;
    }
    // Digits after a decimal point, as a fraction of a second.
    double fraction() {
        double value = 0, scale = 0.1;
        while (peek() >= '0' && peek() <= '9') {
            value += (peek() - '0') * scale;
            scale /= 10;
            ++m_pos;
        }
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// 1971-01-01 00:00 UTC: earlier tags come from clocks that were never set.
constexpr std::int64_t kFirstPlausibleSecond = 31'536'000;

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool isLeap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && isLeap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<Timestamp> parseContainerDate(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    Reader in(text);
    const auto year = in.number(4);
    if (!year || !in.take('-')) return std::nullopt;
    const auto month = in.number(2);
    if (!month || !in.take('-')) return std::nullopt;
    const auto day = in.number(2);
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month))
        return std::nullopt;

    int hour = 0, minute = 0, second = 0;
    double fraction = 0;
    int offsetSeconds = 0;
    if (!in.atEnd()) {
        if (!in.take('T') && !in.take(' ')) return std::nullopt;
        const auto h = in.number(2);
        if (!h || !in.take(':')) return std::nullopt;
        const auto m = in.number(2);
        if (!m) return std::nullopt;
        hour = *h;
        minute = *m;
        if (in.take(':')) {
            const auto s = in.number(2);
            if (!s) return std::nullopt;
            second = *s;
            if (in.take('.') || in.take(',')) fraction = in.fraction();
        }
        // 60 admits a leap second; it lands on the next minute's first second.
        if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
        if (in.take('Z')) {
        } else if (in.peek() == '+' || in.peek() == '-') {
            const int sign = in.take('-') ? -1 : (in.take('+'), 1);
            const auto oh = in.number(2);
            if (!oh) return std::nullopt;
            in.take(':');
            const auto om = in.atEnd() ? std::optional<int>(0) : in.number(2);
            if (!om || *oh > 23 || *om > 59) return std::nullopt;
            offsetSeconds = sign * (*oh * 3600 + *om * 60);
        }
        if (!in.atEnd()) return std::nullopt;
    }

    const std::int64_t seconds =
        daysFromCivil(*year, *month, *day) * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    if (seconds < kFirstPlausibleSecond) return std::nullopt;
    return static_cast<Timestamp>(seconds) + fraction;
}

std::optional<Timestamp> containerDate(const ContainerDateTags& tags) {
    for (const std::string& tag : {tags.quickTimeCreationDate, tags.creationTime})
        if (auto date = parseContainerDate(tag)) return date;
    return std::nullopt;
}

DatedBy fileDate(std::string_view fileName, std::int64_t mtimeNs) {
    if (const std::optional<WallClockTime> time = nameDate(fileName)) {
        // A phone names its files in the zone it was in; the user's zone is the best guess here.
        const QDateTime local(QDate(time->year, time->month, time->day),
                              QTime(time->hour, time->minute, time->second, time->millisecond),
                              Qt::LocalTime);
        if (local.isValid())
            return DatedBy{Timestamp(local.toMSecsSinceEpoch()) / 1000.0, DateSource::fileName};
    }
    return DatedBy{static_cast<Timestamp>(mtimeNs) / 1e9, DateSource::modificationTime};
}

DatedBy videoDate(const ContainerDateTags& tags, std::string_view fileName, std::int64_t mtimeNs) {
    if (const std::optional<Timestamp> date = containerDate(tags))
        return DatedBy{*date, DateSource::container};
    return fileDate(fileName, mtimeNs);
}

}  // namespace reelkeep::media
