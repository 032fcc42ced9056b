#include "size_state.h"

#include <array>

namespace reelkeep {

namespace {
constexpr std::array kSourceNames{"photosMetadata", "resourceDataSize", "allocatedSize", "logicalFileSize",
                                  "fileAttributes"};
}

QString rawValue(SizeSource source) {
    return QString::fromLatin1(kSourceNames.at(std::size_t(source)));
}

std::optional<SizeSource> sizeSourceFromRaw(const QString& raw) {
    for (std::size_t i = 0; i < kSourceNames.size(); ++i)
        if (raw == QLatin1String(kSourceNames[i])) return SizeSource(i);
    return std::nullopt;
}

std::size_t SizeState::hash() const {
    std::size_t seed = std::size_t(m_kind) * 0x9E3779B97F4A7C15ULL;
    if (isKnown()) seed ^= std::hash<std::int64_t>{}(m_bytes) + 0x9E3779B9 + (std::size_t(m_source) << 6);
    return seed;
}

}  // namespace reelkeep
