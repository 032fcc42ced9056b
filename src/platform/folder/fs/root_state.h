// root_state.h: whether a library folder can be read now, and if not, why, in
// the words a user acts on: missing, unreadable, on a drive that is not
// mounted, or on one that does not answer. Blocking (it asks the file system):
// call it on a worker thread; even there a check waits only so long.
#pragma once

#include <QByteArray>
#include <chrono>
#include <functional>
#include <set>

namespace reelkeep::fs {

enum class RootState { available, missing, unreadable, notMounted, notAnswering };

// stat(), then an access check for reading and listing: 0 or an errno.
using RootProbe = std::function<int(const QByteArray& path, bool* isFolder)>;

// What the classification looks at, injected so the rule is testable.
struct MountInputs {
    std::set<QByteArray> mountedPoints;  // /proc/self/mounts
    std::set<QByteArray> fstabPoints;    // /etc/fstab: where drives are meant to appear
    RootProbe probe;
};

// This system's mounts and a real probe.
MountInputs systemMountInputs();
RootProbe systemRootProbe();

// A drive spinning up answers within seconds; a stale NFS or sshfs mount never does.
inline constexpr std::chrono::milliseconds kRootAnswerLimit{10'000};

// The probe on a thread of its own, waited for at most `limit`; past it the
// answer is ETIMEDOUT. A stat on a dead network mount sleeps in the kernel
// where nothing interrupts it, so its thread is left to end when the mount
// does. While it waits, asking about the same path answers ETIMEDOUT at once:
// one dead mount holds one thread, however often it is asked about.
RootProbe probeWithAnswerLimit(RootProbe probe, std::chrono::milliseconds limit);

// A folder whose path lies below a mount point that is not mounted now (one
// from fstab, or a removable-drive folder under /media, /run/media or /mnt) is
// notMounted, even if an empty folder stands in for the drive.
RootState rootState(const QByteArray& absolutePath, const MountInputs& inputs);

}  // namespace reelkeep::fs
