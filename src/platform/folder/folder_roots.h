// folder_roots.h: which folders the library is, and whether they can be read.
// The folders named on the command line win, then the user's saved choice, then
// the sample library, then the standard folders. Checks of a folder may block on
// a hung drive (each is time-limited); the chooser runs on the caller's thread.
// Thread-safe.
#pragma once

#include <QByteArray>
#include <mutex>
#include <optional>
#include <vector>

#include "library/photo_library_port.h"
#include "platform/folder/folder_choice.h"
#include "platform/folder/fs/root_state.h"

namespace reelkeep {

struct FolderLibraryOptions;

// The library folders now.
struct RootAccess {
    std::vector<QByteArray> roots;   // configured or default, cleaned
    std::vector<QByteArray> usable;  // those that can be read now
    AuthorizationStatus status = AuthorizationStatus::notDetermined;

    bool isGranted() const {
        return status == AuthorizationStatus::authorized || status == AuthorizationStatus::limited;
    }
};

// Symlinks resolved, as the walk reports paths; the path itself when it cannot be.
QByteArray resolvedOrSame(const QByteArray& path);

class FolderRoots {
public:
    // `options` must outlive this.
    explicit FolderRoots(const FolderLibraryOptions& options);

    // Blocking: the roots may sit on a drive that hangs a stat() for minutes.
    RootAccess resolve() const;
    // Asks the chooser when no folder was ever named and the standard ones are
    // not there; keeps the answer (a refusal too).
    void chooseIfUndecided();
    // Asks the chooser again and keeps the answer.
    void choose();
    LibraryFolderList libraryFolders() const;
    bool setLibraryFolders(const std::vector<QByteArray>& folders);

private:
    std::optional<FolderChoice> savedChoice() const;
    bool saveChoice(const std::vector<QByteArray>& folders);
    QString choicePath() const;

    const FolderLibraryOptions& m_options;
    const fs::RootProbe m_rootProbe;  // time-limited: a dead network mount answers "not answering"
    mutable std::mutex m_mutex;
    std::optional<FolderChoice> m_unsavedChoice;  // kept for the session when saving failed
};

}  // namespace reelkeep
