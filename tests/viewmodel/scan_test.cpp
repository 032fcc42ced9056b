// scan_test.cpp: the view model's scan, from access to the last batch, its
// statuses and report, and every way it ends early.
#include "view_model_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

TEST_F(ViewModelTest, FullScanWalksEveryStageAndLogsOneReport) {
    library->addAssets(numberedVideos(450));
    startAndScan();

    EXPECT_EQ(statuses,
              QStringList({"Checking your video folders…", "Counting videos…", "Counting videos… 450 found",
                           "Loaded 200 of 450 videos.", "Loaded 400 of 450 videos.",
                           "Loaded 450 of 450 videos.", "450 videos, size known for 450."}));
    EXPECT_EQ(viewModel->items().size(), 450);
    EXPECT_EQ(viewModel->visibleItems().first().localIdentifier(), "v449");  // biggest first
    EXPECT_EQ(viewModel->stats(), (LibraryStats{450, 450, 450 * 1000 + 449 * 450 / 2, 0}));
    EXPECT_EQ(viewModel->scanCompletedCount(), 450);
    EXPECT_EQ(viewModel->scanTotalCount(), 450);
    EXPECT_FALSE(viewModel->scanProgress().has_value());
    EXPECT_EQ(viewModel->authorizationStatus(), AuthorizationStatus::authorized);
    ASSERT_EQ(scanLog->reports.size(), 1);
    EXPECT_EQ(scanLog->reports.first().count(QLatin1Char('\n')), 4);  // five lines
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 1);
}

TEST_F(ViewModelTest, EarlyRowsShowWhileCountingAndOnlyTheScannedOnesStay) {
    library->addAssets(numberedVideos(3));
    library->addAsset(fastVideo("gone", 5000));
    library->setEarlyAssets({"v000", "gone", "v002", "v000"});
    library->setLatency(SimulatedCall::fetchVideos, std::chrono::milliseconds(300));
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return viewModel->items().size() == 3; }));
    EXPECT_TRUE(viewModel->isScanning());
    EXPECT_EQ(status(), "Counting videos…");
    EXPECT_EQ(visibleIDs(), QStringList({"gone", "v002", "v000"}));
    viewModel->setSelectedIDs({"v002"});
    ASSERT_TRUE(library->removeAsset("gone"));  // before the fetch takes its snapshot
    ASSERT_TRUE(waitUntil([&] { return isIdle(); }));
    EXPECT_EQ(visibleIDs(), QStringList({"v002", "v001", "v000"}));
    EXPECT_EQ(viewModel->stats(), (LibraryStats{3, 3, 3003, 0}));
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>{"v002"});

    // A scan stopped while counting leaves none of them behind.
    library->setLatency(SimulatedCall::fetchVideos, std::chrono::seconds(30));
    viewModel->rescan();
    ASSERT_TRUE(waitUntil([&] { return viewModel->items().size() == 2; }));
    viewModel->cancelScan();
    ASSERT_TRUE(waitUntil([&] { return isIdle(); }));
    EXPECT_TRUE(viewModel->items().isEmpty());
    EXPECT_EQ(viewModel->stats(), LibraryStats{});
    EXPECT_EQ(status(), "Scan cancelled.");
}

TEST_F(ViewModelTest, SmallAndEmptyLibrariesSayItInWords) {
    startAndScan();
    EXPECT_EQ(status(), "No videos in your video folders.");
    EXPECT_TRUE(scanLog->reports.isEmpty());

    library->addAsset(fastVideo("only", 10));
    scan();
    EXPECT_EQ(status(), "1 video, size known for 1.");
    EXPECT_EQ(scanLog->reports.size(), 1);
}

TEST_F(ViewModelTest, CloudOnlyAndVanishedVideosKeepAnUnknownSize) {
    SimulatedAsset cloud = fastVideo("cloud", 0);
    cloud.members.clear();
    cloud.resources = {SimulatedResource{int(ResourceType::video), "cloud.mov", std::nullopt}};
    cloud.localFilePath.reset();
    library->addAssets({fastVideo("local", 50), cloud});
    startAndScan();
    EXPECT_EQ(status(), "2 videos, size known for 1.");
    EXPECT_EQ(viewModel->stats().unknownSizeCount, 1);
    EXPECT_EQ(viewModel->visibleItems().last().localIdentifier(), "cloud");  // unknown sizes last
}

TEST_F(ViewModelTest, RefusedAccessEndsWithoutAList) {
    for (const AuthorizationStatus answer : {AuthorizationStatus::denied, AuthorizationStatus::restricted}) {
        library->addAsset(fastVideo("v", 10));
        library->setAuthorizationStatus(AuthorizationStatus::notDetermined);
        library->setAuthorizationAnswer(answer);
        statuses.clear();
        scan();
        EXPECT_EQ(statuses, QStringList({"Checking your video folders…", "No library folder can be read."}));
        EXPECT_EQ(viewModel->authorizationStatus(), answer);
        EXPECT_TRUE(viewModel->items().isEmpty());
        EXPECT_FALSE(viewModel->errorMessage().has_value());
    }
}

TEST_F(ViewModelTest, CancellingStopsBetweenBatchesAndReportsWhatItHas) {
    library->addAssets(numberedVideos(1000));
    library->setLatency(SimulatedCall::fetchAssets, std::chrono::milliseconds(20));
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return viewModel->scanCompletedCount() >= 200; }));
    viewModel->cancelScan();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isScanning(); }));

    const QString text = status();
    EXPECT_TRUE(text == "Scan cancelled." || text.startsWith("Scan cancelled at ")) << text.toStdString();
    if (text.startsWith("Scan cancelled at ")) {
        EXPECT_EQ(text,
                  QStringLiteral("Scan cancelled at %1 of 1,000 videos.").arg(viewModel->items().size()));
    }
    EXPECT_LT(viewModel->items().size(), 1000);
    EXPECT_EQ(scanLog->reports.size(), 1);  // a cancelled scan still reports its timings
}

TEST_F(ViewModelTest, StartTwiceRegistersOnceAndScansOnce) {
    library->addAssets(numberedVideos(3));
    viewModel->start();
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isScanning(); }));
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 1);
    EXPECT_EQ(statuses.count("Counting videos…"), 1);
}

TEST_F(ViewModelTest, DyingMidScanLeavesNothingBehind) {
    library->addAssets(numberedVideos(2000));
    library->setLatency(SimulatedCall::fetchAssets, std::chrono::milliseconds(5));
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return viewModel->scanCompletedCount() >= 200; }));
    viewModel.reset();  // ASan catches any late touch of the dead view model
    reelkeep::testing::pumpUntil([] { return false; }, std::chrono::milliseconds(200));
    SUCCEED();
}

TEST_F(ViewModelTest, AServiceErrorFailsTheScanWithAnAlert) {
    library->addAssets(numberedVideos(3));
    // Access is withdrawn right after it was granted, before the count.
    QObject::connect(viewModel.get(), &VideoListViewModel::statusChanged, viewModel.get(), [&] {
        if (status() == "Counting videos…") library->setAuthorizationStatus(AuthorizationStatus::denied);
    });
    startAndScan();
    EXPECT_EQ(status(), "Scan failed.");
    EXPECT_EQ(viewModel->errorMessage(), "No library folder can be read.");
    EXPECT_TRUE(viewModel->items().isEmpty());
    EXPECT_TRUE(scanLog->reports.isEmpty());  // a failed scan's timings are dropped
}

TEST_F(ViewModelTest, StopWhileCountingEndsTheWalkAtOnce) {
    library->addAssets(numberedVideos(5));
    library->setLatency(SimulatedCall::fetchVideos, std::chrono::seconds(30));  // a slow disk
    viewModel->start();
    ASSERT_TRUE(waitUntil([&] { return status() == "Counting videos…"; }));
    viewModel->cancelScan();
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isScanning(); }));
    EXPECT_EQ(status(), "Scan cancelled.");
    EXPECT_TRUE(viewModel->items().isEmpty());
}
