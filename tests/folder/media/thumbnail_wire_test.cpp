// thumbnail_wire_test.cpp: a dead, garbled or silent worker is an error, not a
// picture and not a hang; the worker's answers themselves are checked through the pool.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/folder/media/thumbnail_wire.h"

namespace reelkeep::media {
namespace {

struct SocketPair {
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds); }
    ~SocketPair() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    void closeEnd(int end) {
        ::close(fds[end]);
        fds[end] = -1;
    }
    int fds[2] = {-1, -1};
};

TEST(ThumbnailWire, ADeadOrSilentWorkerIsAnErrorNotAPicture) {
    struct Case {
        const char* what;
        QByteArray workerSends;  // then it closes or stays silent
        bool closes;
        MediaErrorKind expected;
    };
    const Case cases[] = {
        {"crashed before replying", {}, true, MediaErrorKind::unreadable},
        {"crashed mid-reply", QByteArray("RKTR", 4).left(3), true, MediaErrorKind::unreadable},
        {"garbage reply", QByteArray(64, '\x7f'), true, MediaErrorKind::unreadable},
        {"hung", {}, false, MediaErrorKind::timedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SocketPair sockets;
        const auto sentBytes = ::write(sockets.fds[1], c.workerSends.constData(), c.workerSends.size());
        ASSERT_EQ(sentBytes, c.workerSends.size());
        if (c.closes) sockets.closeEnd(1);
        const auto reply =
            receiveThumbnailReply(sockets.fds[0], std::chrono::milliseconds(c.closes ? 30000 : 50));
        ASSERT_FALSE(reply);
        EXPECT_EQ(reply.error().kind(), c.expected);
    }
}

}  // namespace
}  // namespace reelkeep::media
