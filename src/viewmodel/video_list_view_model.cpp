#include "video_list_view_model.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "library/executor.h"
#include "model/display_text.h"
#include "model/file_names.h"
#include "model/texts.h"
#include "viewmodel/library_change_observer.h"

namespace reelkeep {

namespace {

using std::chrono::nanoseconds;

// Adds the time until the end of its scope to a total, once; nothing when the
// total's owner died meanwhile.
class ScopedTimer {
public:
    ScopedTimer(const Clock& clock, nanoseconds& total, QPointer<QObject> owner)
        : m_clock(clock), m_total(total), m_owner(std::move(owner)), m_started(clock.monotonicNow()) {}
    ~ScopedTimer() {
        if (m_owner) m_total += m_clock.monotonicNow() - m_started;
    }
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;

private:
    const Clock& m_clock;
    nanoseconds& m_total;
    QPointer<QObject> m_owner;
    nanoseconds m_started;
};

bool isHorizontalSpace(QChar c) {
    const char16_t unit = c.unicode();
    const bool isLineBreak =
        (unit >= 0x0A && unit <= 0x0D) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
    return c.isSpace() && !isLineBreak;
}

QString fileNameOf(const VideoItem& item) {
    return item.resourceFilename().value_or(item.localIdentifier());
}

QStringList identifiersOf(const VideoList& items) {
    QStringList ids;
    ids.reserve(items.size());
    for (const VideoItem& item : items) ids.append(item.localIdentifier());
    return ids;
}

// The identifiers of `longer` that `shorter` lacks, when `shorter` is `longer`
// with some items left out; nothing when it is not.
std::optional<QStringList> leftOut(const VideoList& shorter, const VideoList& longer) {
    QStringList missing;
    qsizetype matched = 0;
    for (const VideoItem& item : longer) {
        if (matched < shorter.size() && shorter[matched].localIdentifier() == item.localIdentifier())
            ++matched;
        else
            missing.append(item.localIdentifier());
    }
    if (matched != shorter.size()) return std::nullopt;
    return missing;
}

// What a port thread calls with progress: it only hops to the main thread,
// where the view model is read through its QPointer and `apply` runs unless stopped.
template <typename Progress>
std::function<void(Progress)> progressOnMainThread(VideoListViewModel* viewModel, std::stop_token stop,
                                                   void (VideoListViewModel::*apply)(const Progress&)) {
    return [weakSelf = QPointer<VideoListViewModel>(viewModel), mainThread = ResumeOnCaller(), stop,
            apply](Progress progress) {
        mainThread.post([weakSelf, stop, apply, progress] {
            if (weakSelf && !stop.stop_requested()) (weakSelf.data()->*apply)(progress);
        });
    };
}

}  // namespace

VideoListViewModel::VideoListViewModel(PhotoLibraryService& service, Environment environment, QObject* parent)
    : QObject(parent), m_service(service), m_environment(std::move(environment)) {
    Q_ASSERT_X(m_environment.clock, "VideoListViewModel", "needs a clock");
}

VideoListViewModel::~VideoListViewModel() {
    // The service lives on: what runs for this view model stops, and its answers
    // find the view model gone.
    stop();
}

void VideoListViewModel::assertMainThread() const {
    Q_ASSERT_X(QThread::currentThread() == thread(), "VideoListViewModel", "used off the main thread");
}

// -- life and scanning --

void VideoListViewModel::start() {
    assertMainThread();
    if (m_changeObserver) return;
    QPointer<VideoListViewModel> weakSelf(this);
    const ResumeOnCaller mainThread;  // made here, so it posts to this thread
    m_changeObserver =
        std::make_shared<LibraryChangeObserver>([weakSelf, mainThread](const LibraryChange& change) {
            // A port thread: only hop to the main thread; the QPointer is read there.
            mainThread.post([weakSelf, change] {
                if (weakSelf) weakSelf->handleLibraryChange(change);
            });
        });
    m_service.registerChangeObserver(m_changeObserver);
    rescan();
}

void VideoListViewModel::stop() {
    assertMainThread();
    stopCopyCheck();
    stopSimilarCheck();
    m_isRescanPending = false;
    m_scanTask.stop();
    m_actionTask.stop();
    if (m_changeObserver) {
        m_service.unregisterChangeObserver(m_changeObserver.get());
        m_changeObserver.reset();
    }
}

void VideoListViewModel::cancelScan() {
    assertMainThread();
    if (m_isScanning) m_scanTask.requestStop();
    // The check answers at once with the sets it finished; they stand.
    m_copyCheckTask.requestStop();
    m_similarTask.requestStop();
}

void VideoListViewModel::rescan() {
    assertMainThread();
    if (isBusy()) return;
    stopCopyCheck();
    m_copyCheck = {};
    stopSimilarCheck();
    m_similarityCheck = {};
    m_selectsExtrasWhenChecked = false;
    m_isScanning = true;
    setExternalChanges(false);
    m_scanProgress.reset();
    m_scanCompletedCount = 0;
    m_scanTotalCount = 0;
    m_scanFoundCount = 0;
    emit activityChanged();
    forgetEarlyRows();
    replaceItems({});
    setSelectedIDs({});
    setErrorMessage(std::nullopt);
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Checking your video folders…")));
    m_scanTask.start([this](std::stop_token stop) { return runScan(stop); });
}

QCoro::Task<> VideoListViewModel::runScan(std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    co_await performScan(stop);
    if (!self) co_return;
    // Part of the scan, not launched beside it: a refresh still in flight when the
    // window closes would outlive its owner.
    co_await refreshFoldersTask(stop);  // a folder skipped by the scan is named in the window
    if (!self) co_return;
    m_isScanning = false;
    m_scanProgress.reset();
    emit activityChanged();
    emit scanFinished();
    if (std::exchange(m_isRescanPending, false)) rescan();
}

QCoro::Task<> VideoListViewModel::performScan(std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const AuthorizationStatus access = co_await m_service.requestAccess(stop);
    if (!self) co_return;
    m_authorizationStatus = access;
    emit authorizationStatusChanged();
    if (access != AuthorizationStatus::authorized && access != AuthorizationStatus::limited) {
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "No library folder can be read.")));
        co_return;
    }

    m_uiApplyTime = nanoseconds{0};
    m_scanWallClock = nanoseconds{0};
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Counting videos…")));

    // The walk reports from its own thread; at most one report waits for this
    // thread at a time, and it shows the latest count when it gets here.
    struct FoundCount {
        std::atomic<qsizetype> latest{0};
        std::atomic<bool> isPosted{false};
        bool isCounting = true;  // main thread only
    };
    const auto found = std::make_shared<FoundCount>();
    const ResumeOnCaller mainThread;
    const auto onFound = [found, mainThread, self](qsizetype count) {
        found->latest = count;
        if (found->isPosted.exchange(true)) return;
        mainThread.post([found, self] {
            found->isPosted = false;
            if (self && found->isCounting) self->showFoundCount(found->latest);
        });
    };
    // Early rows come the same way, gathered there until this thread takes them.
    struct EarlyRows {
        std::mutex mutex;
        VideoList waiting;      // guarded by mutex
        bool isPosted = false;  // guarded by mutex
    };
    const auto early = std::make_shared<EarlyRows>();
    const auto onEarly = [early, mainThread, self, stop](VideoList rows) {
        {
            std::lock_guard lock(early->mutex);
            early->waiting.append(std::move(rows));
            if (std::exchange(early->isPosted, true)) return;
        }
        mainThread.post([early, self, stop] {
            VideoList taken;
            {
                std::lock_guard lock(early->mutex);
                taken.swap(early->waiting);
                early->isPosted = false;
            }
            if (self && !stop.stop_requested()) self->takeEarlyRows(std::move(taken));
        });
    };
    m_isTakingEarlyRows = true;
    const Result<qsizetype> counted = co_await m_service.beginScan(stop, onFound, onEarly);
    found->isCounting = false;
    if (!self) co_return;
    m_isTakingEarlyRows = false;
    if (!counted) {
        if (forgetEarlyRows()) replaceItems({});
        co_await endScanWithError(counted.error());
        co_return;
    }
    const qsizetype total = counted.value();
    m_scanTotalCount = int(total);
    emit activityChanged();
    if (m_areEarlyRowsShown) showEarlyRows();  // those that waited for the next refresh
    if (total < 1) {
        if (forgetEarlyRows()) replaceItems({});
        co_await m_service.finishScan();  // nothing to report
        if (!self) co_return;
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "No videos in your video folders.")));
        co_return;
    }

    const Clock& clock = *m_environment.clock;
    VideoList accumulated;
    accumulated.reserve(total);
    qsizetype offset = 0;
    nanoseconds lastRefresh = clock.monotonicNow();
    // Over early rows a refresh is worth its cost only for rows they lacked.
    qsizetype unshownCount = 0;
    qsizetype installedUnshownCount = 0;
    const auto install = [&] {
        const nanoseconds started = clock.monotonicNow();
        replaceItems(m_earlyItems.isEmpty() ? accumulated : withEarlyRows(accumulated));
        m_uiApplyTime += clock.monotonicNow() - started;
    };

    std::optional<PhotoLibraryError> failure;
    {
        const ScopedTimer wallClock(clock, m_scanWallClock, this);
        while (offset < total && !stop.stop_requested()) {
            Result<ScanBatch> batch = co_await m_service.readBatch(offset, kScanBatchSize, stop);
            if (!self) co_return;
            if (!batch) {
                failure = batch.error();
                break;
            }
            const VideoList& batchItems = batch.value().items;
            if (batchItems.isEmpty()) break;
            QStringList unknownIDs;
            for (const VideoItem& item : batchItems)
                if (item.sizeState().kind() == SizeState::Kind::unavailable)
                    unknownIDs.append(item.localIdentifier());
            QHash<QString, SizeState> sizes;
            if (!unknownIDs.isEmpty()) {
                sizes = co_await m_service.probeSizes(unknownIDs, kProbeWidth, stop);
                if (!self) co_return;
            }
            if (stop.stop_requested()) break;
            for (const VideoItem& item : batchItems) {
                const auto probed = sizes.constFind(item.localIdentifier());
                accumulated.append(probed == sizes.cend() ? item : item.replacingSizeState(*probed));
                if (!m_earlyIDs.isEmpty() && !m_earlyIDs.contains(item.localIdentifier())) ++unshownCount;
            }
            const qsizetype loaded = offset + batchItems.size();
            m_scanCompletedCount = int(loaded);
            m_scanProgress = double(loaded) / double(total);
            emit activityChanged();
            if (clock.monotonicNow() - lastRefresh >= kScanRefreshInterval &&
                (m_earlyIDs.isEmpty() || unshownCount > installedUnshownCount)) {
                installedUnshownCount = unshownCount;
                install();
                lastRefresh = clock.monotonicNow();
            }
            setStatus(StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Loaded %1 of %Ln video(s)."),
                                             total, {qlonglong(loaded)}));
            offset = loaded;
        }
        // Only what the batches brought stays, whatever ended the scan.
        const bool showedEarlyRows = forgetEarlyRows();
        if (showedEarlyRows && showsExactly(accumulated))
            adoptScanOrder(std::move(accumulated));
        else if (failure ? showedEarlyRows : showedEarlyRows || m_items.size() != accumulated.size())
            install();
    }
    if (failure) {
        co_await endScanWithError(*failure);
        co_return;
    }

    const ScanTimings timings = co_await m_service.finishScan();
    if (!self) co_return;
    logScanTimings(timings);
    const auto count = qlonglong(m_items.size());
    if (stop.stop_requested()) {
        setStatus(StatusMessage::counted(
            QT_TRANSLATE_N_NOOP("reelkeep", "Scan cancelled at %1 of %Ln video(s)."), total, {count}));
    } else {
        setStatus(StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "%Ln video(s), size known for %1."),
                                         count, {qlonglong(count - m_stats.unknownSizeCount)}));
        m_scanSummary = m_status;
        if (m_checksCopiesAfterScan && !m_duplicates.countsBySize.isEmpty())
            startCopyCheck();
        else if (m_checksSimilarAfterScan)
            startSimilarCheck();
    }
}

// -- copies --

void VideoListViewModel::startCopyCheck() {
    stopCopyCheck();
    m_isCheckingCopies = true;
    m_copyCheckProgress = {};
    emit activityChanged();
    emit sidebarChanged();
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Checking copies…")));
    m_copyCheckTask.start([this](std::stop_token stop) { return runCopyCheck(stop); });
}

// Stops the check and drops its answer: a rescan or the end of the window.
void VideoListViewModel::stopCopyCheck() {
    if (!m_copyCheckTask.isRunning()) return;
    m_copyCheckTask.stop();
    m_isCheckingCopies = false;
    emit activityChanged();
}

QCoro::Task<> VideoListViewModel::runCopyCheck(std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    CopyCheck check = co_await m_service.checkCopies(
        progressOnMainThread(this, stop, &VideoListViewModel::setCopyCheckProgress), stop);
    if (!self) co_return;
    // Dropped by a rescan: a later check owns the state now.
    if (!m_copyCheckTask.owns(stop)) co_return;
    m_isCheckingCopies = false;
    m_copyCheck = std::move(check);
    emit activityChanged();
    const bool resetRows = rebuildDuplicates() || showsIdenticalCopies();
    // Hard links and shared data found by the check change what trashing a lesser version frees.
    m_similar = summarizeSimilar(m_similarSets, m_items, m_duplicates.copies.freeableByID);
    emit sidebarChanged();
    recomputeVisibleItems(resetRows);
    refreshSelectionStats();
    if (m_copyCheck.isComplete)
        setStatus(m_scanSummary);  // the sidebar shows what the check found
    else
        setStatus(StatusMessage(
            QT_TRANSLATE_NOOP("reelkeep", "Checking copies stopped: the sets verified so far stand.")));
    if (m_copyCheck.isComplete && m_checksSimilarAfterScan) startSimilarCheck();
    if (std::exchange(m_selectsExtrasWhenChecked, false)) applyExtraCopySelection(!m_copyCheck.isComplete);
}

void VideoListViewModel::setCopyCheckProgress(const CopyCheckProgress& progress) {
    if (!m_isCheckingCopies) return;
    const StatusMessage before(
        QT_TRANSLATE_NOOP("reelkeep", "Checking copies… %1 of %2"),
        {byteCountText(m_copyCheckProgress.checkedBytes), byteCountText(m_copyCheckProgress.totalBytes)});
    m_copyCheckProgress = progress;
    const StatusMessage now(QT_TRANSLATE_NOOP("reelkeep", "Checking copies… %1 of %2"),
                            {byteCountText(progress.checkedBytes), byteCountText(progress.totalBytes)});
    // Hundreds of chunks a second; the line changes only when its text does.
    if (now != before || m_status.key() != now.key()) setStatus(now);
}

// -- near copies --

void VideoListViewModel::startSimilarCheck() {
    stopSimilarCheck();
    m_isCheckingSimilar = true;
    m_similarityProgress = {};
    emit activityChanged();
    emit sidebarChanged();
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Comparing videos…")));
    m_similarTask.start([this](std::stop_token stop) { return runSimilarCheck(stop); });
}

// Stops the comparison and drops its answer: a rescan or the end of the window.
void VideoListViewModel::stopSimilarCheck() {
    if (!m_similarTask.isRunning()) return;
    m_similarTask.stop();
    m_isCheckingSimilar = false;
    emit activityChanged();
}

QCoro::Task<> VideoListViewModel::runSimilarCheck(std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    SimilarityCheck check = co_await m_service.checkSimilar(
        progressOnMainThread(this, stop, &VideoListViewModel::setSimilarityProgress), stop);
    if (!self) co_return;
    // Dropped by a rescan: a later comparison owns the state now.
    if (!m_similarTask.owns(stop)) co_return;
    m_isCheckingSimilar = false;
    m_similarityCheck = std::move(check);
    emit activityChanged();
    const bool resetRows = rebuildSimilar() || m_showsSimilarVideos;
    emit sidebarChanged();
    recomputeVisibleItems(resetRows);
    refreshSelectionStats();
    if (!m_similarityCheck.isComplete)
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Comparing videos stopped.")));
    else if (!m_similarityCheck.failed.isEmpty())
        setStatus(StatusMessage::counted(
            QT_TRANSLATE_N_NOOP("reelkeep", "Videos compared; %Ln could not be decoded and were left out."),
            m_similarityCheck.failed.size()));
    else
        setStatus(m_scanSummary);  // the sidebar shows what the comparison found
}

void VideoListViewModel::setSimilarityProgress(const SimilarityProgress& progress) {
    if (!m_isCheckingSimilar || (progress.doneVideos == m_similarityProgress.doneVideos &&
                                 progress.totalVideos == m_similarityProgress.totalVideos))
        return;
    m_similarityProgress = progress;
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Comparing videos… %1 of %2"),
                            {qlonglong(progress.doneVideos), qlonglong(progress.totalVideos)}));
}

// The sets among today's items. Whether the similar view's rows must be worked
// out anew: they may only lose rows in place, never move.
bool VideoListViewModel::rebuildSimilar() {
    QList<SimilarSet> sets;
    if (!m_similarityCheck.fingerprints.isEmpty()) sets = resolveSimilarSets(m_similarityCheck, m_items);
    const auto flatten = [](const QList<SimilarSet>& list) {
        QStringList ids;
        for (const SimilarSet& set : list) ids.append(set.memberIDs);
        return ids;
    };
    bool movesRows = false;
    if (m_showsSimilarVideos && sets != m_similarSets) {
        const QStringList now = flatten(sets);
        const QSet<QString> kept(now.begin(), now.end());
        QStringList before = flatten(m_similarSets);
        before.removeIf([&](const QString& id) { return !kept.contains(id); });
        movesRows = before != now;
    }
    m_similarSets = std::move(sets);
    m_similar = summarizeSimilar(m_similarSets, m_items, m_duplicates.copies.freeableByID);
    if (m_showsSimilarVideos && m_similarSets.isEmpty() && !m_isCheckingSimilar) {
        m_showsSimilarVideos = false;
        emit filtersChanged();
        return true;
    }
    return movesRows;
}

// A video changed since it was fingerprinted may no longer look like its set.
void VideoListViewModel::forgetFingerprints(const QSet<QString>& ids) {
    for (const QString& id : ids) m_similarityCheck.fingerprints.remove(id);
}

QCoro::Task<> VideoListViewModel::endScanWithError(PhotoLibraryError error) {
    QPointer<VideoListViewModel> self(this);
    const ScanTimings timings = co_await m_service.finishScan();
    if (!self) co_return;
    if (error.isCancellation()) {
        logScanTimings(timings);
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Scan cancelled.")));
    } else {
        setErrorMessage(error.description());
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Scan failed.")));
    }
}

void VideoListViewModel::showFoundCount(qsizetype count) {
    if (!m_isScanning || count == m_scanFoundCount) return;
    m_scanFoundCount = count;
    emit activityChanged();
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Counting videos… %1 found"), {qlonglong(count)}));
}

void VideoListViewModel::takeEarlyRows(VideoList rows) {
    if (!m_isTakingEarlyRows) return;
    for (VideoItem& row : rows) {
        const qsizetype known = m_earlyIDs.size();
        m_earlyIDs.insert(row.localIdentifier());
        if (m_earlyIDs.size() != known) m_earlyItems.append(std::move(row));
    }
    if (m_isEarlyRowsTimerSet) return;
    if (!m_areEarlyRowsShown) {
        showEarlyRows();  // the first at once: they are what the window waits for
        return;
    }
    // A list of 100,000 is sorted and compared anew each time: the walk, on
    // the other core, is to keep the larger share of the machine.
    m_isEarlyRowsTimerSet = true;
    const auto wait = std::max<nanoseconds>(kScanRefreshInterval, 3 * m_earlyRowsCost);
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(wait), this, [this] {
        m_isEarlyRowsTimerSet = false;
        if (m_isTakingEarlyRows) showEarlyRows();
    });
}

void VideoListViewModel::showEarlyRows() {
    if (m_areEarlyRowsShown && m_items.size() == m_earlyItems.size()) return;
    const nanoseconds started = m_environment.clock->monotonicNow();
    m_areEarlyRowsShown = true;
    replaceItems(m_earlyItems);
    m_earlyRowsCost = m_environment.clock->monotonicNow() - started;
    m_uiApplyTime += m_earlyRowsCost;
}

bool VideoListViewModel::showsExactly(const VideoList& items) const {
    if (items.size() != m_items.size()) return false;
    return std::all_of(items.begin(), items.end(), [this](const VideoItem& item) {
        const VideoItem* shown = itemWithID(item.localIdentifier());
        return shown && *shown == item;
    });
}

void VideoListViewModel::adoptScanOrder(VideoList items) {
    m_items = std::move(items);
    m_indexByID.reset();  // the sorted list, like all else derived, stays as it is
}

VideoList VideoListViewModel::withEarlyRows(const VideoList& confirmed) const {
    QSet<QString> confirmedIDs;
    confirmedIDs.reserve(confirmed.size());
    for (const VideoItem& item : confirmed) confirmedIDs.insert(item.localIdentifier());
    VideoList rows;
    rows.reserve(confirmed.size() + m_earlyItems.size());
    rows.append(confirmed);
    for (const VideoItem& item : m_earlyItems)
        if (!confirmedIDs.contains(item.localIdentifier())) rows.append(item);
    return rows;
}

bool VideoListViewModel::forgetEarlyRows() {
    m_isTakingEarlyRows = false;
    m_earlyItems.clear();
    m_earlyIDs.clear();
    return std::exchange(m_areEarlyRowsShown, false);
}

void VideoListViewModel::logScanTimings(const ScanTimings& timings) {
    m_lastScanCosts = {timings, m_uiApplyTime, m_scanWallClock};
    if (m_environment.scanLog)
        m_environment.scanLog->writeScanReport(timings.report(m_uiApplyTime, m_scanWallClock));
}

// -- derived list --

void VideoListViewModel::replaceItems(VideoList items) {
    m_items = std::move(items);
    m_sortedIndex.reset();
    deriveFromItems(ItemChange::any);
}

void VideoListViewModel::deriveFromItems(ItemChange change) {
    m_indexByID.reset();
    const LibraryStats whole = reelkeep::libraryStats(m_items, m_stats.visibleCount);
    const bool statsChanged = whole != m_stats;
    m_stats = whole;

    const bool resetForDates = rebuildDateBuckets();
    const bool resetForDuplicates = rebuildDuplicates();
    const bool resetForSimilar = rebuildSimilar();
    emit sidebarChanged();
    recomputeVisibleItems(resetForDates || resetForDuplicates || resetForSimilar, change);
    if (statsChanged) emit this->statsChanged();
    refreshSelectionStats();
}

bool VideoListViewModel::rebuildDateBuckets() {
    DateBuckets buckets = buildDateBuckets(m_items);
    m_yearBuckets = std::move(buckets.years);
    m_monthBucketsByYear = std::move(buckets.monthsByYear);
    if (!m_expandedYear || m_monthBucketsByYear.contains(*m_expandedYear)) return false;
    const int formerYear = *m_expandedYear;
    m_expandedYear.reset();
    emit filtersChanged();
    if (m_dateFilter.kind() != DateFilter::Kind::all && m_dateFilter.year() == formerYear) {
        m_dateFilter = DateFilter::all();
        return true;
    }
    return false;
}

bool VideoListViewModel::rebuildDuplicates() {
    m_duplicates = summarizeDuplicates(m_items, m_copyCheck);
    if (m_showsDuplicates && m_duplicates.countsBySize.isEmpty()) {
        m_showsIdenticalCopies = false;
        m_showsDuplicates = false;
        emit filtersChanged();
        return true;
    }
    return false;
}

const FilterIndex& VideoListViewModel::sortedIndex() {
    if (!m_sortedIndex) m_sortedIndex.emplace(sortedItems(m_items, m_sortOrder));
    return *m_sortedIndex;
}

void VideoListViewModel::recomputeVisibleItems(bool resetRows, ItemChange change) {
    const VideoList before = m_visibleItems;
    // The sort is a total order, so filtering the sorted list equals sorting the
    // filtered one; the sorted list is kept until the items or the order change.
    m_visibleItems = sortedIndex().filtered(m_sizeFilter, m_searchText, m_dateFilter,
                                            m_showsDuplicates ? &m_duplicates.countsBySize : nullptr);
    if (showsIdenticalCopies())
        m_visibleItems.removeIf([this](const VideoItem& item) {
            return !m_duplicates.copies.setSizeByID.contains(item.localIdentifier());
        });
    if (m_showsSimilarVideos) {
        // Grouped, not sorted: each set together, its best version first.
        QHash<QString, const VideoItem*> passing;
        for (const VideoItem& item : std::as_const(m_visibleItems))
            if (m_similar.setNumberByID.contains(item.localIdentifier()))
                passing.insert(item.localIdentifier(), &item);
        VideoList grouped;
        grouped.reserve(passing.size());
        for (const SimilarSet& set : std::as_const(m_similarSets))
            for (const QString& id : set.memberIDs)
                if (const VideoItem* item = passing.value(id)) grouped.append(*item);
        m_visibleItems = std::move(grouped);
    }
    if (resetRows) ++m_rowSetIdentity;
    const bool countChanged = m_stats.visibleCount != int(m_visibleItems.size());
    if (countChanged) m_stats.visibleCount = int(m_visibleItems.size());
    // An action's rows are named; anything else is worked out by the table.
    std::optional<QStringList> named;
    if (!resetRows && change == ItemChange::removals) named = leftOut(m_visibleItems, before);
    if (!resetRows && change == ItemChange::insertions) named = leftOut(before, m_visibleItems);
    if (!named)
        emit visibleItemsChanged();
    else if (change == ItemChange::removals)
        emit itemsRemoved(*named);
    else
        emit itemsInserted(*named);
    if (countChanged) emit statsChanged();
    dropHiddenSelection();
}

// Commands act on what the user sees: a row the filters hide leaves the selection.
QSet<QString> VideoListViewModel::visibleAmong(const QSet<QString>& ids) const {
    if (ids.isEmpty()) return ids;
    QSet<QString> visible;
    visible.reserve(std::min(m_visibleItems.size(), ids.size()));
    for (const VideoItem& item : m_visibleItems)
        if (ids.contains(item.localIdentifier())) visible.insert(item.localIdentifier());
    return visible.size() == ids.size() ? ids : visible;
}

void VideoListViewModel::dropHiddenSelection() {
    if (!m_selectedIDs.isEmpty()) setSelectedIDs(m_selectedIDs);
}

void VideoListViewModel::refreshSelectionStats() {
    const SelectionStats stats = reelkeep::selectionStats(
        m_selectedIDs, [this](const QString& id) { return itemWithID(id); },
        m_duplicates.copies.freeableByID);
    if (stats == m_selectionStats) return;
    m_selectionStats = stats;
    emit selectionChanged();
}

const VideoItem* VideoListViewModel::itemWithID(const QString& id) const {
    const qsizetype index = indexOf(id);
    return index < 0 ? nullptr : &m_items[index];
}

qsizetype VideoListViewModel::indexOf(const QString& id) const {
    if (!m_indexByID) {
        m_indexByID.emplace();
        m_indexByID->reserve(m_items.size());
        for (qsizetype i = 0; i < m_items.size(); ++i) m_indexByID->insert(m_items[i].localIdentifier(), i);
    }
    return m_indexByID->value(id, -1);
}

void VideoListViewModel::setSortOrder(VideoSortOrder order) {
    assertMainThread();
    if (order == m_sortOrder) return;
    m_sortOrder = order;
    m_sortedIndex.reset();
    const QList<VideoTableSortComparator> single{tableComparator(order)};
    if (m_tableSortOrder != single) m_tableSortOrder = single;
    emit filtersChanged();
    recomputeVisibleItems(true);
}

void VideoListViewModel::setTableSortOrder(const QList<VideoTableSortComparator>& comparators) {
    assertMainThread();
    if (comparators == m_tableSortOrder) return;
    m_tableSortOrder = comparators;
    emit filtersChanged();
    if (comparators.isEmpty()) return;  // the table may empty it; the order stays
    setSortOrder(videoSortOrder(comparators.first().column, comparators.first().order));
}

void VideoListViewModel::setSizeFilter(SizeFilter filter) {
    assertMainThread();
    if (filter == m_sizeFilter) return;
    m_sizeFilter = filter;
    emit filtersChanged();
    recomputeVisibleItems(true);
}

void VideoListViewModel::setSearchText(const QString& text) {
    assertMainThread();
    if (text == m_searchText) return;
    m_searchText = text;
    emit filtersChanged();
    recomputeVisibleItems(true);
}

void VideoListViewModel::setSelectedIDs(const QSet<QString>& ids) {
    assertMainThread();
    QSet<QString> shown = visibleAmong(ids);
    if (shown == m_selectedIDs) return;
    m_selectedIDs = std::move(shown);
    emit selectionChanged();
    refreshSelectionStats();
}

void VideoListViewModel::setBrowseFilter(const DateFilter& filter, bool showsDuplicates) {
    setBrowseFilter(filter, showsDuplicates, false);
}

void VideoListViewModel::setBrowseFilter(const DateFilter& filter, bool showsDuplicates, bool identicalOnly) {
    assertMainThread();
    identicalOnly = identicalOnly && showsDuplicates;
    if (m_dateFilter == filter && m_showsDuplicates == showsDuplicates &&
        m_showsIdenticalCopies == identicalOnly && !m_showsSimilarVideos)
        return;
    m_showsSimilarVideos = false;
    m_dateFilter = filter;
    m_showsDuplicates = showsDuplicates;
    m_showsIdenticalCopies = identicalOnly;
    emit filtersChanged();
    recomputeVisibleItems(true);
}

void VideoListViewModel::selectYear(int year) {
    assertMainThread();
    if (m_expandedYear != year) {
        m_expandedYear = year;
        emit filtersChanged();
    }
    setBrowseFilter(DateFilter::ofYear(year), false);
}

void VideoListViewModel::selectMonth(int year, int month) {
    setBrowseFilter(DateFilter::ofMonth(year, month), false);
}

void VideoListViewModel::showAllDates() {
    assertMainThread();
    if (m_expandedYear) {
        m_expandedYear.reset();
        emit filtersChanged();
    }
    setBrowseFilter(DateFilter::all(), false);
}

void VideoListViewModel::showDuplicates() {
    assertMainThread();
    if (m_expandedYear) {
        m_expandedYear.reset();
        emit filtersChanged();
    }
    if (column(m_sortOrder) != VideoSortColumn::size) setSortOrder(VideoSortOrder::sizeDesc);
    setBrowseFilter(DateFilter::all(), true);
}

void VideoListViewModel::showIdenticalCopies() {
    assertMainThread();
    if (m_expandedYear) {
        m_expandedYear.reset();
        emit filtersChanged();
    }
    if (column(m_sortOrder) != VideoSortColumn::size) setSortOrder(VideoSortOrder::sizeDesc);
    setBrowseFilter(DateFilter::all(), true, true);
}

void VideoListViewModel::showSimilarVideos() {
    assertMainThread();
    if (m_expandedYear) {
        m_expandedYear.reset();
        emit filtersChanged();
    }
    if (m_showsSimilarVideos && m_dateFilter == DateFilter::all()) return;
    m_dateFilter = DateFilter::all();
    m_showsDuplicates = false;
    m_showsIdenticalCopies = false;
    m_showsSimilarVideos = true;
    emit filtersChanged();
    recomputeVisibleItems(true);
}

void VideoListViewModel::clearFilters() {
    assertMainThread();
    setSearchText({});
    setSizeFilter(SizeFilter::none);
    showAllDates();  // the sidebar leaves the month list too
}

QList<DateBucket> VideoListViewModel::monthBuckets(int year) const {
    return m_monthBucketsByYear.value(year);
}

bool VideoListViewModel::hasActiveFilters() const {
    if (m_sizeFilter != SizeFilter::none || m_dateFilter.kind() != DateFilter::Kind::all ||
        m_showsDuplicates || m_showsSimilarVideos)
        return true;
    return std::any_of(m_searchText.begin(), m_searchText.end(),
                       [](QChar c) { return !isHorizontalSpace(c); });
}

// -- queries --

// In the order the table shows them: a confirmation lists, and names are
// copied and exported, as the user sees the rows. Hidden ones go last.
VideoList VideoListViewModel::itemsFor(const QSet<QString>& ids) const {
    const QSet<QString>& wanted = ids.isEmpty() ? m_selectedIDs : ids;
    VideoList found;
    if (wanted.size() == 1) {
        if (const VideoItem* item = itemWithID(*wanted.begin())) found.append(*item);
        return found;
    }
    found.reserve(wanted.size());
    for (const VideoItem& item : m_visibleItems)
        if (wanted.contains(item.localIdentifier())) found.append(item);
    if (found.size() == wanted.size()) return found;
    QSet<QString> shown;
    for (const VideoItem& item : std::as_const(found)) shown.insert(item.localIdentifier());
    for (const VideoItem& item : m_items)
        if (wanted.contains(item.localIdentifier()) && !shown.contains(item.localIdentifier()))
            found.append(item);
    return found;
}

bool VideoListViewModel::containsNonFavorite(const VideoList& items) {
    return std::any_of(items.begin(), items.end(), [](const VideoItem& item) { return !item.isFavorite(); });
}

// -- item actions --

void VideoListViewModel::runItemAction(StatusMessage status, ItemOperation operation) {
    m_isPerformingItemAction = true;
    emit activityChanged();
    setStatus(std::move(status));
    m_actionTask.start([this, operation = std::move(operation)](std::stop_token stop) {
        return runActionTask(operation, stop);
    });
}

QCoro::Task<> VideoListViewModel::runActionTask(ItemOperation operation, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    co_await operation(stop);
    if (!self) co_return;
    // Measured on the monotonic clock: a wall clock stepping back would stretch it.
    m_suppressChangesUntil = m_environment.clock->monotonicNow() + kChangeSuppression;
    m_isPerformingItemAction = false;
    emit activityChanged();
    emit itemActionFinished();
}

void VideoListViewModel::requestDeletion(const VideoList& items) {
    assertMainThread();
    if (isBusy() || items.isEmpty()) return;
    m_pendingDeletionIDs.clear();
    for (const VideoItem& item : items) m_pendingDeletionIDs.insert(item.localIdentifier());
    m_showDeleteConfirmation = true;
    emit deleteConfirmationChanged();
}

void VideoListViewModel::setShowDeleteConfirmation(bool isShown) {
    assertMainThread();
    if (isShown == m_showDeleteConfirmation) return;
    m_showDeleteConfirmation = isShown;
    emit deleteConfirmationChanged();
}

void VideoListViewModel::confirmDeletion() {
    assertMainThread();
    const QSet<QString> chosen = m_pendingDeletionIDs.isEmpty() ? m_selectedIDs : m_pendingDeletionIDs;
    const QStringList ids(chosen.begin(), chosen.end());
    m_showDeleteConfirmation = false;
    m_pendingDeletionIDs.clear();
    emit deleteConfirmationChanged();
    if (isBusy() || ids.isEmpty()) return;
    runItemAction(StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Moving %Ln video(s) to the Trash…"),
                                         ids.size()),
                  [this, ids](std::stop_token stop) { return deleteOperation(ids, stop); });
}

QCoro::Task<> VideoListViewModel::deleteOperation(QStringList ids, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const DeletionOutcome outcome = co_await m_service.deleteVideos(ids, stop);
    if (!self) co_return;
    switch (outcome.kind()) {
        case DeletionOutcome::Kind::success: {
            const QStringList& deletedList = outcome.deletedIdentifiers();
            const QSet<QString> deleted(deletedList.begin(), deletedList.end());
            VideoList batch;
            for (const VideoItem& item : m_items)
                if (deleted.contains(item.localIdentifier())) batch.append(item);
            if (!batch.isEmpty()) {
                m_trashedBatches.push_back(std::move(batch));
                emit undoChanged();
            }
            removeItems(deleted);
            // Some may have stayed: the rows remain listed and selected, and the
            // first reason is shown, so a partial move never looks complete.
            if (outcome.message()) setErrorMessage(*outcome.message());
            setStatus(StatusMessage::counted(
                QT_TRANSLATE_N_NOOP("reelkeep", "Moved %Ln video(s) to the Trash."), deleted.size()));
            break;
        }
        case DeletionOutcome::Kind::failed:
            setErrorMessage(outcome.message().value_or(
                reelkeep::tr("The selected videos could not be moved to the Trash.")));
            setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Moving to the Trash failed.")));
            break;
        case DeletionOutcome::Kind::cancelled:
            setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Moving to the Trash was cancelled.")));
            break;
    }
}

void VideoListViewModel::undoMoveToTrash() {
    assertMainThread();
    if (isBusy() || m_trashedBatches.empty()) return;
    VideoList batch = std::move(m_trashedBatches.back());
    m_trashedBatches.pop_back();
    emit undoChanged();
    runItemAction(
        StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Putting back %Ln video(s) from the Trash…"),
                               batch.size()),
        [this, batch](std::stop_token stop) { return restoreOperation(batch, stop); });
}

QCoro::Task<> VideoListViewModel::restoreOperation(VideoList batch, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const RestoreOutcome outcome = co_await m_service.restoreVideos(identifiersOf(batch), stop);
    if (!self) co_return;
    if (outcome.requestError) {
        // Nothing moved: the same videos can be asked for again.
        m_trashedBatches.push_back(std::move(batch));
        emit undoChanged();
        setErrorMessage(*outcome.requestError);
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Nothing was put back from the Trash.")));
        co_return;
    }
    const QSet<QString> restored(outcome.restoredIdentifiers.begin(), outcome.restoredIdentifiers.end());
    // Listed again as they were scanned: the file is the same one, under its old name.
    VideoList back;
    for (const VideoItem& item : batch)
        if (restored.contains(item.localIdentifier()) && !itemWithID(item.localIdentifier()))
            back.append(item);
    if (!back.isEmpty()) insertItems(back);
    if (!outcome.failures.isEmpty()) {
        QStringList reasons;  // each names its file and says it stays in the Trash
        for (const auto& failure : outcome.failures) reasons.append(failure.second);
        setErrorMessage(reasons.join(QLatin1Char('\n')));
    }
    setStatus(StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Put back %Ln video(s) from the Trash."),
                                     restored.size()));
}

QList<LibraryFolder> VideoListViewModel::unavailableFolders() const {
    QList<LibraryFolder> unavailable;
    for (const LibraryFolder& folder : m_libraryFolders.folders)
        if (folder.state != LibraryFolder::State::available) unavailable.append(folder);
    return unavailable;
}

QStringList VideoListViewModel::readableFolders() const {
    QStringList readable;
    for (const LibraryFolder& folder : m_libraryFolders.folders)
        if (folder.state == LibraryFolder::State::available) readable.append(QFile::decodeName(folder.path));
    return readable;
}

int VideoListViewModel::videoCountIn(const QString& resolvedFolder) const {
    if (resolvedFolder.isEmpty()) return 0;
    const QString below =
        resolvedFolder.endsWith(QLatin1Char('/')) ? resolvedFolder : resolvedFolder + QLatin1Char('/');
    return int(std::count_if(m_items.begin(), m_items.end(), [&](const VideoItem& item) {
        const QString& folder = item.folderPath();
        return folder == resolvedFolder || folder.startsWith(below);
    }));
}

QString unavailableFolderText(const LibraryFolder& folder) {
    const QString path = QFile::decodeName(folder.path);
    switch (folder.state) {
        case LibraryFolder::State::missing:
            return reelkeep::tr("The library folder “%1” does not exist; it was skipped.").arg(path);
        case LibraryFolder::State::unreadable:
            return reelkeep::tr("The library folder “%1” cannot be read; it was skipped.").arg(path);
        case LibraryFolder::State::notMounted:
            return reelkeep::tr("The library folder “%1” is on a drive that is not mounted; it was skipped.")
                .arg(path);
        case LibraryFolder::State::notAnswering:
            return reelkeep::tr("The library folder “%1” is not answering; it was skipped.").arg(path);
        case LibraryFolder::State::available:
            break;
    }
    return path;
}

void VideoListViewModel::refreshLibraryFolders() {
    assertMainThread();
    m_lookupTasks.add([this](std::stop_token stop) { return refreshFoldersTask(stop); });
}

QCoro::Task<> VideoListViewModel::refreshFoldersTask(std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    LibraryFolderList folders = co_await m_service.libraryFolders();
    if (!self || stop.stop_requested()) co_return;
    m_libraryFolders = std::move(folders);
    emit libraryFoldersChanged();
}

void VideoListViewModel::setLibraryFolders(std::vector<QByteArray> folders) {
    assertMainThread();
    m_lookupTasks.add([this, folders = std::move(folders)](std::stop_token stop) mutable {
        return saveFoldersTask(std::move(folders), stop);
    });
}

QCoro::Task<> VideoListViewModel::saveFoldersTask(std::vector<QByteArray> folders, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const bool isSaved = co_await m_service.setLibraryFolders(std::move(folders));
    if (!self || stop.stop_requested()) co_return;
    if (!isSaved)
        setErrorMessage(
            reelkeep::tr("The library folders could not be saved. Reelkeep uses them until it quits."));
    if (m_isScanning) {
        m_isRescanPending = true;  // this scan reads the old folders: stop it, then read the new ones
        cancelScan();
    } else if (m_isPerformingItemAction) {
        setExternalChanges(true);  // offers the rescan once the action is done
        refreshLibraryFolders();
    } else {
        rescan();
    }
}

void VideoListViewModel::showTrash() {
    assertMainThread();
    if (m_environment.workspace) m_environment.workspace->showTrash();
}

// The actions' changes: the sorted list is edited, not sorted again, and the
// table hears which rows changed, went or came.

void VideoListViewModel::removeItems(const QSet<QString>& ids) {
    m_items.removeIf([&](const VideoItem& item) { return ids.contains(item.localIdentifier()); });
    if (m_sortedIndex) m_sortedIndex->removeItems(ids);
    deriveFromItems(ItemChange::removals);
    setSelectedIDs(QSet<QString>(m_selectedIDs).subtract(ids));
}

void VideoListViewModel::insertItems(const VideoList& items) {
    m_items.append(items);
    if (m_sortedIndex) m_sortedIndex->insertItems(items, tableComparator(m_sortOrder));
    deriveFromItems(ItemChange::insertions);
}

// Values no sort, filter, count or bucket reads, such as the favorite flag.
void VideoListViewModel::updateItems(const VideoList& items) {
    QHash<QString, VideoItem> byID;
    bool touchesCopies = false;
    bool touchesSimilar = false;
    for (const VideoItem& item : items) {
        const qsizetype index = indexOf(item.localIdentifier());
        if (index < 0) continue;
        m_items[index] = item;
        byID.insert(item.localIdentifier(), item);
        touchesCopies = touchesCopies || m_duplicates.copies.setSizeByID.contains(item.localIdentifier());
        touchesSimilar = touchesSimilar || m_similar.setNumberByID.contains(item.localIdentifier());
    }
    if (byID.isEmpty()) return;
    if (m_sortedIndex) m_sortedIndex->replaceValues(byID);
    QStringList shown;
    for (VideoItem& item : m_visibleItems) {
        const auto found = byID.constFind(item.localIdentifier());
        if (found == byID.cend()) continue;
        item = *found;
        shown.append(item.localIdentifier());
    }
    // A favorite is the copy a set keeps, and may become a set's best version.
    if (touchesCopies) rebuildDuplicates();
    if (touchesSimilar && rebuildSimilar()) {
        emit sidebarChanged();
        recomputeVisibleItems(true);
        return;
    }
    if (touchesCopies || touchesSimilar) emit sidebarChanged();
    emit itemsChanged(shown);
}

void VideoListViewModel::toggleFavorites(const VideoList& items) {
    assertMainThread();
    if (isBusy() || items.isEmpty()) return;
    const bool makeFavorite = containsNonFavorite(items);
    const QStringList ids = identifiersOf(items);
    const auto count = qlonglong(ids.size());
    StatusMessage status =
        makeFavorite ? StatusMessage::counted(
                           QT_TRANSLATE_N_NOOP("reelkeep", "Adding %Ln video(s) to Favorites…"), count)
                     : StatusMessage::counted(
                           QT_TRANSLATE_N_NOOP("reelkeep", "Removing %Ln video(s) from Favorites…"), count);
    runItemAction(std::move(status), [this, ids, makeFavorite](std::stop_token stop) {
        return favoriteOperation(ids, makeFavorite, stop);
    });
}

QCoro::Task<> VideoListViewModel::favoriteOperation(QStringList ids, bool makeFavorite,
                                                    std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const Result<void> result = co_await m_service.setFavorite(ids, makeFavorite, stop);
    if (!self) co_return;
    if (!result) {
        setErrorMessage(result.error().description());
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Favorite update failed.")));
        co_return;
    }
    VideoList updated;
    for (const QString& id : ids)
        if (const VideoItem* item = itemWithID(id)) updated.append(item->replacingFavorite(makeFavorite));
    updateItems(updated);
    const auto count = qlonglong(ids.size());
    setStatus(makeFavorite
                  ? StatusMessage::counted(
                        QT_TRANSLATE_N_NOOP("reelkeep", "Added %Ln video(s) to Favorites."), count)
                  : StatusMessage::counted(
                        QT_TRANSLATE_N_NOOP("reelkeep", "Removed %Ln video(s) from Favorites."), count));
}

void VideoListViewModel::download(const VideoList& items) {
    assertMainThread();
    if (isBusy() || items.isEmpty() || !m_environment.panels) return;
    // Busy from the first click: the free names are looked up before the panel opens.
    m_isPerformingItemAction = true;
    emit activityChanged();
    // Owned as the action: runItemAction replaces it once the destinations are chosen.
    m_actionTask.start([this, items](std::stop_token) { return chooseAndExport(items); });
}

QCoro::Task<> VideoListViewModel::chooseAndExport(VideoList items) {
    QPointer<VideoListViewModel> self(this);
    QStringList names;
    for (const VideoItem& item : items) names.append(safeFileComponent(fileNameOf(item)));
    FilePanels& panels = *m_environment.panels;
    const auto endChoosing = [this] {
        m_isPerformingItemAction = false;
        emit activityChanged();
    };
    QList<DownloadPair> plan;
    if (items.size() == 1) {
        // The panel opens on a name that is free, so it never has to ask about replacing.
        const QString folder = panels.exportFolder();
        const QList<std::optional<QString>> free = co_await m_service.freeFileNames(folder, names);
        if (!self) co_return;
        const std::optional<QString> file =
            panels.chooseSaveFile({free.value(0).value_or(names.first()), folder});
        if (!file) {
            endChoosing();
            co_return;
        }
        // Taken meanwhile, or typed over an existing file: the copy takes the next free name.
        plan.append({items.first(), *file, ExportNaming::nextFreeName});
    } else {
        const std::optional<QString> folder = panels.chooseFolder(reelkeep::tr("Export Copies"));
        if (!folder) {
            endChoosing();
            co_return;
        }
        const QList<std::optional<QString>> free = co_await m_service.freeFileNames(*folder, names);
        if (!self) co_return;
        const QDir directory(*folder);
        for (qsizetype i = 0; i < items.size(); ++i) {
            // Destination empty: no free name; the export of that item fails and says so.
            const std::optional<QString> name = free.value(i);
            plan.append({items[i], name ? directory.filePath(*name) : QString{}, ExportNaming::nextFreeName});
        }
    }
    const auto count = qlonglong(plan.size());
    m_isPerformingItemAction = false;  // runItemAction takes it from here
    runItemAction(
        StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Exporting %Ln video(s)…"), count),
        [this, plan = std::move(plan)](std::stop_token stop) { return downloadOperation(plan, stop); });
}

void VideoListViewModel::showExportedFile(const QByteArray& path) {
    assertMainThread();
    if (m_exportedPaths.contains(path) && m_environment.workspace)
        m_environment.workspace->showFileInFileManager(path);
}

void VideoListViewModel::cancelExport() {
    assertMainThread();
    if (m_exportProgress) m_actionTask.requestStop();
}

QCoro::Task<> VideoListViewModel::downloadOperation(QList<DownloadPair> plan, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const auto total = qlonglong(plan.size());
    qlonglong succeeded = 0;
    std::optional<QString> lastError;
    bool isCancelled = false;
    QList<QByteArray> written;
    for (qsizetype i = 0; i < plan.size(); ++i) {
        if (stop.stop_requested()) {
            isCancelled = true;
            break;
        }
        setStatus(
            StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Exporting %1 of %2…"), {qlonglong(i + 1), total}));
        const DownloadPair& pair = plan[i];
        if (pair.destination.isEmpty()) {
            lastError = reelkeep::tr("There is no free file name for “%1” in that folder.")
                            .arg(fileNameOf(pair.item));
            continue;
        }
        m_exportProgress = ExportProgress{QFileInfo(pair.destination).fileName(), 0,
                                          pair.item.sizeState().byteCount().value_or(0)};
        emit exportProgressChanged();
        // The copy reports from its own thread; one report at a time waits for
        // this thread and shows the latest figures when it arrives.
        struct Reported {
            std::mutex mutex;
            std::int64_t writtenBytes = 0;  // guarded by mutex
            std::int64_t totalBytes = 0;    // guarded by mutex
            QByteArray path;                // guarded by mutex
            std::atomic<bool> isPosted{false};
        };
        const auto reported = std::make_shared<Reported>();
        const ResumeOnCaller mainThread;
        WriteObserver observer;
        observer.onProgress = [reported, mainThread, self](std::int64_t writtenBytes,
                                                           std::int64_t totalBytes) {
            {
                std::lock_guard lock(reported->mutex);
                reported->writtenBytes = writtenBytes;
                reported->totalBytes = totalBytes;
            }
            if (reported->isPosted.exchange(true)) return;
            mainThread.post([reported, self] {
                reported->isPosted = false;
                if (!self || !self->m_exportProgress) return;
                std::lock_guard lock(reported->mutex);
                self->m_exportProgress->writtenBytes = reported->writtenBytes;
                self->m_exportProgress->totalBytes = reported->totalBytes;
                emit self->exportProgressChanged();
            });
        };
        observer.onWritten = [reported](const QByteArray& path) {
            std::lock_guard lock(reported->mutex);
            reported->path = path;
        };
        const Result<void> result = co_await m_service.downloadVideo(
            pair.item.localIdentifier(), pair.destination, pair.naming, stop, std::move(observer));
        if (!self) co_return;
        m_exportProgress.reset();
        emit exportProgressChanged();
        if (result) {
            ++succeeded;
            std::lock_guard lock(reported->mutex);
            written.append(reported->path.isEmpty() ? QFile::encodeName(pair.destination) : reported->path);
        } else if (result.error().isCancellation()) {
            isCancelled = true;  // the copy under way was removed
            break;
        } else {
            lastError = result.error().description();
        }
    }
    if (!written.isEmpty() && m_environment.panels)
        m_environment.panels->rememberExportFolder(
            QFileInfo(QFile::decodeName(written.last())).absolutePath());
    if (isCancelled) {
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Export cancelled.")));
    } else if (lastError) {
        setErrorMessage(*lastError);
        setStatus(StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Exported %1 of %Ln video(s)."),
                                         total, {succeeded}));
    } else if (written.size() == 1) {
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Exported a copy to %1."),
                                {QDir::toNativeSeparators(QFile::decodeName(written.first()))}));
    } else {
        setStatus(StatusMessage(
            QT_TRANSLATE_NOOP("reelkeep", "Exported %1 copies to %2."),
            {qlonglong(written.size()), QFileInfo(QFile::decodeName(written.first())).absolutePath()}));
    }
    if (!written.isEmpty() && !isCancelled && !lastError) {
        m_exportedPaths = written;
        emit exportSucceeded();
    }
}

void VideoListViewModel::copyNames(const VideoList& items) {
    assertMainThread();
    if (items.isEmpty()) return;
    QStringList names;
    for (const VideoItem& item : items) names.append(pasteboardLine(item.displayName()));
    if (m_environment.pasteboard) m_environment.pasteboard->setPlainText(names.join(QLatin1Char('\n')));
    if (items.size() == 1)
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Copied %1."), {names.first()}));
    else
        setStatus(
            StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Copied %Ln name(s)."), names.size()));
}

void VideoListViewModel::copyPaths(const VideoList& items) {
    assertMainThread();
    QStringList paths;
    for (const VideoItem& item : items)
        if (!item.filePath().isEmpty()) paths.append(pasteboardLine(item.filePath()));
    if (paths.isEmpty()) return;
    if (m_environment.pasteboard) m_environment.pasteboard->setPlainText(paths.join(QLatin1Char('\n')));
    setStatus(StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Copied %Ln path(s)."), paths.size()));
}

void VideoListViewModel::showInFolder(const VideoItem& item) {
    assertMainThread();
    m_lookupTasks.add(
        [this, id = item.localIdentifier()](std::stop_token stop) { return showFileTask(id, stop); });
}

QCoro::Task<> VideoListViewModel::showFileTask(QString localIdentifier, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const FileLocation location = co_await m_service.fileLocation(localIdentifier);
    if (!self || stop.stop_requested()) co_return;
    if (location.status == FileLocation::Status::found) {
        if (m_environment.workspace) m_environment.workspace->showFileInFileManager(location.path);
    } else {
        // Silently doing nothing would look like a broken command.
        setErrorMessage(PhotoLibraryError::assetNotFound().description());
    }
}

void VideoListViewModel::showPreview(const VideoItem& item) {
    setPreviewItem(item);
}

void VideoListViewModel::setPreviewItem(std::optional<VideoItem> item) {
    assertMainThread();
    m_previewItem = std::move(item);
    emit previewItemChanged();
}

void VideoListViewModel::selectAllVisible() {
    assertMainThread();
    QSet<QString> ids;
    ids.reserve(m_visibleItems.size());
    for (const VideoItem& item : m_visibleItems) ids.insert(item.localIdentifier());
    setSelectedIDs(ids);
}

void VideoListViewModel::selectExtraCopies() {
    assertMainThread();
    if (m_isCheckingCopies) {
        // Only verified copies are ever selected: wait for the check to say which.
        m_selectsExtrasWhenChecked = true;
        setStatus(StatusMessage(QT_TRANSLATE_NOOP(
            "reelkeep", "Checking copies… Extra copies will be selected when the check is done.")));
        return;
    }
    applyExtraCopySelection(!m_copyCheck.isComplete);
}

void VideoListViewModel::applyExtraCopySelection(bool isPartial) {
    showIdenticalCopies();
    const QSet<QString> extras = verifiedExtraCopyIDs(m_copyCheck, m_visibleItems);
    setSelectedIDs(extras);
    const auto count = qlonglong(extras.size());
    if (isPartial)
        setStatus(StatusMessage(
            QT_TRANSLATE_NOOP("reelkeep", "Extra copies selected among those verified so far: %1."),
            {count}));
    else
        setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Extra copies selected: %1."), {count}));
}

std::optional<VideoListViewModel::ComparedPair> VideoListViewModel::comparablePair(
    const VideoList& items) const {
    if (items.size() != 2) return std::nullopt;
    const QString& a = items[0].localIdentifier();
    const QString& b = items[1].localIdentifier();
    for (const SimilarSet& set : m_similarSets) {
        const qsizetype first = set.memberIDs.indexOf(a), second = set.memberIDs.indexOf(b);
        if (first < 0 || second < 0) continue;
        return first < second ? ComparedPair{items[0], items[1]} : ComparedPair{items[1], items[0]};
    }
    return std::nullopt;
}

void VideoListViewModel::setComparedItems(std::optional<ComparedPair> pair) {
    assertMainThread();
    if (!pair && !m_comparedItems) return;
    m_comparedItems = std::move(pair);
    emit comparedItemsChanged();
}

void VideoListViewModel::selectLesserVersions() {
    assertMainThread();
    if (m_isCheckingSimilar) {
        setStatus(StatusMessage(QT_TRANSLATE_NOOP(
            "reelkeep", "Comparing videos… Lesser versions can be selected when the comparison is done.")));
        return;
    }
    if (!m_showsSimilarVideos) {
        // Nothing is chosen in sets the user has not looked at.
        showSimilarVideos();
        setStatus(StatusMessage(
            QT_TRANSLATE_NOOP("reelkeep", "Check each set, then choose Select Lesser Versions again.")));
        return;
    }
    QSet<QString> shown;
    for (const VideoItem& item : std::as_const(m_visibleItems)) shown.insert(item.localIdentifier());
    QList<SimilarSet> seen;
    for (const SimilarSet& set : std::as_const(m_similarSets))
        if (!set.memberIDs.isEmpty() && shown.contains(set.memberIDs.first())) seen.append(set);
    QSet<QString> lesser = lesserVersionIDs(seen, m_items);
    lesser.intersect(shown);
    setSelectedIDs(lesser);
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Lesser versions selected: %1."),
                            {qlonglong(lesser.size())}));
}

// -- outside changes --

void VideoListViewModel::handleLibraryChange(const LibraryChange& change) {
    assertMainThread();
    if (isBusy() || m_items.isEmpty()) return;
    if (m_environment.clock->monotonicNow() < m_suppressChangesUntil) return;
    if (change.identifiers && change.identifiers->size() <= kDirectChangeLimit) {
        if (!change.identifiers->isEmpty())
            m_changeTasks.add([this, ids = *change.identifiers](std::stop_token stop) {
                return applyOutsideChanges(ids, stop);
            });
        return;
    }
    m_changeTasks.add([this](std::stop_token stop) { return reconcileWithLibrary(stop); });
}

// A few videos added, edited or removed elsewhere: the list follows at once, each
// row in place, with no rescan to offer.
QCoro::Task<> VideoListViewModel::applyOutsideChanges(QStringList ids, std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    VideoList fresh = co_await m_service.readVideos(ids, stop);
    if (!self || stop.stop_requested()) co_return;
    QStringList unknownIDs;
    for (const VideoItem& item : fresh)
        if (item.sizeState().kind() == SizeState::Kind::unavailable)
            unknownIDs.append(item.localIdentifier());
    if (!unknownIDs.isEmpty()) {
        const QHash<QString, SizeState> sizes = co_await m_service.probeSizes(unknownIDs, kProbeWidth, stop);
        if (!self || stop.stop_requested()) co_return;
        for (VideoItem& item : fresh)
            if (const auto probed = sizes.constFind(item.localIdentifier()); probed != sizes.cend())
                item = item.replacingSizeState(*probed);
    }
    // A scan begun meanwhile lists everything anew.
    if (m_isScanning) co_return;
    const QSet<QString> asked(ids.begin(), ids.end());
    QHash<QString, VideoItem> freshByID;
    for (const VideoItem& item : fresh) freshByID.insert(item.localIdentifier(), item);
    VideoList updated;
    updated.reserve(m_items.size() + fresh.size());
    QSet<QString> listed;
    QSet<QString> removedIDs;
    QSet<QString> staleIDs;  // changed or removed: not the bytes any copy check compared
    qlonglong removed = 0, changed = 0, added = 0;
    for (const VideoItem& item : m_items) {
        const QString& id = item.localIdentifier();
        listed.insert(id);
        if (!asked.contains(id)) {
            updated.append(item);
            continue;
        }
        const auto now = freshByID.constFind(id);
        if (now == freshByID.cend()) {
            ++removed;
            removedIDs.insert(id);
            staleIDs.insert(id);
            continue;
        }
        if (*now != item) {
            ++changed;
            staleIDs.insert(id);
        }
        updated.append(*now);
    }
    for (const VideoItem& item : fresh) {
        if (listed.contains(item.localIdentifier())) continue;
        listed.insert(item.localIdentifier());
        updated.append(item);
        ++added;
    }
    if (removed + changed + added == 0) co_return;
    forgetCopyVerdicts(staleIDs);
    forgetFingerprints(staleIDs);
    replaceItems(std::move(updated));
    setSelectedIDs(QSet<QString>(m_selectedIDs).subtract(removedIDs));  // an edited row stays selected
    setStatus(StatusMessage(QT_TRANSLATE_NOOP("reelkeep",
                                              "Updated from your video folders: %1 added, %2 "
                                              "changed, %3 removed."),
                            {added, changed, removed}));
}

// A video changed or gone since the check is no verified copy of anything now.
void VideoListViewModel::forgetCopyVerdicts(const QSet<QString>& ids) {
    if (ids.isEmpty()) return;
    QList<CopySet> sets;
    for (CopySet set : std::as_const(m_copyCheck.sets)) {
        set.members.removeIf([&](const CopyMember& member) {
            if (!ids.contains(member.localIdentifier)) return false;
            m_copyCheck.notVerified.insert(member.localIdentifier);
            return true;
        });
        if (set.members.size() >= 2) sets.append(std::move(set));
    }
    m_copyCheck.sets = std::move(sets);
}

QCoro::Task<> VideoListViewModel::reconcileWithLibrary(std::stop_token stop) {
    QPointer<VideoListViewModel> self(this);
    const QStringList ids = identifiersOf(m_items);
    const QSet<QString> existing = co_await m_service.existingIdentifiers(ids, stop);
    if (!self || stop.stop_requested()) co_return;
    // Counted per item, not as ids - existing: identifiers may repeat.
    const auto removed = std::count_if(m_items.begin(), m_items.end(), [&](const VideoItem& item) {
        return !existing.contains(item.localIdentifier());
    });
    if (removed == 0) {
        setExternalChanges(true);
        co_return;
    }
    QSet<QString> gone;
    for (const VideoItem& item : m_items)
        if (!existing.contains(item.localIdentifier())) gone.insert(item.localIdentifier());
    removeItems(gone);
    setExternalChanges(true);
    setStatus(StatusMessage::counted(
        QT_TRANSLATE_N_NOOP("reelkeep", "%Ln video(s) no longer in your video folders."), removed));
}

// -- small setters --

void VideoListViewModel::setStatus(StatusMessage status) {
    m_status = std::move(status);
    emit statusChanged();
}

void VideoListViewModel::setErrorMessage(std::optional<QString> message) {
    if (message == m_errorMessage) return;
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void VideoListViewModel::clearErrorMessage() {
    setErrorMessage(std::nullopt);
}

void VideoListViewModel::setExternalChanges(bool hasChanges) {
    if (hasChanges == m_hasExternalChanges) return;
    m_hasExternalChanges = hasChanges;
    emit externalChangesChanged();
}

}  // namespace reelkeep
