// video_date_test.cpp: the dates that phone, messenger and desktop names carry.
#include <gtest/gtest.h>

#include "model/video_date.h"

namespace reelkeep {
namespace {

TEST(NameDate, ReadsTheLayoutsDevicesWriteAndNothingElse) {
    struct Case {
        const char* name;
        std::optional<WallClockTime> expected;
    };
    const Case cases[] = {
        {"VID_20190101_120000.mp4", WallClockTime{2019, 1, 1, 12, 0, 0, 0}},
        {"IMG_20190704_235959_HDR.mp4", WallClockTime{2019, 7, 4, 23, 59, 59, 0}},
        {"vid_20190101_120000.mp4", WallClockTime{2019, 1, 1, 12, 0, 0, 0}},
        {"PXL_20190101_120000123.mp4", WallClockTime{2019, 1, 1, 12, 0, 0, 123}},
        {"PXL_20231224_081502.TS.mp4", WallClockTime{2023, 12, 24, 8, 15, 2, 0}},
        {"VID-20170211-WA0001.mp4", WallClockTime{2017, 2, 11, 0, 0, 0, 0}},
        {"20190101_120000.mp4", WallClockTime{2019, 1, 1, 12, 0, 0, 0}},
        {"Screen Recording 2023-05-01 at 10.11.12.mov", WallClockTime{2023, 5, 1, 10, 11, 12, 0}},
        {"Screen Recording 2023-05-01 at 3.04.05 PM.mov", WallClockTime{2023, 5, 1, 15, 4, 5, 0}},
        {"Screen Recording 2023-05-01 at 12.04.05\xE2\x80\xAF"
         "AM.mov",
         WallClockTime{2023, 5, 1, 0, 4, 5, 0}},
        {"2019-01-01 12.00.00.mp4", WallClockTime{2019, 1, 1, 12, 0, 0, 0}},
        {"2020-02-29 06.30.00-1.mp4", WallClockTime{2020, 2, 29, 6, 30, 0, 0}},
        // Not dates, or not plausible ones.
        {"Screen Recording 2023-05-01 at 13.04.05 PM.mov", std::nullopt},
        {"VID_20190229_120000.mp4", std::nullopt},  // no such day
        {"VID_20191301_120000.mp4", std::nullopt},
        {"VID_20190101_246000.mp4", std::nullopt},
        {"VID_18900101_120000.mp4", std::nullopt},
        {"VID_21190101_120000.mp4", std::nullopt},
        {"20190101_1200001.mp4", std::nullopt},  // a longer number
        {"VID_2019010_120000.mp4", std::nullopt},
        {"holiday 20190101_120000.mp4", std::nullopt},  // a date inside a title is not the recording's
        {"MVI_0042.MOV", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(nameDate(c.name), c.expected) << c.name;
}

}  // namespace
}  // namespace reelkeep
