// actions_test.cpp: the view model's item actions over the simulated library:
// only what really moved leaves the list, partial results are said, one at a time.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "view_model_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

PlatformError diskError(const QString& text) {
    return PlatformError{"test", 5, text};
}

}  // namespace

TEST_F(ViewModelTest, DeletionRemovesOnlyWhatReallyMoved) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20), fastVideo("c", 10)});
    startAndScan();
    library->setDeletionScript(DeletionScript{std::nullopt, {{"c", diskError("c is on a read-only disk")}}});

    viewModel->setSelectedIDs({"a", "b", "c"});
    viewModel->requestDeletion(viewModel->selectedItems());
    EXPECT_TRUE(viewModel->showDeleteConfirmation());
    // The selection changes while the dialog is up: the request's items still go.
    viewModel->setSelectedIDs({"a", "b", "c"});
    viewModel->confirmDeletion();
    EXPECT_FALSE(viewModel->showDeleteConfirmation());
    EXPECT_EQ(status(), "Moving 3 videos to the Trash…");
    ASSERT_TRUE(waitForAction());

    EXPECT_EQ(status(), "Moved 2 videos to the Trash.");
    EXPECT_EQ(visibleIDs(), QStringList({"c"}));
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>({"c"}));
    // A partial move never looks complete.
    EXPECT_EQ(viewModel->errorMessage(), "c is on a read-only disk");
}

TEST_F(ViewModelTest, DeletionFailuresAndCancelsChangeNoRows) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20)});
    startAndScan();

    library->setDeletionScript(DeletionScript{diskError("No room in the trash"), {}});
    ASSERT_TRUE(trash(viewModel->items()));
    EXPECT_EQ(status(), "Moving to the Trash failed.");
    EXPECT_EQ(viewModel->errorMessage(), "No room in the trash");
    EXPECT_EQ(viewModel->items().size(), 2);

    viewModel->clearErrorMessage();
    library->setDeletionScript(DeletionScript{PlatformError{"any", 3072, "cancelled"}, {}});
    ASSERT_TRUE(trash(viewModel->items()));
    EXPECT_EQ(status(), "Moving to the Trash was cancelled.");
    EXPECT_FALSE(viewModel->errorMessage().has_value());
    EXPECT_EQ(viewModel->items().size(), 2);

    // Dismissed and confirmed later: the pending identifiers win over the selection.
    library->setDeletionScript({});
    viewModel->requestDeletion({viewModel->items().first()});
    viewModel->setShowDeleteConfirmation(false);
    viewModel->setSelectedIDs({"a", "b"});
    viewModel->confirmDeletion();
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(status(), "Moved 1 video to the Trash.");
    EXPECT_EQ(viewModel->items().size(), 1);
}

TEST_F(ViewModelTest, UndoMoveToTrashRetriesAFailedRequestAndRelistsWhatCameBack) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20), fastVideo("c", 10)});
    startAndScan();
    ASSERT_TRUE(trash(viewModel->itemsFor({"a", "b"})));
    ASSERT_TRUE(viewModel->canUndoMoveToTrash());

    // The whole request fails: nothing came back, so the same undo is offered again.
    library->setRestoreScript(RestoreScript{diskError("The trash cannot be read"), {}});
    viewModel->undoMoveToTrash();
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(viewModel->errorMessage(), "The trash cannot be read");
    EXPECT_EQ(visibleIDs(), QStringList({"c"}));
    ASSERT_TRUE(viewModel->canUndoMoveToTrash());

    viewModel->clearErrorMessage();
    library->setRestoreScript(RestoreScript{std::nullopt, {{"b", diskError("“b.mov” stays in the Trash")}}});
    viewModel->undoMoveToTrash();
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(visibleIDs(), QStringList({"a", "c"}));
    EXPECT_EQ(viewModel->errorMessage(), "“b.mov” stays in the Trash");
    EXPECT_EQ(status(), "Put back 1 video from the Trash.");
    EXPECT_FALSE(viewModel->canUndoMoveToTrash());
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 1);
}

TEST_F(ViewModelTest, FavoritesToggleAsAGroup) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20)});
    startAndScan();
    const VideoList mixed = {viewModel->items()[0], viewModel->items()[1].replacingFavorite(true)};
    viewModel->toggleFavorites(mixed);
    EXPECT_EQ(status(), "Adding 2 videos to Favorites…");
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(status(), "Added 2 videos to Favorites.");
    EXPECT_FALSE(VideoListViewModel::containsNonFavorite(viewModel->items()));

    viewModel->toggleFavorites({viewModel->items().first()});
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(status(), "Removed 1 video from Favorites.");

    library->setFavoriteScript(FavoriteScript{diskError("The favorites store is read-only"), false});
    const VideoList before = viewModel->items();
    viewModel->toggleFavorites(viewModel->items());
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(status(), "Favorite update failed.");
    EXPECT_EQ(viewModel->errorMessage(), "The favorites store is read-only");
    EXPECT_EQ(viewModel->items(), before);
}

TEST_F(ViewModelTest, ExportsPickFreeNamesAndReportPartialResults) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile existing(QDir(folder.path()).filePath("clip.mov"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    library->addAssets({fastVideo("a", 30, 1.6e9, "clip.mov"), fastVideo("b", 20, 1.6e9, "clip.mov"),
                        fastVideo("c", 10, 1.6e9, "../../evil\nname.mov")});
    startAndScan();

    panels->folderAnswer.reset();
    viewModel->download(viewModel->items());
    EXPECT_FALSE(viewModel->isPerformingItemAction());  // cancelled panel: nothing happens
    EXPECT_EQ(status(), "3 videos, size known for 3.");

    panels->folderAnswer = folder.path();
    statuses.clear();
    viewModel->download(viewModel->items());
    EXPECT_EQ(panels->folderPrompts.last(), "Export Copies");
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(statuses, QStringList({"Exporting 3 videos…", "Exporting 1 of 3…", "Exporting 2 of 3…",
                                     "Exporting 3 of 3…", "Exported 3 copies to " + folder.path() + "."}));
    QStringList written = QDir(folder.path()).entryList(QDir::Files);
    written.sort();
    EXPECT_EQ(written, QStringList({"clip (2).mov", "clip (3).mov", "clip.mov", "evil_name.mov"}));
    EXPECT_EQ(viewModel->exportedPaths().size(), 3);

    // One video: the panel opens in the last export folder on a free name, and a
    // name typed over an existing file becomes the next free one, never a replacement.
    panels->saveAnswer = QDir(folder.path()).filePath("clip.mov");
    viewModel->download({viewModel->items().first()});
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(panels->openedFolders.last(), folder.path());
    EXPECT_EQ(panels->suggestedNames.last(), "clip (4).mov");
    const QString copy = QDir(folder.path()).filePath("clip (4).mov");
    EXPECT_EQ(viewModel->exportedPaths(), QList<QByteArray>{QFile::encodeName(copy)});
    EXPECT_EQ(status(), "Exported a copy to " + copy + ".");
    QFile original(QDir(folder.path()).filePath("clip.mov"));
    EXPECT_EQ(original.size(), 0);  // untouched

    library->setWriteError(diskError("No space left on device"));
    panels->saveAnswer = QDir(folder.path()).filePath("single.mov");
    viewModel->download({viewModel->items().first()});
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(status(), "Exported 0 of 1 video.");
    EXPECT_EQ(viewModel->errorMessage(), "No space left on device");
}

TEST_F(ViewModelTest, CopiedNamesTakeOneLineEachInTheOrderShown) {
    library->addAssets({fastVideo("a", 30, 1.6e9, "Beach.mov"), fastVideo("b", 20, 1.6e9, "two\nlines.mp4")});
    for (int i = 0; i < 30; ++i) library->addAssets({fastVideo(QString("n%1").arg(i), 10 - i % 7, 1.6e9)});
    startAndScan();
    viewModel->copyNames({viewModel->items()[0]});
    EXPECT_EQ(pasteboard->text, "Beach.mov");
    EXPECT_EQ(status(), "Copied Beach.mov.");
    viewModel->copyNames({viewModel->items()[0], viewModel->items()[1]});
    EXPECT_EQ(pasteboard->text, "Beach.mov\ntwo lines.mp4");  // one line per name, always
    EXPECT_EQ(status(), "Copied 2 names.");

    // A selection is a set; what it copies follows the rows as the table shows them.
    viewModel->selectAllVisible();
    QStringList shown;
    for (const VideoItem& item : viewModel->visibleItems()) shown.append(item.displayName());
    viewModel->copyNames(viewModel->selectedItems());
    EXPECT_EQ(pasteboard->text, shown.join('\n').replace("two\nlines", "two lines"));
}

TEST_F(ViewModelTest, ShowInFileManagerOpensOnlyTheFileTheScanSaw) {
    SimulatedAsset here = fastVideo("here", 30);
    here.localFilePath = QStringLiteral("/videos/here.mov");
    SimulatedAsset replaced = fastVideo("replaced", 20);
    replaced.localFilePath = QStringLiteral("/videos/replaced.mov");
    replaced.isFileReplaced = true;
    library->addAssets({here, replaced, fastVideo("cloudOnly", 10)});
    startAndScan();
    viewModel->showInFolder(viewModel->items()[0]);
    ASSERT_TRUE(waitUntil([&] { return !workspace->shownPaths.isEmpty(); }));
    EXPECT_EQ(workspace->shownPaths, QList<QByteArray>{"/videos/here.mov"});
    // Doing nothing would look like a broken command: a file that changed or
    // never was local says why, and nothing else is opened.
    for (int row : {1, 2}) {
        viewModel->clearErrorMessage();
        viewModel->showInFolder(viewModel->items()[row]);
        ASSERT_TRUE(waitUntil([&] { return viewModel->errorMessage().has_value(); }));
        EXPECT_EQ(viewModel->errorMessage(),
                  "This video's file was moved, renamed or changed since the scan.");
    }
    EXPECT_EQ(workspace->shownPaths.size(), 1);
}

TEST_F(ViewModelTest, OneThingAtATime) {
    library->addAssets({fastVideo("a", 30), fastVideo("b", 20)});
    startAndScan();
    library->setLatency(SimulatedCall::setFavorite, std::chrono::milliseconds(100));
    viewModel->toggleFavorites(viewModel->items());
    ASSERT_TRUE(viewModel->isPerformingItemAction());
    const QString during = status();
    viewModel->rescan();
    viewModel->requestDeletion(viewModel->items());
    viewModel->toggleFavorites(viewModel->items());
    EXPECT_EQ(status(), during);
    EXPECT_FALSE(viewModel->isScanning());
    EXPECT_FALSE(viewModel->showDeleteConfirmation());
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(library->callCount(SimulatedCall::setFavorite), 1);
}

TEST_F(ViewModelTest, DyingMidActionCancelsThePortRequest) {
    library->addAssets({fastVideo("a", 30)});
    startAndScan();
    library->setHoldsChanges(true);
    viewModel->requestDeletion(viewModel->items());
    viewModel->confirmDeletion();
    ASSERT_TRUE(waitUntil([&] { return library->callCount(SimulatedCall::deleteAssets) == 1; }));
    viewModel.reset();  // ASan catches any late touch of the dead view model
    EXPECT_TRUE(waitUntil([&] { return library->callCount(SimulatedCall::cancelChange) == 1; }));
    library->releaseHeldChanges();
    reelkeep::testing::pumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(library->assetCount(), 1);  // stopped while held: nothing moved
}
