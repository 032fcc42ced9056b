#include <gtest/gtest.h>

#include "item_builder.h"
#include "model/duplicates.h"

using namespace reelkeep;
using reelkeep::test::item;

TEST(DuplicateSummary, CountsSameSizeGroupsAndTheirSurplus) {
    const VideoList items = {
        item("a").withBytes(10'000'000),
        item("b").withBytes(20'000'000),
        item("c").withBytes(10'000'000),
        item("d").withBytes(10'000'000),
        item("e").withBytes(20'000'000),
        item("f").withBytes(30'000'000),
        item("u1").withSize(SizeState::unavailable()),
        item("u2").withSize(SizeState::unavailable()),
        item("u3").withSize(SizeState::failed()),
        item("z1").withBytes(0),
        item("z2").withBytes(0),
    };
    const DuplicateSummary summary = summarizeDuplicates(items);
    EXPECT_EQ(summary.countsBySize, SizeCounts({{10'000'000, 3}, {20'000'000, 2}}));
    EXPECT_EQ(summary.videoCount, 5);
    EXPECT_EQ(summary.reclaimableBytes, 40'000'000);

    EXPECT_EQ(summarizeDuplicates({item("x").withBytes(1), item("y").withBytes(2)}), DuplicateSummary{});
}

TEST(DuplicateSummary, SaturatesInsteadOfWrapping) {
    // Sparse files can claim exabytes: 4 EB x 3 surplus copies does not fit in 64 bits.
    const std::int64_t fourEB = 4'000'000'000'000'000'000;
    const VideoList items = {item("a").withBytes(fourEB), item("b").withBytes(fourEB),
                             item("c").withBytes(fourEB), item("d").withBytes(fourEB),
                             item("e").withBytes(7),      item("f").withBytes(7)};
    EXPECT_EQ(summarizeDuplicates(items).reclaimableBytes, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(libraryStats(items, 0).knownBytes, std::numeric_limits<std::int64_t>::max());
}

TEST(ExtraCopies, KeepAFavoriteThenTheOldestThenTheSmallestIdentifier) {
    const struct {
        const char* why;
        VideoList items;
        QSet<QString> extras;
    } cases[] = {
        {"favorite beats older",
         {item("old").withBytes(9).withDate(100), item("fav").withBytes(9).withDate(200).withFavorite()},
         {"old"}},
        {"older favorite of two",
         {item("f2").withBytes(9).withDate(200).withFavorite(),
          item("f1").withBytes(9).withDate(100).withFavorite()},
         {"f2"}},
        {"same date: smaller id",
         {item("m").withBytes(9).withDate(100), item("k").withBytes(9).withDate(100)},
         {"m"}},
        {"undated counts as oldest",
         {item("a").withBytes(9).withDate(100), item("b").withBytes(9).withDate(kDistantPast)},
         {"a"}},
        {"unknown sizes never group",
         {item("a").withSize(SizeState::unavailable()), item("b").withSize(SizeState::unavailable())},
         {}},
        {"lone copy in the list", {item("a").withBytes(9), item("b").withBytes(8)}, {}},
        {"repeated identifier of the keeper",
         {item("k").withBytes(9).withDate(1), item("k").withBytes(9).withDate(1),
          item("x").withBytes(9).withDate(5)},
         {"x"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extraCopyIDs(c.items), c.extras) << c.why;
        VideoList reversed(c.items.rbegin(), c.items.rend());
        EXPECT_EQ(extraCopyIDs(reversed), c.extras) << c.why << " (reversed input)";
    }
}

TEST(Statistics, CoverTheLibraryAndOnlySelectedVideosItHas) {
    const VideoList library = {item("a").withBytes(10), item("b").withSize(SizeState::unavailable()),
                               item("c").withSize(SizeState::failed()), item("d").withBytes(5)};
    EXPECT_EQ(libraryStats(library, 2), (LibraryStats{4, 2, 15, 2}));

    const auto lookup = [&](const QString& id) -> const VideoItem* {
        for (const VideoItem& video : library)
            if (video.id() == id) return &video;
        return nullptr;
    };
    EXPECT_EQ(selectionStats({"a", "b", "gone"}, lookup), (SelectionStats{2, 10, 1}));
    EXPECT_EQ(selectionStats({}, lookup), SelectionStats{});
}
