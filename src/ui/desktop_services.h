// desktop_services.h: the Qt side of the view model's desktop interfaces: file
// panels, the clipboard and the file manager. The file manager is reached over
// D-Bus without waiting; nothing here ever starts a shell.
#pragma once

#include <QDBusConnection>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "viewmodel/environment.h"

namespace reelkeep {

class QtFilePanels final : public FilePanels {
public:
    void setParentWidget(QWidget* parent) { m_parent = parent; }
    // The last export folder, kept in QSettings; else XDG Videos, else home.
    QString exportFolder() const override;
    void rememberExportFolder(const QString& folder) override;
    std::optional<QString> chooseSaveFile(const SavePanelRequest& request) override;
    std::optional<QString> chooseFolder(const QString& prompt) override;

private:
    QPointer<QWidget> m_parent;
};

class QtPasteboard final : public Pasteboard {
public:
    void setPlainText(const QString& text) override;
};

// org.freedesktop.FileManager1.ShowItems with the file's URI; when no file
// manager answers, the folder opens through QDesktopServices instead.
class QtWorkspace final : public Workspace {
public:
    // The session bus, unless a test gives a private one.
    explicit QtWorkspace(QDBusConnection bus = QDBusConnection::sessionBus()) : m_bus(std::move(bus)) {}
    void showFileInFileManager(const QByteArray& path) override;
    // FileManager1.ShowFolders with trash:///, else QDesktopServices.
    void showTrash() override;

private:
    QDBusConnection m_bus;
};

// The file:// URI of an absolute path, every byte outside the unreserved set
// percent-encoded, so a name that is not UTF-8 keeps its bytes.
QString fileUri(const QByteArray& absolutePath);
// The URI of the folder holding `absolutePath`.
QString folderUri(const QByteArray& absolutePath);

// Everything the window hands its view model.
struct DesktopEnvironment {
    Environment environment;
    std::shared_ptr<QtFilePanels> panels;
};
DesktopEnvironment desktopEnvironment(std::shared_ptr<Clock> clock, std::shared_ptr<ScanLog> scanLog);

}  // namespace reelkeep
