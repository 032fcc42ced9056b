// metadata_index_test.cpp: the index answers only for unchanged files, rebuilds
// itself when damaged, and falls back to memory where it cannot write.
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <random>
#include <thread>

#include "platform/folder/store/metadata_index.h"
#include "store_fixtures.h"
#include "support/as_nobody.h"

namespace reelkeep::store {
namespace {

using testing::readAll;
using testing::writeAll;

IndexEntry entry(int n) {
    IndexEntry e;
    e.key = IndexKey{"/v/clip" + std::to_string(n) + ".mp4",
                     FileFingerprint{0xFFFF'FFFF'FFFF'FF00u, static_cast<std::uint64_t>(n), 1000 + n,
                                     1'700'000'000'123'456'789 + n}};
    e.metadata = IndexedMetadata{1.6e9 + n, 1.5 * n, 1920, 1080, n % 3 == 0, n % 5 != 0, DateSource(n % 3)};
    e.dateTags = ContainerDateTags{n % 2 ? "2020-01-01T00:00:00Z" : "", ""};
    return e;
}

std::vector<IndexEntry> entries(int count) {
    std::vector<IndexEntry> all;
    for (int n = 0; n < count; ++n) all.push_back(entry(n));
    return all;
}

std::vector<IndexKey> keysOf(const std::vector<IndexEntry>& all) {
    std::vector<IndexKey> keys;
    for (const IndexEntry& e : all) keys.push_back(e.key);
    return keys;
}

TEST(MetadataIndex, AnswersInBulkOnlyForUnchangedFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cache/reelkeep/index.sqlite"));
    const auto stored = entries(450);  // three lookup batches
    {
        auto index = MetadataIndex::open(path);
        ASSERT_FALSE(index->isInMemory()) << index->inMemoryReason().toStdString();
        ASSERT_FALSE(index->store(stored));
    }
    auto index = MetadataIndex::open(path);
    std::vector<IndexKey> keys = keysOf(stored);
    keys.push_back(IndexKey{"/v/never-seen.mp4", {}});
    keys.push_back(stored[7].key);  // asked twice in one call
    const auto answers = index->lookup(keys);
    ASSERT_EQ(answers.size(), keys.size());
    for (std::size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(answers[i], stored[i].metadata) << i;
    EXPECT_FALSE(answers[450]);
    EXPECT_EQ(answers[451], stored[7].metadata);

    struct Change {
        const char* what;
        std::function<void(FileFingerprint&)> apply;
    };
    const Change changes[] = {
        {"another device", [](FileFingerprint& f) { f.device ^= 1; }},
        {"replaced (new inode)", [](FileFingerprint& f) { f.inode += 1000; }},
        {"appended", [](FileFingerprint& f) { f.sizeBytes += 1; }},
        {"touched within the same second", [](FileFingerprint& f) { f.mtimeNs += 1; }},
    };
    for (const Change& change : changes) {
        IndexKey key = stored[3].key;
        change.apply(key.fingerprint);
        EXPECT_FALSE(index->lookup(std::span(&key, 1))[0]) << change.what;
    }
    // A new reading replaces the old row.
    IndexEntry updated = stored[3];
    updated.key.fingerprint.sizeBytes += 1;
    updated.metadata.lengthSeconds = 99;
    ASSERT_FALSE(index->store(std::span(&updated, 1)));
    EXPECT_EQ(index->lookup(std::span(&updated.key, 1))[0], updated.metadata);
    EXPECT_FALSE(index->lookup(std::span(&stored[3].key, 1))[0]);
}

// Keys arrive in walk order, and the index may hold many rows between two of
// them (files gone since, other folders): each key still gets its own row.
TEST(MetadataIndex, AnswersEachKeyWhateverItsOrderAndTheRowsBetween) {
    QTemporaryDir dir;
    auto index = MetadataIndex::open(dir.filePath(QStringLiteral("index.sqlite")));
    constexpr int kStored = 3000;
    const auto stored = entries(kStored);
    ASSERT_FALSE(index->store(stored));
    const struct {
        const char* what;
        int stride;
    } cases[] = {
        {"every file", 1},
        {"every third: other rows between the keys", 3},
        {"every 25th: so many rows between that they are asked by name", 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::pair<IndexKey, std::optional<IndexedMetadata>>> asked;
        for (int n = 0; n < kStored; n += c.stride) {
            asked.emplace_back(stored[n].key, stored[n].metadata);
            if (n % 7 == 0) {  // the same name asked again for an edited file
                IndexKey edited = stored[n].key;
                edited.fingerprint.mtimeNs += 1;
                asked.emplace_back(edited, std::nullopt);
            }
            if (n % 11 == 0)
                asked.emplace_back(IndexKey{stored[n].key.identifier + "-new", {}}, std::nullopt);
        }
        std::shuffle(asked.begin(), asked.end(), std::mt19937(7));
        std::vector<IndexKey> keys;
        for (const auto& [key, expected] : asked) keys.push_back(key);

        const auto answers = index->lookup(keys);
        ASSERT_EQ(answers.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(answers[i], asked[i].second) << keys[i].identifier;
    }
}

TEST(MetadataIndex, ContentAnswersOnlyWhileEveryFingerprintFieldIsUnchanged) {
    QTemporaryDir dir;
    auto index = MetadataIndex::open(dir.filePath(QStringLiteral("index.sqlite")));
    const ContentFingerprint file{0xFFFF'FFFF'FFFF'FF00u, 42, 5'000'000, 1'700'000'000'123'456'789,
                                  1'700'000'001'000'000'001};
    const ContentDigests digests{StoredDigest{1, 2, 3}, StoredDigest{9, 8, 7}, 1 << 20, StoredDigest{4}};
    const ContentDigests sampleOnly{StoredDigest{5}, std::nullopt, std::nullopt, std::nullopt};
    ASSERT_FALSE(index->storeContent(std::vector{
        std::pair{file, digests}, std::pair{ContentFingerprint{file.device, 43, 7, 7, 7}, sampleOnly}}));

    const struct {
        const char* change;
        ContentFingerprint key;
        bool isAnswered;
    } cases[] = {
        {"none", file, true},
        {"device", {file.device - 1, file.inode, file.sizeBytes, file.mtimeNs, file.ctimeNs}, false},
        {"inode", {file.device, file.inode + 100, file.sizeBytes, file.mtimeNs, file.ctimeNs}, false},
        {"size", {file.device, file.inode, file.sizeBytes + 1, file.mtimeNs, file.ctimeNs}, false},
        {"mtime", {file.device, file.inode, file.sizeBytes, file.mtimeNs + 1, file.ctimeNs}, false},
        {"ctime", {file.device, file.inode, file.sizeBytes, file.mtimeNs, file.ctimeNs + 1}, false},
    };
    for (const auto& c : cases) {
        const auto answers =
            index->lookupContent(std::vector{c.key, ContentFingerprint{file.device, 43, 7, 7, 7}});
        EXPECT_EQ(answers[0], c.isAnswered ? std::optional(digests) : std::nullopt) << c.change;
        EXPECT_EQ(answers[1], sampleOnly) << c.change;
    }
}

TEST(MetadataIndex, FingerprintsAnswerOnlyForTheSameFileAndAlgorithm) {
    QTemporaryDir dir;
    auto index = MetadataIndex::open(dir.filePath(QStringLiteral("index.sqlite")));
    const ContentFingerprint file{0xFFFF'FFFF'FFFF'FF00u, 42, 5'000'000, 1'700'000'000'123'456'789,
                                  1'700'000'001'000'000'001};
    const ContentFingerprint broken{file.device, 43, 7, 7, 7};
    VisualFingerprint shown{12.5, 16.0 / 9.0, 9, {}};
    for (int i = 0; i < kFingerprintFrames; ++i) shown.frameHashes[i] = 0x8000'0000'0000'0001u * (i + 1);
    shown.frameHashes[4] = kFlatPictureHash;
    const VisualRecord decoded{shown}, failed{};
    constexpr int kAlgorithm = 3;
    ASSERT_FALSE(
        index->storeVisual(std::vector{std::pair{file, decoded}, std::pair{broken, failed}}, kAlgorithm));

    const struct {
        const char* change;
        ContentFingerprint key;
        int algorithm;
        bool isAnswered;
    } cases[] = {
        {"none", file, kAlgorithm, true},
        {"algorithm", file, kAlgorithm + 1, false},
        {"inode",
         {file.device, file.inode + 100, file.sizeBytes, file.mtimeNs, file.ctimeNs},
         kAlgorithm,
         false},
        {"size",
         {file.device, file.inode, file.sizeBytes + 1, file.mtimeNs, file.ctimeNs},
         kAlgorithm,
         false},
        {"mtime",
         {file.device, file.inode, file.sizeBytes, file.mtimeNs + 1, file.ctimeNs},
         kAlgorithm,
         false},
        {"ctime",
         {file.device, file.inode, file.sizeBytes, file.mtimeNs, file.ctimeNs + 1},
         kAlgorithm,
         false},
    };
    for (const auto& c : cases) {
        const auto answers = index->lookupVisual(std::vector{c.key, broken}, c.algorithm);
        EXPECT_EQ(answers[0], c.isAnswered ? std::optional(decoded) : std::nullopt) << c.change;
        // A file that failed is remembered as failed, under the same rules.
        EXPECT_EQ(answers[1], c.algorithm == kAlgorithm ? std::optional(failed) : std::nullopt) << c.change;
    }
}

TEST(MetadataIndex, DamagedFileIsRebuiltSilently) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> damage;
    };
    const Case cases[] = {
        {"not a database", [](const QString& p) { writeAll(p, QByteArray("garbage").repeated(2000)); }},
        {"another schema version", [](const QString& p) { testing::runSql(p, "PRAGMA user_version = 7;"); }},
        {"broken pages", [](const QString& p) { testing::damagePages(p); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("index.sqlite"));
        const auto stored = entries(300);
        ASSERT_FALSE(MetadataIndex::open(path)->store(stored));
        c.damage(path);

        auto index = MetadataIndex::open(path);
        EXPECT_FALSE(index->isInMemory()) << index->inMemoryReason().toStdString();
        const auto answers = index->lookup(keysOf(stored));  // misses, never a crash or an error
        for (const auto& answer : answers) EXPECT_FALSE(answer);
        EXPECT_EQ(index->rebuildCount(), 1);
        ASSERT_FALSE(index->store(stored));
        EXPECT_EQ(index->lookup(keysOf(stored))[299], stored[299].metadata);
    }
}

TEST(MetadataIndex, UnusableLocationWorksInMemoryAndSaysSo) {
    if (reelkeep::test::rerunAsNobody()) return;  // a read-only folder stops root nothing
    QTemporaryDir dir;
    writeAll(dir.filePath(QStringLiteral("file")), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    ASSERT_TRUE(
        QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner));
    writeAll(dir.filePath(QStringLiteral("video.mp4")), "precious family video");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.sqlite")));
    ASSERT_TRUE(
        QFile::link(dir.filePath(QStringLiteral("video.mp4")), dir.filePath(QStringLiteral("link.sqlite"))));
    struct Case {
        QString path;
    };
    const Case cases[] = {
        {dir.filePath(QStringLiteral("file/index.sqlite"))},  // read-only for root too: not a folder
        {dir.filePath(QStringLiteral("folder.sqlite"))},      // a folder in its place is never removed
        {dir.filePath(QStringLiteral("link.sqlite"))},        // nor what a symlink points to
        {dir.filePath(QStringLiteral("locked/index.sqlite"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        auto index = MetadataIndex::open(c.path);
        EXPECT_TRUE(index->isInMemory());
        EXPECT_FALSE(index->inMemoryReason().isEmpty());
        const auto stored = entries(3);
        ASSERT_FALSE(index->store(stored));
        EXPECT_EQ(index->lookup(keysOf(stored))[2], stored[2].metadata);
    }
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("video.mp4"))), QByteArray("precious family video"));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("folder.sqlite"))).isDir());
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// An index of the first version keeps its rows: each is dated again under the
// current rule from what it stored, the parsed container date, and written back.
TEST(MetadataIndex, AnOlderFileIsMigratedAndItsRowsDatedAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("index.sqlite"));
    ASSERT_TRUE(testing::runSql(
        path,
        "CREATE TABLE media (identifier TEXT PRIMARY KEY NOT NULL, device INTEGER NOT NULL,"
        " inode INTEGER NOT NULL, size_bytes INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, creation_date REAL,"
        " length_seconds REAL NOT NULL, pixel_width INTEGER NOT NULL, pixel_height INTEGER NOT NULL,"
        " is_screen_recording INTEGER NOT NULL, has_decodable_video INTEGER NOT NULL) WITHOUT ROWID;"
        "INSERT INTO media VALUES ('/v/tagged.mp4', 1, 2, 3, 4, 1614834367.25, 2.5, 640, 360, 0, 1);"
        "INSERT INTO media VALUES ('/v/untagged.mp4', 1, 3, 3, 4, NULL, 1.0, 320, 240, 1, 1);"
        "PRAGMA user_version = 1;"));
    std::vector<std::pair<ContainerDateTags, std::string>> seen;
    const DateRule rule{
        7, [&](const ContainerDateTags& tags, const IndexKey& key, IndexedMetadata& metadata) {
            seen.emplace_back(tags, key.identifier);
            metadata.creationDate = tags.creationTime.empty() ? 99 : 42;
            metadata.dateSource = tags.creationTime.empty() ? DateSource::fileName : DateSource::container;
        }};
    const std::vector<IndexKey> keys{{"/v/tagged.mp4", {1, 2, 3, 4}}, {"/v/untagged.mp4", {1, 3, 3, 4}}};
    for (int open = 0; open < 2; ++open) {
        SCOPED_TRACE(open == 0 ? "migrated" : "opened again");
        auto index = MetadataIndex::open(path, rule);
        ASSERT_FALSE(index->isInMemory()) << index->inMemoryReason().toStdString();
        const auto answers = index->lookup(keys);
        EXPECT_EQ(answers[0], (IndexedMetadata{42, 2.5, 640, 360, false, true, DateSource::container}));
        EXPECT_EQ(answers[1], (IndexedMetadata{99, 1.0, 320, 240, true, true, DateSource::fileName}));
        EXPECT_EQ(index->rebuildCount(), 0);
        // The later steps' tables are there too.
        const ContentDigests digests{StoredDigest{5}, std::nullopt, std::nullopt, std::nullopt};
        EXPECT_FALSE(index->storeContent(std::vector{std::pair{ContentFingerprint{1, 2, 3, 4, 5}, digests}}));
        EXPECT_EQ(index->lookupContent(std::vector{ContentFingerprint{1, 2, 3, 4, 5}})[0], digests);
    }
    // Dated once, on the first lookup, from the old date as a tag; the second open found it stored.
    using Seen = std::pair<ContainerDateTags, std::string>;
    EXPECT_EQ(seen, (std::vector<Seen>{{{"", "2021-03-04T05:06:07.250Z"}, "/v/tagged.mp4"},
                                       {{"", ""}, "/v/untagged.mp4"}}));
}

TEST(MetadataIndex, TwoProcessesShareOneFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("index.sqlite"));
    const auto stored = entries(400);
    std::string failures[2];
    {
        std::vector<std::jthread> writers;
        for (int w = 0; w < 2; ++w)
            writers.emplace_back([&, w] {
                auto index = MetadataIndex::open(path);
                if (index->isInMemory()) failures[w] = index->inMemoryReason().toStdString();
                for (std::size_t i = w; i < stored.size(); i += 2) {
                    if (auto error = index->store(std::span(&stored[i], 1)))
                        failures[w] = error->message().toStdString();
                    (void)index->lookup(std::span(&stored[i / 2].key, 1));
                }
            });
    }
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(failures[1], "");
    auto index = MetadataIndex::open(path);
    const auto answers = index->lookup(keysOf(stored));
    for (std::size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(answers[i], stored[i].metadata) << i;
    EXPECT_EQ(index->rebuildCount(), 0);
}

}  // namespace
}  // namespace reelkeep::store
