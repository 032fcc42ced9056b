#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/scan_report.h"
#include "support/qt_printers.h"

using namespace reelkeep;

namespace {

VideoItem video(const QString& id, std::optional<QString> name, SizeState size) {
    return VideoItem(id, std::move(name), 1709665629.0, 245, 1920, 1080, false, false, size);
}

}  // namespace

TEST(ScanReport, EscapesWhatATerminalWouldInterpret) {
    const struct {
        QString raw;
        QString shown;
    } cases[] = {
        {"plain.mov", "plain.mov"},
        {QStringLiteral("two\nlines.mov"), "two\\nlines.mov"},
        {QStringLiteral("bell\u0007\u001b[31mred.mov"), "bell\\x07\\x1b[31mred.mov"},
        {QStringLiteral("rtl\u202Evom.exe"), "rtl\\x202evom.exe"},
        {QStringLiteral("caf\u00E9.mov"), QStringLiteral("caf\u00E9.mov")},
        {"<b>html</b>.mov", "<b>html</b>.mov"},
    };
    for (const auto& c : cases) EXPECT_EQ(escapeForTerminal(c.raw), c.shown);

    const QString table =
        formatTable({video("a", QStringLiteral("evil\nname.mov"), SizeState::unavailable())});
    EXPECT_EQ(table.count(QLatin1Char('\n')), 2);  // header and one row, whatever the name holds
    EXPECT_TRUE(table.contains("evil\\nname.mov"));
    EXPECT_TRUE(table.contains("Unavailable"));
}

TEST(ScanReport, JsonCarriesRawValuesAndBytesOfOddPaths) {
    const VideoList items = {
        video("a", QStringLiteral("a.mov"), SizeState::known(1'500, SizeSource::fileAttributes)),
        video("b", std::nullopt, SizeState::failed())};
    DuplicateSummary duplicates;
    duplicates.countsBySize = {{1'500, 2}};
    duplicates.videoCount = 2;
    duplicates.reclaimableBytes = 1'500;
    const QByteArray latin1Path("/videos/caf\xE9.mov");
    const QJsonObject root = formatJson(
                                 items, LibraryStats{2, 2, 1'500, 1}, duplicates,
                                 [&](const QString& id) -> std::optional<QByteArray> {
                                     if (id == "a") return latin1Path;
                                     return std::nullopt;
                                 },
                                 [](const QString& id) -> std::optional<DateSource> {
                                     if (id == "a") return DateSource::fileName;
                                     return std::nullopt;
                                 })
                                 .object();

    const QJsonArray videos = root["videos"].toArray();
    ASSERT_EQ(videos.size(), 2);
    const QJsonObject first = videos[0].toObject();
    EXPECT_EQ(first["bytes"].toInteger(), 1'500);
    EXPECT_EQ(first["size_source"].toString(), "st_size");
    EXPECT_EQ(first["date_source"].toString(), "file-name");
    EXPECT_EQ(first["creation_date"].toString(), "2024-03-05T19:07:09.000Z");
    EXPECT_EQ(QByteArray::fromBase64(first["path_bytes"].toString().toLatin1()), latin1Path);
    const QJsonObject second = videos[1].toObject();
    EXPECT_TRUE(second["bytes"].isNull());
    EXPECT_EQ(second["name"].toString(), "b");
    EXPECT_TRUE(second["path"].isNull());
    EXPECT_TRUE(second["date_source"].isNull());
    EXPECT_FALSE(second.contains("path_bytes"));
    EXPECT_EQ(root["summary"].toObject()["reclaimable_bytes"].toInteger(), 1'500);
}

TEST(ScanReport, JsonListsAllocatedBytesNextToTheLength) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray sparse = QFile::encodeName(dir.filePath(QStringLiteral("sparse.mp4")));
    QFile file{QFile::decodeName(sparse)};
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(qint64{64} << 20));
    file.close();
    const VideoList items = {video("a", QStringLiteral("sparse.mp4"),
                                   SizeState::known(qint64{64} << 20, SizeSource::fileAttributes)),
                             video("b", std::nullopt, SizeState::failed())};
    const QJsonArray videos = formatJson(items, LibraryStats{2, 2, 1, 1}, DuplicateSummary{},
                                         [&](const QString& id) -> std::optional<QByteArray> {
                                             if (id == "a") return sparse;
                                             return std::nullopt;
                                         },
                                         {})
                                  .object()["videos"]
                                  .toArray();
    ASSERT_EQ(videos.size(), 2);
    const QJsonValue allocated = videos[0].toObject()["allocated_bytes"];
    ASSERT_TRUE(allocated.isDouble());
    EXPECT_LT(allocated.toInteger(), videos[0].toObject()["bytes"].toInteger());
    EXPECT_TRUE(videos[1].toObject()["allocated_bytes"].isNull());
}

// The command writes both as it goes; what it writes must be what the whole
// document or table would have been.
TEST(ScanReport, WrittenReportsMatchTheWholeDocumentsAndAlign) {
    VideoList items;
    // Wide, zero-width and joined characters: columns align by terminal cells.
    const QString names[] = {QStringLiteral("clip\t0.mov"),
                             QStringLiteral("\u65C5\u884C\u306E\u52D5\u753B.mp4"),
                             QStringLiteral("cafe\u0301 \U0001F468\u200D\U0001F469\u200D\U0001F467.mov"),
                             QString(), QStringLiteral("\u2764\uFE0F \U0001F1EF\U0001F1F5 \uD55C\uAD6D.mkv")};
    for (int i = 0; i < 5; ++i)
        items.append(VideoItem(
            QStringLiteral("id%1").arg(i), i == 3 ? std::nullopt : std::optional(names[i]),
            i == 2 ? kDistantPast : 1709665629.0 + i * 86400, i == 1 ? NAN : 12.5 * i, 1920 / (i + 1), 1080,
            i % 2 == 0, false,
            i == 4 ? SizeState::failed() : SizeState::known(1'000 * (i + 1), SizeSource::fileAttributes)));
    DuplicateSummary duplicates;
    duplicates.countsBySize = {{2'000, 2}, {1'000, 3}};
    duplicates.videoCount = 5;
    const PathLookup pathOf = [](const QString& id) -> std::optional<QByteArray> {
        if (id == "id1") return std::nullopt;
        return id == "id2" ? QByteArray("/v/caf\xE9.mov") : "/v/" + id.toUtf8();
    };
    for (const qsizetype count : {0, 1, 5}) {
        SCOPED_TRACE(count);
        const VideoList shown = items.first(count);
        const LibraryStats stats{5, int(count), 3'000, 1};
        QBuffer written;
        written.open(QIODevice::WriteOnly);
        ASSERT_TRUE(writeJson(shown, stats, duplicates, pathOf, written));
        EXPECT_EQ(written.data(), formatJson(shown, stats, duplicates, pathOf).toJson());

        // Every cell is padded to its column, so every line is as wide as the header.
        const QStringList lines = formatTable(shown).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), count + 1);
        for (const QString& line : lines)
            EXPECT_EQ(terminalWidth(line), terminalWidth(lines.front())) << line.toStdString();
    }
}

TEST(ScanReport, MeasuresTextInTerminalCells) {
    const struct {
        QString text;
        int cells;
    } cases[] = {
        {QStringLiteral("clip.mov"), 8},
        {QStringLiteral("caf\u00E9"), 4},
        {QStringLiteral("cafe\u0301"), 4},                                  // a combining accent
        {QStringLiteral("\u65C5\u884C"), 4},                                // CJK ideographs
        {QStringLiteral("\uFF21"), 2},                                      // a fullwidth letter
        {QStringLiteral("\U0001F600"), 2},                                  // an emoji
        {QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"), 2},  // one family, joined
        {QStringLiteral("\u2764\uFE0F"), 2},                                // emoji presentation asked for
        {QStringLiteral("\u2764"), 1},
        {QStringLiteral("\U0001F1EF\U0001F1F5"), 2},  // a flag
        {QStringLiteral("\u1100\u1161\u11A8"), 2},    // a Hangul syllable in jamo
        {QStringLiteral("a\u200Bb"), 2},              // a zero-width space
        {QString(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(terminalWidth(c.text), c.cells) << c.text.toStdString();
}
