// trash.h: moving one video to a freedesktop.org trash, implemented by us.
// The complete .trashinfo is written and flushed before the video moves; the
// move is one rename that never replaces and never crosses a device (or, where
// a FUSE file system has no such rename, a hard link and an unlink). A video is
// never copied: whatever fails, it stays where it was. A trash folder is only
// used where a file manager looks for it (the home trash, or the root of a
// real mount); elsewhere the move is refused and no folder is created.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QDateTime>
#include <functional>
#include <optional>
#include <vector>

#include "platform/folder/fs/fingerprint.h"
#include "platform/folder/fs/io_error.h"

namespace reelkeep::fs {

// The moments a test may change the file system at, to stage a swap race.
enum class TrashStep { beforeMove, afterMove };

struct TrashOptions {
    // $XDG_DATA_HOME/Trash; nullopt skips the home trash (tests, or no data home).
    std::optional<QByteArray> homeTrashPath;
    uid_t uid = 0;
    // The mount point holding the file, taken as is (tests); nullopt finds it in
    // /proc/self/mountinfo and refuses system-internal mounts and folders below
    // a mount that are on another device (a btrfs subvolume).
    std::optional<QByteArray> topdir;
    // Written as DeletionDate in local time; the current time when empty.
    std::optional<QDateTime> deletionTime;
};

// The options for this user and session.
TrashOptions systemTrashOptions();

struct TrashedFile {
    QByteArray trashPath;  // the trash folder used (the one holding files/ and info/)
    QByteArray filePath;   // where the video now is: trashPath/files/NAME
    QByteArray infoPath;   // trashPath/info/NAME.trashinfo
};

// Moves `path` to the trash if it still has `expected`'s fingerprint.
// Errors: changed (gone or edited), crossDevice, noTrash, notPutBack, or a
// system error of the failing step; in every error case but notPutBack the
// video is untouched, and no info file or trash folder made by this call remains.
Result<TrashedFile> moveToTrash(const QByteArray& path, const FileFingerprint& expected,
                                const TrashOptions& options);
// The same, calling `onStep` (tests only) after the last check before the move and right after it.
Result<TrashedFile> moveToTrash(const QByteArray& path, const FileFingerprint& expected,
                                const TrashOptions& options, const std::function<void(TrashStep)>& onStep);

// The highest folder above `absolutePath` on the same device: the mount point.
Result<QByteArray> findTopdir(const QByteArray& absolutePath);

// One line of /proc/self/mountinfo, with the octal escapes of its paths undone.
struct MountEntry {
    int mountId = 0;
    QByteArray mountPoint;
    QByteArray fsType;
    QByteArray source;
    QByteArray options;  // per-mount and super-block options, comma-joined
};
std::vector<MountEntry> parseMountInfo(const QByteArray& mountInfo);

// Mounts no desktop keeps a trash on: kernel and memory file systems, overlays,
// system folders, and mounts marked x-gvfs-notrash (GLib's rule, so that
// both agree on where a trash may be).
bool isSystemInternalMount(const MountEntry& mount);

// The topdir trash folder of the folder `folderFd` (at `folderPath`): the root
// of its mount when that mount may hold a trash, else noTrash naming `path`.
Result<QByteArray> findTrashTopdir(int folderFd, const QByteArray& folderPath, const QByteArray& path);

// "[Trash Info]" with Path percent-encoded and DeletionDate as YYYY-MM-DDThh:mm:ss.
QByteArray trashInfoContent(const QByteArray& originalPath, const QDateTime& deletionTime);

// A name for files/ and info/ that fits NAME_MAX with ".trashinfo" added;
// `attempt` > 1 adds a counter before the extension ("clip.2.mp4").
QByteArray trashEntryName(const QByteArray& fileName, int attempt);

}  // namespace reelkeep::fs
