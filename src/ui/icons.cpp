// icons.cpp: one table from symbol names to theme icons and style fallbacks.
#include "icons.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QStandardPaths>
#include <QStyle>

namespace reelkeep {

namespace {

struct SymbolMapping {
    const char* themeName;
    QStyle::StandardPixmap fallback;
};

const QHash<QString, SymbolMapping>& symbolTable() {
    static const QHash<QString, SymbolMapping> table = {
        {QStringLiteral("arrow.clockwise"), {"view-refresh", QStyle::SP_BrowserReload}},
        {QStringLiteral("stop.fill"), {"process-stop", QStyle::SP_BrowserStop}},
        {QStringLiteral("trash"), {"user-trash", QStyle::SP_TrashIcon}},
        {QStringLiteral("play.fill"), {"media-playback-start", QStyle::SP_MediaPlay}},
        {QStringLiteral("pause.fill"), {"media-playback-pause", QStyle::SP_MediaPause}},
        {QStringLiteral("speaker.wave.2.fill"), {"audio-volume-high", QStyle::SP_MediaVolume}},
        {QStringLiteral("speaker.slash.fill"), {"audio-volume-muted", QStyle::SP_MediaVolumeMuted}},
        {QStringLiteral("xmark"), {"window-close", QStyle::SP_DialogCloseButton}},
        {QStringLiteral("video.slash"), {"video-x-generic", QStyle::SP_MessageBoxWarning}},
        {QStringLiteral("film"), {"video-x-generic", QStyle::SP_FileIcon}},
        {QStringLiteral("rectangle.on.rectangle"), {"video-display", QStyle::SP_ComputerIcon}},
        {QStringLiteral("lock.fill"), {"object-locked", QStyle::SP_MessageBoxWarning}},
        {QStringLiteral("exclamationmark.triangle"), {"dialog-warning", QStyle::SP_MessageBoxWarning}},
        {QStringLiteral("line.3.horizontal.decrease.circle"),
         {"view-filter", QStyle::SP_FileDialogContentsView}},
        {QStringLiteral("arrow.triangle.2.circlepath"), {"view-refresh", QStyle::SP_BrowserReload}},
        {QStringLiteral("chevron.left"), {"go-previous", QStyle::SP_ArrowLeft}},
        {QStringLiteral("chevron.right"), {"go-next", QStyle::SP_ArrowRight}},
        {QStringLiteral("play.rectangle"), {"media-playback-start", QStyle::SP_MediaPlay}},
        {QStringLiteral("photo.on.rectangle"), {"folder-open", QStyle::SP_DirOpenIcon}},
        {QStringLiteral("doc.on.doc"), {"edit-copy", QStyle::SP_FileIcon}},
        {QStringLiteral("heart"), {"emblem-favorite", QStyle::SP_DialogYesButton}},
        {QStringLiteral("heart.slash"), {"emblem-unfavorite", QStyle::SP_DialogNoButton}},
        {QStringLiteral("heart.fill"), {"emblem-favorite", QStyle::SP_DialogYesButton}},
        {QStringLiteral("arrow.down.circle"), {"document-save", QStyle::SP_DialogSaveButton}},
        {QStringLiteral("rectangle.portrait"), {"", QStyle::SP_FileIcon}},
        {QStringLiteral("rectangle"), {"", QStyle::SP_FileIcon}},
    };
    return table;
}

}  // namespace

namespace {

bool isIconThemeOurs = false;

bool isIconThemeInstalled(const char* theme) {
    const QStringList dirs = QStandardPaths::locateAll(
        QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    for (const QString& dir : dirs)
        if (QDir(dir).exists(QLatin1String(theme) + QLatin1String("/index.theme"))) return true;
    return false;
}

}  // namespace

void ensureIconTheme() {
    if (isIconThemeOurs) return;
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")) return;
    for (const char* theme : {"breeze", "Adwaita"}) {
        if (isIconThemeInstalled(theme)) {
            QIcon::setThemeName(QLatin1String(theme));
            isIconThemeOurs = true;
            return;
        }
    }
}

void matchIconTheme(bool isDark) {
    if (!isIconThemeOurs) return;
    const QString current = QIcon::themeName();
    if (!current.startsWith(QLatin1String("breeze"))) return;  // Adwaita suits both
    const char* wanted = isDark ? "breeze-dark" : "breeze";
    if (current != QLatin1String(wanted) && isIconThemeInstalled(wanted))
        QIcon::setThemeName(QLatin1String(wanted));
}

QIcon symbolIcon(const QString& name) {
    const auto found = symbolTable().constFind(name);
    if (found == symbolTable().cend()) return {};
    const QIcon fallback = QApplication::style()->standardIcon(found->fallback);
    if (*found->themeName == '\0') return fallback;
    return QIcon::fromTheme(QLatin1String(found->themeName), fallback);
}

}  // namespace reelkeep
