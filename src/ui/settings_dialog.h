// settings_dialog.h: the settings window: the theme choice, stored and applied
// at once, and kept in step with the View menu's Appearance choice.
#pragma once

#include <QDialog>

class QButtonGroup;

namespace reelkeep {

class ThemeController;

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    explicit SettingsDialog(ThemeController& theme, QWidget* parent = nullptr);

private:
    void showTheme();

    ThemeController& m_theme;
    QButtonGroup* m_choices;
};

}  // namespace reelkeep
