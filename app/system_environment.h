// system_environment.h: the real clock and scan log every command hands its
// view model. The clock is the library's BootClock, so the view model and the
// service measure on one clock.
#pragma once

#include <QString>
#include <memory>

#include "viewmodel/environment.h"

namespace reelkeep {

// CLOCK_BOOTTIME: suspend counts, wall-clock steps do not.
std::shared_ptr<Clock> systemClock();
// The systemd journal (MESSAGE, PRIORITY=5, SYSLOG_IDENTIFIER, REELKEEP_CATEGORY=scan),
// else syslog(3) at LOG_NOTICE.
std::shared_ptr<ScanLog> systemScanLog(const QString& applicationId);

}  // namespace reelkeep
