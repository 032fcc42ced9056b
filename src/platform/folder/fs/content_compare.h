// content_compare.h: which files of one size hold the same bytes.
// A first and a last block sieve out most files; the survivors are read whole,
// XXH3-128 digested and compared byte for byte against one reference, so a
// digest alone never makes two files copies. A file that changes while it is
// read (size, mtime or ctime by fstat before and after), vanishes or cannot be
// read is "not verified", never identical. Reads are polite: sequential
// read-ahead, pages we brought into the cache are dropped behind us, at most
// two files are open at once, and a stop request ends the work between chunks.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
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

// What earlier reads learnt about a file's bytes.
struct KnownContent {
    std::optional<ContentDigest> sample;  // first and last block
    std::optional<ContentDigest> whole;   // every byte
    friend bool operator==(const KnownContent&, const KnownContent&) = default;
};

// Where results outlive the process (the metadata index); called on the comparing thread.
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

// `group`: files of one size (greater than 0), one path per inode. `memory` may be null.
GroupVerdict compareSameSizeGroup(std::span<const CompareFile> group, ContentMemory* memory,
                                  const std::stop_token& stop, const CompareProgress& onProgress = {});

// Bytes of the file in extents no other file shares (reflinked copies,
// snapshots): what trashing it can free. The whole size where the file system
// does not say (FIEMAP unsupported).
Result<std::int64_t> unsharedBytes(const QByteArray& path, const FileFingerprint& expected);

// Gives the calling thread the idle I/O class: its reads wait while anyone else reads.
void useIdleIoPriority();

}  // namespace reelkeep::fs
