// window_fixture.h: the whole window offscreen over the simulated library, for
// the window tests; every wait has the fixture's limit.
#pragma once

#include <QMessageBox>
#include <QPushButton>

#include "ui/app_theme.h"
#include "ui/main_window.h"
#include "ui/video_commands.h"
#include "ui/video_table_model.h"
#include "ui/video_table_view.h"
#include "ui_fixture.h"
#include "viewmodel/library_session.h"

namespace reelkeep::test {

class WindowTest : public ::testing::Test, protected FakeWorld {
protected:
    using Command = VideoCommands::Command;

    void SetUp() override {
        theme = std::make_unique<ThemeController>(settings, false);
        session = std::make_unique<LibrarySession>(library->ports(), environment());
        window = std::make_unique<MainWindow>(session->viewModel, session->media, *theme);
    }
    void TearDown() override {
        window.reset();
        session.reset();
        // Requests still waiting when the service went resume, cancelled, on this loop.
        settle(std::chrono::milliseconds(100));
    }

    bool waitUntil(const std::function<bool()>& isDone) { return reelkeep::testing::pumpUntil(isDone); }
    void showAndScan() {
        window->show();
        ASSERT_TRUE(waitUntil(
            [&] { return !model().isScanning() && !model().isCheckingCopies() && model().hasItems(); }));
    }
    VideoListViewModel& model() { return window->viewModel(); }
    VideoTableModel& rows() { return window->table()->videoModel(); }
    QAction* command(Command c) { return window->commands()->action(c); }
    QStringList rowIDs() {
        QStringList ids;
        for (int row = 0; row < rows().rowCount(); ++row) ids << rows().itemAt(row).id();
        return ids;
    }
    // Asks to move the selection to the Trash: the confirmation, or null after the limit.
    QMessageBox* askToTrash() {
        command(Command::deleteVideos)->trigger();
        waitUntil([&] { return window->deleteConfirmation() != nullptr; });
        return window->deleteConfirmation();
    }
    // Answers the open confirmation and waits for it, and any move it started, to end.
    void answerConfirmation(bool isConfirmed) {
        QMessageBox* box = window->deleteConfirmation();
        ASSERT_NE(box, nullptr);
        if (isConfirmed)
            box->findChild<QPushButton*>("confirmDeletion")->click();
        else
            box->reject();
        ASSERT_TRUE(
            waitUntil([&] { return !model().isPerformingItemAction() && !window->deleteConfirmation(); }));
    }
    void trashSelection() {
        ASSERT_NE(askToTrash(), nullptr);
        answerConfirmation(true);
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    std::unique_ptr<LibrarySession> session;
    std::unique_ptr<ThemeController> theme;
    std::unique_ptr<MainWindow> window;
};

}  // namespace reelkeep::test
