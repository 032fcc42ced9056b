// export.cpp: staged copy, checked writes, publish without replacing.
#include "platform/folder/fs/export.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/folder/fs/fingerprint.h"

namespace reelkeep::fs {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
// copy_file_range moves at most about 2 GiB per call anyway; a bound keeps the
// stop token responsive and the progress moving on a slow disk (16 MiB is a
// fraction of a second on USB 2) without costing calls on a fast one.
constexpr std::int64_t kCopyChunkBytes = std::int64_t{1} << 24;
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

// The unit of a hole found by its zeros: a file system block.
constexpr ssize_t kZeroBlockBytes = 4096;

// How many bytes at `bytes` are whole zero blocks (a last short block counts).
ssize_t zeroRunBytes(const char* bytes, ssize_t size) {
    ssize_t run = 0;
    while (run < size) {
        const ssize_t block = std::min(kZeroBlockBytes, size - run);
        if (bytes[run] != 0 || std::memcmp(bytes + run, bytes + run + 1, std::size_t(block - 1)) != 0) break;
        run += block;
    }
    return run;
}

// How many bytes at `bytes` come before the next zero block.
ssize_t dataRunBytes(const char* bytes, ssize_t size) {
    ssize_t run = 0;
    while (run < size && zeroRunBytes(bytes + run, std::min(kZeroBlockBytes, size - run)) == 0)
        run += std::min(kZeroBlockBytes, size - run);
    return run;
}

struct DataSegment {
    std::int64_t start = 0;  // sizeBytes when only a hole is left
    std::int64_t end = 0;
};

// The next run of data at or after `from`. File systems without SEEK_DATA
// (and FUSE ones that answer EINVAL) get one segment: everything.
Result<DataSegment> nextDataSegment(int fd, std::int64_t from, std::int64_t sizeBytes) {
    const off_t start = ::lseek(fd, from, SEEK_DATA);
    if (start < 0) {
        if (errno == ENXIO) return DataSegment{sizeBytes, sizeBytes};
        if (errno == EINVAL || errno == EOPNOTSUPP || errno == ENOTSUP) return DataSegment{from, sizeBytes};
        return IoError::fromErrno(IoOperation::read, {});
    }
    if (start >= sizeBytes) return DataSegment{sizeBytes, sizeBytes};
    const off_t end = ::lseek(fd, start, SEEK_HOLE);
    if (end < 0) return DataSegment{start, sizeBytes};
    return DataSegment{start, std::min<std::int64_t>(end, sizeBytes)};
}

constexpr QByteArrayView kPartPrefix = ".reelkeep-export-";
constexpr QByteArrayView kPartSuffix = ".part";

timespec processStartTime() {
    // Read once, early: the first export is long after start-up, never before it.
    // The coarse clock is the one file times are taken from: by the precise
    // clock, a part written in this process's first milliseconds could seem older.
    static const timespec start = [] {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        return now;
    }();
    return start;
}
[[maybe_unused]] const timespec kProcessStartAtLoad = processStartTime();

bool isBefore(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

// A killed export on a file system without O_TMPFILE leaves its hidden
// temporary behind. Removed here: only our prefix, only this user's, only
// untouched since before this process began, and only when no live export
// holds its lock; each a regular file, never followed through a symlink.
void removeStaleParts(int folderFd) {
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    const timespec started = processStartTime();
    std::vector<QByteArray> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name{entry->d_name};
        if (!name.startsWith(kPartPrefix) || !name.endsWith(kPartSuffix)) continue;
        const UniqueFd part{
            ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
        struct stat status {};
        if (!part || ::fstat(part.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid != ::geteuid() || !isBefore(status.st_mtim, started))
            continue;
        if (::flock(part.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
        struct stat byName {};
        if (::fstatat(folderFd, entry->d_name, &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
            byName.st_dev == status.st_dev && byName.st_ino == status.st_ino)
            stale.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const QByteArray& name : stale) ::unlinkat(folderFd, name.constData(), 0);
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
                             const QByteArray& folderPath, const CopyCalls& calls, std::stop_token stop,
                             const CopyProgress& onProgress) {
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
        removeStaleParts(folderFd);
        for (int attempt = 0; attempt < kMaxTempAttempts && !staged.m_file; ++attempt) {
            // Hidden, so neither our walk nor our watcher ever sees it.
            const QByteArray name = kPartPrefix.toByteArray() +
                                    QByteArray::number(QRandomGenerator::system()->generate64(), 16) +
                                    kPartSuffix.toByteArray();
            staged.m_file.reset(::openat(folderFd, name.constData(),
                                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (staged.m_file) {
                // Tells a later cleanup, in this or another process, that the part is live.
                ::flock(staged.m_file.get(), LOCK_EX | LOCK_NB);
                staged.m_tempName = name;
                tempPath = joinPath(folderPath, name);
            } else if (errno != EEXIST) {
                return IoError::fromErrno(IoOperation::create, joinPath(folderPath, name));
            }
        }
        if (!staged.m_file) return IoError::fromErrorNumber(IoOperation::create, folderPath, EEXIST);
    }
    const int out = staged.m_file.get();

    // Data segments only: a hole is skipped, so it stays a hole in the copy
    // (a 1 TiB sparse file must not fill the destination disk with zeros).
    std::int64_t copiedBytes = 0;
    bool mayCopyRange = true;
    std::vector<char> buffer;
    bool isSourceShort = false;
    bool hasTrailingHole = false;
    // Fewer blocks than bytes, yet no hole reported (FUSE without lseek): holes
    // are found by their zeros instead, as cp does.
    bool isSkippingZeros = false;
    if (source->st_blocks * 512 < source->st_size) {
        const Result<DataSegment> whole = nextDataSegment(sourceFd, 0, sourceBefore.sizeBytes);
        isSkippingZeros = whole && whole->start == 0 && whole->end == sourceBefore.sizeBytes;
        if (isSkippingZeros) mayCopyRange = false;
    }
    while (copiedBytes < sourceBefore.sizeBytes && !isSourceShort) {
        if (stop.stop_requested()) return IoError::of(IoErrorKind::stopped, IoOperation::write, tempPath);
        const Result<DataSegment> segment = nextDataSegment(sourceFd, copiedBytes, sourceBefore.sizeBytes);
        if (!segment)
            return IoError::fromErrorNumber(IoOperation::read, sourcePath, segment.error().errorNumber());
        if (segment->start >= sourceBefore.sizeBytes) {
            copiedBytes = sourceBefore.sizeBytes;  // a trailing hole: ftruncate below makes it
            hasTrailingHole = true;
            break;
        }
        if (segment->start != copiedBytes && ::lseek(out, segment->start, SEEK_SET) < 0)
            return IoError::fromErrno(IoOperation::write, tempPath);
        copiedBytes = segment->start;
        off_t inOffset = segment->start;
        while (copiedBytes < segment->end) {
            if (stop.stop_requested()) return IoError::of(IoErrorKind::stopped, IoOperation::write, tempPath);
            const std::int64_t remaining = segment->end - copiedBytes;
            if (mayCopyRange) {
                const ssize_t count = calls.copyRange(
                    sourceFd, &inOffset, out, static_cast<size_t>(std::min(remaining, kCopyChunkBytes)));
                if (count > 0) {
                    copiedBytes += count;
                    if (onProgress) onProgress(copiedBytes, sourceBefore.sizeBytes);
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
            if (readCount == 0) {  // the source ended early; the count check reports it
                isSourceShort = true;
                break;
            }
            for (ssize_t written = 0; written < readCount;) {
                const ssize_t zeroBytes =
                    isSkippingZeros ? zeroRunBytes(buffer.data() + written, readCount - written) : 0;
                if (zeroBytes > 0) {
                    if (::lseek(out, zeroBytes, SEEK_CUR) < 0)
                        return IoError::fromErrno(IoOperation::write, tempPath);
                    written += zeroBytes;
                    hasTrailingHole = true;
                    continue;
                }
                const ssize_t count = calls.write(
                    out, buffer.data() + written,
                    static_cast<size_t>(isSkippingZeros
                                            ? dataRunBytes(buffer.data() + written, readCount - written)
                                            : readCount - written));
                hasTrailingHole = false;
                if (count < 0 && errno == EINTR) continue;
                // write() returning 0 for a non-empty buffer would loop for ever.
                if (count == 0) return IoError::fromErrorNumber(IoOperation::write, tempPath, EIO);
                if (count < 0) return IoError::fromErrno(IoOperation::write, tempPath);
                written += count;
            }
            copiedBytes += readCount;
            inOffset += readCount;
            if (onProgress) onProgress(copiedBytes, sourceBefore.sizeBytes);
        }
    }
    if (hasTrailingHole && ::ftruncate(out, copiedBytes) != 0)
        return IoError::fromErrno(IoOperation::write, tempPath);

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
                        std::stop_token stop, const CopyProgress& onProgress) {
    Result<StagedCopy> staged =
        stageCopy(sourceFd, sourcePath, folderFd, folderPath, calls, std::move(stop), onProgress);
    if (!staged) return staged.error();
    return staged->publish(name);
}

}  // namespace reelkeep::fs
