// thumbnail_worker_stub.cpp: a worker for tests. "serve" is the real worker;
// "trap" is the real worker whose reader crashes on a file starting with
// "RKCRASH!" and hangs on one starting with "RKHANG!!", as a demuxer meeting a
// hostile file would. The others misbehave once a request arrives: crash,
// hang, answer nonsense, or, inside the sandbox, try to create the file named
// by the next argument or to connect to a local port.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/folder/media/thumbnail_workers.h"
#include "platform/folder/media/worker_sandbox.h"

namespace {

void trap(int videoFd) {
    char head[8] = {};
    (void)::pread(videoFd, head, sizeof head, 0);
    if (std::memcmp(head, "RKCRASH!", sizeof head) == 0) std::abort();
    if (std::memcmp(head, "RKHANG!!", sizeof head) == 0)
        for (;;) ::sleep(1);
}

void escape(const char* mode, const char* target) {
    if (std::strcmp(mode, "open") == 0) {
        const int fd = ::open(target, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) (void)::write(fd, "escaped", 7);
    }
    if (std::strcmp(mode, "connect") == 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(target)));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const char* mode = argv[1];
    if (std::strcmp(mode, "serve") == 0) return reelkeep::media::runThumbnailWorker(argc, argv);
    if (std::strcmp(mode, "trap") == 0) return reelkeep::media::runThumbnailWorker(argc, argv, {trap});
    const bool isEscape = std::strcmp(mode, "open") == 0 || std::strcmp(mode, "connect") == 0;
    if (isEscape && !reelkeep::media::enterWorkerSandbox().isConfined) return 3;
    char request[64];
    if (::recv(3, request, sizeof request, 0) <= 0) return 0;
    if (std::strcmp(mode, "crash") == 0) std::abort();
    if (isEscape) {
        escape(mode, argv[2]);
        return 0;  // the pool reads the end as a failed decode
    }
    if (std::strcmp(mode, "nonsense") == 0) {
        const char junk[64] = "not a reply at all, but long enough to be read as a header";
        (void)::send(3, junk, sizeof junk, MSG_NOSIGNAL);
    }
    for (;;) ::pause();
}
