// video_commands.h: the "Video" menu: scanning and every item action with its
// shortcut, acting on the window's view model. While the preview is open, or
// while the model is busy, the commands that would change the library are
// disabled; the menu follows the model's state as it changes.
#pragma once

#include <QObject>

class QAction;
class QMenu;

namespace reelkeep {

class VideoListViewModel;

class VideoCommands : public QObject {
    Q_OBJECT

public:
    enum class Command {
        scan,
        preview,
        showInFolder,
        copyNames,
        copyPaths,
        favorites,
        download,
        selectAll,
        deselectAll,
        selectLesserVersions,
        compare,
        deleteVideos
    };

    VideoCommands(VideoListViewModel& viewModel, QMenu& menu, QObject* parent = nullptr);

    QAction* action(Command command) const;
    void refresh();

private:
    void scanOrStop();

    VideoListViewModel& m_viewModel;
    QAction* m_scan;
    QAction* m_preview;
    QAction* m_showInFolder;
    QAction* m_copyNames;
    QAction* m_copyPaths;
    QAction* m_favorites;
    QAction* m_download;
    QAction* m_selectAll;
    QAction* m_deselectAll;
    QAction* m_selectLesser;
    QAction* m_compare;
    QAction* m_delete;
};

}  // namespace reelkeep
