// icons.h: the window's symbols by their symbol names, mapped to freedesktop
// theme icons with a style icon behind each, so no button is ever blank.
#pragma once

#include <QIcon>
#include <QString>

namespace reelkeep {

// Picks an installed icon theme when the platform named none.
void ensureIconTheme();
// Light glyphs on dark palettes, for a theme this program picked itself; a theme
// the desktop chose is left to the desktop.
void matchIconTheme(bool isDark);
// name: a symbol name such as "trash" or "play.fill".
QIcon symbolIcon(const QString& name);

}  // namespace reelkeep
