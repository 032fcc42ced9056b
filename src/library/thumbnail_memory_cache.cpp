// thumbnail_memory_cache.cpp: key, cost and LRU bookkeeping. Target sizes arrive from
// views as doubles, so every conversion to an integer is range-checked first.
#include "library/thumbnail_memory_cache.h"

#include <algorithm>
#include <cmath>

#include "model/saturating.h"

namespace reelkeep {

namespace {
bool isUsableSide(double side) {
    return std::isfinite(side) && side >= 0;
}
int clampedSide(double side) {
    return int(std::min(side, kMaxThumbnailSide));
}
}  // namespace

std::optional<QString> thumbnailKey(const QString& localIdentifier, const FileVersion& version,
                                    QSizeF targetSize) {
    if (!isUsableSide(targetSize.width()) || !isUsableSide(targetSize.height())) return std::nullopt;
    return localIdentifier + QLatin1Char(':') + QString::number(clampedSide(targetSize.width())) +
           QLatin1Char('x') + QString::number(clampedSide(targetSize.height())) + QLatin1Char(':') +
           QString::number(version.modificationTimeNs) + QLatin1Char(':') +
           QString::number(version.byteCount);
}

QSize thumbnailPixels(QSizeF targetSize) {
    if (!isUsableSide(targetSize.width()) || !isUsableSide(targetSize.height())) return {};
    return QSize(clampedSide(targetSize.width()), clampedSide(targetSize.height()));
}

std::int64_t thumbnailCost(const Picture& image) {
    const std::int64_t pixels = saturatingMul(std::max(image.width(), 0), std::max(image.height(), 0));
    return std::max<std::int64_t>(saturatingMul(pixels, 4), 1);
}

ThumbnailRef ThumbnailMemoryCache::find(const QString& key) {
    std::lock_guard lock(m_mutex);
    const auto it = m_index.find(key);
    if (it == m_index.end()) return nullptr;
    m_lru.splice(m_lru.begin(), m_lru, it->second);
    return it->second->image;
}

bool ThumbnailMemoryCache::insert(const QString& key, ThumbnailRef image, std::int64_t cost) {
    cost = std::max<std::int64_t>(cost, 1);
    if (!image || cost > m_maxCost || m_maxEntries <= 0) return false;
    std::list<Entry> dropped;  // released outside the lock
    std::lock_guard lock(m_mutex);
    if (const auto it = m_index.find(key); it != m_index.end()) {
        m_totalCost -= it->second->cost;
        dropped.splice(dropped.end(), m_lru, it->second);
        m_index.erase(it);
    }
    m_lru.push_front(Entry{key, std::move(image), cost});
    m_index.emplace(key, m_lru.begin());
    m_totalCost = saturatingAdd(m_totalCost, cost);
    while (int(m_lru.size()) > m_maxEntries || m_totalCost > m_maxCost) {
        Entry& last = m_lru.back();
        m_totalCost -= last.cost;
        m_index.erase(last.key);
        dropped.splice(dropped.end(), m_lru, std::prev(m_lru.end()));
    }
    return true;
}

void ThumbnailMemoryCache::clear() {
    std::list<Entry> dropped;
    std::lock_guard lock(m_mutex);
    dropped.swap(m_lru);
    m_index.clear();
    m_totalCost = 0;
}

int ThumbnailMemoryCache::count() const {
    std::lock_guard lock(m_mutex);
    return int(m_lru.size());
}

std::int64_t ThumbnailMemoryCache::totalCost() const {
    std::lock_guard lock(m_mutex);
    return m_totalCost;
}

}  // namespace reelkeep
