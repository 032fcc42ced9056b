// library_change_observer.h: hears that the library changed and forwards the bare
// news to a closure. Called on a port thread; the closure must only hand work
// to the main thread.
#pragma once

#include <functional>

#include "library/photo_library_port.h"

namespace reelkeep {

class LibraryChangeObserver final : public LibraryChangeListener {
public:
    explicit LibraryChangeObserver(std::function<void()> onChange) : m_onChange(std::move(onChange)) {}
    void photoLibraryDidChange() override { m_onChange(); }

private:
    const std::function<void()> m_onChange;
};

}  // namespace reelkeep
