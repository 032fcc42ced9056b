// item_builder.h: terse VideoItem construction for tests; every field has a
// harmless default so a test names only what it is about.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "model/video_item.h"
#include "support/qt_printers.h"

namespace reelkeep::test {

// 2024-03-05 19:07:09 UTC, which is 2:07:09 PM in New York.
inline constexpr Timestamp kMarch5th2024 = 1709665629.0;

struct ItemBuilder {
    QString id = QStringLiteral("id");
    std::optional<QString> name;
    Timestamp date = kMarch5th2024;
    double duration = 10;
    std::int64_t width = 1920;
    std::int64_t height = 1080;
    bool favorite = false;
    bool screenRecording = false;
    SizeState size = SizeState::known(1000, SizeSource::photosMetadata);
    VideoLocationRef location;

    ItemBuilder& withId(const QString& v) {
        id = v;
        return *this;
    }
    ItemBuilder& withName(const QString& v) {
        name = v;
        return *this;
    }
    ItemBuilder& withDate(Timestamp v) {
        date = v;
        return *this;
    }
    ItemBuilder& withDuration(double v) {
        duration = v;
        return *this;
    }
    ItemBuilder& withPixels(std::int64_t w, std::int64_t h) {
        width = w;
        height = h;
        return *this;
    }
    ItemBuilder& withFavorite(bool v = true) {
        favorite = v;
        return *this;
    }
    ItemBuilder& withBytes(std::int64_t v) {
        size = SizeState::known(v, SizeSource::photosMetadata);
        return *this;
    }
    ItemBuilder& withSize(SizeState v) {
        size = v;
        return *this;
    }

    // Under the library folder "/home/me/Videos"; folder "" is that folder itself.
    ItemBuilder& withFolder(const QString& below) {
        const QString suffix = below.isEmpty() ? QString{} : QLatin1Char('/') + below;
        location = std::make_shared<VideoLocation>(
            VideoLocation{QStringLiteral("Videos") + suffix, QStringLiteral("/home/me/Videos") + suffix});
        return *this;
    }

    VideoItem build() const {
        return VideoItem(id, name, date, duration, width, height, favorite, screenRecording, size, location);
    }
    operator VideoItem() const { return build(); }
};

inline ItemBuilder item(const QString& id) {
    return ItemBuilder{}.withId(id);
}

inline QStringList ids(const VideoList& items) {
    QStringList result;
    for (const VideoItem& video : items) result << video.id();
    return result;
}

}  // namespace reelkeep::test
