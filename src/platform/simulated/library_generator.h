// library_generator.h: seeded, realistic simulated libraries for benchmarks and
// demos. The same seed gives the same library on every machine: the generator
// uses its own arithmetic on the raw engine output, not the standard distributions.
#pragma once

#include <QList>
#include <cstdint>

#include "simulated_library.h"

namespace reelkeep {

struct GeneratorOptions {
    int assetCount = 100'000;
    std::uint64_t seed = 1;
    double duplicateShare = 0.20;  // assets that reuse an earlier asset's exact byte count
    double slowPathShare = 0.03;   // no fast size: the resource list is needed
    double cloudOnlyShare = 0.02;  // no local size anywhere
    double nearCopyShare = 0.02;   // a smaller re-encode of an earlier asset: same length, half the pixels
    int years = 15;
    Timestamp newest = 1767225600.0;  // 2026-01-01 00:00 UTC
};

QList<SimulatedAsset> generateLibrary(const GeneratorOptions& options);

}  // namespace reelkeep
