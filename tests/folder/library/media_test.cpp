// media_test.cpp: thumbnails and previews of real clips.
#include <QDirIterator>
#include <QImage>

#include "library_fixture.h"

namespace reelkeep::testing {
namespace {

using fs::test::writeBytes;

int filesBelow(const QString& folder) {
    int count = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next()) ++count;
    return count;
}

TEST_F(FolderLibraryTest, ThumbnailsComeFromTheSharedCacheAndFailuresAreRemembered) {
    ASSERT_TRUE(makeClip("clip.mp4", 1, QStringLiteral("320x240")));
    writeBytes(join(root(), "broken.mp4"), QByteArray(4000, 'z'));
    ASSERT_TRUE(scan());
    const QString thumbnails = QFile::decodeName(state() + "/cache/thumbnails");

    const std::optional<ThumbnailRef> image =
        awaitFor(service().thumbnail(identifierOf("clip.mp4"), {160, 120}));
    ASSERT_TRUE(image);
    ASSERT_TRUE(*image);
    EXPECT_EQ(std::max((*image)->image().width(), (*image)->image().height()), 256);
    EXPECT_EQ(filesBelow(thumbnails + QStringLiteral("/large")), 1);

    const std::optional<ThumbnailRef> broken =
        awaitFor(service().thumbnail(identifierOf("broken.mp4"), {64, 64}));
    ASSERT_TRUE(broken);
    EXPECT_FALSE(*broken);
    EXPECT_EQ(filesBelow(thumbnails + QStringLiteral("/fail")), 1);
}

// Replaced at the same path by another video, a file shows the new picture, not
// the one a cache kept for the old file.
TEST_F(FolderLibraryTest, AVideoReplacedAtItsPathGetsANewThumbnail) {
    ASSERT_TRUE(makeClip("clip.mp4", 1, QStringLiteral("320x240")));
    ASSERT_TRUE(scan());
    const QString id = identifierOf("clip.mp4");
    const std::optional<ThumbnailRef> before = awaitFor(service().thumbnail(id, {160, 120}));
    ASSERT_TRUE(before && *before);
    EXPECT_GT((*before)->image().width(), (*before)->image().height());

    ASSERT_TRUE(makeClip("clip.mp4", 1, QStringLiteral("240x320")));
    ASSERT_TRUE(awaitFor(service().readVideos({id})));  // as the watcher's news makes the window do
    const std::optional<ThumbnailRef> after = awaitFor(service().thumbnail(id, {160, 120}));
    ASSERT_TRUE(after && *after);
    EXPECT_LT((*after)->image().width(), (*after)->image().height());
}

TEST_F(FolderLibraryTest, PreviewPlaysAVideoAndRefusesGarbage) {
    ASSERT_TRUE(makeClip("clip.mp4", 2));
    writeBytes(join(root(), "garbage.mp4"), QByteArray(3000, 'g'));
    ASSERT_TRUE(scan());

    const std::optional<Result<PreviewSource>> preview =
        awaitFor(service().preparePreview(identifierOf("clip.mp4")));
    ASSERT_TRUE(preview);
    ASSERT_TRUE(*preview) << preview->error().description().toStdString();
    EXPECT_NEAR(preview->value().lengthSeconds, 2, 0.15);
    // The path reaches exactly the scanned file, whatever its name's bytes.
    EXPECT_EQ(fs::test::readBytes(QFile::encodeName(preview->value().filePath)),
              fs::test::readBytes(join(root(), "clip.mp4")));

    const std::optional<Result<PreviewSource>> garbage =
        awaitFor(service().preparePreview(identifierOf("garbage.mp4")));
    ASSERT_TRUE(garbage);
    ASSERT_FALSE(*garbage);
    EXPECT_EQ(garbage->error().kind(), PhotoLibraryError::Kind::assetUnavailable);
}

}  // namespace
}  // namespace reelkeep::testing
