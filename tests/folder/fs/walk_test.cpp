// walk_test.cpp: the walk lists each regular video file once and nothing else,
// survives hostile trees, and root resolution never picks $HOME.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QSet>
#include <algorithm>
#include <span>
#include <vector>

#include "folder/fs/fs_fixture.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/fs/walk.h"
#include "support/as_nobody.h"

namespace reelkeep::fs {
namespace {

using test::join;

constexpr off_t kTebibyte = off_t{1} << 40;

QSet<QByteArray> listedPaths(const WalkResult& result) {
    QSet<QByteArray> paths;
    for (const WalkEntry& entry : result.entries) paths.insert(entry.path);
    return paths;
}

TEST(Walk, ListsEachRegularVideoOnceAndNothingElse) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    struct Case {
        QByteArray name;
        enum { video, sparse, fifo, device, symlinkTo, hardLinkTo, folder } make;
        QByteArray target;
        bool isListed;
    };
    const Case cases[] = {
        {"a.mp4", Case::video, {}, true},
        {"empty.mp4", Case::video, {}, true},  // 0 bytes: listed, the probe decides later
        {"huge.mp4", Case::sparse, {}, true},  // 1 TiB claimed, nothing stored
        {"UPPER.MOV", Case::video, {}, true},
        {"name\nwith newline.mp4", Case::video, {}, true},
        {"bad \xff\xfe utf8.mkv", Case::video, {}, true},
        {test::longName(".mp4"), Case::video, {}, true},
        {"<b>html<", Case::folder, {}, false},
        {"<b>html</b>.mp4", Case::video, {}, true},
        {"notes.txt", Case::video, {}, false},
        {"noextension", Case::video, {}, false},
        {".hidden.mp4", Case::video, {}, false},
        {".Trash-0", Case::folder, {}, false},
        {".Trash-0/trashed.mp4", Case::video, {}, false},
        {"fifo.mp4", Case::fifo, {}, false},
        {"device.mp4", Case::device, {}, false},
        {"symlink.mp4", Case::symlinkTo, "a.mp4", false},
        {"a2.mp4", Case::hardLinkTo, "a.mp4",
         false},  // same inode as a.mp4: the smaller path stands for both
        {"self.mp4", Case::symlinkTo, "self.mp4", false},  // ELOOP
        {"dangling.mp4", Case::symlinkTo, "gone.mp4", false},
        {"sub", Case::folder, {}, false},
        {"sub/deep", Case::folder, {}, false},
        {"sub/deep/b.m4v", Case::video, {}, true},
        {"loop", Case::symlinkTo, ".", false},       // a folder loop through a symlink
        {"sublink", Case::symlinkTo, "sub", false},  // would list b.m4v twice
    };
    bool isDeviceMade = true;
    for (const Case& c : cases) {
        const QByteArray path = join(root, c.name);
        switch (c.make) {
            case Case::video:
                test::writeBytes(path, c.name.startsWith("empty") ? QByteArray{} : "video bytes");
                break;
            case Case::sparse:
                test::writeBytes(path, {});
                ASSERT_EQ(::truncate(path.constData(), kTebibyte), 0);
                break;
            case Case::fifo:
                ASSERT_EQ(::mkfifo(path.constData(), 0644), 0);
                break;
            case Case::device:
                isDeviceMade = ::mknod(path.constData(), S_IFCHR | 0644, makedev(1, 3)) == 0;
                break;
            case Case::symlinkTo:
                ASSERT_EQ(::symlink(c.target.constData(), path.constData()), 0);
                break;
            case Case::hardLinkTo:
                ASSERT_EQ(::link(join(root, c.target).constData(), path.constData()), 0);
                break;
            case Case::folder:
                test::makeFolder(path);
                break;
        }
    }

    const WalkResult result = walkRoots({root}, defaultVideoNamePredicate());

    QSet<QByteArray> expected;
    for (const Case& c : cases)
        if (c.isListed) expected.insert(join(root, c.name));
    EXPECT_EQ(listedPaths(result), expected);
    EXPECT_EQ(result.entries.size(), static_cast<std::size_t>(expected.size()));  // no path twice
    EXPECT_TRUE(result.skippedFolders.empty());
    EXPECT_FALSE(result.isStopped);
    for (const WalkEntry& entry : result.entries) {
        EXPECT_EQ(entry.fingerprint, test::fingerprintOfPath(entry.path)) << entry.path.toStdString();
        EXPECT_EQ(entry.mtimeNs, entry.fingerprint.mtimeNs);
        EXPECT_EQ(pathForIdentifier(identifierForPath(entry.path)), entry.path);
        if (entry.path.endsWith("/huge.mp4")) {
            EXPECT_EQ(entry.fingerprint.sizeBytes, kTebibyte);
        }
    }
    const QSet<QByteArray> folders{result.walkedFolders.begin(), result.walkedFolders.end()};
    EXPECT_EQ(folders,
              (QSet<QByteArray>{root, join(root, "sub"), join(root, "sub/deep"), join(root, "<b>html<")}));
    if (!isDeviceMade) GTEST_SKIP() << "mknod is not permitted here; the device row was not exercised";
}

TEST(Walk, SkipsRootsItCannotUseAndKeepsGoing) {
    const test::TempDir dir;
    const QByteArray base = dir.path();
    const QByteArray good = join(base, "good");
    test::makeFolder(good);
    test::writeBytes(join(good, "a.mp4"), "x");
    test::writeBytes(join(base, "file.mp4"), "x");
    ASSERT_EQ(::symlink("looping", join(base, "looping").constData()), 0);

    const std::vector<QByteArray> roots = {join(base, "missing"), join(base, "file.mp4"),
                                           join(base, "looping"), "relative/root", good};
    const WalkResult result = walkRoots(roots, defaultVideoNamePredicate());

    EXPECT_EQ(listedPaths(result), QSet<QByteArray>{join(good, "a.mp4")});
    ASSERT_EQ(result.skippedFolders.size(), 4u);
    for (const IoError& error : result.skippedFolders) EXPECT_FALSE(error.message().isEmpty());
}

TEST(Walk, SkipsAFolderItCannotOpenAndListsTheRest) {
    if (reelkeep::test::rerunAsNobody()) return;  // a chmod 000 folder is readable to root
    const test::TempDir dir;
    const QByteArray good = dir.path();
    test::writeBytes(join(good, "a.mp4"), "x");
    const QByteArray locked = join(good, "locked");
    test::makeFolder(locked);
    test::writeBytes(join(locked, "hidden.mp4"), "x");
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    const WalkResult partial = walkRoots({good}, defaultVideoNamePredicate());
    ::chmod(locked.constData(), 0755);
    EXPECT_EQ(listedPaths(partial), QSet<QByteArray>{join(good, "a.mp4")});
    ASSERT_EQ(partial.skippedFolders.size(), 1u);
    EXPECT_EQ(partial.skippedFolders.front().path(), locked);
}

TEST(Walk, OverlappingRootsAndSymlinkedRootsListEachFileOnceByCanonicalPath) {
    const test::TempDir dir;
    const QByteArray base = dir.path();
    const QByteArray videos = join(base, "Videos");
    test::makeFolder(videos);
    test::makeFolder(join(videos, "trip"));
    test::writeBytes(join(videos, "trip/a.mp4"), "x");
    ASSERT_EQ(::symlink("Videos", join(base, "link").constData()), 0);

    std::size_t reportedCount = 0;
    const WalkResult result = walkRoots(
        {join(base, "link"), join(videos, "trip"), videos + "/", videos}, defaultVideoNamePredicate(), {},
        [&](std::span<const WalkEntry> found) { reportedCount += found.size(); });
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(reportedCount, 1u);
    EXPECT_EQ(result.entries.front().path, join(videos, "trip/a.mp4"));
}

TEST(Walk, EachHardLinkGroupIsListedOnceUnderItsSmallestName) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    for (const char* folder : {"a", "b", "c"}) test::makeFolder(join(root, folder));
    // Each group is one file under several names; the first name is made first.
    const std::vector<std::vector<QByteArray>> groups = {
        {"b/one.mp4"},
        {"c/two.mp4", "a/two-link.mp4", "b/two-link.mp4"},  // smallest: a/two-link.mp4
        {"a/three.mp4", "c/three-link.mp4"},
        {"b/four.mp4", "b/four-a.mp4", "c/four.mp4", "a/z-four.mp4"},  // smallest: a/z-four.mp4
        {"c/five.mp4"},
    };
    for (const auto& names : groups) {
        test::writeBytes(join(root, names.front()), names.front());
        for (std::size_t i = 1; i < names.size(); ++i)
            ASSERT_EQ(::link(join(root, names.front()).constData(), join(root, names[i]).constData()), 0);
    }

    // Progress comes per folder, before repeats are dropped: every name once.
    std::vector<QByteArray> reported;
    int folderReports = 0;
    const WalkResult result =
        walkRoots({root}, defaultVideoNamePredicate(), {}, [&](std::span<const WalkEntry> found) {
            ++folderReports;
            for (const WalkEntry& entry : found) reported.push_back(entry.path);
        });
    std::vector<QByteArray> everyName;
    for (const auto& names : groups)
        for (const QByteArray& name : names) everyName.push_back(join(root, name));
    std::sort(everyName.begin(), everyName.end());
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(reported, everyName);
    EXPECT_EQ(folderReports, 3);  // the root holds no video: it is not reported

    QSet<QByteArray> expected;
    for (const auto& names : groups)
        expected.insert(join(root, *std::min_element(names.begin(), names.end())));
    EXPECT_EQ(listedPaths(result), expected);
    ASSERT_EQ(result.entries.size(), groups.size());
    for (const WalkEntry& entry : result.entries)
        EXPECT_EQ(entry.fingerprint, test::fingerprintOfPath(entry.path)) << entry.path.toStdString();
}

// The walk hands the predicate one name after another; one that keeps them
// must find each as it was, not overwritten by the next.
TEST(Walk, ThePredicateMayKeepTheNamesItIsShown) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    const QSet<QByteArray> names = {"a.mp4", "a much longer name.mov", "b.txt", "c.mkv", "x"};
    for (const QByteArray& name : names) test::writeBytes(join(root, name), "x");
    std::vector<QByteArray> shown;
    const VideoNamePredicate keepAll = [&](const QByteArray& name) {
        shown.push_back(name);
        return true;
    };
    const WalkResult result = walkRoots({root}, keepAll);
    EXPECT_EQ((QSet<QByteArray>{shown.begin(), shown.end()}), names);
    EXPECT_EQ(shown.size(), std::size_t(names.size()));
    EXPECT_EQ(result.entries.size(), std::size_t(names.size()));
}

TEST(Walk, StopsAtTheNextFolderOnceAskedTo) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    for (const char* folder : {"f1", "f2", "f3"}) {
        test::makeFolder(join(root, folder));
        test::writeBytes(join(root, QByteArray(folder) + "/v.mp4"), "x");
    }
    std::stop_source stopSource;
    const VideoNamePredicate stopAtFirstVideo = [&](const QByteArray&) {
        stopSource.request_stop();
        return true;
    };
    const WalkResult result = walkRoots({root}, stopAtFirstVideo, stopSource.get_token());
    EXPECT_TRUE(result.isStopped);
    EXPECT_LE(result.entries.size(), 1u);

    std::stop_source stopped;
    stopped.request_stop();
    const WalkResult none = walkRoots({root}, defaultVideoNamePredicate(), stopped.get_token());
    EXPECT_TRUE(none.isStopped);
    EXPECT_TRUE(none.entries.empty());
}

TEST(VideoNameRule, MatchesVideoExtensionsOnly) {
    const VideoNamePredicate isVideo = defaultVideoNamePredicate();
    for (const char* name :
         {"a.mp4", "a.MP4", "b.mov", "c.mkv", "d.webm", "e.m4v", "f.avi", "x.y.mp4", "\xff.mp4"})
        EXPECT_TRUE(isVideo(name)) << name;
    for (const char* name : {"a.jpg", "a.txt", "mp4", "a.mp4.part", "a.", ".mp4", "a.mp3", ""})
        EXPECT_FALSE(isVideo(name)) << name;
}

TEST(RootResolution, ExplicitRootsWinDefaultsExistAndAreNeverHome) {
    const QSet<QByteArray> existing = {"/home/ann", "/home/ann/Videos", "/home/ann/Pictures", "/media/disk"};
    struct Case {
        const char* label;
        std::vector<QByteArray> explicitRoots;
        std::vector<QByteArray> candidates;
        std::vector<QByteArray> expected;
        bool isExplicit;
    };
    const Case cases[] = {
        {"defaults that exist",
         {},
         {"/home/ann/Videos", "/home/ann/Pictures"},
         {"/home/ann/Videos", "/home/ann/Pictures"},
         false},
        {"deleted Videos points at home",
         {},
         {"/home/ann", "/home/ann/Pictures"},
         {"/home/ann/Pictures"},
         false},
        {"home with a trailing slash",
         {},
         {"/home/ann/", "/home/ann/Pictures"},
         {"/home/ann/Pictures"},
         false},
        {"a parent of home", {}, {"/", "/home"}, {}, false},
        {"missing default", {}, {"/home/ann/Movies", "/home/ann/Pictures"}, {"/home/ann/Pictures"}, false},
        {"nothing usable", {}, {"/home/ann"}, {}, false},
        {"relative default", {}, {"Videos"}, {}, false},
        {"explicit home is the user's choice", {"/home/ann"}, {"/home/ann/Videos"}, {"/home/ann"}, true},
        {"explicit nested and repeated",
         {"/media/disk/a", "/media/disk", "/media/disk/"},
         {},
         {"/media/disk"},
         true},
        {"explicit missing is kept for the caller to report",
         {"/nope"},
         {"/home/ann/Videos"},
         {"/nope"},
         true},
    };
    for (const Case& c : cases) {
        const RootInputs inputs{c.explicitRoots, c.candidates, "/home/ann",
                                [&](const QByteArray& path) { return existing.contains(path); }};
        const ResolvedRoots resolved = resolveRoots(inputs);
        EXPECT_EQ(resolved.roots, c.expected) << c.label;
        EXPECT_EQ(resolved.isExplicit, c.isExplicit) << c.label;
    }
}

TEST(RootResolution, NestedRootsDropInFavourOfTheOuterOne) {
    EXPECT_EQ(dropNestedRoots({"/a/b", "/a", "/ab", "/a/b/c", "/a"}), (std::vector<QByteArray>{"/a", "/ab"}));
    EXPECT_EQ(dropNestedRoots({"/x", "/"}), std::vector<QByteArray>{"/"});
}

TEST(Fingerprint, OpensOnlyTheScannedRegularFile) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    struct Case {
        const char* label;
        std::function<void(const QByteArray& path)> changeAfterScan;
        bool isStillTheFile;
    };
    const Case cases[] = {
        {"untouched", [](const QByteArray&) {}, true},
        {"renamed away", [](const QByteArray& p) { ::rename(p.constData(), (p + ".moved").constData()); },
         false},
        {"replaced by another file",
         [](const QByteArray& p) {
             test::writeBytes(p + ".new", "video bytes");
             ::rename((p + ".new").constData(), p.constData());
         },
         false},
        {"grew", [](const QByteArray& p) { test::writeBytes(p, "video bytes, longer now"); }, false},
        {"touched",
         [](const QByteArray& p) {
             const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
             ::utimensat(AT_FDCWD, p.constData(), times, 0);
         },
         false},
        {"swapped for a symlink to itself",
         [](const QByteArray& p) {
             ::rename(p.constData(), (p + ".real").constData());
             ::symlink((p + ".real").constData(), p.constData());
         },
         false},
        {"swapped for a FIFO",
         [](const QByteArray& p) {
             ::unlink(p.constData());
             ::mkfifo(p.constData(), 0644);
         },
         false},
    };
    int index = 0;
    for (const Case& c : cases) {
        const QByteArray path = join(root, "v" + QByteArray::number(index++) + ".mp4");
        test::writeBytes(path, "video bytes");
        const FileFingerprint scanned = test::fingerprintOfPath(path);
        c.changeAfterScan(path);
        Result<UniqueFd> opened = openVerifiedPath(path, scanned);
        EXPECT_EQ(opened.ok(), c.isStillTheFile) << c.label;
        if (!opened) {
            EXPECT_EQ(opened.error().kind(), IoErrorKind::changed) << c.label;
        }
    }

    const QByteArray path = join(root, "both.mp4");
    test::writeBytes(path, "x");
    struct statx viaStatx {};
    ASSERT_EQ(::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &viaStatx), 0);
    EXPECT_EQ(fingerprintOf(viaStatx), test::fingerprintOfPath(path));  // the walk's and the check's agree
}

}  // namespace
}  // namespace reelkeep::fs
