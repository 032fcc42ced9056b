// guarded_property_reader.cpp: the classification of return kinds by the first
// character of a type encoding. Integer results are cut to their encoded width
// first, because the bits above it are whatever the register held.
#include "library/guarded_property_reader.h"

#include <cmath>
#include <limits>
#include <variant>

namespace reelkeep {

void DynamicPropertyLoader::ensureLoaded() {
    std::call_once(m_once, [this] {
        if (m_hook) m_hook();
    });
}

DynamicPropertyLoader& DynamicPropertyLoader::processWide() {
    static DynamicPropertyLoader loader;
    return loader;
}

namespace {

// Steps shared by both readers: responds, has a method, has an encoding.
std::optional<DynamicMethod> lookUp(std::string_view name, const DynamicObject& object) {
    if (!object.respondsTo(name)) return std::nullopt;
    std::optional<DynamicMethod> method = object.instanceMethod(name);
    if (!method || method->typeEncoding.isEmpty()) return std::nullopt;
    return method;
}

std::optional<std::uint64_t> rawInteger(const DynamicValue& value) {
    if (const auto* bits = std::get_if<std::uint64_t>(&value)) return *bits;
    return std::nullopt;
}

// 2^63 exactly as a double; values at or above it do not fit a signed 64-bit count.
constexpr double kTwoPow63 = 9223372036854775808.0;

std::optional<std::int64_t> positiveCount(std::optional<double> value) {
    if (!value || !std::isfinite(*value) || *value <= 0 || *value >= kTwoPow63) return std::nullopt;
    const auto count = static_cast<std::int64_t>(*value);  // truncation toward zero
    // 0.5 passes the test above but truncates to 0, and no size may be 0.
    if (count <= 0) return std::nullopt;
    return count;
}

std::optional<double> readAsDouble(char kind, const DynamicValue& value) {
    switch (kind) {
        case '@': {
            const auto* object = std::get_if<ObjectRef>(&value);
            if (!object || !*object) return std::nullopt;
            return (*object)->numberValue();
        }
        case 'q':
            if (auto bits = rawInteger(value)) return double(std::int64_t(*bits));
            return std::nullopt;
        case 'l':
        case 'i':
            if (auto bits = rawInteger(value)) return double(std::int32_t(std::uint32_t(*bits)));
            return std::nullopt;
        case 's':
            if (auto bits = rawInteger(value)) return double(std::int16_t(std::uint16_t(*bits)));
            return std::nullopt;
        case 'Q':
            if (auto bits = rawInteger(value)) {
                if (*bits > std::uint64_t(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
                return double(*bits);
            }
            return std::nullopt;
        case 'L':
        case 'I':
            if (auto bits = rawInteger(value)) return double(std::uint32_t(*bits));
            return std::nullopt;
        case 'S':
            if (auto bits = rawInteger(value)) return double(std::uint16_t(*bits));
            return std::nullopt;
        case 'd':
            if (const auto* real = std::get_if<double>(&value)) return *real;
            return std::nullopt;
        case 'f':
            if (const auto* real = std::get_if<float>(&value)) return double(*real);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

bool isSupportedNumberKind(char kind) {
    switch (kind) {
        case '@':
        case 'q':
        case 'l':
        case 'i':
        case 's':
        case 'Q':
        case 'L':
        case 'I':
        case 'S':
        case 'd':
        case 'f':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<ObjectRef> readObjectProperty(std::string_view name, const DynamicObject& object) {
    std::optional<DynamicMethod> method = lookUp(name, object);
    if (!method || method->typeEncoding.front() != '@') return std::nullopt;
    if (!method->implementation) return std::nullopt;
    const DynamicValue value = method->implementation();
    const auto* result = std::get_if<ObjectRef>(&value);
    if (!result || !*result) return std::nullopt;
    return *result;
}

std::optional<std::int64_t> readPositiveIntegerProperty(std::string_view name, const DynamicObject& object) {
    std::optional<DynamicMethod> method = lookUp(name, object);
    if (!method) return std::nullopt;
    const char kind = method->typeEncoding.front();
    if (!isSupportedNumberKind(kind) || !method->implementation) return std::nullopt;
    return positiveCount(readAsDouble(kind, method->implementation()));
}

}  // namespace reelkeep
