// trash_restore.h: putting a video we moved to a freedesktop.org trash back
// where it was. The original path comes from the entry's .trashinfo; the move
// back is one rename that never replaces and never crosses a device, and the
// info file goes only once the video is back. Whatever fails, the video stays
// in the trash with its info file, and nothing at the original path changes.
#pragma once

#include <QByteArray>

#include "platform/folder/fs/fingerprint.h"
#include "platform/folder/fs/io_error.h"
#include "platform/folder/fs/trash.h"

namespace reelkeep::fs {

// The absolute original path that `infoContent` records for an entry of the
// trash folder `trashPath` (relative paths are taken from the trash's topdir);
// nothing when the content is not a trash info we can read.
std::optional<QByteArray> originalPathFromInfo(const QByteArray& infoContent, const QByteArray& trashPath);

// Moves `trashed.filePath` back to the path its info file names, if that is
// `originalPath` and the trashed file still has `expected`'s fingerprint.
// Errors: changed (the trashed copy was changed or is gone, or the info no
// longer names `originalPath`), alreadyExists (the original path is taken),
// crossDevice, or a system error of the failing step (the original folder is
// gone, say); in every error case the trashed file and its info file stay.
Result<void> restoreFromTrash(const TrashedFile& trashed, const QByteArray& originalPath,
                              const FileFingerprint& expected);

}  // namespace reelkeep::fs
