// folder_actions.cpp: trash, put back, favorites and export on the change thread.
#include "platform/folder/folder_actions.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QSet>

#include "model/file_names.h"
#include "model/texts.h"
#include "platform/folder/favorites_access.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/folder_errors.h"
#include "platform/folder/folder_requests.h"
#include "platform/folder/fs/export.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/fs/trash_restore.h"
#include "platform/folder/scanned_assets.h"

namespace reelkeep {
namespace {

// Enough for any real pile of copies; past it the name error is the answer.
constexpr int kMaxExportCounter = 10'000;

// Publishes one staged copy under the name or, while names are taken (another
// program may create them after the caller picked this one), the next free one.
fs::Result<QByteArray> exportUnderFreeName(int sourceFd, const QByteArray& sourcePath, int folderFd,
                                           const QByteArray& folderPath, const QByteArray& name,
                                           std::stop_token stop, const fs::CopyProgress& onProgress) {
    fs::Result<fs::StagedCopy> staged = fs::stageCopy(sourceFd, sourcePath, folderFd, folderPath,
                                                      fs::systemCopyCalls(), std::move(stop), onProgress);
    if (!staged) return staged.error();
    QByteArray candidate = name;
    if (QString::fromUtf8(name).toUtf8() != name) {
        // Not UTF-8: the counter goes into the bytes themselves, which no QString could carry.
        const qsizetype dot = name.lastIndexOf('.');
        const QByteArray base = dot > 0 ? name.left(dot) : name;
        const QByteArray extension = dot > 0 ? name.mid(dot) : QByteArray{};
        for (int counter = 2;; ++counter) {
            fs::Result<void> published = staged.value().publish(candidate);
            if (published) return candidate;
            if (published.error().kind() != fs::IoErrorKind::alreadyExists || counter > kMaxExportCounter)
                return published.error();
            candidate = base + " (" + QByteArray::number(counter) + ")" + extension;
        }
    }
    QSet<QString> tried;
    const auto isTaken = [folderFd](const QString& text) {
        struct stat info;
        return ::fstatat(folderFd, QFile::encodeName(text).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    };
    for (;;) {
        fs::Result<void> published = staged.value().publish(candidate);
        if (published) return candidate;
        if (published.error().kind() != fs::IoErrorKind::alreadyExists) return published.error();
        tried.insert(QFile::decodeName(candidate));
        const std::optional<QString> next = uniqueName(QFile::decodeName(name), tried, isTaken);
        if (!next) return published.error();  // every counter taken: the error says the name exists
        candidate = QFile::encodeName(*next);
    }
}

const FolderAsset* asFolderAsset(const AssetRef& asset) {
    return dynamic_cast<const FolderAsset*>(asset.get());
}

}  // namespace

FolderActions::FolderActions(fs::TrashOptions trash, std::shared_ptr<FavoritesAccess> favorites,
                             ScannedAssets& scanned, RequestTable& requests, SerialExecutor& changes)
    : m_trash(std::move(trash)),
      m_favorites(std::move(favorites)),
      m_scanned(scanned),
      m_requests(requests),
      m_changes(changes) {}

// ---- Trash and back ----------------------------------------------------------

RequestId FolderActions::deleteAssets(const FetchResult& assets,
                                      std::function<void(DeletionCompletion)> handler) {
    const auto pending = m_requests.open<DeletionCompletion>(std::move(handler));
    m_changes.post([this, pending, assets] { pending->answer(trash(assets, pending->stopToken())); });
    return pending->id();
}

DeletionCompletion FolderActions::trash(const FetchResult& assets, const std::stop_token& stop) {
    DeletionCompletion completion;
    for (const AssetRef& asset : assets) {
        // Between items only: a rename in progress is never interrupted.
        if (stop.stop_requested()) {
            completion.requestError = cancelledError();
            break;
        }
        const FolderAsset* folderAsset = asFolderAsset(asset);
        if (!folderAsset) {
            completion.items.append({asset->localIdentifier(), goneError()});
            continue;
        }
        const fs::Result<fs::TrashedFile> moved =
            fs::moveToTrash(folderAsset->file().path, folderAsset->file().fingerprint, m_trash);
        if (moved) m_trashed.insert_or_assign(asset->localIdentifier(), TrashedAsset{moved.value(), asset});
        completion.items.append({asset->localIdentifier(),
                                 moved ? std::nullopt : std::optional{ioFailure(moved.error())},
                                 moved ? fs::displayPath(moved->filePath) : QString()});
    }
    return completion;
}

RequestId FolderActions::restoreAssets(const QStringList& localIdentifiers,
                                       std::function<void(RestoreCompletion)> handler) {
    const auto pending = m_requests.open<RestoreCompletion>(std::move(handler));
    m_changes.post([this, pending, localIdentifiers] {
        pending->answer(restore(localIdentifiers, pending->stopToken()));
    });
    return pending->id();
}

RestoreCompletion FolderActions::restore(const QStringList& localIdentifiers, const std::stop_token& stop) {
    RestoreCompletion completion;
    for (const QString& identifier : localIdentifiers) {
        // Between items only; those put back before the stop are reported as back.
        if (stop.stop_requested()) {
            completion.items.append({identifier, cancelledError()});
            continue;
        }
        const auto trashed = m_trashed.find(identifier);
        if (trashed == m_trashed.end()) {
            completion.items.append({identifier, goneError()});
            continue;
        }
        const FolderAsset& asset = static_cast<const FolderAsset&>(*trashed->second.asset);
        const fs::Result<void> restored =
            fs::restoreFromTrash(trashed->second.entry, asset.file().path, asset.file().fingerprint);
        if (!restored) {
            completion.items.append({identifier, ioFailure(restored.error())});
            continue;
        }
        // Back under its old name: the scanned asset is true again, with the
        // ctime the moves gave it (checked to be the same file just now).
        AssetRef back = trashed->second.asset;
        if (const fs::Result<struct stat> status = fs::statScannedPath(asset.file().path))
            back = asset.withFingerprint(fs::fingerprintOf(status.value()));
        m_scanned.put(identifier, std::move(back));
        m_trashed.erase(trashed);
        completion.items.append({identifier, std::nullopt});
    }
    return completion;
}

// ---- Favorites ---------------------------------------------------------------

RequestId FolderActions::setFavorite(const FetchResult& assets, bool isFavorite,
                                     std::function<void(FavoriteCompletion)> handler) {
    const auto pending = m_requests.open<FavoriteCompletion>(std::move(handler));
    m_changes.post([this, pending, assets, isFavorite] {
        if (pending->isStopRequested())
            pending->answer(FavoriteCompletion{false, cancelledError()});
        else
            pending->answer(markFavorite(assets, isFavorite));
    });
    return pending->id();
}

FavoriteCompletion FolderActions::markFavorite(const FetchResult& assets, bool isFavorite) {
    FavoriteCompletion completion;
    std::vector<store::ListedFile> files;
    bool isAnyGone = assets.isEmpty();
    for (const AssetRef& asset : assets) {
        const FolderAsset* folderAsset = asFolderAsset(asset);
        // A file replaced since the scan is not the video the user marked;
        // marking only the others would report a change that was not made.
        if (!folderAsset || !isUnchanged(folderAsset->file())) {
            isAnyGone = true;
            break;
        }
        const fs::FileFingerprint& fingerprint = folderAsset->file().fingerprint;
        files.push_back(store::ListedFile{asset->localIdentifier().toStdString(),
                                          {fingerprint.device, fingerprint.inode, fingerprint.sizeBytes}});
    }
    if (isAnyGone) {
        completion.error = goneError();
    } else if (const store::StoreStatus error = m_favorites->setFavorite(files, isFavorite)) {
        completion.error = PlatformError{kFolderErrorDomain, kStoreCode, error->message()};
    } else {
        m_scanned.replaceFavoriteFlags(assets, isFavorite);
        completion.success = true;
    }
    return completion;
}

// ---- Export ------------------------------------------------------------------

RequestId FolderActions::writeResourceData(const AssetResource& resource, const QString& destinationPath,
                                           ExportNaming naming,
                                           std::function<void(std::optional<PlatformError>)> handler,
                                           WriteObserver observer) {
    const auto pending = m_requests.open<std::optional<PlatformError>>(std::move(handler));
    m_changes.post([this, pending, resource, destinationPath, naming, observer = std::move(observer)] {
        pending->answer(pending->isStopRequested()
                            ? std::optional{cancelledError()}
                            : write(resource, destinationPath, naming, observer, pending->stopToken()));
    });
    return pending->id();
}

std::optional<PlatformError> FolderActions::write(const AssetResource& resource,
                                                  const QString& destinationPath, ExportNaming naming,
                                                  const WriteObserver& observer,
                                                  const std::stop_token& stop) const {
    const std::shared_ptr<const FolderAsset> asset = m_scanned.find(resource.assetIdentifier);
    if (!asset) return goneError();
    const QByteArray destination = fs::cleanPath(QFile::encodeName(destinationPath));
    const std::optional<fs::SplitPath> split = fs::splitPath(destination);
    if (!destination.startsWith('/') || !split || split->name.isEmpty() || split->name == "." ||
        split->name == "..")
        return PlatformError{
            kFolderErrorDomain, kInvalidCode,
            reelkeep::tr("“%1” is not a file name that can be written.").arg(destinationPath)};
    fs::Result<fs::UniqueFd> source = fs::openVerifiedPath(asset->file().path, asset->file().fingerprint);
    if (!source) return ioFailure(source.error());
    // The name offered was the source's, shown as text; a name that is not
    // UTF-8 lost bytes on the way, so the source's own bytes are used.
    QByteArray name = split->name;
    const std::optional<fs::SplitPath> sourceSplit = fs::splitPath(asset->file().path);
    if (sourceSplit && name != sourceSplit->name &&
        name == QFile::encodeName(fs::displayName(asset->file().path)))
        name = sourceSplit->name;
    fs::Result<fs::UniqueFd> folder = fs::openChosenFolder(split->parent);
    if (!folder) return ioFailure(folder.error());
    const fs::CopyProgress onProgress = observer.onProgress;
    fs::Result<QByteArray> exported = name;
    if (naming == ExportNaming::exactName) {
        const fs::Result<void> written =
            fs::exportFile(source->get(), asset->file().path, folder->get(), split->parent, name,
                           fs::systemCopyCalls(), stop, onProgress);
        if (!written) exported = written.error();
    } else {
        exported = exportUnderFreeName(source->get(), asset->file().path, folder->get(), split->parent, name,
                                       stop, onProgress);
    }
    if (exported) {
        if (observer.onWritten)
            observer.onWritten((split->parent.endsWith('/') ? split->parent : split->parent + '/') +
                               exported.value());
        return std::nullopt;
    }
    if (exported.error().kind() == fs::IoErrorKind::stopped) return cancelledError();
    return ioFailure(exported.error());
}

}  // namespace reelkeep
