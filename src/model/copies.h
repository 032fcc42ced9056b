// copies.h: verified identical copies: which copy of a set is kept, which are
// extra, and how many bytes trashing the extras would really free.
// Only byte-for-byte verified sets count as copies; a same size is a sieve, never
// a verdict. The kept copy is a favorite, else the earliest dated, else one whose
// name carries no copy suffix, else the shortest path, else the smallest identifier.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "video_item.h"

namespace reelkeep {

// One file of a verified set, with what trashing it would free.
struct CopyMember {
    QString localIdentifier;
    QString path;  // for the shortest-path step and for display
    // Links to the file from outside the library: trashing this path frees nothing.
    int hardLinksOutside = 0;
    // Bytes whose extents are not shared with another file (reflinks); the size when none are.
    std::int64_t unsharedBytes = 0;
    bool sharesData = false;

    // What emptying the Trash after trashing this file gives back.
    std::int64_t freeableBytes() const { return hardLinksOutside > 0 ? 0 : unsharedBytes; }
    friend bool operator==(const CopyMember&, const CopyMember&) = default;
};

// Files of one size whose bytes were compared and found equal; two or more.
struct CopySet {
    std::int64_t bytes = 0;
    QList<CopyMember> members;
    friend bool operator==(const CopySet&, const CopySet&) = default;
};

// The result of checking the same-size groups of a library.
struct CopyCheck {
    QList<CopySet> sets;
    // Every identifier that took part in a same-size group but could not be
    // verified (unreadable, vanished, changed while read, or not reached yet).
    QSet<QString> notVerified;
    // Every scanned file with names outside the library, not only copies.
    QHash<QString, int> hardLinksOutsideByID;
    bool isComplete = false;  // false: stopped early; sets hold what was verified so far
    friend bool operator==(const CopyCheck&, const CopyCheck&) = default;
};

enum class KeepReason { favorite, earliestDate, noCopySuffix, shortestPath, smallestIdentifier };

// " (1)", " (2)", " copy", " copy 2", "-1" or "_1" right before the extension.
bool hasCopySuffix(const QString& fileName);
// The last component of a "/"-separated path.
QString fileNameOf(const QString& path);

struct KeepCandidate {
    QString localIdentifier;
    QString path;
    bool isFavorite = false;
    Timestamp creationDate = kDistantPast;  // kDistantPast: no date, which never wins on date
};

struct KeepChoice {
    qsizetype index = 0;
    KeepReason reason = KeepReason::smallestIdentifier;  // the first rule that set it apart
};

// The copy to keep among two or more candidates; independent of their order.
KeepChoice chooseKeeper(std::span<const KeepCandidate> candidates);

// Members of one same-size group, by digest: positions with equal digests form a
// subset; a member without a digest (not verified) stands alone. Only subsets of
// two or more are returned, each in input order, ordered by their first member.
std::vector<std::vector<std::size_t>> identicalSubsets(std::span<const std::optional<QByteArray>> digests);

// A set's members that are in `items` (current favorite flags and dates), with
// the keeper first; fewer than two: nothing to choose.
struct ResolvedSet {
    const CopySet* set = nullptr;
    QList<qsizetype> memberPositions;  // into set->members, the keeper first
    KeepReason reason = KeepReason::smallestIdentifier;
};
QList<ResolvedSet> resolveCopySets(const CopyCheck& check, const VideoList& items);

// Identifiers of every extra copy among `items`: verified members other than
// each set's keeper. Sets with a single member in `items` add nothing.
QSet<QString> verifiedExtraCopyIDs(const CopyCheck& check, const VideoList& items);

struct CopySummary {
    int videoCount = 0;                 // members of verified sets in the library
    std::int64_t reclaimableBytes = 0;  // freeable bytes of the extras; saturates
    QHash<QString, int> setSizeByID;    // for "Copy ×3"
    QSet<QString> keptIDs;
    // Videos whose trashing frees less than their size: hard-linked (0) or sharing data.
    QHash<QString, std::int64_t> freeableByID;
    QSet<QString> hardLinkedIDs;
    QHash<QString, int> hardLinksOutsideByID;
    QHash<QString, int> setNumberByID;  // 1, 2, …: which verified set a video belongs to
    friend bool operator==(const CopySummary&, const CopySummary&) = default;
};
CopySummary summarizeCopies(const CopyCheck& check, const VideoList& items);

}  // namespace reelkeep
