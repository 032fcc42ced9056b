// trash_test.cpp: the trash moves exactly the scanned file, info first, into a
// trash folder that passes the freedesktop checks, and a restore puts back only
// that file; every refusal leaves the video in place and no info file behind.
#include <QDateTime>
#include <cstring>
#include <tuple>

#include "folder/fs/fs_fixture.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/fs/trash.h"
#include "platform/folder/fs/trash_restore.h"
#include "support/as_nobody.h"

namespace reelkeep::fs {
namespace {

using test::join;

// A function, not a constant: local time must be read after main() fixes the time zone.
QDateTime deletionTime() {
    return QDateTime{QDate{2024, 3, 9}, QTime{7, 5, 3}};
}

QByteArray infoPathOf(const QByteArray& trashPath, const QByteArray& entryName) {
    return join(trashPath, "info/" + entryName + ".trashinfo");
}

// The Path= value, decoded as a file manager would.
QByteArray infoOriginalPath(const QByteArray& infoContent) {
    for (const QByteArray& line : infoContent.split('\n'))
        if (line.startsWith("Path=")) return percentDecodePath(line.mid(5)).value_or("<undecodable>");
    return {};
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_base = m_dir.path();
        m_library = join(m_base, "library");
        test::makeFolder(m_library);
    }

    TrashOptions homeOptions() const {
        return TrashOptions{join(m_base, "data/Trash"), ::getuid(), std::nullopt, deletionTime()};
    }

    QByteArray makeVideo(const QByteArray& name, const QByteArray& content = "video bytes") {
        const QByteArray path = join(m_library, name);
        test::writeBytes(path, content);
        return path;
    }

    struct Trashed {
        QByteArray path;
        FileFingerprint fingerprint;
        TrashedFile entry;
    };

    // A video made and trashed with `options`, for the restore tests.
    Trashed trash(const QByteArray& name, const TrashOptions& options) {
        const QByteArray path = makeVideo(name, "video " + name);
        const FileFingerprint fingerprint = test::fingerprintOfPath(path);
        Result<TrashedFile> moved = moveToTrash(path, fingerprint, options);
        if (!moved) ADD_FAILURE() << moved.error().message().toStdString();
        return Trashed{path, fingerprint, moved ? moved.value() : TrashedFile{}};
    }

    test::TempDir m_dir;
    QByteArray m_base;
    QByteArray m_library;
};

// Any name goes into the trash, info first, as the same inode, and a restore puts
// it back exactly where its info file says, relative to the topdir in a topdir trash.
TEST_F(TrashTest, AnyNameGoesIntoTheTrashInfoFirstAndComesBackWhereItWas) {
    struct Case {
        QByteArray name;
        TrashOptions options;
    };
    const TrashOptions topdir{std::nullopt, ::getuid(), m_base, {}};
    const Case cases[] = {
        {"clip.mp4", homeOptions()},
        {"name\nwith newline.mp4", homeOptions()},
        {"bad \xff\xfe utf8.mp4", homeOptions()},
        {test::longName(".mp4"), homeOptions()},
        {"100% <i>done<\\i> & more.mov", homeOptions()},
        {"empty.mp4", homeOptions()},
        {"relative in topdir.mp4", topdir},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QByteArray path = makeVideo(c.name, c.name == "empty.mp4" ? QByteArray{} : QByteArray{"bytes"});
        const FileFingerprint scanned = test::fingerprintOfPath(path);

        const Result<TrashedFile> trashed = moveToTrash(path, scanned, c.options);

        ASSERT_TRUE(trashed.ok()) << trashed.error().message().toStdString();
        EXPECT_FALSE(test::exists(path));
        FileFingerprint moved = test::fingerprintOfPath(trashed->filePath);
        moved.ctimeNs = scanned.ctimeNs;  // a rename may set it
        EXPECT_EQ(moved, scanned);        // the same inode, not a copy
        const QByteArray info = test::readBytes(trashed->infoPath);
        EXPECT_TRUE(info.startsWith("[Trash Info]\n")) << info.toStdString();
        const QByteArray entryName = trashed->filePath.mid(trashed->filePath.lastIndexOf('/') + 1);
        EXPECT_EQ(trashed->infoPath, infoPathOf(trashed->trashPath, entryName));
        if (c.options.homeTrashPath) {
            EXPECT_EQ(trashed->trashPath, join(m_base, "data/Trash"));
            EXPECT_TRUE(info.contains("\nDeletionDate=2024-03-09T07:05:03\n")) << info.toStdString();
            EXPECT_EQ(infoOriginalPath(info), path);  // absolute in the home trash
        }

        const Result<void> restored = restoreFromTrash(trashed.value(), path, scanned);

        ASSERT_TRUE(restored.ok()) << restored.error().message().toStdString();
        const FileFingerprint back = test::fingerprintOfPath(path);
        EXPECT_EQ(std::tuple(back.device, back.inode, back.sizeBytes, back.mtimeNs),
                  std::tuple(scanned.device, scanned.inode, scanned.sizeBytes, scanned.mtimeNs));
        EXPECT_FALSE(test::exists(trashed->filePath));
        EXPECT_FALSE(test::exists(trashed->infoPath));
    }
    struct stat status {};
    ASSERT_EQ(::stat(join(m_base, "data/Trash/files").constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, CollidingNamesGetTheNextFreeNameAndNothingIsReplaced) {
    const QByteArray trash = join(m_base, "data/Trash");
    const QByteArray first = makeVideo("clip.mp4", "first");
    ASSERT_TRUE(moveToTrash(first, test::fingerprintOfPath(first), homeOptions()).ok());
    // A stray file in files/ without its info file must not be overwritten either.
    test::writeBytes(join(trash, "files/clip.2.mp4"), "stray");

    const QByteArray second = makeVideo("clip.mp4", "second");
    const Result<TrashedFile> trashed = moveToTrash(second, test::fingerprintOfPath(second), homeOptions());

    ASSERT_TRUE(trashed.ok()) << trashed.error().message().toStdString();
    EXPECT_EQ(trashed->filePath, join(trash, "files/clip.3.mp4"));
    EXPECT_EQ(test::readBytes(join(trash, "files/clip.mp4")), "first");
    EXPECT_EQ(test::readBytes(join(trash, "files/clip.2.mp4")), "stray");
    EXPECT_EQ(test::readBytes(join(trash, "files/clip.3.mp4")), "second");
    EXPECT_FALSE(test::exists(infoPathOf(trash, "clip.2.mp4")));  // our reservation was withdrawn
}

TEST_F(TrashTest, AFileChangedSinceTheScanIsLeftAlone) {
    struct Case {
        const char* label;
        std::function<void(const QByteArray&)> change;
    };
    const Case cases[] = {
        {"renamed away", [](const QByteArray& p) { ::rename(p.constData(), (p + ".moved").constData()); }},
        {"replaced",
         [](const QByteArray& p) {
             test::writeBytes(p + ".new", "bytes");
             ::rename((p + ".new").constData(), p.constData());
         }},
        {"edited", [](const QByteArray& p) { test::writeBytes(p, "different length"); }},
        {"edited, mtime put back",
         [](const QByteArray& p) {
             struct stat before {};
             ::lstat(p.constData(), &before);
             test::writeBytes(p, "BYTES");
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, p.constData(), times, AT_SYMLINK_NOFOLLOW);
         }},
        {"a folder on the way swapped for a symlink",
         [](const QByteArray& p) {
             const QByteArray folder = p.left(p.lastIndexOf('/'));
             ::rename(folder.constData(), (folder + ".real").constData());
             ::symlink((folder + ".real").constData(), folder.constData());
         }},
        {"now a symlink",
         [](const QByteArray& p) {
             ::rename(p.constData(), (p + ".real").constData());
             ::symlink((p + ".real").constData(), p.constData());
         }},
    };
    int index = 0;
    for (const Case& c : cases) {
        const QByteArray folder = join(m_library, "f" + QByteArray::number(index));
        test::makeFolder(folder);
        const QByteArray path = join(folder, "v" + QByteArray::number(index++) + ".mp4");
        test::writeBytes(path, "bytes");
        const FileFingerprint scanned = test::fingerprintOfPath(path);
        c.change(path);
        const Result<TrashedFile> trashed = moveToTrash(path, scanned, homeOptions());
        ASSERT_FALSE(trashed.ok()) << c.label;
        EXPECT_EQ(trashed.error().kind(), IoErrorKind::changed) << c.label;
    }
    const QByteArray info = join(m_base, "data/Trash/info");
    EXPECT_TRUE(!test::exists(info) || test::folderNames(info).empty());
}

TEST_F(TrashTest, TopdirTrashIsUsedOnlyWhenItPassesTheChecks) {
    const QByteArray uid = QByteArray::number(::getuid());
    enum class Outcome { sharedTrash, ownTrash, refused };
    struct Case {
        const char* label;
        std::function<bool(const QByteArray& top)> prepare;  // false: cannot set up here
        Outcome outcome;
    };
    const Case cases[] = {
        {"no .Trash: .Trash-$uid is created", [](const QByteArray&) { return true; }, Outcome::ownTrash},
        {"sticky .Trash",
         [](const QByteArray& top) {
             return ::mkdir(join(top, ".Trash").constData(), 01777) == 0 &&
                    ::chmod(join(top, ".Trash").constData(), 01777) == 0;
         },
         Outcome::sharedTrash},
        {".Trash without the sticky bit",
         [](const QByteArray& top) { return ::mkdir(join(top, ".Trash").constData(), 0777) == 0; },
         Outcome::ownTrash},
        {".Trash as a symlink to a sticky folder",
         [](const QByteArray& top) {
             return ::mkdir(join(top, "elsewhere").constData(), 01777) == 0 &&
                    ::chmod(join(top, "elsewhere").constData(), 01777) == 0 &&
                    ::symlink("elsewhere", join(top, ".Trash").constData()) == 0;
         },
         Outcome::ownTrash},
        {".Trash-$uid as a symlink",
         [uid](const QByteArray& top) {
             return ::mkdir(join(top, "elsewhere").constData(), 0700) == 0 &&
                    ::symlink("elsewhere", join(top, ".Trash-" + uid).constData()) == 0;
         },
         Outcome::refused},
        {".Trash-$uid writable by others",
         [uid](const QByteArray& top) {
             return ::mkdir(join(top, ".Trash-" + uid).constData(), 0777) == 0 &&
                    ::chmod(join(top, ".Trash-" + uid).constData(), 0777) == 0;
         },
         Outcome::refused},
        {".Trash-$uid of another user",
         [uid](const QByteArray& top) {
             return ::mkdir(join(top, ".Trash-" + uid).constData(), 0700) == 0 &&
                    ::chown(join(top, ".Trash-" + uid).constData(), ::getuid() + 4242, ::getgid()) == 0;
         },
         Outcome::refused},
        {".Trash-$uid is a file",
         [uid](const QByteArray& top) {
             test::writeBytes(join(top, ".Trash-" + uid), "not a folder");
             return true;
         },
         Outcome::refused},
    };
    for (const Case& c : cases) {
        const test::TempDir topDir;
        const QByteArray top = topDir.path();
        const QByteArray folder = join(top, "Videos/trip");
        ASSERT_EQ(::mkdir(join(top, "Videos").constData(), 0755), 0);
        ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
        if (!c.prepare(top)) {
            // Only chown needs root; every other row must set up anywhere.
            if (::geteuid() == 0) ADD_FAILURE() << c.label << ": could not set up: " << std::strerror(errno);
            continue;
        }
        const QByteArray path = join(folder, "clip.mp4");
        test::writeBytes(path, "bytes");
        const TrashOptions options{std::nullopt, ::getuid(), top, deletionTime()};

        const Result<TrashedFile> trashed = moveToTrash(path, test::fingerprintOfPath(path), options);

        if (c.outcome == Outcome::refused) {
            ASSERT_FALSE(trashed.ok()) << c.label;
            EXPECT_EQ(trashed.error().kind(), IoErrorKind::noTrash) << c.label;
            EXPECT_TRUE(test::exists(path)) << c.label;
            EXPECT_FALSE(test::exists(join(top, "elsewhere/files"))) << c.label;
            continue;
        }
        ASSERT_TRUE(trashed.ok()) << c.label << ": " << trashed.error().message().toStdString();
        const QByteArray expectedTrash =
            c.outcome == Outcome::sharedTrash ? join(top, ".Trash/" + uid) : join(top, ".Trash-" + uid);
        EXPECT_EQ(trashed->trashPath, expectedTrash) << c.label;
        EXPECT_EQ(trashed->filePath, join(expectedTrash, "files/clip.mp4")) << c.label;
        EXPECT_FALSE(test::exists(path)) << c.label;
        // Relative to the topdir, as a topdir trash needs.
        EXPECT_EQ(infoOriginalPath(test::readBytes(trashed->infoPath)), "Videos/trip/clip.mp4") << c.label;
        struct stat status {};
        ASSERT_EQ(::lstat(expectedTrash.constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u) << c.label;
    }
}

TEST_F(TrashTest, AnotherDeviceIsReportedNeverCopied) {
    const test::TempDir otherDevice{QStringLiteral("/dev/shm/reelkeep-trash-XXXXXX")};
    struct stat here {};
    struct stat there {};
    if (!otherDevice.isValid() || ::stat(m_base.constData(), &here) != 0 ||
        ::stat(QFile::encodeName(otherDevice.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system to trash across";
    const QByteArray path = makeVideo("clip.mp4");
    const TrashOptions options{std::nullopt, ::getuid(), otherDevice.path(), deletionTime()};

    const Result<TrashedFile> trashed = moveToTrash(path, test::fingerprintOfPath(path), options);

    ASSERT_FALSE(trashed.ok());
    EXPECT_EQ(trashed.error().kind(), IoErrorKind::crossDevice);
    EXPECT_EQ(test::readBytes(path), "video bytes");
    const QByteArray info = join(otherDevice.path(), ".Trash-" + QByteArray::number(::getuid()) + "/info");
    EXPECT_TRUE(!test::exists(info) || test::folderNames(info).empty());
}

TEST_F(TrashTest, AFolderItMayNotWriteFailsThatItemAndLeavesNoInfo) {
    if (reelkeep::test::rerunAsNobody()) return;  // modes deny root nothing
    const QByteArray trash = join(m_base, "data/Trash");
    test::makeFolder(join(m_base, "data"));
    test::makeFolder(trash);
    test::makeFolder(join(trash, "files"));
    test::makeFolder(join(trash, "info"));
    int index = 0;
    for (const QByteArray& locked : {m_library, join(trash, "files"), join(trash, "info")}) {
        SCOPED_TRACE(locked.toStdString());
        const QByteArray name = "clip" + QByteArray::number(++index) + ".mp4";
        const QByteArray path = makeVideo(name);
        const FileFingerprint scanned = test::fingerprintOfPath(path);
        ASSERT_EQ(::chmod(locked.constData(), 0555), 0);
        const Result<TrashedFile> trashed = moveToTrash(path, scanned, homeOptions());
        ::chmod(locked.constData(), 0755);
        ASSERT_FALSE(trashed.ok());
        EXPECT_EQ(trashed.error().kind(), IoErrorKind::system);
        EXPECT_EQ(trashed.error().errorNumber(), EACCES);
        EXPECT_FALSE(trashed.error().message().isEmpty());
        EXPECT_EQ(test::readBytes(path), "video bytes");
        EXPECT_TRUE(test::folderNames(join(trash, "info")).empty());
        EXPECT_TRUE(test::folderNames(join(trash, "files")).empty());
    }
}

TEST_F(TrashTest, AStrangerSwappedInIsPutBackOrReportedWhereItIs) {
    for (const bool isNameRetaken : {false, true}) {
        const QByteArray path = makeVideo(isNameRetaken ? "retaken.mp4" : "clip.mp4", "scanned");
        const FileFingerprint scanned = test::fingerprintOfPath(path);
        const auto swap = [&](TrashStep step) {
            if (step == TrashStep::beforeMove) {
                test::writeBytes(path + ".new", "stranger");
                ::rename((path + ".new").constData(), path.constData());
            } else if (isNameRetaken) {
                test::writeBytes(path, "third");  // the name is taken again before the put-back
            }
        };

        const Result<TrashedFile> trashed = moveToTrash(path, scanned, homeOptions(), swap);

        ASSERT_FALSE(trashed.ok());
        if (!isNameRetaken) {
            EXPECT_EQ(trashed.error().kind(), IoErrorKind::changed);
            EXPECT_EQ(test::readBytes(path), "stranger");
            continue;
        }
        ASSERT_EQ(trashed.error().kind(), IoErrorKind::notPutBack);
        const QByteArray trashedPath = join(m_base, "data/Trash/files/retaken.mp4");
        EXPECT_EQ(trashed.error().otherPath(), trashedPath);
        EXPECT_EQ(test::readBytes(trashedPath), "stranger");
        EXPECT_TRUE(test::exists(infoPathOf(join(m_base, "data/Trash"), "retaken.mp4")));  // restorable
        EXPECT_TRUE(trashed.error().message().contains(QStringLiteral("could not be put back")));
        EXPECT_FALSE(trashed.error().message().contains(QStringLiteral("nothing was done")));
    }
}

// A restore puts the video back only if it is still the file that was trashed
// and its name is free; every refusal leaves the video and its info file in the
// trash and the original path untouched.
TEST_F(TrashTest, ARefusedRestoreLeavesTheTrashAndTheOriginalPathAsTheyWere) {
    struct Case {
        const char* label;
        std::function<void(const Trashed&)> meanwhile;
        IoErrorKind kind;
    };
    const Case cases[] = {
        {"original path taken", [](const Trashed& t) { test::writeBytes(t.path, "a new file"); },
         IoErrorKind::alreadyExists},
        {"original path is now a dangling symlink",
         [](const Trashed& t) { ::symlink("/nowhere", t.path.constData()); }, IoErrorKind::alreadyExists},
        {"trashed copy edited",
         [](const Trashed& t) { test::writeBytes(t.entry.filePath, "edited in the trash"); },
         IoErrorKind::changed},
        {"trashed copy gone", [](const Trashed& t) { ::unlink(t.entry.filePath.constData()); },
         IoErrorKind::changed},
        {"info names another file",
         [](const Trashed& t) {
             test::writeBytes(t.entry.infoPath,
                              trashInfoContent("/elsewhere/clip.mp4", QDateTime::currentDateTime()));
         },
         IoErrorKind::changed},
        {"original folder gone",
         [this](const Trashed&) { ::rename(m_library.constData(), (m_library + ".old").constData()); },
         IoErrorKind::system},
    };
    int index = 0;
    for (const Case& c : cases) {
        ::mkdir(m_library.constData(), 0755);  // the last case takes it away
        const Trashed trashed = trash("v" + QByteArray::number(index++) + ".mp4", homeOptions());
        c.meanwhile(trashed);
        const bool hadFile = test::exists(trashed.entry.filePath);
        struct stat before {};
        const bool wasTaken = ::lstat(trashed.path.constData(), &before) == 0;

        const Result<void> restored = restoreFromTrash(trashed.entry, trashed.path, trashed.fingerprint);

        ASSERT_FALSE(restored.ok()) << c.label;
        EXPECT_EQ(restored.error().kind(), c.kind) << c.label;
        EXPECT_EQ(test::exists(trashed.entry.filePath), hadFile) << c.label;
        EXPECT_TRUE(test::exists(trashed.entry.infoPath)) << c.label;
        struct stat after {};
        if (wasTaken) {
            ASSERT_EQ(::lstat(trashed.path.constData(), &after), 0) << c.label;
            EXPECT_EQ(after.st_ino, before.st_ino) << c.label;
        } else {
            EXPECT_NE(::lstat(trashed.path.constData(), &after), 0) << c.label;
        }
        EXPECT_TRUE(restored.error().message().contains(QFile::decodeName(trashed.path))) << c.label;
    }
}

TEST(TrashMounts, OnlyRealMountRootsOutsideTheSystemMayHoldATrash) {
    const QByteArray mountInfo =
        "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
        "40 22 0:35 / /tmp rw,nosuid shared:20 - tmpfs tmpfs rw,size=8g\n"
        "51 22 8:17 / /run/media/ann/My\\040Disk rw,nosuid shared:30 - exfat /dev/sdb1 rw\n"
        "52 22 0:47 / /home/ann/ov rw - overlay overlay rw,lowerdir=/a,upperdir=/b\n"
        "53 22 0:48 / /home/ann/mirror rw,nosuid,nodev - fuse /data/ann rw,user_id=0\n"
        "54 22 0:49 /sub /srv/videos rw - btrfs /dev/sdc1 rw,subvol=/sub\n"
        "55 22 8:33 / /mnt/backup rw - ext4 /dev/sdd1 rw,x-gvfs-notrash\n"
        "56 22 0:50 / /home/ann/ram rw - ramfs none rw\n"
        "broken line\n";
    const std::vector<MountEntry> mounts = parseMountInfo(mountInfo);
    struct Expected {
        QByteArray mountPoint;
        QByteArray fsType;
        bool isInternal;
    };
    const Expected expected[] = {
        {"/", "ext4", true},
        {"/tmp", "tmpfs", true},
        {"/run/media/ann/My Disk", "exfat", false},
        {"/home/ann/ov", "overlay", true},
        {"/home/ann/mirror", "fuse", false},
        {"/srv/videos", "btrfs", false},
        {"/mnt/backup", "ext4", true},
        {"/home/ann/ram", "ramfs", true},
    };
    ASSERT_EQ(mounts.size(), std::size(expected));
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        EXPECT_EQ(mounts[i].mountPoint, expected[i].mountPoint);
        EXPECT_EQ(mounts[i].fsType, expected[i].fsType);
        EXPECT_EQ(isSystemInternalMount(mounts[i]), expected[i].isInternal)
            << mounts[i].mountPoint.toStdString();
    }
}

TEST(TrashNames, FitTheInfoSuffixAndKeepTheExtension) {
    struct Case {
        QByteArray name;
        int attempt;
        QByteArray expected;
    };
    const QByteArray euro = "\xe2\x82\xac";  // three bytes; never cut in half
    const Case cases[] = {
        {"clip.mp4", 1, "clip.mp4"},
        {"clip.mp4", 2, "clip.2.mp4"},
        {"noext", 3, "noext.3"},
        {".hidden", 2, ".hidden.2"},
        {test::longName(".mp4"), 1, QByteArray(241, 'x') + ".mp4"},
        {test::longName(".mp4"), 12, QByteArray(238, 'x') + ".12.mp4"},
        {QByteArray(240, 'x') + euro + euro + ".mp4", 1, QByteArray(240, 'x') + ".mp4"},
    };
    for (const Case& c : cases) {
        const QByteArray entry = trashEntryName(c.name, c.attempt);
        EXPECT_EQ(entry, c.expected) << c.name.toStdString();
        EXPECT_LE(entry.size() + 10, 255);
    }
}

TEST(TrashTopdir, IsTheHighestFolderOnTheSameDevice) {
    const test::TempDir dir;
    const QByteArray path = dir.path();
    const Result<QByteArray> topdir = findTopdir(path);
    ASSERT_TRUE(topdir.ok()) << topdir.error().message().toStdString();
    EXPECT_TRUE(isSameOrInside(path, topdir.value()));
    struct stat inside {};
    struct stat top {};
    ASSERT_EQ(::stat(path.constData(), &inside), 0);
    ASSERT_EQ(::stat(topdir->constData(), &top), 0);
    EXPECT_EQ(inside.st_dev, top.st_dev);
}

}  // namespace
}  // namespace reelkeep::fs
