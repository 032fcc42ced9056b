// scan_timings_test.cpp: the report's division rules and counts past 32 bits.
#include <gtest/gtest.h>

#include "library/scan_timings.h"

namespace reelkeep {
namespace {

using std::chrono::milliseconds;

TEST(ScanTimings, AveragesDivideOnlyByRealCountsAndRestMayBeNegative) {
    struct Case {
        std::int64_t assets, probes;
        const char* perAsset;
        const char* perProbe;
    };
    for (const Case& c : {Case{0, 0, "   8.000 ms/asset", "   4.00 ms/probe"},
                          Case{1, 1, "   8.000 ms/asset", "   4.00 ms/probe"},
                          Case{2, 2, "   4.000 ms/asset", "   2.00 ms/probe"}}) {
        const ScanTimings timings{milliseconds(8), c.assets, 0, milliseconds(4), c.probes};
        const QString text = timings.report(milliseconds(5), milliseconds(10));
        EXPECT_TRUE(text.contains(c.perAsset)) << text.toStdString();
        EXPECT_TRUE(text.contains(c.perProbe)) << text.toStdString();
        EXPECT_TRUE(text.endsWith("render + sched        -7 ms")) << text.toStdString();
        EXPECT_FALSE(text.endsWith('\n'));
    }
}

TEST(ScanTimings, HugeCountsPrintInFull) {
    const ScanTimings timings{milliseconds(1), INT64_MAX, INT64_MAX - 1, milliseconds(1), 5'000'000'000};
    const QString text = timings.report(milliseconds(0), milliseconds(2));
    EXPECT_TRUE(
        text.startsWith("scan timings: 9223372036854775807 assets, 9223372036854775806 slow path, "
                        "5000000000 probed"))
        << text.toStdString();
}

}  // namespace
}  // namespace reelkeep
