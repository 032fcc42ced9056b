// similar_command_test.cpp: `reelkeep duplicates --similar` run in process on a
// simulated library, so that a video that cannot be decoded or a file that
// refuses to move is scripted rather than hoped for.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "app/duplicates_command.h"
#include "platform/simulated/simulated_library.h"

namespace reelkeep {
namespace {

SimulatedAsset video(const char* id, std::int64_t bytes, std::int64_t width, const char* look) {
    SimulatedAsset asset;
    asset.localIdentifier = QString::fromLatin1(id);
    asset.creationDate = 1.7e9;
    asset.duration = 10;
    asset.pixelWidth = width;
    asset.pixelHeight = width * 9 / 16;
    asset.visualTag = QString::fromLatin1(look);
    const QString name = asset.localIdentifier + QStringLiteral(".mp4");
    asset.resources = {SimulatedResource{int(ResourceType::video), name, bytes}};
    asset.withFastFilename(name).withFastSize(bytes);
    return asset;
}

struct CommandRun {
    int exitCode = -1;
    QString out;
    QString err;
    bool isLibraryOpened = false;
    QString outAtQuestion;  // what the reader had seen when asked
};

QString readAll(int fd) {
    QByteArray bytes;
    ::lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return QString::fromUtf8(bytes);
}

class SimilarCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimulatedAsset favorite = video("fav", 50, 1280, "beach");
        favorite.isFavorite = true;
        library->addAssets({video("small", 100, 1920, "beach"), video("big", 400, 3840, "beach"), favorite,
                            video("dog2", 20, 1920, "dog"), video("dog1", 30, 1920, "dog"),
                            video("lone", 70, 1920, ""), video("broken", 60, 1920, "beach")});
        library->setSimilarityScript({{QStringLiteral("broken")}, false});
    }

    // `answer`: what a person types at the question; nothing: no terminal.
    CommandRun run(const QStringList& arguments, std::optional<bool> answer = std::nullopt) {
        CommandRun result;
        const int out = ::memfd_create("out", MFD_CLOEXEC);
        FILE* err = std::tmpfile();
        const CommandStreams streams{out, err,
                                     [&result, out, answer](const QString&) {
                                         result.outAtQuestion = readAll(out);
                                         return answer;
                                     },
                                     [&](const LibraryRequest&) {
                                         result.isLibraryOpened = true;
                                         return library->ports();
                                     }};
        result.exitCode = runDuplicates(QStringList{"reelkeep", "duplicates"} + arguments, streams);
        result.out = readAll(out);
        std::fflush(err);
        result.err = readAll(::fileno(err));
        ::close(out);
        std::fclose(err);
        return result;
    }

    QStringList remaining() const {
        QStringList ids;
        for (const char* id : {"big", "small", "fav", "dog1", "dog2", "lone", "broken"})
            if (library->asset(QString::fromLatin1(id))) ids << QString::fromLatin1(id);
        return ids;
    }

    std::shared_ptr<SimulatedLibrary> library = SimulatedLibrary::create();
};

TEST_F(SimilarCommandTest, ListsEachSetBestFirstWithWhyAndNamesWhatCouldNotBeCompared) {
    const CommandRun listed = run({"--similar", "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.err.contains(QStringLiteral("could not be compared: broken")))
        << listed.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(listed.out.toUtf8()).object();
    const QJsonArray sets = json["similar_sets"].toArray();
    ASSERT_EQ(sets.size(), 2) << listed.out.toStdString();
    struct Expected {
        const char* id;
        bool isBest;
        const char* reason;  // the best's only
        qint64 width, bitrate;
    };
    const std::vector<std::vector<Expected>> expected{
        {{"big", true, "resolution", 3840, 320},
         {"small", false, nullptr, 1920, 80},
         {"fav", false, nullptr, 1280, 40}},
        {{"dog1", true, "bitrate", 1920, 24}, {"dog2", false, nullptr, 1920, 16}},
    };
    for (std::size_t s = 0; s < expected.size(); ++s) {
        const QJsonArray members = sets[qsizetype(s)]["members"].toArray();
        ASSERT_EQ(members.size(), qsizetype(expected[s].size()));
        for (std::size_t i = 0; i < expected[s].size(); ++i) {
            const QJsonObject member = members[qsizetype(i)].toObject();
            const Expected& want = expected[s][i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(member["path"].toString(), QString::fromLatin1(want.id));
            EXPECT_EQ(member["best"].toBool(), want.isBest);
            EXPECT_EQ(member["reason"], want.reason ? QJsonValue(want.reason) : QJsonValue());
            EXPECT_EQ(member["width"].toInteger(), want.width);
            EXPECT_EQ(member["height"].toInteger(), want.width * 9 / 16);
            EXPECT_EQ(member["bitrate"].toInteger(), want.bitrate);  // bytes × 8 / 10 s
        }
    }
    EXPECT_EQ(sets[0]["reclaimable_bytes"].toInteger(), 100);  // the favorite stays
    EXPECT_EQ(json["summary"]["sets"].toInt(), 2);
    EXPECT_EQ(json["summary"]["reclaimable_bytes"].toInteger(), 120);
    EXPECT_EQ(json["not_compared"][0]["path"].toString(), "broken");

    const CommandRun text = run({"--similar"});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.contains(QStringLiteral("3840×2160"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("(highest resolution)")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("(highest bitrate)")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("[favorite: kept]")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("Near copies: 5 videos in 2 sets; reclaimable: 120 bytes")))
        << text.out.toStdString();

    // Nothing decoded: an empty list would claim there are no near copies.
    library->setSimilarityScript({{"big", "small", "fav", "dog1", "dog2", "lone", "broken"}, false});
    const CommandRun unread = run({"--similar"});
    EXPECT_EQ(unread.exitCode, 4);
    EXPECT_TRUE(unread.err.contains(QStringLiteral("No video could be compared.")));
}

TEST_F(SimilarCommandTest, TrashesLesserVersionsOnlyWhenToldAndSaysWhatDidNotMove) {
    struct Case {
        const char* name;
        QStringList arguments;
        std::optional<bool> answer;
        bool isDenied;  // "dog2" refuses to move
        int exitCode;
        QStringList remaining;
        const char* err;
    };
    const QStringList all{"big", "small", "fav", "dog1", "dog2", "lone", "broken"};
    const QStringList kept{"big", "fav", "dog1", "lone", "broken"};
    const std::vector<Case> cases{
        {"dry run", {"--dry-run"}, std::nullopt, false, 0, all, ""},
        {"no terminal, no --yes", {}, std::nullopt, false, 2, all, "without --yes"},
        {"declined", {}, false, false, 1, all, "Nothing moved."},
        {"confirmed", {}, true, false, 0, kept, ""},
        {"--yes", {"--yes"}, std::nullopt, false, 0, kept, ""},
        {"one refuses",
         {"--yes"},
         std::nullopt,
         true,
         6,
         {"big", "fav", "dog1", "dog2", "lone", "broken"},
         "not moved"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        library->clear();
        SetUp();
        DeletionScript deletion;
        if (c.isDenied)
            deletion.itemErrors.insert(QStringLiteral("dog2"),
                                       PlatformError{QStringLiteral("Reelkeep"), 1, {}});
        library->setDeletionScript(deletion);
        const CommandRun result =
            run(QStringList{"--similar", "--trash-lesser-versions"} + c.arguments, c.answer);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_EQ(remaining(), c.remaining);
        EXPECT_TRUE(result.err.contains(QString::fromLatin1(c.err))) << result.err.toStdString();
        // What goes is printed first, whatever happens then; never a best version or a favorite.
        EXPECT_TRUE(result.out.contains(QStringLiteral("Lesser versions to move to the Trash: 2")))
            << result.out.toStdString();
        if (c.answer) {
            EXPECT_TRUE(result.outAtQuestion.endsWith(QStringLiteral("\n  small\n")));
        }
        for (const char* id : {"\n  small\n", "\n  dog2\n"})
            EXPECT_TRUE(result.out.contains(QLatin1String(id)));
        for (const char* id : {"\n  big\n", "\n  fav\n", "\n  dog1\n"})
            EXPECT_FALSE(result.out.contains(QLatin1String(id)));
    }
}

TEST_F(SimilarCommandTest, NonsenseCombinationsAreUsageErrorsBeforeAnythingIsRead) {
    const std::vector<QStringList> cases{
        {"--trash-lesser-versions"},
        {"--trash-lesser-versions", "--yes"},
        {"--similar", "--same-size-only"},
        {"--similar", "--trash-extra-copies"},
        {"--similar", "--yes"},
        {"--similar", "--dry-run"},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_FALSE(result.isLibraryOpened);
        EXPECT_TRUE(result.err.contains(QStringLiteral("Try 'reelkeep duplicates --help'.")));
    }
}

}  // namespace
}  // namespace reelkeep
