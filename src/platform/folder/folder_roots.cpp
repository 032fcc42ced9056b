// folder_roots.cpp: resolving, checking and choosing the library folders.
#include "platform/folder/folder_roots.h"

#include <QDebug>
#include <cstdlib>

#include "platform/folder/folder_options.h"
#include "platform/folder/fs/path_id.h"

namespace reelkeep {
namespace {

bool isReadableFolder(const QByteArray& path, const fs::RootProbe& probe) {
    if (!path.startsWith('/')) return false;
    bool isFolder = false;
    return probe(path, &isFolder) == 0 && isFolder;
}

}  // namespace

QByteArray resolvedOrSame(const QByteArray& path) {
    char* resolved = ::realpath(path.constData(), nullptr);
    const QByteArray canonical = resolved ? QByteArray(resolved) : path;
    std::free(resolved);
    return canonical;
}

FolderRoots::FolderRoots(const FolderLibraryOptions& options)
    : m_options(options),
      m_rootProbe(
          fs::probeWithAnswerLimit(options.mountInputs ? options.mountInputs->probe : fs::systemRootProbe(),
                                   options.rootAnswerLimit)) {}

QString FolderRoots::choicePath() const {
    return m_options.choicePath.isEmpty() ? defaultFolderChoicePath() : m_options.choicePath;
}

std::optional<FolderChoice> FolderRoots::savedChoice() const {
    {
        std::lock_guard lock(m_mutex);
        if (m_unsavedChoice) return m_unsavedChoice;
    }
    return readFolderChoice(choicePath());
}

bool FolderRoots::saveChoice(const std::vector<QByteArray>& folders) {
    const FolderChoice choice{folders};
    const QString path = choicePath();
    const bool isSaved = writeFolderChoice(path, choice);
    if (!isSaved) qWarning().noquote() << "reelkeep: could not save the chosen folders to" << path;
    std::lock_guard lock(m_mutex);
    // Unsaved, the choice still holds for this session rather than asking again.
    m_unsavedChoice = isSaved ? std::nullopt : std::optional{choice};
    return isSaved;
}

RootAccess FolderRoots::resolve() const {
    std::vector<QByteArray> configured = m_options.explicitRoots;
    if (configured.empty()) {
        const std::optional<FolderChoice> choice = savedChoice();
        if (choice && choice->folders.empty()) return RootAccess{{}, {}, AuthorizationStatus::denied};
        if (choice) configured = choice->folders;
        if (!choice && !m_options.sampleRoot.isEmpty()) configured = {m_options.sampleRoot};
    }
    // The standard folders count only when none is named: looking them up reads
    // the user's folder settings, on every check of access.
    fs::RootInputs inputs;
    if (configured.empty())
        inputs = m_options.defaultRootInputs ? *m_options.defaultRootInputs : fs::systemRootInputs({});
    inputs.explicitRoots = configured;
    const fs::ResolvedRoots resolved = fs::resolveRoots(inputs);

    RootAccess access;
    access.roots = resolved.roots;
    for (const QByteArray& root : resolved.roots)
        if (isReadableFolder(root, m_rootProbe)) access.usable.push_back(root);
    if (access.roots.empty())
        access.status =
            resolved.isExplicit ? AuthorizationStatus::denied : AuthorizationStatus::notDetermined;
    else if (access.usable.size() == access.roots.size())
        access.status = AuthorizationStatus::authorized;
    else if (!access.usable.empty())
        access.status = AuthorizationStatus::limited;
    else
        access.status = AuthorizationStatus::denied;
    return access;
}

void FolderRoots::chooseIfUndecided() {
    // Needed only before any folder was named, when the check looks at the
    // standard folders in the home folder alone.
    if (m_options.chooser && m_options.explicitRoots.empty() && !savedChoice() &&
        resolve().status == AuthorizationStatus::notDetermined) {
        const std::optional<std::vector<QByteArray>> chosen = m_options.chooser->chooseFolders();
        saveChoice(chosen.value_or(std::vector<QByteArray>{}));
    }
}

void FolderRoots::choose() {
    if (m_options.chooser)
        if (const auto chosen = m_options.chooser->chooseFolders()) saveChoice(*chosen);
}

LibraryFolderList FolderRoots::libraryFolders() const {
    LibraryFolderList list;
    std::vector<QByteArray> folders = m_options.explicitRoots;
    if (!folders.empty()) {
        list.overriddenBy = m_options.explicitRootsSource;
    } else if (const std::optional<FolderChoice> choice = savedChoice()) {
        folders = choice->folders;
    } else if (!m_options.sampleRoot.isEmpty()) {
        folders = {m_options.sampleRoot};
        list.isDefault = true;
        list.isSample = true;
    } else {
        fs::RootInputs inputs =
            m_options.defaultRootInputs ? *m_options.defaultRootInputs : fs::systemRootInputs({});
        inputs.explicitRoots.clear();
        folders = fs::resolveRoots(inputs).roots;
        list.isDefault = true;
    }
    fs::MountInputs mounts = m_options.mountInputs ? *m_options.mountInputs : fs::systemMountInputs();
    mounts.probe = m_rootProbe;
    for (const QByteArray& folder : folders) {
        LibraryFolder entry{folder, {}, LibraryFolder::State::available};
        switch (fs::rootState(folder, mounts)) {
            case fs::RootState::available:
                entry.resolvedPath = fs::displayPath(resolvedOrSame(fs::cleanPath(folder)));
                break;
            case fs::RootState::missing:
                entry.state = LibraryFolder::State::missing;
                break;
            case fs::RootState::unreadable:
                entry.state = LibraryFolder::State::unreadable;
                break;
            case fs::RootState::notMounted:
                entry.state = LibraryFolder::State::notMounted;
                break;
            case fs::RootState::notAnswering:
                entry.state = LibraryFolder::State::notAnswering;
                break;
        }
        list.folders.append(std::move(entry));
    }
    return list;
}

bool FolderRoots::setLibraryFolders(const std::vector<QByteArray>& folders) {
    std::vector<QByteArray> cleaned;
    for (const QByteArray& folder : folders)
        if (folder.startsWith('/')) cleaned.push_back(fs::cleanPath(folder));
    return saveChoice(cleaned);
}

}  // namespace reelkeep
