// video_commands.cpp: titles, shortcuts and enablement of the Video menu.
#include "video_commands.h"

#include <QAction>
#include <QMenu>

#include "model/texts.h"
#include "ui/key_bindings.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

VideoCommands::VideoCommands(VideoListViewModel& viewModel, QMenu& menu, QObject* parent)
    : QObject(parent), m_viewModel(viewModel) {
    const auto add = [&](KeyAction key, auto slot) {
        QAction* action = menu.addAction(QString());
        action->setShortcuts(shortcutsFor(key));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_scan = add(KeyAction::scan, [this] { scanOrStop(); });
    menu.addSeparator();
    m_preview = add(KeyAction::preview, [this] {
        const VideoList items = m_viewModel.selectedItems();
        if (!items.isEmpty() && !m_viewModel.previewItem()) m_viewModel.showPreview(items.first());
    });
    // Shown here, pressed in the list: Space and Return belong to whatever has the focus.
    m_preview->setShortcutContext(Qt::WidgetShortcut);
    m_showInFolder = add(KeyAction::showInFolder, [this] {
        const VideoList items = m_viewModel.selectedItems();
        if (!items.isEmpty()) m_viewModel.showInFolder(items.first());
    });
    m_copyNames = add(KeyAction::copyNames, [this] { m_viewModel.copyNames(m_viewModel.selectedItems()); });
    m_copyPaths = add(KeyAction::copyPaths, [this] { m_viewModel.copyPaths(m_viewModel.selectedItems()); });
    m_copyPaths->setText(reelkeep::tr("Copy Paths"));
    m_favorites =
        add(KeyAction::favorites, [this] { m_viewModel.toggleFavorites(m_viewModel.selectedItems()); });
    m_download = add(KeyAction::exportCopy, [this] { m_viewModel.download(m_viewModel.selectedItems()); });
    menu.addSeparator();
    m_selectAll = add(KeyAction::selectAll, [this] { m_viewModel.selectAllVisible(); });
    m_selectAll->setText(reelkeep::tr("Select All"));
    m_deselectAll = add(KeyAction::deselectAll, [this] { m_viewModel.setSelectedIDs({}); });
    m_deselectAll->setText(reelkeep::tr("Deselect All"));
    m_selectLesser = menu.addAction(reelkeep::tr("Select Lesser Versions"));
    connect(m_selectLesser, &QAction::triggered, this, [this] { m_viewModel.selectLesserVersions(); });
    m_compare = menu.addAction(reelkeep::tr("Compare…"));
    connect(m_compare, &QAction::triggered, this, [this] {
        if (m_viewModel.previewItem()) return;
        m_viewModel.setComparedItems(m_viewModel.comparablePair(m_viewModel.selectedItems()));
    });
    // Only raises the confirmation; nothing is deleted without it.
    m_delete =
        add(KeyAction::moveToTrash, [this] { m_viewModel.requestDeletion(m_viewModel.selectedItems()); });

    connect(&menu, &QMenu::aboutToShow, this, &VideoCommands::refresh);
    connect(&viewModel, &VideoListViewModel::activityChanged, this, &VideoCommands::refresh);
    connect(&viewModel, &VideoListViewModel::selectionChanged, this, &VideoCommands::refresh);
    connect(&viewModel, &VideoListViewModel::previewItemChanged, this, &VideoCommands::refresh);
    connect(&viewModel, &VideoListViewModel::filtersChanged, this, &VideoCommands::refresh);
    connect(&viewModel, &VideoListViewModel::visibleItemsChanged, this, &VideoCommands::refresh);
    connect(&viewModel, &VideoListViewModel::itemsChanged, this, &VideoCommands::refresh);  // favorites
    refresh();
}

QAction* VideoCommands::action(Command command) const {
    switch (command) {
        case Command::scan:
            return m_scan;
        case Command::preview:
            return m_preview;
        case Command::showInFolder:
            return m_showInFolder;
        case Command::copyNames:
            return m_copyNames;
        case Command::copyPaths:
            return m_copyPaths;
        case Command::favorites:
            return m_favorites;
        case Command::download:
            return m_download;
        case Command::selectAll:
            return m_selectAll;
        case Command::deselectAll:
            return m_deselectAll;
        case Command::selectLesserVersions:
            return m_selectLesser;
        case Command::compare:
            return m_compare;
        case Command::deleteVideos:
            return m_delete;
    }
    return nullptr;
}

void VideoCommands::scanOrStop() {
    if (m_viewModel.previewItem()) return;
    if (m_viewModel.isScanning())
        m_viewModel.cancelScan();
    else
        m_viewModel.rescan();
}

void VideoCommands::refresh() {
    // With the preview open the menu acts on no model at all.
    const bool hasModel = !m_viewModel.previewItem().has_value();
    const VideoList items = hasModel ? m_viewModel.selectedItems() : VideoList{};
    const bool isBusy = !hasModel || m_viewModel.isBusy();
    const qsizetype count = items.size();
    const bool addsFavorites = !hasModel || items.isEmpty() || VideoListViewModel::containsNonFavorite(items);

    if (hasModel && m_viewModel.isScanning()) {
        m_scan->setText(reelkeep::tr("Stop Scanning"));
        m_scan->setShortcuts(shortcutsFor(KeyAction::stopScan));
        m_scan->setEnabled(true);
    } else {
        m_scan->setText(reelkeep::tr("Scan"));
        m_scan->setShortcuts(shortcutsFor(KeyAction::scan));
        m_scan->setEnabled(!isBusy);
    }
    m_preview->setText(reelkeep::tr("Preview"));
    m_preview->setEnabled(count == 1);
    m_showInFolder->setText(reelkeep::tr("Show in Folder"));
    m_showInFolder->setEnabled(count == 1);
    m_copyNames->setText(count == 1 ? reelkeep::tr("Copy Name") : reelkeep::tr("Copy Names"));
    m_copyNames->setEnabled(count > 0);
    m_copyPaths->setText(count == 1 ? reelkeep::tr("Copy Path") : reelkeep::tr("Copy Paths"));
    m_copyPaths->setEnabled(count > 0);
    m_favorites->setText(addsFavorites ? reelkeep::tr("Add to Favorites")
                                       : reelkeep::tr("Remove from Favorites"));
    m_favorites->setEnabled(count > 0 && !isBusy);
    m_download->setText(count == 1 ? reelkeep::tr("Export Copy…") : reelkeep::tr("Export Copies…"));
    m_download->setEnabled(count > 0 && !isBusy);
    m_selectAll->setEnabled(hasModel && !m_viewModel.visibleItems().isEmpty());
    m_deselectAll->setEnabled(count > 0);
    // Only over the sets on screen: nothing is chosen in sets the user has not seen.
    m_selectLesser->setEnabled(hasModel && m_viewModel.showsSimilarVideos() &&
                               !m_viewModel.isCheckingSimilar());
    m_compare->setEnabled(hasModel && m_viewModel.comparablePair(items).has_value());
    m_delete->setText(reelkeep::tr("Move to Trash"));
    m_delete->setEnabled(count > 0 && !isBusy);
}

}  // namespace reelkeep
