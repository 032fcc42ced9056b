// fingerprint.cpp: fingerprints and verified opening.
#include "platform/folder/fs/fingerprint.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <cerrno>

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

Result<UniqueFd> openVerifiedPath(const QByteArray& absolutePath, const FileFingerprint& expected) {
    const std::optional<SplitPath> split = splitPath(absolutePath);
    if (!split) return IoError::of(IoErrorKind::notRegularFile, IoOperation::open, absolutePath);
    Result<UniqueFd> folder = openFolder(split->parent);
    if (!folder) {
        if (isGoneErrno(folder.error().errorNumber()))
            return IoError::of(IoErrorKind::changed, IoOperation::open, absolutePath,
                               folder.error().errorNumber());
        return folder.error();
    }
    return openVerified(folder->get(), split->name, expected, absolutePath);
}

Result<UniqueFd> openFolder(const QByteArray& absolutePath) {
    return openFolderAt(AT_FDCWD, absolutePath, absolutePath);
}

Result<UniqueFd> openFolderAt(int dirFd, const QByteArray& name, const QByteArray& pathForErrors) {
    UniqueFd fd{::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (!fd) return IoError::fromErrno(IoOperation::open, pathForErrors);
    return fd;
}

}  // namespace reelkeep::fs
