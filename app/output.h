// output.h: what the command line writes reaches its reader, or the command
// says so. Every write and the final flush are checked; a closed, full or
// broken standard output is a failure, never a silent success.
#pragma once

#include <QByteArray>
#include <QIODevice>

namespace reelkeep {

// Holds descriptors 0–2 open before anything else runs: a caller that closed
// one would otherwise see the next file opened (an eventfd, the index) take its
// number, and output meant for it land there. They are reopened on /dev/null
// read-only, so reading gives end of file and writing fails like the closed
// descriptor it stands for. False when /dev/null cannot be opened.
bool holdStandardDescriptors();

// Log messages (library warnings, skipped folders) carry names from the disk;
// they reach the terminal with control characters escaped, like the table's.
void installEscapingMessageHandler();

// A descriptor as a write-only device with its own buffer. The first failure
// is kept (errorNumber()); every write after it fails at once.
class DescriptorOutput final : public QIODevice {
public:
    explicit DescriptorOutput(int fd);
    ~DescriptorOutput() override;

    // Writes out the buffer; false when anything written so far did not arrive.
    bool finish();
    int errorNumber() const { return m_errorNumber; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* bytes, qint64 size) override;

private:
    bool writeBuffer();

    int m_fd;
    QByteArray m_buffer;
    int m_errorNumber = 0;
};

}  // namespace reelkeep
