// demo_main.cpp: prints a sample library biggest first, as the window will list
// it; a quick look at the catalogue's texts and order from a terminal.
#include <QCoreApplication>
#include <QTextStream>

#include "model/display_text.h"
#include "model/duplicates.h"
#include "model/sort_order.h"

using namespace reelkeep;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto known = [](std::int64_t bytes) { return SizeState::known(bytes, SizeSource::photosMetadata); };
    const VideoList sample = {
        {"v1", QStringLiteral("Beach Day 2.mov"), 1709665629, 245, 3840, 2160, false, false,
         known(2'400'000'000)},
        {"v2", QStringLiteral("Beach Day 10.mov"), 1709665000, 3599.5, 1920, 1080, true, false,
         known(812'000'000)},
        {"v3", QStringLiteral("birthday.mp4"), 1600000000, 95, 1080, 1920, false, false, known(812'000'000)},
        {"v4", QStringLiteral("Screen Recording.mov"), 1650000000, 31, 2880, 1800, false, true,
         known(48'500'000)},
        {"v5", std::nullopt, kDistantPast, 7, 640, 480, false, false, SizeState::unavailable()},
    };
    QTextStream out(stdout);
    for (const VideoItem& video : sortedItems(sample, VideoSortOrder::sizeDesc)) {
        out << qSetFieldWidth(24) << Qt::left << video.displayName() << qSetFieldWidth(12) << Qt::right
            << sizeText(video.sizeState().byteCount()) << durationText(video.duration())
            << resolutionText(video.pixelWidth(), video.pixelHeight()) << qSetFieldWidth(16)
            << dateText(video.creationDate()) << qSetFieldWidth(0) << '\n';
    }
    const DuplicateSummary duplicates = summarizeDuplicates(sample);
    out << duplicates.videoCount << " same-size videos, " << byteCountText(duplicates.reclaimableBytes)
        << " reclaimable\n";
    return 0;
}
