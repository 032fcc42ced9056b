// simulated_library.cpp: the simulated library's state and scripted answers.
// State changes under one mutex; handlers always run outside it, on the callback
// thread, so a handler may call back into the library.
#include "simulated_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <map>
#include <thread>

#include "model/file_names.h"
#include "model/picture.h"

namespace reelkeep {

SimulatedAsset& SimulatedAsset::withMember(std::string name, DynamicMember member) {
    for (auto& [existing, value] : members) {
        if (existing == name) {
            value = std::move(member);
            return *this;
        }
    }
    members.emplace_back(std::move(name), std::move(member));
    return *this;
}

SimulatedAsset& SimulatedAsset::withFastFilename(const QString& name) {
    return withMember("originalFilename", DynamicMember::object(makeStringObject(name)));
}

SimulatedAsset& SimulatedAsset::withFastSize(std::int64_t bytes) {
    return withMember("px_filesize", DynamicMember::integer('q', std::uint64_t(bytes)));
}

SimulatedAsset& SimulatedAsset::withMetadataSize(std::int64_t bytes) {
    auto metadata = std::make_shared<MemberTableObject>();
    metadata->setMember("originalFilesize", DynamicMember::integer('q', std::uint64_t(bytes)));
    return withMember("originalMetadataProperties", DynamicMember::object(std::move(metadata)));
}

class SimulatedLibrary::StoredAsset final : public reelkeep::Asset {
public:
    explicit StoredAsset(SimulatedAsset data) : entry(std::move(data)) {}

    QString localIdentifier() const override { return entry.localIdentifier; }
    std::optional<Timestamp> creationDate() const override { return entry.creationDate; }
    double duration() const override { return entry.duration; }
    std::int64_t pixelWidth() const override { return entry.pixelWidth; }
    std::int64_t pixelHeight() const override { return entry.pixelHeight; }
    bool isFavorite() const override { return entry.isFavorite; }
    std::uint64_t mediaSubtypes() const override { return entry.mediaSubtypes; }
    VideoLocationRef location() const override { return entry.location; }
    FileVersion fileVersion() const override { return entry.fileVersion; }

    bool respondsTo(std::string_view selector) const override {
        const DynamicMember* member = find(selector);
        return member && member->responds;
    }
    std::optional<DynamicMethod> instanceMethod(std::string_view selector) const override {
        const DynamicMember* member = find(selector);
        return member ? member->method : std::nullopt;
    }

    const SimulatedAsset entry;

private:
    const DynamicMember* find(std::string_view selector) const {
        for (const auto& [name, member] : entry.members)
            if (name == selector) return &member;
        return nullptr;
    }
};

// One asynchronous request still owed its final answer.
struct SimulatedLibrary::PendingRequest {
    enum class Kind { change, write, image, video } kind;
    std::atomic<bool> isAnswered{false};
    std::function<void(DeletionCompletion)> onDeletion;
    std::function<void(FavoriteCompletion)> onFavorite;
    std::function<void(RestoreCompletion)> onRestore;
    QStringList identifiers;  // restore requests
    std::function<void(std::optional<PlatformError>)> onWrite;
    std::function<void(ImageResult)> onImage;
    std::function<void(VideoRequestResult)> onVideo;
    FetchResult assets;
    std::atomic<SerialExecutor::TimerId> timer{0};  // set after the answer may already run

    bool claimAnswer() { return !isAnswered.exchange(true); }
};

namespace {

struct Rgb {
    std::uint8_t red, green, blue;
};
constexpr Rgb kDarkCyan{0, 128, 128};
constexpr Rgb kGray{160, 160, 164};

Picture flatPicture(QSize size, Rgb colour) {
    Picture picture(size.width(), size.height(), PixelFormat::rgb888);
    picture.fill(colour.red, colour.green, colour.blue);
    return picture;
}

PlatformError cancelledError() {
    return PlatformError{QStringLiteral("SimulatedLibrary"), kUserCancelledErrorCode,
                         QStringLiteral("The operation couldn't be completed.")};
}
}  // namespace

std::shared_ptr<SimulatedLibrary> SimulatedLibrary::create() {
    return std::shared_ptr<SimulatedLibrary>(new SimulatedLibrary());
}

SimulatedLibrary::SimulatedLibrary() = default;
SimulatedLibrary::~SimulatedLibrary() = default;

LibraryPorts SimulatedLibrary::ports() {
    const std::shared_ptr<SimulatedLibrary> self = shared_from_this();
    return LibraryPorts{self, self, self, self, self, self, self, self, self, self, self};
}

void SimulatedLibrary::addAssets(const QList<SimulatedAsset>& entries) {
    std::lock_guard lock(m_mutex);
    for (const SimulatedAsset& entry : entries) {
        auto asset = std::make_shared<const StoredAsset>(entry);
        if (const auto it = m_indexById.find(entry.localIdentifier); it != m_indexById.end()) {
            m_assets[it->second] = std::move(asset);
        } else {
            m_indexById.emplace(entry.localIdentifier, m_assets.size());
            m_assets.push_back(std::move(asset));
        }
    }
    m_sortedSnapshot.reset();
}

bool SimulatedLibrary::removeAsset(const QString& localIdentifier) {
    std::lock_guard lock(m_mutex);
    const auto it = m_indexById.find(localIdentifier);
    if (it == m_indexById.end()) return false;
    m_assets.erase(m_assets.begin() + std::ptrdiff_t(it->second));
    m_indexById.clear();
    for (std::size_t i = 0; i < m_assets.size(); ++i)
        m_indexById.emplace(m_assets[i]->entry.localIdentifier, i);
    m_sortedSnapshot.reset();
    return true;
}

void SimulatedLibrary::clear() {
    std::lock_guard lock(m_mutex);
    m_assets.clear();
    m_indexById.clear();
    m_sortedSnapshot.reset();
}

int SimulatedLibrary::assetCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_assets.size());
}

std::optional<SimulatedAsset> SimulatedLibrary::asset(const QString& localIdentifier) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_indexById.find(localIdentifier);
    if (it == m_indexById.end()) return std::nullopt;
    return m_assets[it->second]->entry;
}

void SimulatedLibrary::setLibraryRoots(QStringList roots) {
    std::lock_guard lock(m_mutex);
    m_folderList.folders.clear();
    for (const QString& root : roots)
        m_folderList.folders.append(LibraryFolder{root.toUtf8(), root, LibraryFolder::State::available});
    m_roots = std::move(roots);
}

void SimulatedLibrary::setProvidesResourceDataSize(bool isProvided) {
    std::lock_guard lock(m_mutex);
    m_isDataSizeProvided = isProvided;
}

void SimulatedLibrary::setEarlyAssets(QStringList localIdentifiers) {
    std::lock_guard lock(m_mutex);
    m_earlyIDs = std::move(localIdentifiers);
}

void SimulatedLibrary::setAuthorizationStatus(AuthorizationStatus status) {
    std::lock_guard lock(m_mutex);
    m_status = status;
}

void SimulatedLibrary::setAuthorizationAnswer(AuthorizationStatus answer) {
    std::lock_guard lock(m_mutex);
    m_answer = answer;
}

void SimulatedLibrary::setDeletionScript(DeletionScript script) {
    std::lock_guard lock(m_mutex);
    m_deletionScript = std::move(script);
}

void SimulatedLibrary::setFavoriteScript(FavoriteScript script) {
    std::lock_guard lock(m_mutex);
    m_favoriteScript = std::move(script);
}

void SimulatedLibrary::setRestoreScript(RestoreScript script) {
    std::lock_guard lock(m_mutex);
    m_restoreScript = std::move(script);
}

void SimulatedLibrary::setWriteError(std::optional<PlatformError> error) {
    std::lock_guard lock(m_mutex);
    m_writeError = std::move(error);
}

void SimulatedLibrary::setLatency(SimulatedCall call, std::chrono::microseconds latency) {
    std::lock_guard lock(m_mutex);
    m_latency[std::size_t(call)] = latency;
}

void SimulatedLibrary::setImageTimeLimit(std::chrono::milliseconds limit) {
    std::lock_guard lock(m_mutex);
    m_imageTimeLimit = limit;
}

void SimulatedLibrary::setHoldsChanges(bool isHeld) {
    std::lock_guard lock(m_mutex);
    m_isHoldingChanges = isHeld;
}

void SimulatedLibrary::releaseHeldChanges() {
    std::vector<RequestId> held;
    {
        std::lock_guard lock(m_mutex);
        m_isHoldingChanges = false;
        held.swap(m_heldChanges);
    }
    for (const RequestId id : held) m_callbacks.post([this, id] { answerDeletion(id, {}, false); });
}

void SimulatedLibrary::setHoldsVideoRequests(bool isHeld) {
    std::lock_guard lock(m_mutex);
    m_isHoldingVideos = isHeld;
}

void SimulatedLibrary::releaseHeldVideoRequests() {
    std::vector<std::function<void()>> held;
    {
        std::lock_guard lock(m_mutex);
        m_isHoldingVideos = false;
        held.swap(m_heldVideoAnswers);
    }
    for (auto& answer : held) m_callbacks.post(std::move(answer));
}

void SimulatedLibrary::setCopyCheckScript(CopyCheckScript script) {
    std::lock_guard lock(m_mutex);
    m_copyCheckScript = std::move(script);
}

void SimulatedLibrary::releaseHeldCopyChecks() {
    std::unordered_map<RequestId, HeldCopyCheck> held;
    {
        std::lock_guard lock(m_mutex);
        m_copyCheckScript.holds = false;
        held.swap(m_heldCopyChecks);
    }
    for (auto& [id, check] : held)
        m_callbacks.post([check = std::move(check)] { check.handler(check.result); });
}

RequestId SimulatedLibrary::checkCopies(std::function<void(CopyCheckProgress)> progress,
                                        std::function<void(CopyCheck)> handler) {
    std::lock_guard lock(m_mutex);
    CopyCheck check;
    std::map<std::int64_t, QList<const SimulatedAsset*>> bySize;
    for (const auto& stored : m_assets) {
        const SimulatedAsset& asset = stored->entry;
        if (asset.hardLinksOutside > 0)
            check.hardLinksOutsideByID.insert(asset.localIdentifier, asset.hardLinksOutside);
        const std::int64_t bytes =
            asset.resources.isEmpty() ? 0 : asset.resources.front().dataSize.value_or(0);
        if (bytes > 0) bySize[bytes].append(&asset);
    }
    CopyCheckProgress total;
    for (const auto& [bytes, group] : bySize) {
        if (group.size() < 2) continue;
        total.totalBytes += bytes * group.size();
        std::map<QString, QList<CopyMember>> byTag;
        for (const SimulatedAsset* asset : group) {
            if (m_copyCheckScript.unreadable.contains(asset->localIdentifier)) {
                check.notVerified.insert(asset->localIdentifier);
                continue;
            }
            if (asset->contentTag.isEmpty()) continue;
            const std::int64_t unshared = asset->unsharedBytes.value_or(bytes);
            byTag[asset->contentTag].append(CopyMember{
                asset->localIdentifier,
                asset->localFilePath.value_or(QStringLiteral("/simulated/") + asset->localIdentifier),
                asset->hardLinksOutside, unshared, unshared < bytes});
        }
        for (auto& [tag, members] : byTag)
            if (members.size() >= 2) check.sets.append(CopySet{bytes, std::move(members)});
    }
    check.isComplete = true;
    const RequestId id = m_nextRequest++;
    if (m_copyCheckScript.holds) {
        if (progress) progress(total);
        m_heldCopyChecks.emplace(id, HeldCopyCheck{std::move(handler), std::move(check)});
        return id;
    }
    m_callbacks.post([progress = std::move(progress), handler = std::move(handler), check, total]() mutable {
        if (progress) {
            progress(total);
            total.checkedBytes = total.totalBytes;
            progress(total);
        }
        handler(check);
    });
    return id;
}

void SimulatedLibrary::cancelCopyCheck(RequestId id) {
    std::lock_guard lock(m_mutex);
    const auto held = m_heldCopyChecks.find(id);
    if (held == m_heldCopyChecks.end()) return;
    // Stopped before anything was verified.
    CopyCheck partial;
    for (const CopySet& set : held->second.result.sets)
        for (const CopyMember& member : set.members) partial.notVerified.insert(member.localIdentifier);
    m_callbacks.post([handler = std::move(held->second.handler), partial] { handler(partial); });
    m_heldCopyChecks.erase(held);
}

int SimulatedLibrary::hardLinksOutside(const QString& localIdentifier) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_indexById.find(localIdentifier);
    return it == m_indexById.end() ? 0 : m_assets[it->second]->entry.hardLinksOutside;
}

void SimulatedLibrary::notifyChange(const LibraryChange& change) {
    std::vector<std::shared_ptr<LibraryChangeListener>> live;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_listeners, [](const auto& weak) { return weak.expired(); });
        for (const auto& weak : m_listeners)
            if (auto listener = weak.lock()) live.push_back(std::move(listener));
    }
    for (const auto& listener : live) listener->libraryDidChange(change);
}

int SimulatedLibrary::callCount(SimulatedCall call) const {
    return m_counts[std::size_t(call)].load();
}

void SimulatedLibrary::resetCounters() {
    for (auto& counter : m_counts) counter.store(0);
    m_maxVideosInFlight.store(m_videosInFlight.load());
}

void SimulatedLibrary::count(SimulatedCall call) const {
    m_counts[std::size_t(call)].fetch_add(1);
}

std::chrono::microseconds SimulatedLibrary::latency(SimulatedCall call) const {
    std::lock_guard lock(m_mutex);
    return m_latency[std::size_t(call)];
}

void SimulatedLibrary::sleepFor(SimulatedCall call, const std::stop_token& stop) const {
    if (std::this_thread::get_id() == m_watchedThread.load()) m_callsOnWatchedThread.fetch_add(1);
    const auto delay = latency(call);
    if (delay.count() <= 0) return;
    m_blockingCalls.fetch_add(1);
    // A stop ends the wait, as it ends a real walk.
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, delay, [] { return false; });
    m_blockingCalls.fetch_sub(1);
}

void SimulatedLibrary::watchBlockingCallsFrom(std::thread::id thread) {
    m_watchedThread = thread;
    m_callsOnWatchedThread = 0;
}

RequestId SimulatedLibrary::addPending(std::shared_ptr<PendingRequest> request) {
    std::lock_guard lock(m_mutex);
    const RequestId id = m_nextRequest++;
    m_pending.emplace(id, std::move(request));
    return id;
}

std::shared_ptr<SimulatedLibrary::PendingRequest> SimulatedLibrary::takePending(RequestId id) {
    std::lock_guard lock(m_mutex);
    const auto it = m_pending.find(id);
    if (it == m_pending.end()) return nullptr;
    auto request = std::move(it->second);
    m_pending.erase(it);
    return request;
}

AuthorizationStatus SimulatedLibrary::authorizationStatus(AccessLevel) const {
    count(SimulatedCall::authorizationStatus);
    sleepFor(SimulatedCall::authorizationStatus);
    std::lock_guard lock(m_mutex);
    return m_status;
}

void SimulatedLibrary::requestAuthorization(AccessLevel, std::function<void(AuthorizationStatus)> handler) {
    count(SimulatedCall::requestAuthorization);
    AuthorizationStatus answer;
    {
        std::lock_guard lock(m_mutex);
        // Only an undecided user is asked; otherwise the standing status comes back.
        if (m_status == AuthorizationStatus::notDetermined && m_answer) m_status = *m_answer;
        answer = m_status;
    }
    m_callbacks.postAfter(latency(SimulatedCall::requestAuthorization),
                          [handler = std::move(handler), answer] { handler(answer); });
}

FetchResult SimulatedLibrary::fetchVideos(const FetchControl& control) const {
    count(SimulatedCall::fetchVideos);
    if (control.onEarlyAssets) {
        FetchResult early;
        {
            std::lock_guard lock(m_mutex);
            for (const QString& id : std::as_const(m_earlyIDs))
                if (const auto found = m_indexById.find(id); found != m_indexById.end())
                    early.append(m_assets[found->second]);
        }
        if (!early.isEmpty()) control.onEarlyAssets(std::move(early));
    }
    sleepFor(SimulatedCall::fetchVideos, control.stop);
    if (control.stop.stop_requested()) return {};
    std::lock_guard lock(m_mutex);
    if (!m_sortedSnapshot) {
        std::vector<std::shared_ptr<const StoredAsset>> sorted = m_assets;
        // Newest first; equal dates keep insertion order; undated ones last.
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            const auto x = a->entry.creationDate, y = b->entry.creationDate;
            if (x.has_value() != y.has_value()) return x.has_value();
            return x && *x > *y;
        });
        FetchResult snapshot;
        snapshot.reserve(qsizetype(sorted.size()));
        for (auto& asset : sorted) snapshot.append(std::move(asset));
        m_sortedSnapshot = std::move(snapshot);
    }
    if (control.onFound) control.onFound(m_sortedSnapshot->size());
    return *m_sortedSnapshot;
}

FetchResult SimulatedLibrary::fetchAssets(const QStringList& localIdentifiers) const {
    count(SimulatedCall::fetchAssets);
    sleepFor(SimulatedCall::fetchAssets);
    FetchResult found;
    QSet<QString> seen;
    std::lock_guard lock(m_mutex);
    for (const QString& identifier : localIdentifiers) {
        const auto it = m_indexById.find(identifier);
        if (it == m_indexById.end() || seen.contains(identifier)) continue;
        seen.insert(identifier);
        found.append(m_assets[it->second]);
    }
    return found;
}

QList<AssetResource> SimulatedLibrary::resources(const reelkeep::Asset& asset) const {
    count(SimulatedCall::resources);
    sleepFor(SimulatedCall::resources);
    const auto* simulated = dynamic_cast<const StoredAsset*>(&asset);
    if (!simulated) return {};
    QList<AssetResource> list;
    int index = 0;
    for (const SimulatedResource& resource : simulated->entry.resources)
        list.append(AssetResource{resource.type, resource.originalFilename, resource.dataSize,
                                  simulated->entry.localIdentifier, index++});
    return list;
}

bool SimulatedLibrary::providesResourceDataSize() const {
    std::lock_guard lock(m_mutex);
    return m_isDataSizeProvided;
}

RequestId SimulatedLibrary::deleteAssets(const FetchResult& assets,
                                         std::function<void(DeletionCompletion)> handler) {
    count(SimulatedCall::deleteAssets);
    auto request = std::make_shared<PendingRequest>();
    request->kind = PendingRequest::Kind::change;
    request->onDeletion = std::move(handler);
    request->assets = assets;
    const RequestId id = addPending(request);
    {
        std::lock_guard lock(m_mutex);
        if (m_isHoldingChanges) {
            m_heldChanges.push_back(id);
            return id;
        }
    }
    m_callbacks.postAfter(latency(SimulatedCall::deleteAssets),
                          [this, id] { answerDeletion(id, {}, false); });
    return id;
}

void SimulatedLibrary::answerDeletion(RequestId id, const FetchResult&, bool isCancelled) {
    const std::shared_ptr<PendingRequest> request = takePending(id);
    if (!request || !request->claimAnswer()) return;
    DeletionCompletion completion;
    QSet<QString> removed;
    bool isChanged = false;
    {
        std::lock_guard lock(m_mutex);
        if (isCancelled) {
            completion.requestError = cancelledError();
        } else if (m_deletionScript.requestError) {
            completion.requestError = m_deletionScript.requestError;
        } else {
            for (const AssetRef& asset : request->assets) {
                const QString identifier = asset->localIdentifier();
                if (const auto error = m_deletionScript.itemErrors.constFind(identifier);
                    error != m_deletionScript.itemErrors.constEnd()) {
                    completion.items.append(ChangeItemResult{identifier, *error});
                    continue;
                }
                if (!m_indexById.contains(identifier) || removed.contains(identifier)) {
                    completion.items.append(ChangeItemResult{
                        identifier, PlatformError{QStringLiteral("SimulatedLibrary"), 404,
                                                  QStringLiteral("The asset no longer exists.")}});
                    continue;
                }
                removed.insert(identifier);
                completion.items.append(ChangeItemResult{identifier, std::nullopt});
            }
            isChanged = !removed.isEmpty();
            if (isChanged) {
                for (const auto& asset : m_assets)
                    if (removed.contains(asset->entry.localIdentifier))
                        m_trashed[asset->entry.localIdentifier] = asset;
                std::erase_if(m_assets, [&](const auto& asset) {
                    return removed.contains(asset->entry.localIdentifier);
                });
                reindexLocked();
            }
        }
    }
    request->onDeletion(std::move(completion));
    if (isChanged) notifyChange();
}

void SimulatedLibrary::reindexLocked() {
    m_indexById.clear();
    for (std::size_t i = 0; i < m_assets.size(); ++i)
        m_indexById.emplace(m_assets[i]->entry.localIdentifier, i);
    m_sortedSnapshot.reset();
}

RequestId SimulatedLibrary::restoreAssets(const QStringList& localIdentifiers,
                                          std::function<void(RestoreCompletion)> handler) {
    count(SimulatedCall::restoreAssets);
    auto request = std::make_shared<PendingRequest>();
    request->kind = PendingRequest::Kind::change;
    request->onRestore = std::move(handler);
    request->identifiers = localIdentifiers;
    const RequestId id = addPending(request);
    m_callbacks.postAfter(latency(SimulatedCall::restoreAssets), [this, id] { answerRestore(id, false); });
    return id;
}

void SimulatedLibrary::answerRestore(RequestId id, bool isCancelled) {
    const std::shared_ptr<PendingRequest> request = takePending(id);
    if (!request || !request->claimAnswer()) return;
    RestoreCompletion completion;
    bool isChanged = false;
    {
        std::lock_guard lock(m_mutex);
        if (isCancelled) {
            completion.requestError = cancelledError();
        } else if (m_restoreScript.requestError) {
            completion.requestError = m_restoreScript.requestError;
        } else {
            const QString domain = QStringLiteral("SimulatedLibrary");
            for (const QString& identifier : request->identifiers) {
                if (const auto error = m_restoreScript.itemErrors.constFind(identifier);
                    error != m_restoreScript.itemErrors.constEnd()) {
                    completion.items.append(ChangeItemResult{identifier, *error});
                    continue;
                }
                const auto trashed = m_trashed.find(identifier);
                if (trashed == m_trashed.end()) {
                    completion.items.append(ChangeItemResult{
                        identifier,
                        PlatformError{domain, 404, QStringLiteral("The video is not in the trash.")}});
                    continue;
                }
                if (m_indexById.contains(identifier)) {
                    completion.items.append(ChangeItemResult{
                        identifier,
                        PlatformError{domain, 17,
                                      QStringLiteral("“%1” could not be put back: its place is taken.")
                                          .arg(identifier)}});
                    continue;
                }
                m_assets.push_back(trashed->second);
                m_trashed.erase(trashed);
                m_indexById.emplace(identifier, m_assets.size() - 1);
                m_sortedSnapshot.reset();
                completion.items.append(ChangeItemResult{identifier, std::nullopt});
                isChanged = true;
            }
        }
    }
    request->onRestore(std::move(completion));
    if (isChanged) notifyChange();
}

RequestId SimulatedLibrary::setFavorite(const FetchResult& assets, bool isFavorite,
                                        std::function<void(FavoriteCompletion)> handler) {
    count(SimulatedCall::setFavorite);
    auto request = std::make_shared<PendingRequest>();
    request->kind = PendingRequest::Kind::change;
    request->onFavorite = std::move(handler);
    request->assets = assets;
    const RequestId id = addPending(request);
    m_callbacks.postAfter(latency(SimulatedCall::setFavorite), [this, id, isFavorite] {
        const std::shared_ptr<PendingRequest> pending = takePending(id);
        if (!pending || !pending->claimAnswer()) return;
        FavoriteCompletion completion;
        {
            std::lock_guard lock(m_mutex);
            if (m_favoriteScript.error || m_favoriteScript.failsWithoutError) {
                completion.error = m_favoriteScript.error;  // all or nothing: none applied
            } else {
                for (const AssetRef& asset : pending->assets) {
                    const auto it = m_indexById.find(asset->localIdentifier());
                    if (it == m_indexById.end()) continue;
                    SimulatedAsset entry = m_assets[it->second]->entry;
                    entry.isFavorite = isFavorite;
                    m_assets[it->second] = std::make_shared<const StoredAsset>(std::move(entry));
                }
                m_sortedSnapshot.reset();
                completion.success = true;
            }
        }
        const bool isChanged = completion.success;
        pending->onFavorite(std::move(completion));
        if (isChanged) notifyChange();
    });
    return id;
}

void SimulatedLibrary::cancelChange(RequestId id) {
    count(SimulatedCall::cancelChange);
    std::shared_ptr<PendingRequest> request;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_pending.find(id);
        if (it == m_pending.end()) return;
        request = it->second;
        std::erase(m_heldChanges, id);
    }
    if (request->onDeletion) {
        m_callbacks.post([this, id] { answerDeletion(id, {}, true); });
    } else if (request->onRestore) {
        m_callbacks.post([this, id] { answerRestore(id, true); });
    } else {
        m_callbacks.post([this, id] {
            const std::shared_ptr<PendingRequest> pending = takePending(id);
            if (pending && pending->claimAnswer())
                pending->onFavorite(FavoriteCompletion{false, cancelledError()});
        });
    }
}

RequestId SimulatedLibrary::writeResourceData(const AssetResource& resource, const QString& requestedPath,
                                              ExportNaming naming, bool,
                                              std::function<void(std::optional<PlatformError>)> handler,
                                              WriteObserver observer) {
    count(SimulatedCall::writeResourceData);
    auto request = std::make_shared<PendingRequest>();
    request->kind = PendingRequest::Kind::write;
    request->onWrite = std::move(handler);
    const RequestId id = addPending(request);
    m_callbacks.postAfter(latency(SimulatedCall::writeResourceData), [this, id, resource, requestedPath,
                                                                      naming, observer] {
        const std::shared_ptr<PendingRequest> pending = takePending(id);
        if (!pending || !pending->claimAnswer()) return;
        std::optional<PlatformError> error;
        {
            std::lock_guard lock(m_mutex);
            error = m_writeError;
        }
        QString destinationPath = requestedPath;
        if (naming == ExportNaming::nextFreeName) {
            const QFileInfo requested(requestedPath);
            const QDir folder = requested.dir();
            const std::optional<QString> name = uniqueName(requested.fileName(), {}, [&](const QString& n) {
                return QFileInfo::exists(folder.filePath(n));
            });
            if (name) destinationPath = folder.filePath(*name);
        }
        if (!error && QFileInfo::exists(destinationPath))
            error = PlatformError{QStringLiteral("NSCocoaErrorDomain"), 516,
                                  QStringLiteral("A file with that name already exists.")};
        if (!error) {
            // A temporary name until complete: nothing half-written bears the final one.
            QSaveFile file(destinationPath);
            const QByteArray payload = QStringLiteral("simulated video %1 resource %2 type %3 %4")
                                           .arg(resource.assetIdentifier)
                                           .arg(resource.index)
                                           .arg(resource.type)
                                           .arg(resource.originalFilename)
                                           .toUtf8();
            if (!file.open(QIODevice::WriteOnly) || file.write(payload) != payload.size() || !file.commit())
                error = PlatformError{QStringLiteral("NSCocoaErrorDomain"), 512, file.errorString()};
            const std::int64_t bytes = resource.dataSize.value_or(payload.size());
            if (!error && observer.onProgress) observer.onProgress(bytes, bytes);
            if (!error && observer.onWritten) observer.onWritten(QFile::encodeName(destinationPath));
        }
        pending->onWrite(std::move(error));
    });
    return id;
}

void SimulatedLibrary::cancelWrite(RequestId id) {
    count(SimulatedCall::cancelWrite);
    m_callbacks.post([this, id] {
        const std::shared_ptr<PendingRequest> pending = takePending(id);
        if (pending && pending->claimAnswer()) pending->onWrite(cancelledError());
    });
}

RequestId SimulatedLibrary::requestImage(const AssetRef& asset, QSize targetPixels, int,
                                         const ImageRequestOptions&,
                                         std::function<void(ImageResult)> handler) {
    count(SimulatedCall::requestImage);
    const auto* simulated = dynamic_cast<const StoredAsset*>(asset.get());
    const ImageBehavior behavior = simulated ? simulated->entry.image : ImageBehavior::noImage;
    auto request = std::make_shared<PendingRequest>();
    request->kind = PendingRequest::Kind::image;
    request->onImage = std::move(handler);
    const RequestId id = addPending(request);

    const QSize size(std::max(targetPixels.width(), 1), std::max(targetPixels.height(), 1));
    const auto answer = [this, id](ImageResult result) {
        const std::shared_ptr<PendingRequest> pending = takePending(id);
        if (!pending || !pending->claimAnswer()) return;
        m_callbacks.cancelTimer(pending->timer);
        pending->onImage(std::move(result));
    };
    const auto delay = latency(SimulatedCall::requestImage);
    switch (behavior) {
        case ImageBehavior::finalOnly:
            m_callbacks.postAfter(delay, [answer, size] {
                Picture image = flatPicture(size, kDarkCyan);
                answer(ImageResult{image, false, false, std::nullopt});
            });
            break;
        case ImageBehavior::degradedThenFinal:
            m_callbacks.postAfter(delay, [request, answer, size] {
                const Picture small =
                    flatPicture(QSize(std::max(size.width() / 4, 1), std::max(size.height() / 4, 1)), kGray);
                if (!request->isAnswered.load())
                    request->onImage(ImageResult{small, true, false, std::nullopt});
                Picture image = flatPicture(size, kDarkCyan);
                answer(ImageResult{image, false, false, std::nullopt});
            });
            break;
        case ImageBehavior::error:
            m_callbacks.postAfter(delay, [answer] {
                answer(ImageResult{
                    std::nullopt, false, false,
                    PlatformError{QStringLiteral("SimulatedLibrary"), 1, QStringLiteral("No image.")}});
            });
            break;
        case ImageBehavior::cancelled:
            m_callbacks.postAfter(delay, [answer] {
                answer(ImageResult{std::nullopt, false, true, std::nullopt});
            });
            break;
        case ImageBehavior::noImage:
            m_callbacks.postAfter(delay, [answer] { answer(ImageResult{}); });
            break;
        case ImageBehavior::never:
            break;
        case ImageBehavior::twice:
            // Breaks the contract on purpose: two final answers.
            m_callbacks.postAfter(delay, [this, id, request, size] {
                takePending(id);
                request->isAnswered.store(true);
                Picture image = flatPicture(size, kDarkCyan);
                request->onImage(ImageResult{image, false, false, std::nullopt});
                request->onImage(ImageResult{std::nullopt, false, false, std::nullopt});
            });
            break;
    }
    std::chrono::milliseconds limit;
    {
        std::lock_guard lock(m_mutex);
        limit = m_imageTimeLimit;
    }
    if (limit.count() > 0 && behavior != ImageBehavior::twice) {
        request->timer = m_callbacks.postAfter(limit, [answer] {
            answer(ImageResult{std::nullopt, false, false,
                               PlatformError{QStringLiteral("SimulatedLibrary"), 2,
                                             QStringLiteral("The image request timed out.")}});
        });
    }
    return id;
}

void SimulatedLibrary::cancelImageRequest(RequestId id) {
    count(SimulatedCall::cancelImageRequest);
    m_callbacks.post([this, id] {
        const std::shared_ptr<PendingRequest> pending = takePending(id);
        if (!pending || !pending->claimAnswer()) return;
        m_callbacks.cancelTimer(pending->timer);
        pending->onImage(ImageResult{std::nullopt, false, true, std::nullopt});
    });
}

RequestId SimulatedLibrary::requestPlayableVideo(const AssetRef& asset, const VideoRequestOptions& options,
                                                 std::function<void(VideoRequestResult)> handler) {
    count(SimulatedCall::requestPlayableVideo);
    const int inFlight = m_videosInFlight.fetch_add(1) + 1;
    int seen = m_maxVideosInFlight.load();
    while (inFlight > seen && !m_maxVideosInFlight.compare_exchange_weak(seen, inFlight)) {
    }
    const auto* simulated = dynamic_cast<const StoredAsset*>(asset.get());
    auto request = std::make_shared<PendingRequest>();
    request->kind = PendingRequest::Kind::video;
    request->onVideo = std::move(handler);
    const RequestId id = addPending(request);

    VideoRequestResult result;
    VideoBehavior behavior = VideoBehavior::noAsset;
    if (simulated) {
        const SimulatedAsset& entry = simulated->entry;
        behavior = entry.video;
        if (behavior == VideoBehavior::error) {
            result.error = entry.videoError.value_or(PlatformError{
                QStringLiteral("SimulatedLibrary"), 3, QStringLiteral("The video could not be loaded.")});
        } else if (behavior != VideoBehavior::noAsset) {
            // Cloud-only videos come down only with network access, and then as a stream.
            if (entry.localFilePath || options.isNetworkAccessAllowed)
                result.video = PlayableVideo{entry.localFilePath, entry.isPlayable, entry.duration};
        }
    }
    auto answer = [this, id, request, result, behavior] {
        takePending(id);
        if (!request->claimAnswer()) return;
        m_videosInFlight.fetch_sub(1);
        request->onVideo(result);
        if (behavior == VideoBehavior::twice) request->onVideo(VideoRequestResult{});  // on purpose
    };
    {
        std::lock_guard lock(m_mutex);
        if (m_isHoldingVideos) {
            m_heldVideoAnswers.push_back(std::move(answer));
            return id;
        }
    }
    m_callbacks.postAfter(latency(SimulatedCall::requestPlayableVideo), std::move(answer));
    return id;
}

void SimulatedLibrary::cancelVideoRequest(RequestId id) {
    count(SimulatedCall::cancelVideoRequest);
    m_callbacks.post([this, id] {
        const std::shared_ptr<PendingRequest> pending = takePending(id);
        if (!pending || !pending->claimAnswer()) return;
        m_videosInFlight.fetch_sub(1);
        pending->onVideo(VideoRequestResult{std::nullopt, cancelledError()});
    });
}

void SimulatedLibrary::registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener) {
    std::lock_guard lock(m_mutex);
    m_listeners.push_back(std::move(listener));
}

void SimulatedLibrary::unregisterChangeObserver(const LibraryChangeListener* listener) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_listeners, [listener](const auto& weak) {
        const auto live = weak.lock();
        return !live || live.get() == listener;
    });
}

FileLocation SimulatedLibrary::fileLocation(const QString& localIdentifier) const {
    count(SimulatedCall::fileLocation);
    sleepFor(SimulatedCall::fileLocation);
    std::lock_guard lock(m_mutex);
    const auto it = m_indexById.find(localIdentifier);
    if (it == m_indexById.end()) return FileLocation{FileLocation::Status::notFound, {}};
    const SimulatedAsset& entry = m_assets[it->second]->entry;
    if (!entry.localFilePath) return FileLocation{FileLocation::Status::notFound, {}};
    if (entry.isFileReplaced) return FileLocation{FileLocation::Status::changed, {}};
    return FileLocation{FileLocation::Status::found, QFile::encodeName(*entry.localFilePath)};
}

QStringList SimulatedLibrary::libraryRoots() const {
    count(SimulatedCall::libraryRoots);
    sleepFor(SimulatedCall::libraryRoots);
    std::lock_guard lock(m_mutex);
    return m_roots;
}

}  // namespace reelkeep

namespace reelkeep {

void SimulatedLibrary::setLibraryFolderList(LibraryFolderList list) {
    std::lock_guard lock(m_mutex);
    m_folderList = std::move(list);
}

void SimulatedLibrary::setFolderSaveFails(bool isFailing) {
    std::lock_guard lock(m_mutex);
    m_isFolderSaveFailing = isFailing;
}

LibraryFolderList SimulatedLibrary::libraryFolders() const {
    count(SimulatedCall::libraryFolders);
    sleepFor(SimulatedCall::libraryFolders);
    std::lock_guard lock(m_mutex);
    return m_folderList;
}

bool SimulatedLibrary::setLibraryFolders(const std::vector<QByteArray>& folders) {
    count(SimulatedCall::setLibraryFolders);
    sleepFor(SimulatedCall::setLibraryFolders);
    std::lock_guard lock(m_mutex);
    if (m_isFolderSaveFailing) return false;
    m_folderList.folders.clear();
    m_folderList.isDefault = false;
    for (const QByteArray& folder : folders)
        m_folderList.folders.append(
            LibraryFolder{folder, QString::fromUtf8(folder), LibraryFolder::State::available});
    return true;
}

// ---- Near copies -------------------------------------------------------------

namespace {
std::uint64_t mix(std::uint64_t x) {  // splitmix64's finalizer: neighbouring seeds spread apart
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t seedOf(const QString& text) {
    return mix(qHash(text, 0x5eed));
}

// Equal tags give the same frames up to two flipped bits, as a re-encode does.
VisualFingerprint simulatedFingerprint(const SimulatedAsset& asset) {
    const bool isTagged = !asset.visualTag.isEmpty();
    const std::uint64_t scene = seedOf(isTagged ? asset.visualTag : asset.localIdentifier);
    const std::uint64_t noise = seedOf(asset.localIdentifier);
    VisualFingerprint print;
    print.durationSeconds = asset.duration;
    print.aspectRatio = asset.pixelHeight > 0 ? double(asset.pixelWidth) / double(asset.pixelHeight) : 0;
    print.frameCount = kFingerprintFrames;
    for (int i = 0; i < kFingerprintFrames; ++i) {
        const std::uint64_t flips = (1ULL << (mix(noise + i) % 64)) | (1ULL << (mix(noise + 100 + i) % 64));
        print.frameHashes[std::size_t(i)] = mix(scene + std::uint64_t(i)) ^ (isTagged ? flips : 0);
    }
    return print;
}

// One flat picture a frame, coloured by the frame's scene, so near copies look alike.
QList<Picture> simulatedFrames(const SimulatedAsset& asset, int maxPixelSize) {
    const double aspect = asset.pixelHeight > 0 && asset.pixelWidth > 0
                              ? double(asset.pixelWidth) / double(asset.pixelHeight)
                              : 1;
    const QSize size = aspect >= 1 ? QSize(maxPixelSize, std::max(int(maxPixelSize / aspect), 1))
                                   : QSize(std::max(int(maxPixelSize * aspect), 1), maxPixelSize);
    const std::uint64_t scene = seedOf(asset.visualTag.isEmpty() ? asset.localIdentifier : asset.visualTag);
    QList<Picture> frames;
    for (int i = 0; i < kFingerprintFrames; ++i) {
        const std::uint64_t colour = mix(scene + std::uint64_t(i));
        frames.append(
            flatPicture(size, {std::uint8_t(colour), std::uint8_t(colour >> 8), std::uint8_t(colour >> 16)}));
    }
    return frames;
}
}  // namespace

void SimulatedLibrary::setSimilarityScript(SimilarityScript script) {
    std::lock_guard lock(m_mutex);
    m_similarityScript = std::move(script);
}

void SimulatedLibrary::releaseHeldFingerprinting() {
    std::unordered_map<RequestId, HeldFingerprinting> held;
    {
        std::lock_guard lock(m_mutex);
        m_similarityScript.holds = false;
        held.swap(m_heldFingerprinting);
    }
    for (auto& [id, run] : held) m_callbacks.post([run = std::move(run)] { run.handler(run.result); });
}

RequestId SimulatedLibrary::fingerprintVideos(std::function<void(SimilarityProgress)> progress,
                                              std::function<void(SimilarityCheck)> handler) {
    std::lock_guard lock(m_mutex);
    SimilarityCheck check;
    for (const auto& stored : m_assets) {
        const SimulatedAsset& asset = stored->entry;
        if (m_similarityScript.undecodable.contains(asset.localIdentifier))
            check.failed.insert(asset.localIdentifier);
        else
            check.fingerprints.insert(asset.localIdentifier, simulatedFingerprint(asset));
    }
    check.isComplete = true;
    const SimilarityProgress total{0, qsizetype(m_assets.size())};
    const RequestId id = m_nextRequest++;
    if (m_similarityScript.holds) {
        if (progress) progress(total);
        m_heldFingerprinting.emplace(id, HeldFingerprinting{std::move(handler), std::move(check)});
        return id;
    }
    m_callbacks.post([progress = std::move(progress), handler = std::move(handler), check, total]() mutable {
        if (progress) {
            progress(total);
            progress({total.totalVideos, total.totalVideos});
        }
        handler(check);
    });
    return id;
}

void SimulatedLibrary::cancelFingerprinting(RequestId id) {
    std::lock_guard lock(m_mutex);
    const auto held = m_heldFingerprinting.find(id);
    if (held == m_heldFingerprinting.end()) return;
    // Stopped before any video was fingerprinted.
    m_callbacks.post([handler = std::move(held->second.handler)] { handler(SimilarityCheck{}); });
    m_heldFingerprinting.erase(held);
}

RequestId SimulatedLibrary::requestFrameStrip(const AssetRef& asset, int maxPixelSize,
                                              std::function<void(FrameStripResult)> handler) {
    std::lock_guard lock(m_mutex);
    const QString id = asset ? asset->localIdentifier() : QString();
    const auto found = m_indexById.find(id);
    FrameStripResult result;
    if (found == m_indexById.end() || m_similarityScript.undecodable.contains(id) || maxPixelSize <= 0)
        result.error = PlatformError{QStringLiteral("SimulatedLibrary"), 1,
                                     QStringLiteral("The video's frames could not be decoded.")};
    else
        result.frames = simulatedFrames(m_assets[found->second]->entry, maxPixelSize);
    const RequestId requestId = m_nextRequest++;
    m_callbacks.post([handler = std::move(handler), result = std::move(result)] { handler(result); });
    return requestId;
}

void SimulatedLibrary::cancelFrameStrip(RequestId) {}

}  // namespace reelkeep
