// view_model_fixture.h: a view model over a fresh simulated library with fake
// desktop services, and helpers that run the event loop until a condition holds
// (never longer than the limit).
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <mutex>

#include "library/await_task.h"
#include "platform/simulated/simulated_library.h"
#include "support/qt_printers.h"
#include "viewmodel/media_source.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep::test {

class FakeClock final : public Clock {
public:
    std::chrono::nanoseconds monotonicNow() const override {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    void advance(std::chrono::nanoseconds step) {
        std::lock_guard lock(m_mutex);
        m_now += step;
    }

private:
    mutable std::mutex m_mutex;
    std::chrono::nanoseconds m_now{std::chrono::hours(1)};
};

class FakePanels final : public FilePanels {
public:
    QString exportFolder() const override { return folder; }
    void rememberExportFolder(const QString& chosen) override { folder = chosen; }
    std::optional<QString> chooseSaveFile(const SavePanelRequest& request) override {
        suggestedNames << request.suggestedName;
        openedFolders << request.folder;
        return saveAnswer;
    }
    std::optional<QString> chooseFolder(const QString& prompt) override {
        folderPrompts << prompt;
        return folderAnswer;
    }
    std::optional<QString> saveAnswer;
    std::optional<QString> folderAnswer;
    QString folder;
    QStringList suggestedNames;
    QStringList openedFolders;
    QStringList folderPrompts;
};

class FakePasteboard final : public Pasteboard {
public:
    void setPlainText(const QString& value) override { text = value; }
    QString text;
};

class FakeWorkspace final : public Workspace {
public:
    void showFileInFileManager(const QByteArray& path) override { shownPaths << path; }
    void showTrash() override { ++trashShownCount; }
    QList<QByteArray> shownPaths;
    int trashShownCount = 0;
};

class FakeScanLog final : public ScanLog {
public:
    void writeScanReport(const QString& report) override { reports << report; }
    QStringList reports;
};

inline SimulatedAsset fastVideo(const QString& id, std::int64_t bytes, std::optional<Timestamp> date = 1.6e9,
                                const QString& name = {}) {
    SimulatedAsset asset;
    asset.localIdentifier = id;
    asset.creationDate = date;
    asset.duration = 12.5;
    const QString fileName = name.isEmpty() ? id + ".mov" : name;
    asset.resources = {SimulatedResource{int(ResourceType::video), fileName, bytes}};
    asset.withFastFilename(fileName).withFastSize(bytes);
    return asset;
}

// v000, v001, …: each a byte bigger and a day newer than the one before.
inline QList<SimulatedAsset> numberedVideos(int count) {
    QList<SimulatedAsset> assets;
    for (int i = 0; i < count; ++i)
        assets << fastVideo(QStringLiteral("v%1").arg(i, 3, 10, QLatin1Char('0')), 1000 + i,
                            1.6e9 + i * 86400.0);
    return assets;
}

// A simulated library and every platform service a window uses, faked.
struct FakeWorld {
    Environment environment() const { return Environment{clock, panels, pasteboard, workspace, scanLog}; }

    std::shared_ptr<SimulatedLibrary> library = SimulatedLibrary::create();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakePanels> panels = std::make_shared<FakePanels>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<FakeScanLog> scanLog = std::make_shared<FakeScanLog>();
};

class ViewModelTest : public ::testing::Test, protected FakeWorld {
protected:
    void SetUp() override { makeViewModel(); }

    // A new window's view model over a new service, as app/ builds them.
    void makeViewModel() {
        viewModel.reset();
        media.reset();
        service = std::make_unique<PhotoLibraryService>(library->ports());
        media = std::make_unique<ServiceMediaSource>(*service);
        viewModel = std::make_unique<VideoListViewModel>(*service, environment());
        QObject::connect(viewModel.get(), &VideoListViewModel::statusChanged, viewModel.get(),
                         [this] { statuses << viewModel->status().text(); });
    }

    bool waitUntil(const std::function<bool()>& isDone) { return reelkeep::testing::pumpUntil(isDone); }

    bool isIdle() const { return !viewModel->isScanning() && !viewModel->isCheckingCopies(); }
    // Starts (or rescans) and waits for the scan and the check for copies to end.
    void scan() {
        ASSERT_TRUE(waitUntil([&] { return isIdle(); }));
        viewModel->rescan();
        ASSERT_TRUE(waitUntil([&] { return isIdle(); }));
    }
    void startAndScan() {
        viewModel->start();
        ASSERT_TRUE(waitUntil([&] { return isIdle(); }));
    }
    bool waitForAction() {
        return waitUntil([&] { return !viewModel->isPerformingItemAction(); });
    }
    // Asks to move `items` to the Trash, confirms, and waits for the move.
    bool trash(const VideoList& items) {
        viewModel->requestDeletion(items);
        viewModel->confirmDeletion();
        return waitForAction();
    }

    QStringList visibleIDs() const {
        QStringList ids;
        for (const VideoItem& item : viewModel->visibleItems()) ids << item.localIdentifier();
        return ids;
    }
    QString status() const { return viewModel->status().text(); }

    std::unique_ptr<PhotoLibraryService> service;
    std::unique_ptr<ServiceMediaSource> media;  // what the window's views load from
    std::unique_ptr<VideoListViewModel> viewModel;
    QStringList statuses;
};

}  // namespace reelkeep::test
