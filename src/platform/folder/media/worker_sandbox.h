// worker_sandbox.h: confines a media worker once it is set up, so that a
// decoder taken over by a hostile file can only compute on the descriptors it
// already holds. Layers, each where the kernel offers it: a network namespace
// of its own, Landlock with no file rights, and always a seccomp allow-list.
// A call outside the list kills the process with SIGSYS, which its pool
// records as a crash; opening files fails with EACCES instead, since libraries
// probe files they can do without.
#pragma once

#include <QStringList>

namespace reelkeep::media {

struct SandboxReport {
    bool isConfined = false;    // the seccomp filter is in place; false: do not serve
    QStringList missingLayers;  // the layers this kernel did not allow, for the log
};

// Call in the worker, single-threaded if possible (a new user namespace needs
// it), after its descriptors are in place and before the first request.
SandboxReport enterWorkerSandbox();

}  // namespace reelkeep::media
