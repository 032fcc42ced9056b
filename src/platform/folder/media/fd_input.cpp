// fd_input.cpp: libavformat over pread on a given descriptor, with a deadline.
// pread keeps our own position, so nothing else sharing the descriptor can move it.
#include "fd_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>

namespace reelkeep::media {

namespace {

// 32 KiB: one read covers a typical ftyp+moov prefix of a phone clip.
constexpr int kIoBufferBytes = 32 * 1024;

bool pastDeadline(ReadCursor& cursor) {
    if (std::chrono::steady_clock::now() < cursor.deadline) return false;
    cursor.timedOut = true;
    return true;
}

int readPacket(void* opaque, std::uint8_t* buffer, int bufferBytes) {
    auto& cursor = *static_cast<ReadCursor*>(opaque);
    if (pastDeadline(cursor)) return AVERROR_EXIT;
    for (;;) {
        const ssize_t got = ::pread(cursor.fd, buffer, static_cast<size_t>(bufferBytes), cursor.position);
        if (got > 0) {
            cursor.position += got;
            return static_cast<int>(got);
        }
        if (got == 0) {
            cursor.reachedEnd = true;
            return AVERROR_EOF;
        }
        if (errno == EINTR) continue;
        cursor.readErrno = errno;
        return AVERROR(errno);
    }
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
    auto& cursor = *static_cast<ReadCursor*>(opaque);
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return cursor.sizeBytes;
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = cursor.position + offset;
            break;
        case SEEK_END:
            target = cursor.sizeBytes + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0) return AVERROR(EINVAL);
    if (target > cursor.sizeBytes) cursor.soughtPastEnd = true;
    cursor.position = target;
    return target;
}

// ISO base media (MP4, MOV): a top-level box whose declared size runs past the
// last byte means the file was cut short, e.g. a copy that stopped halfway.
bool hasBoxPastEnd(int fd, std::int64_t sizeBytes) {
    std::int64_t offset = 0;
    for (int boxes = 0; boxes < 4096 && offset + 8 <= sizeBytes; ++boxes) {
        unsigned char head[16];
        const ssize_t got = ::pread(fd, head, sizeof head, offset);
        if (got < 8) return false;
        std::uint64_t boxBytes = std::uint64_t(head[0]) << 24 | std::uint64_t(head[1]) << 16 |
                                 std::uint64_t(head[2]) << 8 | head[3];
        if (boxBytes == 0) return false;  // "to the end of the file"
        if (boxBytes == 1) {
            if (got < 16) return true;
            boxBytes = 0;
            for (int i = 8; i < 16; ++i) boxBytes = boxBytes << 8 | head[i];
        }
        if (boxBytes < 8) return false;  // nonsense, not a truncation
        if (boxBytes > static_cast<std::uint64_t>(sizeBytes - offset)) return true;
        offset += static_cast<std::int64_t>(boxBytes);
    }
    return false;
}

// The box types an ISO base media file starts with, at bytes 4-7.
bool startsWithIsoBox(int fd) {
    char head[8];
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return false;
    for (const char* type : {"ftyp", "moov", "mdat", "wide", "free", "skip"})
        if (std::memcmp(head + 4, type, 4) == 0) return true;
    return false;
}

int interruptRequested(void* opaque) {
    return pastDeadline(*static_cast<ReadCursor*>(opaque)) ? 1 : 0;
}

QString averrorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return QString::fromUtf8(text);
}

Q_LOGGING_CATEGORY(lcFfmpeg, "reelkeep.ffmpeg", QtInfoMsg)

// FFmpeg hands a line over in pieces; each thread gathers its own.
thread_local std::string t_ffmpegLine;
thread_local int t_printsPrefix = 1;

void logFfmpegMessage(void* context, int level, const char* format, va_list arguments) {
    // Verbose and debug levels describe every packet: not even debug output wants them.
    if (level > AV_LOG_INFO || !lcFfmpeg().isDebugEnabled()) return;
    char piece[1024];
    av_log_format_line2(context, level, format, arguments, piece, sizeof piece, &t_printsPrefix);
    t_ffmpegLine += piece;
    if (t_ffmpegLine.empty() || t_ffmpegLine.back() != '\n') return;
    t_ffmpegLine.pop_back();
    qCDebug(lcFfmpeg).noquote() << QString::fromUtf8(t_ffmpegLine);
    t_ffmpegLine.clear();
}

}  // namespace

MediaResult<std::unique_ptr<FdInput>> FdInput::open(int fd, const InputLimits& limits) {
    routeFfmpegLogging();
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return MediaError(MediaErrorKind::unreadable, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode)) return MediaError(MediaErrorKind::notRegularFile, {});
    if (st.st_size == 0) return MediaError(MediaErrorKind::empty, {});

    std::unique_ptr<FdInput> input(new FdInput);
    ReadCursor& cursor = input->m_cursor;
    cursor.fd = fd;
    cursor.sizeBytes = st.st_size;
    cursor.deadline = std::chrono::steady_clock::now() + limits.timeLimit;

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer) return MediaError(MediaErrorKind::unreadable, QStringLiteral("out of memory"));
    input->m_io = avio_alloc_context(buffer, kIoBufferBytes, 0, &cursor, &readPacket, nullptr, &seekTo);
    if (!input->m_io) {
        av_free(buffer);
        return MediaError(MediaErrorKind::unreadable, QStringLiteral("out of memory"));
    }

    // Nearly every video is MP4 or MOV: their demuxer opens them at once, where
    // the probe would try every demuxer first. Anything it refuses (a file
    // whose bytes only look like a box) goes to the probe from the first byte.
    static const AVInputFormat* const isoMedia = av_find_input_format("mov");
    if (isoMedia && startsWithIsoBox(fd)) {
        // A movie without tracks is no answer either: the probe may know the file better.
        if (input->openFormat(isoMedia, limits) >= 0) {
            if (input->m_format->nb_streams > 0) return input;
            avformat_close_input(&input->m_format);
        }
        if (cursor.timedOut) return MediaError(MediaErrorKind::timedOut, {});
        cursor = ReadCursor{fd, 0, cursor.sizeBytes, cursor.deadline};
        if (avio_seek(input->m_io, 0, SEEK_SET) != 0)
            return MediaError(MediaErrorKind::unreadable, QStringLiteral("could not read the file again"));
    }

    // A low score means FFmpeg is guessing: garbage must not pass for an MP3 or MPEG stream.
    const AVInputFormat* detected = nullptr;
    const int score = av_probe_input_buffer2(input->m_io, &detected, "", nullptr, 0,
                                             static_cast<unsigned>(limits.probeBytes));
    if (cursor.timedOut) return MediaError(MediaErrorKind::timedOut, {});
    if (cursor.readErrno != 0)
        return MediaError(MediaErrorKind::unreadable,
                          QString::fromLocal8Bit(std::strerror(cursor.readErrno)));
    if (score < AVPROBE_SCORE_RETRY || !detected)
        return MediaError(MediaErrorKind::notMedia, QStringLiteral("no known container format"));

    const int opened = input->openFormat(detected, limits);
    if (opened < 0) {
        MediaError error = input->errorFor(opened, "header");
        // A known container that ran out of bytes before its header ended.
        const bool isIsoMedia = std::strstr(detected->name, "mp4") != nullptr;
        if (error.kind() == MediaErrorKind::damaged &&
            (cursor.isCutShort() || (isIsoMedia && hasBoxPastEnd(fd, cursor.sizeBytes))))
            return MediaError(MediaErrorKind::truncated, error.detail());
        return error;
    }
    return input;
}

int FdInput::openFormat(const AVInputFormat* container, const InputLimits& limits) {
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return AVERROR(ENOMEM);
    format->pb = m_io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->interrupt_callback = {&interruptRequested, &m_cursor};
    format->probesize = limits.probeBytes;
    format->max_analyze_duration = AV_TIME_BASE;
    // On failure avformat_open_input frees the context (not our custom I/O).
    const int opened = avformat_open_input(&format, nullptr, container, nullptr);
    if (opened >= 0) m_format = format;
    return opened;
}

FdInput::~FdInput() {
    if (m_format) avformat_close_input(&m_format);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

AVStream* FdInput::firstVideoStream() const {
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        AVStream* stream = m_format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;  // cover art, not the video
        return stream;
    }
    return nullptr;
}

void FdInput::findStreamInfo() {
    (void)avformat_find_stream_info(m_format, nullptr);
}

MediaError FdInput::errorFor(int averror, const char* step) const {
    const QString detail = QString::fromLatin1(step) + QStringLiteral(": ") + averrorText(averror);
    if (m_cursor.timedOut || averror == AVERROR_EXIT) return MediaError(MediaErrorKind::timedOut, detail);
    if (m_cursor.readErrno != 0) return MediaError(MediaErrorKind::unreadable, detail);
    if (averror == AVERROR_EOF) return MediaError(MediaErrorKind::truncated, detail);
    return MediaError(MediaErrorKind::damaged, detail);
}

void routeFfmpegLogging() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logFfmpegMessage); });
}

int quarterTurns(const AVStream* stream) {
    size_t bytes = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &bytes);
    if (!matrix || bytes < 9 * sizeof(std::int32_t)) return 0;
    const double degrees = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (!std::isfinite(degrees)) return 0;  // a degenerate matrix: show the frame as stored
    const long turns = std::lround(degrees / 90.0) % 4;
    return static_cast<int>((turns + 4) % 4);
}

}  // namespace reelkeep::media
