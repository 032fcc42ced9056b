// folder_options.h: what a folder library is made with: where its folders,
// stores and caches are, and what stands in for the system in tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "platform/folder/fs/change_watcher.h"
#include "platform/folder/fs/root_state.h"
#include "platform/folder/fs/trash.h"
#include "platform/folder/fs/walk.h"
#include "platform/folder/media/fd_input.h"
#include "platform/folder/media/thumbnail_workers.h"

namespace reelkeep {

// The window's folder picker: the one "prompt" of this library. Called on the
// thread that asks for access (the main thread); nothing means the user declined.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    virtual std::optional<std::vector<QByteArray>> chooseFolders() = 0;
};

struct FolderLibraryOptions {
    // --library / REELKEEP_LIBRARY, absolute byte paths; empty: the saved choice, then the defaults.
    std::vector<QByteArray> explicitRoots;
    QString explicitRootsSource;  // what gave explicitRoots, as the user would type it ("--library")
    // A generated sample library that stands in for the standard folders until the
    // user chooses some; empty: none.
    QByteArray sampleRoot;
    // Where the folders the user chose are kept; empty: $XDG_CONFIG_HOME/reelkeep/library-folders.
    QString choicePath;
    // What default-root resolution looks at; empty: this session's (fs::systemRootInputs).
    std::optional<fs::RootInputs> defaultRootInputs;
    // What root states look at; empty: this system's mount tables (fs::systemMountInputs).
    std::optional<fs::MountInputs> mountInputs;
    // How long a check of a library folder waits before calling it not answering.
    std::chrono::milliseconds rootAnswerLimit = fs::kRootAnswerLimit;
    // Null: a request for access answers "denied" without asking (the command line).
    std::shared_ptr<FolderChooser> chooser;
    // Fingerprint workers at the lowest priority, which the window wants; tests
    // turn it off so that other tests busy on every core cannot starve them.
    bool fingerprintsInBackground = true;
    QString favoritesPath;                  // empty: store::FavoritesStore::defaultPath()
    QString indexPath;                      // empty: store::MetadataIndex::defaultPath()
    QString thumbnailCacheRoot;             // empty: media::ThumbnailDiskCache::defaultRoot()
    std::optional<fs::TrashOptions> trash;  // empty: fs::systemTrashOptions()
    fs::VideoNamePredicate isVideoName;     // empty: fs::defaultVideoNamePredicate()
    fs::WatchTiming watchTiming;
    media::InputLimits readLimits;
    // Thumbnails are decoded and containers read in these worker processes (the
    // application: the lean `reelkeep`, or the running executable where that is
    // missing); empty: in this process.
    std::optional<media::WorkerCommand> thumbnailWorker;
};

}  // namespace reelkeep
