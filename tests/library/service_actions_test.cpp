// service_actions_test.cpp: deletion outcomes, favorites, downloads and the
// existence query, including stops while a change is under way.
#include <QFile>
#include <QTemporaryDir>

#include "service_fixture.h"

namespace reelkeep {
namespace {

using namespace reelkeep::testing;

class ActionTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        library->addAssets({fastAsset("a", 1, 3e9), fastAsset("b", 2, 2e9), fastAsset("c", 3, 1e9)});
    }
    QSet<QString> remaining() { return *awaitFor(service->existingIdentifiers({"a", "b", "c"})); }
};

TEST_F(ActionTest, DeletionOutcomesFollowWhatThePortReallyDid) {
    const PlatformError locked{"Sim", 13, "The file is locked."};
    struct Case {
        const char* name;
        QStringList ids;
        DeletionScript script;
        DeletionOutcome expected;
        QSet<QString> left;
    };
    const Case cases[] = {
        {"none exist asks nothing", {"x", "y"}, {}, DeletionOutcome::failed(), {"a", "b", "c"}},
        {"stale one skipped", {"c", "gone", "a"}, {}, DeletionOutcome::success({"c", "a"}), {"b"}},
        // How each answer becomes an outcome is the classifier's own test; one partial case shows it is used.
        {"partly failed",
         {"a", "b"},
         {std::nullopt, {{"b", locked}}},
         DeletionOutcome::success({"a"}, "The file is locked."),
         {"b", "c"}},
    };
    for (const Case& c : cases) {
        library->clear();
        library->addAssets({fastAsset("a", 1, 3e9), fastAsset("b", 2, 2e9), fastAsset("c", 3, 1e9)});
        library->setDeletionScript(c.script);
        library->resetCounters();
        const auto outcome = awaitFor(service->deleteVideos(c.ids));
        ASSERT_TRUE(outcome) << c.name;
        EXPECT_EQ(*outcome, c.expected) << c.name;
        EXPECT_EQ(remaining(), c.left) << c.name;
        EXPECT_EQ(library->callCount(SimulatedCall::deleteAssets), c.ids.front() == "x" ? 0 : 1) << c.name;
    }
}

TEST_F(ActionTest, StopDuringDeletionReportsWhatHappened) {
    library->setHoldsChanges(true);
    std::stop_source stop;
    Pending deletion(service->deleteVideos({"a", "b"}, stop.get_token()));
    ASSERT_TRUE(pumpUntil([&] { return library->callCount(SimulatedCall::deleteAssets) == 1; }));
    // Other operations get in while the deletion waits for the platform.
    EXPECT_EQ(remaining(), (QSet<QString>{"a", "b", "c"}));
    EXPECT_FALSE(deletion.isDone());
    stop.request_stop();
    EXPECT_EQ(deletion.wait(), DeletionOutcome::cancelled());
    EXPECT_EQ(remaining(), (QSet<QString>{"a", "b", "c"}));

    // Released before the stop reaches the port: the deletion happened and says so.
    Pending second(service->deleteVideos({"a"}, stop.get_token()));
    EXPECT_EQ(second.wait(), DeletionOutcome::cancelled());  // already stopped: nothing asked
    std::stop_source late;
    library->setHoldsChanges(true);
    Pending third(service->deleteVideos({"a"}, late.get_token()));
    ASSERT_TRUE(pumpUntil([&] { return library->callCount(SimulatedCall::deleteAssets) == 2; }));
    library->releaseHeldChanges();  // the port's answer is queued before the cancel
    late.request_stop();
    EXPECT_EQ(third.wait(), DeletionOutcome::success({"a"}));
    EXPECT_EQ(remaining(), (QSet<QString>{"b", "c"}));
}

TEST_F(ActionTest, FavoritesAreAllOrNothing) {
    EXPECT_EQ(awaitFor(service->setFavorite({}, true))->error().kind(),
              PhotoLibraryError::Kind::assetNotFound);
    EXPECT_EQ(awaitFor(service->setFavorite({"gone"}, true))->error().kind(),
              PhotoLibraryError::Kind::assetNotFound);

    library->setFavoriteScript({PlatformError{"Sim", 5, "Busy."}, false});
    const auto failed = awaitFor(service->setFavorite({"a", "b"}, true));
    ASSERT_FALSE(*failed);
    EXPECT_EQ(failed->error().kind(), PhotoLibraryError::Kind::operationFailed);
    EXPECT_EQ(failed->error().description(), "Busy.");
    EXPECT_FALSE(library->asset("a")->isFavorite);
    EXPECT_FALSE(library->asset("b")->isFavorite);

    library->setFavoriteScript({std::nullopt, true});
    const auto silent = awaitFor(service->setFavorite({"a"}, true));
    EXPECT_EQ(silent->error().description(), "This video's file could not be read.");

    library->setFavoriteScript({});
    // One gone: the caller would report three changed, so none is.
    EXPECT_EQ(awaitFor(service->setFavorite({"a", "gone", "c"}, true))->error().kind(),
              PhotoLibraryError::Kind::assetNotFound);
    EXPECT_FALSE(library->asset("a")->isFavorite);
    EXPECT_FALSE(library->asset("c")->isFavorite);
    EXPECT_TRUE(*awaitFor(service->setFavorite({"a", "c", "a"}, true)));
    EXPECT_TRUE(library->asset("a")->isFavorite);
    EXPECT_FALSE(library->asset("b")->isFavorite);
    EXPECT_TRUE(library->asset("c")->isFavorite);
}

TEST_F(ActionTest, DownloadWritesThePreferredResourceExactlyThere) {
    QTemporaryDir dir;
    auto mixed = videoAsset("mixed");
    mixed.resources = {SimulatedResource{int(ResourceType::photo), "p.jpg", 1},
                       SimulatedResource{int(ResourceType::video), "v.mov", 2},
                       SimulatedResource{int(ResourceType::fullSizeVideo), "full.mov", 3}};
    auto photoOnly = videoAsset("photoOnly");
    photoOnly.resources = {SimulatedResource{int(ResourceType::photo), "p.jpg", 1}};
    library->addAssets({mixed, photoOnly});

    const QString target = dir.filePath("out.mov");
    ASSERT_TRUE(*awaitFor(service->downloadVideo("mixed", target)));
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("full.mov"));

    const std::tuple<QString, QString, PhotoLibraryError::Kind> failures[] = {
        {"photoOnly", dir.filePath("p.mov"), PhotoLibraryError::Kind::videoResourceUnavailable},
        {"gone", dir.filePath("g.mov"), PhotoLibraryError::Kind::assetNotFound},
        {"mixed", target, PhotoLibraryError::Kind::operationFailed},  // never replaces a file
    };
    for (const auto& [id, path, kind] : failures) {
        const auto result = awaitFor(service->downloadVideo(id, path));
        ASSERT_TRUE(result);
        ASSERT_FALSE(*result) << id.toStdString();
        EXPECT_EQ(result->error().kind(), kind) << id.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("p.mov")));

    library->setWriteError(PlatformError{"NSCocoaErrorDomain", 640, "The disk is full."});
    const QString full = dir.filePath("full.mov");
    const auto diskFull = awaitFor(service->downloadVideo("mixed", full));
    EXPECT_EQ(diskFull->error().description(), "The disk is full.");
    EXPECT_FALSE(QFile::exists(full));
}

TEST_F(ActionTest, ExistingIdentifiersNeedsNoCallForAnEmptyList) {
    library->resetCounters();
    EXPECT_TRUE(awaitFor(service->existingIdentifiers({}))->isEmpty());
    EXPECT_EQ(library->callCount(SimulatedCall::fetchAssets), 0);
    EXPECT_EQ(*awaitFor(service->existingIdentifiers({"c", "zzz", "a", "a"})), (QSet<QString>{"a", "c"}));
}

}  // namespace
}  // namespace reelkeep
