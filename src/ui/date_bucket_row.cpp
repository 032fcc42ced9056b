// date_bucket_row.cpp: painting of a sidebar bucket row.
#include "date_bucket_row.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "model/display_text.h"
#include "model/texts.h"

namespace reelkeep {

DateBucketRow::DateBucketRow(DateBucketRowContent content, QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setCheckable(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setContent(std::move(content));
}

void DateBucketRow::setContent(DateBucketRowContent content) {
    m_content = std::move(content);
    setText(m_content.title);
    setAccessibleName(m_content.title + QStringLiteral(", ") + countText() + QStringLiteral(", ") +
                      byteCountText(m_content.bytes));
    update();
}

QString DateBucketRow::countText() const {
    return reelkeep::tr("%Ln video(s)", nullptr, int(m_content.count));
}

double DateBucketRow::fraction(std::int64_t bytes, std::int64_t largestBytes) {
    if (bytes <= 0 || largestBytes <= 0) return 0;
    return std::min(1.0, double(bytes) / double(largestBytes));
}

QSize DateBucketRow::sizeHint() const {
    const QFontMetrics metrics(font());
    return {200, metrics.height() + 10};
}

void DateBucketRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(m_content.isIndented ? 12 : 0, 1, 0, -1);
    QPainterPath clip;
    clip.addRoundedRect(box, 5, 5);
    painter.setClipPath(clip);
    QColor accent = palette().color(QPalette::Highlight);
    if (m_content.isSelected) {
        accent.setAlphaF(0.16f);
        painter.fillPath(clip, accent);
    }
    if (m_content.fraction) {
        const double f = std::max(0.012, std::clamp(*m_content.fraction, 0.0, 1.0));
        QColor bar = palette().color(QPalette::Highlight);
        bar.setAlphaF(m_content.isSelected ? 0.32f : 0.18f);
        painter.fillRect(QRectF(box.left(), box.top(), box.width() * f, box.height()), bar);
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    }
    painter.setClipping(false);

    const QRectF content = box.adjusted(6, 3, -6, -3);
    QFont titleFont = font();
    titleFont.setBold(m_content.isSelected);
    QFont smallFont = font();
    if (smallFont.pointSizeF() > 0) smallFont.setPointSizeF(smallFont.pointSizeF() * 0.85);
    QColor secondary = palette().color(QPalette::WindowText);
    secondary.setAlphaF(0.6f);

    double right = content.right();
    if (m_content.showsDisclosure) {
        QColor tertiary = palette().color(QPalette::WindowText);
        tertiary.setAlphaF(0.4f);
        painter.setPen(QPen(tertiary, 1.6));
        const QPointF mid(right - 3, content.center().y());
        painter.drawPolyline(QList<QPointF>{mid + QPointF(-3, -4), mid, mid + QPointF(-3, 4)});
        right -= 12;
    }
    const QString bytes = byteCountText(m_content.bytes);
    painter.setFont(smallFont);
    painter.setPen(secondary);
    const QFontMetricsF smallMetrics(smallFont);
    const double bytesWidth = smallMetrics.horizontalAdvance(bytes);
    painter.drawText(QRectF(right - bytesWidth, content.top(), bytesWidth, content.height()),
                     Qt::AlignRight | Qt::AlignVCenter, bytes);
    right -= bytesWidth + 6;

    const QFontMetricsF titleMetrics(titleFont);
    const QString count = countText();
    const double countWidth = smallMetrics.horizontalAdvance(count);
    const double titleWidth = std::max(0.0, std::min(titleMetrics.horizontalAdvance(m_content.title),
                                                     right - content.left() - countWidth - 8));
    painter.setFont(titleFont);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(content.left(), content.top(), titleWidth, content.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(m_content.title, Qt::ElideRight, titleWidth));
    painter.setFont(smallFont);
    painter.setPen(secondary);
    painter.drawText(QRectF(content.left() + titleWidth + 8, content.top(), countWidth, content.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, count);
}

}  // namespace reelkeep
