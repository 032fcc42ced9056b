#include "scan_report.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringDecoder>
#include <algorithm>
#include <array>

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

QString formatTable(const VideoList& items) {
    const std::array headers{tr("Name"), tr("Size"), tr("Length"), tr("Resolution"), tr("Date")};
    QList<std::array<QString, 5>> rows;
    rows.reserve(items.size());
    for (const VideoItem& item : items) {
        QString name = escapeForTerminal(item.displayName());
        if (item.isFavorite()) name += QStringLiteral(" \u2605");
        rows.append({name, sizeText(item.sizeState().byteCount()), durationText(item.duration()),
                     resolutionText(item.pixelWidth(), item.pixelHeight()), dateText(item.creationDate())});
    }
    std::array<qsizetype, 5> widths{};
    for (std::size_t column = 0; column < widths.size(); ++column) {
        widths[column] = headers[column].size();
        for (const auto& row : rows) widths[column] = std::max(widths[column], row[column].size());
    }
    QString out;
    const auto appendRow = [&](const std::array<QString, 5>& cells) {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            // Names align left; numbers and dates right, as the window shows them.
            out += column == 0 ? cells[column].leftJustified(widths[column])
                               : cells[column].rightJustified(widths[column]);
            out += column + 1 < cells.size() ? QStringLiteral("  ") : QStringLiteral("\n");
        }
    };
    appendRow(headers);
    for (const auto& row : rows) appendRow(row);
    return out;
}

QJsonDocument formatJson(const VideoList& items, const LibraryStats& stats,
                         const DuplicateSummary& duplicates, const PathLookup& pathOf) {
    QJsonArray videos;
    for (const VideoItem& item : items) {
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
        videos.append(video);
    }
    QJsonArray groups;
    QList<std::int64_t> sizes = duplicates.countsBySize.keys();
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    for (const std::int64_t size : sizes)
        groups.append(QJsonObject{{"bytes", qint64(size)}, {"count", duplicates.countsBySize.value(size)}});
    const QJsonObject summary{
        {"total_count", stats.totalCount},
        {"visible_count", stats.visibleCount},
        {"known_bytes", qint64(stats.knownBytes)},
        {"unknown_size_count", stats.unknownSizeCount},
        {"duplicate_video_count", duplicates.videoCount},
        {"reclaimable_bytes", qint64(duplicates.reclaimableBytes)},
        {"duplicate_groups", groups},
    };
    return QJsonDocument(QJsonObject{{"videos", videos}, {"summary", summary}});
}

}  // namespace reelkeep
