// view_model_bench.cpp: the window's state over a simulated 100,000-video library.
// Targets (medians, 2 cores): one installation (map, stats, buckets, duplicates,
// filter, sort) <= 60 ms; one search keystroke, sort included, <= 8 ms; during a
// whole scan the main thread is busy less than 25 % of the wall time.
#include <benchmark/benchmark.h>

#include <time.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "app/system_environment.h"
#include "platform/simulated/library_generator.h"
#include "viewmodel/library_session.h"

namespace reelkeep {

// Reaches the installation step, which the window never calls directly.
struct ViewModelInternals {
    static void install(VideoListViewModel& viewModel, VideoList items) {
        viewModel.replaceItems(std::move(items));
    }
};

}  // namespace reelkeep

using namespace reelkeep;

namespace {

constexpr int kLibrarySize = 100'000;

std::shared_ptr<SimulatedLibrary> makeLibrary() {
    auto library = SimulatedLibrary::create();
    GeneratorOptions options;
    options.assetCount = kLibrarySize;
    library->addAssets(generateLibrary(options));
    return library;
}

// Blocks between events: the timed processEvents overload would spin, and the
// main thread's share of a scan would then read as 100 %.
void pumpUntil(const std::function<bool()>& isDone) {
    QTimer tick;  // wakes the loop so the deadline is checked
    tick.start(50);
    const QDeadlineTimer deadline(std::chrono::minutes(2));
    while (!isDone() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

Environment environment() {
    return Environment{systemClock(), nullptr, nullptr, nullptr, nullptr};
}

std::chrono::nanoseconds threadCpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// One scan to get realistic records, shared by the benchmarks below.
struct ScannedLibrary {
    std::shared_ptr<SimulatedLibrary> library = makeLibrary();
    std::unique_ptr<LibrarySession> session =
        std::make_unique<LibrarySession>(library->ports(), environment());
    VideoListViewModel* viewModel = &session->viewModel;
    ScannedLibrary() {
        viewModel->rescan();
        pumpUntil([&] { return !viewModel->isScanning(); });
    }
};

ScannedLibrary& scanned() {
    static ScannedLibrary instance;
    return instance;
}

void installation(benchmark::State& state) {
    VideoListViewModel& viewModel = *scanned().viewModel;
    const VideoList items = viewModel.items();
    for (auto _ : state) ViewModelInternals::install(viewModel, items);
    state.counters["items"] = double(items.size());
}
BENCHMARK(installation)->Unit(benchmark::kMillisecond);

void searchKeystroke(benchmark::State& state) {
    VideoListViewModel& viewModel = *scanned().viewModel;
    const QString texts[] = {QStringLiteral("i"), QStringLiteral("im"), QStringLiteral("img"),
                             QStringLiteral("img_1")};
    std::size_t next = 0;
    viewModel.setSearchText(QStringLiteral("warm-up"));
    for (auto _ : state) viewModel.setSearchText(texts[next++ % std::size(texts)]);
    viewModel.setSearchText({});
}
BENCHMARK(searchKeystroke)->Unit(benchmark::kMillisecond);

void sortOrderChange(benchmark::State& state) {
    VideoListViewModel& viewModel = *scanned().viewModel;
    std::size_t next = 0;
    for (auto _ : state) viewModel.setSortOrder(kAllSortOrders[next++ % kAllSortOrders.size()]);
    viewModel.setSortOrder(VideoSortOrder::sizeDesc);
}
BENCHMARK(sortOrderChange)->Unit(benchmark::kMillisecond);

// The share of a whole scan's wall time that the main thread spends working.
void scanMainThreadShare(benchmark::State& state) {
    auto library = makeLibrary();
    double share = 0;
    for (auto _ : state) {
        LibrarySession session(library->ports(), environment());
        VideoListViewModel& viewModel = session.viewModel;
        const auto wallStart = std::chrono::steady_clock::now();
        const auto cpuStart = threadCpuTime();
        viewModel.rescan();
        pumpUntil([&] { return !viewModel.isScanning(); });
        const auto wall = std::chrono::steady_clock::now() - wallStart;
        share = double((threadCpuTime() - cpuStart).count()) / double(wall.count());
    }
    state.counters["main_thread_share"] = share;
}
BENCHMARK(scanMainThreadShare)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
