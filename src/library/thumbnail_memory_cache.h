// thumbnail_memory_cache.h: the service's thumbnail store, a thread-safe LRU bounded by
// entry count and by byte cost. Unlike QCache it never drops the object being
// inserted: a picture too costly to keep is simply not kept, and callers share
// images through shared_ptr, so eviction never pulls one from under a view.
#pragma once

#include <QSizeF>
#include <QString>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include "model/picture.h"

#include "library/photo_library_port.h"

namespace reelkeep {

class ThumbnailImage {
public:
    explicit ThumbnailImage(Picture image) : m_image(std::move(image)) {}
    const Picture& picture() const { return m_image; }

private:
    const Picture m_image;
};
using ThumbnailRef = std::shared_ptr<const ThumbnailImage>;

inline constexpr int kThumbnailCacheEntries = 512;
inline constexpr std::int64_t kThumbnailCacheBytes = 32 * 1024 * 1024;
// Larger targets are clamped: no row asks for more, and the key stays small.
inline constexpr double kMaxThumbnailSide = 4096;

// "identifier:WxH:mtime:bytes" with both sides truncated toward zero; nothing for
// a target that is not finite or is negative. The file's version is part of it,
// as in the freedesktop cache, so an edited or replaced file misses.
std::optional<QString> thumbnailKey(const QString& localIdentifier, const FileVersion& version,
                                    QSizeF targetSize);
// The clamped target in whole pixels; only meaningful when thumbnailKey gives a key.
QSize thumbnailPixels(QSizeF targetSize);
// 4 bytes per pixel, in 64 bits, at least 1.
std::int64_t thumbnailCost(const Picture& image);

class ThumbnailMemoryCache {
public:
    explicit ThumbnailMemoryCache(int maxEntries = kThumbnailCacheEntries,
                                  std::int64_t maxCost = kThumbnailCacheBytes)
        : m_maxEntries(maxEntries), m_maxCost(maxCost) {}

    ThumbnailRef find(const QString& key);
    // False when the cost alone exceeds the limit; nothing else is evicted then.
    bool insert(const QString& key, ThumbnailRef image, std::int64_t cost);
    void clear();
    int count() const;
    std::int64_t totalCost() const;

private:
    struct Entry {
        QString key;
        ThumbnailRef image;
        std::int64_t cost;
    };

    mutable std::mutex m_mutex;
    std::list<Entry> m_lru;  // most recent first
    std::unordered_map<QString, std::list<Entry>::iterator> m_index;
    std::int64_t m_totalCost = 0;
    const int m_maxEntries;
    const std::int64_t m_maxCost;
};

}  // namespace reelkeep
