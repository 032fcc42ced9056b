// scan_report.cpp: table and JSON writers, terminal escaping and widths.
#include "scan_report.h"

#include <sys/stat.h>

#include <unicode/uchar.h>

#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <string_view>

#include "model/display_text.h"
#include "model/texts.h"
#include "platform/folder/fs/fingerprint.h"

namespace reelkeep {

namespace {

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

// The text before it is written: bytes appended one at a time cost a bounds
// check and a store, where QByteArray also checks sharing and calls out of line.
class TextBuffer {
public:
    void reserve(qsizetype capacity) {
        if (capacity > m_capacity) grow(capacity - m_size);
    }
    TextBuffer& operator+=(char c) {
        if (m_size == m_capacity) grow(1);
        m_data[m_size++] = c;
        return *this;
    }
    TextBuffer& operator+=(std::string_view text) {
        append(text.data(), qsizetype(text.size()));
        return *this;
    }
    void append(const char* bytes, qsizetype count) {
        if (count > m_capacity - m_size) grow(count);
        std::memcpy(m_data.get() + m_size, bytes, std::size_t(count));
        m_size += count;
    }
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }
    void append(qsizetype count, char c) {
        if (count > m_capacity - m_size) grow(count);
        std::memset(m_data.get() + m_size, c, std::size_t(count));
        m_size += count;
    }
    // Room for `count` more bytes at the address returned; commit() says how many were written.
    char* tail(qsizetype count) {
        if (count > m_capacity - m_size) grow(count);
        return m_data.get() + m_size;
    }
    void commit(qsizetype count) { m_size += count; }
    const char* data() const { return m_data.get(); }
    qsizetype size() const { return m_size; }
    void clear() { m_size = 0; }

private:
    void grow(qsizetype more) {
        const qsizetype capacity = std::max(m_capacity * 2, m_size + more);
        auto data = std::make_unique<char[]>(std::size_t(capacity));
        if (m_size > 0) std::memcpy(data.get(), m_data.get(), std::size_t(m_size));
        m_data = std::move(data);
        m_capacity = capacity;
    }

    std::unique_ptr<char[]> m_data;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

// Written by hand rather than through QJsonDocument: a tree per video and its
// re-indenting cost more than the whole scan. Keys come in the order
// QJsonObject sorts them, so the pretty layout is the one the tree gave.
class JsonWriter {
public:
    JsonWriter(QIODevice& out, JsonLayout layout) : m_out(out), m_isPretty(layout == JsonLayout::pretty) {
        m_text.reserve(kFlushBytes + 4096);
    }

    // A compact array of records puts each on its own line, for grep and head.
    void open(char bracket, bool isLinePerElement = false) {
        m_text += bracket;
        if (m_isPretty) m_text += '\n';
        ++m_depth;
        m_levels[m_depth] = {true, isLinePerElement && !m_isPretty};
    }
    void close(char bracket) {
        const Level level = m_levels[m_depth--];
        if (m_isPretty) {
            if (!level.isEmpty) m_text += '\n';
            indent(m_depth);
        } else if (level.isLinePerElement && !level.isEmpty) {
            m_text += '\n';
        }
        m_text += bracket;
    }
    // Before every array element.
    void element() {
        Level& level = m_levels[m_depth];
        if (!level.isEmpty) m_text += m_isPretty ? ",\n" : ",";
        if (level.isLinePerElement) m_text += '\n';
        level.isEmpty = false;
        if (m_isPretty) indent(m_depth);
    }
    JsonWriter& key(std::string_view name) {
        element();
        m_text += '"';
        m_text.append(name.data(), qsizetype(name.size()));
        m_text += m_isPretty ? "\": " : "\":";
        return *this;
    }

    void null() { m_text += "null"; }
    void boolean(bool value) { m_text += value ? "true" : "false"; }
    void number(std::int64_t value) {
        char digits[24];
        m_text.append(digits, std::to_chars(digits, std::end(digits), value).ptr - digits);
    }
    // As QJsonDocument writes a double: whole numbers up to 2^53 without an
    // exponent, others in their shortest form that reads back the same.
    void number(double value) {
        if (!std::isfinite(value)) return null();
        if (std::abs(value) <= 9007199254740992.0 && value == std::trunc(value))
            return number(std::int64_t(value));
        char digits[32];
        m_text.append(
            digits, std::to_chars(digits, std::end(digits), value, std::chars_format::general).ptr - digits);
    }
    void string(QStringView text);
    void utf8String(QByteArrayView validUtf8);
    // epoch seconds as 2024-03-05T19:07:09.000Z; null outside years 1 to 9999.
    void isoDate(Timestamp date);

    // The line break that ends the document, and everything still held.
    bool finish() {
        m_text += '\n';
        return flush();
    }
    // Hands the text over once it fills a few pages; false once a write failed.
    bool flushIfFull() { return m_text.size() < kFlushBytes || flush(); }
    bool flush() {
        if (m_isFailed) return false;
        m_isFailed = m_out.write(m_text.data(), m_text.size()) != m_text.size();
        m_text.clear();
        return !m_isFailed;
    }

private:
    static constexpr qsizetype kFlushBytes = 64 * 1024;
    static constexpr int kMaxDepth = 8;
    struct Level {
        bool isEmpty = true;
        bool isLinePerElement = false;
    };

    void indent(int depth) { m_text.append(qsizetype(4) * depth, ' '); }
    void escape(char32_t codePoint);

    QIODevice& m_out;
    bool m_isPretty;
    bool m_isFailed = false;
    TextBuffer m_text;
    int m_depth = 0;
    std::array<Level, kMaxDepth> m_levels{};
};

// What a JSON string cannot hold as it is; U+2028 and U+2029 too, which end a
// line in JavaScript and in some editors.
void JsonWriter::escape(char32_t codePoint) {
    switch (codePoint) {
        case U'"':
            m_text += "\\\"";
            return;
        case U'\\':
            m_text += "\\\\";
            return;
        case U'\b':
            m_text += "\\b";
            return;
        case U'\f':
            m_text += "\\f";
            return;
        case U'\n':
            m_text += "\\n";
            return;
        case U'\r':
            m_text += "\\r";
            return;
        case U'\t':
            m_text += "\\t";
            return;
        default:
            break;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    const char escaped[] = {'\\',
                            'u',
                            kHex[(codePoint >> 12) & 0xF],
                            kHex[(codePoint >> 8) & 0xF],
                            kHex[(codePoint >> 4) & 0xF],
                            kHex[codePoint & 0xF]};
    m_text.append(escaped, sizeof escaped);
}

constexpr bool needsEscape(char32_t codePoint) {
    return codePoint < 0x20 || codePoint == U'"' || codePoint == U'\\' || codePoint == 0x2028 ||
           codePoint == 0x2029;
}

void JsonWriter::string(QStringView text) {
    m_text += '"';
    // Plain ASCII, as most names and every identifier are, goes in one pass.
    qsizetype i = 0;
    char* plain = m_text.tail(text.size());
    const char16_t* units = text.utf16();
    for (; i < text.size() && units[i] < 0x80 && !needsEscape(units[i]); ++i) plain[i] = char(units[i]);
    m_text.commit(i);
    for (; i < text.size(); ++i) {
        char32_t codePoint = text[i].unicode();
        if (codePoint < 0x80) {
            if (needsEscape(codePoint))
                escape(codePoint);
            else
                m_text += char(codePoint);
            continue;
        }
        if (QChar::isHighSurrogate(codePoint) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            codePoint = QChar::surrogateToUcs4(char16_t(codePoint), text[++i].unicode());
        else if (QChar::isSurrogate(codePoint))
            codePoint = QChar::ReplacementCharacter;  // half a pair is no character: as toUtf8() writes it
        if (needsEscape(codePoint)) {
            escape(codePoint);
        } else if (codePoint < 0x800) {
            m_text += char(0xC0 | (codePoint >> 6));
            m_text += char(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            m_text += char(0xE0 | (codePoint >> 12));
            m_text += char(0x80 | ((codePoint >> 6) & 0x3F));
            m_text += char(0x80 | (codePoint & 0x3F));
        } else {
            m_text += char(0xF0 | (codePoint >> 18));
            m_text += char(0x80 | ((codePoint >> 12) & 0x3F));
            m_text += char(0x80 | ((codePoint >> 6) & 0x3F));
            m_text += char(0x80 | (codePoint & 0x3F));
        }
    }
    m_text += '"';
}

// Paths are bytes already: valid UTF-8 is copied, only escapes spelled out.
void JsonWriter::utf8String(QByteArrayView validUtf8) {
    m_text += '"';
    qsizetype start = 0;
    const auto copyUpTo = [&](qsizetype end) { m_text.append(validUtf8.sliced(start, end - start)); };
    for (qsizetype i = 0; i < validUtf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(validUtf8[i]);
        if (needsEscape(byte)) {
            copyUpTo(i);
            escape(byte);
            start = i + 1;
        } else if (byte == 0xE2 && i + 2 < validUtf8.size() && validUtf8[i + 1] == char(0x80) &&
                   (validUtf8[i + 2] == char(0xA8) || validUtf8[i + 2] == char(0xA9))) {
            copyUpTo(i);
            escape(validUtf8[i + 2] == char(0xA8) ? 0x2028 : 0x2029);
            i += 2;
            start = i + 1;
        }
    }
    copyUpTo(validUtf8.size());
    m_text += '"';
}

// The proleptic Gregorian calendar from a day count (Hinnant's civil_from_days).
void JsonWriter::isoDate(Timestamp date) {
    constexpr double kFirstSecond = -62135596800.0;  // 0001-01-01T00:00:00Z
    constexpr double kEndSecond = 253402300800.0;    // 10000-01-01T00:00:00Z
    if (date == kDistantPast || !std::isfinite(date) || date <= kFirstSecond - 1.0 || date >= kEndSecond)
        return null();
    const auto milliseconds = std::int64_t(date * 1000.0);  // toward zero, as the earlier output had it
    if (milliseconds < std::int64_t(kFirstSecond) * 1000 || milliseconds >= std::int64_t(kEndSecond) * 1000)
        return null();
    constexpr std::int64_t kDayMs = 86'400'000;
    const std::int64_t days =
        milliseconds >= 0 ? milliseconds / kDayMs : (milliseconds - kDayMs + 1) / kDayMs;
    std::int64_t msOfDay = milliseconds - days * kDayMs;
    const std::int64_t shifted = days + 719468;  // days from 0000-03-01
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[] = "\"0000-00-00T00:00:00.000Z\"";
    const auto put = [&](int at, std::int64_t value, int width) {
        for (int i = at + width - 1; i >= at; --i, value /= 10) text[i] = char('0' + value % 10);
    };
    put(1, year, 4);
    put(6, month, 2);
    put(9, day, 2);
    put(12, msOfDay / 3'600'000, 2);
    msOfDay %= 3'600'000;
    put(15, msOfDay / 60'000, 2);
    msOfDay %= 60'000;
    put(18, msOfDay / 1000, 2);
    put(21, msOfDay % 1000, 3);
    m_text.append(text, sizeof text - 1);
}

void writeVideo(JsonWriter& json, const VideoItem& item, const FileFacts& facts, const CopySummary& copies) {
    const std::optional<QByteArray>& path = facts.path;
    json.open('{');
    json.key("allocated_bytes");
    // What the file takes on disk: far less than its length when sparse.
    facts.allocatedBytes ? json.number(*facts.allocatedBytes) : json.null();
    const std::optional<std::int64_t> bytes = item.sizeState().byteCount();
    json.key("bytes");
    bytes ? json.number(*bytes) : json.null();
    json.key("creation_date").isoDate(item.creationDate());
    json.key("date_source");
    facts.dateSource ? json.string(rawValue(*facts.dateSource)) : json.null();
    json.key("favorite").boolean(item.isFavorite());
    json.key("hard_links_outside")
        .number(std::int64_t(copies.hardLinksOutsideByID.value(item.localIdentifier())));
    json.key("height").number(std::int64_t(item.pixelHeight()));
    json.key("id").string(item.localIdentifier());
    // Shared by the verified identical copies of one set; null for any other video.
    json.key("identical_group");
    if (const int set = copies.setNumberByID.value(item.localIdentifier()); set > 0)
        json.number(std::int64_t(set));
    else
        json.null();
    json.key("length_s").number(item.duration());
    json.key("name").string(item.displayName());
    json.key("path");
    if (!path) {
        json.null();
    } else if (QByteArrayView(*path).isValidUtf8()) {
        json.utf8String(*path);
    } else {
        // Its text with U+FFFD where a byte is not UTF-8, and the bytes themselves.
        json.string(QString::fromUtf8(*path));
        json.key("path_bytes").utf8String(path->toBase64());
    }
    json.key("screen_recording").boolean(item.isScreenRecording());
    json.key("size_source");
    bytes ? json.string(sizeSourceWord(item.sizeState().source())) : json.null();
    json.key("width").number(std::int64_t(item.pixelWidth()));
    json.close('}');
}

void writeSummary(JsonWriter& json, const LibraryStats& stats, const DuplicateSummary& duplicates) {
    json.open('{');
    json.key("duplicate_groups").open('[');
    QList<std::int64_t> sizes = duplicates.countsBySize.keys();
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    for (const std::int64_t size : sizes) {
        json.element();
        json.open('{');
        json.key("bytes").number(size);
        json.key("count").number(std::int64_t(duplicates.countsBySize.value(size)));
        json.close('}');
    }
    json.close(']');
    json.key("duplicate_video_count").number(std::int64_t(duplicates.videoCount));
    json.key("known_bytes").number(stats.knownBytes);
    json.key("reclaimable_bytes").number(duplicates.reclaimableBytes);
    json.key("total_count").number(std::int64_t(stats.totalCount));
    json.key("unknown_size_count").number(std::int64_t(stats.unknownSizeCount));
    json.key("visible_count").number(std::int64_t(stats.visibleCount));
    json.close('}');
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

bool writeJson(const VideoList& items, const LibraryStats& stats, const DuplicateSummary& duplicates,
               const FileFactsSource& files, QIODevice& out, JsonLayout layout) {
    JsonWriter json(out, layout);
    json.open('{');
    json.key("summary");
    writeSummary(json, stats, duplicates);
    json.key("videos").open('[', true);
    for (qsizetype i = 0; i < items.size(); ++i) {
        json.element();
        writeVideo(json, items[i], files ? files(std::size_t(i)) : FileFacts{}, duplicates.copies);
        if (!json.flushIfFull()) return false;
    }
    json.close(']');
    json.close('}');
    return json.finish();
}

}  // namespace reelkeep
