// thumbnail_loader.cpp: one stoppable request per wanted row, results by identity.
#include "thumbnail_loader.h"

#include <QPointer>
#include <QSet>
#include <cmath>

#include "ui/picture_image.h"

namespace reelkeep {

ThumbnailLoader::ThumbnailLoader(MediaSource& media, QObject* parent) : QObject(parent), m_media(media) {}

ThumbnailLoader::~ThumbnailLoader() = default;

void ThumbnailLoader::setDevicePixelRatio(double ratio) {
    if (!(ratio > 0) || ratio == m_devicePixelRatio) return;
    m_devicePixelRatio = ratio;
    // Pictures of the old density would look blurred, and so would late ones.
    m_shown.clear();
    m_stale.clear();
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
    // The service's cache keeps what scrolled away; asking again finds it there.
    m_shown.removeIf([&](const auto& shown) { return !wanted.contains(shown.key()); });
    m_stale.intersect(wanted);
    const QSizeF pixels(std::ceil(kLogicalSize.width() * m_devicePixelRatio),
                        std::ceil(kLogicalSize.height() * m_devicePixelRatio));
    for (const QString& id : localIdentifiers) {
        if (m_flights.contains(id) || (m_shown.contains(id) && !m_stale.contains(id))) continue;
        m_stale.remove(id);
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

void ThumbnailLoader::reload(const QStringList& localIdentifiers) {
    for (const QString& id : localIdentifiers) {
        if (m_shown.contains(id)) m_stale.insert(id);
        // An answer under way may be for the file as it was.
        if (const auto flight = m_flights.find(id); flight != m_flights.end()) {
            m_loads.stop(flight->task);
            m_flights.erase(flight);
        }
    }
}

QImage ThumbnailLoader::image(const QString& localIdentifier) const {
    return m_shown.value(localIdentifier).image;
}

QCoro::Task<> ThumbnailLoader::load(QString localIdentifier, QSizeF targetPixels, quint64 generation,
                                    std::stop_token stop) {
    QPointer<ThumbnailLoader> self(this);
    ThumbnailRef thumbnail = co_await m_media.thumbnail(localIdentifier, targetPixels, stop);
    if (!self || stop.stop_requested()) co_return;
    const auto flight = m_flights.constFind(localIdentifier);
    if (flight == m_flights.cend() || flight->generation != generation) co_return;  // superseded
    m_flights.erase(flight);
    const ThumbnailRef before = m_shown.value(localIdentifier).thumbnail;
    // A missing picture is not remembered, so the row asks again next time.
    if (!thumbnail || thumbnail->picture().isNull()) {
        m_shown.remove(localIdentifier);
    } else if (thumbnail != before) {
        const QImage image = toQImage(thumbnail->picture());
        m_shown.insert(localIdentifier,
                       Shown{thumbnail, image.convertToFormat(image.hasAlphaChannel()
                                                                  ? QImage::Format_ARGB32_Premultiplied
                                                                  : QImage::Format_RGB32)});
    }
    if (m_shown.value(localIdentifier).thumbnail != before) emit thumbnailReady(localIdentifier);
}

}  // namespace reelkeep
