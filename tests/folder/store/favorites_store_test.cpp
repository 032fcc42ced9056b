// favorites_store_test.cpp: favorites are user data: all-or-nothing changes,
// damaged files kept aside, renames followed, concurrent writers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <thread>

#include "platform/folder/store/favorites_store.h"
#include "store_fixtures.h"
#include "support/as_nobody.h"

namespace reelkeep::store {
namespace {

using testing::readAll;
using testing::runSql;
using testing::writeAll;

ListedFile listed(std::string identifier, std::uint64_t inode, std::int64_t sizeBytes = 1000) {
    return ListedFile{std::move(identifier), FileIdentity{42, inode, sizeBytes}};
}

std::set<std::string> favoritesAt(const QString& path) {
    auto store = FavoritesStore::open(path);
    // QString concatenation: GCC 12's -Wrestrict misfires on "literal" + std::string&& at -O3.
    if (!store) return {(QStringLiteral("<") + store.error().message() + QStringLiteral(">")).toStdString()};
    auto favorites = store.value()->favorites();
    return favorites ? favorites.value() : std::set<std::string>{"<unreadable>"};
}

// Marks `files` as favorites in the store at `path`: the error's text, or "" when done.
std::string marked(const QString& path, std::span<const ListedFile> files) {
    auto store = FavoritesStore::open(path);
    if (!store) return store.error().message().toStdString();
    const StoreStatus error = store.value()->setFavorite(files, true);
    return error ? error->message().toStdString() : std::string();
}

TEST(FavoritesStore, ChangesPersistAcrossOpens) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nested/reelkeep/favorites.sqlite"));
    {
        auto store = FavoritesStore::open(path);
        ASSERT_TRUE(store) << store.error().message().toStdString();
        const ListedFile files[] = {listed("/v/a.mp4", 1), listed("/v/b.mp4", 2), listed("/v/c%0A.mp4", 3)};
        EXPECT_FALSE(store.value()->setFavorite(files, true));
        EXPECT_FALSE(store.value()->setFavorite(std::span(files).first(1), false));
        EXPECT_FALSE(store.value()->isReadOnly());
    }
    EXPECT_EQ(favoritesAt(path), (std::set<std::string>{"/v/b.mp4", "/v/c%0A.mp4"}));
}

TEST(FavoritesStore, AFailedChangeChangesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("favorites.sqlite"));
    auto store = FavoritesStore::open(path);
    ASSERT_TRUE(store) << store.error().message().toStdString();
    const ListedFile before[] = {listed("/v/kept.mp4", 1)};
    ASSERT_FALSE(store.value()->setFavorite(before, true));
    // The disk fails on the third row: the first two must not stick.
    ASSERT_TRUE(runSql(path,
                       "CREATE TRIGGER fault BEFORE INSERT ON favorites WHEN NEW.identifier = '/v/boom.mp4' "
                       "BEGIN SELECT RAISE(ABORT, 'injected fault'); END;"
                       "CREATE TRIGGER fault2 BEFORE DELETE ON favorites WHEN OLD.identifier = '/v/boom.mp4' "
                       "BEGIN SELECT RAISE(ABORT, 'injected fault'); END;"));
    const ListedFile batch[] = {listed("/v/a.mp4", 2), listed("/v/b.mp4", 3), listed("/v/boom.mp4", 4)};
    const StoreStatus failed = store.value()->setFavorite(batch, true);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind(), StoreErrorKind::writeFailed);
    EXPECT_EQ(store.value()->favorites().value(), (std::set<std::string>{"/v/kept.mp4"}));

    struct Case {
        std::string identifier;
    };
    const Case invalid[] = {
        {""}, {"/v/caf\xc3\xa9.mp4"}, {"/v/line\nbreak.mp4"}, {std::string("/v/nul\0.mp4", 11)}};
    for (const Case& c : invalid) {
        const ListedFile files[] = {listed("/v/fine.mp4", 9), listed(c.identifier, 10)};
        const StoreStatus refused = store.value()->setFavorite(files, true);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->kind(), StoreErrorKind::invalidInput);
    }
    EXPECT_EQ(store.value()->favorites().value(), (std::set<std::string>{"/v/kept.mp4"}));
}

TEST(FavoritesStore, DamagedFileIsMovedAsideNeverRebuilt) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> damage;
    };
    const Case cases[] = {
        {"text, not a database",
         [](const QString& p) { writeAll(p, QByteArray("my notes\n").repeated(1000)); }},
        {"random bytes", [](const QString& p) { writeAll(p, QByteArray(9000, '\xa5')); }},
        {"broken pages", [](const QString& p) { testing::damagePages(p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("favorites.sqlite"));
        std::vector<ListedFile> files;
        for (int i = 0; i < 300; ++i) files.push_back(listed("/v/" + std::to_string(i) + ".mp4", i));
        ASSERT_EQ(marked(path, files), "");
        c.damage(path);
        const QByteArray damagedBytes = readAll(path);

        auto reopened = FavoritesStore::open(path);
        ASSERT_FALSE(reopened);
        const StoreError& error = reopened.error();
        EXPECT_EQ(error.kind(), StoreErrorKind::damaged);
        ASSERT_FALSE(error.movedAsideTo().isEmpty());
        EXPECT_TRUE(error.message().contains(error.movedAsideTo()));
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_EQ(readAll(error.movedAsideTo()), damagedBytes);  // kept byte for byte
    }
}

TEST(FavoritesStore, ForeignOrNewerFilesAreLeftUntouched) {
    struct Case {
        const char* what;
        std::string sql;
        StoreErrorKind expected;
    };
    const Case cases[] = {
        {"a newer schema", "CREATE TABLE favorites(identifier TEXT); PRAGMA user_version = 99;",
         StoreErrorKind::newerSchema},
        {"another program's database", "CREATE TABLE photos(id INTEGER);", StoreErrorKind::foreign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("favorites.sqlite"));
        ASSERT_TRUE(runSql(path, c.sql));
        const QByteArray before = readAll(path);
        auto store = FavoritesStore::open(path);
        ASSERT_FALSE(store);
        EXPECT_EQ(store.error().kind(), c.expected);
        EXPECT_EQ(readAll(path), before);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }
}

TEST(FavoritesStore, UnusableLocationIsAClearError) {
    if (reelkeep::test::rerunAsNobody()) return;  // a read-only folder stops root nothing
    QTemporaryDir dir;
    writeAll(dir.filePath(QStringLiteral("file")), "x");
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(locked));
    const QString kept = locked + QStringLiteral("/kept.sqlite");
    const ListedFile first[] = {listed("/v/a.mp4", 1)};
    ASSERT_EQ(marked(kept, first), "");
    const QByteArray lockedBytes = QFile::encodeName(locked);
    ASSERT_EQ(::chmod(lockedBytes.constData(), 0555), 0);
    for (const QString& name :
         {QStringLiteral("file/favorites.sqlite"), QStringLiteral("locked/new.sqlite")}) {
        auto store = FavoritesStore::open(dir.filePath(name));
        ASSERT_FALSE(store) << name.toStdString();
        EXPECT_EQ(store.error().kind(), StoreErrorKind::unavailable);
        EXPECT_TRUE(store.error().message().contains(name)) << store.error().message().toStdString();
    }
    // A store in a folder that became read-only is still read; a change is refused and says why.
    {
        auto store = FavoritesStore::open(kept);
        ASSERT_TRUE(store) << store.error().message().toStdString();
        EXPECT_EQ(store.value()->favorites().value(), std::set<std::string>{"/v/a.mp4"});
        const ListedFile files[] = {listed("/v/b.mp4", 2)};
        const StoreStatus refused = store.value()->setFavorite(files, true);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->kind(), StoreErrorKind::readOnly);
        EXPECT_TRUE(refused->message().contains(QStringLiteral("kept.sqlite")));
    }
    ::chmod(lockedBytes.constData(), 0755);
    EXPECT_EQ(favoritesAt(kept), std::set<std::string>{"/v/a.mp4"});
}

TEST(FavoritesStore, ReattachFollowsRenamesAndKeepsWhatItCannotPlace) {
    QTemporaryDir dir;
    auto opened = FavoritesStore::open(dir.filePath(QStringLiteral("favorites.sqlite")));
    ASSERT_TRUE(opened);
    FavoritesStore& store = *opened.value();
    const ListedFile before[] = {
        listed("/v/renamed-before.mp4", 1),
        listed("/v/offline.mp4", 2),                   // on a drive that is not mounted now
        listed("/v/same-inode-new-size.mp4", 3, 500),  // inode reused by another file
        listed("/v/edited.mp4", 4, 100),
        listed("/v/old-name-of-favorite.mp4", 5),  // renamed onto a name already flagged
        listed("/v/already.mp4", 5),
    };
    ASSERT_FALSE(store.setFavorite(before, true));

    const ListedFile listing[] = {
        listed("/v/renamed-after.mp4", 1),
        listed("/v/other.mp4", 3, 501),
        listed("/v/edited.mp4", 4, 200),
        listed("/v/already.mp4", 5),
    };
    const auto moved = store.reattach(listing);
    ASSERT_TRUE(moved) << moved.error().message().toStdString();
    EXPECT_EQ(moved.value(), 1);
    EXPECT_EQ(store.favorites().value(),
              (std::set<std::string>{"/v/renamed-after.mp4", "/v/offline.mp4", "/v/same-inode-new-size.mp4",
                                     "/v/edited.mp4", "/v/already.mp4"}));

    // The edited file's identity was refreshed, so its next rename is followed too.
    const ListedFile afterEdit[] = {listed("/v/edited-renamed.mp4", 4, 200)};
    EXPECT_EQ(store.reattach(afterEdit).value(), 1);
    EXPECT_TRUE(store.favorites().value().contains("/v/edited-renamed.mp4"));
}

TEST(FavoritesStore, ConcurrentOpensAndWritersLoseNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("favorites.sqlite"));
    constexpr int kWriters = 3, kChanges = 20;
    std::vector<std::string> failures[kWriters];
    {
        std::vector<std::jthread> writers;
        for (int w = 0; w < kWriters; ++w)
            writers.emplace_back([&, w] {
                auto store = FavoritesStore::open(path);  // all first opens race to create the file
                if (!store) return failures[w].push_back(store.error().message().toStdString());
                for (int i = 0; i < kChanges; ++i) {
                    const ListedFile file[] = {
                        listed("/v/" + std::to_string(w) + "-" + std::to_string(i), i)};
                    if (auto error = store.value()->setFavorite(file, true))
                        failures[w].push_back(error->message().toStdString());
                }
            });
    }
    for (const auto& list : failures) EXPECT_TRUE(list.empty()) << list.front();
    EXPECT_EQ(favoritesAt(path).size(), static_cast<std::size_t>(kWriters * kChanges));
}

TEST(FavoritesStore, AReadOnlyFileIsReadWithoutSideFilesThatOutliveIt) {
    if (reelkeep::test::rerunAsNobody()) return;  // modes deny root nothing
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("favorites.sqlite"));
    const QByteArray native = QFile::encodeName(path);
    const ListedFile first[] = {listed("/v/a.mp4", 1)}, second[] = {listed("/v/b.mp4", 2)};
    ASSERT_EQ(marked(path, first), "");
    ASSERT_EQ(::chmod(native.constData(), 0444), 0);
    {
        auto store = FavoritesStore::open(path);
        ASSERT_TRUE(store && store.value()->isReadOnly());
        EXPECT_EQ(store.value()->favorites().value(), std::set<std::string>{"/v/a.mp4"});
        const StoreStatus refused = store.value()->setFavorite(second, true);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->kind(), StoreErrorKind::readOnly);
    }
    // SQLite makes side files with the file's 0444 mode, and every later writable open fails on them.
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-shm")));

    // Side files left read-only by an older version are repaired once the file is writable.
    for (const char* suffix : {"-wal", "-shm"}) {
        writeAll(path + QString::fromLatin1(suffix), {});
        ASSERT_EQ(::chmod((native + suffix).constData(), 0444), 0);
    }
    ASSERT_EQ(::chmod(native.constData(), 0644), 0);
    EXPECT_EQ(marked(path, second), "");
    EXPECT_EQ(favoritesAt(path), (std::set<std::string>{"/v/a.mp4", "/v/b.mp4"}));
}

TEST(FavoritesStore, OnlyARegularFileOrALinkToOneIsOpened) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("favorites.sqlite"));
    const QByteArray native = QFile::encodeName(path);
    // A FIFO would block the open forever; a linked side file would write elsewhere.
    ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
    EXPECT_EQ(FavoritesStore::open(path).error().kind(), StoreErrorKind::unavailable);
    ::unlink(native.constData());
    ASSERT_EQ(::symlink("/dev/null", (native + "-wal").constData()), 0);
    EXPECT_EQ(FavoritesStore::open(path).error().kind(), StoreErrorKind::unavailable);
    ::unlink((native + "-wal").constData());

    const QString target = dir.filePath(QStringLiteral("dotfiles-favorites.sqlite"));
    ASSERT_TRUE(FavoritesStore::open(target));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), native.constData()), 0);
    const ListedFile files[] = {listed("/v/a.mp4", 1)};
    ASSERT_EQ(marked(path, files), "");
    EXPECT_EQ(favoritesAt(target), (std::set<std::string>{"/v/a.mp4"}));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
}

}  // namespace
}  // namespace reelkeep::store
