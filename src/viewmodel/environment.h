// environment.h: what the view model takes from the desktop, as small interfaces
// so tests drive every path: clocks, the save and folder panels, the pasteboard,
// the file manager, and the log that receives the scan report. app/ supplies
// the real ones; everything is called on the main thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

namespace reelkeep {

class Clock {
public:
    virtual ~Clock() = default;
    // Keeps counting through suspend; never steps back.
    virtual std::chrono::nanoseconds monotonicNow() const = 0;
};

struct SavePanelRequest {
    QString suggestedName;  // already one safe file name, free in folder when it was looked at
    QString folder;         // where the panel opens
};

class FilePanels {
public:
    virtual ~FilePanels() = default;
    // Where exports go unless the user picks another folder: the last export
    // folder, else the user's Videos folder. Reads no file system.
    virtual QString exportFolder() const = 0;
    virtual void rememberExportFolder(const QString& folder) = 0;
    // The chosen destination file, or nothing when cancelled.
    virtual std::optional<QString> chooseSaveFile(const SavePanelRequest& request) = 0;
    // The chosen folder, or nothing when cancelled. prompt: the button text.
    virtual std::optional<QString> chooseFolder(const QString& prompt) = 0;
};

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual void setPlainText(const QString& text) = 0;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the file selected in the file manager; asynchronous, never blocks.
    // Bytes, not text: a name that is not UTF-8 must still name the file.
    virtual void showFileInFileManager(const QByteArray& path) = 0;
    // Opens the desktop Trash (trash:///) in the file manager; asynchronous.
    virtual void showTrash() = 0;
};

class ScanLog {
public:
    virtual ~ScanLog() = default;
    virtual void writeScanReport(const QString& report) = 0;
};

struct Environment {
    std::shared_ptr<Clock> clock;
    std::shared_ptr<FilePanels> panels;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<ScanLog> scanLog;
};

}  // namespace reelkeep
