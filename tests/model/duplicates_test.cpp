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

TEST(CopySuffix, OnlyTheKnownCopyMarksBeforeTheExtension) {
    const struct {
        const char* name;
        bool isCopy;
    } cases[] = {
        {"VID_20240101_120000 (1).mp4", true},
        {"clip (12).mov", true},
        {"clip copy.mp4", true},
        {"clip Copy 2.mp4", true},
        {"clip-1.mp4", true},
        {"clip_1.mkv", true},
        {"clip (1)", true},
        {"VID_20240101_120000.mp4", false},
        {"IMG_0001.mov", false},
        {"clip_11.mp4", false},
        {"clip (1) final.mp4", false},
        {"copy.mp4", false},
        {"_1.mp4", false},
        {"clip (a).mp4", false},
        {"clip.copy.mp4", false},
    };
    for (const auto& c : cases) EXPECT_EQ(hasCopySuffix(QString::fromUtf8(c.name)), c.isCopy) << c.name;
}

TEST(KeepRule, FavoriteThenEarliestDateThenNoSuffixThenShortestPathThenSmallestIdentifier) {
    using K = KeepCandidate;
    const struct {
        const char* why;
        std::vector<K> candidates;
        QString kept;
        KeepReason reason;
    } cases[] = {
        {"favorite beats older",
         {{"old", "/v/old.mp4", false, 100}, {"fav", "/v/fav.mp4", true, 200}},
         "fav",
         KeepReason::favorite},
        {"older of two favorites",
         {{"f2", "/v/f2.mp4", true, 200}, {"f1", "/v/f1.mp4", true, 100}},
         "f1",
         KeepReason::earliestDate},
        {"a dated copy beats an undated one",
         {{"u", "/v/u.mp4", false, kDistantPast}, {"d", "/v/d.mp4", false, 500}},
         "d",
         KeepReason::earliestDate},
        {"the original, not its (1)",
         {{"b", "/v/VID_1200 (1).mp4", false, 100}, {"a", "/v/VID_1200.mp4", false, 100}},
         "a",
         KeepReason::noCopySuffix},
        {"suffix before shorter path",
         {{"a", "/v/x copy.mp4", false, 100}, {"b", "/v/deeper/x.mp4", false, 100}},
         "b",
         KeepReason::noCopySuffix},
        {"shortest path",
         {{"a", "/v/deeper/x.mp4", false, 100}, {"b", "/v/x.mp4", false, 100}},
         "b",
         KeepReason::shortestPath},
        {"smallest identifier",
         {{"m", "/v/b.mp4", false, 100}, {"k", "/v/a.mp4", false, 100}},
         "k",
         KeepReason::smallestIdentifier},
    };
    for (const auto& c : cases) {
        for (bool reversed : {false, true}) {
            std::vector<K> candidates = c.candidates;
            if (reversed) std::reverse(candidates.begin(), candidates.end());
            const KeepChoice choice = chooseKeeper(candidates);
            EXPECT_EQ(candidates[std::size_t(choice.index)].localIdentifier, c.kept) << c.why;
            EXPECT_EQ(choice.reason, c.reason) << c.why;
        }
    }
}

TEST(IdenticalSubsets, EqualDigestsGroupAndUnverifiedFilesStandAlone) {
    using D = std::optional<QByteArray>;
    const std::vector<D> digests = {D("x"),       D("y"), std::nullopt, D("x"),
                                    std::nullopt, D("z"), D("y"),       D("x")};
    EXPECT_EQ(identicalSubsets(digests), (std::vector<std::vector<std::size_t>>{{0, 3, 7}, {1, 6}}));
    EXPECT_TRUE(identicalSubsets(std::vector<D>{std::nullopt, std::nullopt}).empty());
}

TEST(VerifiedCopies, OnlyVerifiedExtrasAreSelectedAndOnlyFreeableBytesCount) {
    const auto member = [](const char* id, std::int64_t unshared, int outside = 0) {
        return CopyMember{id, QStringLiteral("/v/%1.mp4").arg(id), outside, unshared, unshared < 9};
    };
    CopyCheck check;
    // a, b, c verified identical; d the same size with other bytes; h hard-linked outside; s reflinked.
    check.sets = {CopySet{9, {member("a", 9), member("b", 9), member("h", 9, 1), member("s", 4)}}};
    const VideoList items = {item("a").withBytes(9).withDate(100), item("b").withBytes(9).withDate(50),
                             item("h").withBytes(9).withDate(300), item("s").withBytes(9).withDate(400),
                             item("d").withBytes(9).withDate(10)};
    EXPECT_EQ(verifiedExtraCopyIDs(check, items), QSet<QString>({"a", "h", "s"}));
    const DuplicateSummary summary = summarizeDuplicates(items, check);
    EXPECT_EQ(summary.videoCount, 5);  // "Same size" is unchanged
    EXPECT_EQ(summary.reclaimableBytes, 36);
    EXPECT_EQ(summary.copies.videoCount, 4);
    EXPECT_EQ(summary.copies.reclaimableBytes, 9 + 0 + 4);
    EXPECT_EQ(summary.copies.keptIDs, QSet<QString>({"b"}));
    EXPECT_EQ(summary.copies.setSizeByID.value("a"), 4);
    EXPECT_FALSE(summary.copies.setSizeByID.contains("d"));

    // A set with one member left in the list selects nothing.
    const VideoList lone = {item("a").withBytes(9), item("d").withBytes(9)};
    EXPECT_TRUE(verifiedExtraCopyIDs(check, lone).isEmpty());
    EXPECT_EQ(summarizeCopies(check, lone).videoCount, 0);
    EXPECT_EQ(summarizeCopies(check, lone).reclaimableBytes, 0);
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
    EXPECT_EQ(selectionStats({"a", "b", "gone"}, lookup), (SelectionStats{2, 10, 1, 10}));
    EXPECT_EQ(selectionStats({}, lookup), SelectionStats{});
}
