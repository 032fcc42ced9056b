// main_window.cpp: window layout, the state-driven parts and the dialogs.
#include "main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolBar>
#include <QVBoxLayout>

#include "model/display_text.h"
#include "model/duplicates.h"
#include "model/file_names.h"
#include "model/sort_order.h"
#include "model/texts.h"
#include "ui/app_theme.h"
#include "ui/empty_state_view.h"
#include "ui/icons.h"
#include "ui/key_bindings.h"
#include "ui/library_folders_dialog.h"
#include "ui/plain_text.h"
#include "ui/preview_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/sidebar.h"
#include "ui/video_commands.h"
#include "ui/video_table_view.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

namespace {

// QMessageBox applies its text format to the main text only; the informative
// label would still render a name like "<img src=…>" as rich text.
void setPlainInformativeText(QMessageBox* box, const QString& text) {
    box->setInformativeText(text);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

// Folder paths as the user reads them, quoted, for running text.
QStringList quotedNames(const QStringList& folders) {
    QStringList quoted;
    for (const QString& folder : folders)
        quoted.append(reelkeep::tr("“%1”").arg(QDir::toNativeSeparators(folder)));
    return quoted;
}

// The videos a Move to Trash will take, in the table's order: the first few by
// name, folder and size, a count of the rest, and the total.
QString trashListing(const VideoListViewModel& model) {
    constexpr qsizetype kListed = 10;
    const QSet<QString>& pending = model.pendingDeletionIDs();
    const VideoList items = sortedItems(model.itemsFor(pending), model.sortOrder());
    QStringList lines;
    for (qsizetype i = 0; i < std::min(kListed, items.size()); ++i) {
        const VideoItem& item = items[i];
        QStringList parts{pasteboardLine(item.displayName())};
        if (!item.folder().isEmpty()) parts << pasteboardLine(item.folder());
        parts << sizeText(item.sizeState().byteCount());
        lines << parts.join(QStringLiteral(" — "));
    }
    if (items.size() > kListed)
        lines << reelkeep::tr("and %Ln more video(s)", nullptr, int(items.size() - kListed));
    const SelectionStats total =
        selectionStats(pending, [&model](const QString& id) { return model.itemWithID(id); });
    QString totalText = reelkeep::tr("Total: %1").arg(byteCountText(total.knownBytes));
    if (total.unknownSizeCount > 0)
        totalText += QStringLiteral(" · ") +
                     reelkeep::tr("%Ln video(s) with unknown size", nullptr, int(total.unknownSizeCount));
    lines << QString() << totalText;
    return lines.join(QLatin1Char('\n'));
}

// For each near-copy set the Move to Trash touches, what stays and what goes, by
// resolution and size, so trashing a lesser version never hides which one is kept.
QString similarListing(const VideoListViewModel& model) {
    constexpr int kListedSets = 5;
    const QSet<QString>& pending = model.pendingDeletionIDs();
    const auto line = [&model](const QString& label, const QString& id) {
        const VideoItem* item = model.itemWithID(id);
        if (!item) return QString();
        return label.arg(QStringList{pasteboardLine(item->displayName()),
                                     resolutionDetailText(item->pixelWidth(), item->pixelHeight()),
                                     sizeText(item->sizeState().byteCount())}
                             .join(QStringLiteral(" — ")));
    };
    QStringList lines;
    int touched = 0;
    for (const SimilarSet& set : model.similarSets()) {
        const bool isTouched = std::any_of(set.memberIDs.begin(), set.memberIDs.end(),
                                           [&](const QString& id) { return pending.contains(id); });
        if (!isTouched) continue;
        if (++touched > kListedSets) continue;
        lines << QString();
        bool keepsOne = false;
        for (const QString& id : set.memberIDs)
            if (!pending.contains(id)) {
                lines << line(reelkeep::tr("Kept: %1"), id);
                keepsOne = true;
            }
        if (!keepsOne) lines << reelkeep::tr("No version of this set is kept.");
        for (const QString& id : set.memberIDs)
            if (pending.contains(id)) lines << line(reelkeep::tr("Goes: %1"), id);
    }
    if (touched == 0) return {};
    if (touched > kListedSets)
        lines << reelkeep::tr("and %Ln more set(s) of similar videos", nullptr, touched - kListedSets);
    lines.prepend(reelkeep::tr("Similar videos:"));
    return lines.join(QLatin1Char('\n'));
}

QFrame* barFrame(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setAutoFillBackground(true);
    frame->setBackgroundRole(QPalette::Window);
    frame->setFrameShape(QFrame::StyledPanel);
    return frame;
}

}  // namespace

MainWindow::MainWindow(VideoListViewModel& viewModel, MediaSource& media, ThemeController& theme,
                       QWidget* parent)
    : QMainWindow(parent), m_viewModel(viewModel), m_media(media), m_theme(theme) {
    setWindowTitle(reelkeep::tr("Reelkeep"));
    ensureIconTheme();
    matchIconTheme(m_theme.isDark());
    connect(&m_theme, &ThemeController::appearanceApplied, this, [](bool isDark) { matchIconTheme(isDark); });

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    setMinimumSize(kMinimumSize);
    m_sidebar = new Sidebar(m_viewModel, m_splitter);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(makeDetail());
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({264, kDefaultSize.width() - 264});
    setCentralWidget(m_splitter);
    makeToolbar();
    makeMenus();
    resize(kDefaultSize);

    VideoListViewModel* model = &m_viewModel;
    connect(model, &VideoListViewModel::activityChanged, this, &MainWindow::refreshToolbar);
    connect(model, &VideoListViewModel::activityChanged, this, &MainWindow::refreshUndo);
    connect(model, &VideoListViewModel::undoChanged, this, &MainWindow::refreshUndo);
    connect(model, &VideoListViewModel::libraryFoldersChanged, this, &MainWindow::refreshFolderBanner);
    connect(model, &VideoListViewModel::activityChanged, this, &MainWindow::refreshDetail);
    connect(model, &VideoListViewModel::visibleItemsChanged, this, &MainWindow::refreshDetail);
    connect(model, &VideoListViewModel::itemsRemoved, this, &MainWindow::refreshDetail);
    connect(model, &VideoListViewModel::itemsInserted, this, &MainWindow::refreshDetail);
    connect(model, &VideoListViewModel::authorizationStatusChanged, this, &MainWindow::refreshDetail);
    connect(model, &VideoListViewModel::externalChangesChanged, this, &MainWindow::refreshDetail);
    connect(model, &VideoListViewModel::selectionChanged, this, &MainWindow::refreshSelectionBar);
    connect(model, &VideoListViewModel::activityChanged, this, &MainWindow::refreshSelectionBar);
    connect(model, &VideoListViewModel::filtersChanged, this, [this] {
        if (m_search->text() != m_viewModel.searchText()) m_search->setText(m_viewModel.searchText());
    });
    connect(model, &VideoListViewModel::deleteConfirmationChanged, this, &MainWindow::showDeleteConfirmation);
    connect(model, &VideoListViewModel::errorMessageChanged, this, &MainWindow::showError);
    connect(model, &VideoListViewModel::previewItemChanged, this, &MainWindow::showPreview);
    connect(model, &VideoListViewModel::comparedItemsChanged, this, &MainWindow::showComparison);
    connect(model, &VideoListViewModel::exportProgressChanged, this, &MainWindow::showExportProgress);
    connect(model, &VideoListViewModel::exportSucceeded, this, &MainWindow::showExportDone);
    refreshToolbar();
    refreshUndo();
    refreshDetail();
    refreshSelectionBar();
}

// The view model outlives the window: what the window started stops with it,
// and the window stops listening before its parts go.
MainWindow::~MainWindow() {
    m_viewModel.stop();
    disconnect(&m_viewModel, nullptr, this, nullptr);
}

// -- layout --

QWidget* MainWindow::makeDetail() {
    auto* detail = new QWidget(m_splitter);
    auto* layout = new QVBoxLayout(detail);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_banner = makeBanner();
    layout->addWidget(m_banner);
    m_folderBanner = makeFolderBanner();
    layout->addWidget(m_folderBanner);
    m_detailStack = new QStackedWidget(detail);
    m_table = new VideoTableView(m_viewModel, m_media, m_detailStack);
    m_emptyState = new EmptyStateView(m_detailStack);
    m_emptyState->setObjectName(QStringLiteral("emptyState"));
    connect(m_emptyState->button(), &QPushButton::clicked, this, [this] {
        if (!m_viewModel.hasItems()) {
            if (m_viewModel.authorizationStatus() == AuthorizationStatus::notDetermined)
                m_viewModel.rescan();
            else
                openLibraryFolders();
        } else {
            m_viewModel.clearFilters();
        }
    });
    m_scanningCard = makeScanningCard();
    m_detailStack->addWidget(m_table);
    m_detailStack->addWidget(m_emptyState);
    m_detailStack->addWidget(m_scanningCard);
    layout->addWidget(m_detailStack, 1);
    m_selectionBar = makeSelectionBar();
    layout->addWidget(m_selectionBar);
    return detail;
}

QFrame* MainWindow::makeBanner() {
    QFrame* banner = barFrame(this);
    banner->setObjectName(QStringLiteral("changeBanner"));
    banner->setFixedHeight(34);
    auto* layout = new QHBoxLayout(banner);
    layout->setContentsMargins(14, 0, 14, 0);
    layout->setSpacing(8);
    auto* icon = new QLabel(banner);
    icon->setPixmap(symbolIcon(QStringLiteral("arrow.triangle.2.circlepath")).pixmap(16, 16));
    layout->addWidget(icon);
    layout->addWidget(plainLabel(reelkeep::tr("Your video folders changed."), banner));
    layout->addStretch(1);
    m_bannerRescan = new QPushButton(reelkeep::tr("Rescan"), banner);
    connect(m_bannerRescan, &QPushButton::clicked, this, [this] { m_viewModel.rescan(); });
    layout->addWidget(m_bannerRescan);
    return banner;
}

QFrame* MainWindow::makeFolderBanner() {
    QFrame* banner = barFrame(this);
    banner->setObjectName(QStringLiteral("folderBanner"));
    auto* layout = new QHBoxLayout(banner);
    layout->setContentsMargins(14, 4, 14, 4);
    layout->setSpacing(8);
    auto* icon = new QLabel(banner);
    icon->setPixmap(symbolIcon(QStringLiteral("exclamationmark.triangle")).pixmap(16, 16));
    layout->addWidget(icon);
    m_folderBannerText = plainLabel({}, banner);
    m_folderBannerText->setObjectName(QStringLiteral("folderBannerText"));
    m_folderBannerText->setWordWrap(true);
    layout->addWidget(m_folderBannerText, 1);
    m_folderBannerButton = new QPushButton(banner);
    m_folderBannerButton->setObjectName(QStringLiteral("folderBannerButton"));
    connect(m_folderBannerButton, &QPushButton::clicked, this, &MainWindow::openLibraryFolders);
    layout->addWidget(m_folderBannerButton);
    banner->hide();
    return banner;
}

void MainWindow::refreshFolderBanner() {
    m_folderBannerButton->setText(reelkeep::tr("Library Folders…"));
    if (m_viewModel.libraryFolders().isSample) {
        // Made by scripts/run for a first look: nobody should take it for their videos.
        m_folderBannerText->setText(
            reelkeep::tr("This is a generated sample library, not your own videos. Choose the folders "
                         "that hold your videos to see them here."));
        m_folderBannerButton->setText(reelkeep::tr("Choose Folders…"));
        m_folderBanner->show();
        return;
    }
    const QList<LibraryFolder> unavailable = m_viewModel.unavailableFolders();
    if (unavailable.isEmpty()) {
        m_folderBanner->hide();
        return;
    }
    if (unavailable.size() == 1) {
        m_folderBannerText->setText(unavailableFolderText(unavailable.first()));
        m_folderBanner->show();
        return;
    }
    QStringList named;
    for (const LibraryFolder& folder : unavailable)
        named << reelkeep::tr("“%1” (%2)")
                     .arg(QFile::decodeName(folder.path), folderStateText(folder.state).toLower());
    m_folderBannerText->setText(
        reelkeep::tr("%Ln library folder(s) cannot be read, so their videos are not listed: %1", nullptr,
                     int(unavailable.size()))
            .arg(named.join(QStringLiteral(", "))));
    m_folderBanner->show();
}

void MainWindow::openLibraryFolders() {
    if (!m_foldersDialog) {
        m_foldersDialog = new LibraryFoldersDialog(m_viewModel, this);
        m_foldersDialog->setObjectName(QStringLiteral("libraryFoldersDialog"));
        m_foldersDialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_foldersDialog->open();
    m_foldersDialog->raise();
    m_foldersDialog->activateWindow();
}

QFrame* MainWindow::makeSelectionBar() {
    QFrame* bar = barFrame(this);
    bar->setObjectName(QStringLiteral("selectionBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_selectionCount = plainLabel({}, bar);
    m_selectionCount->setObjectName(QStringLiteral("selectionCount"));
    QFont bold = m_selectionCount->font();
    bold.setBold(true);
    m_selectionCount->setFont(bold);
    m_selectionBytes = plainLabel({}, bar);
    m_selectionBytes->setObjectName(QStringLiteral("selectionBytes"));
    m_selectionBytes->setForegroundRole(QPalette::PlaceholderText);
    texts->addWidget(m_selectionCount);
    texts->addWidget(m_selectionBytes);
    layout->addLayout(texts);
    layout->addStretch(1);
    auto* deselect = new QPushButton(reelkeep::tr("Deselect"), bar);
    connect(deselect, &QPushButton::clicked, this, [this] { m_viewModel.setSelectedIDs({}); });
    layout->addWidget(deselect);
    m_moveToTrash = new QPushButton(symbolIcon(QStringLiteral("trash")), reelkeep::tr("Move to Trash"), bar);
    m_moveToTrash->setObjectName(QStringLiteral("moveToRecentlyDeleted"));
    m_moveToTrash->setStyleSheet(QStringLiteral(
        "QPushButton { background-color: #d70015; color: white; border-radius: 5px; padding: 5px 12px; }"
        "QPushButton:disabled { background-color: rgba(215, 0, 21, 90); }"));
    connect(m_moveToTrash, &QPushButton::clicked, this,
            [this] { m_viewModel.requestDeletion(m_viewModel.selectedItems()); });
    layout->addWidget(m_moveToTrash);
    return bar;
}

QWidget* MainWindow::makeScanningCard() {
    auto* page = new QWidget(m_detailStack);
    page->setObjectName(QStringLiteral("scanningCard"));
    page->setAutoFillBackground(true);
    page->setBackgroundRole(QPalette::Base);
    auto* outer = new QVBoxLayout(page);
    auto* card = new QFrame(page);
    card->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(24, 24, 24, 24);
    auto* spinner = new QProgressBar(card);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedHeight(6);
    layout->addWidget(spinner);
    layout->addWidget(plainLabel(reelkeep::tr("Scanning your video folders…"), card));
    outer->addWidget(card, 0, Qt::AlignCenter);
    return page;
}

void MainWindow::makeToolbar() {
    QToolBar* toolbar = addToolBar(reelkeep::tr("Toolbar"));
    toolbar->setObjectName(QStringLiteral("mainToolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->toggleViewAction()->setVisible(false);
    m_scanAction = toolbar->addAction(QString());
    connect(m_scanAction, &QAction::triggered, this, [this] {
        if (m_viewModel.isScanning() || m_viewModel.isCheckingCopies())
            m_viewModel.cancelScan();
        else
            m_viewModel.rescan();
    });
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    m_search = new QLineEdit(toolbar);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(reelkeep::tr("Search by filename"));
    m_search->setAccessibleName(reelkeep::tr("Search by filename"));
    m_search->setClearButtonEnabled(true);
    m_search->setFixedWidth(260);
    toolbar->addWidget(m_search);
    connect(m_search, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_viewModel.setSearchText(text); });
    auto* clearSearch = new QAction(m_search);
    clearSearch->setShortcuts(shortcutsFor(KeyAction::clearSearch));
    clearSearch->setShortcutContext(Qt::WidgetShortcut);
    connect(clearSearch, &QAction::triggered, this, [this] {
        // A second Escape, on an empty field, goes back to the list.
        if (m_search->text().isEmpty())
            m_table->setFocus(Qt::ShortcutFocusReason);
        else
            m_search->clear();
    });
    m_search->addAction(clearSearch);
}

void MainWindow::makeMenus() {
    QMenu* file = menuBar()->addMenu(reelkeep::tr("&File"));
    QAction* folders = file->addAction(reelkeep::tr("Library Folders…"));
    folders->setObjectName(QStringLiteral("libraryFolders"));
    connect(folders, &QAction::triggered, this, &MainWindow::openLibraryFolders);
    QAction* showTrash = file->addAction(reelkeep::tr("Show Trash"));
    showTrash->setObjectName(QStringLiteral("showTrash"));
    connect(showTrash, &QAction::triggered, this, [this] { m_viewModel.showTrash(); });
    file->addSeparator();
    QAction* quit = file->addAction(reelkeep::tr("&Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcuts(shortcutsFor(KeyAction::quit));

    QMenu* edit = menuBar()->addMenu(reelkeep::tr("&Edit"));
    m_undoAction = edit->addAction(reelkeep::tr("Undo Move to Trash"));
    m_undoAction->setObjectName(QStringLiteral("undoMoveToTrash"));
    m_undoAction->setShortcuts(shortcutsFor(KeyAction::undoMoveToTrash));
    connect(m_undoAction, &QAction::triggered, this, [this] { m_viewModel.undoMoveToTrash(); });
    edit->addSeparator();
    QAction* find = edit->addAction(reelkeep::tr("&Find"), this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    find->setShortcuts(shortcutsFor(KeyAction::find));
    edit->addSeparator();
    QAction* settings = edit->addAction(reelkeep::tr("Settings…"), this, &MainWindow::openSettings);
    settings->setShortcuts(shortcutsFor(KeyAction::settings));

    QMenu* view = menuBar()->addMenu(reelkeep::tr("&View"));
    QMenu* appearance = view->addMenu(reelkeep::tr("&Appearance"));
    auto* themes = new QActionGroup(appearance);
    for (const AppTheme choice : kAllAppThemes) {
        QAction* action = appearance->addAction(label(choice));
        action->setCheckable(true);
        action->setData(int(choice));
        action->setChecked(choice == m_theme.theme());
        themes->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] { m_theme.setTheme(choice); });
    }
    connect(&m_theme, &ThemeController::themeChanged, appearance, [themes](AppTheme theme) {
        for (QAction* action : themes->actions()) action->setChecked(action->data().toInt() == int(theme));
    });
    m_sidebarToggle = view->addAction(reelkeep::tr("Hide Sidebar"));
    m_sidebarToggle->setShortcuts(shortcutsFor(KeyAction::toggleSidebar));
    connect(m_sidebarToggle, &QAction::triggered, this, [this] {
        m_isSidebarHiddenByUser = !m_sidebar->isHidden();
        refreshSidebarVisibility();
    });

    QMenu* video = menuBar()->addMenu(reelkeep::tr("&Video"));
    m_commands = new VideoCommands(m_viewModel, *video, this);

    QMenu* help = menuBar()->addMenu(reelkeep::tr("&Help"));
    QAction* about = help->addAction(reelkeep::tr("About Reelkeep"), this, &MainWindow::showAbout);
    about->setMenuRole(QAction::AboutRole);
}

void MainWindow::refreshSidebarVisibility() {
    if (!m_sidebarToggle) return;  // a resize while the window is being built
    // A narrow window gives its width to the list; the sidebar comes back when there is room.
    const bool isShown = !m_isSidebarHiddenByUser && width() >= kSidebarCollapseWidth;
    m_sidebar->setVisible(isShown);
    m_sidebarToggle->setText(isShown ? reelkeep::tr("Hide Sidebar") : reelkeep::tr("Show Sidebar"));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    refreshSidebarVisibility();
}

// -- state --

void MainWindow::refreshUndo() {
    m_undoAction->setEnabled(m_viewModel.canUndoMoveToTrash() && !m_viewModel.isBusy());
}

void MainWindow::refreshToolbar() {
    if (m_viewModel.isScanning() || m_viewModel.isCheckingCopies()) {
        m_scanAction->setText(reelkeep::tr("Stop"));
        m_scanAction->setIcon(symbolIcon(QStringLiteral("stop.fill")));
        m_scanAction->setToolTip(m_viewModel.isScanning() ? reelkeep::tr("Stop scanning")
                                                          : reelkeep::tr("Stop checking copies"));
        m_scanAction->setEnabled(true);
    } else {
        m_scanAction->setText(reelkeep::tr("Scan"));
        m_scanAction->setIcon(symbolIcon(QStringLiteral("arrow.clockwise")));
        m_scanAction->setToolTip(reelkeep::tr("Rescan your video folders"));
        m_scanAction->setEnabled(!m_viewModel.isBusy());
    }
}

void MainWindow::refreshDetail() {
    const VideoListViewModel& model = m_viewModel;
    m_banner->setVisible(model.hasExternalChanges() && !model.isScanning());
    m_bannerRescan->setEnabled(!model.isBusy());
    if (model.isScanning() && !model.hasItems()) {
        m_detailStack->setCurrentWidget(m_scanningCard);
        return;
    }
    if (!model.hasItems()) {
        const AuthorizationStatus status = model.authorizationStatus();
        if (status == AuthorizationStatus::denied || status == AuthorizationStatus::restricted) {
            m_emptyState->setContent(
                QStringLiteral("lock.fill"), reelkeep::tr("No library folder can be read"),
                reelkeep::tr("Reelkeep could not open any of your video folders. They may "
                             "be on a drive that is not connected, or not readable by "
                             "you. Choose the folders that hold your videos."),
                reelkeep::tr("Choose Folders…"));
            m_emptyState->button()->setEnabled(true);
        } else if (status == AuthorizationStatus::notDetermined) {
            m_emptyState->setContent(QStringLiteral("video.slash"), reelkeep::tr("No videos"),
                                     reelkeep::tr("Your video folders have not been scanned yet."),
                                     reelkeep::tr("Scan"));
            m_emptyState->button()->setEnabled(!model.isBusy());
        } else {
            const QStringList folders = m_viewModel.readableFolders();
            const QString message =
                folders.isEmpty()
                    ? reelkeep::tr("No video was found in your video folders.")
                    : reelkeep::tr("No video was found in the folder(s) %1.", nullptr, int(folders.size()))
                          .arg(QLocale().createSeparatedList(quotedNames(folders)));
            m_emptyState->setContent(QStringLiteral("video.slash"), reelkeep::tr("No videos"), message,
                                     reelkeep::tr("Add Folder…"));
            m_emptyState->button()->setEnabled(!model.isBusy());
        }
        m_detailStack->setCurrentWidget(m_emptyState);
        return;
    }
    if (model.visibleItems().isEmpty()) {
        m_emptyState->setContent(QStringLiteral("line.3.horizontal.decrease.circle"),
                                 reelkeep::tr("No matches"),
                                 reelkeep::tr("No video matches the current search and size filter."),
                                 reelkeep::tr("Clear filters"));
        m_emptyState->button()->setEnabled(true);
        m_detailStack->setCurrentWidget(m_emptyState);
        return;
    }
    m_detailStack->setCurrentWidget(m_table);
}

QWidget* MainWindow::currentDetail() const {
    return m_detailStack->currentWidget();
}

void MainWindow::refreshSelectionBar() {
    const SelectionStats& stats = m_viewModel.selectionStats();
    m_selectionBar->setVisible(stats.count > 0);
    m_moveToTrash->setEnabled(!m_viewModel.isBusy());
    if (stats.count == 0) return;
    m_selectionCount->setText(reelkeep::tr("%Ln video(s) selected", nullptr, int(stats.count)));
    QString bytes =
        reelkeep::tr("Frees %1 once the Trash is emptied").arg(byteCountText(stats.freeableBytes));
    if (stats.unknownSizeCount > 0)
        bytes += QStringLiteral(" · ") +
                 reelkeep::tr("%Ln video(s) with unknown size", nullptr, int(stats.unknownSizeCount));
    m_selectionBytes->setText(bytes);
}

// -- dialogs --

void MainWindow::showDeleteConfirmation() {
    if (!m_viewModel.showDeleteConfirmation()) {
        if (m_deleteConfirmation) m_deleteConfirmation->close();
        return;
    }
    if (m_deleteConfirmation) return;
    const int count = int(m_viewModel.pendingDeletionIDs().size());
    const QString title = reelkeep::tr("Move %Ln video(s) to the Trash?", nullptr, count);
    auto* box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("deleteConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    const QString similar = similarListing(m_viewModel);
    setPlainInformativeText(
        box, trashListing(m_viewModel) + (similar.isEmpty() ? QString() : QStringLiteral("\n\n") + similar) +
                 QStringLiteral("\n\n") +
                 reelkeep::tr("You can restore them from the Trash. Their space is freed when the Trash is "
                              "emptied.",
                              nullptr, count));
    QPushButton* confirm = box->addButton(reelkeep::tr("Move to Trash"), QMessageBox::DestructiveRole);
    confirm->setObjectName(QStringLiteral("confirmDeletion"));
    QPushButton* cancel = box->addButton(reelkeep::tr("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, confirm] {
        const bool isConfirmed = box->clickedButton() == confirm;
        if (isConfirmed)
            m_viewModel.confirmDeletion();
        else
            m_viewModel.setShowDeleteConfirmation(false);
    });
    m_deleteConfirmation = box;
    box->open();
}

void MainWindow::showError() {
    const std::optional<QString>& message = m_viewModel.errorMessage();
    if (!message) {
        if (m_errorAlert) m_errorAlert->close();
        return;
    }
    if (m_errorAlert) {
        setPlainInformativeText(m_errorAlert, *message);
        return;
    }
    const QString title = reelkeep::tr("Something went wrong");
    auto* box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("errorAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    setPlainInformativeText(box, *message);  // the message may quote a file name
    box->addButton(reelkeep::tr("OK"), QMessageBox::RejectRole);
    connect(box, &QMessageBox::finished, this, [this] { m_viewModel.clearErrorMessage(); });
    m_errorAlert = box;
    box->open();
}

void MainWindow::showPreview() {
    const std::optional<VideoItem>& item = m_viewModel.previewItem();
    if (m_preview && (!item || m_preview->item().localIdentifier() != item->localIdentifier())) {
        PreviewDialog* old = m_preview;
        m_preview = nullptr;
        old->disconnect(this);
        old->close();
        old->deleteLater();
    }
    if (!item || m_preview) return;
    auto* dialog = new PreviewDialog(m_media, *item, this);
    dialog->setObjectName(QStringLiteral("previewDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (m_preview != dialog) return;
        m_preview = nullptr;
        m_viewModel.setPreviewItem(std::nullopt);
    });
    m_preview = dialog;
    dialog->open();
}

void MainWindow::showComparison() {
    const std::optional<VideoListViewModel::ComparedPair>& pair = m_viewModel.comparedItems();
    if (m_compare && (!pair || m_compare->pair().first.localIdentifier() != pair->first.localIdentifier() ||
                      m_compare->pair().second.localIdentifier() != pair->second.localIdentifier())) {
        CompareDialog* old = m_compare;
        m_compare = nullptr;
        old->disconnect(this);
        old->close();
        old->deleteLater();
    }
    if (!pair || m_compare) return;
    auto* dialog = new CompareDialog(m_media, *pair, this);
    dialog->setObjectName(QStringLiteral("compareDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (m_compare != dialog) return;
        m_compare = nullptr;
        m_viewModel.setComparedItems(std::nullopt);
    });
    m_compare = dialog;
    dialog->open();
}

void MainWindow::showAbout() {
    if (m_about) {
        m_about->raise();
        return;
    }
    const auto location = [](QStandardPaths::StandardLocation kind, const char* folder = "reelkeep") {
        return QDir::toNativeSeparators(QStandardPaths::writableLocation(kind) + QLatin1Char('/') +
                                        QLatin1String(folder));
    };
    const QStringList folders = m_viewModel.readableFolders();
    QStringList lines;
    lines << reelkeep::tr("Lists every video in your folders, biggest first, so you can free disk space.")
          << QString() << reelkeep::tr("Released under the MIT licence. Reelkeep comes with no warranty.")
          << QString() << reelkeep::tr("Library folders:");
    for (const QString& folder : folders) lines << QStringLiteral("    ") + QDir::toNativeSeparators(folder);
    if (folders.isEmpty()) lines << QStringLiteral("    ") + reelkeep::tr("none can be read");
    lines << QString() << reelkeep::tr("Favorites: %1").arg(location(QStandardPaths::GenericDataLocation))
          << reelkeep::tr("Scan index: %1").arg(location(QStandardPaths::GenericCacheLocation))
          << reelkeep::tr("Thumbnails: %1").arg(location(QStandardPaths::GenericCacheLocation, "thumbnails"))
          << reelkeep::tr("Settings: %1, %2")
                 .arg(location(QStandardPaths::GenericConfigLocation),
                      QDir::toNativeSeparators(QSettings().fileName()));
    const QString title = reelkeep::tr("About Reelkeep");
    auto* box = new QMessageBox(QMessageBox::NoIcon, title,
                                reelkeep::tr("Reelkeep %1").arg(QCoreApplication::applicationVersion()),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setIconPixmap(windowIcon().pixmap(64, 64));
    setPlainInformativeText(box, lines.join(QLatin1Char('\n')));  // folder names are data
    box->addButton(QMessageBox::Close);
    m_about = box;
    box->open();
}

void MainWindow::showExportProgress() {
    const auto& progress = m_viewModel.exportProgress();
    if (!progress || progress->totalBytes < kExportProgressBytes) {
        if (m_exportProgress) {
            m_exportProgress->disconnect(this);
            m_exportProgress->close();
            m_exportProgress->deleteLater();
            m_exportProgress = nullptr;
        }
        return;
    }
    if (!m_exportProgress) {
        auto* dialog = new QProgressDialog(this);
        dialog->setObjectName(QStringLiteral("exportProgress"));
        dialog->setWindowTitle(reelkeep::tr("Export Copy"));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setMinimumDuration(0);
        dialog->setRange(0, 1000);
        dialog->setMinimumWidth(420);
        dialog->setCancelButtonText(reelkeep::tr("Cancel"));
        dialog->setLabel(plainLabel({}, dialog));  // a file name is never read as markup
        connect(dialog, &QProgressDialog::canceled, this, [this] { m_viewModel.cancelExport(); });
        m_exportProgress = dialog;
        dialog->show();
    }
    const double fraction = std::clamp(
        double(progress->writtenBytes) / double(std::max<std::int64_t>(1, progress->totalBytes)), 0.0, 1.0);
    m_exportProgress->setValue(int(fraction * 1000));
    m_exportProgress->setLabelText(reelkeep::tr("Exporting “%1”…\n%2 of %3")
                                       .arg(progress->fileName, byteCountText(progress->writtenBytes),
                                            byteCountText(progress->totalBytes)));
}

void MainWindow::showExportDone() {
    const QList<QByteArray>& paths = m_viewModel.exportedPaths();
    if (paths.isEmpty()) return;
    delete m_exportDone;
    const QFileInfo first(QFile::decodeName(paths.first()));  // for display only
    const QString folder = first.absolutePath();
    const QString title = reelkeep::tr("Copy exported");
    auto* box = new QMessageBox(QMessageBox::Information, title, title, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("exportDone"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    setPlainInformativeText(box, paths.size() == 1
                                     ? reelkeep::tr("The copy is “%1” in %2.").arg(first.fileName(), folder)
                                     : fillArguments(reelkeep::tr("The %1 copies are in %2."),
                                                     {qlonglong(paths.size()), folder}));
    QPushButton* show = box->addButton(reelkeep::tr("Show in Folder"), QMessageBox::ActionRole);
    show->setObjectName(QStringLiteral("showInFolder"));
    box->addButton(reelkeep::tr("OK"), QMessageBox::AcceptRole);
    connect(show, &QPushButton::clicked, this,
            [this, path = paths.first()] { m_viewModel.showExportedFile(path); });
    m_exportDone = box;
    box->open();
}

void MainWindow::openSettings() {
    if (!m_settings) {
        m_settings = new SettingsDialog(m_theme, this);
        m_settings->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

// -- life --

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    m_theme.applyStoredTheme();
    if (m_hasStarted) return;
    m_hasStarted = true;
    m_viewModel.start();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_viewModel.stop();
    m_hasStarted = false;
    QMainWindow::closeEvent(event);
}

}  // namespace reelkeep
