// thumbnail_decoder.cpp: seek, decode one picture, scale once, rotate the small result.
#include "thumbnail_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QTransform>
#include <algorithm>
#include <cmath>
#include <memory>

namespace reelkeep::media {

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

// A video whose first picture needs more packets than this is broken, not slow:
// long open GOPs decode within a few hundred.
constexpr int kPacketBudget = 4000;

MediaResult<CodecContextPtr> openDecoder(const AVStream* stream) {
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
    // The picture wanted is the key frame the seek lands on; frames after it
    // that the decoder would otherwise reorder first are skipped unread
    // (two thirds of a short 4K HEVC decode). The retry below decodes all.
    context->skip_frame = AVDISCARD_NONKEY;
    context->flags2 |= AV_CODEC_FLAG2_FAST;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("the decoder refused the stream"));
    return context;
}

// Reads packets of one stream until the decoder gives a picture; 0, or an FFmpeg error.
int decodeFirstFrame(FdInput& input, int streamIndex, AVCodecContext* decoder, AVFrame* frame) {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return AVERROR(ENOMEM);
    bool isDraining = false;
    for (int budget = kPacketBudget; budget > 0; --budget) {
        if (!isDraining) {
            const int read = av_read_frame(input.format(), packet.get());
            if (read < 0) {
                if (input.cursor().timedOut) return AVERROR_EXIT;
                isDraining = true;  // end of input: flush what the decoder holds
                avcodec_send_packet(decoder, nullptr);
            } else if (packet->stream_index == streamIndex) {
                const int sent = avcodec_send_packet(decoder, packet.get());
                av_packet_unref(packet.get());
                if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) return sent;
            } else {
                av_packet_unref(packet.get());
                continue;
            }
        }
        const int received = avcodec_receive_frame(decoder, frame);
        if (received == 0) return 0;
        if (received == AVERROR_EOF) return AVERROR_EOF;
        if (received != AVERROR(EAGAIN)) return received;
        if (isDraining) return AVERROR_EOF;
    }
    return AVERROR_INVALIDDATA;
}

QImage scaledRgb(const AVFrame* frame, int maxPixelSize) {
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
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull()) return {};
    std::uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) != height)
        return {};
    return image;
}

}  // namespace

MediaResult<QImage> decodeThumbnail(int fd, int maxPixelSize, const InputLimits& limits) {
    if (maxPixelSize <= 0) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("no target size"));
    auto opened = FdInput::open(fd, limits);
    if (!opened) return opened.error();
    FdInput& input = *opened.value();

    AVStream* stream = input.firstVideoStream();
    if (!stream || stream->codecpar->width <= 0 || stream->codecpar->height <= 0) {
        input.findStreamInfo();
        stream = input.firstVideoStream();
    }
    if (input.cursor().timedOut) return MediaError(MediaErrorKind::timedOut, QStringLiteral("stream info"));
    if (!stream) return MediaError(MediaErrorKind::noVideoStream, {});
    auto decoder = openDecoder(stream);
    if (!decoder) return decoder.error();

    const AVFormatContext* format = input.format();
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        const std::int64_t target =
            av_rescale_q(format->duration / 10, AVRational{1, AV_TIME_BASE}, stream->time_base);
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        // Backward: the key frame at or before the target, so the first picture is whole.
        if (av_seek_frame(input.format(), stream->index, start + target, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(input.format(), stream->index, start, AVSEEK_FLAG_BACKWARD);
    }

    FramePtr frame(av_frame_alloc());
    if (!frame) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("out of memory"));
    int decoded = decodeFirstFrame(input, stream->index, decoder.value().get(), frame.get());
    if (decoded < 0 && !input.cursor().timedOut && input.cursor().readErrno == 0) {
        // The seek may land past the last decodable packet of a short or odd file,
        // or the stream marks no key frames: start over and decode every frame.
        avcodec_flush_buffers(decoder.value().get());
        decoder.value()->skip_frame = AVDISCARD_DEFAULT;
        if (av_seek_frame(input.format(), stream->index, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE) >= 0 ||
            av_seek_frame(input.format(), stream->index, 0, AVSEEK_FLAG_BACKWARD) >= 0)
            decoded = decodeFirstFrame(input, stream->index, decoder.value().get(), frame.get());
    }
    if (decoded < 0) {
        const ReadCursor& cursor = input.cursor();
        if (cursor.timedOut || cursor.readErrno != 0) return input.errorFor(decoded, "decode");
        // Out of packets before a picture: the file ends early.
        const MediaErrorKind kind =
            cursor.isCutShort() ? MediaErrorKind::truncated : MediaErrorKind::decodeFailed;
        return MediaError(kind, input.errorFor(decoded, "decode").detail());
    }

    QImage image = scaledRgb(frame.get(), maxPixelSize);
    if (image.isNull()) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("pixel conversion"));
    // Display rotation is counter-clockwise; QTransform turns clockwise on screen.
    if (const int turns = quarterTurns(stream); turns != 0)
        image = image.transformed(QTransform().rotate(-90.0 * turns));
    return image;
}

}  // namespace reelkeep::media
