// thumbnail_wire_test.cpp: a worker across a socket gives the same pictures and
// errors as a direct call, and a dead or silent worker is an error, not a hang.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QFile>

#include <thread>

#include "media_fixtures.h"
#include "platform/folder/media/thumbnail_decoder.h"
#include "platform/folder/media/thumbnail_wire.h"

namespace reelkeep::media {
namespace {

using testing::MediaFixtures;
using testing::OpenFile;

constexpr std::chrono::milliseconds kReplyLimit{30000};

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

TEST(ThumbnailWire, AWorkerAnswersAsTheDirectCallDoes) {
    MediaFixtures fixtures;
    const auto clip = fixtures.makeClip(QStringLiteral("clip.mp4"), 320, 240);
    ASSERT_TRUE(clip) << fixtures.lastError().toStdString();
    const QString garbage = fixtures.writeBytes(QStringLiteral("garbage.mp4"), QByteArray(5000, '\x33'));

    SocketPair sockets;
    bool isOrderlyEnd = false;
    std::jthread worker([&] { isOrderlyEnd = serveMediaRequests(sockets.fds[1]); });
    for (const QString& path : {*clip, garbage, *clip}) {
        SCOPED_TRACE(path.toStdString());
        OpenFile file(path);
        ASSERT_TRUE(sendThumbnailRequest(sockets.fds[0], file.fd(), 128, {}));
        const auto viaWorker = receiveThumbnailReply(sockets.fds[0], kReplyLimit);
        const auto direct = decodeThumbnail(file.fd(), 128);
        ASSERT_EQ(viaWorker.hasValue(), direct.hasValue());
        if (direct) {
            EXPECT_EQ(viaWorker.value(), direct.value().convertToFormat(QImage::Format_RGB888));
        } else {
            EXPECT_EQ(viaWorker.error().kind(), direct.error().kind());
            EXPECT_EQ(viaWorker.error().detail(), direct.error().detail());
        }
    }
    sockets.closeEnd(0);
    worker.join();
    EXPECT_TRUE(isOrderlyEnd);
}

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
