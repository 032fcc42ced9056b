// thumbnail_worker_stub.cpp: a worker for tests. "serve" is the real worker;
// the others misbehave once a request arrives, as a decoder meeting a hostile
// file would: crash, hang, or answer nonsense.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/folder/media/thumbnail_workers.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const char* mode = argv[1];
    if (std::strcmp(mode, "serve") == 0) return reelkeep::media::runThumbnailWorker(argc, argv);
    char request[64];
    if (::recv(3, request, sizeof request, 0) <= 0) return 0;
    if (std::strcmp(mode, "crash") == 0) std::abort();
    if (std::strcmp(mode, "nonsense") == 0) {
        const char junk[64] = "not a reply at all, but long enough to be read as a header";
        (void)::send(3, junk, sizeof junk, MSG_NOSIGNAL);
    }
    for (;;) ::pause();
}
