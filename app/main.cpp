// main.cpp: `reelkeep` opens the window; `reelkeep scan …` and `reelkeep
// duplicates …` run in the terminal; the window starts copies of itself as thumbnail decoders.
#include <cstring>

#include "app/application.h"
#include "app/output.h"
#include "platform/folder/media/thumbnail_workers.h"

int main(int argc, char** argv) {
    // Before any file is opened, so that none takes the number of a closed one.
    (void)reelkeep::holdStandardDescriptors();
    if (argc > 1 && std::strcmp(argv[1], reelkeep::media::kThumbnailWorkerFlag) == 0)
        return reelkeep::media::runThumbnailWorker(argc, argv);
    reelkeep::installEscapingMessageHandler();
    if (argc > 1 && std::strcmp(argv[1], "scan") == 0) return reelkeep::runScanCommand(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "duplicates") == 0)
        return reelkeep::runDuplicatesCommand(argc, argv);
    return reelkeep::runWindow(argc, argv);
}
