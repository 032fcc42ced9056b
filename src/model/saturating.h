// saturating.h: byte arithmetic that clamps instead of wrapping.
// Sizes come from untrusted files (a sparse file can claim exabytes), so every
// byte sum and product in the system goes through these and stops at INT64_MAX.
#pragma once

#include <cstdint>
#include <limits>

namespace reelkeep {

inline constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();

// Both operands are byte counts or counts, so negatives only appear by mistake;
// they clamp at the other end rather than overflow.
constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? kMaxBytes : std::numeric_limits<std::int64_t>::min();
    return sum;
}

constexpr std::int64_t saturatingMul(std::int64_t a, std::int64_t b) {
    std::int64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product))
        return (a < 0) != (b < 0) ? std::numeric_limits<std::int64_t>::min() : kMaxBytes;
    return product;
}

}  // namespace reelkeep
