// media_test.cpp: thumbnails, previews and fingerprints of real clips.
#include <QDirIterator>
#include <future>

#include "library_fixture.h"

namespace reelkeep::testing {
namespace {

using fs::test::writeBytes;

int filesBelow(const QString& folder) {
    int count = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next()) ++count;
    return count;
}

// Fingerprints the last fetch; nothing when no answer came within a minute.
std::optional<SimilarityCheck> fingerprintAll(FolderLibrary& library,
                                              std::vector<SimilarityProgress>* steps = {},
                                              std::optional<std::chrono::milliseconds> cancelAfter = {}) {
    auto answer = std::make_shared<std::promise<SimilarityCheck>>();
    std::future<SimilarityCheck> answered = answer->get_future();
    auto stepsMutex = std::make_shared<std::mutex>();
    const RequestId id = library.fingerprintVideos(
        [steps, stepsMutex](SimilarityProgress step) {
            std::lock_guard lock(*stepsMutex);
            if (steps) steps->push_back(step);
        },
        [answer](SimilarityCheck check) { answer->set_value(std::move(check)); });
    if (cancelAfter) {
        std::this_thread::sleep_for(*cancelAfter);
        library.cancelFingerprinting(id);
    }
    if (answered.wait_for(std::chrono::minutes(1)) != std::future_status::ready) return std::nullopt;
    std::lock_guard lock(*stepsMutex);
    return answered.get();
}

TEST_F(FolderLibraryTest, FingerprintsAreKeptAndAFileThatCrashesTheDecoderIsSkipped) {
    ASSERT_TRUE(makeClip("a.mp4", 2));
    ASSERT_TRUE(makeClip("b.mkv", 3, QStringLiteral("160x120")));
    writeBytes(join(root(), "crash.mp4"), QByteArray("RKCRASH!").repeated(100));
    FolderLibraryOptions inWorkers = options();
    inWorkers.thumbnailWorker = media::WorkerCommand{REELKEEP_WORKER_STUB, {"trap"}};
    std::shared_ptr<FolderLibrary> library = openLibrary(inWorkers);
    ASSERT_EQ(library->fetchVideos().size(), 3);

    std::vector<SimilarityProgress> steps;
    const std::optional<SimilarityCheck> first = fingerprintAll(*library, &steps);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isComplete);
    EXPECT_EQ(first->fingerprints.size(), 2);
    EXPECT_NEAR(first->fingerprints.value(identifierOf("b.mkv")).durationSeconds, 3, 0.1);
    EXPECT_EQ(first->failed, QSet<QString>{identifierOf("crash.mp4")});
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().doneVideos, 3);
    EXPECT_EQ(steps.back().totalVideos, 3);

    // Again, with workers that cannot even start: everything comes from the index.
    FolderLibraryOptions noWorkers = options();
    noWorkers.thumbnailWorker = media::WorkerCommand{"/nonexistent/worker", {}};
    library = openLibrary(noWorkers);
    ASSERT_EQ(library->fetchVideos().size(), 3);
    EXPECT_EQ(fingerprintAll(*library), first);

    // A changed file is fingerprinted again; the workers' failure is no verdict on it.
    ASSERT_TRUE(makeClip("a.mp4", 4));
    ASSERT_EQ(library->fetchVideos().size(), 3);
    const std::optional<SimilarityCheck> changed = fingerprintAll(*library);
    ASSERT_TRUE(changed);
    EXPECT_FALSE(changed->fingerprints.contains(identifierOf("a.mp4")));
    EXPECT_FALSE(changed->failed.contains(identifierOf("a.mp4")));
    EXPECT_EQ(changed->fingerprints.size(), 1);
}

TEST_F(FolderLibraryTest, CancelledFingerprintingAnswersAtOnceWithWhatWasDone) {
    ASSERT_TRUE(makeClip("a.mp4", 1));
    writeBytes(join(root(), "hang.mp4"), QByteArray("RKHANG!!").repeated(100));
    FolderLibraryOptions inWorkers = options();
    inWorkers.thumbnailWorker = media::WorkerCommand{REELKEEP_WORKER_STUB, {"trap"}};
    std::shared_ptr<FolderLibrary> library = openLibrary(inWorkers);
    ASSERT_EQ(library->fetchVideos().size(), 2);
    const auto started = std::chrono::steady_clock::now();
    const std::optional<SimilarityCheck> check =
        fingerprintAll(*library, {}, std::chrono::milliseconds(1500));
    ASSERT_TRUE(check);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << "not the hang's limit";
    EXPECT_FALSE(check->isComplete);
    EXPECT_FALSE(check->failed.contains(identifierOf("hang.mp4"))) << "a stop is no verdict on the file";

    // The strip of a video: its fingerprint's moments, upright and small.
    auto strip = std::make_shared<std::promise<FrameStripResult>>();
    std::future<FrameStripResult> stripped = strip->get_future();
    library->requestFrameStrip(library->fetchAssets({identifierOf("a.mp4")}).front(), 80,
                               [strip](FrameStripResult result) { strip->set_value(std::move(result)); });
    ASSERT_EQ(stripped.wait_for(std::chrono::minutes(1)), std::future_status::ready);
    const FrameStripResult result = stripped.get();
    ASSERT_FALSE(result.error) << result.error->localizedDescription.toStdString();
    ASSERT_EQ(result.frames.size(), kFingerprintFrames);
    for (const Picture& frame : result.frames) EXPECT_EQ(frame.size(), QSize(80, 60));
}

TEST_F(FolderLibraryTest, ThumbnailsComeFromTheSharedCacheAndFailuresAreRemembered) {
    ASSERT_TRUE(makeClip("clip.mp4", 1, QStringLiteral("320x240")));
    writeBytes(join(root(), "broken.mp4"), QByteArray(4000, 'z'));
    ASSERT_TRUE(scan());
    const QString thumbnails = QFile::decodeName(state() + "/cache/thumbnails");

    const std::optional<ThumbnailRef> image =
        awaitFor(service().thumbnail(identifierOf("clip.mp4"), {160, 120}));
    ASSERT_TRUE(image);
    ASSERT_TRUE(*image);
    EXPECT_EQ(std::max((*image)->picture().width(), (*image)->picture().height()), 256);
    EXPECT_EQ(filesBelow(thumbnails + QStringLiteral("/large")), 1);

    const std::optional<ThumbnailRef> broken =
        awaitFor(service().thumbnail(identifierOf("broken.mp4"), {64, 64}));
    ASSERT_TRUE(broken);
    EXPECT_FALSE(*broken);
    EXPECT_EQ(filesBelow(thumbnails + QStringLiteral("/fail")), 1);
}

// Replaced at the same path by another video, a file shows the new picture, not
// the one a cache kept for the old file.
TEST_F(FolderLibraryTest, AVideoReplacedAtItsPathGetsANewThumbnail) {
    ASSERT_TRUE(makeClip("clip.mp4", 1, QStringLiteral("320x240")));
    ASSERT_TRUE(scan());
    const QString id = identifierOf("clip.mp4");
    const std::optional<ThumbnailRef> before = awaitFor(service().thumbnail(id, {160, 120}));
    ASSERT_TRUE(before && *before);
    EXPECT_GT((*before)->picture().width(), (*before)->picture().height());

    ASSERT_TRUE(makeClip("clip.mp4", 1, QStringLiteral("240x320")));
    ASSERT_TRUE(awaitFor(service().readVideos({id})));  // as the watcher's news makes the window do
    const std::optional<ThumbnailRef> after = awaitFor(service().thumbnail(id, {160, 120}));
    ASSERT_TRUE(after && *after);
    EXPECT_LT((*after)->picture().width(), (*after)->picture().height());
}

TEST_F(FolderLibraryTest, PreviewPlaysAVideoAndRefusesGarbage) {
    ASSERT_TRUE(makeClip("clip.mp4", 2));
    writeBytes(join(root(), "garbage.mp4"), QByteArray(3000, 'g'));
    ASSERT_TRUE(scan());

    const std::optional<Result<PreviewSource>> preview =
        awaitFor(service().preparePreview(identifierOf("clip.mp4")));
    ASSERT_TRUE(preview);
    ASSERT_TRUE(*preview) << preview->error().description().toStdString();
    EXPECT_NEAR(preview->value().lengthSeconds, 2, 0.15);
    // The path reaches exactly the scanned file, whatever its name's bytes.
    EXPECT_EQ(fs::test::readBytes(QFile::encodeName(preview->value().filePath)),
              fs::test::readBytes(join(root(), "clip.mp4")));

    const std::optional<Result<PreviewSource>> garbage =
        awaitFor(service().preparePreview(identifierOf("garbage.mp4")));
    ASSERT_TRUE(garbage);
    ASSERT_FALSE(*garbage);
    EXPECT_EQ(garbage->error().kind(), PhotoLibraryError::Kind::assetUnavailable);
}

}  // namespace
}  // namespace reelkeep::testing
