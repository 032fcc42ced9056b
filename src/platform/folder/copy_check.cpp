// copy_check.cpp: the folder library's check of same-size files for copies.
// One background thread at idle I/O priority walks the same-size groups of the
// last fetch; results are kept in the metadata index by full fingerprint, so an
// unchanged library is checked again without reading a byte of video.
#include <QDebug>
#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "platform/folder/folder_asset.h"
#include "platform/folder/folder_library.h"
#include "platform/folder/fs/content_compare.h"
#include "platform/folder/fs/path_id.h"

namespace reelkeep {

namespace {

store::ContentFingerprint storeKey(const fs::ContentKey& key) {
    return {key.fingerprint.device, key.fingerprint.inode, key.fingerprint.sizeBytes, key.fingerprint.mtimeNs,
            key.ctimeNs};
}

std::optional<fs::PrefixDigest> prefixOf(const store::ContentDigests& digests) {
    if (!digests.prefixBytes || !digests.prefix) return std::nullopt;
    return fs::PrefixDigest{*digests.prefixBytes, *digests.prefix};
}

fs::KnownContent knownOf(const store::ContentDigests& digests) {
    return fs::KnownContent{digests.sample, digests.whole, prefixOf(digests)};
}

// The status line needs no more than a few steps a second; each step is a
// message to the main thread.
constexpr std::chrono::milliseconds kProgressInterval{100};

class IndexContentMemory final : public fs::ContentMemory {
public:
    explicit IndexContentMemory(MetadataSink& sink) : m_sink(sink) {}

    // What the index knows of every file to be compared: one query, not one a group.
    void recallAll(std::span<const fs::ContentKey> keys) {
        std::vector<store::ContentFingerprint> files;
        files.reserve(keys.size());
        for (const fs::ContentKey& key : keys) files.push_back(storeKey(key));
        const std::vector<std::optional<store::ContentDigests>> answers = m_sink.lookupContent(files);
        for (std::size_t i = 0; i < answers.size() && i < files.size(); ++i)
            if (answers[i]) m_recalled.emplace(files[i], knownOf(*answers[i]));
    }

    // Only keys recalled before: every file compared was, under its scanned fingerprint.
    std::vector<std::optional<fs::KnownContent>> recall(std::span<const fs::ContentKey> keys) override {
        std::vector<std::optional<fs::KnownContent>> known;
        known.reserve(keys.size());
        for (const fs::ContentKey& key : keys) {
            const auto found = m_recalled.find(storeKey(key));
            known.push_back(found == m_recalled.end() ? std::nullopt : std::optional(found->second));
        }
        return known;
    }
    void remember(const fs::ContentKey& key, const fs::KnownContent& content) override {
        store::ContentDigests digests{content.sample, content.whole, std::nullopt, std::nullopt};
        if (content.prefix) {
            digests.prefixBytes = content.prefix->bytes;
            digests.prefix = content.prefix->digest;
        }
        m_sink.storeContent(storeKey(key), digests);
    }

private:
    struct KeyHash {
        std::size_t operator()(const store::ContentFingerprint& key) const {
            return std::hash<std::uint64_t>()(key.inode) ^ std::hash<std::int64_t>()(key.ctimeNs);
        }
    };

    MetadataSink& m_sink;
    std::unordered_map<store::ContentFingerprint, fs::KnownContent, KeyHash> m_recalled;
};

CopyMember memberOf(const FolderAsset& asset, fs::UnsharedBytesProbe& unsharedBytes) {
    const ScannedFile& file = asset.file();
    const std::int64_t unshared = unsharedBytes.of(file.path, file.fingerprint);
    return CopyMember{asset.identifier(), fs::displayPath(file.path), int(file.hardLinksOutside), unshared,
                      unshared < file.fingerprint.sizeBytes};
}

}  // namespace

CopyCheck FolderLibrary::checkScannedCopies(const FetchResult& scanned,
                                            const std::function<void(CopyCheckProgress)>& progress,
                                            const std::stop_token& stop) {
    CopyCheck check;
    std::vector<const FolderAsset*> files;
    for (const AssetRef& asset : scanned) {
        const auto* file = dynamic_cast<const FolderAsset*>(asset.get());
        if (!file) continue;
        if (file->file().hardLinksOutside > 0)
            check.hardLinksOutsideByID.insert(file->identifier(), int(file->file().hardLinksOutside));
        if (file->file().fingerprint.sizeBytes > 0) files.push_back(file);
    }
    std::stable_sort(files.begin(), files.end(), [](const FolderAsset* a, const FolderAsset* b) {
        return a->file().fingerprint.sizeBytes < b->file().fingerprint.sizeBytes;
    });
    std::vector<std::span<const FolderAsset* const>> groups;
    CopyCheckProgress done;
    for (std::size_t start = 0; start < files.size();) {
        std::size_t end = start + 1;
        const std::int64_t size = files[start]->file().fingerprint.sizeBytes;
        while (end < files.size() && files[end]->file().fingerprint.sizeBytes == size) ++end;
        if (end - start >= 2) {
            groups.push_back(std::span(files).subspan(start, end - start));
            done.totalBytes += size * std::int64_t(end - start);
        }
        start = end;
    }

    IndexContentMemory memory(*m_index);
    std::vector<fs::ContentKey> keys;
    for (const std::span<const FolderAsset* const> group : groups)
        for (const FolderAsset* file : group)
            keys.push_back({file->file().fingerprint, file->file().fingerprint.ctimeNs});
    memory.recallAll(keys);
    fs::ContentComparer comparer(&memory, stop);
    fs::UnsharedBytesProbe unsharedBytes;
    if (progress) progress(done);
    auto reported = std::chrono::steady_clock::now();
    const auto report = [&](bool isLast) {
        const auto now = std::chrono::steady_clock::now();
        if (!progress || (!isLast && now - reported < kProgressInterval)) return;
        reported = now;
        progress(done);
    };
    std::vector<std::vector<fs::CompareFile>> compared(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const FolderAsset* file : groups[g])
            compared[g].push_back({file->file().path, file->file().fingerprint});
    const auto onProgress = [&](std::int64_t bytes) {
        done.checkedBytes += bytes;
        report(false);
    };
    // Sets in the order of their groups, whatever the order they are settled in.
    std::vector<QList<CopySet>> setsByGroup(groups.size());
    comparer.compareAll(compared, onProgress, [&](std::size_t g, const fs::GroupVerdict& verdict) {
        const std::span<const FolderAsset* const> group = groups[g];
        std::vector<bool> isSettled(group.size(), false);
        for (const std::vector<std::size_t>& subset : verdict.identicalSubsets) {
            CopySet set{group.front()->file().fingerprint.sizeBytes, {}};
            for (std::size_t i : subset) {
                set.members.append(memberOf(*group[i], unsharedBytes));
                isSettled[i] = true;
            }
            setsByGroup[g].append(std::move(set));
        }
        for (const auto& [i, error] : verdict.notVerified) {
            check.notVerified.insert(group[i]->identifier());
            qWarning().noquote() << "reelkeep: not verified:" << error.message();
        }
        // Stopped mid-group, or before it: what is not in a finished set was not settled.
        if (verdict.isStopped)
            for (std::size_t i = 0; i < group.size(); ++i)
                if (!isSettled[i]) check.notVerified.insert(group[i]->identifier());
    });
    for (QList<CopySet>& sets : setsByGroup) check.sets.append(std::move(sets));
    report(true);
    check.isComplete = !stop.stop_requested();
    m_index->flush();
    return check;
}

int FolderLibrary::hardLinksOutside(const QString& localIdentifier) const {
    const std::shared_ptr<const FolderAsset> asset = scannedAsset(localIdentifier);
    return asset ? int(asset->file().hardLinksOutside) : 0;
}

}  // namespace reelkeep
