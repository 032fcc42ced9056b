// service_media_test.cpp: thumbnails (cache, shared flights, degraded and broken
// answers, callers that leave), preview assets, and near copies with their frames.
#include <QThread>
#include <cmath>

#include "service_fixture.h"

namespace reelkeep {
namespace {

using namespace reelkeep::testing;
using namespace std::chrono_literals;

SimulatedAsset withImage(const QString& id, ImageBehavior behavior) {
    SimulatedAsset entry = fastAsset(id, 10);
    entry.image = behavior;
    return entry;
}

TEST_F(ServiceTest, SameKeySharesOneRequestAndTheCacheAnswersLater) {
    library->addAsset(withImage("a", ImageBehavior::finalOnly));
    library->setLatency(SimulatedCall::requestImage, 50ms);
    Pending first(service->thumbnail("a", {160.9, 90.2}));
    Pending second(service->thumbnail("a", {160, 90}));
    const auto one = first.wait(), two = second.wait();
    ASSERT_TRUE(one && *one);
    EXPECT_EQ(one->get(), two->get());
    EXPECT_EQ((*one)->picture().size(), QSize(160, 90));
    EXPECT_EQ(library->callCount(SimulatedCall::requestImage), 1);

    EXPECT_EQ(awaitFor(service->thumbnail("a", {160, 90}))->get(), one->get());
    EXPECT_EQ(library->callCount(SimulatedCall::requestImage), 1);
    EXPECT_EQ(service->cachedThumbnailCost(), 160 * 90 * 4);

    ASSERT_TRUE(*awaitFor(service->thumbnail("a", {80, 45})));  // another size, another key
    EXPECT_EQ(library->callCount(SimulatedCall::requestImage), 2);
    EXPECT_EQ(service->cachedThumbnailCount(), 2);
}

TEST_F(ServiceTest, OnlyAFinalImageIsReturnedAndOnlyAnImageIsCached) {
    struct Case {
        ImageBehavior behavior;
        bool hasImage;
    };
    const Case cases[] = {{ImageBehavior::degradedThenFinal, true},
                          {ImageBehavior::twice, true},
                          {ImageBehavior::error, false},
                          {ImageBehavior::cancelled, false},
                          {ImageBehavior::noImage, false}};
    int id = 0;
    for (const Case& c : cases) {
        const QString name = QString::number(id++);
        library->addAsset(withImage(name, c.behavior));
        library->resetCounters();
        const auto image = awaitFor(service->thumbnail(name, {100, 60}));
        ASSERT_TRUE(image) << name.toStdString();
        EXPECT_EQ(bool(*image), c.hasImage) << name.toStdString();
        if (*image) {
            EXPECT_EQ((*image)->picture().size(), QSize(100, 60));  // never the degraded one
        }
        awaitFor(service->thumbnail(name, {100, 60}));
        EXPECT_EQ(library->callCount(SimulatedCall::requestImage), c.hasImage ? 1 : 2) << name.toStdString();
    }
}

TEST_F(ServiceTest, UnusableTargetSizesAskNothing) {
    library->addAsset(withImage("a", ImageBehavior::finalOnly));
    for (QSizeF size : {QSizeF(NAN, 10), QSizeF(10, INFINITY), QSizeF(-1, 10)})
        EXPECT_FALSE(*awaitFor(service->thumbnail("a", size)));
    EXPECT_FALSE(*awaitFor(service->thumbnail("missing", {10, 10})));
    EXPECT_EQ(library->callCount(SimulatedCall::requestImage), 0);
    const auto huge = awaitFor(service->thumbnail("a", {1e300, 1e300}));
    ASSERT_TRUE(*huge);
    EXPECT_EQ((*huge)->picture().size(), QSize(4096, 4096));
    EXPECT_EQ(service->cachedThumbnailCount(), 0);  // 64 MiB: larger than the whole cache
}

TEST_F(ServiceTest, AnImageThatNeverComesEndsAtThePortsLimit) {
    library->addAsset(withImage("a", ImageBehavior::never));
    library->setImageTimeLimit(100ms);
    Pending first(service->thumbnail("a", {10, 10}));
    Pending second(service->thumbnail("a", {10, 10}));
    EXPECT_FALSE(*first.wait());
    EXPECT_FALSE(*second.wait());
    // The key is free again: the next call asks anew.
    EXPECT_FALSE(*awaitFor(service->thumbnail("a", {10, 10})));
    EXPECT_EQ(library->callCount(SimulatedCall::requestImage), 2);
}

TEST_F(ServiceTest, ACallerThatStopsLeavesAloneAndTheLastOneCancelsTheRequest) {
    library->addAsset(withImage("a", ImageBehavior::finalOnly));
    library->setLatency(SimulatedCall::requestImage, 1500ms);
    std::stop_source leaving, last;
    Pending leaver(service->thumbnail("a", {10, 10}, leaving.get_token()));
    Pending stayer(service->thumbnail("a", {10, 10}));
    // Operations run in arrival order: once a later one is done, both callers wait.
    ASSERT_TRUE(awaitFor(service->existingIdentifiers({"a"})));
    leaving.request_stop();
    EXPECT_FALSE(*leaver.wait());
    EXPECT_EQ(library->callCount(SimulatedCall::cancelImageRequest), 0);
    EXPECT_TRUE(*stayer.wait());

    library->addAsset(withImage("b", ImageBehavior::never));
    Pending alone(service->thumbnail("b", {10, 10}, last.get_token()));
    ASSERT_TRUE(pumpUntil([&] { return library->callCount(SimulatedCall::requestImage) == 2; }));
    last.request_stop();
    EXPECT_FALSE(*alone.wait());
    EXPECT_TRUE(pumpUntil([&] { return library->callCount(SimulatedCall::cancelImageRequest) == 1; }));
}

TEST_F(ServiceTest, PreviewCasesMapToTheirErrors) {
    auto playable = fastAsset("playable", 10);
    playable.localFilePath = "/videos/playable.mov";
    playable.duration = 42.5;
    const auto variant = [&](const QString& id, const std::function<void(SimulatedAsset&)>& change) {
        SimulatedAsset copy = playable;
        copy.localIdentifier = id;
        change(copy);
        return copy;
    };
    const PlatformError decodeError{"AVFoundationErrorDomain", -11800,
                                    "The operation could not be completed."};
    library->addAssets({
        playable,
        variant("indefinite", [](SimulatedAsset& a) { a.duration = NAN; }),
        variant("negative", [](SimulatedAsset& a) { a.duration = -3; }),
        variant("unplayable", [](SimulatedAsset& a) { a.isPlayable = false; }),
        variant("noAsset", [](SimulatedAsset& a) { a.video = VideoBehavior::noAsset; }),
        variant("failing",
                [&](SimulatedAsset& a) {
                    a.video = VideoBehavior::error;
                    a.videoError = decodeError;
                }),
        fastAsset("streamed", 10),  // cloud only: playable, but no local file
        variant("twice", [](SimulatedAsset& a) { a.video = VideoBehavior::twice; }),
    });

    struct Case {
        const char* id;
        std::optional<double> length;
        QString error;
    };
    const Case cases[] = {
        {"playable", 42.5, {}},
        {"indefinite", 0.0, {}},
        {"negative", 0.0, {}},
        {"twice", 42.5, {}},
        {"unplayable", std::nullopt, "This video's file could not be read."},
        {"noAsset", std::nullopt, "This video's file could not be read."},
        {"streamed", std::nullopt, "This video's file could not be read."},
        {"failing", std::nullopt, "The operation could not be completed."},
        {"gone", std::nullopt, "This video's file was moved, renamed or changed since the scan."},
    };
    for (const Case& c : cases) {
        const auto result = awaitFor(service->preparePreview(c.id));
        ASSERT_TRUE(result) << c.id;
        if (c.length) {
            ASSERT_TRUE(*result) << c.id;
            EXPECT_EQ(result->value().lengthSeconds, *c.length) << c.id;
            EXPECT_EQ(result->value().filePath, "/videos/playable.mov");
        } else {
            ASSERT_FALSE(*result) << c.id;
            EXPECT_EQ(result->error().description(), c.error) << c.id;
        }
    }
    const auto box = awaitFor(service->requestPreviewAsset("unplayable"));
    ASSERT_TRUE(*box);
    EXPECT_FALSE(box->value()->asset().isPlayable);
}

TEST_F(ServiceTest, FileLocationAndRootsComeFromThePort) {
    auto here = fastAsset("here", 1);
    here.localFilePath = "/lib/here.mov";
    auto replaced = here;
    replaced.localIdentifier = "replaced";
    replaced.isFileReplaced = true;
    library->addAssets({here, replaced});
    EXPECT_EQ(awaitFor(service->fileLocation("here"))->path, "/lib/here.mov");
    EXPECT_EQ(awaitFor(service->fileLocation("replaced"))->status, FileLocation::Status::changed);
    EXPECT_EQ(awaitFor(service->fileLocation("gone"))->status, FileLocation::Status::notFound);
}

TEST_F(ServiceTest, DestroyingTheServiceEndsEveryWaitingOperation) {
    library->addAsset(withImage("a", ImageBehavior::never));
    library->setImageTimeLimit(0ms);
    library->addAssets({videoAsset("c1"), videoAsset("c2")});
    library->setLatency(SimulatedCall::requestPlayableVideo, 60s);
    library->setHoldsChanges(true);
    Pending image(service->thumbnail("a", {10, 10}));
    Pending probe(service->probeSizes({"c1", "c2"}, 6));
    Pending deletion(service->deleteVideos({"c1"}));
    ASSERT_TRUE(pumpUntil([&] {
        return library->callCount(SimulatedCall::requestPlayableVideo) == 2 &&
               library->callCount(SimulatedCall::deleteAssets) == 1 &&
               library->callCount(SimulatedCall::requestImage) == 1;
    }));
    service.reset();
    EXPECT_FALSE(*image.wait());
    const auto sizes = probe.wait();
    ASSERT_TRUE(sizes);
    for (const SizeState& state : *sizes) EXPECT_EQ(state, SizeState::unavailable());
    EXPECT_EQ(deletion.wait(), DeletionOutcome::cancelled());
    EXPECT_EQ(library->assetCount(), 3);
}

SimulatedAsset looksLike(const QString& id, const QString& tag, double seconds = 12.5) {
    SimulatedAsset entry = fastAsset(id, 10);
    entry.visualTag = tag;
    entry.duration = seconds;
    return entry;
}

TEST_F(ServiceTest, SimilarityKeepsOnlyVideosWithANearCopyAndAStopKeepsNoSets) {
    library->addAssets({looksLike("a", "beach"), looksLike("b", "beach"), looksLike("longer", "beach", 60),
                        looksLike("lone", {}), looksLike("broken", "beach")});
    library->setSimilarityScript({{"broken"}, false});
    QList<SimilarityProgress> progress;
    const auto check = awaitFor(service->checkSimilar([&](SimilarityProgress p) { progress << p; }));
    ASSERT_TRUE(check);
    EXPECT_TRUE(check->isComplete);
    EXPECT_EQ(QSet<QString>(check->fingerprints.keyBegin(), check->fingerprints.keyEnd()),
              QSet<QString>({"a", "b"}));
    EXPECT_EQ(check->failed, QSet<QString>({"broken"}));
    EXPECT_FALSE(progress.isEmpty());

    // Nothing matched from a part: a stop answers at once, without sets.
    library->setSimilarityScript({{}, true});
    std::stop_source stop;
    Pending<SimilarityCheck> held(service->checkSimilar({}, stop.get_token()));
    EXPECT_FALSE(held.isDone());
    stop.request_stop();
    const auto stopped = held.wait();
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(stopped->isComplete);
    EXPECT_TRUE(stopped->fingerprints.isEmpty());
}

TEST_F(ServiceTest, AFrameStripIsEveryFingerprintFrameOrAnError) {
    SimulatedAsset tall = looksLike("tall", "x");
    tall.pixelWidth = 1080;
    tall.pixelHeight = 1920;
    library->addAssets({tall, looksLike("broken", "x")});
    library->setSimilarityScript({{"broken"}, false});
    const auto strip = awaitFor(service->frameStrip("tall", 160));
    ASSERT_TRUE(strip && *strip);
    ASSERT_EQ(strip->value().size(), kFingerprintFrames);
    EXPECT_EQ(strip->value().front().size(), QSize(90, 160));
    const auto broken = awaitFor(service->frameStrip("broken", 160));
    ASSERT_TRUE(broken);
    EXPECT_FALSE(*broken);
    const auto gone = awaitFor(service->frameStrip("gone", 160));
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->error(), PhotoLibraryError::assetNotFound());
}

}  // namespace
}  // namespace reelkeep
