// executor_test.cpp: threads start with the first jobs, from any number of
// posting threads at once; a pool grows to its bound when its jobs wait on
// each other, and closes while a job still posts to it.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <future>
#include <latch>
#include <thread>
#include <vector>

#include "library/executor.h"

namespace reelkeep {
namespace {

constexpr int kPosters = 4;
constexpr int kJobsEach = 200;

TEST(SerialExecutor, RunsEveryJobOnceInEachPostersOrderWhenFirstJobsRace) {
    std::vector<std::vector<int>> seen(kPosters);  // touched by the executor's one thread only
    std::latch done(kPosters * kJobsEach);
    {
        SerialExecutor executor;
        std::barrier start(kPosters);
        std::vector<std::jthread> posters;
        for (int p = 0; p < kPosters; ++p)
            posters.emplace_back([&, p] {
                start.arrive_and_wait();
                for (int i = 0; i < kJobsEach; ++i)
                    executor.post([&, p, i] {
                        seen[std::size_t(p)].push_back(i);
                        done.count_down();
                    });
            });
        posters.clear();
        done.wait();
    }
    for (const std::vector<int>& jobs : seen) {
        ASSERT_EQ(jobs.size(), std::size_t(kJobsEach));
        for (int i = 0; i < kJobsEach; ++i) EXPECT_EQ(jobs[std::size_t(i)], i);
    }
}

TEST(PoolExecutor, GrowsToItsBoundForJobsThatWaitOnEachOtherAndNeverPast) {
    constexpr int kThreads = 3;
    std::atomic<int> running{0}, mostRunning{0};
    std::latch together(kThreads);  // each job waits until all run: too few threads never finish
    std::latch done(kThreads * 2);
    {
        PoolExecutor pool(kThreads);
        for (int i = 0; i < kThreads * 2; ++i)
            pool.post([&, i] {
                const int now = ++running;
                int most = mostRunning.load();
                while (most < now && !mostRunning.compare_exchange_weak(most, now)) {
                }
                if (i < kThreads) together.arrive_and_wait();
                --running;
                done.count_down();
            });
        done.wait();
    }
    EXPECT_EQ(mostRunning.load(), kThreads);
}

// The destructor joins the threads without the lock: a post from a job still
// running must neither start a thread nor touch the list being joined.
TEST(PoolExecutor, ClosesWhileAJobPostsAgain) {
    auto pool = std::make_unique<PoolExecutor>(2);
    PoolExecutor* const raw = pool.get();
    std::promise<void> entered;
    std::atomic<bool> isClosing{false};
    raw->post([&] {
        entered.set_value();
        while (!isClosing) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the destructor now joins
        raw->post([] {});
    });
    entered.get_future().wait();
    isClosing = true;
    pool.reset();
}

}  // namespace
}  // namespace reelkeep
