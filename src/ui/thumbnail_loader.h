// thumbnail_loader.h: row thumbnails for one table, visible rows first.
// Main thread only. Each request carries a generation and is owned alone, so
// a request for a row that scrolled away is stopped, and a late result whose
// generation is stale is dropped. Results are announced by identity, never by
// row: rows move while a picture decodes.
#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QStringList>
#include <stop_token>

#include <QCoro/QCoroTask>

#include "viewmodel/media_source.h"
#include "viewmodel/task_owner.h"

namespace reelkeep {

class ThumbnailLoader : public QObject {
    Q_OBJECT

public:
    // Thumbnails are 64 × 40 logical pixels.
    static constexpr QSizeF kLogicalSize{64, 40};
    // About 400 thumbnails at 2x: a few screens of rows scrolled back and forth.
    static constexpr int kCacheBytes = 16 * 1024 * 1024;

    explicit ThumbnailLoader(MediaSource& media, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    void setDevicePixelRatio(double ratio);
    // The rows wanted now, most urgent first. Requests for any other row stop.
    void request(const QStringList& localIdentifiers);
    // Null until loaded; a video without a picture stays null.
    QImage image(const QString& localIdentifier) const;
    int requestsInFlight() const { return int(m_flights.size()); }

signals:
    void thumbnailReady(const QString& localIdentifier);

private:
    struct Flight {
        quint64 generation = 0;
        quint64 task = 0;  // in m_loads
    };

    QCoro::Task<> load(QString localIdentifier, QSizeF targetPixels, quint64 generation,
                       std::stop_token stop);

    MediaSource& m_media;
    double m_devicePixelRatio = 1;
    QHash<QString, Flight> m_flights;
    quint64 m_nextGeneration = 0;
    QCache<QString, QImage> m_images{kCacheBytes};
    TaskOwner m_loads{this};  // last: stops every load before the rest goes
};

}  // namespace reelkeep
