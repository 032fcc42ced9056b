// media_fixtures.cpp: ffmpeg through QProcess with argument lists, never a shell.
#include "media_fixtures.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <iostream>

namespace reelkeep::media::testing {

namespace {

constexpr int kProcessLimitMs = 60000;

std::optional<QByteArray> run(const QString& program, const QStringList& arguments, QString* error) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kProcessLimitMs)) {
        process.kill();
        process.waitForFinished(5000);
        if (error) *error = program + QStringLiteral(" did not finish");
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (error) *error = QString::fromLocal8Bit(process.readAllStandardError());
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

}  // namespace

MediaFixtures::MediaFixtures() = default;

std::optional<QString> MediaFixtures::make(const QString& name, const QStringList& arguments) {
    const QString output = path(name);
    QStringList all{QStringLiteral("-y"), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                    QStringLiteral("error")};
    all << arguments << output;
    if (!run(QStringLiteral("ffmpeg"), all, &m_lastError)) return std::nullopt;
    return output;
}

std::optional<QString> MediaFixtures::makeClip(const QString& name, int width, int height,
                                               const QStringList& extra) {
    QStringList arguments{
        QStringLiteral("-f"),       QStringLiteral("lavfi"),
        QStringLiteral("-i"),       QStringLiteral("testsrc=size=%1x%2:rate=10").arg(width).arg(height),
        QStringLiteral("-t"),       QStringLiteral("1"),
        QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
    if (!extra.contains(QStringLiteral("-c:v")))
        arguments << QStringLiteral("-c:v") << QStringLiteral("libx264");
    arguments << extra;
    return make(name, arguments);
}

QString MediaFixtures::writeBytes(const QString& name, const QByteArray& bytes) {
    QFile file(path(name));
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    return file.fileName();
}

bool MediaFixtures::hasEncoder(const QString& encoder) {
    static const QByteArray list =
        run(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")}, nullptr)
            .value_or(QByteArray());
    return list.contains(QByteArray(" ") + encoder.toLatin1() + ' ');
}

bool MediaFixtures::canEncode(const char* encoder, const QString& caseName) {
    if (hasEncoder(QString::fromLatin1(encoder))) return true;
    std::cout << "skipping " << caseName.toStdString() << ": this ffmpeg has no " << encoder << "\n";
    return false;
}

std::optional<QString> MediaFixtures::ffprobeFormatField(const QString& file, const QString& field) {
    const auto output = run(QStringLiteral("ffprobe"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                             QStringLiteral("format=") + field, QStringLiteral("-of"),
                             QStringLiteral("default=noprint_wrappers=1:nokey=1"), file},
                            nullptr);
    if (!output) return std::nullopt;
    return QString::fromUtf8(*output).trimmed();
}

OpenFile::OpenFile(const QString& path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {}

OpenFile::~OpenFile() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace reelkeep::media::testing
