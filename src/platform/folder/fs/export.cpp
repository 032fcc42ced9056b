// export.cpp: staged copy, checked writes, publish without replacing.
#include "platform/folder/fs/export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/folder/fs/fingerprint.h"

namespace reelkeep::fs {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
// copy_file_range moves at most about 2 GiB per call anyway; a bound keeps the
// stop token responsive on a slow disk.
constexpr std::int64_t kCopyChunkBytes = std::int64_t{1} << 28;
constexpr int kMaxTempAttempts = 100;

QByteArray joinPath(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool isCopyRangeUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL || error == EBADF ||
           error == EPERM;
}

bool isTmpFileUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

bool isOneSafeComponent(const QByteArray& name) {
    return !name.isEmpty() && name != "." && name != ".." && name.size() <= NAME_MAX && !name.contains('/') &&
           !name.contains('\0');
}

}  // namespace

CopyCalls systemCopyCalls() {
    return CopyCalls{
        .copyRange = [](int in, off_t* inOffset, int out,
                        size_t bytes) { return ::copy_file_range(in, inOffset, out, nullptr, bytes, 0); },
        .write = [](int fd, const void* buffer, size_t bytes) { return ::write(fd, buffer, bytes); },
        .fsync = [](int fd) { return ::fsync(fd); },
        .openTmpFile =
            [](int folderFd) { return ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); },
    };
}

StagedCopy::StagedCopy(StagedCopy&& other) noexcept
    : m_file(std::move(other.m_file)),
      m_folderFd(other.m_folderFd),
      m_folderPath(std::move(other.m_folderPath)),
      m_tempName(std::exchange(other.m_tempName, {})),
      m_sourceDevice(other.m_sourceDevice),
      m_sourceInode(other.m_sourceInode),
      m_byteCount(other.m_byteCount),
      m_isPublished(std::exchange(other.m_isPublished, true)) {}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept {
    if (this == &other) return *this;
    discard();
    m_file = std::move(other.m_file);
    m_folderFd = other.m_folderFd;
    m_folderPath = std::move(other.m_folderPath);
    m_tempName = std::exchange(other.m_tempName, {});
    m_sourceDevice = other.m_sourceDevice;
    m_sourceInode = other.m_sourceInode;
    m_byteCount = other.m_byteCount;
    m_isPublished = std::exchange(other.m_isPublished, true);
    return *this;
}

StagedCopy::~StagedCopy() {
    discard();
}

void StagedCopy::discard() {
    if (!m_isPublished && !m_tempName.isEmpty() && m_file) {
        // Remove the name only while it is still our file, never someone else's.
        struct stat byName {};
        struct stat ours {};
        if (::fstatat(m_folderFd, m_tempName.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
            ::fstat(m_file.get(), &ours) == 0 && byName.st_dev == ours.st_dev && byName.st_ino == ours.st_ino)
            ::unlinkat(m_folderFd, m_tempName.constData(), 0);
    }
    m_tempName.clear();
    m_file.reset();  // an unnamed O_TMPFILE file vanishes here
}

Result<void> StagedCopy::publish(const QByteArray& name) {
    const QByteArray path = joinPath(m_folderPath, name);
    if (!isOneSafeComponent(name)) return IoError::fromErrorNumber(IoOperation::publish, path, EINVAL);
    if (m_isPublished || !m_file) return IoError::fromErrorNumber(IoOperation::publish, path, EALREADY);

    struct stat existing {};
    if (::fstatat(m_folderFd, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (static_cast<std::uint64_t>(existing.st_dev) == m_sourceDevice &&
            static_cast<std::uint64_t>(existing.st_ino) == m_sourceInode)
            return IoError::of(IoErrorKind::sameFile, IoOperation::publish, path);
        return IoError::of(IoErrorKind::alreadyExists, IoOperation::publish, path, EEXIST);
    }

    int result = 0;
    if (m_tempName.isEmpty()) {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(m_file.get());
        result = ::linkat(AT_FDCWD, procPath.constData(), m_folderFd, name.constData(), AT_SYMLINK_FOLLOW);
        // Without /proc, AT_EMPTY_PATH does the same where the process may use it.
        if (result != 0 && errno == ENOENT)
            result = ::linkat(m_file.get(), "", m_folderFd, name.constData(), AT_EMPTY_PATH);
    } else {
        result =
            ::renameat2(m_folderFd, m_tempName.constData(), m_folderFd, name.constData(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            // No RENAME_NOREPLACE here: link() never replaces either; our temp name then goes.
            result = ::linkat(m_folderFd, m_tempName.constData(), m_folderFd, name.constData(), 0);
            if (result == 0) ::unlinkat(m_folderFd, m_tempName.constData(), 0);
        }
    }
    if (result != 0) {
        if (errno == EEXIST)
            return IoError::of(IoErrorKind::alreadyExists, IoOperation::publish, path, EEXIST);
        return IoError::fromErrno(IoOperation::publish, path);
    }
    m_isPublished = true;
    m_tempName.clear();
    m_file.reset();
    // The data is already on disk; a folder that cannot be flushed still shows the name.
    ::fsync(m_folderFd);
    return {};
}

Result<StagedCopy> stageCopy(int sourceFd, const QByteArray& sourcePath, int folderFd,
                             const QByteArray& folderPath, const CopyCalls& calls, std::stop_token stop) {
    Result<struct stat> source = statFd(sourceFd, sourcePath);
    if (!source) return source.error();
    if (!S_ISREG(source->st_mode))
        return IoError::of(IoErrorKind::notRegularFile, IoOperation::read, sourcePath);
    const FileFingerprint sourceBefore = fingerprintOf(source.value());

    StagedCopy staged;
    staged.m_folderFd = folderFd;
    staged.m_folderPath = folderPath;
    staged.m_sourceDevice = sourceBefore.device;
    staged.m_sourceInode = sourceBefore.inode;
    QByteArray tempPath = folderPath;
    staged.m_file.reset(calls.openTmpFile(folderFd));
    if (!staged.m_file) {
        if (!isTmpFileUnsupported(errno)) return IoError::fromErrno(IoOperation::create, folderPath);
        for (int attempt = 0; attempt < kMaxTempAttempts && !staged.m_file; ++attempt) {
            // Hidden, so neither our walk nor our watcher ever sees it.
            const QByteArray name = ".reelkeep-export-" +
                                    QByteArray::number(QRandomGenerator::system()->generate64(), 16) +
                                    ".part";
            staged.m_file.reset(::openat(folderFd, name.constData(),
                                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (staged.m_file) {
                staged.m_tempName = name;
                tempPath = joinPath(folderPath, name);
            } else if (errno != EEXIST) {
                return IoError::fromErrno(IoOperation::create, joinPath(folderPath, name));
            }
        }
        if (!staged.m_file) return IoError::fromErrorNumber(IoOperation::create, folderPath, EEXIST);
    }
    const int out = staged.m_file.get();

    std::int64_t copiedBytes = 0;
    off_t inOffset = 0;
    bool mayCopyRange = true;
    std::vector<char> buffer;
    while (copiedBytes < sourceBefore.sizeBytes) {
        if (stop.stop_requested()) return IoError::of(IoErrorKind::stopped, IoOperation::write, tempPath);
        const std::int64_t remaining = sourceBefore.sizeBytes - copiedBytes;
        if (mayCopyRange) {
            const ssize_t count = calls.copyRange(sourceFd, &inOffset, out,
                                                  static_cast<size_t>(std::min(remaining, kCopyChunkBytes)));
            if (count > 0) {
                copiedBytes += count;
                continue;
            }
            // 0 is EOF, or a file system that cannot copy this way: read() tells which.
            if (count == 0) {
                mayCopyRange = false;
                continue;
            }
            if (errno == EINTR) continue;
            if (isCopyRangeUnsupported(errno)) {
                mayCopyRange = false;
                continue;
            }
            return IoError::fromErrno(IoOperation::write, tempPath);
        }
        if (buffer.empty()) buffer.resize(kBufferBytes);
        const ssize_t readCount =
            ::pread(sourceFd, buffer.data(),
                    static_cast<size_t>(std::min<std::int64_t>(remaining, kBufferBytes)), inOffset);
        if (readCount < 0) {
            if (errno == EINTR) continue;
            return IoError::fromErrno(IoOperation::read, sourcePath);
        }
        if (readCount == 0) break;  // the source ended early; the count check reports it
        for (ssize_t written = 0; written < readCount;) {
            const ssize_t count =
                calls.write(out, buffer.data() + written, static_cast<size_t>(readCount - written));
            if (count < 0 && errno == EINTR) continue;
            // write() returning 0 for a non-empty buffer would loop for ever.
            if (count == 0) return IoError::fromErrorNumber(IoOperation::write, tempPath, EIO);
            if (count < 0) return IoError::fromErrno(IoOperation::write, tempPath);
            written += count;
        }
        copiedBytes += readCount;
        inOffset += readCount;
    }

    struct stat copy {};
    if (::fstat(out, &copy) != 0) return IoError::fromErrno(IoOperation::inspect, tempPath);
    if (copiedBytes != sourceBefore.sizeBytes || copy.st_size != sourceBefore.sizeBytes)
        return IoError::sizeMismatch(tempPath, std::max<std::int64_t>(copiedBytes, 0),
                                     sourceBefore.sizeBytes);
    Result<struct stat> sourceAfter = statFd(sourceFd, sourcePath);
    if (!sourceAfter) return sourceAfter.error();
    if (fingerprintOf(sourceAfter.value()) != sourceBefore)
        return IoError::of(IoErrorKind::changed, IoOperation::read, sourcePath);
    if (calls.fsync(out) != 0) return IoError::fromErrno(IoOperation::flush, tempPath);
    staged.m_byteCount = copiedBytes;
    return staged;
}

Result<void> exportFile(int sourceFd, const QByteArray& sourcePath, int folderFd,
                        const QByteArray& folderPath, const QByteArray& name, const CopyCalls& calls,
                        std::stop_token stop) {
    Result<StagedCopy> staged = stageCopy(sourceFd, sourcePath, folderFd, folderPath, calls, std::move(stop));
    if (!staged) return staged.error();
    return staged->publish(name);
}

}  // namespace reelkeep::fs
