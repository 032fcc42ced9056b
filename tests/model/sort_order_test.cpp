#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "item_builder.h"
#include "model/sort_order.h"

using namespace reelkeep;
using reelkeep::test::ids;
using reelkeep::test::item;

namespace {

std::vector<VideoTableSortComparator> allComparators() {
    std::vector<VideoTableSortComparator> result;
    for (VideoSortOrder order : kAllSortOrders) result.push_back(tableComparator(order));
    return result;
}

// Unknown and zero sizes, NaN and huge lengths, case twins, missing dates,
// pixel products beyond 64 bits and repeated identifiers.
VideoList oddItems() {
    const double nan = std::nan("");
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    return {
        item("a").withName("Clip 10").withBytes(0).withFolder("Trip 10"),
        item("b")
            .withName("clip 10")
            .withFolder("trip 10")
            .withSize(SizeState::unavailable())
            .withDuration(nan),
        item("c").withName("Clip 9").withSize(SizeState::failed()).withDate(kDistantPast),
        item("d")
            .withBytes(huge)
            .withDuration(std::numeric_limits<double>::infinity())
            .withPixels(huge, huge),
        item("e").withName("").withDuration(nan).withDate(nan).withPixels(huge, -huge),
        item("f").withName("caf\u00E9").withDuration(-0.0).withPixels(-1, -1).withFolder("Trip 9"),
        item("g").withName("cafe\u0301").withDuration(0.0).withBytes(5),
        item("a").withName("Clip 10").withBytes(5),
        item("h").withName("x").withDuration(1e308).withDate(-1e300).withFolder("Trip 000"),
        item("i").withName("x").withFolder(""),
    };
}

}  // namespace

TEST(VideoSort, EveryComparatorIsAStrictWeakOrder) {
    const VideoList items = oddItems();
    for (const VideoTableSortComparator& less : allComparators())
        for (const VideoItem& a : items) {
            EXPECT_FALSE(less(a, a));
            for (const VideoItem& b : items) {
                const bool ab = less(a, b), ba = less(b, a);
                EXPECT_FALSE(ab && ba);
                EXPECT_EQ(int(less.compare(a, b)), -int(less.compare(b, a)));
                for (const VideoItem& c : items) {
                    if (ab && less(b, c)) {
                        EXPECT_TRUE(less(a, c));
                    }
                    // Incomparability is transitive too.
                    if (!ab && !ba && !less(b, c) && !less(c, b)) {
                        EXPECT_TRUE(!less(a, c) && !less(c, a));
                    }
                }
            }
        }
}

TEST(VideoSort, RandomListsSortConsistentlyWithTheComparator) {
    std::mt19937_64 random(42);
    const VideoList odd = oddItems();
    for (int round = 0; round < 50; ++round) {
        VideoList items;
        const int count = int(random() % 300);
        for (int i = 0; i < count; ++i) {
            const VideoItem& base = odd[qsizetype(random() % std::uint64_t(odd.size()))];
            items.append(VideoItem(QStringLiteral("id%1").arg(random() % 50), base.resourceFilename(),
                                   base.creationDate(), base.duration(), base.pixelWidth(),
                                   base.pixelHeight(), random() % 2 == 0, false, base.sizeState(),
                                   base.location()));
        }
        for (VideoSortOrder order : kAllSortOrders) {
            const VideoList sorted = sortedItems(items, order);
            ASSERT_EQ(sorted.size(), items.size());
            EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), tableComparator(order)));
        }
    }
}

TEST(VideoSort, UnknownSizesComeLastInBothDirections) {
    const VideoList items = {item("d").withSize(SizeState::failed()), item("b").withBytes(10),
                             item("c").withSize(SizeState::unavailable()), item("a").withBytes(20),
                             item("e").withBytes(10)};
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::sizeDesc)), QStringList({"a", "b", "e", "c", "d"}));
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::sizeAsc)), QStringList({"b", "e", "a", "c", "d"}));

    const VideoList unknown = {item("z").withSize(SizeState::failed()),
                               item("m").withSize(SizeState::unavailable()),
                               item("a").withSize(SizeState::failed())};
    EXPECT_EQ(ids(sortedItems(unknown, VideoSortOrder::sizeDesc)), QStringList({"a", "m", "z"}));
    EXPECT_EQ(ids(sortedItems(unknown, VideoSortOrder::sizeAsc)), QStringList({"a", "m", "z"}));
}

TEST(VideoSort, TiesEndOnTheIdentifierAscendingInEveryDirection) {
    const VideoList twins = {item("2").withName("Beach.mov"), item("1").withName("beach.MOV")};
    EXPECT_EQ(ids(sortedItems(twins, VideoSortOrder::nameAsc)), QStringList({"1", "2"}));
    EXPECT_EQ(ids(sortedItems(twins, VideoSortOrder::nameDesc)), QStringList({"1", "2"}));

    const VideoList rotated = {item("y").withPixels(1920, 1080), item("x").withPixels(1080, 1920)};
    EXPECT_EQ(ids(sortedItems(rotated, VideoSortOrder::resolutionDesc)), QStringList({"x", "y"}));

    // Same identifier: the stable sort keeps input order.
    const VideoList same = {item("s").withFavorite(), item("s")};
    for (VideoSortOrder order : kAllSortOrders) {
        const VideoList sorted = sortedItems(same, order);
        EXPECT_TRUE(sorted[0].isFavorite()) << rawValue(order).toStdString();
    }
}

TEST(VideoSort, NamesSortNumericallyAndFallBackToTheIdentifier) {
    const VideoList items = {item("i1").withName("Clip 2"), item("i2").withName("Clip 10"),
                             item("i3").withName("clip 1"), item("B-no-name")};
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::nameAsc)), QStringList({"B-no-name", "i3", "i1", "i2"}));
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::nameDesc)),
              QStringList({"i2", "i1", "i3", "B-no-name"}));
}

TEST(VideoSort, FoldersSortNaturallyThenByName) {
    const VideoList items = {
        item("i1").withName("b").withFolder("Trip 10"),       item("i2").withName("a").withFolder("Trip 10"),
        item("i3").withName("z").withFolder("trip 9"),        item("i4").withName("z").withFolder(""),
        item("i5").withName("a").withFolder("Trip 10/day 1"), item("no-folder")};
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::folderAsc)),
              QStringList({"no-folder", "i4", "i3", "i2", "i1", "i5"}));
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::folderDesc)),
              QStringList({"i5", "i1", "i2", "i3", "i4", "no-folder"}));
}

TEST(VideoSort, NanAndOverflowingValuesHaveFixedPlaces) {
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const VideoList items = {item("big").withPixels(huge, huge), item("small").withPixels(2, 2),
                             item("wrapping").withPixels(huge, 3)};
    // A 64-bit product would wrap "wrapping" and "big" to small or negative values.
    EXPECT_EQ(ids(sortedItems(items, VideoSortOrder::resolutionAsc)),
              QStringList({"small", "wrapping", "big"}));

    const VideoList lengths = {item("nan").withDuration(std::nan("")), item("one").withDuration(1),
                               item("neg").withDuration(-5)};
    EXPECT_EQ(ids(sortedItems(lengths, VideoSortOrder::durationAsc)), QStringList({"nan", "neg", "one"}));
    EXPECT_EQ(ids(sortedItems(lengths, VideoSortOrder::durationDesc)), QStringList({"one", "neg", "nan"}));

    const VideoList dates = {item("old").withDate(kDistantPast), item("new").withDate(1.7e9)};
    EXPECT_EQ(ids(sortedItems(dates, VideoSortOrder::creationDateDesc)), QStringList({"new", "old"}));
    EXPECT_EQ(ids(sortedItems(dates, VideoSortOrder::creationDateAsc)), QStringList({"old", "new"}));
}

TEST(VideoSortOrder, MapsToComparatorsAndBack) {
    for (VideoSortOrder order : kAllSortOrders) {
        const VideoTableSortComparator comparator = tableComparator(order);
        EXPECT_EQ(videoSortOrder(comparator.column, comparator.order), order);
        EXPECT_EQ(column(order), comparator.column);
    }
}
