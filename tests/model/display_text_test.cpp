#include <gtest/gtest.h>

#include <unicode/uloc.h>
#include <cmath>
#include <limits>

#include "item_builder.h"
#include "model/display_text.h"

using namespace reelkeep;

namespace {

// CLDR puts a narrow no-break space before AM/PM; the shape is what we check.
QString withPlainSpaces(QString text) {
    return text.replace(QChar(0x202F), QLatin1Char(' '));
}

class DefaultLocale {
public:
    explicit DefaultLocale(const char* locale) : m_saved(uloc_getDefault()) { set(locale); }
    ~DefaultLocale() { set(m_saved.c_str()); }

private:
    static void set(const char* locale) {
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault(locale, &status);
    }
    std::string m_saved;
};

}  // namespace

TEST(ByteCountText, FollowsTheDecimalUnitRules) {
    const struct {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {999, "999 bytes"},
        {1'000, "1 KB"},
        {1'500, "2 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"},  // rounds up into the next unit instead of "1,000 KB"
        {1'234'567, "1.2 MB"},
        {104'857'600, "104.9 MB"},
        {1'000'000'000, "1 GB"},
        {1'234'567'890, "1.23 GB"},
        {1'500'000'000'000, "1.5 TB"},
        {std::numeric_limits<std::int64_t>::max(), "9.22 EB"},
        {-2'000, "-2 KB"},
    };
    for (const auto& c : cases) EXPECT_EQ(byteCountText(c.bytes), c.text) << c.bytes;

    EXPECT_EQ(sizeText(std::nullopt), "Unavailable");
    EXPECT_EQ(sizeText(0), "Zero KB");
}

TEST(ByteCountText, UsesTheCurrentLocalesDigitsAndSeparators) {
    {
        const DefaultLocale german("de_DE");
        EXPECT_EQ(byteCountText(1'234'567'890), "1,23 GB");
        EXPECT_EQ(byteCountText(999'000'000'000'000'000), "999 PB");
    }
    EXPECT_EQ(byteCountText(1'234'567'890), "1.23 GB");
}

TEST(DurationText, RoundsHalvesUpAndRejectsWhatIsNotALength) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0:00"},
        {-0.0, "0:00"},
        {0.5, "0:01"},
        {7, "0:07"},
        {245, "4:05"},
        {2.5, "0:03"},
        {3599.4, "59:59"},
        {3599.5, "1:00:00"},
        {86400, "24:00:00"},
        {90189, "25:03:09"},
        {-1, "--:--"},
        {std::nan(""), "--:--"},
        {-std::numeric_limits<double>::infinity(), "--:--"},
        {std::numeric_limits<double>::infinity(), "--:--"},
        {9.3e18, "--:--"},
        {1e300, "--:--"},
        {9.2e18, "2555555555555555:33:20"},
    };
    for (const auto& c : cases) EXPECT_EQ(durationText(c.seconds), c.text) << c.seconds;
}

TEST(ResolutionText, LabelsTheShorterSide) {
    const struct {
        std::int64_t width, height;
        const char* label;
        const char* detail;
    } cases[] = {
        {0, 1080, "\u2014", "\u2014"},
        {1920, 0, "\u2014", "\u2014"},
        {-5, 720, "\u2014", "\u2014"},
        {1920, 1080, "1080p", "1920 \u00D7 1080"},
        {1080, 1920, "1080p", "1080 \u00D7 1920"},
        {2159, 3840, "2159p", "2159 \u00D7 3840"},
        {3840, 2160, "4K", "3840 \u00D7 2160"},
        {4096, 2160, "4K", "4096 \u00D7 2160"},
        {std::numeric_limits<std::int64_t>::max(), 720, "720p", "9223372036854775807 \u00D7 720"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolutionText(c.width, c.height), QString::fromUtf8(c.label))
            << c.width << "x" << c.height;
        EXPECT_EQ(resolutionDetailText(c.width, c.height), QString::fromUtf8(c.detail));
    }
}

TEST(DateText, ShowsMediumAndNumericFormsOrUnknown) {
    EXPECT_EQ(dateText(test::kMarch5th2024), "Mar 5, 2024");
    EXPECT_EQ(withPlainSpaces(dateTimeText(test::kMarch5th2024)), "3/5/2024, 2:07:09 PM");
    EXPECT_EQ(dateText(kDistantPast), "Unknown date");
    EXPECT_EQ(dateTimeText(kDistantPast), "Unknown date");
    EXPECT_EQ(dateText(std::nan("")), "");

    const DefaultLocale german("de_DE");
    EXPECT_EQ(dateText(test::kMarch5th2024), "05.03.2024");
}

TEST(DateText, TitlesYearsAndMonthsWithPlainFallbacks) {
    EXPECT_EQ(monthTitle(2024, 3), "Mar");
    EXPECT_EQ(monthTitle(2024, 13), "13");
    EXPECT_EQ(monthTitle(2024, 0), "0");
    EXPECT_EQ(yearTitle(2'000'000'000), "2000000000");
}
