// model_bench.cpp: the catalogue's hot paths over 100,000 records. Targets
// (medians, 2 cores): keystroke incl. sort <= 8 ms, sort order change <= 40 ms,
// date buckets <= 10 ms, duplicate summary <= 10 ms, item + heap <= 400 bytes.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <QCoreApplication>

#include "model/duplicates.h"
#include "model/filter_index.h"
#include "model/filters.h"
#include "model/sort_order.h"
#include "synthetic_items.h"

using namespace reelkeep;

namespace {

constexpr int kLibrarySize = 100'000;

const VideoList& library() {
    static const VideoList items = bench::syntheticItems(kLibrarySize);
    return items;
}

// A keystroke filters the list already sorted for the current order: the sort
// is a total order, so this equals sorting the filtered list.
void searchKeystroke(benchmark::State& state) {
    const VideoList sorted = sortedItems(library(), VideoSortOrder::sizeDesc);
    const QString queries[] = {QStringLiteral("b"), QStringLiteral("be"), QStringLiteral("bea"),
                               QStringLiteral("beach 1"), QStringLiteral("img_4")};
    std::size_t next = 0;
    for (auto _ : state) {
        VideoList visible = filteredItems(sorted, SizeFilter::none, queries[next++ % std::size(queries)],
                                          DateFilter::all(), nullptr);
        benchmark::DoNotOptimize(visible);
    }
}
BENCHMARK(searchKeystroke)->Unit(benchmark::kMillisecond);

// The window's path: the sorted list is indexed once per sort or installation.
void searchKeystrokeIndexed(benchmark::State& state) {
    const FilterIndex index(sortedItems(library(), VideoSortOrder::sizeDesc));
    const QString queries[] = {QStringLiteral("b"), QStringLiteral("be"), QStringLiteral("bea"),
                               QStringLiteral("beach 1"), QStringLiteral("img_4")};
    std::size_t next = 0;
    for (auto _ : state) {
        VideoList visible = index.filtered(SizeFilter::none, queries[next++ % std::size(queries)],
                                           DateFilter::all(), nullptr);
        benchmark::DoNotOptimize(visible);
    }
}
BENCHMARK(searchKeystrokeIndexed)->Unit(benchmark::kMillisecond);

void buildFilterIndex(benchmark::State& state) {
    for (auto _ : state) {
        const FilterIndex index(library());
        benchmark::DoNotOptimize(index.filtered(SizeFilter::atLeast2GB, {}, DateFilter::all(), nullptr));
    }
}
BENCHMARK(buildFilterIndex)->Unit(benchmark::kMillisecond);

// The same keystroke when the filtered list is sorted afresh each time.
void searchKeystrokeThenSort(benchmark::State& state) {
    for (auto _ : state) {
        VideoList visible = sortedItems(
            filteredItems(library(), SizeFilter::none, QStringLiteral("be"), DateFilter::all(), nullptr),
            VideoSortOrder::sizeDesc);
        benchmark::DoNotOptimize(visible);
    }
}
BENCHMARK(searchKeystrokeThenSort)->Unit(benchmark::kMillisecond);

void sortOrderChange(benchmark::State& state) {
    const auto order = VideoSortOrder(state.range(0));
    state.SetLabel(rawValue(order).toStdString());
    for (auto _ : state) {
        VideoList sorted = sortedItems(library(), order);
        benchmark::DoNotOptimize(sorted);
    }
}
BENCHMARK(sortOrderChange)->DenseRange(0, int(kAllSortOrders.size()) - 1)->Unit(benchmark::kMillisecond);

void dateBuckets(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(buildDateBuckets(library()));
}
BENCHMARK(dateBuckets)->Unit(benchmark::kMillisecond);

void duplicateSummary(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(summarizeDuplicates(library()));
}
BENCHMARK(duplicateSummary)->Unit(benchmark::kMillisecond);

// Bytes per record: the list's slot plus the strings' heap, measured by malloc.
void itemMemory(benchmark::State& state) {
    double perItem = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        VideoList items = bench::syntheticItems(10'000, 11);
        items.squeeze();
        perItem = double(mallinfo2().uordblks - before) / double(items.size());
        benchmark::DoNotOptimize(items);
    }
    state.counters["bytes_per_item"] = perItem;
    state.counters["sizeof_VideoItem"] = double(sizeof(VideoItem));
}
BENCHMARK(itemMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    library();  // build outside the timed loops
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
