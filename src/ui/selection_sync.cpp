// selection_sync.cpp: two-way selection without feedback loops.
#include "selection_sync.h"

#include <algorithm>

#include "ui/video_table_model.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

SelectionSync::SelectionSync(VideoListViewModel& viewModel, VideoTableModel& model,
                             QItemSelectionModel& selection, QObject* parent)
    : QObject(parent), m_viewModel(viewModel), m_model(model), m_selection(&selection) {
    connect(&model, &VideoTableModel::refreshStarted, this, [this] { m_isModelRefreshing = true; });
    connect(&model, &VideoTableModel::refreshFinished, this, [this] {
        m_isModelRefreshing = false;
        applyFromViewModel();  // a reset forgets the selection; rows may have arrived
    });
    connect(&viewModel, &VideoListViewModel::selectionChanged, this, [this] {
        if (!m_isWritingBack) applyFromViewModel();
    });
    connect(&selection, &QItemSelectionModel::selectionChanged, this, &SelectionSync::viewSelectionChanged);
    applyFromViewModel();
}

void SelectionSync::applyFromViewModel() {
    if (!m_selection) return;
    QList<int> rows;
    for (const QString& id : m_viewModel.selectedIDs())
        if (const int row = m_model.rowOf(id); row >= 0) rows.append(row);
    std::sort(rows.begin(), rows.end());
    QItemSelection wanted;
    const int lastColumn = m_model.columnCount() - 1;
    for (int i = 0; i < int(rows.size());) {
        int end = i + 1;
        while (end < int(rows.size()) && rows[end] == rows[end - 1] + 1) ++end;
        wanted.select(m_model.index(rows[i], 0), m_model.index(rows[end - 1], lastColumn));
        i = end;
    }
    m_isApplying = true;
    m_selection->select(wanted, QItemSelectionModel::ClearAndSelect);
    m_isApplying = false;
}

void SelectionSync::viewSelectionChanged() {
    if (m_isApplying || m_isModelRefreshing || !m_selection) return;
    QSet<QString> ids;
    for (const QModelIndex& index : m_selection->selectedRows()) ids.insert(m_model.itemAt(index.row()).id());
    m_isWritingBack = true;
    m_viewModel.setSelectedIDs(ids);
    m_isWritingBack = false;
}

}  // namespace reelkeep
