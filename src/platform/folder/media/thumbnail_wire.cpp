// thumbnail_wire.cpp: fixed little headers, RGB888 rows packed tight, and
// full-length reads and writes (a stream socket may split any message).
#include "thumbnail_wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "creation_date.h"
#include "thumbnail_decoder.h"
#include "visual_fingerprint.h"

namespace reelkeep::media {

namespace {

constexpr std::uint32_t kRequestMagic = 0x524b5451;             // "RKTQ"
constexpr std::uint32_t kReplyMagic = 0x524b5452;               // "RKTR"
constexpr std::uint32_t kMetadataRequestMagic = 0x524b4d51;     // "RKMQ"
constexpr std::uint32_t kMetadataReplyMagic = 0x524b4d52;       // "RKMR"
constexpr std::uint32_t kFingerprintRequestMagic = 0x524b4651;  // "RKFQ"
constexpr std::uint32_t kFingerprintReplyMagic = 0x524b4652;    // "RKFR"
constexpr std::uint32_t kStripRequestMagic = 0x524b5351;        // "RKSQ"
constexpr std::uint32_t kStripReplyMagic = 0x524b5352;          // "RKSR"
constexpr std::uint32_t kScreenRecordingFlag = 1;
constexpr std::uint32_t kDecodableVideoFlag = 2;
// No thumbnail is bigger: a reply claiming more is malformed, not allocated.
constexpr std::int32_t kMaxSide = 4096;
constexpr std::uint32_t kMaxDetailBytes = 4096;

struct RequestHeader {
    std::uint32_t magic;
    std::int32_t argument;  // a thumbnail's maximum side, or the count of descriptors
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

struct MetadataReplyHeader {
    std::uint32_t magic;
    std::uint32_t status;  // 0: a record; else 1 + MediaErrorKind
    double lengthSeconds;
    std::int32_t pixelWidth;
    std::int32_t pixelHeight;
    std::uint32_t flags;
    std::uint32_t quickTimeBytes;
    std::uint32_t creationTimeBytes;
    std::uint32_t detailBytes;
};

struct FingerprintReplyHeader {
    std::uint32_t magic;
    std::uint32_t status;  // 0: a fingerprint; else 1 + MediaErrorKind
    double durationSeconds;
    double aspectRatio;
    std::int32_t frameCount;
    std::uint32_t detailBytes;
    std::uint64_t frameHashes[kFingerprintFrames];
};

struct StripReplyHeader {
    std::uint32_t magic;
    std::uint32_t status;  // 0: kFingerprintFrames pictures follow; else 1 + MediaErrorKind
    std::int32_t frameCount;
    std::uint32_t detailBytes;
};

// Before each picture of a strip; 0 × 0: that moment did not decode.
struct PictureHeader {
    std::int32_t width;
    std::int32_t height;
};

constexpr std::uint32_t kLastStatus = 1 + static_cast<std::uint32_t>(MediaErrorKind::timedOut);

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

// RGB888 rows packed tight: the decoders make nothing else, and a picture in
// another format is not sent.
bool sendRows(int socketFd, const Picture& image) {
    return image.format() == PixelFormat::rgb888 &&
           writeAll(socketFd, image.bytes().constData(), static_cast<std::size_t>(image.bytes().size()));
}

// A picture of a size the caller checked; null when the rows did not all come.
Picture receiveRows(int socketFd, int width, int height, std::chrono::steady_clock::time_point deadline,
                    bool* isTimedOut) {
    Picture image(width, height, PixelFormat::rgb888);
    if (image.isNull()) return {};
    const auto bytes = static_cast<std::size_t>(image.bytesPerLine()) * static_cast<std::size_t>(height);
    if (!readAll(socketFd, image.row(0), bytes, deadline, isTimedOut)) return {};
    return image;
}

bool isPictureSize(std::int32_t width, std::int32_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

// One reply as its reader sees it: every read shares one deadline, and a fault
// of the worker's own (it ended, sent nonsense or ran out of time) is told
// apart from an error about the file, so that the caller retires that worker.
class ReplyReader {
public:
    ReplyReader(int socketFd, std::chrono::milliseconds wait, bool* isWorkerFault, const char* worker)
        : m_socketFd(socketFd),
          m_deadline(std::chrono::steady_clock::now() + wait),
          m_isWorkerFault(isWorkerFault),
          m_worker(QString::fromLatin1(worker)) {
        if (m_isWorkerFault) *m_isWorkerFault = false;
    }

    bool read(void* bytes, std::size_t count) {
        return readAll(m_socketFd, bytes, count, m_deadline, &m_isTimedOut);
    }
    bool read(QByteArray& bytes) { return read(bytes.data(), static_cast<std::size_t>(bytes.size())); }
    Picture readRows(int width, int height) {
        return receiveRows(m_socketFd, width, height, m_deadline, &m_isTimedOut);
    }

    MediaError ended() const { return broken(QStringLiteral("the %1 ended")); }
    MediaError malformed() const { return broken(QStringLiteral("malformed reply from the %1")); }

private:
    MediaError broken(const QString& what) const {
        if (m_isWorkerFault) *m_isWorkerFault = true;
        return m_isTimedOut ? MediaError(MediaErrorKind::timedOut, m_worker)
                            : MediaError(MediaErrorKind::unreadable, what.arg(m_worker));
    }

    const int m_socketFd;
    const std::chrono::steady_clock::time_point m_deadline;
    bool* const m_isWorkerFault;
    const QString m_worker;
    bool m_isTimedOut = false;
};

bool sendReply(int socketFd, const MediaResult<Picture>& result) {
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
    return !result || sendRows(socketFd, result.value());
}

// The header and descriptors of the next request: one descriptor for a
// thumbnail, `count` for metadata. False, with every descriptor closed, at the
// end or on anything malformed.
bool receiveRequest(int socketFd, RequestHeader* header, std::vector<int>* videoFds) {
    videoFds->clear();
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxMetadataBatch)] = {};
    iovec part{header, sizeof *header};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do got = ::recvmsg(socketFd, &message, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    while (got < 0 && errno == EINTR);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            videoFds->push_back(fd);
        }
    }
    const bool isWhole = got == static_cast<ssize_t>(sizeof *header) && !(message.msg_flags & MSG_CTRUNC);
    const bool isBatch = header->magic == kMetadataRequestMagic || header->magic == kFingerprintRequestMagic;
    const std::size_t expected = isBatch ? std::size_t(header->argument) : 1;
    const bool isKnown = isBatch || header->magic == kRequestMagic || header->magic == kStripRequestMagic;
    if (!isWhole || !isKnown || videoFds->size() != expected) {
        for (int fd : *videoFds) ::close(fd);
        videoFds->clear();
        return false;
    }
    return true;
}

bool sendDescriptors(int socketFd, const RequestHeader& header, std::span<const int> videoFds) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxMetadataBatch)] = {};
    iovec part{const_cast<RequestHeader*>(&header), sizeof header};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(sizeof(int) * videoFds.size());
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int) * videoFds.size());
    std::memcpy(CMSG_DATA(rights), videoFds.data(), sizeof(int) * videoFds.size());
    ssize_t sent;
    do sent = ::sendmsg(socketFd, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof header);
}

bool sendMetadataReply(int socketFd, const MediaResult<MediaInfo>& result) {
    MetadataReplyHeader header{kMetadataReplyMagic, 0, 0, 0, 0, 0, 0, 0, 0};
    QByteArray detail;
    if (result) {
        header.lengthSeconds = result->lengthSeconds;
        header.pixelWidth = result->pixelWidth;
        header.pixelHeight = result->pixelHeight;
        header.flags = (result->isScreenRecording ? kScreenRecordingFlag : 0) |
                       (result->hasDecodableVideo ? kDecodableVideoFlag : 0);
    } else {
        header.status = 1 + static_cast<std::uint32_t>(result.error().kind());
        detail = result.error().detail().toUtf8().left(kMaxDetailBytes);
    }
    const std::string_view quickTime =
        result ? std::string_view(result->dateTags.quickTimeCreationDate).substr(0, kMaxDetailBytes) : "";
    const std::string_view creationTime =
        result ? std::string_view(result->dateTags.creationTime).substr(0, kMaxDetailBytes) : "";
    header.quickTimeBytes = static_cast<std::uint32_t>(quickTime.size());
    header.creationTimeBytes = static_cast<std::uint32_t>(creationTime.size());
    header.detailBytes = static_cast<std::uint32_t>(detail.size());
    return writeAll(socketFd, &header, sizeof header) &&
           writeAll(socketFd, quickTime.data(), quickTime.size()) &&
           writeAll(socketFd, creationTime.data(), creationTime.size()) &&
           writeAll(socketFd, detail.constData(), static_cast<std::size_t>(detail.size()));
}

// The error's kind and detail, for a reply's header and the bytes after it.
template <typename T>
QByteArray errorDetail(const MediaResult<T>& result, std::uint32_t* status) {
    if (result) return {};
    *status = 1 + static_cast<std::uint32_t>(result.error().kind());
    return result.error().detail().toUtf8().left(kMaxDetailBytes);
}

bool sendFingerprintReply(int socketFd, const MediaResult<VisualFingerprint>& result) {
    FingerprintReplyHeader header{kFingerprintReplyMagic, 0, 0, 0, 0, 0, {}};
    const QByteArray detail = errorDetail(result, &header.status);
    if (result) {
        header.durationSeconds = result->durationSeconds;
        header.aspectRatio = result->aspectRatio;
        header.frameCount = result->frameCount;
        std::copy(result->frameHashes.begin(), result->frameHashes.end(), header.frameHashes);
    }
    header.detailBytes = static_cast<std::uint32_t>(detail.size());
    return writeAll(socketFd, &header, sizeof header) &&
           writeAll(socketFd, detail.constData(), static_cast<std::size_t>(detail.size()));
}

bool sendStripReply(int socketFd, const MediaResult<std::vector<Picture>>& result) {
    StripReplyHeader header{kStripReplyMagic, 0, 0, 0};
    const QByteArray detail = errorDetail(result, &header.status);
    if (result) header.frameCount = static_cast<std::int32_t>(result->size());
    header.detailBytes = static_cast<std::uint32_t>(detail.size());
    if (!writeAll(socketFd, &header, sizeof header) ||
        !writeAll(socketFd, detail.constData(), static_cast<std::size_t>(detail.size())))
        return false;
    if (!result) return true;
    for (const Picture& picture : result.value()) {
        const PictureHeader size{picture.width(), picture.height()};
        if (!writeAll(socketFd, &size, sizeof size) || (!picture.isNull() && !sendRows(socketFd, picture)))
            return false;
    }
    return true;
}

}  // namespace

bool sendThumbnailRequest(int socketFd, int videoFd, int maxPixelSize, const InputLimits& limits) {
    const RequestHeader header{kRequestMagic, maxPixelSize,
                               static_cast<std::int64_t>(limits.timeLimit.count()), limits.probeBytes};
    return sendDescriptors(socketFd, header, std::span<const int>(&videoFd, 1));
}

bool sendMetadataRequest(int socketFd, std::span<const int> videoFds, const InputLimits& limits) {
    if (videoFds.empty() || videoFds.size() > std::size_t(kMaxMetadataBatch)) return false;
    const RequestHeader header{kMetadataRequestMagic, static_cast<std::int32_t>(videoFds.size()),
                               static_cast<std::int64_t>(limits.timeLimit.count()), limits.probeBytes};
    return sendDescriptors(socketFd, header, videoFds);
}

bool sendFingerprintRequest(int socketFd, std::span<const int> videoFds, const InputLimits& limits) {
    if (videoFds.empty() || videoFds.size() > std::size_t(kMaxMetadataBatch)) return false;
    const RequestHeader header{kFingerprintRequestMagic, static_cast<std::int32_t>(videoFds.size()),
                               static_cast<std::int64_t>(limits.timeLimit.count()), limits.probeBytes};
    return sendDescriptors(socketFd, header, videoFds);
}

bool sendFrameStripRequest(int socketFd, int videoFd, int maxPixelSize, const InputLimits& limits) {
    const RequestHeader header{kStripRequestMagic, maxPixelSize,
                               static_cast<std::int64_t>(limits.timeLimit.count()), limits.probeBytes};
    return sendDescriptors(socketFd, header, std::span<const int>(&videoFd, 1));
}

MediaResult<Picture> receiveThumbnailReply(int socketFd, std::chrono::milliseconds wait,
                                           bool* isWorkerFault) {
    ReplyReader reply(socketFd, wait, isWorkerFault, "thumbnail worker");
    ReplyHeader header{};
    if (!reply.read(&header, sizeof header)) return reply.ended();
    if (header.magic != kReplyMagic || header.detailBytes > kMaxDetailBytes) return reply.malformed();
    QByteArray detail(static_cast<qsizetype>(header.detailBytes), '\0');
    if (!reply.read(detail)) return reply.ended();
    if (header.status != 0) {
        const std::uint32_t kind = header.status - 1;
        if (kind > static_cast<std::uint32_t>(MediaErrorKind::timedOut)) return reply.malformed();
        return MediaError(static_cast<MediaErrorKind>(kind), QString::fromUtf8(detail));
    }
    if (!isPictureSize(header.width, header.height)) return reply.malformed();
    Picture image = reply.readRows(header.width, header.height);
    if (image.isNull()) return reply.ended();
    return image;
}

MediaResult<MediaInfo> receiveMetadataReply(int socketFd, std::chrono::milliseconds wait,
                                            bool* isWorkerFault) {
    ReplyReader reply(socketFd, wait, isWorkerFault, "metadata worker");
    MetadataReplyHeader header{};
    if (!reply.read(&header, sizeof header)) return reply.ended();
    const bool isSane = header.magic == kMetadataReplyMagic && header.quickTimeBytes <= kMaxDetailBytes &&
                        header.creationTimeBytes <= kMaxDetailBytes &&
                        header.detailBytes <= kMaxDetailBytes && std::isfinite(header.lengthSeconds) &&
                        header.lengthSeconds >= 0 && header.pixelWidth >= 0 && header.pixelHeight >= 0 &&
                        header.status <= 1 + static_cast<std::uint32_t>(MediaErrorKind::timedOut);
    if (!isSane) return reply.malformed();
    std::string quickTime(header.quickTimeBytes, '\0');
    std::string creationTime(header.creationTimeBytes, '\0');
    QByteArray detail(static_cast<qsizetype>(header.detailBytes), '\0');
    if (!reply.read(quickTime.data(), quickTime.size()) ||
        !reply.read(creationTime.data(), creationTime.size()) || !reply.read(detail))
        return reply.ended();
    if (header.status != 0)
        return MediaError(static_cast<MediaErrorKind>(header.status - 1), QString::fromUtf8(detail));
    MediaInfo info;
    info.lengthSeconds = header.lengthSeconds;
    info.pixelWidth = header.pixelWidth;
    info.pixelHeight = header.pixelHeight;
    info.isScreenRecording = (header.flags & kScreenRecordingFlag) != 0;
    info.hasDecodableVideo = (header.flags & kDecodableVideoFlag) != 0;
    info.dateTags = ContainerDateTags{std::move(quickTime), std::move(creationTime)};
    info.creationDate = containerDate(info.dateTags);
    return info;
}

MediaResult<VisualFingerprint> receiveFingerprintReply(int socketFd, std::chrono::milliseconds wait,
                                                       bool* isWorkerFault) {
    ReplyReader reply(socketFd, wait, isWorkerFault, "fingerprint worker");
    FingerprintReplyHeader header{};
    if (!reply.read(&header, sizeof header)) return reply.ended();
    const bool isSane =
        header.magic == kFingerprintReplyMagic && header.detailBytes <= kMaxDetailBytes &&
        header.status <= kLastStatus &&
        (header.status != 0 || (std::isfinite(header.durationSeconds) && header.durationSeconds > 0 &&
                                std::isfinite(header.aspectRatio) && header.aspectRatio >= 0 &&
                                header.frameCount > 0 && header.frameCount <= kFingerprintFrames));
    if (!isSane) return reply.malformed();
    QByteArray detail(static_cast<qsizetype>(header.detailBytes), '\0');
    if (!reply.read(detail)) return reply.ended();
    if (header.status != 0)
        return MediaError(static_cast<MediaErrorKind>(header.status - 1), QString::fromUtf8(detail));
    VisualFingerprint fingerprint;
    fingerprint.durationSeconds = header.durationSeconds;
    fingerprint.aspectRatio = header.aspectRatio;
    fingerprint.frameCount = header.frameCount;
    std::copy(std::begin(header.frameHashes), std::end(header.frameHashes), fingerprint.frameHashes.begin());
    return fingerprint;
}

MediaResult<std::vector<Picture>> receiveFrameStripReply(int socketFd, std::chrono::milliseconds wait,
                                                         bool* isWorkerFault) {
    ReplyReader reply(socketFd, wait, isWorkerFault, "frame strip worker");
    StripReplyHeader header{};
    if (!reply.read(&header, sizeof header)) return reply.ended();
    const bool isSane = header.magic == kStripReplyMagic && header.detailBytes <= kMaxDetailBytes &&
                        header.status <= kLastStatus &&
                        (header.status != 0 || header.frameCount == kFingerprintFrames);
    if (!isSane) return reply.malformed();
    QByteArray detail(static_cast<qsizetype>(header.detailBytes), '\0');
    if (!reply.read(detail)) return reply.ended();
    if (header.status != 0)
        return MediaError(static_cast<MediaErrorKind>(header.status - 1), QString::fromUtf8(detail));
    std::vector<Picture> frames;
    for (int i = 0; i < kFingerprintFrames; ++i) {
        PictureHeader size{};
        if (!reply.read(&size, sizeof size)) return reply.ended();
        if (size.width == 0 && size.height == 0) {
            frames.emplace_back();
            continue;
        }
        if (!isPictureSize(size.width, size.height)) return reply.malformed();
        frames.push_back(reply.readRows(size.width, size.height));
        if (frames.back().isNull()) return reply.ended();
    }
    return frames;
}

bool serveMediaRequests(int socketFd, const WorkerHooks& hooks) {
    std::vector<int> videoFds;
    videoFds.reserve(kMaxMetadataBatch);
    for (;;) {
        RequestHeader header{};
        if (!receiveRequest(socketFd, &header, &videoFds))
            return header.magic == 0;  // nothing read: orderly end
        const InputLimits limits{std::chrono::milliseconds(header.timeLimitMs), header.probeBytes};
        bool isSent = true;
        for (const int videoFd : videoFds) {
            if (hooks.beforeRead) hooks.beforeRead(videoFd);
            // The name rule is the client's: it knows the name, the worker only the bytes.
            if (header.magic == kMetadataRequestMagic)
                isSent = isSent && sendMetadataReply(socketFd, readContainer(videoFd, {}, limits));
            else if (header.magic == kFingerprintRequestMagic)
                isSent = isSent && sendFingerprintReply(socketFd, fingerprintVideo(videoFd, limits));
            else if (header.magic == kStripRequestMagic)
                isSent = sendStripReply(
                    socketFd, decodeFrameStrip(videoFd, std::min(header.argument, kMaxSide), limits));
            else
                isSent = sendReply(socketFd,
                                   decodeThumbnail(videoFd, std::min(header.argument, kMaxSide), limits));
            ::close(videoFd);
        }
        if (!isSent) return false;
    }
}

}  // namespace reelkeep::media
