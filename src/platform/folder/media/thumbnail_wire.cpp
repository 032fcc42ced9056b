// thumbnail_wire.cpp: fixed little headers, RGB888 rows packed tight, and
// full-length reads and writes (a stream socket may split any message).
#include "thumbnail_wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "thumbnail_decoder.h"

namespace reelkeep::media {

namespace {

constexpr std::uint32_t kRequestMagic = 0x524b5451;  // "RKTQ"
constexpr std::uint32_t kReplyMagic = 0x524b5452;    // "RKTR"
// No thumbnail is bigger: a reply claiming more is malformed, not allocated.
constexpr std::int32_t kMaxSide = 4096;
constexpr std::uint32_t kMaxDetailBytes = 4096;

struct RequestHeader {
    std::uint32_t magic;
    std::int32_t maxPixelSize;
    std::int64_t timeLimitMs;
    std::int64_t probeBytes;
};

struct ReplyHeader {
    std::uint32_t magic;
    std::uint32_t status;  // 0: a picture; else 1 + MediaErrorKind
    std::int32_t width;
    std::int32_t height;
    std::uint32_t detailBytes;
};

bool writeAll(int fd, const void* bytes, std::size_t count) {
    const auto* at = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t written = ::send(fd, at, count, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        at += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads exactly count bytes before the deadline; false on end, error or time.
bool readAll(int fd, void* bytes, std::size_t count, std::chrono::steady_clock::time_point deadline,
             bool* isTimedOut) {
    auto* at = static_cast<char*>(bytes);
    while (count > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            *isTimedOut = true;
            return false;
        }
        if (ready < 0) return false;
        const ssize_t got = ::recv(fd, at, count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

bool sendReply(int socketFd, const MediaResult<QImage>& result) {
    QByteArray detail;
    ReplyHeader header{kReplyMagic, 0, 0, 0, 0};
    if (result) {
        header.width = result->width();
        header.height = result->height();
    } else {
        header.status = 1 + static_cast<std::uint32_t>(result.error().kind());
        detail = result.error().detail().toUtf8().left(kMaxDetailBytes);
        header.detailBytes = static_cast<std::uint32_t>(detail.size());
    }
    if (!writeAll(socketFd, &header, sizeof header) || !writeAll(socketFd, detail.constData(), detail.size()))
        return false;
    if (!result) return true;
    const QImage rgb = result->convertToFormat(QImage::Format_RGB888);
    const auto rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
    for (int y = 0; y < rgb.height(); ++y)
        if (!writeAll(socketFd, rgb.constScanLine(y), rowBytes)) return false;
    return true;
}

// The descriptor and header of the next request; -1 descriptor at the end.
bool receiveRequest(int socketFd, RequestHeader* header, int* videoFd) {
    *videoFd = -1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{header, sizeof *header};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do got = ::recvmsg(socketFd, &message, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    while (got < 0 && errno == EINTR);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
            std::memcpy(videoFd, CMSG_DATA(c), sizeof(int));
    if (got != static_cast<ssize_t>(sizeof *header) || header->magic != kRequestMagic ||
        (message.msg_flags & MSG_CTRUNC)) {
        if (*videoFd >= 0) ::close(*videoFd);
        *videoFd = -1;
        return false;
    }
    return true;
}

}  // namespace

bool sendThumbnailRequest(int socketFd, int videoFd, int maxPixelSize, const InputLimits& limits) {
    RequestHeader header{kRequestMagic, maxPixelSize, static_cast<std::int64_t>(limits.timeLimit.count()),
                         limits.probeBytes};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{&header, sizeof header};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &videoFd, sizeof(int));
    ssize_t sent;
    do sent = ::sendmsg(socketFd, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof header);
}

MediaResult<QImage> receiveThumbnailReply(int socketFd, std::chrono::milliseconds wait, bool* isWorkerFault) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool isTimedOut = false;
    if (isWorkerFault) *isWorkerFault = false;
    auto broken = [&](const char* what) {
        if (isWorkerFault) *isWorkerFault = true;
        return isTimedOut ? MediaError(MediaErrorKind::timedOut, QStringLiteral("thumbnail worker"))
                          : MediaError(MediaErrorKind::unreadable, QString::fromLatin1(what));
    };
    ReplyHeader header{};
    if (!readAll(socketFd, &header, sizeof header, deadline, &isTimedOut))
        return broken("the thumbnail worker ended");
    if (header.magic != kReplyMagic || header.detailBytes > kMaxDetailBytes)
        return broken("malformed reply from the thumbnail worker");
    QByteArray detail(static_cast<qsizetype>(header.detailBytes), '\0');
    if (!readAll(socketFd, detail.data(), detail.size(), deadline, &isTimedOut))
        return broken("the thumbnail worker ended");
    if (header.status != 0) {
        const std::uint32_t kind = header.status - 1;
        if (kind > static_cast<std::uint32_t>(MediaErrorKind::timedOut))
            return broken("malformed reply from the thumbnail worker");
        return MediaError(static_cast<MediaErrorKind>(kind), QString::fromUtf8(detail));
    }
    if (header.width <= 0 || header.height <= 0 || header.width > kMaxSide || header.height > kMaxSide)
        return broken("malformed reply from the thumbnail worker");
    QImage image(header.width, header.height, QImage::Format_RGB888);
    const auto rowBytes = static_cast<std::size_t>(header.width) * 3;
    for (int y = 0; y < header.height; ++y)
        if (!readAll(socketFd, image.scanLine(y), rowBytes, deadline, &isTimedOut))
            return broken("the thumbnail worker ended");
    return image;
}

bool serveThumbnailRequests(int socketFd) {
    for (;;) {
        RequestHeader header{};
        int videoFd = -1;
        if (!receiveRequest(socketFd, &header, &videoFd))
            return header.magic == 0;  // nothing read: orderly end
        MediaResult<QImage> result =
            videoFd < 0
                ? MediaResult<QImage>(MediaError(MediaErrorKind::unreadable, QStringLiteral("no descriptor")))
                : decodeThumbnail(
                      videoFd, std::min(header.maxPixelSize, kMaxSide),
                      InputLimits{std::chrono::milliseconds(header.timeLimitMs), header.probeBytes});
        if (videoFd >= 0) ::close(videoFd);
        if (!sendReply(socketFd, result)) return false;
    }
}

}  // namespace reelkeep::media
