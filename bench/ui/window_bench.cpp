// window_bench.cpp: the real main window over a simulated 100,000-video library,
// painted by the offscreen raster platform at device pixel ratio 1.
// Targets (medians, 2 cores): one scroll frame of the video table (a page down
// and a synchronous repaint of the rows then visible, their thumbnails loaded)
// <= 8 ms; from building the window to the end of the first paint that shows
// rows <= 1 s. The simulated port answers at once, so the figures are this
// program's own work; one first-rows variant adds a slow port call.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "app/system_environment.h"
#include "model/picture.h"
#include "platform/simulated/library_generator.h"
#include "ui/app_theme.h"
#include "ui/main_window.h"
#include "ui/thumbnail_loader.h"
#include "ui/video_table_model.h"
#include "ui/video_table_view.h"
#include "viewmodel/library_session.h"

using namespace reelkeep;

namespace {

constexpr int kLibrarySize = 100'000;
using SteadyClock = std::chrono::steady_clock;

// Notes when a paint of one widget has finished: an event filter runs before
// the paint, so only notify() sees its end.
class BenchApplication final : public QApplication {
public:
    using QApplication::QApplication;

    // isWanted decides, after each paint, whether that paint counts as the first wanted one.
    void watchPaints(const QWidget* widget, std::function<bool()> isWanted = {}) {
        m_watched = widget;
        m_isWanted = std::move(isWanted);
        m_paintCount = 0;
        m_firstWantedPaintEnd.reset();
    }
    int paintCount() const { return m_paintCount; }
    std::optional<SteadyClock::time_point> firstWantedPaintEnd() const { return m_firstWantedPaintEnd; }

    bool notify(QObject* receiver, QEvent* event) override {
        const bool isWatchedPaint =
            m_watched && receiver == static_cast<const QObject*>(m_watched) && event->type() == QEvent::Paint;
        const bool isHandled = QApplication::notify(receiver, event);
        if (isWatchedPaint) {
            ++m_paintCount;
            if (!m_firstWantedPaintEnd && (!m_isWanted || m_isWanted()))
                m_firstWantedPaintEnd = SteadyClock::now();
        }
        return isHandled;
    }

private:
    const QWidget* m_watched = nullptr;
    std::function<bool()> m_isWanted;
    int m_paintCount = 0;
    std::optional<SteadyClock::time_point> m_firstWantedPaintEnd;
};

BenchApplication& benchApp() {
    return *static_cast<BenchApplication*>(QCoreApplication::instance());
}

// Blocks between events rather than spinning, so the scan's threads get the cores.
bool pumpUntil(const std::function<bool()>& isDone, std::chrono::milliseconds limit) {
    QTimer tick;  // wakes the loop so the deadline is checked
    tick.start(20);
    const QDeadlineTimer deadline(limit);
    while (!isDone()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets stopped requests answer before the next window is built.
void settle() {
    pumpUntil([] { return false; }, std::chrono::milliseconds(100));
}

const QList<SimulatedAsset>& generatedAssets() {
    static const QList<SimulatedAsset> assets = [] {
        GeneratorOptions options;
        options.assetCount = kLibrarySize;
        return generateLibrary(options);
    }();
    return assets;
}

// What the folder library hands out from its thumbnail cache: a frame at most
// 128 pixels on its longer side, in RGB as its PNG reader gives it. The delegate
// scales and converts it on every paint, which the simulated library's
// exact-size pictures would hide.
Picture cachedThumbnailPicture() {
    Picture frame(128, 72, PixelFormat::rgb888);
    for (int y = 0; y < frame.height(); ++y) {
        std::uint8_t* pixel = frame.row(y);
        for (int x = 0; x < frame.width(); ++x) {
            const int t = 255 * (x + y) / (frame.width() + frame.height());  // a diagonal gradient
            *pixel++ = std::uint8_t(0xe0 + (0x20 - 0xe0) * t / 255);
            *pixel++ = std::uint8_t(0x70 + (0x50 - 0x70) * t / 255);
            *pixel++ = std::uint8_t(0x30 + (0x90 - 0x30) * t / 255);
        }
    }
    return frame;
}

class CachedThumbnailImages final : public ImagePort {
public:
    explicit CachedThumbnailImages(std::shared_ptr<ImagePort> inner)
        : m_inner(std::move(inner)), m_picture(cachedThumbnailPicture()) {}

    RequestId requestImage(const AssetRef& asset, QSize targetPixels, int contentMode,
                           const ImageRequestOptions& options,
                           std::function<void(ImageResult)> handler) override {
        return m_inner->requestImage(asset, targetPixels, contentMode, options,
                                     [picture = m_picture, handler = std::move(handler)](ImageResult result) {
                                         // One buffer per video, as decoding gives.
                                         if (result.image) {
                                             result.image = picture;
                                             result.image->row(0);  // writable: its own bytes
                                         }
                                         handler(std::move(result));
                                     });
    }
    void cancelImageRequest(RequestId id) override { m_inner->cancelImageRequest(id); }

private:
    std::shared_ptr<ImagePort> m_inner;
    Picture m_picture;
};

enum class Thumbnails { simulated, folderCache };

// A window and everything it refers to, in an order that tears down cleanly.
struct WindowUnderTest {
    QTemporaryDir settingsDir;
    QSettings settings{settingsDir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    std::shared_ptr<SimulatedLibrary> library = SimulatedLibrary::create();
    std::unique_ptr<LibrarySession> session;
    std::unique_ptr<ThemeController> theme;
    std::unique_ptr<MainWindow> window;

    WindowUnderTest() {
        library->addAssets(generatedAssets());
        writeAppTheme(settings, AppTheme::light);
    }
    ~WindowUnderTest() {
        window.reset();
        settle();
    }

    LibraryPorts ports(Thumbnails thumbnails) {
        LibraryPorts ports = library->ports();
        if (thumbnails == Thumbnails::folderCache)
            ports.images = std::make_shared<CachedThumbnailImages>(ports.images);
        return ports;
    }
    void build(Thumbnails thumbnails) {
        window.reset();
        session = std::make_unique<LibrarySession>(
            ports(thumbnails), Environment{systemClock(), nullptr, nullptr, nullptr, nullptr});
        theme = std::make_unique<ThemeController>(settings, false);
        window = std::make_unique<MainWindow>(session->viewModel, session->media, *theme);
    }
    VideoTableView& table() const { return *window->table(); }
};

// The thumbnails of the rows a scroll position shows, as a scroll through the
// table leaves them: the view's margin requests have loaded them by then.
bool loadThumbnails(const VideoTableView& table, int scrollPosition) {
    const VideoTableModel& rows = table.videoModel();
    const int rowHeight = table.verticalHeader()->defaultSectionSize();
    const int first = scrollPosition / rowHeight;
    const int last = std::min(rows.rowCount() - 1, (scrollPosition + table.viewport()->height()) / rowHeight);
    QStringList ids;
    for (int row = first; row <= last; ++row) ids.append(rows.itemAt(row).id());
    ThumbnailLoader& loader = table.thumbnails();
    return pumpUntil(
        [&] {
            bool isEveryPictureLoaded = true;
            for (const QString& id : ids)
                isEveryPictureLoaded = isEveryPictureLoaded && !loader.image(id).isNull();
            // The view's own pass may have stopped ours for rows it does not show yet.
            if (!isEveryPictureLoaded && loader.requestsInFlight() == 0) loader.request(ids);
            return isEveryPictureLoaded;
        },
        std::chrono::seconds(10));
}

// A window whose scan of the whole library has finished, shared by the frames.
struct ScannedWindow : WindowUnderTest {
    Thumbnails thumbnails;
    bool isReady = false;

    explicit ScannedWindow(Thumbnails kind) : thumbnails(kind) {
        build(kind);
        window->show();
        const VideoListViewModel& model = window->viewModel();
        isReady =
            pumpUntil([&] { return model.hasItems() && !model.isScanning(); }, std::chrono::minutes(5)) &&
            loadThumbnails(table(), 0);
    }
};

std::unique_ptr<ScannedWindow>& scannedSlot() {
    static std::unique_ptr<ScannedWindow> slot;
    return slot;
}

ScannedWindow& scannedWindow(Thumbnails thumbnails) {
    std::unique_ptr<ScannedWindow>& slot = scannedSlot();
    if (!slot || slot->thumbnails != thumbnails) {
        slot.reset();
        slot = std::make_unique<ScannedWindow>(thumbnails);
    }
    return *slot;
}

// Page by page down the whole table, wrapping at the end. Only the scroll and
// the repaint are timed; the thumbnails of the page to come load in between.
void scrollFrame(benchmark::State& state, Thumbnails thumbnails, QSize windowSize) {
    ScannedWindow& scanned = scannedWindow(thumbnails);
    if (!scanned.isReady) {
        state.SkipWithError("the scan or the first thumbnails did not finish");
        return;
    }
    scanned.window->resize(windowSize);
    settle();  // the layouts follow the new size
    VideoTableView& table = scanned.table();
    QScrollBar& scrollBar = *table.verticalScrollBar();
    QWidget& viewport = *table.viewport();
    scrollBar.setValue(0);
    benchApp().watchPaints(&viewport);
    int framesWithoutPaint = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const int step = scrollBar.pageStep();
        const int next = scrollBar.value() + step > scrollBar.maximum() ? 0 : scrollBar.value() + step;
        if (!loadThumbnails(table, next)) {
            state.SkipWithError("thumbnails did not arrive");
            break;
        }
        const int paintsBefore = benchApp().paintCount();
        state.ResumeTiming();
        scrollBar.setValue(next);
        viewport.repaint();
        if (benchApp().paintCount() == paintsBefore) ++framesWithoutPaint;
    }
    benchApp().watchPaints(nullptr);
    if (framesWithoutPaint > 0) state.SkipWithError("a repaint painted nothing: the window is not exposed");
    const int rowHeight = table.verticalHeader()->defaultSectionSize();
    state.counters["rows_per_frame"] = double((viewport.height() + rowHeight - 1) / rowHeight);
    state.counters["viewport_width"] = viewport.width();
    state.counters["viewport_height"] = viewport.height();
    state.counters["table_rows"] = table.videoModel().rowCount();
}
BENCHMARK_CAPTURE(scrollFrame, simulatedThumbnails, Thumbnails::simulated, MainWindow::kDefaultSize)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(scrollFrame, folderCacheThumbnails, Thumbnails::folderCache, MainWindow::kDefaultSize)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// A window filling a 1080p screen: half as many rows again, and wider ones.
BENCHMARK_CAPTURE(scrollFrame, folderCacheThumbnails1080p, Thumbnails::folderCache, QSize(1920, 1080))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// From the theme and the window being built, through show() (which starts the
// scan), to the end of the first table paint that has rows. Building the
// simulated library stands in for the disk and is not timed. The view model
// installs rows once a second during a scan, or at its end when sooner, so a
// port slower than instant shows the first rows at that first installation.
void firstRowsShown(benchmark::State& state, std::chrono::microseconds resourceLatency) {
    scannedSlot().reset();  // its thumbnail work would share the loop
    int rowsAtFirstPaint = 0;
    double rowsReadySeconds = 0;
    for (auto _ : state) {
        std::optional<SteadyClock::time_point> rowsReady;  // outlives the model that sets it
        WindowUnderTest under;
        under.library->setLatency(SimulatedCall::resources, resourceLatency);
        const SteadyClock::time_point start = SteadyClock::now();
        under.build(Thumbnails::simulated);
        const VideoTableModel& rows = under.table().videoModel();
        const auto noteRows = [&] {
            if (!rowsReady && rows.rowCount() > 0) rowsReady = SteadyClock::now();
        };
        QObject::connect(&rows, &QAbstractItemModel::rowsInserted, noteRows);
        QObject::connect(&rows, &QAbstractItemModel::modelReset, noteRows);
        benchApp().watchPaints(under.table().viewport(), [&rows] { return rows.rowCount() > 0; });
        under.window->show();
        const bool isShown =
            pumpUntil([] { return benchApp().firstWantedPaintEnd().has_value(); }, std::chrono::minutes(1));
        const std::optional<SteadyClock::time_point> shown = benchApp().firstWantedPaintEnd();
        benchApp().watchPaints(nullptr);
        if (!isShown) {
            state.SkipWithError("no rows were painted within a minute");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*shown - start).count());
        rowsAtFirstPaint = rows.rowCount();
        if (rowsReady) rowsReadySeconds = std::chrono::duration<double>(*rowsReady - start).count();
    }
    state.counters["rows_at_first_paint"] = rowsAtFirstPaint;
    state.counters["rows_in_model_ms"] = rowsReadySeconds * 1000;
}
BENCHMARK_CAPTURE(firstRowsShown, instantPort, std::chrono::microseconds(0))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
// 3 % of the generated videos need their resource list: 3,000 calls, so the scan
// outlasts the first installation.
BENCHMARK_CAPTURE(firstRowsShown, resourceList1ms, std::chrono::milliseconds(1))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    // Software raster without a display: the same work on every machine, and
    // the benchmarks run where there is no desktop.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    BenchApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scannedSlot().reset();  // widgets go before the application
    return 0;
}
