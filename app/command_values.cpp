// command_values.cpp: amounts are read as exact decimals, never through a
// double: "1.1G" must be 1,100,000,000 bytes, not one byte less.
#include "command_values.h"

#include <string>

#include <array>
#include <limits>

#include "model/filters.h"

namespace reelkeep {

namespace {

struct SortWord {
    const char* word;
    VideoSortOrder order;
};

// Each column's word alone gives the order the window starts it in: names A to
// Z, everything else biggest, longest or newest first.
constexpr std::array<SortWord, 10> kSortWords{{
    {"name", VideoSortOrder::nameAsc},
    {"name-desc", VideoSortOrder::nameDesc},
    {"size", VideoSortOrder::sizeDesc},
    {"size-asc", VideoSortOrder::sizeAsc},
    {"length", VideoSortOrder::durationDesc},
    {"length-asc", VideoSortOrder::durationAsc},
    {"resolution", VideoSortOrder::resolutionDesc},
    {"resolution-asc", VideoSortOrder::resolutionAsc},
    {"date-newest", VideoSortOrder::creationDateDesc},
    {"date-oldest", VideoSortOrder::creationDateAsc},
}};

struct Unit {
    const char* suffix;
    std::int64_t bytes;
};

constexpr std::int64_t kKilo = 1000;
constexpr std::int64_t kKibi = 1024;
constexpr std::array<Unit, 14> kUnits{{
    {"", 1},
    {"b", 1},
    {"k", kKilo},
    {"kb", kKilo},
    {"m", kKilo* kKilo},
    {"mb", kKilo* kKilo},
    {"g", kKilo* kKilo* kKilo},
    {"gb", kKilo* kKilo* kKilo},
    {"t", kKilo* kKilo* kKilo* kKilo},
    {"tb", kKilo* kKilo* kKilo* kKilo},
    {"kib", kKibi},
    {"mib", kKibi* kKibi},
    {"gib", kKibi* kKibi* kKibi},
    {"tib", kKibi* kKibi* kKibi* kKibi},
}};

// 18 fraction digits times a unit below 2^41 fit, and every product stays exact.
__extension__ typedef unsigned __int128 Wide;
constexpr int kMaxFractionDigits = 18;

std::optional<std::int64_t> unitBytes(const QString& suffix) {
    for (const Unit& unit : kUnits)
        if (suffix == QLatin1String(unit.suffix)) return unit.bytes;
    return std::nullopt;
}

// whole.fraction × unit, rounded up; nothing beyond INT64_MAX.
std::optional<std::int64_t> scaled(const QString& whole, const QString& fraction, std::int64_t unit) {
    constexpr Wide kMax = Wide(std::numeric_limits<std::int64_t>::max());
    Wide bytes = 0;
    for (const QChar digit : whole) {
        bytes = bytes * 10 + Wide(digit.digitValue());
        if (bytes > kMax) return std::nullopt;
    }
    bytes *= Wide(unit);
    Wide numerator = 0, denominator = 1;
    bool isCut = false;  // digits past the 18th only ever round up
    for (qsizetype i = 0; i < fraction.size(); ++i) {
        if (i >= kMaxFractionDigits) {
            isCut = isCut || fraction[i] != QLatin1Char('0');
            continue;
        }
        numerator = numerator * 10 + Wide(fraction[i].digitValue());
        denominator *= 10;
    }
    const Wide part = numerator * Wide(unit);
    bytes += part / denominator + (part % denominator != 0 || isCut ? 1 : 0);
    if (bytes > kMax) return std::nullopt;
    return std::int64_t(bytes);
}

}  // namespace

std::optional<VideoSortOrder> parseSortOrder(const QString& text) {
    const QString word = text.toLower();
    for (const SortWord& entry : kSortWords)
        if (word == QLatin1String(entry.word)) return entry.order;
    for (const VideoSortOrder order : kAllSortOrders)
        if (word == rawValue(order).toLower()) return order;
    return std::nullopt;
}

QString sortOrderWords() {
    QStringList words;
    for (const SortWord& entry : kSortWords) words.append(QLatin1String(entry.word));
    return words.join(QStringLiteral(", "));
}

std::optional<std::int64_t> parseMinimumSize(const QString& text) {
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("none")) return 0;
    for (const SizeFilter filter : kAllSizeFilters)
        if (value == rawValue(filter).toLower()) return minimumBytes(filter).value_or(0);
    qsizetype at = 0;
    const auto digitsFrom = [&] {
        const qsizetype start = at;
        while (at < value.size() && value[at].isDigit() && value[at].unicode() < 0x80) ++at;
        return value.mid(start, at - start);
    };
    const QString whole = digitsFrom();
    QString fraction;
    if (at < value.size() && value[at] == QLatin1Char('.')) {
        ++at;
        fraction = digitsFrom();
    }
    if (whole.isEmpty() && fraction.isEmpty()) return std::nullopt;
    const std::optional<std::int64_t> unit = unitBytes(value.mid(at).trimmed());
    if (!unit) return std::nullopt;
    return scaled(whole, fraction, *unit);
}

std::vector<QByteArray> rawOptionValues(int argc, const char* const* argv, std::string_view name) {
    std::vector<QByteArray> values;
    const std::string option = "--" + std::string(name);
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        if (argument == option && i + 1 < argc) {
            values.emplace_back(argv[++i]);
        } else if (argument.size() > option.size() && argument.starts_with(option) &&
                   argument[option.size()] == '=') {
            values.emplace_back(argv[i] + option.size() + 1);
        }
    }
    return values;
}

}  // namespace reelkeep
