// trash.h: moving one video to a freedesktop.org trash, implemented by us.
// The complete .trashinfo is written and flushed before the video moves; the
// move is one rename that never replaces and never crosses a device. A video
// is never copied, never unlinked: whatever fails, it stays where it was.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QDateTime>
#include <optional>

#include "platform/folder/fs/fingerprint.h"
#include "platform/folder/fs/io_error.h"

namespace reelkeep::fs {

struct TrashOptions {
    // $XDG_DATA_HOME/Trash; nullopt skips the home trash (tests, or no data home).
    std::optional<QByteArray> homeTrashPath;
    uid_t uid = 0;
    // The mount point holding the file; nullopt finds it by walking up while st_dev stays.
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
// Errors: changed (gone or edited), crossDevice, noTrash, or a system error of
// the failing step; in every error case the video is untouched and no info file
// of ours remains.
Result<TrashedFile> moveToTrash(const QByteArray& path, const FileFingerprint& expected,
                                const TrashOptions& options);

// The highest folder above `absolutePath` on the same device: the mount point.
Result<QByteArray> findTopdir(const QByteArray& absolutePath);

// "[Trash Info]" with Path percent-encoded and DeletionDate as YYYY-MM-DDThh:mm:ss.
QByteArray trashInfoContent(const QByteArray& originalPath, const QDateTime& deletionTime);

// A name for files/ and info/ that fits NAME_MAX with ".trashinfo" added;
// `attempt` > 1 adds a counter before the extension ("clip.2.mp4").
QByteArray trashEntryName(const QByteArray& fileName, int attempt);

}  // namespace reelkeep::fs
