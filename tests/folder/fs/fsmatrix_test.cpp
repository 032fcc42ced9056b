// fsmatrix_test.cpp: scan, trash, restore and export on real mounts of each
// kind a user may have (ext4, btrfs and a subvolume, tmpfs, overlayfs over two
// file systems, a FUSE bindfs), with the trash folder chosen checked against
// `gio trash` on the same folder: both use the same trash, or both refuse.
// Needs root, loop devices and the tools; rows that cannot mount are skipped
// with a message, and every mount is detached on every path out.
#include <QProcessEnvironment>
#include <iostream>

#include "folder/fs/fs_fixture.h"
#include "platform/folder/fs/content_compare.h"
#include "platform/folder/fs/export.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/fs/trash.h"
#include "platform/folder/fs/walk.h"

namespace reelkeep::fs {
namespace {

using test::join;

struct Row {
    QByteArray label;
    QByteArray folder;  // where the videos are
    QByteArray home;    // $HOME for both trash implementations
    QByteArray top;     // the mount the row lives on: no stray trash folder may appear below it
};

void skipped(const QByteArray& what) {
    std::cout << "[  SKIPPED ] fsmatrix: " << what.toStdString() << "\n";
}

bool makeImage(const QByteArray& path, qint64 bytes) {
    QFile image{QFile::decodeName(path)};
    return image.open(QIODevice::WriteOnly) && image.resize(bytes);
}

bool makeFolders(const QByteArray& path) {
    return QDir().mkpath(QFile::decodeName(path));
}

// The trash folder holding files/NAME, looked for where either implementation may put it.
QByteArray trashHolding(const QByteArray& name, const Row& row) {
    std::vector<QByteArray> candidates{join(row.home, ".local/share/Trash")};
    for (QByteArray folder = row.folder; folder.size() > 1; folder = folder.left(folder.lastIndexOf('/'))) {
        candidates.push_back(join(folder, ".Trash-0"));
        candidates.push_back(join(folder, ".Trash/0"));
    }
    for (const QByteArray& candidate : candidates)
        if (test::exists(join(candidate, "files/" + name))) return candidate;
    return {};
}

std::vector<QByteArray> strayTrashFolders(const QByteArray& top) {
    std::vector<QByteArray> found;
    for (const QByteArray& name : test::folderNames(top))
        if (name.startsWith(".Trash")) found.push_back(join(top, name));
    return found;
}

// Restores from the info file the way a file manager does: Path= relative to
// the topdir (the trash folder's parent) or absolute in the home trash.
QByteArray restore(const TrashedFile& trashed, const QByteArray& homeTrash) {
    QByteArray original;
    for (const QByteArray& line : test::readBytes(trashed.infoPath).split('\n'))
        if (line.startsWith("Path=")) original = percentDecodePath(line.mid(5)).value_or(QByteArray{});
    if (original.isEmpty()) return {};
    if (!original.startsWith('/')) {
        QByteArray top = trashed.trashPath.left(trashed.trashPath.lastIndexOf('/'));
        if (trashed.trashPath.endsWith(".Trash/0")) top = top.left(top.lastIndexOf('/'));
        original = join(top, original);
    } else if (trashed.trashPath != homeTrash) {
        return {};
    }
    if (::renameat2(AT_FDCWD, trashed.filePath.constData(), AT_FDCWD, original.constData(),
                    RENAME_NOREPLACE) != 0 &&
        (errno != EINVAL || test::exists(original) ||
         ::rename(trashed.filePath.constData(), original.constData()) != 0))
        return {};
    ::unlink(trashed.infoPath.constData());
    return original;
}

class FsMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "fsmatrix needs root to mount file systems";
        if (QStandardPaths::findExecutable("gio").isEmpty())
            GTEST_SKIP() << "fsmatrix needs gio (libglib2.0-bin)";
        ASSERT_TRUE(m_dir.isValid());
        m_base = m_dir.path();
        m_home = join(m_base, "home");
        ASSERT_TRUE(makeFolders(m_home));
    }

    bool mountImage(const QByteArray& label, const QStringList& mkfs, qint64 bytes) {
        const QByteArray image = join(m_base, label + ".img");
        const QByteArray point = join(m_base, label);
        QStringList format = mkfs;
        format.append(QFile::decodeName(image));
        if (!makeImage(image, bytes) || !makeFolders(point) ||
            QStandardPaths::findExecutable(mkfs.first()).isEmpty() || !test::ScratchMounts::run(format) ||
            !m_mounts.mount({"mount", "-o", "loop", QFile::decodeName(image), QFile::decodeName(point)},
                            point)) {
            skipped(label + ": cannot make or mount a loop image here");
            return false;
        }
        return true;
    }

    std::vector<Row> mountAll() {
        std::vector<Row> rows;
        const auto text = [](const QByteArray& bytes) { return QFile::decodeName(bytes); };
        const bool hasExt4 = mountImage("ext4", {"mkfs.ext4", "-q", "-F"}, 64 << 20);
        if (hasExt4) rows.push_back({"ext4", join(m_base, "ext4/Videos"), m_home, join(m_base, "ext4")});
        const bool hasBtrfs = mountImage("btrfs", {"mkfs.btrfs", "-q", "-f"}, 128 << 20);
        if (hasBtrfs) {
            const QByteArray top = join(m_base, "btrfs");
            rows.push_back({"btrfs", join(top, "Videos"), m_home, top});
            if (test::ScratchMounts::run({"btrfs", "-q", "subvolume", "create", text(join(top, "sub"))}))
                rows.push_back({"btrfs subvolume", join(top, "sub/Videos"), m_home, join(top, "sub")});
            else
                skipped("btrfs subvolume: cannot create one");
        }
        const QByteArray tmpfs = join(m_base, "tmpfs");
        if (makeFolders(tmpfs) &&
            m_mounts.mount({"mount", "-t", "tmpfs", "reelkeep-fsmatrix", text(tmpfs)}, tmpfs))
            rows.push_back({"tmpfs", join(tmpfs, "Videos"), m_home, tmpfs});
        else
            skipped("tmpfs: cannot mount");
        if (hasExt4 && hasBtrfs) {
            const QByteArray lower = join(m_base, "ext4/lower"), upper = join(m_base, "btrfs/upper"),
                             work = join(m_base, "btrfs/work"), overlay = join(m_base, "overlay");
            // Files of the lower layer: moving one copies it up to the other file system.
            const bool isReady = makeFolders(join(lower, "Videos")) && makeFolders(join(lower, "home")) &&
                                 makeFolders(upper) && makeFolders(work) && makeFolders(overlay);
            for (const QByteArray name : {"overlay-ours.mp4", "overlay-theirs.mp4"})
                if (isReady) test::writeBytes(join(lower, "Videos/" + name), "lower layer " + name);
            const QString options =
                "lowerdir=" + text(lower) + ",upperdir=" + text(upper) + ",workdir=" + text(work);
            if (isReady && m_mounts.mount({"mount", "-t", "overlay", "overlay", "-o", options, text(overlay)},
                                          overlay)) {
                rows.push_back({"overlay", join(overlay, "Videos"), m_home, overlay});
                // A live session: the home itself is on the overlay, so its trash is used.
                rows.push_back(
                    {"overlay holding the home", join(overlay, "Videos"), join(overlay, "home"), overlay});
            } else {
                skipped("overlay: cannot mount");
            }
        }
        if (hasExt4) {
            const QByteArray source = join(m_base, "ext4/bindsrc"), point = join(m_base, "bindfs");
            if (makeFolders(source) && makeFolders(point) &&
                m_mounts.mount({"bindfs", text(source), text(point)}, point))
                rows.push_back({"bindfs", join(point, "Videos"), m_home, point});
            else
                skipped("bindfs: cannot mount (is bindfs installed?)");
        }
        return rows;
    }

    test::TempDir m_dir;
    test::ScratchMounts m_mounts;  // after m_dir: detached before the folder is removed
    QByteArray m_base;
    QByteArray m_home;
};

TEST_F(FsMatrix, ScanTrashRestoreAndExportOnEveryKindOfMount) {
    const std::vector<Row> rows = mountAll();
    if (rows.empty()) GTEST_SKIP() << "nothing could be mounted here";
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label.toStdString());
        const QByteArray prefix =
            row.label.startsWith("overlay") ? "overlay" : "v" + QByteArray::number(index);
        ++index;
        ASSERT_TRUE(makeFolders(row.folder));
        const QByteArray ours = join(row.folder, prefix + "-ours.mp4"),
                         theirs = join(row.folder, prefix + "-theirs.mp4");
        for (const QByteArray& path : {ours, theirs})
            if (!test::exists(path)) test::writeBytes(path, "video " + path);
        const QByteArray oursContent = test::readBytes(ours);
        const std::vector<QByteArray> straysBefore = strayTrashFolders(row.top);

        // Scan.
        const WalkResult walked =
            walkRoots({row.folder}, [](const QByteArray& name) { return name.endsWith(".mp4"); });
        const auto found = std::find_if(walked.entries.begin(), walked.entries.end(),
                                        [&](const WalkEntry& entry) { return entry.path == ours; });
        ASSERT_NE(found, walked.entries.end());
        const FileFingerprint scanned = found->fingerprint;
        ASSERT_TRUE(verifyPath(ours, scanned).ok());

        // Trash: ours, and gio on its twin in the same folder.
        const QByteArray homeTrash = join(row.home, ".local/share/Trash");
        const TrashOptions options{homeTrash, 0, std::nullopt, std::nullopt};
        const Result<TrashedFile> trashed = moveToTrash(ours, scanned, options);
        QProcess gio;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", QFile::decodeName(row.home));
        environment.insert("XDG_DATA_HOME", QFile::decodeName(join(row.home, ".local/share")));
        gio.setProcessEnvironment(environment);
        gio.start("gio", {"trash", "--", QFile::decodeName(theirs)});
        ASSERT_TRUE(gio.waitForFinished(30000));
        const bool isTrashedByGio = gio.exitCode() == 0;
        std::cout << "fsmatrix: " << row.label.toStdString() << ": ours "
                  << (trashed ? trashed->trashPath.toStdString() : trashed.error().message().toStdString())
                  << "; gio "
                  << (isTrashedByGio ? trashHolding(prefix + "-theirs.mp4", row).toStdString()
                                     : gio.readAllStandardError().trimmed().toStdString())
                  << "\n";
        if (!isTrashedByGio) {
            ASSERT_FALSE(trashed.ok()) << "gio refused, we used " << trashed->trashPath.toStdString();
            EXPECT_EQ(trashed.error().kind(), IoErrorKind::noTrash);
            EXPECT_EQ(test::readBytes(ours), oursContent);
            EXPECT_EQ(strayTrashFolders(row.top), straysBefore);  // no trash folder as a side effect
        } else {
            ASSERT_TRUE(trashed.ok()) << trashed.error().message().toStdString();
            EXPECT_EQ(trashed->trashPath, trashHolding(prefix + "-theirs.mp4", row));
            EXPECT_FALSE(test::exists(ours));
            // Restore from the info file, as a file manager (or our undo) does.
            EXPECT_EQ(restore(trashed.value(), homeTrash), ours);
            EXPECT_EQ(test::readBytes(ours), oursContent);
        }

        // Export into the same folder: the bytes, and a sparse file's holes.
        const QByteArray sparse = join(row.folder, prefix + "-sparse.mp4");
        {
            const UniqueFd fd{::open(sparse.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
            ASSERT_TRUE(fd);
            ASSERT_EQ(::ftruncate(fd.get(), 32 << 20), 0);
            ASSERT_EQ(::pwrite(fd.get(), "data", 4, 16 << 20), 4);
        }
        Result<UniqueFd> folder = openScannedFolder(row.folder);
        ASSERT_TRUE(folder.ok()) << folder.error().message().toStdString();
        for (const QByteArray& source : {ours, sparse}) {
            const UniqueFd sourceFd{::open(source.constData(), O_RDONLY | O_CLOEXEC)};
            ASSERT_TRUE(sourceFd);
            const QByteArray name =
                source.mid(source.lastIndexOf('/') + 1) + "." + QByteArray::number(index) + ".copy";
            const Result<void> exported = exportFile(sourceFd.get(), source, folder->get(), row.folder, name);
            ASSERT_TRUE(exported.ok()) << exported.error().message().toStdString();
            EXPECT_TRUE(test::readBytes(join(row.folder, name)) == test::readBytes(source));
            struct stat original {
            }, copy{};
            ASSERT_EQ(::stat(source.constData(), &original), 0);
            ASSERT_EQ(::stat(join(row.folder, name).constData(), &copy), 0);
            if (original.st_blocks * 512 < original.st_size) {
                EXPECT_LE(copy.st_blocks, original.st_blocks + 64) << "holes written out";
            }
        }
        for (const QByteArray& name : test::folderNames(row.folder))
            EXPECT_FALSE(name.endsWith(".part")) << name.toStdString();

        // What trashing a copy frees: nothing of a reflinked clone, all of any other file.
        const QByteArray data = join(row.folder, prefix + "-data.mp4"),
                         clone = join(row.folder, prefix + "-clone.mp4");
        test::writeBytes(data, QByteArray(1 << 20, 'v'));
        const bool isCloned = test::ScratchMounts::run(
            {"cp", "--reflink=always", "--", QFile::decodeName(data), QFile::decodeName(clone)});
        UnsharedBytesProbe unshared;
        if (isCloned) {
            EXPECT_EQ(unshared.of(clone, test::fingerprintOfPath(clone)), 0);
            EXPECT_EQ(unshared.of(data, test::fingerprintOfPath(data)), 0);
        } else {
            EXPECT_EQ(unshared.of(data, test::fingerprintOfPath(data)), 1 << 20);
        }
        std::cout << "fsmatrix: " << row.label.toStdString() << ": reflinks " << (isCloned ? "yes" : "no")
                  << "\n";
    }
}

}  // namespace
}  // namespace reelkeep::fs
