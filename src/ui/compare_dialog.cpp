// compare_dialog.cpp: a grid of two strips under the moments they were taken at.
// A strip that cannot be decoded says so in its row; the other still shows.
#include "compare_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPointer>

#include "model/display_text.h"
#include "model/near_copies.h"
#include "model/texts.h"
#include "ui/picture_image.h"

namespace reelkeep {

namespace {

QString captionOf(const VideoItem& item, bool isBest) {
    QStringList parts{item.displayName(), resolutionDetailText(item.pixelWidth(), item.pixelHeight()),
                      sizeText(item.sizeState().byteCount()), bitrateText(bitsPerSecond(item))};
    if (isBest) parts.prepend(reelkeep::tr("Best version"));
    return parts.join(QStringLiteral(" \u00B7 "));
}

}  // namespace

CompareDialog::CompareDialog(MediaSource& media, VideoListViewModel::ComparedPair pair, QWidget* parent)
    : QDialog(parent), m_media(media), m_pair(std::move(pair)) {
    setWindowTitle(reelkeep::tr("Compare Similar Videos"));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    const double seconds = m_pair.first.duration();
    for (int i = 0; i < kFingerprintFrames; ++i) {
        auto* moment = new QLabel(durationText(fingerprintFrameFraction(i) * seconds), this);
        moment->setAlignment(Qt::AlignCenter);
        moment->setForegroundRole(QPalette::PlaceholderText);
        grid->addWidget(moment, 0, i);
    }
    const VideoItem* items[2] = {&m_pair.first, &m_pair.second};
    for (int row = 0; row < 2; ++row) {
        auto* caption = new QLabel(captionOf(*items[row], row == 0), this);
        caption->setTextFormat(Qt::PlainText);  // a file name is never markup
        caption->setObjectName(QStringLiteral("compareCaption%1").arg(row));
        grid->addWidget(caption, 1 + row * 3, 0, 1, kFingerprintFrames);
        for (int i = 0; i < kFingerprintFrames; ++i) {
            auto* frame = new QLabel(this);
            frame->setFixedSize(kFramePixels, kFramePixels);
            frame->setAlignment(Qt::AlignCenter);
            frame->setFrameShape(QFrame::StyledPanel);
            grid->addWidget(frame, 2 + row * 3, i);
            m_frames[row].append(frame);
        }
        m_notes[row] = new QLabel(reelkeep::tr("Loading frames…"), this);
        m_notes[row]->setTextFormat(Qt::PlainText);
        grid->addWidget(m_notes[row], 3 + row * 3, 0, 1, kFingerprintFrames);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    for (int row = 0; row < 2; ++row)
        m_loads.add([this, row, id = items[row]->localIdentifier()](std::stop_token stop) {
            return load(row, id, stop);
        });
}

int CompareDialog::shownFrameCount(int row) const {
    int count = 0;
    for (const QLabel* frame : m_frames[row]) count += frame->pixmap().isNull() ? 0 : 1;
    return count;
}

void CompareDialog::done(int result) {
    m_loads.stop();
    QDialog::done(result);
}

QCoro::Task<> CompareDialog::load(int row, QString localIdentifier, std::stop_token stop) {
    QPointer<CompareDialog> self(this);
    const qreal scale = devicePixelRatioF();
    const Result<QList<Picture>> strip =
        co_await m_media.frameStrip(localIdentifier, int(kFramePixels * scale), stop);
    if (!self || stop.stop_requested()) co_return;
    if (!strip) {
        m_notes[row]->setText(
            reelkeep::tr("The frames could not be read: %1").arg(strip.error().description()));
        emit stripLoaded(row);
        co_return;
    }
    for (int i = 0; i < int(strip.value().size()) && i < int(m_frames[row].size()); ++i) {
        QPixmap picture = QPixmap::fromImage(toQImage(strip.value()[i]));
        picture.setDevicePixelRatio(scale);
        m_frames[row][i]->setPixmap(picture);
    }
    m_notes[row]->clear();
    m_notes[row]->hide();
    emit stripLoaded(row);
}

}  // namespace reelkeep
