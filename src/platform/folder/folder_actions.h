// folder_actions.h: what the user does to videos: trash and put back, mark as
// favorite, export. Each action runs in order with the others on the change
// thread, checks first that every file is still the one scanned, and answers
// once on the callback thread; a stop is taken between files, never mid-move.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

#include "library/executor.h"
#include "library/photo_library_port.h"
#include "platform/folder/fs/trash.h"

namespace reelkeep {

class FavoritesAccess;
class RequestTable;
class ScannedAssets;

class FolderActions {
public:
    // `changes` runs every action; it must be joined before this goes.
    FolderActions(fs::TrashOptions trash, std::shared_ptr<FavoritesAccess> favorites, ScannedAssets& scanned,
                  RequestTable& requests, SerialExecutor& changes);

    RequestId deleteAssets(const FetchResult& assets, std::function<void(DeletionCompletion)> handler);
    RequestId restoreAssets(const QStringList& localIdentifiers,
                            std::function<void(RestoreCompletion)> handler);
    RequestId setFavorite(const FetchResult& assets, bool isFavorite,
                          std::function<void(FavoriteCompletion)> handler);
    RequestId writeResourceData(const AssetResource& resource, const QString& destinationPath,
                                ExportNaming naming,
                                std::function<void(std::optional<PlatformError>)> handler,
                                WriteObserver observer);

private:
    // A video this library moved to the trash, kept for the session so that it can be put back.
    struct TrashedAsset {
        fs::TrashedFile entry;
        AssetRef asset;  // a FolderAsset, as scanned
    };

    DeletionCompletion trash(const FetchResult& assets, const std::stop_token& stop);
    RestoreCompletion restore(const QStringList& localIdentifiers, const std::stop_token& stop);
    FavoriteCompletion markFavorite(const FetchResult& assets, bool isFavorite);
    std::optional<PlatformError> write(const AssetResource& resource, const QString& destinationPath,
                                       ExportNaming naming, const WriteObserver& observer,
                                       const std::stop_token& stop) const;

    const fs::TrashOptions m_trash;
    const std::shared_ptr<FavoritesAccess> m_favorites;
    ScannedAssets& m_scanned;
    RequestTable& m_requests;
    SerialExecutor& m_changes;
    std::unordered_map<QString, TrashedAsset> m_trashed;  // by identifier; change thread only
};

}  // namespace reelkeep
