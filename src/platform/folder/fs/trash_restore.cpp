// trash_restore.cpp: reading the info file, checks, no-replace move back.
#include "platform/folder/fs/trash_restore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

// Our info files are a few hundred bytes; anything much bigger is not ours.
constexpr qsizetype kMaxInfoBytes = 64 * 1024;

// The folder that relative Path= values start from: the topdir of a
// "$topdir/.Trash-$uid" or "$topdir/.Trash/$uid" trash; none for the home trash.
std::optional<QByteArray> relativeBaseOf(const QByteArray& trashPath) {
    const std::optional<SplitPath> split = splitPath(trashPath);
    if (!split) return std::nullopt;
    if (split->name.startsWith(".Trash-")) return split->parent;
    const std::optional<SplitPath> above = splitPath(split->parent);
    if (above && above->name == ".Trash") return above->parent;
    return std::nullopt;
}

// The file we moved: a rename may set ctime on some file systems, so only what
// a move keeps is compared (device, inode, size, mtime), and it must be a regular file.
Result<void> verifyMovedFile(int dirFd, const QByteArray& name, const FileFingerprint& expected,
                             const QByteArray& original) {
    Result<struct stat> status = statAt(dirFd, name, original);
    if (!status) return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, original);
    const FileFingerprint found = fingerprintOf(status.value());
    if (!S_ISREG(status->st_mode) || found.device != expected.device || found.inode != expected.inode ||
        found.sizeBytes != expected.sizeBytes || found.mtimeNs != expected.mtimeNs)
        return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, original);
    return {};
}

Result<QByteArray> readInfoFile(const QByteArray& infoPath) {
    UniqueFd fd{::open(infoPath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (!fd) {
        if (errno == ENOENT)
            return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, infoPath);
        return IoError::fromErrno(IoOperation::open, infoPath);
    }
    QByteArray content;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return IoError::fromErrno(IoOperation::read, infoPath);
        if (count == 0) return content;
        content.append(buffer, count);
        if (content.size() > kMaxInfoBytes)
            return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, infoPath);
    }
}

}  // namespace

std::optional<QByteArray> originalPathFromInfo(const QByteArray& infoContent, const QByteArray& trashPath) {
    const QList<QByteArray> lines = infoContent.split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != "[Trash Info]") return std::nullopt;
    for (const QByteArray& line : lines) {
        if (!line.startsWith("Path=")) continue;
        const std::optional<QByteArray> path = percentDecodePath(line.mid(5).trimmed());
        if (!path || path->isEmpty()) return std::nullopt;
        if (path->startsWith('/')) return cleanPath(*path);
        const std::optional<QByteArray> base = relativeBaseOf(cleanPath(trashPath));
        if (!base) return std::nullopt;
        return cleanPath(*base + '/' + *path);
    }
    return std::nullopt;
}

Result<void> restoreFromTrash(const TrashedFile& trashed, const QByteArray& originalPath,
                              const FileFingerprint& expected) {
    const QByteArray original = cleanPath(originalPath);
    const std::optional<SplitPath> entry = splitPath(trashed.filePath);
    const std::optional<SplitPath> target = splitPath(original);
    const std::optional<SplitPath> info = splitPath(trashed.infoPath);
    if (!entry || !target || !info)
        return IoError::of(IoErrorKind::notRegularFile, IoOperation::restoreFromTrash, original);

    // The info file is the trash's record of where the video came from: a
    // file manager may have restored or re-trashed it meanwhile.
    Result<QByteArray> content = readInfoFile(trashed.infoPath);
    if (!content) return content.error();
    if (originalPathFromInfo(content.value(), trashed.trashPath) != original)
        return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, original);

    Result<UniqueFd> files = openFolder(entry->parent);
    if (!files) return files.error();
    // Edited or replaced in the trash: not the video the user moved there.
    if (Result<void> same = verifyMovedFile(files->get(), entry->name, expected, original); !same)
        return same.error();
    Result<UniqueFd> folder = openScannedFolder(target->parent);
    if (!folder)  // its folder was removed or renamed: say which video stays in the trash
        return IoError::fromErrorNumber(IoOperation::restoreFromTrash, original,
                                        folder.error().errorNumber());

    if (::renameat2(files->get(), entry->name.constData(), folder->get(), target->name.constData(),
                    RENAME_NOREPLACE) != 0) {
        const int error = errno;
        if (error == EEXIST)
            return IoError::of(IoErrorKind::alreadyExists, IoOperation::restoreFromTrash, original, error);
        if (error == EXDEV)
            return IoError::of(IoErrorKind::crossDevice, IoOperation::restoreFromTrash, original, error);
        if (error == ENOENT)
            return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, original, error);
        return IoError::fromErrorNumber(IoOperation::restoreFromTrash, original, error);
    }
    // Swapped between the check and the rename: the stranger goes back into the trash.
    if (Result<void> moved = verifyMovedFile(folder->get(), target->name, expected, original); !moved) {
        ::renameat2(folder->get(), target->name.constData(), files->get(), entry->name.constData(),
                    RENAME_NOREPLACE);
        return IoError::of(IoErrorKind::changed, IoOperation::restoreFromTrash, original);
    }
    ::fsync(folder->get());
    ::fsync(files->get());
    // The video is back; an info file that cannot be removed only lists a missing entry.
    Result<UniqueFd> infoFolder = openFolder(info->parent);
    if (infoFolder) ::unlinkat(infoFolder->get(), info->name.constData(), 0);
    return {};
}

}  // namespace reelkeep::fs
