// media_bench.cpp: metadata of one video: ours against a bare
// avformat_open_input loop (the floor) and against running ffprobe (what a
// tool that shells out pays), plus one thumbnail decode per kind of clip.
// Fixtures are made by ffmpeg at start; run with --benchmark_repetitions=9.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/folder/media/container_read.h"
#include "platform/folder/media/thumbnail_decoder.h"

namespace {

QTemporaryDir* g_dir = nullptr;
std::map<std::string, QByteArray> g_clips;

// A phone-like clip: 720p H.264 with a creation date, 2 s.
bool makeClip(const std::string& name, const QStringList& codecArguments, const QString& size) {
    const QString path = g_dir->filePath(QString::fromStdString(name));
    QStringList arguments{"-y",        "-hide_banner",
                          "-loglevel", "error",
                          "-f",        "lavfi",
                          "-i",        "testsrc2=size=" + size + ":rate=30",
                          "-t",        "2",
                          "-pix_fmt",  "yuv420p",
                          "-metadata", "creation_time=2021-03-04T05:06:07Z"};
    arguments << codecArguments << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0) return false;
    g_clips[name] = QFile::encodeName(path);
    return true;
}

const QByteArray& clip(const std::string& name) {
    return g_clips.at(name);
}

void BM_ProbeOurs(benchmark::State& state) {
    const QByteArray& path = clip("phone.mp4");
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        auto info = reelkeep::media::readContainer(fd, "phone.mp4");
        ::close(fd);
        if (!info) state.SkipWithError("probe failed");
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_ProbeOurs)->Unit(benchmark::kMicrosecond);

void BM_BareOpenInput(benchmark::State& state) {
    const QByteArray& path = clip("phone.mp4");
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, path.constData(), nullptr, nullptr) < 0)
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(format->duration);
        avformat_close_input(&format);
    }
}
BENCHMARK(BM_BareOpenInput)->Unit(benchmark::kMicrosecond);

void BM_FfprobeProcess(benchmark::State& state) {
    const QString path = QFile::decodeName(clip("phone.mp4"));
    for (auto _ : state) {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_format"),
                       QStringLiteral("-show_streams"), path});
        if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0) state.SkipWithError("ffprobe failed");
        benchmark::DoNotOptimize(ffprobe.readAllStandardOutput());
    }
}
BENCHMARK(BM_FfprobeProcess)->Unit(benchmark::kMicrosecond);

void BM_DecodeThumbnail(benchmark::State& state, const std::string& name) {
    const QByteArray& path = clip(name);
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        auto image = reelkeep::media::decodeThumbnail(fd, 256);
        ::close(fd);
        if (!image) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK_CAPTURE(BM_DecodeThumbnail, h264_720p, std::string("phone.mp4"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeThumbnail, hevc_4k, std::string("uhd.mp4"))->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    if (!makeClip("phone.mp4", {"-c:v", "libx264", "-preset", "veryfast"}, "1280x720") ||
        !makeClip(
            "uhd.mp4",
            {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error", "-tag:v", "hvc1"},
            "3840x2160")) {
        std::fprintf(stderr, "ffmpeg could not make the fixtures\n");
        return EXIT_FAILURE;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
