// texts.h: the one lookup every user-visible text goes through, keyed by its
// English text, so a translation can be dropped in without touching callers.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace reelkeep {

inline constexpr const char* kTextContext = "Reelkeep";

inline QString tr(const char* english) {
    return QCoreApplication::translate(kTextContext, english);
}

}  // namespace reelkeep
