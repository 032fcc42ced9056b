// thumbnail_loader.cpp: one stoppable request per wanted row, results by identity.
#include "thumbnail_loader.h"

#include <QPointer>
#include <QSet>
#include <cmath>

namespace reelkeep {

ThumbnailLoader::ThumbnailLoader(MediaSource& media, QObject* parent) : QObject(parent), m_media(media) {}

ThumbnailLoader::~ThumbnailLoader() = default;

void ThumbnailLoader::setDevicePixelRatio(double ratio) {
    if (!(ratio > 0) || ratio == m_devicePixelRatio) return;
    m_devicePixelRatio = ratio;
    // Pictures of the old density would look blurred, and so would late ones.
    m_images.clear();
    m_loads.stop();
    m_flights.clear();
}

void ThumbnailLoader::request(const QStringList& localIdentifiers) {
    const QSet<QString> wanted(localIdentifiers.begin(), localIdentifiers.end());
    for (auto flight = m_flights.begin(); flight != m_flights.end();) {
        if (wanted.contains(flight.key())) {
            ++flight;
            continue;
        }
        m_loads.stop(flight->task);
        flight = m_flights.erase(flight);
    }
    const QSizeF pixels(std::ceil(kLogicalSize.width() * m_devicePixelRatio),
                        std::ceil(kLogicalSize.height() * m_devicePixelRatio));
    for (const QString& id : localIdentifiers) {
        if (m_images.contains(id) || m_flights.contains(id)) continue;
        const quint64 generation = ++m_nextGeneration;
        m_flights[id].generation = generation;
        // An answer at once erases the flight before add() returns.
        const quint64 task = m_loads.add([this, id, pixels, generation](std::stop_token stop) {
            return load(id, pixels, generation, stop);
        });
        if (const auto flight = m_flights.find(id);
            flight != m_flights.end() && flight->generation == generation)
            flight->task = task;
    }
}

QImage ThumbnailLoader::image(const QString& localIdentifier) const {
    const QImage* found = m_images.object(localIdentifier);
    return found ? *found : QImage();
}

QCoro::Task<> ThumbnailLoader::load(QString localIdentifier, QSizeF targetPixels, quint64 generation,
                                    std::stop_token stop) {
    QPointer<ThumbnailLoader> self(this);
    const ThumbnailRef thumbnail = co_await m_media.thumbnail(localIdentifier, targetPixels, stop);
    if (!self || stop.stop_requested()) co_return;
    const auto flight = m_flights.constFind(localIdentifier);
    if (flight == m_flights.cend() || flight->generation != generation) co_return;  // superseded
    m_flights.erase(flight);
    // A missing picture is not remembered, so the row asks again next time.
    if (!thumbnail || thumbnail->image().isNull()) co_return;
    const QImage& image = thumbnail->image();
    m_images.insert(localIdentifier, new QImage(image), int(std::max<qsizetype>(1, image.sizeInBytes())));
    emit thumbnailReady(localIdentifier);
}

}  // namespace reelkeep
