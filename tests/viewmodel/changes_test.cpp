#include <thread>

#include "view_model_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

// Notifications come from a port thread, never the main one.
void notifyFromAnotherThread(SimulatedLibrary& library, const LibraryChange& change = {}) {
    std::thread notifier([&library, change] { library.notifyChange(change); });
    notifier.join();
}

}  // namespace

TEST_F(ViewModelTest, OutsideDeletionsDropRowsAndRaiseTheBanner) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20), fastVideo("c", 10)});
    startAndScan();
    viewModel->setSelectedIDs({"a", "b"});

    // Nothing vanished: only the banner.
    const QString before = status();
    notifyFromAnotherThread(*library);
    ASSERT_TRUE(waitUntil([&] { return viewModel->hasExternalChanges(); }));
    EXPECT_EQ(status(), before);

    library->removeAsset("a");
    notifyFromAnotherThread(*library);
    ASSERT_TRUE(waitUntil([&] { return viewModel->items().size() == 2; }));
    EXPECT_EQ(status(), "1 video no longer in your video folders.");
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>({"b"}));
    EXPECT_TRUE(viewModel->hasExternalChanges());

    scan();  // the banner's button
    EXPECT_FALSE(viewModel->hasExternalChanges());
}

TEST_F(ViewModelTest, OwnChangesAreIgnoredForTwoSecondsOnTheMonotonicClock) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20)});
    startAndScan();
    viewModel->toggleFavorites({viewModel->items().first()});
    ASSERT_TRUE(waitForAction());

    library->removeAsset("b");
    notifyFromAnotherThread(*library);
    reelkeep::testing::pumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(viewModel->items().size(), 2);
    EXPECT_FALSE(viewModel->hasExternalChanges());

    clock->advance(std::chrono::milliseconds(1999));
    notifyFromAnotherThread(*library);
    reelkeep::testing::pumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_FALSE(viewModel->hasExternalChanges());

    clock->advance(std::chrono::milliseconds(1));  // exactly at the end: handled
    notifyFromAnotherThread(*library);
    ASSERT_TRUE(waitUntil([&] { return viewModel->items().size() == 1; }));
    EXPECT_EQ(status(), "1 video no longer in your video folders.");
}

TEST_F(ViewModelTest, NotificationsDuringAScanOrAfterStopDoNothing) {
    QList<SimulatedAsset> assets;
    for (int i = 0; i < 600; ++i) assets << fastVideo(QStringLiteral("v%1").arg(i), 100 + i);
    library->addAssets(assets);
    library->setLatency(SimulatedCall::fetchAssets, std::chrono::milliseconds(10));
    viewModel->start();
    notifyFromAnotherThread(*library);
    ASSERT_TRUE(waitUntil([&] { return !viewModel->isScanning(); }));
    EXPECT_FALSE(viewModel->hasExternalChanges());

    viewModel->stop();
    library->removeAsset("v1");
    notifyFromAnotherThread(*library);
    reelkeep::testing::pumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(viewModel->items().size(), 600);
}

namespace reelkeep {
// Installs a list as a scan would, so a test can hold repeated identifiers.
struct ViewModelInternals {
    static void install(VideoListViewModel& viewModel, VideoList items) {
        viewModel.replaceItems(std::move(items));
    }
};
}  // namespace reelkeep

TEST_F(ViewModelTest, RemovedCountsVideosNotDistinctIdentifiers) {
    library->addAssets({fastVideo("dup", 30), fastVideo("gone", 20)});
    startAndScan();
    const VideoItem dup =
        viewModel->items()[0].localIdentifier() == "dup" ? viewModel->items()[0] : viewModel->items()[1];
    const VideoItem gone =
        viewModel->items()[0].localIdentifier() == "gone" ? viewModel->items()[0] : viewModel->items()[1];
    ViewModelInternals::install(*viewModel, {dup, dup, gone});

    library->removeAsset("gone");
    notifyFromAnotherThread(*library);
    ASSERT_TRUE(waitUntil([&] { return viewModel->items().size() == 2; }));
    // Three rows, two distinct identifiers, one vanished: one video was removed.
    EXPECT_EQ(status(), "1 video no longer in your video folders.");
}

TEST_F(ViewModelTest, AFewOutsideChangesUpdateTheListInPlaceWithoutTheBanner) {
    library->addAssets({fastVideo("edited", 30), fastVideo("gone", 20), fastVideo("kept", 10)});
    startAndScan();
    viewModel->setSelectedIDs({"edited", "gone"});

    library->addAssets({fastVideo("edited", 300), fastVideo("new", 40)});  // the same name, new content
    library->removeAsset("gone");
    notifyFromAnotherThread(*library, LibraryChange{QStringList{"edited", "new", "gone"}});
    ASSERT_TRUE(waitUntil([&] { return viewModel->itemWithID("new") != nullptr; }));
    EXPECT_EQ(viewModel->itemWithID("edited")->sizeState().byteCount(), 300);
    EXPECT_EQ(viewModel->itemWithID("gone"), nullptr);
    EXPECT_EQ(visibleIDs(), QStringList({"edited", "new", "kept"}));
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>({"edited"}));  // the edited row stays selected
    EXPECT_EQ(status(), "Updated from your video folders: 1 added, 1 changed, 1 removed.");
    EXPECT_FALSE(viewModel->hasExternalChanges());

    // Too many to read one by one, or the port cannot tell: the banner offers a rescan.
    QStringList many;
    for (qsizetype i = 0; i <= VideoListViewModel::kDirectChangeLimit; ++i)
        many << QStringLiteral("x%1").arg(i);
    notifyFromAnotherThread(*library, LibraryChange{many});
    ASSERT_TRUE(waitUntil([&] { return viewModel->hasExternalChanges(); }));
}
