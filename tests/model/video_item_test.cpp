#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "item_builder.h"
#include "model/calendar.h"
#include "model/filters.h"
#include "model/size_state.h"
#include "model/sort_order.h"

using namespace reelkeep;
using reelkeep::test::item;

TEST(VideoItem, DerivesYearAndMonthInTheUsersZone) {
    // 2024-01-01 03:00 UTC is still New Year's Eve 2023 in New York.
    const VideoItem newYearsEve = item("a").withDate(1704078000.0);
    EXPECT_EQ(newYearsEve.creationYear(), 2023);
    EXPECT_EQ(newYearsEve.creationMonth(), 12);

    for (const double undated :
         {kDistantPast, std::nan(""), std::numeric_limits<double>::infinity(), 1e300}) {
        const VideoItem video = item("b").withDate(undated);
        EXPECT_EQ(video.creationYear(), 0) << undated;
        EXPECT_EQ(video.creationMonth(), 0) << undated;
    }
    EXPECT_EQ(catalogueDate(2024, 13), std::nullopt);

    // A millisecond either side of midnight, New Year in New York, in turn: no month outlives its bounds.
    const struct {
        double date;
        YearMonth month;
    } steps[] = {{1704085199.999, {2023, 12}}, {1704085200.0, {2024, 1}},    {1704085199.999, {2023, 12}},
                 {1701406800.0, {2023, 12}},   {1701406799.999, {2023, 11}}, {1706763600.0, {2024, 2}}};
    for (const auto& step : steps) {
        const YearMonth month = catalogueYearMonth(step.date);
        EXPECT_EQ(month.year, step.month.year) << step.date;
        EXPECT_EQ(month.month, step.month.month) << step.date;
    }
}

TEST(VideoItem, EqualityCoversEveryFieldButIdentityOnlyTheIdentifier) {
    const VideoItem base = item("a").withName("clip.mov");
    EXPECT_EQ(base, item("a").withName("clip.mov").build());
    EXPECT_EQ(std::hash<VideoItem>{}(base), std::hash<VideoItem>{}(item("a").withName("clip.mov").build()));

    const VideoItem others[] = {
        item("b").withName("clip.mov"),
        item("a"),  // absent name is not the same as a present one
        item("a").withName(""),
        item("a").withName("clip.mov").withFavorite(),
        item("a").withName("clip.mov").withDuration(11),
        item("a").withName("clip.mov").withBytes(1001),
        item("a").withName("clip.mov").withSize(SizeState::unavailable()),
    };
    for (const VideoItem& other : others) EXPECT_FALSE(base == other) << other.displayName().toStdString();

    const VideoItem nanLength = item("n").withDuration(std::nan(""));
    EXPECT_FALSE(nanLength == nanLength);

    EXPECT_EQ(item("z").withDuration(0.0).build(), item("z").withDuration(-0.0).build());
    EXPECT_EQ(std::hash<VideoItem>{}(item("z").withDuration(0.0)),
              std::hash<VideoItem>{}(item("z").withDuration(-0.0)));
}

TEST(VideoItem, DisplayNamePrefersAnEmptyNameOverTheIdentifier) {
    EXPECT_EQ(item("id-1").build().displayName(), "id-1");
    EXPECT_EQ(item("id-1").withName("").build().displayName(), "");
    EXPECT_EQ(item("id-1").withName("a.mov").build().displayName(), "a.mov");
}

TEST(SizeState, EqualityAndHashIgnoreThePayloadOfUnknownStates) {
    EXPECT_EQ(SizeState::unavailable(), SizeState::unavailable());
    EXPECT_NE(SizeState::unavailable(), SizeState::failed());
    EXPECT_NE(SizeState::known(1, SizeSource::allocatedSize),
              SizeState::known(1, SizeSource::fileAttributes));
    std::unordered_set<SizeState> states{SizeState::unavailable(), SizeState::unavailable(),
                                         SizeState::failed(),
                                         SizeState::known(7, SizeSource::photosMetadata)};
    EXPECT_EQ(states.size(), 3U);
}

TEST(RawValues, RoundTripAndRejectUnknownStrings) {
    for (int i = 0; i <= int(SizeSource::fileAttributes); ++i)
        EXPECT_EQ(sizeSourceFromRaw(rawValue(SizeSource(i))), SizeSource(i));
    for (VideoSortOrder order : kAllSortOrders) EXPECT_EQ(videoSortOrderFromRaw(rawValue(order)), order);
    for (SizeFilter filter : kAllSizeFilters) EXPECT_EQ(sizeFilterFromRaw(rawValue(filter)), filter);
    // Stored in settings and printed by the command line: a rename would lose saved choices.
    EXPECT_EQ(rawValue(VideoSortOrder::creationDateDesc), "creationDateDesc");
    EXPECT_EQ(rawValue(SizeFilter::atLeast1GB), "atLeast1GB");
    EXPECT_EQ(rawValue(SizeSource::photosMetadata), "photosMetadata");
    for (const char* junk : {"", "SizeDesc", "sizedesc ", "atLeast3GB", "none\n"}) {
        EXPECT_EQ(videoSortOrderFromRaw(junk), std::nullopt) << junk;
        EXPECT_EQ(sizeFilterFromRaw(junk), std::nullopt) << junk;
        EXPECT_EQ(sizeSourceFromRaw(junk), std::nullopt) << junk;
    }
}
