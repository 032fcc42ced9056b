#include <gtest/gtest.h>

#include "model/filters.h"
#include "model/name_order.h"

using namespace reelkeep;

TEST(NameOrder, FoldsCaseAndComparesDigitRunsByValue) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"Clip 9", "Clip 10", -1},
        {"clip 1", "Clip 2", -1},
        {"beach.mov", "BEACH.MOV", 0},
        {"IMG_0007", "img_7", 0},  // leading zeros do not count
        {"IMG_7", "IMG_7a", -1},
        {"a1b", "a01c", -1},
        {"1", "a", -1},  // a digit run orders as its first digit does
        {"Z", "_", 1},   // folded to z (0x7A), which follows _ (0x5F)
        {"", "0", -1},
        // Far beyond 64 bits: compared as digit strings, never converted.
        {"v123456789012345678901234567890", "v123456789012345678901234567891", -1},
        {"v99999999999999999999999999999999", "v100000000000000000000000000000000", -1},
    };
    for (const auto& c : cases) {
        const QString a = QString::fromUtf8(c.a), b = QString::fromUtf8(c.b);
        EXPECT_EQ(compareNames(a, b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(compareNames(b, a), -c.order) << c.b << " vs " << c.a;
    }
}

TEST(NameOrder, LongerDigitRunsAreLargerAtAnyLength) {
    const auto run = [](int digits, char first) {
        return QString(first) + QString(digits - 1, QLatin1Char('0'));
    };
    for (const auto& [shorter, longer] : {std::pair{254, 255}, {255, 256}, {254, 300}, {1, 70000}}) {
        EXPECT_LT(compareNames(run(shorter, '9'), run(longer, '1')), 0) << shorter << " vs " << longer;
        EXPECT_GT(compareNames(run(longer, '1'), run(shorter, '9')), 0) << longer << " vs " << shorter;
    }
    EXPECT_EQ(compareNames(QString(400, QLatin1Char('0')) + "1", QStringLiteral("1")), 0);
}

TEST(NameOrder, TreatsCanonicallyEquivalentTextAsEqual) {
    const QString composed = QStringLiteral("caf\u00E9.mov");
    const QString decomposed = QStringLiteral("cafe\u0301.mov");
    EXPECT_EQ(compareNames(composed, decomposed), 0);
    EXPECT_EQ(compareNames(QStringLiteral("CAF\u00C9"), QStringLiteral("caf\u00E9")), 0);
    EXPECT_EQ(compareNames(QStringLiteral("stra\u00DFe"), QStringLiteral("STRASSE")), 0);
    EXPECT_EQ(compareIdentifiers(composed, decomposed), 0);
    EXPECT_NE(compareIdentifiers(QStringLiteral("A"), QStringLiteral("a")), 0);
}

TEST(NameOrder, OrdersByCodePointsNotUtf16Units) {
    // U+FF21 is one UTF-16 unit, U+1F600 two surrogates (0xD83D...): code point
    // order puts the emoji last although its first unit is smaller.
    const QString fullwidth = QStringLiteral("\uFF41");
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    EXPECT_LT(compareNames(fullwidth, emoji), 0);
    EXPECT_LT(compareIdentifiers(fullwidth, emoji), 0);
    EXPECT_GT(compareIdentifiers(emoji, fullwidth), 0);
}

TEST(Search, MatchesCaseInsensitivelyAndAccentsOnlyWhenTyped) {
    const struct {
        const char* name;
        const char* query;
        bool matches;
    } cases[] = {
        {"CLIP.MOV", "mov", true},
        {"CLIP.MOV", "  mov \t", true},
        {"Beach Day.mp4", "h d", true},
        {"caf\u00E9.mov", "e", true},
        {"D\u00EDa de playa.mp4", "dia", true},
        {"Dia de playa.mp4", "d\u00EDa", false},
        {"cafe.mov", "\u00E9", false},
        {"Se\u00F1ora.mkv", "senora", true},
        {"se\u00F1ora.mkv", "\u00F1", true},
        {"caf\u00E9.mov", "\u00C9", true},
        {"cafe\u0301.mov", "\u00E9", true},  // decomposed name, composed query
        {"caf\u00E9.mov", "e\u0301", true},
        {"Stra\u00DFe", "strasse", true},
        {"plain.mov", "\u00E9", false},
        {"ab", "abc", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(containsFolded(QString::fromUtf8(c.name), searchQuery(QString::fromUtf8(c.query))),
                  c.matches)
            << c.name << " / " << c.query;
}
