// service_scan_test.cpp: access, fetch and batches: the fast and slow routes with
// their counters, clamped slices, the authorization gate and stops mid-scan.
#include <QThread>
#include <cmath>
#include <map>

#include "service_fixture.h"

namespace reelkeep {
namespace {

using namespace reelkeep::testing;

TEST_F(ServiceTest, RequestAccessAsksOnTheMainThreadAndResumesTheCallerThere) {
    library->setAuthorizationStatus(AuthorizationStatus::notDetermined);
    library->setAuthorizationAnswer(AuthorizationStatus::limited);
    QThread* const caller = QThread::currentThread();
    QThread* resumedOn = nullptr;
    auto ask = [&]() -> QCoro::Task<AuthorizationStatus> {
        const AuthorizationStatus status = co_await service->requestAccess();
        resumedOn = QThread::currentThread();
        co_return status;
    };
    EXPECT_EQ(awaitFor(ask()), AuthorizationStatus::limited);
    EXPECT_EQ(resumedOn, caller);
    EXPECT_EQ(library->callCount(SimulatedCall::requestAuthorization), 1);
    EXPECT_EQ(service->authorizationStatus(), AuthorizationStatus::limited);
}

TEST_F(ServiceTest, ScanIsRefusedUnlessAuthorizedOrLimited) {
    library->addAsset(fastAsset("a", 10));
    for (auto status :
         {AuthorizationStatus::notDetermined, AuthorizationStatus::restricted, AuthorizationStatus::denied}) {
        library->setAuthorizationStatus(status);
        const auto begun = awaitFor(service->beginScan());
        ASSERT_TRUE(begun);
        ASSERT_FALSE(*begun);
        EXPECT_EQ(begun->error().kind(), PhotoLibraryError::Kind::notAuthorized);
        const auto batch = awaitFor(service->readBatch(0, 200));
        ASSERT_TRUE(batch);
        EXPECT_FALSE(*batch);
    }
    library->setAuthorizationStatus(AuthorizationStatus::limited);
    EXPECT_EQ(awaitFor(service->beginScan())->value(), 1);
}

TEST_F(ServiceTest, BatchesAreDisjointSlicesNewestFirstAndClamped) {
    QList<SimulatedAsset> entries;
    for (int i = 0; i < 450; ++i) entries.append(fastAsset(QString("v%1").arg(i), 100 + i, 1e9 + (i % 300)));
    entries.append(fastAsset("undated", 5, std::nullopt));
    library->addAssets(entries);

    ASSERT_EQ(awaitFor(service->beginScan())->value(), 451);
    QStringList seen;
    double previous = INFINITY;
    for (qsizetype start = 0; start < 451; start += kScanBatchSize) {
        const auto batch = awaitFor(service->readBatch(start, kScanBatchSize));
        ASSERT_TRUE(batch && *batch);
        EXPECT_EQ(batch->value().total, 451);
        for (const VideoItem& item : batch->value().items) {
            seen.append(item.localIdentifier());
            if (item.creationDate() != kDistantPast) {
                EXPECT_LE(item.creationDate(), previous);
                previous = item.creationDate();
            }
        }
    }
    EXPECT_EQ(seen.size(), 451);
    EXPECT_EQ(QSet<QString>(seen.begin(), seen.end()).size(), 451);
    EXPECT_EQ(seen.back(), "undated");
    // Equal dates keep the library's order.
    EXPECT_EQ(seen.indexOf("v400"), seen.indexOf("v100") + 1);

    const std::tuple<qsizetype, qsizetype, qsizetype> slices[] = {
        {1000, 200, 0}, {-5, 3, 3}, {0, -1, 0}, {449, 200, 2}, {451, 1, 0}};
    for (const auto& [start, count, expected] : slices) {
        const auto batch = awaitFor(service->readBatch(start, count));
        ASSERT_TRUE(batch && *batch);
        EXPECT_EQ(batch->value().items.size(), expected) << start << " " << count;
        EXPECT_EQ(batch->value().total, 451);
    }
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 1);  // one fetch per scan
}

TEST_F(ServiceTest, FastAndSlowRoutesAreCountedAndFillNameAndSize) {
    library->setProvidesResourceDataSize(true);
    auto nameOnly = videoAsset("nameOnly");
    nameOnly.withFastFilename("fast name.mov");
    nameOnly.resources = {SimulatedResource{int(ResourceType::video), "res.mov", 700}};
    auto sizeOnly = videoAsset("sizeOnly");
    sizeOnly.withFastSize(800);
    sizeOnly.resources = {SimulatedResource{int(ResourceType::photo), "", std::nullopt},
                          SimulatedResource{int(ResourceType::video), "second.mov", 1}};
    auto zeroFast = videoAsset("zeroFast");
    zeroFast.withFastFilename("z.mov").withFastSize(0).withMetadataSize(900);
    auto stringSize = videoAsset("stringSize");
    stringSize.withFastFilename("s.mov").withMember("px_filesize",
                                                    DynamicMember::object(makeStringObject("5")));
    auto fullSize = videoAsset("fullSize");
    fullSize.resources = {SimulatedResource{int(ResourceType::video), "v.mov", 111},
                          SimulatedResource{int(ResourceType::fullSizeVideo), "full.mov", 222}};
    auto nothing = videoAsset("nothing", std::nullopt);
    nothing.resources = {};
    auto emptyName = videoAsset("emptyName");
    emptyName.withFastFilename("");
    emptyName.resources = {SimulatedResource{int(ResourceType::video), "", 5}};
    auto screen = fastAsset("screen", 10);
    screen.mediaSubtypes = kMediaSubtypeVideoScreenRecording | 1;
    library->addAssets({fastAsset("fast", 1000, 2e9), nameOnly, sizeOnly, zeroFast, stringSize, fullSize,
                        nothing, emptyName, screen});

    ASSERT_TRUE(awaitFor(service->beginScan()));
    const auto batch = awaitFor(service->readBatch(0, 200));
    ASSERT_TRUE(batch && *batch);
    std::map<QString, VideoItem> items;
    for (const VideoItem& item : batch->value().items) items.emplace(item.localIdentifier(), item);

    struct Expect {
        const char* id;
        std::optional<QString> name;
        SizeState size;
    };
    const Expect expectations[] = {
        {"fast", "fast.mov", SizeState::known(1000, SizeSource::photosMetadata)},
        {"nameOnly", "fast name.mov", SizeState::known(700, SizeSource::resourceDataSize)},
        {"sizeOnly", "", SizeState::known(800, SizeSource::photosMetadata)},
        {"zeroFast", "z.mov", SizeState::known(900, SizeSource::photosMetadata)},
        {"stringSize", "s.mov", SizeState::unavailable()},
        {"fullSize", "v.mov", SizeState::known(222, SizeSource::resourceDataSize)},
        {"nothing", std::nullopt, SizeState::unavailable()},
        {"emptyName", "", SizeState::known(5, SizeSource::resourceDataSize)},
        {"screen", "screen.mov", SizeState::known(10, SizeSource::photosMetadata)},
    };
    for (const Expect& e : expectations) {
        ASSERT_TRUE(items.contains(QString(e.id))) << e.id;
        EXPECT_EQ(items.at(e.id).resourceFilename(), e.name) << e.id;
        EXPECT_EQ(items.at(e.id).sizeState(), e.size) << e.id;
    }
    EXPECT_TRUE(items.at("screen").isScreenRecording());
    EXPECT_FALSE(items.at("fast").isScreenRecording());
    EXPECT_EQ(items.at("nothing").creationDate(), kDistantPast);
    EXPECT_EQ(items.at("nothing").creationYear(), 0);
    EXPECT_EQ(items.at("nothing").creationMonth(), 0);

    const auto timings = awaitFor(service->finishScan());
    EXPECT_EQ(timings->assetCount, 9);
    EXPECT_EQ(timings->slowPathCount, 7);  // all but "fast" and "screen"
    EXPECT_EQ(library->callCount(SimulatedCall::resources), 7);
    EXPECT_EQ(awaitFor(service->finishScan())->assetCount, 0);  // reset
}

TEST_F(ServiceTest, OddFieldValuesPassThroughUnchanged) {
    auto odd = fastAsset("odd", std::int64_t(1) << 62, std::nullopt);
    odd.withFastFilename("clips/2019\nholiday.mov");
    odd.duration = NAN;
    odd.pixelWidth = INT64_MAX;
    odd.pixelHeight = -1;
    auto huge = fastAsset("huge", 1, -1e15);
    huge.duration = 1e308;
    library->addAssets({odd, huge});
    ASSERT_TRUE(awaitFor(service->beginScan()));
    const auto batch = awaitFor(service->readBatch(0, 10));
    ASSERT_TRUE(batch && *batch);
    const VideoList& items = batch->value().items;
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].localIdentifier(), "huge");
    EXPECT_EQ(items[0].duration(), 1e308);
    EXPECT_EQ(items[1].resourceFilename(), "clips/2019\nholiday.mov");
    EXPECT_TRUE(std::isnan(items[1].duration()));
    EXPECT_EQ(items[1].pixelWidth(), INT64_MAX);
    EXPECT_EQ(items[1].pixelHeight(), -1);
    EXPECT_EQ(items[1].sizeState(), SizeState::known(std::int64_t(1) << 62, SizeSource::photosMetadata));
}

TEST_F(ServiceTest, ResourceDataSizeIsNeverUsedWhereThePlatformLacksIt) {
    library->setProvidesResourceDataSize(false);
    auto asset = videoAsset("a");
    asset.resources = {SimulatedResource{int(ResourceType::fullSizeVideo), "a.mov", 5000}};
    library->addAsset(asset);
    ASSERT_TRUE(awaitFor(service->beginScan()));
    EXPECT_EQ(awaitFor(service->readBatch(0, 10))->value().items.front().sizeState(),
              SizeState::unavailable());
}

TEST_F(ServiceTest, LoaderRunsOnceOverAScan) {
    int runs = 0;
    DynamicPropertyLoader counting([&runs] { ++runs; });
    PhotoLibraryService::Options options;
    options.loader = &counting;
    PhotoLibraryService own(library->ports(), options);
    QList<SimulatedAsset> entries;
    for (int i = 0; i < 50; ++i) entries.append(fastAsset(QString::number(i), 10));
    library->addAssets(entries);
    ASSERT_TRUE(awaitFor(own.beginScan()));
    ASSERT_TRUE(awaitFor(own.readBatch(0, 50)));
    EXPECT_EQ(runs, 1);
}

TEST_F(ServiceTest, ReadBatchFetchesWhenNoScanBeganWithoutResettingTimings) {
    library->addAssets({fastAsset("a", 1), fastAsset("b", 2)});
    ASSERT_TRUE(awaitFor(service->readBatch(0, 1)));
    ASSERT_TRUE(awaitFor(service->readBatch(1, 1)));
    EXPECT_EQ(library->callCount(SimulatedCall::fetchVideos), 1);
    EXPECT_EQ(awaitFor(service->finishScan())->assetCount, 2);
}

TEST_F(ServiceTest, StoppedScanReportsCancellationAndLosesNoOrder) {
    QList<SimulatedAsset> entries;
    for (int i = 0; i < 400; ++i) entries.append(videoAsset(QString::number(i)));  // slow path each
    library->addAssets(entries);
    library->setLatency(SimulatedCall::resources, std::chrono::microseconds(2000));
    ASSERT_TRUE(awaitFor(service->beginScan()));
    std::stop_source stop;
    Pending batch(service->readBatch(0, 400, stop.get_token()));
    ASSERT_TRUE(pumpUntil([&] { return library->callCount(SimulatedCall::resources) > 3; }));
    stop.request_stop();
    const auto result = batch.wait();
    ASSERT_TRUE(result);
    ASSERT_FALSE(*result);
    EXPECT_TRUE(result->error().isCancellation());
    EXPECT_LT(library->callCount(SimulatedCall::resources), 400);
}

}  // namespace
}  // namespace reelkeep
