// near_copies.cpp: the frame hash, the matcher and its candidate index, and
// the best-version rule. Pure: no I/O, no clock; hashing runs on the workers'
// hot path, matching on the service's thread.
#include "near_copies.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace reelkeep {

namespace {

constexpr int kHashSide = 8;  // the 8×8 lowest frequencies make the 64 bits

// Orthonormal DCT-II basis, row u = frequency: kCosines[u][x]. Orthonormal so a
// coefficient's size means the same at every frequency (the flatness test needs it).
using CosineTable = std::array<std::array<float, kHashImageSide>, kHashSide>;

const CosineTable& cosineTable() {
    static const CosineTable table = [] {
        CosineTable t{};
        for (int u = 0; u < kHashSide; ++u) {
            const double scale = std::sqrt((u == 0 ? 1.0 : 2.0) / kHashImageSide);
            for (int x = 0; x < kHashImageSide; ++x)
                t[u][x] =
                    float(scale * std::cos(std::numbers::pi * (2 * x + 1) * u / (2.0 * kHashImageSide)));
        }
        return t;
    }();
    return table;
}

// Below this low-frequency energy a picture is flat (black, a fade, a plain
// title card): its bits would be rounding noise. The sum of the squared AC
// coefficients is the picture's variance times 1024 (Parseval), so this is
// an RMS swing of 1 grey level.
constexpr float kFlatEnergy = float(kHashImageSide * kHashImageSide) * 1.0f;

}  // namespace

double fingerprintFrameFraction(int index) {
    const int clamped = std::clamp(index, 0, kFingerprintFrames - 1);
    return 0.05 + 0.9 * clamped / (kFingerprintFrames - 1);
}

std::uint64_t perceptualHash(HashImage grey) {
    const CosineTable& cosines = cosineTable();
    // Rows first: only 8 of the 32 frequencies are ever needed, so the separable
    // transform is 32×32×8 + 8×8×32 products instead of a full 32×32 DCT.
    std::array<std::array<float, kHashSide>, kHashImageSide> rows{};
    for (int y = 0; y < kHashImageSide; ++y) {
        const std::uint8_t* line = grey.data() + y * kHashImageSide;
        for (int v = 0; v < kHashSide; ++v) {
            float sum = 0;
            for (int x = 0; x < kHashImageSide; ++x) sum += float(line[x]) * cosines[v][x];
            rows[y][v] = sum;
        }
    }
    std::array<float, kHashSide * kHashSide> coefficients{};
    for (int u = 0; u < kHashSide; ++u)
        for (int v = 0; v < kHashSide; ++v) {
            float sum = 0;
            for (int y = 0; y < kHashImageSide; ++y) sum += cosines[u][y] * rows[y][v];
            coefficients[u * kHashSide + v] = sum;
        }

    // The median of the 63 AC coefficients, DC left out: DC is the brightness,
    // always far above the rest, so it says nothing about the picture's shape
    // and would only shift the median by half a rank. Its bit is set for every
    // picture that is not flat, which keeps a real hash from ever being
    // kFlatPictureHash.
    std::array<float, kHashSide * kHashSide - 1> ac{};
    std::copy(coefficients.begin() + 1, coefficients.end(), ac.begin());
    float energy = 0;
    for (float c : ac) energy += c * c;
    if (energy < kFlatEnergy) return kFlatPictureHash;
    auto middle = ac.begin() + ac.size() / 2;
    std::nth_element(ac.begin(), middle, ac.end());
    const float median = *middle;

    std::uint64_t hash = 1;  // DC: above the median
    for (int i = 1; i < kHashSide * kHashSide; ++i)
        if (coefficients[i] > median) hash |= std::uint64_t{1} << i;
    return hash;
}

}  // namespace reelkeep
