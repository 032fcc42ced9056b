// duplicates_command_test.cpp: `reelkeep duplicates` and `reelkeep scan --json`
// as a user runs them: the real executable on real files, with its own cache,
// config and trash folders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <set>

namespace {

struct CommandRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class DuplicatesCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        library = m_home.filePath(QStringLiteral("Videos"));
        ASSERT_TRUE(QDir().mkpath(library));
        ASSERT_TRUE(QDir().mkpath(m_home.filePath(QStringLiteral("elsewhere"))));
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = library + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    CommandRun run(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.insert(QLatin1String(name), m_home.filePath(QLatin1String(name)));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(REELKEEP_BINARY), arguments);
        process.closeWriteChannel();  // stdin is no terminal
        EXPECT_TRUE(process.waitForFinished(60'000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QTemporaryDir m_home;
    QString library;
};

QByteArray bytes(int size, char seed) {
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) data[i] = char((i * 131 + seed) % 251);
    return data;
}

// Sets of file names, each set sorted: comparable whatever order a tool prints.
using NameSets = std::set<std::set<QString>>;

NameSets setsOfJson(const QString& json) {
    NameSets sets;
    for (const QJsonValue set : QJsonDocument::fromJson(json.toUtf8())["identical_sets"].toArray()) {
        std::set<QString> names;
        for (const QJsonValue member : set["members"].toArray())
            names.insert(QFileInfo(member["path"].toString()).fileName());
        sets.insert(names);
    }
    return sets;
}

}  // namespace

TEST_F(DuplicatesCommandTest, ListsVerifiedSetsTheKeptCopyAndWhy) {
    const QByteArray original = bytes(300'000, 1);
    QByteArray middle = original;
    middle[150'000] = 'x';
    // One date for all three: the name decides.
    for (const char* name : {"VID_1200.mp4", "VID_1200 (1).mp4", "VID_1200 copy.mp4"}) {
        QFile file(write(QString::fromLatin1(name), original));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(1'600'000'000),
                                     QFileDevice::FileModificationTime));
    }
    write(QStringLiteral("other.mp4"), middle);  // same size, one byte apart
    write(QStringLiteral("lone.mp4"), bytes(1000, 2));
    const QString outside = m_home.filePath(QStringLiteral("elsewhere/linked.mp4"));
    ASSERT_EQ(::link(QFile::encodeName(library + "/VID_1200 copy.mp4").constData(),
                     QFile::encodeName(outside).constData()),
              0);

    const CommandRun listed = run({"duplicates", "--library", library, "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(setsOfJson(listed.out), (NameSets{{"VID_1200.mp4", "VID_1200 (1).mp4", "VID_1200 copy.mp4"}}));
    const QJsonObject set = QJsonDocument::fromJson(listed.out.toUtf8())["identical_sets"][0].toObject();
    EXPECT_EQ(set["keep_reason"].toString(), "noCopySuffix");
    EXPECT_EQ(QFileInfo(set["members"][0]["path"].toString()).fileName(), "VID_1200.mp4");
    EXPECT_TRUE(set["members"][0]["kept"].toBool());
    // The hard-linked copy frees nothing: one extra copy's bytes are reclaimable.
    EXPECT_EQ(QJsonDocument::fromJson(listed.out.toUtf8())["reclaimable_bytes"].toInteger(), 300'000);

    const CommandRun scanned = run({"scan", "--library", library, "--json"});
    ASSERT_EQ(scanned.exitCode, 0) << scanned.err.toStdString();
    QHash<QString, QJsonObject> byName;
    for (const QJsonValue video : QJsonDocument::fromJson(scanned.out.toUtf8())["videos"].toArray())
        byName.insert(video["name"].toString(), video.toObject());
    EXPECT_EQ(byName["VID_1200.mp4"]["identical_group"], byName["VID_1200 (1).mp4"]["identical_group"]);
    EXPECT_TRUE(byName["VID_1200.mp4"]["identical_group"].isDouble());
    EXPECT_TRUE(byName["other.mp4"]["identical_group"].isNull());
    EXPECT_EQ(byName["VID_1200 copy.mp4"]["hard_links_outside"].toInt(), 1);
    EXPECT_EQ(byName["VID_1200.mp4"]["hard_links_outside"].toInt(), 0);
}

TEST_F(DuplicatesCommandTest, TrashesExtraCopiesOnlyWhenToldAndSaysWhatMoved) {
    const QByteArray original = bytes(200'000, 3);
    const QString kept = write(QStringLiteral("clip.mp4"), original);
    const QString extra = write(QStringLiteral("clip-1.mp4"), original);
    QByteArray end = original;
    end[199'999] = 'y';
    const QString sameSize = write(QStringLiteral("another.mp4"), end);

    const CommandRun dryRun = run({"duplicates", "--library", library, "--trash-extra-copies", "--dry-run"});
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    EXPECT_TRUE(dryRun.out.contains(QStringLiteral("clip-1.mp4")));
    // The catalogue is loaded: English plural forms, not "(s)".
    EXPECT_TRUE(dryRun.out.contains(QStringLiteral("Identical copies: 2 videos in 1 set;")))
        << dryRun.out.toStdString();
    EXPECT_TRUE(QFile::exists(extra));

    const CommandRun refused = run({"duplicates", "--library", library, "--trash-extra-copies"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--yes")));
    EXPECT_TRUE(QFile::exists(extra));

    EXPECT_EQ(run({"duplicates", "--library", library, "--yes"}).exitCode,
              2);  // --yes alone is a usage error

    const CommandRun moved = run({"duplicates", "--library", library, "--trash-extra-copies", "--yes"});
    EXPECT_EQ(moved.exitCode, 0) << moved.err.toStdString();
    EXPECT_FALSE(QFile::exists(extra));
    EXPECT_TRUE(QFile::exists(kept));
    EXPECT_TRUE(QFile::exists(sameSize));
    const QString trashed = m_home.filePath(QStringLiteral("XDG_DATA_HOME/Trash/files/clip-1.mp4"));
    EXPECT_TRUE(QFile::exists(trashed));
    EXPECT_TRUE(moved.out.contains(QStringLiteral("-> ") + trashed)) << moved.out.toStdString();
}

TEST_F(DuplicatesCommandTest, FindsTheSameSetsAsJdupes) {
    const QString jdupes = QStandardPaths::findExecutable(QStringLiteral("jdupes"));
    if (jdupes.isEmpty()) GTEST_SKIP() << "jdupes is not installed";
    for (int i = 0; i < 24; ++i) {  // twelve pairs: (size, seed) repeats every 12
        const QByteArray content = bytes(70'000 + (i % 3) * 10, char(i % 4));
        write(QStringLiteral("file %1.mp4").arg(i), content);
    }
    write(QStringLiteral("head.mp4"), QByteArray("z") + bytes(70'000, 0).mid(1));
    const CommandRun ours = run({"duplicates", "--library", library, "--json"});
    ASSERT_EQ(ours.exitCode, 0) << ours.err.toStdString();

    QProcess peer;
    peer.start(jdupes, {QStringLiteral("-r"), QStringLiteral("-q"), library});
    ASSERT_TRUE(peer.waitForFinished(60'000));
    NameSets theirs;
    std::set<QString> current;
    for (const QString& line : QString::fromUtf8(peer.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.isEmpty()) {
            if (!current.empty()) theirs.insert(current);
            current.clear();
        } else {
            current.insert(QFileInfo(line).fileName());
        }
    }
    if (!current.empty()) theirs.insert(current);
    EXPECT_FALSE(theirs.empty());
    EXPECT_EQ(setsOfJson(ours.out), theirs);
}
