// visual_fingerprint_test.cpp: a rotated copy looks like its upright original,
// broken files give typed errors, the frame strip shows the same moments, and
// a long video may take longer than a clip.
#include <gtest/gtest.h>

#include <QFile>
#include <bit>
#include <cmath>

#include "media_fixtures.h"
#include "platform/folder/media/visual_fingerprint.h"

namespace reelkeep::media {
namespace {

using testing::MediaFixtures;
using testing::OpenFile;

MediaResult<VisualFingerprint> fingerprintFile(const QString& path) {
    OpenFile file(path);
    return fingerprintVideo(file.fd());
}

int distance(std::uint64_t a, std::uint64_t b) {
    return std::popcount(a ^ b);
}

// Moving shapes, a key frame every half second: every moment shows something else.
const QStringList kSource{"-f",   "lavfi",   "-i",       "testsrc2=size=320x240:rate=20",
                          "-t",   "6",       "-g",       "10",
                          "-c:v", "libx264", "-pix_fmt", "yuv420p"};

TEST(VisualFingerprint, ARotatedCopyMatchesItsUprightOriginal) {
    MediaFixtures fixtures;
    const auto upright = fixtures.make(QStringLiteral("upright.mp4"), kSource);
    ASSERT_TRUE(upright) << fixtures.lastError().toStdString();
    // Stored a quarter turn clockwise; the display matrix turns it back (as ffmpeg plays it).
    QStringList storedTurned = kSource;
    storedTurned << "-vf"
                 << "transpose=1";
    const auto turned = fixtures.make(QStringLiteral("turned.mp4"), storedTurned);
    ASSERT_TRUE(turned) << fixtures.lastError().toStdString();
    const auto rotated = fixtures.make(QStringLiteral("rotated.mov"),
                                       {"-i", *turned, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    ASSERT_TRUE(rotated) << fixtures.lastError().toStdString();

    const auto original = fingerprintFile(*upright);
    ASSERT_TRUE(original) << original.error().message().toStdString();
    const auto copy = fingerprintFile(*rotated);
    ASSERT_TRUE(copy) << copy.error().message().toStdString();
    const auto unturned = fingerprintFile(*turned);
    ASSERT_TRUE(unturned) << unturned.error().message().toStdString();

    EXPECT_EQ(original->frameCount, kFingerprintFrames);
    EXPECT_EQ(copy->frameCount, kFingerprintFrames);
    EXPECT_NEAR(original->durationSeconds, 6.0, 0.1);
    EXPECT_NEAR(original->aspectRatio, 320.0 / 240.0, 0.01);
    EXPECT_NEAR(copy->aspectRatio, 320.0 / 240.0, 0.01);
    int unturnedFar = 0;
    for (int i = 0; i < kFingerprintFrames; ++i) {
        EXPECT_LE(distance(original->frameHashes[i], copy->frameHashes[i]), 12) << "frame " << i;
        if (distance(original->frameHashes[i], unturned->frameHashes[i]) > 12) ++unturnedFar;
    }
    // Without the display matrix the same pictures lie sideways and look different.
    EXPECT_GE(unturnedFar, kFingerprintFrames - 1);
}

TEST(VisualFingerprint, BrokenInputsGiveTypedErrors) {
    MediaFixtures fixtures;
    const auto whole = fixtures.makeClip(QStringLiteral("whole.mp4"), 320, 240, {"-movflags", "+faststart"});
    ASSERT_TRUE(whole) << fixtures.lastError().toStdString();
    QFile wholeFile(*whole);
    ASSERT_TRUE(wholeFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = wholeFile.readAll();
    const qsizetype mdat = bytes.indexOf("mdat");
    ASSERT_GT(mdat, 0);
    const auto audio = fixtures.make(QStringLiteral("voice.mp4"),
                                     {"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac"});
    ASSERT_TRUE(audio) << fixtures.lastError().toStdString();
    // A raw stream says nothing of its length.
    const auto raw = fixtures.makeClip(QStringLiteral("raw.h264"), 320, 240, {"-f", "h264"});
    ASSERT_TRUE(raw) << fixtures.lastError().toStdString();

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
        {*raw, MediaErrorKind::decodeFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const auto fingerprint = fingerprintFile(c.path);
        ASSERT_FALSE(fingerprint);
        EXPECT_EQ(fingerprint.error().kind(), c.expected) << fingerprint.error().message().toStdString();
        OpenFile file(c.path);
        const auto strip = decodeFrameStrip(file.fd(), 64);
        ASSERT_FALSE(strip);
        EXPECT_EQ(strip.error().kind(), c.expected) << strip.error().message().toStdString();
    }
}

TEST(VisualFingerprint, TheFrameStripIsUprightAndSmall) {
    MediaFixtures fixtures;
    QStringList storedTurned = kSource;
    storedTurned << "-vf"
                 << "transpose=1";
    const auto turned = fixtures.make(QStringLiteral("turned.mp4"), storedTurned);
    ASSERT_TRUE(turned) << fixtures.lastError().toStdString();
    const auto rotated = fixtures.make(QStringLiteral("rotated.mov"),
                                       {"-i", *turned, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    ASSERT_TRUE(rotated) << fixtures.lastError().toStdString();
    OpenFile file(*rotated);
    const auto strip = decodeFrameStrip(file.fd(), 160);
    ASSERT_TRUE(strip) << strip.error().message().toStdString();
    ASSERT_EQ(strip->size(), std::size_t(kFingerprintFrames));
    for (const Picture& frame : strip.value()) EXPECT_EQ(frame.size(), QSize(160, 120));
}

TEST(VisualFingerprint, TheTimeLimitGrowsWithTheLengthUpToABound) {
    const std::chrono::milliseconds bound = fingerprintTimeLimit(0);
    EXPECT_EQ(fingerprintTimeLimit(std::nan("")), bound);
    EXPECT_EQ(fingerprintTimeLimit(-1), bound);
    EXPECT_EQ(fingerprintTimeLimit(24 * 3600), bound);
    std::chrono::milliseconds shorter{0};
    for (const double seconds : {1.0, 10.0, 30.0, 90.0}) {
        const std::chrono::milliseconds limit = fingerprintTimeLimit(seconds);
        EXPECT_GT(limit, shorter) << seconds;
        EXPECT_LE(limit, bound) << seconds;
        shorter = limit;
    }
    // Ten minutes of 4K HEVC: a second or two of decoding a second of video.
    EXPECT_GE(fingerprintTimeLimit(600), std::chrono::seconds(600));
}

}  // namespace
}  // namespace reelkeep::media
