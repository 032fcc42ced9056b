// library_change_observer.h: hears that the library changed and forwards the
// news to a closure. Called on a port thread; the closure must only hand work
// to the main thread.
#pragma once

#include <functional>

#include "library/photo_library_port.h"

namespace reelkeep {

class LibraryChangeObserver final : public LibraryChangeListener {
public:
    explicit LibraryChangeObserver(std::function<void(const LibraryChange&)> onChange)
        : m_onChange(std::move(onChange)) {}
    void libraryDidChange(const LibraryChange& change) override { m_onChange(change); }

private:
    const std::function<void(const LibraryChange&)> m_onChange;
};

}  // namespace reelkeep
