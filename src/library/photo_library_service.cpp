// photo_library_service.cpp: every public operation follows one shape: count it
// in, hop onto the serial executor, do the work, count it out, hop back to the
// caller. After counting out it touches nothing of the service, which may be gone.
#include "library/photo_library_service.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "library/completion.h"
#include "model/file_names.h"

namespace reelkeep {

// Operations in flight; the destructor waits for none to be left.
class PhotoLibraryService::Tracker {
public:
    void enter() {
        std::lock_guard lock(m_mutex);
        ++m_inFlight;
    }
    void leave() {
        std::lock_guard lock(m_mutex);
        if (--m_inFlight == 0) m_idle.notify_all();
    }
    void waitIdle() {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_inFlight == 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_inFlight = 0;
};

namespace {
constexpr int kAspectFill = 1;  // the image port's content mode: the picture fills the frame

struct RequestStop {
    std::stop_source source;
    void operator()() { source.request_stop(); }
};
}  // namespace

// One operation's admission: counted in flight until released, with a stop token
// that fires for the caller's stop and for the service's own.
class PhotoLibraryService::Ticket {
public:
    Ticket(std::shared_ptr<Tracker> tracker, const std::stop_token& callerStop,
           const std::stop_token& serviceStop)
        : m_tracker(std::move(tracker)) {
        m_tracker->enter();
        m_fromCaller.emplace(callerStop, RequestStop{m_source});
        m_fromService.emplace(serviceStop, RequestStop{m_source});
    }
    ~Ticket() { release(); }
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

    std::stop_token token() const { return m_source.get_token(); }
    void release() {
        if (!m_tracker) return;
        m_fromCaller.reset();
        m_fromService.reset();
        std::exchange(m_tracker, nullptr)->leave();
    }

private:
    std::shared_ptr<Tracker> m_tracker;
    std::stop_source m_source;
    std::optional<std::stop_callback<RequestStop>> m_fromCaller;
    std::optional<std::stop_callback<RequestStop>> m_fromService;
};

// Results of probe children, confined to the serial executor.
struct PhotoLibraryService::ProbeWindow {
    explicit ProbeWindow(Executor* executor) : executor(executor) {}

    void deliver(QString localIdentifier, SizeState state) {
        finished.emplace_back(std::move(localIdentifier), state);
        if (const auto waiter = std::exchange(parent, {})) executor->post([waiter] { waiter.resume(); });
    }
    auto nextFinished() {
        struct Awaiter {
            ProbeWindow* window;
            bool await_ready() const { return !window->finished.empty(); }
            void await_suspend(std::coroutine_handle<> handle) { window->parent = handle; }
            void await_resume() const {}
        };
        return Awaiter{this};
    }

    Executor* executor;
    std::deque<std::pair<QString, SizeState>> finished;
    std::coroutine_handle<> parent;
};

// One port request for a thumbnail key, shared by every caller that asks for the
// key while it runs.
struct PhotoLibraryService::ThumbnailFlight {
    std::vector<std::shared_ptr<Completion<ThumbnailRef>>> waiters;
    std::stop_source cancelRequest;  // when the last waiter leaves
    bool isAbandoned = false;        // a new caller starts a new flight
    bool isFinished = false;
};

PhotoLibraryService::PhotoLibraryService(LibraryPorts ports)
    : PhotoLibraryService(std::move(ports), Options{}) {}

PhotoLibraryService::PhotoLibraryService(LibraryPorts ports, Options options)
    : m_ports(std::move(ports)),
      m_options(options),
      m_loader(options.loader ? *options.loader : DynamicPropertyLoader::processWide()),
      m_tracker(std::make_shared<Tracker>()),
      m_probePool(std::make_unique<PoolExecutor>(std::max(options.backgroundThreads, 1))),
      m_executor(std::make_unique<SerialExecutor>()) {}

PhotoLibraryService::~PhotoLibraryService() {
    m_stop.request_stop();
    m_tracker->waitIdle();
    m_executor.reset();
    m_probePool.reset();
}

AuthorizationStatus PhotoLibraryService::authorizationStatus() const {
    return m_ports.authorization->authorizationStatus(AccessLevel::readWrite);
}

QCoro::Task<AuthorizationStatus> PhotoLibraryService::requestAccess(std::stop_token stop) {
    ResumeOnCaller caller;
    Ticket ticket(m_tracker, stop, m_stop.get_token());
    co_await m_executor->schedule();
    auto completion = Completion<AuthorizationStatus>::create(m_executor.get());
    auto ask = [port = m_ports.authorization, weak = std::weak_ptr(completion)] {
        const auto pending = weak.lock();
        if (!pending || pending->isResolved()) return;  // stopped before the prompt
        port->requestAuthorization(AccessLevel::readWrite, [weak](AuthorizationStatus status) {
            if (const auto waiting = weak.lock()) waiting->resume(status);
        });
    };
    // The platform wants the prompt raised from the main thread: the caller's.
    caller.post(std::move(ask));
    const AuthorizationStatus status = co_await completion->wait(ticket.token(), authorizationStatus());
    ticket.release();
    co_await caller;
    co_return status;
}

Result<FetchResult> PhotoLibraryService::fetchVideoAssets(const FetchControl& control) const {
    const AuthorizationStatus status = authorizationStatus();
    if (status != AuthorizationStatus::authorized && status != AuthorizationStatus::limited)
        return PhotoLibraryError::notAuthorized();
    FetchResult assets = m_ports.fetch->fetchVideos(control);
    // A stopped fetch lists nothing; that is no empty library.
    if (control.stop.stop_requested()) return PhotoLibraryError::cancelled();
    // An empty list that hides damage must fail the scan, not show an empty library.
    if (std::optional<PlatformError> failure = m_ports.fetch->lastFetchError())
        return PhotoLibraryError::operationFailed(std::move(*failure));
    return assets;
}

Result<qsizetype> PhotoLibraryService::startScan(const FetchControl& control) {
    const auto started = BootClock::now();
    Result<FetchResult> fetched = fetchVideoAssets(control);
    if (!fetched) return fetched.error();
    m_scanFetchResult = std::move(fetched).value();
    m_timings = {};
    m_timings.fetch = BootClock::now() - started;
    return m_scanFetchResult->size();
}

Result<ScanBatch> PhotoLibraryService::readScanBatch(qsizetype start, qsizetype count,
                                                     const std::stop_token& stop) {
    if (!m_scanFetchResult) {
        Result<FetchResult> fetched = fetchVideoAssets();
        if (!fetched) return fetched.error();
        m_scanFetchResult = std::move(fetched).value();
    }
    const FetchResult& assets = *m_scanFetchResult;
    const qsizetype total = assets.size();
    const qsizetype lo = std::clamp<qsizetype>(start, 0, total);
    const qsizetype n = std::min<qsizetype>(total - lo, std::max<qsizetype>(count, 0));

    VideoList items;
    items.reserve(n);
    std::int64_t slowPaths = 0;
    const auto started = BootClock::now();
    m_ports.fetch->prepareAssets(assets, lo, n, stop);
    m_timings.metadata += BootClock::now() - started;
    for (qsizetype index = lo; index < lo + n; ++index) {
        // A half batch would break the contiguous-slices promise: all or an error.
        if (stop.stop_requested()) return PhotoLibraryError::cancelled();
        AssetRead read = readAsset(*assets.at(index), *m_ports.resources, m_loader);
        items.append(std::move(read.item));
        if (read.usedResourceList) ++slowPaths;
    }
    m_timings.batchTotal += BootClock::now() - started;
    m_timings.assetCount += n;
    m_timings.slowPathCount += slowPaths;
    return ScanBatch{std::move(items), total};
}

ScanTimings PhotoLibraryService::endScan() {
    m_scanFetchResult.reset();
    return std::exchange(m_timings, ScanTimings{});
}

template <class T, class Body>
QCoro::Task<T> PhotoLibraryService::onExecutor(std::stop_token stop, Body body) {
    ResumeOnCaller caller;
    Ticket ticket(m_tracker, stop, m_stop.get_token());
    co_await m_executor->schedule();
    std::optional<T> result;  // Result<T> has no empty state
    if constexpr (std::is_same_v<std::invoke_result_t<Body&, std::stop_token>, QCoro::Task<T>>)
        result.emplace(co_await body(ticket.token()));
    else
        result.emplace(body(ticket.token()));
    ticket.release();
    co_await caller;
    co_return std::move(*result);
}

QCoro::Task<Result<qsizetype>> PhotoLibraryService::beginScan(std::stop_token stop,
                                                              std::function<void(qsizetype found)> onFound,
                                                              std::function<void(VideoList early)> onEarly) {
    return onExecutor<Result<qsizetype>>(stop, [this, onFound = std::move(onFound),
                                                onEarly = std::move(onEarly)](const std::stop_token& token) {
        if (token.stop_requested()) return Result<qsizetype>(PhotoLibraryError::cancelled());
        FetchControl control{token, onFound, {}};
        if (onEarly)
            // Called before the fetch answers, so while this operation holds the
            // service; readAsset touches no state of ours, on whichever thread.
            control.onEarlyAssets = [this, onEarly, token](const FetchResult& assets) {
                VideoList items;
                items.reserve(assets.size());
                for (const AssetRef& asset : assets) {
                    if (token.stop_requested()) return;
                    items.append(readAsset(*asset, *m_ports.resources, m_loader).item);
                }
                onEarly(std::move(items));
            };
        return startScan(control);
    });
}

QCoro::Task<Result<ScanBatch>> PhotoLibraryService::readBatch(qsizetype start, qsizetype count,
                                                              std::stop_token stop) {
    return onExecutor<Result<ScanBatch>>(stop, [this, start, count](const std::stop_token& token) {
        return readScanBatch(start, count, token);
    });
}

QCoro::Task<ScanTimings> PhotoLibraryService::finishScan() {
    return onExecutor<ScanTimings>({}, [this](const std::stop_token&) { return endScan(); });
}

QCoro::Task<QHash<QString, SizeState>> PhotoLibraryService::probeSizes(QStringList localIdentifiers,
                                                                       int maxConcurrent,
                                                                       std::stop_token stop) {
    using Sizes = QHash<QString, SizeState>;
    return onExecutor<Sizes>(stop,
                             [this, ids = std::move(localIdentifiers),
                              maxConcurrent](const std::stop_token& token) mutable -> QCoro::Task<Sizes> {
                                 if (ids.isEmpty())
                                     return []() -> QCoro::Task<Sizes> { co_return Sizes{}; }();
                                 return runProbeWindow(std::move(ids), maxConcurrent, token);
                             });
}

QCoro::Task<QHash<QString, SizeState>> PhotoLibraryService::runProbeWindow(QStringList localIdentifiers,
                                                                           int maxConcurrent,
                                                                           std::stop_token stop) {
    // Each probe holds a pool thread while it waits for the port: no wider than the pool.
    const qsizetype width = std::min<qsizetype>(
        {localIdentifiers.size(), std::max(maxConcurrent, 1), std::max(m_options.backgroundThreads, 1)});
    const auto started = BootClock::now();
    QHash<QString, SizeState> result;
    result.reserve(localIdentifiers.size());
    auto window = std::make_shared<ProbeWindow>(m_executor.get());
    qsizetype next = 0;
    qsizetype running = 0;
    // Children are counted here and awaited below, so none outlives this call.
    const auto startNext = [&] {
        m_probePool->post([this, id = localIdentifiers.at(next++), window, stop] {
            const SizeState state = probeSize(id, stop);
            m_executor->post([window, id, state] { window->deliver(id, state); });
        });
        ++running;
    };
    while (next < width) startNext();
    while (running > 0) {
        co_await window->nextFinished();
        while (!window->finished.empty()) {
            auto [identifier, state] = std::move(window->finished.front());
            window->finished.pop_front();
            result.insert(identifier, state);  // a repeated identifier: the last to finish wins
            --running;
            if (!stop.stop_requested() && next < localIdentifiers.size()) startNext();
        }
    }
    m_timings.probe += BootClock::now() - started;
    m_timings.probeCount += localIdentifiers.size();
    co_return result;
}

// On the probe pool, whole: a size the library gives at once, else the size of
// the playable file it hands out; the wait for that file ends with a stop.
SizeState PhotoLibraryService::probeSize(const QString& localIdentifier, const std::stop_token& stop) {
    if (stop.stop_requested()) return SizeState::unavailable();
    const FetchResult found = m_ports.fetch->fetchAssets({localIdentifier});
    if (found.isEmpty()) return SizeState::failed();
    const AssetRef asset = found.front();
    const QList<AssetResource> resources = m_ports.resources->resources(*asset);
    if (auto quick = quickSize(*asset, resources, m_ports.resources->providesResourceDataSize(), m_loader))
        return *quick;

    struct Answer {
        std::mutex mutex;
        std::condition_variable_any answered;
        std::optional<std::optional<QString>> path;  // guarded by mutex
    };
    const auto answer = std::make_shared<Answer>();
    const RequestId request = m_ports.videos->requestPlayableVideo(
        asset, VideoRequestOptions{.deliveryMode = VideoRequestOptions::kFastFormat},
        [answer](VideoRequestResult result) {
            std::lock_guard lock(answer->mutex);
            if (answer->path) return;  // only the first answer counts
            answer->path = result.video ? result.video->localFilePath : std::nullopt;
            answer->answered.notify_all();
        });
    std::unique_lock lock(answer->mutex);
    if (!answer->answered.wait(lock, stop, [&] { return answer->path.has_value(); })) {
        lock.unlock();
        m_ports.videos->cancelVideoRequest(request);
        return SizeState::unavailable();
    }
    const std::optional<QString> path = *answer->path;
    lock.unlock();
    return path ? fileSystemSize(*path) : SizeState::unavailable();
}

QCoro::Task<DeletionOutcome> PhotoLibraryService::deleteVideos(QStringList localIdentifiers,
                                                               std::stop_token stop) {
    return onExecutor<DeletionOutcome>(
        stop, [this, ids = std::move(localIdentifiers)](const std::stop_token& token) mutable {
            return deleteOnExecutor(std::move(ids), token);
        });
}

namespace {
QStringList identifiersOf(const FetchResult& assets) {
    QStringList identifiers;
    identifiers.reserve(assets.size());
    for (const AssetRef& asset : assets) identifiers.append(asset->localIdentifier());
    return identifiers;
}

// A change may already be applied when a stop comes: ask the port to cancel and
// still wait for its one answer, so the outcome says what really happened.
// send(answer) makes the request and returns its id; cancel(id) asks the port to stop it.
template <class T, class Send, class Cancel>
QCoro::Task<T> awaitPortAnswer(Executor* resumeOn, std::stop_token stop, Send send, Cancel cancel) {
    auto completion = Completion<T>::create(resumeOn);
    const RequestId request = send([weak = std::weak_ptr(completion)](T answer) {
        if (const auto waiting = weak.lock()) waiting->resume(std::move(answer));
    });
    std::stop_callback onStop(stop, [&cancel, request] { cancel(request); });
    co_return co_await completion->wait({}, {});
}
}  // namespace

QCoro::Task<DeletionOutcome> PhotoLibraryService::deleteOnExecutor(QStringList localIdentifiers,
                                                                   std::stop_token stop) {
    const FetchResult assets = m_ports.fetch->fetchAssets(localIdentifiers);
    if (assets.isEmpty()) co_return DeletionOutcome::failed();
    if (stop.stop_requested()) co_return DeletionOutcome::cancelled();
    const QStringList handedIn = identifiersOf(assets);
    const DeletionCompletion result = co_await awaitPortAnswer<DeletionCompletion>(
        m_executor.get(), stop, [&](auto answer) { return m_ports.changes->deleteAssets(assets, answer); },
        [this](RequestId request) { m_ports.changes->cancelChange(request); });
    co_return classifyDeletion(handedIn, result);
}

QCoro::Task<CopyCheck> PhotoLibraryService::checkCopies(std::function<void(CopyCheckProgress)> onProgress,
                                                        std::stop_token stop) {
    return onExecutor<CopyCheck>(stop,
                                 [this, onProgress = std::move(onProgress)](const std::stop_token& token) {
                                     return checkCopiesOnExecutor(onProgress, token);
                                 });
}

QCoro::Task<CopyCheck> PhotoLibraryService::checkCopiesOnExecutor(
    std::function<void(CopyCheckProgress)> onProgress, std::stop_token stop) {
    if (stop.stop_requested()) co_return CopyCheck{};
    // The port answers a cancel at once, with the sets it has finished.
    co_return co_await awaitPortAnswer<CopyCheck>(
        m_executor.get(), stop,
        [&](auto answer) { return m_ports.copies->checkCopies(std::move(onProgress), answer); },
        [this](RequestId request) { m_ports.copies->cancelCopyCheck(request); });
}

QCoro::Task<SimilarityCheck> PhotoLibraryService::checkSimilar(
    std::function<void(SimilarityProgress)> onProgress, std::stop_token stop) {
    return onExecutor<SimilarityCheck>(
        stop, [this, onProgress = std::move(onProgress)](const std::stop_token& token) {
            return checkSimilarOnExecutor(onProgress, token);
        });
}

namespace {
// Only the fingerprints of videos in a set: regrouping those gives the same sets,
// since no other video matched any of them, and costs nothing next to the whole.
SimilarityCheck keepGrouped(SimilarityCheck check, const std::stop_token& stop) {
    std::vector<QString> ids;
    std::vector<VisualFingerprint> fingerprints;
    ids.reserve(std::size_t(check.fingerprints.size()));
    fingerprints.reserve(std::size_t(check.fingerprints.size()));
    for (auto it = check.fingerprints.cbegin(); it != check.fingerprints.cend(); ++it) {
        ids.push_back(it.key());
        fingerprints.push_back(it.value());
    }
    QHash<QString, VisualFingerprint> grouped;
    for (const std::vector<std::size_t>& group : nearCopyGroups(fingerprints, stop))
        for (const std::size_t position : group) grouped.insert(ids[position], fingerprints[position]);
    check.fingerprints = std::move(grouped);
    return check;
}
}  // namespace

QCoro::Task<SimilarityCheck> PhotoLibraryService::checkSimilarOnExecutor(
    std::function<void(SimilarityProgress)> onProgress, std::stop_token stop) {
    if (stop.stop_requested()) co_return SimilarityCheck{};
    SimilarityCheck check = co_await awaitPortAnswer<SimilarityCheck>(
        m_executor.get(), stop,
        [&](auto answer) { return m_ports.similarity->fingerprintVideos(std::move(onProgress), answer); },
        [this](RequestId request) { m_ports.similarity->cancelFingerprinting(request); });
    // Matching a part would hold a quit up for seconds, and a rescan drops it anyway.
    if (stop.stop_requested() || !check.isComplete) co_return SimilarityCheck{{}, check.failed, false};
    // A stop during the sweep gives no sets: say the answer is not whole.
    SimilarityCheck grouped = keepGrouped(std::move(check), stop);
    if (stop.stop_requested()) co_return SimilarityCheck{{}, grouped.failed, false};
    co_return grouped;
}

QCoro::Task<Result<QList<Picture>>> PhotoLibraryService::frameStrip(QString localIdentifier, int maxPixelSize,
                                                                    std::stop_token stop) {
    return onExecutor<Result<QList<Picture>>>(
        stop, [this, id = std::move(localIdentifier), maxPixelSize](const std::stop_token& token) mutable {
            return frameStripOnExecutor(std::move(id), maxPixelSize, token);
        });
}

QCoro::Task<Result<QList<Picture>>> PhotoLibraryService::frameStripOnExecutor(QString localIdentifier,
                                                                              int maxPixelSize,
                                                                              std::stop_token stop) {
    using Strip = Result<QList<Picture>>;
    const FetchResult found = m_ports.fetch->fetchAssets({localIdentifier});
    if (found.isEmpty()) co_return PhotoLibraryError::assetNotFound();
    if (maxPixelSize <= 0) co_return PhotoLibraryError::assetUnavailable();
    auto completion = Completion<Strip>::create(m_executor.get());
    const RequestId request = m_ports.similarity->requestFrameStrip(
        found.front(), maxPixelSize, [weak = std::weak_ptr(completion)](FrameStripResult result) {
            const auto waiting = weak.lock();
            if (!waiting) return;
            if (result.error)
                waiting->resume(PhotoLibraryError::operationFailed(*result.error));
            else if (result.frames.size() != kFingerprintFrames)
                waiting->resume(PhotoLibraryError::assetUnavailable());
            else
                waiting->resume(std::move(result.frames));
        });
    Strip strip = co_await completion->wait(stop, PhotoLibraryError::cancelled());
    if (stop.stop_requested()) m_ports.similarity->cancelFrameStrip(request);
    co_return strip;
}

int PhotoLibraryService::hardLinksOutside(const QString& localIdentifier) const {
    return m_ports.copies->hardLinksOutside(localIdentifier);
}

QCoro::Task<RestoreOutcome> PhotoLibraryService::restoreVideos(QStringList localIdentifiers,
                                                               std::stop_token stop) {
    return onExecutor<RestoreOutcome>(
        stop, [this, ids = std::move(localIdentifiers)](const std::stop_token& token) mutable {
            return restoreOnExecutor(std::move(ids), token);
        });
}

QCoro::Task<RestoreOutcome> PhotoLibraryService::restoreOnExecutor(QStringList localIdentifiers,
                                                                   std::stop_token stop) {
    RestoreOutcome outcome;
    if (localIdentifiers.isEmpty()) co_return outcome;
    if (stop.stop_requested()) {
        outcome.requestError = PhotoLibraryError::cancelled().description();
        co_return outcome;
    }
    const RestoreCompletion result = co_await awaitPortAnswer<RestoreCompletion>(
        m_executor.get(), stop,
        [&](auto answer) { return m_ports.changes->restoreAssets(localIdentifiers, answer); },
        [this](RequestId request) { m_ports.changes->cancelChange(request); });
    if (result.requestError) outcome.requestError = result.requestError->localizedDescription;
    QSet<QString> answered;
    for (const ChangeItemResult& item : result.items) {
        answered.insert(item.localIdentifier);
        if (item.error)
            outcome.failures.append({item.localIdentifier, item.error->localizedDescription});
        else
            outcome.restoredIdentifiers.append(item.localIdentifier);
    }
    // Without an answer an item was not put back; say so rather than drop it.
    if (!outcome.requestError)
        for (const QString& identifier : localIdentifiers)
            if (!answered.contains(identifier))
                outcome.failures.append({identifier, PhotoLibraryError::assetUnavailable().description()});
    co_return outcome;
}

QCoro::Task<Result<void>> PhotoLibraryService::setFavorite(QStringList localIdentifiers, bool isFavorite,
                                                           std::stop_token stop) {
    return onExecutor<Result<void>>(
        stop, [this, ids = std::move(localIdentifiers), isFavorite](const std::stop_token& token) mutable {
            return favoriteOnExecutor(std::move(ids), isFavorite, token);
        });
}

QCoro::Task<Result<void>> PhotoLibraryService::favoriteOnExecutor(QStringList localIdentifiers,
                                                                  bool isFavorite, std::stop_token stop) {
    const FetchResult assets =
        localIdentifiers.isEmpty() ? FetchResult{} : m_ports.fetch->fetchAssets(localIdentifiers);
    // All or nothing: the caller reports every identifier it asked for as changed.
    localIdentifiers.removeDuplicates();
    if (assets.isEmpty() || assets.size() < localIdentifiers.size())
        co_return PhotoLibraryError::assetNotFound();
    if (stop.stop_requested()) co_return PhotoLibraryError::cancelled();
    const FavoriteCompletion result = co_await awaitPortAnswer<FavoriteCompletion>(
        m_executor.get(), stop,
        [&](auto answer) { return m_ports.changes->setFavorite(assets, isFavorite, answer); },
        [this](RequestId request) { m_ports.changes->cancelChange(request); });
    if (result.success) co_return Result<void>{};
    if (result.error) co_return PhotoLibraryError::operationFailed(*result.error);
    co_return PhotoLibraryError::operationFailed(PhotoLibraryError::assetUnavailable());
}

QCoro::Task<Result<void>> PhotoLibraryService::downloadVideo(QString localIdentifier, QString destinationPath,
                                                             ExportNaming naming, std::stop_token stop,
                                                             WriteObserver observer) {
    return onExecutor<Result<void>>(
        stop, [this, id = std::move(localIdentifier), path = std::move(destinationPath), naming,
               observer = std::move(observer)](const std::stop_token& token) mutable {
            return downloadOnExecutor(std::move(id), std::move(path), naming, token, std::move(observer));
        });
}

QCoro::Task<Result<void>> PhotoLibraryService::downloadOnExecutor(QString localIdentifier,
                                                                  QString destinationPath,
                                                                  ExportNaming naming, std::stop_token stop,
                                                                  WriteObserver observer) {
    const FetchResult found = m_ports.fetch->fetchAssets({localIdentifier});
    if (found.isEmpty()) co_return PhotoLibraryError::assetNotFound();
    const QList<AssetResource> resources = m_ports.resources->resources(*found.front());
    const AssetResource* resource = preferredVideoResource(resources);
    if (!resource) co_return PhotoLibraryError::videoResourceUnavailable();
    if (stop.stop_requested()) co_return PhotoLibraryError::cancelled();
    using WriteResult = std::optional<PlatformError>;
    const WriteResult error = co_await awaitPortAnswer<WriteResult>(
        m_executor.get(), stop,
        [&](auto answer) {
            return m_ports.exports->writeResourceData(*resource, destinationPath, naming, true, answer,
                                                      std::move(observer));
        },
        [this](RequestId request) { m_ports.exports->cancelWrite(request); });
    if (error) co_return PhotoLibraryError::operationFailed(*error);
    co_return Result<void>{};
}

QCoro::Task<QSet<QString>> PhotoLibraryService::existingIdentifiers(QStringList localIdentifiers,
                                                                    std::stop_token stop) {
    return onExecutor<QSet<QString>>(stop,
                                     [this, ids = std::move(localIdentifiers)](const std::stop_token& token) {
                                         QSet<QString> existing;
                                         if (ids.isEmpty() || token.stop_requested()) return existing;
                                         const FetchResult assets = m_ports.fetch->fetchAssets(ids);
                                         existing.reserve(assets.size());
                                         for (const AssetRef& asset : assets)
                                             existing.insert(asset->localIdentifier());
                                         return existing;
                                     });
}

QCoro::Task<VideoList> PhotoLibraryService::readVideos(QStringList localIdentifiers, std::stop_token stop) {
    return onExecutor<VideoList>(stop,
                                 [this, ids = std::move(localIdentifiers)](const std::stop_token& token) {
                                     VideoList items;
                                     if (ids.isEmpty() || token.stop_requested()) return items;
                                     const FetchResult assets = m_ports.fetch->refreshAssets(ids);
                                     items.reserve(assets.size());
                                     for (const AssetRef& asset : assets) {
                                         if (token.stop_requested()) break;
                                         items.append(readAsset(*asset, *m_ports.resources, m_loader).item);
                                     }
                                     return items;
                                 });
}

QCoro::Task<QList<std::optional<QString>>> PhotoLibraryService::freeFileNames(QString folder,
                                                                              QStringList names,
                                                                              std::stop_token stop) {
    using Names = QList<std::optional<QString>>;
    return onExecutor<Names>(
        stop, [folder = std::move(folder), names = std::move(names)](const std::stop_token&) {
            const QDir directory(folder);
            const auto isTaken = [&](const QString& name) {
                const QFileInfo info(directory.filePath(name));
                return info.exists() || info.isSymLink();  // a dangling link still holds the name
            };
            Names free;
            QSet<QString> used;
            for (const QString& name : names) {
                const std::optional<QString> chosen = uniqueName(name, used, isTaken);
                if (chosen) used.insert(*chosen);
                free.append(chosen);
            }
            return free;
        });
}

QCoro::Task<ThumbnailRef> PhotoLibraryService::thumbnail(QString localIdentifier, QSizeF targetSize,
                                                         std::stop_token stop) {
    return onExecutor<ThumbnailRef>(
        stop, [this, id = std::move(localIdentifier), targetSize](const std::stop_token& token) mutable {
            return thumbnailOnExecutor(std::move(id), targetSize, token);
        });
}

QCoro::Task<ThumbnailRef> PhotoLibraryService::thumbnailOnExecutor(QString localIdentifier, QSizeF targetSize,
                                                                   std::stop_token stop) {
    // Asked every time, hit or miss: the key needs the file's version now, and a
    // file changed since the fetch has no asset until it is read again.
    const FetchResult found = m_ports.fetch->fetchAssets({localIdentifier});
    if (found.isEmpty()) co_return ThumbnailRef{};
    const std::optional<QString> key =
        thumbnailKey(localIdentifier, found.front()->fileVersion(), targetSize);
    if (!key) co_return ThumbnailRef{};
    if (ThumbnailRef cached = m_thumbnailCache.find(*key)) co_return cached;
    if (stop.stop_requested()) co_return ThumbnailRef{};

    auto waiter = Completion<ThumbnailRef>::create(m_executor.get());
    const auto existing = m_thumbnailTasks.find(*key);
    std::shared_ptr<ThumbnailFlight> flight;
    if (existing != m_thumbnailTasks.end() && !existing->second->isAbandoned) {
        flight = existing->second;
        flight->waiters.push_back(waiter);
    } else {
        flight = std::make_shared<ThumbnailFlight>();
        m_thumbnailTasks.insert_or_assign(*key, flight);
        flight->waiters.push_back(waiter);
        // May finish before it returns, when the port answers at once.
        runThumbnailFlight(*key, found.front(), thumbnailPixels(targetSize), flight);
    }
    ThumbnailRef image = co_await waiter->wait(stop, nullptr);

    // A caller that stops leaves alone; the request goes only with its last waiter.
    if (!flight->isFinished) {
        std::erase(flight->waiters, waiter);
        if (flight->waiters.empty()) {
            flight->isAbandoned = true;
            flight->cancelRequest.request_stop();
        }
    }
    co_return image;
}

QCoro::Task<> PhotoLibraryService::runThumbnailFlight(QString key, AssetRef asset, QSize pixels,
                                                      std::shared_ptr<ThumbnailFlight> flight) {
    Ticket ticket(m_tracker, flight->cancelRequest.get_token(), m_stop.get_token());
    auto completion = Completion<ThumbnailRef>::create(m_executor.get());
    const RequestId request = m_ports.images->requestImage(
        asset, pixels, kAspectFill, ImageRequestOptions{},
        [weak = std::weak_ptr(completion)](ImageResult result) {
            if (result.isDegraded) return;  // the final one follows
            const auto waiting = weak.lock();
            if (!waiting) return;
            if (result.isCancelled || result.error || !result.image || result.image->isNull())
                waiting->resume(nullptr);
            else
                waiting->resume(std::make_shared<const ThumbnailImage>(std::move(*result.image)));
        });
    // No deadline of our own: the port answers within kImageRequestTimeLimit, and
    // the last caller to stop cancels the request.
    ThumbnailRef image = co_await completion->wait(ticket.token(), nullptr);
    if (!image) m_ports.images->cancelImageRequest(request);

    flight->isFinished = true;
    const auto it = m_thumbnailTasks.find(key);
    if (it != m_thumbnailTasks.end() && it->second == flight) m_thumbnailTasks.erase(it);
    if (image)
        m_thumbnailCache.insert(key, image, thumbnailCost(image->picture()));  // a miss is retried later
    for (const auto& waiter : flight->waiters) waiter->resume(image);
    flight->waiters.clear();
}

QCoro::Task<Result<std::shared_ptr<const PreviewAssetBox>>> PhotoLibraryService::requestPreviewAsset(
    QString localIdentifier, std::stop_token stop) {
    return onExecutor<Result<std::shared_ptr<const PreviewAssetBox>>>(
        stop, [this, id = std::move(localIdentifier)](const std::stop_token& token) mutable {
            return previewAssetOnExecutor(std::move(id), token);
        });
}

QCoro::Task<Result<std::shared_ptr<const PreviewAssetBox>>> PhotoLibraryService::previewAssetOnExecutor(
    QString localIdentifier, std::stop_token stop) {
    using BoxResult = Result<std::shared_ptr<const PreviewAssetBox>>;
    const FetchResult found = m_ports.fetch->fetchAssets({localIdentifier});
    if (found.isEmpty()) co_return PhotoLibraryError::assetNotFound();
    auto completion = Completion<BoxResult>::create(m_executor.get());
    // Guarded like every other callback: a second call must change nothing.
    const RequestId request = m_ports.videos->requestPlayableVideo(
        found.front(), VideoRequestOptions{.isNetworkAccessAllowed = true},
        [weak = std::weak_ptr(completion)](VideoRequestResult r) {
            const auto waiting = weak.lock();
            if (!waiting) return;
            if (r.video)
                waiting->resume(std::make_shared<const PreviewAssetBox>(std::move(*r.video)));
            else if (r.error)
                waiting->resume(PhotoLibraryError::operationFailed(*r.error));
            else
                waiting->resume(PhotoLibraryError::assetUnavailable());
        });
    BoxResult result = co_await completion->wait(stop, PhotoLibraryError::cancelled());
    if (stop.stop_requested()) m_ports.videos->cancelVideoRequest(request);
    co_return result;
}

QCoro::Task<Result<PreviewSource>> PhotoLibraryService::preparePreview(QString localIdentifier,
                                                                       std::stop_token stop) {
    const auto box = co_await requestPreviewAsset(std::move(localIdentifier), std::move(stop));
    if (!box) co_return box.error();
    const PlayableVideo& video = box.value()->asset();
    if (!video.isPlayable || !video.localFilePath) co_return PhotoLibraryError::assetUnavailable();
    const double length =
        std::isfinite(video.durationSeconds) && video.durationSeconds > 0 ? video.durationSeconds : 0;
    co_return PreviewSource{*video.localFilePath, length};
}

QCoro::Task<FileLocation> PhotoLibraryService::fileLocation(QString localIdentifier) {
    return onExecutor<FileLocation>({}, [this, id = std::move(localIdentifier)](const std::stop_token&) {
        return m_ports.locations->fileLocation(id);
    });
}

QCoro::Task<LibraryFolderList> PhotoLibraryService::libraryFolders() {
    return onExecutor<LibraryFolderList>(
        {}, [this](const std::stop_token&) { return m_ports.locations->libraryFolders(); });
}

QCoro::Task<bool> PhotoLibraryService::setLibraryFolders(std::vector<QByteArray> folders) {
    return onExecutor<bool>({}, [this, folders = std::move(folders)](const std::stop_token&) {
        return m_ports.locations->setLibraryFolders(folders);
    });
}

void PhotoLibraryService::registerChangeObserver(std::weak_ptr<LibraryChangeListener> listener) {
    m_ports.observers->registerChangeObserver(std::move(listener));
}

void PhotoLibraryService::unregisterChangeObserver(const LibraryChangeListener* listener) {
    m_ports.observers->unregisterChangeObserver(listener);
}

}  // namespace reelkeep
