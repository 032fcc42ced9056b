// scan_timings.h: the counters of one scan and the five-line report built from
// them. Durations come from a clock that keeps counting while the machine sleeps.
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>

namespace reelkeep {

// CLOCK_BOOTTIME: monotonic, and a suspend in the middle of a scan still counts.
struct BootClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<BootClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};

struct ScanTimings {
    std::chrono::nanoseconds batchTotal{0};
    std::int64_t assetCount = 0;
    std::int64_t slowPathCount = 0;
    std::chrono::nanoseconds probe{0};
    std::int64_t probeCount = 0;
    // Before the batches: the walk with its index lookups (side by side), then the assets.
    std::chrono::nanoseconds fetch{0};
    // Within batchTotal: the containers read for files the index did not know.
    std::chrono::nanoseconds metadata{0};

    // Five lines, no final line break; "render + sched" may be negative.
    QString report(std::chrono::nanoseconds uiRecompute, std::chrono::nanoseconds total) const;

    friend bool operator==(const ScanTimings&, const ScanTimings&) = default;
};

}  // namespace reelkeep
