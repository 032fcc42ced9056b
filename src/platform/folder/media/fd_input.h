// fd_input.h: a libavformat demuxer reading through a descriptor it is given.
// The descriptor was verified by the caller (identity, regular file), so the
// file is never reopened by name; every read checks the deadline, so no input
// can hold a caller longer than its time limit.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

#include "media_error.h"

struct AVFormatContext;
struct AVInputFormat;
struct AVIOContext;
struct AVStream;

namespace reelkeep::media {

struct InputLimits {
    std::chrono::milliseconds timeLimit{5000};
    // Format detection and a stream-info fallback read at most this much.
    std::int64_t probeBytes = 512 * 1024;
};

// Read position and what the reads met; shared with the libavformat callbacks.
struct ReadCursor {
    int fd = -1;
    std::int64_t position = 0;
    std::int64_t sizeBytes = 0;
    std::chrono::steady_clock::time_point deadline;
    bool reachedEnd = false;     // a read found no more bytes
    bool soughtPastEnd = false;  // the container pointed beyond the last byte
    bool timedOut = false;
    int readErrno = 0;

    // A structure that ended early or pointed beyond the file: bytes are missing.
    bool isCutShort() const { return reachedEnd || soughtPastEnd; }
};

class FdInput {
public:
    // Opens the container header only; avformat_find_stream_info is left to the caller.
    static MediaResult<std::unique_ptr<FdInput>> open(int fd, const InputLimits& limits);
    ~FdInput();
    FdInput(const FdInput&) = delete;
    FdInput& operator=(const FdInput&) = delete;

    AVFormatContext* format() const { return m_format; }
    const ReadCursor& cursor() const { return m_cursor; }
    // Brings the deadline forward to `deadline` if that is sooner.
    void shortenDeadline(std::chrono::steady_clock::time_point deadline) {
        m_cursor.deadline = std::min(m_cursor.deadline, deadline);
    }
    // The first real video stream (cover art excluded), or null.
    AVStream* firstVideoStream() const;
    // Fills in missing stream parameters; a failure leaves the header values.
    void findStreamInfo();
    // Maps an FFmpeg error met after the header was read to a typed error.
    MediaError errorFor(int averror, const char* step) const;

private:
    FdInput() = default;
    // Opens the header as `container`: 0, or an AVERROR.
    int openFormat(const AVInputFormat* container, const InputLimits& limits);

    ReadCursor m_cursor;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
};

// FFmpeg writes its warnings to stderr, and one broken video fills a terminal
// with them ("moov atom not found" by the hundred). Its log goes to ours
// instead, at debug level in the category "reelkeep.ffmpeg" (enable with
// QT_LOGGING_RULES="reelkeep.ffmpeg.debug=true"); our typed errors already say
// what failed. FdInput::open calls it; safe from any thread.
void routeFfmpegLogging();

// Counter-clockwise display rotation of a stream in quarter turns, 0 … 3.
int quarterTurns(const AVStream* stream);

}  // namespace reelkeep::media
