// video_cell_delegate.cpp: cell painting. Colours come from the palette, so the
// light and dark themes both hold.
#include "video_cell_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include "model/texts.h"
#include "ui/icons.h"
#include "ui/video_table_model.h"

namespace reelkeep {

namespace {

constexpr int kPadding = 6;
constexpr QSize kThumbnailSize(64, 40);

QColor secondaryColor(const QStyleOptionViewItem& option) {
    const bool isSelected = option.state.testFlag(QStyle::State_Selected);
    QColor color = option.palette.color(isSelected ? QPalette::HighlightedText : QPalette::Text);
    color.setAlphaF(isSelected ? 0.85f : 0.6f);
    return color;
}

QColor primaryColor(const QStyleOptionViewItem& option) {
    return option.palette.color(option.state.testFlag(QStyle::State_Selected) ? QPalette::HighlightedText
                                                                              : QPalette::Text);
}

QColor accentColor(const QStyleOptionViewItem& option, float alpha) {
    QColor color = option.state.testFlag(QStyle::State_Selected)
                       ? option.palette.color(QPalette::HighlightedText)
                       : option.palette.color(QPalette::Highlight);
    color.setAlphaF(alpha);
    return color;
}

QFont smallFont(const QFont& base, double scale = 0.85) {
    QFont font = base;
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

// A capsule badge; returns its width, painting only when painter is given.
int badge(QPainter* painter, const QFont& font, const QString& text, QPoint topLeft, const QColor& textColor,
          const QColor& fill) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text) + 10;
    const int height = metrics.height() + 2;
    if (painter) {
        const QRectF box(topLeft, QSizeF(width, height));
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(box, height / 2.0, height / 2.0);
        painter->setPen(textColor);
        painter->setFont(font);
        painter->drawText(box, Qt::AlignCenter, text);
    }
    return width;
}

}  // namespace

QSize VideoCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(kRowHeight);
    return size;
}

void VideoCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    switch (index.column()) {
        case VideoTableModel::NameColumn:
            paintName(painter, option, index);
            break;
        case VideoTableModel::SizeColumn:
            paintSize(painter, option, index);
            break;
        case VideoTableModel::ResolutionColumn:
            paintResolution(painter, option, index);
            break;
        default:
            paintText(painter, option, index);
            break;
    }
    painter->restore();
}

void VideoCellDelegate::paintName(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QRect cell = option.rect.adjusted(kPadding, 0, -kPadding, 0);
    const QRect thumb(QPoint(cell.left(), cell.center().y() - kThumbnailSize.height() / 2 + 1),
                      kThumbnailSize);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(thumb), 4, 4);
    painter->save();
    painter->setClipPath(clip);
    const QImage image = index.data(VideoTableModel::ThumbnailRole).value<QImage>();
    if (!image.isNull()) {
        // Aspect fill: the clip crops the overflow.
        const QSizeF scaled =
            QSizeF(image.size()).scaled(QSizeF(thumb.size()), Qt::KeepAspectRatioByExpanding);
        const QRectF target(QPointF(thumb.center()) - QPointF(scaled.width() / 2, scaled.height() / 2),
                            scaled);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, image);
    } else {
        QColor fill = option.palette.color(QPalette::Text);
        fill.setAlphaF(0.08f);
        painter->fillRect(thumb, fill);
        const bool isScreenRecording = index.data(VideoTableModel::IsScreenRecordingRole).toBool();
        const QIcon icon =
            symbolIcon(isScreenRecording ? QStringLiteral("rectangle.on.rectangle") : QStringLiteral("film"));
        const QRect iconRect(thumb.center() - QPoint(8, 8), QSize(16, 16));
        icon.paint(painter, iconRect, Qt::AlignCenter, QIcon::Disabled);
    }
    painter->restore();

    // Badges go right after the name; the name gives way first.
    const QFont badgeFont = smallFont(option.font, 0.8);
    const int spacing = 8;
    enum class Tone { plain, copy, kept };
    QList<std::pair<QString, Tone>> badges;
    if (index.data(VideoTableModel::IsScreenRecordingRole).toBool())
        badges.append({reelkeep::tr("Screen recording"), Tone::plain});
    if (const QVariant copies = index.data(VideoTableModel::CopyCountRole); copies.isValid())
        badges.append({reelkeep::tr("Copy ×") + QString::number(copies.toInt()), Tone::copy});
    if (const QVariant count = index.data(VideoTableModel::DuplicateCountRole); count.isValid())
        badges.append({reelkeep::tr("Same size ×") + QString::number(count.toInt()), Tone::plain});
    if (index.data(VideoTableModel::IsKeptRole).toBool()) badges.append({reelkeep::tr("Kept"), Tone::kept});
    if (const QVariant similar = index.data(VideoTableModel::SimilarCountRole); similar.isValid())
        badges.append({reelkeep::tr("Similar ×") + QString::number(similar.toInt()), Tone::copy});
    if (index.data(VideoTableModel::IsBestVersionRole).toBool())
        badges.append({reelkeep::tr("Best version"), Tone::kept});
    if (const QVariant note = index.data(VideoTableModel::SpaceNoteRole); note.isValid())
        badges.append({note.toString(), Tone::plain});
    const bool isFavorite = index.data(VideoTableModel::IsFavoriteRole).toBool();
    const QFontMetrics badgeMetrics(badgeFont);
    int trailingWidth = 0;
    if (isFavorite) trailingWidth += spacing + badgeMetrics.horizontalAdvance(QChar(0x2665));
    for (const auto& [text, tone] : badges)
        trailingWidth += spacing + badge(nullptr, badgeFont, text, {}, {}, {});

    const int textLeft = thumb.right() + 1 + spacing;
    const int available = std::max(0, cell.right() - textLeft - trailingWidth);
    const QFontMetrics metrics(option.font);
    const QString name =
        metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, available);
    painter->setFont(option.font);
    painter->setPen(primaryColor(option));
    const QRect nameRect(textLeft, cell.top(), metrics.horizontalAdvance(name), cell.height());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);

    int x = nameRect.right() + 1;
    const int badgeTop = cell.center().y() - (badgeMetrics.height() + 2) / 2 + 1;
    if (isFavorite) {
        x += spacing;
        painter->setFont(badgeFont);
        painter->setPen(QColor(0xff, 0x2d, 0x78));  // pink
        const int heartWidth = badgeMetrics.horizontalAdvance(QChar(0x2665));
        painter->drawText(QRect(x, cell.top(), heartWidth, cell.height()), Qt::AlignCenter,
                          QString(QChar(0x2665)));
        x += heartWidth;
    }
    for (const auto& [text, tone] : badges) {
        x += spacing;
        QColor fill;
        QColor textColor;
        if (tone != Tone::plain) {
            textColor =
                tone == Tone::copy ? QColor(0xf0, 0x8a, 0x00) : QColor(0x28, 0xa7, 0x45);  // orange, green
            fill = textColor;
            fill.setAlphaF(0.15f);
        } else {
            textColor = secondaryColor(option);
            fill = option.palette.color(QPalette::Text);
            fill.setAlphaF(0.07f);
        }
        x += badge(painter, badgeFont, text, QPoint(x, badgeTop), textColor, fill);
    }
}

void VideoCellDelegate::paintSize(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QRect cell = option.rect.adjusted(kPadding, 0, -kPadding, 0);
    const QVariant fraction = index.data(VideoTableModel::SizeFractionRole);
    const QFontMetrics metrics(option.font);
    const int barHeight = 3;
    const int blockHeight = metrics.height() + (fraction.isValid() ? 3 + barHeight : 0);
    const int top = cell.center().y() - blockHeight / 2 + 1;
    const bool isSecondary = index.data(VideoTableModel::IsSecondaryTextRole).toBool();
    painter->setFont(option.font);
    painter->setPen(isSecondary ? secondaryColor(option) : primaryColor(option));
    painter->drawText(QRect(cell.left(), top, cell.width(), metrics.height()),
                      Qt::AlignRight | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    if (!fraction.isValid()) return;
    const QRectF track(cell.left(), top + metrics.height() + 3, cell.width(), barHeight);
    QPainterPath capsule;
    capsule.addRoundedRect(track, barHeight / 2.0, barHeight / 2.0);
    painter->setClipPath(capsule);
    const double filled = track.width() * fraction.toDouble();
    // Grows leftward from the right edge, under the right-aligned size.
    painter->fillRect(QRectF(track.right() - filled, track.top(), filled, track.height()),
                      accentColor(option, 0.55f));
}

void VideoCellDelegate::paintResolution(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    const QRect cell = option.rect.adjusted(kPadding, 0, -kPadding, 0);
    int x = cell.left();
    const QVariant isPortrait = index.data(VideoTableModel::IsPortraitRole);
    if (isPortrait.isValid()) {
        const QSizeF shape = isPortrait.toBool() ? QSizeF(8, 11) : QSizeF(12, 8);
        const QRectF glyph(x + (14 - shape.width()) / 2, cell.center().y() - shape.height() / 2 + 1,
                           shape.width(), shape.height());
        QColor tertiary = option.palette.color(
            option.state.testFlag(QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);
        tertiary.setAlphaF(0.45f);
        painter->setPen(QPen(tertiary, 1.2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(glyph, 1.5, 1.5);
        x += 14 + 5;
    }
    QFont font = option.font;
    const bool isFourK = index.data(VideoTableModel::IsFourKRole).toBool();
    font.setBold(isFourK);
    painter->setFont(font);
    painter->setPen(isFourK ? primaryColor(option) : secondaryColor(option));
    painter->drawText(QRect(x, cell.top(), cell.right() - x, cell.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(Qt::DisplayRole).toString());
}

void VideoCellDelegate::paintText(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QRect cell = option.rect.adjusted(kPadding, 0, -kPadding, 0);
    const bool isSecondary = index.data(VideoTableModel::IsSecondaryTextRole).toBool();
    const auto alignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
    painter->setFont(option.font);
    painter->setPen(isSecondary ? secondaryColor(option) : primaryColor(option));
    const QFontMetrics metrics(option.font);
    painter->drawText(
        cell, alignment | Qt::TextSingleLine,
        metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, cell.width()));
}

}  // namespace reelkeep
