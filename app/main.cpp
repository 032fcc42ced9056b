// main.cpp: `reelkeep` opens the window; `reelkeep scan …` runs the scan in the terminal.
#include <cstring>

#include "app/application.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "scan") == 0) return reelkeep::runScanCommand(argc, argv);
    return reelkeep::runWindow(argc, argv);
}
