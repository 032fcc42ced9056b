// walk.h: finding the video files below the library's root folders.
// Regular files only, symlinks never followed, one entry per (device, inode) so
// a hard link or a second root can never make a fake duplicate; a folder that
// cannot be read is reported and skipped, never fatal.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "platform/folder/fs/fingerprint.h"
#include "platform/folder/fs/io_error.h"

namespace reelkeep::fs {

// Decides by the file name (raw bytes, no folder) alone; must be thread-safe,
// because the walk and the change watcher call it from their own threads.
using VideoNamePredicate = std::function<bool(const QByteArray& name)>;

// video/* by QMimeDatabase's extension match. One lookup per distinct extension:
// the database is slow and a library has a handful of extensions.
VideoNamePredicate defaultVideoNamePredicate();

struct WalkEntry {
    QByteArray path;  // canonical absolute path bytes
    FileFingerprint fingerprint;
    std::int64_t allocatedBytes = 0;  // st_blocks × 512: less than the length when sparse
    std::int64_t mtimeNs = 0;
    std::uint32_t linkCount = 1;    // st_nlink
    std::uint32_t linksInside = 1;  // of those, the names this walk found
};

struct WalkResult {
    std::vector<WalkEntry> entries;
    std::vector<QByteArray> walkedFolders;  // every folder read, roots included: what the watcher watches
    std::vector<IoError> skippedFolders;    // unreadable roots and folders, each once
    bool isStopped = false;                 // the stop token fired; the lists are partial
};

// Called after each folder with the files it added, before repeats are dropped:
// when the result ends up shorter, some of them were repeats.
using WalkProgress = std::function<void(std::span<const WalkEntry> found)>;

// Roots must be absolute; each is resolved to its canonical path first (a root
// may itself be a symlink the user chose), then nested duplicates are dropped.
WalkResult walkRoots(const std::vector<QByteArray>& roots, const VideoNamePredicate& isVideoName,
                     std::stop_token stop = {}, const WalkProgress& onFolderListed = {});

// Drops roots equal to or inside another (both cleaned); keeps first-seen order.
std::vector<QByteArray> dropNestedRoots(const std::vector<QByteArray>& roots);

// Everything root resolution looks at, injected so the rule is testable.
struct RootInputs {
    std::vector<QByteArray> explicitRoots;      // --library DIR…, REELKEEP_LIBRARY, the user's choice
    std::vector<QByteArray> defaultCandidates;  // XDG Videos, then Pictures
    QByteArray homePath;
    std::function<bool(const QByteArray&)> isExistingFolder;
};

struct ResolvedRoots {
    std::vector<QByteArray> roots;
    bool isExplicit = false;  // false: the defaults were used (or nothing was found)
};

// Explicit roots if any (kept even when missing: the caller reports them as
// unusable); else the default candidates that exist and are not $HOME, since
// xdg-user-dirs points a deleted Videos folder at the home folder.
ResolvedRoots resolveRoots(const RootInputs& inputs);

// The RootInputs of this session, from QStandardPaths and the file system.
RootInputs systemRootInputs(std::vector<QByteArray> explicitRoots);

}  // namespace reelkeep::fs
