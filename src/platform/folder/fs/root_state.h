// root_state.h: whether a library folder can be read now, and if not, why, in
// the words a user acts on: missing, unreadable, or on a drive that is not
// mounted. Blocking (it asks the file system): call it on a worker thread.
#pragma once

#include <QByteArray>
#include <functional>
#include <set>

namespace reelkeep::fs {

enum class RootState { available, missing, unreadable, notMounted };

// What the classification looks at, injected so the rule is testable.
struct MountInputs {
    std::set<QByteArray> mountedPoints;  // /proc/self/mounts
    std::set<QByteArray> fstabPoints;    // /etc/fstab: where drives are meant to appear
    // stat(), then an access check for reading and listing: 0 or an errno.
    std::function<int(const QByteArray& path, bool* isFolder)> probe;
};

// This system's mounts and a real probe.
MountInputs systemMountInputs();

// A folder whose path lies below a mount point that is not mounted now (one
// from fstab, or a removable-drive folder under /media, /run/media or /mnt) is
// notMounted, even if an empty folder stands in for the drive.
RootState rootState(const QByteArray& absolutePath, const MountInputs& inputs);

}  // namespace reelkeep::fs
