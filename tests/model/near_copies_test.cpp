// near_copies_test.cpp: the frame hash survives what a re-encode does to a
// picture and tells different pictures apart; the matcher finds what brute
// force finds; the best version and the lesser ones follow the keep rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <stop_token>
#include <vector>

#include "item_builder.h"
#include "model/near_copies.h"

using namespace reelkeep;
using reelkeep::test::item;

namespace {

// A grey picture of any size, levels 0..255 as floats so edits do not round early.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<float> levels;
    float& at(int x, int y) { return levels[std::size_t(y * width + x)]; }
    float at(int x, int y) const {  // the nearest pixel inside
        return levels[std::size_t(std::clamp(y, 0, height - 1) * width + std::clamp(x, 0, width - 1))];
    }
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

// Each pixel made from the source around it, as a filter or an encoder does.
Picture edited(const Picture& source, float (*pixel)(const Picture&, int x, int y)) {
    Picture out = source;
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < source.width; ++x) out.at(x, y) = std::clamp(pixel(source, x, y), 0.0f, 255.0f);
    return out;
}

// Area averaging down to 32×32, as the workers' scaler does, then the hash.
std::uint64_t hashOf(const Picture& picture) {
    std::array<std::uint8_t, kHashImageSide * kHashImageSide> image{};
    for (int y = 0; y < kHashImageSide; ++y)
        for (int x = 0; x < kHashImageSide; ++x) {
            const int x0 = x * picture.width / kHashImageSide, x1 = (x + 1) * picture.width / kHashImageSide;
            const int y0 = y * picture.height / kHashImageSide,
                      y1 = (y + 1) * picture.height / kHashImageSide;
            float sum = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) sum += picture.at(sx, sy);
            image[std::size_t(y * kHashImageSide + x)] =
                std::uint8_t(std::lround(sum / float((x1 - x0) * (y1 - y0))));
        }
    return perceptualHash(HashImage(image));
}

int distance(std::uint64_t a, std::uint64_t b) {
    return std::popcount(a ^ b);
}

}  // namespace

TEST(PerceptualHash, SurvivesReencodingAndSeparatesDifferentPictures) {
    // What a re-encode, an export or a filter does to a frame: each stays
    // within 8 bits, inside the matcher's budget.
    const struct {
        const char* name;
        float (*pixel)(const Picture&, int, int);
    } edits[] = {
        {"blurred",
         [](const Picture& p, int x, int y) {
             float sum = 0;
             for (int dy = -1; dy <= 1; ++dy)
                 for (int dx = -1; dx <= 1; ++dx) sum += p.at(x + dx, y + dy);
             return sum / 9;
         }},
        {"brightened", [](const Picture& p, int x, int y) { return p.at(x, y) + 16; }},
        {"re-quantized", [](const Picture& p, int x, int y) { return std::floor(p.at(x, y) / 8) * 8; }},
        {"noisy",  // ±8 levels, fixed
         [](const Picture& p, int x, int y) { return p.at(x, y) + float((x * 7919 + y * 104729) % 17 - 8); }},
    };
    std::vector<std::uint64_t> originals;
    for (std::uint64_t seed = 1; seed <= 16; ++seed) {
        const Scene scene{seed};
        const Picture picture = scene.draw(160, 90);
        const std::uint64_t original = hashOf(picture);
        ASSERT_NE(original, kFlatPictureHash);
        EXPECT_EQ(hashOf(picture), original);
        EXPECT_LE(distance(original, hashOf(scene.draw(80, 45))), 8) << "half resolution, scene " << seed;
        for (const auto& edit : edits)
            EXPECT_LE(distance(original, hashOf(edited(picture, edit.pixel))), 8)
                << edit.name << ", scene " << seed;
        for (std::uint64_t other : originals) EXPECT_GT(distance(original, other), 12) << "scene " << seed;
        originals.push_back(original);
    }

    // Black, a fade's last step, a plain card with sensor noise: no shape, one hash.
    for (float level : {0.0f, 16.0f, 128.0f, 235.0f}) {
        const Picture flat{64, 64, std::vector<float>(64 * 64, level)};
        EXPECT_EQ(hashOf(flat), kFlatPictureHash) << level;
        EXPECT_EQ(hashOf(edited(
                      flat, [](const Picture& p, int x, int y) { return p.at(x, y) + float((x + y) % 2); })),
                  kFlatPictureHash)
            << level;
    }
}

namespace {

VisualFingerprint fingerprint(double seconds, double aspect, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    VisualFingerprint f{seconds, aspect, kFingerprintFrames, {}};
    for (std::uint64_t& hash : f.frameHashes) hash = random() | 1;  // never flat by chance
    return f;
}

// The same video as `f` after a re-encode: `bits` flipped in every frame that
// shows something, and the frames at `changed` positions replaced (a caption).
VisualFingerprint variant(VisualFingerprint f, std::mt19937_64& random, int bits,
                          std::vector<int> changed = {}) {
    for (std::uint64_t& hash : f.frameHashes) {
        if (hash == kFlatPictureHash) continue;
        std::uint64_t flipped = 0;  // bit 0 stays: it tells a picture from a flat one
        while (std::popcount(flipped) < bits) flipped |= std::uint64_t{2} << random() % 63;
        hash ^= flipped;
    }
    for (int position : changed) f.frameHashes[std::size_t(position)] = random() | 1;
    return f;
}

std::vector<std::vector<std::size_t>> bruteForceGroups(const std::vector<VisualFingerprint>& prints) {
    std::vector<std::size_t> root(prints.size());
    std::iota(root.begin(), root.end(), std::size_t{0});
    const auto find = [&](std::size_t x) {
        while (root[x] != x) x = root[x];
        return x;
    };
    for (std::size_t a = 0; a < prints.size(); ++a)
        for (std::size_t b = a + 1; b < prints.size(); ++b)
            if (areNearCopies(prints[a], prints[b]))
                root[std::max(find(a), find(b))] = std::min(find(a), find(b));
    std::vector<std::vector<std::size_t>> byRoot(prints.size()), groups;
    for (std::size_t i = 0; i < prints.size(); ++i) byRoot[find(i)].push_back(i);
    for (auto& members : byRoot)
        if (members.size() >= 2) groups.push_back(members);
    return groups;
}

}  // namespace

TEST(NearCopies, PairsNeedTheSameLengthShapeAndMostFrames) {
    std::mt19937_64 random(5);
    const VisualFingerprint clip = fingerprint(30, 16.0 / 9, 1);
    VisualFingerprint dark = clip;  // a pocket recording: mostly black
    for (int i = 0; i < 6; ++i) dark.frameHashes[std::size_t(i)] = kFlatPictureHash;
    VisualFingerprint darker = dark;
    darker.frameHashes[6] = kFlatPictureHash;
    VisualFingerprint intro = fingerprint(30, 16.0 / 9, 2);  // shares the first seconds only
    std::copy_n(clip.frameHashes.begin(), 5, intro.frameHashes.begin());
    const auto withLength = [](VisualFingerprint f, double seconds) {
        f.durationSeconds = seconds;
        return f;
    };
    const auto withAspect = [](VisualFingerprint f, double aspect) {
        f.aspectRatio = aspect;
        return f;
    };
    const struct {
        const char* name;
        VisualFingerprint a, b;
        bool isNearCopy;
    } cases[] = {
        {"re-encode", clip, variant(clip, random, 6), true},
        {"re-encode, 3 frames changed", clip, variant(clip, random, 6, {0, 4, 9}), true},
        {"4 frames changed", clip, variant(clip, random, 2, {0, 4, 5, 9}), false},
        {"every frame 15 bits off", clip, variant(clip, random, 15), false},
        {"common intro", clip, intro, false},
        {"unrelated, same length", clip, fingerprint(30, 16.0 / 9, 3), false},
        {"a second longer", clip, withLength(clip, 31), true},
        {"two seconds longer", clip, withLength(clip, 32), false},
        {"2 % of a long one", withLength(clip, 600), withLength(clip, 612), true},
        {"3 % of a long one", withLength(clip, 600), withLength(clip, 618.6), false},
        {"1088 rows for 1080", clip, withAspect(clip, 1920.0 / 1088), true},
        {"portrait", clip, withAspect(clip, 9.0 / 16), false},
        {"4:3", clip, withAspect(clip, 4.0 / 3), false},
        {"dark, four frames showing something", dark, variant(dark, random, 3), true},
        {"dark, three frames showing something", darker, variant(darker, random, 3), false},
        {"flat against a picture", dark, clip, false},
        {"no length", withLength(clip, 0), withLength(clip, 0), false},
        {"length not a number", withLength(clip, std::nan("")), withLength(clip, std::nan("")), false},
        {"no shape", withAspect(clip, 0), withAspect(clip, 0), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(areNearCopies(c.a, c.b), c.isNearCopy) << c.name;
        EXPECT_EQ(areNearCopies(c.b, c.a), c.isNearCopy) << c.name;
        EXPECT_EQ(nearCopyGroups(std::vector{c.a, c.b}).size(), c.isNearCopy ? 1u : 0u) << c.name;
    }
}

TEST(NearCopies, GroupsAreWhatBruteForceFinds) {
    // Phone clips crowd a few lengths; capped clips share one exactly.
    const struct {
        const char* name;
        int count;
        double shortest, longest;
    } libraries[] = {
        {"spread lengths", 600, 1, 7200},
        {"phone clips", 600, 5, 60},
        {"one capped length", 300, 15, 15},
    };
    for (const auto& library : libraries) {
        std::mt19937_64 random(std::uint64_t(library.count) + std::uint64_t(library.longest));
        std::uniform_real_distribution<double> seconds(library.shortest, library.longest);
        std::vector<VisualFingerprint> prints;
        std::vector<std::pair<std::size_t, std::size_t>> planted;
        for (int i = 0; i < library.count; ++i) {
            const double aspect = random() % 2 ? 16.0 / 9 : 0.5 + double(random() % 1000) / 500;
            prints.push_back(fingerprint(seconds(random), aspect, random()));
            if (random() % 10 != 0) continue;
            // A near copy or a near miss: bits, frames, length or shape at the slack's edge.
            VisualFingerprint copy =
                variant(prints.back(), random, int(random() % 14),
                        random() % 3 ? std::vector<int>{} : std::vector<int>{2, 4, 5, 7, 8});
            copy.durationSeconds +=
                std::max(1.0, copy.durationSeconds * 0.02) * (double(random() % 21) - 10) / 9;
            copy.aspectRatio *= 1 + (double(random() % 13) - 6) / 100;  // 5 % is the slack
            if (areNearCopies(prints.back(), copy)) planted.emplace_back(prints.size() - 1, prints.size());
            prints.push_back(copy);
        }
        std::shuffle(prints.begin(), prints.end(), random);  // the index must not lean on input order
        const auto groups = nearCopyGroups(prints);
        EXPECT_EQ(groups, bruteForceGroups(prints)) << library.name;
        EXPECT_GE(planted.size(), std::size_t(library.count / 40)) << library.name;
        std::stop_source stopped;
        stopped.request_stop();
        EXPECT_TRUE(nearCopyGroups(prints, stopped.get_token()).empty()) << library.name;
    }
}

TEST(SimilarSets, BestVersionFirstAndOnlyItsNearCopiesOffered) {
    const VisualFingerprint scene = fingerprint(20, 16.0 / 9, 11);
    std::mt19937_64 random(3);
    const auto copyOf = [&](const VisualFingerprint& f) { return variant(f, random, 4); };
    const struct {
        const char* name;
        VideoList items;
        QList<QString> order;  // best first
        BestReason reason;
    } cases[] = {
        {"resolution",
         {item("a").withPixels(1280, 720).withBytes(900), item("b").withPixels(3840, 2160).withBytes(100)},
         {"b", "a"},
         BestReason::resolution},
        {"bitrate at one resolution",
         {item("a").withBytes(100), item("b").withBytes(300), item("c").withSize(SizeState::unavailable())},
         {"b", "a", "c"},
         BestReason::bitrate},
        {"favorite at one bitrate",
         {item("a").withBytes(100), item("b").withBytes(100).withFavorite()},
         {"b", "a"},
         BestReason::favorite},
        {"earliest date, a missing one last",
         {item("a").withDate(kDistantPast), item("b").withDate(2000), item("c").withDate(1000)},
         {"c", "b", "a"},
         BestReason::earliestDate},
        {"smallest identifier", {item("b"), item("a")}, {"a", "b"}, BestReason::smallestIdentifier},
    };
    for (const auto& c : cases) {
        SimilarityCheck check;
        for (const VideoItem& video : c.items) check.fingerprints.insert(video.id(), copyOf(scene));
        const QList<SimilarSet> sets = resolveSimilarSets(check, c.items);
        ASSERT_EQ(sets.size(), 1) << c.name;
        EXPECT_EQ(sets[0].memberIDs, c.order) << c.name;
        EXPECT_EQ(sets[0].reason, c.reason) << c.name;
    }

    // Two sets and a chain: e ~ f ~ g with e and g apart. The 4K one is the best
    // and g, not like it, is offered for nothing; the favorite lesser version stays.
    const std::int64_t eightEB = 8'000'000'000'000'000'000;
    VisualFingerprint chainEnd = scene;
    std::copy_n(fingerprint(20, 16.0 / 9, 12).frameHashes.begin(), 2, chainEnd.frameHashes.begin());
    VisualFingerprint chainMiddle = scene;
    std::copy_n(chainEnd.frameHashes.begin(), 1, chainMiddle.frameHashes.begin());
    VisualFingerprint chainStart = scene;
    std::copy_n(fingerprint(20, 16.0 / 9, 13).frameHashes.begin() + 7, 2, chainStart.frameHashes.begin() + 7);
    const VisualFingerprint other = fingerprint(45, 9.0 / 16, 14);
    const VideoList items = {
        item("p").withBytes(eightEB).withPixels(1080, 1920),
        item("q").withBytes(eightEB).withPixels(540, 960),
        item("r").withBytes(eightEB).withPixels(540, 960),
        item("s").withBytes(5).withPixels(540, 960).withFavorite(),
        item("e").withBytes(700).withPixels(3840, 2160),
        item("f").withBytes(600),
        item("g").withBytes(500),
        item("alone").withBytes(9),
    };
    SimilarityCheck check;
    for (const char* id : {"p", "q", "r", "s"}) check.fingerprints.insert(id, copyOf(other));
    check.fingerprints.insert("e", chainStart);
    check.fingerprints.insert("f", chainMiddle);
    check.fingerprints.insert("g", chainEnd);
    check.fingerprints.insert("gone", copyOf(scene));
    check.fingerprints.insert("alone", fingerprint(20, 16.0 / 9, 15));
    ASSERT_TRUE(areNearCopies(chainStart, chainMiddle) && areNearCopies(chainMiddle, chainEnd));
    ASSERT_FALSE(areNearCopies(chainStart, chainEnd));

    const QList<SimilarSet> sets = resolveSimilarSets(check, items);
    ASSERT_EQ(sets.size(), 2);
    EXPECT_EQ(sets[0].memberIDs, (QList<QString>{"p", "q", "r", "s"}));  // most to reclaim first
    EXPECT_EQ(sets[1].memberIDs, (QList<QString>{"e", "f"}));
    const SimilarSummary summary = summarizeSimilar(sets, items);
    EXPECT_EQ(summary.setCount, 2);
    EXPECT_EQ(summary.videoCount, 6);
    EXPECT_EQ(summary.reclaimableBytes, std::numeric_limits<std::int64_t>::max());  // saturates
    EXPECT_EQ(summary.bestIDs, (QSet<QString>{"p", "e"}));
    EXPECT_EQ(summary.setSizeByID.value("s"), 4);
    EXPECT_EQ(summary.setNumberByID.value("f"), 2);
    EXPECT_FALSE(summary.setSizeByID.contains("g"));
    EXPECT_EQ(lesserVersionIDs(sets, items), (QSet<QString>{"q", "r", "f"}));

    // Once the best version is gone, its set offers nothing.
    const VideoList withoutBest = items.mid(1);
    EXPECT_EQ(lesserVersionIDs(sets, withoutBest), (QSet<QString>{"f"}));
    EXPECT_EQ(summarizeSimilar(sets, withoutBest).reclaimableBytes, 600);
    // A lesser version hard-linked outside the library frees nothing; a reflinked one its own bytes.
    EXPECT_EQ(summarizeSimilar(sets, withoutBest, {{"f", 0}}).reclaimableBytes, 0);
    EXPECT_EQ(summarizeSimilar(sets, items, {{"q", 0}, {"r", 0}, {"f", 25}}).reclaimableBytes, 25);
}
