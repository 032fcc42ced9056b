// scan_test.cpp: the folder library scanned through the service, on real files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <mutex>

#include "folder/store/store_fixtures.h"
#include "library_fixture.h"

namespace reelkeep::testing {
namespace {

using fs::test::writeBytes;

TEST_F(FolderLibraryTest, ScanListsEachVideoFileOnceWithItsSizeAndMetadata) {
    ASSERT_TRUE(makeClip("short.mp4", 1, QStringLiteral("320x240")));
    ASSERT_TRUE(
        makeClip("tagged.mov", 2, QStringLiteral("640x360"),
                 {QStringLiteral("-metadata"), QStringLiteral("creation_time=2021-03-04T05:06:07Z")}));
    ASSERT_TRUE(makeClip("Screen Recording 2024-01-01 at 10.00.00.mp4"));
    writeBytes(join(root(), "garbage.mp4"), QByteArray(5000, 'x'));
    writeBytes(join(root(), "empty.mp4"), QByteArray());
    writeBytes(join(root(), ".hidden.mp4"), QByteArray(100, 'x'));
    writeBytes(join(root(), "notes.txt"), QByteArray(100, 'x'));
    ASSERT_EQ(::symlink(join(root(), "short.mp4").constData(), join(root(), "link.mp4").constData()), 0);
    ASSERT_EQ(::link(join(root(), "short.mp4").constData(), join(root(), "zz-hardlink.mp4").constData()), 0);
    ASSERT_EQ(::mkfifo(join(root(), "fifo.mp4").constData(), 0600), 0);

    const std::optional<ScanOutcome> first = scan();
    ASSERT_TRUE(first);
    QStringList names;
    for (const VideoItem& item : first->items) names.append(item.displayName());
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Screen Recording 2024-01-01 at 10.00.00.mp4"),
                                  QStringLiteral("empty.mp4"), QStringLiteral("garbage.mp4"),
                                  QStringLiteral("short.mp4"), QStringLiteral("tagged.mov")}));

    struct Expected {
        QByteArray name;
        double lengthSeconds;
        std::int64_t width;
        std::int64_t height;
        bool isScreenRecording;
    };
    const Expected table[] = {
        {"short.mp4", 1, 320, 240, false},
        {"tagged.mov", 2, 640, 360, false},
        {"Screen Recording 2024-01-01 at 10.00.00.mp4", 1, 320, 240, true},
        {"garbage.mp4", 0, 0, 0, false},
        {"empty.mp4", 0, 0, 0, false},  // an empty file is a known 0 bytes
    };
    for (const Expected& expected : table) {
        SCOPED_TRACE(expected.name.toStdString());
        const std::optional<VideoItem> item = itemNamed(first->items, QString::fromUtf8(expected.name));
        ASSERT_TRUE(item);
        struct stat status {};
        ASSERT_EQ(::stat(join(root(), expected.name).constData(), &status), 0);
        EXPECT_EQ(item->sizeState(), SizeState::known(status.st_size, SizeSource::resourceDataSize));
        EXPECT_NEAR(item->duration(), expected.lengthSeconds, 0.15);
        EXPECT_EQ(item->pixelWidth(), expected.width);
        EXPECT_EQ(item->pixelHeight(), expected.height);
        EXPECT_EQ(item->isScreenRecording(), expected.isScreenRecording);
        EXPECT_EQ(item->localIdentifier(), identifierOf(expected.name));
    }
    EXPECT_EQ(itemNamed(first->items, QStringLiteral("tagged.mov"))->creationDate(), 1614834367.0);
    EXPECT_EQ(first->timings.slowPathCount, first->items.size());

    // The second scan answers from the index: same records, no slow route.
    openLibrary();
    const std::optional<ScanOutcome> second = scan();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->timings.slowPathCount, 1);  // the 0-byte file only: it has no size to give
    ASSERT_EQ(second->items.size(), first->items.size());
    for (const VideoItem& item : first->items) {
        const std::optional<VideoItem> again = itemNamed(second->items, item.displayName());
        ASSERT_TRUE(again);
        EXPECT_EQ(again->duration(), item.duration());
        EXPECT_EQ(again->creationDate(), item.creationDate());
        EXPECT_EQ(again->sizeState().byteCount(), item.sizeState().byteCount());
        // The index's size of 0 means "not recorded", so the empty file takes the slow route again.
        if (item.sizeState().byteCount().value_or(0) > 0) {
            EXPECT_EQ(again->sizeState().source(), SizeSource::photosMetadata);
        }
    }
}

TEST_F(FolderLibraryTest, AFileThatCrashesOrHangsTheReaderIsListedWithoutMetadataAndRemembered) {
    ASSERT_TRUE(makeClip("a.mp4"));
    ASSERT_TRUE(makeClip("b.mp4", 2));
    // The test worker's reader crashes or hangs on these first bytes.
    writeBytes(join(root(), "crash.mp4"), QByteArray("RKCRASH!").repeated(100));
    writeBytes(join(root(), "hang.mp4"), QByteArray("RKHANG!!").repeated(100));
    FolderLibraryOptions inWorkers = options();
    inWorkers.thumbnailWorker = media::WorkerCommand{REELKEEP_WORKER_STUB, {"trap"}};
    inWorkers.readLimits.timeLimit = std::chrono::milliseconds(500);
    openLibrary(inWorkers);

    const std::optional<ScanOutcome> first = scan();
    ASSERT_TRUE(first);
    ASSERT_EQ(first->items.size(), 4);
    struct Expected {
        QString name;
        double lengthSeconds;
        std::int64_t width;
    };
    for (const Expected& expected :
         {Expected{QStringLiteral("a.mp4"), 1, 320}, Expected{QStringLiteral("b.mp4"), 2, 320},
          Expected{QStringLiteral("crash.mp4"), 0, 0}, Expected{QStringLiteral("hang.mp4"), 0, 0}}) {
        SCOPED_TRACE(expected.name.toStdString());
        const std::optional<VideoItem> item = itemNamed(first->items, expected.name);
        ASSERT_TRUE(item);
        EXPECT_NEAR(item->duration(), expected.lengthSeconds, 0.15);
        EXPECT_EQ(item->pixelWidth(), expected.width);
    }
    // Remembered: the next scan reads none of them again, not even in this process.
    const FetchResult again = openLibrary()->fetchVideos();
    ASSERT_EQ(again.size(), 4);
    for (const AssetRef& asset : again)
        EXPECT_TRUE(asset->respondsTo("px_filesize")) << asset->localIdentifier().toStdString();
}

TEST_F(FolderLibraryTest, ScanOrdersNewestFirstAndRereadsAnEditedFile) {
    ASSERT_TRUE(
        makeClip("old.mp4", 1, QStringLiteral("320x240"),
                 {QStringLiteral("-metadata"), QStringLiteral("creation_time=2010-01-01T00:00:00Z")}));
    ASSERT_TRUE(
        makeClip("new.mp4", 1, QStringLiteral("320x240"),
                 {QStringLiteral("-metadata"), QStringLiteral("creation_time=2020-01-01T00:00:00Z")}));
    ASSERT_TRUE(scan());  // indexes both

    openLibrary();
    std::optional<ScanOutcome> outcome = scan();
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->items.size(), 2);
    EXPECT_EQ(outcome->items[0].displayName(), QStringLiteral("new.mp4"));
    EXPECT_EQ(outcome->items[1].displayName(), QStringLiteral("old.mp4"));

    // Replaced content under the same name: the index row no longer counts.
    ASSERT_TRUE(makeClip("old.mp4", 2, QStringLiteral("640x480")));
    openLibrary();
    outcome = scan();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->timings.slowPathCount, 1);
    const std::optional<VideoItem> edited = itemNamed(outcome->items, QStringLiteral("old.mp4"));
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->pixelWidth(), 640);
    EXPECT_NEAR(edited->duration(), 2, 0.15);
}

// The date a user recognises: the camera's, else the name's, else the mtime;
// never the time the file was copied here. A newer rule dates indexed files
// again from their stored tags without opening them.
TEST_F(FolderLibraryTest, DatesComeFromTheContainerThenTheNameThenTheModificationTime) {
    const QString size = QStringLiteral("320x240");
    const QString meta = QStringLiteral("-metadata");
    ASSERT_TRUE(makeClip("zoned.mov", 1, size,
                         {QStringLiteral("-movflags"), QStringLiteral("use_metadata_tags"), meta,
                          QStringLiteral("com.apple.quicktime.creationdate=2019-07-18T14:45:21+0200"), meta,
                          QStringLiteral("creation_time=2022-01-01T00:00:00Z")}));
    ASSERT_TRUE(makeClip("VID_20190101_120000.mp4", 1, size,
                         {meta, QStringLiteral("creation_time=1970-01-01T00:00:00Z")}));  // a zero date
    ASSERT_TRUE(makeClip("VID-20170211-WA0001.mp4"));
    ASSERT_TRUE(makeClip("holiday.mp4"));
    constexpr Timestamp kMtime = 1464782400;  // 2016-06-01
    for (const char* name :
         {"zoned.mov", "VID_20190101_120000.mp4", "VID-20170211-WA0001.mp4", "holiday.mp4"}) {
        const struct timespec times[2] = {{std::time_t(kMtime), 0}, {std::time_t(kMtime), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, join(root(), name).constData(), times, 0), 0);
    }
    struct Expected {
        const char* name;
        Timestamp date;
        DateSource source;
    };
    const Expected expected[] = {
        {"zoned.mov", 1563453921, DateSource::container},
        {"VID_20190101_120000.mp4", 1546362000, DateSource::fileName},  // noon in New York
        {"VID-20170211-WA0001.mp4", 1486789200, DateSource::fileName},
        {"holiday.mp4", kMtime, DateSource::modificationTime},
    };
    const char* const passes[] = {"read now", "from the index", "dated again by a newer rule"};
    for (const char* pass : passes) {
        SCOPED_TRACE(pass);
        if (pass == passes[2]) {
            ASSERT_TRUE(store::testing::runSql(
                QFile::decodeName(state() + "/cache/index.sqlite"),
                "UPDATE media SET date_rule = 0, creation_date = 0, date_source = NULL"));
        }
        const std::shared_ptr<FolderLibrary> library = openLibrary();
        const std::optional<ScanOutcome> outcome = scan();
        ASSERT_TRUE(outcome);
        if (pass != passes[0]) {
            EXPECT_EQ(outcome->timings.slowPathCount, 0);  // no container opened
        }
        for (const Expected& e : expected) {
            const std::optional<VideoItem> item = itemNamed(outcome->items, QString::fromUtf8(e.name));
            ASSERT_TRUE(item) << e.name;
            EXPECT_EQ(item->creationDate(), e.date) << e.name;
            EXPECT_EQ(library->scannedFacts(item->localIdentifier()).dateSource, e.source) << e.name;
        }
    }
}

TEST_F(FolderLibraryTest, FavoritesSurviveARescanAndARename) {
    ASSERT_TRUE(makeClip("kept.mp4"));
    ASSERT_TRUE(makeClip("other.mp4"));
    ASSERT_TRUE(scan());
    const std::optional<Result<void>> marked =
        awaitFor(service().setFavorite({identifierOf("kept.mp4")}, true));
    ASSERT_TRUE(marked && *marked);

    openLibrary();
    std::optional<ScanOutcome> outcome = scan();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(itemNamed(outcome->items, QStringLiteral("kept.mp4"))->isFavorite());
    EXPECT_FALSE(itemNamed(outcome->items, QStringLiteral("other.mp4"))->isFavorite());

    ASSERT_EQ(::rename(join(root(), "kept.mp4").constData(), join(root(), "renamed.mp4").constData()), 0);
    openLibrary();
    outcome = scan();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(itemNamed(outcome->items, QStringLiteral("renamed.mp4"))->isFavorite());
}

TEST_F(FolderLibraryTest, EarlyRowsAreTheIndexedFilesExactlyAsTheScanListsThem) {
    ASSERT_TRUE(makeClip("kept.mp4"));
    ASSERT_TRUE(makeClip("longer.mp4", 2, QStringLiteral("640x360")));
    ASSERT_TRUE(scan());
    const std::optional<Result<void>> marked =
        awaitFor(service().setFavorite({identifierOf("kept.mp4")}, true));
    ASSERT_TRUE(marked && *marked);
    writeBytes(join(root(), "unread.mp4"), QByteArray(5000, 'x'));

    openLibrary();
    VideoList early;
    const std::optional<ScanOutcome> outcome = scan(&early);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->items.size(), 3);
    QStringList earlyNames;
    for (const VideoItem& row : early) {
        earlyNames.append(row.displayName());
        EXPECT_EQ(itemNamed(outcome->items, row.displayName()), row) << row.displayName().toStdString();
    }
    earlyNames.sort();
    EXPECT_EQ(earlyNames, (QStringList{QStringLiteral("kept.mp4"), QStringLiteral("longer.mp4")}));
}

TEST_F(FolderLibraryTest, EveryListedFileIsFoundByItsIdentifierAndNothingElse) {
    QList<QByteArray> names;
    for (int i = 0; i < 30; ++i) {
        // Identifiers that sort unlike the names: escapes, case, digits.
        const char* const suffixes[] = {" %Z.mp4", "b.mp4", "A.mp4"};
        names.append(QByteArray::number((i * 7) % 30) + suffixes[i % 3]);
        writeBytes(join(root(), names.back()), QByteArray(100 + i, 'x'));
    }
    const std::shared_ptr<FolderLibrary> library = openLibrary();
    const std::optional<ScanOutcome> outcome = scan();
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->items.size(), names.size());

    QStringList asked, expected;
    for (auto name = names.rbegin(); name != names.rend(); ++name) asked.append(identifierOf(*name));
    expected = asked;
    asked.insert(3, identifierOf("!before every other.mp4"));
    asked.insert(9, identifierOf("1b.mp4x"));
    asked.append(identifierOf("~after every other.mp4"));
    asked.append(expected.front());  // a repeat is listed once
    QStringList found;
    for (const AssetRef& asset : library->fetchAssets(asked)) found.append(asset->localIdentifier());
    EXPECT_EQ(found, expected);
    for (const QByteArray& name : names)
        EXPECT_EQ(library->fileLocation(identifierOf(name)).status, FileLocation::Status::found)
            << name.data();
    EXPECT_EQ(library->fileLocation(identifierOf("~after every other.mp4")).status,
              FileLocation::Status::notFound);

    // The flag shows in the library's own list at once, not after the next scan.
    const std::optional<Result<void>> marked =
        awaitFor(service().setFavorite({identifierOf(names[7])}, true));
    ASSERT_TRUE(marked && *marked);
    for (const QByteArray& name : names)
        EXPECT_EQ(library->fetchAssets({identifierOf(name)}).value(0)->isFavorite(), name == names[7])
            << name.data();
}

TEST_F(FolderLibraryTest, AccessFollowsWhichRootsCanBeRead) {
    writeBytes(join(root(), "clip.mp4"), QByteArray(100, 'c'));
    const QByteArray missing = state() + "/missing";  // not inside root(): a nested root is dropped
    struct Case {
        const char* name;
        std::vector<QByteArray> roots;
        AuthorizationStatus expected;
    };
    const Case cases[] = {
        {"every root readable", {root()}, AuthorizationStatus::authorized},
        {"one of two", {root(), missing}, AuthorizationStatus::limited},
        {"none", {missing}, AuthorizationStatus::denied},
        {"nothing configured, no default", {}, AuthorizationStatus::notDetermined},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FolderLibraryOptions chosen = options();
        chosen.explicitRoots = c.roots;
        const std::shared_ptr<FolderLibrary> library = openLibrary(chosen);
        EXPECT_EQ(library->authorizationStatus(AccessLevel::readWrite), c.expected);
        // Limited access scans the roots that can be read; no access scans nothing.
        const bool isReadable =
            c.expected == AuthorizationStatus::authorized || c.expected == AuthorizationStatus::limited;
        EXPECT_EQ(library->fetchVideos().size(), isReadable ? 1 : 0);
    }
}

TEST_F(FolderLibraryTest, AFolderThatDoesNotAnswerIsSkippedNamedAndAskedAgainLater) {
    writeBytes(join(root(), "clip.mp4"), QByteArray(100, 'c'));
    const QByteArray hung = state() + "/hung";  // a stale network mount: its stat never returns
    fs::test::makeFolder(hung);
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool isOpen = false;
        std::atomic<int> entered{0};
        void open() {
            std::lock_guard lock(mutex);
            isOpen = true;
            opened.notify_all();
        }
    };
    const auto gate = std::make_shared<Gate>();
    const std::unique_ptr<Gate, void (*)(Gate*)> openAtEnd(gate.get(), [](Gate* g) { g->open(); });
    fs::MountInputs mounts;
    mounts.mountedPoints = {"/"};
    mounts.probe = [gate, hung, real = fs::systemRootProbe()](const QByteArray& path, bool* isFolder) {
        if (path == hung) {
            ++gate->entered;
            std::unique_lock lock(gate->mutex);
            gate->opened.wait(lock, [&] { return gate->isOpen; });
        }
        return real(path, isFolder);
    };
    FolderLibraryOptions chosen = options();
    chosen.explicitRoots = {root(), hung};
    chosen.mountInputs = mounts;
    chosen.rootAnswerLimit = std::chrono::milliseconds(100);
    const std::shared_ptr<FolderLibrary> library = openLibrary(chosen);

    EXPECT_EQ(library->authorizationStatus(AccessLevel::readWrite), AuthorizationStatus::limited);
    EXPECT_EQ(library->fetchVideos().size(), 1);
    const auto stateOf = [&](const QByteArray& folder) {
        for (const LibraryFolder& entry : library->libraryFolders().folders)
            if (entry.path == folder) return entry.state;
        return LibraryFolder::State::missing;
    };
    EXPECT_EQ(stateOf(root()), LibraryFolder::State::available);
    EXPECT_EQ(stateOf(hung), LibraryFolder::State::notAnswering);
    EXPECT_EQ(gate->entered.load(), 1);  // asked again while stuck: answered at once, no new thread

    gate->open();  // the server is back
    EXPECT_TRUE(pumpUntil([&] { return stateOf(hung) == LibraryFolder::State::available; }));
}

class ScriptedChooser final : public FolderChooser {
public:
    explicit ScriptedChooser(std::optional<std::vector<QByteArray>> answer) : m_answer(std::move(answer)) {}
    std::optional<std::vector<QByteArray>> chooseFolders() override {
        ++askCount;
        return m_answer;
    }
    int askCount = 0;

private:
    std::optional<std::vector<QByteArray>> m_answer;
};

TEST_F(FolderLibraryTest, RequestingAccessAsksOnceAndKeepsTheAnswer) {
    struct Case {
        const char* name;
        bool hasChooser;
        std::optional<std::vector<QByteArray>> answer;
        AuthorizationStatus expected;
        AuthorizationStatus standingAfterwards;
    };
    const Case cases[] = {
        {"command line: no prompt", false, std::nullopt, AuthorizationStatus::denied,
         AuthorizationStatus::notDetermined},
        {"user picks a folder", true, std::vector<QByteArray>{root()}, AuthorizationStatus::authorized,
         AuthorizationStatus::authorized},
        {"user declines", true, std::nullopt, AuthorizationStatus::denied, AuthorizationStatus::denied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(QFile::decodeName(state() + "/config/library-folders"));
        FolderLibraryOptions chosen = options();
        chosen.explicitRoots.clear();
        const auto chooser = std::make_shared<ScriptedChooser>(c.answer);
        if (c.hasChooser) chosen.chooser = chooser;
        const std::shared_ptr<FolderLibrary> library = openLibrary(chosen);

        std::atomic<int> answers{0};
        std::atomic<AuthorizationStatus> answer{AuthorizationStatus::restricted};
        library->requestAuthorization(AccessLevel::readWrite, [&](AuthorizationStatus status) {
            answer = status;
            ++answers;
        });
        ASSERT_TRUE(pumpUntil([&] { return answers.load() > 0; }));
        EXPECT_EQ(answer.load(), c.expected);
        const std::shared_ptr<FolderLibrary> reopened = openLibrary(chosen);
        EXPECT_EQ(reopened->authorizationStatus(AccessLevel::readWrite), c.standingAfterwards);

        // Decided: asking again does not prompt.
        const int asked = chooser->askCount;
        reopened->requestAuthorization(AccessLevel::readWrite, [&](AuthorizationStatus) { ++answers; });
        ASSERT_TRUE(pumpUntil([&] { return answers.load() == 2; }));
        EXPECT_EQ(chooser->askCount, asked);
    }
}

}  // namespace
}  // namespace reelkeep::testing
