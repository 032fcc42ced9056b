// journal_test.cpp: the scan log's entries as journald reads them: a listener
// on a datagram socket in a temp folder decodes what arrived, by the native
// protocol's rules, either from the datagram or from a passed memfd.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstring>
#include <vector>

#include "app/system_environment.h"
#include "support/qt_printers.h"

using namespace reelkeep;

namespace {

// The entry's bytes, as the listener got them.
QByteArray received(int listener) {
    QByteArray data(1 << 20, '\0');
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{data.data(), size_t(data.size())};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t size = ::recvmsg(listener, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (size < 0) return "(nothing)";
    data.truncate(size);
    if (const cmsghdr* header = CMSG_FIRSTHDR(&message); header && header->cmsg_type == SCM_RIGHTS) {
        EXPECT_TRUE(data.isEmpty()) << "an entry comes either in the datagram or in the memfd";
        int fd = -1;
        std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
        data.clear();
        char buffer[65536];
        for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, data.size())) > 0;) data.append(buffer, n);
        ::close(fd);
    }
    return data;
}

// The native protocol's reading rules, on their own.
std::vector<JournalField> decoded(const QByteArray& entry) {
    std::vector<JournalField> fields;
    for (qsizetype at = 0; at < entry.size();) {
        const qsizetype end = entry.indexOf('\n', at);
        const qsizetype equals = entry.indexOf('=', at);
        if (end < 0) return {{"UNTERMINATED", entry.mid(at)}};
        if (equals >= 0 && equals < end) {
            fields.push_back({entry.mid(at, equals - at), entry.mid(equals + 1, end - equals - 1)});
            at = end + 1;
            continue;
        }
        if (end + 9 > entry.size()) return {{"BAD_BINARY_FIELD", entry.mid(at)}};
        quint64 size = 0;
        for (int i = 7; i >= 0; --i) size = size << 8 | quint8(entry.at(end + 1 + i));
        const qsizetype value = end + 9;
        if (value + qsizetype(size) >= entry.size() || entry.at(value + qsizetype(size)) != '\n')
            return {{"BAD_BINARY_FIELD", entry.mid(at)}};
        fields.push_back({entry.mid(at, end - at), entry.mid(value, qsizetype(size))});
        at = value + qsizetype(size) + 1;
    }
    return fields;
}

}  // namespace

TEST(Journal, EntriesArriveWholeInTheNativeProtocol) {
    QTemporaryDir dir;
    const QByteArray path = dir.filePath("socket").toLocal8Bit();
    const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.constData());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    const QByteArray lines = "Scan report\n  walk 12 ms\n  index 3 ms\n";
    const QByteArray huge = QByteArray(400'000, 'x') + "\nend";  // over what one datagram may carry
    const QByteArray oddBytes("a\0b=c\xff", 6);
    const std::vector<std::vector<JournalField>> entries = {
        {{"MESSAGE", "one line"}, {"PRIORITY", "5"}, {"SYSLOG_IDENTIFIER", "app.reelkeep.Reelkeep"}},
        {{"MESSAGE", lines}, {"REELKEEP_CATEGORY", "scan"}},
        {{"MESSAGE", oddBytes}, {"EMPTY", ""}},
        {{"MESSAGE", huge}, {"PRIORITY", "5"}},
    };
    for (const std::vector<JournalField>& entry : entries) {
        SCOPED_TRACE(entry.front().value.left(20).toStdString());
        ASSERT_TRUE(sendJournalEntry(path.constData(), entry));
        const std::vector<JournalField> got = decoded(received(listener));
        ASSERT_EQ(got.size(), entry.size());
        for (size_t i = 0; i < entry.size(); ++i) {
            EXPECT_EQ(got[i].name, entry[i].name);
            EXPECT_EQ(got[i].value, entry[i].value);
        }
    }
    ::close(listener);

    // No journal: nothing sent, and the caller is told so.
    EXPECT_FALSE(sendJournalEntry(path.constData(), entries.front()));
    EXPECT_FALSE(sendJournalEntry(dir.filePath("absent").toLocal8Bit().constData(), entries.front()));
}
