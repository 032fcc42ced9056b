// system_environment.cpp: BootClock behind the view model's Clock, and the scan
// report into the journal, falling back to syslog where there is none.
#include "app/system_environment.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

#include "library/scan_timings.h"

namespace reelkeep {

namespace {

class SystemClock final : public Clock {
public:
    std::chrono::nanoseconds monotonicNow() const override { return BootClock::now().time_since_epoch(); }
};

class JournalScanLog final : public ScanLog {
public:
    explicit JournalScanLog(const QString& applicationId) : m_identifier(applicationId.toUtf8()) {}

    void writeScanReport(const QString& report) override {
        const QByteArray text = report.toUtf8();
        const int result =
            sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=5", "SYSLOG_IDENTIFIER=%s",
                            m_identifier.constData(), "REELKEEP_CATEGORY=scan", nullptr);
        if (result < 0) {
            // No journal (containers, other init systems): the classic syslog.
            ::openlog(m_identifier.constData(), LOG_PID, LOG_USER);
            ::syslog(LOG_NOTICE, "%s", text.constData());
            ::closelog();
        }
    }

private:
    QByteArray m_identifier;
};

}  // namespace

std::shared_ptr<Clock> systemClock() {
    return std::make_shared<SystemClock>();
}

std::shared_ptr<ScanLog> systemScanLog(const QString& applicationId) {
    return std::make_shared<JournalScanLog>(applicationId);
}

}  // namespace reelkeep
