// video_cell_delegate.h: paints every cell of the video table: the thumbnail
// with name and badges, the size with its bar, and the text columns. One
// delegate for all rows; no widget per row. It paints what data() returns now.
#pragma once

#include <QStyledItemDelegate>

namespace reelkeep {

class VideoCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 50;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintName(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintSize(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintResolution(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const;
    void paintText(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

}  // namespace reelkeep
