#include <gtest/gtest.h>

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/scan_report.h"
#include "support/qt_printers.h"

using namespace reelkeep;

namespace {

VideoItem video(const QString& id, std::optional<QString> name, SizeState size) {
    return VideoItem(id, std::move(name), 1709665629.0, 245, 1920, 1080, false, false, size);
}

using PathLookup = std::function<std::optional<QByteArray>(const QString& localIdentifier)>;
using FileFactsLookup = std::function<FileFacts(const QString& localIdentifier)>;

QByteArray written(const VideoList& items, const PathLookup& pathOf, const FileFactsLookup& factsOf = {},
                   JsonLayout layout = JsonLayout::compact, const LibraryStats& stats = {},
                   const DuplicateSummary& duplicates = {}) {
    std::vector<FileFacts> files;
    for (const VideoItem& item : items) {
        files.push_back(factsOf ? factsOf(item.localIdentifier()) : FileFacts{});
        if (pathOf) files.back().path = pathOf(item.localIdentifier());
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(writeJson(
        items, stats, duplicates, [&](std::size_t i) { return files.at(i); }, buffer, layout));
    return buffer.data();
}

// As strict a reader as there is at hand: any grammar fault fails the test.
QJsonObject parsed(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " at " << error.offset << " in " << json.toStdString();
    return document.object();
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
    const QJsonObject root = parsed(written(
        items,
        [&](const QString& id) -> std::optional<QByteArray> {
            if (id == "a") return latin1Path;
            return std::nullopt;
        },
        [](const QString& id) {
            if (id == "a") return FileFacts{DateSource::fileName, 1'024, {}};
            return FileFacts{};
        },
        JsonLayout::compact, LibraryStats{2, 2, 1'500, 1}, duplicates));

    const QJsonArray videos = root["videos"].toArray();
    ASSERT_EQ(videos.size(), 2);
    const QJsonObject first = videos[0].toObject();
    EXPECT_EQ(first["bytes"].toInteger(), 1'500);
    EXPECT_EQ(first["size_source"].toString(), "st_size");
    EXPECT_EQ(first["date_source"].toString(), "file-name");
    EXPECT_EQ(first["allocated_bytes"].toInteger(), 1'024);
    EXPECT_EQ(first["creation_date"].toString(), "2024-03-05T19:07:09.000Z");
    EXPECT_EQ(QByteArray::fromBase64(first["path_bytes"].toString().toLatin1()), latin1Path);
    const QJsonObject second = videos[1].toObject();
    EXPECT_TRUE(second["bytes"].isNull());
    EXPECT_EQ(second["name"].toString(), "b");
    EXPECT_TRUE(second["path"].isNull());
    EXPECT_TRUE(second["date_source"].isNull());
    EXPECT_TRUE(second["allocated_bytes"].isNull());
    EXPECT_FALSE(second.contains("path_bytes"));
    EXPECT_EQ(root["summary"].toObject()["reclaimable_bytes"].toInteger(), 1'500);
}

// The command writes both as it goes. Pretty JSON is laid out as QJsonDocument
// lays it out; compact is the same document.
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
        const QByteArray compact = written(shown, pathOf, {}, JsonLayout::compact, stats, duplicates);
        const QByteArray pretty = written(shown, pathOf, {}, JsonLayout::pretty, stats, duplicates);
        EXPECT_EQ(pretty, QJsonDocument(parsed(compact)).toJson(QJsonDocument::Indented));
        EXPECT_EQ(compact.count('\n'), count > 0 ? count + 2 : 1);  // a line per video

        // Every cell is padded to its column, so every line is as wide as the header.
        const QStringList lines = formatTable(shown).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), count + 1);
        for (const QString& line : lines)
            EXPECT_EQ(terminalWidth(line), terminalWidth(lines.front())) << line.toStdString();
    }
}

TEST(ScanReport, JsonEscapesHostileNamesForAStrictParser) {
    QString controls;
    for (char16_t unit = 1; unit < 0x20; ++unit) controls += QChar(unit);
    const QString names[] = {
        QStringLiteral("say \"cheese\" C:\\clips\\"),
        controls + QChar(0x7F),
        QStringLiteral("line\u2028paragraph\u2029end"),
        QStringLiteral("\U0001F3AC \u65C5\u884C caf\u00E9"),
        QString(QChar(0xD83C)) + "half a pair" + QChar(0xDC00),
    };
    const QByteArray paths[] = {"/v/\"q\"\\\n\t.mov", "/v/sep\xe2\x80\xa8.mov", "/v/caf\xe9\xff\xfe.mov",
                                "/v/overlong\xc0\xaf.mov", "/v/\xf0\x9f\x8e\xac.mov"};
    VideoList items;
    for (int i = 0; i < 5; ++i)
        items.append(
            video(QString::number(i), names[i], SizeState::known(100 - i, SizeSource::fileAttributes)));
    const PathLookup pathOf = [&](const QString& id) -> std::optional<QByteArray> {
        return paths[id.toInt()];
    };
    const QByteArray compact = written(items, pathOf);
    for (const char byte : compact) EXPECT_TRUE(byte == '\n' || uchar(byte) >= 0x20) << int(byte);
    EXPECT_FALSE(compact.contains("\xe2\x80\xa8") || compact.contains("\xe2\x80\xa9"));

    const QJsonObject root = parsed(compact);
    EXPECT_EQ(root, parsed(written(items, pathOf, {}, JsonLayout::pretty)));
    const QJsonArray videos = root["videos"].toArray();
    ASSERT_EQ(videos.size(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const QJsonObject video = videos[i].toObject();
        const QString replaced =
            QString(QChar::ReplacementCharacter) + "half a pair" + QChar::ReplacementCharacter;
        EXPECT_EQ(video["name"].toString(), i == 4 ? replaced : names[i]);  // half a pair is no character
        EXPECT_EQ(video["path"].toString(), QString::fromUtf8(paths[i]));
        const bool isUtf8 = QByteArrayView(paths[i]).isValidUtf8();
        EXPECT_EQ(video.contains("path_bytes"), !isUtf8);
        if (!isUtf8) {
            EXPECT_EQ(QByteArray::fromBase64(video["path_bytes"].toString().toLatin1()), paths[i]);
        }
    }
}

// Dates are formatted by hand: they must read as QDateTime would write them.
TEST(ScanReport, JsonDatesMatchQDateTime) {
    const Timestamp dates[] = {0.0,
                               -0.5,
                               1709665629.123,
                               951782400.0,
                               951868799.999,
                               4107542400.0,
                               -62135596800.0,
                               -62135596801.0,
                               253402300799.999,
                               253402300800.0,
                               -1e12,
                               1e300,
                               NAN,
                               kDistantPast};
    VideoList items;
    for (const Timestamp date : dates)
        items.append(VideoItem(QString::number(items.size()), QStringLiteral("v"), date, 1, 1, 1, false,
                               false, SizeState::failed()));
    const QJsonArray videos = parsed(written(items, {}))["videos"].toArray();
    ASSERT_EQ(videos.size(), std::size(dates));
    for (qsizetype i = 0; i < videos.size(); ++i) {
        const Timestamp date = dates[i];
        const QString expected =
            std::isfinite(date) && std::abs(date) < 1e13 && date != kDistantPast
                ? QDateTime::fromMSecsSinceEpoch(qint64(date * 1000.0), Qt::UTC).toString(Qt::ISODateWithMs)
                : QString();
        const QJsonValue shown = videos[i].toObject()["creation_date"];
        EXPECT_EQ(shown.isNull() ? QString() : shown.toString(), expected) << date;
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
