// window_main.cpp: `reelkeep-window`, the desktop window. `reelkeep` starts it
// for every invocation that is not a terminal command. Its media workers are
// the lean `reelkeep`; its own worker mode stands in when that is missing.
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
    return reelkeep::runWindow(argc, argv);
}
