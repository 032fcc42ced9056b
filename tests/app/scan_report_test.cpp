#include <gtest/gtest.h>

#include <QBuffer>
#include <QJsonArray>
#include <QJsonObject>

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
    const QJsonObject root = formatJson(items, LibraryStats{2, 2, 1'500, 1}, duplicates,
                                        [&](const QString& id) -> std::optional<QByteArray> {
                                            if (id == "a") return latin1Path;
                                            return std::nullopt;
                                        })
                                 .object();

    const QJsonArray videos = root["videos"].toArray();
    ASSERT_EQ(videos.size(), 2);
    const QJsonObject first = videos[0].toObject();
    EXPECT_EQ(first["bytes"].toInteger(), 1'500);
    EXPECT_EQ(first["size_source"].toString(), "fileAttributes");
    EXPECT_EQ(first["creation_date"].toString(), "2024-03-05T19:07:09.000Z");
    EXPECT_EQ(QByteArray::fromBase64(first["path_bytes"].toString().toLatin1()), latin1Path);
    const QJsonObject second = videos[1].toObject();
    EXPECT_TRUE(second["bytes"].isNull());
    EXPECT_EQ(second["name"].toString(), "b");
    EXPECT_TRUE(second["path"].isNull());
    EXPECT_FALSE(second.contains("path_bytes"));
    EXPECT_EQ(root["summary"].toObject()["reclaimable_bytes"].toInteger(), 1'500);
}

// The command writes both as it goes; what it writes must be what the whole
// document or table would have been.
TEST(ScanReport, WrittenReportsMatchTheWholeDocumentsAndAlign) {
    VideoList items;
    for (int i = 0; i < 5; ++i)
        items.append(VideoItem(
            QStringLiteral("id%1").arg(i),
            i == 3 ? std::nullopt : std::optional(QStringLiteral("clip\t%1.mov").arg(i)),
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
        writeJson(shown, stats, duplicates, pathOf, written);
        EXPECT_EQ(written.data(), formatJson(shown, stats, duplicates, pathOf).toJson());

        // Every cell is padded to its column, so every line is as long as the header.
        const QStringList lines = formatTable(shown).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), count + 1);
        for (const QString& line : lines) EXPECT_EQ(line.size(), lines.front().size()) << line.toStdString();
    }
}
