// container_read_test.cpp: header values of real clips, and typed errors for the
// inputs a library meets: empty, truncated, garbage, FIFO, folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include "media_fixtures.h"
#include "platform/folder/media/container_read.h"

namespace reelkeep::media {
namespace {

using testing::MediaFixtures;
using testing::OpenFile;

QString fileNameOf(const QString& path) {
    return path.section(u'/', -1);
}

MediaResult<MediaInfo> readFile(const QString& path) {
    OpenFile file(path);
    return readContainer(file.fd(), fileNameOf(path).toStdString());
}

TEST(ContainerRead, ReadsSizeLengthDateAndOriginFromTheHeader) {
    struct Case {
        QString name;
        QStringList extra;  // to makeClip
        std::optional<Timestamp> creationDate = std::nullopt;
        bool isScreenRecording = false;
        const char* encoder = "libx264";
    };
    const QString kQtDate = QStringLiteral("com.apple.quicktime.creationdate=2019-07-18T14:45:21+0200");
    const QString kMeta = QStringLiteral("-metadata");
    const QStringList kHevc{"-c:v", "libx265", "-x265-params", "log-level=error", "-tag:v", "hvc1"};
    const Case cases[] = {
        {"plain.mp4", {}},
        {"plain.mov", {}},
        {"tagged.mp4", {kMeta, "creation_time=2021-03-04T05:06:07Z"}, 1614834367.0},
        // The QuickTime key wins over creation_time: it is the camera's moment.
        {"apple.mov",
         {"-movflags", "use_metadata_tags", kMeta, kQtDate, kMeta, "creation_time=2022-01-01T00:00:00Z"},
         1563453921.0},
        {"recorder.mp4", {"-metadata:s:v", "handler_name=SimpleScreenRecorder"}, std::nullopt, true},
        {"Screen Recording 2024-05-01 at 10.00.00.mov", {}, std::nullopt, true},
        {"screencast.mkv", {kMeta, "title=GNOME Screencast"}, std::nullopt, true},
        {"hevc.mp4", kHevc, std::nullopt, false, "libx265"},
        {"vp9.webm", {"-c:v", "libvpx-vp9", "-deadline", "realtime"}, std::nullopt, false, "libvpx-vp9"},
        // Camcorder and older formats: no header duration (TS), low probe scores (PS).
        {"camcorder.mts", {"-f", "mpegts"}},
        {"dvd.mpg", {"-c:v", "mpeg2video", "-f", "mpeg"}, std::nullopt, false, "mpeg2video"},
        {"old.avi", {"-c:v", "mpeg4"}, std::nullopt, false, "mpeg4"},
    };
    MediaFixtures fixtures;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        if (!MediaFixtures::canEncode(c.encoder, c.name)) continue;
        const auto path = fixtures.makeClip(c.name, 320, 240, c.extra);
        ASSERT_TRUE(path) << fixtures.lastError().toStdString();
        const auto info = readFile(*path);
        ASSERT_TRUE(info) << info.error().message().toStdString();
        EXPECT_EQ(info->pixelWidth, 320);
        EXPECT_EQ(info->pixelHeight, 240);
        EXPECT_EQ(info->creationDate, c.creationDate);
        EXPECT_EQ(info->isScreenRecording, c.isScreenRecording);
        EXPECT_TRUE(info->hasDecodableVideo);
        // Against ffprobe's own reading of the same file.
        const auto probed = MediaFixtures::ffprobeFormatField(*path, QStringLiteral("duration"));
        ASSERT_TRUE(probed);
        EXPECT_NEAR(info->lengthSeconds, probed->toDouble(), 0.001);
        EXPECT_NEAR(info->lengthSeconds, 1.0, 0.15);
    }
}

TEST(ContainerRead, PortraitPhoneVideoReportsItsDisplayedSize) {
    MediaFixtures fixtures;
    const auto stored = fixtures.makeClip(QStringLiteral("landscape.mp4"), 1920, 1080, {"-t", "0.3"});
    ASSERT_TRUE(stored) << fixtures.lastError().toStdString();
    // Phones store landscape frames with a display matrix: 90° and 270° swap the sides, 180° does not.
    for (const int degrees : {90, 270, 180, -90}) {
        SCOPED_TRACE(degrees);
        const auto rotated = fixtures.make(
            QStringLiteral("rotated%1.mp4").arg(degrees + 360),
            {"-i", *stored, "-c", "copy", "-metadata:s:v:0", QStringLiteral("rotate=%1").arg(degrees)});
        ASSERT_TRUE(rotated) << fixtures.lastError().toStdString();
        const auto info = readFile(*rotated);
        ASSERT_TRUE(info) << info.error().message().toStdString();
        const bool isPortrait = degrees % 180 != 0;
        EXPECT_EQ(info->pixelWidth, isPortrait ? 1080 : 1920);
        EXPECT_EQ(info->pixelHeight, isPortrait ? 1920 : 1080);
    }
}

// MP4 and MOV go straight to their demuxer when bytes 4-7 name a box; a file
// whose bytes only look so must still be read by what it really is.
TEST(ContainerRead, AFileThatOnlyLooksLikeAMovieIsReadByItsHeader) {
    MediaFixtures fixtures;
    const auto avi = fixtures.makeClip(QStringLiteral("old.avi"), 320, 240, {"-c:v", "mpeg4"});
    const auto webm = fixtures.makeClip(QStringLiteral("webm.mp4"), 320, 240,
                                        {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-f", "webm"});
    ASSERT_TRUE(avi && webm) << fixtures.lastError().toStdString();
    QFile aviFile(*avi);
    ASSERT_TRUE(aviFile.open(QIODevice::ReadOnly));
    // The RIFF size field spells a box type; the rest is a sound AVI.
    const QByteArray aviBytes = aviFile.readAll().replace(4, 4, "free");
    for (const QString& path : {fixtures.writeBytes(QStringLiteral("riff.mp4"), aviBytes), *webm}) {
        SCOPED_TRACE(path.toStdString());
        const auto info = readFile(path);
        ASSERT_TRUE(info) << info.error().message().toStdString();
        EXPECT_EQ(info->pixelWidth, 320);
        EXPECT_EQ(info->pixelHeight, 240);
        EXPECT_TRUE(info->hasDecodableVideo);
    }
}

TEST(ContainerRead, AudioOnlyFileIsReadButNotPlayable) {
    MediaFixtures fixtures;
    const auto path = fixtures.make(QStringLiteral("voice.mp4"),
                                    {"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac"});
    ASSERT_TRUE(path) << fixtures.lastError().toStdString();
    const auto info = readFile(*path);
    ASSERT_TRUE(info) << info.error().message().toStdString();
    EXPECT_FALSE(info->hasDecodableVideo);
    EXPECT_EQ(info->pixelWidth, 0);
    EXPECT_NEAR(info->lengthSeconds, 1.0, 0.1);
}

QStringList g_debugLines;
void keepDebugLine(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg && qstrcmp(context.category, "reelkeep.ffmpeg") == 0) g_debugLines << message;
}

// FFmpeg's complaints about them go to our debug log, never to stderr.
TEST(ContainerRead, BrokenInputsGiveTypedErrorsAndNeverCrash) {
    MediaFixtures fixtures;
    const auto whole = fixtures.makeClip(QStringLiteral("whole.mp4"));
    ASSERT_TRUE(whole) << fixtures.lastError().toStdString();
    QFile wholeFile(*whole);
    ASSERT_TRUE(wholeFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = wholeFile.readAll();

    QByteArray garbage(256 * 1024, '\0');
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
    // Random bytes behind magic numbers: FFmpeg guesses JPEG and AAC here with a
    // score of 1 to 7, which must not pass for a video.
    const QByteArray jpegLike = QByteArray("\xff\xd8\xff\xe0", 4) + garbage.left(5000);
    QByteArray adtsLike;
    for (int frame = 0; frame < 20; ++frame)
        adtsLike += QByteArray("\xff\xf1\x50\x80", 4) + garbage.mid(frame * 200, 200);
    // An MP4 whose moov (written last) never arrived: a copy stopped halfway.
    const QString truncated =
        fixtures.writeBytes(QStringLiteral("truncated.mp4"), bytes.left(bytes.size() / 2));
    // The header promises more than the file holds.
    const QString headerOnly = fixtures.writeBytes(QStringLiteral("header.mp4"), bytes.left(40));

    struct Case {
        QString path;
        MediaErrorKind expected;
    };
    const QString fifo = fixtures.path(QStringLiteral("pipe.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Case cases[] = {
        {fixtures.writeBytes(QStringLiteral("empty.mp4"), {}), MediaErrorKind::empty},
        {fixtures.writeBytes(QStringLiteral("garbage.mp4"), garbage), MediaErrorKind::notMedia},
        {fixtures.writeBytes(QStringLiteral("text.mp4"),
                             QByteArray("hello, this is not a video\n").repeated(50)),
         MediaErrorKind::notMedia},
        {fixtures.writeBytes(QStringLiteral("jpeg.mp4"), jpegLike), MediaErrorKind::notMedia},
        {fixtures.writeBytes(QStringLiteral("adts.mp4"), adtsLike), MediaErrorKind::notMedia},
        {truncated, MediaErrorKind::truncated},
        {headerOnly, MediaErrorKind::truncated},
        // A box header, then noise whose next "box" runs past the end.
        {fixtures.writeBytes(QStringLiteral("ftyp.mp4"), QByteArray("\0\0\0\x18"
                                                                    "ftypisom",
                                                                    12) +
                                                             garbage),
         MediaErrorKind::truncated},
        {fifo, MediaErrorKind::notRegularFile},  // opened O_NONBLOCK: never waits for a writer
        {fixtures.path(QString()), MediaErrorKind::notRegularFile},  // the folder itself
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // A sparse terabyte of zeros: refused after the probe window, never read through.
    QFile sparse(fixtures.path(QStringLiteral("sparse.mp4")));
    if (sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 40))
        all.push_back({sparse.fileName(), MediaErrorKind::notMedia});
    QLoggingCategory::setFilterRules(QStringLiteral("reelkeep.ffmpeg.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(keepDebugLine);
    const QString captured = fixtures.path(QStringLiteral("stderr.txt"));
    const int savedStderr = ::dup(2);
    const int capture = ::open(QFile::encodeName(captured).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(capture, 2);
    std::vector<MediaResult<MediaInfo>> results;
    for (const Case& c : all) results.push_back(readFile(c.path));
    ::dup2(savedStderr, 2);
    ::close(capture);
    ::close(savedStderr);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules({});

    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i].path.toStdString());
        ASSERT_FALSE(results[i]);
        EXPECT_EQ(results[i].error().kind(), all[i].expected) << results[i].error().message().toStdString();
        EXPECT_FALSE(results[i].error().message().isEmpty());
    }
    QFile stderrText(captured);
    ASSERT_TRUE(stderrText.open(QIODevice::ReadOnly));
    EXPECT_EQ(stderrText.readAll(), QByteArray());
    EXPECT_TRUE(g_debugLines.join(u'\n').contains(QStringLiteral("moov atom not found")))
        << g_debugLines.join(u'\n').toStdString();
    const auto missing = readContainerAtPath(QFile::encodeName(fixtures.path(QStringLiteral("missing.mp4"))));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind(), MediaErrorKind::unreadable);
}

TEST(ContainerRead, ReadsThroughTheDescriptorNotTheName) {
    MediaFixtures fixtures;
    const auto path = fixtures.makeClip(QStringLiteral("before.mp4"));
    ASSERT_TRUE(path) << fixtures.lastError().toStdString();
    OpenFile file(*path);
    // Renamed and replaced after the check: the descriptor still names the checked file.
    ASSERT_EQ(::rename(QFile::encodeName(*path).constData(),
                       QFile::encodeName(fixtures.path(QStringLiteral("after.mp4"))).constData()),
              0);
    fixtures.writeBytes(QStringLiteral("before.mp4"), "not a video");
    const auto info = readContainer(file.fd(), "before.mp4");
    ASSERT_TRUE(info) << info.error().message().toStdString();
    EXPECT_EQ(info->pixelWidth, 320);
}

TEST(ContainerRead, AnExpiredTimeLimitStopsTheRead) {
    MediaFixtures fixtures;
    const auto path = fixtures.makeClip(QStringLiteral("slow.mp4"));
    ASSERT_TRUE(path) << fixtures.lastError().toStdString();
    OpenFile file(*path);
    const auto info = readContainer(file.fd(), "slow.mp4", InputLimits{std::chrono::milliseconds(0)});
    ASSERT_FALSE(info);
    EXPECT_EQ(info.error().kind(), MediaErrorKind::timedOut);
}

}  // namespace
}  // namespace reelkeep::media
