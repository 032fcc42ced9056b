// callback_test.cpp: answers and notifications that arrive on the library's own
// threads: each request answers exactly once, a cancel lands cleanly, a change
// notifies once and never after unregistering. Run under TSan as well.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "library_fixture.h"

namespace reelkeep::testing {
namespace {

using fs::test::exists;
using fs::test::writeBytes;

// The container reads of a first scan are shared by the service, the probe
// pool and any other caller; each answer belongs to its own file.
TEST_F(FolderLibraryTest, FirstScanReadsAnswerEveryThreadForTheRightFileAndAreKept) {
    // Garbage fails to read quickly and for good, so it is kept like any answer;
    // the name alone tells a screen recording, so each file's answer is known.
    const auto isRecording = [](int i) { return i % 3 == 0; };
    for (int i = 0; i < 60; ++i) {
        const QByteArray seconds = QByteArray::number(i).rightJustified(2, '0');
        const QByteArray name = isRecording(i) ? "Screen Recording 2024-01-01 at 10.00." + seconds + ".mp4"
                                               : "clip " + seconds + ".mp4";
        writeBytes(join(root(), name), QByteArray(500 + i, 'g'));
    }
    const auto expectedSubtypes = [&](const AssetRef& asset) {
        const int i = asset->localIdentifier().right(6).left(2).toInt();
        return isRecording(i) ? kMediaSubtypeVideoScreenRecording : std::uint64_t{0};
    };
    {
        const FetchResult assets = openLibrary()->fetchVideos();
        ASSERT_EQ(assets.size(), 60);
        std::atomic<int> wrong{0};
        {
            std::vector<std::jthread> readers;
            for (int t = 0; t < 4; ++t)
                readers.emplace_back([&, t] {
                    for (qsizetype n = 0; n < assets.size(); ++n) {
                        const AssetRef& asset = assets[t % 2 == 0 ? n : assets.size() - 1 - n];
                        if (asset->mediaSubtypes() != expectedSubtypes(asset)) ++wrong;
                    }
                });
        }
        EXPECT_EQ(wrong, 0);
    }
    // The next scan answers every file from the index, with the same values.
    const FetchResult again = openLibrary()->fetchVideos();
    ASSERT_EQ(again.size(), 60);
    for (const AssetRef& asset : again) {
        EXPECT_TRUE(asset->respondsTo("px_filesize")) << asset->localIdentifier().toStdString();
        EXPECT_EQ(asset->mediaSubtypes(), expectedSubtypes(asset));
    }
}

TEST_F(FolderLibraryTest, ImageRequestsAnswerExactlyOnceAlsoWhenCancelled) {
    // Garbage: the real worker answers with a failed decode, quickly.
    writeBytes(join(root(), "answered.mp4"), QByteArray(4000, 'g'));
    writeBytes(join(root(), "hangs.mp4"), QByteArray(4000, 'h'));

    struct Case {
        const char* name;
        const char* worker;
        QByteArray file;
        bool isCancelled;
    };
    for (const Case& c : {Case{"answered", "serve", "answered.mp4", false},
                          Case{"cancelled while the decoder hangs", "hang", "hangs.mp4", true}}) {
        SCOPED_TRACE(c.name);
        FolderLibraryOptions chosen = options();
        chosen.thumbnailWorker = media::WorkerCommand{REELKEEP_WORKER_STUB, {c.worker}};
        const std::shared_ptr<FolderLibrary> library = openLibrary(chosen);
        const FetchResult all = library->fetchVideos();
        const auto asset = std::find_if(all.begin(), all.end(), [&](const AssetRef& a) {
            return a->localIdentifier() == identifierOf(c.file);
        });
        ASSERT_NE(asset, all.end());

        auto answers = std::make_shared<std::atomic<int>>(0);
        auto wasCancelled = std::make_shared<std::atomic<bool>>(false);
        auto hadError = std::make_shared<std::atomic<bool>>(false);
        const RequestId id = library->requestImage(*asset, {128, 128}, 1, ImageRequestOptions{},
                                                   [answers, wasCancelled, hadError](ImageResult result) {
                                                       if (result.isDegraded) return;
                                                       wasCancelled->store(result.isCancelled);
                                                       hadError->store(result.error.has_value());
                                                       ++*answers;
                                                   });
        if (c.isCancelled) {
            pumpUntil([] { return false; }, std::chrono::milliseconds(100));  // the worker has it
            library->cancelImageRequest(id);
        }
        ASSERT_TRUE(pumpUntil([&] { return answers->load() > 0; }));
        // Long enough for a stray second answer to show.
        pumpUntil([] { return false; }, std::chrono::milliseconds(300));
        EXPECT_EQ(answers->load(), 1);
        EXPECT_EQ(wasCancelled->load(), c.isCancelled);
        EXPECT_EQ(hadError->load(), !c.isCancelled);
        // Closing with a decoder still hung stops it instead of waiting it out.
    }
}

// Whenever the cancel lands, the answer says exactly what moved.
TEST_F(FolderLibraryTest, ACancelledDeletionReportsExactlyWhatMoved) {
    for (int i = 0; i < 6; ++i)
        writeBytes(join(root(), "clip" + QByteArray::number(i) + ".mp4"), QByteArray(100 + i, 'c'));
    const std::shared_ptr<FolderLibrary> library = openLibrary();
    const FetchResult assets = library->fetchVideos();
    ASSERT_EQ(assets.size(), 6);

    auto answer = std::make_shared<std::optional<DeletionCompletion>>();
    auto answers = std::make_shared<std::atomic<int>>(0);
    std::mutex mutex;
    const RequestId id =
        library->deleteAssets(assets, [&mutex, answer, answers](DeletionCompletion completion) {
            std::lock_guard lock(mutex);
            answer->emplace(std::move(completion));
            ++*answers;
        });
    library->cancelChange(id);
    ASSERT_TRUE(pumpUntil([&] { return answers->load() > 0; }));
    pumpUntil([] { return false; }, std::chrono::milliseconds(200));
    std::lock_guard lock(mutex);
    EXPECT_EQ(answers->load(), 1);
    for (const AssetRef& asset : assets) {
        const QByteArray path = *fs::pathForIdentifier(asset->localIdentifier());
        const auto item = std::find_if(
            answer->value().items.begin(), answer->value().items.end(),
            [&](const ChangeItemResult& r) { return r.localIdentifier == asset->localIdentifier(); });
        const bool isReportedMoved = item != answer->value().items.end() && !item->error;
        EXPECT_EQ(isReportedMoved, !exists(path)) << path.toStdString();
    }
    if (answer->value().items.size() < assets.size()) {
        ASSERT_TRUE(answer->value().requestError);
        EXPECT_TRUE(answer->value().requestError->isUserCancellation());
    }
}

class CountingListener final : public LibraryChangeListener {
public:
    void libraryDidChange(const LibraryChange& change) override {
        std::lock_guard lock(mutex);
        changed.unite(change.identifiers
                          ? QSet<QString>(change.identifiers->begin(), change.identifiers->end())
                          : QSet<QString>{QStringLiteral("everything")});
        ++count;
    }
    QSet<QString> takeChanged() {
        std::lock_guard lock(mutex);
        return std::exchange(changed, {});
    }
    std::atomic<int> count{0};

private:
    std::mutex mutex;
    QSet<QString> changed;
};

TEST_F(FolderLibraryTest, AChangeInAWatchedFolderNotifiesOnceUntilUnregistered) {
    fs::test::makeFolder(join(root(), "sub"));
    // Bytes, not a clip: once QProcess has started ffmpeg, TSan no longer sees
    // this thread's locks and reports every hand-over to another thread.
    writeBytes(join(root(), "sub/first.mp4"), "video");
    FolderLibraryOptions chosen = options();
    chosen.watchTiming = fs::WatchTiming{std::chrono::milliseconds(50), std::chrono::milliseconds(200),
                                         std::chrono::milliseconds(300)};
    const std::shared_ptr<FolderLibrary> library = openLibrary(chosen);
    const auto listener = std::make_shared<CountingListener>();
    library->registerChangeObserver(listener);
    ASSERT_EQ(library->fetchVideos().size(), 1);

    // Noise that must not count: a hidden temporary and a text file.
    writeBytes(join(root(), "sub/.partial.mp4"), "x");
    writeBytes(join(root(), "notes.txt"), "x");
    pumpUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(listener->count.load(), 0);

    for (const QByteArray name : {"a.mp4", "b.mp4", "c.mp4"})
        writeBytes(join(root(), "sub/" + name), "video");
    ASSERT_TRUE(pumpUntil([&] { return listener->count.load() > 0; }));
    pumpUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(listener->count.load(), 1);

    library->unregisterChangeObserver(listener.get());
    const int seen = listener->count.load();
    writeBytes(join(root(), "d.mp4"), "video");
    pumpUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(listener->count.load(), seen);
}

TEST_F(FolderLibraryTest, VideosEditedAddedOrRemovedElsewhereAreNamedAndReadAgain) {
    writeBytes(join(root(), "edited.mp4"), "video");
    writeBytes(join(root(), "removed.mp4"), "video");
    writeBytes(join(root(), "kept.mp4"), "video");
    FolderLibraryOptions chosen = options();
    chosen.watchTiming = fs::WatchTiming{std::chrono::milliseconds(50), std::chrono::milliseconds(200),
                                         std::chrono::milliseconds(300)};
    const std::shared_ptr<FolderLibrary> library = openLibrary(chosen);
    const auto listener = std::make_shared<CountingListener>();
    library->registerChangeObserver(listener);
    ASSERT_TRUE(scan());

    writeBytes(join(root(), "edited.mp4"), "a longer video");  // the same name, new content
    writeBytes(join(root(), "added.mp4"), "new video");
    ASSERT_EQ(::unlink(join(root(), "removed.mp4").constData()), 0);
    const QSet<QString> expected{identifierOf("edited.mp4"), identifierOf("added.mp4"),
                                 identifierOf("removed.mp4")};
    QSet<QString> changed;
    ASSERT_TRUE(pumpUntil([&] {
        changed.unite(listener->takeChanged());
        return changed.contains(expected);
    }));
    EXPECT_FALSE(changed.contains(identifierOf("kept.mp4")));

    const std::optional<VideoList> now =
        awaitFor(service().readVideos({identifierOf("edited.mp4"), identifierOf("added.mp4"),
                                       identifierOf("removed.mp4"), identifierOf("kept.mp4")}));
    ASSERT_TRUE(now);
    QHash<QString, std::optional<std::int64_t>> sizes;
    for (const VideoItem& item : *now) sizes.insert(item.displayName(), item.sizeState().byteCount());
    const QHash<QString, std::optional<std::int64_t>> want{
        {"edited.mp4", 14}, {"added.mp4", 9}, {"kept.mp4", 5}};
    EXPECT_TRUE(sizes == want);
    // Read again, the edited file is the one every action now works on.
    const FetchResult edited = library->fetchAssets({identifierOf("edited.mp4"), identifierOf("added.mp4")});
    EXPECT_EQ(edited.size(), 2);
}

TEST_F(FolderLibraryTest, CopyCheckComparesEachFileOnceAndCountsLinksOutside) {
    QByteArray original(300'000, Qt::Uninitialized);
    for (int i = 0; i < original.size(); ++i) original[i] = char(i * 7 % 253);
    QByteArray middle = original;
    middle[150'000] = 'm';
    writeBytes(join(root(), "a.mp4"), original);
    writeBytes(join(root(), "a copy.mp4"), original);
    writeBytes(join(root(), "b.mp4"), middle);
    // A second name inside the library is the same file, not a copy of it.
    ASSERT_EQ(::link(join(root(), "a.mp4").constData(), join(root(), "a link.mp4").constData()), 0);
    ASSERT_EQ(::link(join(root(), "a copy.mp4").constData(), join(state(), "outside.mp4").constData()), 0);
    ASSERT_TRUE(scan());

    std::vector<CopyCheckProgress> progress;
    std::mutex progressMutex;
    const std::optional<CopyCheck> check = awaitFor(service().checkCopies([&](CopyCheckProgress step) {
        std::lock_guard lock(progressMutex);
        progress.push_back(step);
    }));
    ASSERT_TRUE(check);
    EXPECT_TRUE(check->isComplete);
    ASSERT_EQ(check->sets.size(), 1);
    const CopySet& set = check->sets.front();
    ASSERT_EQ(set.members.size(), 2);
    QHash<QString, int> outside;
    for (const CopyMember& member : set.members)
        outside.insert(member.localIdentifier, member.hardLinksOutside);
    EXPECT_EQ(outside,
              (QHash<QString, int>{{identifierOf("a link.mp4"), 0}, {identifierOf("a copy.mp4"), 1}}));
    EXPECT_EQ(check->hardLinksOutsideByID, (QHash<QString, int>{{identifierOf("a copy.mp4"), 1}}));
    EXPECT_TRUE(check->notVerified.isEmpty());
    std::lock_guard lock(progressMutex);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().checkedBytes, 3 * 300'000);
    EXPECT_EQ(progress.back().totalBytes, 3 * 300'000);

    // A stop before the check starts answers at once, verifying nothing.
    std::stop_source stopped;
    stopped.request_stop();
    const std::optional<CopyCheck> none = awaitFor(service().checkCopies({}, stopped.get_token()));
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->isComplete);
    EXPECT_TRUE(none->sets.isEmpty());
}

}  // namespace
}  // namespace reelkeep::testing
