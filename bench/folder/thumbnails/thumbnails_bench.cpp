// thumbnails_bench.cpp: 256 px thumbnails for 100 videos of mixed resolution
// (360p to 4K HEVC), through the folder library's worker processes as the
// window gets them, against running `ffmpegthumbnailer -s 256` per file with
// the same two-at-a-time parallelism. Every iteration starts with an empty
// thumbnail cache. Counters: `made` = thumbnails produced out of 100.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <latch>
#include <memory>

#include "platform/folder/folder_library.h"
#include "platform/folder/media/thumbnail_workers.h"

namespace {

constexpr int kVideos = 100;
QTemporaryDir* g_dir = nullptr;
QStringList g_videos;

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// One source per kind, copied to separate files (separate inodes, so nothing is cached across them).
bool makeLibrary() {
    struct Kind {
        const char* name;
        const char* size;
        const char* seconds;
        QStringList codec;
        int copies;
    };
    const Kind kinds[] = {
        {"phone-360p.mp4", "640x360", "3", {"-c:v", "libx264", "-preset", "veryfast"}, 40},
        {"camera-720p.mov", "1280x720", "3", {"-c:v", "libx264", "-preset", "veryfast"}, 30},
        {"camera-1080p.mp4", "1920x1080", "3", {"-c:v", "libx264", "-preset", "veryfast"}, 20},
        // Short 4K HEVC, as phones record: ffmpegthumbnailer's weak spot.
        {"phone-4k-hevc.mp4",
         "3840x2160",
         "1",
         {"-c:v", "libx265", "-preset", "ultrafast", "-tag:v", "hvc1", "-x265-params", "log-level=error"},
         10},
    };
    QDir().mkpath(g_dir->filePath("library"));
    for (const Kind& kind : kinds) {
        const QString source = g_dir->filePath(QString::fromLatin1(kind.name));
        QStringList arguments{
            "-y", "-hide_banner", "-loglevel", "error",
            "-f", "lavfi",        "-i",        QStringLiteral("testsrc2=size=%1:rate=30").arg(kind.size),
            "-t", kind.seconds,   "-pix_fmt",  "yuv420p"};
        arguments << kind.codec << source;
        if (!run(QStringLiteral("ffmpeg"), arguments)) return false;
        for (int copy = 0; copy < kind.copies; ++copy) {
            const QString target = g_dir->filePath(QStringLiteral("library/%1 %2").arg(copy).arg(kind.name));
            if (!QFile::copy(source, target)) return false;
            g_videos << target;
        }
    }
    return g_videos.size() == kVideos;
}

std::shared_ptr<reelkeep::FolderLibrary> openLibrary(const QString& state, bool isInWorkers) {
    reelkeep::FolderLibraryOptions options;
    options.explicitRoots = {QFile::encodeName(g_dir->filePath("library"))};
    options.choicePath = state + "/library-folders";
    options.favoritesPath = state + "/favorites.sqlite";
    options.indexPath = state + "/index.sqlite";
    options.thumbnailCacheRoot = state + "/thumbnails";
    if (isInWorkers) options.thumbnailWorker = reelkeep::media::selfWorkerCommand();
    return reelkeep::FolderLibrary::create(std::move(options));
}

void thumbnailsThroughLibrary(benchmark::State& state, bool isInWorkers) {
    int iteration = 0;
    int made = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString stateDir =
            g_dir->filePath(QStringLiteral("state-%1-%2").arg(isInWorkers).arg(++iteration));
        const std::shared_ptr<reelkeep::FolderLibrary> library = openLibrary(stateDir, isInWorkers);
        const reelkeep::FetchResult assets = library->fetchVideos();
        if (assets.size() != kVideos) state.SkipWithError("the library did not list every video");
        state.ResumeTiming();

        std::latch answered(assets.size());
        std::atomic<int> pictures{0};
        for (const reelkeep::AssetRef& asset : assets)
            library->requestImage(asset, {256, 256}, 1, {}, [&](reelkeep::ImageResult result) {
                if (result.isDegraded) return;
                if (result.image && !result.image->isNull()) ++pictures;
                answered.count_down();
            });
        answered.wait();
        made = pictures.load();
    }
    state.counters["made"] = made;
    state.SetItemsProcessed(state.iterations() * kVideos);
}

void BM_ThumbnailsInWorkers(benchmark::State& state) {
    thumbnailsThroughLibrary(state, true);
}

// The same decode in this process: what the isolation costs.
void BM_ThumbnailsInProcess(benchmark::State& state) {
    thumbnailsThroughLibrary(state, false);
}

void BM_ThumbnailsFfmpegthumbnailer(benchmark::State& state) {
    int iteration = 0;
    int made = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString out = g_dir->filePath(QStringLiteral("ffmpegthumbnailer-%1").arg(++iteration));
        QDir().mkpath(out);
        state.ResumeTiming();
        made = 0;
        // Two at a time, as our two workers.
        for (int i = 0; i < kVideos; i += 2) {
            QProcess processes[2];
            for (int j = 0; j < 2; ++j)
                processes[j].start(QStringLiteral("ffmpegthumbnailer"),
                                   {"-i", g_videos.at(i + j), "-o",
                                    QStringLiteral("%1/%2.png").arg(out).arg(i + j), "-s", "256"});
            for (QProcess& process : processes)
                if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0)
                    ++made;
        }
    }
    state.counters["made"] = made;
    state.SetItemsProcessed(state.iterations() * kVideos);
}

BENCHMARK(BM_ThumbnailsInWorkers)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ThumbnailsInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ThumbnailsFfmpegthumbnailer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    // The library starts this executable again as its thumbnail workers.
    if (argc > 1 && std::strcmp(argv[1], reelkeep::media::kThumbnailWorkerFlag) == 0)
        return reelkeep::media::runThumbnailWorker(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    if (!makeLibrary()) {
        std::fprintf(stderr, "could not make the videos with ffmpeg\n");
        return 1;
    }
    if (QProcess::execute(QStringLiteral("ffmpegthumbnailer"), {QStringLiteral("-v")}) < 0)
        std::fprintf(stderr, "ffmpegthumbnailer is missing: scripts/bench installs it\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
