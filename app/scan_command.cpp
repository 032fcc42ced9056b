// scan_command.cpp: `reelkeep scan`, the window's scan without a window: the
// same view model scans, installs, filters and sorts, then the visible list is
// printed as a table or JSON. Exit codes: 0 done, 2 usage, 3 no readable
// library, 4 the scan failed.
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "app/application.h"
#include "app/library_factory.h"
#include "app/scan_report.h"
#include "model/texts.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {
namespace {

enum ExitCode { kDone = 0, kUsage = 2, kNoLibrary = 3, kFailed = 4 };

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

int usageError(const QString& message) {
    QTextStream(stderr) << "reelkeep: " << message << '\n' << tr("Try 'reelkeep scan --help'.") << '\n';
    return kUsage;
}

}  // namespace

int runScanCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    setApplicationIdentity();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Lists every video of your library, biggest first.\n\n"
           "Exit codes: 0 done, 2 usage error, 3 no readable library, 4 the scan failed."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scan"), tr("Scan the library and print its videos."));
    const QCommandLineOption libraryOption(QStringLiteral("library"), tr("A library folder (repeatable)."),
                                           QStringLiteral("DIR"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), tr("Print JSON instead of a table."));
    const QCommandLineOption sortOption(
        QStringLiteral("sort"),
        tr("Sort order: nameAsc, nameDesc, sizeAsc, sizeDesc (default), durationAsc, "
           "durationDesc, resolutionAsc, resolutionDesc, creationDateDesc, "
           "creationDateAsc."),
        QStringLiteral("ORDER"));
    const QCommandLineOption minSizeOption(
        QStringLiteral("min-size"),
        tr("Minimum size: none, atLeast100MB, atLeast500MB, atLeast1GB, atLeast2GB."),
        QStringLiteral("FILTER"));
    const QCommandLineOption duplicatesOption(QStringLiteral("duplicates"),
                                              tr("Only videos that share their exact size with another."));
    const QCommandLineOption timingsOption(QStringLiteral("timings"),
                                           tr("Print the scan timing report to stderr."));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"), tr("Scan a simulated library of COUNT videos."), QStringLiteral("COUNT"));
    parser.addOptions(
        {libraryOption, jsonOption, sortOption, minSizeOption, duplicatesOption, timingsOption, demoOption});
    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(kDone);
    if (parser.positionalArguments() != QStringList{QStringLiteral("scan")})
        return usageError(tr("Expected the command 'scan'."));

    std::optional<VideoSortOrder> sortOrder = VideoSortOrder::sizeDesc;
    if (parser.isSet(sortOption)) sortOrder = videoSortOrderFromRaw(parser.value(sortOption));
    if (!sortOrder) return usageError(tr("Unknown sort order '%1'.").arg(parser.value(sortOption)));
    std::optional<SizeFilter> sizeFilter = SizeFilter::none;
    if (parser.isSet(minSizeOption)) sizeFilter = sizeFilterFromRaw(parser.value(minSizeOption));
    if (!sizeFilter) return usageError(tr("Unknown size filter '%1'.").arg(parser.value(minSizeOption)));

    LibraryRequest request;
    request.folders = parser.values(libraryOption);
    if (parser.isSet(demoOption)) {
        bool isNumber = false;
        request.demoCount = parser.value(demoOption).toInt(&isNumber);
        if (!isNumber || *request.demoCount < 0) return usageError(tr("--demo takes a count of videos."));
    }
    std::optional<LibraryPorts> ports = openLibrary(request);
    if (!ports) {
        QTextStream(stderr) << "reelkeep: "
                            << tr("The folder library is not available in this build; use --demo COUNT.")
                            << '\n';
        return kNoLibrary;
    }

    std::shared_ptr<ScanLog> log = systemScanLog(QLatin1String(kApplicationId));
    if (parser.isSet(timingsOption)) log = std::make_shared<StderrScanLog>(log);
    auto viewModel = std::make_unique<VideoListViewModel>(
        *ports, Environment{systemClock(), nullptr, nullptr, nullptr, log});

    const bool showsProgress = ::isatty(STDERR_FILENO) == 1;
    QObject::connect(viewModel.get(), &VideoListViewModel::statusChanged, viewModel.get(), [&] {
        if (showsProgress) QTextStream(stderr) << "\r\033[K" << viewModel->status().text() << Qt::flush;
    });
    QObject::connect(viewModel.get(), &VideoListViewModel::scanFinished, &app, &QCoreApplication::quit);
    viewModel->rescan();
    QCoreApplication::exec();
    if (showsProgress) QTextStream(stderr) << "\r\033[K" << Qt::flush;

    const AuthorizationStatus access = viewModel->authorizationStatus();
    if (access != AuthorizationStatus::authorized && access != AuthorizationStatus::limited) {
        QTextStream(stderr)
            << "reelkeep: "
            << tr("No library folder can be read. Pass --library DIR or set REELKEEP_LIBRARY.") << '\n';
        return kNoLibrary;
    }
    if (const std::optional<QString> failure = viewModel->errorMessage()) {
        QTextStream(stderr) << "reelkeep: " << *failure << '\n';
        return kFailed;
    }

    if (parser.isSet(duplicatesOption)) viewModel->showDuplicates();
    viewModel->setSortOrder(*sortOrder);
    viewModel->setSizeFilter(*sizeFilter);
    const VideoList items = viewModel->visibleItems();
    const LibraryStats stats = viewModel->stats();
    const DuplicateSummary duplicates = viewModel->duplicates();
    const QString status = viewModel->status().text();
    // The list is all that is printed: the library's own copy of every file goes
    // first (its index writes are flushed), so printing does not add to the peak.
    viewModel.reset();
    ports.reset();
#ifdef __GLIBC__
    ::malloc_trim(0);  // freed on the library's threads: their arenas keep it otherwise
#endif

    if (parser.isSet(jsonOption)) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly)) return kFailed;
        writeJson(items, stats, duplicates, libraryFilePath, out);
    } else {
        QTextStream out(stdout);
        writeTable(items, out);
        out.flush();
        QTextStream(stderr) << status << '\n';
    }
    return kDone;
}

}  // namespace reelkeep
