// scan_command.cpp: `reelkeep scan`, the window's scan without a window: the
// same view model scans, installs, filters and sorts, then the visible list is
// printed as a table or JSON. Exit codes: 0 done, 2 usage, 3 no readable
// library, 4 the scan failed, 5 the list could not be written.
#include <fcntl.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/application.h"
#include "app/command_values.h"
#include "app/library_factory.h"
#include "app/output.h"
#include "app/scan_report.h"
#include "app/system_environment.h"
#include "model/texts.h"
#include "viewmodel/library_session.h"
#include "viewmodel/translations.h"

namespace reelkeep {
namespace {

enum ExitCode { kDone = 0, kUsage = 2, kNoLibrary = 3, kFailed = 4, kNotWritten = 5 };

// As many as the window's demo takes: 20 million reached 9 GB before it aborted.
constexpr int kMaxDemoCount = 1'000'000;

// Messages may carry names from the disk or the command line: escaped like the table.
void printError(const QString& message) {
    QTextStream(stderr) << "reelkeep: " << escapeForTerminal(message) << '\n';
}

class StderrScanLog final : public ScanLog {
public:
    explicit StderrScanLog(std::shared_ptr<ScanLog> system) : m_system(std::move(system)) {}
    void writeScanReport(const QString& report) override {
        m_system->writeScanReport(report);
        QTextStream(stderr) << report << '\n';
    }

private:
    std::shared_ptr<ScanLog> m_system;
};

// When the kernel started this process, on the boot clock: /proc/self/stat
// counts it in clock ticks (10 ms here), so start-up is known to a tick. Read
// without QFile: this runs first, and Qt's first file costs an empty scan more
// than the read itself.
std::optional<BootClock::time_point> processStart() {
    const int stat = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    if (stat < 0) return std::nullopt;
    char bytes[4096];
    qsizetype length = 0;
    while (length < qsizetype(sizeof bytes)) {
        const ssize_t got = ::read(stat, bytes + length, sizeof bytes - std::size_t(length));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += got;
    }
    ::close(stat);
    const QByteArray line = QByteArray::fromRawData(bytes, length);
    // After the command name in parentheses, which may hold spaces: state is
    // field 3, starttime field 22.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    bool isNumber = false;
    const qulonglong ticks = fields.size() > 19 ? fields[19].toULongLong(&isNumber) : 0;
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    if (!isNumber || perSecond <= 0) return std::nullopt;
    const auto sinceBoot = std::chrono::duration<double>(double(ticks) / double(perSecond));
    return BootClock::time_point(std::chrono::duration_cast<std::chrono::nanoseconds>(sinceBoot));
}

// Where the time of one run went, phase by phase, every one wall-clock time.
// The walk and the index lookups run side by side, so they are one phase.
struct ScanPhases {
    std::optional<BootClock::time_point> processStarted;
    BootClock::time_point commandStarted = BootClock::now();
    BootClock::time_point libraryOpened, scanned, factsRead, written, finished;
    // Closing the library: before the output (releaseFirst) or after it.
    std::chrono::nanoseconds releaseFirst{0}, release{0};
    VideoListViewModel::ScanCosts costs;

    QString report() const {
        using std::chrono::nanoseconds;
        const auto line = [](const char* phase, nanoseconds spent, const char* note = "") {
            return QString::asprintf("  %-16s %8.0f ms%s\n", phase, double(spent.count()) / 1e6, note);
        };
        const ScanTimings& service = costs.service;
        QString text = QStringLiteral("scan phases:\n");
        if (processStarted)
            text += line("start-up", commandStarted - *processStarted, "   (to a clock tick)");
        text += line("open library", libraryOpened - commandStarted);
        text += line("walk + index", service.fetch, "   (side by side, then the assets)");
        text += line("metadata", service.metadata);
        text += line("items", service.batchTotal - service.metadata);
        text += line("list", costs.listApply);
        text += line("copy check", scanned - libraryOpened - service.fetch - costs.batches,
                     "   (and the rest of the scan)");
        text += line("file facts", factsRead - scanned - releaseFirst);
        text += line("output", written - factsRead);
        text += line("release", release + releaseFirst);
        text += line("total", finished - processStarted.value_or(commandStarted));
        return text;
    }
};

int usageError(const QString& message) {
    printError(message);
    QTextStream(stderr) << tr("Try 'reelkeep scan --help'.") << '\n';
    return kUsage;
}

// A filter of the window when one has this threshold, so both list the same.
std::optional<SizeFilter> namedFilter(std::int64_t minimumBytes) {
    for (const SizeFilter filter : kAllSizeFilters)
        if (reelkeep::minimumBytes(filter).value_or(0) == minimumBytes) return filter;
    return std::nullopt;
}

}  // namespace

void scanUntilIdle(VideoListViewModel& viewModel) {
    const bool showsProgress = ::isatty(STDERR_FILENO) == 1;
    // The connections end with this call: later status changes (say, selecting extra copies)
    // must not print progress or quit a loop that is no longer ours.
    QObject context;
    QObject::connect(&viewModel, &VideoListViewModel::statusChanged, &context, [&viewModel, showsProgress] {
        if (showsProgress)
            QTextStream(stderr) << "\r\033[K" << escapeForTerminal(viewModel.status().text()) << Qt::flush;
    });
    const auto quitWhenIdle = [&viewModel] {
        if (!viewModel.isScanning() && !viewModel.isCheckingCopies() && !viewModel.isCheckingSimilar())
            QCoreApplication::quit();
    };
    // Queued: one stage ends (and says so) before the next one starts, in the same call.
    QObject::connect(&viewModel, &VideoListViewModel::scanFinished, &context, quitWhenIdle,
                     Qt::QueuedConnection);
    QObject::connect(&viewModel, &VideoListViewModel::activityChanged, &context, quitWhenIdle,
                     Qt::QueuedConnection);
    viewModel.rescan();
    QCoreApplication::exec();
    if (showsProgress) QTextStream(stderr) << "\r\033[K" << Qt::flush;
}

int runScanCommand(int argc, char** argv) {
    ScanPhases phases;
    phases.processStarted = processStart();
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    installTranslations();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Lists every video in your video folders, biggest first.\n\n"
           "Exit codes: 0 done, 2 usage error, 3 no readable library, 4 the scan failed, "
           "5 the list could not be written."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("scan"),
                                 tr("Scan your video folders and print their videos."));
    const QCommandLineOption libraryOption(QStringLiteral("library"), tr("A library folder (repeatable)."),
                                           QStringLiteral("DIR"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), tr("Print JSON instead of a table."));
    const QCommandLineOption prettyOption(QStringLiteral("pretty"),
                                          tr("Print JSON indented, one member a line (implies --json)."));
    const QCommandLineOption sortOption(
        QStringLiteral("sort"), tr("Sort order: %1. Default: size (biggest first).").arg(sortOrderWords()),
        QStringLiteral("ORDER"));
    const QCommandLineOption minSizeOption(
        QStringLiteral("min-size"),
        tr("Only videos of at least SIZE: none, 100mb, 500mb, 1gb, 2gb, or an amount such as 300MB or "
           "1.5GB (1 GB = 1,000,000,000 bytes; GiB for 1024³)."),
        QStringLiteral("SIZE"));
    const QCommandLineOption duplicatesOption(QStringLiteral("duplicates"),
                                              tr("Only videos that share their exact size with another."));
    const QCommandLineOption timingsOption(
        QStringLiteral("timings"), tr("Print the scan timing report and the time of each phase to stderr."));
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        tr("Scan a simulated library of COUNT videos (0 to 1000000)."),
                                        QStringLiteral("COUNT"));
    parser.addOptions({libraryOption, jsonOption, prettyOption, sortOption, minSizeOption, duplicatesOption,
                       timingsOption, demoOption});
    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(kDone);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
    if (parser.positionalArguments() != QStringList{QStringLiteral("scan")})
        return usageError(tr("Expected the command 'scan'."));

    std::optional<VideoSortOrder> sortOrder = VideoSortOrder::sizeDesc;
    if (parser.isSet(sortOption)) sortOrder = parseSortOrder(parser.value(sortOption));
    if (!sortOrder) return usageError(tr("Unknown sort order '%1'.").arg(parser.value(sortOption)));
    std::optional<std::int64_t> minimumBytes = 0;
    if (parser.isSet(minSizeOption)) minimumBytes = parseMinimumSize(parser.value(minSizeOption));
    if (!minimumBytes) return usageError(tr("Unknown size '%1'.").arg(parser.value(minSizeOption)));

    LibraryRequest request;
    request.folders = parser.values(libraryOption);
    if (request.folders.contains(QString()))
        return usageError(tr("--library was given an empty folder name."));
    // The parser decoded the names; argv still has their bytes. Counted alike
    // unless an option swallowed "--library" as its value: then the text is used.
    if (std::vector<QByteArray> raw = rawOptionValues(argc, argv, "library");
        qsizetype(raw.size()) == request.folders.size())
        request.folderBytes = std::move(raw);
    if (parser.isSet(demoOption)) {
        bool isNumber = false;
        request.demoCount = parser.value(demoOption).toInt(&isNumber);
        if (!isNumber || *request.demoCount < 0 || *request.demoCount > kMaxDemoCount)
            return usageError(tr("--demo takes a count of videos from 0 to 1000000."));
    }
    // Optional only so that it can be closed before the list is printed.
    std::optional<LibraryPorts> ports = openLibrary(request);

    std::shared_ptr<ScanLog> log = systemScanLog(QLatin1String(kApplicationId));
    if (parser.isSet(timingsOption)) log = std::make_shared<StderrScanLog>(log);
    auto session =
        std::make_unique<LibrarySession>(*ports, Environment{systemClock(), nullptr, nullptr, nullptr, log});
    VideoListViewModel* viewModel = &session->viewModel;
    phases.libraryOpened = BootClock::now();

    scanUntilIdle(*viewModel);
    phases.scanned = BootClock::now();
    phases.costs = viewModel->lastScanCosts();
    // A drive that is not mounted would otherwise just make its videos vanish from the list.
    for (const LibraryFolder& folder : ports->locations->libraryFolders().folders)
        if (folder.state != LibraryFolder::State::available) printError(unavailableFolderText(folder));

    const AuthorizationStatus access = viewModel->authorizationStatus();
    if (access != AuthorizationStatus::authorized && access != AuthorizationStatus::limited) {
        printError(tr("No library folder can be read. Pass --library DIR or set REELKEEP_LIBRARY."));
        return kNoLibrary;
    }
    if (const std::optional<QString> failure = viewModel->errorMessage()) {
        printError(*failure);
        return kFailed;
    }

    if (parser.isSet(duplicatesOption)) viewModel->showDuplicates();
    viewModel->setSortOrder(*sortOrder);
    const std::optional<SizeFilter> sizeFilter = namedFilter(*minimumBytes);
    viewModel->setSizeFilter(sizeFilter.value_or(SizeFilter::none));
    VideoList items = viewModel->visibleItems();
    LibraryStats stats = viewModel->stats();
    if (!sizeFilter) {
        // An amount no filter of the window has: the same rule, applied here.
        items.removeIf(
            [&](const VideoItem& item) { return item.sizeState().byteCount().value_or(-1) < *minimumBytes; });
        stats.visibleCount = int(items.size());
    }
    const DuplicateSummary duplicates = viewModel->duplicates();
    const QString status = viewModel->status().text();
    // Only the list and the library's assets are printed: the view model goes first.
    session.reset();
    const bool isJson = parser.isSet(jsonOption) || parser.isSet(prettyOption);
    const auto closeLibrary = [&ports](std::chrono::nanoseconds& spent, [[maybe_unused]] bool isOutputNext) {
        const auto started = BootClock::now();
        ports.reset();  // its index writes are flushed
#ifdef __GLIBC__
        if (isOutputNext) ::malloc_trim(0);  // freed on the library's threads: their arenas keep it otherwise
#endif
        spent = BootClock::now() - started;
    };
    // JSON takes each video's facts from the library as it is written, so the
    // library stays open until then; the table holds every row before it
    // writes one, so the library's copy of every file goes first.
    FileFactsSource fileFacts;
    if (isJson)
        fileFacts = fileFactsOf(*ports, items);
    else
        closeLibrary(phases.releaseFirst, true);
    phases.factsRead = BootClock::now();

    DescriptorOutput out(STDOUT_FILENO);
    bool isWritten = false;
    if (isJson) {
        isWritten = writeJson(items, stats, duplicates, fileFacts, out,
                              parser.isSet(prettyOption) ? JsonLayout::pretty : JsonLayout::compact);
    } else {
        QTextStream text(&out);
        isWritten = writeTable(items, text);
        text.flush();
        isWritten = isWritten && text.status() == QTextStream::Ok;
    }
    // The last bytes leave only here: a full disk or a closed reader shows now.
    isWritten = out.finish() && isWritten;
    phases.written = BootClock::now();
    fileFacts = nullptr;
    if (ports) closeLibrary(phases.release, false);
    if (!isWritten) {
        printError(
            tr("The list could not be written to standard output: %1.")
                .arg(QString::fromLocal8Bit(std::strerror(out.errorNumber() ? out.errorNumber() : EIO))));
        return kNotWritten;
    }
    if (!isJson) QTextStream(stderr) << escapeForTerminal(status) << '\n';
    phases.finished = BootClock::now();
    if (parser.isSet(timingsOption)) QTextStream(stderr) << phases.report();
    return kDone;
}

}  // namespace reelkeep
