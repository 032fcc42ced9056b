// fs_fixture.h: byte-exact file fixtures in a QTemporaryDir for the fs tests.
// Names are raw bytes (newlines, invalid UTF-8, 255 bytes), so everything here
// goes through POSIX calls, never QString paths.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/folder/fs/fingerprint.h"

// Raw bytes escaped, so a failing name with a newline or invalid UTF-8 reads clearly.
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toPercentEncoding("/ <>&!#()").toStdString() << '"';
}
inline void PrintTo(const QSet<QByteArray>& set, std::ostream* out) {
    QList<QByteArray> sorted{set.begin(), set.end()};
    std::sort(sorted.begin(), sorted.end());
    *out << '{';
    for (const QByteArray& bytes : sorted) {
        PrintTo(bytes, out);
        *out << ' ';
    }
    *out << '}';
}

namespace reelkeep::fs::test {

inline QByteArray tempPath(const QTemporaryDir& dir) {
    char* resolved = ::realpath(QFile::encodeName(dir.path()).constData(), nullptr);
    QByteArray path{resolved};
    std::free(resolved);
    return path;
}

// QTemporaryDir cannot remove names that are not UTF-8; this removes its
// contents byte-exactly first.
class TempDir {
public:
    TempDir() : m_path(tempPath(m_dir)) {}
    explicit TempDir(const QString& templatePath) : m_dir(templatePath), m_path(tempPath(m_dir)) {}
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        if (m_dir.isValid()) removeContents(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    bool isValid() const { return m_dir.isValid(); }
    const QByteArray& path() const { return m_path; }

private:
    // Folder by folder, so trees deeper than PATH_MAX go too; takes `folderFd`.
    static void removeContents(int folderFd) {
        DIR* dir = folderFd < 0 ? nullptr : ::fdopendir(folderFd);
        if (!dir) {
            if (folderFd >= 0) ::close(folderFd);
            return;
        }
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        for (const std::string& name : names) {
            if (::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) continue;
            removeContents(
                ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            ::unlinkat(::dirfd(dir), name.c_str(), AT_REMOVEDIR);
        }
        ::closedir(dir);
    }

    QTemporaryDir m_dir;
    QByteArray m_path;
};

inline QByteArray join(const QByteArray& folder, const QByteArray& name) {
    return folder + '/' + name;
}

inline void writeBytes(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, content.constData(), static_cast<size_t>(content.size())), content.size());
    ::close(fd);
}

inline QByteArray readBytes(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    QByteArray content;
    char buffer[65536];
    for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0;) content.append(buffer, count);
    ::close(fd);
    return content;
}

inline void makeFolder(const QByteArray& path) {
    ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.toStdString();
}

inline bool exists(const QByteArray& path) {
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0;
}

inline FileFingerprint fingerprintOfPath(const QByteArray& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.constData(), &status), 0) << path.toStdString();
    return fingerprintOf(status);
}

inline std::vector<QByteArray> folderNames(const QByteArray& folder) {
    std::vector<QByteArray> names;
    QDir dir{QFile::decodeName(folder)};
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        names.push_back(QFile::encodeName(name));
    return names;
}

// Bytes whose pattern does not repeat every 256, so a copy at a wrong offset differs.
inline QByteArray patternBytes(qsizetype size, int seed = 0) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7 + seed) & 0xFF);
    return bytes;
}

// A 255-byte name, the longest a file system allows.
inline QByteArray longName(const QByteArray& extension) {
    return QByteArray(255 - extension.size(), 'x') + extension;
}

// Mounts that live as long as this object: each is detached on every path
// out, innermost first, before the temporary folder holding it is removed.
class ScratchMounts {
public:
    ScratchMounts() = default;
    ScratchMounts(const ScratchMounts&) = delete;
    ScratchMounts& operator=(const ScratchMounts&) = delete;
    ~ScratchMounts() {
        for (auto it = m_points.rbegin(); it != m_points.rend(); ++it) ::umount2(it->constData(), MNT_DETACH);
    }
    // Runs one mounting command (an argument list, never a shell); false when
    // this machine cannot: not root, no such tool, or no kernel support.
    bool mount(const QStringList& command, const QByteArray& point) {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(command.first()).isEmpty()) return false;
        if (!run(command)) return false;
        m_points.push_back(point);
        return true;
    }
    static bool run(const QStringList& command) {
        QProcess process;
        process.start(command.first(), command.mid(1));
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

private:
    std::vector<QByteArray> m_points;
};

}  // namespace reelkeep::fs::test
