// export.h: copying a video to a new file without ever replacing anything.
// The copy is made in full in an unnamed (or hidden) temporary in the
// destination folder, checked byte for byte count, flushed, and only then
// given its name with a call that fails rather than replace. On failure only
// our temporary goes; the source is only ever read.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <functional>
#include <stop_token>

#include "platform/folder/fs/io_error.h"
#include "platform/folder/fs/unique_fd.h"

namespace reelkeep::fs {

// The calls that move bytes, replaceable so a test can make the disk full or
// writes short without a full disk. Defaults: copy_file_range, write, fsync
// and O_TMPFILE (where it fails as unsupported, a hidden temporary name is used).
struct CopyCalls {
    // Like copy_file_range(in, &inOffset, out, nullptr, bytes, 0).
    std::function<ssize_t(int in, off_t* inOffset, int out, size_t bytes)> copyRange;
    std::function<ssize_t(int fd, const void* buffer, size_t bytes)> write;
    std::function<int(int fd)> fsync;
    // Like openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666).
    std::function<int(int folderFd)> openTmpFile;
};
CopyCalls systemCopyCalls();

// Told the bytes copied so far and the whole count, after each chunk, on the
// copying thread.
using CopyProgress = std::function<void(std::int64_t copiedBytes, std::int64_t totalBytes)>;

// A complete, flushed copy waiting for a name. Destroying it unpublished
// removes the temporary. Not thread-safe; one owner.
class StagedCopy {
public:
    StagedCopy(StagedCopy&&) noexcept;
    StagedCopy& operator=(StagedCopy&&) noexcept;
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;
    ~StagedCopy();

    // `name` must already be one safe path component. Fails with alreadyExists
    // when taken (the copy stays staged: call again with the next name), sameFile
    // when the name is the source itself, or a system error.
    Result<void> publish(const QByteArray& name);
    bool isPublished() const { return m_isPublished; }
    std::int64_t byteCount() const { return m_byteCount; }

private:
    friend Result<StagedCopy> stageCopy(int, const QByteArray&, int, const QByteArray&, const CopyCalls&,
                                        std::stop_token, const CopyProgress&);
    StagedCopy() = default;
    void discard();

    UniqueFd m_file;
    int m_folderFd = -1;  // borrowed; must outlive this object
    QByteArray m_folderPath;
    QByteArray m_tempName;  // empty for an O_TMPFILE file, which has no name to remove
    std::uint64_t m_sourceDevice = 0;
    std::uint64_t m_sourceInode = 0;
    std::int64_t m_byteCount = 0;
    bool m_isPublished = false;
};

// Copies the open `sourceFd` (already verified as the right file) into a
// temporary in `folderFd`. The paths only name things in errors. Fails with
// changed when the source is edited during the copy, sizeMismatch when the
// byte count differs, stopped, or the system error of the failing step.
// The new file's mode is 0666 & ~umask, never the source's.
Result<StagedCopy> stageCopy(int sourceFd, const QByteArray& sourcePath, int folderFd,
                             const QByteArray& folderPath, const CopyCalls& calls = systemCopyCalls(),
                             std::stop_token stop = {}, const CopyProgress& onProgress = {});

// stageCopy, then one publish(name): for a destination the user named exactly,
// where a taken name is an error.
Result<void> exportFile(int sourceFd, const QByteArray& sourcePath, int folderFd,
                        const QByteArray& folderPath, const QByteArray& name,
                        const CopyCalls& calls = systemCopyCalls(), std::stop_token stop = {},
                        const CopyProgress& onProgress = {});

}  // namespace reelkeep::fs
