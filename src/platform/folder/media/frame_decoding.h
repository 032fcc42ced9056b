// frame_decoding.h: what every picture decoder here shares: owning handles for
// FFmpeg's objects and the one RGB scaling rule (sample aspect applied, never
// enlarged), so a thumbnail and a frame strip look the same.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include "model/picture.h"

#include "media_error.h"

namespace reelkeep::media {

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

// A decoder for a stream's key frames, tuned for small pictures: one thread,
// no deblocking, non-key frames skipped.
MediaResult<CodecContextPtr> openPictureDecoder(const AVStream* stream);

// The frame in RGB, its longer displayed side at most maxPixelSize; null on failure.
Picture scaledRgb(const AVFrame* frame, int maxPixelSize);

}  // namespace reelkeep::media
