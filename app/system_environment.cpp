// system_environment.cpp: BootClock behind the view model's Clock, and the scan
// report into the journal, falling back to syslog where there is none. An entry
// is either sent whole or not at all.
#include "app/system_environment.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "library/scan_timings.h"
#include "platform/folder/fs/unique_fd.h"

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
        const JournalField fields[] = {{"MESSAGE", text},
                                       {"PRIORITY", "5"},
                                       {"SYSLOG_IDENTIFIER", m_identifier},
                                       {"REELKEEP_CATEGORY", "scan"}};
        if (!sendJournalEntry(kJournalSocket, fields)) {
            // No journal (containers, other init systems): the classic syslog.
            ::openlog(m_identifier.constData(), LOG_PID, LOG_USER);
            ::syslog(LOG_NOTICE, "%s", text.constData());
            ::closelog();
        }
    }

private:
    QByteArray m_identifier;
};

// NAME=value, or for a value with a newline the binary-safe form: NAME, a
// newline, the value's length as 64-bit little endian, the value, a newline.
QByteArray journalPayload(std::span<const JournalField> fields) {
    QByteArray payload;
    for (const JournalField& field : fields) {
        payload += field.name;
        if (!field.value.contains('\n')) {
            payload += '=';
        } else {
            payload += '\n';
            quint64 size = quint64(field.value.size());
            for (int i = 0; i < 8; ++i, size >>= 8) payload += char(size & 0xff);
        }
        payload += field.value;
        payload += '\n';
    }
    return payload;
}

bool sendWithRetry(int socket, const msghdr& message) {
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0;
}

// The entry in a sealed memfd, so journald reads what we wrote and nothing else.
bool sendAsMemfd(int socket, msghdr message, const QByteArray& payload) {
    const fs::UniqueFd memfd(::memfd_create("journal-entry", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memfd) return false;
    for (qsizetype done = 0; done < payload.size();) {
        const ssize_t written =
            ::write(memfd.get(), payload.constData() + done, size_t(payload.size() - done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += written;
    }
    if (::fcntl(memfd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) < 0)
        return false;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    message.msg_iov = nullptr;
    message.msg_iovlen = 0;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    const int fd = memfd.get();
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    return sendWithRetry(socket, message);
}

}  // namespace

bool sendJournalEntry(const char* socketPath, std::span<const JournalField> fields) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(socketPath) >= sizeof address.sun_path) return false;
    std::strcpy(address.sun_path, socketPath);
    const fs::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) return false;

    QByteArray payload = journalPayload(fields);
    iovec part{payload.data(), size_t(payload.size())};
    msghdr message{};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (sendWithRetry(socket.get(), message)) return true;
    return (errno == EMSGSIZE || errno == ENOBUFS) && sendAsMemfd(socket.get(), message, payload);
}

std::shared_ptr<Clock> systemClock() {
    return std::make_shared<SystemClock>();
}

std::shared_ptr<ScanLog> systemScanLog(const QString& applicationId) {
    return std::make_shared<JournalScanLog>(applicationId);
}

}  // namespace reelkeep
