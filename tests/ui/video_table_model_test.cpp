// video_table_model_test.cpp: the table model under QAbstractItemModelTester:
// rows by identity, resets only for a new row set, selection both ways and
// never fed back.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTableView>
#include <random>

#include "model/item_builder.h"
#include "ui/selection_sync.h"
#include "ui/video_table_model.h"
#include "ui_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

VideoItem video(const QString& id, std::optional<std::int64_t> bytes, bool isFavorite = false) {
    return VideoItem(id, id + QStringLiteral(".mov"), 1.6e9, 30, 1920, 1080, isFavorite, false,
                     bytes ? SizeState::known(*bytes, SizeSource::photosMetadata) : SizeState::unavailable());
}

QStringList idsOf(const VideoTableModel& model) {
    QStringList ids;
    for (int row = 0; row < model.rowCount(); ++row) ids << model.itemAt(row).id();
    return ids;
}

QSet<QString> selectedIDs(const VideoTableModel& model, const QItemSelectionModel& selection) {
    QSet<QString> ids;
    for (const QModelIndex& index : selection.selectedRows()) ids.insert(model.itemAt(index.row()).id());
    return ids;
}

class TableModelTest : public ViewModelTest {
protected:
    void SetUp() override {
        ViewModelTest::SetUp();
        library->addAssets(numberedVideos(5));
        model = std::make_unique<VideoTableModel>(*viewModel);
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        resets = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::modelAboutToBeReset);
    }
    int rowOf(const QString& id) const { return model->rowOf(id); }

    std::unique_ptr<VideoTableModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
    std::unique_ptr<QSignalSpy> resets;
};

}  // namespace

// Random removals, insertions, moves and value changes of one row set: the rows
// always equal the new list, and every persistent index follows its video.
TEST_F(TableModelTest, InPlaceChangesFollowEveryRowByIdentity) {
    VideoList pool;
    for (int i = 0; i < 60; ++i) pool << video(QStringLiteral("p%1").arg(i), 100 * (i % 7));
    QTableView view;  // its header must follow every change of the row count
    view.setModel(model.get());
    std::mt19937 random(7);
    for (int step = 0; step < 300; ++step) {
        // Few runs (one signal each) and many (one relayout) alternate; some
        // steps also move rows.
        const unsigned dropOneIn = step % 2 == 0 ? 15 : 2;
        VideoList next;
        for (const VideoItem& item : pool)
            if (random() % dropOneIn != 0)
                next << (random() % 5 == 0 ? item.replacingFavorite(!item.isFavorite()) : item);
        if (step % 3 == 0) std::shuffle(next.begin(), next.end(), random);

        QList<std::pair<QPersistentModelIndex, QString>> before;
        for (int row = 0; row < model->rowCount(); ++row)
            before.append({QPersistentModelIndex(model->index(row, row % VideoTableModel::ColumnCount)),
                           model->itemAt(row).id()});
        model->showRows(next, 0, {});

        ASSERT_EQ(idsOf(*model), ids(next)) << "step " << step;
        ASSERT_EQ(view.verticalHeader()->count(), model->rowCount());
        for (int row = 0; row < model->rowCount(); ++row) ASSERT_TRUE(model->itemAt(row) == next[row]);
        const QStringList nextIDs = ids(next);
        const QSet<QString> kept(nextIDs.begin(), nextIDs.end());
        for (const auto& [index, id] : before) {
            if (kept.contains(id)) {
                ASSERT_TRUE(index.isValid()) << id.toStdString();
                EXPECT_EQ(model->itemAt(index.row()).id(), id);
            } else {
                EXPECT_FALSE(index.isValid()) << id.toStdString();
            }
        }
    }
    EXPECT_EQ(resets->count(), 0);
    model->showRows(pool, 1, {});
    EXPECT_EQ(resets->count(), 1);
}

TEST_F(TableModelTest, RepeatedIdentifiersResetRatherThanGuess) {
    const VideoItem a = video("a", 1), b = video("b", 2);
    model->showRows({b}, 0, {});  // into an empty table: a plain insert
    EXPECT_EQ(resets->count(), 0);
    model->showRows({a, a, b}, 0, {});
    EXPECT_EQ(resets->count(), 1);
    model->showRows({a, b}, 0, {});  // the former rows could not be keyed either
    EXPECT_EQ(resets->count(), 2);
    model->showRows({b, a}, 0, {});
    EXPECT_EQ(resets->count(), 2);
    EXPECT_EQ(idsOf(*model), QStringList({"b", "a"}));
}

TEST_F(TableModelTest, BadgesAndBarsRepaintWhenGroupsOrPeakChange) {
    const VideoItem big = video("big", 1000), half = video("half", 500), zero = video("zero", 0),
                    unknown = video("unknown", std::nullopt);
    model->showRows({big, half, zero, unknown}, 0, {});
    QSignalSpy changes(model.get(), &QAbstractItemModel::dataChanged);
    model->showRows({big, half, zero, unknown}, 0, {{500, 2}});
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.first().at(0).toModelIndex().row(), 0);
    EXPECT_EQ(changes.first().at(1).toModelIndex().row(), 3);

    const auto at = [&](int row, int role) {
        return model->index(row, VideoTableModel::NameColumn).data(role);
    };
    EXPECT_FALSE(at(0, VideoTableModel::DuplicateCountRole).isValid());
    EXPECT_EQ(at(1, VideoTableModel::DuplicateCountRole).toInt(), 2);
    EXPECT_FALSE(at(3, VideoTableModel::DuplicateCountRole).isValid());  // unknown size: never a duplicate
    EXPECT_DOUBLE_EQ(at(0, VideoTableModel::SizeFractionRole).toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(at(1, VideoTableModel::SizeFractionRole).toDouble(), 0.5);
    EXPECT_DOUBLE_EQ(at(2, VideoTableModel::SizeFractionRole).toDouble(), 0.02);  // the minimum bar
    EXPECT_FALSE(at(3, VideoTableModel::SizeFractionRole).isValid());

    changes.clear();
    model->showRows({half, zero, unknown}, 0, {{500, 2}});  // the peak falls: every bar grows
    ASSERT_FALSE(changes.isEmpty());
    EXPECT_DOUBLE_EQ(at(0, VideoTableModel::SizeFractionRole).toDouble(), 1.0);
}

TEST_F(TableModelTest, RawValuesSortAndHeaderFirstClicks) {
    const VideoItem item("r", QStringLiteral("clip.mov"), 1.7e9, 61.5, 3840, 2160, false, false,
                         SizeState::known(123456789, SizeSource::photosMetadata));
    model->showRows({item, video("u", std::nullopt)}, 0, {});
    const auto raw = [&](int row, int column) {
        return model->index(row, column).data(VideoTableModel::RawValueRole);
    };
    EXPECT_EQ(raw(0, VideoTableModel::NameColumn).toString(), "clip.mov");
    EXPECT_EQ(raw(0, VideoTableModel::SizeColumn).toLongLong(), 123456789);
    EXPECT_FALSE(raw(1, VideoTableModel::SizeColumn).isValid());
    EXPECT_DOUBLE_EQ(raw(0, VideoTableModel::DurationColumn).toDouble(), 61.5);
    EXPECT_EQ(raw(0, VideoTableModel::ResolutionColumn).toLongLong(), 3840LL * 2160);
    EXPECT_DOUBLE_EQ(raw(0, VideoTableModel::CreatedColumn).toDouble(), 1.7e9);
    EXPECT_EQ(model->index(0, VideoTableModel::ResolutionColumn).data().toString(), "4K");
    EXPECT_TRUE(
        model->index(0, VideoTableModel::ResolutionColumn).data(VideoTableModel::IsFourKRole).toBool());

    const struct {
        int column;
        Qt::SortOrder firstClick;
        VideoSortOrder written;
    } cases[] = {
        {VideoTableModel::NameColumn, Qt::AscendingOrder, VideoSortOrder::nameAsc},
        {VideoTableModel::SizeColumn, Qt::DescendingOrder, VideoSortOrder::sizeDesc},
        {VideoTableModel::DurationColumn, Qt::DescendingOrder, VideoSortOrder::durationDesc},
        {VideoTableModel::ResolutionColumn, Qt::DescendingOrder, VideoSortOrder::resolutionDesc},
        {VideoTableModel::CreatedColumn, Qt::DescendingOrder, VideoSortOrder::creationDateDesc},
    };
    for (const auto& c : cases) {
        const auto first =
            model->headerData(c.column, Qt::Horizontal, Qt::InitialSortOrderRole).value<Qt::SortOrder>();
        EXPECT_EQ(first, c.firstClick) << c.column;
        model->sort(c.column, first);
        EXPECT_EQ(viewModel->sortOrder(), c.written) << c.column;
    }
    model->sort(VideoTableModel::CreatedColumn, Qt::AscendingOrder);
    EXPECT_EQ(viewModel->sortOrder(), VideoSortOrder::creationDateAsc);
}

TEST_F(TableModelTest, ScanFillsRowsInPlaceAndOnlyNewRowSetsReset) {
    startAndScan();
    EXPECT_EQ(idsOf(*model), visibleIDs());
    EXPECT_EQ(resets->count(), 0);  // a scan installs into the same row set

    viewModel->setSearchText("v00");
    viewModel->setSortOrder(VideoSortOrder::nameAsc);
    EXPECT_EQ(resets->count(), 2);
    EXPECT_EQ(idsOf(*model), visibleIDs());

    viewModel->toggleFavorites(viewModel->itemsFor({"v001"}));
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(resets->count(), 2);
    EXPECT_TRUE(model->index(rowOf("v001"), 0).data(VideoTableModel::IsFavoriteRole).toBool());
}

// An action names its rows: the table signals those alone, and nobody is told
// to work out the whole list again.
TEST_F(TableModelTest, ActionsSignalOnlyTheRowsTheyChange) {
    QList<SimulatedAsset> many;
    for (int i = 0; i < 400; ++i)
        many << fastVideo(QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0')), 2000 + i);
    many << fastVideo("pairA", 9000) << fastVideo("pairB", 9000) << fastVideo("pairC", 9100)
         << fastVideo("pairD", 9100);
    library->addAssets(many);
    startAndScan();
    QSignalSpy lists(viewModel.get(), &VideoListViewModel::visibleItemsChanged);
    QSignalSpy changes(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy removals(model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy insertions(model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy layouts(model.get(), &QAbstractItemModel::layoutChanged);

    viewModel->toggleFavorites(viewModel->itemsFor({"w123"}));
    ASSERT_TRUE(waitForAction());
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), rowOf("w123"));
    EXPECT_EQ(changes[0][1].toModelIndex().row(), rowOf("w123"));
    EXPECT_TRUE(model->index(rowOf("w123"), 0).data(VideoTableModel::IsFavoriteRole).toBool());

    ASSERT_TRUE(trash(viewModel->itemsFor({"w200"})));
    EXPECT_EQ(removals.count(), 1);
    viewModel->undoMoveToTrash();
    ASSERT_TRUE(waitForAction());
    EXPECT_EQ(insertions.count(), 1);
    EXPECT_EQ(idsOf(*model), visibleIDs());
    EXPECT_EQ(visibleIDs(), ids(sortedItems(viewModel->items(), viewModel->sortOrder())));
    EXPECT_EQ(lists.count(), 0);

    // Among same-size videos, trashing one of a pair takes its twin out of view too.
    viewModel->showDuplicates();
    const int resetsBefore = int(resets->count());
    lists.clear();
    removals.clear();
    ASSERT_TRUE(trash(viewModel->itemsFor({"pairA"})));
    EXPECT_EQ(visibleIDs(), QStringList({"pairC", "pairD"}));
    EXPECT_EQ(idsOf(*model), visibleIDs());
    EXPECT_EQ(removals.count(), 1);  // one run: the pair sits together
    EXPECT_EQ(resets->count(), resetsBefore);
    EXPECT_EQ(lists.count(), 0);
    EXPECT_EQ(layouts.count(), 0);
}

TEST_F(TableModelTest, SelectionSyncsBothWaysWithoutFeedback) {
    startAndScan();
    QItemSelectionModel selection(model.get());
    SelectionSync sync(*viewModel, *model, selection);
    int writes = 0;
    QObject::connect(viewModel.get(), &VideoListViewModel::selectionChanged, [&] { ++writes; });

    // View model to view.
    viewModel->setSelectedIDs({"v001", "v003"});
    EXPECT_EQ(selectedIDs(*model, selection), (QSet<QString>{"v001", "v003"}));

    // User to view model, once.
    writes = 0;
    selection.select(model->index(rowOf("v002"), 0),
                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>{"v002"});
    EXPECT_GE(writes, 1);
    EXPECT_EQ(selectedIDs(*model, selection), QSet<QString>{"v002"});

    // A reset hides a selected row: it leaves the selection on both sides, for good.
    viewModel->setSelectedIDs({"v001", "v002"});
    viewModel->setSearchText("v001");
    EXPECT_EQ(selectedIDs(*model, selection), QSet<QString>{"v001"});
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>{"v001"});
    viewModel->setSearchText({});
    EXPECT_EQ(selectedIDs(*model, selection), QSet<QString>{"v001"});
    viewModel->setSelectedIDs({"v001", "v002"});
    EXPECT_EQ(selectedIDs(*model, selection), (QSet<QString>{"v001", "v002"}));

    // In-place updates and removals of other rows keep the selection on both sides.
    viewModel->toggleFavorites(viewModel->itemsFor({"v001", "v002"}));
    ASSERT_TRUE(waitForAction());
    ASSERT_TRUE(trash(viewModel->itemsFor({"v004"})));
    EXPECT_EQ(rowOf("v004"), -1);
    EXPECT_EQ(resets->count(), 2);
    EXPECT_EQ(selectedIDs(*model, selection), (QSet<QString>{"v001", "v002"}));
    EXPECT_EQ(viewModel->selectedIDs(), (QSet<QString>{"v001", "v002"}));

    // Deleting a selected row drops it from both.
    ASSERT_TRUE(trash(viewModel->itemsFor({"v002"})));
    EXPECT_EQ(selectedIDs(*model, selection), QSet<QString>{"v001"});
    EXPECT_EQ(viewModel->selectedIDs(), QSet<QString>{"v001"});
}
