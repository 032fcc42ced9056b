// frame_decoding.cpp: one scale to the target size, then rotation of the small result.
#include "frame_decoding.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace reelkeep::media {

MediaResult<CodecContextPtr> openPictureDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return MediaError(MediaErrorKind::noVideoStream, QStringLiteral("no decoder for the codec"));
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("out of memory"));
    if (avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("codec parameters"));
    // One thread: the worker pool runs decodes side by side, and frame threads
    // would hold back the first picture until several packets are in.
    context->thread_count = 1;
    // Deblocking is invisible at thumbnail size and costs a third of a 4K HEVC decode.
    context->skip_loop_filter = AVDISCARD_ALL;
    // The picture wanted is the key frame a seek lands on; frames after it
    // that the decoder would otherwise reorder first are skipped unread
    // (two thirds of a short 4K HEVC decode). A caller may lower this.
    context->skip_frame = AVDISCARD_NONKEY;
    context->flags2 |= AV_CODEC_FLAG2_FAST;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("the decoder refused the stream"));
    return context;
}

constexpr std::size_t kScratchAlignment = 64;

Picture scaledRgb(const AVFrame* frame, int maxPixelSize) {
    // Display width follows the sample aspect ratio (anamorphic DV, some phones).
    double displayWidth = frame->width;
    if (frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0)
        displayWidth *= av_q2d(frame->sample_aspect_ratio);
    const double longer = std::max(displayWidth, static_cast<double>(frame->height));
    const double scale = std::min(1.0, maxPixelSize / longer);
    const int width = std::max(1, static_cast<int>(std::lround(displayWidth * scale)));
    const int height = std::max(1, static_cast<int>(std::lround(frame->height * scale)));

    ScalerPtr scaler(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                    width, height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr,
                                    nullptr));
    if (!scaler) return {};
    Picture image(width, height, PixelFormat::rgb888);
    if (image.isNull()) return {};
    // swscale's vector code writes whole blocks of pixels, past the end of a
    // row whose width is not a multiple of the block (a 120 px wide AVI, a
    // 107 px portrait of a 2.39:1 film): into a picture's packed rows, the
    // last row's spill corrupted the heap. Scaled into rows of aligned stride
    // with slack after them, then copied.
    const auto rowBytes = static_cast<std::size_t>(image.bytesPerLine());
    const std::size_t stride = (rowBytes + kScratchAlignment - 1) / kScratchAlignment * kScratchAlignment;
    std::vector<std::uint8_t> scratch(stride * static_cast<std::size_t>(height) + 2 * kScratchAlignment);
    std::uint8_t* const start =
        scratch.data() +
        (kScratchAlignment - reinterpret_cast<std::uintptr_t>(scratch.data()) % kScratchAlignment);
    std::uint8_t* planes[4] = {start, nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(stride), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) != height)
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(image.row(y), start + static_cast<std::size_t>(y) * stride, rowBytes);
    return image;
}

}  // namespace reelkeep::media
