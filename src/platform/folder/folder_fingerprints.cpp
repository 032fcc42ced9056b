// folder_fingerprints.cpp: the folder library's fingerprints of what videos show.
// One coordinating job on its own thread looks every scanned file up in the
// index, then drives at most one background worker per core through the rest
// in small batches; results and lasting failures go to the index, so an
// unchanged library is fingerprinted again without decoding a frame.
#include <sched.h>
#include <sys/resource.h>

#include <QDebug>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/folder/folder_asset.h"
#include "platform/folder/folder_errors.h"
#include "platform/folder/folder_library.h"
#include "platform/folder/fs/content_compare.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/media/visual_fingerprint.h"

namespace reelkeep {

namespace {

// Small batches: progress moves steadily, and a crash retries few files.
constexpr std::size_t kFingerprintBatch = 8;
constexpr std::chrono::milliseconds kProgressInterval{100};
// Past a worker's own time limit, what its reply may take to arrive.
constexpr std::chrono::seconds kReplySlack{5};
constexpr int kLargestStripPicture = 1024;

store::ContentFingerprint contentKey(const ScannedFile& file) {
    return {file.fingerprint.device, file.fingerprint.inode, file.fingerprint.sizeBytes,
            file.fingerprint.mtimeNs, file.fingerprint.ctimeNs};
}

// A file that fails for what its bytes are fails again until it changes; a
// slow disk, a refusal or a stop says nothing about the file.
bool isLasting(media::MediaErrorKind kind) {
    return kind != media::MediaErrorKind::timedOut && kind != media::MediaErrorKind::unreadable &&
           kind != media::MediaErrorKind::notRegularFile;
}

// The calling thread yields the processor and the disk to everyone else.
void useBackgroundPriority() {
    const sched_param none{};
    ::sched_setscheduler(0, SCHED_IDLE, &none);  // 0: this thread only
    ::setpriority(PRIO_PROCESS, 0, 19);
    fs::useIdleIoPriority();
}

struct Progress {
    std::mutex mutex;
    SimilarityCheck check;
    SimilarityProgress step;
    std::chrono::steady_clock::time_point reported;
};

}  // namespace

SimilarityCheck FolderLibrary::fingerprintScanned(const FetchResult& scanned,
                                                  const std::function<void(SimilarityProgress)>& progress,
                                                  const std::stop_token& stop) {
    std::vector<const FolderAsset*> files;
    for (const AssetRef& asset : scanned)
        if (const auto* file = dynamic_cast<const FolderAsset*>(asset.get())) files.push_back(file);

    Progress shared;
    shared.step.totalVideos = qsizetype(files.size());
    std::vector<store::ContentFingerprint> keys;
    keys.reserve(files.size());
    for (const FolderAsset* file : files) keys.push_back(contentKey(file->file()));
    const std::vector<std::optional<store::VisualRecord>> known = m_index->lookupVisual(keys);
    std::vector<const FolderAsset*> unknown;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i >= known.size() || !known[i]) {
            unknown.push_back(files[i]);
            continue;
        }
        if (known[i]->fingerprint)
            shared.check.fingerprints.insert(files[i]->identifier(), *known[i]->fingerprint);
        else
            shared.check.failed.insert(files[i]->identifier());
        ++shared.step.doneVideos;
    }
    if (progress) progress(shared.step);
    shared.reported = std::chrono::steady_clock::now();

    const std::shared_ptr<media::ThumbnailWorkerPool> workers = m_backgroundWorkers;
    const auto fingerprintBatch = [&](std::span<const FolderAsset* const> batch) {
        std::vector<fs::UniqueFd> opened;
        std::vector<const FolderAsset*> openedFiles;
        media::InputLimits limits = m_options.readLimits;
        limits.timeLimit = {};
        for (const FolderAsset* file : batch) {
            // Gone or changed since the scan: left for the next one.
            fs::Result<fs::UniqueFd> fd = fs::openVerifiedPath(file->file().path, file->file().fingerprint);
            if (!fd) continue;
            opened.push_back(std::move(fd).value());
            openedFiles.push_back(file);
            // One limit for the batch: that of its longest video. A length is
            // not read for this (unknown: the longest limit); the worker holds
            // each file to the limit of the length it finds.
            limits.timeLimit = std::max(limits.timeLimit, media::fingerprintTimeLimit(file->knownDuration()));
        }
        std::vector<media::MediaResult<VisualFingerprint>> results;
        if (workers) {
            std::vector<int> fds;
            for (const fs::UniqueFd& fd : opened) fds.push_back(fd.get());
            if (!fds.empty())
                results = workers->fingerprint(fds, limits, limits.timeLimit + kReplySlack, stop);
        } else {
            for (const fs::UniqueFd& fd : opened)
                results.push_back(stop.stop_requested() ? media::MediaError(media::MediaErrorKind::timedOut,
                                                                            QStringLiteral("stopped"))
                                                        : media::fingerprintVideo(fd.get(), limits));
        }
        std::lock_guard lock(shared.mutex);
        for (std::size_t j = 0; j < results.size() && j < openedFiles.size(); ++j) {
            const FolderAsset& file = *openedFiles[j];
            if (results[j]) {
                shared.check.fingerprints.insert(file.identifier(), results[j].value());
                m_index->storeVisual(contentKey(file.file()), store::VisualRecord{results[j].value()});
            } else if (isLasting(results[j].error().kind())) {
                qInfo().noquote() << "reelkeep: not compared:" << fs::displayPath(file.file().path) << "-"
                                  << results[j].error().message();
                shared.check.failed.insert(file.identifier());
                m_index->storeVisual(contentKey(file.file()), store::VisualRecord{});
            }
        }
        if (stop.stop_requested()) return;
        shared.step.doneVideos += qsizetype(batch.size());
        const auto now = std::chrono::steady_clock::now();
        if (progress && now - shared.reported >= kProgressInterval) {
            shared.reported = now;
            progress(shared.step);
        }
    };

    const std::size_t batches = (unknown.size() + kFingerprintBatch - 1) / kFingerprintBatch;
    std::atomic<std::size_t> nextBatch{0};
    const auto drive = [&] {
        useBackgroundPriority();
        for (std::size_t b = nextBatch++; b < batches && !stop.stop_requested(); b = nextBatch++) {
            const std::size_t first = b * kFingerprintBatch;
            fingerprintBatch(
                std::span(unknown).subspan(first, std::min(kFingerprintBatch, unknown.size() - first)));
        }
    };
    // At most one worker per core: each driver keeps one worker busy.
    const std::size_t drivers =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), batches);
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 1; t < drivers; ++t) threads.emplace_back(drive);
        if (drivers > 0) drive();
    }
    m_index->flush();
    shared.check.isComplete = !stop.stop_requested();
    if (progress && shared.check.isComplete) progress(shared.step);
    return std::move(shared.check);
}

RequestId FolderLibrary::fingerprintVideos(std::function<void(SimilarityProgress)> progress,
                                           std::function<void(SimilarityCheck)> handler) {
    const auto pending = m_requests.open<SimilarityCheck>(std::move(handler));
    m_fingerprinting.post([this, pending, scanned = m_scanned.all(), progress = std::move(progress)] {
        // Closing the library ends the work at once, killing the workers in flight.
        const std::stop_callback onClosing(m_closing.get_token(), [pending] { pending->requestStop(); });
        pending->answer(fingerprintScanned(scanned, progress, pending->stopToken()));
    });
    return pending->id();
}

void FolderLibrary::cancelFingerprinting(RequestId id) {
    m_requests.requestStop(id);
}

RequestId FolderLibrary::requestFrameStrip(const AssetRef& asset, int maxPixelSize,
                                           std::function<void(FrameStripResult)> handler) {
    const auto pending = m_requests.open<FrameStripResult>(std::move(handler));
    std::shared_ptr<const FolderAsset> folderAsset = std::dynamic_pointer_cast<const FolderAsset>(asset);
    if (!folderAsset) {
        pending->answer(FrameStripResult{{}, goneError()});
        return pending->id();
    }
    const int side = std::clamp(maxPixelSize, 1, kLargestStripPicture);
    m_decodePool.post([this, pending, folderAsset, side] {
        if (pending->isStopRequested() || pending->isAnswered()) return;
        const std::stop_callback onClosing(m_closing.get_token(), [pending] { pending->requestStop(); });
        fs::Result<fs::UniqueFd> fd =
            fs::openVerifiedPath(folderAsset->file().path, folderAsset->file().fingerprint);
        if (!fd) return pending->answer(FrameStripResult{{}, ioFailure(fd.error())});
        media::InputLimits limits = m_options.readLimits;
        limits.timeLimit = media::fingerprintTimeLimit(folderAsset->knownDuration());
        media::MediaResult<std::vector<Picture>> strip =
            m_workers ? m_workers->decodeFrameStrip(fd->get(), side, limits, limits.timeLimit + kReplySlack,
                                                    pending->stopToken())
                      : media::decodeFrameStrip(fd->get(), side, limits);
        if (!strip)
            return pending->answer(
                FrameStripResult{{}, PlatformError{kFolderErrorDomain, kMediaCode, strip.error().message()}});
        pending->answer(FrameStripResult{QList<Picture>(strip->begin(), strip->end()), std::nullopt});
    });
    return pending->id();
}

void FolderLibrary::cancelFrameStrip(RequestId id) {
    const auto pending = m_requests.find<FrameStripResult>(id);
    if (!pending) return;
    pending->requestStop();
    pending->answer(FrameStripResult{{}, cancelledError()});
}

}  // namespace reelkeep
