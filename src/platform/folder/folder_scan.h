// folder_scan.h: the scan, in stages. The walk runs on a thread of its own
// while the index is asked about each folder it finished, and the files it
// knows become assets then and there; then the favorites are read, the files
// put in order (newest first) and the rest made into assets, each stage taking
// what the last one made. Containers of files the index does not
// know are read after that, slice by slice, by prepareAssets (the metadata
// stage), on the read pool and in the media workers. Thread-safe.
#pragma once

#include <QList>
#include <QStringList>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "library/executor.h"
#include "library/photo_library_port.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/fs/walk.h"

namespace reelkeep {

class FavoritesAccess;
class ScannedAssets;

class FolderScan {
public:
    FolderScan(fs::VideoNamePredicate isVideoName, std::shared_ptr<MetadataSink> index,
               std::shared_ptr<FavoritesAccess> favorites, MetadataReaders readers, ScannedAssets& scanned);

    // Reads in flight finish and reach the index; no read starts after.
    void stopReading();

    // Lists the videos under `roots` and makes them the scanned assets. Nothing
    // when stopped (the last complete scan stays) or when the favorites cannot be
    // read (the scanned assets are then none, with the error).
    std::optional<FetchResult> fetch(const std::vector<QByteArray>& roots, const FetchControl& control) const;
    // Those of the scanned assets that are still unchanged.
    FetchResult fetchAssets(QStringList localIdentifiers) const;
    // A file changed since the fetch is read again and one added since under a
    // library folder is found; either then joins the scanned assets.
    FetchResult refreshAssets(QStringList localIdentifiers) const;
    // Reads the containers of the unindexed files among them, in batches.
    static void prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                              const std::stop_token& stop);
    static QList<AssetResource> resources(const Asset& asset);

private:
    struct WalkedFiles;
    struct Dated;

    // The stages of a fetch, in order; nothing from the first when stopped.
    std::optional<WalkedFiles> walkAndLookUp(const std::vector<QByteArray>& roots,
                                             const FetchControl& control) const;
    static std::vector<Dated> newestFirst(const WalkedFiles& files);
    FetchResult makeAssets(WalkedFiles files, const std::set<std::string>& favorites) const;
    std::shared_ptr<UnreadFiles> unreadFiles(std::vector<ScannedFile> files) const;
    std::shared_ptr<const FolderAsset> rereadFile(const QByteArray& path,
                                                  const std::shared_ptr<const FolderAsset>& scanned) const;

    const fs::VideoNamePredicate m_isVideoName;
    const std::shared_ptr<MetadataSink> m_index;
    const std::shared_ptr<FavoritesAccess> m_favorites;
    const MetadataReaders m_readers;
    ScannedAssets& m_scanned;
    // Container reads, held weakly by the files waiting for them.
    std::shared_ptr<PoolExecutor> m_readPool;
};

}  // namespace reelkeep
