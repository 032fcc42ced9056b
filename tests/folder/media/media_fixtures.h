// media_fixtures.h: small videos made by the ffmpeg command at test time, so no
// binary is checked in. Every process has a time limit.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace reelkeep::media::testing {

class MediaFixtures {
public:
    MediaFixtures();

    // Runs `ffmpeg -y -hide_banner -loglevel error <arguments> <folder>/<name>`;
    // the path, or nothing (with the reason in lastError()) when ffmpeg fails.
    std::optional<QString> make(const QString& name, const QStringList& arguments);
    // One second of the test pattern, H.264 in MP4 unless the extension says otherwise.
    std::optional<QString> makeClip(const QString& name, int width = 320, int height = 240,
                                    const QStringList& extra = {});
    QString writeBytes(const QString& name, const QByteArray& bytes);
    QString path(const QString& name) const { return m_dir.filePath(name); }
    const QString& lastError() const { return m_lastError; }

    static bool hasEncoder(const QString& encoder);
    // False, after saying which case is skipped, when this ffmpeg cannot make it.
    static bool canEncode(const char* encoder, const QString& caseName);
    // ffprobe's value of one format field, e.g. "duration".
    static std::optional<QString> ffprobeFormatField(const QString& file, const QString& field);

private:
    QTemporaryDir m_dir;
    QString m_lastError;
};

// A descriptor opened the way the library hands them out; closed on scope exit.
class OpenFile {
public:
    explicit OpenFile(const QString& path);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace reelkeep::media::testing
