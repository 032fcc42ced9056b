// app_theme_test.cpp: the stored theme preference and what applying it does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "ui/app_theme.h"

using namespace reelkeep;

namespace {

class ThemeTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
};

bool isDarkPalette() {
    return QApplication::palette().color(QPalette::Window).lightness() < 128;
}

}  // namespace

TEST_F(ThemeTest, StoredValuesReadExactlyAndAnythingElseIsSystem) {
    EXPECT_EQ(readAppTheme(settings), AppTheme::system);  // first launch
    const struct {
        QVariant stored;
        AppTheme expected;
    } cases[] = {
        {QStringLiteral("system"), AppTheme::system},
        {QStringLiteral("light"), AppTheme::light},
        {QStringLiteral("dark"), AppTheme::dark},
        {QStringLiteral("Dark"), AppTheme::system},
        {QStringLiteral("DARK"), AppTheme::system},
        {QStringLiteral(" dark"), AppTheme::system},
        {QString(), AppTheme::system},
        {QStringLiteral("sepia"), AppTheme::system},
        {2, AppTheme::system},
    };
    for (const auto& c : cases) {
        settings.setValue(QLatin1String(kAppThemeKey), c.stored);
        EXPECT_EQ(readAppTheme(settings), c.expected) << c.stored.toString().toStdString();
    }
    for (const AppTheme theme : kAllAppThemes) {
        writeAppTheme(settings, theme);
        EXPECT_EQ(settings.value(QLatin1String(kAppThemeKey)).toString(), rawValue(theme));
        EXPECT_EQ(readAppTheme(settings), theme);
    }
}

// The portal's protocol numbers: a swap would turn dark desktops light.
TEST_F(ThemeTest, PortalValuesMapToSchemes) {
    EXPECT_EQ(colorSchemeFromPortal(0), ColorScheme::noPreference);
    EXPECT_EQ(colorSchemeFromPortal(1), ColorScheme::dark);
    EXPECT_EQ(colorSchemeFromPortal(2), ColorScheme::light);
    EXPECT_EQ(colorSchemeFromPortal(3), std::nullopt);
}

// Choosing a theme through the window stores and repaints; here what the window cannot show.
TEST_F(ThemeTest, SystemFollowsTheDesktopAndARelaunchTheStoredChoice) {
    const QPalette platform = QApplication::palette();
    ThemeController theme(settings, /*followsPortal=*/false);
    theme.setDesktopColorScheme(ColorScheme::dark);
    EXPECT_TRUE(isDarkPalette());
    EXPECT_TRUE(theme.isDark());
    theme.setDesktopColorScheme(std::nullopt);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), platform.color(QPalette::Window));

    theme.setTheme(AppTheme::dark);
    ThemeController relaunched(settings, false);
    EXPECT_EQ(relaunched.theme(), AppTheme::dark);
    EXPECT_TRUE(isDarkPalette());
    relaunched.setTheme(AppTheme::system);
}
