// picture.cpp: the few pixel operations the media code needs, on tight rows.
// Scaling averages areas (a box filter), so a thumbnail of fine detail is not
// aliased; exact integer weights keep the result identical on every machine.
#include "model/picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace reelkeep {

int bytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::rgb888:
            return 3;
        case PixelFormat::rgba8888:
            return 4;
    }
    return 4;
}

Picture::Picture(int width, int height, PixelFormat format) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return;
    QByteArray pixels(qsizetype(width) * bytesPerPixel(format) * height, Qt::Uninitialized);
    if (pixels.isEmpty()) return;
    m_width = width;
    m_height = height;
    m_format = format;
    m_pixels = std::move(pixels);
}

const std::uint8_t* Picture::row(int y) const {
    return reinterpret_cast<const std::uint8_t*>(m_pixels.constData()) + y * bytesPerLine();
}

std::uint8_t* Picture::row(int y) {
    return reinterpret_cast<std::uint8_t*>(m_pixels.data()) + y * bytesPerLine();
}

void Picture::fill(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha) {
    if (isNull()) return;
    const std::uint8_t colour[] = {red, green, blue, alpha};
    const int step = bytesPerPixel(m_format);
    std::uint8_t* out = row(0);
    for (qsizetype at = 0; at < m_pixels.size(); at += step) std::memcpy(out + at, colour, size_t(step));
}

Picture turnedCounterClockwise(const Picture& picture, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    if (turns == 0 || picture.isNull()) return picture;
    const int width = picture.width(), height = picture.height();
    const bool isSideways = turns % 2 == 1;
    Picture out(isSideways ? height : width, isSideways ? width : height, picture.format());
    if (out.isNull()) return {};
    const int step = bytesPerPixel(picture.format());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = picture.row(y);
        for (int x = 0; x < width; ++x) {
            // Where (x, y) lands, seen on screen: a counter-clockwise quarter
            // takes the top-right corner to the top-left.
            int toX = 0, toY = 0;
            switch (turns) {
                case 1:
                    toX = y, toY = width - 1 - x;
                    break;
                case 2:
                    toX = width - 1 - x, toY = height - 1 - y;
                    break;
                default:
                    toX = height - 1 - y, toY = x;
                    break;
            }
            std::memcpy(out.row(toY) + toX * step, in + x * step, size_t(step));
        }
    }
    return out;
}

namespace {

// For each target position along one axis: the source spans it covers, each
// with its weight in units of 1/target of a source pixel, so all are integers.
struct Span {
    int first = 0;
    std::vector<int> weights;
};

std::vector<Span> spansFor(int source, int target) {
    std::vector<Span> spans(static_cast<size_t>(target));
    // Target pixel t covers [t * source, (t + 1) * source) in units of 1/target.
    for (int t = 0; t < target; ++t) {
        const std::int64_t begin = std::int64_t(t) * source, end = begin + source;
        Span& span = spans[size_t(t)];
        span.first = int(begin / target);
        for (std::int64_t s = span.first; s * target < end; ++s)
            span.weights.push_back(int(std::min(end, (s + 1) * target) - std::max(begin, s * target)));
    }
    return spans;
}

}  // namespace

Picture fittedWithin(const Picture& picture, int maxSide) {
    const int width = picture.width(), height = picture.height();
    if (picture.isNull() || maxSide < 1 || (width <= maxSide && height <= maxSide)) return picture;
    const bool isWide = width >= height;
    const int toWidth = isWide ? maxSide : std::max(1, int(std::int64_t(width) * maxSide / height));
    const int toHeight = isWide ? std::max(1, int(std::int64_t(height) * maxSide / width)) : maxSide;
    Picture out(toWidth, toHeight, picture.format());
    if (out.isNull()) return {};
    const int step = bytesPerPixel(picture.format());
    const std::vector<Span> columns = spansFor(width, toWidth), rows = spansFor(height, toHeight);
    // Each source pixel is weighed width-share × height-share; the total is width × height.
    const std::uint64_t total = std::uint64_t(width) * std::uint64_t(height);
    std::vector<std::uint64_t> sums(static_cast<size_t>(step));
    for (int y = 0; y < toHeight; ++y) {
        const Span& rowSpan = rows[size_t(y)];
        for (int x = 0; x < toWidth; ++x) {
            const Span& columnSpan = columns[size_t(x)];
            std::fill(sums.begin(), sums.end(), 0);
            for (size_t i = 0; i < rowSpan.weights.size(); ++i) {
                const std::uint8_t* in = picture.row(rowSpan.first + int(i)) + columnSpan.first * step;
                for (size_t j = 0; j < columnSpan.weights.size(); ++j) {
                    const std::uint64_t weight = std::uint64_t(rowSpan.weights[i]) * columnSpan.weights[j];
                    for (int c = 0; c < step; ++c)
                        sums[size_t(c)] += weight * in[j * size_t(step) + size_t(c)];
                }
            }
            std::uint8_t* pixel = out.row(y) + x * step;
            for (int c = 0; c < step; ++c) pixel[c] = std::uint8_t((sums[size_t(c)] + total / 2) / total);
        }
    }
    return out;
}

}  // namespace reelkeep
