// photo_library_port.h: the platform's photo library as the service sees it, one
// interface per group of operations. Implementations are thread-safe. Every
// asynchronous call answers exactly once on a thread of the port's own, on every
// path (success, error, cancel, time limit); image requests may send degraded
// results first, then exactly one final one.
#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>
#include "model/picture.h"

#include "library/dynamic_object.h"
#include "model/copies.h"
#include "model/near_copies.h"
#include "model/video_item.h"

namespace reelkeep {

// The platform's values, kept so that logs and scripts compare across platforms.
enum class AuthorizationStatus : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    authorized = 3,
    limited = 4,
};

// The platform's values; only readWrite is ever asked for.
enum class AccessLevel : int { addOnly = 1, readWrite = 2 };

// The folder library lists only video; the simulated library also has photos and others.
enum class ResourceType : int {
    photo = 1,
    video = 2,
    audio = 3,
    alternatePhoto = 4,
    fullSizePhoto = 5,
    fullSizeVideo = 6,
};

inline constexpr std::uint64_t kMediaSubtypeVideoScreenRecording = std::uint64_t{1} << 19;

// The platform's code for a request the user cancelled, in any domain.
inline constexpr int kUserCancelledErrorCode = 3072;

struct PlatformError {
    QString domain;
    int code = 0;
    QString localizedDescription;

    bool isUserCancellation() const { return code == kUserCancelledErrorCode; }
    friend bool operator==(const PlatformError&, const PlatformError&) = default;
};

// The file behind an asset as fetched; zero when the library has no files.
struct FileVersion {
    std::int64_t modificationTimeNs = 0;
    std::int64_t byteCount = 0;

    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// An asset as fetched: documented properties plus the undocumented members that
// the dynamic-object layer reads. Immutable: a later change gives a new object.
class Asset : public DynamicObject {
public:
    virtual QString localIdentifier() const = 0;
    virtual std::optional<Timestamp> creationDate() const = 0;
    virtual double duration() const = 0;
    virtual std::int64_t pixelWidth() const = 0;
    virtual std::int64_t pixelHeight() const = 0;
    virtual bool isFavorite() const = 0;
    virtual std::uint64_t mediaSubtypes() const = 0;
    // The folder of the asset's file, for display; null when it has none.
    virtual VideoLocationRef location() const { return nullptr; }
    // Thumbnails are kept per version: a file replaced at the same path is another picture.
    virtual FileVersion fileVersion() const { return {}; }
    // The item as the port already holds it: exactly what the dynamic properties
    // and the resources would give, without asking for them. Nothing: ask them.
    virtual std::optional<VideoItem> plainItem() const { return std::nullopt; }
};
using AssetRef = std::shared_ptr<const Asset>;

// An ordered, immutable snapshot; QList shares it without copying.
using FetchResult = QList<AssetRef>;

struct AssetResource {
    int type = 0;  // ResourceType values, but any number may arrive
    QString originalFilename;
    std::optional<std::int64_t> dataSize;
    QString assetIdentifier;  // which asset and which of its resources, for export
    int index = 0;
};

using RequestId = std::uint64_t;

class AuthorizationPort {
public:
    virtual ~AuthorizationPort() = default;
    virtual AuthorizationStatus authorizationStatus(AccessLevel level) const = 0;
    // Called on the main thread; the handler runs once, on any thread.
    virtual void requestAuthorization(AccessLevel level,
                                      std::function<void(AuthorizationStatus)> handler) = 0;
};

// What stops a fetch, and who hears how many videos it has found so far.
struct FetchControl {
    std::stop_token stop;  // a stopped fetch answers at once and lists nothing
    // Called now and then on the fetch's own threads, with a count that only grows.
    std::function<void(qsizetype found)> onFound;
    // Called now and then on the fetch's own threads, before the answer, with
    // videos found so far whose properties answer at once, each once. Rows to
    // look at while the fetch goes on, not the answer: that may leave some out
    // (a second name of one file) or flag them otherwise (a renamed favorite).
    std::function<void(FetchResult found)> onEarlyAssets;
};

class FetchPort {
public:
    virtual ~FetchPort() = default;
    // Every video asset, newest creation date first; equal dates keep the
    // library's own order.
    virtual FetchResult fetchVideos(const FetchControl& control = {}) const = 0;
    // The assets that still exist, in the given order, without repeats.
    virtual FetchResult fetchAssets(const QStringList& localIdentifiers) const = 0;
    // These assets as they are now: a file changed since the fetch is read again
    // and one added since is found; those gone are left out. In the given order.
    virtual FetchResult refreshAssets(const QStringList& localIdentifiers) const {
        return fetchAssets(localIdentifiers);
    }
    // Why the last fetchVideos() listed nothing although the library could be
    // read (its own records are damaged, say); nothing when the list is whole.
    virtual std::optional<PlatformError> lastFetchError() const { return std::nullopt; }
    // Reads what the assets at start … start + count - 1 of a fetch still need
    // (their files' metadata), so that their properties then answer at once.
    // Returns early when stopped; a property then reads what it lacks itself.
    virtual void prepareAssets(const FetchResult& assets, qsizetype start, qsizetype count,
                               const std::stop_token& stop) const {
        (void)assets, (void)start, (void)count, (void)stop;
    }
};

class ResourcePort {
public:
    virtual ~ResourcePort() = default;
    virtual QList<AssetResource> resources(const Asset& asset) const = 0;
    // Whether resources report a dataSize at all on this system.
    virtual bool providesResourceDataSize() const = 0;
};

struct ChangeItemResult {
    QString localIdentifier;
    std::optional<PlatformError> error;  // none: the change was applied to this asset
    QString trashedTo{};                 // a deletion into a trash folder: where the file is now
};

struct DeletionCompletion {
    // A failure of the whole request (the user declined: code 3072).
    std::optional<PlatformError> requestError;
    // One entry per asset handed in; an asset without an entry was not deleted.
    QList<ChangeItemResult> items;
};

struct RestoreCompletion {
    // A failure of the whole request: nothing was put back.
    std::optional<PlatformError> requestError;
    // One entry per identifier handed in; an identifier without an entry stayed in the trash.
    QList<ChangeItemResult> items;
};

struct FavoriteCompletion {
    bool success = false;
    std::optional<PlatformError> error;
};

class ChangePort {
public:
    virtual ~ChangePort() = default;
    virtual RequestId deleteAssets(const FetchResult& assets,
                                   std::function<void(DeletionCompletion)> handler) = 0;
    // All or nothing: a port that cannot apply every flag applies none.
    virtual RequestId setFavorite(const FetchResult& assets, bool isFavorite,
                                  std::function<void(FavoriteCompletion)> handler) = 0;
    // Puts back videos that deleteAssets moved to the trash since the port was
    // made, each to the place it came from. Never replaces anything: a video whose
    // place is taken, or whose trashed copy changed, stays in the trash with an error.
    virtual RequestId restoreAssets(const QStringList& localIdentifiers,
                                    std::function<void(RestoreCompletion)> handler) = 0;
    // The handler still runs once; what was applied before the cancel is reported.
    virtual void cancelChange(RequestId id) = 0;
};

// How a write meets a destination name that is already taken.
enum class ExportNaming {
    exactName,     // the user typed the name: a taken name is an error
    nextFreeName,  // a name picked for a folder: "name (2).ext", "name (3).ext", … instead
};

// What a write tells as it goes, on a thread of the port's, before its handler runs.
struct WriteObserver {
    std::function<void(std::int64_t writtenBytes, std::int64_t totalBytes)> onProgress;
    // Once, with the path the copy took: its bytes, as a name need not be UTF-8.
    std::function<void(const QByteArray& writtenPath)> onWritten;
};

class ExportPort {
public:
    virtual ~ExportPort() = default;
    // Writes the resource's data to destinationPath (or, with nextFreeName, the
    // first free name after it); never replaces a file, and on failure or cancel
    // nothing is left. Handler: no error once the file is complete.
    virtual RequestId writeResourceData(const AssetResource& resource, const QString& destinationPath,
                                        ExportNaming naming, bool isNetworkAccessAllowed,
                                        std::function<void(std::optional<PlatformError>)> handler,
                                        WriteObserver observer = {}) = 0;
    virtual void cancelWrite(RequestId id) = 0;
};

struct ImageRequestOptions {
    int deliveryMode = 1;  // high quality only
    int resizeMode = 1;    // fast
    bool isNetworkAccessAllowed = false;
};

struct ImageResult {
    std::optional<Picture> image;
    bool isDegraded = false;
    bool isCancelled = false;
    std::optional<PlatformError> error;
};

// A request that has not answered within this limit gets a final error result.
inline constexpr std::chrono::milliseconds kImageRequestTimeLimit{10'000};

class ImagePort {
public:
    virtual ~ImagePort() = default;
    // contentMode 1 is aspect fill, the only mode asked for; the folder library ignores it.
    virtual RequestId requestImage(const AssetRef& asset, QSize targetPixels, int contentMode,
                                   const ImageRequestOptions& options,
                                   std::function<void(ImageResult)> handler) = 0;
    virtual void cancelImageRequest(RequestId id) = 0;
};

// A playable form of a video: a local file when there is one, plus what loading
// the media reported.
struct PlayableVideo {
    std::optional<QString> localFilePath;
    bool isPlayable = false;
    double durationSeconds = 0;
};

struct VideoRequestOptions {
    static constexpr int kAutomatic = 0;
    static constexpr int kFastFormat = 3;
    int deliveryMode = kAutomatic;
    bool isNetworkAccessAllowed = false;
    int version = 0;  // 0 current (edited)
};

struct VideoRequestResult {
    std::optional<PlayableVideo> video;
    std::optional<PlatformError> error;
};

class VideoAssetPort {
public:
    virtual ~VideoAssetPort() = default;
    virtual RequestId requestPlayableVideo(const AssetRef& asset, const VideoRequestOptions& options,
                                           std::function<void(VideoRequestResult)> handler) = 0;
    virtual void cancelVideoRequest(RequestId id) = 0;
};

// What changed in the library, as far as the port can tell.
struct LibraryChange {
    // The videos added, changed or removed; nothing when the port cannot tell
    // (events were lost, or too much changed at once).
    std::optional<QStringList> identifiers;
};

class LibraryChangeListener {
public:
    virtual ~LibraryChangeListener() = default;
    // Runs on a thread of the port's; must only hand the news on.
    virtual void libraryDidChange(const LibraryChange& change) = 0;
};

class ChangeObserverPort {
public:
    virtual ~ChangeObserverPort() = default;
    // Held weakly: a listener that dies is dropped without unregistering.
    virtual void registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener) = 0;
    virtual void unregisterChangeObserver(const LibraryChangeListener* listener) = 0;
};

struct FileLocation {
    enum class Status { found, notFound, changed };
    Status status = Status::notFound;
    QByteArray path;  // set when found: the path's bytes, as a name need not be UTF-8
};

struct LibraryFolder {
    enum class State { available, missing, unreadable, notMounted, notAnswering };
    QByteArray path;       // absolute, as the user gave it: any byte of a name survives
    QString resolvedPath;  // where the videos' folders start (symlinks resolved); empty if unreadable
    State state = State::available;
    friend bool operator==(const LibraryFolder&, const LibraryFolder&) = default;
};

struct LibraryFolderList {
    QList<LibraryFolder> folders;
    // What chose these folders for this run instead of the user's own list (a
    // command-line option or an environment variable); empty: the user's list
    // or the default folders, which setLibraryFolders() changes.
    QString overriddenBy;
    bool isDefault = false;  // the user never chose: the standard video folders
    bool isSample = false;   // the user never chose, and a generated sample stands in
};

class LocationPort {
public:
    virtual ~LocationPort() = default;
    // The library folders and the state of each now. Blocking: it asks the file
    // system, which may hang on a network drive; never call it on the main thread.
    virtual LibraryFolderList libraryFolders() const = 0;
    // Keeps these absolute folders as the user's library; false when they could
    // not be saved (they still hold for this session).
    virtual bool setLibraryFolders(const std::vector<QByteArray>& folders) = 0;
    // The file behind an identifier now, refused when it is no longer the file
    // the fetch saw.
    virtual FileLocation fileLocation(const QString& localIdentifier) const = 0;
    // The folders the library reads, for the privacy-settings stand-in.
    virtual QStringList libraryRoots() const = 0;
};

struct CopyCheckProgress {
    std::int64_t checkedBytes = 0;
    std::int64_t totalBytes = 0;  // every file of every same-size group, once per file
};

class CopyCheckPort {
public:
    virtual ~CopyCheckPort() = default;
    // Compares the same-size files of the last fetch byte for byte, in the
    // background. `progress` runs often, on a thread of the port's; the handler
    // runs once, after a cancel too, with what was verified so far.
    virtual RequestId checkCopies(std::function<void(CopyCheckProgress)> progress,
                                  std::function<void(CopyCheck)> handler) = 0;
    virtual void cancelCopyCheck(RequestId id) = 0;
    // Names the fetched file has outside the library: trashing it frees nothing
    // while they remain. 0 for an unknown identifier.
    virtual int hardLinksOutside(const QString& localIdentifier) const = 0;
};

struct SimilarityProgress {
    qsizetype doneVideos = 0;
    qsizetype totalVideos = 0;
};

// Pictures of a video at its fingerprint's moments, for comparing two by eye.
struct FrameStripResult {
    // kFingerprintFrames of them, in order, on success; null where a moment did not decode.
    QList<Picture> frames;
    std::optional<PlatformError> error;
};

class SimilarityPort {
public:
    virtual ~SimilarityPort() = default;
    // Fingerprints every video of the last fetch by what it shows, in the
    // background, at the lowest priority; an unchanged video is taken from the
    // index without decoding. `progress` runs often, on a thread of the port's;
    // the handler runs once, after a cancel too, with what was done so far.
    virtual RequestId fingerprintVideos(std::function<void(SimilarityProgress)> progress,
                                        std::function<void(SimilarityCheck)> handler) = 0;
    virtual void cancelFingerprinting(RequestId id) = 0;
    // The frames a fingerprint is made of, each scaled so its longer side is at
    // most maxPixelSize and turned upright.
    virtual RequestId requestFrameStrip(const AssetRef& asset, int maxPixelSize,
                                        std::function<void(FrameStripResult)> handler) = 0;
    virtual void cancelFrameStrip(RequestId id) = 0;
};

// The whole port as the service receives it. Every member is required.
struct LibraryPorts {
    std::shared_ptr<AuthorizationPort> authorization;
    std::shared_ptr<FetchPort> fetch;
    std::shared_ptr<ResourcePort> resources;
    std::shared_ptr<ChangePort> changes;
    std::shared_ptr<ExportPort> exports;
    std::shared_ptr<ImagePort> images;
    std::shared_ptr<VideoAssetPort> videos;
    std::shared_ptr<ChangeObserverPort> observers;
    std::shared_ptr<LocationPort> locations;
    std::shared_ptr<CopyCheckPort> copies;
    std::shared_ptr<SimilarityPort> similarity;
};

}  // namespace reelkeep
