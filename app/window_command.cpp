// window_command.cpp: the desktop application: one window over the library. The
// library comes from openLibrary(), the single place that decides which port
// backs the window: the user's folders, or a generated demo library.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QMediaPlayer>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <optional>
#include <string_view>

#include "app/application.h"
#include "app/command_values.h"
#include "app/library_factory.h"
#include "app/scan_report.h"
#include "app/sibling_executable.h"
#include "app/system_environment.h"
#include "model/texts.h"
#include "platform/folder/folder_library.h"
#include "ui/app_theme.h"
#include "ui/desktop_services.h"
#include "ui/library_folders_dialog.h"
#include "ui/main_window.h"
#include "ui/preview_dialog.h"
#include "viewmodel/library_session.h"
#include "viewmodel/translations.h"

namespace reelkeep {
namespace {

// The first start asks which folders hold the videos; the access settings ask again.
class DialogFolderChooser final : public FolderChooser {
public:
    std::optional<std::vector<QByteArray>> chooseFolders() override {
        const QString folder = QFileDialog::getExistingDirectory(
            QApplication::activeWindow(), reelkeep::tr("Choose the Folder With Your Videos"),
            QDir::homePath());
        if (folder.isEmpty()) return std::nullopt;
        return std::vector<QByteArray>{QFile::encodeName(folder)};
    }
};

// What a screenshot pictures: the window, or a dialog opened on it.
enum class Shot { window, preview, folders, confirmation, exportProgress };

// The save panel of a screenshot's export: it answers at once with a name in a
// folder of its own, removed with it.
class ScreenshotPanels final : public FilePanels {
public:
    QString exportFolder() const override { return m_folder.path(); }
    void rememberExportFolder(const QString&) override {}
    std::optional<QString> chooseSaveFile(const SavePanelRequest& request) override {
        return QDir(m_folder.path()).filePath(request.suggestedName);
    }
    std::optional<QString> chooseFolder(const QString&) override { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

// For the documentation: once the scan is done and the thumbnails had time to
// arrive, the screen's pixels of the window go to a file and the program ends.
// QScreen::grabWindow, unlike QWidget::grab, also catches video surfaces.
// With another shot, the preview of the first row or a dialog is pictured instead.

void saveScreenshotWhenScanned(MainWindow& window, const QString& path, Shot shot) {
    constexpr int kSettleMs = 1500;    // thumbnails arrive
    constexpr qint64 kPlayedMs = 800;  // the preview shows a moving picture, not its first frame
    constexpr int kGiveUpMs = 120'000;
    // Null: the screen where the window is, with a dialog over it.
    const auto save = [path, &window](QWidget* shown) {
        const QRect area = window.frameGeometry();
        const QPixmap picture =
            shown ? shown->screen()->grabWindow(shown->winId())
                  : window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const bool isSaved = !picture.isNull() && picture.save(path);
        if (!isSaved) QTextStream(stderr) << "reelkeep: could not save " << path << '\n';
        QCoreApplication::exit(isSaved ? 0 : 1);
    };
    QObject::connect(&window.viewModel(), &VideoListViewModel::scanFinished, &window, [&window, save, shot] {
        VideoListViewModel& model = window.viewModel();
        const VideoList& rows = model.visibleItems();
        if (shot == Shot::preview && !rows.isEmpty()) model.showPreview(rows.first());
        if (shot == Shot::folders) window.openLibraryFolders();
        if (shot == Shot::exportProgress && !rows.isEmpty()) {
            // The biggest video, pictured with the whole screen once a quarter is
            // written; the export is then cancelled, which leaves nothing.
            QObject::connect(&model, &VideoListViewModel::exportProgressChanged, &window, [&window, save] {
                const auto& progress = window.viewModel().exportProgress();
                if (!progress || !window.exportProgress() ||
                    progress->writtenBytes * 4 < progress->totalBytes)
                    return;
                QObject::disconnect(&window.viewModel(), &VideoListViewModel::exportProgressChanged, &window,
                                    nullptr);
                window.exportProgress()->repaint();
                QApplication::sync();
                window.viewModel().cancelExport();
                save(nullptr);
            });
            model.download({rows.first()});
            return;
        }
        if (shot == Shot::confirmation && !rows.isEmpty()) {
            QSet<QString> firstRows;
            for (qsizetype i = 0; i < std::min<qsizetype>(rows.size(), 14); ++i)
                firstRows.insert(rows[i].id());
            model.setSelectedIDs(firstRows);
            model.requestDeletion(model.selectedItems());
        }
        QTimer::singleShot(kSettleMs, &window, [&window, save, shot] {
            QWidget* shown = &window;
            if (window.libraryFoldersDialog()) shown = window.libraryFoldersDialog();
            if (window.deleteConfirmation()) shown = window.deleteConfirmation();
            if (shot != Shot::preview) return save(shown);
            // A busy machine starts the player late: wait until frames have played.
            auto* poll = new QTimer(&window);
            QObject::connect(poll, &QTimer::timeout, &window, [&window, save, poll] {
                const PreviewDialog* preview = window.previewDialog();
                if (preview == nullptr || preview->state() == PreviewDialog::State::failed) {
                    poll->stop();
                    QTextStream(stderr) << "reelkeep: the preview did not play\n";
                    return QCoreApplication::exit(1);
                }
                if (preview->state() != PreviewDialog::State::ready || preview->player() == nullptr ||
                    preview->player()->position() < kPlayedMs)
                    return;
                poll->stop();
                save(window.previewDialog());
            });
            poll->start(100);
        });
    });
    QTimer::singleShot(kGiveUpMs, &window, [] { QCoreApplication::exit(1); });
}

struct CommandLine {
    LibraryRequest library;
    QString screenshotPath;  // empty: none
    Shot shot = Shot::window;
};

struct WindowOptions {
    QCommandLineOption folders{QStringLiteral("library"), QStringLiteral("A library folder (repeatable)."),
                               QStringLiteral("DIR")};
    QCommandLineOption demo{QStringLiteral("demo"), QStringLiteral("Open a generated demo library.")};
    QCommandLineOption assets{QStringLiteral("demo-assets"),
                              QStringLiteral("Number of videos in the demo library (1 to 1000000)."),
                              QStringLiteral("count"), QStringLiteral("2000")};
    // For the documentation's pictures and for testing: not shown in --help.
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Save the window as a PNG once the scan ends, then quit."),
                                  QStringLiteral("file")};
    QCommandLineOption clip{QStringLiteral("demo-clip"),
                            QStringLiteral("A video file that every demo video plays in the preview."),
                            QStringLiteral("file")};
    QCommandLineOption sample{
        QStringLiteral("sample-library"),
        QStringLiteral("A generated sample library, shown until you choose folders of your own."),
        QStringLiteral("DIR")};
    QCommandLineOption ofPreview{QStringLiteral("screenshot-preview"),
                                 QStringLiteral("With --screenshot: picture the first video's preview.")};
    QCommandLineOption ofDialog{
        QStringLiteral("screenshot-dialog"),
        QStringLiteral("With --screenshot: picture the Library Folders dialog (folders), "
                       "the Move to Trash confirmation of the first rows (confirmation) "
                       "or the progress of exporting the first row (export)."),
        QStringLiteral("name")};

    void addTo(QCommandLineParser& parser) {
        parser.setApplicationDescription(
            QStringLiteral("Shows every video in your video folders, biggest first.\n\n"
                           "Run 'reelkeep scan --help' for the scan in a terminal, without a window."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(QStringLiteral("scan"),
                                     QStringLiteral("List the videos in the terminal, as a table or JSON."),
                                     QStringLiteral("[scan [options]]"));
        for (QCommandLineOption* hidden : {&screenshot, &clip, &sample, &ofPreview, &ofDialog})
            hidden->setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOptions({folders, demo, assets, clip, sample, screenshot, ofPreview, ofDialog});
    }
};

// --help and --version print text and need no display: they are answered
// before the window's application object, which aborts without one.
bool asksForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") return false;
        if (argument == "-h" || argument == "-?" || argument == "--help" || argument == "--help-all" ||
            argument == "-v" || argument == "--version")
            return true;
    }
    return false;
}

int answerWithText(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    QCommandLineParser parser;
    WindowOptions options;
    options.addTo(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        QTextStream(stderr) << "reelkeep: " << escapeForTerminal(parser.errorText()) << '\n';
        return 2;
    }
    parser.process(QCoreApplication::arguments());  // prints the help or the version, and exits
    return 0;
}

std::optional<CommandLine> parseCommandLine(const QApplication& app, QString* error) {
    QCommandLineParser parser;
    WindowOptions options;
    options.addTo(parser);
    if (!parser.parse(app.arguments())) {
        *error = parser.errorText();
        return std::nullopt;
    }

    CommandLine line;
    line.library.folders = parser.values(options.folders);
    if (line.library.folders.contains(QString())) {
        *error = QStringLiteral("--library was given an empty folder name.");
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unknown command '%1'.").arg(parser.positionalArguments().constFirst());
        return std::nullopt;
    }
    bool isNumber = false;
    const int demoCount = parser.value(options.assets).toInt(&isNumber);
    if (parser.isSet(options.demo)) line.library.demoCount = demoCount;
    if (!isNumber || demoCount < 1 || demoCount > 1'000'000) {
        *error = QStringLiteral("--demo-assets wants a number from 1 to 1000000.");
        return std::nullopt;
    }
    line.library.demoClipPath = parser.value(options.clip);
    line.library.sampleFolder = parser.value(options.sample);
    line.screenshotPath = parser.value(options.screenshot);
    if (parser.isSet(options.ofPreview)) line.shot = Shot::preview;
    if (parser.value(options.ofDialog) == QLatin1String("folders")) line.shot = Shot::folders;
    if (parser.value(options.ofDialog) == QLatin1String("confirmation")) line.shot = Shot::confirmation;
    if (parser.value(options.ofDialog) == QLatin1String("export")) line.shot = Shot::exportProgress;
    if (parser.isSet(options.ofDialog) && line.shot == Shot::window) {
        *error = QStringLiteral("--screenshot-dialog wants folders, confirmation or export.");
        return std::nullopt;
    }
    return line;
}

}  // namespace

int runWindow(int argc, char** argv) {
    if (asksForText(argc, argv)) return answerWithText(argc, argv);
    // The backend is chosen, not left to whichever plugin loads first.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    setApplicationIdentity();
    installTranslations();
    QApplication::setDesktopFileName(QLatin1String(kApplicationId));
    QApplication::setWindowIcon(QIcon::fromTheme(
        QLatin1String(kApplicationId), QIcon(QStringLiteral(":/icons/app.reelkeep.Reelkeep-256.png"))));

    QString error;
    std::optional<CommandLine> line = parseCommandLine(app, &error);
    if (!line) {
        QTextStream(stderr) << "reelkeep: " << escapeForTerminal(error) << '\n';
        return 2;
    }
    // Folder names that are not UTF-8 keep their bytes (see rawOptionValues).
    if (std::vector<QByteArray> raw = rawOptionValues(argc, argv, "library");
        qsizetype(raw.size()) == line->library.folders.size())
        line->library.folderBytes = std::move(raw);
    line->library.chooser = std::make_shared<DialogFolderChooser>();
    line->library.worker = windowWorkerCommand();
    const LibraryPorts ports = openLibrary(line->library);

    QSettings settings;
    ThemeController theme(settings);
    DesktopEnvironment desktop =
        desktopEnvironment(systemClock(), systemScanLog(QLatin1String(kApplicationId)));
    if (line->shot == Shot::exportProgress) desktop.environment.panels = std::make_shared<ScreenshotPanels>();
    LibrarySession session(ports, desktop.environment);
    session.viewModel.setChecksSimilarAfterScan(true);  // the window shows near copies; commands ask
    MainWindow window(session.viewModel, session.media, theme);
    desktop.panels->setParentWidget(&window);
    if (!line->screenshotPath.isEmpty()) saveScreenshotWhenScanned(window, line->screenshotPath, line->shot);
    window.show();
    return app.exec();
}

}  // namespace reelkeep
