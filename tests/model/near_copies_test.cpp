// near_copies_test.cpp: the frame hash survives what a re-encode does to a
// picture and tells different pictures apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "model/near_copies.h"

using namespace reelkeep;

namespace {

// A grey picture of any size, levels 0..255 as floats so edits do not round early.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<float> levels;
    float& at(int x, int y) { return levels[std::size_t(y * width + x)]; }
    float at(int x, int y) const { return levels[std::size_t(y * width + x)]; }
};

// A seeded scene: a gradient sky, soft blobs and hard-edged boxes, drawn at any
// resolution from the same continuous description, as one shot filmed twice.
struct Scene {
    explicit Scene(std::uint64_t seed) {
        std::mt19937_64 random(seed);
        std::uniform_real_distribution<float> unit(0, 1);
        gradient = {unit(random) * 120, unit(random) * 120 - 60, unit(random) * 120 - 60};
        for (auto& blob : blobs)
            blob = {unit(random), unit(random), 0.05f + unit(random) * 0.2f, unit(random) * 200 - 100};
        for (auto& box : boxes) {
            const float x = unit(random), y = unit(random);
            box = {x, y, x + unit(random) * 0.4f, y + unit(random) * 0.4f, unit(random) * 160 - 80};
        }
    }

    Picture draw(int width, int height) const {
        Picture picture{width, height, std::vector<float>(std::size_t(width * height))};
        for (int py = 0; py < height; ++py)
            for (int px = 0; px < width; ++px) {
                const float x = (float(px) + 0.5f) / float(width), y = (float(py) + 0.5f) / float(height);
                float level = 60 + gradient[0] + gradient[1] * x + gradient[2] * y;
                for (const auto& [cx, cy, radius, amount] : blobs)
                    level +=
                        amount * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (radius * radius));
                for (const auto& [x0, y0, x1, y1, amount] : boxes)
                    if (x >= x0 && x < x1 && y >= y0 && y < y1) level += amount;
                picture.at(px, py) = std::clamp(level, 0.0f, 255.0f);
            }
        return picture;
    }

    std::array<float, 3> gradient{};
    std::array<std::array<float, 4>, 5> blobs{};
    std::array<std::array<float, 5>, 4> boxes{};
};

// Area averaging down to 32×32, as the workers' scaler does.
std::array<std::uint8_t, kHashImageSide * kHashImageSide> hashImage(const Picture& picture) {
    std::array<std::uint8_t, kHashImageSide * kHashImageSide> out{};
    for (int y = 0; y < kHashImageSide; ++y)
        for (int x = 0; x < kHashImageSide; ++x) {
            const int x0 = x * picture.width / kHashImageSide, x1 = (x + 1) * picture.width / kHashImageSide;
            const int y0 = y * picture.height / kHashImageSide,
                      y1 = (y + 1) * picture.height / kHashImageSide;
            float sum = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) sum += picture.at(sx, sy);
            out[std::size_t(y * kHashImageSide + x)] =
                std::uint8_t(std::lround(sum / float((x1 - x0) * (y1 - y0))));
        }
    return out;
}

std::uint64_t hashOf(const Picture& picture) {
    const auto image = hashImage(picture);
    return perceptualHash(HashImage(image));
}

Picture edited(Picture picture, float (*edit)(float, int, int)) {
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            picture.at(x, y) = std::clamp(edit(picture.at(x, y), x, y), 0.0f, 255.0f);
    return picture;
}

Picture boxBlurred(const Picture& picture, int radius) {
    Picture out = picture;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            float sum = 0;
            int count = 0;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= picture.width || sy >= picture.height) continue;
                    sum += picture.at(sx, sy);
                    ++count;
                }
            out.at(x, y) = sum / float(count);
        }
    return out;
}

int distance(std::uint64_t a, std::uint64_t b) {
    return std::popcount(a ^ b);
}

}  // namespace

TEST(PerceptualHash, SurvivesReencodingAndSeparatesDifferentPictures) {
    constexpr int kScenes = 16;
    // What a re-encode, an export or a filter does to a frame; each stays within
    // a few bits, inside the matcher's budget.
    const struct {
        const char* name;
        Picture (*variant)(const Scene&);
        int maxBits;
    } variants[] = {
        {"same", [](const Scene& s) { return s.draw(160, 90); }, 0},
        {"half resolution", [](const Scene& s) { return s.draw(80, 45); }, 8},
        {"blurred", [](const Scene& s) { return boxBlurred(s.draw(160, 90), 1); }, 8},
        {"brightened",
         [](const Scene& s) { return edited(s.draw(160, 90), [](float v, int, int) { return v + 16; }); }, 8},
        {"re-quantized",
         [](const Scene& s) {
             return edited(s.draw(160, 90), [](float v, int, int) { return std::floor(v / 8) * 8; });
         },
         8},
        {"noisy",
         [](const Scene& s) {
             return edited(s.draw(160, 90), [](float v, int x, int y) {
                 return v + float(((x * 7919 + y * 104729) % 17) - 8);  // ±8 levels, fixed
             });
         },
         8},
    };
    std::vector<std::uint64_t> originals;
    for (int seed = 1; seed <= kScenes; ++seed) {
        const Scene scene{std::uint64_t(seed)};
        const std::uint64_t original = hashOf(scene.draw(160, 90));
        ASSERT_NE(original, kFlatPictureHash);
        originals.push_back(original);
        for (const auto& v : variants)
            EXPECT_LE(distance(original, hashOf(v.variant(scene))), v.maxBits)
                << v.name << ", scene " << seed;
    }
    int closest = 64;
    for (std::size_t a = 0; a < originals.size(); ++a)
        for (std::size_t b = a + 1; b < originals.size(); ++b)
            closest = std::min(closest, distance(originals[a], originals[b]));
    EXPECT_GT(closest, 12);

    // Black, a fade's last step, a plain card with sensor noise: no shape, one hash.
    for (float level : {0.0f, 16.0f, 128.0f, 235.0f}) {
        Picture flat{64, 64, std::vector<float>(64 * 64, level)};
        EXPECT_EQ(hashOf(flat), kFlatPictureHash) << level;
        EXPECT_EQ(hashOf(edited(flat, [](float v, int x, int y) { return v + float((x + y) % 2); })),
                  kFlatPictureHash)
            << level;
    }
}
