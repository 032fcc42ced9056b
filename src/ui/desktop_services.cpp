// desktop_services.cpp: file panels, clipboard and file manager for the view model.
#include "desktop_services.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

#include "model/texts.h"

namespace reelkeep {

namespace {

QString startDirectory() {
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QDir::homePath() : downloads;
}

void openContainingFolder(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace

std::optional<QString> QtFilePanels::chooseSaveFile(const SavePanelRequest& request) {
    const QString suggested = QDir(startDirectory()).filePath(request.suggestedName);
    const QString chosen = QFileDialog::getSaveFileName(m_parent, reelkeep::tr("Export Copy"), suggested);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

std::optional<QString> QtFilePanels::chooseFolder(const QString& prompt) {
    const QString chosen = QFileDialog::getExistingDirectory(m_parent, prompt, startDirectory());
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

void QtPasteboard::setPlainText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void QtWorkspace::showFileInFileManager(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [path](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) openContainingFolder(path);
                     });
}

void QtWorkspace::showTrash() {
    const QUrl trash(QStringLiteral("trash:///"));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(trash);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowFolders"));
    call << QStringList{trash.toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [trash](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) QDesktopServices::openUrl(trash);
                     });
}

DesktopEnvironment desktopEnvironment(const QString& applicationId) {
    DesktopEnvironment desktop;
    desktop.panels = std::make_shared<QtFilePanels>();
    desktop.environment = Environment{systemClock(), desktop.panels, std::make_shared<QtPasteboard>(),
                                      std::make_shared<QtWorkspace>(), systemScanLog(applicationId)};
    return desktop;
}

}  // namespace reelkeep
