// near_copies_bench.cpp: matching a library's fingerprints and hashing one
// frame. Targets (medians, 2 cores): 100,000 fingerprints matched <= 2 s with
// <= 32 MB at the peak; one frame hashed in a few µs. matchOneLength shows
// the cost where the index cannot help: it grows with the square.
// The library is a phone's: most clips 5–60 s, crowded at a few lengths by
// capped clips (10, 15, 30, 60 s), some screen recordings and long videos,
// portrait and landscape, ~2 % in near-copy sets, some dark clips.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "model/near_copies.h"
#include "synthetic_items.h"

using namespace reelkeep;

namespace {

// Live and peak bytes from operator new: the matcher's vectors go through it.
std::atomic<std::int64_t> liveBytes{0};
std::atomic<std::int64_t> peakBytes{0};

void countAllocation(void* pointer) {
    const std::int64_t live = liveBytes += std::int64_t(malloc_usable_size(pointer));
    std::int64_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
}

}  // namespace

void* operator new(std::size_t bytes) {
    void* pointer = std::malloc(bytes ? bytes : 1);
    if (!pointer) throw std::bad_alloc();
    countAllocation(pointer);
    return pointer;
}
void operator delete(void* pointer) noexcept {
    if (pointer) liveBytes -= std::int64_t(malloc_usable_size(pointer));
    std::free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}

namespace {

constexpr int kLibrarySize = 100'000;

double syntheticDuration(std::mt19937_64& random) {
    const auto lognormal = [&](double median, double spread) {
        return std::lognormal_distribution<double>(std::log(median), spread)(random);
    };
    const auto roll = random() % 100;
    if (roll < 55) return std::clamp(lognormal(14, 0.7), 1.0, 600.0);  // phone clips
    if (roll < 65) {                                                   // capped by a messenger or a story
        constexpr double kCaps[] = {10, 15, 30, 60};
        return kCaps[random() % std::size(kCaps)] - 0.001 * double(random() % 80);
    }
    if (roll < 75) return std::clamp(lognormal(60, 1.0), 2.0, 3600.0);  // screen recordings
    return std::clamp(lognormal(240, 1.2), 60.0, 4 * 3600.0);
}

double syntheticAspect(std::mt19937_64& random) {
    const auto roll = random() % 100;
    if (roll < 50) return 16.0 / 9;
    if (roll < 85) return 9.0 / 16;
    if (roll < 93) return 4.0 / 3;
    if (roll < 97) return 1.0;
    return 0.5 + 2.0 * double(random() % 1000) / 1000;
}

std::vector<VisualFingerprint> syntheticFingerprints(int count, std::uint64_t seed = 17) {
    std::mt19937_64 random(seed);
    std::vector<VisualFingerprint> prints;
    prints.reserve(std::size_t(count));
    while (int(prints.size()) < count) {
        VisualFingerprint f{syntheticDuration(random), syntheticAspect(random), kFingerprintFrames, {}};
        const bool isDark = random() % 20 == 0;
        for (int i = 0; i < kFingerprintFrames; ++i)
            f.frameHashes[std::size_t(i)] = isDark && i % 2 ? kFlatPictureHash : random() | 1;
        prints.push_back(f);
        if (random() % 100 != 0) continue;
        // One or two other versions: a few bits off per frame, a length a little off.
        for (int copies = 1 + int(random() % 2); copies > 0 && int(prints.size()) < count; --copies) {
            VisualFingerprint copy = f;
            for (std::uint64_t& hash : copy.frameHashes)
                if (hash != kFlatPictureHash) hash ^= (random() & random() & random()) << 1;  // ~8 bits
            copy.durationSeconds += double(random() % 100) / 200;
            prints.push_back(copy);
        }
    }
    std::shuffle(prints.begin(), prints.end(), random);
    return prints;
}

const std::vector<VisualFingerprint>& library() {
    static const std::vector<VisualFingerprint> prints = syntheticFingerprints(kLibrarySize);
    return prints;
}

void matchFingerprints(benchmark::State& state) {
    std::size_t sets = 0, members = 0;
    for (auto _ : state) {
        const auto groups = nearCopyGroups(library());
        sets = groups.size();
        members = 0;
        for (const auto& group : groups) members += group.size();
    }
    state.counters["sets"] = double(sets);
    state.counters["videos_in_sets"] = double(members);
}
BENCHMARK(matchFingerprints)->Unit(benchmark::kMillisecond);

// The worst library for an index by length and shape: dash-cam loops, every
// one 60 s and 16:9. Every pair is a candidate; the first frames settle each.
void matchOneLength(benchmark::State& state) {
    std::vector<VisualFingerprint> prints = syntheticFingerprints(int(state.range(0)), 23);
    for (VisualFingerprint& f : prints) {
        f.durationSeconds = 60;
        f.aspectRatio = 16.0 / 9;
    }
    for (auto _ : state) benchmark::DoNotOptimize(nearCopyGroups(prints));
    state.counters["pairs"] = double(prints.size()) * double(prints.size() - 1) / 2;
}
BENCHMARK(matchOneLength)->Arg(10'000)->Arg(30'000)->Unit(benchmark::kMillisecond);

// The matcher's own peak above its input, and the input itself.
void matchingMemory(benchmark::State& state) {
    std::int64_t peakAbove = 0;
    for (auto _ : state) {
        const std::int64_t before = liveBytes.load();
        peakBytes = before;
        benchmark::DoNotOptimize(nearCopyGroups(library()));
        peakAbove = peakBytes.load() - before;
    }
    const double inputBytes = double(sizeof(VisualFingerprint)) * kLibrarySize;
    state.counters["input_MB"] = inputBytes / 1e6;
    state.counters["peak_above_input_MB"] = double(peakAbove) / 1e6;
    state.counters["peak_total_MB"] = (inputBytes + double(peakAbove)) / 1e6;
}
BENCHMARK(matchingMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// The service's path: fingerprints by identifier, the library's records, the
// sets with their best versions. Also what one stored fingerprint costs.
void resolveSets(benchmark::State& state) {
    VideoList items;  // identifiers made unique, as a scan leaves them
    QSet<QString> seen;
    for (const VideoItem& video : bench::syntheticItems(kLibrarySize + kLibrarySize / 50))
        if (items.size() < kLibrarySize && !seen.contains(video.id())) {
            seen.insert(video.id());
            items.append(video);
        }
    const std::size_t before = mallinfo2().uordblks;
    SimilarityCheck check;
    check.fingerprints.reserve(kLibrarySize);
    for (qsizetype i = 0; i < items.size(); ++i)
        check.fingerprints.insert(items[i].localIdentifier(), library()[std::size_t(i)]);
    const double storedBytes = double(mallinfo2().uordblks - before);
    qsizetype sets = 0;
    std::int64_t peakAbove = 0;
    for (auto _ : state) {
        const std::int64_t live = liveBytes.load();
        peakBytes = live;
        const QList<SimilarSet> resolved = resolveSimilarSets(check, items);
        sets = resolved.size();
        benchmark::DoNotOptimize(summarizeSimilar(resolved, items));
        peakAbove = std::max(peakAbove, peakBytes.load() - live);
    }
    state.counters["sets"] = double(sets);
    state.counters["peak_above_stored_MB"] = double(peakAbove) / 1e6;
    state.counters["stored_bytes_per_fingerprint"] = storedBytes / double(kLibrarySize);
}
BENCHMARK(resolveSets)->Unit(benchmark::kMillisecond);

void hashFrame(benchmark::State& state) {
    std::array<std::uint8_t, kHashImageSide * kHashImageSide> picture{};
    std::mt19937_64 random(3);
    for (std::uint8_t& level : picture) level = std::uint8_t(random());
    for (auto _ : state) {
        benchmark::DoNotOptimize(perceptualHash(HashImage(picture)));
        picture[random() % picture.size()] ^= 1;  // not the same input twice
    }
}
BENCHMARK(hashFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    library();  // built outside the timed loops
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
