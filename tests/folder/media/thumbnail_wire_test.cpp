// thumbnail_wire_test.cpp: a dead, garbled or silent worker is an error, not a
// picture and not a hang; the worker's answers themselves are checked through the pool.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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

template <typename T>
QByteArray bytesOf(const T& value) {
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

// A worker's claims are checked before anything is sized by them.
TEST(ThumbnailWire, AFingerprintOrStripReplyOutOfBoundsIsTheWorkersFault) {
    struct FingerprintReply {
        std::uint32_t magic = 0x524b4652;
        std::uint32_t status = 0;
        double durationSeconds = 10;
        double aspectRatio = 1.5;
        std::int32_t frameCount = kFingerprintFrames;
        std::uint32_t detailBytes = 0;
        std::uint64_t frameHashes[kFingerprintFrames] = {};
    };
    struct StripReply {
        std::uint32_t magic = 0x524b5352;
        std::uint32_t status = 0;
        std::int32_t frameCount = kFingerprintFrames;
        std::uint32_t detailBytes = 0;
    };
    FingerprintReply tooManyFrames, notALength, unknownStatus;
    tooManyFrames.frameCount = kFingerprintFrames + 1;
    notALength.durationSeconds = std::nan("");
    unknownStatus.status = 99;
    StripReply fewerFrames;
    fewerFrames.frameCount = 3;
    const std::int32_t hugePicture[2] = {100000, 100000};

    struct Case {
        const char* what;
        QByteArray workerSends;
        bool isStrip;
    };
    const Case cases[] = {
        {"more frames than taken", bytesOf(tooManyFrames), false},
        {"a length that is no number", bytesOf(notALength), false},
        {"an unknown status", bytesOf(unknownStatus), false},
        {"a strip of another length", bytesOf(fewerFrames), true},
        {"a picture too big to be one", bytesOf(StripReply{}) + bytesOf(hugePicture), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SocketPair sockets;
        ASSERT_EQ(::write(sockets.fds[1], c.workerSends.constData(), c.workerSends.size()),
                  c.workerSends.size());
        sockets.closeEnd(1);
        bool isWorkerFault = false;
        const bool hasValue =
            c.isStrip
                ? receiveFrameStripReply(sockets.fds[0], std::chrono::seconds(30), &isWorkerFault).hasValue()
                : receiveFingerprintReply(sockets.fds[0], std::chrono::seconds(30), &isWorkerFault)
                      .hasValue();
        EXPECT_FALSE(hasValue);
        EXPECT_TRUE(isWorkerFault);
    }
}

}  // namespace
}  // namespace reelkeep::media
