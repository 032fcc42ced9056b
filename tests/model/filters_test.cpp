#include <gtest/gtest.h>

#include <random>

#include "item_builder.h"
#include "model/duplicates.h"
#include "model/filter_index.h"
#include "model/filters.h"

using namespace reelkeep;
using reelkeep::test::ids;
using reelkeep::test::item;

namespace {

// Mid-month in New York so no zone shift moves them.
constexpr Timestamp kMarch2024 = 1710500000.0;
constexpr Timestamp kMarch2023 = 1678900000.0;
constexpr Timestamp kJuly2024 = 1721000000.0;
constexpr Timestamp kJanuary2022 = 1642200000.0;

}  // namespace

TEST(FilteredItems, ReturnsTheInputUntouchedWhenNothingApplies) {
    const VideoList items = {item("a"), item("b")};
    for (const char* blank : {"", "   ", "\t\n", "\u3000\u2028"}) {
        const VideoList result =
            filteredItems(items, SizeFilter::none, QString::fromUtf8(blank), DateFilter::all(), nullptr);
        EXPECT_TRUE(result.isSharedWith(items)) << blank;  // no copy on the hot path
    }
}

TEST(FilteredItems, AppliesEveryConditionAndKeepsInputOrder) {
    const VideoList items = {
        item("exact").withName("exact.MOV").withBytes(100'000'000).withDate(kMarch2024),
        item("below").withName("below.mov").withBytes(99'999'999).withDate(kMarch2024),
        item("unknown").withName("cloud.mov").withSize(SizeState::unavailable()).withDate(kMarch2024),
        item("old").withName("old.mov").withBytes(1'999'999'999).withDate(kMarch2023),
        item("july").withName("July.mp4").withBytes(100'000'000).withDate(kJuly2024),
        item("undated").withName("undated.mov").withBytes(5).withDate(kDistantPast),
        item("noname").withBytes(5).withDate(kJanuary2022),
    };
    const auto run = [&](SizeFilter size, const char* search, DateFilter date,
                         const SizeCounts* dups = nullptr) {
        return ids(filteredItems(items, size, QString::fromUtf8(search), date, dups));
    };
    EXPECT_EQ(run(SizeFilter::atLeast100MB, "", DateFilter::all()), QStringList({"exact", "old", "july"}));
    EXPECT_EQ(run(SizeFilter::atLeast2GB, "", DateFilter::all()), QStringList{});
    EXPECT_EQ(run(SizeFilter::none, " MOV ", DateFilter::all()),
              QStringList({"exact", "below", "unknown", "old", "undated"}));
    EXPECT_EQ(run(SizeFilter::none, "nonam", DateFilter::all()), QStringList({"noname"}));  // the identifier
    EXPECT_EQ(run(SizeFilter::none, "", DateFilter::ofMonth(2024, 3)),
              QStringList({"exact", "below", "unknown"}));
    EXPECT_EQ(run(SizeFilter::none, "", DateFilter::ofYear(2024)),
              QStringList({"exact", "below", "unknown", "july"}));
    EXPECT_EQ(run(SizeFilter::none, "", DateFilter::ofYear(0)), QStringList{});  // undated passes only `all`
    EXPECT_EQ(run(SizeFilter::none, "", DateFilter::ofMonth(0, 0)), QStringList{});
    EXPECT_EQ(run(SizeFilter::atLeast100MB, "mov", DateFilter::ofYear(2024)), QStringList({"exact"}));

    const SizeCounts none;
    EXPECT_EQ(run(SizeFilter::none, "", DateFilter::all(), &none), QStringList{});
    const SizeCounts shared{{100'000'000, 2}, {5, 2}};
    EXPECT_EQ(run(SizeFilter::none, "", DateFilter::all(), &shared),
              QStringList({"exact", "july", "undated", "noname"}));
}

// A video shown as "1.05 GB" is in "1 GB and up": thresholds are as decimal as the sizes on screen.
TEST(SizeFilter, KeepsWhatItsLabelPromisesInDecimalUnits) {
    const struct {
        SizeFilter filter;
        std::int64_t bytes;
        bool isKept;
    } cases[] = {
        {SizeFilter::atLeast100MB, 100'000'000, true},  {SizeFilter::atLeast100MB, 99'999'999, false},
        {SizeFilter::atLeast500MB, 500'000'000, true},  {SizeFilter::atLeast500MB, 499'999'999, false},
        {SizeFilter::atLeast1GB, 1'050'000'000, true},  {SizeFilter::atLeast1GB, 1'000'000'000, true},
        {SizeFilter::atLeast1GB, 999'999'999, false},   {SizeFilter::atLeast2GB, 2'000'000'000, true},
        {SizeFilter::atLeast2GB, 1'999'999'999, false},
    };
    for (const auto& c : cases) {
        const VideoList kept =
            filteredItems({item("v").withBytes(c.bytes)}, c.filter, {}, DateFilter::all(), nullptr);
        EXPECT_EQ(kept.size() == 1, c.isKept) << label(c.filter).toStdString() << " " << c.bytes;
    }
}

TEST(DateBuckets, CountEveryDatedVideoAndSumOnlyKnownBytes) {
    EXPECT_TRUE(buildDateBuckets({}).years.isEmpty());
    EXPECT_TRUE(buildDateBuckets({}).monthsByYear.isEmpty());

    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const VideoList items = {
        item("a").withDate(kMarch2024).withBytes(10),
        item("b").withDate(kJuly2024).withSize(SizeState::unavailable()),
        item("c").withDate(kMarch2024).withBytes(5),
        item("d").withDate(kMarch2023).withBytes(huge),
        item("e").withDate(kMarch2023).withBytes(huge),
        item("f").withDate(kJanuary2022).withSize(SizeState::failed()),
        item("g").withDate(kDistantPast).withBytes(99),
    };
    const DateBuckets buckets = buildDateBuckets(items);
    const QList<DateBucket> years = {DateBucket{2024, std::nullopt, 3, 15},
                                     DateBucket{2023, std::nullopt, 2, huge},
                                     DateBucket{2022, std::nullopt, 1, 0}};
    EXPECT_EQ(buckets.years, years);
    EXPECT_EQ(buckets.monthsByYear.value(2024), QList<DateBucket>({{2024, 7, 1, 0}, {2024, 3, 2, 15}}));
    EXPECT_EQ(buckets.monthsByYear.value(2023), QList<DateBucket>({{2023, 3, 2, huge}}));
    EXPECT_EQ(buckets.monthsByYear.size(), 3);
}

TEST(FilterIndex, FiltersExactlyLikeTheListFilter) {
    std::mt19937_64 random(3);
    const char* const names[] = {
        "Beach.MOV", "beach 2.mov",         "caf\u00E9.mp4", "cafe\u0301 clip", "Stra\u00DFe", "IMG_0001.MOV",
        "",          "\U0001F600 party.mov"};
    const Timestamp dates[] = {kMarch2024, kMarch2023, kJuly2024, kJanuary2022, kDistantPast};
    VideoList items;
    for (int i = 0; i < 400; ++i) {
        auto builder = item(QStringLiteral("id%1").arg(i)).withDate(dates[random() % std::size(dates)]);
        if (random() % 5 != 0) builder.withName(QString::fromUtf8(names[random() % std::size(names)]));
        if (random() % 6 == 0)
            builder.withSize(SizeState::unavailable());
        else
            builder.withBytes(std::int64_t(random() % 4) * 60'000'000);
        items.append(builder);
    }
    const FilterIndex index(items);
    const SizeCounts duplicates = summarizeDuplicates(items).countsBySize;
    const char* const queries[] = {"",  " ",    "beach",   "MOV",        "\u00E9",
                                   "e", "cafe", "strasse", "\U0001F600", "0001"};
    const DateFilter dateFilters[] = {DateFilter::all(), DateFilter::ofYear(2024),
                                      DateFilter::ofMonth(2024, 3), DateFilter::ofYear(0)};
    for (const char* query : queries)
        for (const DateFilter& date : dateFilters)
            for (SizeFilter size : kAllSizeFilters)
                for (const SizeCounts* dups : {static_cast<const SizeCounts*>(nullptr), &duplicates}) {
                    const QString text = QString::fromUtf8(query);
                    ASSERT_EQ(ids(index.filtered(size, text, date, dups)),
                              ids(filteredItems(items, size, text, date, dups)))
                        << query << " " << rawValue(size).toStdString();
                }
}
