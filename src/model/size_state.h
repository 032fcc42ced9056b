// size_state.h: what is known of one video's storage size, and where it came from.
// Unknown means unavailable or failed; no consumer tells the two apart.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace reelkeep {

enum class SizeSource : std::uint8_t {
    photosMetadata,
    resourceDataSize,
    allocatedSize,
    logicalFileSize,
    fileAttributes,
};

QString rawValue(SizeSource source);
std::optional<SizeSource> sizeSourceFromRaw(const QString& raw);

class SizeState {
public:
    enum class Kind : std::uint8_t { known, unavailable, failed };

    static SizeState known(std::int64_t bytes, SizeSource source) {
        return SizeState{Kind::known, bytes, source};
    }
    static SizeState unavailable() { return SizeState{Kind::unavailable, 0, SizeSource::photosMetadata}; }
    static SizeState failed() { return SizeState{Kind::failed, 0, SizeSource::photosMetadata}; }

    Kind kind() const { return m_kind; }
    bool isKnown() const { return m_kind == Kind::known; }
    bool isUnknown() const { return m_kind != Kind::known; }
    std::optional<std::int64_t> byteCount() const {
        return isKnown() ? std::optional<std::int64_t>{m_bytes} : std::nullopt;
    }
    // Meaningful only for a known state.
    SizeSource source() const { return m_source; }

    friend bool operator==(const SizeState& a, const SizeState& b) {
        if (a.m_kind != b.m_kind) return false;
        return a.m_kind != Kind::known || (a.m_bytes == b.m_bytes && a.m_source == b.m_source);
    }
    std::size_t hash() const;

private:
    SizeState(Kind kind, std::int64_t bytes, SizeSource source)
        : m_bytes(bytes), m_kind(kind), m_source(source) {}

    std::int64_t m_bytes;
    Kind m_kind;
    SizeSource m_source;
};

}  // namespace reelkeep

template <>
struct std::hash<reelkeep::SizeState> {
    std::size_t operator()(const reelkeep::SizeState& state) const { return state.hash(); }
};
