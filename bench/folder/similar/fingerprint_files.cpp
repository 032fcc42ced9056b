// fingerprint_files.cpp: `reelkeep-fingerprints [--jobs N] [--workers] FILE...`
// prints one JSON line per file, in the order given: its path and either its
// fingerprint (length, aspect ratio, frame hashes in hex, 0 for a frame that
// did not decode) or the error. The files per second go to stderr. Decodes in
// this process with N threads (default: one per core), or with --workers as
// the library does: N sandboxed worker processes at the lowest priority, fed
// batches of descriptors.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "platform/folder/media/thumbnail_workers.h"
#include "platform/folder/media/visual_fingerprint.h"

namespace {

using reelkeep::kFingerprintFrames;
using reelkeep::VisualFingerprint;
using reelkeep::media::MediaResult;

QByteArray describe(const char* path, const MediaResult<VisualFingerprint>& result) {
    QJsonObject line{{"path", QFile::decodeName(path)}};
    if (!result) {
        line.insert("error", result.error().message());
        return QJsonDocument(line).toJson(QJsonDocument::Compact);
    }
    QJsonArray hashes;
    for (int i = 0; i < kFingerprintFrames; ++i)
        hashes.append(QStringLiteral("%1").arg(result->frameHashes[i], 16, 16, QLatin1Char('0')));
    line.insert("duration", result->durationSeconds);
    line.insert("aspect", result->aspectRatio);
    line.insert("frames", result->frameCount);
    line.insert("hashes", hashes);
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

// As the library sends them: the same batch size, limits and priority; the
// lengths are not known here, so every file gets the longest limit.
constexpr std::size_t kBatch = 8;
const reelkeep::media::InputLimits kLimits{reelkeep::media::fingerprintTimeLimit(0)};
const std::chrono::milliseconds kWaitPerFile = kLimits.timeLimit + std::chrono::seconds(5);

MediaResult<VisualFingerprint> cannotOpen() {
    return reelkeep::media::MediaError(reelkeep::media::MediaErrorKind::unreadable,
                                       QString::fromLocal8Bit(std::strerror(errno)));
}

int openVideo(const char* path) {
    return ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

void fingerprintBatch(std::span<const char* const> paths, std::span<QByteArray> lines,
                      reelkeep::media::ThumbnailWorkerPool* workers) {
    std::vector<int> fds;
    for (const char* path : paths) fds.push_back(openVideo(path));
    std::vector<int> opened;
    for (const int fd : fds)
        if (fd >= 0) opened.push_back(fd);
    std::vector<MediaResult<VisualFingerprint>> results;
    if (workers && !opened.empty()) results = workers->fingerprint(opened, kLimits, kWaitPerFile);
    std::size_t next = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (fds[i] < 0) {
            lines[i] = describe(paths[i], cannotOpen());
            continue;
        }
        lines[i] = describe(
            paths[i], workers ? results.at(next++) : reelkeep::media::fingerprintVideo(fds[i], kLimits));
        ::close(fds[i]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], reelkeep::media::kThumbnailWorkerFlag) == 0)
        return reelkeep::media::runThumbnailWorker(argc, argv);
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<const char*> paths;
    bool isOptionsEnd = false;
    bool isInWorkers = false;
    for (int i = 1; i < argc; ++i) {
        if (!isOptionsEnd && std::strcmp(argv[i], "--jobs") == 0 && i + 1 < argc)
            jobs = std::max(1, std::atoi(argv[++i]));
        else if (!isOptionsEnd && std::strcmp(argv[i], "--workers") == 0)
            isInWorkers = true;
        else if (!isOptionsEnd && std::strcmp(argv[i], "--") == 0)
            isOptionsEnd = true;
        else
            paths.push_back(argv[i]);
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: reelkeep-fingerprints [--jobs N] [--workers] FILE...\n");
        return 2;
    }
    std::vector<QByteArray> lines(paths.size());
    std::optional<reelkeep::media::ThumbnailWorkerPool> workers;
    if (isInWorkers) {
        reelkeep::media::WorkerLimits limits = reelkeep::media::defaultWorkerLimits();
        limits.isBackground = true;
        workers.emplace(reelkeep::media::selfWorkerCommand(), limits);
    }
    const std::size_t batch = isInWorkers ? kBatch : 1;
    std::atomic<std::size_t> next{0};
    const auto started = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < jobs; ++t)
            threads.emplace_back([&] {
                for (std::size_t first = next.fetch_add(batch); first < paths.size();
                     first = next.fetch_add(batch)) {
                    const std::size_t count = std::min(batch, paths.size() - first);
                    fingerprintBatch(std::span(paths).subspan(first, count),
                                     std::span(lines).subspan(first, count), workers ? &*workers : nullptr);
                }
            });
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    int failures = 0;
    for (const QByteArray& line : lines) {
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
        failures += line.contains("\"error\"") ? 1 : 0;
    }
    std::fprintf(stderr, "%zu files, %d failed, %.3f s, %.1f files/s, %d jobs\n", paths.size(), failures,
                 seconds, static_cast<double>(paths.size()) / seconds, jobs);
    return failures == 0 ? 0 : 1;
}
