// asset_reader.h: one asset into one VideoItem, and the chain of size sources.
// Pure reads of port objects: safe on any thread, no service state. A size is
// never negative; 0 is known only from a file's own byte count (an empty file),
// never from the fast metadata, where 0 means "not recorded".
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "library/guarded_property_reader.h"
#include "library/photo_library_port.h"
#include "model/size_state.h"
#include "model/video_item.h"

namespace reelkeep {

struct AssetRead {
    VideoItem item;
    bool usedResourceList = false;  // the resource list was requested: the slow path
};

// Fast route first; the resource list only when it leaves the name or size open.
AssetRead readAsset(const Asset& asset, const ResourcePort& resources, DynamicPropertyLoader& loader);

std::optional<SizeState> dynamicPropertyFileSize(const Asset& asset, DynamicPropertyLoader& loader);
std::optional<SizeState> resourceDataSize(const QList<AssetResource>& resources, bool isDataSizeProvided);
std::optional<SizeState> originalMetadataFileSize(const Asset& asset);
std::optional<SizeState> quickSize(const Asset& asset, const QList<AssetResource>& resources,
                                   bool isDataSizeProvided, DynamicPropertyLoader& loader);

// The first full-size video, else the first video resource.
const AssetResource* preferredVideoResource(const QList<AssetResource>& resources);

// Allocated size, then logical size, then a second look at the file's attributes.
SizeState fileSystemSize(const QString& path);

}  // namespace reelkeep
