// main_window.h: the application's one window: the sidebar and the video table
// in a splitter, the toolbar with the scan button and the search field, the
// change banner, the selection bar, the empty states, the delete confirmation,
// the error alert, the preview and the menus. It borrows the view model and the
// media its views load, which outlive it, and keeps no state of its own beyond
// what is on screen.
#pragma once

#include <QFrame>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <functional>
#include <memory>

#include "ui/compare_dialog.h"
#include "ui/library_folders_dialog.h"
#include "ui/preview_dialog.h"
#include "ui/settings_dialog.h"
#include "viewmodel/media_source.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;

namespace reelkeep {

class EmptyStateView;
class Sidebar;
class ThemeController;
class VideoCommands;
class VideoListViewModel;
class VideoTableView;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QSize kDefaultSize{1180, 760};
    static constexpr QSize kMinimumSize{800, 560};
    // Below this width the sidebar folds away: the list keeps its columns.
    static constexpr int kSidebarCollapseWidth = 900;

    MainWindow(VideoListViewModel& viewModel, MediaSource& media, ThemeController& theme,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    VideoListViewModel& viewModel() const { return m_viewModel; }
    VideoTableView* table() const { return m_table; }
    Sidebar* sidebar() const { return m_sidebar; }
    QLineEdit* searchField() const { return m_search; }
    QAction* toolbarScanAction() const { return m_scanAction; }
    QAction* undoAction() const { return m_undoAction; }
    EmptyStateView* emptyState() const { return m_emptyState; }
    QWidget* currentDetail() const;
    QWidget* banner() const { return m_banner; }
    // Names the library folders that cannot be read; hidden when all can.
    QWidget* folderBanner() const { return m_folderBanner; }
    QLabel* folderBannerText() const { return m_folderBannerText; }
    QPushButton* folderBannerButton() const { return m_folderBannerButton; }
    LibraryFoldersDialog* libraryFoldersDialog() const { return m_foldersDialog; }
    // File ▸ Library Folders…
    void openLibraryFolders();
    QWidget* selectionBar() const { return m_selectionBar; }
    VideoCommands* commands() const { return m_commands; }
    QMessageBox* deleteConfirmation() const { return m_deleteConfirmation; }
    QMessageBox* errorAlert() const { return m_errorAlert; }
    QMessageBox* aboutBox() const { return m_about; }
    PreviewDialog* previewDialog() const { return m_preview; }
    CompareDialog* compareDialog() const { return m_compare; }
    QProgressDialog* exportProgress() const { return m_exportProgress; }
    QMessageBox* exportDone() const { return m_exportDone; }
    // Exports at least this big show their progress with a Cancel button.
    static constexpr std::int64_t kExportProgressBytes = 50'000'000;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeDetail();
    QFrame* makeBanner();
    QFrame* makeFolderBanner();
    void refreshFolderBanner();
    QFrame* makeSelectionBar();
    QWidget* makeScanningCard();
    void makeToolbar();
    void makeMenus();

    void refreshToolbar();
    void refreshUndo();
    void refreshSidebarVisibility();
    void refreshDetail();
    void refreshSelectionBar();
    void showDeleteConfirmation();
    void showError();
    void showPreview();
    void showComparison();
    void showExportProgress();
    void showExportDone();
    void openSettings();
    void showAbout();

    VideoListViewModel& m_viewModel;
    MediaSource& m_media;
    ThemeController& m_theme;
    bool m_hasStarted = false;
    bool m_isSidebarHiddenByUser = false;

    QSplitter* m_splitter = nullptr;
    Sidebar* m_sidebar = nullptr;
    VideoTableView* m_table = nullptr;
    QStackedWidget* m_detailStack = nullptr;
    EmptyStateView* m_emptyState = nullptr;
    QWidget* m_scanningCard = nullptr;
    QFrame* m_banner = nullptr;
    QPushButton* m_bannerRescan = nullptr;
    QFrame* m_folderBanner = nullptr;
    QLabel* m_folderBannerText = nullptr;
    QPushButton* m_folderBannerButton = nullptr;
    QFrame* m_selectionBar = nullptr;
    QLabel* m_selectionCount = nullptr;
    QLabel* m_selectionBytes = nullptr;
    QPushButton* m_moveToTrash = nullptr;
    QAction* m_scanAction = nullptr;
    QAction* m_undoAction = nullptr;
    QLineEdit* m_search = nullptr;
    QAction* m_sidebarToggle = nullptr;
    VideoCommands* m_commands = nullptr;
    QPointer<QMessageBox> m_deleteConfirmation;
    QPointer<QMessageBox> m_errorAlert;
    QPointer<QMessageBox> m_about;
    QPointer<PreviewDialog> m_preview;
    QPointer<CompareDialog> m_compare;
    QPointer<QProgressDialog> m_exportProgress;
    QPointer<QMessageBox> m_exportDone;
    QPointer<SettingsDialog> m_settings;
    QPointer<LibraryFoldersDialog> m_foldersDialog;
};

}  // namespace reelkeep
