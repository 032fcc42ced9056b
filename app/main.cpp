// main.cpp: `reelkeep` opens the window; `reelkeep scan …` runs the scan in the
// terminal; the window starts copies of itself as thumbnail decoders.
#include <cstring>

#include "app/application.h"
#include "platform/folder/media/thumbnail_workers.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], reelkeep::media::kThumbnailWorkerFlag) == 0)
        return reelkeep::media::runThumbnailWorker(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "scan") == 0) return reelkeep::runScanCommand(argc, argv);
    return reelkeep::runWindow(argc, argv);
}
