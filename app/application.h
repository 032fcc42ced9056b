// application.h: the window (`reelkeep-window`) and the terminal commands
// (`reelkeep scan`, `reelkeep duplicates`) share the application's identity.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace reelkeep {

// Reverse-DNS identity: settings, the journal's identifier and the desktop file.
inline constexpr const char* kApplicationId = "app.reelkeep.Reelkeep";

inline void setApplicationIdentity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Reelkeep"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("reelkeep.app"));
    QCoreApplication::setApplicationName(QStringLiteral("Reelkeep"));
    QCoreApplication::setApplicationVersion(QStringLiteral(REELKEEP_VERSION));
}

class VideoListViewModel;

// Scans, then waits for the copy check and the comparison that follow (those
// the view model was asked for), showing the status on a terminal's stderr
// (escaped: folder names may carry terminal escapes).
void scanUntilIdle(VideoListViewModel& viewModel);

int runScanCommand(int argc, char** argv);
int runDuplicatesCommand(int argc, char** argv);
int runWindow(int argc, char** argv);

}  // namespace reelkeep
