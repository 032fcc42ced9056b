// library_factory.h: where the executables get their library from: the folders
// the user named (or the default ones), or a simulated library for demos.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/scan_report.h"
#include "library/photo_library_port.h"
#include "model/video_date.h"
#include "model/video_item.h"
#include "platform/folder/media/thumbnail_workers.h"

namespace reelkeep {

class FolderChooser;

struct LibraryRequest {
    QStringList folders;  // --library, in order
    // The same as the raw bytes of argv, used instead of `folders` when set:
    // a name that is not UTF-8 survives only this way.
    std::vector<QByteArray> folderBytes;
    std::optional<int> demoCount;  // a simulated library of this many videos
    QString demoClipPath;          // the file every local demo video plays; empty: none
    // A generated sample library (scripts/run makes one), listed instead of the
    // standard folders until the user chooses folders; empty: none.
    QString sampleFolder;
    // Asks for folders when none are configured; null: access is denied instead.
    std::shared_ptr<FolderChooser> chooser;
    // The executable whose worker mode reads and decodes the files.
    media::WorkerCommand worker = media::selfWorkerCommand();
};

LibraryPorts openLibrary(const LibraryRequest& request);

// The file behind a folder library's identifier, as raw bytes (for JSON's
// path and path_bytes); nothing for identifiers of other libraries.
std::optional<QByteArray> libraryFilePath(const QString& localIdentifier);

// The file facts of each of these videos by its position among them, read from
// the library as each is asked for, so the library must stay open until the
// list is printed; a demo's have a path at most.
std::function<FileFacts(std::size_t item)> fileFactsOf(const LibraryPorts& ports, const VideoList& items);

// Lets the user choose the library folders again (the access settings); false
// when the library has no such choice (the demo).
bool reopenLibraryChooser(const LibraryPorts& ports);

}  // namespace reelkeep
