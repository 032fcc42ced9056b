// simulated_library_test.cpp: the simulated port keeps the port's promises (order,
// one answer per call on its own thread, listeners held weakly), and its
// generator makes the same realistic library from the same seed.
#include <gtest/gtest.h>

#include <QSet>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/simulated/library_generator.h"
#include "platform/simulated/simulated_library.h"

namespace reelkeep {
namespace {

using namespace std::chrono_literals;

SimulatedAsset asset(const QString& id, std::optional<Timestamp> date) {
    SimulatedAsset entry;
    entry.localIdentifier = id;
    entry.creationDate = date;
    return entry;
}

// Collects answers from the callback thread; waits at most 5 s.
template <class T>
class Answers {
public:
    std::function<void(T)> handler() {
        return [this](T value) {
            std::lock_guard lock(m_mutex);
            m_values.push_back(std::move(value));
            m_threads.push_back(std::this_thread::get_id());
            m_changed.notify_all();
        };
    }
    bool waitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 5s, [&] { return m_values.size() >= count; });
    }
    std::size_t count() {
        std::lock_guard lock(m_mutex);
        return m_values.size();
    }
    std::vector<T> values() {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<T> m_values;
    std::vector<std::thread::id> m_threads;
};

// The order newest first, ties as added, is the service's batch test.
TEST(SimulatedLibrary, FetchesAreSnapshotsWithoutRepeats) {
    auto library = SimulatedLibrary::create();
    library->addAssets({asset("old", 10), asset("undated", std::nullopt), asset("new", 30), asset("tieA", 20),
                        asset("tieB", 20)});
    const FetchResult all = library->fetchVideos();
    library->removeAsset("new");
    EXPECT_EQ(all.size(), 5);  // a snapshot does not change
    EXPECT_EQ(library->fetchVideos().size(), 4);

    QStringList picked;
    for (const AssetRef& a : library->fetchAssets({"old", "gone", "tieB", "old"}))
        picked.append(a->localIdentifier());
    EXPECT_EQ(picked, (QStringList{"old", "tieB"}));
}

TEST(SimulatedLibrary, EveryRequestAnswersOnceOnItsOwnThread) {
    auto library = SimulatedLibrary::create();
    auto entry = asset("a", 1);
    entry.localFilePath = "/x.mov";
    library->addAsset(entry);
    const AssetRef a = library->fetchAssets({"a"}).front();

    Answers<VideoRequestResult> videos;
    library->requestPlayableVideo(a, {}, videos.handler());
    const RequestId cancelled = library->requestPlayableVideo(a, {}, videos.handler());
    library->cancelVideoRequest(cancelled);
    ASSERT_TRUE(videos.waitFor(2));

    Answers<ImageResult> images;
    library->setLatency(SimulatedCall::requestImage, 50ms);
    const RequestId image = library->requestImage(a, {10, 10}, 1, {}, images.handler());
    library->cancelImageRequest(image);
    library->cancelImageRequest(image);
    ASSERT_TRUE(images.waitFor(1));
    std::this_thread::sleep_for(100ms);  // a late second answer would land here
    EXPECT_EQ(images.count(), 1u);
    EXPECT_TRUE(images.values().front().isCancelled);
    EXPECT_EQ(videos.count(), 2u);
    EXPECT_EQ(library->videoRequestsInFlight(), 0);
    for (const auto id : videos.threads()) EXPECT_NE(id, std::this_thread::get_id());
}

TEST(SimulatedLibrary, ListenersAreHeldWeaklyAndHearChangesFromAnyThread) {
    struct Listener : LibraryChangeListener {
        std::atomic<int> calls{0};
        void libraryDidChange(const LibraryChange&) override { ++calls; }
    };
    auto library = SimulatedLibrary::create();
    auto kept = std::make_shared<Listener>();
    auto dropped = std::make_shared<Listener>();
    library->registerChangeObserver(kept);
    library->registerChangeObserver(dropped);
    dropped.reset();
    std::jthread([&] { library->notifyChange(); }).join();
    EXPECT_EQ(kept->calls.load(), 1);
    library->unregisterChangeObserver(kept.get());
    library->notifyChange();
    EXPECT_EQ(kept->calls.load(), 1);
}

// The shares and spans themselves are options the generator only applies.
TEST(LibraryGenerator, SameSeedSameLibraryWithUniqueIdentifiers) {
    GeneratorOptions options;
    options.assetCount = 20'000;
    options.seed = 42;
    const auto first = generateLibrary(options);
    const auto again = generateLibrary(options);
    ASSERT_EQ(first.size(), 20'000);
    QSet<QString> ids;
    for (int i = 0; i < first.size(); ++i) {
        ids.insert(first[i].localIdentifier);
        EXPECT_EQ(first[i].localIdentifier, again[i].localIdentifier);
        EXPECT_EQ(first[i].resources.front().originalFilename, again[i].resources.front().originalFilename);
    }
    EXPECT_EQ(ids.size(), first.size());
    options.seed = 43;
    EXPECT_NE(generateLibrary(options).front().localIdentifier, first.front().localIdentifier);
}

}  // namespace
}  // namespace reelkeep
