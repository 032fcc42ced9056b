// file_names.h: names that come from library metadata made safe before they
// touch the file system or the pasteboard. A name is hostile until proven
// otherwise: it may hold "/", control characters, line breaks or 300 bytes.
#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace reelkeep {

// Largest counter tried before a download gives up instead of looping.
inline constexpr int kMaxNameCounter = 9999;

// One safe path component: the last component only; "/", NUL and control
// characters become "_"; "", "." and ".." become "video"; the base is shortened
// on a UTF-8 boundary so that "base (9999).ext" fits in 255 bytes. A valid name
// comes back unchanged.
QString safeFileComponent(const QString& name);

// Split at the last "." that is not the first character (".mov" has no extension).
struct NameParts {
    QString base;
    QString extension;  // without the dot; empty when there is none
};
NameParts splitExtension(const QString& name);

// The first free name: the name itself, then "base (2).ext", "base (3).ext", …
// A name is free when it is not in usedNames (exact) and isTaken says no.
std::optional<QString> uniqueName(const QString& safeName, const QSet<QString>& usedNames,
                                  const std::function<bool(const QString&)>& isTaken);

// A name or path on one line of the pasteboard: line breaks become spaces, so
// that a list pastes as one entry a line.
QString pasteboardLine(const QString& text);

}  // namespace reelkeep
