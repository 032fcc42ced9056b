// app_theme.cpp: theme preference, palettes and the portal listener.
#include "app_theme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <QStyleFactory>

#include "model/texts.h"

namespace reelkeep {

namespace {

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kPortalSettings = "org.freedesktop.portal.Settings";
constexpr const char* kAppearanceGroup = "org.freedesktop.appearance";
constexpr const char* kColorSchemeKey = "color-scheme";

// The portal's Read wraps the value in one or two variants depending on its version.
QVariant unwrapped(QVariant value) {
    for (int depth = 0; depth < 3 && value.userType() == qMetaTypeId<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    return value;
}

}  // namespace

QString rawValue(AppTheme theme) {
    switch (theme) {
        case AppTheme::system:
            return QStringLiteral("system");
        case AppTheme::light:
            return QStringLiteral("light");
        case AppTheme::dark:
            return QStringLiteral("dark");
    }
    return {};
}

QString label(AppTheme theme) {
    switch (theme) {
        case AppTheme::system:
            return reelkeep::tr("System");
        case AppTheme::light:
            return reelkeep::tr("Light");
        case AppTheme::dark:
            return reelkeep::tr("Dark");
    }
    return {};
}

std::optional<AppTheme> appThemeFromRaw(const QString& raw) {
    for (const AppTheme theme : kAllAppThemes)
        if (rawValue(theme) == raw) return theme;
    return std::nullopt;
}

AppTheme readAppTheme(const QSettings& settings) {
    const QVariant stored = settings.value(QLatin1String(kAppThemeKey));
    if (stored.typeId() != QMetaType::QString) return AppTheme::system;
    return appThemeFromRaw(stored.toString()).value_or(AppTheme::system);
}

void writeAppTheme(QSettings& settings, AppTheme theme) {
    settings.setValue(QLatin1String(kAppThemeKey), rawValue(theme));
}

std::optional<ColorScheme> colorSchemeFromPortal(unsigned value) {
    switch (value) {
        case 0:
            return ColorScheme::noPreference;
        case 1:
            return ColorScheme::dark;
        case 2:
            return ColorScheme::light;
        default:
            return std::nullopt;
    }
}

QPalette lightPalette() {
    QPalette p;
    const QColor text(0x1d, 0x1d, 0x1f);
    const QColor disabledText(0x9a, 0x9a, 0x9e);
    p.setColor(QPalette::Window, QColor(0xf2, 0xf2, 0xf4));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, QColor(0xf5, 0xf5, 0xf7));
    p.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xf0));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x8e));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0xfa, 0xfa, 0xfb));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, Qt::white);
    p.setColor(QPalette::Midlight, QColor(0xe4, 0xe4, 0xe7));
    p.setColor(QPalette::Mid, QColor(0xc7, 0xc7, 0xcc));
    p.setColor(QPalette::Dark, QColor(0xa0, 0xa0, 0xa5));
    p.setColor(QPalette::Shadow, QColor(0x60, 0x60, 0x64));
    p.setColor(QPalette::Highlight, QColor(0x0a, 0x64, 0xd8));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x0a, 0x64, 0xd8));
    p.setColor(QPalette::LinkVisited, QColor(0x6a, 0x3d, 0xc8));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

QPalette darkPalette() {
    QPalette p;
    const QColor text(0xec, 0xec, 0xee);
    const QColor disabledText(0x70, 0x70, 0x76);
    p.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2d));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x29));
    p.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3d));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4e));
    p.setColor(QPalette::Midlight, QColor(0x3f, 0x3f, 0x43));
    p.setColor(QPalette::Mid, QColor(0x2f, 0x2f, 0x32));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7c, 0xf6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x5a, 0x9c, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xb0, 0x8c, 0xff));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

ThemeController::ThemeController(QSettings& settings, bool followsPortal, QObject* parent)
    : QObject(parent), m_settings(settings), m_theme(readAppTheme(settings)) {
    // Captured before Fusion replaces it: the fallback of "system".
    m_platformPalette = QApplication::palette();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (followsPortal) readPortal();
    apply();
}

void ThemeController::setTheme(AppTheme theme) {
    writeAppTheme(m_settings, theme);
    const bool isChange = theme != m_theme;
    m_theme = theme;
    apply();
    if (isChange) emit themeChanged(theme);
}

void ThemeController::applyStoredTheme() {
    const AppTheme stored = readAppTheme(m_settings);
    const bool isChange = stored != m_theme;
    m_theme = stored;
    apply();
    if (isChange) emit themeChanged(stored);
}

void ThemeController::setDesktopColorScheme(std::optional<ColorScheme> scheme) {
    m_desktopScheme = scheme;
    if (m_theme == AppTheme::system) apply();
}

bool ThemeController::isDark() const {
    switch (m_theme) {
        case AppTheme::light:
            return false;
        case AppTheme::dark:
            return true;
        case AppTheme::system:
            if (m_desktopScheme == ColorScheme::dark) return true;
            if (m_desktopScheme == ColorScheme::light) return false;
            return m_platformPalette.color(QPalette::Window).lightness() < 128;
    }
    return false;
}

void ThemeController::apply() {
    switch (m_theme) {
        case AppTheme::light:
            QApplication::setPalette(lightPalette());
            break;
        case AppTheme::dark:
            QApplication::setPalette(darkPalette());
            break;
        case AppTheme::system:
            if (m_desktopScheme == ColorScheme::dark)
                QApplication::setPalette(darkPalette());
            else if (m_desktopScheme == ColorScheme::light)
                QApplication::setPalette(lightPalette());
            else
                QApplication::setPalette(m_platformPalette);
            break;
    }
    emit appearanceApplied(isDark());
}

void ThemeController::readPortal() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;  // no desktop session: the platform palette stays
    bus.connect(QLatin1String(kPortalService), QLatin1String(kPortalPath), QLatin1String(kPortalSettings),
                QStringLiteral("SettingChanged"), this,
                SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(QLatin1String(kPortalService), QLatin1String(kPortalPath),
                                       QLatin1String(kPortalSettings), QStringLiteral("Read"));
    read << QLatin1String(kAppearanceGroup) << QLatin1String(kColorSchemeKey);
    // Asynchronous: a missing portal must not hold up the first window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
        const QVariant value = unwrapped(reply.arguments().first());
        bool isNumber = false;
        const unsigned scheme = value.toUInt(&isNumber);
        if (isNumber) setDesktopColorScheme(colorSchemeFromPortal(scheme));
    });
}

void ThemeController::portalSettingChanged(const QString& group, const QString& key,
                                           const QDBusVariant& value) {
    if (group != QLatin1String(kAppearanceGroup) || key != QLatin1String(kColorSchemeKey)) return;
    bool isNumber = false;
    const unsigned scheme = unwrapped(value.variant()).toUInt(&isNumber);
    if (isNumber) setDesktopColorScheme(colorSchemeFromPortal(scheme));
}

}  // namespace reelkeep
