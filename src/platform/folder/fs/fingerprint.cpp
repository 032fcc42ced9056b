// fingerprint.cpp: fingerprints and verified opening.
#include "platform/folder/fs/fingerprint.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QList>
#include <cerrno>
#include <climits>

#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

bool isGoneErrno(int errorNumber) {
    return errorNumber == ENOENT || errorNumber == ENOTDIR;
}

Result<void> compare(const struct stat& status, const FileFingerprint& expected, const QByteArray& path) {
    if (!S_ISREG(status.st_mode)) return IoError::of(IoErrorKind::changed, IoOperation::open, path);
    if (fingerprintOf(status) != expected) return IoError::of(IoErrorKind::changed, IoOperation::open, path);
    return {};
}

}  // namespace

FileFingerprint fingerprintOf(const struct stat& status) {
    return FileFingerprint{
        .device = static_cast<std::uint64_t>(status.st_dev),
        .inode = static_cast<std::uint64_t>(status.st_ino),
        .sizeBytes = static_cast<std::int64_t>(status.st_size),
        .mtimeNs = static_cast<std::int64_t>(status.st_mtim.tv_sec) * kNsPerSecond + status.st_mtim.tv_nsec,
        .ctimeNs = static_cast<std::int64_t>(status.st_ctim.tv_sec) * kNsPerSecond + status.st_ctim.tv_nsec,
    };
}

FileFingerprint fingerprintOf(const struct statx& status) {
    return FileFingerprint{
        // makedev() is how glibc's stat() encodes st_dev, so both overloads agree.
        .device = static_cast<std::uint64_t>(makedev(status.stx_dev_major, status.stx_dev_minor)),
        .inode = static_cast<std::uint64_t>(status.stx_ino),
        .sizeBytes = static_cast<std::int64_t>(status.stx_size),
        .mtimeNs =
            static_cast<std::int64_t>(status.stx_mtime.tv_sec) * kNsPerSecond + status.stx_mtime.tv_nsec,
        .ctimeNs =
            static_cast<std::int64_t>(status.stx_ctime.tv_sec) * kNsPerSecond + status.stx_ctime.tv_nsec,
    };
}

Result<struct stat> statAt(int dirFd, const QByteArray& name, const QByteArray& pathForErrors) {
    struct stat status {};
    if (::fstatat(dirFd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return IoError::fromErrno(IoOperation::inspect, pathForErrors);
    return status;
}

Result<struct stat> statFd(int fd, const QByteArray& pathForErrors) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return IoError::fromErrno(IoOperation::inspect, pathForErrors);
    return status;
}

Result<void> verifyAt(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                      const QByteArray& pathForErrors) {
    Result<struct stat> status = statAt(dirFd, name, pathForErrors);
    if (!status) {
        if (isGoneErrno(status.error().errorNumber()))
            return IoError::of(IoErrorKind::changed, IoOperation::open, pathForErrors,
                               status.error().errorNumber());
        return status.error();
    }
    return compare(status.value(), expected, pathForErrors);
}

Result<void> verifyMovedAt(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                           const QByteArray& pathForErrors) {
    Result<struct stat> status = statAt(dirFd, name, pathForErrors);
    if (!status) return IoError::of(IoErrorKind::changed, IoOperation::open, pathForErrors);
    FileFingerprint moved = expected;
    moved.ctimeNs = fingerprintOf(status.value()).ctimeNs;
    return compare(status.value(), moved, pathForErrors);
}

Result<UniqueFd> openVerified(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                              const QByteArray& pathForErrors) {
    if (Result<void> before = verifyAt(dirFd, name, expected, pathForErrors); !before) return before.error();
    UniqueFd fd{::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC)};
    if (!fd) {
        // ELOOP: the name became a symlink after the check.
        if (isGoneErrno(errno) || errno == ELOOP)
            return IoError::of(IoErrorKind::changed, IoOperation::open, pathForErrors, errno);
        return IoError::fromErrno(IoOperation::open, pathForErrors);
    }
    Result<struct stat> after = statFd(fd.get(), pathForErrors);
    if (!after) return after.error();
    if (Result<void> same = compare(after.value(), expected, pathForErrors); !same) return same.error();
    return fd;
}

namespace {

struct ScannedParent {
    UniqueFd folder;
    QByteArray name;
};

Result<ScannedParent> openScannedParent(const QByteArray& absolutePath) {
    std::optional<SplitPath> split = splitPath(absolutePath);
    if (!split) return IoError::of(IoErrorKind::notRegularFile, IoOperation::open, absolutePath);
    Result<UniqueFd> folder = openScannedFolder(split->parent);
    if (!folder) {
        const int error = folder.error().errorNumber();
        if (isGoneErrno(error) || error == ELOOP)
            return IoError::of(IoErrorKind::changed, IoOperation::open, absolutePath, error);
        return folder.error();
    }
    return ScannedParent{std::move(folder.value()), std::move(split->name)};
}

int openat2NoSymlinks(const QByteArray& absolutePath) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, absolutePath.constData(), &how, sizeof how));
}

}  // namespace

Result<UniqueFd> openScannedFolder(const QByteArray& absolutePath) {
    const QByteArray path = cleanPath(absolutePath);
    if (!path.startsWith('/')) return IoError::fromErrorNumber(IoOperation::open, path, EINVAL);
    if (path.size() < PATH_MAX) {
        UniqueFd fd{openat2NoSymlinks(path)};
        if (fd) return fd;
        // Older kernels and seccomp filters lack openat2; the walk below does the same.
        if (errno != ENOSYS && errno != EPERM && errno != E2BIG)
            return IoError::fromErrno(IoOperation::open, path);
    }
    UniqueFd current{::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (!current) return IoError::fromErrno(IoOperation::open, "/");
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty()) continue;
        // ".." could climb out of the tree the scan saw.
        if (part == "..") return IoError::fromErrorNumber(IoOperation::open, path, ELOOP);
        UniqueFd next{
            ::openat(current.get(), part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
        if (!next) return IoError::fromErrno(IoOperation::open, path);
        current = std::move(next);
    }
    return current;
}

Result<UniqueFd> openVerifiedPath(const QByteArray& absolutePath, const FileFingerprint& expected) {
    Result<ScannedParent> parent = openScannedParent(absolutePath);
    if (!parent) return parent.error();
    return openVerified(parent->folder.get(), parent->name, expected, absolutePath);
}

Result<void> verifyPath(const QByteArray& absolutePath, const FileFingerprint& expected) {
    Result<ScannedParent> parent = openScannedParent(absolutePath);
    if (!parent) return parent.error();
    return verifyAt(parent->folder.get(), parent->name, expected, absolutePath);
}

Result<struct stat> statScannedPath(const QByteArray& absolutePath) {
    const std::optional<SplitPath> split = splitPath(absolutePath);
    if (!split) return IoError::fromErrorNumber(IoOperation::inspect, absolutePath, EINVAL);
    Result<UniqueFd> folder = openScannedFolder(split->parent);
    if (!folder)
        return IoError::fromErrorNumber(IoOperation::inspect, absolutePath, folder.error().errorNumber());
    return statAt(folder->get(), split->name, absolutePath);
}

Result<struct stat> ScannedPathStat::operator()(const QByteArray& absolutePath) {
    const std::optional<SplitPath> split = splitPath(absolutePath);
    if (!split) return IoError::fromErrorNumber(IoOperation::inspect, absolutePath, EINVAL);
    if (!m_folder || split->parent != m_folderPath) {
        m_folderPath = split->parent;
        m_folder.emplace(openScannedFolder(split->parent));
    }
    if (!*m_folder)
        return IoError::fromErrorNumber(IoOperation::inspect, absolutePath, m_folder->error().errorNumber());
    return statAt(m_folder->value().get(), split->name, absolutePath);
}

Result<UniqueFd> openFolder(const QByteArray& absolutePath) {
    return openFolderAt(AT_FDCWD, absolutePath, absolutePath);
}

Result<UniqueFd> openChosenFolder(const QByteArray& absolutePath) {
    UniqueFd fd{::open(absolutePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (!fd) return IoError::fromErrno(IoOperation::open, absolutePath);
    return fd;
}

Result<UniqueFd> openFolderAt(int dirFd, const QByteArray& name, const QByteArray& pathForErrors) {
    UniqueFd fd{::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (!fd) return IoError::fromErrno(IoOperation::open, pathForErrors);
    return fd;
}

}  // namespace reelkeep::fs
