// actions_test.cpp: trash, export, location and existence checks on real files,
// including files that changed between the scan and the action.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "library_fixture.h"
#include "support/as_nobody.h"

namespace reelkeep::testing {
namespace {

using fs::test::exists;
using fs::test::folderNames;
using fs::test::makeFolder;
using fs::test::readBytes;
using fs::test::writeBytes;

TEST_F(FolderLibraryTest, RestorePutsBackWhatWasTrashedUnlessItsPlaceIsTaken) {
    makeFolder(join(root(), "trip"));
    ASSERT_TRUE(makeClip("trip/back.mp4"));
    ASSERT_TRUE(makeClip("taken.mp4"));
    const QByteArray content = readBytes(join(root(), "trip/back.mp4"));
    ASSERT_TRUE(scan());
    const QStringList ids{identifierOf("trip/back.mp4"), identifierOf("taken.mp4")};
    ASSERT_TRUE(awaitFor(service().deleteVideos(ids)));
    EXPECT_EQ(readBytes(join(trashFiles(), "back.mp4")), content);
    writeBytes(join(root(), "taken.mp4"), "another file with the name");

    const std::optional<RestoreOutcome> outcome =
        awaitFor(service().restoreVideos(ids + QStringList{identifierOf("never-trashed.mp4")}));

    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->requestError);
    EXPECT_EQ(outcome->restoredIdentifiers, QStringList{identifierOf("trip/back.mp4")});
    EXPECT_EQ(readBytes(join(root(), "trip/back.mp4")), content);
    EXPECT_EQ(folderNames(state() + "/Trash/info"), std::vector<QByteArray>{"taken.mp4.trashinfo"});
    EXPECT_EQ(readBytes(join(root(), "taken.mp4")), "another file with the name");
    ASSERT_EQ(outcome->failures.size(), 2);
    EXPECT_TRUE(outcome->failures[0].second.contains(QStringLiteral("taken.mp4")));
    // The restored file is the scanned one again: actions work on it without a rescan.
    const std::optional<QSet<QString>> existing = awaitFor(service().existingIdentifiers(ids));
    ASSERT_TRUE(existing);
    EXPECT_EQ(*existing, QSet<QString>{identifierOf("trip/back.mp4")});
}

TEST_F(FolderLibraryTest, VideosKnowTheirFolder) {
    makeFolder(join(root(), "2024"));
    makeFolder(join(root(), "2024/trip"));
    writeBytes(join(root(), "2024/trip/clip.mp4"), "x");
    writeBytes(join(root(), "top.mp4"), "x");
    const std::optional<ScanOutcome> scanned = scan();
    ASSERT_TRUE(scanned);
    const QString rootName = fs::displayName(root());
    EXPECT_EQ(itemNamed(scanned->items, "clip.mp4")->folder(), rootName + "/2024/trip");
    EXPECT_EQ(itemNamed(scanned->items, "clip.mp4")->filePath(),
              QFile::decodeName(join(root(), "2024/trip/clip.mp4")));
    EXPECT_EQ(itemNamed(scanned->items, "top.mp4")->folder(), rootName);
}

TEST_F(FolderLibraryTest, DeleteInAReadOnlyFolderFailsPerItemAndKeepsTheFile) {
    if (reelkeep::test::rerunAsNobody()) return;  // modes deny root nothing
    makeFolder(join(root(), "locked"));
    ASSERT_TRUE(makeClip("locked/clip.mp4"));
    ASSERT_TRUE(makeClip("free.mp4"));
    ASSERT_TRUE(scan());
    ASSERT_EQ(::chmod(join(root(), "locked").constData(), 0555), 0);

    const std::optional<DeletionOutcome> outcome =
        awaitFor(service().deleteVideos({identifierOf("locked/clip.mp4"), identifierOf("free.mp4")}));
    ASSERT_TRUE(outcome);
    // Only what moved is reported as deleted; the failure keeps its reason.
    EXPECT_EQ(outcome->kind(), DeletionOutcome::Kind::success);
    EXPECT_EQ(outcome->deletedIdentifiers(), QStringList{identifierOf("free.mp4")});
    ASSERT_TRUE(outcome->message());
    EXPECT_TRUE(outcome->message()->contains(QStringLiteral("clip.mp4")))
        << outcome->message()->toStdString();
    EXPECT_TRUE(exists(join(root(), "locked/clip.mp4")));
    EXPECT_EQ(folderNames(state() + "/Trash/info"), std::vector<QByteArray>{"free.mp4.trashinfo"});

    // Favorites live in our store, so they still work there.
    const std::optional<Result<void>> marked =
        awaitFor(service().setFavorite({identifierOf("locked/clip.mp4")}, true));
    ::chmod(join(root(), "locked").constData(), 0755);
    ASSERT_TRUE(marked);
    EXPECT_TRUE(*marked);
}

TEST_F(FolderLibraryTest, AFileTheUserMayNotReadIsListedAndItsExportSaysWhy) {
    if (reelkeep::test::rerunAsNobody()) return;  // modes deny root nothing
    ASSERT_TRUE(makeClip("private.mp4"));
    const QByteArray path = join(root(), "private.mp4");
    const QByteArray bytes = readBytes(path);
    ASSERT_EQ(::chmod(path.constData(), 0), 0);
    const std::optional<ScanOutcome> scanned = scan();
    ASSERT_TRUE(scanned);
    const std::optional<VideoItem> item = itemNamed(scanned->items, QStringLiteral("private.mp4"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->sizeState().byteCount(), std::optional<std::int64_t>{bytes.size()});

    makeFolder(state() + "/out");
    const std::optional<Result<void>> exported = awaitFor(
        service().downloadVideo(identifierOf("private.mp4"), QFile::decodeName(state() + "/out/copy.mp4")));
    ASSERT_TRUE(exported);
    ASSERT_FALSE(*exported);
    EXPECT_TRUE(exported->error().description().contains(QString::fromLocal8Bit(std::strerror(EACCES))))
        << exported->error().description().toStdString();
    EXPECT_TRUE(folderNames(state() + "/out").empty());
    // Moving it takes only its folder: it goes to the trash whole.
    EXPECT_EQ(awaitFor(service().deleteVideos({identifierOf("private.mp4")}))->kind(),
              DeletionOutcome::Kind::success);
    ASSERT_EQ(::chmod((trashFiles() + "/private.mp4").constData(), 0600), 0);
    EXPECT_EQ(readBytes(trashFiles() + "/private.mp4"), bytes);
}

// Paths past PATH_MAX, which the kernel refuses whole, are reached folder by folder.
TEST_F(FolderLibraryTest, AVideoDeeperThanPathMaxIsListedInFullAndEveryActionWorks) {
    ASSERT_TRUE(makeClip("clip.mp4"));
    const QByteArray bytes = readBytes(join(root(), "clip.mp4"));
    writeBytes(join(root(), "twin.mp4"), bytes);  // a copy only a full read can confirm
    const fs::UniqueFd rootFd{::open(root().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    fs::UniqueFd folder{::dup(rootFd.get())};
    QByteArray deep = root();
    while (deep.size() <= PATH_MAX) {
        const QByteArray name = "folder " + QByteArray::number(deep.size()) + ' ' + QByteArray(200, 'x');
        ASSERT_EQ(::mkdirat(folder.get(), name.constData(), 0755), 0);
        folder.reset(::openat(folder.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(folder);
        deep = join(deep, name);
    }
    ASSERT_EQ(::renameat(rootFd.get(), "clip.mp4", folder.get(), "deep clip.mp4"), 0);
    const QString id = fs::identifierForPath(join(deep, "deep clip.mp4"));
    const auto isThere = [&] {
        return ::faccessat(folder.get(), "deep clip.mp4", F_OK, AT_SYMLINK_NOFOLLOW) == 0;
    };

    const std::optional<ScanOutcome> scanned = scan();
    ASSERT_TRUE(scanned);
    const std::optional<VideoItem> item = itemNamed(scanned->items, QStringLiteral("deep clip.mp4"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->localIdentifier(), id);
    EXPECT_EQ(item->sizeState().byteCount(), std::optional<std::int64_t>{bytes.size()});
    EXPECT_GT(item->duration(), 0.5);
    EXPECT_EQ(item->pixelWidth(), 320);
    const std::optional<CopyCheck> copies = awaitFor(service().checkCopies({}));
    ASSERT_TRUE(copies);
    EXPECT_TRUE(copies->notVerified.isEmpty());
    EXPECT_EQ(copies->sets.size(), 1);

    EXPECT_EQ(awaitFor(service().fileLocation(id))->status, FileLocation::Status::found);
    const std::optional<Result<void>> marked = awaitFor(service().setFavorite({id}, true));
    ASSERT_TRUE(marked && *marked);
    makeFolder(state() + "/out");
    const std::optional<Result<void>> exported =
        awaitFor(service().downloadVideo(id, QFile::decodeName(state() + "/out/copy.mp4")));
    ASSERT_TRUE(exported && *exported) << exported->error().description().toStdString();
    EXPECT_EQ(readBytes(state() + "/out/copy.mp4"), bytes);

    const std::optional<DeletionOutcome> deleted = awaitFor(service().deleteVideos({id}));
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->deletedIdentifiers(), QStringList{id});
    EXPECT_EQ(readBytes(trashFiles() + "/deep clip.mp4"), bytes);
    EXPECT_FALSE(isThere());
    const std::optional<RestoreOutcome> restored = awaitFor(service().restoreVideos({id}));
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->restoredIdentifiers, QStringList{id});
    EXPECT_TRUE(isThere());
    const std::optional<ScanOutcome> again = scan();
    ASSERT_TRUE(again);
    EXPECT_TRUE(itemNamed(again->items, QStringLiteral("deep clip.mp4"))->isFavorite());
}

// Each way a file can stop being the one the user saw.
TEST_F(FolderLibraryTest, AFileChangedAfterTheScanIsGoneForEveryAction) {
    struct Case {
        const char* name;
        std::function<void(const QByteArray& path)> change;
        FileLocation::Status location;
    };
    const Case cases[] = {
        {"replaced under the same name",
         [](const QByteArray& path) {
             const QByteArray other = path + ".new";
             writeBytes(other, QByteArray(3000, 'r'));
             ASSERT_EQ(::rename(other.constData(), path.constData()), 0);
         },
         FileLocation::Status::changed},
        {"appended to", [](const QByteArray& path) { writeBytes(path, readBytes(path) + "tail"); },
         FileLocation::Status::changed},
        {"renamed",
         [](const QByteArray& path) {
             ASSERT_EQ(::rename(path.constData(), (path + ".moved").constData()), 0);
         },
         FileLocation::Status::notFound},
        {"deleted", [](const QByteArray& path) { ASSERT_EQ(::unlink(path.constData()), 0); },
         FileLocation::Status::notFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray name = "victim.mp4";
        const QByteArray path = join(root(), name);
        writeBytes(path, QByteArray(2000, 'v'));
        openLibrary();
        ASSERT_TRUE(scan());
        const QString id = identifierOf(name);
        c.change(path);
        const QByteArray after = readBytes(path);

        EXPECT_EQ(awaitFor(service().fileLocation(id))->status, c.location);
        EXPECT_TRUE(awaitFor(service().existingIdentifiers({id}))->isEmpty());
        EXPECT_EQ(awaitFor(service().deleteVideos({id}))->kind(), DeletionOutcome::Kind::failed);
        const QString destination = QFile::decodeName(state() + "/export.mp4");
        const std::optional<Result<void>> exported = awaitFor(service().downloadVideo(id, destination));
        ASSERT_TRUE(exported);
        EXPECT_FALSE(*exported);
        EXPECT_FALSE(QFile::exists(destination));
        EXPECT_TRUE(folderNames(state() + "/Trash/files").empty());
        EXPECT_EQ(readBytes(path), after);  // the new file is left alone

        ::unlink(path.constData());
        ::unlink((path + ".moved").constData());
    }
}

// A linked folder the user picked is theirs to write into; a taken name is never
// replaced, nor a link at the name written through, whether it points at a file
// or at nothing: the exact name fails and the next free name is taken instead.
TEST_F(FolderLibraryTest, ExportIntoALinkedFolderNeverReplacesNorWritesThroughALinkedName) {
    ASSERT_TRUE(makeClip("source.mp4"));
    ASSERT_TRUE(scan());
    const QString id = identifierOf("source.mp4");
    const QByteArray real = state() + "/real";
    makeFolder(real);
    ASSERT_EQ(::symlink(real.constData(), (state() + "/linked").constData()), 0);
    writeBytes(state() + "/precious.mp4", "the user's own file");
    ASSERT_EQ(::symlink((state() + "/precious.mp4").constData(), (real + "/taken.mp4").constData()), 0);
    ASSERT_EQ(::symlink((state() + "/nothing.mp4").constData(), (real + "/dangling.mp4").constData()), 0);
    writeBytes(real + "/mine.mp4", "the user's own file");

    const auto exportTo = [&](const char* name, ExportNaming naming) {
        return *awaitFor(service().downloadVideo(id, QFile::decodeName(state() + "/linked/" + name), naming));
    };
    EXPECT_TRUE(exportTo("copy.mp4", ExportNaming::exactName));
    EXPECT_EQ(readBytes(real + "/copy.mp4"), readBytes(join(root(), "source.mp4")));
    for (const char* name : {"taken.mp4", "dangling.mp4", "mine.mp4"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(exportTo(name, ExportNaming::exactName));
        EXPECT_TRUE(exportTo(name, ExportNaming::nextFreeName));
    }
    EXPECT_EQ(readBytes(state() + "/precious.mp4"), "the user's own file");
    EXPECT_EQ(readBytes(real + "/mine.mp4"), "the user's own file");
    EXPECT_EQ(readBytes(real + "/mine (2).mp4"), readBytes(join(root(), "source.mp4")));
    EXPECT_FALSE(exists(state() + "/nothing.mp4"));
    std::vector<QByteArray> names = folderNames(real);  // and no temporary left behind
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QByteArray>{"copy.mp4", "dangling (2).mp4", "dangling.mp4", "mine (2).mp4",
                                              "mine.mp4", "taken (2).mp4", "taken.mp4"}));
}

TEST_F(FolderLibraryTest, AnExportUnderTheOfferedNameKeepsTheBytesOfANameThatIsNotUtf8) {
    const QByteArray name = "caf\xe9 \xff.mp4";
    ASSERT_TRUE(makeClip("plain.mp4"));  // ffmpeg is handed text; the bytes come by rename
    ASSERT_EQ(::rename(join(root(), "plain.mp4").constData(), join(root(), name).constData()), 0);
    ASSERT_TRUE(scan());
    const QString id = identifierOf(name);
    const std::optional<FileLocation> location = awaitFor(service().fileLocation(id));
    ASSERT_TRUE(location);
    EXPECT_EQ(location->status, FileLocation::Status::found);
    EXPECT_EQ(location->path, join(root(), name));  // as text it would name no file
    EXPECT_EQ(*awaitFor(service().existingIdentifiers({id, id, QStringLiteral("/nowhere.mp4")})),
              QSet<QString>{id});
    makeFolder(state() + "/out");
    // The name offered is the source's as text; the copy takes the source's bytes.
    const QString offered = QFile::decodeName(state() + "/out/") + fs::displayName(name);
    for (int copy = 1; copy <= 2; ++copy) {
        const std::optional<Result<void>> exported =
            awaitFor(service().downloadVideo(id, offered, ExportNaming::nextFreeName));
        ASSERT_TRUE(exported && *exported) << copy;
    }
    EXPECT_EQ(readBytes(state() + "/out/" + name), readBytes(join(root(), name)));
    EXPECT_EQ(readBytes(state() + "/out/caf\xe9 \xff (2).mp4"), readBytes(join(root(), name)));
}

TEST_F(FolderLibraryTest, FavoritesChangeForAllOrNone) {
    ASSERT_TRUE(makeClip("kept.mp4"));
    ASSERT_TRUE(makeClip("edited.mp4"));
    ASSERT_TRUE(scan());
    writeBytes(join(root(), "edited.mp4"), "no longer the video the user marked");

    const std::optional<Result<void>> marked =
        awaitFor(service().setFavorite({identifierOf("kept.mp4"), identifierOf("edited.mp4")}, true));
    ASSERT_TRUE(marked);
    EXPECT_FALSE(*marked);
    const std::optional<ScanOutcome> again = scan();
    ASSERT_TRUE(again);
    for (const VideoItem& item : again->items)
        EXPECT_FALSE(item.isFavorite()) << item.displayName().toStdString();
}

// Unknown favorites listed as "not a favorite" would hide the damage and let
// Select Extra Copies pick a favorite: the scan fails with the reason instead.
TEST_F(FolderLibraryTest, AnUnusableFavoritesStoreFailsTheScan) {
    const QByteArray store = state() + "/data/favorites.sqlite";
    ASSERT_TRUE(makeClip("clip.mp4"));
    ASSERT_TRUE(scan());
    ASSERT_TRUE(*awaitFor(service().setFavorite({identifierOf("clip.mp4")}, true)));
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"damaged",
         [&] {
             writeBytes(store, QByteArray(8192, 'j'));
             ::unlink((store + "-wal").constData());
             ::unlink((store + "-shm").constData());
         }},
        // FIFOs and linked side files: the store's own tests.
        {"a folder", [&] { makeFolder(store); }},
        {"a link to nothing", [&] { ASSERT_EQ(::symlink("/nonexistent/favorites", store.constData()), 0); }},
    };
    for (const auto& [what, spoil] : cases) {
        SCOPED_TRACE(what);
        openLibrary();  // closes the store
        spoil();
        const std::shared_ptr<FolderLibrary> library = openLibrary();
        for (int fetch = 0; fetch < 2; ++fetch) {  // the damage is remembered, not replaced by an empty store
            EXPECT_TRUE(library->fetchVideos().isEmpty());
            ASSERT_TRUE(library->lastFetchError());
            EXPECT_TRUE(
                library->lastFetchError()->localizedDescription.contains(QStringLiteral("favorites.sqlite")))
                << library->lastFetchError()->localizedDescription.toStdString();
        }
        const std::optional<Result<qsizetype>> begun = awaitFor(service().beginScan());
        ASSERT_TRUE(begun);
        ASSERT_FALSE(*begun);
        EXPECT_TRUE(begun->error().description().contains(QStringLiteral("favorites")));
        ::rmdir(store.constData());
        ::unlink(store.constData());
    }
    bool isKept = false;
    for (const QByteArray& name : folderNames(state() + "/data"))
        isKept = isKept || name.startsWith("favorites.sqlite.damaged-");
    EXPECT_TRUE(isKept);
}

}  // namespace
}  // namespace reelkeep::testing
