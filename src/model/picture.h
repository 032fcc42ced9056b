// picture.h: a decoded picture as plain bytes, which is what thumbnails and
// frame strips are below the window. QtCore only, so the terminal commands and
// the media workers never load Qt Gui; the window wraps the same bytes in a
// QImage without copying. Rows are packed tight and every picture that is not
// null holds all of its rows.
#pragma once

#include <QByteArray>
#include <QSize>
#include <cstdint>

namespace reelkeep {

enum class PixelFormat : std::uint8_t {
    rgb888,    // red, green, blue
    rgba8888,  // red, green, blue, alpha (not premultiplied)
};

int bytesPerPixel(PixelFormat format);

class Picture {
public:
    // Sides above this are no picture of ours (a thumbnail, a strip frame).
    static constexpr int kMaxSide = 16384;

    Picture() = default;
    // Uninitialised pixels; null when a side is not in 1...kMaxSide or memory is short.
    Picture(int width, int height, PixelFormat format);

    bool isNull() const { return m_pixels.isEmpty(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    QSize size() const { return {m_width, m_height}; }
    PixelFormat format() const { return m_format; }
    qsizetype bytesPerLine() const { return qsizetype(m_width) * bytesPerPixel(m_format); }
    // The rows, shared with every copy of this picture until one of them writes.
    const QByteArray& bytes() const { return m_pixels; }
    const std::uint8_t* row(int y) const;
    std::uint8_t* row(int y);

    // Every pixel this colour; alpha is dropped where the format has none.
    void fill(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha = 255);

    bool operator==(const Picture& other) const = default;

private:
    int m_width = 0;
    int m_height = 0;
    PixelFormat m_format = PixelFormat::rgb888;
    QByteArray m_pixels;
};

// Turned by a video stream's display rotation: quarterTurns counter-clockwise
// (any integer; negative turns clockwise).
Picture turnedCounterClockwise(const Picture& picture, int quarterTurns);

// Shrunk so that neither side exceeds maxSide, keeping the aspect ratio (the
// shorter side rounded down, at least 1); each pixel is the mean of the area it
// covers. A picture that fits is returned as it is: never enlarged.
Picture fittedWithin(const Picture& picture, int maxSide);

}  // namespace reelkeep
