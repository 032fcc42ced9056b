// library_factory.cpp: the folder library for real use, the simulated one for demos.
#include "library_factory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <memory>

#include "platform/folder/folder_library.h"
#include "platform/folder/fs/path_id.h"
#include "platform/simulated/library_generator.h"
#include "platform/simulated/simulated_library.h"

namespace reelkeep {
namespace {

// Relative folders are taken from the current folder, as a shell user expects.
QByteArray absoluteBytes(const QByteArray& path) {
    if (path.startsWith('/')) return path;
    return QFile::encodeName(QDir::currentPath()) + '/' + path;
}

// REELKEEP_LIBRARY as bytes, so a folder name that is not UTF-8 still works.
std::vector<QByteArray> environmentFolders() {
    std::vector<QByteArray> folders;
    for (const QByteArray& part : qgetenv("REELKEEP_LIBRARY").split(':'))
        if (!part.isEmpty()) folders.push_back(absoluteBytes(part));
    return folders;
}

}  // namespace

LibraryPorts openLibrary(const LibraryRequest& request) {
    if (request.demoCount) {
        // The port holds the library only through its interfaces, so the ports
        // keep it alive as long as the service runs.
        auto library = SimulatedLibrary::create();
        GeneratorOptions options;
        options.assetCount = *request.demoCount;
        QList<SimulatedAsset> assets = generateLibrary(options);
        // The demo has no files of its own; cloud-only videos stay without one.
        if (!request.demoClipPath.isEmpty())
            for (SimulatedAsset& asset : assets)
                if (asset.localFilePath) asset.localFilePath = request.demoClipPath;
        library->addAssets(assets);
        return library->ports();
    }
    FolderLibraryOptions options;
    for (const QByteArray& folder : request.folderBytes)
        options.explicitRoots.push_back(absoluteBytes(folder));
    if (request.folderBytes.empty())
        for (const QString& folder : request.folders)
            options.explicitRoots.push_back(absoluteBytes(QFile::encodeName(folder)));
    options.explicitRootsSource = QStringLiteral("--library");
    if (options.explicitRoots.empty()) {
        options.explicitRoots = environmentFolders();
        options.explicitRootsSource = QStringLiteral("REELKEEP_LIBRARY");
    }
    if (!request.sampleFolder.isEmpty())
        options.sampleRoot = absoluteBytes(QFile::encodeName(request.sampleFolder));
    // No chooser (the command line): without folders access is "denied", and it says how to name some.
    options.chooser = request.chooser;
    // A decoder that crashes on a hostile file then costs a worker, not the window.
    options.thumbnailWorker = request.worker;
    return FolderLibrary::create(std::move(options))->ports();
}

std::optional<QByteArray> libraryFilePath(const QString& localIdentifier) {
    return fs::pathForIdentifier(localIdentifier);
}

std::function<FileFacts(std::size_t item)> fileFactsOf(const LibraryPorts& ports, const VideoList& items) {
    // The folder library hands over the paths it holds: decoding 100,000 identifiers costs more.
    const auto folders = std::dynamic_pointer_cast<FolderLibrary>(ports.authorization);
    std::function<FileFacts(std::size_t)> scanned = folders ? folders->scannedFacts(items) : nullptr;
    return [scanned = std::move(scanned), items](std::size_t item) {
        FileFacts facts = scanned ? scanned(item) : FileFacts{};
        if (!facts.path && item < std::size_t(items.size()))
            facts.path = libraryFilePath(items[qsizetype(item)].localIdentifier());
        return facts;
    };
}

bool reopenLibraryChooser(const LibraryPorts& ports) {
    const auto folders = std::dynamic_pointer_cast<FolderLibrary>(ports.authorization);
    if (!folders) return false;
    folders->reopenFolderChooser();
    return true;
}

}  // namespace reelkeep
