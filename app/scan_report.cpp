#include "scan_report.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <numeric>

#include "model/display_text.h"
#include "model/texts.h"

namespace reelkeep {

namespace {

QString isoDate(Timestamp date) {
    if (date == kDistantPast || !std::isfinite(date)) return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(date * 1000.0), Qt::UTC).toString(Qt::ISODateWithMs);
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);  // decoding is lazy until converted
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

}  // namespace

QString escapeForTerminal(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'\n') {
            out += QLatin1String("\\n");
        } else if (unit == u'\t') {
            out += QLatin1String("\\t");
        } else if (unit == u'\r') {
            out += QLatin1String("\\r");
        } else if (unit < 0x20 || unit == 0x7F || (unit >= 0x80 && unit < 0xA0) || unit == 0x2028 ||
                   unit == 0x2029 || unit == 0x202E) {
            // 0x202E (right-to-left override) could make a name read as another.
            out += QStringLiteral("\\x%1").arg(unsigned(unit), unit > 0xFF ? 4 : 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// A character escapeForTerminal never lets through, so it can join the cells of a row.
constexpr QChar kCellSeparator = QChar(0x1F);
constexpr std::size_t kColumnCount = 5;

QJsonObject videoObject(const VideoItem& item, const PathLookup& pathOf) {
    QJsonObject video{
        {"id", item.localIdentifier()},
        {"name", item.displayName()},
        {"length_s", std::isfinite(item.duration()) ? QJsonValue(item.duration()) : QJsonValue()},
        {"width", qint64(item.pixelWidth())},
        {"height", qint64(item.pixelHeight())},
        {"favorite", item.isFavorite()},
        {"screen_recording", item.isScreenRecording()},
    };
    const QString date = isoDate(item.creationDate());
    video.insert("creation_date", date.isEmpty() ? QJsonValue() : QJsonValue(date));
    if (const auto bytes = item.sizeState().byteCount()) {
        video.insert("bytes", qint64(*bytes));
        video.insert("size_source", rawValue(item.sizeState().source()));
    } else {
        video.insert("bytes", QJsonValue());
        video.insert("size_source", QJsonValue());
    }
    if (const std::optional<QByteArray> path = pathOf ? pathOf(item.localIdentifier()) : std::nullopt) {
        video.insert("path", QString::fromUtf8(*path));
        if (!isValidUtf8(*path)) video.insert("path_bytes", QString::fromLatin1(path->toBase64()));
    } else {
        video.insert("path", QJsonValue());
    }
    return video;
}

QJsonObject summaryObject(const LibraryStats& stats, const DuplicateSummary& duplicates) {
    QJsonArray groups;
    QList<std::int64_t> sizes = duplicates.countsBySize.keys();
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    for (const std::int64_t size : sizes)
        groups.append(QJsonObject{{"bytes", qint64(size)}, {"count", duplicates.countsBySize.value(size)}});
    return QJsonObject{
        {"total_count", stats.totalCount},
        {"visible_count", stats.visibleCount},
        {"known_bytes", qint64(stats.knownBytes)},
        {"unknown_size_count", stats.unknownSizeCount},
        {"duplicate_video_count", duplicates.videoCount},
        {"reclaimable_bytes", qint64(duplicates.reclaimableBytes)},
        {"duplicate_groups", groups},
    };
}

}  // namespace

void writeTable(const VideoList& items, QTextStream& out) {
    const std::array<QString, kColumnCount> headers{tr("Name"), tr("Size"), tr("Length"), tr("Resolution"),
                                                    tr("Date")};
    std::array<qsizetype, kColumnCount> widths{};
    for (std::size_t column = 0; column < kColumnCount; ++column) widths[column] = headers[column].size();
    // Every width must be known before the first line: the cells are kept, one
    // string per row rather than five, then padded line by line.
    QList<QString> rows;
    rows.reserve(items.size());
    for (const VideoItem& item : items) {
        QString name = escapeForTerminal(item.displayName());
        if (item.isFavorite()) name += QStringLiteral(" \u2605");
        const std::array<QString, kColumnCount> cells{
            name, sizeText(item.sizeState().byteCount()), durationText(item.duration()),
            resolutionText(item.pixelWidth(), item.pixelHeight()), dateText(item.creationDate())};
        QString row;
        row.reserve(std::accumulate(cells.begin(), cells.end(), qsizetype(kColumnCount),
                                    [](qsizetype sum, const QString& cell) { return sum + cell.size(); }));
        for (std::size_t column = 0; column < kColumnCount; ++column) {
            widths[column] = std::max(widths[column], cells[column].size());
            if (column > 0) row += kCellSeparator;
            row += cells[column];
        }
        rows.append(std::move(row));
    }
    QString line;  // one buffer for every line: its capacity stays
    const auto writeLine = [&](const auto& cellAt) {
        line.resize(0);
        for (std::size_t column = 0; column < kColumnCount; ++column) {
            const QStringView cell = cellAt(column);
            // Names align left; numbers and dates right, as the window shows them.
            const qsizetype padding = std::max<qsizetype>(widths[column] - cell.size(), 0);
            if (column > 0) line.resize(line.size() + padding, QLatin1Char(' '));
            line += cell;
            if (column == 0) line.resize(line.size() + padding, QLatin1Char(' '));
            line += column + 1 < kColumnCount ? QStringLiteral("  ") : QStringLiteral("\n");
        }
        out << line;
    };
    writeLine([&](std::size_t column) { return QStringView(headers[column]); });
    for (QString& row : rows) {
        qsizetype start = 0;
        writeLine([&](std::size_t) {
            qsizetype end = row.indexOf(kCellSeparator, start);
            if (end < 0) end = row.size();
            const QStringView cell = QStringView(row).sliced(start, end - start);
            start = end + 1;
            return cell;
        });
        row = QString();  // written: its memory goes back while the rest is written
    }
}

QString formatTable(const VideoList& items) {
    QString text;
    QTextStream out(&text);
    writeTable(items, out);
    out.flush();
    return text;
}

QJsonDocument formatJson(const VideoList& items, const LibraryStats& stats,
                         const DuplicateSummary& duplicates, const PathLookup& pathOf) {
    QJsonArray videos;
    for (const VideoItem& item : items) videos.append(videoObject(item, pathOf));
    return QJsonDocument(QJsonObject{{"videos", videos}, {"summary", summaryObject(stats, duplicates)}});
}

void writeJson(const VideoList& items, const LibraryStats& stats, const DuplicateSummary& duplicates,
               const PathLookup& pathOf, QIODevice& out) {
    // The document with no videos, split where they go: keys are written in
    // sorted order, so the videos array is the last member.
    const QByteArray frame =
        QJsonDocument(QJsonObject{{"videos", QJsonArray()}, {"summary", summaryObject(stats, duplicates)}})
            .toJson(QJsonDocument::Indented);
    const QByteArray videosOpen = "\"videos\": [\n";
    const qsizetype split = frame.lastIndexOf(videosOpen) + videosOpen.size();
    out.write(frame.left(split));
    // An array element of this depth: its lines indented by two levels.
    const QByteArray indent(8, ' ');
    for (qsizetype i = 0; i < items.size(); ++i) {
        QByteArray video = QJsonDocument(videoObject(items[i], pathOf)).toJson(QJsonDocument::Indented);
        video.chop(1);  // the document's final line break
        out.write(indent + video.replace("\n", "\n" + indent));
        out.write(i + 1 < items.size() ? ",\n" : "\n");
    }
    out.write(frame.mid(split));
}

}  // namespace reelkeep
