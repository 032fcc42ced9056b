// change_watcher_test.cpp: the watcher reports video changes (also in new
// folders), ignores hidden and non-video names, reports a watch shortage once,
// and is silent after stop(). The coalescing rule is tested without a clock.
#include <sys/inotify.h>

#include <condition_variable>
#include <mutex>

#include "folder/fs/fs_fixture.h"
#include "platform/folder/fs/change_watcher.h"

namespace reelkeep::fs {
namespace {

using test::join;
using namespace std::chrono_literals;
using Clock = ChangeCoalescer::Clock;

constexpr auto kWaitLimit = 5s;
// Short, so the tests stay quick; the rule itself is tested below with the real values.
constexpr WatchTiming kFastTiming{20ms, 100ms, 50ms};

// Collects batches from the watcher's thread; every wait has a limit.
class BatchCollector {
public:
    ChangeWatcherCallbacks callbacks() {
        return ChangeWatcherCallbacks{[this](const ChangeBatch& batch) {
                                          const std::lock_guard lock{m_mutex};
                                          m_batches.push_back(batch);
                                          m_changed.notify_all();
                                      },
                                      [this] {
                                          const std::lock_guard lock{m_mutex};
                                          ++m_limitReports;
                                          m_changed.notify_all();
                                      }};
    }

    // True once some batch names `path`.
    bool waitForPath(const QByteArray& path) {
        std::unique_lock lock{m_mutex};
        return m_changed.wait_for(lock, kWaitLimit, [&] { return isSeenLocked(path); });
    }
    bool waitForLimitReport() {
        std::unique_lock lock{m_mutex};
        return m_changed.wait_for(lock, kWaitLimit, [&] { return m_limitReports > 0; });
    }
    bool isSeen(const QByteArray& path) {
        const std::lock_guard lock{m_mutex};
        return isSeenLocked(path);
    }
    std::size_t batchCount() {
        const std::lock_guard lock{m_mutex};
        return m_batches.size();
    }
    int limitReports() {
        const std::lock_guard lock{m_mutex};
        return m_limitReports;
    }

private:
    bool isSeenLocked(const QByteArray& path) const {
        for (const ChangeBatch& batch : m_batches)
            if (std::find(batch.paths.begin(), batch.paths.end(), path) != batch.paths.end()) return true;
        return false;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ChangeBatch> m_batches;
    int m_limitReports = 0;
};

TEST(ChangeCoalescing, QuietAfterTheLastEventCappedAfterTheFirstAndSpacedApart) {
    const WatchTiming timing;  // 250 ms quiet, 1 s cap, 2 s spacing
    const Clock::time_point t0{};
    struct Case {
        const char* label;
        std::vector<int> eventsMs;
        std::optional<int> lastNotifiedMs;
        std::optional<int> dueMs;
    };
    const Case cases[] = {
        {"nothing pending", {}, std::nullopt, std::nullopt},
        {"one event", {0}, std::nullopt, 250},
        {"a burst waits for quiet", {0, 100, 200}, std::nullopt, 450},
        {"a long burst is capped", {0, 200, 400, 600, 800, 900}, std::nullopt, 1000},
        {"spaced after the last notification", {0}, -1000, 1000},
        {"spacing already passed", {0}, -5000, 250},
    };
    for (const Case& c : cases) {
        ChangeCoalescer coalescer{timing};
        if (c.lastNotifiedMs) {
            const Clock::time_point notified = t0 + std::chrono::milliseconds{*c.lastNotifiedMs};
            coalescer.noteEvent(notified - timing.quiet);
            ASSERT_TRUE(coalescer.takeIfDue(notified)) << c.label;
        }
        for (const int ms : c.eventsMs) coalescer.noteEvent(t0 + std::chrono::milliseconds{ms});
        const std::optional<Clock::time_point> due = coalescer.dueTime();
        if (!c.dueMs) {
            EXPECT_FALSE(due.has_value()) << c.label;
            continue;
        }
        ASSERT_TRUE(due.has_value()) << c.label;
        EXPECT_EQ(*due, t0 + std::chrono::milliseconds{*c.dueMs}) << c.label;
        EXPECT_FALSE(coalescer.takeIfDue(*due - 1ms)) << c.label;
        EXPECT_TRUE(coalescer.takeIfDue(*due)) << c.label;
        EXPECT_FALSE(coalescer.dueTime().has_value()) << c.label;
    }
}

TEST(ChangeWatcher, ReportsVideosIncludingNewFoldersAndIgnoresHiddenAndOtherNames) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    test::makeFolder(join(root, "sub"));
    BatchCollector collector;
    ChangeWatcher watcher{defaultVideoNamePredicate(), collector.callbacks(), kFastTiming};
    ASSERT_TRUE(watcher.start({root, join(root, "sub")}).ok());

    const QByteArray ignored[] = {join(root, ".partial.mp4"), join(root, "notes.txt"),
                                  join(root, "clip.mp4.part"), join(root, "sub/.sync-tmp")};
    for (const QByteArray& path : ignored) test::writeBytes(path, "x");
    const QByteArray video = join(root, "sub/clip.mp4");
    test::writeBytes(video, "x");
    ASSERT_TRUE(collector.waitForPath(video));

    // Created and filled at once: the watch comes after the file, the listing catches it.
    test::makeFolder(join(root, "new"));
    test::makeFolder(join(root, "new/deeper"));
    const QByteArray early = join(root, "new/deeper/early.mkv");
    test::writeBytes(early, "x");
    ASSERT_TRUE(collector.waitForPath(early));
    // And the new folders are watched from now on.
    const QByteArray later = join(root, "new/deeper/later.mov");
    test::writeBytes(later, "x");
    ASSERT_TRUE(collector.waitForPath(later));

    // A removed folder counts whatever its name: the videos in it are gone too.
    const QByteArray album = join(root, "album.2019");
    test::makeFolder(album);
    ASSERT_EQ(::rmdir(album.constData()), 0);
    ASSERT_TRUE(collector.waitForPath(album));

    ASSERT_EQ(::unlink(video.constData()), 0);
    const QByteArray renamed = join(root, "sub/renamed.mp4");
    ASSERT_EQ(::rename(later.constData(), renamed.constData()), 0);
    ASSERT_TRUE(collector.waitForPath(renamed));

    watcher.stop();
    for (const QByteArray& path : ignored) EXPECT_FALSE(collector.isSeen(path)) << path.toStdString();
}

TEST(ChangeWatcher, RunningOutOfWatchesIsReportedOnceAndWatchingGoesOn) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    for (const char* folder : {"a", "b", "c"}) test::makeFolder(join(root, folder));
    BatchCollector collector;
    // Room for exactly one watch, as if fs.inotify.max_user_watches were reached.
    auto watchCount = std::make_shared<std::atomic<int>>(0);
    const AddWatchCall oneWatchOnly = [watchCount](int fd, const char* path, std::uint32_t mask) {
        if (watchCount->fetch_add(1) >= 1) return errno = ENOSPC, -1;
        return ::inotify_add_watch(fd, path, mask);
    };
    ChangeWatcher watcher{defaultVideoNamePredicate(), collector.callbacks(), kFastTiming, oneWatchOnly};
    ASSERT_TRUE(watcher.start({root, join(root, "a"), join(root, "b"), join(root, "c")}).ok());
    ASSERT_TRUE(collector.waitForLimitReport());
    EXPECT_TRUE(watcher.isWatchLimitReached());

    // A new folder needs a watch too: still no second report.
    test::makeFolder(join(root, "d"));
    const QByteArray video = join(root, "clip.mp4");
    test::writeBytes(video, "x");
    ASSERT_TRUE(collector.waitForPath(video));
    watcher.stop();
    EXPECT_EQ(collector.limitReports(), 1);
}

TEST(ChangeWatcher, NoCallbackAfterStopReturns) {
    const test::TempDir dir;
    const QByteArray root = dir.path();
    BatchCollector collector;
    {
        ChangeWatcher watcher{defaultVideoNamePredicate(), collector.callbacks(), kFastTiming};
        ASSERT_TRUE(watcher.start({root}).ok());
        test::writeBytes(join(root, "first.mp4"), "x");
        ASSERT_TRUE(collector.waitForPath(join(root, "first.mp4")));
        // Pending events at stop() must not surface later.
        test::writeBytes(join(root, "second.mp4"), "x");
        watcher.stop();
        const std::size_t batchesAtStop = collector.batchCount();
        test::writeBytes(join(root, "third.mp4"), "x");
        watcher.stop();  // idempotent
        EXPECT_EQ(collector.batchCount(), batchesAtStop);
    }
    EXPECT_FALSE(collector.isSeen(join(root, "third.mp4")));
}

}  // namespace
}  // namespace reelkeep::fs
