// creation_date_test.cpp: container dates in the forms cameras and muxers write.
#include <gtest/gtest.h>

#include "platform/folder/media/creation_date.h"

namespace reelkeep::media {
namespace {

TEST(ContainerDate, ReadsTheFormsContainersWriteAndRejectsTheRest) {
    struct Case {
        const char* text;
        std::optional<Timestamp> expected;
    };
    const Case cases[] = {
        {"2021-03-04T05:06:07.000000Z", 1614834367.0},  // FFmpeg's creation_time
        {"2021-03-04T05:06:07.250000Z", 1614834367.25},
        {"2019-07-18T14:45:21+0200", 1563453921.0},  // com.apple.quicktime.creationdate
        {"2019-07-18T14:45:21+02:00", 1563453921.0},
        {"2019-07-18T14:45:21-0530", 1563480921.0},
        {"2021-03-04 05:06:07", 1614834367.0},  // no zone: UTC
        {"2021-03-04T05:06", 1614834360.0},
        {"2021-03-04", 1614816000.0},
        {"2024-02-29T00:00:00Z", 1709164800.0},  // leap day
        {"1970-01-01T00:00:00Z", std::nullopt},  // a camera without a clock
        {"1970-01-01T00:03:12Z", std::nullopt},  // ... three minutes after it was switched on
        {"1904-01-01T00:00:00Z", std::nullopt},  // QuickTime's zero
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"2021-13-01", std::nullopt},
        {"2021-03-04T25:00:00Z", std::nullopt},
        {"2021-03-04T05:06:07+2500", std::nullopt},
        {"2021-03-04T05:06:07Zjunk", std::nullopt},
        {"yesterday", std::nullopt},
        {"", std::nullopt},
        {"2021-3-4", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseContainerDate(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace reelkeep::media
