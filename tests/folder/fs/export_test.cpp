// export_test.cpp: an export either publishes a complete copy under a new name
// or leaves the destination folder exactly as it was; it never replaces.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>

#include "folder/fs/fs_fixture.h"
#include "platform/folder/fs/export.h"
#include "support/as_nobody.h"

namespace reelkeep::fs {
namespace {

using test::join;
using test::patternBytes;

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        const QByteArray base = m_dir.path();
        m_sourcePath = join(base, "source.mp4");
        m_destination = join(base, "out");
        test::makeFolder(m_destination);
        m_folderFd.reset(::open(m_destination.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(m_folderFd);
    }

    UniqueFd makeSource(const QByteArray& content) {
        test::writeBytes(m_sourcePath, content);
        ::chmod(m_sourcePath.constData(), 0700);  // never the mode an export may take
        return UniqueFd{::open(m_sourcePath.constData(), O_RDONLY | O_CLOEXEC)};
    }

    Result<void> exportTo(int sourceFd, const QByteArray& name, const CopyCalls& calls = systemCopyCalls()) {
        return exportFile(sourceFd, m_sourcePath, m_folderFd.get(), m_destination, name, calls);
    }

    test::TempDir m_dir;
    QByteArray m_sourcePath;
    QByteArray m_destination;
    UniqueFd m_folderFd;
};

TEST_F(ExportTest, PublishesACompleteCopyWithTheUsersDefaultMode) {
    const mode_t previousUmask = ::umask(022);
    const qsizetype sizes[] = {0, 1, 4097, 3 * 1024 * 1024 + 5};
    const CopyCalls withoutTmpFile = [] {
        CopyCalls calls = systemCopyCalls();
        calls.openTmpFile = [](int) { return errno = EOPNOTSUPP, -1; };
        return calls;
    }();
    for (const bool isTmpFile : {true, false}) {
        for (const qsizetype size : sizes) {
            const QByteArray content = patternBytes(size);
            const UniqueFd source = makeSource(content);
            const QByteArray name = "copy " + QByteArray::number(size) + (isTmpFile ? ".mp4" : ".named.mp4");

            const Result<void> exported =
                exportTo(source.get(), name, isTmpFile ? systemCopyCalls() : withoutTmpFile);

            ASSERT_TRUE(exported.ok()) << exported.error().message().toStdString();
            EXPECT_EQ(test::readBytes(join(m_destination, name)), content) << size;
            struct stat status {};
            ASSERT_EQ(::stat(join(m_destination, name).constData(), &status), 0);
            EXPECT_EQ(status.st_mode & 07777, 0644u) << size;
        }
    }
    ::umask(previousUmask);
    const std::vector<QByteArray> names = test::folderNames(m_destination);
    EXPECT_EQ(names.size(), 2 * std::size(sizes));  // no temporary left behind
    for (const QByteArray& name : names) EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
}

TEST_F(ExportTest, HolesStayHolesInTheCopy) {
    constexpr off_t kSize = off_t{64} << 20;
    const QByteArray chunk = patternBytes(65536);
    {
        const UniqueFd fd{::open(m_sourcePath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
        ASSERT_TRUE(fd);
        ASSERT_EQ(::ftruncate(fd.get(), kSize), 0);  // ends in a hole
        for (const off_t at : {off_t{0}, off_t{20} << 20, (off_t{40} << 20) + 12345})
            ASSERT_EQ(::pwrite(fd.get(), chunk.constData(), size_t(chunk.size()), at), chunk.size());
    }
    struct stat source {};
    ASSERT_EQ(::stat(m_sourcePath.constData(), &source), 0);
    if (source.st_blocks * 512 >= kSize) GTEST_SKIP() << "this file system keeps no holes";
    const UniqueFd sourceFd{::open(m_sourcePath.constData(), O_RDONLY | O_CLOEXEC)};
    CopyCalls withoutCopyRange = systemCopyCalls();
    withoutCopyRange.copyRange = [](int, off_t*, int, size_t) { return errno = EXDEV, ssize_t{-1}; };

    for (const auto& [label, calls] :
         {std::pair{"copy_file_range", systemCopyCalls()}, std::pair{"read and write", withoutCopyRange}}) {
        const QByteArray name = QByteArray("sparse ") + label + ".mp4";
        ASSERT_TRUE(exportTo(sourceFd.get(), name, calls).ok()) << label;
        struct stat copy {};
        ASSERT_EQ(::stat(join(m_destination, name).constData(), &copy), 0);
        EXPECT_EQ(copy.st_size, kSize) << label;
        EXPECT_LT(copy.st_blocks * 512, off_t{8} << 20) << label;  // not 64 MiB of zeros
        EXPECT_TRUE(test::readBytes(join(m_destination, name)) == test::readBytes(m_sourcePath)) << label;
    }
}

TEST_F(ExportTest, StalePartsOfOursAreRemovedAtTheNextExportAndNothingElse) {
    const timespec past[2] = {{.tv_sec = 1'000'000'000, .tv_nsec = 0},
                              {.tv_sec = 1'000'000'000, .tv_nsec = 0}};
    struct Entry {
        QByteArray name;
        bool isOld;
        bool isOtherUser;
        bool isSymlink;
        bool isRemoved;
    };
    const Entry entries[] = {
        {".reelkeep-export-1a2b.part", true, false, false, true},
        {".reelkeep-export-live.part", false, false, false, false},     // another export, still writing
        {".reelkeep-export-theirs.part", true, true, false, false},     // another user's
        {".reelkeep-export-link.part", true, false, true, false},       // not a file of ours
        {".other-export-1a2b.part", true, false, false, false},         // not our prefix
        {"holiday.reelkeep-export-x.part", true, false, false, false},  // a user's name
    };
    test::writeBytes(join(m_destination, "target"), "kept");
    for (const Entry& entry : entries) {
        const QByteArray path = join(m_destination, entry.name);
        if (entry.isSymlink) {
            ASSERT_EQ(::symlink("target", path.constData()), 0);
        } else {
            test::writeBytes(path, "partial");
        }
        if (entry.isOtherUser && ::chown(path.constData(), 65534, 65534) != 0) continue;
        if (entry.isOld) {
            ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), past, AT_SYMLINK_NOFOLLOW), 0);
        }
    }
    CopyCalls withoutTmpFile = systemCopyCalls();
    withoutTmpFile.openTmpFile = [](int) { return errno = EOPNOTSUPP, -1; };
    const UniqueFd source = makeSource("video");

    ASSERT_TRUE(exportTo(source.get(), "copy.mp4", withoutTmpFile).ok());

    for (const Entry& entry : entries)
        EXPECT_EQ(test::exists(join(m_destination, entry.name)), !entry.isRemoved)
            << entry.name.toStdString();
    EXPECT_EQ(test::readBytes(join(m_destination, "target")), "kept");
}

TEST_F(ExportTest, ATakenNameIsNeverReplacedAndTheNextNameCanBeTried) {
    const UniqueFd source = makeSource("new copy");
    test::writeBytes(join(m_destination, "clip.mp4"), "precious");
    ASSERT_EQ(::symlink("/nonexistent", join(m_destination, "clip (1).mp4").constData()), 0);

    Result<StagedCopy> staged = stageCopy(source.get(), m_sourcePath, m_folderFd.get(), m_destination);
    ASSERT_TRUE(staged.ok());
    for (const QByteArray& name : {QByteArray{"clip.mp4"}, QByteArray{"clip (1).mp4"}}) {
        const Result<void> taken = staged->publish(name);
        ASSERT_FALSE(taken.ok()) << name.toStdString();
        EXPECT_EQ(taken.error().kind(), IoErrorKind::alreadyExists);
    }
    ASSERT_TRUE(staged->publish("clip (2).mp4").ok());

    EXPECT_EQ(test::readBytes(join(m_destination, "clip.mp4")), "precious");
    EXPECT_EQ(test::readBytes(join(m_destination, "clip (2).mp4")), "new copy");
    EXPECT_EQ(exportTo(source.get(), "clip.mp4").error().kind(),
              IoErrorKind::alreadyExists);  // single-file mode
}

// Each refusal leaves the source as it was and the destination folder empty.
TEST_F(ExportTest, RefusesWhatItMustNotCopyAndLeavesNothingBehind) {
    const UniqueFd source = makeSource("original");
    const auto expectRefused = [&](const Result<void>& exported, IoErrorKind kind, const QByteArray& what) {
        ASSERT_FALSE(exported.ok()) << what.toStdString();
        EXPECT_EQ(exported.error().kind(), kind) << what.toStdString();
        if (kind == IoErrorKind::system) {
            EXPECT_EQ(exported.error().errorNumber(), EINVAL);
        }
        EXPECT_TRUE(test::folderNames(m_destination).empty()) << what.toStdString();
    };
    const UniqueFd sourceFolder{::open(m_dir.path().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    expectRefused(exportFile(source.get(), m_sourcePath, sourceFolder.get(), m_dir.path(), "source.mp4"),
                  IoErrorKind::sameFile, "onto its own source");
    const QByteArray fifoPath = join(m_dir.path(), "fifo.mp4");
    ASSERT_EQ(::mkfifo(fifoPath.constData(), 0644), 0);
    const UniqueFd fifo{::open(fifoPath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    expectRefused(exportTo(fifo.get(), "copy.mp4"), IoErrorKind::notRegularFile, "a FIFO");
    std::stop_source stopped;
    stopped.request_stop();
    expectRefused(exportFile(source.get(), m_sourcePath, m_folderFd.get(), m_destination, "copy.mp4",
                             systemCopyCalls(), stopped.get_token()),
                  IoErrorKind::stopped, "stopped");
    for (const QByteArray& name : {QByteArray{}, QByteArray{"."}, QByteArray{".."}, QByteArray{"a/b.mp4"},
                                   QByteArray{"../escape.mp4"}, QByteArray(256, 'x')})
        expectRefused(exportTo(source.get(), name), IoErrorKind::system, "named " + name);
    EXPECT_EQ(test::readBytes(m_sourcePath), "original");
}

TEST_F(ExportTest, AFailedCopyLeavesNothingBehindAndIsNeverReportedDone) {
    const QByteArray content = patternBytes(3 * 1024 * 1024);
    const auto noCopyRange = [](int, off_t*, int, size_t) { return errno = ENOSYS, ssize_t{-1}; };
    const auto halfWrites = [](int fd, const void* buffer, size_t bytes) {
        return ::write(fd, buffer, std::max<size_t>(1, bytes / 2));
    };
    struct Case {
        const char* label;
        std::function<void(CopyCalls&)> inject;
        std::optional<IoErrorKind> failure;  // nullopt: the copy succeeds
        int errorNumber;
    };
    const Case cases[] = {
        {"copy_file_range unsupported", [&](CopyCalls& c) { c.copyRange = noCopyRange; }, std::nullopt, 0},
        {"short writes",
         [&](CopyCalls& c) {
             c.copyRange = noCopyRange;
             c.write = halfWrites;
         },
         std::nullopt, 0},
        {"disk full in copy_file_range",
         [](CopyCalls& c) {
             c.copyRange = [](int, off_t*, int, size_t) { return errno = ENOSPC, ssize_t{-1}; };
         },
         IoErrorKind::system, ENOSPC},
        {"disk full after a megabyte",
         [&](CopyCalls& c) {
             c.copyRange = noCopyRange;
             c.write = [written = std::make_shared<std::atomic<std::int64_t>>(0)](int fd, const void* buffer,
                                                                                  size_t bytes) -> ssize_t {
                 if (*written >= (1 << 20)) return errno = ENOSPC, -1;
                 const ssize_t count = ::write(fd, buffer, bytes);
                 *written += count;
                 return count;
             };
         },
         IoErrorKind::system, ENOSPC},
        {"write returns 0",
         [&](CopyCalls& c) {
             c.copyRange = noCopyRange;
             c.write = [](int, const void*, size_t) { return ssize_t{0}; };
         },
         IoErrorKind::system, EIO},
        {"flush fails", [](CopyCalls& c) { c.fsync = [](int) { return errno = EIO, -1; }; },
         IoErrorKind::system, EIO},
        {"copy_file_range claims more than it wrote",
         [](CopyCalls& c) { c.copyRange = [](int, off_t*, int, size_t bytes) { return ssize_t(bytes); }; },
         IoErrorKind::sizeMismatch, 0},
    };
    for (const Case& c : cases) {
        for (const bool isTmpFile : {true, false}) {
            const UniqueFd source = makeSource(content);
            CopyCalls calls = systemCopyCalls();
            c.inject(calls);
            if (!isTmpFile) calls.openTmpFile = [](int) { return errno = EOPNOTSUPP, -1; };
            const QByteArray name = QByteArray{c.label} + (isTmpFile ? ".mp4" : ".named.mp4");

            const Result<void> exported = exportTo(source.get(), name, calls);

            if (!c.failure) {
                ASSERT_TRUE(exported.ok()) << c.label << ": " << exported.error().message().toStdString();
                EXPECT_EQ(test::readBytes(join(m_destination, name)), content) << c.label;
                ASSERT_EQ(::unlink(join(m_destination, name).constData()), 0);
                continue;
            }
            ASSERT_FALSE(exported.ok()) << c.label;
            EXPECT_EQ(exported.error().kind(), *c.failure) << c.label;
            if (c.errorNumber != 0) {
                EXPECT_EQ(exported.error().errorNumber(), c.errorNumber) << c.label;
            }
            EXPECT_FALSE(exported.error().message().isEmpty());
            EXPECT_TRUE(test::folderNames(m_destination).empty()) << c.label;
        }
    }
    EXPECT_EQ(test::readBytes(m_sourcePath), content);
}

TEST_F(ExportTest, ASourceEditedDuringTheCopyFails) {
    const QByteArray sourcePath = m_sourcePath;
    struct Case {
        const char* label;
        QByteArray replacement;
        IoErrorKind failure;
    };
    const Case cases[] = {
        {"truncated", "short", IoErrorKind::sizeMismatch},
        {"rewritten at the same size", patternBytes(2 * 1024 * 1024).replace(0, 4, "EDIT"),
         IoErrorKind::changed},
    };
    for (const Case& c : cases) {
        const UniqueFd fresh = makeSource(patternBytes(2 * 1024 * 1024));
        CopyCalls calls = systemCopyCalls();
        calls.copyRange = [&, isEdited = false](int in, off_t* offset, int out, size_t bytes) mutable {
            if (!isEdited) {
                isEdited = true;
                const int fd = ::open(sourcePath.constData(), O_WRONLY | O_TRUNC);
                EXPECT_EQ(::write(fd, c.replacement.constData(), static_cast<size_t>(c.replacement.size())),
                          c.replacement.size());
                // An explicit mtime: two writes inside one clock tick would share one.
                const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
                ::futimens(fd, times);
                ::close(fd);
            }
            return ::copy_file_range(in, offset, out, nullptr, std::min<size_t>(bytes, 4096), 0);
        };
        const Result<void> exported = exportTo(fresh.get(), "copy.mp4", calls);
        ASSERT_FALSE(exported.ok()) << c.label;
        EXPECT_EQ(exported.error().kind(), c.failure) << c.label;
        EXPECT_TRUE(test::folderNames(m_destination).empty()) << c.label;
    }
}

TEST_F(ExportTest, AReadOnlyDestinationFailsCleanly) {
    if (reelkeep::test::rerunAsNobody()) return;  // modes deny root nothing
    const UniqueFd source = makeSource("x");
    ASSERT_EQ(::chmod(m_destination.constData(), 0555), 0);
    const Result<void> exported = exportTo(source.get(), "copy.mp4");
    ASSERT_FALSE(exported.ok());
    EXPECT_EQ(exported.error().kind(), IoErrorKind::system);
    EXPECT_TRUE(test::folderNames(m_destination).empty());
}

}  // namespace
}  // namespace reelkeep::fs
