// service_fixture.h: a service over a fresh simulated library, with helpers to
// build assets. Each test gets its own library, service and loader.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "await_task.h"
#include "library/photo_library_service.h"
#include "platform/simulated/simulated_library.h"

namespace reelkeep::testing {

inline SimulatedAsset videoAsset(const QString& id, std::optional<Timestamp> date = 1.6e9) {
    SimulatedAsset entry;
    entry.localIdentifier = id;
    entry.creationDate = date;
    entry.duration = 12.5;
    entry.resources = {SimulatedResource{int(ResourceType::video), id + ".mov", std::nullopt}};
    return entry;
}

// Fast route complete: name and size without the resource list.
inline SimulatedAsset fastAsset(const QString& id, std::int64_t bytes,
                                std::optional<Timestamp> date = 1.6e9) {
    SimulatedAsset entry = videoAsset(id, date);
    entry.withFastFilename(id + ".mov").withFastSize(bytes);
    return entry;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { makeService({}); }

    void makeService(PhotoLibraryService::Options options) {
        service.reset();
        options.loader = &loader;
        service = std::make_unique<PhotoLibraryService>(library->ports(), options);
    }

    std::shared_ptr<SimulatedLibrary> library = SimulatedLibrary::create();
    DynamicPropertyLoader loader;
    std::unique_ptr<PhotoLibraryService> service;
};

}  // namespace reelkeep::testing
