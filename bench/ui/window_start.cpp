// window_start.cpp: how long a user waits for rows, whole process. Builds the
// real window over a real folder library, as `reelkeep-window --library DIR`
// does, and prints the milliseconds from the launch (the monotonic time the
// caller put in REELKEEP_LAUNCHED_NS just before starting it; else main())
// to the end of the first table paint that shows rows, and to the scan's end.
// scripts/bench-window-start runs it against a tree, index warm.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/application.h"
#include "app/library_factory.h"
#include "app/system_environment.h"
#include "platform/folder/media/thumbnail_workers.h"
#include "ui/app_theme.h"
#include "ui/main_window.h"
#include "ui/video_table_model.h"
#include "ui/video_table_view.h"
#include "viewmodel/library_session.h"

using namespace reelkeep;

namespace {

using SteadyClock = std::chrono::steady_clock;

// A paint's end is seen only after notify() returns, so the check sits here.
class TimingApplication final : public QApplication {
public:
    using QApplication::QApplication;
    const QWidget* viewport = nullptr;
    const VideoTableModel* rows = nullptr;
    std::optional<SteadyClock::time_point> firstRowsPainted;

    bool notify(QObject* receiver, QEvent* event) override {
        const bool isViewportPaint =
            viewport && receiver == static_cast<const QObject*>(viewport) && event->type() == QEvent::Paint;
        const bool isHandled = QApplication::notify(receiver, event);
        if (isViewportPaint && !firstRowsPainted && rows->rowCount() > 0)
            firstRowsPainted = SteadyClock::now();
        return isHandled;
    }
};

SteadyClock::time_point launchTime() {
    if (const char* launched = std::getenv("REELKEEP_LAUNCHED_NS"))
        return SteadyClock::time_point(std::chrono::nanoseconds(std::strtoll(launched, nullptr, 10)));
    return SteadyClock::now();
}

double millisecondsSince(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    const SteadyClock::time_point launched = launchTime();
    // Its own workers read the metadata, as the window's lean sibling does.
    if (argc > 1 && std::strcmp(argv[1], media::kThumbnailWorkerFlag) == 0)
        return media::runThumbnailWorker(argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc != 2) {
        QTextStream(stderr) << "usage: window_start DIR\n";
        return 2;
    }
    TimingApplication app(argc, argv);
    setApplicationIdentity();
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    LibraryRequest request;
    request.folders = QStringList{QString::fromLocal8Bit(argv[1])};
    const LibraryPorts ports = openLibrary(request);
    LibrarySession session(ports, Environment{systemClock(), nullptr, nullptr, nullptr, nullptr});
    ThemeController theme(settings, false);
    MainWindow window(session.viewModel, session.media, theme);
    app.viewport = window.table()->viewport();
    app.rows = &window.table()->videoModel();

    std::optional<SteadyClock::time_point> scanned;
    QObject::connect(&session.viewModel, &VideoListViewModel::scanFinished, &app, [&] {
        if (!scanned) scanned = SteadyClock::now();
        if (app.firstRowsPainted) QCoreApplication::quit();
    });
    window.resize(1280, 800);
    window.show();
    // Paints come from the loop; the scan's end may come before the first one.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (scanned && app.firstRowsPainted) QCoreApplication::quit();
    });
    poll.start(5);
    QTimer::singleShot(std::chrono::minutes(2), &app, [] { QCoreApplication::exit(1); });
    if (app.exec() != 0 || !app.firstRowsPainted || !scanned) {
        QTextStream(stderr) << "no rows were painted within two minutes\n";
        return 1;
    }
    QTextStream(stdout) << QString::asprintf("first_rows_ms %.1f scan_finished_ms %.1f rows %d\n",
                                             millisecondsSince(launched, *app.firstRowsPainted),
                                             millisecondsSince(launched, *scanned), app.rows->rowCount());
    return 0;
}
