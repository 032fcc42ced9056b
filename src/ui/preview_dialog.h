// preview_dialog.h: the modal preview of one video: header, video area, and a
// control bar with play/pause, exact scrubbing (a click jumps), elapsed and
// total time and mute; its keys come from the shared key table. The player belongs to the dialog: created
// once the library has a playable file, released on close or failure. A load that ends after the dialog
// closed, or after it failed, is dropped without a player, so nothing ever plays from a closed dialog.
#pragma once

#include <QAudioOutput>
#include <QDialog>
#include <QMediaPlayer>
#include <QPointer>
#include <QTimer>
#include <QVideoWidget>
#include <chrono>
#include <stop_token>

#include <QCoro/QCoroTask>

#include "model/video_item.h"
#include "viewmodel/media_source.h"
#include "viewmodel/task_owner.h"

class QLabel;
class QSlider;
class QStackedWidget;
class QToolButton;

namespace reelkeep {

class PreviewDialog : public QDialog {
    Q_OBJECT

public:
    enum class State { loading, ready, failed };

    // Longest wait for the media to load before the preview gives up.
    static constexpr std::chrono::seconds kLoadTimeLimit{20};

    PreviewDialog(MediaSource& media, VideoItem item, QWidget* parent = nullptr);
    ~PreviewDialog() override;

    const VideoItem& item() const { return m_item; }
    State state() const { return m_state; }
    QString errorText() const;
    QMediaPlayer* player() const { return m_player; }
    bool isScrubbing() const { return m_isScrubbing; }

    // Milliseconds as the slider holds them: clamped to int.
    static int sliderValue(double seconds);

    void done(int result) override;

signals:
    void stateChanged(reelkeep::PreviewDialog::State state);

private:
    QCoro::Task<> load(std::stop_token stop);
    void openMedia(const PreviewSource& source);
    void becomeReady();
    void fail(const QString& description);
    void releasePlayer();
    void togglePlay();
    void toggleMute();
    void seekBy(qint64 deltaMs);
    void seekTo(qint64 ms);
    void showPlayhead(double seconds);
    void refreshButtons();
    void setState(State state);

    MediaSource& m_media;
    const VideoItem m_item;
    State m_state = State::loading;
    double m_durationSeconds = 0;
    bool m_isScrubbing = false;
    QTimer m_loadTimer;

    QStackedWidget* m_area;
    QWidget* m_loadingPage;
    QWidget* m_errorPage;
    QLabel* m_errorText;
    QWidget* m_controlBar;
    QToolButton* m_playButton;
    QToolButton* m_muteButton;
    QLabel* m_elapsed;
    QLabel* m_total;
    QSlider* m_scrubber;
    QPointer<QVideoWidget> m_videoWidget;
    QPointer<QMediaPlayer> m_player;
    QPointer<QAudioOutput> m_audio;
    TaskOwner m_load{this};  // last: stops the load before the rest goes
};

}  // namespace reelkeep
