// fingerprint.h: what identifies "the file the user saw", and opening only that file.
// Any difference in device, inode, size, mtime or ctime means the scanned file is
// gone: a replaced, renamed-over or edited file is never acted on in its place.
// ctime counts because an edit can put mtime back (touch -d, rsync -t); it cannot.
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
    std::int64_t ctimeNs = 0;

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

// The same file after a move of ours: link() and, on some file systems, rename()
// set ctime, so everything but ctime must still match.
Result<void> verifyMovedAt(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                           const QByteArray& pathForErrors);

// Opens dirFd/name for reading only if it is still the regular file of `expected`:
// checked before opening (so a FIFO or device is never opened) and again on the
// open descriptor (so a swap in between is caught). O_NONBLOCK|O_NOFOLLOW.
Result<UniqueFd> openVerified(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                              const QByteArray& pathForErrors);
// The same for a scanned absolute path, through openScannedFolder of its parent.
Result<UniqueFd> openVerifiedPath(const QByteArray& absolutePath, const FileFingerprint& expected);
// Verifies a scanned absolute path in place (verifyAt through openScannedFolder).
Result<void> verifyPath(const QByteArray& absolutePath, const FileFingerprint& expected);

// The folder of a scanned path, following no symlink at all: a scan lists
// canonical paths only, so a symlink on the way means a folder was swapped
// after the scan and the path now leads somewhere else. Works past PATH_MAX
// (component by component). ELOOP or ENOTDIR when something was swapped.
Result<UniqueFd> openScannedFolder(const QByteArray& absolutePath);

// lstat() of a scanned absolute path through openScannedFolder of its parent:
// no symlink on the way, and past PATH_MAX, where lstat() says ENAMETOOLONG.
Result<struct stat> statScannedPath(const QByteArray& absolutePath);

// statScannedPath for many paths: paths of one folder given one after another
// share one descriptor of it, so a folder costs one path walk, not one a file.
class ScannedPathStat {
public:
    Result<struct stat> operator()(const QByteArray& absolutePath);

private:
    QByteArray m_folderPath;
    std::optional<Result<UniqueFd>> m_folder;
};

// A folder for *at() calls. Symlinks are followed only in the parent chain the
// caller gave; the final component must be a real folder.
Result<UniqueFd> openFolder(const QByteArray& absolutePath);
Result<UniqueFd> openFolderAt(int dirFd, const QByteArray& name, const QByteArray& pathForErrors);

// The folder the user chose to write into, symlinks followed all the way: a
// linked ~/Videos is theirs. Names in it are still only ever created new.
Result<UniqueFd> openChosenFolder(const QByteArray& absolutePath);

}  // namespace reelkeep::fs
