// thumbnail_disk_cache.h: the freedesktop thumbnail cache, shared with file managers.
// A cached picture counts only when its Thumb::URI and Thumb::MTime match the
// file now, so an edited video never shows its old picture; every file is
// published by rename, so a reader never sees half a PNG.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include "model/picture.h"

namespace reelkeep::media {

enum class ThumbnailFlavor {
    normal,  // 128 px, thumbnails/normal
    large,   // 256 px, thumbnails/large
};

int maxPixelSize(ThumbnailFlavor flavor);

// The file a thumbnail stands for, as the scan saw it.
struct ThumbnailSubject {
    QByteArray absolutePath;  // bytes as on disk; need not be UTF-8
    std::int64_t mtimeSeconds = 0;
    std::int64_t sizeBytes = 0;
};

// "file://" + the path with every byte outside GLib's set for paths
// percent-encoded (upper-case hex), as g_filename_to_uri writes it, so that
// our file names are the ones file managers compute.
QByteArray fileUri(const QByteArray& absolutePath);
// The text chunks of a PNG (Thumb::URI, Thumb::MTime, …), from before its
// pixels: tEXt, zTXt and iTXt alike. We write tEXt only, the one form GLib reads.
QMap<QByteArray, QByteArray> thumbnailTexts(const QByteArray& png);
// md5 of the URI, lower-case hex, + ".png".
QString thumbnailFileName(const QByteArray& absolutePath);

class ThumbnailDiskCache {
public:
    // cacheRoot is the folder holding normal/, large/ and fail/, normally
    // $XDG_CACHE_HOME/thumbnails; appVersion names our failure folder.
    explicit ThumbnailDiskCache(QString cacheRoot, QString appVersion = defaultAppVersion());
    static QString defaultRoot();
    static QString defaultAppVersion();

    const QString& root() const { return m_root; }
    QString pathFor(ThumbnailFlavor flavor, const QByteArray& absolutePath) const;
    QString failurePathFor(const QByteArray& absolutePath) const;

    // The cached picture, or nothing when missing, unreadable or stale.
    std::optional<Picture> lookup(const ThumbnailSubject& subject, ThumbnailFlavor flavor) const;
    // Scales (never enlarges) and publishes; false when it could not be written.
    bool store(const ThumbnailSubject& subject, ThumbnailFlavor flavor, const Picture& frame) const;

    // A failure recorded for this very file (same URI and mtime): answer at once.
    bool hasRecordedFailure(const ThumbnailSubject& subject) const;
    bool recordFailure(const ThumbnailSubject& subject) const;

private:
    bool publish(const QString& folder, const QString& fileName, const Picture& image,
                 const QList<std::pair<QByteArray, QByteArray>>& texts) const;

    QString m_root;
    QString m_appVersion;
};

}  // namespace reelkeep::media
