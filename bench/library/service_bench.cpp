// service_bench.cpp: the service's own cost over a simulated library. Targets: a
// full fast-route scan of 100,000 assets at no more than 5 µs per asset, and a
// probe of 10,000 assets with 1 ms platform latency at least 5× faster than the
// same probe one at a time.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <memory>
#include <optional>

#include "library/photo_library_service.h"
#include "platform/simulated/library_generator.h"
#include "support/run_task.h"

namespace reelkeep {
namespace {

QCoro::Task<qsizetype> scanAll(PhotoLibraryService& service) {
    const auto total = co_await service.beginScan();
    qsizetype read = 0;
    for (qsizetype start = 0; total && start < total.value(); start += kScanBatchSize) {
        const auto batch = co_await service.readBatch(start, kScanBatchSize);
        read += batch ? batch.value().items.size() : 0;
    }
    co_await service.finishScan();
    co_return read;
}

void BM_FullScanFastRoute(benchmark::State& state) {
    const int assets = int(state.range(0));
    auto library = SimulatedLibrary::create();
    GeneratorOptions options;
    options.assetCount = assets;
    options.slowPathShare = 0;
    options.cloudOnlyShare = 0;
    library->addAssets(generateLibrary(options));
    PhotoLibraryService service(library->ports());
    for (auto _ : state) {
        const auto read = bench::runTask(scanAll(service));
        if (read != assets) state.SkipWithError("scan incomplete");
    }
    state.counters["us_per_asset"] = benchmark::Counter(
        double(assets), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * assets);
}
BENCHMARK(BM_FullScanFastRoute)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ProbeWithLatency(benchmark::State& state) {
    const int assets = 10'000;
    const int width = int(state.range(0));
    auto library = SimulatedLibrary::create();
    GeneratorOptions options;
    options.assetCount = assets;
    options.slowPathShare = 0;
    options.cloudOnlyShare = 1;  // nothing quick: every probe asks for the file
    const QList<SimulatedAsset> entries = generateLibrary(options);
    library->addAssets(entries);
    library->setLatency(SimulatedCall::requestPlayableVideo, std::chrono::milliseconds(1));
    QStringList ids;
    for (const auto& entry : entries) ids.append(entry.localIdentifier);
    PhotoLibraryService service(library->ports());
    for (auto _ : state) {
        const auto sizes = bench::runTask(service.probeSizes(ids, width));
        if (!sizes || sizes->size() != assets) state.SkipWithError("probe incomplete");
    }
    state.SetItemsProcessed(state.iterations() * assets);
}
// Width 1 is the sequential baseline for the ratio.
BENCHMARK(BM_ProbeWithLatency)
    ->Arg(1)
    ->Arg(kProbeWidth)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace reelkeep

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
