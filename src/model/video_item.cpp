#include "video_item.h"

#include <QHash>
#include <cmath>

#include "calendar.h"

namespace reelkeep {

VideoItem::VideoItem(QString localIdentifier, std::optional<QString> resourceFilename, Timestamp creationDate,
                     double duration, std::int64_t pixelWidth, std::int64_t pixelHeight, bool isFavorite,
                     bool isScreenRecording, SizeState sizeState, VideoLocationRef location) {
    auto* fields = new Fields;
    fields->localIdentifier = std::move(localIdentifier);
    fields->resourceFilename = std::move(resourceFilename);
    fields->creationDate = creationDate;
    fields->duration = duration;
    fields->pixelWidth = pixelWidth;
    fields->pixelHeight = pixelHeight;
    fields->sizeState = sizeState;
    fields->isFavorite = isFavorite;
    fields->isScreenRecording = isScreenRecording;
    fields->location = std::move(location);
    const YearMonth ym = catalogueYearMonth(creationDate);
    fields->creationYear = ym.year;
    fields->creationMonth = std::int8_t(ym.month);
    d = QExplicitlySharedDataPointer<const Fields>(fields);
}

const QString& VideoItem::emptyText() {
    static const QString empty;
    return empty;
}

QString VideoItem::filePath() const {
    const QString& folder = folderPath();
    if (folder.isEmpty()) return {};
    return folder.endsWith(QLatin1Char('/')) ? folder + displayName()
                                             : folder + QLatin1Char('/') + displayName();
}

VideoItem VideoItem::replacingSizeState(SizeState sizeState) const {
    auto* fields = new Fields(*d);  // the date is unchanged, so the derived fields stay valid
    fields->sizeState = sizeState;
    return VideoItem(fields);
}

VideoItem VideoItem::replacingFavorite(bool isFavorite) const {
    auto* fields = new Fields(*d);
    fields->isFavorite = isFavorite;
    return VideoItem(fields);
}

bool operator==(const VideoItem& a, const VideoItem& b) {
    const VideoItem::Fields& x = *a.d;
    const VideoItem::Fields& y = *b.d;
    // Plain double comparison on purpose: a NaN length never equals anything,
    // not even the same record.
    return x.localIdentifier == y.localIdentifier && x.resourceFilename == y.resourceFilename &&
           x.creationDate == y.creationDate && x.duration == y.duration && x.pixelWidth == y.pixelWidth &&
           x.pixelHeight == y.pixelHeight && x.isFavorite == y.isFavorite &&
           x.isScreenRecording == y.isScreenRecording && x.sizeState == y.sizeState &&
           x.creationYear == y.creationYear && x.creationMonth == y.creationMonth &&
           (x.location == y.location || (x.location && y.location && *x.location == *y.location));
}

namespace {
void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2);
}

// -0.0 == 0.0 must hash alike; NaN never compares equal, so its hash is free.
std::size_t hashDouble(double value) {
    return value == 0.0 ? 0 : std::hash<double>{}(value);
}
}  // namespace

std::size_t VideoItem::hash() const {
    std::size_t seed = qHash(d->localIdentifier);
    combine(seed, d->resourceFilename ? qHash(*d->resourceFilename) + 1 : 0);
    combine(seed, hashDouble(d->creationDate));
    combine(seed, hashDouble(d->duration));
    combine(seed, std::hash<std::int64_t>{}(d->pixelWidth));
    combine(seed, std::hash<std::int64_t>{}(d->pixelHeight));
    combine(seed, std::size_t(d->isFavorite) | std::size_t(d->isScreenRecording) << 1);
    combine(seed, d->sizeState.hash());
    combine(seed, std::size_t(d->creationYear) * 13 + std::size_t(d->creationMonth));
    return seed;
}

}  // namespace reelkeep
