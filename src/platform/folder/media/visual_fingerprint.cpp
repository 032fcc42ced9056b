// visual_fingerprint.cpp: one seek and one key-frame decode per moment; a
// moment whose key frame was already decoded for an earlier one reuses it.
#include "visual_fingerprint.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

#include "frame_decoding.h"

namespace reelkeep::media {

namespace {

// Packets read after a seek before that moment is given up: the seek lands on
// a key frame, so more than this means a stream that marks none.
constexpr int kPacketsPerMoment = 600;
// Key frames tried per moment when one does not decode alone.
constexpr int kKeyFramesPerMoment = 3;

struct OpenedVideo {
    std::unique_ptr<FdInput> input;
    AVStream* stream = nullptr;
    CodecContextPtr decoder;
    double durationSeconds = 0;
};

double lengthSeconds(const AVFormatContext* format, const AVStream* video) {
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return static_cast<double>(format->duration) / AV_TIME_BASE;
    if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
        return static_cast<double>(video->duration) * av_q2d(video->time_base);
    return 0;
}

MediaResult<OpenedVideo> openVideo(int fd, const InputLimits& limits) {
    auto opened = FdInput::open(fd, limits);
    if (!opened) return opened.error();
    OpenedVideo video;
    video.input = std::move(opened).value();
    FdInput& input = *video.input;
    video.stream = input.firstVideoStream();
    if (!video.stream || video.stream->codecpar->width <= 0 || video.stream->codecpar->height <= 0 ||
        lengthSeconds(input.format(), video.stream) <= 0) {
        input.findStreamInfo();
        video.stream = input.firstVideoStream();
    }
    if (input.cursor().timedOut) return MediaError(MediaErrorKind::timedOut, QStringLiteral("stream info"));
    if (!video.stream) return MediaError(MediaErrorKind::noVideoStream, {});
    video.durationSeconds = lengthSeconds(input.format(), video.stream);
    if (!std::isfinite(video.durationSeconds) || video.durationSeconds <= 0)
        return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("the length is unknown"));
    auto decoder = openPictureDecoder(video.stream);
    if (!decoder) return decoder.error();
    video.decoder = std::move(decoder).value();
    return video;
}

// Decodes the key frame at or before `seconds`: the frame, or the moment whose
// key frame it was already (*sameAs), or nothing.
enum class MomentOutcome { decoded, repeated, missing, aborted };

struct KeyFrameReader {
    OpenedVideo& video;
    AVFrame* frame;
    PacketPtr packet{av_packet_alloc()};
    std::array<std::int64_t, kFingerprintFrames> keyTimes{};  // per moment, the key packet's time

    MomentOutcome read(int moment, int* sameAs) {
        AVFormatContext* format = video.input->format();
        const AVStream* stream = video.stream;
        keyTimes[moment] = AV_NOPTS_VALUE;
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        const double seconds = fingerprintFrameFraction(moment) * video.durationSeconds;
        const auto target =
            start + static_cast<std::int64_t>(std::llround(seconds / av_q2d(stream->time_base)));
        // Backward: the key frame at or before the moment, so the picture is whole.
        if (av_seek_frame(format, stream->index, target, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(format, stream->index, start, AVSEEK_FLAG_BACKWARD) < 0)
            return stopped() ? MomentOutcome::aborted : MomentOutcome::missing;
        int keyFramesLeft = kKeyFramesPerMoment;
        for (int budget = kPacketsPerMoment; budget > 0 && keyFramesLeft > 0; --budget) {
            if (av_read_frame(format, packet.get()) < 0)
                return stopped() ? MomentOutcome::aborted : MomentOutcome::missing;
            const bool isKey = packet->stream_index == stream->index && (packet->flags & AV_PKT_FLAG_KEY);
            if (!isKey) {
                av_packet_unref(packet.get());
                continue;
            }
            const std::int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            for (int earlier = 0; earlier < moment && time != AV_NOPTS_VALUE; ++earlier)
                if (keyTimes[earlier] == time) {
                    av_packet_unref(packet.get());
                    keyTimes[moment] = time;
                    *sameAs = earlier;
                    return MomentOutcome::repeated;
                }
            --keyFramesLeft;
            if (decodeAlone()) {
                keyTimes[moment] = time;
                return MomentOutcome::decoded;
            }
        }
        return MomentOutcome::missing;
    }

    // Sends the key packet held and drains the decoder: its picture comes out
    // at once, where waiting for it would read on through the next frames.
    bool decodeAlone() {
        AVCodecContext* decoder = video.decoder.get();
        avcodec_flush_buffers(decoder);
        const int sent = avcodec_send_packet(decoder, packet.get());
        av_packet_unref(packet.get());
        if (sent < 0) return false;
        avcodec_send_packet(decoder, nullptr);
        const bool isDecoded = avcodec_receive_frame(decoder, frame) == 0;
        avcodec_flush_buffers(decoder);
        return isDecoded;
    }

    bool stopped() const {
        const ReadCursor& cursor = video.input->cursor();
        return cursor.timedOut || cursor.readErrno != 0;
    }
};

// Visits every moment with its decoded frame (null for a repeat, given sameAs).
// The number decoded or repeated, or the error that stopped the reading.
MediaResult<int> visitMoments(OpenedVideo& video,
                              const std::function<void(int moment, const AVFrame*, int sameAs)>& visit) {
    FramePtr frame(av_frame_alloc());
    KeyFrameReader reader{video, frame.get()};
    if (!frame || !reader.packet)
        return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("out of memory"));
    int found = 0;
    for (int moment = 0; moment < kFingerprintFrames; ++moment) {
        int sameAs = -1;
        switch (reader.read(moment, &sameAs)) {
            case MomentOutcome::decoded:
                visit(moment, frame.get(), -1);
                av_frame_unref(frame.get());
                ++found;
                break;
            case MomentOutcome::repeated:
                visit(moment, nullptr, sameAs);
                ++found;
                break;
            case MomentOutcome::missing:
                break;
            case MomentOutcome::aborted:
                return video.input->errorFor(AVERROR_EXIT, "decode");
        }
    }
    if (found == 0) {
        const MediaErrorKind kind =
            video.input->cursor().isCutShort() ? MediaErrorKind::truncated : MediaErrorKind::damaged;
        return MediaError(kind, QStringLiteral("no frame could be decoded"));
    }
    return found;
}

using GreyPicture = std::array<std::uint8_t, kHashImageSide * kHashImageSide>;

// Counter-clockwise quarter turns of a square picture.
GreyPicture turnedSquare(const GreyPicture& stored, int quarterTurns) {
    constexpr int n = kHashImageSide;
    GreyPicture turned = stored;
    for (int turn = 0; turn < quarterTurns; ++turn) {
        const GreyPicture before = turned;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) turned[y * n + x] = before[x * n + (n - 1 - y)];
    }
    return turned;
}

// One scaler for the whole video: its frames share size and format.
struct GreyScaler {
    ScalerPtr scaler;
    int width = 0, height = 0, format = -1;

    std::optional<GreyPicture> scale(const AVFrame* frame) {
        if (!scaler || frame->width != width || frame->height != height || frame->format != format) {
            // Area averaging: every source pixel counts, as the hash expects.
            scaler.reset(sws_getContext(
                frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), kHashImageSide,
                kHashImageSide, AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
            width = frame->width;
            height = frame->height;
            format = frame->format;
        }
        if (!scaler) return std::nullopt;
        GreyPicture grey{};
        std::uint8_t* planes[4] = {grey.data(), nullptr, nullptr, nullptr};
        int strides[4] = {kHashImageSide, 0, 0, 0};
        if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) !=
            kHashImageSide)
            return std::nullopt;
        return grey;
    }
};

double displayAspectRatio(const AVStream* stream, int quarterTurns) {
    const AVCodecParameters* codec = stream->codecpar;
    double width = codec->width;
    AVRational sampleAspect = stream->sample_aspect_ratio;
    if (sampleAspect.num <= 0 || sampleAspect.den <= 0) sampleAspect = codec->sample_aspect_ratio;
    if (sampleAspect.num > 0 && sampleAspect.den > 0) width *= av_q2d(sampleAspect);
    const double height = codec->height;
    if (width <= 0 || height <= 0) return 0;
    return quarterTurns % 2 == 1 ? height / width : width / height;
}

}  // namespace

MediaResult<VisualFingerprint> fingerprintVideo(int fd, const InputLimits& limits) {
    auto opened = openVideo(fd, limits);
    if (!opened) return opened.error();
    OpenedVideo video = std::move(opened).value();
    const int turns = quarterTurns(video.stream);

    std::array<std::optional<std::uint64_t>, kFingerprintFrames> hashes;
    GreyScaler scaler;
    auto visited = visitMoments(video, [&](int moment, const AVFrame* frame, int sameAs) {
        if (!frame) {
            hashes[moment] = hashes[sameAs];
            return;
        }
        if (const auto grey = scaler.scale(frame))
            hashes[moment] = perceptualHash(turnedSquare(*grey, turns));
    });
    if (!visited) return visited.error();

    VisualFingerprint fingerprint;
    fingerprint.durationSeconds = video.durationSeconds;
    fingerprint.aspectRatio = displayAspectRatio(video.stream, turns);
    for (int moment = 0; moment < kFingerprintFrames; ++moment) {
        fingerprint.frameHashes[moment] = hashes[moment].value_or(kFlatPictureHash);
        fingerprint.frameCount += hashes[moment] ? 1 : 0;
    }
    if (fingerprint.frameCount == 0)
        return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("pixel conversion"));
    return fingerprint;
}

MediaResult<std::vector<QImage>> decodeFrameStrip(int fd, int maxPixelSize, const InputLimits& limits) {
    if (maxPixelSize <= 0) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("no target size"));
    auto opened = openVideo(fd, limits);
    if (!opened) return opened.error();
    OpenedVideo video = std::move(opened).value();
    const int turns = quarterTurns(video.stream);

    std::vector<QImage> frames(kFingerprintFrames);
    auto visited = visitMoments(video, [&](int moment, const AVFrame* frame, int sameAs) {
        frames[moment] = frame ? turnedUpright(scaledRgb(frame, maxPixelSize), turns) : frames[sameAs];
    });
    if (!visited) return visited.error();
    return frames;
}

}  // namespace reelkeep::media
