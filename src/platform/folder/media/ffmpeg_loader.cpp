// ffmpeg_loader.cpp: every FFmpeg function this program calls, defined here
// under its own name and signature (the headers check both), forwarding to the
// library's own, which is looked up once. FFmpeg and the codec libraries it
// pulls in cost about 80 ms of CPU at every start; a `reelkeep duplicates` of
// a known library, and the window until its first new video, need none of it.
// A library that cannot be loaded is fatal, as it was when the loader linked it.
#include "ffmpeg_loader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}
#include <dlfcn.h>

#include <QtGlobal>

namespace reelkeep::media {
namespace {

struct Libraries {
    void* avutil;
    void* avcodec;
    void* avformat;
    void* swscale;
};

void* openLibrary(const char* name) {
    void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!library) qFatal("reelkeep: cannot load %s: %s", name, ::dlerror());
    return library;
}

// The major versions this program was built against, as the linker would have named them.
const Libraries& libraries() {
    static const Libraries loaded{
        openLibrary("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR)),
        openLibrary("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR)),
        openLibrary("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR)),
        openLibrary("libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR)),
    };
    return loaded;
}

template <typename Function>
Function* lookUp(void* library, const char* name) {
    void* symbol = ::dlsym(library, name);
    if (!symbol) qFatal("reelkeep: FFmpeg lacks %s: %s", name, ::dlerror());
    return reinterpret_cast<Function*>(symbol);
}

}  // namespace

void loadFfmpeg() {
    (void)libraries();
}

}  // namespace reelkeep::media

// The library's own function of this name, looked up on the first call.
#define REELKEEP_FFMPEG(library, name)                                                        \
    static const auto real =                                                                  \
        reelkeep::media::lookUp<decltype(name)>(reelkeep::media::libraries().library, #name); \
    return real

// One is deprecated in this FFmpeg and still the only way to read a stream's display matrix.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

extern "C" {

AVDictionaryEntry* av_dict_get(const AVDictionary* m, const char* key, const AVDictionaryEntry* prev,
                               int flags) {
    REELKEEP_FFMPEG(avutil, av_dict_get)(m, key, prev, flags);
}
double av_display_rotation_get(const int32_t matrix[9]) {
    REELKEEP_FFMPEG(avutil, av_display_rotation_get)(matrix);
}
AVFrame* av_frame_alloc() {
    REELKEEP_FFMPEG(avutil, av_frame_alloc)();
}
void av_frame_free(AVFrame** frame) {
    REELKEEP_FFMPEG(avutil, av_frame_free)(frame);
}
void av_frame_unref(AVFrame* frame) {
    REELKEEP_FFMPEG(avutil, av_frame_unref)(frame);
}
void av_frame_move_ref(AVFrame* dst, AVFrame* src) {
    REELKEEP_FFMPEG(avutil, av_frame_move_ref)(dst, src);
}
void av_free(void* ptr) {
    REELKEEP_FFMPEG(avutil, av_free)(ptr);
}
void av_freep(void* ptr) {
    REELKEEP_FFMPEG(avutil, av_freep)(ptr);
}
int av_log_format_line2(void* ptr, int level, const char* fmt, va_list vl, char* line, int line_size,
                        int* print_prefix) {
    REELKEEP_FFMPEG(avutil, av_log_format_line2)(ptr, level, fmt, vl, line, line_size, print_prefix);
}
void av_log_set_callback(void (*callback)(void*, int, const char*, va_list)) {
    REELKEEP_FFMPEG(avutil, av_log_set_callback)(callback);
}
void* av_malloc(size_t size) {
    REELKEEP_FFMPEG(avutil, av_malloc)(size);
}
const AVPixFmtDescriptor* av_pix_fmt_desc_get(enum AVPixelFormat pix_fmt) {
    REELKEEP_FFMPEG(avutil, av_pix_fmt_desc_get)(pix_fmt);
}
int64_t av_rescale_q(int64_t a, AVRational bq, AVRational cq) {
    REELKEEP_FFMPEG(avutil, av_rescale_q)(a, bq, cq);
}
int av_strerror(int errnum, char* errbuf, size_t errbuf_size) {
    REELKEEP_FFMPEG(avutil, av_strerror)(errnum, errbuf, errbuf_size);
}

AVPacket* av_packet_alloc() {
    REELKEEP_FFMPEG(avcodec, av_packet_alloc)();
}
void av_packet_free(AVPacket** pkt) {
    REELKEEP_FFMPEG(avcodec, av_packet_free)(pkt);
}
void av_packet_unref(AVPacket* pkt) {
    REELKEEP_FFMPEG(avcodec, av_packet_unref)(pkt);
}
AVCodecContext* avcodec_alloc_context3(const AVCodec* codec) {
    REELKEEP_FFMPEG(avcodec, avcodec_alloc_context3)(codec);
}
const AVCodec* avcodec_find_decoder(enum AVCodecID id) {
    REELKEEP_FFMPEG(avcodec, avcodec_find_decoder)(id);
}
void avcodec_flush_buffers(AVCodecContext* avctx) {
    REELKEEP_FFMPEG(avcodec, avcodec_flush_buffers)(avctx);
}
void avcodec_free_context(AVCodecContext** avctx) {
    REELKEEP_FFMPEG(avcodec, avcodec_free_context)(avctx);
}
int avcodec_open2(AVCodecContext* avctx, const AVCodec* codec, AVDictionary** options) {
    REELKEEP_FFMPEG(avcodec, avcodec_open2)(avctx, codec, options);
}
int avcodec_parameters_to_context(AVCodecContext* codec, const AVCodecParameters* par) {
    REELKEEP_FFMPEG(avcodec, avcodec_parameters_to_context)(codec, par);
}
int avcodec_receive_frame(AVCodecContext* avctx, AVFrame* frame) {
    REELKEEP_FFMPEG(avcodec, avcodec_receive_frame)(avctx, frame);
}
int avcodec_send_packet(AVCodecContext* avctx, const AVPacket* avpkt) {
    REELKEEP_FFMPEG(avcodec, avcodec_send_packet)(avctx, avpkt);
}

const AVInputFormat* av_find_input_format(const char* short_name) {
    REELKEEP_FFMPEG(avformat, av_find_input_format)(short_name);
}
int av_probe_input_buffer2(AVIOContext* pb, const AVInputFormat** fmt, const char* url, void* logctx,
                           unsigned int offset, unsigned int max_probe_size) {
    REELKEEP_FFMPEG(avformat, av_probe_input_buffer2)(pb, fmt, url, logctx, offset, max_probe_size);
}
int av_read_frame(AVFormatContext* s, AVPacket* pkt) {
    REELKEEP_FFMPEG(avformat, av_read_frame)(s, pkt);
}
int av_seek_frame(AVFormatContext* s, int stream_index, int64_t timestamp, int flags) {
    REELKEEP_FFMPEG(avformat, av_seek_frame)(s, stream_index, timestamp, flags);
}
int av_index_search_timestamp(AVStream* st, int64_t timestamp, int flags) {
    REELKEEP_FFMPEG(avformat, av_index_search_timestamp)(st, timestamp, flags);
}
const AVIndexEntry* avformat_index_get_entry(AVStream* st, int idx) {
    REELKEEP_FFMPEG(avformat, avformat_index_get_entry)(st, idx);
}
uint8_t* av_stream_get_side_data(const AVStream* stream, enum AVPacketSideDataType type, size_t* size) {
    REELKEEP_FFMPEG(avformat, av_stream_get_side_data)(stream, type, size);
}
AVFormatContext* avformat_alloc_context() {
    REELKEEP_FFMPEG(avformat, avformat_alloc_context)();
}
void avformat_close_input(AVFormatContext** s) {
    REELKEEP_FFMPEG(avformat, avformat_close_input)(s);
}
int avformat_find_stream_info(AVFormatContext* ic, AVDictionary** options) {
    REELKEEP_FFMPEG(avformat, avformat_find_stream_info)(ic, options);
}
int avformat_open_input(AVFormatContext** ps, const char* url, const AVInputFormat* fmt,
                        AVDictionary** options) {
    REELKEEP_FFMPEG(avformat, avformat_open_input)(ps, url, fmt, options);
}
AVIOContext* avio_alloc_context(unsigned char* buffer, int buffer_size, int write_flag, void* opaque,
                                int (*read_packet)(void* opaque, uint8_t* buf, int buf_size),
                                int (*write_packet)(void* opaque, uint8_t* buf, int buf_size),
                                int64_t (*seek)(void* opaque, int64_t offset, int whence)) {
    REELKEEP_FFMPEG(avformat, avio_alloc_context)
    (buffer, buffer_size, write_flag, opaque, read_packet, write_packet, seek);
}
void avio_context_free(AVIOContext** s) {
    REELKEEP_FFMPEG(avformat, avio_context_free)(s);
}
int64_t avio_seek(AVIOContext* s, int64_t offset, int whence) {
    REELKEEP_FFMPEG(avformat, avio_seek)(s, offset, whence);
}

const int* sws_getCoefficients(int colorspace) {
    REELKEEP_FFMPEG(swscale, sws_getCoefficients)(colorspace);
}
int sws_setColorspaceDetails(struct SwsContext* c, const int inv_table[4], int srcRange, const int table[4],
                             int dstRange, int brightness, int contrast, int saturation) {
    REELKEEP_FFMPEG(swscale, sws_setColorspaceDetails)
    (c, inv_table, srcRange, table, dstRange, brightness, contrast, saturation);
}
void sws_freeContext(struct SwsContext* swsContext) {
    REELKEEP_FFMPEG(swscale, sws_freeContext)(swsContext);
}
struct SwsContext* sws_getContext(int srcW, int srcH, enum AVPixelFormat srcFormat, int dstW, int dstH,
                                  enum AVPixelFormat dstFormat, int flags, SwsFilter* srcFilter,
                                  SwsFilter* dstFilter, const double* param) {
    REELKEEP_FFMPEG(swscale, sws_getContext)
    (srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, srcFilter, dstFilter, param);
}
int sws_scale(struct SwsContext* c, const uint8_t* const srcSlice[], const int srcStride[], int srcSliceY,
              int srcSliceH, uint8_t* const dst[], const int dstStride[]) {
    REELKEEP_FFMPEG(swscale, sws_scale)(c, srcSlice, srcStride, srcSliceY, srcSliceH, dst, dstStride);
}

}  // extern "C"

#pragma GCC diagnostic pop
