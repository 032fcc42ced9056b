// derived_list_test.cpp: the rows the view model derives from sort, filters,
// sidebar and copy checks, and how installations reset what lost its videos.
#include "view_model_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

// Mid-month dates in New York.
constexpr Timestamp kMarch2024 = 1710500000.0;
constexpr Timestamp kJuly2024 = 1721000000.0;
constexpr Timestamp kMarch2023 = 1678900000.0;

}  // namespace

TEST_F(ViewModelTest, SortAndFilterInputsRecomputeTheRows) {
    library->addAssets(
        {fastVideo("a", 300, kMarch2024, "Beach.mov"), fastVideo("b", 100, kJuly2024, "Clip 10.mov"),
         fastVideo("c", 200, kMarch2023, "clip 9.mov"), fastVideo("d", 300, kMarch2024, "Dog.mov")});
    startAndScan();
    EXPECT_EQ(visibleIDs(), QStringList({"a", "d", "c", "b"}));
    const int identity = viewModel->rowSetIdentity();

    viewModel->setSortOrder(VideoSortOrder::nameAsc);
    EXPECT_EQ(visibleIDs(), QStringList({"a", "c", "b", "d"}));
    EXPECT_EQ(viewModel->tableSortOrder(),
              QList<VideoTableSortComparator>{tableComparator(VideoSortOrder::nameAsc)});
    EXPECT_EQ(viewModel->rowSetIdentity(), identity + 1);

    // The table writes a list led by its new comparator; the order follows it.
    viewModel->setTableSortOrder(
        {{VideoSortColumn::creationDate, SortOrder::reverse}, {VideoSortColumn::name, SortOrder::forward}});
    EXPECT_EQ(viewModel->sortOrder(), VideoSortOrder::creationDateDesc);
    EXPECT_EQ(viewModel->tableSortOrder().size(), 1);
    viewModel->setTableSortOrder({});
    EXPECT_EQ(viewModel->sortOrder(), VideoSortOrder::creationDateDesc);

    viewModel->setSearchText(QStringLiteral("CLIP"));
    EXPECT_EQ(visibleIDs(), QStringList({"b", "c"}));
    EXPECT_EQ(viewModel->stats().visibleCount, 2);
    const int beforeSpace = viewModel->rowSetIdentity();
    viewModel->setSearchText(QStringLiteral("CLIP"));
    EXPECT_EQ(viewModel->rowSetIdentity(), beforeSpace);  // same text: nothing recomputed
    viewModel->clearFilters();
    viewModel->setSearchText(QStringLiteral(" "));
    EXPECT_EQ(viewModel->rowSetIdentity(), beforeSpace + 2);
    EXPECT_FALSE(viewModel->hasActiveFilters());
    viewModel->setSearchText(QStringLiteral("\n"));
    EXPECT_TRUE(viewModel->hasActiveFilters());  // only horizontal space is ignored here
    viewModel->setSearchText({});

    viewModel->setSizeFilter(SizeFilter::atLeast100MB);
    EXPECT_TRUE(visibleIDs().isEmpty());
    EXPECT_EQ(viewModel->stats().totalCount, 4);  // the library stays whole
    viewModel->clearFilters();
    EXPECT_EQ(visibleIDs().size(), 4);
}

TEST_F(ViewModelTest, SidebarBrowsingAndDuplicatesMode) {
    library->addAssets({fastVideo("a", 300, kMarch2024), fastVideo("b", 100, kJuly2024),
                        fastVideo("c", 300, kMarch2023), fastVideo("d", 50, kMarch2024)});
    startAndScan();
    EXPECT_EQ(viewModel->yearBuckets().size(), 2);  // what a bucket holds is the model's test

    // Years and months narrow the rows in the window's sidebar test; a month keeps its year open.
    viewModel->selectYear(2024);
    viewModel->selectMonth(2024, 3);
    EXPECT_EQ(visibleIDs(), QStringList({"a", "d"}));
    EXPECT_EQ(viewModel->expandedYear(), 2024);
    viewModel->showAllDates();
    EXPECT_FALSE(viewModel->expandedYear().has_value());

    viewModel->setSortOrder(VideoSortOrder::nameAsc);
    viewModel->selectExtraCopies();
    EXPECT_TRUE(viewModel->showsDuplicates());
    EXPECT_EQ(viewModel->sortOrder(), VideoSortOrder::sizeDesc);
    EXPECT_TRUE(visibleIDs().isEmpty());  // a and c share a size, not their bytes
    EXPECT_TRUE(viewModel->selectedIDs().isEmpty());

    viewModel->setSortOrder(VideoSortOrder::sizeAsc);
    viewModel->showDuplicates();
    EXPECT_EQ(viewModel->sortOrder(), VideoSortOrder::sizeAsc);  // already by size: kept
}

TEST_F(ViewModelTest, SelectExtraCopiesWaitsForTheCheckAndTakesOnlyVerifiedCopies) {
    auto copy = [](const char* id, Timestamp date, const char* tag) {
        SimulatedAsset asset = fastVideo(id, 300, date);
        asset.contentTag = tag;
        return asset;
    };
    SimulatedAsset linked = copy("linked", kJuly2024, "x");
    linked.hardLinksOutside = 1;
    library->addAssets({copy("new", kJuly2024, "x"), copy("old", kMarch2023, "x"), linked,
                        copy("other", kMarch2024, "y"), fastVideo("lone", 100)});
    library->setCopyCheckScript({{}, true});
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isScanning(); }));
    EXPECT_TRUE(viewModel->isCheckingCopies());

    viewModel->selectExtraCopies();
    EXPECT_TRUE(viewModel->selectedIDs().isEmpty());
    EXPECT_EQ(viewModel->status().text(),
              "Checking copies… Extra copies will be selected when the check is done.");
    library->releaseHeldCopyChecks();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isCheckingCopies(); }));
    EXPECT_TRUE(viewModel->showsIdenticalCopies());
    EXPECT_EQ(visibleIDs().size(), 3);  // "other" has the size, not the bytes
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>({"new", "linked"}));
    EXPECT_EQ(viewModel->duplicates().copies.keptIDs, QSet<QString>({"old"}));
    // The hard-linked copy frees nothing, here and in the sidebar's figure.
    EXPECT_EQ(viewModel->selectionStats().freeableBytes, 300);
    EXPECT_EQ(viewModel->duplicates().copies.reclaimableBytes, 300);
    EXPECT_EQ(viewModel->duplicates().reclaimableBytes, 900);  // "Same size" stays as it was

    // A rescan stops a check in flight; what it left is never taken for verified.
    library->setCopyCheckScript({{}, true});
    viewModel->rescan();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isScanning() && viewModel->isCheckingCopies(); }));
    viewModel->cancelScan();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isCheckingCopies(); }));
    viewModel->selectExtraCopies();
    EXPECT_TRUE(viewModel->selectedIDs().isEmpty());
    EXPECT_EQ(viewModel->status().text(), "Extra copies selected among those verified so far: 0.");
}

TEST_F(ViewModelTest, InstallationsResetFiltersThatLostTheirVideos) {
    library->addAssets(
        {fastVideo("a", 300, kMarch2024), fastVideo("b", 300, kMarch2023), fastVideo("c", 5, kMarch2023)});
    startAndScan();

    viewModel->showDuplicates();
    EXPECT_EQ(visibleIDs(), QStringList({"a", "b"}));
    int identity = viewModel->rowSetIdentity();
    ASSERT_TRUE(trash(viewModel->itemsFor({"a"})));
    EXPECT_FALSE(viewModel->showsDuplicates());  // the last pair is gone
    EXPECT_EQ(viewModel->rowSetIdentity(), identity + 1);
    EXPECT_EQ(visibleIDs(), QStringList({"b", "c"}));

    viewModel->selectYear(2023);
    identity = viewModel->rowSetIdentity();
    ASSERT_TRUE(trash(viewModel->itemsFor({"b", "c"})));
    EXPECT_FALSE(viewModel->expandedYear().has_value());
    EXPECT_EQ(viewModel->dateFilter(), DateFilter::all());
    EXPECT_EQ(viewModel->rowSetIdentity(), identity + 1);

    viewModel->setSelectedIDs({"gone"});
    EXPECT_EQ(viewModel->selectionStats(), SelectionStats{});
    EXPECT_TRUE(viewModel->selectedIDs().isEmpty());  // no row shows it, so no command may act on it
}

TEST_F(ViewModelTest, SimilarVideosAreComparedAfterTheScanGroupedAndOnlySeenLesserVersionsSelected) {
    auto look = [](const char* id, std::int64_t bytes, std::int64_t width, const char* tag) {
        SimulatedAsset asset = fastVideo(id, bytes, kMarch2024);
        asset.pixelWidth = width;
        asset.pixelHeight = width * 9 / 16;
        asset.visualTag = tag;
        return asset;
    };
    SimulatedAsset favorite = look("fav", 50, 1280, "beach");
    favorite.isFavorite = true;
    library->addAssets({look("small", 100, 1920, "beach"), look("big", 400, 3840, "beach"), favorite,
                        look("dog2", 20, 1280, "dog"), look("dog1", 30, 1920, "dog"),
                        look("lone", 70, 1920, "")});
    viewModel->setChecksSimilarAfterScan(true);
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return isIdle() && !viewModel->isCheckingSimilar(); }));
    EXPECT_TRUE(statuses.contains("Comparing videos… 6 of 6"));
    EXPECT_EQ(viewModel->similar().setCount, 2);
    EXPECT_EQ(viewModel->similar().reclaimableBytes, 120);  // the favorite stays
    EXPECT_EQ(viewModel->similar().bestIDs, QSet<QString>({"big", "dog1"}));

    // Outside the view nothing is chosen: the sets are shown first.
    viewModel->selectLesserVersions();
    EXPECT_TRUE(viewModel->showsSimilarVideos());
    EXPECT_TRUE(viewModel->selectedIDs().isEmpty());
    EXPECT_EQ(visibleIDs(), QStringList({"big", "small", "fav", "dog1", "dog2"}));

    // A set whose best version a filter hides is not the user's to thin out.
    viewModel->setSearchText(QStringLiteral("dog2"));
    viewModel->selectLesserVersions();
    EXPECT_TRUE(viewModel->selectedIDs().isEmpty());
    viewModel->setSearchText({});
    viewModel->selectLesserVersions();
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>({"small", "dog2"}));
    EXPECT_EQ(status(), "Lesser versions selected: 2.");

    ASSERT_TRUE(trash(viewModel->selectedItems()));
    EXPECT_EQ(visibleIDs(), QStringList({"big", "fav"}));  // the dog set is gone with its pair
    EXPECT_EQ(viewModel->similar().setCount, 1);

    // A stop leaves no half-compared sets, and the view falls back to the whole list.
    library->setSimilarityScript({{}, true});
    viewModel->rescan();
    ASSERT_TRUE(waitUntil([&] { return isIdle() && viewModel->isCheckingSimilar(); }));
    viewModel->cancelScan();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isCheckingSimilar(); }));
    EXPECT_EQ(status(), "Comparing videos stopped.");
    EXPECT_TRUE(viewModel->similarSets().isEmpty());
    EXPECT_FALSE(viewModel->showsSimilarVideos());
}
