// gui_main.cpp: the desktop application: one window over a photo library. The
// library comes from openLibrary(), the single place that decides which port
// backs the window, so a real library can join without touching the rest.
#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QSettings>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <optional>

#include "platform/simulated/library_generator.h"
#include "platform/simulated/simulated_library.h"
#include "ui/app_theme.h"
#include "ui/desktop_services.h"
#include "ui/main_window.h"
#include "viewmodel/video_list_view_model.h"

using namespace reelkeep;

namespace {

// Reverse-DNS identity: settings, the journal's identifier and the desktop file.
constexpr const char* kApplicationId = "app.reelkeep.Reelkeep";

struct LibraryChoice {
    bool isDemo = false;
    int demoAssetCount = 2000;
    QString demoClipPath;  // the file every local demo video plays; empty: none
};

struct OpenedLibrary {
    LibraryPorts ports;
    std::shared_ptr<void> owner;  // keeps the port's implementation alive
};

std::optional<OpenedLibrary> openLibrary(const LibraryChoice& choice, QString* error) {
    if (!choice.isDemo) {
        *error = QStringLiteral("Only the demo library is available in this build; run with --demo.");
        return std::nullopt;
    }
    GeneratorOptions options;
    options.assetCount = choice.demoAssetCount;
    QList<SimulatedAsset> assets = generateLibrary(options);
    // The demo has no files of its own; cloud-only videos stay without one.
    if (!choice.demoClipPath.isEmpty())
        for (SimulatedAsset& asset : assets)
            if (asset.localFilePath) asset.localFilePath = choice.demoClipPath;
    std::shared_ptr<SimulatedLibrary> library = SimulatedLibrary::create();
    library->addAssets(assets);
    return OpenedLibrary{library->ports(), library};
}

// For the documentation: once the scan is done and the thumbnails had time to
// arrive, the screen's pixels of the window go to a file and the program ends.
// QScreen::grabWindow, unlike QWidget::grab, also catches video surfaces.
// With ofPreview, the first row's preview is opened and pictured instead.
void saveScreenshotWhenScanned(MainWindow& window, const QString& path, bool ofPreview) {
    constexpr int kSettleMs = 1500;  // thumbnails arrive, the video shows frames
    constexpr int kGiveUpMs = 120'000;
    const auto save = [path](QWidget* shown) {
        const QPixmap shot = shown->screen()->grabWindow(shown->winId());
        const bool isSaved = !shot.isNull() && shot.save(path);
        if (!isSaved) QTextStream(stderr) << "reelkeep-gui: could not save " << path << '\n';
        QCoreApplication::exit(isSaved ? 0 : 1);
    };
    QObject::connect(
        &window.viewModel(), &VideoListViewModel::scanFinished, &window, [&window, save, ofPreview] {
            VideoListViewModel& model = window.viewModel();
            if (ofPreview && !model.visibleItems().isEmpty()) model.showPreview(model.visibleItems().first());
            QTimer::singleShot(kSettleMs, &window, [&window, save] {
                save(window.previewDialog() ? static_cast<QWidget*>(window.previewDialog()) : &window);
            });
        });
    QTimer::singleShot(kGiveUpMs, &window, [] { QCoreApplication::exit(1); });
}

struct CommandLine {
    LibraryChoice library;
    QString screenshotPath;  // empty: none
    bool isScreenshotOfPreview = false;
};

std::optional<CommandLine> parseCommandLine(const QApplication& app, QString* error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows every video of a library, biggest first."));
    parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Open a generated demo library."));
    const QCommandLineOption assets(QStringLiteral("demo-assets"),
                                    QStringLiteral("Number of videos in the demo library (1 to 1000000)."),
                                    QStringLiteral("count"), QStringLiteral("2000"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save the window as a PNG once the scan ends, then quit."), QStringLiteral("file"));
    const QCommandLineOption clip(QStringLiteral("demo-clip"),
                                  QStringLiteral("A video file that every demo video plays in the preview."),
                                  QStringLiteral("file"));
    const QCommandLineOption ofPreview(
        QStringLiteral("screenshot-preview"),
        QStringLiteral("With --screenshot: picture the first video's preview."));
    parser.addOptions({demo, assets, clip, screenshot, ofPreview});
    parser.process(app);

    CommandLine line;
    line.library.isDemo = parser.isSet(demo);
    bool isNumber = false;
    line.library.demoAssetCount = parser.value(assets).toInt(&isNumber);
    if (!isNumber || line.library.demoAssetCount < 1 || line.library.demoAssetCount > 1'000'000) {
        *error = QStringLiteral("--demo-assets wants a number from 1 to 1000000.");
        return std::nullopt;
    }
    line.library.demoClipPath = parser.value(clip);
    line.screenshotPath = parser.value(screenshot);
    line.isScreenshotOfPreview = parser.isSet(ofPreview);
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    // The backend is chosen, not left to whichever plugin loads first.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Reelkeep"));
    QApplication::setOrganizationDomain(QStringLiteral("reelkeep.app"));
    QApplication::setApplicationName(QStringLiteral("Reelkeep"));
    QApplication::setDesktopFileName(QLatin1String(kApplicationId));

    QString error;
    const std::optional<CommandLine> line = parseCommandLine(app, &error);
    const std::optional<OpenedLibrary> library = line ? openLibrary(line->library, &error) : std::nullopt;
    if (!library) {
        QTextStream(stderr) << "reelkeep-gui: " << error << '\n';
        return 2;
    }

    QSettings settings;
    ThemeController theme(settings);
    DesktopEnvironment desktop = desktopEnvironment(QLatin1String(kApplicationId));
    MainWindow window(library->ports, desktop.environment, theme);
    desktop.panels->setParentWidget(&window);
    if (!line->screenshotPath.isEmpty())
        saveScreenshotWhenScanned(window, line->screenshotPath, line->isScreenshotOfPreview);
    window.show();
    return app.exec();
}
