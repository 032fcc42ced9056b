// texts.h: the one lookup every user-visible text outside a QObject goes through,
// keyed by its English text. lupdate files `reelkeep::tr()` (and a bare `tr()` in a
// function of this namespace) under the context "reelkeep", so the lookup uses that
// context too; a tr() inside any other non-QObject class would be filed elsewhere
// and never found, which the translation check refuses.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace reelkeep {

inline constexpr const char* kTextContext = "reelkeep";

// With a count n, "%n" becomes the number in the user's digits and the translation
// picks the plural form for it (English too: the English catalogue holds both forms).
inline QString tr(const char* english, const char* disambiguation = nullptr, int n = -1) {
    return QCoreApplication::translate(kTextContext, english, disambiguation, n);
}

}  // namespace reelkeep
