// library_factory.h: where the executables get their library from: the folders
// the user named (or the default ones), or a simulated library for demos.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "library/photo_library_port.h"

namespace reelkeep {

class FolderChooser;

struct LibraryRequest {
    QStringList folders;           // --library, in order
    std::optional<int> demoCount;  // a simulated library of this many videos
    QString demoClipPath;          // the file every local demo video plays; empty: none
    // Asks for folders when none are configured; null: access is denied instead.
    std::shared_ptr<FolderChooser> chooser;
};

// Nothing when the requested kind of library cannot be built.
std::optional<LibraryPorts> openLibrary(const LibraryRequest& request);

// The file behind a folder library's identifier, as raw bytes (for JSON's
// path and path_bytes); nothing for identifiers of other libraries.
std::optional<QByteArray> libraryFilePath(const QString& localIdentifier);

// Lets the user choose the library folders again (the access settings); false
// when the library has no such choice (the demo).
bool reopenLibraryChooser(const LibraryPorts& ports);

}  // namespace reelkeep
