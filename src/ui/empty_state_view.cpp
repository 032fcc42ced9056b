// empty_state_view.cpp: layout of the empty-state panel.
#include "empty_state_view.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/icons.h"

namespace reelkeep {

EmptyStateView::EmptyStateView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(10);
    layout->addStretch(1);
    m_icon = new QLabel(this);
    m_icon->setAlignment(Qt::AlignCenter);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_message = new QLabel(this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setFixedWidth(360);
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_button = new QPushButton(this);
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addWidget(m_title, 0, Qt::AlignHCenter);
    layout->addWidget(m_message, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void EmptyStateView::setContent(const QString& symbol, const QString& title, const QString& message,
                                const QString& buttonText) {
    m_icon->setPixmap(symbolIcon(symbol).pixmap(QSize(38, 38), devicePixelRatioF()));
    m_title->setText(title);
    m_message->setText(message);
    // The layout sizes a wrapped label by its one-line hint; a long message
    // (folder names) would be cut off without its full height.
    m_message->setMinimumHeight(m_message->heightForWidth(m_message->width()));
    m_button->setText(buttonText);
}

QString EmptyStateView::title() const {
    return m_title->text();
}

QString EmptyStateView::message() const {
    return m_message->text();
}

}  // namespace reelkeep
