// output.cpp: plain write(2) with its partial writes and EINTR; no stdio, whose
// buffered errors surface nowhere.
#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/scan_report.h"

namespace reelkeep {

namespace {

// Big enough that a 100,000-row listing takes a few hundred writes.
constexpr qsizetype kBufferBytes = 64 * 1024;

QtMessageHandler g_nextHandler = nullptr;

void escapingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (g_nextHandler) g_nextHandler(type, context, escapeForTerminal(message));
}

}  // namespace

bool holdStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number: this one, since those below it are open.
        const int held = ::open("/dev/null", O_RDONLY);
        if (held != fd) {
            if (held >= 0) ::close(held);
            return false;
        }
    }
    return true;
}

void installEscapingMessageHandler() {
    g_nextHandler = qInstallMessageHandler(escapingHandler);
}

DescriptorOutput::DescriptorOutput(int fd) : m_fd(fd) {
    m_buffer.reserve(kBufferBytes);
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

DescriptorOutput::~DescriptorOutput() {
    finish();
}

bool DescriptorOutput::finish() {
    return writeBuffer() && m_errorNumber == 0;
}

qint64 DescriptorOutput::writeData(const char* bytes, qint64 size) {
    if (m_errorNumber != 0) return -1;
    m_buffer.append(bytes, size);
    if (m_buffer.size() >= kBufferBytes && !writeBuffer()) return -1;
    return size;
}

bool DescriptorOutput::writeBuffer() {
    const char* next = m_buffer.constData();
    qsizetype left = m_errorNumber == 0 ? m_buffer.size() : 0;
    while (left > 0) {
        const ssize_t written = ::write(m_fd, next, std::size_t(left));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            m_errorNumber = written < 0 ? errno : EIO;
            break;
        }
        next += written;
        left -= written;
    }
    m_buffer.resize(0);
    return m_errorNumber == 0;
}

}  // namespace reelkeep
