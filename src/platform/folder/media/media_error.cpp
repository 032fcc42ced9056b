// media_error.cpp: one fixed sentence per failure kind.
#include "media_error.h"

namespace reelkeep::media {

namespace {

QString kindText(MediaErrorKind kind) {
    switch (kind) {
        case MediaErrorKind::notRegularFile:
            return QStringLiteral("not a regular file");
        case MediaErrorKind::empty:
            return QStringLiteral("the file is empty");
        case MediaErrorKind::unreadable:
            return QStringLiteral("the file could not be read");
        case MediaErrorKind::notMedia:
            return QStringLiteral("not a video container");
        case MediaErrorKind::truncated:
            return QStringLiteral("the video is truncated");
        case MediaErrorKind::damaged:
            return QStringLiteral("the video is damaged");
        case MediaErrorKind::noVideoStream:
            return QStringLiteral("no decodable video stream");
        case MediaErrorKind::decodeFailed:
            return QStringLiteral("no picture could be decoded");
        case MediaErrorKind::timedOut:
            return QStringLiteral("reading the video took too long");
    }
    return QStringLiteral("unknown media error");
}

}  // namespace

QString MediaError::message() const {
    const QString head = kindText(m_kind);
    return m_detail.isEmpty() ? head : head + QStringLiteral(": ") + m_detail;
}

}  // namespace reelkeep::media
