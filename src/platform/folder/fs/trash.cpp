// trash.cpp: trash folder selection and checks, info-first move.
#include "platform/folder/fs/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <QList>
#include <QStandardPaths>
#include <array>
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
    // Set when this call made the user's topdir trash folder: a move that then
    // fails removes it again, so no failure leaves an empty .Trash-$uid behind.
    QByteArray createdName;
    UniqueFd createdParent;

    void removeIfCreatedAndEmpty() {
        if (!createdParent) return;
        const UniqueFd trash{::openat(createdParent.get(), createdName.constData(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
        if (!trash) return;
        // Each fails, harmlessly, once anything is inside.
        ::unlinkat(trash.get(), "files", AT_REMOVEDIR);
        ::unlinkat(trash.get(), "info", AT_REMOVEDIR);
        ::unlinkat(createdParent.get(), createdName.constData(), AT_REMOVEDIR);
    }
};

// Mirrors GLib's list of file systems no trash is kept on.
constexpr std::array kSystemFsTypes = {
    "adfs",      "afs",        "auto",       "autofs",      "autofs4", "binfmt_misc", "bpf",       "cgroup",
    "cgroup2",   "configfs",   "cxfs",       "debugfs",     "devfs",   "devpts",      "devtmpfs",  "ecryptfs",
    "efivarfs",  "fdescfs",    "fusectl",    "gfs",         "gfs2",    "gpfs",        "hugetlbfs", "kernfs",
    "linprocfs", "linsysfs",   "lustre",     "lustre_lite", "mfs",     "mqueue",      "ncpfs",     "nfsd",
    "nullfs",    "ocfs2",      "overlay",    "proc",        "procfs",  "pstore",      "ptyfs",     "ramfs",
    "rootfs",    "rpc_pipefs", "securityfs", "selinuxfs",   "sysfs",   "tmpfs",       "tracefs",   "usbfs",
};
// System folders: a trash there would belong to nobody in particular.
constexpr std::array kSystemMountPoints = {
    "/",           "/bin",     "/boot",          "/boot/efi", "/dev",       "/efi",
    "/etc",        "/home",    "/lib",           "/lib64",    "/libexec",   "/live/cow",
    "/live/image", "/media",   "/mnt",           "/net",      "/opt",       "/proc",
    "/rescue",     "/root",    "/run",           "/sbin",     "/srv",       "/sys",
    "/tmp",        "/usr",     "/usr/local",     "/var",      "/var/crash", "/var/lib",
    "/var/local",  "/var/log", "/var/log/audit", "/var/mail", "/var/run",   "/var/tmp",
};
constexpr std::array kSystemSources = {"devpts", "devtmpfs", "none",  "proc",
                                       "rootfs", "sunrpc",   "sysfs", "tmpfs"};

template <std::size_t kSize>
bool isOneOf(const QByteArray& value, const std::array<const char*, kSize>& list) {
    for (const char* entry : list)
        if (value == entry) return true;
    return false;
}

// mountinfo writes space, tab, newline and backslash as \ooo.
QByteArray unescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool isOctal = digits.size() == 3;
            for (const char c : digits) isOctal = isOctal && c >= '0' && c <= '7';
            if (isOctal) {
                out.append(static_cast<char>(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

QByteArray readMountInfo() {
    QByteArray content;
    const UniqueFd fd{::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)};
    if (!fd) return content;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        content.append(buffer, count);
    }
    return content;
}

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
    return TrashFolder{
        std::move(path), std::move(files.value()), std::move(info.value()), std::move(relativeBase), {}, {}};
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

    const auto opened = [&](Result<UniqueFd> own, int parentFd, const QByteArray& name,
                            const QByteArray& path, bool isCreated) -> Result<TrashFolder> {
        Result<TrashFolder> trash = openTrashFolder(std::move(own.value()), path, topdir);
        if (trash && isCreated) {
            trash->createdParent.reset(::fcntl(parentFd, F_DUPFD_CLOEXEC, 0));
            trash->createdName = name;
        }
        return trash;
    };

    UniqueFd sharedFd{::openat(topFd.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    struct stat sharedStatus {};
    if (sharedFd && ::fstat(sharedFd.get(), &sharedStatus) == 0 && (sharedStatus.st_mode & S_ISVTX) != 0) {
        const QByteArray path = joinPath(topdir, ".Trash/" + uidName);
        const bool isCreated = ::mkdirat(sharedFd.get(), uidName.constData(), 0700) == 0;
        Result<UniqueFd> own = makeAndOpenFolder(sharedFd.get(), uidName, path, false);
        if (own && isPrivateFolderOf(own->get(), uid))
            return opened(std::move(own), sharedFd.get(), uidName, path, isCreated);
    }

    const QByteArray name = ".Trash-" + uidName;
    const QByteArray path = joinPath(topdir, name);
    const bool isCreated = ::mkdirat(topFd.get(), name.constData(), 0700) == 0;
    Result<UniqueFd> own = makeAndOpenFolder(topFd.get(), name, path, false);
    if (!own) {
        if (own.error().errorNumber() == ELOOP || own.error().errorNumber() == ENOTDIR)
            return IoError::of(IoErrorKind::noTrash, IoOperation::moveToTrash, path,
                               own.error().errorNumber());
        return own.error();
    }
    if (!isPrivateFolderOf(own->get(), uid))
        return IoError::of(IoErrorKind::noTrash, IoOperation::moveToTrash, path);
    return opened(std::move(own), topFd.get(), name, path, isCreated);
}

Result<TrashFolder> chooseTrash(const QByteArray& filePath, int folderFd, const QByteArray& folderPath,
                                std::uint64_t folderDevice, const TrashOptions& options) {
    if (options.homeTrashPath && deviceOfNearestExisting(*options.homeTrashPath) == folderDevice) {
        Result<UniqueFd> home = openHomeTrash(*options.homeTrashPath);
        if (!home) return home.error();
        return openTrashFolder(std::move(home.value()), cleanPath(*options.homeTrashPath), {});
    }
    QByteArray topdir;
    if (options.topdir) {
        topdir = cleanPath(*options.topdir);
    } else {
        Result<QByteArray> found = findTrashTopdir(folderFd, folderPath, filePath);
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

bool isHardLinkUnsupported(int error) {
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP || error == EMLINK;
}

// Moves fromDir/fromName to toDir/toName, never replacing anything. Some FUSE
// file systems (bindfs, sshfs, ntfs-3g) refuse RENAME_NOREPLACE with EINVAL: a
// hard link never replaces either; where even links are missing, a plain
// rename into a name that our exclusively created info file reserves.
// On failure errno is set and both names are as they were.
int moveWithoutReplacing(int fromDir, const QByteArray& fromName, int toDir, const QByteArray& toName) {
    if (::renameat2(fromDir, fromName.constData(), toDir, toName.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL) return -1;
    if (::linkat(fromDir, fromName.constData(), toDir, toName.constData(), 0) == 0) {
        // Unlink only the name that is still the file just linked, never a stranger swapped in.
        struct stat source {};
        struct stat linked {};
        if (::fstatat(fromDir, fromName.constData(), &source, AT_SYMLINK_NOFOLLOW) == 0 &&
            ::fstatat(toDir, toName.constData(), &linked, AT_SYMLINK_NOFOLLOW) == 0 &&
            source.st_dev == linked.st_dev && source.st_ino == linked.st_ino &&
            ::unlinkat(fromDir, fromName.constData(), 0) == 0)
            return 0;
        const int error = errno == 0 ? EIO : errno;
        ::unlinkat(toDir, toName.constData(), 0);
        errno = error;
        return -1;
    }
    if (!isHardLinkUnsupported(errno)) return -1;
    struct stat taken {};
    if (::fstatat(toDir, toName.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    if (errno != ENOENT) return -1;
    return ::renameat(fromDir, fromName.constData(), toDir, toName.constData());
}

}  // namespace

std::vector<MountEntry> parseMountInfo(const QByteArray& mountInfo) {
    std::vector<MountEntry> mounts;
    for (const QByteArray& line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const qsizetype separator = fields.indexOf("-", 6);
        if (fields.size() < 6 || separator < 0 || separator + 2 >= fields.size()) continue;
        bool isNumber = false;
        MountEntry entry;
        entry.mountId = fields[0].toInt(&isNumber);
        if (!isNumber) continue;
        entry.mountPoint = unescapeMountField(fields[4]);
        entry.fsType = unescapeMountField(fields[separator + 1]);
        entry.source = unescapeMountField(fields[separator + 2]);
        entry.options = fields[5];
        if (separator + 3 < fields.size()) entry.options += ',' + fields[separator + 3];
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

bool isSystemInternalMount(const MountEntry& mount) {
    const QByteArray& point = mount.mountPoint;
    return isOneOf(mount.fsType, kSystemFsTypes) || isOneOf(point, kSystemMountPoints) ||
           isOneOf(mount.source, kSystemSources) || point.startsWith("/proc/") || point.startsWith("/sys/") ||
           point.startsWith("/dev/") || point.endsWith("/.gvfs") ||
           mount.options.split(',').contains("x-gvfs-notrash");
}

Result<QByteArray> findTrashTopdir(int folderFd, const QByteArray& folderPath, const QByteArray& path) {
    const auto refuse = [&path](int error = 0) {
        return IoError::of(IoErrorKind::noTrash, IoOperation::moveToTrash, path, error);
    };
    struct statx folder {};
    if (::statx(folderFd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_MNT_ID, &folder) != 0)
        return IoError::fromErrno(IoOperation::inspect, folderPath);
    const std::vector<MountEntry> mounts = parseMountInfo(readMountInfo());
    const MountEntry* mount = nullptr;
    if ((folder.stx_mask & STATX_MNT_ID) != 0) {
        for (const MountEntry& entry : mounts)
            if (static_cast<std::uint64_t>(entry.mountId) == folder.stx_mnt_id) mount = &entry;
    } else {
        // Kernels before 5.8: the deepest mount point above the folder; the last listed wins a tie.
        const QByteArray cleaned = cleanPath(folderPath);
        for (const MountEntry& entry : mounts)
            if (isSameOrInside(cleaned, entry.mountPoint) &&
                (!mount || entry.mountPoint.size() >= mount->mountPoint.size()))
                mount = &entry;
    }
    if (!mount || isSystemInternalMount(*mount)) return refuse();
    // A btrfs subvolume below the mount point has a device of its own: no file
    // manager looks for a trash at its root, and none may be made at the mount's.
    struct statx top {};
    if (::statx(AT_FDCWD, mount->mountPoint.constData(), AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &top) != 0)
        return refuse(errno);
    if (top.stx_dev_major != folder.stx_dev_major || top.stx_dev_minor != folder.stx_dev_minor)
        return refuse(EXDEV);
    return mount->mountPoint;
}

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
    return moveToTrash(path, expected, options, {});
}

Result<TrashedFile> moveToTrash(const QByteArray& path, const FileFingerprint& expected,
                                const TrashOptions& options, const std::function<void(TrashStep)>& onStep) {
    const std::optional<SplitPath> split = splitPath(path);
    if (!split) return IoError::of(IoErrorKind::notRegularFile, IoOperation::moveToTrash, path);
    Result<UniqueFd> folder = openScannedFolder(split->parent);
    if (!folder) {
        const int error = folder.error().errorNumber();
        if (error == ENOENT || error == ENOTDIR || error == ELOOP)
            return IoError::of(IoErrorKind::changed, IoOperation::moveToTrash, path, error);
        return folder.error();
    }
    const int folderFd = folder->get();
    if (Result<void> same = verifyAt(folderFd, split->name, expected, path); !same) return same.error();
    struct stat folderStatus {};
    if (::fstat(folderFd, &folderStatus) != 0) return IoError::fromErrno(IoOperation::inspect, split->parent);
    // The folder's device, not the file's: on overlayfs a file reports its layer's.
    const auto folderDevice = static_cast<std::uint64_t>(folderStatus.st_dev);

    Result<TrashFolder> trash = chooseTrash(path, folderFd, split->parent, folderDevice, options);
    if (!trash) return trash.error();
    const auto fail = [&trash](IoError error) -> Result<TrashedFile> {
        trash->removeIfCreatedAndEmpty();
        return error;
    };
    struct stat trashStatus {};
    if (::fstat(trash->files.get(), &trashStatus) != 0)
        return fail(IoError::fromErrno(IoOperation::inspect, joinPath(trash->path, "files")));
    if (static_cast<std::uint64_t>(trashStatus.st_dev) != folderDevice)
        return fail(IoError::of(IoErrorKind::crossDevice, IoOperation::moveToTrash, path, EXDEV));

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
            return fail(written.error());
        }
        const auto removeInfo = [&] { ::unlinkat(trash->info.get(), infoName.constData(), 0); };
        // The user confirmed this file; anything else now under its name stays.
        if (Result<void> same = verifyAt(folderFd, split->name, expected, path); !same) {
            removeInfo();
            return fail(same.error());
        }
        if (onStep) onStep(TrashStep::beforeMove);
        if (moveWithoutReplacing(folderFd, split->name, trash->files.get(), entryName) != 0) {
            const int error = errno;
            removeInfo();
            if (error == EEXIST) continue;  // a leftover in files/ without its info file
            if (error == EXDEV)
                return fail(IoError::of(IoErrorKind::crossDevice, IoOperation::moveToTrash, path, error));
            if (error == ENOENT)
                return fail(IoError::of(IoErrorKind::changed, IoOperation::moveToTrash, path, error));
            return fail(IoError::fromErrorNumber(IoOperation::moveToTrash, path, error));
        }
        if (onStep) onStep(TrashStep::afterMove);
        // Swapped between the check and the move: put the stranger back.
        if (Result<void> moved = verifyMovedAt(trash->files.get(), entryName, expected, filePath); !moved) {
            if (moveWithoutReplacing(trash->files.get(), entryName, folderFd, split->name) != 0)
                return IoError::notPutBack(path, filePath, errno);  // its info file stays: it can be restored
            removeInfo();
            return fail(IoError::of(IoErrorKind::changed, IoOperation::moveToTrash, path));
        }
        // The move is done; a folder that cannot be flushed does not undo it.
        ::fsync(trash->files.get());
        ::fsync(folderFd);
        return TrashedFile{trash->path, filePath, infoPath};
    }
    return fail(IoError::fromErrorNumber(IoOperation::moveToTrash, path, EEXIST));
}

}  // namespace reelkeep::fs
