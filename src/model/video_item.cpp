#include "video_item.h"

#include <QHash>
#include <cmath>

#include "calendar.h"

namespace reelkeep {

VideoItem::VideoItem(QString localIdentifier, std::optional<QString> resourceFilename, Timestamp creationDate,
                     double duration, std::int64_t pixelWidth, std::int64_t pixelHeight, bool isFavorite,
                     bool isScreenRecording, SizeState sizeState)
    : m_localIdentifier(std::move(localIdentifier)),
      m_resourceFilename(std::move(resourceFilename)),
      m_creationDate(creationDate),
      m_duration(duration),
      m_pixelWidth(pixelWidth),
      m_pixelHeight(pixelHeight),
      m_sizeState(sizeState),
      m_isFavorite(isFavorite),
      m_isScreenRecording(isScreenRecording) {
    const YearMonth ym = catalogueYearMonth(creationDate);
    m_creationYear = ym.year;
    m_creationMonth = std::int8_t(ym.month);
}

VideoItem VideoItem::replacingSizeState(SizeState sizeState) const {
    VideoItem copy = *this;
    copy.m_sizeState = sizeState;  // the date is unchanged, so the derived fields stay valid
    return copy;
}

VideoItem VideoItem::replacingFavorite(bool isFavorite) const {
    VideoItem copy = *this;
    copy.m_isFavorite = isFavorite;
    return copy;
}

bool operator==(const VideoItem& a, const VideoItem& b) {
    // Plain double comparison on purpose: a NaN length never equals anything.
    return a.m_localIdentifier == b.m_localIdentifier && a.m_resourceFilename == b.m_resourceFilename &&
           a.m_creationDate == b.m_creationDate && a.m_duration == b.m_duration &&
           a.m_pixelWidth == b.m_pixelWidth && a.m_pixelHeight == b.m_pixelHeight &&
           a.m_isFavorite == b.m_isFavorite && a.m_isScreenRecording == b.m_isScreenRecording &&
           a.m_sizeState == b.m_sizeState && a.m_creationYear == b.m_creationYear &&
           a.m_creationMonth == b.m_creationMonth;
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
    std::size_t seed = qHash(m_localIdentifier);
    combine(seed, m_resourceFilename ? qHash(*m_resourceFilename) + 1 : 0);
    combine(seed, hashDouble(m_creationDate));
    combine(seed, hashDouble(m_duration));
    combine(seed, std::hash<std::int64_t>{}(m_pixelWidth));
    combine(seed, std::hash<std::int64_t>{}(m_pixelHeight));
    combine(seed, std::size_t(m_isFavorite) | std::size_t(m_isScreenRecording) << 1);
    combine(seed, m_sizeState.hash());
    combine(seed, std::size_t(m_creationYear) * 13 + std::size_t(m_creationMonth));
    return seed;
}

}  // namespace reelkeep
