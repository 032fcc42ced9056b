// media_error.h: the typed failure of reading a video, and MediaResult<T>.
// Every failure says what kind of input it met, so a broken file is reported as
// broken (and remembered as such), never as a video without a length.
#pragma once

#include <QString>
#include <utility>
#include <variant>

namespace reelkeep::media {

enum class MediaErrorKind {
    notRegularFile,  // FIFO, device, folder: never read, a device named .mp4 could block forever
    empty,           // 0 bytes
    unreadable,      // the file system refused (errno in the message)
    notMedia,        // no container format recognised: garbage with a video extension
    truncated,       // a recognised container that ends before its header or first frame does
    damaged,         // a recognised container whose structure FFmpeg rejects
    noVideoStream,   // a valid container without a video stream we can decode
    decodeFailed,    // the decoder produced no picture
    timedOut,        // past the caller's time limit
};

class MediaError {
public:
    MediaError(MediaErrorKind kind, QString detail) : m_kind(kind), m_detail(std::move(detail)) {}

    MediaErrorKind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }
    // One sentence for logs and the command line: kind first, then the detail.
    QString message() const;

private:
    MediaErrorKind m_kind;
    QString m_detail;
};

template <class T>
class [[nodiscard]] MediaResult {
public:
    MediaResult(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    MediaResult(MediaError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const T* operator->() const { return &std::get<0>(m_state); }
    const MediaError& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, MediaError> m_state;
};

}  // namespace reelkeep::media
