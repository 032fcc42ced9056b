// root_state.cpp: mount tables and the classification of one root.
#include "platform/folder/fs/root_state.h"

#include <fcntl.h>
#include <mntent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QList>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

std::set<QByteArray> mountPointsIn(const char* table) {
    std::set<QByteArray> points;
    FILE* file = ::setmntent(table, "re");
    if (!file) return points;
    while (const mntent* entry = ::getmntent(file))
        if (entry->mnt_dir && entry->mnt_dir[0] == '/') points.insert(cleanPath(entry->mnt_dir));
    ::endmntent(file);
    return points;
}

// The folder a removable drive is mounted on: /media/NAME, /media/USER/NAME,
// /run/media/USER/NAME or /mnt/NAME (the deepest of those the path lies in).
QByteArray removableMountPoint(const QByteArray& path) {
    const QList<QByteArray> parts = path.split('/');  // "", "media", …
    const auto join = [&](int count) {
        QByteArray joined;
        for (int i = 1; i <= count && i < parts.size(); ++i) joined += '/' + parts[i];
        return joined;
    };
    if (parts.size() > 2 && parts[1] == "mnt") return join(2);
    if (parts.size() > 2 && parts[1] == "media") return join(parts.size() > 3 ? 3 : 2);
    if (parts.size() > 4 && parts[1] == "run" && parts[2] == "media") return join(4);
    return {};
}

}  // namespace

MountInputs systemMountInputs() {
    MountInputs inputs;
    inputs.mountedPoints = mountPointsIn("/proc/self/mounts");
    inputs.fstabPoints = mountPointsIn("/etc/fstab");
    inputs.probe = [](const QByteArray& path, bool* isFolder) {
        struct stat status {};
        if (::stat(path.constData(), &status) != 0) return errno;
        *isFolder = S_ISDIR(status.st_mode);
        return ::access(path.constData(), R_OK | X_OK) == 0 ? 0 : errno;
    };
    return inputs;
}

RootState rootState(const QByteArray& absolutePath, const MountInputs& inputs) {
    const QByteArray path = cleanPath(absolutePath);
    bool isFolder = false;
    const int error = inputs.probe ? inputs.probe(path, &isFolder) : ENOENT;
    const bool isMissing = error == ENOENT || error == ENOTDIR;
    // The deepest mount point the path needs: one fstab names, or, for a path
    // that is not there, the folder a removable drive would be mounted on (a
    // plain folder under /mnt that exists is just a folder).
    QByteArray expected;
    for (const QByteArray& point : inputs.fstabPoints)
        if (point != "/" && isSameOrInside(path, point) && point.size() > expected.size()) expected = point;
    const QByteArray removable = isMissing ? removableMountPoint(path) : QByteArray{};
    if (removable.size() > expected.size()) expected = removable;
    if (!expected.isEmpty() && !inputs.mountedPoints.contains(expected)) {
        // A drive mounted higher up may hold it: then what is there is the truth.
        const bool isCovered = std::any_of(
            inputs.mountedPoints.begin(), inputs.mountedPoints.end(),
            [&](const QByteArray& point) { return point != "/" && isSameOrInside(expected, point); });
        if (!isCovered) return RootState::notMounted;
    }
    if (isMissing) return RootState::missing;
    if (error != 0 || !isFolder) return RootState::unreadable;
    return RootState::available;
}

}  // namespace reelkeep::fs
