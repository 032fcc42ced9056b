// scan_bench.cpp: the folder library's scan over real video files, end to end,
// in process (library + service, and the view model as `reelkeep scan` drives
// it) and as the `reelkeep scan` executable in a child process.
// Targets: a rescan of 100,000 unchanged files at most 2× `find -printf '%s\n'`
// over the same tree, measured in the same run (x_find); a first scan of 10,000
// files by `reelkeep scan` within 1.3 s wall on two cores; a peak RSS of
// `reelkeep scan` over 100,000 files within 120 MB, first scan and rescan.
// Counters ending in x_target are the ratio to the target: above 1 is a miss.
// The trees are year/month folders of copies of four tiny clips made by ffmpeg,
// each copy its own inode (hard links would count once), built once per run.
// Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/system_environment.h"
#include "library/photo_library_service.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/folder_library.h"
#include "platform/folder/fs/path_id.h"
#include "platform/folder/fs/walk.h"
#include "platform/folder/media/container_read.h"
#include "platform/folder/store/favorites_store.h"
#include "platform/folder/store/metadata_index.h"
#include "support/run_task.h"
#include "viewmodel/library_session.h"

extern char** environ;

namespace reelkeep {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr int kLargeCount = 100'000;
constexpr int kSmallCount = 10'000;
// A camera folder per month: a few hundred videos each, 334 folders for 100,000.
constexpr int kFilesPerFolder = 300;
constexpr double kRescanTargetRatio = 2.0;
constexpr double kFirstScanTargetSeconds = 1.3;
constexpr double kPeakRssTargetMb = 120;
constexpr int kFindRuns = 5;
// The same batch and transaction size as the library's write-back.
constexpr std::size_t kIndexWriteBatch = 100;

struct Clip {
    QByteArray bytes;
    QByteArray extension;
};

// Four containers a phone, a camera and the web leave behind; 1-2 KB each.
std::vector<Clip> makeClips(const QString& folder) {
    struct Recipe {
        const char* name;
        const char* size;
        QStringList codec;
    };
    const Recipe recipes[] = {
        {"phone.mp4",
         "64x36",
         {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "45", "-movflags", "+faststart", "-metadata",
          "creation_time=2021-03-04T05:06:07Z"}},
        {"portrait.mov",
         "36x64",
         {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "45", "-metadata",
          "creation_time=2019-07-01T10:00:00Z"}},
        {"camera.mkv", "64x36", {"-c:v", "mpeg4", "-q:v", "31"}},
        {"web.webm", "64x36", {"-c:v", "libvpx", "-b:v", "20k"}},
    };
    std::vector<Clip> clips;
    for (const Recipe& recipe : recipes) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(recipe.name);
        QStringList arguments{
            "-y", "-hide_banner", "-loglevel", "error",
            "-f", "lavfi",        "-i",        QStringLiteral("testsrc2=size=%1:rate=10").arg(recipe.size),
            "-t", "0.5",          "-pix_fmt",  "yuv420p"};
        arguments << recipe.codec << path;
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
        QFile file(path);
        if (!ffmpeg.waitForFinished(120'000) || ffmpeg.exitCode() != 0 || !file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray name(recipe.name);
        clips.push_back(Clip{file.readAll(), name.mid(name.lastIndexOf('.') + 1)});
    }
    return clips;
}

// Where one run of `reelkeep scan` keeps its state instead of the user's folders.
struct StateFolders {
    QString config, cache, data;

    explicit StateFolders(const QString& base)
        : config(base + QStringLiteral("/config")),
          cache(base + QStringLiteral("/cache")),
          data(base + QStringLiteral("/data")) {}
    // The paths the executable derives from XDG_CACHE_HOME and XDG_DATA_HOME.
    QString indexPath() const { return cache + QStringLiteral("/reelkeep/index.sqlite"); }
    QString favoritesPath() const { return data + QStringLiteral("/reelkeep/favorites.sqlite"); }

    void forgetIndex() const {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(indexPath() + QLatin1String(suffix));
    }
};

bool makeFolder(const QByteArray& path) {
    return ::mkdir(path.constData(), 0755) == 0 || errno == EEXIST;
}

// Copies of the clips in <year>/<month> folders, mtimes inside their month.
// Each copy is stretched by a hole of up to 100 KB, so sizes differ as in a real
// library (a few equal by chance) while the disk holds only the clip bytes.
bool writeTree(const QByteArray& root, int fileCount, const std::vector<Clip>& clips) {
    QByteArray folder;
    std::time_t monthStart = 0;
    for (int i = 0; i < fileCount; ++i) {
        const int folderIndex = i / kFilesPerFolder;
        if (i % kFilesPerFolder == 0) {
            const int year = 2000 + folderIndex / 12, month = 1 + folderIndex % 12;
            const QByteArray yearPath = root + '/' + QByteArray::number(year);
            folder = yearPath + '/' + QByteArray::number(month).rightJustified(2, '0');
            if (!makeFolder(yearPath) || !makeFolder(folder)) return false;
            std::tm start{};
            start.tm_year = year - 1900;
            start.tm_mon = month - 1;
            start.tm_mday = 1;
            monthStart = ::timegm(&start);
        }
        const Clip& clip = clips[std::size_t(i) % clips.size()];
        const QByteArray path = folder + "/VID_" + QByteArray::number(i) + '.' + clip.extension;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const std::time_t mtime = monthStart + std::time_t(i % kFilesPerFolder) * 3600;
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        const bool isWritten =
            ::write(fd, clip.bytes.constData(), std::size_t(clip.bytes.size())) == clip.bytes.size() &&
            ::ftruncate(fd, clip.bytes.size() + (i * 7919) % 100'000) == 0 && ::futimens(fd, times) == 0;
        ::close(fd);
        if (!isWritten) return false;
    }
    return true;
}

// One scan through the service, timed by phase.
struct ServiceScan {
    qsizetype readCount = -1;
    Seconds fetch{};     // beginScan: walk, index lookup, favorites, assets in fetch order
    Seconds teardown{};  // the service and library going away: the index's last writes
    Seconds wall{};
    Seconds cpu{};        // every thread's user + system time: the machine may be busy elsewhere
    ScanTimings timings;  // batchTotal: reading every asset (container reads on a first scan)
};

Seconds processCpu() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return Seconds(seconds(usage.ru_utime) + seconds(usage.ru_stime));
}

QCoro::Task<ServiceScan> scanAll(PhotoLibraryService& service) {
    ServiceScan scan;
    const Clock::time_point started = Clock::now();
    const Result<qsizetype> total = co_await service.beginScan();
    scan.fetch = Clock::now() - started;
    if (!total) co_return scan;
    scan.readCount = 0;
    for (qsizetype start = 0; start < total.value(); start += kScanBatchSize) {
        const Result<ScanBatch> batch = co_await service.readBatch(start, kScanBatchSize);
        if (!batch) {
            scan.readCount = -1;
            break;
        }
        scan.readCount += batch.value().items.size();
    }
    scan.timings = co_await service.finishScan();
    co_return scan;
}

class LibraryFixture {
public:
    LibraryFixture(int fileCount, const std::vector<Clip>& clips)
        : m_fileCount(fileCount),
          m_root(QFile::encodeName(m_dir.path()) + "/Videos"),
          m_state(m_dir.path() + QStringLiteral("/state")) {
        m_isReady =
            m_dir.isValid() && !clips.empty() && makeFolder(m_root) && writeTree(m_root, fileCount, clips);
    }

    bool isReady() const { return m_isReady; }
    void markBroken() { m_isReady = false; }
    int fileCount() const { return m_fileCount; }
    const QByteArray& root() const { return m_root; }
    const StateFolders& state() const { return m_state; }

    FolderLibraryOptions options() const {
        FolderLibraryOptions options;
        options.explicitRoots = {m_root};
        options.indexPath = m_state.indexPath();
        options.favoritesPath = m_state.favoritesPath();
        options.thumbnailCacheRoot = m_state.cache + QStringLiteral("/thumbnails");
        options.choicePath = m_state.config + QStringLiteral("/reelkeep/library-folders");
        return options;
    }

    ServiceScan scanThroughService() const {
        const Seconds cpuBefore = processCpu();
        const Clock::time_point started = Clock::now();
        ServiceScan scan;
        Clock::time_point teardownStarted;
        {
            PhotoLibraryService service(FolderLibrary::create(options())->ports());
            scan = bench::runTask(scanAll(service), std::chrono::seconds(300)).value_or(ServiceScan{});
            teardownStarted = Clock::now();
        }
        scan.teardown = Clock::now() - teardownStarted;
        scan.wall = Clock::now() - started;
        scan.cpu = processCpu() - cpuBefore;
        return scan;
    }

    // Median of a few runs of the baseline, measured once per process.
    double findSeconds() const {
        if (m_findSeconds) return *m_findSeconds;
        std::vector<double> runs;
        for (int i = 0; i < kFindRuns; ++i) runs.push_back(timeFind());
        std::sort(runs.begin(), runs.end());
        m_findSeconds = runs[runs.size() / 2];
        return *m_findSeconds;
    }

    double timeFind() const {
        const Clock::time_point started = Clock::now();
        QProcess find;
        find.start(QStringLiteral("find"),
                   {QFile::decodeName(m_root), QStringLiteral("-type"), QStringLiteral("f"),
                    QStringLiteral("-printf"), QStringLiteral("%s\\n")});
        if (!find.waitForFinished(120'000) || find.exitCode() != 0) return -1;
        const qsizetype lines = find.readAllStandardOutput().count('\n');
        const double seconds = Seconds(Clock::now() - started).count();
        return lines == m_fileCount ? seconds : -1;
    }

private:
    QTemporaryDir m_dir;
    int m_fileCount;
    QByteArray m_root;
    StateFolders m_state;
    bool m_isReady = false;
    mutable std::optional<double> m_findSeconds;
};

// Made on first use, removed by main() after the run (100,000 files take a moment).
struct Fixtures {
    QTemporaryDir clipFolder;
    std::optional<std::vector<Clip>> clips;
    std::unique_ptr<LibraryFixture> large;
    std::unique_ptr<LibraryFixture> small;
};
Fixtures* g_fixtures = nullptr;

const std::vector<Clip>& clips() {
    if (!g_fixtures->clips) g_fixtures->clips = makeClips(g_fixtures->clipFolder.path());
    return *g_fixtures->clips;
}

// 100,000 files, index current: the first scan that fills it runs at set-up.
const LibraryFixture& largeLibrary() {
    if (!g_fixtures->large) {
        g_fixtures->large = std::make_unique<LibraryFixture>(kLargeCount, clips());
        if (g_fixtures->large->isReady() && g_fixtures->large->scanThroughService().readCount != kLargeCount)
            g_fixtures->large->markBroken();
    }
    return *g_fixtures->large;
}

// 10,000 files; every first-scan iteration starts from an empty index.
const LibraryFixture& smallLibrary() {
    if (!g_fixtures->small) g_fixtures->small = std::make_unique<LibraryFixture>(kSmallCount, clips());
    return *g_fixtures->small;
}

bool isUsable(benchmark::State& state, const LibraryFixture& library) {
    if (library.isReady()) return true;
    state.SkipWithError("the library fixture could not be made (ffmpeg, disk space?)");
    return false;
}

struct ScanTotals {
    Seconds fetch{}, batches{}, teardown{}, wall{}, cpu{};

    void add(const ServiceScan& scan) {
        fetch += scan.fetch;
        batches += scan.timings.batchTotal;
        teardown += scan.teardown;
        wall += scan.wall;
        cpu += scan.cpu;
    }
};

// Per iteration: the phases of the wall time, and the CPU time of every thread.
void addServiceCounters(benchmark::State& state, const ScanTotals& totals) {
    using benchmark::Counter;
    const auto perIteration = [](Seconds total) {
        return Counter(total.count() * 1e3, Counter::kAvgIterations);
    };
    state.counters["fetch_ms"] = perIteration(totals.fetch);
    state.counters["batches_ms"] = perIteration(totals.batches);
    state.counters["teardown_ms"] = perIteration(totals.teardown);
    state.counters["cpu_ms"] = perIteration(totals.cpu);
}

// ---- Rescan of 100,000 unchanged files ---------------------------------------

void addFindRatio(benchmark::State& state, const LibraryFixture& library, Seconds wall) {
    using benchmark::Counter;
    const double ratio = wall.count() / library.findSeconds();
    state.counters["x_find"] = Counter(ratio, Counter::kAvgIterations);
    state.counters["x_target"] = Counter(ratio / kRescanTargetRatio, Counter::kAvgIterations);
}

void BM_Rescan_Find(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    for (auto _ : state) {
        const double seconds = library.timeFind();
        if (seconds < 0) {
            state.SkipWithError("find failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_Rescan_Find)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Library + service, created and destroyed each time as `reelkeep scan` does.
void BM_Rescan_Service(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    ScanTotals totals;
    for (auto _ : state) {
        const ServiceScan scan = library.scanThroughService();
        if (scan.readCount != library.fileCount() || scan.timings.slowPathCount != 0) {
            state.SkipWithError("not a full rescan from the index");
            break;
        }
        state.SetIterationTime(scan.wall.count());
        totals.add(scan);
    }
    addServiceCounters(state, totals);
    addFindRatio(state, library, totals.wall);
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_Rescan_Service)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The view model's scan, installing, sorting and summing: all `reelkeep scan`
// does before it prints.
void BM_Rescan_ViewModel(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    Seconds wall{};
    for (auto _ : state) {
        const Clock::time_point started = Clock::now();
        qsizetype listed = 0;
        {
            LibrarySession session(FolderLibrary::create(library.options())->ports(),
                                   Environment{systemClock(), nullptr, nullptr, nullptr, nullptr});
            VideoListViewModel& viewModel = session.viewModel;
            QEventLoop loop;
            QObject::connect(&viewModel, &VideoListViewModel::scanFinished, &loop, &QEventLoop::quit);
            QTimer::singleShot(300'000, &loop, &QEventLoop::quit);
            viewModel.rescan();
            loop.exec();
            listed = viewModel.visibleItems().size();
        }
        const Seconds elapsed = Clock::now() - started;
        if (listed != library.fileCount()) {
            state.SkipWithError("the view model did not list every file");
            break;
        }
        state.SetIterationTime(elapsed.count());
        wall += elapsed;
    }
    addFindRatio(state, library, wall);
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_Rescan_ViewModel)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Phases of the fetch, each alone.
void BM_Rescan_Walk(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    const fs::VideoNamePredicate isVideo = fs::defaultVideoNamePredicate();
    for (auto _ : state) {
        const fs::WalkResult walk = fs::walkRoots({library.root()}, isVideo);
        if (walk.entries.size() != std::size_t(library.fileCount())) {
            state.SkipWithError("walk incomplete");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_Rescan_Walk)->Unit(benchmark::kMillisecond)->UseRealTime();

struct Listing {
    std::vector<store::IndexKey> keys;
    std::vector<store::ListedFile> files;
};

Listing listingOf(const LibraryFixture& library) {
    Listing listing;
    for (const fs::WalkEntry& entry :
         fs::walkRoots({library.root()}, fs::defaultVideoNamePredicate()).entries) {
        const std::string identifier = fs::identifierForPath(entry.path).toStdString();
        listing.keys.push_back(store::IndexKey{identifier, storeFingerprint(entry.fingerprint)});
        listing.files.push_back(store::ListedFile{
            identifier, {entry.fingerprint.device, entry.fingerprint.inode, entry.fingerprint.sizeBytes}});
    }
    return listing;
}

void BM_Rescan_IndexLookup(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    const Listing listing = listingOf(library);
    for (auto _ : state) {
        const auto index = store::MetadataIndex::open(library.state().indexPath());
        const auto answers = index->lookup(listing.keys);
        if (std::count_if(answers.begin(), answers.end(), [](const auto& a) { return a.has_value(); }) !=
            library.fileCount()) {
            state.SkipWithError("the index is not current");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_Rescan_IndexLookup)->Unit(benchmark::kMillisecond)->UseRealTime();

// No favorites yet: what every scan pays to carry flags across renames.
void BM_Rescan_FavoritesReattach(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    const Listing listing = listingOf(library);
    for (auto _ : state) {
        auto opened = store::FavoritesStore::open(library.state().favoritesPath());
        if (!opened) {
            state.SkipWithError("the favorites store did not open");
            break;
        }
        benchmark::DoNotOptimize(opened.value()->reattach(listing.files));
        benchmark::DoNotOptimize(opened.value()->favorites());
    }
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_Rescan_FavoritesReattach)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- First scan of 10,000 files ----------------------------------------------

void BM_FirstScan_Service(benchmark::State& state) {
    const LibraryFixture& library = smallLibrary();
    if (!isUsable(state, library)) return;
    ScanTotals totals;
    for (auto _ : state) {
        library.state().forgetIndex();
        const ServiceScan scan = library.scanThroughService();
        if (scan.readCount != library.fileCount() || scan.timings.slowPathCount != library.fileCount()) {
            state.SkipWithError("not a full first scan");
            break;
        }
        state.SetIterationTime(scan.wall.count());
        totals.add(scan);
    }
    addServiceCounters(state, totals);
    state.counters["files_per_s"] = benchmark::Counter(
        double(library.fileCount()) * double(state.iterations()) / std::max(totals.wall.count(), 1e-9));
    state.SetItemsProcessed(state.iterations() * library.fileCount());
}
BENCHMARK(BM_FirstScan_Service)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The container reads alone, one after another on one thread: the CPU floor.
void BM_FirstScan_ProbeOneThread(benchmark::State& state) {
    const LibraryFixture& library = smallLibrary();
    if (!isUsable(state, library)) return;
    std::vector<QByteArray> paths;
    for (const fs::WalkEntry& entry :
         fs::walkRoots({library.root()}, fs::defaultVideoNamePredicate()).entries)
        paths.push_back(entry.path);
    Seconds wall{};
    for (auto _ : state) {
        const Clock::time_point started = Clock::now();
        int failures = 0;
        for (const QByteArray& path : paths) failures += media::readContainerAtPath(path) ? 0 : 1;
        wall += Clock::now() - started;
        if (failures > 0) {
            state.SkipWithError("a clip did not probe");
            break;
        }
    }
    state.counters["us_per_file"] =
        benchmark::Counter(wall.count() * 1e6 / double(paths.size()), benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * std::int64_t(paths.size()));
}
BENCHMARK(BM_FirstScan_ProbeOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The index writes of a first scan alone: 10,000 rows, 100 per transaction.
void BM_FirstScan_IndexWrites(benchmark::State& state) {
    const LibraryFixture& library = smallLibrary();
    if (!isUsable(state, library)) return;
    std::vector<store::IndexEntry> entries;
    for (store::IndexKey& key : listingOf(library).keys)
        entries.push_back(
            store::IndexEntry{std::move(key), store::IndexedMetadata{1.6e9, 0.5, 64, 36, false, true}, {}});
    const StateFolders scratch(library.state().cache + QStringLiteral("/scratch"));
    for (auto _ : state) {
        state.PauseTiming();
        scratch.forgetIndex();
        state.ResumeTiming();
        const auto index = store::MetadataIndex::open(scratch.indexPath());
        for (std::size_t start = 0; start < entries.size(); start += kIndexWriteBatch) {
            const std::size_t count = std::min(kIndexWriteBatch, entries.size() - start);
            if (index->store(std::span(entries).subspan(start, count))) {
                state.SkipWithError("the index did not take the rows");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(entries.size()));
}
BENCHMARK(BM_FirstScan_IndexWrites)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// ---- `reelkeep scan` as a user runs it ---------------------------------------

struct ChildRun {
    bool isDone = false;
    Seconds wall{};
    Seconds cpu{};  // user + system: the machine may be busy with something else
    double peakRssMb = 0;
};

// The time(1) that reports a child's peak RSS. wait4() on our own child would
// not do: a child spawned from this process inherits its high-water mark, fixtures
// included, while time(1) forks the scan from its own small process.
constexpr char kTimeTool[] = "/usr/bin/time";

// posix_spawn with an argument list, through time(1); the XDG folders point
// into the fixture so no state of the user's is read or written.
ChildRun runScanExecutable(const LibraryFixture& library, const StateFolders& folders, bool isJson) {
#ifdef REELKEEP_EXECUTABLE
    const QString peakFile = folders.cache + QStringLiteral("/time-report");
    std::vector<std::string> arguments{kTimeTool,
                                       "-f",
                                       "%U %S %M",
                                       "-o",
                                       peakFile.toStdString(),
                                       REELKEEP_EXECUTABLE,
                                       "scan",
                                       "--library",
                                       library.root().toStdString()};
    if (isJson) arguments.emplace_back("--json");
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        const bool isReplaced = text.starts_with("XDG_CONFIG_HOME=") || text.starts_with("XDG_CACHE_HOME=") ||
                                text.starts_with("XDG_DATA_HOME=") || text.starts_with("REELKEEP_LIBRARY=");
        if (!isReplaced) environment.emplace_back(text);
    }
    environment.push_back("XDG_CONFIG_HOME=" + folders.config.toStdString());
    environment.push_back("XDG_CACHE_HOME=" + folders.cache.toStdString());
    environment.push_back("XDG_DATA_HOME=" + folders.data.toStdString());
    std::vector<char*> argv, envp;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    for (std::string& variable : environment) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    ChildRun result;
    if (!QDir().mkpath(folders.cache)) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const Clock::time_point started = Clock::now();
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return result;
    result.wall = Clock::now() - started;
    QFile report(peakFile);
    // The last line: time(1) puts a note about a failed command before it.
    const QList<QByteArray> figures = report.open(QIODevice::ReadOnly)
                                          ? report.readAll().trimmed().split('\n').last().split(' ')
                                          : QList<QByteArray>{};
    result.isDone = WIFEXITED(status) && WEXITSTATUS(status) == 0 && figures.size() == 3;
    if (result.isDone) {
        result.cpu = Seconds(figures[0].toDouble() + figures[1].toDouble());
        result.peakRssMb = figures[2].toDouble() / 1024.0;
    }
    return result;
#else
    (void)library, (void)folders, (void)isJson;
    return {};
#endif
}

// Runs `reelkeep scan` once per iteration; the peak is the highest of them.
struct CommandTotals {
    Seconds wall{}, cpu{};
    double peakRssMb = 0;
};

std::optional<CommandTotals> runCommand(benchmark::State& state, const LibraryFixture& library,
                                        const StateFolders& folders, bool isJson, bool isFirstScan) {
    CommandTotals totals;
    for (auto _ : state) {
        if (isFirstScan) folders.forgetIndex();
        const ChildRun child = runScanExecutable(library, folders, isJson);
        if (!child.isDone) {
            state.SkipWithError("reelkeep scan failed (built with REELKEEP_WITH_UI? /usr/bin/time there?)");
            return std::nullopt;
        }
        state.SetIterationTime(child.wall.count());
        totals.wall += child.wall;
        totals.cpu += child.cpu;
        totals.peakRssMb = std::max(totals.peakRssMb, child.peakRssMb);
    }
    using benchmark::Counter;
    state.counters["cpu_ms"] = Counter(totals.cpu.count() * 1e3, Counter::kAvgIterations);
    state.counters["peak_rss_MB"] = Counter(totals.peakRssMb);
    state.counters["rss_x_target"] = Counter(totals.peakRssMb / kPeakRssTargetMb);
    return totals;
}

// Arg: 0 the table, 1 --json.
void BM_Rescan_Command(benchmark::State& state) {
    const LibraryFixture& library = largeLibrary();
    if (!isUsable(state, library)) return;
    if (const auto totals = runCommand(state, library, library.state(), state.range(0) == 1, false))
        addFindRatio(state, library, totals->wall);
}
BENCHMARK(BM_Rescan_Command)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

std::optional<CommandTotals> firstScanCommand(benchmark::State& state, const LibraryFixture& library) {
    if (!isUsable(state, library)) return std::nullopt;
    // Its own state: the in-process benchmarks keep the fixture's index current.
    const StateFolders folders(library.state().cache + QStringLiteral("/first-scan"));
    std::optional<CommandTotals> totals = runCommand(state, library, folders, false, true);
    if (totals)
        state.counters["files_per_s"] = benchmark::Counter(
            double(library.fileCount()) * double(state.iterations()) / std::max(totals->wall.count(), 1e-9));
    return totals;
}

void BM_FirstScan_Command(benchmark::State& state) {
    if (const auto totals = firstScanCommand(state, smallLibrary()))
        state.counters["wall_x_target"] = benchmark::Counter(totals->wall.count() / kFirstScanTargetSeconds,
                                                             benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FirstScan_Command)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// For its peak memory: the large library from an empty index (about 7 s a run).
void BM_FirstScanLarge_Command(benchmark::State& state) {
    firstScanCommand(state, largeLibrary());
}
BENCHMARK(BM_FirstScanLarge_Command)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
}  // namespace reelkeep

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return EXIT_FAILURE;
    {
        reelkeep::Fixtures fixtures;
        reelkeep::g_fixtures = &fixtures;
        benchmark::RunSpecifiedBenchmarks();
        reelkeep::g_fixtures = nullptr;
    }
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
