// thumbnail_memory_cache_test.cpp: keys and costs from any target size, both limits of
// the LRU, and that an over-cost picture neither stays nor evicts others.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "library/thumbnail_memory_cache.h"

namespace reelkeep {
namespace {

ThumbnailRef picture(int width = 1, int height = 1) {
    return std::make_shared<const ThumbnailImage>(Picture(width, height, PixelFormat::rgba8888));
}

TEST(ThumbnailKey, TruncatesClampsAndRefusesUnusableSizes) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    const std::pair<QSizeF, std::optional<QString>> cases[] = {
        {{160.7, 90}, "abc:160x90:7:9"}, {{160.9, 90.2}, "abc:160x90:7:9"}, {{0, 0}, "abc:0x0:7:9"},
        {{1e300, 5}, "abc:4096x5:7:9"},  {{nan, 90}, std::nullopt},         {{90, inf}, std::nullopt},
        {{-1, 90}, std::nullopt},        {{90, -0.5}, std::nullopt},
    };
    for (const auto& [size, key] : cases) EXPECT_EQ(thumbnailKey("abc", {7, 9}, size), key) << size.width();
    EXPECT_EQ(thumbnailPixels({1e300, 33.3}), QSize(4096, 33));
}

TEST(ThumbnailCost, FourBytesPerPixelAtLeastOne) {
    EXPECT_EQ(thumbnailCost(Picture(100, 50, PixelFormat::rgba8888)), 20'000);
    EXPECT_EQ(thumbnailCost(Picture()), 1);
}

TEST(ThumbnailMemoryCache, KeepsAtMostTheEntryLimitEvictingLeastRecent) {
    ThumbnailMemoryCache cache(3, 1'000'000);
    for (const char* key : {"a", "b", "c"}) ASSERT_TRUE(cache.insert(key, picture(), 4));
    ASSERT_TRUE(cache.find("a"));  // now most recent
    ASSERT_TRUE(cache.insert("d", picture(), 4));
    EXPECT_EQ(cache.count(), 3);
    EXPECT_FALSE(cache.find("b"));
    EXPECT_TRUE(cache.find("a"));
    EXPECT_EQ(cache.totalCost(), 12);
}

TEST(ThumbnailMemoryCache, KeepsTotalCostWithinLimitAndRefusesOversizedEntries) {
    ThumbnailMemoryCache cache(100, 100);
    ASSERT_TRUE(cache.insert("a", picture(), 40));
    ASSERT_TRUE(cache.insert("b", picture(), 40));
    ASSERT_TRUE(cache.insert("c", picture(), 40));  // evicts a
    EXPECT_FALSE(cache.find("a"));
    EXPECT_EQ(cache.totalCost(), 80);

    const ThumbnailRef huge = picture();
    EXPECT_FALSE(cache.insert("huge", huge, 101));
    EXPECT_TRUE(huge);  // still the caller's to use
    EXPECT_TRUE(cache.find("b"));
    EXPECT_TRUE(cache.find("c"));

    ASSERT_TRUE(cache.insert("b", picture(), 10));  // replacing updates the cost
    EXPECT_EQ(cache.totalCost(), 50);
    EXPECT_EQ(cache.count(), 2);
}

TEST(ThumbnailMemoryCache, StaysConsistentUnderConcurrentUse) {
    ThumbnailMemoryCache cache(64, 1000);
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 2000; ++i) {
                const QString key = QString::number((i * 7 + t) % 200);
                if (i % 3 == 0)
                    cache.find(key);
                else
                    cache.insert(key, picture(), 1 + i % 50);
            }
        });
    threads.clear();
    EXPECT_LE(cache.count(), 64);
    EXPECT_LE(cache.totalCost(), 1000);
}

}  // namespace
}  // namespace reelkeep
