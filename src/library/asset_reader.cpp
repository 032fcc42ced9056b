// asset_reader.cpp: the fast and slow routes of the scan and the file-system
// sizes of the deep probe. The allocated size comes before the logical size on
// purpose: it is what deleting the file gives back.
#include "library/asset_reader.h"

#include <sys/stat.h>
#include <QFileInfo>

namespace reelkeep {

std::optional<SizeState> dynamicPropertyFileSize(const Asset& asset, DynamicPropertyLoader& loader) {
    loader.ensureLoaded();
    if (auto bytes = readPositiveIntegerProperty("px_filesize", asset))
        return SizeState::known(*bytes, SizeSource::photosMetadata);
    return std::nullopt;
}

const AssetResource* preferredVideoResource(const QList<AssetResource>& resources) {
    for (const AssetResource& resource : resources)
        if (resource.type == int(ResourceType::fullSizeVideo)) return &resource;
    for (const AssetResource& resource : resources)
        if (resource.type == int(ResourceType::video)) return &resource;
    return nullptr;
}

std::optional<SizeState> resourceDataSize(const QList<AssetResource>& resources, bool isDataSizeProvided) {
    if (!isDataSizeProvided) return std::nullopt;
    const AssetResource* resource = preferredVideoResource(resources);
    // 0 is an empty file's true size; only a negative count is no answer.
    if (!resource || !resource->dataSize || *resource->dataSize < 0) return std::nullopt;
    return SizeState::known(*resource->dataSize, SizeSource::resourceDataSize);
}

std::optional<SizeState> originalMetadataFileSize(const Asset& asset) {
    const std::optional<ObjectRef> metadata = readObjectProperty("originalMetadataProperties", asset);
    if (!metadata) return std::nullopt;
    if (auto bytes = readPositiveIntegerProperty("originalFilesize", **metadata))
        return SizeState::known(*bytes, SizeSource::photosMetadata);
    return std::nullopt;
}

std::optional<SizeState> quickSize(const Asset& asset, const QList<AssetResource>& resources,
                                   bool isDataSizeProvided, DynamicPropertyLoader& loader) {
    if (auto size = dynamicPropertyFileSize(asset, loader)) return size;
    if (auto size = resourceDataSize(resources, isDataSizeProvided)) return size;
    return originalMetadataFileSize(asset);
}

AssetRead readAsset(const Asset& asset, const ResourcePort& resources, DynamicPropertyLoader& loader) {
    loader.ensureLoaded();
    if (std::optional<VideoItem> item = asset.plainItem()) return AssetRead{std::move(*item), false};
    std::optional<QString> filename;
    if (auto object = readObjectProperty("originalFilename", asset)) {
        std::optional<QString> text = (*object)->stringValue();
        if (text && !text->isEmpty()) filename = std::move(text);
    }
    std::optional<SizeState> size = dynamicPropertyFileSize(asset, loader);

    const bool usedResourceList = !filename || !size;
    if (usedResourceList) {
        const QList<AssetResource> list = resources.resources(asset);
        // The first resource's name whatever its type; an empty name stays empty.
        if (!filename && !list.isEmpty()) filename = list.front().originalFilename;
        if (!size) size = resourceDataSize(list, resources.providesResourceDataSize());
        if (!size) size = originalMetadataFileSize(asset);
    }

    const bool isScreenRecording = (asset.mediaSubtypes() & kMediaSubtypeVideoScreenRecording) != 0;
    return AssetRead{
        VideoItem(asset.localIdentifier(), std::move(filename), asset.creationDate().value_or(kDistantPast),
                  asset.duration(), asset.pixelWidth(), asset.pixelHeight(), asset.isFavorite(),
                  isScreenRecording, size.value_or(SizeState::unavailable()), asset.location()),
        usedResourceList};
}

SizeState fileSystemSize(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        // st_blocks counts 512-byte units whatever the file system's block size.
        const auto blocks = static_cast<std::int64_t>(st.st_blocks);
        if (blocks > 0 && blocks <= INT64_MAX / 512)
            return SizeState::known(blocks * 512, SizeSource::allocatedSize);
        // An empty file is a known 0 bytes, not an unknown size.
        if (st.st_size > 0 || (st.st_size == 0 && S_ISREG(st.st_mode)))
            return SizeState::known(std::int64_t(st.st_size), SizeSource::logicalFileSize);
    }
    const QFileInfo info(path);
    if (info.exists() && info.size() > 0) return SizeState::known(info.size(), SizeSource::fileAttributes);
    return SizeState::unavailable();
}

}  // namespace reelkeep
