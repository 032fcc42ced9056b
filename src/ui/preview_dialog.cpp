// preview_dialog.cpp: loading, playback and the control bar of the preview.
#include "preview_dialog.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPointer>
#include <QShortcut>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <cmath>
#include <limits>

#include "model/display_text.h"
#include "model/texts.h"
#include "ui/icons.h"
#include "ui/key_bindings.h"
#include "ui/plain_text.h"

namespace reelkeep {

namespace {

QToolButton* barButton(const QString& symbol, const QString& accessibleName, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(symbolIcon(symbol));
    button->setAutoRaise(true);
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    // Space belongs to play/pause, not to whichever button has focus.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A click beside the handle jumps there (and may go on as a drag); a plain
// QSlider would only step a page towards the click.
class Scrubber : public QSlider {
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        const QPoint at = event->position().toPoint();
        if (event->button() == Qt::LeftButton && isEnabled() && !handle.contains(at)) {
            const QRect groove =
                style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
            const int span = std::max(1, groove.width() - handle.width());
            setValue(QStyle::sliderValueFromPosition(
                minimum(), maximum(), at.x() - groove.x() - handle.width() / 2, span, option.upsideDown));
        }
        QSlider::mousePressEvent(event);  // the handle is under the pointer now: a drag may follow
    }
};

}  // namespace

PreviewDialog::PreviewDialog(MediaSource& media, VideoItem item, QWidget* parent)
    : QDialog(parent), m_media(media), m_item(std::move(item)) {
    setWindowTitle(m_item.displayName());
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    header->setFixedHeight(46);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(14, 0, 14, 0);
    headerLayout->setSpacing(10);
    QToolButton* close = barButton(QStringLiteral("xmark"), reelkeep::tr("Close"), header);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QToolButton::clicked, this, &QDialog::reject);
    headerLayout->addWidget(close);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    QLabel* name = plainLabel({}, header);
    name->setObjectName(QStringLiteral("previewName"));
    QFont nameFont = name->font();
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setText(QFontMetrics(nameFont).elidedText(m_item.displayName(), Qt::ElideMiddle, 720));
    name->setToolTip(plainToolTip(m_item.filePath().isEmpty() ? m_item.displayName() : m_item.filePath()));
    QString details = resolutionDetailText(m_item.pixelWidth(), m_item.pixelHeight()) +
                      QStringLiteral(" · ") + sizeText(m_item.sizeState().byteCount());
    if (!m_item.folder().isEmpty()) details += QStringLiteral(" · ") + m_item.folder();
    QLabel* detail = plainLabel(QFontMetrics(font()).elidedText(details, Qt::ElideMiddle, 720), header);
    detail->setObjectName(QStringLiteral("previewDetail"));
    if (!m_item.folderPath().isEmpty()) detail->setToolTip(plainToolTip(m_item.folderPath()));
    detail->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(name);
    titles->addWidget(detail);
    headerLayout->addLayout(titles, 1);
    layout->addWidget(header);

    m_area = new QStackedWidget(this);
    m_area->setMinimumSize(820, 500);
    m_area->setAutoFillBackground(true);
    QPalette black = m_area->palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    black.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0));
    m_area->setPalette(black);
    m_loadingPage = new QWidget(m_area);
    auto* loadingLayout = new QVBoxLayout(m_loadingPage);
    loadingLayout->addWidget(plainLabel(reelkeep::tr("Loading preview…"), m_loadingPage), 0, Qt::AlignCenter);
    m_errorPage = new QWidget(m_area);
    auto* errorLayout = new QVBoxLayout(m_errorPage);
    errorLayout->setSpacing(10);
    errorLayout->addStretch(1);
    auto* errorIcon = new QLabel(m_errorPage);
    errorIcon->setPixmap(symbolIcon(QStringLiteral("video.slash")).pixmap(38, 38));
    errorLayout->addWidget(errorIcon, 0, Qt::AlignHCenter);
    QLabel* errorTitle = plainLabel(reelkeep::tr("Preview unavailable"), m_errorPage);
    QFont errorFont = errorTitle->font();
    errorFont.setBold(true);
    errorFont.setPointSizeF(errorFont.pointSizeF() * 1.3);
    errorTitle->setFont(errorFont);
    errorLayout->addWidget(errorTitle, 0, Qt::AlignHCenter);
    m_errorText = plainLabel({}, m_errorPage);
    m_errorText->setObjectName(QStringLiteral("previewError"));
    m_errorText->setWordWrap(true);
    m_errorText->setAlignment(Qt::AlignCenter);
    m_errorText->setMaximumWidth(360);
    errorLayout->addWidget(m_errorText, 0, Qt::AlignHCenter);
    errorLayout->addStretch(1);
    m_area->addWidget(m_loadingPage);
    m_area->addWidget(m_errorPage);
    layout->addWidget(m_area, 1);

    m_controlBar = new QWidget(this);
    m_controlBar->setFixedHeight(50);
    auto* bar = new QHBoxLayout(m_controlBar);
    bar->setContentsMargins(16, 0, 16, 0);
    bar->setSpacing(12);
    m_playButton = barButton(QStringLiteral("play.fill"), reelkeep::tr("Play"), m_controlBar);
    m_playButton->setObjectName(QStringLiteral("playButton"));
    m_elapsed = plainLabel(durationText(0), m_controlBar);
    m_elapsed->setFixedWidth(72);
    m_elapsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_scrubber = new Scrubber(Qt::Horizontal, m_controlBar);
    m_scrubber->setObjectName(QStringLiteral("scrubber"));
    m_scrubber->setAccessibleName(reelkeep::tr("Position"));
    m_scrubber->setFocusPolicy(Qt::NoFocus);
    m_total = plainLabel(durationText(0), m_controlBar);
    m_total->setFixedWidth(72);
    m_muteButton = barButton(QStringLiteral("speaker.wave.2.fill"), reelkeep::tr("Mute"), m_controlBar);
    m_muteButton->setObjectName(QStringLiteral("muteButton"));
    bar->addWidget(m_playButton);
    bar->addWidget(m_elapsed);
    bar->addWidget(m_scrubber, 1);
    bar->addWidget(m_total);
    bar->addWidget(m_muteButton);
    m_controlBar->hide();
    layout->addWidget(m_controlBar);

    connect(m_playButton, &QToolButton::clicked, this, &PreviewDialog::togglePlay);
    connect(m_muteButton, &QToolButton::clicked, this, &PreviewDialog::toggleMute);
    connect(m_scrubber, &QSlider::sliderPressed, this, [this] { m_isScrubbing = true; });
    connect(m_scrubber, &QSlider::sliderMoved, this,
            [this](int ms) { m_elapsed->setText(durationText(ms / 1000.0)); });
    connect(m_scrubber, &QSlider::sliderReleased, this, [this] {
        m_isScrubbing = false;
        if (m_player) m_player->setPosition(m_scrubber->value());
    });
    const auto addKeys = [this](KeyAction action, auto slot) {
        for (const QKeySequence& key : shortcutsFor(action))
            connect(new QShortcut(key, this), &QShortcut::activated, this, slot);
    };
    addKeys(KeyAction::playPause, &PreviewDialog::togglePlay);
    addKeys(KeyAction::mute, &PreviewDialog::toggleMute);
    addKeys(KeyAction::seekBack, [this] { seekBy(-kSeekStepMs); });
    addKeys(KeyAction::seekForward, [this] { seekBy(kSeekStepMs); });
    addKeys(KeyAction::seekStart, [this] { seekTo(0); });
    addKeys(KeyAction::seekEnd, [this] { seekTo(sliderValue(m_durationSeconds)); });

    m_loadTimer.setSingleShot(true);
    connect(&m_loadTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::loading) fail(reelkeep::tr("The video took too long to load."));
    });
    m_load.start([this](std::stop_token stop) { return load(stop); });
}

PreviewDialog::~PreviewDialog() {
    m_load.stop();
    releasePlayer();
}

int PreviewDialog::sliderValue(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    const double ms = std::round(seconds * 1000.0);
    return ms >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(ms);
}

QString PreviewDialog::errorText() const {
    return m_errorText->text();
}

void PreviewDialog::done(int result) {
    // Closing stops a load in flight and silences the player at once.
    m_load.stop();
    if (m_player) m_player->pause();
    QDialog::done(result);
}

QCoro::Task<> PreviewDialog::load(std::stop_token stop) {
    QPointer<PreviewDialog> self(this);
    Result<PreviewSource> prepared = co_await m_media.preparePreview(m_item.localIdentifier(), stop);
    // Closed or superseded meanwhile: no player is made, nothing plays.
    if (!self || stop.stop_requested() || m_state != State::loading) co_return;
    if (!prepared) {
        if (!prepared.error().isCancellation()) fail(prepared.error().description());
        co_return;
    }
    openMedia(prepared.value());
}

void PreviewDialog::openMedia(const PreviewSource& source) {
    m_durationSeconds = std::isfinite(source.lengthSeconds) ? std::max(0.0, source.lengthSeconds) : 0.0;
    m_videoWidget = new QVideoWidget(m_area);
    m_area->addWidget(m_videoWidget);
    m_player = new QMediaPlayer(this);
    // QtMultimedia crashes on a machine without audio when an output is attached.
    if (!QMediaDevices::audioOutputs().isEmpty()) {
        m_audio = new QAudioOutput(m_player);
        m_player->setAudioOutput(m_audio);
        connect(m_audio, &QAudioOutput::mutedChanged, this, &PreviewDialog::refreshButtons);
    }
    m_player->setVideoOutput(m_videoWidget);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        switch (status) {
            case QMediaPlayer::LoadedMedia:
                if (m_state == State::loading) becomeReady();
                break;
            case QMediaPlayer::InvalidMedia:
                fail(m_player && !m_player->errorString().isEmpty()
                         ? m_player->errorString()
                         : reelkeep::tr("This video cannot be played."));
                break;
            case QMediaPlayer::EndOfMedia:
                // Back to the start; the user presses play to watch again.
                if (m_player) {
                    m_player->pause();
                    m_player->setPosition(0);
                }
                break;
            default:
                break;
        }
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error error, const QString& text) {
                if (error != QMediaPlayer::NoError)
                    fail(text.isEmpty() ? reelkeep::tr("This video cannot be played.") : text);
            });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
        if (!m_isScrubbing) showPlayhead(double(std::max<qint64>(0, ms)) / 1000.0);
    });
    // The decoder's length wins over the library's: the scrubber must end where the media ends.
    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        if (ms <= 0) return;
        m_durationSeconds = double(ms) / 1000.0;
        refreshButtons();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &PreviewDialog::refreshButtons);
    m_loadTimer.start(kLoadTimeLimit);
    m_player->setSource(QUrl::fromLocalFile(source.filePath));
}

void PreviewDialog::becomeReady() {
    m_loadTimer.stop();
    m_area->setCurrentWidget(m_videoWidget);
    m_controlBar->show();
    setState(State::ready);
    refreshButtons();
    m_player->play();
}

void PreviewDialog::fail(const QString& description) {
    if (m_state == State::failed) return;
    m_loadTimer.stop();
    releasePlayer();
    m_errorText->setText(description);
    m_area->setCurrentWidget(m_errorPage);
    m_controlBar->hide();
    setState(State::failed);
}

void PreviewDialog::releasePlayer() {
    if (m_player) {
        m_player->disconnect(this);
        m_player->stop();
        m_player->deleteLater();
    }
    if (m_videoWidget) m_videoWidget->deleteLater();
}

void PreviewDialog::togglePlay() {
    if (!m_player || m_state != State::ready) return;
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
    else
        m_player->play();
}

void PreviewDialog::seekBy(qint64 deltaMs) {
    if (!m_player || m_state != State::ready) return;
    seekTo(m_player->position() + deltaMs);
}

void PreviewDialog::seekTo(qint64 ms) {
    if (!m_player || m_state != State::ready) return;
    const qint64 end = sliderValue(m_durationSeconds);
    const qint64 target = std::clamp<qint64>(ms, 0, end);
    m_player->setPosition(target);
    showPlayhead(double(target) / 1000.0);
}

void PreviewDialog::toggleMute() {
    if (m_audio) m_audio->setMuted(!m_audio->isMuted());
}

void PreviewDialog::showPlayhead(double seconds) {
    m_elapsed->setText(durationText(seconds));
    if (!m_scrubber->isSliderDown()) m_scrubber->setValue(sliderValue(seconds));
}

void PreviewDialog::refreshButtons() {
    const bool isPlaying = m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
    m_playButton->setIcon(symbolIcon(isPlaying ? QStringLiteral("pause.fill") : QStringLiteral("play.fill")));
    m_playButton->setToolTip(isPlaying ? reelkeep::tr("Pause") : reelkeep::tr("Play"));
    m_playButton->setAccessibleName(isPlaying ? reelkeep::tr("Pause") : reelkeep::tr("Play"));
    const bool isMuted = m_audio && m_audio->isMuted();
    m_muteButton->setEnabled(m_audio != nullptr);
    m_muteButton->setIcon(
        symbolIcon(isMuted ? QStringLiteral("speaker.slash.fill") : QStringLiteral("speaker.wave.2.fill")));
    m_muteButton->setToolTip(isMuted ? reelkeep::tr("Unmute") : reelkeep::tr("Mute"));
    m_muteButton->setAccessibleName(isMuted ? reelkeep::tr("Unmute") : reelkeep::tr("Mute"));
    m_scrubber->setRange(0, std::max(1000, sliderValue(m_durationSeconds)));
    m_scrubber->setEnabled(m_durationSeconds > 0);
    m_total->setText(durationText(m_durationSeconds));
}

void PreviewDialog::setState(State state) {
    if (state == m_state) return;
    m_state = state;
    emit stateChanged(state);
}

}  // namespace reelkeep
