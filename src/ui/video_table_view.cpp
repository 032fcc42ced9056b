// video_table_view.cpp: table set-up, sort header, context menu and thumbnail passes.
#include "video_table_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>

#include "model/texts.h"
#include "ui/icons.h"
#include "ui/key_bindings.h"
#include "ui/selection_sync.h"
#include "ui/thumbnail_loader.h"
#include "ui/video_cell_delegate.h"
#include "ui/video_table_model.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

namespace {

struct ColumnWidths {
    int minimum;
    int ideal;
};
constexpr ColumnWidths kColumnWidths[VideoTableModel::ColumnCount] = {{260, 400}, {96, 110},  {64, 76},
                                                                      {80, 92},   {100, 124}, {120, 200}};

}  // namespace

VideoTableView::VideoTableView(VideoListViewModel& viewModel, MediaSource& media, QWidget* parent)
    : QTableView(parent), m_viewModel(viewModel) {
    m_model = new VideoTableModel(viewModel, this);
    m_thumbnails = new ThumbnailLoader(media, this);
    m_model->setThumbnailLoader(m_thumbnails);
    setModel(m_model);
    setItemDelegate(new VideoCellDelegate(this));
    m_selectionSync = new SelectionSync(viewModel, *m_model, *selectionModel(), this);
    m_shownRowSetIdentity = viewModel.rowSetIdentity();

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAccessibleName(reelkeep::tr("Videos"));

    // Fixed row heights: the view never measures 100,000 rows.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(VideoCellDelegate::kRowHeight);
    QHeaderView* header = horizontalHeader();
    header->setHighlightSections(false);
    header->setMinimumSectionSize(kColumnWidths[VideoTableModel::DurationColumn].minimum);
    header->setStretchLastSection(false);
    for (int column = 0; column < VideoTableModel::ColumnCount; ++column)
        header->resizeSection(column, kColumnWidths[column].ideal);
    header->setSectionResizeMode(VideoTableModel::NameColumn, QHeaderView::Stretch);
    header->setSortIndicatorShown(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        QMenu* menu = makeHeaderMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(horizontalHeader()->mapToGlobal(position));
    });
    showSortOrder();
    // After the indicator shows the view model's order, so enabling sorting re-sorts nothing.
    setSortingEnabled(true);

    connect(&viewModel, &VideoListViewModel::filtersChanged, this, &VideoTableView::showSortOrder);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        // A new row set starts at the top, as a rebuilt table would.
        if (m_viewModel.rowSetIdentity() != m_shownRowSetIdentity) {
            m_shownRowSetIdentity = m_viewModel.rowSetIdentity();
            scrollToTop();
        }
    });
    connect(m_model, &VideoTableModel::refreshFinished, this, &VideoTableView::scheduleThumbnails);
    connect(this, &QWidget::customContextMenuRequested, this, &VideoTableView::showContextMenu);
    connect(this, &QAbstractItemView::doubleClicked, this, &VideoTableView::openPreview);

    // One pass per scroll burst.
    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(40);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &VideoTableView::requestThumbnails);
}

void VideoTableView::showSortOrder() {
    const QList<VideoTableSortComparator>& order = m_viewModel.tableSortOrder();
    if (order.isEmpty()) return;
    // The view model already sorted: only the indicator moves.
    const QSignalBlocker blocker(horizontalHeader());
    horizontalHeader()->setSortIndicator(VideoTableModel::columnOf(order.first().column),
                                         VideoTableModel::qtOrder(order.first().order));
    horizontalHeader()->viewport()->update();
}

void VideoTableView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    scheduleThumbnails();
}

void VideoTableView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0) scheduleThumbnails();
}

void VideoTableView::scheduleThumbnails() {
    m_thumbnailTimer.start();
}

void VideoTableView::requestThumbnails() {
    const int rowCount = m_model->rowCount();
    if (rowCount == 0) {
        m_thumbnails->request({});
        return;
    }
    m_thumbnails->setDevicePixelRatio(devicePixelRatioF());
    int first = rowAt(0);
    int last = rowAt(viewport()->height() - 1);
    if (first < 0) first = 0;
    if (last < 0) last = rowCount - 1;
    QStringList ids;
    for (int row = first; row <= last; ++row) ids.append(m_model->itemAt(row).id());
    for (int step = 1; step <= kThumbnailMargin; ++step) {
        if (last + step < rowCount) ids.append(m_model->itemAt(last + step).id());
        if (first - step >= 0) ids.append(m_model->itemAt(first - step).id());
    }
    m_thumbnails->request(ids);
}

QSet<QString> VideoTableView::targetIDs(const QPoint& viewportPosition) const {
    const QModelIndex index = indexAt(viewportPosition);
    // Off the rows or on a selected row: the empty set, which stands for the selection.
    if (!index.isValid() || selectionModel()->isRowSelected(index.row(), {})) return {};
    return {m_model->itemAt(index.row()).id()};
}

void VideoTableView::showContextMenu(const QPoint& position) {
    QMenu* menu = makeContextMenu(targetIDs(position), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(position));
}

QMenu* VideoTableView::makeContextMenu(const QSet<QString>& ids, QWidget* parent) {
    const VideoList items = m_viewModel.itemsFor(ids);
    const qsizetype count = items.size();
    const bool isBusy = m_viewModel.isBusy();
    auto* menu = new QMenu(parent);
    VideoListViewModel* viewModel = &m_viewModel;
    if (count == 1) {
        const VideoItem item = items.first();
        menu->addAction(symbolIcon(QStringLiteral("play.rectangle")), reelkeep::tr("Preview"), this,
                        [viewModel, item] { viewModel->showPreview(item); });
        menu->addAction(symbolIcon(QStringLiteral("photo.on.rectangle")), reelkeep::tr("Show in Folder"),
                        this, [viewModel, item] { viewModel->showInFolder(item); });
        menu->addSeparator();
    }
    menu->addAction(symbolIcon(QStringLiteral("doc.on.doc")),
                    count == 1 ? reelkeep::tr("Copy Name") : reelkeep::tr("Copy Names"), this,
                    [viewModel, items] { viewModel->copyNames(items); });
    menu->addAction(count == 1 ? reelkeep::tr("Copy Path") : reelkeep::tr("Copy Paths"), this,
                    [viewModel, items] { viewModel->copyPaths(items); });
    const bool addsFavorites = count == 0 || VideoListViewModel::containsNonFavorite(items);
    QAction* favorites = menu->addAction(
        symbolIcon(addsFavorites ? QStringLiteral("heart") : QStringLiteral("heart.slash")),
        addsFavorites ? reelkeep::tr("Add to Favorites") : reelkeep::tr("Remove from Favorites"), this,
        [viewModel, items] { viewModel->toggleFavorites(items); });
    favorites->setEnabled(!isBusy);
    QAction* download =
        menu->addAction(symbolIcon(QStringLiteral("arrow.down.circle")),
                        count == 1 ? reelkeep::tr("Export Copy…") : reelkeep::tr("Export Copies…"), this,
                        [viewModel, items] { viewModel->download(items); });
    download->setEnabled(!isBusy);
    if (const auto pair = m_viewModel.comparablePair(items)) {
        menu->addSeparator();
        menu->addAction(reelkeep::tr("Compare…"), this,
                        [viewModel, pair] { viewModel->setComparedItems(pair); });
    }
    if (m_viewModel.showsSimilarVideos() && !m_viewModel.isCheckingSimilar()) {
        if (!m_viewModel.comparablePair(items)) menu->addSeparator();
        menu->addAction(reelkeep::tr("Select Lesser Versions"), this,
                        [viewModel] { viewModel->selectLesserVersions(); });
    }
    menu->addSeparator();
    QAction* remove = menu->addAction(symbolIcon(QStringLiteral("trash")), reelkeep::tr("Move to Trash"),
                                      this, [viewModel, items] { viewModel->requestDeletion(items); });
    remove->setEnabled(!isBusy);
    return menu;
}

QMenu* VideoTableView::makeHeaderMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    // Every column but the name, which identifies the row.
    for (int column = VideoTableModel::NameColumn + 1; column < VideoTableModel::ColumnCount; ++column) {
        QAction* toggle =
            menu->addAction(m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        toggle->setCheckable(true);
        toggle->setChecked(!isColumnHidden(column));
        connect(toggle, &QAction::toggled, this,
                [this, column](bool isShown) { setColumnHidden(column, !isShown); });
    }
    return menu;
}

void VideoTableView::keyPressEvent(QKeyEvent* event) {
    if (matchesKey(KeyAction::preview, *event)) {
        // Two members of one set side by side: their frames at the same moments.
        if (const auto pair = m_viewModel.comparablePair(m_viewModel.selectedItems())) {
            m_viewModel.setComparedItems(pair);
            event->accept();
            return;
        }
        // The current row, the one the keyboard is on, even in a multiple selection.
        QModelIndex index = currentIndex();
        if (!index.isValid() || !selectionModel()->isRowSelected(index.row(), {})) {
            const QModelIndexList selected = selectionModel()->selectedRows();
            index = selected.isEmpty() ? QModelIndex() : selected.first();
        }
        openPreview(index);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void VideoTableView::openPreview(const QModelIndex& index) {
    if (!index.isValid()) return;
    const VideoList items = m_viewModel.itemsFor({m_model->itemAt(index.row()).id()});
    if (!items.isEmpty()) m_viewModel.setPreviewItem(items.first());
}

}  // namespace reelkeep
