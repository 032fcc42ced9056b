// scan_report.cpp: table and JSON writers, terminal escaping and widths.
#include "scan_report.h"

#include <sys/stat.h>

#include <unicode/uchar.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
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

int codePointWidth(char32_t codePoint) {
    const auto category = static_cast<UCharCategory>(u_charType(UChar32(codePoint)));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR ||
        category == U_CONTROL_CHAR)
        return 0;
    const int hangul = u_getIntPropertyValue(UChar32(codePoint), UCHAR_HANGUL_SYLLABLE_TYPE);
    if (hangul == U_HST_VOWEL_JAMO || hangul == U_HST_TRAILING_JAMO) return 0;  // they join the syllable
    const int eastAsian = u_getIntPropertyValue(UChar32(codePoint), UCHAR_EAST_ASIAN_WIDTH);
    if (eastAsian == U_EA_WIDE || eastAsian == U_EA_FULLWIDTH) return 2;
    if (u_hasBinaryProperty(UChar32(codePoint), UCHAR_EMOJI_PRESENTATION)) return 2;
    return 1;
}

// A cluster is as wide as its widest character: a family emoji joined by
// zero-width joiners is one picture, "e" with a combining accent one letter.
int clusterWidth(QStringView cluster) {
    int width = 0;
    for (const char32_t codePoint : cluster.toUcs4()) {
        if (codePoint == 0xFE0F) width = std::max(width, 2);  // emoji presentation asked for
        width = std::max(width, codePointWidth(codePoint));
    }
    return width;
}

}  // namespace

int terminalWidth(QStringView text) {
    // Below U+0300 every character is one cell: names in Latin scripts skip the cluster walk.
    if (std::all_of(text.begin(), text.end(),
                    [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x300; }))
        return int(text.size());
    const QString copy = text.toString();
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, copy);
    int width = 0;
    qsizetype start = 0;
    for (qsizetype end = clusters.toNextBoundary(); end > 0; end = clusters.toNextBoundary()) {
        width += clusterWidth(QStringView(copy).sliced(start, end - start));
        start = end;
    }
    return width;
}

QString sizeSourceWord(SizeSource source) {
    switch (source) {
        case SizeSource::photosMetadata:
        case SizeSource::resourceDataSize:
        case SizeSource::logicalFileSize:
        case SizeSource::fileAttributes:
            return QStringLiteral("st_size");
        case SizeSource::allocatedSize:
            return QStringLiteral("st_blocks");
    }
    return {};
}

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

QJsonObject videoObject(const VideoItem& item, const PathLookup& pathOf,
                        const DateSourceLookup& dateSourceOf) {
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
    const std::optional<DateSource> dateSource =
        dateSourceOf ? dateSourceOf(item.localIdentifier()) : std::nullopt;
    video.insert("date_source", dateSource ? QJsonValue(rawValue(*dateSource)) : QJsonValue());
    if (const auto bytes = item.sizeState().byteCount()) {
        video.insert("bytes", qint64(*bytes));
        video.insert("size_source", sizeSourceWord(item.sizeState().source()));
    } else {
        video.insert("bytes", QJsonValue());
        video.insert("size_source", QJsonValue());
    }
    if (const std::optional<QByteArray> path = pathOf ? pathOf(item.localIdentifier()) : std::nullopt) {
        video.insert("path", QString::fromUtf8(*path));
        if (!isValidUtf8(*path)) video.insert("path_bytes", QString::fromLatin1(path->toBase64()));
        // What the file takes on disk: far less than its length when sparse.
        struct stat status {};
        video.insert("allocated_bytes", ::lstat(path->constData(), &status) == 0 && S_ISREG(status.st_mode)
                                            ? QJsonValue(qint64(status.st_blocks) * 512)
                                            : QJsonValue());
    } else {
        video.insert("path", QJsonValue());
        video.insert("allocated_bytes", QJsonValue());
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

bool writeTable(const VideoList& items, QTextStream& out) {
    const std::array<QString, kColumnCount> headers{tr("Name"), tr("Size"), tr("Length"), tr("Resolution"),
                                                    tr("Date")};
    std::array<qsizetype, kColumnCount> widths{};
    for (std::size_t column = 0; column < kColumnCount; ++column)
        widths[column] = terminalWidth(headers[column]);
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
            widths[column] = std::max<qsizetype>(widths[column], terminalWidth(cells[column]));
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
            const qsizetype padding = std::max<qsizetype>(widths[column] - terminalWidth(cell), 0);
            if (column > 0) line.resize(line.size() + padding, QLatin1Char(' '));
            line += cell;
            if (column == 0) line.resize(line.size() + padding, QLatin1Char(' '));
            line += column + 1 < kColumnCount ? QStringLiteral("  ") : QStringLiteral("\n");
        }
        out << line;
        return out.status() == QTextStream::Ok;
    };
    if (!writeLine([&](std::size_t column) { return QStringView(headers[column]); })) return false;
    for (QString& row : rows) {
        qsizetype start = 0;
        const bool isWritten = writeLine([&](std::size_t) {
            qsizetype end = row.indexOf(kCellSeparator, start);
            if (end < 0) end = row.size();
            const QStringView cell = QStringView(row).sliced(start, end - start);
            start = end + 1;
            return cell;
        });
        if (!isWritten) return false;
        row = QString();  // written: its memory goes back while the rest is written
    }
    return true;
}

QString formatTable(const VideoList& items) {
    QString text;
    QTextStream out(&text);
    (void)writeTable(items, out);  // a string takes every write
    out.flush();
    return text;
}

QJsonDocument formatJson(const VideoList& items, const LibraryStats& stats,
                         const DuplicateSummary& duplicates, const PathLookup& pathOf,
                         const DateSourceLookup& dateSourceOf) {
    QJsonArray videos;
    for (const VideoItem& item : items) videos.append(videoObject(item, pathOf, dateSourceOf));
    return QJsonDocument(QJsonObject{{"videos", videos}, {"summary", summaryObject(stats, duplicates)}});
}

bool writeJson(const VideoList& items, const LibraryStats& stats, const DuplicateSummary& duplicates,
               const PathLookup& pathOf, QIODevice& out, const DateSourceLookup& dateSourceOf) {
    // The document with no videos, split where they go: keys are written in
    // sorted order, so the videos array is the last member.
    const QByteArray frame =
        QJsonDocument(QJsonObject{{"videos", QJsonArray()}, {"summary", summaryObject(stats, duplicates)}})
            .toJson(QJsonDocument::Indented);
    const QByteArray videosOpen = "\"videos\": [\n";
    const qsizetype split = frame.lastIndexOf(videosOpen) + videosOpen.size();
    const auto write = [&out](const QByteArray& bytes) { return out.write(bytes) == bytes.size(); };
    if (!write(frame.left(split))) return false;
    // An array element of this depth: its lines indented by two levels.
    const QByteArray indent(8, ' ');
    for (qsizetype i = 0; i < items.size(); ++i) {
        QByteArray video =
            QJsonDocument(videoObject(items[i], pathOf, dateSourceOf)).toJson(QJsonDocument::Indented);
        video.chop(1);  // the document's final line break
        if (!write(indent + video.replace("\n", "\n" + indent) + (i + 1 < items.size() ? ",\n" : "\n")))
            return false;
    }
    return write(frame.mid(split));
}

}  // namespace reelkeep
