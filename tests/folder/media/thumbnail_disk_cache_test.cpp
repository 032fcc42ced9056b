// thumbnail_disk_cache_test.cpp: names file managers agree on, stale pictures
// refused, private atomic files, and failures remembered per file version.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <optional>

#include "platform/folder/media/thumbnail_disk_cache.h"
#include "ui/picture_image.h"

namespace reelkeep::media {
namespace {

// Every pixel different from its neighbours, so each PNG row filter has work to do.
Picture frame(int width, int height) {
    Picture picture(width, height, PixelFormat::rgb888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x) picture.row(y)[x] = std::uint8_t(x * 7 + y * 13 + (x * y) % 5);
    return picture;
}

QImage rgba(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGBA8888);
}

TEST(ThumbnailNames, MatchGlibUrisAndTheStandardsExample) {
    struct Case {
        QByteArray path;
        QByteArray uri;
    };
    const Case cases[] = {
        {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
        {"/tmp/a b/x.mp4", "file:///tmp/a%20b/x.mp4"},
        // GLib keeps these in paths and escapes the rest (checked with `gio info`).
        {"/v/!$&'()*+,=:@~-._", "file:///v/!$&'()*+,=:@~-._"},
        {"/v/;[]#%?\"<>\\^`{|}", "file:///v/%3B%5B%5D%23%25%3F%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"/v/caf\xc3\xa9\xff\n.mov", "file:///v/caf%C3%A9%FF%0A.mov"},  // not UTF-8, with a newline
    };
    for (const Case& c : cases) EXPECT_EQ(fileUri(c.path), c.uri) << c.path.toStdString();
    EXPECT_EQ(thumbnailFileName("/home/jens/photos/me.png"),
              QStringLiteral("c6ee772d9e49320e97ec29a7eb5b1697.png"));
}

TEST(ThumbnailDiskCache, StoresPrivatelyAndAnswersOnlyForTheSameFileVersion) {
    QTemporaryDir root;
    const ThumbnailDiskCache cache(root.path(), QStringLiteral("9.9"));
    const ThumbnailSubject subject{"/videos/holiday.mp4", 1700000000, 123456};
    ASSERT_TRUE(cache.store(subject, ThumbnailFlavor::large, frame(1920, 1080)));
    ASSERT_TRUE(cache.store(subject, ThumbnailFlavor::normal, frame(100, 50)));

    const auto large = cache.lookup(subject, ThumbnailFlavor::large);
    ASSERT_TRUE(large);
    EXPECT_EQ(large->size(), QSize(256, 144));
    EXPECT_EQ(cache.lookup(subject, ThumbnailFlavor::normal)->size(), QSize(100, 50));  // never enlarged

    const QString file = cache.pathFor(ThumbnailFlavor::large, subject.absolutePath);
    QFile png(file);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const auto texts = thumbnailTexts(png.readAll());
    EXPECT_EQ(texts.value("Thumb::URI"), "file:///videos/holiday.mp4");
    EXPECT_EQ(texts.value("Thumb::MTime"), "1700000000");
    EXPECT_EQ(texts.value("Thumb::Size"), "123456");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(root.path() + QStringLiteral("/large")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Published by rename: no temporary is left behind.
    EXPECT_EQ(QDir(root.path() + QStringLiteral("/large")).entryList(QDir::Files).size(), 1);

    struct Miss {
        const char* why;
        ThumbnailSubject subject;
    };
    const Miss misses[] = {
        {"edited since", {subject.absolutePath, subject.mtimeSeconds + 1, subject.sizeBytes}},
        {"another file", {"/videos/other.mp4", subject.mtimeSeconds, subject.sizeBytes}},
    };
    for (const Miss& miss : misses)
        EXPECT_FALSE(cache.lookup(miss.subject, ThumbnailFlavor::large)) << miss.why;
}

TEST(ThumbnailDiskCache, ForeignOrDamagedEntriesAreMisses) {
    QTemporaryDir root;
    const ThumbnailDiskCache cache(root.path(), QStringLiteral("9.9"));
    const ThumbnailSubject subject{"/videos/a.mp4", 1700000000, 10};
    ASSERT_TRUE(QDir().mkpath(root.path() + QStringLiteral("/normal")));
    const QString file = cache.pathFor(ThumbnailFlavor::normal, subject.absolutePath);

    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("\x89PNG\r\n\x1a\n and then nothing useful");
    damaged.close();
    EXPECT_FALSE(cache.lookup(subject, ThumbnailFlavor::normal));

    // Another program's PNG at our name but without Thumb:: chunks.
    ASSERT_TRUE(toQImage(frame(10, 10)).save(file, "png"));
    EXPECT_FALSE(cache.lookup(subject, ThumbnailFlavor::normal));

    // A good store replaces both.
    ASSERT_TRUE(cache.store(subject, ThumbnailFlavor::normal, frame(10, 10)));
    EXPECT_TRUE(cache.lookup(subject, ThumbnailFlavor::normal));
}

// Qt's PNG reader is the second opinion on our pixels, and Qt writes the
// foreign entries: other thumbnailers' layouts are read, any other is a miss.
TEST(ThumbnailDiskCache, PixelsSurviveTheFileInEveryLayoutWeRead) {
    QTemporaryDir root;
    const ThumbnailDiskCache cache(root.path(), QStringLiteral("9.9"));
    const ThumbnailSubject subject{"/videos/a.mp4", 1700000000, 10};
    const QString file = cache.pathFor(ThumbnailFlavor::normal, subject.absolutePath);
    const Picture ours = frame(37, 23);  // odd width: rows end off any alignment
    ASSERT_TRUE(cache.store(subject, ThumbnailFlavor::normal, ours));
    EXPECT_EQ(rgba(QImage(file)), rgba(toQImage(ours)));
    ASSERT_EQ(cache.lookup(subject, ThumbnailFlavor::normal), ours);

    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray png = written.readAll();
    written.close();
    QImage translucent = toQImage(frame(37, 23)).convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < translucent.width(); ++x) translucent.setPixelColor(x, 5, QColor(10, 200, 30, x * 7));
    struct Case {
        const char* what;
        std::optional<QImage> foreign;  // written by Qt, else `bytes` as they are
        QByteArray bytes;
        bool isRead;
    };
    QByteArray flipped = png;
    flipped[flipped.size() - 20] = char(~flipped[flipped.size() - 20]);  // inside the pixels
    const Case cases[] = {
        {"RGB", translucent.convertToFormat(QImage::Format_RGB888), {}, true},
        {"RGB with alpha", translucent, {}, true},
        {"grey", translucent.convertToFormat(QImage::Format_Grayscale8), {}, true},
        {"palette", translucent.convertToFormat(QImage::Format_Indexed8), {}, false},
        {"16 bits a sample", translucent.convertToFormat(QImage::Format_RGBA64), {}, false},
        {"a flipped bit", std::nullopt, flipped, false},
        {"cut short", std::nullopt, png.left(png.size() - 30), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(file);
        if (c.foreign) {
            QImage image = *c.foreign;
            image.setText(QStringLiteral("Thumb::URI"), QStringLiteral("file:///videos/a.mp4"));
            image.setText(QStringLiteral("Thumb::MTime"), QStringLiteral("1700000000"));
            ASSERT_TRUE(image.save(file, "png"));
        } else {
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(c.bytes);
        }
        const std::optional<Picture> read = cache.lookup(subject, ThumbnailFlavor::normal);
        ASSERT_EQ(read.has_value(), c.isRead);
        if (read) {
            EXPECT_EQ(rgba(toQImage(*read)), rgba(QImage(file)));
        }
    }
}

TEST(ThumbnailDiskCache, RemembersFailuresPerFileVersion) {
    QTemporaryDir root;
    const ThumbnailDiskCache cache(root.path(), QStringLiteral("9.9"));
    const ThumbnailSubject broken{"/videos/broken.mp4", 1700000000, 10};
    EXPECT_FALSE(cache.hasRecordedFailure(broken));
    ASSERT_TRUE(cache.recordFailure(broken));
    EXPECT_TRUE(cache.hasRecordedFailure(broken));
    EXPECT_TRUE(QFile::exists(root.path() + QStringLiteral("/fail/reelkeep-9.9/") +
                              thumbnailFileName("/videos/broken.mp4")));
    // A repaired (rewritten) file is tried again.
    EXPECT_FALSE(cache.hasRecordedFailure({broken.absolutePath, broken.mtimeSeconds + 5, broken.sizeBytes}));
    // Failures are ours alone: other versions of the program try for themselves.
    EXPECT_FALSE(ThumbnailDiskCache(root.path(), QStringLiteral("10.0")).hasRecordedFailure(broken));
}

TEST(ThumbnailDiskCache, UnwritableRootIsReportedNotIgnored) {
    QTemporaryDir root;
    QFile blocker(root.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A regular file where the cache folder should be: refused even when running as root.
    const ThumbnailDiskCache cache(blocker.fileName() + QStringLiteral("/thumbnails"), QStringLiteral("9.9"));
    const ThumbnailSubject subject{"/videos/a.mp4", 1, 1};
    EXPECT_FALSE(cache.store(subject, ThumbnailFlavor::normal, frame(10, 10)));
    EXPECT_FALSE(cache.recordFailure(subject));
    EXPECT_FALSE(cache.lookup(subject, ThumbnailFlavor::normal));
}

// Real paths are long: Qt would write their URI as zTXt, which GLib and file managers skip.
TEST(ThumbnailDiskCache, LongPathsHitAndOtherProgramsAcceptOurEntries) {
    QTemporaryDir home;
    const QString folder =
        home.filePath(QStringLiteral("Videos/Family holidays 2019 – Brittany and Normandy/"
                                     "Day 3, the lighthouse at Pointe Saint-Mathieu"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString video = folder + QStringLiteral("/VID_20190718_144521 grandma waving from the boat.mp4");
    ASSERT_GE(video.size(), 100);
    QFile file(video);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not really a video");
    file.close();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(video).constData(), &st), 0);
    const ThumbnailSubject subject{QFile::encodeName(video), st.st_mtim.tv_sec, st.st_size};

    const ThumbnailDiskCache cache(home.filePath(QStringLiteral("cache/thumbnails")), QStringLiteral("9.9"));
    ASSERT_TRUE(cache.store(subject, ThumbnailFlavor::normal, frame(320, 180)));
    EXPECT_TRUE(cache.lookup(subject, ThumbnailFlavor::normal));
    ASSERT_TRUE(cache.recordFailure(subject));
    EXPECT_TRUE(cache.hasRecordedFailure(subject));
    QFile png(cache.pathFor(ThumbnailFlavor::normal, subject.absolutePath));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray bytes = png.readAll();
    EXPECT_TRUE(bytes.contains("tEXtThumb::URI")) << "written as tEXt, the form every reader knows";
    EXPECT_FALSE(bytes.contains("zTXt"));

    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) GTEST_SKIP() << "gio (libglib2.0-bin) is not installed";
    QProcess info;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    info.setProcessEnvironment(environment);
    info.start(gio, {QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("thumbnail::is-valid"),
                     QStringLiteral("--"), video});
    ASSERT_TRUE(info.waitForFinished(10000));
    EXPECT_TRUE(info.readAllStandardOutput().contains("thumbnail::is-valid: TRUE"));
}

TEST(ThumbnailTexts, ReadsEveryTextChunkForm) {
    const QByteArray uri =
        "file:///home/someone/Videos/" + QByteArray("a long folder name/").repeated(5) + "clip.mp4";
    // Qt writes a long text as zTXt: entries made by our earlier versions.
    QImage image = toQImage(frame(4, 4));
    image.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(uri));
    QByteArray zipped;
    QBuffer buffer(&zipped);
    ASSERT_TRUE(image.save(&buffer, "png"));
    ASSERT_TRUE(zipped.contains("zTXt"));
    EXPECT_EQ(thumbnailTexts(zipped).value("Thumb::URI"), uri);

    // iTXt, plain and compressed, right after the header (CRCs are not checked).
    const auto iTxt = [](const QByteArray& key, bool isCompressed, const QByteArray& text) {
        const QByteArray body = key + '\0' + char(isCompressed) + '\0' + "en" + '\0' + '\0' +
                                (isCompressed ? qCompress(text).mid(4) : text);
        QByteArray out;
        for (const int shift : {24, 16, 8, 0}) out += char(body.size() >> shift);
        return out + "iTXt" + body + QByteArray(4, '\0');
    };
    QByteArray plain;
    QBuffer plainBuffer(&plain);
    ASSERT_TRUE(toQImage(frame(4, 4)).save(&plainBuffer, "png"));
    const QByteArray international = plain.left(33) + iTxt("Thumb::URI", false, uri) +
                                     iTxt("Thumb::MTime", true, "1700000000") + plain.mid(33);
    const auto texts = thumbnailTexts(international);
    EXPECT_EQ(texts.value("Thumb::URI"), uri);
    EXPECT_EQ(texts.value("Thumb::MTime"), "1700000000");
}

}  // namespace
}  // namespace reelkeep::media
