// folders_and_trash_test.cpp: the window's library folders, locations and the
// trash, offscreen over the simulated library: the folders dialog shows states
// and counts and saves edits (never when the folders were given for the run),
// the confirmation lists what it will move, hidden rows leave the selection,
// and Undo Move to Trash puts videos back, naming those whose place is taken.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTextDocumentFragment>
#include <QTreeWidget>

#include "model/display_text.h"
#include "ui/library_folders_dialog.h"
#include "window_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

VideoLocationRef locationIn(const QString& below) {
    return std::make_shared<VideoLocation>(
        VideoLocation{QStringLiteral("Videos/") + below, QStringLiteral("/home/me/Videos/") + below});
}

using FoldersAndTrashTest = WindowTest;

}  // namespace

TEST_F(FoldersAndTrashTest, ConfirmationListsTheVideosItWillMoveAndTheirTotal) {
    QList<SimulatedAsset> assets = numberedVideos(12);
    for (SimulatedAsset& asset : assets) asset.location = locationIn(QStringLiteral("Trip"));
    assets[11].resources.front().dataSize.reset();  // no size: counted apart from the total
    assets[11].members.clear();
    library->addAssets(assets);
    showAndScan();
    const QStringList every = rowIDs();

    struct Case {
        QSet<QString> selected;
        QStringList expectedLines;
    };
    const Case cases[] = {
        {{"v003"},
         {"v003.mov — Videos/Trip — 1 KB", "", "Total: 1 KB", "",
          "You can restore it from the Trash. Its space is freed when the Trash is emptied."}},
        {{"v003", "v001"},
         {"v003.mov — Videos/Trip — 1 KB", "v001.mov — Videos/Trip — 1 KB", "", "Total: 2 KB", "",
          "You can restore them from the Trash. Their space is freed when the Trash is emptied."}},
        {QSet<QString>(every.begin(), every.end()),
         {"v010.mov — Videos/Trip — 1 KB", "v009.mov — Videos/Trip — 1 KB", "v008.mov — Videos/Trip — 1 KB",
          "v007.mov — Videos/Trip — 1 KB", "v006.mov — Videos/Trip — 1 KB", "v005.mov — Videos/Trip — 1 KB",
          "v004.mov — Videos/Trip — 1 KB", "v003.mov — Videos/Trip — 1 KB", "v002.mov — Videos/Trip — 1 KB",
          "v001.mov — Videos/Trip — 1 KB", "and 2 more videos", "",
          "Total: 11 KB · 1 video with unknown size"}},
    };
    for (const Case& c : cases) {
        model().setSelectedIDs(c.selected);
        ASSERT_NE(askToTrash(), nullptr);
        const QStringList lines = window->deleteConfirmation()->informativeText().split('\n');
        ASSERT_GE(lines.size(), c.expectedLines.size());
        EXPECT_EQ(lines.mid(0, c.expectedLines.size()), c.expectedLines);
        answerConfirmation(false);
    }
    EXPECT_EQ(library->assetCount(), 12);
}

TEST_F(FoldersAndTrashTest, RowsHiddenBySearchLeaveTheSelectionAndEveryCommand) {
    library->addAssets(numberedVideos(5));
    showAndScan();
    model().setSelectedIDs({"v001", "v002", "v003"});
    window->searchField()->setText(QStringLiteral("v002"));

    EXPECT_EQ(model().selectedIDs(), QSet<QString>{"v002"});
    // Showing the rows again does not bring them back into the selection.
    window->searchField()->clear();
    EXPECT_EQ(model().selectedIDs(), QSet<QString>{"v002"});
    EXPECT_EQ(window->findChild<QLabel*>("selectionCount")->text(), "1 video selected");
    EXPECT_EQ(command(Command::deleteVideos)->text(), "Move to Trash");
    command(Command::copyNames)->trigger();
    EXPECT_EQ(pasteboard->text, "v002.mov");  // as the table shows it
    trashSelection();
    EXPECT_EQ(library->assetCount(), 4);
    EXPECT_TRUE(library->asset("v001") && library->asset("v003"));
}

TEST_F(FoldersAndTrashTest, UndoPutsBackTheNewestMoveFirstAndNamesWhatStaysInTheTrash) {
    library->addAssets(numberedVideos(6));
    showAndScan();
    EXPECT_FALSE(window->undoAction()->isEnabled());
    model().setSelectedIDs({"v001"});
    trashSelection();
    model().setSelectedIDs({"v002", "v003"});
    trashSelection();
    ASSERT_EQ(rowIDs(), QStringList({"v005", "v004", "v000"}));
    ASSERT_TRUE(window->undoAction()->isEnabled());
    EXPECT_EQ(window->undoAction()->shortcut(), QKeySequence(QKeySequence::Undo));

    // Something else now has v003's place: v002 comes back, v003 stays and is named.
    SimulatedAsset taker = numberedVideos(4)[3];
    library->addAsset(taker);
    window->undoAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !model().isPerformingItemAction(); }));
    EXPECT_TRUE(rowIDs().contains("v002"));
    EXPECT_FALSE(rowIDs().contains("v001"));
    ASSERT_TRUE(waitUntil([&] { return window->errorAlert() != nullptr; }));
    EXPECT_TRUE(window->errorAlert()->informativeText().contains("v003"))
        << window->errorAlert()->informativeText().toStdString();
    window->errorAlert()->reject();
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 1);  // no rescan

    // The earlier move is next.
    ASSERT_TRUE(window->undoAction()->isEnabled());
    window->undoAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !model().isPerformingItemAction() && rowIDs().contains("v001"); }));
    EXPECT_TRUE(library->asset("v001").has_value());
    EXPECT_FALSE(window->undoAction()->isEnabled());
}

TEST_F(FoldersAndTrashTest, FolderColumnSortsHidesAndTheNameTooltipIsTheFullPath) {
    QList<SimulatedAsset> assets = numberedVideos(3);
    assets[0].location = locationIn(QStringLiteral("Trip 10"));
    assets[1].location = locationIn(QStringLiteral("Trip 9"));
    assets[2].location = locationIn(QStringLiteral("<b>bold</b>"));
    library->addAssets(assets);
    showAndScan();
    const int column = VideoTableModel::FolderColumn;
    EXPECT_EQ(rows().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), "Folder");
    model().setSortOrder(VideoSortOrder::folderAsc);
    EXPECT_EQ(rowIDs(), QStringList({"v002", "v001", "v000"}));
    const QModelIndex name = rows().index(rowIDs().indexOf("v002"), VideoTableModel::NameColumn);
    EXPECT_EQ(QTextDocumentFragment::fromHtml(name.data(Qt::ToolTipRole).toString()).toPlainText(),
              "/home/me/Videos/<b>bold</b>/v002.mov");

    std::unique_ptr<QMenu> menu(window->table()->makeHeaderMenu(nullptr));
    QAction* toggle = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == "Folder") toggle = action;
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(window->table()->isColumnHidden(column));
}

TEST_F(FoldersAndTrashTest, FoldersDialogShowsStatesAndCountsAndSavesEditsThenRescans) {
    QList<SimulatedAsset> assets = numberedVideos(3);
    for (SimulatedAsset& asset : assets) asset.location = locationIn(QStringLiteral("2024"));
    library->addAssets(assets);
    library->setLibraryFolderList(
        {{LibraryFolder{"/home/me/Videos", "/home/me/Videos", LibraryFolder::State::available},
          LibraryFolder{"/run/media/me/Disk/Clips", {}, LibraryFolder::State::notMounted}},
         {},
         false});
    showAndScan();
    // The window names the folder it could not read.
    ASSERT_TRUE(waitUntil([&] { return window->folderBanner()->isVisibleTo(window.get()); }));
    EXPECT_EQ(
        window->folderBannerText()->text(),
        "The library folder “/run/media/me/Disk/Clips” is on a drive that is not mounted; it was skipped.");

    window->openLibraryFolders();
    LibraryFoldersDialog* dialog = window->libraryFoldersDialog();
    ASSERT_NE(dialog, nullptr);
    QTreeWidget* list = dialog->folderList();
    ASSERT_TRUE(waitUntil([&] { return list->topLevelItemCount() == 2; }));
    const auto row = [&](int index) {
        QTreeWidgetItem* item = list->topLevelItem(index);
        return QStringList{item->text(0), item->text(1), item->text(2)};
    };
    EXPECT_EQ(row(0), QStringList({"/home/me/Videos", "Available", "3"}));
    EXPECT_EQ(row(1), QStringList({"/run/media/me/Disk/Clips", "Not mounted", "—"}));
    EXPECT_FALSE(dialog->saveButton()->isEnabled());

    dialog->setFolderChooser([](QWidget*) { return QStringList{"/srv/films", "/home/me/Videos"}; });
    dialog->addButton()->click();  // the second is listed already
    list->topLevelItem(1)->setSelected(true);
    dialog->removeButton()->click();
    EXPECT_EQ(list->topLevelItemCount(), 2);
    ASSERT_TRUE(dialog->saveButton()->isEnabled());
    const int fetches = library->callCount(SimulatedCall::fetchVideos);
    dialog->saveButton()->click();
    ASSERT_TRUE(waitUntil(
        [&] { return library->callCount(SimulatedCall::fetchVideos) > fetches && !model().isScanning(); }));
    const LibraryFolderList saved = library->libraryFolders();
    ASSERT_EQ(saved.folders.size(), 2);
    EXPECT_EQ(saved.folders[0].path, "/home/me/Videos");
    EXPECT_EQ(saved.folders[1].path, "/srv/films");
    ASSERT_TRUE(waitUntil([&] { return window->folderBanner()->isHidden(); }));
}

TEST_F(FoldersAndTrashTest, ASampleLibrarySaysSoAndOffersTheUsersOwnFolders) {
    library->addAssets(numberedVideos(2));
    LibraryFolderList sample{
        {LibraryFolder{"/home/me/.cache/reelkeep/sample-library", "", LibraryFolder::State::available}},
        {},
        true};
    sample.isSample = true;
    library->setLibraryFolderList(sample);
    showAndScan();
    ASSERT_TRUE(waitUntil([&] { return window->folderBanner()->isVisibleTo(window.get()); }));
    EXPECT_TRUE(window->folderBannerText()->text().startsWith("This is a generated sample library"));
    EXPECT_EQ(window->folderBannerButton()->text(), "Choose Folders…");
    window->folderBannerButton()->click();
    LibraryFoldersDialog* dialog = window->libraryFoldersDialog();
    ASSERT_NE(dialog, nullptr);
    settle();
    // The sample is no folder of the user's: choosing starts from an empty list.
    EXPECT_EQ(dialog->folderList()->topLevelItemCount(), 0);
}

TEST_F(FoldersAndTrashTest, FoldersGivenForTheRunAreShownButNotEdited) {
    library->addAssets(numberedVideos(1));
    library->setLibraryFolderList(
        {{LibraryFolder{"/data/videos", "/data/videos", LibraryFolder::State::available}},
         "REELKEEP_LIBRARY",
         false});
    showAndScan();
    window->openLibraryFolders();
    LibraryFoldersDialog* dialog = window->libraryFoldersDialog();
    ASSERT_TRUE(waitUntil([&] { return dialog->folderList()->topLevelItemCount() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return dialog->note()->text().contains("REELKEEP_LIBRARY"); }));
    EXPECT_FALSE(dialog->addButton()->isEnabled());
    EXPECT_FALSE(dialog->removeButton()->isEnabled());
    EXPECT_FALSE(dialog->saveButton()->isEnabled());
    EXPECT_EQ(library->callCount(SimulatedCall::setLibraryFolders), 0);
}
