// selection_sync.h: keeps the table's selection and the view model's selectedIDs
// equal, both ways. The user's changes are written to the view model; changes
// the model makes on its own (rows removed, reset, relayout) are never written
// back, and after each of them the view selection is derived again from the
// view model.
#pragma once

#include <QItemSelectionModel>
#include <QObject>
#include <QPointer>
#include <QSet>

namespace reelkeep {

class VideoListViewModel;
class VideoTableModel;

class SelectionSync : public QObject {
    Q_OBJECT

public:
    SelectionSync(VideoListViewModel& viewModel, VideoTableModel& model, QItemSelectionModel& selection,
                  QObject* parent = nullptr);

    // Selects exactly the visible rows of the view model's selection.
    void applyFromViewModel();

private:
    void viewSelectionChanged();

    VideoListViewModel& m_viewModel;
    VideoTableModel& m_model;
    QPointer<QItemSelectionModel> m_selection;
    bool m_isModelRefreshing = false;
    bool m_isApplying = false;
    bool m_isWritingBack = false;
};

}  // namespace reelkeep
