#include "sort_order.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "name_order.h"

namespace reelkeep {

namespace {

constexpr std::array kOrderNames{"nameAsc",          "nameDesc",        "sizeAsc",       "sizeDesc",
                                 "durationAsc",      "durationDesc",    "resolutionAsc", "resolutionDesc",
                                 "creationDateDesc", "creationDateAsc", "folderAsc",     "folderDesc"};

ComparisonResult fromSign(int sign) {
    return sign < 0 ? ComparisonResult::ascending
                    : (sign > 0 ? ComparisonResult::descending : ComparisonResult::same);
}

// NaN is equal to NaN and below every number: a total order, unlike IEEE's.
int compareDoubles(double a, double b) {
    const bool aNan = std::isnan(a), bNan = std::isnan(b);
    if (aNan || bNan) return int(bNan) - int(aNan);
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Pixel counts from hostile files can pass 2^63, so multiply in 128 bits.
__extension__ using PixelCount = __int128;
PixelCount pixelCount(const VideoItem& item) {
    return PixelCount(item.pixelWidth()) * item.pixelHeight();
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Base comparison in ascending sense; unknown sizes are handled by the caller.
int baseCompare(VideoSortColumn column, const VideoItem& a, const VideoItem& b) {
    switch (column) {
        case VideoSortColumn::name:
            return compareNames(a.displayName(), b.displayName());
        case VideoSortColumn::size: {
            const auto x = a.sizeState().byteCount(), y = b.sizeState().byteCount();
            return x && y ? threeWay(*x, *y) : 0;
        }
        case VideoSortColumn::duration:
            return compareDoubles(a.duration(), b.duration());
        case VideoSortColumn::resolution:
            return threeWay(pixelCount(a), pixelCount(b));
        case VideoSortColumn::creationDate:
            return compareDoubles(a.creationDate(), b.creationDate());
        case VideoSortColumn::folder:
            if (const int byFolder = compareNames(a.folder(), b.folder())) return byFolder;
            return compareNames(a.displayName(), b.displayName());
    }
    return 0;
}

int unknownSizeRank(VideoSortColumn column, const VideoItem& a, const VideoItem& b) {
    if (column != VideoSortColumn::size) return 0;
    return int(a.sizeState().isUnknown()) - int(b.sizeState().isUnknown());
}

}  // namespace

QString rawValue(VideoSortOrder order) {
    return QString::fromLatin1(kOrderNames.at(std::size_t(order)));
}

std::optional<VideoSortOrder> videoSortOrderFromRaw(const QString& raw) {
    for (std::size_t i = 0; i < kOrderNames.size(); ++i)
        if (raw == QLatin1String(kOrderNames[i])) return VideoSortOrder(i);
    return std::nullopt;
}

VideoSortColumn column(VideoSortOrder order) {
    switch (order) {
        case VideoSortOrder::nameAsc:
        case VideoSortOrder::nameDesc:
            return VideoSortColumn::name;
        case VideoSortOrder::sizeAsc:
        case VideoSortOrder::sizeDesc:
            return VideoSortColumn::size;
        case VideoSortOrder::durationAsc:
        case VideoSortOrder::durationDesc:
            return VideoSortColumn::duration;
        case VideoSortOrder::resolutionAsc:
        case VideoSortOrder::resolutionDesc:
            return VideoSortColumn::resolution;
        case VideoSortOrder::creationDateDesc:
        case VideoSortOrder::creationDateAsc:
            return VideoSortColumn::creationDate;
        case VideoSortOrder::folderAsc:
        case VideoSortOrder::folderDesc:
            return VideoSortColumn::folder;
    }
    return VideoSortColumn::size;
}

SortOrder direction(VideoSortOrder order) {
    switch (order) {
        case VideoSortOrder::nameAsc:
        case VideoSortOrder::sizeAsc:
        case VideoSortOrder::durationAsc:
        case VideoSortOrder::resolutionAsc:
        case VideoSortOrder::creationDateAsc:
        case VideoSortOrder::folderAsc:
            return SortOrder::forward;
        case VideoSortOrder::nameDesc:
        case VideoSortOrder::sizeDesc:
        case VideoSortOrder::durationDesc:
        case VideoSortOrder::resolutionDesc:
        case VideoSortOrder::creationDateDesc:
        case VideoSortOrder::folderDesc:
            return SortOrder::reverse;
    }
    return SortOrder::forward;
}

VideoSortOrder videoSortOrder(VideoSortColumn column, SortOrder order) {
    const bool forward = order == SortOrder::forward;
    switch (column) {
        case VideoSortColumn::name:
            return forward ? VideoSortOrder::nameAsc : VideoSortOrder::nameDesc;
        case VideoSortColumn::size:
            return forward ? VideoSortOrder::sizeAsc : VideoSortOrder::sizeDesc;
        case VideoSortColumn::duration:
            return forward ? VideoSortOrder::durationAsc : VideoSortOrder::durationDesc;
        case VideoSortColumn::resolution:
            return forward ? VideoSortOrder::resolutionAsc : VideoSortOrder::resolutionDesc;
        case VideoSortColumn::creationDate:
            return forward ? VideoSortOrder::creationDateAsc : VideoSortOrder::creationDateDesc;
        case VideoSortColumn::folder:
            return forward ? VideoSortOrder::folderAsc : VideoSortOrder::folderDesc;
    }
    return VideoSortOrder::sizeDesc;
}

VideoTableSortComparator tableComparator(VideoSortOrder order) {
    return {column(order), direction(order)};
}

ComparisonResult VideoTableSortComparator::compare(const VideoItem& a, const VideoItem& b) const {
    if (const int rank = unknownSizeRank(column, a, b)) return fromSign(rank);
    int result = baseCompare(column, a, b);
    if (order == SortOrder::reverse) result = -result;
    if (result != 0) return fromSign(result);
    return fromSign(compareIdentifiers(a.localIdentifier(), b.localIdentifier()));
}

namespace {

// Sorting 100k records must stay well inside a frame budget, so the merge passes
// move only small `HotEntry` values: a key monotone in the column's order (names:
// their first 24 key bytes) and, where ties are common, the identifier's head;
// only ties beyond those read the records.

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Order-preserving maps into unsigned 64 bits.
std::uint64_t orderedBits(std::int64_t value) {
    return std::uint64_t(value) ^ (std::uint64_t(1) << 63);
}
std::uint64_t orderedBits(double value) {
    if (std::isnan(value)) return 0;                                             // below every number
    const auto bits = std::bit_cast<std::uint64_t>(value == 0.0 ? 0.0 : value);  // -0 == +0
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t(1) << 63);
}
// Not injective: products beyond 64 bits share the end keys and are told apart in full.
std::uint64_t orderedBits(PixelCount value) {
    constexpr auto kMin = PixelCount(std::numeric_limits<std::int64_t>::min());
    constexpr auto kMax = PixelCount(std::numeric_limits<std::int64_t>::max());
    return orderedBits(std::int64_t(std::clamp(value, kMin, kMax)));
}

// Eight ASCII characters from `from` on, big-endian, zero-padded.
std::uint64_t packAscii(QStringView ascii, qsizetype from) {
    std::uint64_t packed = 0;
    for (qsizetype i = from; i < from + 8; ++i)
        packed = packed << 8 | (i < ascii.size() ? ascii[i].unicode() : 0);
    return packed;
}

// Eight bytes from `from` on, big-endian, zero-padded.
std::uint64_t packBytes(std::string_view bytes, std::size_t from) {
    std::uint64_t packed = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        packed = packed << 8 | (i < bytes.size() ? std::uint8_t(bytes[i]) : 0);
    return packed;
}

// Ties mostly come from one folder, so identifier heads skip what every ASCII
// identifier of the list shares.
qsizetype sharedAsciiPrefixLength(const VideoList& items) {
    std::optional<QStringView> first;
    qsizetype shared = 0;
    for (const VideoItem& item : items) {
        const QStringView id = item.localIdentifier();
        if (!isAscii(id)) continue;
        if (!first) {
            first = id;
            shared = id.size();
        }
        shared = std::mismatch(first->begin(), first->begin() + shared, id.begin(), id.end()).first -
                 first->begin();
    }
    return shared;
}

struct HotEntry {
    // The column value; names use all three words (24 bytes of their key).
    std::array<std::uint64_t, 3> key{};
    // ASCII identifiers: 24 characters after the prefix they all share.
    std::array<std::uint64_t, 3> idHead{};
    std::uint32_t position = 0;
    bool isAsciiId = false;
    bool isUnknownSize = false;
};

}  // namespace

VideoList sortedItems(const VideoList& items, VideoSortOrder order) {
    const VideoTableSortComparator comparator = tableComparator(order);
    const bool reverse = comparator.order == SortOrder::reverse;
    // Sizes tie within every duplicate group and resolutions on most items (a few
    // common frame sizes); elsewhere ties are rare and read the identifiers themselves.
    const bool packsIds =
        comparator.column == VideoSortColumn::resolution || comparator.column == VideoSortColumn::size;
    const qsizetype shared = packsIds ? sharedAsciiPrefixLength(items) : 0;
    // Name keys back to back in one buffer: one allocation instead of one per item.
    std::string nameKeys;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> nameSpans;
    const auto nameKey = [&](std::uint32_t position) {
        const auto [offset, length] = nameSpans[position];
        return std::string_view(nameKeys).substr(offset, length);
    };
    const bool byFolder = comparator.column == VideoSortColumn::folder;
    if (comparator.column == VideoSortColumn::name || byFolder) {
        std::size_t bytes = 0;
        for (const VideoItem& item : items)
            bytes += std::size_t(item.displayName().size() + (byFolder ? item.folder().size() + 1 : 0)) + 4;
        nameKeys.reserve(bytes);
        nameSpans.reserve(std::size_t(items.size()));
        for (const VideoItem& item : items) {
            const std::size_t offset = nameKeys.size();
            if (byFolder) {
                // The lowest byte ends the folder, so a folder sorts before those it prefixes.
                appendNameSortKey(item.folder(), nameKeys);
                nameKeys += '\0';
            }
            appendNameSortKey(item.displayName(), nameKeys);
            nameSpans.emplace_back(std::uint32_t(offset), std::uint32_t(nameKeys.size() - offset));
        }
    }

    std::vector<HotEntry> entries;
    entries.reserve(std::size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        const VideoItem& item = items[i];
        HotEntry entry;
        entry.position = std::uint32_t(i);
        entry.isAsciiId = packsIds && isAscii(item.localIdentifier());
        if (entry.isAsciiId)
            for (std::size_t word = 0; word < entry.idHead.size(); ++word)
                entry.idHead[word] = packAscii(item.localIdentifier(), shared + 8 * qsizetype(word));
        switch (comparator.column) {
            case VideoSortColumn::name:
            case VideoSortColumn::folder:
                for (std::size_t word = 0; word < entry.key.size(); ++word)
                    entry.key[word] = packBytes(nameKey(std::uint32_t(i)), 8 * word);
                break;
            case VideoSortColumn::size:
                entry.isUnknownSize = item.sizeState().isUnknown();
                entry.key[0] = orderedBits(item.sizeState().byteCount().value_or(0));
                break;
            case VideoSortColumn::duration:
                entry.key[0] = orderedBits(item.duration());
                break;
            case VideoSortColumn::resolution:
                entry.key[0] = orderedBits(pixelCount(item));
                break;
            case VideoSortColumn::creationDate:
                entry.key[0] = orderedBits(item.creationDate());
                break;
        }
        if (reverse)
            for (std::uint64_t& word : entry.key) word = ~word;
        entries.push_back(entry);
    }

    const bool fullProducts = comparator.column == VideoSortColumn::resolution;
    std::stable_sort(entries.begin(), entries.end(), [&](const HotEntry& a, const HotEntry& b) {
        if (a.isUnknownSize != b.isUnknownSize) return b.isUnknownSize;  // last in both directions
        if (a.key != b.key) return a.key < b.key;
        if (!nameSpans.empty()) {
            const auto rest = [&](std::uint32_t position) {
                const std::string_view name = nameKey(position);
                return name.substr(std::min<std::size_t>(24, name.size()));
            };
            const int byName = rest(a.position).compare(rest(b.position));
            if (byName != 0) return reverse ? byName > 0 : byName < 0;
        }
        const VideoItem& x = items[a.position];
        const VideoItem& y = items[b.position];
        // Clamped products sit on the two end keys.
        const bool clamped = a.key[0] == 0 || a.key[0] == std::numeric_limits<std::uint64_t>::max();
        if (fullProducts && clamped && pixelCount(x) != pixelCount(y))
            return reverse ? pixelCount(x) > pixelCount(y) : pixelCount(x) < pixelCount(y);
        if (a.isAsciiId && b.isAsciiId) {
            if (a.idHead != b.idHead) return a.idHead < b.idHead;
            const qsizetype skip = shared + 24;  // ASCII: unit order is code point order
            return QStringView(x.localIdentifier()).mid(std::min(skip, x.localIdentifier().size())) <
                   QStringView(y.localIdentifier()).mid(std::min(skip, y.localIdentifier().size()));
        }
        return compareIdentifiers(x.localIdentifier(), y.localIdentifier()) < 0;
    });

    VideoList sorted;
    sorted.reserve(items.size());
    for (const HotEntry& entry : entries) sorted.append(items[entry.position]);
    return sorted;
}

}  // namespace reelkeep
