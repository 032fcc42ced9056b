// content_compare_test.cpp: only byte-identical files form a set; a file that
// changes, vanishes or cannot be read is reported, never counted as a copy.
#include <sys/mman.h>
#include <utime.h>

#include <set>

#include "fs_fixture.h"
#include "platform/folder/fs/content_compare.h"
#include "support/as_nobody.h"

using namespace reelkeep::fs;
using namespace reelkeep::fs::test;

namespace {

// Three chunks and a bit: the middle is outside both sample blocks.
constexpr int kFileBytes = 3 * 1024 * 1024 + 123;

QByteArray flipped(QByteArray bytes, int at) {
    bytes[at] = char(bytes[at] ^ 0x01);
    return bytes;
}

struct Fixture {
    TempDir dir;
    std::vector<CompareFile> files;

    void add(const char* name, const QByteArray& content) {
        const QByteArray path = join(dir.path(), name);
        writeBytes(path, content);
        files.push_back({path, fingerprintOfPath(path)});
    }
    std::set<std::set<std::string>> subsets(const GroupVerdict& verdict) const {
        std::set<std::set<std::string>> named;
        for (const auto& subset : verdict.identicalSubsets) {
            std::set<std::string> names;
            for (std::size_t i : subset) names.insert(files[i].path.mid(dir.path().size() + 1).toStdString());
            named.insert(names);
        }
        return named;
    }
    std::set<std::string> notVerified(const GroupVerdict& verdict) const {
        std::set<std::string> names;
        for (const auto& [i, error] : verdict.notVerified)
            names.insert(files[i].path.mid(dir.path().size() + 1).toStdString());
        return names;
    }
};

class MapMemory : public ContentMemory {
public:
    std::vector<std::optional<KnownContent>> recall(std::span<const ContentKey> keys) override {
        std::vector<std::optional<KnownContent>> answers;
        for (const ContentKey& key : keys) {
            const auto found =
                std::find_if(m_rows.begin(), m_rows.end(), [&](auto& row) { return row.first == key; });
            answers.push_back(found == m_rows.end() ? std::nullopt : std::optional(found->second));
        }
        return answers;
    }
    void remember(const ContentKey& key, const KnownContent& content) override {
        std::erase_if(m_rows, [&](auto& row) { return row.first == key; });
        m_rows.emplace_back(key, content);
    }

private:
    std::vector<std::pair<ContentKey, KnownContent>> m_rows;
};

// Pages of the file in the page cache now.
std::size_t cachedPages(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    const auto size = std::size_t(::lseek(fd, 0, SEEK_END));
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    std::vector<unsigned char> pages((size + 4095) / 4096);
    ::mincore(map, size, pages.data());
    ::munmap(map, size);
    return std::size_t(std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; }));
}

void setCached(const QByteArray& path, bool isCached) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    std::vector<char> buffer(1 << 16);
    while (isCached && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

}  // namespace

TEST(ContentCompare, OnlyByteIdenticalFilesFormSubsets) {
    Fixture f;
    const QByteArray original = patternBytes(kFileBytes, 7);
    f.add("a.mp4", original);
    f.add("start.mp4", flipped(original, 0));
    f.add("a (1).mp4", original);
    f.add("middle.mp4", flipped(original, kFileBytes / 2));
    f.add("end.mp4", flipped(original, kFileBytes - 1));
    f.add("a copy.mp4", original);
    f.add("middle copy.mp4", flipped(original, kFileBytes / 2));
    f.add("other.mp4", patternBytes(kFileBytes, 9));

    std::int64_t settled = 0;
    const GroupVerdict verdict =
        compareSameSizeGroup(f.files, nullptr, {}, [&](std::int64_t bytes) { settled += bytes; });
    using Names = std::set<std::set<std::string>>;
    EXPECT_EQ(f.subsets(verdict),
              (Names{{"a.mp4", "a (1).mp4", "a copy.mp4"}, {"middle.mp4", "middle copy.mp4"}}));
    EXPECT_TRUE(verdict.notVerified.empty());
    EXPECT_FALSE(verdict.isStopped);
    EXPECT_EQ(settled, std::int64_t(kFileBytes) * std::int64_t(f.files.size()));

    // Files that differ in their first or last block are settled by those blocks alone.
    Fixture sieved;
    sieved.add("a.mp4", original);
    sieved.add("start.mp4", flipped(original, 0));
    sieved.add("end.mp4", flipped(original, kFileBytes - 1));
    EXPECT_EQ(compareSameSizeGroup(sieved.files, nullptr, {}).bytesRead, 3 * 2 * kSampleBlockBytes);
}

TEST(ContentCompare, RememberedResultsNeedNoReadsUntilAFingerprintFieldChanges) {
    Fixture f;
    const QByteArray original = patternBytes(kFileBytes, 3);
    f.add("a.mp4", original);
    f.add("b.mp4", original);
    f.add("c.mp4", flipped(original, kFileBytes / 2));
    MapMemory memory;
    const GroupVerdict first = compareSameSizeGroup(f.files, &memory, {});
    ASSERT_EQ(first.identicalSubsets.size(), 1u);
    const GroupVerdict again = compareSameSizeGroup(f.files, &memory, {});
    EXPECT_EQ(again.identicalSubsets, first.identicalSubsets);
    EXPECT_EQ(again.bytesRead, 0);

    // A chmod changes only the ctime: b, scanned again, is read and compared again.
    ASSERT_EQ(::chmod(f.files[1].path.constData(), 0640), 0);
    f.files[1].fingerprint = fingerprintOfPath(f.files[1].path);
    const GroupVerdict afterChmod = compareSameSizeGroup(f.files, &memory, {});
    EXPECT_EQ(afterChmod.identicalSubsets, first.identicalSubsets);
    EXPECT_GT(afterChmod.bytesRead, 0);

    // Two files alone stop at their first difference, and a rescan knows without reading.
    Fixture pair;
    pair.add("a.mp4", original);
    pair.add("b.mp4", flipped(original, 100'000));  // past the first block, in the first chunk
    const GroupVerdict different = compareSameSizeGroup(pair.files, &memory, {});
    EXPECT_TRUE(different.identicalSubsets.empty());
    EXPECT_LT(different.bytesRead, std::int64_t(kFileBytes));
    EXPECT_EQ(compareSameSizeGroup(pair.files, &memory, {}).bytesRead, 0);
}

TEST(ContentCompare, APairSmallerThanAChunkIsReadOnceAndAgainNotAtAll) {
    struct Case {
        int size;
        int flipAt;  // -1: the same bytes
        bool isCached;
    };
    const Case cases[] = {
        {100'000, -1, true},      {100'000, 99'999, true},  {700'000, -1, true},  {700'000, 0, true},
        {700'000, 350'000, true}, {700'000, 699'999, true}, {700'000, -1, false}, {700'000, 350'000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.size << " bytes, flipped at " << c.flipAt << ", cached " << c.isCached);
        Fixture f;
        const QByteArray original = patternBytes(c.size, 8);
        f.add("a.mp4", original);
        f.add("b.mp4", c.flipAt < 0 ? original : flipped(original, c.flipAt));
        setCached(f.files[1].path, c.isCached);
        if (!c.isCached && cachedPages(f.files[1].path) != 0) continue;  // tmpfs keeps its pages
        MapMemory memory;
        const GroupVerdict first = compareSameSizeGroup(f.files, &memory, {});
        EXPECT_EQ(first.identicalSubsets.size(), c.flipAt < 0 ? 1u : 0u);
        EXPECT_TRUE(first.notVerified.empty());
        // Wholly cached, the sieve and the comparison share one read of each file.
        if (c.isCached) {
            EXPECT_EQ(first.bytesRead, 2 * c.size);
        } else {
            EXPECT_EQ(cachedPages(f.files[1].path), 0u);
        }
        const GroupVerdict again = compareSameSizeGroup(f.files, &memory, {});
        EXPECT_EQ(again.identicalSubsets, first.identicalSubsets);
        EXPECT_EQ(again.bytesRead, 0);
    }
}

TEST(ContentCompare, GroupsComparedTogetherComeBackOnceEachAsAlone) {
    // Small pairs are settled two at a time, a larger group after them; a pair
    // with an uncached file or a vanished one leaves the shared path for the sieve.
    const QByteArray small = patternBytes(300'000, 4);
    const QByteArray large = patternBytes(kFileBytes, 4);
    std::vector<Fixture> groups(6);
    groups[0].add("a.mp4", small);
    groups[0].add("b.mp4", small);
    groups[1].add("a.mp4", small);
    groups[1].add("b.mp4", flipped(small, 150'000));
    groups[2].add("a.mp4", small);
    groups[2].add("uncached.mp4", small);
    groups[3].add("a.mp4", small);
    groups[3].add("gone.mp4", small);
    groups[4].add("a.mp4", large);
    groups[4].add("copy.mp4", large);
    groups[4].add("middle.mp4", flipped(large, kFileBytes / 2));
    groups[5].add("a.mp4", small);
    groups[5].add("b.mp4", small);
    setCached(groups[2].files[1].path, false);
    ASSERT_EQ(::unlink(groups[3].files[1].path.constData()), 0);
    std::vector<std::vector<CompareFile>> all;
    std::int64_t total = 0;
    for (const Fixture& group : groups) {
        all.push_back(group.files);
        total += group.files.front().fingerprint.sizeBytes * std::int64_t(group.files.size());
    }
    using Names = std::set<std::set<std::string>>;
    const std::vector<Names> expected{{{"a.mp4", "b.mp4"}},        {},
                                      {{"a.mp4", "uncached.mp4"}}, {},
                                      {{"a.mp4", "copy.mp4"}},     {{"a.mp4", "b.mp4"}}};

    MapMemory memory;
    ContentComparer comparer(&memory, {});
    for (const bool isRescan : {false, true}) {
        SCOPED_TRACE(isRescan ? "rescan" : "first");
        std::vector<std::optional<GroupVerdict>> verdicts(all.size());
        std::int64_t settled = 0, bytesRead = 0;
        comparer.compareAll(
            all, [&](std::int64_t bytes) { settled += bytes; },
            [&](std::size_t g, GroupVerdict verdict) {
                ASSERT_FALSE(verdicts[g]) << "group " << g << " came back twice";
                bytesRead += verdict.bytesRead;
                verdicts[g] = std::move(verdict);
            });
        for (std::size_t g = 0; g < all.size(); ++g) {
            ASSERT_TRUE(verdicts[g]) << "group " << g;
            EXPECT_EQ(groups[g].subsets(*verdicts[g]), expected[g]) << "group " << g;
            EXPECT_EQ(groups[g].notVerified(*verdicts[g]),
                      g == 3 ? std::set<std::string>{"gone.mp4"} : std::set<std::string>{})
                << "group " << g;
        }
        EXPECT_EQ(settled, total);
        if (isRescan) {
            EXPECT_EQ(bytesRead, 0);
        }
    }

    // Stopped before it starts, every group comes back unsettled.
    std::stop_source stop;
    stop.request_stop();
    ContentComparer stopped(nullptr, stop.get_token());
    std::size_t count = 0;
    stopped.compareAll(all, {}, [&](std::size_t, const GroupVerdict& verdict) {
        ++count;
        EXPECT_TRUE(verdict.isStopped);
        EXPECT_TRUE(verdict.identicalSubsets.empty());
    });
    EXPECT_EQ(count, all.size());
}

TEST(ContentCompare, PagesCachedBeforeStayAndPagesBroughtInGo) {
    Fixture f;
    const QByteArray original = patternBytes(kFileBytes, 6);
    f.add("uncached.mp4", original);
    f.add("cached.mp4", original);
    f.add("partly cached.mp4", original);
    setCached(f.files[0].path, false);
    setCached(f.files[1].path, true);
    setCached(f.files[2].path, true);
    // A hole in the middle of a chunk: the pages around it are still someone's.
    const int fd = ::open(f.files[2].path.constData(), O_RDONLY | O_CLOEXEC);
    ::posix_fadvise(fd, (1 << 20) + (1 << 18), 1 << 18, POSIX_FADV_DONTNEED);
    ::close(fd);
    if (cachedPages(f.files[0].path) != 0) GTEST_SKIP() << "this file system keeps its pages (tmpfs)";
    const std::size_t pages = cachedPages(f.files[1].path);
    const std::size_t partly = cachedPages(f.files[2].path);
    ASSERT_LT(partly, pages);

    EXPECT_EQ(compareSameSizeGroup(f.files, nullptr, {}).identicalSubsets.size(), 1u);
    EXPECT_EQ(cachedPages(f.files[0].path), 0u);
    EXPECT_EQ(cachedPages(f.files[1].path), pages);
    EXPECT_EQ(cachedPages(f.files[2].path), partly);
}

TEST(ContentCompare, FilesThatChangeVanishOrCannotBeReadAreNotVerified) {
    Fixture f;
    const QByteArray original = patternBytes(kFileBytes, 5);
    f.add("a.mp4", original);
    f.add("growing.mp4", original);
    f.add("gone.mp4", original);
    f.add("replaced.mp4", original);
    ASSERT_EQ(::mkdir(join(f.dir.path(), "folder").constData(), 0755), 0);
    f.add("folder/swapped.mp4", original);
    ASSERT_EQ(::unlink(f.files[2].path.constData()), 0);
    ASSERT_EQ(::unlink(f.files[3].path.constData()), 0);
    writeBytes(f.files[3].path, original);  // the same bytes in a new inode: not the file the scan saw
    // Its folder swapped for a symlink to another with the same bytes under the same name.
    const QByteArray folder = join(f.dir.path(), "folder"), elsewhere = join(f.dir.path(), "elsewhere");
    ASSERT_EQ(::rename(folder.constData(), join(f.dir.path(), "old").constData()), 0);
    ASSERT_EQ(::mkdir(elsewhere.constData(), 0755), 0);
    writeBytes(join(elsewhere, "swapped.mp4"), original);
    ASSERT_EQ(::symlink(elsewhere.constData(), folder.constData()), 0);

    bool hasGrown = false;
    const GroupVerdict verdict = compareSameSizeGroup(f.files, nullptr, {}, [&](std::int64_t) {
        if (hasGrown) return;
        hasGrown = true;
        const int fd = ::open(f.files[1].path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "more", 4), 4);
        ::close(fd);
    });
    EXPECT_TRUE(verdict.identicalSubsets.empty());
    EXPECT_EQ(f.notVerified(verdict),
              (std::set<std::string>{"growing.mp4", "gone.mp4", "replaced.mp4", "folder/swapped.mp4"}));
}

TEST(ContentCompare, AFileTheUserMayNotReadIsNotVerified) {
    if (reelkeep::test::rerunAsNobody()) return;  // root reads everything
    Fixture f;
    const QByteArray original = patternBytes(kFileBytes, 1);
    f.add("a.mp4", original);
    f.add("b.mp4", original);
    f.add("private.mp4", original);
    ASSERT_EQ(::chmod(f.files[2].path.constData(), 0), 0);
    f.files[2].fingerprint = fingerprintOfPath(f.files[2].path);
    const GroupVerdict verdict = compareSameSizeGroup(f.files, nullptr, {});
    ASSERT_EQ(f.notVerified(verdict), std::set<std::string>{"private.mp4"});
    EXPECT_EQ(verdict.notVerified[0].second.errorNumber(), EACCES);
    EXPECT_EQ(f.subsets(verdict), (std::set<std::set<std::string>>{{"a.mp4", "b.mp4"}}));
}

TEST(ContentCompare, AStopEndsTheWorkWithinAChunk) {
    Fixture f;
    const QByteArray original = patternBytes(kFileBytes, 2);
    f.add("a.mp4", original);
    f.add("b.mp4", original);
    std::stop_source stop;
    const GroupVerdict verdict =
        compareSameSizeGroup(f.files, nullptr, stop.get_token(), [&](std::int64_t) { stop.request_stop(); });
    EXPECT_TRUE(verdict.isStopped);
    EXPECT_TRUE(verdict.identicalSubsets.empty());
    EXPECT_LT(verdict.bytesRead, std::int64_t(kFileBytes));
}
