// content_compare.cpp: the sieve, the whole reads and the byte comparison.
// XXH3-128 rather than BLAKE2b: every digest match is confirmed byte for byte,
// so the digest only has to spread well, and XXH3 runs about 30 times faster here
// (through the library's dispatcher, which picks AVX2/AVX-512 where the CPU has
// them: about four times the speed of its SSE2 build; the same digests).
#include "platform/folder/fs/content_compare.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
#include <xxh_x86dispatch.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <semaphore>
#include <thread>

namespace reelkeep::fs {
namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Large enough that two files read in turn cost few seeks on a disk.
constexpr std::size_t kChunkBytes = 1 << 20;
static_assert(kChunkBytes >= 2 * kSampleBlockBytes, "a small file is sampled into one buffer");

// From linux/ioprio.h, which glibc does not wrap.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

ContentDigest digestOf(XXH3_state_t* state) {
    const XXH128_hash_t hash = XXH3_128bits_digest(state);
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    ContentDigest digest;
    std::memcpy(digest.data(), canonical.digest, digest.size());
    return digest;
}

struct HashState {
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state{XXH3_createState(), &XXH3_freeState};
    HashState() { XXH3_128bits_reset(state.get()); }
    HashState(const HashState& other) { copyFrom(other); }
    HashState& operator=(const HashState&) = delete;
    void copyFrom(const HashState& other) { XXH3_copyState(state.get(), other.state.get()); }
    void add(const char* bytes, std::size_t size) { XXH3_128bits_update(state.get(), bytes, size); }
    ContentDigest digest() const { return digestOf(state.get()); }
};

std::int64_t pageBytes() {
    static const std::int64_t bytes = ::sysconf(_SC_PAGESIZE);
    return bytes;
}

// cachestat(2), Linux 6.5, which the C library does not wrap yet.
constexpr long kSysCachestat = 451;
struct CachestatRange {
    std::uint64_t offset;
    std::uint64_t length;
};
struct Cachestat {
    std::uint64_t cached, dirty, writeback, evicted, recentlyEvicted;
};

// Which pages of a range of a file were in the page cache before we read
// them: those stay for whoever read them; the ones our reads bring in (read-
// ahead included) are dropped. cachestat() answers for a whole range at once;
// where a range is partly cached, or the kernel is older, mincore() on a
// mapping that is never touched answers page by page. Where neither can tell,
// no page counts as cached.
class CacheFootprint {
public:
    static CacheFootprint of(int fd, std::int64_t offset, std::int64_t size) {
        CacheFootprint footprint;
        footprint.m_firstPage = offset / pageBytes();
        const std::int64_t start = footprint.m_firstPage * pageBytes();
        const auto length = std::size_t(offset + size - start);
        const std::size_t pages = (length + std::size_t(pageBytes()) - 1) / std::size_t(pageBytes());
        footprint.m_wasCached.assign(pages, 0);
        CachestatRange range{std::uint64_t(start), length};
        Cachestat stat{};
        if (::syscall(kSysCachestat, fd, &range, &stat, 0) == 0) {
            if (stat.cached >= pages) footprint.m_wasCached.assign(pages, 1);
            if (stat.cached == 0 || stat.cached >= pages) return footprint;
        }
        void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, start);
        if (map == MAP_FAILED) return footprint;
        if (::mincore(map, length, footprint.m_wasCached.data()) != 0) footprint.m_wasCached.assign(pages, 0);
        ::munmap(map, length);
        return footprint;
    }

    // Pages that an earlier read of ours brought in are ours, though cached now.
    void exclude(const CacheFootprint& earlier) {
        for (std::size_t k = 0; k < earlier.m_wasCached.size(); ++k) {
            const std::int64_t here = earlier.m_firstPage + std::int64_t(k) - m_firstPage;
            if ((earlier.m_wasCached[k] & 1) == 0 && here >= 0 && here < std::int64_t(m_wasCached.size()))
                m_wasCached[std::size_t(here)] = 0;
        }
    }

    bool broughtIn() const {
        return std::any_of(m_wasCached.begin(), m_wasCached.end(),
                           [](unsigned char page) { return (page & 1) == 0; });
    }

    // Drops the pages of [offset, offset + size) that were not cached before.
    void drop(int fd, std::int64_t offset, std::int64_t size) const {
        const std::int64_t end = offset + size;
        std::int64_t page = offset / pageBytes();
        while (page * pageBytes() < end) {
            while (page * pageBytes() < end && wasCached(page)) ++page;
            const std::int64_t runStart = page;
            while (page * pageBytes() < end && !wasCached(page)) ++page;
            if (page > runStart) {
                const std::int64_t from = std::max(offset, runStart * pageBytes());
                ::posix_fadvise(fd, from, std::min(end, page * pageBytes()) - from, POSIX_FADV_DONTNEED);
            }
        }
    }

private:
    bool wasCached(std::int64_t page) const {
        const std::int64_t k = page - m_firstPage;
        return k >= 0 && k < std::int64_t(m_wasCached.size()) && (m_wasCached[std::size_t(k)] & 1) != 0;
    }

    std::int64_t m_firstPage = 0;
    std::vector<unsigned char> m_wasCached;  // one per page of the range, from m_firstPage
};

// One open file being read: checks that it stays the file of `key`, and
// leaves the page cache as it found it.
class OpenFile {
public:
    // sample: only the pages asked for, kept until the group is settled, as a
    // whole read may follow. whole: sequential read-ahead, dropped as we go.
    // cached: no hint and nothing to drop, for a file wholly in the page cache.
    enum class Access { sample, whole, cached };

    static Result<OpenFile> open(const CompareFile& file, const ContentKey& key, Access access,
                                 const std::vector<CacheFootprint>& earlier = {}) {
        Result<UniqueFd> fd = openVerifiedPath(file.path, file.fingerprint);
        if (!fd) return fd.error();
        OpenFile opened(std::move(fd).value(), file.path, key);
        if (Result<void> same = opened.checkUnchanged(); !same) return same.error();
        if (access == Access::cached) return opened;
        const int fdNumber = opened.m_fd.get();
        ::posix_fadvise(fdNumber, 0, 0, access == Access::sample ? POSIX_FADV_RANDOM : POSIX_FADV_SEQUENTIAL);
        if (access == Access::whole) {
            opened.m_footprint = CacheFootprint::of(fdNumber, 0, key.fingerprint.sizeBytes);
            for (const CacheFootprint& ours : earlier) opened.m_footprint.exclude(ours);
        }
        return opened;
    }

    // Reads [offset, offset + size) in full; a short file means it changed.
    Result<void> read(std::int64_t offset, char* buffer, std::size_t size, std::int64_t* bytesRead) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t got = ::pread(m_fd.get(), buffer + done, size - done, offset + std::int64_t(done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return IoError::fromErrno(IoOperation::read, m_path);
            if (got == 0) return IoError::of(IoErrorKind::changed, IoOperation::read, m_path);
            done += std::size_t(got);
        }
        *bytesRead += std::int64_t(size);
        return {};
    }

    // What a sample read is about to bring in: taken before reading.
    CacheFootprint footprintOf(std::int64_t offset, std::int64_t size) const {
        return CacheFootprint::of(m_fd.get(), offset, size);
    }
    void dropBehind(std::int64_t offset, std::int64_t size) { m_footprint.drop(m_fd.get(), offset, size); }
    // The whole file: read-ahead past where we stopped included.
    void dropAll() { dropBehind(0, m_key.fingerprint.sizeBytes); }

    Result<void> checkUnchanged() const {
        Result<struct stat> now = statFd(m_fd.get(), m_path);
        if (!now) return now.error();
        if (contentKeyOf(now.value()) != m_key)
            return IoError::of(IoErrorKind::changed, IoOperation::read, m_path);
        return {};
    }

private:
    OpenFile(UniqueFd fd, QByteArray path, ContentKey key)
        : m_fd(std::move(fd)), m_path(std::move(path)), m_key(key) {}

    UniqueFd m_fd;
    QByteArray m_path;
    ContentKey m_key;
    CacheFootprint m_footprint;
};

}  // namespace

// The thread that reads the second file of a pair while the comparing thread
// reads the first, so that the two reads, and the digest, overlap. At its
// creator's I/O priority.
class SideReader {
public:
    SideReader() : m_ioPriority(int(::syscall(SYS_ioprio_get, kIoprioWhoProcess, 0))) {
        m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    void start(std::function<void()> job) {
        std::lock_guard lock(m_mutex);
        m_job = std::move(job);
        m_changed.notify_all();
    }
    void finish() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_job; });
    }

private:
    void run(const std::stop_token& stop) {
        if (m_ioPriority >= 0) ::syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, m_ioPriority);
        std::unique_lock lock(m_mutex);
        while (m_changed.wait(lock, stop, [this] { return bool(m_job); })) {
            lock.unlock();
            m_job();
            lock.lock();
            m_job = nullptr;
            m_changed.notify_all();
        }
    }

    const int m_ioPriority;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::function<void()> m_job;  // empty: none, or done
    std::jthread m_thread;        // last: stopped and joined before the rest goes
};

namespace {

class GroupComparer {
public:
    GroupComparer(std::span<const CompareFile> group, ContentMemory* memory, const std::stop_token& stop,
                  const CompareProgress& onProgress, char* buffers, SideReader& side)
        : m_group(group),
          m_memory(memory),
          m_stop(stop),
          m_onProgress(onProgress),
          m_side(side),
          m_states(group.size()),
          m_buffers{buffers, buffers + kChunkBytes} {}

    GroupVerdict run() {
        readKeys();
        if (!settleCachedPair()) settleByReading();
        return finish();
    }

    // run() without the side thread, which compares a group of its own: only
    // a cached pair, or a group the index settles; nothing, having settled
    // nothing, otherwise.
    std::optional<GroupVerdict> runAlone() {
        readKeys();
        if (!settleCachedPair()) {
            if (isStopped() || !isSettledByMemory()) return std::nullopt;
            settleByReading();  // which reads nothing here
        }
        return finish();
    }

private:
    struct FileState {
        ContentKey key;
        KnownContent known;
        bool isUsable = false;  // not failed
        bool isWholeFromMemory = false;
        std::int64_t credited = 0;  // bytes reported through onProgress
        // The pages of the sample read, while they stay cached for a whole read.
        std::vector<CacheFootprint> samplePages;
    };

    bool isStopped() const { return m_stop.stop_requested(); }

    void settleByReading() {
        sampleAll();
        std::vector<std::size_t> sampled;
        for (std::size_t i = 0; i < m_group.size(); ++i)
            if (m_states[i].isUsable && m_states[i].known.sample) sampled.push_back(i);
        for (const std::vector<std::size_t>& candidates : bySample(sampled)) {
            if (isStopped()) break;
            settleCandidates(candidates);
        }
        for (std::size_t i = 0; i < m_group.size(); ++i) releaseSamplePages(i);
    }

    GroupVerdict finish() {
        // Subsets found before a stop were compared in full and stand.
        m_verdict.isStopped = isStopped();
        for (std::size_t i = 0; i < m_group.size(); ++i) credit(i, fileSize());
        std::sort(m_verdict.identicalSubsets.begin(), m_verdict.identicalSubsets.end());
        return std::move(m_verdict);
    }

    // Whether the digests the index gave settle every two files without a
    // read, as compare() would: samples that differ, two remembered whole
    // digests, or prefixes of one length that differ.
    bool isSettledByMemory() const {
        std::vector<std::size_t> usable;
        for (std::size_t i = 0; i < m_group.size(); ++i) {
            if (!m_states[i].isUsable) continue;
            if (!m_states[i].known.sample) return false;
            usable.push_back(i);
        }
        for (std::size_t j = 0; j < usable.size(); ++j) {
            for (std::size_t k = j + 1; k < usable.size(); ++k) {
                const FileState& a = m_states[usable[j]];
                const FileState& b = m_states[usable[k]];
                if (*a.known.sample != *b.known.sample) continue;
                if (a.isWholeFromMemory && b.isWholeFromMemory) continue;
                const std::optional<PrefixDigest>& x = a.known.prefix;
                const std::optional<PrefixDigest>& y = b.known.prefix;
                if (x && y && x->bytes == y->bytes && x->digest != y->digest) continue;
                return false;
            }
        }
        return true;
    }
    std::int64_t fileSize() const { return m_group.front().fingerprint.sizeBytes; }

    void fail(std::size_t i, IoError error) {
        if (!m_states[i].isUsable) return;
        m_states[i].isUsable = false;
        m_verdict.notVerified.emplace_back(i, std::move(error));
    }

    void credit(std::size_t i, std::int64_t upTo) {
        FileState& state = m_states[i];
        if (upTo <= state.credited) return;
        const std::int64_t delta = upTo - state.credited;
        state.credited = upTo;
        if (m_onProgress) m_onProgress(delta);
    }

    // The full fingerprint of each path now, then what the index knows of it.
    // In path order, so that the files of one folder share one descriptor of it.
    void readKeys() {
        std::vector<std::size_t> byPath(m_group.size());
        std::iota(byPath.begin(), byPath.end(), std::size_t{0});
        std::sort(byPath.begin(), byPath.end(),
                  [&](std::size_t a, std::size_t b) { return m_group[a].path < m_group[b].path; });
        ScannedPathStat statOf;
        std::vector<ContentKey> keys;
        std::vector<std::size_t> positions;
        for (const std::size_t i : byPath) {
            const CompareFile& file = m_group[i];
            m_states[i].isUsable = true;
            Result<struct stat> status = statOf(file.path);
            if (!status) {
                const int error = status.error().errorNumber();
                fail(i, error == ENOENT || error == ENOTDIR || error == ELOOP
                            ? IoError::of(IoErrorKind::changed, IoOperation::inspect, file.path, error)
                            : status.error());
                continue;
            }
            const ContentKey key = contentKeyOf(status.value());
            if (!S_ISREG(status.value().st_mode) || key.fingerprint != file.fingerprint) {
                fail(i, IoError::of(IoErrorKind::changed, IoOperation::inspect, file.path));
                continue;
            }
            m_states[i].key = key;
            keys.push_back(key);
            positions.push_back(i);
        }
        if (!m_memory || keys.empty()) return;
        const std::vector<std::optional<KnownContent>> known = m_memory->recall(keys);
        for (std::size_t k = 0; k < positions.size() && k < known.size(); ++k) {
            if (!known[k]) continue;
            m_states[positions[k]].known = *known[k];
            m_states[positions[k]].isWholeFromMemory = known[k]->whole.has_value();
        }
    }

    bool isSmall() const { return fileSize() <= 2 * kSampleBlockBytes; }

    // The first and last block's digest of a file read whole into `bytes`.
    ContentDigest sampleOf(const char* bytes) const {
        HashState hash;
        if (isSmall()) {
            hash.add(bytes, std::size_t(fileSize()));
        } else {
            hash.add(bytes, std::size_t(kSampleBlockBytes));
            hash.add(bytes + fileSize() - kSampleBlockBytes, std::size_t(kSampleBlockBytes));
        }
        return hash.digest();
    }

    // Two files that fit a buffer, both wholly in the page cache and new to the
    // index: nothing comes from the disk and nothing needs dropping, so each is
    // opened once and read in one piece, and the sieve and the comparison share
    // that read. Most same-size videos a library holds twice are such pairs, and
    // the system calls, not the bytes, are what they cost. One file is open at a
    // time, as the other comparing thread may hold one. False, having settled
    // nothing, where that does not hold: the sieve then does it all.
    bool settleCachedPair() {
        const std::int64_t size = fileSize();
        if (m_group.size() != 2 || size > std::int64_t(kChunkBytes) || isStopped()) return false;
        for (const FileState& state : m_states)
            if (!state.isUsable || state.known != KnownContent{}) return false;
        std::array<std::optional<IoError>, 2> errors;
        std::int64_t bytesRead = 0;
        for (std::size_t i = 0; i < errors.size(); ++i) {
            Result<OpenFile> file = OpenFile::open(m_group[i], m_states[i].key, OpenFile::Access::cached);
            if (!file || file->footprintOf(0, size).broughtIn()) return false;
            Result<void> read = file->read(0, m_buffers[i], std::size_t(size), &bytesRead);
            if (read) read = file->checkUnchanged();
            if (!read) errors[i] = read.error();
        }
        m_verdict.bytesRead += bytesRead;
        for (std::size_t i = 0; i < errors.size(); ++i) {
            if (errors[i]) {
                fail(i, std::move(*errors[i]));
                continue;
            }
            m_states[i].known.sample = sampleOf(m_buffers[i]);
            if (isSmall()) m_states[i].known.whole = m_states[i].known.sample;
        }
        const bool isCompared = m_states[0].isUsable && m_states[1].isUsable &&
                                m_states[0].known.sample == m_states[1].known.sample;
        const bool isEqual = isCompared && std::memcmp(m_buffers[0], m_buffers[1], std::size_t(size)) == 0;
        if (isCompared && !isSmall()) {
            // Whole digests only once compared, as everywhere: two stored digests stand for a comparison
            // made.
            for (std::size_t i = 0; i < errors.size(); ++i) {
                if (i > 0 && isEqual) {
                    m_states[i].known.whole = m_states[0].known.whole;
                    continue;
                }
                HashState hash;
                hash.add(m_buffers[i], std::size_t(size));
                m_states[i].known.whole = hash.digest();
            }
        }
        for (std::size_t i = 0; i < errors.size(); ++i)
            if (m_states[i].isUsable) remember(i);
        if (isEqual) m_verdict.identicalSubsets.push_back({0, 1});
        return true;
    }

    struct SampleRead {
        std::optional<IoError> error;
        ContentDigest digest{};
        std::vector<CacheFootprint> pages;
        std::int64_t bytesRead = 0;
    };

    // The first and last block's digest (of a small file: all of it, which is
    // then its whole digest too). Touches nothing shared but the file: the side
    // thread reads one while this thread reads another.
    SampleRead readSample(std::size_t i, char* buffer) const {
        SampleRead sample;
        Result<OpenFile> file = OpenFile::open(m_group[i], m_states[i].key, OpenFile::Access::sample);
        if (!file) {
            sample.error = file.error();
            return sample;
        }
        HashState hash;
        const std::int64_t size = fileSize();
        const std::int64_t head = isSmall() ? size : kSampleBlockBytes;
        sample.pages.push_back(file->footprintOf(0, head));
        Result<void> read = file->read(0, buffer, std::size_t(head), &sample.bytesRead);
        if (read) hash.add(buffer, std::size_t(head));
        if (read && !isSmall()) {
            sample.pages.push_back(file->footprintOf(size - kSampleBlockBytes, kSampleBlockBytes));
            read = file->read(size - kSampleBlockBytes, buffer, std::size_t(kSampleBlockBytes),
                              &sample.bytesRead);
            if (read) hash.add(buffer, std::size_t(kSampleBlockBytes));
        }
        if (read) read = file->checkUnchanged();
        if (!read) sample.error = read.error();
        sample.digest = hash.digest();
        return sample;
    }

    // Two files at a time: one here, one on the side thread.
    void sampleAll() {
        std::vector<std::size_t> unsampled;
        for (std::size_t i = 0; i < m_group.size(); ++i)
            if (m_states[i].isUsable && !m_states[i].known.sample) unsampled.push_back(i);
        for (std::size_t k = 0; k < unsampled.size() && !isStopped(); k += 2) {
            const bool hasSecond = k + 1 < unsampled.size();
            SampleRead second;
            if (hasSecond) m_side.start([&] { second = readSample(unsampled[k + 1], m_buffers[1]); });
            SampleRead first = readSample(unsampled[k], m_buffers[0]);
            if (hasSecond) m_side.finish();
            settleSample(unsampled[k], std::move(first));
            if (hasSecond) settleSample(unsampled[k + 1], std::move(second));
        }
    }

    void settleSample(std::size_t i, SampleRead sample) {
        FileState& state = m_states[i];
        m_verdict.bytesRead += sample.bytesRead;
        state.samplePages = std::move(sample.pages);
        if (sample.error) {
            releaseSamplePages(i);
            fail(i, std::move(*sample.error));
            return;
        }
        state.known.sample = sample.digest;
        if (isSmall()) state.known.whole = state.known.sample;
        remember(i);
    }

    // Sample pages no whole read took over: dropped through the file, if it is still the one we read.
    void releaseSamplePages(std::size_t i) {
        std::vector<CacheFootprint> pages = std::move(m_states[i].samplePages);
        m_states[i].samplePages.clear();
        if (std::none_of(pages.begin(), pages.end(), [](const CacheFootprint& p) { return p.broughtIn(); }))
            return;
        Result<UniqueFd> fd = openVerifiedPath(m_group[i].path, m_group[i].fingerprint);
        if (!fd) return;
        const std::int64_t size = fileSize();
        const std::int64_t head = isSmall() ? size : kSampleBlockBytes;
        pages.front().drop(fd->get(), 0, head);
        if (pages.size() > 1) pages.back().drop(fd->get(), size - kSampleBlockBytes, kSampleBlockBytes);
    }

    std::vector<std::vector<std::size_t>> bySample(const std::vector<std::size_t>& positions) {
        std::map<ContentDigest, std::vector<std::size_t>> groups;
        for (std::size_t i : positions) groups[*m_states[i].known.sample].push_back(i);
        std::vector<std::vector<std::size_t>> candidates;
        for (auto& [digest, members] : groups) {
            if (members.size() >= 2) {
                candidates.push_back(std::move(members));
            } else {
                releaseSamplePages(members.front());
                credit(members.front(), fileSize());  // its own bytes: settled as different
            }
        }
        return candidates;
    }

    // Against one reference at a time: members equal to it form a subset; the
    // others try again among themselves. Members whose digests both came from
    // the index were compared when they were stored; digests that differ need
    // no reading; everything else is read and compared byte for byte. The
    // reference stays open and cached for its round, so a set of k copies costs
    // k reads from the disk, not 2(k - 1). Two candidates alone stop at their
    // first difference; with more, every member is read whole for its digest,
    // by which a rescan tells them apart.
    void settleCandidates(std::vector<std::size_t> candidates) {
        while (candidates.size() >= 2 && !isStopped()) {
            const bool isPair = candidates.size() == 2;
            const std::size_t reference = candidates.front();
            std::optional<OpenFile> referenceFile;
            std::vector<std::size_t> equal{reference};
            std::vector<std::size_t> rest;
            for (std::size_t k = 1; k < candidates.size(); ++k) {
                const std::size_t other = candidates[k];
                const std::optional<bool> same = m_states[reference].isUsable && !isStopped()
                                                     ? compare(reference, other, referenceFile, isPair)
                                                     : std::nullopt;
                if (!m_states[other].isUsable) continue;
                if (same && *same)
                    equal.push_back(other);
                else
                    rest.push_back(other);
            }
            if (referenceFile) referenceFile->dropAll();
            if (isStopped()) return;
            if (!m_states[reference].isUsable) {
                // Compared with a file that then failed: the others start a new round.
                equal.erase(equal.begin());
                rest.insert(rest.begin(), equal.begin(), equal.end());
            } else if (equal.size() >= 2) {
                m_verdict.identicalSubsets.push_back(equal);
            }
            candidates = std::move(rest);
        }
    }

    // Nothing when either file failed or the work stopped.
    std::optional<bool> compare(std::size_t a, std::size_t b, std::optional<OpenFile>& fileA,
                                bool stopsAtDifference) {
        const KnownContent& x = m_states[a].known;
        const KnownContent& y = m_states[b].known;
        if (x.whole && y.whole) {
            if (*x.whole != *y.whole) return false;
            if (m_states[a].isWholeFromMemory && m_states[b].isWholeFromMemory) return true;
        }
        if (x.prefix && y.prefix && x.prefix->bytes == y.prefix->bytes &&
            x.prefix->digest != y.prefix->digest)
            return false;
        if (!fileA) {
            Result<OpenFile> opened = openWhole(a);
            if (!opened) {
                fail(a, opened.error());
                return std::nullopt;
            }
            fileA.emplace(std::move(opened).value());
        }
        return readBoth(a, *fileA, b, stopsAtDifference);
    }

    // Its sample pages become the whole read's to drop.
    Result<OpenFile> openWhole(std::size_t i) {
        FileState& state = m_states[i];
        Result<OpenFile> opened =
            OpenFile::open(m_group[i], state.key, OpenFile::Access::whole, state.samplePages);
        if (opened) state.samplePages.clear();
        return opened;
    }

    // Both files in lockstep, chunk by chunk, the second on the side thread:
    // whether every byte matched, and digests for both (one digest while they
    // match, made on the side: the bytes are the same). The side digests a
    // chunk while this thread compares it, and neither reads past it before
    // the comparison is done, so two files alone stop at their first difference.
    std::optional<bool> readBoth(std::size_t a, OpenFile& first, std::size_t b, bool stopsAtDifference) {
        Result<OpenFile> second = openWhole(b);
        if (!second) {
            fail(b, second.error());
            return std::nullopt;
        }
        const bool isHashing = !(m_states[a].known.whole && m_states[b].known.whole);
        HashState hashA, hashB, beforeChunk;
        bool isEqual = true;
        const std::int64_t size = fileSize();
        char* bufferA = m_buffers[0];
        char* bufferB = m_buffers[1];
        std::int64_t offset = 0;
        Result<void> readB;
        std::int64_t bytesB = 0;
        std::binary_semaphore isReadB{0};
        const auto failed = [&](std::size_t position, const IoError& error) {
            m_side.finish();
            fail(position, error);
            second->dropAll();
            return std::nullopt;
        };
        while (offset < size && (isEqual || !stopsAtDifference)) {
            // The last chunk's digest done: its buffer is free again.
            m_side.finish();
            if (isStopped()) {
                second->dropAll();
                return std::nullopt;
            }
            const auto chunk = std::size_t(std::min<std::int64_t>(std::int64_t(kChunkBytes), size - offset));
            m_side.start([&, chunk, at = offset] {
                if (isHashing) beforeChunk.copyFrom(hashB);
                bytesB = 0;
                readB = second->read(at, bufferB, chunk, &bytesB);
                const bool isRead = bool(readB);
                isReadB.release();
                if (isRead && isHashing) hashB.add(bufferB, chunk);
            });
            Result<void> readA = first.read(offset, bufferA, chunk, &m_verdict.bytesRead);
            if (readA && isHashing && !isEqual) hashA.add(bufferA, chunk);
            isReadB.acquire();
            m_verdict.bytesRead += bytesB;
            if (!readA) return failed(a, readA.error());
            if (!readB) return failed(b, readB.error());
            second->dropBehind(offset, std::int64_t(chunk));
            if (isEqual && std::memcmp(bufferA, bufferB, chunk) != 0) {
                isEqual = false;
                hashA.copyFrom(beforeChunk);
                hashA.add(bufferA, chunk);
            }
            offset += std::int64_t(chunk);
            credit(a, offset);
            credit(b, offset);
        }
        m_side.finish();
        second->dropAll();
        if (Result<void> same = first.checkUnchanged(); !same) {
            fail(a, same.error());
            return std::nullopt;
        }
        if (Result<void> same = second->checkUnchanged(); !same) {
            fail(b, same.error());
            return std::nullopt;
        }
        if (isHashing) {
            for (const auto& [position, hash] : {std::pair{a, &hashA}, std::pair{b, &hashB}}) {
                const ContentDigest digest = isEqual ? hashB.digest() : hash->digest();
                KnownContent& known = m_states[position].known;
                if (offset == size)
                    known.whole = digest;
                else
                    known.prefix = PrefixDigest{offset, digest};
                // Stored only once compared, so that two stored digests stand for a comparison made.
                remember(position);
            }
        }
        return isEqual;
    }

    void remember(std::size_t i) {
        if (m_memory) m_memory->remember(m_states[i].key, m_states[i].known);
    }

    std::span<const CompareFile> m_group;
    ContentMemory* m_memory;
    const std::stop_token& m_stop;
    const CompareProgress& m_onProgress;
    SideReader& m_side;
    std::vector<FileState> m_states;
    std::array<char*, 2> m_buffers;
    GroupVerdict m_verdict;
};

}  // namespace

ContentKey contentKeyOf(const struct stat& status) {
    return ContentKey{fingerprintOf(status),
                      std::int64_t(status.st_ctim.tv_sec) * kNsPerSecond + status.st_ctim.tv_nsec};
}

namespace {

constexpr std::size_t kHugePageBytes = 2 << 20;
static_assert(4 * kChunkBytes % kHugePageBytes == 0, "the buffers fill whole huge pages");

}  // namespace

// Two pairs of buffers, one for each comparing thread when each settles a
// small pair of its own; the first pair otherwise. On huge pages where the
// kernel gives them: every byte compared is copied into them and read back,
// and the TLB misses of 4 KiB pages made a warm check about a sixth slower in
// a virtual machine.
ContentComparer::ContentComparer(ContentMemory* memory, std::stop_token stop)
    : m_memory(memory),
      m_stop(std::move(stop)),
      m_buffers(static_cast<char*>(std::aligned_alloc(kHugePageBytes, 4 * kChunkBytes)), &std::free),
      m_side(std::make_unique<SideReader>()) {
    if (!m_buffers) throw std::bad_alloc();
    ::madvise(m_buffers.get(), 4 * kChunkBytes, MADV_HUGEPAGE);
}

ContentComparer::~ContentComparer() = default;

GroupVerdict ContentComparer::compare(std::span<const CompareFile> group, const CompareProgress& onProgress) {
    if (group.empty()) return {};
    return GroupComparer(group, m_memory, m_stop, onProgress, m_buffers.get(), *m_side).run();
}

namespace {

// A memory, and a progress callback, that two comparing threads share.
class SharedMemory final : public ContentMemory {
public:
    SharedMemory(ContentMemory& memory, std::mutex& mutex) : m_memory(memory), m_mutex(mutex) {}
    std::vector<std::optional<KnownContent>> recall(std::span<const ContentKey> keys) override {
        std::lock_guard lock(m_mutex);
        return m_memory.recall(keys);
    }
    void remember(const ContentKey& key, const KnownContent& content) override {
        std::lock_guard lock(m_mutex);
        m_memory.remember(key, content);
    }

private:
    ContentMemory& m_memory;
    std::mutex& m_mutex;
};

bool isSmallPair(std::span<const CompareFile> group) {
    return group.size() == 2 && group.front().fingerprint.sizeBytes <= std::int64_t(kChunkBytes);
}

}  // namespace

// Most copies a library holds are pairs of small files, each of which costs a
// few system calls and one read: two of them at a time use both cores, while
// one pair with a side reader would leave one waiting on the other's read.
void ContentComparer::compareAll(std::span<const std::vector<CompareFile>> groups,
                                 const CompareProgress& onProgress, const GroupVerdictHandler& onVerdict) {
    std::vector<std::size_t> pairs;
    std::vector<std::size_t> rest;
    for (std::size_t g = 0; g < groups.size(); ++g) (isSmallPair(groups[g]) ? pairs : rest).push_back(g);
    if (!pairs.empty()) {
        std::mutex mutex;
        std::optional<SharedMemory> memory;
        if (m_memory) memory.emplace(*m_memory, mutex);
        const CompareProgress progress = [&](std::int64_t bytes) {
            std::lock_guard lock(mutex);
            if (onProgress) onProgress(bytes);
        };
        std::vector<std::optional<GroupVerdict>> settled(pairs.size());
        std::atomic<std::size_t> next{0};
        const auto settle = [&](char* buffers) {
            for (std::size_t k = next++; k < pairs.size() && !m_stop.stop_requested(); k = next++)
                settled[k] = GroupComparer(groups[pairs[k]], memory ? &*memory : nullptr, m_stop, progress,
                                           buffers, *m_side)
                                 .runAlone();
        };
        m_side->start([&] { settle(m_buffers.get() + 2 * kChunkBytes); });
        settle(m_buffers.get());
        m_side->finish();
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            if (settled[k])
                onVerdict(pairs[k], std::move(*settled[k]));
            else
                rest.push_back(pairs[k]);
        }
        std::sort(rest.begin(), rest.end());
    }
    for (const std::size_t g : rest) {
        if (m_stop.stop_requested()) {
            GroupVerdict stopped;
            stopped.isStopped = true;
            onVerdict(g, std::move(stopped));
        } else {
            onVerdict(g, compare(groups[g], onProgress));
        }
    }
}

GroupVerdict compareSameSizeGroup(std::span<const CompareFile> group, ContentMemory* memory,
                                  const std::stop_token& stop, const CompareProgress& onProgress) {
    return ContentComparer(memory, stop).compare(group, onProgress);
}

namespace {

// File systems whose files never share extents with one another. Anything
// else (btrfs, XFS, bcachefs, an overlay over them, the unknown) is asked.
bool neverSharesExtents(int fd) {
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return false;
    switch (static_cast<unsigned long>(info.f_type)) {
        case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
        case TMPFS_MAGIC:
        case RAMFS_MAGIC:
        case MSDOS_SUPER_MAGIC:
        case EXFAT_SUPER_MAGIC:
        case F2FS_SUPER_MAGIC:
        case ISOFS_SUPER_MAGIC:
        case UDF_SUPER_MAGIC:
        case SQUASHFS_MAGIC:
        case NFS_SUPER_MAGIC:
        case FUSE_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

Result<std::int64_t> unsharedBytesOf(int fd, const FileFingerprint& expected) {
    constexpr std::uint32_t kExtentsPerCall = 64;
    std::vector<std::uint64_t> storage(
        (sizeof(fiemap) + kExtentsPerCall * sizeof(fiemap_extent)) / sizeof(std::uint64_t) + 1);
    auto* map = reinterpret_cast<fiemap*>(storage.data());
    const auto size = std::uint64_t(expected.sizeBytes);
    std::uint64_t shared = 0;
    for (std::uint64_t start = 0; start < size;) {
        std::fill(storage.begin(), storage.end(), 0);
        map->fm_start = start;
        map->fm_length = size - start;
        map->fm_extent_count = kExtentsPerCall;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) return expected.sizeBytes;  // not told: all of it
        if (map->fm_mapped_extents == 0) break;
        const fiemap_extent* extents = map->fm_extents;
        bool isLast = false;
        for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = extents[i];
            const std::uint64_t end = std::min<std::uint64_t>(extent.fe_logical + extent.fe_length, size);
            if ((extent.fe_flags & FIEMAP_EXTENT_SHARED) != 0 && end > extent.fe_logical)
                shared += end - extent.fe_logical;
            start = std::uint64_t(extent.fe_logical + extent.fe_length);
            isLast = isLast || (extent.fe_flags & FIEMAP_EXTENT_LAST) != 0;
        }
        if (isLast) break;
    }
    return expected.sizeBytes - std::int64_t(std::min(shared, size));
}

}  // namespace

std::int64_t UnsharedBytesProbe::of(const QByteArray& path, const FileFingerprint& scanned) {
    const auto known = m_canShareByDevice.find(scanned.device);
    if (known != m_canShareByDevice.end() && !known->second) return scanned.sizeBytes;
    Result<UniqueFd> fd = openVerifiedPath(path, scanned);
    if (!fd) return scanned.sizeBytes;  // gone or changed: the next file of its device decides
    if (known == m_canShareByDevice.end()) {
        const bool canShare = !neverSharesExtents(fd->get());
        m_canShareByDevice.emplace(scanned.device, canShare);
        if (!canShare) return scanned.sizeBytes;
    }
    const Result<std::int64_t> unshared = unsharedBytesOf(fd->get(), scanned);
    return unshared ? unshared.value() : scanned.sizeBytes;
}

void useIdleIoPriority() {
    // 0 names the calling thread: only the comparing thread yields, not the window.
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioClassIdle << kIoprioClassShift);
}

}  // namespace reelkeep::fs
