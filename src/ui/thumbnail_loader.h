// thumbnail_loader.h: row thumbnails for one table, visible rows first.
// Main thread only. Each request carries a generation and is owned alone, so
// a request for a row that scrolled away is stopped, and a late result whose
// generation is stale is dropped. Results are announced by identity, never by
// row: rows move while a picture decodes.
//
// The path of one thumbnail, and the one place each thing lives:
//   main thread     ThumbnailLoader::request -> MediaSource -> PhotoLibraryService::thumbnail
//   service thread  fetch the asset (its file's version now), then the service's
//                   LRU, keyed by identity, size and file version: a hit answers here
//   port thread     FolderLibrary::requestImage: the freedesktop disk cache, else a
//                   decode in a media worker; it answers within kImageRequestTimeLimit
//   media worker    killed at the decode's limit, a second inside the port's
//   main thread     the picture lands by identity: thumbnailReady(id)
// This loader keeps no cache of its own: it holds the pictures of the rows it was
// last asked for, shared with the service's LRU, which keeps the rest.
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
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

    explicit ThumbnailLoader(MediaSource& media, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    void setDevicePixelRatio(double ratio);
    // The rows wanted now, most urgent first. Requests for any other row stop,
    // and their pictures are let go.
    void request(const QStringList& localIdentifiers);
    // These videos changed: the next request asks for them again, and their
    // pictures show until the answers replace them.
    void reload(const QStringList& localIdentifiers);
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
    // Made once when it arrives, in a format painting takes as it is: rows are
    // painted far more often than thumbnails arrive.
    struct Shown {
        ThumbnailRef thumbnail;
        QImage image;
    };

    QHash<QString, Shown> m_shown;  // of the rows last asked for
    QSet<QString> m_stale;          // shown, but to be asked for again
    TaskOwner m_loads{this};        // last: stops every load before the rest goes
};

}  // namespace reelkeep
