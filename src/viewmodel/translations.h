// translations.h: the catalogues behind every tr() text. Reelkeep's own are
// built into the program; Qt's base catalogue (standard buttons, file dialogs)
// comes from the Qt installation, so both speak the same language.
#pragma once

#include <QLocale>

namespace reelkeep {

// Installs the catalogues for the first of the locale's UI languages that
// Reelkeep speaks (the system locale follows LANGUAGE, then LC_ALL/LC_MESSAGES/
// LANG). English always lies underneath, for its plural forms and for any text
// a translation lacks. Replaces what an earlier call installed.
void installTranslations(const QLocale& locale = QLocale::system());

}  // namespace reelkeep
