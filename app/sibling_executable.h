// sibling_executable.h: `reelkeep` (the command line and the media workers) and
// `reelkeep-window` find each other from the running executable's own path,
// next to it in a build folder or at their installed places, so an installed
// tree can be moved as a whole.
#pragma once

#include "platform/folder/media/thumbnail_workers.h"

namespace reelkeep {

// Hands every invocation that is not a terminal command to the window's
// executable, with the same argument vector. Returns only when that failed,
// after a one-line error: 127 when it is missing, 126 when it would not start.
int execWindow(char** argv);

// The window's media workers: the lean `reelkeep`, which starts without the
// window's libraries; the window's own executable when `reelkeep` is missing.
media::WorkerCommand windowWorkerCommand();

}  // namespace reelkeep
