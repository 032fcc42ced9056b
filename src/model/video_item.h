// video_item.h: the immutable record of one video after a scan.
// Identity is localIdentifier; equality covers all eleven fields. A change makes
// a new record through the constructor, so the derived year and month always agree.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "size_state.h"

namespace reelkeep {

// Seconds since 1970-01-01 00:00 UTC, double precision.
using Timestamp = double;

// 1 January of year 1, 00:00 UTC: stands for a missing creation date and is
// compared exactly, never by range.
inline constexpr Timestamp kDistantPast = -62135596800.0;

class VideoItem {
public:
    VideoItem(QString localIdentifier, std::optional<QString> resourceFilename, Timestamp creationDate,
              double duration, std::int64_t pixelWidth, std::int64_t pixelHeight, bool isFavorite,
              bool isScreenRecording, SizeState sizeState);

    const QString& localIdentifier() const { return m_localIdentifier; }
    const QString& id() const { return m_localIdentifier; }
    const std::optional<QString>& resourceFilename() const { return m_resourceFilename; }
    Timestamp creationDate() const { return m_creationDate; }
    double duration() const { return m_duration; }
    std::int64_t pixelWidth() const { return m_pixelWidth; }
    std::int64_t pixelHeight() const { return m_pixelHeight; }
    bool isFavorite() const { return m_isFavorite; }
    bool isScreenRecording() const { return m_isScreenRecording; }
    const SizeState& sizeState() const { return m_sizeState; }
    int creationYear() const { return m_creationYear; }
    int creationMonth() const { return m_creationMonth; }

    // The file name when present (even empty), else the identifier.
    const QString& displayName() const {
        return m_resourceFilename ? *m_resourceFilename : m_localIdentifier;
    }

    VideoItem replacingSizeState(SizeState sizeState) const;
    VideoItem replacingFavorite(bool isFavorite) const;

    friend bool operator==(const VideoItem& a, const VideoItem& b);
    std::size_t hash() const;

private:
    QString m_localIdentifier;
    std::optional<QString> m_resourceFilename;
    Timestamp m_creationDate;
    double m_duration;
    std::int64_t m_pixelWidth;
    std::int64_t m_pixelHeight;
    SizeState m_sizeState;
    std::int32_t m_creationYear = 0;
    std::int8_t m_creationMonth = 0;
    bool m_isFavorite;
    bool m_isScreenRecording;
};

// QList shares its buffer, so an unchanged list passes between layers without copying.
using VideoList = QList<VideoItem>;

}  // namespace reelkeep

template <>
struct std::hash<reelkeep::VideoItem> {
    std::size_t operator()(const reelkeep::VideoItem& item) const { return item.hash(); }
};
