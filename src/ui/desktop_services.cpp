// desktop_services.cpp: file panels, clipboard and file manager for the view model.
#include "desktop_services.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "model/texts.h"

namespace reelkeep {

namespace {

constexpr const char* kExportFolderKey = "lastExportFolder";

QString videosFolder() {
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return videos.isEmpty() ? QDir::homePath() : videos;
}

// QUrl keeps a percent-encoded byte that is not UTF-8 as it is, and xdg-open gets it so.
void openContainingFolder(const QByteArray& path) {
    QDesktopServices::openUrl(QUrl(folderUri(path)));
}

}  // namespace

QString fileUri(const QByteArray& absolutePath) {
    return QString::fromLatin1("file://" + absolutePath.toPercentEncoding("/"));
}

QString folderUri(const QByteArray& absolutePath) {
    const qsizetype slash = absolutePath.lastIndexOf('/');
    return fileUri(slash > 0 ? absolutePath.left(slash) : QByteArray("/"));
}

QString QtFilePanels::exportFolder() const {
    const QString last = QSettings().value(QLatin1String(kExportFolderKey)).toString();
    return last.isEmpty() ? videosFolder() : last;
}

void QtFilePanels::rememberExportFolder(const QString& folder) {
    QSettings().setValue(QLatin1String(kExportFolderKey), folder);
}

std::optional<QString> QtFilePanels::chooseSaveFile(const SavePanelRequest& request) {
    const QString suggested = QDir(request.folder).filePath(request.suggestedName);
    // Never "replace?": a taken name makes the copy take the next free one.
    const QString chosen = QFileDialog::getSaveFileName(m_parent, reelkeep::tr("Export Copy"), suggested, {},
                                                        nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

std::optional<QString> QtFilePanels::chooseFolder(const QString& prompt) {
    const QString chosen = QFileDialog::getExistingDirectory(m_parent, prompt, exportFolder());
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

void QtPasteboard::setPlainText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void QtWorkspace::showFileInFileManager(const QByteArray& path) {
    if (!m_bus.isConnected()) {
        openContainingFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUri(path)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [path](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) openContainingFolder(path);
                     });
}

void QtWorkspace::showTrash() {
    const QUrl trash(QStringLiteral("trash:///"));
    if (!m_bus.isConnected()) {
        QDesktopServices::openUrl(trash);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowFolders"));
    call << QStringList{trash.toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [trash](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) QDesktopServices::openUrl(trash);
                     });
}

DesktopEnvironment desktopEnvironment(std::shared_ptr<Clock> clock, std::shared_ptr<ScanLog> scanLog) {
    DesktopEnvironment desktop;
    desktop.panels = std::make_shared<QtFilePanels>();
    desktop.environment = Environment{std::move(clock), desktop.panels, std::make_shared<QtPasteboard>(),
                                      std::make_shared<QtWorkspace>(), std::move(scanLog)};
    return desktop;
}

}  // namespace reelkeep
