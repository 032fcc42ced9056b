// folder_choice.h: the library folders the user chose, kept between sessions.
// Our stand-in for the platform's privacy database: an empty choice records a
// refusal, so the user is not asked again at every start. Paths are stored
// percent-encoded, one a line, so any byte of a name survives.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace reelkeep {

struct FolderChoice {
    std::vector<QByteArray> folders;  // absolute byte paths; empty: the user declined
    friend bool operator==(const FolderChoice&, const FolderChoice&) = default;
};

// $XDG_CONFIG_HOME/reelkeep/library-folders
QString defaultFolderChoicePath();

// Nothing when no choice was ever made (or the file is unreadable or not ours).
std::optional<FolderChoice> readFolderChoice(const QString& path);
// Written atomically; false when it could not be written (nothing half-written remains).
bool writeFolderChoice(const QString& path, const FolderChoice& choice);

}  // namespace reelkeep
