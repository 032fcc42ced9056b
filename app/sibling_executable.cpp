// sibling_executable.cpp: paths come from /proc/self/exe, never from argv[0] or
// PATH, which the caller controls; the window gets argv unchanged through
// execv, never through a shell.
#include "app/sibling_executable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace reelkeep {
namespace {

constexpr const char* kWindowName = "reelkeep-window";
constexpr const char* kCommandName = "reelkeep";
// Set by the build from the install folders: bin to the window's libexec folder, and back.
constexpr const char* kWindowFromCommand = REELKEEP_WINDOW_FROM_COMMAND;
constexpr const char* kCommandFromWindow = REELKEEP_COMMAND_FROM_WINDOW;
// Above descriptor 3, where a worker gets its socket before its program is opened.
constexpr int kLowestHeldDescriptor = 10;

std::string runningFolder() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || length == sizeof path) return {};
    const std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1);
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// In a build folder the two lie side by side; installed, in their own folders.
std::string sibling(const char* name, const char* installedFolder) {
    const std::string folder = runningFolder();
    if (folder.empty()) return {};
    for (const std::string& candidate : {folder + name, folder + installedFolder + '/' + name})
        if (isExecutableFile(candidate)) return candidate;
    return {};
}

media::WorkerCommand heldWorkerCommand() {
    const std::string command = sibling(kCommandName, kCommandFromWindow);
    if (command.empty()) return media::selfWorkerCommand();
    // Held open for the process's life and started through its descriptor:
    // every worker runs the file this window started with, even after a
    // package upgrade replaced it with one that may speak another protocol.
    const int opened = ::open(command.c_str(), O_PATH | O_CLOEXEC);
    if (opened < 0) return media::selfWorkerCommand();
    const int held = ::fcntl(opened, F_DUPFD_CLOEXEC, kLowestHeldDescriptor);
    ::close(opened);
    if (held < 0) return media::selfWorkerCommand();
    return media::WorkerCommand{"/proc/self/fd/" + std::to_string(held), {media::kThumbnailWorkerFlag}};
}

}  // namespace

int execWindow(char** argv) {
    const std::string window = sibling(kWindowName, kWindowFromCommand);
    if (window.empty()) {
        std::fprintf(stderr,
                     "reelkeep: the window's program %s is missing from this installation; "
                     "'reelkeep scan' lists the videos without it.\n",
                     kWindowName);
        return 127;
    }
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "reelkeep: could not start the window (%s): %s\n", kWindowName,
                 std::strerror(errno));
    return 126;
}

media::WorkerCommand windowWorkerCommand() {
    static const media::WorkerCommand command = heldWorkerCommand();
    return command;
}

}  // namespace reelkeep
