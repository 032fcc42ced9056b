// trash_restore_test.cpp: a video goes back exactly where its info file says,
// only if it is still the file that was trashed and its name is free; every
// refusal leaves the video and its info file in the trash and the original
// path untouched.
#include <functional>
#include <tuple>

#include "folder/fs/fs_fixture.h"
#include "platform/folder/fs/trash.h"
#include "platform/folder/fs/trash_restore.h"

namespace reelkeep::fs {
namespace {

using test::join;

class TrashRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_base = m_dir.path();
        m_library = join(m_base, "library");
        test::makeFolder(m_library);
    }

    struct Trashed {
        QByteArray path;
        FileFingerprint fingerprint;
        TrashedFile entry;
    };

    Trashed trash(const QByteArray& name, const TrashOptions& options) {
        const QByteArray path = join(m_library, name);
        test::writeBytes(path, "video " + name);
        const FileFingerprint fingerprint = test::fingerprintOfPath(path);
        Result<TrashedFile> moved = moveToTrash(path, fingerprint, options);
        if (!moved) ADD_FAILURE() << moved.error().message().toStdString();
        return Trashed{path, fingerprint, moved ? moved.value() : TrashedFile{}};
    }

    TrashOptions homeOptions() const { return TrashOptions{join(m_base, "data/Trash"), ::getuid(), {}, {}}; }

    test::TempDir m_dir;
    QByteArray m_base;
    QByteArray m_library;
};

TEST_F(TrashRestoreTest, AVideoGoesBackUnderItsOwnNameAndItsInfoFileGoes) {
    const TrashOptions topdir{std::nullopt, ::getuid(), m_base, {}};
    struct Case {
        QByteArray name;
        TrashOptions options;
    };
    const Case cases[] = {
        {"clip.mp4", homeOptions()},
        {"name\nwith newline.mp4", homeOptions()},
        {"bad \xff\xfe utf8.mp4", homeOptions()},
        {"empty.mp4", homeOptions()},
        {"relative in topdir.mp4", topdir},  // its info holds a path relative to the topdir
    };
    for (const Case& c : cases) {
        const Trashed trashed = trash(c.name, c.options);

        const Result<void> restored = restoreFromTrash(trashed.entry, trashed.path, trashed.fingerprint);

        ASSERT_TRUE(restored.ok()) << c.name.toStdString() << ": "
                                   << restored.error().message().toStdString();
        // The same file, not a copy (a rename may set ctime).
        const FileFingerprint back = test::fingerprintOfPath(trashed.path);
        EXPECT_EQ(std::tuple(back.device, back.inode, back.sizeBytes, back.mtimeNs),
                  std::tuple(trashed.fingerprint.device, trashed.fingerprint.inode,
                             trashed.fingerprint.sizeBytes, trashed.fingerprint.mtimeNs))
            << c.name.toStdString();
        EXPECT_FALSE(test::exists(trashed.entry.filePath)) << c.name.toStdString();
        EXPECT_FALSE(test::exists(trashed.entry.infoPath)) << c.name.toStdString();
    }
}

TEST_F(TrashRestoreTest, ARefusedRestoreLeavesTheTrashAndTheOriginalPathAsTheyWere) {
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

}  // namespace
}  // namespace reelkeep::fs
