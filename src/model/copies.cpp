#include "copies.h"

#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <numeric>

#include "file_names.h"
#include "name_order.h"
#include "saturating.h"

namespace reelkeep {

namespace {

bool hasDate(const KeepCandidate& c) {
    return c.creationDate != kDistantPast;
}

// Each rule in turn: negative when a should be kept rather than b, positive for b, 0 for a tie.
int compareByRule(KeepReason rule, const KeepCandidate& a, const KeepCandidate& b) {
    switch (rule) {
        case KeepReason::favorite:
            return a.isFavorite == b.isFavorite ? 0 : (a.isFavorite ? -1 : 1);
        case KeepReason::earliestDate:
            if (hasDate(a) != hasDate(b)) return hasDate(a) ? -1 : 1;
            return a.creationDate < b.creationDate ? -1 : (b.creationDate < a.creationDate ? 1 : 0);
        case KeepReason::noCopySuffix: {
            const bool x = hasCopySuffix(fileNameOf(a.path)), y = hasCopySuffix(fileNameOf(b.path));
            return x == y ? 0 : (x ? 1 : -1);
        }
        case KeepReason::shortestPath:
            return a.path.size() < b.path.size() ? -1 : (b.path.size() < a.path.size() ? 1 : 0);
        case KeepReason::smallestIdentifier:
            return compareIdentifiers(a.localIdentifier, b.localIdentifier);
    }
    return 0;
}

constexpr KeepReason kRules[] = {KeepReason::favorite, KeepReason::earliestDate, KeepReason::noCopySuffix,
                                 KeepReason::shortestPath, KeepReason::smallestIdentifier};

}  // namespace

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool hasCopySuffix(const QString& fileName) {
    static const QRegularExpression suffix(QStringLiteral("(?: \\(\\d{1,4}\\)| copy(?: \\d{1,4})?|[-_]1)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QString base = splitExtension(fileName).base;
    // "_1" alone is a name, not a suffix.
    return base.size() > 2 && suffix.match(base).hasMatch();
}

KeepChoice chooseKeeper(std::span<const KeepCandidate> candidates) {
    if (candidates.empty()) return {};
    const auto compare = [](const KeepCandidate& a, const KeepCandidate& b) {
        for (KeepReason rule : kRules)
            if (const int order = compareByRule(rule, a, b); order != 0) return order;
        return 0;
    };
    std::size_t keep = 0;
    for (std::size_t i = 1; i < candidates.size(); ++i)
        if (compare(candidates[i], candidates[keep]) < 0) keep = i;
    // The reason is the first rule that puts the keeper ahead of the best of the rest.
    std::optional<std::size_t> runnerUp;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (i != keep && (!runnerUp || compare(candidates[i], candidates[*runnerUp]) < 0)) runnerUp = i;
    KeepChoice choice{qsizetype(keep), KeepReason::smallestIdentifier};
    if (runnerUp) {
        for (KeepReason rule : kRules) {
            if (compareByRule(rule, candidates[keep], candidates[*runnerUp]) != 0) {
                choice.reason = rule;
                break;
            }
        }
    }
    return choice;
}

std::vector<std::vector<std::size_t>> identicalSubsets(std::span<const std::optional<QByteArray>> digests) {
    std::map<QByteArray, std::vector<std::size_t>> byDigest;
    for (std::size_t i = 0; i < digests.size(); ++i)
        if (digests[i]) byDigest[*digests[i]].push_back(i);
    std::vector<std::vector<std::size_t>> subsets;
    for (auto& [digest, positions] : byDigest)
        if (positions.size() >= 2) subsets.push_back(std::move(positions));
    std::sort(subsets.begin(), subsets.end(),
              [](const auto& a, const auto& b) { return a.front() < b.front(); });
    return subsets;
}

QList<ResolvedSet> resolveCopySets(const CopyCheck& check, const VideoList& items) {
    // The sets' members only, found in one pass over the list: not a hash of every video.
    QHash<QString, const VideoItem*> byID;
    for (const CopySet& set : check.sets)
        for (const CopyMember& member : set.members) byID.insert(member.localIdentifier, nullptr);
    if (!byID.isEmpty())
        for (const VideoItem& item : items)
            if (const auto found = byID.find(item.localIdentifier()); found != byID.end()) *found = &item;
    QList<ResolvedSet> resolved;
    for (const CopySet& set : check.sets) {
        QList<qsizetype> positions;
        std::vector<KeepCandidate> candidates;
        for (qsizetype i = 0; i < set.members.size(); ++i) {
            const CopyMember& member = set.members[i];
            const VideoItem* item = byID.value(member.localIdentifier);
            if (!item) continue;
            positions.append(i);
            candidates.push_back(
                {member.localIdentifier, member.path, item->isFavorite(), item->creationDate()});
        }
        if (positions.size() < 2) continue;
        const KeepChoice choice = chooseKeeper(candidates);
        positions.move(choice.index, 0);
        resolved.append(ResolvedSet{&set, std::move(positions), choice.reason});
    }
    return resolved;
}

QSet<QString> verifiedExtraCopyIDs(const CopyCheck& check, const VideoList& items) {
    QSet<QString> extras;
    for (const ResolvedSet& set : resolveCopySets(check, items))
        for (qsizetype i = 1; i < set.memberPositions.size(); ++i)
            extras.insert(set.set->members[set.memberPositions[i]].localIdentifier);
    return extras;
}

CopySummary summarizeCopies(const CopyCheck& check, const VideoList& items) {
    CopySummary summary;
    summary.hardLinksOutsideByID = check.hardLinksOutsideByID;
    for (auto it = check.hardLinksOutsideByID.cbegin(); it != check.hardLinksOutsideByID.cend(); ++it)
        if (it.value() > 0) {
            summary.freeableByID.insert(it.key(), 0);
            summary.hardLinkedIDs.insert(it.key());
        }
    for (const CopySet& set : check.sets)
        for (const CopyMember& member : set.members)
            if (member.freeableBytes() < set.bytes) {
                summary.freeableByID.insert(member.localIdentifier, member.freeableBytes());
                if (member.hardLinksOutside > 0) summary.hardLinkedIDs.insert(member.localIdentifier);
            }
    for (const ResolvedSet& set : resolveCopySets(check, items)) {
        const int count = int(set.memberPositions.size());
        summary.videoCount += count;
        const int number = int(summary.keptIDs.size()) + 1;
        for (qsizetype i = 0; i < set.memberPositions.size(); ++i) {
            const CopyMember& member = set.set->members[set.memberPositions[i]];
            summary.setSizeByID.insert(member.localIdentifier, count);
            summary.setNumberByID.insert(member.localIdentifier, number);
            if (i == 0)
                summary.keptIDs.insert(member.localIdentifier);
            else
                summary.reclaimableBytes = saturatingAdd(summary.reclaimableBytes, member.freeableBytes());
        }
    }
    return summary;
}

}  // namespace reelkeep
