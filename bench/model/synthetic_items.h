// synthetic_items.h: a seeded, realistic library of video records for the model
// benchmarks: camera-style names with digit runs, ~20 % same-size copies, ~5 %
// unknown sizes, dates spread over 15 years.
#pragma once

#include <QString>
#include <random>

#include "model/video_item.h"

namespace reelkeep::bench {

inline VideoList syntheticItems(int count, std::uint64_t seed = 7) {
    std::mt19937_64 random(seed);
    constexpr Timestamp kStart = 1262304000.0;  // 2010-01-01
    constexpr double kFifteenYears = 15 * 365.25 * 86400;
    const char* const patterns[] = {"IMG_%1.MOV",          "VID_2019%1_183022.mp4",
                                    "Beach Day %1.mov",    "Screen Recording %1.mov",
                                    "PXL_20230101_%1.mp4", "Clip %1 (edited).m4v"};
    constexpr std::pair<std::int64_t, std::int64_t> kResolutions[] = {
        {1920, 1080}, {1080, 1920}, {3840, 2160}, {1280, 720}, {640, 480}, {2880, 1800}, {720, 1280}};
    std::lognormal_distribution<double> megabytes(4.5, 1.4);
    VideoList items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name =
            QString::fromLatin1(patterns[random() % std::size(patterns)]).arg(random() % 100000);
        const QString id = QStringLiteral("/home/user/Videos/%1/%2").arg(2010 + int(random() % 15)).arg(name);
        SizeState size =
            SizeState::known(std::int64_t(megabytes(random) * 1e6) + 1, SizeSource::photosMetadata);
        const auto roll = random() % 100;
        if (roll < 20 && !items.isEmpty())
            size = items[qsizetype(random() % std::uint64_t(items.size()))].sizeState();
        if (roll >= 95) size = SizeState::unavailable();
        const Timestamp date = kStart + double(random() % std::uint64_t(kFifteenYears));
        const auto& [width, height] = kResolutions[random() % std::size(kResolutions)];
        items.append(VideoItem(id, name, date, double(random() % 3600) + 0.01 * double(random() % 100), width,
                               height, roll == 50, roll == 51, size));
    }
    return items;
}

}  // namespace reelkeep::bench
