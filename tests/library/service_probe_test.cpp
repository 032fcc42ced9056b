// service_probe_test.cpp: the deep size probe: its sliding window, the order of
// size sources, assets gone since the scan, stops mid-probe and its counters.
#include <QTemporaryDir>

#include "service_fixture.h"

namespace reelkeep {
namespace {

using namespace reelkeep::testing;
using namespace std::chrono_literals;

std::optional<SizeState> stateOf(const QHash<QString, SizeState>& sizes, const QString& id) {
    const auto it = sizes.constFind(id);
    return it == sizes.constEnd() ? std::nullopt : std::optional{*it};
}

QStringList addCloudOnly(SimulatedLibrary& library, int count, const QString& prefix = "c") {
    QList<SimulatedAsset> entries;
    QStringList ids;
    for (int i = 0; i < count; ++i) {
        ids.append(prefix + QString::number(i));
        entries.append(videoAsset(ids.back()));
    }
    library.addAssets(entries);
    return ids;
}

TEST_F(ServiceTest, ProbeWindowFillsToItsWidthAndNeverBeyond) {
    const QStringList ids = addCloudOnly(*library, 40);
    const std::pair<int, int> widths[] = {{6, 6}, {0, 1}, {-3, 1}, {2, 2}, {100, kProbeWidth}};
    for (const auto& [requested, wanted] : widths) {
        const int expected = wanted;  // clang-tidy's clang cannot capture a structured binding
        library->resetCounters();
        library->setHoldsVideoRequests(true);
        Pending sizes(service->probeSizes(ids, requested));
        // Held answers: the window fills and stops there.
        EXPECT_TRUE(pumpUntil([&] { return library->videoRequestsInFlight() == expected; })) << requested;
        library->releaseHeldVideoRequests();
        const auto result = sizes.wait();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->size(), 40);
        EXPECT_EQ(library->maxVideoRequestsInFlight(), expected) << requested;
        EXPECT_EQ(library->callCount(SimulatedCall::requestPlayableVideo), 40);
    }
}

TEST_F(ServiceTest, ProbeTriesEverySourceInOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile sparse(dir.filePath("sparse.mov"));  // never written: no blocks allocated, yet 12 bytes long
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(12));
    const QString written = dir.filePath("written.mov");
    {
        QFile file(written);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(10000, 'x'));
    }
    const QString empty = dir.filePath("empty.mov");
    QFile(empty).open(QIODevice::WriteOnly);

    library->setProvidesResourceDataSize(true);
    auto fast = videoAsset("fast");
    fast.withFastSize(77);
    auto resource = videoAsset("resource");
    resource.resources = {SimulatedResource{int(ResourceType::video), "r.mov", 88}};
    auto metadata = videoAsset("metadata");
    metadata.withMetadataSize(99);
    auto sparseAsset = videoAsset("sparse");
    sparseAsset.localFilePath = sparse.fileName();
    auto writtenAsset = videoAsset("written");
    writtenAsset.localFilePath = written;
    auto emptyAsset = videoAsset("empty");
    emptyAsset.localFilePath = empty;
    auto missingFile = videoAsset("missingFile");
    missingFile.localFilePath = dir.filePath("nope.mov");
    auto noUrl = videoAsset("noUrl");
    noUrl.video = VideoBehavior::noAsset;
    auto failing = videoAsset("failing");
    failing.localFilePath = written;
    failing.video = VideoBehavior::error;
    auto twice = videoAsset("twice");
    twice.localFilePath = written;
    twice.video = VideoBehavior::twice;
    library->addAssets({fast, resource, metadata, sparseAsset, writtenAsset, emptyAsset, missingFile, noUrl,
                        failing, twice});

    const auto sizes =
        awaitFor(service->probeSizes({"fast", "resource", "metadata", "sparse", "written", "empty",
                                      "missingFile", "noUrl", "failing", "twice", "vanished"},
                                     6));
    ASSERT_TRUE(sizes);
    const SizeState allocated = stateOf(*sizes, "written").value_or(SizeState::failed());
    ASSERT_TRUE(allocated.isKnown());
    EXPECT_EQ(allocated.source(), SizeSource::allocatedSize);
    EXPECT_GE(*allocated.byteCount(), 10000);
    const std::pair<const char*, SizeState> expected[] = {
        {"fast", SizeState::known(77, SizeSource::photosMetadata)},
        {"resource", SizeState::known(88, SizeSource::resourceDataSize)},
        {"metadata", SizeState::known(99, SizeSource::photosMetadata)},
        {"sparse", SizeState::known(12, SizeSource::logicalFileSize)},
        {"empty", SizeState::known(0, SizeSource::logicalFileSize)},
        {"missingFile", SizeState::unavailable()},
        {"noUrl", SizeState::unavailable()},
        {"failing", SizeState::unavailable()},
        {"twice", allocated},
        {"vanished", SizeState::failed()},  // each probe looks the asset up afresh
    };
    for (const auto& [id, state] : expected) EXPECT_EQ(stateOf(*sizes, id), state) << id;
    EXPECT_EQ(sizes->size(), 11);
}

TEST_F(ServiceTest, ProbeCountersAddUpAndAnEmptyListTouchesNothing) {
    ASSERT_TRUE(awaitFor(service->beginScan()));
    EXPECT_TRUE(awaitFor(service->probeSizes({}, 6))->isEmpty());
    ScanTimings untouched = awaitFor(service->finishScan()).value();
    untouched.fetch = {};  // the listing itself takes its time
    EXPECT_EQ(untouched, ScanTimings{});

    const QStringList ids = addCloudOnly(*library, 5);
    ASSERT_TRUE(awaitFor(service->probeSizes(ids, 6)));
    ASSERT_TRUE(awaitFor(service->probeSizes(ids.mid(0, 2), 6)));
    const auto timings = awaitFor(service->finishScan());
    EXPECT_EQ(timings->probeCount, 7);
    EXPECT_GT(timings->probe.count(), 0);
}

TEST_F(ServiceTest, StoppedProbeStartsNoMoreButCountsTheWholeList) {
    library->setLatency(SimulatedCall::requestPlayableVideo, 20ms);
    const QStringList ids = addCloudOnly(*library, 200);
    std::stop_source stop;
    Pending sizes(service->probeSizes(ids, 6, stop.get_token()));
    ASSERT_TRUE(pumpUntil([&] { return library->callCount(SimulatedCall::requestPlayableVideo) >= 12; }));
    stop.request_stop();
    const auto result = sizes.wait();
    ASSERT_TRUE(result);
    EXPECT_LT(result->size(), 200);
    for (const SizeState& state : *result) EXPECT_EQ(state, SizeState::unavailable());
    EXPECT_LT(library->callCount(SimulatedCall::requestPlayableVideo), 200);
    EXPECT_EQ(awaitFor(service->finishScan())->probeCount, 200);
}

}  // namespace
}  // namespace reelkeep
