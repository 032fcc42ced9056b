// library_folders_dialog.h: File ▸ Library Folders…: the folders Reelkeep reads,
// the state of each and how many videos it holds, with Add Folder… and Remove.
// Edits stay in the dialog until "Save and Rescan"; folders given on the
// command line or in REELKEEP_LIBRARY are shown read-only, with the reason.
// The states come from the view model, which checks them off the main thread.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

#include "viewmodel/video_list_view_model.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace reelkeep {

class VideoListViewModel;

class LibraryFoldersDialog : public QDialog {
    Q_OBJECT

public:
    // Asks for folders to add; an empty list when cancelled.
    using FolderChooser = std::function<QStringList(QWidget* parent)>;

    explicit LibraryFoldersDialog(VideoListViewModel& viewModel, QWidget* parent = nullptr);

    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }

    QTreeWidget* folderList() const { return m_list; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* saveButton() const { return m_save; }
    QLabel* note() const { return m_note; }

    void addFolders();
    void removeSelectedFolders();

private:
    enum FolderColumn { PathColumn, StateColumn, CountColumn };

    void showFolders();
    void refreshButtons();
    void save();

    VideoListViewModel& m_viewModel;
    FolderChooser m_chooser;
    // The list being edited, with the last known state of each folder.
    QList<LibraryFolder> m_folders;
    bool m_isEdited = false;
    QTreeWidget* m_list = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_save = nullptr;
};

// One word for a folder's state, as the dialog and the window's banner show it.
QString folderStateText(LibraryFolder::State state);

}  // namespace reelkeep
