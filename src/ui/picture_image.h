// picture_image.h: a Picture as the window paints it. The QImage reads the
// picture's own bytes, which it keeps alive by holding a reference to them:
// no pixel is copied, and the picture may go away first.
#pragma once

#include <QByteArray>
#include <QImage>

#include "model/picture.h"

namespace reelkeep {

inline QImage toQImage(const Picture& picture) {
    if (picture.isNull()) return {};
    const QImage::Format format =
        picture.format() == PixelFormat::rgba8888 ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    auto* held = new QByteArray(picture.bytes());
    return QImage(
        reinterpret_cast<const uchar*>(held->constData()), picture.width(), picture.height(),
        picture.bytesPerLine(), format, [](void* bytes) { delete static_cast<QByteArray*>(bytes); }, held);
}

}  // namespace reelkeep
