// guarded_property_reader.h: reads of undocumented members by name. A member
// that is missing, forwarded, unencoded or of an unexpected type yields nothing;
// a method is called at most once and never when its return kind is unsupported.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "library/dynamic_object.h"

namespace reelkeep {

// Runs the one-time loader that makes the undocumented members readable. On
// Linux there is nothing to load; the hook exists so that the once-only rule is
// kept and testable.
class DynamicPropertyLoader {
public:
    explicit DynamicPropertyLoader(std::function<void()> hook = {}) : m_hook(std::move(hook)) {}
    void ensureLoaded();

    // The loader that the process uses unless a test injects its own.
    static DynamicPropertyLoader& processWide();

private:
    std::function<void()> m_hook;
    std::once_flag m_once;
};

// The object a method returns when its encoding says object and it is not nil.
std::optional<ObjectRef> readObjectProperty(std::string_view name, const DynamicObject& object);

// A value that is finite, > 0 and < 2^63, truncated toward zero.
std::optional<std::int64_t> readPositiveIntegerProperty(std::string_view name, const DynamicObject& object);

}  // namespace reelkeep
