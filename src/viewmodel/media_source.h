// media_source.h: what the window's views load from the library themselves: row
// thumbnails, the file a preview plays and the frames two near copies are compared by. A narrow view of the
// service, so the views reach nothing else of it; each call resumes on the caller's thread and ends early
// when its token stops.
#pragma once

#include <QSizeF>
#include <QString>
#include <stop_token>

#include <QCoro/QCoroTask>

#include "library/photo_library_service.h"

namespace reelkeep {

class MediaSource {
public:
    virtual ~MediaSource() = default;
    // Null when the video has no picture (or the request stopped).
    virtual QCoro::Task<ThumbnailRef> thumbnail(QString localIdentifier, QSizeF targetPixels,
                                                std::stop_token stop) = 0;
    virtual QCoro::Task<Result<PreviewSource>> preparePreview(QString localIdentifier,
                                                              std::stop_token stop) = 0;
    virtual QCoro::Task<Result<QList<Picture>>> frameStrip(QString localIdentifier, int maxPixelSize,
                                                           std::stop_token stop) = 0;
};

// The service's answers, as they are.
class ServiceMediaSource final : public MediaSource {
public:
    explicit ServiceMediaSource(PhotoLibraryService& service) : m_service(service) {}

    QCoro::Task<ThumbnailRef> thumbnail(QString localIdentifier, QSizeF targetPixels,
                                        std::stop_token stop) override {
        return m_service.thumbnail(std::move(localIdentifier), targetPixels, std::move(stop));
    }
    QCoro::Task<Result<PreviewSource>> preparePreview(QString localIdentifier,
                                                      std::stop_token stop) override {
        return m_service.preparePreview(std::move(localIdentifier), std::move(stop));
    }
    QCoro::Task<Result<QList<Picture>>> frameStrip(QString localIdentifier, int maxPixelSize,
                                                   std::stop_token stop) override {
        return m_service.frameStrip(std::move(localIdentifier), maxPixelSize, std::move(stop));
    }

private:
    PhotoLibraryService& m_service;
};

}  // namespace reelkeep
