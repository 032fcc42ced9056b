// library_fixture.h: a folder library over a temporary folder, with every store,
// cache, trash and config path inside a second temporary folder, so no test
// touches the user's own. Clips are made by the ffmpeg command at test time.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <memory>
#include <optional>

#include "folder/fs/fs_fixture.h"
#include "library/await_task.h"
#include "library/photo_library_service.h"
#include "platform/folder/folder_library.h"
#include "platform/folder/fs/path_id.h"

namespace reelkeep::testing {

using fs::test::join;
using fs::test::TempDir;

struct ScanOutcome {
    VideoList items;
    ScanTimings timings;
};

class FolderLibraryTest : public ::testing::Test {
protected:
    QByteArray root() const { return m_library.path(); }
    QByteArray state() const { return m_state.path(); }
    QByteArray trashFiles() const { return state() + "/Trash/files"; }

    FolderLibraryOptions options() const {
        FolderLibraryOptions options;
        options.explicitRoots = {root()};
        options.choicePath = QFile::decodeName(state() + "/config/library-folders");
        fs::RootInputs defaults;
        defaults.homePath = state();
        defaults.isExistingFolder = [](const QByteArray&) { return false; };
        options.defaultRootInputs = defaults;
        options.favoritesPath = QFile::decodeName(state() + "/data/favorites.sqlite");
        options.indexPath = QFile::decodeName(state() + "/cache/index.sqlite");
        options.fingerprintsInBackground = false;
        options.thumbnailCacheRoot = QFile::decodeName(state() + "/cache/thumbnails");
        fs::TrashOptions trash;
        trash.homeTrashPath = state() + "/Trash";
        trash.uid = ::getuid();
        options.trash = trash;
        return options;
    }

    std::shared_ptr<FolderLibrary> openLibrary() { return openLibrary(options()); }
    std::shared_ptr<FolderLibrary> openLibrary(FolderLibraryOptions chosen) {
        m_service.reset();
        m_folderLibrary = FolderLibrary::create(std::move(chosen));
        m_service = std::make_unique<PhotoLibraryService>(m_folderLibrary->ports());
        return m_folderLibrary;
    }
    PhotoLibraryService& service() {
        if (!m_service) openLibrary();
        return *m_service;
    }

    // One second (or `seconds`) of the test pattern, H.264; false when ffmpeg failed.
    bool makeClip(const QByteArray& name, double seconds = 1, const QString& size = QStringLiteral("320x240"),
                  const QStringList& extra = {}) {
        QStringList arguments{
            QStringLiteral("-y"),        QStringLiteral("-hide_banner"),
            QStringLiteral("-loglevel"), QStringLiteral("error"),
            QStringLiteral("-f"),        QStringLiteral("lavfi"),
            QStringLiteral("-i"),        QStringLiteral("testsrc=size=%1:rate=10").arg(size),
            QStringLiteral("-t"),        QString::number(seconds),
            QStringLiteral("-c:v"),      QStringLiteral("libx264"),
            QStringLiteral("-preset"),   QStringLiteral("ultrafast"),
            QStringLiteral("-pix_fmt"),  QStringLiteral("yuv420p")};
        arguments << extra << QStringLiteral("--") << QFile::decodeName(join(root(), name));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
        if (!ffmpeg.waitForFinished(30'000)) {
            ffmpeg.kill();
            ffmpeg.waitForFinished(5000);
            return false;
        }
        return ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    }

    // The whole scan as the view model runs it: begin, every batch, finish;
    // `early` gathers the rows told before the count.
    std::optional<ScanOutcome> scan(VideoList* early = nullptr) {
        std::function<void(VideoList)> onEarly;
        if (early)
            onEarly = [early](const VideoList& rows) { *early += rows; };  // the fetch's thread, in turn
        const std::optional<Result<qsizetype>> total = awaitFor(service().beginScan({}, {}, onEarly));
        if (!total || !*total) return std::nullopt;
        ScanOutcome outcome;
        for (qsizetype start = 0; start < total->value(); start += kScanBatchSize) {
            std::optional<Result<ScanBatch>> batch = awaitFor(service().readBatch(start, kScanBatchSize));
            if (!batch || !*batch) return std::nullopt;
            outcome.items += batch->value().items;
        }
        const std::optional<ScanTimings> timings = awaitFor(service().finishScan());
        if (!timings) return std::nullopt;
        outcome.timings = *timings;
        return outcome;
    }

    static std::optional<VideoItem> itemNamed(const VideoList& items, const QString& name) {
        for (const VideoItem& item : items)
            if (item.displayName() == name) return item;
        return std::nullopt;
    }

    QString identifierOf(const QByteArray& name) const { return fs::identifierForPath(join(root(), name)); }

private:
    TempDir m_library;
    TempDir m_state;
    std::shared_ptr<FolderLibrary> m_folderLibrary;
    std::unique_ptr<PhotoLibraryService> m_service;  // after the library: goes first
};

}  // namespace reelkeep::testing
