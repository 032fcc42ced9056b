// walk.cpp: the directory walk, the video-name rule and root resolution.
#include "platform/folder/fs/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_set>

#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

// Deeper trees than this are pathological (or a bind-mount maze); each level
// holds one open folder, so the cap also bounds descriptor use.
constexpr int kMaxDepth = 200;
// Entries read between two looks at the stop token inside one folder.
constexpr std::uint32_t kEntriesPerStopCheck = 256;
// Bounds the extension cache against a folder of generated names.
constexpr qsizetype kMaxCachedExtensions = 4096;

struct DeviceInode {
    std::uint64_t device;
    std::uint64_t inode;
    friend bool operator==(const DeviceInode&, const DeviceInode&) = default;
};

struct DeviceInodeHash {
    std::size_t operator()(const DeviceInode& key) const {
        return std::hash<std::uint64_t>{}(key.inode * 0x9E3779B97F4A7C15ULL ^ key.device);
    }
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// One allocation of the exact size: a scan keeps every path for the session.
QByteArray joinPath(const QByteArray& folder, const char* name) {
    const std::size_t nameSize = std::strlen(name);
    const bool hasSlash = folder.endsWith('/');
    QByteArray path(folder.size() + (hasSlash ? 0 : 1) + qsizetype(nameSize), Qt::Uninitialized);
    char* out = std::copy(folder.cbegin(), folder.cend(), path.data());
    if (!hasSlash) *out++ = '/';
    std::copy_n(name, nameSize, out);
    return path;
}

// One entry per (device, inode): a hard link, or the same file reached through
// a second root or a bind mount, keeps its first place and is named by its
// smallest path, so that readdir order cannot change its identifier from one
// scan to the next. Sorting once beats hashing 100,000 files as they come.
void keepOneEntryPerFile(std::vector<WalkEntry>& entries) {
    struct Sighting {
        std::uint64_t device;
        std::uint64_t inode;
        std::size_t position;
    };
    std::vector<Sighting> sightings;
    sightings.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        sightings.push_back({entries[i].fingerprint.device, entries[i].fingerprint.inode, i});
    std::sort(sightings.begin(), sightings.end(), [](const Sighting& a, const Sighting& b) {
        return std::tie(a.device, a.inode, a.position) < std::tie(b.device, b.inode, b.position);
    });
    std::vector<bool> isRepeat(entries.size(), false);
    bool hasRepeats = false;
    std::size_t groupStart = 0;
    for (std::size_t i = 1; i < sightings.size(); ++i) {
        const Sighting& first = sightings[groupStart];
        if (sightings[i].device != first.device || sightings[i].inode != first.inode) {
            groupStart = i;
            continue;
        }
        // Ties sort by position, so a group starts with its first sighting.
        QByteArray& keptPath = entries[first.position].path;
        QByteArray& repeatedPath = entries[sightings[i].position].path;
        if (repeatedPath < keptPath) keptPath = std::move(repeatedPath);
        isRepeat[sightings[i].position] = true;
        ++entries[first.position].linksInside;
        hasRepeats = true;
    }
    if (!hasRepeats) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (isRepeat[i]) continue;
        if (kept != i) entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.resize(kept);
}

class Walker {
public:
    Walker(const VideoNamePredicate& isVideoName, std::stop_token stop, const WalkProgress& onFolderListed)
        : m_isVideoName(isVideoName), m_stop(std::move(stop)), m_onFolderListed(onFolderListed) {}

    void walkRoot(const QByteArray& root) {
        Result<UniqueFd> folder = openFolder(root);
        if (!folder) {
            m_result.skippedFolders.push_back(folder.error());
            return;
        }
        walkFolder(std::move(folder.value()), root, 0);
    }

    WalkResult take() {
        keepOneEntryPerFile(m_result.entries);
        return std::move(m_result);
    }
    bool isStopped() const { return m_result.isStopped; }

private:
    void walkFolder(UniqueFd folderFd, const QByteArray& path, int depth) {
        if (m_stop.stop_requested()) {
            m_result.isStopped = true;
            return;
        }
        struct stat status {};
        if (::fstat(folderFd.get(), &status) != 0) {
            m_result.skippedFolders.push_back(IoError::fromErrno(IoOperation::inspect, path));
            return;
        }
        // A bind mount can show a folder inside itself; each folder is read once.
        if (!m_seenFolders.insert({status.st_dev, status.st_ino}).second) return;

        DirHandle dir{::fdopendir(folderFd.get())};
        if (!dir) {
            m_result.skippedFolders.push_back(IoError::fromErrno(IoOperation::readFolder, path));
            return;
        }
        folderFd.release();  // the DIR owns it now
        m_result.walkedFolders.push_back(path);

        std::vector<QByteArray> subfolders;
        bool isStatReported = false;
        for (std::uint32_t listed = 1;; ++listed) {
            // A folder of 100,000 files takes seconds on a slow disk: Stop must not wait for it.
            if (listed % kEntriesPerStopCheck == 0 && m_stop.stop_requested()) {
                m_result.isStopped = true;
                return;
            }
            errno = 0;
            const dirent* entry = ::readdir(dir.get());
            if (!entry) {
                if (errno != 0)
                    m_result.skippedFolders.push_back(IoError::fromErrno(IoOperation::readFolder, path));
                break;
            }
            // Hidden names, and with them ".", ".." and every ".Trash-*".
            if (entry->d_name[0] == '.') continue;
            const unsigned char type = entry->d_type;
            if (type == DT_DIR) {
                subfolders.emplace_back(entry->d_name);
                continue;
            }
            // Symlinks, FIFOs, devices and sockets are never videos, whatever their name.
            if (type != DT_REG && type != DT_UNKNOWN) continue;
            const std::size_t nameSize = std::strlen(entry->d_name);
            m_name.resize(qsizetype(nameSize));
            std::memcpy(m_name.data(), entry->d_name, nameSize);
            if (type == DT_REG && !m_isVideoName(m_name)) continue;

            struct statx fileStatus {};
            if (::statx(::dirfd(dir.get()), entry->d_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                        STATX_BASIC_STATS, &fileStatus) != 0) {
                // Gone since readdir: not an error. Anything else (a folder we may
                // list but not search) is reported once for the folder.
                if (errno != ENOENT && !isStatReported) {
                    m_result.skippedFolders.push_back(
                        IoError::fromErrno(IoOperation::inspect, joinPath(path, entry->d_name)));
                    isStatReported = true;
                }
                continue;
            }
            if (S_ISDIR(fileStatus.stx_mode)) {
                subfolders.push_back(m_name);
                continue;
            }
            if (!S_ISREG(fileStatus.stx_mode)) continue;
            if (type == DT_UNKNOWN && !m_isVideoName(m_name)) continue;
            addFile(joinPath(path, entry->d_name), fileStatus);
        }
        if (m_onFolderListed && m_reported < m_result.entries.size()) {
            m_onFolderListed(std::span(m_result.entries).subspan(m_reported));
            m_reported = m_result.entries.size();
        }

        for (const QByteArray& name : subfolders) {
            if (m_stop.stop_requested()) {
                m_result.isStopped = true;
                return;
            }
            const QByteArray subPath = joinPath(path, name.constData());
            if (depth + 1 > kMaxDepth) {
                m_result.skippedFolders.push_back(
                    IoError::fromErrorNumber(IoOperation::readFolder, subPath, ELOOP));
                continue;
            }
            UniqueFd subFd{::openat(::dirfd(dir.get()), name.constData(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
            if (!subFd) {
                // Removed or swapped for a symlink or a file since readdir: nothing to walk.
                if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
                    m_result.skippedFolders.push_back(IoError::fromErrno(IoOperation::open, subPath));
                continue;
            }
            walkFolder(std::move(subFd), subPath, depth + 1);
        }
    }

    // Repeated files are dropped once the walk is done (keepOneEntryPerFile).
    void addFile(QByteArray path, const struct statx& status) {
        const FileFingerprint fingerprint = fingerprintOf(status);
        WalkEntry entry{.path = std::move(path),
                        .fingerprint = fingerprint,
                        .allocatedBytes = static_cast<std::int64_t>(status.stx_blocks) * 512,
                        .mtimeNs = fingerprint.mtimeNs,
                        .linkCount = status.stx_nlink,
                        .linksInside = 1};
        m_result.entries.push_back(std::move(entry));
    }

    const VideoNamePredicate& m_isVideoName;
    std::stop_token m_stop;
    const WalkProgress& m_onFolderListed;
    std::size_t m_reported = 0;  // entries handed to m_onFolderListed so far
    WalkResult m_result;
    std::unordered_set<DeviceInode, DeviceInodeHash> m_seenFolders;
    // Reused for every name: the predicate takes a QByteArray, and one per entry
    // would be an allocation per file. One it keeps is detached by the next write.
    QByteArray m_name;
};

std::optional<QByteArray> canonicalPath(const QByteArray& path) {
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved) return std::nullopt;
    QByteArray canonical{resolved};
    std::free(resolved);
    return canonical;
}

// The last few answers of one thread, without a lock or an allocation: the
// names of a folder share a handful of extensions, and the shared cache costs a
// lock, a copy of the extension and a hash per file.
class RecentExtensions {
public:
    std::optional<bool> find(QByteArrayView extension) const {
        for (const Answer& answer : m_answers)
            if (answer.size == extension.size() &&
                std::memcmp(answer.bytes.data(), extension.data(), std::size_t(answer.size)) == 0)
                return answer.isVideo;
        return std::nullopt;
    }
    void remember(QByteArrayView extension, bool isVideo) {
        if (extension.size() > qsizetype(sizeof(Answer::bytes))) return;
        Answer& answer = m_answers[m_next++ % m_answers.size()];
        std::memcpy(answer.bytes.data(), extension.data(), std::size_t(extension.size()));
        answer.size = extension.size();
        answer.isVideo = isVideo;
    }

private:
    struct Answer {
        std::array<char, 16> bytes{};
        qsizetype size = 0;
        bool isVideo = false;
    };
    std::array<Answer, 8> m_answers{};
    std::size_t m_next = 0;
};

class ExtensionVideoRule {
public:
    bool isVideoName(const QByteArray& name) {
        const qsizetype dot = name.lastIndexOf('.');
        if (dot <= 0 || dot + 1 >= name.size()) return false;
        const QByteArrayView extension = QByteArrayView(name).sliced(dot + 1);
        thread_local RecentExtensions recent;  // the rule is one per process, so this is too
        if (const std::optional<bool> known = recent.find(extension)) return *known;
        const bool isVideo = isVideoExtension(extension.toByteArray());
        recent.remember(extension, isVideo);
        return isVideo;
    }

private:
    bool isVideoExtension(const QByteArray& extension) {
        const std::lock_guard lock{m_mutex};
        if (const auto cached = m_isVideoByExtension.constFind(extension);
            cached != m_isVideoByExtension.cend())
            return *cached;
        // Only the extension decides, so one stand-in name answers for all files.
        const QString probeName = QStringLiteral("probe.") + QFile::decodeName(extension);
        const bool isVideo = m_mimeDatabase.mimeTypeForFile(probeName, QMimeDatabase::MatchExtension)
                                 .name()
                                 .startsWith(u"video/");
        if (m_isVideoByExtension.size() < kMaxCachedExtensions)
            m_isVideoByExtension.insert(extension, isVideo);
        return isVideo;
    }

    std::mutex m_mutex;
    QMimeDatabase m_mimeDatabase;
    QHash<QByteArray, bool> m_isVideoByExtension;
};

}  // namespace

VideoNamePredicate defaultVideoNamePredicate() {
    static ExtensionVideoRule* const rule =
        new ExtensionVideoRule;  // shared by every caller, never destroyed
    return [](const QByteArray& name) { return rule->isVideoName(name); };
}

WalkResult walkRoots(const std::vector<QByteArray>& roots, const VideoNamePredicate& isVideoName,
                     std::stop_token stop, const WalkProgress& onFolderListed) {
    Walker walker{isVideoName, std::move(stop), onFolderListed};
    std::vector<QByteArray> canonicalRoots;
    std::vector<IoError> unusableRoots;
    for (const QByteArray& root : roots) {
        if (!root.startsWith('/')) {
            unusableRoots.push_back(IoError::fromErrorNumber(IoOperation::open, root, EINVAL));
            continue;
        }
        if (std::optional<QByteArray> canonical = canonicalPath(root))
            canonicalRoots.push_back(std::move(*canonical));
        else
            unusableRoots.push_back(IoError::fromErrno(IoOperation::open, root));
    }
    for (const QByteArray& root : dropNestedRoots(canonicalRoots)) {
        if (walker.isStopped()) break;
        walker.walkRoot(root);
    }
    WalkResult result = walker.take();
    result.skippedFolders.insert(result.skippedFolders.begin(), unusableRoots.begin(), unusableRoots.end());
    return result;
}

std::vector<QByteArray> dropNestedRoots(const std::vector<QByteArray>& roots) {
    std::vector<QByteArray> cleaned;
    for (const QByteArray& root : roots) cleaned.push_back(cleanPath(root));
    std::vector<QByteArray> kept;
    for (std::size_t i = 0; i < cleaned.size(); ++i) {
        bool isCovered = false;
        for (std::size_t j = 0; j < cleaned.size() && !isCovered; ++j) {
            if (i == j) continue;
            // Equal roots: the first one stays. Nested: the outer one stays.
            isCovered = cleaned[i] == cleaned[j] ? j < i : isSameOrInside(cleaned[i], cleaned[j]);
        }
        if (!isCovered) kept.push_back(cleaned[i]);
    }
    return kept;
}

ResolvedRoots resolveRoots(const RootInputs& inputs) {
    if (!inputs.explicitRoots.empty()) return ResolvedRoots{dropNestedRoots(inputs.explicitRoots), true};
    const QByteArray home = cleanPath(inputs.homePath);
    std::vector<QByteArray> usable;
    for (const QByteArray& candidate : inputs.defaultCandidates) {
        if (candidate.isEmpty() || !candidate.startsWith('/')) continue;
        const QByteArray cleaned = cleanPath(candidate);
        // $HOME itself, or a folder holding it such as "/", would scan the whole home.
        if (!home.isEmpty() && isSameOrInside(home, cleaned)) continue;
        if (!inputs.isExistingFolder || !inputs.isExistingFolder(cleaned)) continue;
        usable.push_back(cleaned);
    }
    return ResolvedRoots{dropNestedRoots(usable), false};
}

RootInputs systemRootInputs(std::vector<QByteArray> explicitRoots) {
    const auto canonicalOrSame = [](const QString& path) {
        const QByteArray bytes = QFile::encodeName(path);
        return canonicalPath(bytes).value_or(bytes);
    };
    RootInputs inputs;
    inputs.explicitRoots = std::move(explicitRoots);
    for (const auto location : {QStandardPaths::MoviesLocation, QStandardPaths::PicturesLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (!path.isEmpty()) inputs.defaultCandidates.push_back(canonicalOrSame(path));
    }
    inputs.homePath = canonicalOrSame(QDir::homePath());
    inputs.isExistingFolder = [](const QByteArray& path) {
        struct stat status {};
        return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
    };
    return inputs;
}

}  // namespace reelkeep::fs
