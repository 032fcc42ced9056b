// library_factory.h: where the executables get their library from: the folders
// the user named (or the default ones), or a simulated library for demos.
#pragma once

#include <QStringList>
#include <optional>

#include "library/photo_library_port.h"

namespace reelkeep {

struct LibraryRequest {
    QStringList folders;           // --library, in order
    std::optional<int> demoCount;  // a simulated library of this many videos
};

// Nothing when the requested kind of library cannot be built.
std::optional<LibraryPorts> openLibrary(const LibraryRequest& request);

}  // namespace reelkeep
