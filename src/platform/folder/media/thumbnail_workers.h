// thumbnail_workers.h: thumbnails decoded in long-lived worker processes.
// FFmpeg meets every hostile file a library holds; in a worker, a decoder that
// crashes or hangs costs that worker, never the window. A worker past its time
// limit is killed and the next request starts a fresh one. Workers run under
// resource limits and die with the process that started them.
#pragma once

#include <sys/types.h>

#include <QImage>
#include <chrono>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "fd_input.h"
#include "media_error.h"

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
    MediaResult<QImage> decode(int videoFd, int maxPixelSize, const InputLimits& limits,
                               std::chrono::milliseconds wait, std::stop_token stop = {});

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

    const WorkerCommand m_command;
    const WorkerLimits m_limits;
    mutable std::mutex m_mutex;
    std::vector<Worker> m_idle;
    int m_started = 0;
};

// Worker side, for main() after the worker flag: the last argument is the pid
// of the process that started it. Sets the process up (dies with its parent,
// no stray descriptors) and serves requests on descriptor 3. Returns the exit status.
int runThumbnailWorker(int argc, char** argv);

}  // namespace reelkeep::media
