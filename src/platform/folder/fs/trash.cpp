// trash.cpp: trash folder selection and checks, info-first move.
#include "platform/folder/fs/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

constexpr QByteArrayView kInfoSuffix = ".trashinfo";
// Enough for any real collision pile-up; past it something else is wrong.
constexpr int kMaxNameAttempts = 1000;
// An extension longer than this is more likely part of the name than a type.
constexpr qsizetype kMaxKeptExtensionBytes = 16;

struct TrashFolder {
    QByteArray path;
    UniqueFd files;
    UniqueFd info;
    // Info paths are relative to this folder when the file lies below it (a
    // topdir trash); empty for the home trash, whose paths are absolute.
    QByteArray relativeBase;
};

QByteArray joinPath(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// mkdir that accepts an existing entry; the open that follows checks what it is.
Result<UniqueFd> makeAndOpenFolder(int parentFd, const QByteArray& name, const QByteArray& path,
                                   bool mayFollowSymlink) {
    if (::mkdirat(parentFd, name.constData(), 0700) != 0 && errno != EEXIST)
        return IoError::fromErrno(IoOperation::createFolder, path);
    const int followFlag = mayFollowSymlink ? 0 : O_NOFOLLOW;
    UniqueFd fd{::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | followFlag)};
    if (!fd) return IoError::fromErrno(IoOperation::open, path);
    return fd;
}

// A trash folder of ours must be a real folder of this user that nobody else may write.
bool isPrivateFolderOf(int fd, uid_t uid) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == uid &&
           (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

Result<TrashFolder> openTrashFolder(UniqueFd trashFd, QByteArray path, QByteArray relativeBase) {
    Result<UniqueFd> files = makeAndOpenFolder(trashFd.get(), "files", joinPath(path, "files"), false);
    if (!files) return files.error();
    Result<UniqueFd> info = makeAndOpenFolder(trashFd.get(), "info", joinPath(path, "info"), false);
    if (!info) return info.error();
    return TrashFolder{std::move(path), std::move(files.value()), std::move(info.value()),
                       std::move(relativeBase)};
}

std::optional<std::uint64_t> deviceOfNearestExisting(QByteArray path) {
    for (;;) {
        struct stat status {};
        if (::stat(path.constData(), &status) == 0) return static_cast<std::uint64_t>(status.st_dev);
        if (errno != ENOENT) return std::nullopt;
        const std::optional<SplitPath> split = splitPath(path);
        if (!split) return std::nullopt;
        path = split->parent;
    }
}

// Creates the missing folders of the home trash path, each 0700.
Result<UniqueFd> openHomeTrash(const QByteArray& homeTrashPath) {
    UniqueFd current{::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (!current) return IoError::fromErrno(IoOperation::open, "/");
    QByteArray walked;
    for (const QByteArray& part : cleanPath(homeTrashPath).split('/')) {
        if (part.isEmpty()) continue;
        walked += '/' + part;
        // Symlinks the user made in their own data folder are theirs to make.
        Result<UniqueFd> next = makeAndOpenFolder(current.get(), part, walked, true);
        if (!next) return next.error();
        current = std::move(next.value());
    }
    return current;
}

// $topdir/.Trash/$uid when .Trash is a real sticky folder, else $topdir/.Trash-$uid.
Result<TrashFolder> openTopdirTrash(const QByteArray& topdir, uid_t uid) {
    UniqueFd topFd{::open(topdir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (!topFd) return IoError::fromErrno(IoOperation::open, topdir);
    const QByteArray uidName = QByteArray::number(static_cast<qulonglong>(uid));

    UniqueFd sharedFd{::openat(topFd.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    struct stat sharedStatus {};
    if (sharedFd && ::fstat(sharedFd.get(), &sharedStatus) == 0 && (sharedStatus.st_mode & S_ISVTX) != 0) {
        const QByteArray path = joinPath(topdir, ".Trash/" + uidName);
        Result<UniqueFd> own = makeAndOpenFolder(sharedFd.get(), uidName, path, false);
        if (own && isPrivateFolderOf(own->get(), uid))
            return openTrashFolder(std::move(own.value()), path, topdir);
    }

    const QByteArray name = ".Trash-" + uidName;
    const QByteArray path = joinPath(topdir, name);
    Result<UniqueFd> own = makeAndOpenFolder(topFd.get(), name, path, false);
    if (!own) {
        if (own.error().errorNumber() == ELOOP || own.error().errorNumber() == ENOTDIR)
            return IoError::of(IoErrorKind::noTrash, IoOperation::moveToTrash, path,
                               own.error().errorNumber());
        return own.error();
    }
    if (!isPrivateFolderOf(own->get(), uid))
        return IoError::of(IoErrorKind::noTrash, IoOperation::moveToTrash, path);
    return openTrashFolder(std::move(own.value()), path, topdir);
}

Result<TrashFolder> chooseTrash(const QByteArray& filePath, const QByteArray& folderPath,
                                std::uint64_t device, const TrashOptions& options) {
    if (options.homeTrashPath && deviceOfNearestExisting(*options.homeTrashPath) == device) {
        Result<UniqueFd> home = openHomeTrash(*options.homeTrashPath);
        if (!home) return home.error();
        return openTrashFolder(std::move(home.value()), cleanPath(*options.homeTrashPath), {});
    }
    QByteArray topdir;
    if (options.topdir) {
        topdir = cleanPath(*options.topdir);
    } else {
        Result<QByteArray> found = findTopdir(folderPath);
        if (!found) return found.error();
        topdir = found.value();
    }
    Result<TrashFolder> trash = openTopdirTrash(topdir, options.uid);
    // The user asked about the video, not about a folder they never heard of.
    if (!trash && trash.error().kind() == IoErrorKind::noTrash)
        return IoError::of(IoErrorKind::noTrash, IoOperation::moveToTrash, filePath,
                           trash.error().errorNumber());
    return trash;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            if (count == 0) errno = EIO;
            return false;
        }
        written += count;
    }
    return true;
}

// Some file systems cannot flush a folder; that loses no data of the user's.
bool syncFolder(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

// Writes info/NAME.trashinfo in full and flushes it. The caller removes it on
// any later failure; on failure here it is already gone.
Result<void> writeInfoFile(int infoFd, const QByteArray& infoName, const QByteArray& infoPath,
                           const QByteArray& content) {
    UniqueFd fd{
        ::openat(infoFd, infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (!fd) return IoError::fromErrno(IoOperation::create, infoPath);
    std::optional<IoError> failure;
    if (!writeAll(fd.get(), content))
        failure = IoError::fromErrno(IoOperation::write, infoPath);
    else if (::fsync(fd.get()) != 0)
        failure = IoError::fromErrno(IoOperation::flush, infoPath);
    else if (::close(fd.release()) != 0)
        failure = IoError::fromErrno(IoOperation::flush, infoPath);
    else if (!syncFolder(infoFd))
        failure = IoError::fromErrno(IoOperation::flush, infoPath);
    if (failure) {
        fd.reset();
        ::unlinkat(infoFd, infoName.constData(), 0);
        return *failure;
    }
    return {};
}

}  // namespace

TrashOptions systemTrashOptions() {
    TrashOptions options;
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty()) options.homeTrashPath = QFile::encodeName(dataHome) + "/Trash";
    options.uid = ::getuid();
    return options;
}

QByteArray trashInfoContent(const QByteArray& originalPath, const QDateTime& deletionTime) {
    return "[Trash Info]\nPath=" + percentEncodePath(originalPath) +
           "\nDeletionDate=" + deletionTime.toLocalTime().toString(u"yyyy-MM-dd'T'HH:mm:ss").toLatin1() +
           '\n';
}

QByteArray trashEntryName(const QByteArray& fileName, int attempt) {
    const qsizetype dot = fileName.lastIndexOf('.');
    const bool hasExtension = dot > 0 && fileName.size() - dot <= kMaxKeptExtensionBytes;
    const QByteArray extension = hasExtension ? fileName.mid(dot) : QByteArray{};
    QByteArray stem = hasExtension ? fileName.left(dot) : fileName;
    const QByteArray counter = attempt > 1 ? '.' + QByteArray::number(attempt) : QByteArray{};
    const qsizetype room = NAME_MAX - kInfoSuffix.size() - extension.size() - counter.size();
    if (stem.size() > room) {
        qsizetype cut = room;
        // Never split a UTF-8 sequence: a file manager would show a broken name.
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.truncate(cut);
    }
    return stem + counter + extension;
}

Result<QByteArray> findTopdir(const QByteArray& absolutePath) {
    QByteArray current = cleanPath(absolutePath);
    struct statx status {};
    if (::statx(AT_FDCWD, current.constData(), AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &status) != 0)
        return IoError::fromErrno(IoOperation::inspect, current);
    const auto device = std::pair{status.stx_dev_major, status.stx_dev_minor};
    for (;;) {
        // A bind mount keeps st_dev; the kernel still marks its root.
        if ((status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
            (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0)
            return current;
        const std::optional<SplitPath> split = splitPath(current);
        if (!split) return current;  // "/"
        struct statx parentStatus {};
        if (::statx(AT_FDCWD, split->parent.constData(), AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &parentStatus) !=
            0)
            return IoError::fromErrno(IoOperation::inspect, split->parent);
        if (std::pair{parentStatus.stx_dev_major, parentStatus.stx_dev_minor} != device) return current;
        current = split->parent;
        status = parentStatus;
    }
}

Result<TrashedFile> moveToTrash(const QByteArray& path, const FileFingerprint& expected,
                                const TrashOptions& options) {
    const std::optional<SplitPath> split = splitPath(path);
    if (!split) return IoError::of(IoErrorKind::notRegularFile, IoOperation::moveToTrash, path);
    Result<UniqueFd> folder = openFolder(split->parent);
    if (!folder) {
        const int error = folder.error().errorNumber();
        if (error == ENOENT || error == ENOTDIR || error == ELOOP)
            return IoError::of(IoErrorKind::changed, IoOperation::moveToTrash, path, error);
        return folder.error();
    }
    const int folderFd = folder->get();
    if (Result<void> same = verifyAt(folderFd, split->name, expected, path); !same) return same.error();

    Result<TrashFolder> trash = chooseTrash(path, split->parent, expected.device, options);
    if (!trash) return trash.error();
    struct stat trashStatus {};
    if (::fstat(trash->files.get(), &trashStatus) != 0)
        return IoError::fromErrno(IoOperation::inspect, joinPath(trash->path, "files"));
    if (static_cast<std::uint64_t>(trashStatus.st_dev) != expected.device)
        return IoError::of(IoErrorKind::crossDevice, IoOperation::moveToTrash, path, EXDEV);

    const QByteArray infoPathField =
        !trash->relativeBase.isEmpty() && isSameOrInside(path, trash->relativeBase)
            ? path.mid(trash->relativeBase == "/" ? 1 : trash->relativeBase.size() + 1)
            : path;
    const QByteArray content =
        trashInfoContent(infoPathField, options.deletionTime.value_or(QDateTime::currentDateTime()));

    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QByteArray entryName = trashEntryName(split->name, attempt);
        const QByteArray infoName = entryName + kInfoSuffix.toByteArray();
        const QByteArray infoPath = joinPath(trash->path, "info/" + infoName);
        const QByteArray filePath = joinPath(trash->path, "files/" + entryName);
        if (Result<void> written = writeInfoFile(trash->info.get(), infoName, infoPath, content); !written) {
            if (written.error().errorNumber() == EEXIST) continue;
            return written.error();
        }
        const auto removeInfo = [&] { ::unlinkat(trash->info.get(), infoName.constData(), 0); };
        // The user confirmed this file; anything else now under its name stays.
        if (Result<void> same = verifyAt(folderFd, split->name, expected, path); !same) {
            removeInfo();
            return same.error();
        }
        if (::renameat2(folderFd, split->name.constData(), trash->files.get(), entryName.constData(),
                        RENAME_NOREPLACE) != 0) {
            const int error = errno;
            removeInfo();
            if (error == EEXIST) continue;  // a leftover in files/ without its info file
            if (error == EXDEV)
                return IoError::of(IoErrorKind::crossDevice, IoOperation::moveToTrash, path, error);
            if (error == ENOENT)
                return IoError::of(IoErrorKind::changed, IoOperation::moveToTrash, path, error);
            return IoError::fromErrorNumber(IoOperation::moveToTrash, path, error);
        }
        // Swapped between the check and the rename: put the stranger back.
        if (Result<void> moved = verifyAt(trash->files.get(), entryName, expected, filePath); !moved) {
            if (::renameat2(trash->files.get(), entryName.constData(), folderFd, split->name.constData(),
                            RENAME_NOREPLACE) == 0)
                removeInfo();
            return IoError::of(IoErrorKind::changed, IoOperation::moveToTrash, path);
        }
        // The move is done; a folder that cannot be flushed does not undo it.
        ::fsync(trash->files.get());
        ::fsync(folderFd);
        return TrashedFile{trash->path, filePath, infoPath};
    }
    return IoError::fromErrorNumber(IoOperation::moveToTrash, path, EEXIST);
}

}  // namespace reelkeep::fs
