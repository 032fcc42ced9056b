// near_copies.h: videos that show the same thing though their bytes differ: a
// re-encode, a smaller export, a re-wrap, a rotated copy. Each video is reduced
// to perceptual hashes of frames at fixed moments; two videos are near copies
// when their lengths agree and enough of their frames look alike. Candidates
// come from an index, never from all pairs. Within a set, the best version is
// the highest resolution, then the highest bitrate, then a favorite, then the
// earliest date, then the smallest identifier; the rest are lesser versions,
// and a favorite is never one of those offered for the Trash.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "video_item.h"

namespace reelkeep {

inline constexpr int kFingerprintFrames = 10;
inline constexpr int kHashImageSide = 32;
using HashImage = std::span<const std::uint8_t, kHashImageSide * kHashImageSide>;

// What a video shows, reduced. Frames are taken in display orientation.
struct VisualFingerprint {
    double durationSeconds = 0;
    double aspectRatio = 0;  // displayed width / height
    int frameCount = 0;      // frames that could be decoded, at most kFingerprintFrames
    // By position; a frame that could not be decoded is kFlatPictureHash.
    std::array<std::uint64_t, kFingerprintFrames> frameHashes{};
    friend bool operator==(const VisualFingerprint&, const VisualFingerprint&) = default;
};

// Where frame `index` is taken, as a fraction of the duration: spread evenly,
// leaving out the first and last 5 %.
double fingerprintFrameFraction(int index);

// A 64-bit DCT hash of a 32×32 grey picture, rows top to bottom.
std::uint64_t perceptualHash(HashImage grey);

// The hash of a picture with no shape to speak of (black, a fade, a plain
// card): such frames say nothing about which video they came from.
inline constexpr std::uint64_t kFlatPictureHash = 0;

// Whether two videos are near copies under the measured thresholds.
bool areNearCopies(const VisualFingerprint& a, const VisualFingerprint& b);

// Sets of near copies among `fingerprints`, joined pair by pair, as positions:
// each set has two or more, in input order; sets ordered by their first member.
// Takes a fraction of a second for 100,000 videos of a phone's lengths, but
// grows with the square where they share one length (a dash cam's loops): a
// requested `stop` ends it within a millisecond or so, with no sets.
std::vector<std::vector<std::size_t>> nearCopyGroups(std::span<const VisualFingerprint> fingerprints,
                                                     std::stop_token stop = {});

// What fingerprinting the last fetch found.
struct SimilarityCheck {
    QHash<QString, VisualFingerprint> fingerprints;
    QSet<QString> failed;  // could not be decoded: recorded and skipped
    bool isComplete = false;
    friend bool operator==(const SimilarityCheck&, const SimilarityCheck&) = default;
};

enum class BestReason { resolution, bitrate, favorite, earliestDate, smallestIdentifier };

// What the best-version rule calls bitrate: bytes × 8 / duration, none when the
// size is unknown or the duration is not a positive number.
std::optional<double> bitsPerSecond(const VideoItem& item);

// One set of near copies among the current items, the best version first.
struct SimilarSet {
    QList<QString> memberIDs;
    BestReason reason = BestReason::smallestIdentifier;  // the first rule that set the best apart
    friend bool operator==(const SimilarSet&, const SimilarSet&) = default;
};

// The sets among `items` (members gone from items are left out; sets left with
// one member vanish), each best first and every other member a near copy of
// that best one, ordered by their reclaimable bytes, largest first.
// A requested `stop` may end it early, with no sets.
QList<SimilarSet> resolveSimilarSets(const SimilarityCheck& check, const VideoList& items,
                                     std::stop_token stop = {});

struct SimilarSummary {
    int setCount = 0;
    int videoCount = 0;
    std::int64_t reclaimableBytes =
        0;  // freeable bytes of the lesser versions that are not favorites; saturates
    QHash<QString, int> setSizeByID;    // for "Similar ×3"
    QHash<QString, int> setNumberByID;  // 1, 2, …: keeps a set together in the view
    QSet<QString> bestIDs;
    friend bool operator==(const SimilarSummary&, const SimilarSummary&) = default;
};
// freeableByID: videos that free less than their size (CopySummary::freeableByID).
SimilarSummary summarizeSimilar(const QList<SimilarSet>& sets, const VideoList& items,
                                const QHash<QString, std::int64_t>& freeableByID = {});

// Every member of `sets` but the best, never a favorite.
QSet<QString> lesserVersionIDs(const QList<SimilarSet>& sets, const VideoList& items);

}  // namespace reelkeep
