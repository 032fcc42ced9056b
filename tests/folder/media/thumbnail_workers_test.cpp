// thumbnail_workers_test.cpp: workers give the direct call's pictures, are
// reused and recycled, and a worker that crashes, hangs or talks nonsense costs
// itself only: the caller gets a typed error and the next request a new worker.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QFile>

#include <thread>

#include "media_fixtures.h"
#include "platform/folder/media/container_read.h"
#include "platform/folder/media/thumbnail_decoder.h"
#include "platform/folder/media/thumbnail_workers.h"
#include "platform/folder/media/visual_fingerprint.h"

namespace reelkeep::media {
namespace {

using testing::MediaFixtures;
using testing::OpenFile;

constexpr std::chrono::milliseconds kGenerous{30000};

WorkerCommand stub(const char* mode, std::string target = {}) {
    WorkerCommand command{REELKEEP_WORKER_STUB, {mode}};
    if (!target.empty()) command.arguments.push_back(std::move(target));
    return command;
}

TEST(ThumbnailWorkers, ARealWorkerAnswersAsTheDirectCallAndIsReused) {
    MediaFixtures fixtures;
    const auto clip = fixtures.makeClip(QStringLiteral("clip.mp4"), 320, 240);
    ASSERT_TRUE(clip) << fixtures.lastError().toStdString();
    const QString garbage = fixtures.writeBytes(QStringLiteral("garbage.mp4"), QByteArray(5000, '\x33'));

    WorkerLimits limits = defaultWorkerLimits();
    limits.requestsPerWorker = 3;
    ThumbnailWorkerPool pool(stub("serve"), limits);
    for (const QString& path : {*clip, garbage, *clip}) {
        SCOPED_TRACE(path.toStdString());
        OpenFile file(path);
        const auto viaWorker = pool.decode(file.fd(), 128, {}, kGenerous);
        const auto direct = decodeThumbnail(file.fd(), 128);
        ASSERT_EQ(viaWorker.hasValue(), direct.hasValue());
        if (direct) {
            EXPECT_EQ(viaWorker.value(), direct.value());
        } else {
            EXPECT_EQ(viaWorker.error().kind(), direct.error().kind());
            EXPECT_EQ(viaWorker.error().detail(), direct.error().detail());
        }
    }
    // A broken file is the decoder's answer, not the worker's fault: still one worker.
    EXPECT_EQ(pool.startedWorkers(), 1);
    OpenFile file(*clip);
    EXPECT_TRUE(pool.decode(file.fd(), 128, {}, kGenerous).hasValue());
    EXPECT_EQ(pool.startedWorkers(), 2) << "recycled after its quota of requests";
}

TEST(ThumbnailWorkers, AHostileWorkerCostsOnlyItself) {
    MediaFixtures fixtures;
    const QString anyFile = fixtures.writeBytes(QStringLiteral("any.mp4"), QByteArray(100, 'x'));
    OpenFile file(anyFile);
    struct Case {
        const char* mode;
        std::chrono::milliseconds wait;
        MediaErrorKind expected;
    };
    const Case cases[] = {
        {"crash", kGenerous, MediaErrorKind::decodeFailed},
        {"hang", std::chrono::milliseconds(300), MediaErrorKind::timedOut},
        {"nonsense", kGenerous, MediaErrorKind::unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ThumbnailWorkerPool pool(stub(c.mode), defaultWorkerLimits());
        for (int round = 1; round <= 2; ++round) {
            const auto result = pool.decode(file.fd(), 128, {}, c.wait);
            ASSERT_FALSE(result.hasValue());
            EXPECT_EQ(result.error().kind(), c.expected) << result.error().message().toStdString();
            EXPECT_EQ(pool.startedWorkers(), round) << "the faulty worker is replaced, never reused";
        }
    }

    // Stopping (the library closing) ends a hung decode at once, not at its limit.
    ThumbnailWorkerPool pool(stub("hang"), defaultWorkerLimits());
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const auto result = pool.decode(file.fd(), 128, {}, kGenerous, stop.get_token());
    EXPECT_FALSE(result.hasValue());
    EXPECT_LT(std::chrono::steady_clock::now() - started, kGenerous / 2);

    ThumbnailWorkerPool missing(WorkerCommand{"/nonexistent/worker", {}}, defaultWorkerLimits());
    const auto notStarted = missing.decode(file.fd(), 128, {}, kGenerous);
    ASSERT_FALSE(notStarted.hasValue());
    EXPECT_EQ(notStarted.error().kind(), MediaErrorKind::unreadable);
}

TEST(MetadataWorkers, AReaderThatCrashesOrHangsOnOneFileCostsOnlyThatFile) {
    MediaFixtures fixtures;
    const auto clip = fixtures.makeClip(QStringLiteral("clip.mp4"), 320, 240,
                                        {"-metadata", "creation_time=2021-03-04T05:06:07Z"});
    const auto other = fixtures.makeClip(QStringLiteral("other.mkv"), 160, 90);
    ASSERT_TRUE(clip && other) << fixtures.lastError().toStdString();
    OpenFile good(*clip);
    OpenFile second(*other);
    OpenFile garbage(fixtures.writeBytes(QStringLiteral("garbage.mp4"), QByteArray(5000, '\x33')));
    OpenFile crashing(fixtures.writeBytes(QStringLiteral("crash.mp4"), QByteArray("RKCRASH!").repeated(100)));
    OpenFile hanging(fixtures.writeBytes(QStringLiteral("hang.mp4"), QByteArray("RKHANG!!").repeated(100)));

    // More files than one request carries, the bad ones in the second request.
    std::vector<int> fds(kMaxMetadataBatch + 2, good.fd());
    fds.insert(fds.end(), {crashing.fd(), second.fd(), garbage.fd(), hanging.fd(), good.fd()});
    ThumbnailWorkerPool pool(stub("trap"), defaultWorkerLimits());
    const auto results = pool.readMetadata(fds, {}, std::chrono::milliseconds(1500));
    ASSERT_EQ(results.size(), fds.size());
    for (std::size_t i = 0; i < fds.size(); ++i) {
        SCOPED_TRACE(i);
        if (fds[i] == crashing.fd() || fds[i] == hanging.fd()) {
            ASSERT_FALSE(results[i].hasValue());
            // Lasting: the same file would crash or hang the reader again.
            EXPECT_EQ(results[i].error().kind(), MediaErrorKind::damaged);
            continue;
        }
        const auto direct = readContainer(fds[i], {});
        ASSERT_EQ(results[i].hasValue(), direct.hasValue());
        if (!direct) {
            EXPECT_EQ(results[i].error().kind(), direct.error().kind());
            continue;
        }
        EXPECT_EQ(results[i]->pixelWidth, direct->pixelWidth);
        EXPECT_EQ(results[i]->pixelHeight, direct->pixelHeight);
        EXPECT_EQ(results[i]->lengthSeconds, direct->lengthSeconds);
        EXPECT_EQ(results[i]->dateTags, direct->dateTags);
        EXPECT_EQ(results[i]->creationDate, direct->creationDate);
        EXPECT_EQ(results[i]->hasDecodableVideo, direct->hasDecodableVideo);
    }
    EXPECT_TRUE(results.front()->creationDate.has_value());

    // A worker that fails for itself (here: it cannot start) says nothing about the files.
    ThumbnailWorkerPool missing(WorkerCommand{"/nonexistent/worker", {}}, defaultWorkerLimits());
    for (const auto& result : missing.readMetadata(fds, {}, kGenerous)) {
        ASSERT_FALSE(result.hasValue());
        EXPECT_EQ(result.error().kind(), MediaErrorKind::unreadable);
    }
}

TEST(FingerprintWorkers, ADecoderThatCrashesOrHangsOnOneFileCostsOnlyThatFile) {
    MediaFixtures fixtures;
    const auto clip = fixtures.makeClip(QStringLiteral("clip.mp4"), 320, 240, {"-t", "3", "-g", "5"});
    ASSERT_TRUE(clip) << fixtures.lastError().toStdString();
    OpenFile good(*clip);
    OpenFile garbage(fixtures.writeBytes(QStringLiteral("garbage.mp4"), QByteArray(5000, '\x33')));
    OpenFile crashing(fixtures.writeBytes(QStringLiteral("crash.mp4"), QByteArray("RKCRASH!").repeated(100)));
    OpenFile hanging(fixtures.writeBytes(QStringLiteral("hang.mp4"), QByteArray("RKHANG!!").repeated(100)));

    // At normal priority: idle-priority workers may starve behind the other tests.
    const std::vector<int> fds{good.fd(), crashing.fd(), garbage.fd(), hanging.fd(), good.fd()};
    ThumbnailWorkerPool pool(stub("trap"), defaultWorkerLimits());
    const auto results = pool.fingerprint(fds, {}, std::chrono::milliseconds(4000));
    ASSERT_EQ(results.size(), fds.size());
    const auto direct = fingerprintVideo(good.fd());
    ASSERT_TRUE(direct) << direct.error().message().toStdString();
    for (const std::size_t i : {std::size_t(0), std::size_t(4)}) {
        ASSERT_TRUE(results[i]) << i << ": " << results[i].error().message().toStdString();
        EXPECT_EQ(results[i].value(), direct.value());
    }
    EXPECT_EQ(results[1].error().kind(), MediaErrorKind::damaged) << "lasting: it would crash again";
    EXPECT_EQ(results[2].error().kind(), MediaErrorKind::notMedia);
    EXPECT_EQ(results[3].error().kind(), MediaErrorKind::damaged) << "lasting: it would hang again";
    // The same sleep in a background worker may just have been starved of the processor: tried again later.
    WorkerLimits background = defaultWorkerLimits();
    background.isBackground = true;
    ThumbnailWorkerPool idle(stub("trap"), background);
    const std::vector<int> hangingOnly{hanging.fd()};
    const auto starved = idle.fingerprint(hangingOnly, {}, std::chrono::milliseconds(1000));
    ASSERT_EQ(starved.size(), 1u);
    ASSERT_FALSE(starved[0]);
    EXPECT_EQ(starved[0].error().kind(), MediaErrorKind::timedOut);

    const auto strip = pool.decodeFrameStrip(good.fd(), 64, {}, kGenerous);
    ASSERT_TRUE(strip) << strip.error().message().toStdString();
    const auto directStrip = decodeFrameStrip(good.fd(), 64);
    ASSERT_TRUE(directStrip);
    ASSERT_EQ(strip->size(), directStrip->size());
    for (std::size_t i = 0; i < strip->size(); ++i) EXPECT_EQ(strip.value()[i], directStrip.value()[i]);
    const auto crashed = pool.decodeFrameStrip(crashing.fd(), 64, {}, kGenerous);
    ASSERT_FALSE(crashed);
    EXPECT_EQ(crashed.error().kind(), MediaErrorKind::decodeFailed);
}

TEST(ThumbnailWorkers, ATakenOverWorkerCannotReachFilesOrTheNetwork) {
    MediaFixtures fixtures;
    OpenFile file(fixtures.writeBytes(QStringLiteral("any.mp4"), QByteArray(100, 'x')));

    const QString escaped = fixtures.path(QStringLiteral("escaped.txt"));
    ThumbnailWorkerPool opener(stub("open", QFile::encodeName(escaped).toStdString()), defaultWorkerLimits());
    EXPECT_FALSE(opener.decode(file.fd(), 128, {}, kGenerous).hasValue());
    EXPECT_FALSE(QFile::exists(escaped)) << "the worker created a file";

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ThumbnailWorkerPool connector(stub("connect", std::to_string(ntohs(address.sin_port))),
                                  defaultWorkerLimits());
    const auto result = connector.decode(file.fd(), 128, {}, kGenerous);
    ASSERT_FALSE(result.hasValue());
    // Killed by the filter, and recorded as the decoder's crash on this file.
    EXPECT_EQ(result.error().kind(), MediaErrorKind::decodeFailed) << result.error().message().toStdString();
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "the worker reached the network";
    ::close(listener);
}

}  // namespace
}  // namespace reelkeep::media
