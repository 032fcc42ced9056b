// video_table_model.h: the table's rows, which are the view model's visible list.
// Rows are keyed by identity. A new row set (filter, sort) resets the model.
// An action names its rows (itemsChanged, itemsRemoved, itemsInserted): one
// dataChanged per changed row, removals and insertions in runs, nothing else
// compared. Only a new list of the same row set (a scan's refresh, outside
// changes) is diffed by identity: removals, one persistent-index relayout,
// insertions and dataChanged spans (or, for many scattered runs, one relayout
// with the persistent indexes remapped). Scroll position and selection survive
// all but a reset. The view model sorts; sort() only writes the order back to it.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <functional>
#include <optional>

#include "model/copies.h"
#include "model/filters.h"
#include "model/near_copies.h"
#include "model/sort_order.h"
#include "model/video_item.h"

namespace reelkeep {

class ThumbnailLoader;
class VideoListViewModel;

class VideoTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // More insert and remove runs than this become one relayout: a scan refresh
    // interleaves thousands of new rows, and each run would move the whole list.
    static constexpr int kMaxStructuralSpans = 16;

    enum Column {
        NameColumn,
        SizeColumn,
        DurationColumn,
        ResolutionColumn,
        CreatedColumn,
        FolderColumn,
        ColumnCount
    };

    enum Role {
        RawValueRole = Qt::UserRole + 1,  // the number (or name) the column sorts by
        IdentifierRole,                   // localIdentifier of the row
        ThumbnailRole,                    // QImage once loaded
        IsFavoriteRole,
        IsScreenRecordingRole,
        DuplicateCountRole,  // int; absent without a shared known size, or for a verified copy
        CopyCountRole,       // int: the verified identical set's size; absent outside one
        IsKeptRole,          // bool: the copy "Select Extra Copies" keeps, while copies are shown
        SimilarCountRole,    // int: the near-copy set's size; absent outside one
        IsBestVersionRole,   // bool: the version "Select Lesser Versions" keeps, while sets are shown
        SpaceNoteRole,       // QString: "Hard-linked" or "Shared data"; absent when trashing frees the size
        SizeFractionRole,    // double in [0.02, 1] of the size bar; absent for no bar
        IsPortraitRole,      // bool; absent when width or height is unknown
        IsFourKRole,
        IsSecondaryTextRole,  // drawn in the secondary style
    };

    explicit VideoTableModel(VideoListViewModel& viewModel, QObject* parent = nullptr);

    // Optional: where ThumbnailRole comes from; its results land by identity.
    void setThumbnailLoader(ThumbnailLoader* loader);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;

    // Shows these rows: a reset when rowSetIdentity differs from the last one
    // shown, in-place changes otherwise. The view model's signals call it; tests
    // call it with any list.
    void showRows(const VideoList& rows, int rowSetIdentity, const SizeCounts& duplicateCounts);

    const VideoItem& itemAt(int row) const { return m_rows.at(row); }
    // The row showing this identifier now, or -1.
    int rowOf(const QString& localIdentifier) const;

    static VideoTableSortComparator comparatorFor(int column, Qt::SortOrder order);
    static int columnOf(VideoSortColumn column);
    static Qt::SortOrder qtOrder(SortOrder order);

signals:
    // Around every change the model makes on its own, so that selection changes
    // caused by it are not mistaken for the user's.
    void refreshStarted();
    void refreshFinished();

private:
    void refresh();
    void updateRows(const QStringList& ids);
    void removeRowsOf(const QStringList& ids);
    void insertRowsOf(const QStringList& ids);
    bool finishNamedChange();
    bool takeCopies();  // true when the copies or near copies shown changed
    // False, changing nothing, when identifiers repeat and rows cannot be keyed.
    bool updateInPlace(const VideoList& next, const SizeCounts& duplicateCounts);
    // Runs of rows absent from the other list: one signal each on the fine path.
    static int countSpans(const VideoList& rows, const QSet<QString>& otherIDs);
    // Removals, moves and insertions in one persistent-index remap.
    void relayout(const VideoList& next);
    void removeRowsWhere(const std::function<bool(const QString&)>& isGone);
    void reorderKeptRows(const VideoList& next);
    // Rows of next that are new, in runs; the others must already be in place.
    void insertRowsWhere(const VideoList& next, const std::function<bool(const QString&)>& isNew);
    void replaceChangedRows(const VideoList& next, bool isEveryRowDirty);
    void emitDataChanged(int firstRow, int lastRow);
    void thumbnailReady(const QString& localIdentifier);
    void takeSnapshot(const SizeCounts& duplicateCounts);

    QVariant displayData(const VideoItem& item, int column) const;
    QVariant rawData(const VideoItem& item, int column) const;
    std::optional<int> duplicateCount(const VideoItem& item) const;
    QString spaceNote(const VideoItem& item) const;

    VideoListViewModel& m_viewModel;
    QPointer<ThumbnailLoader> m_thumbnails;
    VideoList m_rows;
    mutable std::optional<QHash<QString, int>> m_rowByID;  // built on first lookup
    int m_rowSetIdentity = 0;
    SizeCounts m_duplicateCounts;
    CopySummary m_copies;
    bool m_isKeptShown = false;
    SimilarSummary m_similar;
    bool m_isBestShown = false;
    std::int64_t m_peakBytes = 0;
};

}  // namespace reelkeep
