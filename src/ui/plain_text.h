// plain_text.h: tooltips that show a name exactly. Qt guesses whether a tooltip
// is rich text, so a file named "<img src=…>" would render as markup; this
// states rich text explicitly and escapes the name inside it.
#pragma once

#include <QString>

namespace reelkeep {

inline QString plainToolTip(const QString& text) {
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

}  // namespace reelkeep
