// scan_timings.cpp: the timing report. The format is fixed because people compare
// reports across versions; 64-bit counts are printed as long long on purpose.
#include "library/scan_timings.h"

#include <algorithm>
#include <ctime>

namespace reelkeep {

BootClock::time_point BootClock::now() noexcept {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point{std::chrono::seconds{ts.tv_sec} + std::chrono::nanoseconds{ts.tv_nsec}};
}

namespace {
double milliseconds(std::chrono::nanoseconds d) {
    return double(d.count()) / 1e6;
}
}  // namespace

QString ScanTimings::report(std::chrono::nanoseconds uiRecompute, std::chrono::nanoseconds total) const {
    const double batchMs = milliseconds(batchTotal);
    const double probeMs = milliseconds(probe);
    const double uiMs = milliseconds(uiRecompute);
    const double totalMs = milliseconds(total);
    // Only a real average divides; one asset or none reports the batch time itself.
    const double perAsset = batchMs / double(assetCount >= 2 ? assetCount : 1);
    const double perProbe = probeMs / double(std::max<std::int64_t>(probeCount, 1));
    const double rest = totalMs - batchMs - probeMs - uiMs;
    return QString::asprintf(
        "scan timings: %lld assets, %lld slow path, %lld probed, %8.0f ms total\n"
        "  fetch batches   %8.0f ms   %6.3f ms/asset\n"
        "  size probe      %8.0f ms   %6.2f ms/probe\n"
        "  ui recompute    %8.0f ms\n"
        "  render + sched  %8.0f ms",
        static_cast<long long>(assetCount), static_cast<long long>(slowPathCount),
        static_cast<long long>(probeCount), totalMs, batchMs, perAsset, probeMs, perProbe, uiMs, rest);
}

}  // namespace reelkeep
