// duplicates_command.h: `reelkeep duplicates` as a function of its arguments,
// its library and its streams, so that a test runs it on a simulated library
// with faults scripted, exactly as a terminal runs it on the folder library.
#pragma once

#include <unistd.h>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <optional>

#include "app/library_factory.h"

namespace reelkeep {

struct CommandStreams {
    int outputFd = STDOUT_FILENO;
    FILE* errors = stderr;
    // The question before a move; nothing when no terminal can answer it.
    std::function<std::optional<bool>(const QString& question)> ask;
    std::function<LibraryPorts(const LibraryRequest& request)> openLibrary;
};

// Needs a QCoreApplication; returns the exit code.
int runDuplicates(const QStringList& arguments, const CommandStreams& streams);

}  // namespace reelkeep
