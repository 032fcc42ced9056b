// video_table_model.cpp: rows by identity, updated in place between row-set changes.
#include "video_table_model.h"

#include <QImage>
#include <QSet>
#include <algorithm>

#include "model/display_text.h"
#include "model/texts.h"
#include "ui/plain_text.h"
#include "ui/thumbnail_loader.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

namespace {

std::int64_t peakBytesOf(const VideoList& rows) {
    std::int64_t peak = 0;
    for (const VideoItem& item : rows)
        if (const auto bytes = item.sizeState().byteCount()) peak = std::max(peak, *bytes);
    return peak;
}

QSet<QString> identifiersOf(const VideoList& rows) {
    QSet<QString> ids;
    ids.reserve(rows.size());
    for (const VideoItem& item : rows) ids.insert(item.localIdentifier());
    return ids;
}

}  // namespace

VideoTableModel::VideoTableModel(VideoListViewModel& viewModel, QObject* parent)
    : QAbstractTableModel(parent), m_viewModel(viewModel) {
    m_rows = viewModel.visibleItems();
    m_rowSetIdentity = viewModel.rowSetIdentity();
    takeSnapshot(viewModel.duplicates().countsBySize);
    // Every installation, including one that changes only duplicate groups, ends
    // with this signal.
    connect(&viewModel, &VideoListViewModel::visibleItemsChanged, this, &VideoTableModel::refresh);
    connect(&viewModel, &VideoListViewModel::itemsChanged, this, &VideoTableModel::updateRows);
    connect(&viewModel, &VideoListViewModel::itemsRemoved, this, &VideoTableModel::removeRowsOf);
    connect(&viewModel, &VideoListViewModel::itemsInserted, this, &VideoTableModel::insertRowsOf);
}

void VideoTableModel::setThumbnailLoader(ThumbnailLoader* loader) {
    if (m_thumbnails) disconnect(m_thumbnails, nullptr, this, nullptr);
    m_thumbnails = loader;
    if (loader) connect(loader, &ThumbnailLoader::thumbnailReady, this, &VideoTableModel::thumbnailReady);
}

void VideoTableModel::takeSnapshot(const SizeCounts& duplicateCounts) {
    m_duplicateCounts = duplicateCounts;
    m_peakBytes = peakBytesOf(m_rows);
    m_rowByID.reset();
}

int VideoTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int VideoTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

int VideoTableModel::rowOf(const QString& localIdentifier) const {
    if (!m_rowByID) {
        m_rowByID.emplace();
        m_rowByID->reserve(m_rows.size());
        for (int row = 0; row < int(m_rows.size()); ++row)
            m_rowByID->insert(m_rows[row].localIdentifier(), row);
    }
    return m_rowByID->value(localIdentifier, -1);
}

// -- refresh --

bool VideoTableModel::takeCopies() {
    const CopySummary& copies = m_viewModel.duplicates().copies;
    const bool isKeptShown = m_viewModel.showsIdenticalCopies();
    const SimilarSummary& similar = m_viewModel.similar();
    const bool isBestShown = m_viewModel.showsSimilarVideos();
    if (isKeptShown == m_isKeptShown && copies == m_copies && isBestShown == m_isBestShown &&
        similar == m_similar)
        return false;
    m_copies = copies;
    m_isKeptShown = isKeptShown;
    m_similar = similar;
    m_isBestShown = isBestShown;
    return true;
}

void VideoTableModel::refresh() {
    const bool areCopiesChanged = takeCopies();
    const int identity = m_rowSetIdentity;
    showRows(m_viewModel.visibleItems(), m_viewModel.rowSetIdentity(), m_viewModel.duplicates().countsBySize);
    // Badges of rows kept in place follow the finished check.
    if (areCopiesChanged && identity == m_rowSetIdentity && !m_rows.isEmpty())
        emitDataChanged(0, int(m_rows.size()) - 1);
}

void VideoTableModel::showRows(const VideoList& next, int identity, const SizeCounts& duplicateCounts) {
    emit refreshStarted();
    if (identity != m_rowSetIdentity || !updateInPlace(next, duplicateCounts)) {
        beginResetModel();
        m_rows = next;
        m_rowSetIdentity = identity;
        takeSnapshot(duplicateCounts);
        endResetModel();
    }
    emit refreshFinished();
}

// -- an action's rows --

void VideoTableModel::updateRows(const QStringList& ids) {
    emit refreshStarted();
    const VideoList& next = m_viewModel.visibleItems();
    QList<int> changed;
    for (const QString& id : ids) {
        const int row = rowOf(id);
        if (row < 0 || row >= next.size() || next[row].localIdentifier() != id) continue;
        m_rows[row] = next[row];
        changed.append(row);
    }
    // Past half the rows, one signal for all: a view repaints them anyway.
    if (!finishNamedChange()) {
        if (changed.size() > m_rows.size() / 2)
            emitDataChanged(0, int(m_rows.size()) - 1);
        else
            for (const int row : std::as_const(changed)) emitDataChanged(row, row);
    }
    emit refreshFinished();
}

void VideoTableModel::removeRowsOf(const QStringList& ids) {
    emit refreshStarted();
    const QSet<QString> gone(ids.begin(), ids.end());
    removeRowsWhere([&](const QString& id) { return gone.contains(id); });
    finishNamedChange();
    emit refreshFinished();
}

void VideoTableModel::insertRowsOf(const QStringList& ids) {
    emit refreshStarted();
    const QSet<QString> added(ids.begin(), ids.end());
    insertRowsWhere(m_viewModel.visibleItems(), [&](const QString& id) { return added.contains(id); });
    finishNamedChange();
    emit refreshFinished();
}

// True when every row was signalled: the rows did not match the view model's (a
// reset then), or the groups, the peak or the copies that paint each row changed.
bool VideoTableModel::finishNamedChange() {
    const VideoList& next = m_viewModel.visibleItems();
    if (next.size() != m_rows.size()) {
        beginResetModel();
        m_rows = next;
        takeSnapshot(m_viewModel.duplicates().countsBySize);
        endResetModel();
        return true;
    }
    const SizeCounts& counts = m_viewModel.duplicates().countsBySize;
    const std::int64_t peak = peakBytesOf(m_rows);
    const bool areCopiesChanged = takeCopies();
    if (counts == m_duplicateCounts && peak == m_peakBytes && !areCopiesChanged) return false;
    m_duplicateCounts = counts;
    m_peakBytes = peak;
    if (!m_rows.isEmpty()) emitDataChanged(0, int(m_rows.size()) - 1);
    return true;
}

// -- a new list --

bool VideoTableModel::updateInPlace(const VideoList& next, const SizeCounts& duplicates) {
    if (m_rows.isEmpty()) {
        // Nothing shown yet, so nothing to keep: one insert, without keying
        // every row (the first rows of a scan arrive this way).
        if (!next.isEmpty()) {
            beginInsertRows({}, 0, int(next.size()) - 1);
            m_rows = next;
            takeSnapshot(duplicates);
            endInsertRows();
        }
        return true;
    }
    const QSet<QString> oldIDs = identifiersOf(m_rows);
    const QSet<QString> nextIDs = identifiersOf(next);
    // Identifiers that repeat cannot key rows; such lists are reset instead.
    if (oldIDs.size() != m_rows.size() || nextIDs.size() != next.size()) return false;

    if (countSpans(m_rows, nextIDs) + countSpans(next, oldIDs) > kMaxStructuralSpans) {
        relayout(next);
    } else {
        // Rows keep their old values until the last step, so every structural
        // signal describes rows whose data has not changed under the view.
        removeRowsWhere([&](const QString& id) { return !nextIDs.contains(id); });
        reorderKeptRows(next);
        insertRowsWhere(next, [&](const QString& id) { return !oldIDs.contains(id); });
    }

    const std::int64_t peak = peakBytesOf(next);
    // Badges and size bars of every row depend on these two.
    const bool isEveryRowDirty = duplicates != m_duplicateCounts || peak != m_peakBytes;
    m_duplicateCounts = duplicates;
    m_peakBytes = peak;
    replaceChangedRows(next, isEveryRowDirty);
    return true;
}

int VideoTableModel::countSpans(const VideoList& rows, const QSet<QString>& otherIDs) {
    int spans = 0;
    bool isInSpan = false;
    for (const VideoItem& item : rows) {
        const bool isOutside = !otherIDs.contains(item.localIdentifier());
        if (isOutside && !isInSpan) ++spans;
        isInSpan = isOutside;
    }
    return spans;
}

void VideoTableModel::relayout(const VideoList& next) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    QStringList persistentIDs;
    persistentIDs.reserve(persistent.size());
    for (const QModelIndex& index : persistent) persistentIDs.append(m_rows[index.row()].localIdentifier());
    // Old values for rows that stay, so the value pass after this signals them.
    QHash<QString, int> oldRow;
    oldRow.reserve(m_rows.size());
    for (int row = 0; row < int(m_rows.size()); ++row) oldRow.insert(m_rows[row].localIdentifier(), row);
    VideoList rows = next;
    for (int row = 0; row < int(rows.size()); ++row)
        if (const int old = oldRow.value(rows[row].localIdentifier(), -1); old >= 0) rows[row] = m_rows[old];
    m_rows = std::move(rows);
    m_rowByID.reset();
    // Mapped after the new rows are in place: index() only knows rows that exist.
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (int i = 0; i < int(persistent.size()); ++i) {
        const int row = rowOf(persistentIDs[i]);
        moved.append(row < 0 ? QModelIndex() : index(row, persistent[i].column()));
    }
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void VideoTableModel::removeRowsWhere(const std::function<bool(const QString&)>& isGone) {
    int row = int(m_rows.size()) - 1;
    while (row >= 0) {
        if (!isGone(m_rows[row].localIdentifier())) {
            --row;
            continue;
        }
        const int last = row;
        while (row > 0 && isGone(m_rows[row - 1].localIdentifier())) --row;
        beginRemoveRows({}, row, last);
        m_rows.remove(row, last - row + 1);
        m_rowByID.reset();
        endRemoveRows();
        --row;
    }
}

void VideoTableModel::reorderKeptRows(const VideoList& next) {
    QHash<QString, int> oldRow;
    oldRow.reserve(m_rows.size());
    for (int row = 0; row < int(m_rows.size()); ++row) oldRow.insert(m_rows[row].localIdentifier(), row);
    QList<int> newOrder;  // old rows in the order of next
    newOrder.reserve(m_rows.size());
    for (const VideoItem& item : next) {
        const auto found = oldRow.constFind(item.localIdentifier());
        if (found != oldRow.cend()) newOrder.append(*found);
    }
    bool isSameOrder = true;
    for (int i = 0; i < int(newOrder.size()) && isSameOrder; ++i) isSameOrder = newOrder[i] == i;
    if (isSameOrder) return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> newRowOfOld(newOrder.size());
    VideoList reordered;
    reordered.reserve(m_rows.size());
    for (int i = 0; i < int(newOrder.size()); ++i) {
        newRowOfOld[newOrder[i]] = i;
        reordered.append(m_rows[newOrder[i]]);
    }
    m_rows = std::move(reordered);
    m_rowByID.reset();
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& index : persistent)
        moved.append(this->index(newRowOfOld[index.row()], index.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void VideoTableModel::insertRowsWhere(const VideoList& next,
                                      const std::function<bool(const QString&)>& isNew) {
    int i = 0;
    while (i < int(next.size())) {
        if (!isNew(next[i].localIdentifier())) {
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < int(next.size()) && isNew(next[end].localIdentifier())) ++end;
        beginInsertRows({}, i, end - 1);
        m_rows.insert(i, end - i, next[i]);  // placeholders, overwritten below
        for (int row = i; row < end; ++row) m_rows[row] = next[row];
        m_rowByID.reset();
        endInsertRows();
        i = end;
    }
}

void VideoTableModel::replaceChangedRows(const VideoList& next, bool isEveryRowDirty) {
    Q_ASSERT(m_rows.size() == next.size());
    int spanStart = -1;
    QStringList changedIDs;  // read again: a file may have been replaced
    for (int row = 0; row < int(next.size()); ++row) {
        const bool isChanged = !(m_rows[row] == next[row]);
        if (isChanged) {
            m_rows[row] = next[row];
            changedIDs.append(next[row].localIdentifier());
        }
        if (isChanged && spanStart < 0) spanStart = row;
        if (!isChanged && spanStart >= 0 && !isEveryRowDirty) {
            emitDataChanged(spanStart, row - 1);
            spanStart = -1;
        }
    }
    if (m_thumbnails && !changedIDs.isEmpty()) m_thumbnails->reload(changedIDs);
    if (isEveryRowDirty && !m_rows.isEmpty()) {
        emitDataChanged(0, int(m_rows.size()) - 1);
    } else if (spanStart >= 0) {
        emitDataChanged(spanStart, int(m_rows.size()) - 1);
    }
}

void VideoTableModel::emitDataChanged(int firstRow, int lastRow) {
    emit dataChanged(index(firstRow, 0), index(lastRow, ColumnCount - 1));
}

void VideoTableModel::thumbnailReady(const QString& localIdentifier) {
    const int row = rowOf(localIdentifier);
    if (row < 0) return;  // scrolled away or filtered out meanwhile
    const QModelIndex cell = index(row, NameColumn);
    emit dataChanged(cell, cell, {ThumbnailRole});
}

// -- data --

QVariant VideoTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const VideoItem& item = m_rows.at(index.row());
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return displayData(item, column);
        case RawValueRole:
            return rawData(item, column);
        case IdentifierRole:
            return item.localIdentifier();
        case Qt::ToolTipRole:
            // Plain texts by construction: dates and "W × H" carry no markup.
            if (column == CreatedColumn) return dateTimeText(item.creationDate());
            // Two clip.mov in different folders differ only here.
            if (column == NameColumn)
                return plainToolTip(item.filePath().isEmpty() ? item.displayName() : item.filePath());
            if (column == FolderColumn && !item.folderPath().isEmpty())
                return plainToolTip(item.folderPath());
            if (column == ResolutionColumn)
                return resolutionDetailText(item.pixelWidth(), item.pixelHeight());
            return {};
        case Qt::AccessibleTextRole: {
            if (column == NameColumn) {
                QStringList parts{item.displayName()};
                if (item.isFavorite()) parts << reelkeep::tr("Favorite");
                if (item.isScreenRecording()) parts << reelkeep::tr("Screen recording");
                if (const int copies = m_copies.setSizeByID.value(item.localIdentifier()); copies > 0)
                    parts << reelkeep::tr("Copy ×") + QString::number(copies);
                if (const auto count = duplicateCount(item))
                    parts << reelkeep::tr("Same size ×") + QString::number(*count);
                if (m_isKeptShown && m_copies.keptIDs.contains(item.localIdentifier()))
                    parts << reelkeep::tr("Kept");
                if (const int similar = m_similar.setSizeByID.value(item.localIdentifier()); similar > 0)
                    parts << reelkeep::tr("Similar ×") + QString::number(similar);
                if (m_isBestShown && m_similar.bestIDs.contains(item.localIdentifier()))
                    parts << reelkeep::tr("Best version");
                if (const QString note = spaceNote(item); !note.isEmpty()) parts << note;
                return parts.join(QStringLiteral(", "));
            }
            if (column == ResolutionColumn && item.pixelWidth() > 0 && item.pixelHeight() > 0) {
                const QString orientation = item.pixelWidth() < item.pixelHeight()
                                                ? reelkeep::tr("Portrait")
                                                : reelkeep::tr("Landscape");
                return orientation + QStringLiteral(", ") + displayData(item, column).toString();
            }
            return displayData(item, column);
        }
        case Qt::TextAlignmentRole:
            if (column == SizeColumn || column == DurationColumn)
                return int(Qt::AlignRight | Qt::AlignVCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case ThumbnailRole:
            if (column == NameColumn && m_thumbnails) {
                const QImage image = m_thumbnails->image(item.localIdentifier());
                if (!image.isNull()) return image;
            }
            return {};
        case IsFavoriteRole:
            return item.isFavorite();
        case IsScreenRecordingRole:
            return item.isScreenRecording();
        case DuplicateCountRole:
            if (const auto count = duplicateCount(item)) return *count;
            return {};
        case CopyCountRole:
            if (const int copies = m_copies.setSizeByID.value(item.localIdentifier()); copies > 0)
                return copies;
            return {};
        case IsKeptRole:
            return m_isKeptShown && m_copies.keptIDs.contains(item.localIdentifier());
        case SimilarCountRole:
            if (const int similar = m_similar.setSizeByID.value(item.localIdentifier()); similar > 0)
                return similar;
            return {};
        case IsBestVersionRole:
            return m_isBestShown && m_similar.bestIDs.contains(item.localIdentifier());
        case SpaceNoteRole:
            if (const QString note = spaceNote(item); !note.isEmpty()) return note;
            return {};
        case SizeFractionRole: {
            const auto bytes = item.sizeState().byteCount();
            if (!bytes || m_peakBytes <= 0) return {};
            return std::clamp(double(*bytes) / double(m_peakBytes), 0.02, 1.0);
        }
        case IsPortraitRole:
            if (item.pixelWidth() <= 0 || item.pixelHeight() <= 0) return {};
            return item.pixelWidth() < item.pixelHeight();
        case IsFourKRole:
            return column == ResolutionColumn && isFourK(item.pixelWidth(), item.pixelHeight());
        case IsSecondaryTextRole:
            return column == CreatedColumn || (column == SizeColumn && item.sizeState().isUnknown()) ||
                   (column == ResolutionColumn && !isFourK(item.pixelWidth(), item.pixelHeight()));
        default:
            return {};
    }
}

QVariant VideoTableModel::displayData(const VideoItem& item, int column) const {
    switch (Column(column)) {
        case NameColumn:
            return item.displayName();
        case SizeColumn:
            return sizeText(item.sizeState().byteCount());
        case DurationColumn:
            return durationText(item.duration());
        case ResolutionColumn:
            return resolutionText(item.pixelWidth(), item.pixelHeight());
        case CreatedColumn:
            return dateText(item.creationDate());
        case FolderColumn:
            return item.folder();
        case ColumnCount:
            break;
    }
    return {};
}

QVariant VideoTableModel::rawData(const VideoItem& item, int column) const {
    switch (Column(column)) {
        case NameColumn:
            return item.displayName();
        case SizeColumn:
            if (const auto bytes = item.sizeState().byteCount()) return qint64(*bytes);
            return {};  // unknown: no number to compare
        case DurationColumn:
            return item.duration();
        case ResolutionColumn:
            return qint64(item.pixelWidth()) * qint64(item.pixelHeight());
        case CreatedColumn:
            return item.creationDate();
        case FolderColumn:
            return item.folder();
        case ColumnCount:
            break;
    }
    return {};
}

std::optional<int> VideoTableModel::duplicateCount(const VideoItem& item) const {
    const auto bytes = item.sizeState().byteCount();
    if (!bytes || m_copies.setSizeByID.contains(item.localIdentifier())) return std::nullopt;
    const auto found = m_duplicateCounts.constFind(*bytes);
    if (found == m_duplicateCounts.cend()) return std::nullopt;
    return *found;
}

QString VideoTableModel::spaceNote(const VideoItem& item) const {
    if (m_copies.hardLinkedIDs.contains(item.localIdentifier())) return reelkeep::tr("Hard-linked");
    if (m_copies.freeableByID.contains(item.localIdentifier())) return reelkeep::tr("Shared data");
    return {};
}

QVariant VideoTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    if (role == Qt::DisplayRole) {
        switch (Column(section)) {
            case NameColumn:
                return reelkeep::tr("Video");
            case SizeColumn:
                return reelkeep::tr("Size");
            case DurationColumn:
                return reelkeep::tr("Duration");
            case ResolutionColumn:
                return reelkeep::tr("Resolution");
            case CreatedColumn:
                return reelkeep::tr("Created");
            case FolderColumn:
                return reelkeep::tr("Folder");
            case ColumnCount:
                break;
        }
    }
    // The first click: names and folders A to Z, everything else largest or newest first.
    if (role == Qt::InitialSortOrderRole)
        return QVariant::fromValue(section == NameColumn || section == FolderColumn ? Qt::AscendingOrder
                                                                                    : Qt::DescendingOrder);
    if (role == Qt::TextAlignmentRole)
        return int((section == SizeColumn || section == DurationColumn ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags VideoTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void VideoTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount) return;
    m_viewModel.setTableSortOrder({comparatorFor(column, order)});
}

VideoTableSortComparator VideoTableModel::comparatorFor(int column, Qt::SortOrder order) {
    VideoSortColumn sortColumn = VideoSortColumn::name;
    switch (Column(column)) {
        case NameColumn:
        case ColumnCount:
            sortColumn = VideoSortColumn::name;
            break;
        case SizeColumn:
            sortColumn = VideoSortColumn::size;
            break;
        case DurationColumn:
            sortColumn = VideoSortColumn::duration;
            break;
        case ResolutionColumn:
            sortColumn = VideoSortColumn::resolution;
            break;
        case CreatedColumn:
            sortColumn = VideoSortColumn::creationDate;
            break;
        case FolderColumn:
            sortColumn = VideoSortColumn::folder;
            break;
    }
    return {sortColumn, order == Qt::AscendingOrder ? SortOrder::forward : SortOrder::reverse};
}

int VideoTableModel::columnOf(VideoSortColumn column) {
    switch (column) {
        case VideoSortColumn::name:
            return NameColumn;
        case VideoSortColumn::size:
            return SizeColumn;
        case VideoSortColumn::duration:
            return DurationColumn;
        case VideoSortColumn::resolution:
            return ResolutionColumn;
        case VideoSortColumn::creationDate:
            return CreatedColumn;
        case VideoSortColumn::folder:
            return FolderColumn;
    }
    return NameColumn;
}

Qt::SortOrder VideoTableModel::qtOrder(SortOrder order) {
    return order == SortOrder::forward ? Qt::AscendingOrder : Qt::DescendingOrder;
}

}  // namespace reelkeep
