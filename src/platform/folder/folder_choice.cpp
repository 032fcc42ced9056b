// folder_choice.cpp: reading and writing the chosen-folders file.
#include "platform/folder/folder_choice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/folder/fs/path_id.h"

namespace reelkeep {
namespace {
// The first line names the format, so a foreign file is never taken for a choice.
constexpr QByteArrayView kHeader = "# reelkeep library folders 1";
// A real choice is a few lines; anything bigger is not ours.
constexpr qint64 kMaxFileBytes = 1 << 20;
}  // namespace

QString defaultFolderChoicePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/reelkeep/library-folders");
}

std::optional<FolderChoice> readFolderChoice(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes) return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.front() != kHeader) return std::nullopt;
    FolderChoice choice;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) continue;
        const std::optional<QByteArray> folder = fs::percentDecodePath(lines[i]);
        if (!folder || !folder->startsWith('/')) return std::nullopt;
        choice.folders.push_back(*folder);
    }
    return choice;
}

bool writeFolderChoice(const QString& path, const FolderChoice& choice) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QByteArray content = kHeader.toByteArray() + '\n';
    for (const QByteArray& folder : choice.folders) content += fs::percentEncodePath(folder) + '\n';
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}

}  // namespace reelkeep
