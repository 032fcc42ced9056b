// video_item.h: the immutable record of one video after a scan.
// Identity is localIdentifier; equality covers every field. A change makes
// a new record through the constructor, so the derived year and month always agree.
// The fields live in one shared immutable block: lists of 100k records are
// copied, filtered and sorted on every keystroke, and a copy is one pointer.
#pragma once

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QSharedData>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "size_state.h"

namespace reelkeep {

// Seconds since 1970-01-01 00:00 UTC, double precision.
using Timestamp = double;

// 1 January of year 1, 00:00 UTC: stands for a missing creation date and is
// compared exactly, never by range.
inline constexpr Timestamp kDistantPast = -62135596800.0;

// Where a video lives, as text for display: shared by every video of a folder.
struct VideoLocation {
    QString folder;      // relative to its library folder, led by that folder's name: "Videos/2023/Trip"
    QString folderPath;  // the absolute path of the folder holding the file

    friend bool operator==(const VideoLocation&, const VideoLocation&) = default;
};
using VideoLocationRef = std::shared_ptr<const VideoLocation>;

class VideoItem {
public:
    VideoItem(QString localIdentifier, std::optional<QString> resourceFilename, Timestamp creationDate,
              double duration, std::int64_t pixelWidth, std::int64_t pixelHeight, bool isFavorite,
              bool isScreenRecording, SizeState sizeState, VideoLocationRef location = {});

    const QString& localIdentifier() const { return d->localIdentifier; }
    const QString& id() const { return d->localIdentifier; }
    const std::optional<QString>& resourceFilename() const { return d->resourceFilename; }
    Timestamp creationDate() const { return d->creationDate; }
    double duration() const { return d->duration; }
    std::int64_t pixelWidth() const { return d->pixelWidth; }
    std::int64_t pixelHeight() const { return d->pixelHeight; }
    bool isFavorite() const { return d->isFavorite; }
    bool isScreenRecording() const { return d->isScreenRecording; }
    const SizeState& sizeState() const { return d->sizeState; }
    int creationYear() const { return d->creationYear; }
    int creationMonth() const { return d->creationMonth; }
    // Empty for a video without a file of its own (a demo library's cloud-only ones).
    const QString& folder() const { return d->location ? d->location->folder : emptyText(); }
    const QString& folderPath() const { return d->location ? d->location->folderPath : emptyText(); }
    const VideoLocationRef& location() const { return d->location; }
    // The folder path and the file name, as text; empty when the folder is unknown.
    QString filePath() const;

    // The file name when present (even empty), else the identifier.
    const QString& displayName() const {
        return d->resourceFilename ? *d->resourceFilename : d->localIdentifier;
    }

    VideoItem replacingSizeState(SizeState sizeState) const;
    VideoItem replacingFavorite(bool isFavorite) const;

    friend bool operator==(const VideoItem& a, const VideoItem& b);
    std::size_t hash() const;

private:
    struct Fields : QSharedData {
        QString localIdentifier;
        std::optional<QString> resourceFilename;
        Timestamp creationDate = 0;
        double duration = 0;
        std::int64_t pixelWidth = 0;
        std::int64_t pixelHeight = 0;
        SizeState sizeState = SizeState::unavailable();
        VideoLocationRef location;
        std::int32_t creationYear = 0;
        std::int8_t creationMonth = 0;
        bool isFavorite = false;
        bool isScreenRecording = false;
    };

    explicit VideoItem(Fields* fields) : d(fields) {}
    static const QString& emptyText();

    QExplicitlySharedDataPointer<const Fields> d;
};

// QList shares its buffer, so an unchanged list passes between layers without copying.
using VideoList = QList<VideoItem>;

}  // namespace reelkeep

template <>
struct std::hash<reelkeep::VideoItem> {
    std::size_t operator()(const reelkeep::VideoItem& item) const { return item.hash(); }
};
