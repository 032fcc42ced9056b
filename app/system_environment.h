// system_environment.h: the real clock and scan log every command hands its
// view model. The clock is the library's BootClock, so the view model and the
// service measure on one clock.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <span>

#include "viewmodel/environment.h"

namespace reelkeep {

// CLOCK_BOOTTIME: suspend counts, wall-clock steps do not.
std::shared_ptr<Clock> systemClock();
// The systemd journal (MESSAGE, PRIORITY=5, SYSLOG_IDENTIFIER, REELKEEP_CATEGORY=scan),
// else syslog(3) at LOG_NOTICE.
std::shared_ptr<ScanLog> systemScanLog(const QString& applicationId);

struct JournalField {
    QByteArray name;   // upper-case letters, digits and '_', as the journal requires
    QByteArray value;  // any bytes
};

// Where journald takes entries in its native protocol.
inline constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// One entry in the journal's native protocol: a datagram to `socketPath`, or,
// when too large for one, an empty datagram carrying a sealed memfd. Spoken
// here rather than through libsystemd, which would cost every command its
// start-up. False when no journal listens there or the entry did not go out.
bool sendJournalEntry(const char* socketPath, std::span<const JournalField> fields);

}  // namespace reelkeep
