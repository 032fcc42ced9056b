// compare_dialog.h: two near copies side by side, by the frames their fingerprints
// were taken from, at the same moments, so the user sees they show the same thing
// before trashing one. Each strip loads on its own; closing stops both loads.
#pragma once

#include <QDialog>
#include <QList>
#include <stop_token>

#include <QCoro/QCoroTask>

#include "viewmodel/media_source.h"
#include "viewmodel/task_owner.h"
#include "viewmodel/video_list_view_model.h"

class QLabel;

namespace reelkeep {

class CompareDialog : public QDialog {
    Q_OBJECT

public:
    // Longer side of one frame: ten of them fit a 1280-pixel screen.
    static constexpr int kFramePixels = 112;

    CompareDialog(MediaSource& media, VideoListViewModel::ComparedPair pair, QWidget* parent = nullptr);

    const VideoListViewModel::ComparedPair& pair() const { return m_pair; }
    // Frames shown so far, per row: both rows full once the strips are in.
    int shownFrameCount(int row) const;

    void done(int result) override;

signals:
    void stripLoaded(int row);

private:
    QCoro::Task<> load(int row, QString localIdentifier, std::stop_token stop);

    MediaSource& m_media;
    const VideoListViewModel::ComparedPair m_pair;
    QList<QLabel*> m_frames[2];
    QLabel* m_notes[2] = {nullptr, nullptr};
    TaskOwner m_loads{this};  // last: stops the loads before the rest goes
};

}  // namespace reelkeep
