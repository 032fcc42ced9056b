// main_window_test.cpp: the whole window offscreen over the simulated library:
// rows appear after a scan, header clicks sort through the view model, the
// delete flow runs end to end, the Video menu follows busy and preview states,
// names with markup stay plain text, and a preview closed while loading plays
// nothing.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <thread>

#include "model/display_text.h"
#include "ui/compare_dialog.h"
#include "ui/date_bucket_row.h"
#include "ui/empty_state_view.h"
#include "ui/key_bindings.h"
#include "ui/preview_dialog.h"
#include "ui/sidebar.h"
#include "window_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

class MainWindowTest : public WindowTest {
protected:
    // Window shortcuts reach only the active window; a closed dialog may leave none.
    void activate() {
        window->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window.get(); }));
    }
    void clickHeader(int column) {
        QHeaderView* header = window->table()->horizontalHeader();
        const QPoint center(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, center);
    }
};

}  // namespace

TEST_F(MainWindowTest, ScansOnShowAndListsTheRowsBiggestFirst) {
    library->addAssets(numberedVideos(40));
    showAndScan();
    EXPECT_EQ(rows().rowCount(), 40);
    EXPECT_EQ(rows().itemAt(0).id(), "v039");
    EXPECT_EQ(window->currentDetail(), window->table());
    EXPECT_EQ(window->findChild<QLabel*>("videoCount")->text(), "40");
    EXPECT_EQ(window->findChild<QLabel*>("statusLine")->text(), "40 videos, size known for 40.");
    EXPECT_EQ(window->toolbarScanAction()->text(), "Scan");
    EXPECT_TRUE(window->banner()->isHidden());
    EXPECT_TRUE(window->selectionBar()->isHidden());

    // Searching narrows in the same window; a miss shows the empty state.
    window->searchField()->setText("v00");
    EXPECT_EQ(rows().rowCount(), 10);
    window->searchField()->setText("nothing like it");
    EXPECT_EQ(window->currentDetail(), window->emptyState());
    EXPECT_EQ(window->emptyState()->title(), "No matches");
    window->emptyState()->button()->click();
    EXPECT_EQ(window->searchField()->text(), "");
    EXPECT_EQ(rows().rowCount(), 40);
}

TEST_F(MainWindowTest, EmptyLibraryShowsTheScanCardThenNamesTheFoldersItSearched) {
    library->setLatency(SimulatedCall::fetchVideos, std::chrono::milliseconds(200));
    library->setLibraryRoots({"/home/ann/Videos", "/media/ann/Camera"});
    window->show();
    EXPECT_EQ(window->currentDetail()->objectName(), "scanningCard");
    EXPECT_EQ(window->toolbarScanAction()->text(), "Stop");
    ASSERT_TRUE(waitUntil([&] { return !model().isScanning(); }));
    EXPECT_EQ(window->currentDetail(), window->emptyState());
    EXPECT_EQ(window->emptyState()->title(), "No videos");
    EXPECT_EQ(window->emptyState()->message(),
              "No video was found in the folders “/home/ann/Videos” and “/media/ann/Camera”.");
    EXPECT_EQ(window->emptyState()->button()->text(), "Add Folder…");
    window->emptyState()->button()->click();
    EXPECT_NE(window->libraryFoldersDialog(), nullptr);
}

TEST_F(MainWindowTest, UnreadableFoldersAskForOtherFolders) {
    library->addAssets(numberedVideos(2));
    library->setAuthorizationStatus(AuthorizationStatus::notDetermined);
    library->setAuthorizationAnswer(AuthorizationStatus::denied);
    window->show();
    ASSERT_TRUE(waitUntil([&] { return !model().isScanning(); }));
    EXPECT_EQ(window->emptyState()->title(), "No library folder can be read");
    EXPECT_EQ(window->emptyState()->button()->text(), "Choose Folders…");
    window->emptyState()->button()->click();
    EXPECT_NE(window->libraryFoldersDialog(), nullptr);
    EXPECT_FALSE(model().isScanning());  // the view model is left alone
}

TEST_F(MainWindowTest, HeaderClicksWriteTheViewModelsOrder) {
    library->addAssets(numberedVideos(6));
    showAndScan();
    clickHeader(VideoTableModel::NameColumn);
    EXPECT_EQ(model().sortOrder(), VideoSortOrder::nameAsc);
    EXPECT_EQ(rowIDs().first(), "v000");
    clickHeader(VideoTableModel::NameColumn);
    EXPECT_EQ(model().sortOrder(), VideoSortOrder::nameDesc);
    clickHeader(VideoTableModel::CreatedColumn);
    EXPECT_EQ(model().sortOrder(), VideoSortOrder::creationDateDesc);
    EXPECT_EQ(rowIDs().first(), "v005");

    // An order set elsewhere shows in the header.
    model().setSortOrder(VideoSortOrder::durationAsc);
    EXPECT_EQ(window->table()->horizontalHeader()->sortIndicatorSection(), VideoTableModel::DurationColumn);
    EXPECT_EQ(window->table()->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(MainWindowTest, TableSelectionReachesTheSelectionBar) {
    library->addAssets(numberedVideos(6));
    showAndScan();
    QTableView* table = window->table();
    const QRect first = table->visualRect(rows().index(0, VideoTableModel::SizeColumn));
    const QRect second = table->visualRect(rows().index(1, VideoTableModel::SizeColumn));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, second.center());
    EXPECT_EQ(model().selectedIDs(), (QSet<QString>{"v005", "v004"}));
    EXPECT_TRUE(window->selectionBar()->isVisibleTo(window.get()));
    EXPECT_EQ(window->findChild<QLabel*>("selectionCount")->text(), "2 videos selected");
    EXPECT_EQ(window->findChild<QLabel*>("selectionBytes")->text(), "Frees 2 KB once the Trash is emptied");
    command(Command::deselectAll)->trigger();
    EXPECT_TRUE(table->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(window->selectionBar()->isHidden());
}

TEST_F(MainWindowTest, DeletionGoesThroughTheConfirmationAndRemovesTheRows) {
    library->addAssets(numberedVideos(8));
    showAndScan();
    model().setSelectedIDs({"v001", "v002"});
    EXPECT_EQ(command(Command::deleteVideos)->text(), "Move to Trash");
    ASSERT_NE(askToTrash(), nullptr);
    EXPECT_EQ(window->deleteConfirmation()->text(), "Move 2 videos to the Trash?");
    EXPECT_EQ(library->assetCount(), 8);  // nothing goes before the answer
    answerConfirmation(true);
    EXPECT_EQ(rows().rowCount(), 6);
    EXPECT_EQ(library->assetCount(), 6);
    EXPECT_FALSE(rowIDs().contains("v001"));
    EXPECT_TRUE(model().selectedIDs().isEmpty());

    // Cancel leaves everything.
    model().setSelectedIDs({"v003"});
    ASSERT_NE(askToTrash(), nullptr);
    EXPECT_EQ(window->deleteConfirmation()->text(), "Move 1 video to the Trash?");
    answerConfirmation(false);
    settle();
    EXPECT_EQ(library->assetCount(), 6);
}

TEST_F(MainWindowTest, VideoMenuFollowsBusyAndPreviewStates) {
    library->addAssets(numberedVideos(4));
    showAndScan();
    EXPECT_FALSE(command(Command::preview)->isEnabled());  // no selection
    EXPECT_EQ(command(Command::favorites)->text(), "Add to Favorites");
    EXPECT_FALSE(command(Command::favorites)->isEnabled());
    EXPECT_FALSE(command(Command::deselectAll)->isEnabled());

    model().setSelectedIDs({"v001"});
    EXPECT_TRUE(command(Command::preview)->isEnabled());
    EXPECT_EQ(command(Command::copyNames)->text(), "Copy Name");
    EXPECT_EQ(command(Command::download)->text(), "Export Copy…");

    // An item action in flight: library changes are off, reading stays on.
    library->setHoldsChanges(true);
    model().requestDeletion(model().itemsFor({"v003"}));
    model().confirmDeletion();
    ASSERT_TRUE(model().isPerformingItemAction());
    EXPECT_FALSE(command(Command::scan)->isEnabled());
    EXPECT_FALSE(command(Command::favorites)->isEnabled());
    EXPECT_FALSE(command(Command::download)->isEnabled());
    EXPECT_FALSE(command(Command::deleteVideos)->isEnabled());
    EXPECT_TRUE(command(Command::copyNames)->isEnabled());
    EXPECT_TRUE(command(Command::preview)->isEnabled());
    EXPECT_FALSE(window->toolbarScanAction()->isEnabled());
    library->releaseHeldChanges();
    library->setHoldsChanges(false);
    ASSERT_TRUE(waitUntil([&] { return !model().isPerformingItemAction(); }));
    EXPECT_TRUE(command(Command::favorites)->isEnabled());

    // The preview open: every item command and Scan are off.
    library->setHoldsVideoRequests(true);
    model().showPreview(model().itemsFor({"v001"}).first());
    ASSERT_TRUE(window->previewDialog() != nullptr);
    EXPECT_EQ(command(Command::scan)->text(), "Scan");
    for (const Command c :
         {Command::scan, Command::preview, Command::showInFolder, Command::copyNames, Command::favorites,
          Command::download, Command::deselectAll, Command::deleteVideos})
        EXPECT_FALSE(command(c)->isEnabled()) << int(c);
    window->previewDialog()->reject();
    library->releaseHeldVideoRequests();
    ASSERT_TRUE(waitUntil([&] { return !model().previewItem().has_value(); }));
    EXPECT_TRUE(command(Command::preview)->isEnabled());
}

TEST_F(MainWindowTest, NamesWithMarkupStayPlainText) {
    const QString hostile = QStringLiteral("<img src=x><b>bold<i>.mov");  // no "/": file names have none
    library->addAsset(fastVideo("h", 5000, 1.6e9, hostile));
    showAndScan();
    model().copyNames(model().itemsFor({"h"}));
    auto* status = window->findChild<QLabel*>("statusLine");
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    EXPECT_TRUE(status->text().contains(QStringLiteral("<b>bold<i>"))) << status->text().toStdString();

    // An error quoting the name: the alert shows the characters, not markup.
    library->setWriteError(PlatformError{QStringLiteral("test"), 1, hostile});
    panels->saveAnswer = dir.filePath(QStringLiteral("out.mov"));
    model().download(model().itemsFor({"h"}));
    ASSERT_TRUE(waitUntil([&] { return window->errorAlert() != nullptr; }));
    QMessageBox* alert = window->errorAlert();
    EXPECT_EQ(alert->windowTitle(), "Something went wrong");
    for (QLabel* label : alert->findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->pixmap().isNull()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
    alert->reject();
    ASSERT_TRUE(waitUntil([&] { return !model().errorMessage().has_value(); }));

    // The preview header too.
    library->setHoldsVideoRequests(true);
    model().showPreview(model().itemsFor({"h"}).first());
    ASSERT_TRUE(window->previewDialog() != nullptr);
    auto* name = window->previewDialog()->findChild<QLabel*>("previewName");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_EQ(name->text(), hostile);
    EXPECT_EQ(QTextDocumentFragment::fromHtml(name->toolTip()).toPlainText(), hostile);
    window->previewDialog()->reject();
    library->releaseHeldVideoRequests();
}

TEST_F(MainWindowTest, APreviewClosedWhileLoadingNeverPlays) {
    SimulatedAsset asset = fastVideo("p", 5000);
    asset.localFilePath = dir.filePath(QStringLiteral("p.mov"));
    library->addAsset(asset);
    showAndScan();
    library->setHoldsVideoRequests(true);
    PreviewDialog dialog(session->media, model().itemsFor({"p"}).first());
    dialog.open();
    EXPECT_EQ(dialog.state(), PreviewDialog::State::loading);
    dialog.reject();
    library->releaseHeldVideoRequests();
    ASSERT_TRUE(waitUntil([&] { return library->videoRequestsInFlight() == 0; }));
    settle();
    EXPECT_EQ(dialog.player(), nullptr);  // no player was ever made
    EXPECT_EQ(dialog.state(), PreviewDialog::State::loading);
    EXPECT_TRUE(dialog.findChildren<QMediaPlayer*>().isEmpty());
}

TEST_F(MainWindowTest, AFailedPreviewSaysWhyAndKeepsNoPlayer) {
    SimulatedAsset asset = fastVideo("cloud", 5000);
    asset.video = VideoBehavior::noAsset;
    library->addAsset(asset);
    showAndScan();
    PreviewDialog dialog(session->media, model().itemsFor({"cloud"}).first());
    dialog.open();
    ASSERT_TRUE(waitUntil([&] { return dialog.state() == PreviewDialog::State::failed; }));
    EXPECT_FALSE(dialog.errorText().isEmpty());
    EXPECT_EQ(dialog.player(), nullptr);
    EXPECT_EQ(PreviewDialog::sliderValue(-1), 0);
    EXPECT_EQ(PreviewDialog::sliderValue(std::nan("")), 0);
    EXPECT_EQ(PreviewDialog::sliderValue(1.2345), 1235);
    EXPECT_EQ(PreviewDialog::sliderValue(1e12), std::numeric_limits<int>::max());
}

TEST_F(MainWindowTest, ThemeChoicesInMenuAndSettingsStayInStep) {
    library->addAssets(numberedVideos(2));
    showAndScan();
    const auto menuAction = [&](const QString& menuTitle, const QString& text) -> QAction* {
        for (QMenu* menu : window->findChildren<QMenu*>())
            if (menu->title() == menuTitle)
                for (QAction* action : menu->actions())
                    if (action->text() == text) return action;
        return nullptr;
    };
    QAction* dark = menuAction("&Appearance", "Dark");
    ASSERT_NE(dark, nullptr);
    dark->trigger();
    EXPECT_EQ(settings.value(QLatin1String(kAppThemeKey)).toString(), "dark");
    EXPECT_TRUE(waitUntil([&] { return window->palette().color(QPalette::Window).lightness() < 128; }));
    // Links follow the new palette at once, not after a restart.
    model().setSizeFilter(SizeFilter::atLeast100MB);
    auto* clear = window->findChild<QPushButton*>("clearFilters");
    ASSERT_NE(clear, nullptr);
    EXPECT_TRUE(waitUntil([&] {
        return clear->styleSheet().contains(window->palette().color(QPalette::Link).name());
    })) << clear->styleSheet().toStdString();

    QAction* openSettings = menuAction("&Edit", "Settings…");
    ASSERT_NE(openSettings, nullptr);
    EXPECT_FALSE(openSettings->shortcut().isEmpty());
    openSettings->trigger();
    auto* settingsDialog = window->findChild<SettingsDialog*>();
    ASSERT_NE(settingsDialog, nullptr);
    EXPECT_TRUE(settingsDialog->findChild<QRadioButton*>("dark")->isChecked());
    settingsDialog->findChild<QRadioButton*>("light")->click();
    EXPECT_EQ(settings.value(QLatin1String(kAppThemeKey)).toString(), "light");
    EXPECT_FALSE(dark->isChecked());
    EXPECT_TRUE(menuAction("&Appearance", "Light")->isChecked());
}

TEST_F(MainWindowTest, ContextMenuLabelsFollowTheTargetedRows) {
    library->addAssets(numberedVideos(3));
    showAndScan();
    const auto entries = [&](const QSet<QString>& ids) {
        std::unique_ptr<QMenu> menu(window->table()->makeContextMenu(ids, nullptr));
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator()) texts << action->text() + (action->isEnabled() ? "" : " (off)");
        return texts;
    };
    EXPECT_EQ(entries({"v001"}), QStringList({"Preview", "Show in Folder", "Copy Name", "Copy Path",
                                              "Add to Favorites", "Export Copy…", "Move to Trash"}));
    EXPECT_EQ(entries({"v001", "v002"}), QStringList({"Copy Names", "Copy Paths", "Add to Favorites",
                                                      "Export Copies…", "Move to Trash"}));
    model().setSelectedIDs({"v000"});
    EXPECT_EQ(entries({}).first(), "Preview");  // no target: the selection

    model().toggleFavorites(model().itemsFor({"v001", "v002"}));
    ASSERT_TRUE(waitUntil([&] { return !model().isPerformingItemAction(); }));
    EXPECT_EQ(entries({"v001", "v002"}).at(2), "Remove from Favorites");
    EXPECT_EQ(entries({"v000", "v001"}).at(2), "Add to Favorites");
}

TEST_F(MainWindowTest, SelectExtraCopiesSelectsOnlyVerifiedCopiesAndMarksTheKeptOne) {
    SimulatedAsset old = fastVideo("old", 500, 1.5e9), copy = fastVideo("new", 500, 1.6e9);
    old.contentTag = copy.contentTag = QStringLiteral("same bytes");
    library->addAssets({old, copy, fastVideo("other", 500, 1.4e9), fastVideo("single", 90)});
    showAndScan();
    const auto rowOf = [&](const char* id) { return rows().rowOf(QString::fromLatin1(id)); };
    const auto badge = [&](const char* id, int role) {
        return rows().index(rowOf(id), VideoTableModel::NameColumn).data(role);
    };
    EXPECT_EQ(badge("old", VideoTableModel::CopyCountRole).toInt(), 2);
    EXPECT_FALSE(badge("old", VideoTableModel::DuplicateCountRole).isValid());
    EXPECT_EQ(badge("other", VideoTableModel::DuplicateCountRole).toInt(), 3);  // "Same size ×3"
    EXPECT_FALSE(badge("other", VideoTableModel::CopyCountRole).isValid());

    auto* select = window->findChild<QPushButton*>("selectExtraCopies");
    ASSERT_NE(select, nullptr);
    select->click();
    EXPECT_TRUE(model().showsIdenticalCopies());
    EXPECT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(model().selectedIDs(), QSet<QString>{"new"});  // never "other", though it is the oldest
    const QModelIndexList selected = window->table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(rows().itemAt(selected.first().row()).id(), "new");
    EXPECT_TRUE(badge("old", VideoTableModel::IsKeptRole).toBool());
    EXPECT_FALSE(badge("new", VideoTableModel::IsKeptRole).toBool());
    EXPECT_NE(window->findChild<QWidget*>("identicalCopiesRow"), nullptr);
}

TEST_F(MainWindowTest, SimilarVideosAreShownBestFirstBeforeLesserVersionsAreTrashedOrCompared) {
    auto look = [](const char* id, std::int64_t bytes, std::int64_t width) {
        SimulatedAsset asset = fastVideo(id, bytes);
        asset.pixelWidth = width;
        asset.pixelHeight = width * 9 / 16;
        asset.visualTag = QStringLiteral("beach");
        return asset;
    };
    library->addAssets({look("small", 100, 1920), look("big", 400, 3840), fastVideo("other", 90)});
    model().setChecksSimilarAfterScan(true);
    showAndScan();
    ASSERT_TRUE(waitUntil([&] { return !model().isCheckingSimilar() && model().similar().setCount == 1; }));
    const auto badge = [&](const char* id, int role) {
        return rows().index(rows().rowOf(QString::fromLatin1(id)), VideoTableModel::NameColumn).data(role);
    };
    EXPECT_EQ(badge("small", VideoTableModel::SimilarCountRole).toInt(), 2);  // "Similar ×2"
    EXPECT_FALSE(badge("other", VideoTableModel::SimilarCountRole).isValid());
    EXPECT_FALSE(command(Command::selectLesserVersions)->isEnabled());  // the sets are not on screen

    DateBucketRow* row = nullptr;  // rebuilt rows go later: the new one is found by its content
    for (DateBucketRow* candidate : window->findChildren<DateBucketRow*>("similarVideosRow"))
        if (candidate->content().count == 2) row = candidate;
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->toolTip().startsWith("Sets: 1.")) << row->toolTip().toStdString();
    EXPECT_EQ(row->content().bytes, 100);
    row->click();
    EXPECT_EQ(rowIDs(), QStringList({"big", "small"}));
    EXPECT_TRUE(badge("big", VideoTableModel::IsBestVersionRole).toBool());
    ASSERT_TRUE(command(Command::selectLesserVersions)->isEnabled());
    command(Command::selectLesserVersions)->trigger();
    EXPECT_EQ(model().selectedIDs(), QSet<QString>{"small"});

    command(Command::deleteVideos)->trigger();
    ASSERT_TRUE(waitUntil([&] { return window->deleteConfirmation() != nullptr; }));
    const QString details = window->deleteConfirmation()->informativeText();
    EXPECT_TRUE(details.contains("Kept: big.mov — 3840 × 2160 — 400 bytes")) << details.toStdString();
    EXPECT_TRUE(details.contains("Goes: small.mov — 1920 × 1080 — 100 bytes")) << details.toStdString();
    window->deleteConfirmation()->reject();
    ASSERT_TRUE(waitUntil([&] { return window->deleteConfirmation() == nullptr; }));

    model().setSelectedIDs({"big", "small"});
    ASSERT_TRUE(command(Command::compare)->isEnabled());
    command(Command::compare)->trigger();
    ASSERT_TRUE(waitUntil([&] { return window->compareDialog() != nullptr; }));
    CompareDialog* compare = window->compareDialog();
    EXPECT_EQ(compare->pair().first.localIdentifier(), "big");
    ASSERT_TRUE(waitUntil([&] {
        return compare->shownFrameCount(0) == kFingerprintFrames &&
               compare->shownFrameCount(1) == kFingerprintFrames;
    }));
    compare->reject();
    ASSERT_TRUE(waitUntil([&] { return window->compareDialog() == nullptr && !model().comparedItems(); }));
}

TEST_F(MainWindowTest, OutsideChangesRaiseTheBannerUntilARescan) {
    library->addAssets(numberedVideos(4));
    showAndScan();
    ASSERT_TRUE(library->removeAsset("v002"));
    library->notifyChange();
    ASSERT_TRUE(waitUntil([&] { return model().hasExternalChanges(); }));
    EXPECT_TRUE(window->banner()->isVisibleTo(window.get()));
    EXPECT_EQ(rows().rowCount(), 3);
    auto* rescan = window->banner()->findChild<QPushButton*>();
    ASSERT_NE(rescan, nullptr);
    rescan->click();
    EXPECT_TRUE(window->banner()->isHidden());
    ASSERT_TRUE(waitUntil([&] { return !model().isScanning(); }));
    EXPECT_TRUE(window->banner()->isHidden());
}

TEST_F(MainWindowTest, SidebarBrowsesYearsMonthsAndSizes) {
    QList<SimulatedAsset> assets;
    assets << fastVideo("a", 300'000'000, 1.6e9) << fastVideo("b", 100, 1.6e9 + 40 * 86400.0)
           << fastVideo("c", 700'000'000, 1.3e9);
    library->addAssets(assets);
    showAndScan();
    const auto rowTitled = [&](const QString& title) -> DateBucketRow* {
        for (DateBucketRow* row : window->sidebar()->findChildren<DateBucketRow*>())
            if (row->content().title == title && !row->isHidden() && row->parent()) return row;
        return nullptr;
    };
    DateBucketRow* year = rowTitled(yearTitle(2020));
    ASSERT_NE(year, nullptr);
    EXPECT_TRUE(year->content().showsDisclosure);
    EXPECT_EQ(year->countText(), "2 videos");
    EXPECT_DOUBLE_EQ(*year->content().fraction, 300'000'100.0 / 700'000'000.0);
    // Opened from the keyboard: the focus follows to the year's row in the new list.
    window->activateWindow();
    year->setFocus();
    QTest::keyClick(year, Qt::Key_Space);
    EXPECT_EQ(model().expandedYear(), 2020);
    EXPECT_EQ(rows().rowCount(), 2);
    settle(std::chrono::milliseconds(50));  // the old rows go on the next turn of the loop
    auto* focusedRow = qobject_cast<DateBucketRow*>(QApplication::focusWidget());
    ASSERT_NE(focusedRow, nullptr);
    EXPECT_EQ(focusedRow->content().title, yearTitle(2020));
    DateBucketRow* month = nullptr;
    for (DateBucketRow* row : window->sidebar()->findChildren<DateBucketRow*>())
        if (row->content().isIndented && row->content().count == 1 && row->content().bytes == 100)
            month = row;
    ASSERT_NE(month, nullptr);
    // The same rows stay: the activated one keeps the focus and shows it is chosen.
    month->setFocus();
    QTest::keyClick(month, Qt::Key_Space);
    EXPECT_EQ(rowIDs(), QStringList{"b"});
    settle(std::chrono::milliseconds(50));
    EXPECT_EQ(QApplication::focusWidget(), month);
    EXPECT_TRUE(month->content().isSelected);

    auto* sizes = window->findChild<QComboBox*>("sizeFilter");
    sizes->setCurrentIndex(sizes->findData(int(SizeFilter::atLeast100MB)));
    emit sizes->activated(sizes->currentIndex());
    EXPECT_EQ(model().sizeFilter(), SizeFilter::atLeast100MB);
    EXPECT_EQ(window->currentDetail(), window->emptyState());  // "b" is small
    model().clearFilters();
    EXPECT_EQ(sizes->currentData().toInt(), int(SizeFilter::none));
    EXPECT_FALSE(model().expandedYear().has_value());  // back to the years
    settle(std::chrono::milliseconds(50));
    EXPECT_EQ(rowTitled(QStringLiteral("All dates"))->content().isSelected, true);

    EXPECT_DOUBLE_EQ(DateBucketRow::fraction(0, 10), 0.0);
    EXPECT_DOUBLE_EQ(DateBucketRow::fraction(5, 0), 0.0);
    EXPECT_DOUBLE_EQ(DateBucketRow::fraction(20, 10), 1.0);
}

TEST_F(MainWindowTest, DesktopKeysInTheList) {
    library->addAssets(numberedVideos(6));
    showAndScan();
    window->activateWindow();
    QTableView* table = window->table();
    table->setFocus();
    ASSERT_TRUE(waitUntil([&] { return table->hasFocus(); }));

    QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(model().selectedIDs().size(), 6);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(pasteboard->text.split('\n').size(), 6);
    QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(model().selectedIDs().isEmpty());

    // Return, Enter and Space preview the current row, a double-click its row; Escape closes the preview.
    library->setHoldsVideoRequests(true);
    const QPoint third = table->visualRect(rows().index(2, VideoTableModel::DurationColumn)).center();
    const std::pair<const char*, std::function<void()>> openers[] = {
        {"Return", [&] { QTest::keyClick(table, Qt::Key_Return); }},
        {"Enter", [&] { QTest::keyClick(table, Qt::Key_Enter, Qt::KeypadModifier); }},
        {"Space", [&] { QTest::keyClick(table, Qt::Key_Space); }},
        {"double-click",
         [&] {
             table->setCurrentIndex(rows().index(0, 0));
             // A double-click is a press and release, then the second press.
             QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third);
             QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, third);
         }},
    };
    for (const auto& [how, open] : openers) {
        table->setCurrentIndex(rows().index(2, 0));
        open();
        ASSERT_TRUE(model().previewItem().has_value()) << how;
        EXPECT_EQ(model().previewItem()->id(), rows().itemAt(2).id());
        ASSERT_NE(window->previewDialog(), nullptr);
        QTest::keyClick(window->previewDialog(), Qt::Key_Escape);
        ASSERT_TRUE(waitUntil([&] { return !model().previewItem().has_value(); }));
    }
    library->releaseHeldVideoRequests();
    library->setHoldsVideoRequests(false);
    activate();

    // Delete and Ctrl+Backspace ask first, whatever the focus, and delete nothing by themselves.
    model().setSelectedIDs({"v001"});
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Delete, Qt::KeyboardModifiers{}},
          std::pair{Qt::Key_Backspace, Qt::KeyboardModifiers{Qt::ControlModifier}}}) {
        QTest::keyClick(table, key, modifiers);
        ASSERT_TRUE(waitUntil([&] { return window->deleteConfirmation() != nullptr; })) << key;
        settle();
        EXPECT_EQ(library->assetCount(), 6);
        answerConfirmation(false);
        activate();
    }

    // F5 scans again.
    QTest::keyClick(table, Qt::Key_F5);
    EXPECT_TRUE(model().isScanning());
    ASSERT_TRUE(waitUntil([&] { return !model().isScanning(); }));
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 2);
}

TEST_F(MainWindowTest, DesktopKeysInTheSearchField) {
    library->addAssets(numberedVideos(12));
    showAndScan();
    window->activateWindow();
    window->table()->setFocus();
    QTest::keyClick(window->table(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit* search = window->searchField();
    ASSERT_TRUE(waitUntil([&] { return search->hasFocus(); }));
    QTest::keyClicks(search, "v00");
    EXPECT_EQ(rows().rowCount(), 10);
    // Keys that mean something in the list stay with the text while typing.
    model().setSelectedIDs({"v001"});
    QTest::keyClick(search, Qt::Key_Delete);
    QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
    settle(std::chrono::milliseconds(50));
    EXPECT_EQ(window->deleteConfirmation(), nullptr);
    EXPECT_EQ(model().selectedIDs(), QSet<QString>{"v001"});
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(rows().rowCount(), 12);
    QTest::keyClick(search, Qt::Key_Escape);  // empty: back to the list
    EXPECT_TRUE(waitUntil([&] { return window->table()->hasFocus(); }));
}

TEST_F(MainWindowTest, MenusHaveMnemonicsAndTheManPageListsEveryKey) {
    for (QAction* menu : window->menuBar()->actions())
        EXPECT_TRUE(menu->text().contains(QRegularExpression("&[^&]"))) << menu->text().toStdString();

    QFile page(QStringLiteral(REELKEEP_SOURCE_DIR "/data/reelkeep.1.in"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    const qsizetype start = text.indexOf(QLatin1String("\n.SH KEYS\n"));
    ASSERT_GE(start, 0);
    const qsizetype end = text.indexOf(QLatin1String("\n.SH "), start + 1);
    EXPECT_EQ(text.mid(start + 1, end - start), keysManSection());

    // And the menus carry the table's keys.
    EXPECT_EQ(command(Command::scan)->shortcuts(), shortcutsFor(KeyAction::scan));
    EXPECT_EQ(command(Command::deleteVideos)->shortcuts(), shortcutsFor(KeyAction::moveToTrash));
    EXPECT_EQ(command(Command::copyNames)->shortcuts(), shortcutsFor(KeyAction::copyNames));
    EXPECT_EQ(command(Command::copyPaths)->shortcuts(), shortcutsFor(KeyAction::copyPaths));
    EXPECT_EQ(window->undoAction()->shortcuts(), shortcutsFor(KeyAction::undoMoveToTrash));

    // An ambiguous window key fires nothing in Qt: each is bound once.
    QList<QKeySequence> windowKeys;
    for (const KeyBinding& binding : keyBindings())
        if (binding.place == KeyPlace::window) windowKeys += binding.keys;
    for (const QKeySequence& key : windowKeys)
        EXPECT_EQ(windowKeys.count(key), 1) << key.toString().toStdString();
}

TEST_F(MainWindowTest, BigExportsShowProgressAndACancelLeavesNothingAndSuccessOffersTheFolder) {
    library->addAssets({fastVideo("big", 80'000'000, 1.6e9, "big.mov"), fastVideo("small", 900, 1.6e9)});
    showAndScan();
    QTemporaryDir folder;
    panels->saveAnswer = QDir(folder.path()).filePath("big.mov");
    library->setLatency(SimulatedCall::writeResourceData, std::chrono::seconds(30));
    model().download(model().itemsFor({"big"}));
    ASSERT_TRUE(waitUntil([&] { return window->exportProgress() != nullptr; }));
    EXPECT_TRUE(window->exportProgress()->labelText().contains("big.mov"));
    EXPECT_TRUE(window->exportProgress()->labelText().contains("of 80 MB"));
    window->exportProgress()->findChild<QPushButton*>()->click();
    ASSERT_TRUE(waitUntil([&] { return !model().isPerformingItemAction(); }));
    EXPECT_EQ(window->exportProgress(), nullptr);
    EXPECT_EQ(window->exportDone(), nullptr);
    EXPECT_EQ(model().status().text(), "Export cancelled.");
    EXPECT_FALSE(model().errorMessage().has_value());  // a cancel is no failure
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());

    // A small one shows no progress; its success says where it went.
    library->setLatency(SimulatedCall::writeResourceData, std::chrono::milliseconds(0));
    panels->saveAnswer = QDir(folder.path()).filePath("small.mov");
    model().download(model().itemsFor({"small"}));
    ASSERT_TRUE(waitUntil([&] { return window->exportDone() != nullptr; }));
    EXPECT_EQ(window->exportProgress(), nullptr);
    EXPECT_TRUE(window->exportDone()->informativeText().contains(folder.path()));
    window->exportDone()->findChild<QPushButton*>("showInFolder")->click();
    EXPECT_EQ(workspace->shownPaths,
              QList<QByteArray>{QFile::encodeName(QDir(folder.path()).filePath("small.mov"))});
}

TEST_F(MainWindowTest, ALibraryThatBlocksNeverStopsTheWindowAndAboutNamesItsFolders) {
    // Every call that asks a real library's file system takes long here, as on a
    // stale network mount; the window must keep turning its event loop meanwhile.
    for (const SimulatedCall call :
         {SimulatedCall::authorizationStatus, SimulatedCall::fetchVideos, SimulatedCall::fetchAssets,
          SimulatedCall::resources, SimulatedCall::fileLocation, SimulatedCall::libraryRoots,
          SimulatedCall::libraryFolders, SimulatedCall::setLibraryFolders})
        library->setLatency(call, std::chrono::milliseconds(150));
    library->setLibraryRoots({"/net/videos"});
    library->addAssets(numberedVideos(2));
    library->watchBlockingCallsFrom(std::this_thread::get_id());
    int ticksWhileBlocked = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { ticksWhileBlocked += library->blockingCallsInFlight() > 0; });
    timer.start(5);

    showAndScan();
    for (QAction* action : window->findChildren<QAction*>())
        if (action->menuRole() == QAction::AboutRole) action->trigger();
    ASSERT_TRUE(waitUntil([&] { return window->aboutBox() != nullptr; }));
    // About names the folders in use, the licence and the data folders, and links nowhere.
    const QString about = window->aboutBox()->informativeText();
    for (const char* part : {"/net/videos", "MIT", "reelkeep"}) EXPECT_TRUE(about.contains(part)) << part;
    EXPECT_FALSE(about.contains("http")) << about.toStdString();
    window->aboutBox()->close();
    window->findChild<QAction*>("libraryFolders")->trigger();
    model().showInFolder(model().items().first());
    model().setLibraryFolders({"/net/other"});
    ASSERT_TRUE(waitUntil([&] {
        return library->callCount(SimulatedCall::setLibraryFolders) == 1 && !model().isScanning() &&
               library->blockingCallsInFlight() == 0;
    }));

    EXPECT_EQ(library->blockingCallsOnWatchedThread(), 0);
    EXPECT_GT(ticksWhileBlocked, 0);
}
