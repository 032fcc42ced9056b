// plain_text.h: labels and tooltips that show a name exactly. Qt guesses
// whether a text is rich text, so a file named "<img src=…>" would render as
// markup; labels are told they hold plain text, and tooltips state rich text
// explicitly and escape the name inside it.
#pragma once

#include <QLabel>
#include <QString>

namespace reelkeep {

inline QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

inline QString plainToolTip(const QString& text) {
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

}  // namespace reelkeep
