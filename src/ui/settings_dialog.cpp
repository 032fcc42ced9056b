// settings_dialog.cpp: the one setting, the appearance.
#include "settings_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "model/texts.h"
#include "ui/app_theme.h"

namespace reelkeep {

SettingsDialog::SettingsDialog(ThemeController& theme, QWidget* parent) : QDialog(parent), m_theme(theme) {
    setWindowTitle(reelkeep::tr("Settings"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(reelkeep::tr("Appearance"), this);
    auto* groupLayout = new QVBoxLayout(group);
    m_choices = new QButtonGroup(this);
    for (const AppTheme choice : kAllAppThemes) {
        auto* button = new QRadioButton(label(choice), group);
        button->setObjectName(rawValue(choice));
        m_choices->addButton(button, int(choice));
        groupLayout->addWidget(button);
    }
    layout->addWidget(group);
    setFixedWidth(360);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    showTheme();
    connect(m_choices, &QButtonGroup::idClicked, this, [this](int id) { m_theme.setTheme(AppTheme(id)); });
    connect(&theme, &ThemeController::themeChanged, this, &SettingsDialog::showTheme);
}

void SettingsDialog::showTheme() {
    if (QAbstractButton* button = m_choices->button(int(m_theme.theme()))) button->setChecked(true);
}

}  // namespace reelkeep
