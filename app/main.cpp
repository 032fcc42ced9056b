// main.cpp: `reelkeep`, the lean executable: `reelkeep scan …` and `reelkeep
// duplicates …` in the terminal, and the media workers. It links no Qt Widgets
// or Multimedia, so a terminal command or a worker does not pay for loading
// them; every other invocation is the window's, handed to `reelkeep-window`.
#include <cstring>

#include "app/application.h"
#include "app/output.h"
#include "app/sibling_executable.h"
#include "platform/folder/media/thumbnail_workers.h"

int main(int argc, char** argv) {
    // Before any file is opened, so that none takes the number of a closed one.
    (void)reelkeep::holdStandardDescriptors();
    if (argc > 1 && std::strcmp(argv[1], reelkeep::media::kThumbnailWorkerFlag) == 0)
        return reelkeep::media::runThumbnailWorker(argc, argv);
    const bool isScan = argc > 1 && std::strcmp(argv[1], "scan") == 0;
    const bool isDuplicates = argc > 1 && std::strcmp(argv[1], "duplicates") == 0;
    if (!isScan && !isDuplicates) return reelkeep::execWindow(argv);
    reelkeep::installEscapingMessageHandler();
    return isScan ? reelkeep::runScanCommand(argc, argv) : reelkeep::runDuplicatesCommand(argc, argv);
}
