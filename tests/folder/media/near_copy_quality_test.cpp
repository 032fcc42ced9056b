// near_copy_quality_test.cpp: the small generated corpus (scripts/make-similar-corpus
// --small), fingerprinted as the workers do and grouped by the matcher, comes
// out as its truth says: each source with all of its copies (smaller, HEVC,
// re-wrapped, with a logo, stored sideways, 4K) in one set, and no unrelated
// clip or common-intro clip in any.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>
#include <set>

#include "media_fixtures.h"
#include "platform/folder/media/visual_fingerprint.h"

namespace reelkeep::media {
namespace {

using testing::MediaFixtures;
using testing::OpenFile;
using PathSets = std::set<std::set<QString>>;

TEST(NearCopyQuality, TheSmallCorpusIsGroupedAsItsTruthSays) {
    for (const char* encoder : {"libx264", "libx265"})
        if (!MediaFixtures::canEncode(encoder, QStringLiteral("the near-copy corpus")))
            GTEST_SKIP() << "this ffmpeg has no " << encoder;
    QTemporaryDir corpus;
    ASSERT_TRUE(corpus.isValid());
    QProcess make;
    make.start(QStringLiteral(REELKEEP_SIMILAR_CORPUS), {corpus.path(), QStringLiteral("--small")});
    ASSERT_TRUE(make.waitForFinished(120'000)) << "the corpus took over two minutes";
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();

    QFile truthFile(corpus.filePath(QStringLiteral("truth.tsv")));
    ASSERT_TRUE(truthFile.open(QIODevice::ReadOnly | QIODevice::Text));
    std::map<QString, std::set<QString>> pathsBySet;
    std::vector<QString> paths;
    std::vector<VisualFingerprint> fingerprints;
    truthFile.readLine();  // the header
    while (!truthFile.atEnd()) {
        const QStringList fields = QString::fromUtf8(truthFile.readLine()).trimmed().split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 3);
        OpenFile file(corpus.filePath(fields[0]));
        const auto fingerprint = fingerprintVideo(file.fd());
        ASSERT_TRUE(fingerprint) << fields[0].toStdString() << ": "
                                 << fingerprint.error().message().toStdString();
        pathsBySet[fields[1]].insert(fields[0]);
        paths.push_back(fields[0]);
        fingerprints.push_back(fingerprint.value());
    }
    ASSERT_GE(paths.size(), 20u);

    PathSets expected, found;
    for (const auto& [set, members] : pathsBySet)
        if (members.size() > 1) expected.insert(members);
    for (const std::vector<std::size_t>& group : nearCopyGroups(fingerprints)) {
        std::set<QString> members;
        for (const std::size_t position : group) members.insert(paths[position]);
        found.insert(members);
    }
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace reelkeep::media
