// video_table_view.h: the video table: a QTableView over VideoTableModel with
// the painted cells, the header that shows and writes the view model's sort
// order, the two-way selection, the row context menu, double-click preview and
// thumbnails for the rows on screen first.
#pragma once

#include <QSet>
#include <QTableView>
#include <QTimer>

namespace reelkeep {

class MediaSource;
class SelectionSync;
class ThumbnailLoader;
class VideoListViewModel;
class VideoTableModel;

class VideoTableView : public QTableView {
    Q_OBJECT

public:
    // Rows above and below the screen whose thumbnails are fetched after the visible ones.
    static constexpr int kThumbnailMargin = 20;

    VideoTableView(VideoListViewModel& viewModel, MediaSource& media, QWidget* parent = nullptr);

    VideoTableModel& videoModel() const { return *m_model; }
    ThumbnailLoader& thumbnails() const { return *m_thumbnails; }
    // The identifiers a click at this viewport position targets: the selection
    // when it hits a selected row, that row alone otherwise, none off the rows.
    QSet<QString> targetIDs(const QPoint& viewportPosition) const;
    // The row context menu for these identifiers (empty: the selection).
    QMenu* makeContextMenu(const QSet<QString>& ids, QWidget* parent);
    // The header's menu: one checkable entry per column that may be hidden.
    QMenu* makeHeaderMenu(QWidget* parent);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showContextMenu(const QPoint& position);
    void openPreview(const QModelIndex& index);
    void showSortOrder();
    void scheduleThumbnails();
    void requestThumbnails();

    VideoListViewModel& m_viewModel;
    VideoTableModel* m_model;
    ThumbnailLoader* m_thumbnails;
    SelectionSync* m_selectionSync;
    QTimer m_thumbnailTimer;
    int m_shownRowSetIdentity = 0;
};

}  // namespace reelkeep
