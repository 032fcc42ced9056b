// empty_state_view.h: the panel shown instead of the table when there is
// nothing to list: an icon, a headline, an explanation and one button.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace reelkeep {

class EmptyStateView : public QWidget {
    Q_OBJECT

public:
    explicit EmptyStateView(QWidget* parent = nullptr);

    void setContent(const QString& symbol, const QString& title, const QString& message,
                    const QString& buttonText);
    QPushButton* button() const { return m_button; }
    QString title() const;
    QString message() const;

private:
    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_message;
    QPushButton* m_button;
};

}  // namespace reelkeep
