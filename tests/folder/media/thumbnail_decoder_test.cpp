// thumbnail_decoder_test.cpp: one upright, aspect-true picture per video,
// including short 4K HEVC clips, and typed errors for broken files.
#include <gtest/gtest.h>
#include <QColor>
#include <QFile>
#include <QImage>

#include "media_fixtures.h"
#include "platform/folder/media/thumbnail_decoder.h"
#include "ui/picture_image.h"

namespace reelkeep::media {
namespace {

using testing::MediaFixtures;
using testing::OpenFile;

MediaResult<Picture> decodeFile(const QString& path, int maxPixelSize) {
    OpenFile file(path);
    return decodeThumbnail(file.fd(), maxPixelSize);
}

TEST(ThumbnailDecoder, ScalesToTheLongerSideWithoutEnlarging) {
    struct Case {
        QString name;
        int width, height;
        QStringList extra;
        int maxPixelSize;
        QSize expected;
        const char* encoder = "libx264";
    };
    const Case cases[] = {
        {"vga.mp4", 320, 240, {}, 128, {128, 96}},
        {"tall.mov", 240, 320, {}, 256, {192, 256}},
        {"tiny.mp4", 64, 48, {}, 256, {64, 48}},
        // Anamorphic: stored 352×288 with 4:3 pixels shows 469×288.
        {"anamorphic.mp4", 352, 288, {"-aspect", "469:288"}, 469, {469, 288}},
        // Short 4K HEVC: the clips other thumbnailers give up on.
        {"uhd.mp4",
         3840,
         2160,
         {"-t", "0.5", "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error", "-tag:v",
          "hvc1"},
         256,
         {256, 144},
         "libx265"},
        {"vp9.webm", 320, 240, {"-c:v", "libvpx-vp9", "-deadline", "realtime"}, 128, {128, 96}, "libvpx-vp9"},
    };
    MediaFixtures fixtures;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        if (!MediaFixtures::canEncode(c.encoder, c.name)) continue;
        const auto path = fixtures.makeClip(c.name, c.width, c.height, c.extra);
        ASSERT_TRUE(path) << fixtures.lastError().toStdString();
        const auto image = decodeFile(*path, c.maxPixelSize);
        ASSERT_TRUE(image) << image.error().message().toStdString();
        EXPECT_EQ(image->size(), c.expected);
    }
}

TEST(ThumbnailDecoder, TurnsRotatedVideoUprightAsFfmpegDoes) {
    MediaFixtures fixtures;
    // Left half blue, right half red, stored landscape.
    const auto stored = fixtures.make(
        QStringLiteral("halves.mp4"),
        {"-f", "lavfi", "-i", "color=c=red:s=320x240:r=10,drawbox=x=0:y=0:w=160:h=240:color=blue:t=fill",
         "-t", "1", "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    ASSERT_TRUE(stored) << fixtures.lastError().toStdString();
    const auto rotated = fixtures.make(QStringLiteral("rotated.mp4"),
                                       {"-i", *stored, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    ASSERT_TRUE(rotated) << fixtures.lastError().toStdString();
    // ffmpeg's own auto-rotation is the reference for which way is up.
    const auto reference = fixtures.make(QStringLiteral("reference.png"), {"-i", *rotated, "-frames:v", "1"});
    ASSERT_TRUE(reference) << fixtures.lastError().toStdString();
    const QImage expected(*reference);
    ASSERT_EQ(expected.size(), QSize(240, 320));

    const auto image = decodeFile(*rotated, 320);
    ASSERT_TRUE(image) << image.error().message().toStdString();
    ASSERT_EQ(image->size(), QSize(240, 320));
    const QImage shown = toQImage(image.value());
    auto isBluish = [](QColor c) { return c.blue() > 150 && c.red() < 100; };
    for (const QPoint at : {QPoint(120, 20), QPoint(120, 300), QPoint(20, 160), QPoint(220, 160)})
        EXPECT_EQ(isBluish(shown.pixelColor(at)), isBluish(expected.pixelColor(at)))
            << at.x() << "," << at.y();
}

TEST(ThumbnailDecoder, BrokenInputsGiveTypedErrors) {
    MediaFixtures fixtures;
    // faststart: the header is whole, the pictures are cut off.
    const auto whole = fixtures.makeClip(QStringLiteral("whole.mp4"), 320, 240, {"-movflags", "+faststart"});
    ASSERT_TRUE(whole) << fixtures.lastError().toStdString();
    QFile wholeFile(*whole);
    ASSERT_TRUE(wholeFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = wholeFile.readAll();
    const auto audio = fixtures.make(QStringLiteral("voice.mp4"),
                                     {"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac"});
    ASSERT_TRUE(audio) << fixtures.lastError().toStdString();
    // Just past the moov: no frame data at all.
    const qsizetype mdat = bytes.indexOf("mdat");
    ASSERT_GT(mdat, 0);

    struct Case {
        QString path;
        MediaErrorKind expected;
    };
    const Case cases[] = {
        {fixtures.writeBytes(QStringLiteral("empty.mp4"), {}), MediaErrorKind::empty},
        {fixtures.writeBytes(QStringLiteral("garbage.mp4"), QByteArray(100000, '\x5a')),
         MediaErrorKind::notMedia},
        {fixtures.writeBytes(QStringLiteral("cut.mp4"), bytes.left(mdat + 8)), MediaErrorKind::truncated},
        {*audio, MediaErrorKind::noVideoStream},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const auto image = decodeFile(c.path, 128);
        ASSERT_FALSE(image);
        EXPECT_EQ(image.error().kind(), c.expected) << image.error().message().toStdString();
    }
}

TEST(ThumbnailDecoder, AnExpiredTimeLimitStopsTheDecode) {
    MediaFixtures fixtures;
    const auto path = fixtures.makeClip(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(path) << fixtures.lastError().toStdString();
    OpenFile file(*path);
    const auto image = decodeThumbnail(file.fd(), 128, InputLimits{std::chrono::milliseconds(0)});
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().kind(), MediaErrorKind::timedOut);
}

}  // namespace
}  // namespace reelkeep::media
