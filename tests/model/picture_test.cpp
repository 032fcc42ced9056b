// picture_test.cpp: quarter turns land every pixel where the screen shows it,
// and shrinking keeps the aspect ratio and each area's mean colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "model/picture.h"

using namespace reelkeep;

namespace {

// Each pixel's red is its index, so a picture tells where every pixel went.
Picture numbered(int width, int height) {
    Picture picture(width, height, PixelFormat::rgba8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = picture.row(y) + 4 * x;
            pixel[0] = std::uint8_t(y * width + x), pixel[1] = 1, pixel[2] = 2, pixel[3] = 3;
        }
    return picture;
}

int at(const Picture& picture, int x, int y) {
    return picture.row(y)[bytesPerPixel(picture.format()) * x];
}

}  // namespace

TEST(Picture, QuarterTurnsAreCounterClockwise) {
    const Picture original = numbered(3, 2);  // 0 1 2 / 3 4 5
    struct Case {
        int turns;
        QSize size;
        std::vector<int> rows;  // red, row by row
    };
    // A quarter turn brings the top-right corner to the top left.
    const Case cases[] = {
        {0, {3, 2}, {0, 1, 2, 3, 4, 5}}, {1, {2, 3}, {2, 5, 1, 4, 0, 3}},  {2, {3, 2}, {5, 4, 3, 2, 1, 0}},
        {3, {2, 3}, {3, 0, 4, 1, 5, 2}}, {-1, {2, 3}, {3, 0, 4, 1, 5, 2}}, {6, {3, 2}, {5, 4, 3, 2, 1, 0}},
    };
    for (const Case& c : cases) {
        const Picture turned = turnedCounterClockwise(original, c.turns);
        ASSERT_EQ(turned.size(), c.size) << c.turns;
        std::vector<int> rows;
        for (int y = 0; y < turned.height(); ++y)
            for (int x = 0; x < turned.width(); ++x) {
                rows.push_back(at(turned, x, y));
                EXPECT_EQ(turned.row(y)[4 * x + 3], 3) << "every channel travels with its pixel";
            }
        EXPECT_EQ(rows, c.rows) << c.turns;
    }
    EXPECT_EQ(at(original, 2, 0), 2) << "the original is left as it was";
}

TEST(Picture, ShrinksToFitKeepingAspectAndAreaMeans) {
    struct Case {
        QSize from;
        int maxSide;
        QSize to;
    };
    const Case cases[] = {
        {{1920, 1080}, 256, {256, 144}}, {{1080, 1920}, 256, {144, 256}}, {{100, 50}, 128, {100, 50}},
        {{1000, 3}, 256, {256, 1}},      {{3, 1000}, 128, {1, 128}},      {{7, 5}, 3, {3, 2}},
    };
    for (const Case& c : cases) {
        Picture picture(c.from.width(), c.from.height(), PixelFormat::rgb888);
        picture.fill(40, 80, 120);
        const Picture fitted = fittedWithin(picture, c.maxSide);
        ASSERT_EQ(fitted.size(), c.to) << c.from.width() << "x" << c.from.height();
        for (int y = 0; y < fitted.height(); ++y)
            for (int x = 0; x < fitted.width(); ++x)
                ASSERT_EQ(at(fitted, x, y), 40) << "a flat picture stays flat";
    }

    // 3 columns to 2: the middle column is split half and half between them.
    Picture stripes(3, 1, PixelFormat::rgb888);
    const std::uint8_t colours[] = {0, 0, 0, 90, 90, 90, 180, 180, 180};
    std::copy(std::begin(colours), std::end(colours), stripes.row(0));
    const Picture halved = fittedWithin(stripes, 2);
    ASSERT_EQ(halved.size(), QSize(2, 1));
    EXPECT_EQ(at(halved, 0, 0), 30);   // (0 * 2 + 90 * 1) / 3
    EXPECT_EQ(at(halved, 1, 0), 150);  // (90 * 1 + 180 * 2) / 3
}
