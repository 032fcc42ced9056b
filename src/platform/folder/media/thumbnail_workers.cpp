// thumbnail_workers.cpp: posix_spawn (safe in a threaded process, unlike fork),
// limits set with prlimit before the first request is sent, and every worker
// reaped exactly once, so none is left as a zombie.
#include "thumbnail_workers.h"

#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "ffmpeg_loader.h"
#include "thumbnail_wire.h"
#include "worker_sandbox.h"

extern char** environ;

namespace reelkeep::media {

namespace {

constexpr int kWorkerSocket = 3;
// How often a waiting decode looks at its stop token.
constexpr std::chrono::milliseconds kStopCheck{50};

MediaError workerError(MediaErrorKind kind, const char* what, int error = 0) {
    QString detail = QString::fromLatin1(what);
    if (error != 0) detail += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    return MediaError(kind, detail);
}

// Empty: nothing of the user's environment (tokens, proxies, paths) reaches
// a decoder. Sanitizer builds keep their options (suppressions).
char** workerEnvironment() {
    static std::vector<std::string> kept = [] {
        std::vector<std::string> variables;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        for (char** variable = environ; *variable; ++variable)
            for (const char* prefix : {"ASAN_OPTIONS=", "LSAN_OPTIONS=", "UBSAN_OPTIONS=", "TSAN_OPTIONS="})
                if (std::strncmp(*variable, prefix, std::strlen(prefix)) == 0)
                    variables.emplace_back(*variable);
#endif
        return variables;
    }();
    static std::vector<char*> pointers = [] {
        std::vector<char*> list;
        for (std::string& variable : kept) list.push_back(variable.data());
        list.push_back(nullptr);
        return list;
    }();
    return pointers.data();
}

bool setLimit(pid_t pid, __rlimit_resource resource, rlim_t value) {
    const rlimit limit{value, value};
    return ::prlimit(pid, resource, &limit, nullptr) == 0;
}

bool isCrash(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE ||
           signal == SIGABRT || signal == SIGSYS;
}

// From linux/ioprio.h, which glibc does not wrap.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

// Best effort: a worker left at normal priority still works, only less politely.
void lowerPriority(pid_t pid) {
    const sched_param none{};
    ::sched_setscheduler(pid, SCHED_IDLE, &none);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), 19);
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, pid, kIoprioClassIdle << kIoprioClassShift);
}

// User and system time a process has run so far; zero when unknown.
std::chrono::milliseconds cpuTime(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return {};
    const QByteArray line = stat.readAll();
    // Fields after the name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return {};
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0) return {};
    const long long ticks = fields[11].toLongLong() + fields[12].toLongLong();  // utime, stime
    return std::chrono::milliseconds(ticks * 1000 / ticksPerSecond);
}

Q_LOGGING_CATEGORY(lcSandbox, "reelkeep.sandbox", QtInfoMsg)

int serveAsWorker(int socketFd, pid_t parent, const WorkerHooks& hooks) {
    // Dies with the thread that started it; checked after, in case that already happened.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) return 1;
    ::close_range(static_cast<unsigned>(socketFd) + 1, ~0U, 0);
    loadFfmpeg();  // the sandbox opens no more files
    // Freed frame buffers stay mapped for the next video: fresh pages cost a
    // fault each, and zeroing new ones was two thirds of a fingerprint.
    ::mallopt(M_MMAP_THRESHOLD, 256 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 512 << 20);
    const SandboxReport sandbox = enterWorkerSandbox();
    if (!sandbox.missingLayers.isEmpty())
        qCInfo(lcSandbox).noquote() << "reelkeep: media worker runs without:"
                                    << sandbox.missingLayers.join(QStringLiteral(", "))
                                    << "(not offered by this system)";
    // Unconfined, a decoder taken over by a hostile file could reach every file of the user.
    if (!sandbox.isConfined) return 1;
    // _exit: nothing is left to flush, and exit handlers (the leak checker's
    // among them) would make calls the filter forbids.
    ::_exit(serveMediaRequests(socketFd, hooks) ? 0 : 1);
}

}  // namespace

WorkerCommand selfWorkerCommand() {
    // The running executable even if a package upgrade has replaced the file since.
    return WorkerCommand{"/proc/self/exe", {kThumbnailWorkerFlag}};
}

WorkerLimits defaultWorkerLimits() {
    WorkerLimits limits;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A 4K HEVC frame and its scaler need a few hundred megabytes; a hostile
    // file asking for far more is refused instead of swapping the machine.
    limits.addressSpaceBytes = std::uint64_t{2} << 30;
#endif
    return limits;
}

ThumbnailWorkerPool::ThumbnailWorkerPool(WorkerCommand command, WorkerLimits limits)
    : m_command(std::move(command)), m_limits(limits) {}

ThumbnailWorkerPool::~ThumbnailWorkerPool() {
    std::lock_guard lock(m_mutex);
    for (Worker& worker : m_idle) end(worker, true);
}

int ThumbnailWorkerPool::startedWorkers() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

MediaResult<ThumbnailWorkerPool::Worker> ThumbnailWorkerPool::start() {
    int sockets[2];
    // Close-on-exec on both ends: a worker started by another thread meanwhile
    // must not inherit this pair, or a crash here would never read as an end.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return workerError(MediaErrorKind::unreadable, "could not start the thumbnail decoder", errno);

    std::vector<std::string> arguments{m_command.program};
    arguments.insert(arguments.end(), m_command.arguments.begin(), m_command.arguments.end());
    arguments.push_back(std::to_string(::getpid()));
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], kWorkerSocket);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, m_command.program.c_str(), &actions, nullptr, argv.data(), workerEnvironment());
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        return workerError(MediaErrorKind::unreadable, "could not start the thumbnail decoder", spawned);
    }
    Worker worker{pid, sockets[0], 0};
    // No file-size limit: a warning written to a stderr redirected into a file
    // would kill the worker and read as a crash on the video.
    const bool isLimited = setLimit(pid, RLIMIT_CORE, 0) &&
                           setLimit(pid, RLIMIT_NOFILE, static_cast<rlim_t>(m_limits.openFiles)) &&
                           (m_limits.addressSpaceBytes == 0 ||
                            setLimit(pid, RLIMIT_AS, static_cast<rlim_t>(m_limits.addressSpaceBytes)));
    if (isLimited && m_limits.isBackground) lowerPriority(pid);
    if (!isLimited) {
        const int error = errno;
        end(worker, true);
        return workerError(MediaErrorKind::unreadable, "could not limit the thumbnail decoder", error);
    }
    std::lock_guard lock(m_mutex);
    ++m_started;
    return worker;
}

int ThumbnailWorkerPool::end(Worker& worker, bool kill) {
    if (worker.pid <= 0) return 0;
    ::close(worker.socket);
    // A closed socket ends a healthy worker. Killing one that already died of a
    // fault of its own keeps that fault as its status.
    if (kill) ::kill(worker.pid, SIGKILL);
    int status = 0;
    while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    worker.pid = -1;
    worker.socket = -1;
    return status;
}

MediaResult<ThumbnailWorkerPool::Worker> ThumbnailWorkerPool::sendToWorker(
    const std::function<bool(int socket)>& send) {
    Worker worker;
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            worker = m_idle.back();
            m_idle.pop_back();
        }
    }
    // An idle worker may have ended meanwhile (killed from outside, say): a fresh one takes over.
    if (worker.pid > 0 && send(worker.socket)) return worker;
    if (worker.pid > 0) end(worker, true);
    MediaResult<Worker> started = start();
    if (!started) return started.error();
    worker = started.value();
    if (send(worker.socket)) return worker;
    end(worker, true);
    return workerError(MediaErrorKind::unreadable, "the media worker did not start");
}

void ThumbnailWorkerPool::keepOrRetire(Worker worker) {
    if (++worker.requestsServed >= m_limits.requestsPerWorker) {
        end(worker, false);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_idle.push_back(worker);
}

// Polls in short steps so that a stop ends the wait at once; false when stopped.
bool ThumbnailWorkerPool::awaitReply(const Worker& worker, std::chrono::steady_clock::time_point deadline,
                                     const std::stop_token& stop) {
    for (;;) {
        if (stop.stop_requested()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd waiting{worker.socket, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(std::min(left, kStopCheck).count())) > 0) return true;
    }
}

std::chrono::milliseconds ThumbnailWorkerPool::timeLeft(std::chrono::steady_clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      deadline - std::chrono::steady_clock::now()));
}

template <typename T>
MediaResult<T> ThumbnailWorkerPool::requestOne(
    const std::function<bool(int socket)>& send,
    const std::function<MediaResult<T>(int socket, std::chrono::milliseconds wait, bool* isWorkerFault)>&
        receive,
    std::chrono::milliseconds wait, const std::stop_token& stop, const char* reader) {
    MediaResult<Worker> sent = sendToWorker(send);
    if (!sent) return sent.error();
    Worker worker = sent.value();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    if (!awaitReply(worker, deadline, stop)) {
        end(worker, true);
        return workerError(MediaErrorKind::timedOut, "stopped");
    }
    bool isWorkerFault = false;
    MediaResult<T> result = receive(worker.socket, timeLeft(deadline), &isWorkerFault);
    if (isWorkerFault) {
        const int status = end(worker, true);
        if (result.error().kind() == MediaErrorKind::timedOut)
            return MediaError(MediaErrorKind::timedOut, QStringLiteral("the %1 took too long").arg(reader));
        // Killed by a fault of its own: this file crashes the decoder, and will again.
        if (WIFSIGNALED(status) && isCrash(WTERMSIG(status)))
            return workerError(MediaErrorKind::decodeFailed, "the decoder crashed on this file");
        return result;
    }
    keepOrRetire(worker);
    return result;
}

template <typename T>
std::vector<MediaResult<T>> ThumbnailWorkerPool::requestPerFile(
    std::span<const int> videoFds, const std::function<bool(int socket, std::span<const int> batch)>& send,
    const std::function<MediaResult<T>(int socket, std::chrono::milliseconds wait, bool* isWorkerFault)>&
        receive,
    std::chrono::milliseconds waitPerFile, const std::stop_token& stop, const char* reader) {
    std::vector<MediaResult<T>> results;
    results.reserve(videoFds.size());
    // Past a worker's fault, the rest of its batch goes file by file: the next
    // fault then names its file, and every other file still gets its record.
    std::size_t singlyUntil = 0;
    while (results.size() < videoFds.size()) {
        const std::size_t first = results.size();
        const std::size_t count =
            first < singlyUntil ? 1 : std::min(videoFds.size() - first, std::size_t(kMaxMetadataBatch));
        const std::span<const int> batch = videoFds.subspan(first, count);
        MediaResult<Worker> sent = sendToWorker([&](int socket) { return send(socket, batch); });
        if (!sent) {
            while (results.size() < videoFds.size()) results.push_back(sent.error());
            break;
        }
        Worker worker = sent.value();
        bool isFaulted = false;
        for (std::size_t i = 0; i < count && !isFaulted; ++i) {
            const auto deadline = std::chrono::steady_clock::now() + waitPerFile;
            if (!awaitReply(worker, deadline, stop)) {
                end(worker, true);
                while (results.size() < videoFds.size())
                    results.push_back(workerError(MediaErrorKind::timedOut, "stopped"));
                return results;
            }
            bool isWorkerFault = false;
            MediaResult<T> reply = receive(worker.socket, timeLeft(deadline), &isWorkerFault);
            if (!isWorkerFault) {
                results.push_back(std::move(reply));
                continue;
            }
            isFaulted = true;
            const bool isHung = reply.error().kind() == MediaErrorKind::timedOut;
            // A background worker may only have waited for the processor while
            // others used it: one stuck on the file spent its time computing.
            const bool isStarved = isHung && m_limits.isBackground && cpuTime(worker.pid) < waitPerFile / 2;
            const int status = end(worker, true);
            const bool isCrashed = WIFSIGNALED(status) && isCrash(WTERMSIG(status));
            if (isStarved) {
                results.push_back(workerError(MediaErrorKind::timedOut, "the machine was too busy"));
            } else if (count > 1 && (isHung || isCrashed)) {
                singlyUntil = first + count;
            } else if (isCrashed) {
                results.push_back(MediaError(MediaErrorKind::damaged,
                                             QStringLiteral("the %1 crashed on this file").arg(reader)));
            } else if (isHung) {
                results.push_back(MediaError(MediaErrorKind::damaged,
                                             QStringLiteral("the %1 hung on this file").arg(reader)));
            } else {
                // The worker itself failed (it could not start its sandbox, say): no word on the files.
                while (results.size() < videoFds.size()) results.push_back(reply.error());
                return results;
            }
        }
        if (!isFaulted) keepOrRetire(worker);
    }
    return results;
}

MediaResult<Picture> ThumbnailWorkerPool::decode(int videoFd, int maxPixelSize, const InputLimits& limits,
                                                 std::chrono::milliseconds wait, std::stop_token stop) {
    return requestOne<Picture>(
        [&](int socket) { return sendThumbnailRequest(socket, videoFd, maxPixelSize, limits); },
        &receiveThumbnailReply, wait, stop, "thumbnail decoder");
}

MediaResult<std::vector<Picture>> ThumbnailWorkerPool::decodeFrameStrip(int videoFd, int maxPixelSize,
                                                                        const InputLimits& limits,
                                                                        std::chrono::milliseconds wait,
                                                                        std::stop_token stop) {
    return requestOne<std::vector<Picture>>(
        [&](int socket) { return sendFrameStripRequest(socket, videoFd, maxPixelSize, limits); },
        &receiveFrameStripReply, wait, stop, "frame strip decoder");
}

std::vector<MediaResult<MediaInfo>> ThumbnailWorkerPool::readMetadata(std::span<const int> videoFds,
                                                                      const InputLimits& limits,
                                                                      std::chrono::milliseconds waitPerFile,
                                                                      std::stop_token stop) {
    return requestPerFile<MediaInfo>(
        videoFds,
        [&](int socket, std::span<const int> batch) { return sendMetadataRequest(socket, batch, limits); },
        &receiveMetadataReply, waitPerFile, stop, "container reader");
}

std::vector<MediaResult<VisualFingerprint>> ThumbnailWorkerPool::fingerprint(
    std::span<const int> videoFds, const InputLimits& limits, std::chrono::milliseconds waitPerFile,
    std::stop_token stop) {
    return requestPerFile<VisualFingerprint>(
        videoFds,
        [&](int socket, std::span<const int> batch) { return sendFingerprintRequest(socket, batch, limits); },
        &receiveFingerprintReply, waitPerFile, stop, "decoder");
}

int runThumbnailWorker(int argc, char** argv, const WorkerHooks& hooks) {
    if (argc < 1) return 2;
    const long parent = std::strtol(argv[argc - 1], nullptr, 10);
    if (parent <= 1) return 2;
    return serveAsWorker(kWorkerSocket, static_cast<pid_t>(parent), hooks);
}

}  // namespace reelkeep::media
