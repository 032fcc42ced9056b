// fingerprint.h: what identifies "the file the user saw", and opening only that file.
// Any difference in device, inode, size or mtime means the scanned file is gone:
// a replaced, renamed-over or edited file is never acted on in its place.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <cstdint>

#include "platform/folder/fs/io_error.h"
#include "platform/folder/fs/unique_fd.h"

namespace reelkeep::fs {

struct FileFingerprint {
    std::uint64_t device = 0;  // st_dev as stat() encodes it
    std::uint64_t inode = 0;
    std::int64_t sizeBytes = 0;
    std::int64_t mtimeNs = 0;

    friend bool operator==(const FileFingerprint&, const FileFingerprint&) = default;
};

FileFingerprint fingerprintOf(const struct stat& status);
FileFingerprint fingerprintOf(const struct statx& status);

// fstatat(AT_SYMLINK_NOFOLLOW): a symlink reports itself, never its target.
Result<struct stat> statAt(int dirFd, const QByteArray& name, const QByteArray& pathForErrors);
Result<struct stat> statFd(int fd, const QByteArray& pathForErrors);

// Fails with `changed` unless dirFd/name is a regular file (not a symlink) whose
// fingerprint equals `expected`. ENOENT and ENOTDIR also count as `changed`.
Result<void> verifyAt(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                      const QByteArray& pathForErrors);

// Opens dirFd/name for reading only if it is still the regular file of `expected`:
// checked before opening (so a FIFO or device is never opened) and again on the
// open descriptor (so a swap in between is caught). O_NONBLOCK|O_NOFOLLOW.
Result<UniqueFd> openVerified(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                              const QByteArray& pathForErrors);
// The same for an absolute path, through its parent folder.
Result<UniqueFd> openVerifiedPath(const QByteArray& absolutePath, const FileFingerprint& expected);

// A folder for *at() calls. Symlinks are followed only in the parent chain the
// caller gave; the final component must be a real folder.
Result<UniqueFd> openFolder(const QByteArray& absolutePath);
Result<UniqueFd> openFolderAt(int dirFd, const QByteArray& name, const QByteArray& pathForErrors);

}  // namespace reelkeep::fs
