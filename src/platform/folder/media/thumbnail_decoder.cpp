// thumbnail_decoder.cpp: seek, decode one picture, scale once, rotate the small result.
#include "thumbnail_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <utility>

#include "frame_decoding.h"

namespace reelkeep::media {

namespace {

// A video whose first picture needs more packets than this is broken, not slow:
// long open GOPs decode within a few hundred.
constexpr int kPacketBudget = 4000;

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

}  // namespace

MediaResult<Picture> decodeThumbnail(int fd, int maxPixelSize, const InputLimits& limits) {
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
    auto decoder = openPictureDecoder(stream);
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

    Picture image = scaledRgb(frame.get(), maxPixelSize);
    if (image.isNull()) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("pixel conversion"));
    return turnedCounterClockwise(image, quarterTurns(stream));
}

}  // namespace reelkeep::media
