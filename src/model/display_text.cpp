#include "display_text.h"

#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "calendar.h"
#include "texts.h"

namespace reelkeep {

namespace {

constexpr double kMillisPerSecond = 1000.0;

QString fromUChars(const UChar* text, int32_t length) {
    return QString(reinterpret_cast<const QChar*>(text), length);
}

struct NumberFormatCloser {
    void operator()(UNumberFormat* format) const { unum_close(format); }
};
struct DateFormatCloser {
    void operator()(UDateFormat* format) const { udat_close(format); }
};
using NumberFormatPtr = std::unique_ptr<UNumberFormat, NumberFormatCloser>;
using DateFormatPtr = std::unique_ptr<UDateFormat, DateFormatCloser>;

// ICU formatters are not safe to share across threads, so each thread keeps its
// own set and rebuilds it when the default locale changes.
struct Formatters {
    std::string locale;
    std::array<NumberFormatPtr, 3> decimals;  // 0, 1 and 2 fraction digits
    DateFormatPtr mediumDate;
    DateFormatPtr numericDateTime;
    DateFormatPtr yearOnly;
    DateFormatPtr monthOnly;
};

NumberFormatPtr openNumberFormat(const char* locale, int fractionDigits) {
    UErrorCode status = U_ZERO_ERROR;
    NumberFormatPtr format{unum_open(UNUM_DECIMAL, nullptr, 0, locale, nullptr, &status)};
    if (U_FAILURE(status)) return nullptr;
    unum_setAttribute(format.get(), UNUM_MIN_FRACTION_DIGITS, 0);
    unum_setAttribute(format.get(), UNUM_MAX_FRACTION_DIGITS, fractionDigits);
    unum_setAttribute(format.get(), UNUM_ROUNDING_MODE, UNUM_ROUND_HALFUP);
    return format;
}

DateFormatPtr openSkeletonFormat(const char* locale, const UChar* skeleton) {
    UErrorCode status = U_ZERO_ERROR;
    UDateTimePatternGenerator* generator = udatpg_open(locale, &status);
    if (U_FAILURE(status)) return nullptr;
    std::array<UChar, 128> pattern{};
    const int32_t length =
        udatpg_getBestPattern(generator, skeleton, -1, pattern.data(), int32_t(pattern.size()), &status);
    udatpg_close(generator);
    if (U_FAILURE(status)) return nullptr;
    DateFormatPtr format{
        udat_open(UDAT_PATTERN, UDAT_PATTERN, locale, nullptr, 0, pattern.data(), length, &status)};
    return U_SUCCESS(status) ? std::move(format) : nullptr;
}

Formatters& formatters() {
    thread_local Formatters cache;
    const char* locale = uloc_getDefault();
    if (cache.locale != locale || !cache.decimals[0]) {
        cache.locale = locale;
        for (int digits = 0; digits < 3; ++digits) cache.decimals[digits] = openNumberFormat(locale, digits);
        UErrorCode status = U_ZERO_ERROR;
        cache.mediumDate.reset(udat_open(UDAT_NONE, UDAT_MEDIUM, locale, nullptr, 0, nullptr, 0, &status));
        if (U_FAILURE(status)) cache.mediumDate.reset();
        cache.numericDateTime = openSkeletonFormat(locale, u"yMdjms");
        cache.yearOnly = openSkeletonFormat(locale, u"y");
        cache.monthOnly = openSkeletonFormat(locale, u"MMM");
    }
    return cache;
}

QString formatNumber(double value, int fractionDigits) {
    UNumberFormat* format = formatters().decimals.at(std::size_t(fractionDigits)).get();
    std::array<UChar, 64> buffer{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        format ? unum_formatDouble(format, value, buffer.data(), int32_t(buffer.size()), nullptr, &status)
               : 0;
    if (!format || U_FAILURE(status)) return QString::number(value, 'f', fractionDigits);
    return fromUChars(buffer.data(), length);
}

QString formatDate(UDateFormat* format, Timestamp date) {
    if (!format || !std::isfinite(date)) return {};
    std::array<UChar, 128> buffer{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        udat_format(format, date * kMillisPerSecond, buffer.data(), int32_t(buffer.size()), nullptr, &status);
    return U_SUCCESS(status) ? fromUChars(buffer.data(), length) : QString{};
}

struct ByteUnit {
    const char* name;
    int fractionDigits;
};
// Index k stands for 1000^k bytes; byte counts below 1,000 are spelled in bytes.
constexpr std::array<ByteUnit, 7> kUnits{{{QT_TRANSLATE_NOOP("reelkeep", "bytes"), 0},
                                          {QT_TRANSLATE_NOOP("reelkeep", "KB"), 0},
                                          {QT_TRANSLATE_NOOP("reelkeep", "MB"), 1},
                                          {QT_TRANSLATE_NOOP("reelkeep", "GB"), 2},
                                          {QT_TRANSLATE_NOOP("reelkeep", "TB"), 2},
                                          {QT_TRANSLATE_NOOP("reelkeep", "PB"), 2},
                                          {QT_TRANSLATE_NOOP("reelkeep", "EB"), 2}}};

}  // namespace

QString byteCountText(std::int64_t bytes) {
    if (bytes == 0) return tr("Zero KB");
    // Magnitude as unsigned so INT64_MIN has one too.
    const std::uint64_t magnitude = bytes < 0 ? 0 - std::uint64_t(bytes) : std::uint64_t(bytes);
    const double sign = bytes < 0 ? -1.0 : 1.0;
    if (magnitude == 1) return tr("%1 byte").arg(formatNumber(sign, 0));
    if (magnitude < 1000) return tr("%1 bytes").arg(formatNumber(sign * double(magnitude), 0));

    std::size_t unit = 1;
    double scaled = double(magnitude) / 1000.0;
    double rounded = 0;
    while (true) {
        const double factor = std::pow(10.0, kUnits[unit].fractionDigits);
        rounded = std::round(scaled * factor) / factor;
        if (rounded < 1000.0 || unit + 1 == kUnits.size()) break;
        ++unit;
        scaled /= 1000.0;
    }
    return tr("%1 %2").arg(formatNumber(sign * rounded, kUnits[unit].fractionDigits), tr(kUnits[unit].name));
}

QString sizeText(std::optional<std::int64_t> bytes) {
    return bytes ? byteCountText(*bytes) : tr("Unavailable");
}

QString durationText(double seconds) {
    // 2^63 and above cannot become an int64; such lengths never come from a real file.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= kLimit) return QStringLiteral("--:--");
    const double roundedSeconds = std::round(seconds);  // halves away from zero
    if (roundedSeconds >= kLimit) return QStringLiteral("--:--");
    const auto total = std::int64_t(roundedSeconds);
    const std::int64_t minutes = (total % 3600) / 60;
    const std::int64_t secs = total % 60;
    std::array<char, 64> buffer{};
    if (total < 3600)
        std::snprintf(buffer.data(), buffer.size(), "%" PRId64 ":%02" PRId64, minutes, secs);
    else
        std::snprintf(buffer.data(), buffer.size(), "%" PRId64 ":%02" PRId64 ":%02" PRId64, total / 3600,
                      minutes, secs);
    return QString::fromLatin1(buffer.data());
}

QString dateText(Timestamp date) {
    if (date == kDistantPast) return tr("Unknown date");
    return formatDate(formatters().mediumDate.get(), date);
}

QString dateTimeText(Timestamp date) {
    if (date == kDistantPast) return tr("Unknown date");
    return formatDate(formatters().numericDateTime.get(), date);
}

bool isFourK(std::int64_t width, std::int64_t height) {
    return std::min(width, height) > 2159;
}

QString resolutionText(std::int64_t width, std::int64_t height) {
    const std::int64_t shorter = std::min(width, height);
    if (shorter <= 0) return QStringLiteral("\u2014");
    if (isFourK(width, height)) return QStringLiteral("4K");
    return QString::number(shorter) + QLatin1Char('p');
}

QString resolutionDetailText(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return QStringLiteral("\u2014");
    return QString::number(width) + QStringLiteral(" \u00D7 ") + QString::number(height);
}

QString bitrateText(std::optional<double> bitsPerSecond) {
    if (!bitsPerSecond || !std::isfinite(*bitsPerSecond) || *bitsPerSecond <= 0)
        return QStringLiteral("\u2014");
    if (*bitsPerSecond < 1e6) return tr("%1 kbit/s").arg(formatNumber(std::round(*bitsPerSecond / 1e3), 0));
    return tr("%1 Mbit/s").arg(formatNumber(std::round(*bitsPerSecond / 1e5) / 10, 1));
}

QString yearTitle(int year) {
    const std::optional<Timestamp> date = catalogueDate(year, 1);
    const QString text = date ? formatDate(formatters().yearOnly.get(), *date) : QString{};
    return text.isEmpty() ? QString::number(year) : text;
}

QString monthTitle(int year, int month) {
    const std::optional<Timestamp> date = catalogueDate(year, month);
    const QString text = date ? formatDate(formatters().monthOnly.get(), *date) : QString{};
    return text.isEmpty() ? QString::number(month) : text;
}

}  // namespace reelkeep
