// near_copies.cpp: the frame hash, the matcher and its candidate index, and
// the best-version rule. Pure: no I/O, no clock; hashing runs on the workers'
// hot path, matching on the service's thread.
#include "near_copies.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>
#include <optional>

#include "name_order.h"
#include "saturating.h"

namespace reelkeep {

namespace {

constexpr int kHashSide = 8;  // the 8×8 lowest frequencies make the 64 bits

// Orthonormal DCT-II basis, frequency last: table[x][u]. Orthonormal so a
// coefficient's size means the same at every frequency (the flatness test
// needs it); frequency last so the 8 frequencies are one vector in the loops.
using CosineTable = std::array<std::array<float, kHashSide>, kHashImageSide>;

const CosineTable& cosineTable() {
    static const CosineTable table = [] {
        CosineTable t{};
        for (int x = 0; x < kHashImageSide; ++x)
            for (int u = 0; u < kHashSide; ++u) {
                const double scale = std::sqrt((u == 0 ? 1.0 : 2.0) / kHashImageSide);
                t[x][u] =
                    float(scale * std::cos(std::numbers::pi * (2 * x + 1) * u / (2.0 * kHashImageSide)));
            }
        return t;
    }();
    return table;
}

// Below this low-frequency energy a picture is flat (black, a fade, a plain
// title card): its bits would be rounding noise. The squared AC coefficients
// of all frequencies sum to the picture's variance times 1024 (Parseval), so
// this is an RMS swing of 1 grey level in the frequencies the hash reads.
constexpr float kFlatEnergy = float(kHashImageSide * kHashImageSide) * 1.0f;

// The matcher's thresholds, all in one place.
// Lengths: containers round differently and a re-wrap may drop a trailing
// frame or an audio tail: max(1 s, 2 %) covers both, and a trim of a few
// seconds (a different edit) stays apart.
constexpr double kDurationSlackSeconds = 1.0;
constexpr double kDurationSlackFraction = 0.02;
// Displayed shapes: 1920×1088 against 1920×1080 and rounded anamorphic sizes
// differ by under 1 %; 4:3 against 16:9 by 25 %.
constexpr double kAspectSlackFraction = 0.05;
// Frames, paired by position. On the generated corpus (scripts/make-similar-
// corpus --height 360: 30 sources with half size at a high CRF, HEVC, MKV,
// logo, sideways and HEVC masters; 10 unrelated clips of the sources' lengths;
// 5 pairs sharing an intro) the seventh-closest frame of 96 % of copy pairs is
// within 14 bits (a logo over dark pictures and smooth gradients reach 16-24),
// of other clips of one length never closer than 18, of intro pairs 28. The
// sixth-closest of strangers comes down to 14, so 6 of 10 at 14 bits matched
// 36 wrong pairs; 7 of 10 at 14 matched none and found 97 % of the copy pairs
// (6 at 12: 96 %). 7 of 10 lets a version differ at a few moments (a logo, a
// caption, a fade placed differently) while a shared intro (30 %: 3 frames
// equal) stays far short of it.
constexpr int kFrameBitBudget = 14;
constexpr int kMinAgreeingFrames = 7;
// Flat frames agree with flat frames, yet two dark pocket recordings of one
// length are not copies: this many agreeing frames must show something.
constexpr int kMinAgreeingShapedFrames = 4;

bool isUsable(const VisualFingerprint& f) {
    return std::isfinite(f.durationSeconds) && f.durationSeconds > 0 && std::isfinite(f.aspectRatio) &&
           f.aspectRatio > 0 && f.frameCount > 0;
}

double durationSlack(double longer) {
    return std::max(kDurationSlackSeconds, kDurationSlackFraction * longer);
}

bool durationsAgree(double a, double b) {
    return std::abs(a - b) <= durationSlack(std::max(a, b));
}

bool aspectsAgree(double a, double b) {
    return std::abs(a - b) <= kAspectSlackFraction * std::max(a, b);
}

// A pair of frames at one position agrees when both are flat or both show
// something within the budget.
bool frameAgrees(std::uint64_t a, std::uint64_t b) {
    const bool flatA = a == kFlatPictureHash, flatB = b == kFlatPictureHash;
    return flatA == flatB && (flatA || std::popcount(a ^ b) <= kFrameBitBudget);
}

bool framesAgree(const std::array<std::uint64_t, kFingerprintFrames>& a,
                 const std::array<std::uint64_t, kFingerprintFrames>& b) {
    int disagreeing = 0, shaped = 0;
    for (int i = 0; i < kFingerprintFrames; ++i) {
        if (!frameAgrees(a[i], b[i])) {
            if (++disagreeing > kFingerprintFrames - kMinAgreeingFrames) return false;
        } else if (a[i] != kFlatPictureHash) {
            ++shaped;
        }
    }
    return shaped >= kMinAgreeingShapedFrames;
}

// The first frames, one more than may disagree: when all of them disagree the
// pair is settled, and for unrelated videos they do. The matcher keeps only
// these in its sweep, 40 bytes a video instead of 104.
constexpr int kPrefixFrames = kFingerprintFrames - kMinAgreeingFrames + 1;
using FramePrefix = std::array<std::uint64_t, kPrefixFrames>;

bool prefixesDiffer(const FramePrefix& a, const FramePrefix& b) {
    for (int i = 0; i < kPrefixFrames; ++i)
        if (frameAgrees(a[i], b[i])) return false;
    return true;
}

}  // namespace

double fingerprintFrameFraction(int index) {
    const int clamped = std::clamp(index, 0, kFingerprintFrames - 1);
    return 0.05 + 0.9 * clamped / (kFingerprintFrames - 1);
}

std::uint64_t perceptualHash(HashImage grey) {
    const CosineTable& cosines = cosineTable();
    // Rows first: only 8 of the 32 frequencies are ever needed, so the separable
    // transform is 32×32×8 + 8×8×32 products instead of a full 32×32 DCT. The
    // innermost loops run over the 8 frequencies, which the compiler turns into
    // vector arithmetic without reordering any sum.
    std::array<std::array<float, kHashSide>, kHashImageSide> rows{};
    for (int y = 0; y < kHashImageSide; ++y) {
        const std::uint8_t* line = grey.data() + y * kHashImageSide;
        for (int x = 0; x < kHashImageSide; ++x) {
            const float level = line[x];
            for (int v = 0; v < kHashSide; ++v) rows[y][v] += level * cosines[x][v];
        }
    }
    std::array<float, kHashSide * kHashSide> coefficients{};
    for (int u = 0; u < kHashSide; ++u)
        for (int y = 0; y < kHashImageSide; ++y) {
            const float weight = cosines[y][u];
            for (int v = 0; v < kHashSide; ++v) coefficients[u * kHashSide + v] += weight * rows[y][v];
        }

    // The median of the 63 AC coefficients, DC left out: DC is the brightness,
    // always far above the rest, so it says nothing about the picture's shape;
    // counted in, it shifts the median by half a rank, and on 200 generated
    // scenes with resized, re-quantized, brightened and noisy versions both
    // separate alike (worst version 14 bits, closest other scene 14). pHash's
    // block without the DC row and column did worse there (20 and 16). DC's
    // bit is set for every picture that is not flat, so a real hash is never
    // kFlatPictureHash.
    std::array<float, kHashSide * kHashSide - 1> ac{};
    std::copy(coefficients.begin() + 1, coefficients.end(), ac.begin());
    float energy = 0;
    for (float c : ac) energy += c * c;
    if (energy < kFlatEnergy) return kFlatPictureHash;
    auto middle = ac.begin() + ac.size() / 2;
    std::nth_element(ac.begin(), middle, ac.end());
    const float median = *middle;

    std::uint64_t hash = 1;  // DC: above the median
    for (int i = 1; i < kHashSide * kHashSide; ++i)
        if (coefficients[i] > median) hash |= std::uint64_t{1} << i;
    return hash;
}

bool areNearCopies(const VisualFingerprint& a, const VisualFingerprint& b) {
    return isUsable(a) && isUsable(b) && durationsAgree(a.durationSeconds, b.durationSeconds) &&
           aspectsAgree(a.aspectRatio, b.aspectRatio) && framesAgree(a.frameHashes, b.frameHashes);
}

namespace {

// Union-find over positions, halving paths; small enough to inline here.
class Components {
public:
    explicit Components(std::size_t count) : m_parent(count) {
        std::iota(m_parent.begin(), m_parent.end(), std::uint32_t{0});
    }
    std::uint32_t root(std::uint32_t x) {
        while (m_parent[x] != x) x = m_parent[x] = m_parent[m_parent[x]];
        return x;
    }
    void join(std::uint32_t a, std::uint32_t b) {
        a = root(a);
        b = root(b);
        if (a != b) m_parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::uint32_t> m_parent;
};

// Shapes in bands of the aspect slack on a log scale, a hair wider: shapes
// that agree are in one band or in two next to each other, so portrait never
// meets landscape and 4:3 never meets 16:9.
const double kAspectBandWidth = -std::log1p(-kAspectSlackFraction) * 1.0001;

std::int32_t aspectBand(double aspect) {
    return std::int32_t(std::floor(std::log(aspect) / kAspectBandWidth));
}

// The videos ordered by shape band, then length, and the groups they join.
struct Sweep {
    const std::vector<std::int32_t>& bands;
    const std::vector<double>& durations;
    const std::vector<double>& aspects;
    const std::vector<FramePrefix>& prefixes;
    const std::vector<std::uint32_t>& order;
    std::span<const VisualFingerprint* const> fingerprints;
    Components& components;
    const std::stop_token& stop;

    void tryPair(std::size_t k, std::size_t m) const {
        if (aspectsAgree(aspects[k], aspects[m]) && !prefixesDiffer(prefixes[k], prefixes[m]) &&
            areNearCopies(*fingerprints[order[k]], *fingerprints[order[m]]))
            components.join(order[k], order[m]);
    }
};

// Slacks stretched a little, so rounding never ends a window early; durationsAgree decides.
double longestPartner(double duration) {
    return std::max(duration + kDurationSlackSeconds * 1.001,
                    duration / (1 - kDurationSlackFraction * 1.001));
}
double shortestPartner(double duration) {
    return duration - durationSlack(duration) * 1.001;
}

[[gnu::always_inline]] inline void sweepPairs(const Sweep& sweep) {
    const std::size_t count = sweep.order.size();
    std::size_t nextBandBegin = 0;
    for (std::size_t begin = 0; begin < count; begin = nextBandBegin) {
        const std::int32_t band = sweep.bands[begin];
        nextBandBegin = begin;
        while (nextBandBegin < count && sweep.bands[nextBandBegin] == band) ++nextBandBegin;
        std::size_t nextBandEnd = nextBandBegin;
        if (nextBandBegin < count && sweep.bands[nextBandBegin] == band + 1)
            while (nextBandEnd < count && sweep.bands[nextBandEnd] == band + 1) ++nextBandEnd;
        const auto nextDurations =
            std::span(sweep.durations).subspan(nextBandBegin, nextBandEnd - nextBandBegin);
        for (std::size_t k = begin; k < nextBandBegin; ++k) {
            if (sweep.stop.stop_requested()) return;  // one look a video: its window costs far more
            const double limit = longestPartner(sweep.durations[k]);
            for (std::size_t m = k + 1; m < nextBandBegin && sweep.durations[m] <= limit; ++m)
                sweep.tryPair(k, m);
            // The band above: its lengths from a slack below to a slack above.
            const auto from = std::lower_bound(nextDurations.begin(), nextDurations.end(),
                                               shortestPartner(sweep.durations[k]));
            for (std::size_t m = nextBandBegin + std::size_t(from - nextDurations.begin());
                 m < nextBandEnd && sweep.durations[m] <= limit; ++m)
                sweep.tryPair(k, m);
        }
    }
}

#if defined(__x86_64__)
// The build targets every x86-64, which lacks a popcount instruction; the
// same loop compiled for it halves the matching time where the CPU has one.
[[gnu::target("popcnt")]] void sweepWithPopcnt(const Sweep& sweep) {
    sweepPairs(sweep);
}
#endif

// The index is the order by shape band, then length. A pair must agree in
// both, so each video meets only the videos of its band and the next that are
// a slack away in length. The frame hashes get no index of their own: a
// radius of 12 bits is a fifth of the space, where a BK-tree visits most of
// its nodes and multi-index hashing needs 13 chunks of 5 bits, each chunk's
// bucket a 32nd of the library. Instead the pair test is made cheap: the
// first five frames, kept together in the sweep's order, settle most pairs.
std::vector<std::vector<std::size_t>> groupsOf(std::span<const VisualFingerprint* const> fingerprints,
                                               const std::stop_token& stop) {
    std::vector<std::uint32_t> order;
    order.reserve(fingerprints.size());
    for (std::size_t i = 0; i < fingerprints.size(); ++i)
        if (isUsable(*fingerprints[i])) order.push_back(std::uint32_t(i));
    std::vector<std::int32_t> bandOf(fingerprints.size());
    for (std::uint32_t position : order) bandOf[position] = aspectBand(fingerprints[position]->aspectRatio);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (bandOf[a] != bandOf[b]) return bandOf[a] < bandOf[b];
        return fingerprints[a]->durationSeconds < fingerprints[b]->durationSeconds;
    });
    // Copied out in that order, so the sweep reads memory front to back.
    std::vector<std::int32_t> bands(order.size());
    std::vector<double> durations(order.size()), aspects(order.size());
    std::vector<FramePrefix> prefixes(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const VisualFingerprint& f = *fingerprints[order[k]];
        bands[k] = bandOf[order[k]];
        durations[k] = f.durationSeconds;
        aspects[k] = f.aspectRatio;
        std::copy_n(f.frameHashes.begin(), kPrefixFrames, prefixes[k].begin());
    }
    bandOf = {};

    Components components(fingerprints.size());
    const Sweep sweep{bands, durations, aspects, prefixes, order, fingerprints, components, stop};
#if defined(__x86_64__)
    if (__builtin_cpu_supports("popcnt"))
        sweepWithPopcnt(sweep);
    else
#endif
        sweepPairs(sweep);
    if (stop.stop_requested()) return {};  // part of the pairs would make wrong sets

    // Sorted by root, then position; a root is its set's first member, so the
    // runs come out in the order the sets are wanted.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byRoot;
    byRoot.reserve(order.size());
    for (std::uint32_t position : order) byRoot.emplace_back(components.root(position), position);
    std::sort(byRoot.begin(), byRoot.end());
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t begin = 0, end = 0; begin < byRoot.size(); begin = end) {
        while (end < byRoot.size() && byRoot[end].first == byRoot[begin].first) ++end;
        if (end - begin < 2) continue;
        std::vector<std::size_t>& members = groups.emplace_back();
        for (std::size_t k = begin; k < end; ++k) members.push_back(byRoot[k].second);
    }
    return groups;
}

}  // namespace

std::vector<std::vector<std::size_t>> nearCopyGroups(std::span<const VisualFingerprint> fingerprints,
                                                     std::stop_token stop) {
    std::vector<const VisualFingerprint*> pointers;
    pointers.reserve(fingerprints.size());
    for (const VisualFingerprint& f : fingerprints) pointers.push_back(&f);
    return groupsOf(pointers, stop);
}

std::optional<double> bitsPerSecond(const VideoItem& item) {
    const std::optional<std::int64_t> bytes = item.sizeState().byteCount();
    if (!bytes || !std::isfinite(item.duration()) || item.duration() <= 0) return std::nullopt;
    return double(*bytes) * 8 / item.duration();
}

namespace {

// What the best-version rule reads of one member.
struct Version {
    const VideoItem* item = nullptr;
    const VisualFingerprint* fingerprint = nullptr;
    std::int64_t pixels = 0;
    std::optional<double> bitsPerSecond;
};

Version versionOf(const VideoItem& item, const VisualFingerprint& fingerprint) {
    return {&item, &fingerprint,
            saturatingMul(std::max<std::int64_t>(item.pixelWidth(), 0),
                          std::max<std::int64_t>(item.pixelHeight(), 0)),
            bitsPerSecond(item)};
}

bool hasDate(const VideoItem& item) {
    return item.creationDate() != kDistantPast;
}

// Negative when a is the better version, positive for b, 0 when this rule ties.
int compareByRule(BestReason rule, const Version& a, const Version& b) {
    switch (rule) {
        case BestReason::resolution:
            return a.pixels == b.pixels ? 0 : (a.pixels > b.pixels ? -1 : 1);
        case BestReason::bitrate:
            if (a.bitsPerSecond.has_value() != b.bitsPerSecond.has_value()) return a.bitsPerSecond ? -1 : 1;
            if (!a.bitsPerSecond || *a.bitsPerSecond == *b.bitsPerSecond) return 0;
            return *a.bitsPerSecond > *b.bitsPerSecond ? -1 : 1;
        case BestReason::favorite:
            return a.item->isFavorite() == b.item->isFavorite() ? 0 : (a.item->isFavorite() ? -1 : 1);
        case BestReason::earliestDate: {
            const Timestamp x = a.item->creationDate(), y = b.item->creationDate();
            if (hasDate(*a.item) != hasDate(*b.item)) return hasDate(*a.item) ? -1 : 1;
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        case BestReason::smallestIdentifier:
            return compareIdentifiers(a.item->localIdentifier(), b.item->localIdentifier());
    }
    return 0;
}

constexpr BestReason kRules[] = {BestReason::resolution, BestReason::bitrate, BestReason::favorite,
                                 BestReason::earliestDate, BestReason::smallestIdentifier};

int compareVersions(const Version& a, const Version& b) {
    for (BestReason rule : kRules)
        if (const int order = compareByRule(rule, a, b); order != 0) return order;
    return 0;
}

// What trashing a set's lesser versions gives back: their sizes, favorites left
// out, less what hard links and shared data keep.
std::int64_t reclaimableBytes(const QList<const VideoItem*>& members,
                              const QHash<QString, std::int64_t>& freeableByID = {}) {
    std::int64_t bytes = 0;
    for (qsizetype i = 1; i < members.size(); ++i)
        if (!members[i]->isFavorite()) {
            const std::int64_t size = members[i]->sizeState().byteCount().value_or(0);
            bytes = saturatingAdd(bytes, freeableByID.value(members[i]->localIdentifier(), size));
        }
    return bytes;
}

// A set's members found in `items`, best first; empty when the best is gone or
// fewer than two are left, as a lesser version is only ever offered beside its best.
QList<const VideoItem*> presentMembers(const SimilarSet& set, const QHash<QString, const VideoItem*>& byID) {
    QList<const VideoItem*> members;
    for (const QString& id : set.memberIDs)
        if (const VideoItem* item = byID.value(id))
            members.append(item);
        else if (members.isEmpty())
            return {};
    return members.size() >= 2 ? members : QList<const VideoItem*>{};
}

// The sets' members only, found in one pass over the list: a hash of all of
// 100,000 videos would be built for a handful of sets, or for none.
QHash<QString, const VideoItem*> memberItemsByID(const QList<SimilarSet>& sets, const VideoList& items) {
    QHash<QString, const VideoItem*> byID;
    for (const SimilarSet& set : sets)
        for (const QString& id : set.memberIDs) byID.insert(id, nullptr);
    if (byID.isEmpty()) return byID;
    for (const VideoItem& item : items)
        if (const auto found = byID.find(item.localIdentifier()); found != byID.end()) *found = &item;
    return byID;
}

}  // namespace

// Matching is transitive only through a best version. The groups are joined
// pair by pair, so A~B and B~C put A, B and C in one group even when A and C do
// not match; such a group is split into stars: its best version with the
// videos that match that version itself, then the best of the rest with its
// matches, and so on. Every lesser version offered for the Trash thus looks
// like the version kept in its place, not merely like a link in a chain.
QList<SimilarSet> resolveSimilarSets(const SimilarityCheck& check, const VideoList& items,
                                     std::stop_token stop) {
    // Pointers into the check: a copy of 100,000 fingerprints is 10 MB.
    std::vector<const VideoItem*> fingerprinted;
    std::vector<const VisualFingerprint*> fingerprints;
    for (const VideoItem& item : items) {
        const auto found = check.fingerprints.constFind(item.localIdentifier());
        if (found == check.fingerprints.cend()) continue;
        fingerprinted.push_back(&item);
        fingerprints.push_back(&*found);
    }
    struct Ranked {
        SimilarSet set;
        std::int64_t reclaimableBytes = 0;
    };
    std::vector<Ranked> ranked;
    for (const std::vector<std::size_t>& group : groupsOf(fingerprints, stop)) {
        std::vector<Version> versions;
        versions.reserve(group.size());
        for (std::size_t position : group)
            versions.push_back(versionOf(*fingerprinted[position], *fingerprints[position]));
        std::vector<const Version*> rest;
        for (const Version& version : versions) rest.push_back(&version);
        std::sort(rest.begin(), rest.end(),
                  [](const Version* a, const Version* b) { return compareVersions(*a, *b) < 0; });
        while (rest.size() >= 2) {
            const Version* best = rest.front();
            std::vector<const Version*> members{best}, unmatched;
            for (std::size_t i = 1; i < rest.size(); ++i)
                (areNearCopies(*best->fingerprint, *rest[i]->fingerprint) ? members : unmatched)
                    .push_back(rest[i]);
            rest = std::move(unmatched);
            if (members.size() < 2) continue;
            Ranked entry;
            // The first rule that sets the best apart from the next best.
            for (BestReason rule : kRules)
                if (compareByRule(rule, *members[0], *members[1]) != 0) {
                    entry.set.reason = rule;
                    break;
                }
            QList<const VideoItem*> memberItems;
            for (const Version* member : members) {
                entry.set.memberIDs.append(member->item->localIdentifier());
                memberItems.append(member->item);
            }
            entry.reclaimableBytes = reclaimableBytes(memberItems);
            ranked.push_back(std::move(entry));
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.reclaimableBytes != b.reclaimableBytes) return a.reclaimableBytes > b.reclaimableBytes;
        return compareIdentifiers(a.set.memberIDs.front(), b.set.memberIDs.front()) < 0;
    });
    QList<SimilarSet> sets;
    sets.reserve(qsizetype(ranked.size()));
    for (Ranked& entry : ranked) sets.append(std::move(entry.set));
    return sets;
}

SimilarSummary summarizeSimilar(const QList<SimilarSet>& sets, const VideoList& items,
                                const QHash<QString, std::int64_t>& freeableByID) {
    const QHash<QString, const VideoItem*> byID = memberItemsByID(sets, items);
    SimilarSummary summary;
    for (const SimilarSet& set : sets) {
        const QList<const VideoItem*> members = presentMembers(set, byID);
        if (members.isEmpty()) continue;
        const int number = ++summary.setCount;
        const int count = int(members.size());
        summary.videoCount += count;
        summary.reclaimableBytes =
            saturatingAdd(summary.reclaimableBytes, reclaimableBytes(members, freeableByID));
        summary.bestIDs.insert(members.front()->localIdentifier());
        for (const VideoItem* member : members) {
            summary.setSizeByID.insert(member->localIdentifier(), count);
            summary.setNumberByID.insert(member->localIdentifier(), number);
        }
    }
    return summary;
}

QSet<QString> lesserVersionIDs(const QList<SimilarSet>& sets, const VideoList& items) {
    const QHash<QString, const VideoItem*> byID = memberItemsByID(sets, items);
    QSet<QString> lesser;
    for (const SimilarSet& set : sets) {
        const QList<const VideoItem*> members = presentMembers(set, byID);
        for (qsizetype i = 1; i < members.size(); ++i)
            if (!members[i]->isFavorite()) lesser.insert(members[i]->localIdentifier());
    }
    return lesser;
}

}  // namespace reelkeep
