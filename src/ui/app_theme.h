// app_theme.h: the one stored preference, the colour theme, and the object that
// applies it to the whole application. Qt 6.4 has no colour-scheme API, so the
// themes are explicit Fusion palettes; "system" follows the desktop portal's
// color-scheme and falls back to the platform palette when nobody answers.
#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QPalette>
#include <QSettings>
#include <QString>
#include <array>
#include <optional>

namespace reelkeep {

enum class AppTheme { system, light, dark };

inline constexpr std::array kAllAppThemes{AppTheme::system, AppTheme::light, AppTheme::dark};
inline constexpr const char* kAppThemeKey = "appTheme";

QString rawValue(AppTheme theme);
QString label(AppTheme theme);
// Exact raw values only: "Dark" is not "dark".
std::optional<AppTheme> appThemeFromRaw(const QString& raw);

// Missing or unknown reads as system.
AppTheme readAppTheme(const QSettings& settings);
void writeAppTheme(QSettings& settings, AppTheme theme);

// The desktop's preference as the portal states it (org.freedesktop.appearance).
enum class ColorScheme { noPreference, dark, light };
std::optional<ColorScheme> colorSchemeFromPortal(unsigned value);

QPalette lightPalette();
QPalette darkPalette();

class ThemeController : public QObject {
    Q_OBJECT

public:
    // Switches the application to Fusion and remembers the platform palette as
    // the fallback for "system"; listens to the portal unless told not to.
    explicit ThemeController(QSettings& settings, bool followsPortal = true, QObject* parent = nullptr);

    AppTheme theme() const { return m_theme; }
    // Stores, then applies at once.
    void setTheme(AppTheme theme);
    // Applies the stored theme again (a window coming on screen).
    void applyStoredTheme();
    // What the desktop asked for; tests and the portal both call it.
    void setDesktopColorScheme(std::optional<ColorScheme> scheme);
    bool isDark() const;

signals:
    void themeChanged(reelkeep::AppTheme theme);
    // After every application of a palette, light or dark.
    void appearanceApplied(bool isDark);

private slots:
    void portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void apply();
    void readPortal();

    QSettings& m_settings;
    AppTheme m_theme;
    QPalette m_platformPalette;
    std::optional<ColorScheme> m_desktopScheme;
};

}  // namespace reelkeep
