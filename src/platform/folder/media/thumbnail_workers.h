// thumbnail_workers.h: thumbnails decoded and containers read in long-lived
// worker processes. FFmpeg meets every hostile file a library holds; in a
// worker, a demuxer or decoder that crashes or hangs costs that worker, never
// the window. A worker past its time limit is killed and the next request
// starts a fresh one. Workers run under resource limits and die with the
// process that started them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <vector>
#include "model/picture.h"

#include "container_read.h"
#include "fd_input.h"
#include "media_error.h"
#include "thumbnail_wire.h"

namespace reelkeep::media {

// How to start a worker: it serves requests on descriptor 3 (runThumbnailWorker).
struct WorkerCommand {
    std::string program;
    std::vector<std::string> arguments;  // after the program name
};

// The application's own executable in its worker mode.
WorkerCommand selfWorkerCommand();
inline constexpr const char* kThumbnailWorkerFlag = "--thumbnail-worker";

struct WorkerLimits {
    // Address space of one worker; 0: unlimited (sanitizer builds reserve terabytes).
    std::uint64_t addressSpaceBytes = 0;
    int openFiles = 64;
    int requestsPerWorker = 500;  // then replaced, so a slow leak in a decoder stays small
    // Lowest CPU and I/O priority (nice 19, SCHED_IDLE, idle I/O class): work
    // nobody waits for yields to everything else on the machine.
    bool isBackground = false;
};
WorkerLimits defaultWorkerLimits();

class ThumbnailWorkerPool {
public:
    ThumbnailWorkerPool(WorkerCommand command, WorkerLimits limits);
    ~ThumbnailWorkerPool();  // kills every worker
    ThumbnailWorkerPool(const ThumbnailWorkerPool&) = delete;
    ThumbnailWorkerPool& operator=(const ThumbnailWorkerPool&) = delete;

    // Decodes through an idle worker (starting one if none is idle), waiting at
    // most `wait` for the picture. A worker that runs past it, crashes, answers
    // nonsense or is stopped through `stop` is killed; the error says which.
    MediaResult<Picture> decode(int videoFd, int maxPixelSize, const InputLimits& limits,
                                std::chrono::milliseconds wait, std::stop_token stop = {});

    // Reads the containers of the given files through idle workers, in batches,
    // one result per file in order. A worker that crashes or hangs (no record
    // within waitPerFile) costs its batch one retry file by file; the file it
    // then fails on gets a damaged error (lasting: it would crash again), every
    // other file its record. A worker that fails for another reason (it could
    // not start) answers unreadable for the files left.
    std::vector<MediaResult<MediaInfo>> readMetadata(std::span<const int> videoFds, const InputLimits& limits,
                                                     std::chrono::milliseconds waitPerFile,
                                                     std::stop_token stop = {});

    // Fingerprints of the given files, as readMetadata reads containers: in
    // batches, one result per file in order, a crash or hang costing its batch
    // one retry file by file and the file it then fails on a damaged error.
    std::vector<MediaResult<VisualFingerprint>> fingerprint(std::span<const int> videoFds,
                                                            const InputLimits& limits,
                                                            std::chrono::milliseconds waitPerFile,
                                                            std::stop_token stop = {});

    // One video's frame strip, waiting and failing as decode does.
    MediaResult<std::vector<Picture>> decodeFrameStrip(int videoFd, int maxPixelSize,
                                                       const InputLimits& limits,
                                                       std::chrono::milliseconds wait,
                                                       std::stop_token stop = {});

    // Workers started so far (for tests: a replaced worker counts again).
    int startedWorkers() const;

private:
    struct Worker {
        pid_t pid = -1;
        int socket = -1;
        int requestsServed = 0;
    };
    MediaResult<Worker> start();
    static int end(Worker& worker, bool kill);  // the wait status
    // An idle worker, else a new one, that took the request `send` wrote.
    MediaResult<Worker> sendToWorker(const std::function<bool(int socket)>& send);
    void keepOrRetire(Worker worker);  // after a request answered in full
    static bool awaitReply(const Worker& worker, std::chrono::steady_clock::time_point deadline,
                           const std::stop_token& stop);
    static std::chrono::milliseconds timeLeft(std::chrono::steady_clock::time_point deadline);
    // One request with one reply, through an idle worker.
    template <typename T>
    MediaResult<T> requestOne(const std::function<bool(int socket)>& send,
                              const std::function<MediaResult<T>(int socket, std::chrono::milliseconds wait,
                                                                 bool* isWorkerFault)>& receive,
                              std::chrono::milliseconds wait, const std::stop_token& stop,
                              const char* reader);
    // A reply per file, asked for in batches of at most kMaxMetadataBatch.
    template <typename T>
    std::vector<MediaResult<T>> requestPerFile(
        std::span<const int> videoFds,
        const std::function<bool(int socket, std::span<const int> batch)>& send,
        const std::function<MediaResult<T>(int socket, std::chrono::milliseconds wait, bool* isWorkerFault)>&
            receive,
        std::chrono::milliseconds waitPerFile, const std::stop_token& stop, const char* reader);

    const WorkerCommand m_command;
    const WorkerLimits m_limits;
    mutable std::mutex m_mutex;
    std::vector<Worker> m_idle;
    int m_started = 0;
};

// Worker side, for main() after the worker flag: the last argument is the pid
// of the process that started it. Sets the process up (dies with its parent,
// no stray descriptors) and serves requests on descriptor 3. Returns the exit status.
int runThumbnailWorker(int argc, char** argv, const WorkerHooks& hooks = {});

}  // namespace reelkeep::media
