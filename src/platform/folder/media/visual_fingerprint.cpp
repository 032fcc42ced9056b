// visual_fingerprint.cpp: the pictures shown at the fingerprint's moments,
// decoded forward from the key frame before each, at most one pass a video.
#include "visual_fingerprint.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
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

// Packets read towards one moment before it is given up: more than the
// longest key-frame interval encoders use (ten seconds at 60 frames/s), so
// more means a stream that marks no key frames.
constexpr int kPacketsPerMoment = 1200;

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
    const auto started = std::chrono::steady_clock::now();
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
    // The caller may not know the length: the one found here sets the limit.
    input.shortenDeadline(started + fingerprintTimeLimit(video.durationSeconds));
    // The demuxer then passes over the sound and subtitles without reading them.
    for (unsigned i = 0; i < input.format()->nb_streams; ++i)
        if (input.format()->streams[i] != video.stream) input.format()->streams[i]->discard = AVDISCARD_ALL;
    auto decoder = openPictureDecoder(video.stream);
    if (!decoder) return decoder.error();
    video.decoder = std::move(decoder).value();
    return video;
}

// Decodes the picture shown at a moment, or says that the previous moment's
// picture is the one shown then (*sameAs), or that none could be decoded.
enum class MomentOutcome { decoded, repeated, missing, aborted };

// The picture at the moment itself, not the key frame before it: encoders
// place key frames a second apart or ten, and at scene cuts of their own, so
// two versions' key frames before one moment can be seconds apart, and a
// moving picture changes in that time. A seek lands on the key frame at or
// before the moment and decoding goes on from there; a later moment whose key frame is behind
// the picture last decoded goes on without a seek, so a long GOP is read once.
struct MomentReader {
    OpenedVideo& video;
    AVFrame* frame;
    PacketPtr packet{av_packet_alloc()};
    FramePtr previous{
        av_frame_alloc()};  // the last picture before the moment, for a moment past the last one
    std::int64_t lastTime = AV_NOPTS_VALUE;  // of the picture last decoded, while decoding can go on from it
    bool isDraining = false;

    MomentOutcome read(int moment, int* sameAs) {
        const AVStream* stream = video.stream;
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        const double seconds = fingerprintFrameFraction(moment) * video.durationSeconds;
        const auto target =
            start + static_cast<std::int64_t>(std::llround(seconds / av_q2d(stream->time_base)));
        if (moment > 0 && lastTime != AV_NOPTS_VALUE && lastTime >= target) {
            *sameAs = moment - 1;
            return MomentOutcome::repeated;
        }
        if (!canGoOnTo(target) && !seekBefore(target, start))
            return stopped() ? MomentOutcome::aborted : MomentOutcome::missing;
        AVCodecContext* decoder = video.decoder.get();
        const auto skipMargin = static_cast<std::int64_t>(std::llround(1.0 / av_q2d(stream->time_base)));
        for (int budget = kPacketsPerMoment; budget > 0; --budget) {
            const int received = avcodec_receive_frame(decoder, frame);
            if (received == 0) {
                const std::int64_t time = frame->best_effort_timestamp;
                lastTime = time;
                if (time == AV_NOPTS_VALUE || time >= target) return MomentOutcome::decoded;
                av_frame_unref(previous.get());
                av_frame_move_ref(previous.get(), frame);
                continue;
            }
            if (received != AVERROR(EAGAIN)) return lastPictureOrMissing();  // the end, or a broken stream
            if (isDraining) return lastPictureOrMissing();
            if (av_read_frame(video.input->format(), packet.get()) < 0) {
                if (stopped()) return MomentOutcome::aborted;
                isDraining = true;
                avcodec_send_packet(decoder, nullptr);
                continue;
            }
            if (packet->stream_index == stream->index) {
                // A frame before the moment that nothing refers to is neither
                // shown nor needed for what is: skipped, it costs nothing.
                decoder->skip_frame =
                    isBeforeMoment(*packet, target, skipMargin) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                avcodec_send_packet(decoder, packet.get());
            }
            av_packet_unref(packet.get());
        }
        return MomentOutcome::missing;
    }

    // The moment lies past the last picture (a stream shorter than its
    // container says): the last picture is the one shown then.
    MomentOutcome lastPictureOrMissing() {
        lastTime = AV_NOPTS_VALUE;
        if (!previous->buf[0]) return MomentOutcome::missing;
        av_frame_move_ref(frame, previous.get());
        return MomentOutcome::decoded;
    }

    // Whether a packet's picture is shown before the moment. Without a
    // presentation time only its decoding time is known, which may lie up to
    // the reorder depth before it: then only well before the moment counts.
    static bool isBeforeMoment(const AVPacket& packet, std::int64_t target, std::int64_t margin) {
        if (packet.pts != AV_NOPTS_VALUE) return packet.pts < target;
        return packet.dts != AV_NOPTS_VALUE && packet.dts < target - margin;
    }

    // Whether the key frame at or before `target` is behind the picture last
    // decoded: then decoding on reaches the moment sooner than a seek would.
    bool canGoOnTo(std::int64_t target) {
        if (lastTime == AV_NOPTS_VALUE || isDraining || lastTime >= target) return false;
        AVStream* stream = video.stream;
        const int entry = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* key = entry >= 0 ? avformat_index_get_entry(stream, entry) : nullptr;
        return key && key->timestamp <= lastTime;
    }

    bool seekBefore(std::int64_t target, std::int64_t start) {
        AVFormatContext* format = video.input->format();
        const int index = video.stream->index;
        // Backward: the key frame at or before the moment, so the picture is whole.
        if (av_seek_frame(format, index, target, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(format, index, start, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        avcodec_flush_buffers(video.decoder.get());
        av_frame_unref(previous.get());
        lastTime = AV_NOPTS_VALUE;
        isDraining = false;
        return true;
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
    // Every frame between a key frame and the moment is decoded: skipping the
    // unreferenced ones lands a frame or three late, and a fast picture
    // changes that much in so short a time.
    video.decoder->skip_frame = AVDISCARD_DEFAULT;
    MomentReader reader{video, frame.get()};
    if (!frame || !reader.packet || !reader.previous)
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

// The luma plane alone as a grey picture of its own depth, for formats whose
// first plane holds luma and nothing else; none for the rest (RGB, packed).
std::optional<AVPixelFormat> lumaPlaneFormat(AVPixelFormat format) {
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
    constexpr auto kNotLuma = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                              AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;
    if (!described || (described->flags & kNotLuma) || described->nb_components < 1) return std::nullopt;
    const AVComponentDescriptor& luma = described->comp[0];
    if (luma.plane != 0 || luma.shift != 0 || luma.offset != 0) return std::nullopt;
    for (int c = 1; c < described->nb_components; ++c)
        if (described->comp[c].plane == 0) return std::nullopt;
    const bool isBigEndian = (described->flags & AV_PIX_FMT_FLAG_BE) != 0;
    if (luma.step == 1 && luma.depth == 8) return AV_PIX_FMT_GRAY8;
    if (luma.step != 2) return std::nullopt;
    switch (luma.depth) {
        case 9:
            return isBigEndian ? AV_PIX_FMT_GRAY9BE : AV_PIX_FMT_GRAY9LE;
        case 10:
            return isBigEndian ? AV_PIX_FMT_GRAY10BE : AV_PIX_FMT_GRAY10LE;
        case 12:
            return isBigEndian ? AV_PIX_FMT_GRAY12BE : AV_PIX_FMT_GRAY12LE;
        case 14:
            return isBigEndian ? AV_PIX_FMT_GRAY14BE : AV_PIX_FMT_GRAY14LE;
        case 16:
            return isBigEndian ? AV_PIX_FMT_GRAY16BE : AV_PIX_FMT_GRAY16LE;
        default:
            return std::nullopt;
    }
}

// Whether swscale takes a format's luma as full range: the JPEG formats and
// grey; every other YUV format's is limited (16 … 235).
bool hasFullRangeLuma(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default: {
            const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
            return described && described->nb_components <= 2;  // grey, grey with alpha
        }
    }
}

// One scaler for the whole video: its frames share size and format. Only the
// luma plane is read, straight down to the hash picture; its range is spread
// to full as a conversion of the whole picture to grey would, so the hashes
// are those of that conversion, only cheaper.
struct GreyScaler {
    ScalerPtr scaler;
    int width = 0, height = 0, format = -1;
    bool isLumaOnly = false;

    std::optional<GreyPicture> scale(const AVFrame* frame) {
        if (!scaler || frame->width != width || frame->height != height || frame->format != format) {
            width = frame->width;
            height = frame->height;
            format = frame->format;
            const auto pixels = static_cast<AVPixelFormat>(format);
            // Area averaging: every source pixel counts, as the hash expects.
            scaler.reset();
            if (const std::optional<AVPixelFormat> luma = lumaPlaneFormat(pixels)) {
                scaler.reset(sws_getContext(width, height, *luma, kHashImageSide, kHashImageSide,
                                            AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
                const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
                if (scaler &&
                    sws_setColorspaceDetails(scaler.get(), coefficients, hasFullRangeLuma(pixels) ? 1 : 0,
                                             coefficients, 1, 0, 1 << 16, 1 << 16) < 0)
                    scaler.reset();
            }
            isLumaOnly = scaler != nullptr;
            if (!scaler)
                scaler.reset(sws_getContext(width, height, pixels, kHashImageSide, kHashImageSide,
                                            AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
        }
        if (!scaler) return std::nullopt;
        GreyPicture grey{};
        std::uint8_t* planes[4] = {grey.data(), nullptr, nullptr, nullptr};
        int strides[4] = {kHashImageSide, 0, 0, 0};
        const std::uint8_t* const lumaPlane[4] = {frame->data[0], nullptr, nullptr, nullptr};
        const int lumaStride[4] = {frame->linesize[0], 0, 0, 0};
        if (sws_scale(scaler.get(), isLumaOnly ? lumaPlane : frame->data,
                      isLumaOnly ? lumaStride : frame->linesize, 0, frame->height, planes,
                      strides) != kHashImageSide)
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

std::chrono::milliseconds fingerprintTimeLimit(double lengthSeconds) {
    constexpr std::chrono::seconds kShortest{30}, kLongest{600};
    constexpr double kSecondsPerSecondOfVideo = 5;
    if (!std::isfinite(lengthSeconds) || lengthSeconds <= 0) return kLongest;
    const double seconds = double(kShortest.count()) + kSecondsPerSecondOfVideo * lengthSeconds;
    if (seconds >= double(kLongest.count())) return kLongest;
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

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

MediaResult<std::vector<Picture>> decodeFrameStrip(int fd, int maxPixelSize, const InputLimits& limits) {
    if (maxPixelSize <= 0) return MediaError(MediaErrorKind::decodeFailed, QStringLiteral("no target size"));
    auto opened = openVideo(fd, limits);
    if (!opened) return opened.error();
    OpenedVideo video = std::move(opened).value();
    const int turns = quarterTurns(video.stream);

    std::vector<Picture> frames(kFingerprintFrames);
    auto visited = visitMoments(video, [&](int moment, const AVFrame* frame, int sameAs) {
        frames[moment] =
            frame ? turnedCounterClockwise(scaledRgb(frame, maxPixelSize), turns) : frames[sameAs];
    });
    if (!visited) return visited.error();
    return frames;
}

}  // namespace reelkeep::media
