// content_compare.h: which files of one size hold the same bytes.
// A first and a last block sieve out most files; the survivors are read whole,
// XXH3-128 digested and compared byte for byte against one reference, so a
// digest alone never makes two files copies. A file that changes while it is
// read (size, mtime or ctime by fstat before and after), vanishes or cannot be
// read is "not verified", never identical. Every byte comes from the disk at
// most once per check. Reads are polite: no read-ahead for the sieve, sequential
// read-ahead for whole reads, pages that were not cached before we read them
// are dropped behind us (pages someone else had cached stay), at most two files
// are open at once, and a stop request ends the work between chunks.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/folder/fs/fingerprint.h"
#include "platform/folder/fs/io_error.h"

namespace reelkeep::fs {

// 64 KiB at each end: container headers and trailers differ between most
// same-size videos, and two small reads cost far less than one whole read.
inline constexpr std::int64_t kSampleBlockBytes = 64 * 1024;

using ContentDigest = std::array<std::uint8_t, 16>;

// The full fingerprint: a change of any field may be a change of the bytes.
struct ContentKey {
    FileFingerprint fingerprint;
    std::int64_t ctimeNs = 0;
    friend bool operator==(const ContentKey&, const ContentKey&) = default;
};
ContentKey contentKeyOf(const struct stat& status);

// The digest of a file's first `bytes` bytes.
struct PrefixDigest {
    std::int64_t bytes = 0;
    ContentDigest digest{};
    friend bool operator==(const PrefixDigest&, const PrefixDigest&) = default;
};

// What earlier reads learnt about a file's bytes.
struct KnownContent {
    std::optional<ContentDigest> sample;  // first and last block
    std::optional<ContentDigest> whole;   // every byte
    // Up to where a comparison with its only candidate stopped, at the first
    // chunk that differed: the two files' digests differ there, so a rescan
    // knows they differ without reading the rest, or anything.
    std::optional<PrefixDigest> prefix;
    friend bool operator==(const KnownContent&, const KnownContent&) = default;
};

// Where results outlive the process (the metadata index); called from the
// comparing threads, never two calls at once.
class ContentMemory {
public:
    virtual ~ContentMemory() = default;
    virtual std::vector<std::optional<KnownContent>> recall(std::span<const ContentKey> keys) = 0;
    virtual void remember(const ContentKey& key, const KnownContent& content) = 0;
};

struct CompareFile {
    QByteArray path;              // absolute path bytes
    FileFingerprint fingerprint;  // as the scan saw it: a different file there is "not verified"
};

struct GroupVerdict {
    std::vector<std::vector<std::size_t>> identicalSubsets;  // positions into the group, two or more each
    std::vector<std::pair<std::size_t, IoError>> notVerified;
    std::int64_t bytesRead = 0;  // file bytes read by this call
    bool isStopped = false;
};

// Called after every chunk with the bytes settled since the last call; over a
// whole group the calls add up to the group's size times its file count.
using CompareProgress = std::function<void(std::int64_t settledBytes)>;

class SideReader;

// Each group's verdict, by its position among the groups.
using GroupVerdictHandler = std::function<void(std::size_t group, GroupVerdict verdict)>;

// Compares group after group with one pair of read buffers and one side
// thread, which reads the second file of a pair (and, in compareAll, settles
// small pairs with a second pair of buffers). `memory` may be null.
class ContentComparer {
public:
    ContentComparer(ContentMemory* memory, std::stop_token stop);
    ~ContentComparer();
    ContentComparer(const ContentComparer&) = delete;
    ContentComparer& operator=(const ContentComparer&) = delete;

    // `group`: files of one size (greater than 0), one path per inode.
    GroupVerdict compare(std::span<const CompareFile> group, const CompareProgress& onProgress = {});

    // Every group as compare() would settle it, each verdict handed to
    // `onVerdict` on this thread once, not in order. Pairs of files that fit
    // a buffer are settled two at a time, here and on the side thread, each
    // file opened and read alone; those not wholly in the page cache, and
    // the rest, then one after another. A group a stop left unread comes
    // back stopped, having settled nothing.
    void compareAll(std::span<const std::vector<CompareFile>> groups, const CompareProgress& onProgress,
                    const GroupVerdictHandler& onVerdict);

private:
    ContentMemory* m_memory;
    std::stop_token m_stop;
    std::unique_ptr<char, decltype(&std::free)> m_buffers;
    std::unique_ptr<SideReader> m_side;
};

// One group with a comparer of its own.
GroupVerdict compareSameSizeGroup(std::span<const CompareFile> group, ContentMemory* memory,
                                  const std::stop_token& stop, const CompareProgress& onProgress = {});

// Bytes of each file in extents no other file shares (reflinked copies,
// snapshots): what trashing it can free. FIEMAP is asked only on file systems
// whose files can share extents at all: on ext4, tmpfs or FAT every byte of a
// file is its own, and asking would cost a path walk and an open per copy.
// Decided once per device, from the first of its files that can be opened.
class UnsharedBytesProbe {
public:
    // The file's own bytes; its whole size where the file system does not say.
    std::int64_t of(const QByteArray& path, const FileFingerprint& scanned);

private:
    std::unordered_map<std::uint64_t, bool> m_canShareByDevice;
};

// Gives the calling thread the idle I/O class: its reads wait while anyone else reads.
void useIdleIoPriority();

}  // namespace reelkeep::fs
