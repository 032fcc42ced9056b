// command_line_test.cpp: the `reelkeep` executable as a shell runs it: handing
// the window's invocations to the window's executable, without a display, with
// standard output full, closed or broken, and with hostile values.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

enum class Output { pipe, full, closed, broken };

struct Ran {
    int status = -1;  // the exit code, or 128 + the signal that ended it
    QByteArray out;
    QByteArray err;
};

QByteArray readToEnd(int fd) {
    QByteArray bytes;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        bytes.append(chunk, n);
    }
    ::close(fd);
    return bytes;
}

// fork and exec without a shell; the child only calls async-signal-safe functions.
Ran run(const std::vector<std::string>& arguments, Output output, bool hasDisplay = true,
        const char* binary = REELKEEP_BINARY) {
    static const QTemporaryDir home;
    std::vector<std::string> environment{"HOME=" + home.path().toStdString(),
                                         "XDG_CACHE_HOME=" + home.path().toStdString() + "/cache",
                                         "XDG_DATA_HOME=" + home.path().toStdString() + "/data",
                                         "XDG_CONFIG_HOME=" + home.path().toStdString() + "/config",
                                         "LANG=C.UTF-8",
                                         "TZ=UTC"};
    if (hasDisplay) environment.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp, argv{const_cast<char*>(binary)};
    for (std::string& entry : environment) envp.push_back(entry.data());
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    envp.push_back(nullptr);
    argv.push_back(nullptr);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    if (output == Output::broken) {
        ::close(out[0]);  // no reader will ever come
        out[0] = -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (output == Output::full) {
            const int full = ::open("/dev/full", O_WRONLY);
            ::dup2(full, STDOUT_FILENO);
        } else if (output == Output::closed) {
            ::close(STDOUT_FILENO);
        } else {
            ::dup2(out[1], STDOUT_FILENO);
        }
        ::dup2(err[1], STDERR_FILENO);
        ::signal(SIGPIPE, SIG_IGN);  // kept across exec: a broken pipe is then EPIPE, not death
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    Ran ran;
    if (out[0] >= 0) ran.out = readToEnd(out[0]);
    ran.err = readToEnd(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return ran;
}

TEST(CommandLine, AnswersHelpAndVersionWithoutADisplay) {
    const Ran version = run({"--version"}, Output::pipe, false);
    EXPECT_EQ(version.status, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.startsWith("Reelkeep ")) << version.out.toStdString();

    const Ran help = run({"--help"}, Output::pipe, false);
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("--library")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("reelkeep scan --help"));
    for (const char* hidden : {"--screenshot", "--demo-clip"})
        EXPECT_FALSE(help.out.contains(hidden)) << hidden;

    const Ran scanHelp = run({"scan", "--help"}, Output::pipe, false);
    EXPECT_EQ(scanHelp.status, 0);
    EXPECT_TRUE(scanHelp.out.contains("date-newest")) << scanHelp.out.toStdString();
}

// A hard link keeps /proc/self/exe at the linked name, as an installed copy would.
bool placeExecutable(const char* built, const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).path())) return false;
    return ::link(built, QFile::encodeName(path).constData()) == 0 ||
           (QFile::copy(QString::fromUtf8(built), path) &&
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
}

// The window is found from where `reelkeep` itself lies, in an installed tree
// moved anywhere; without it, one line says so and nothing else runs.
TEST(CommandLine, HandsTheWindowToItsExecutableInAMovedInstall) {
    // In the build folder: hard links need the built files' file system.
    const QTemporaryDir tree(QStringLiteral(REELKEEP_TEST_SCRATCH "/installed-XXXXXX"));
    ASSERT_TRUE(tree.isValid());
    const QString command = tree.filePath(QStringLiteral("bin/reelkeep"));
    const QString window =
        QDir::cleanPath(tree.filePath(QStringLiteral("bin/" REELKEEP_WINDOW_FROM_COMMAND)) +
                        QStringLiteral("/reelkeep-window"));
    ASSERT_TRUE(placeExecutable(REELKEEP_BINARY, command));
    ASSERT_TRUE(placeExecutable(REELKEEP_WINDOW_BINARY, window));
    const QByteArray commandPath = QFile::encodeName(command);

    const Ran installed = run({"--version"}, Output::pipe, false, commandPath.constData());
    EXPECT_EQ(installed.status, 0) << installed.err.toStdString();
    EXPECT_TRUE(installed.out.startsWith("Reelkeep ")) << installed.out.toStdString();

    ASSERT_TRUE(QFile::remove(window));
    const Ran missing = run({"--library", "/tmp"}, Output::pipe, false, commandPath.constData());
    EXPECT_EQ(missing.status, 127);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("reelkeep-window")) << missing.err.toStdString();
    EXPECT_EQ(missing.err.count('\n'), 1) << missing.err.toStdString();
}

TEST(CommandLine, ReportsOutputThatWasNotWritten) {
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        Output output;
        int status;
    } cases[] = {
        {"json, written", {"scan", "--demo", "3", "--json"}, Output::pipe, 0},
        {"json to a full disk", {"scan", "--demo", "3", "--json"}, Output::full, 5},
        {"table to a full disk", {"scan", "--demo", "3"}, Output::full, 5},
        {"closed standard output", {"scan", "--demo", "3", "--json"}, Output::closed, 5},
        {"no reader, SIGPIPE ignored", {"scan", "--demo", "3"}, Output::broken, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Ran ran = run(c.arguments, c.output);
        EXPECT_EQ(ran.status, c.status) << ran.err.toStdString();
        if (c.status == 0) {
            const QJsonObject root = QJsonDocument::fromJson(ran.out).object();
            EXPECT_EQ(root["summary"].toObject()["total_count"].toInt(), 3);
        } else {
            EXPECT_TRUE(ran.err.contains("could not be written")) << ran.err.toStdString();
        }
    }
}

// Names a shell or an editor would choke on, each a real file: the JSON must
// parse strictly, give every name back, and be the same from the index.
// (Escaping and the pretty layout: scan_report_test.)
TEST(CommandLine, ScanJsonCarriesHostileNamesAndRepeatsOnRescan) {
    const QTemporaryDir library;
    ASSERT_TRUE(library.isValid());
    const QByteArray names[] = {"quote\"back\\slash\nline\x01\x1f.mp4", "sep\xe2\x80\xa8par\xe2\x80\xa9.mov",
                                "smile \xf0\x9f\x98\x80.mkv", "latin1 caf\xe9\xff.mp4"};
    QSet<QByteArray> expected;
    for (const QByteArray& name : names) {
        const QByteArray path = QFile::encodeName(library.path()) + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              0644);  // its bytes, not a decoding
        ASSERT_GE(fd, 0) << name.toStdString();
        EXPECT_EQ(::write(fd, "not a video", 11), 11);
        ::close(fd);
        expected.insert(path);
    }
    // A sparse file takes less than its length on disk, on the first scan and the next.
    const QByteArray sparse = QFile::encodeName(library.path()) + "/sparse.mp4";
    const int sparseFd = ::open(sparse.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(sparseFd, 0);
    ASSERT_EQ(::ftruncate(sparseFd, off_t{64} << 20), 0);
    ::close(sparseFd);
    expected.insert(sparse);
    const std::string folder = library.path().toStdString();
    const Ran first = run({"scan", "--library", folder, "--json"}, Output::pipe);
    // The timings go to stderr alone: the list is the same byte for byte.
    const Ran again = run({"scan", "--library", folder, "--json", "--timings"}, Output::pipe);
    for (const Ran* ran : {&first, &again}) ASSERT_EQ(ran->status, 0) << ran->err.toStdString();
    EXPECT_EQ(first.out, again.out);
    EXPECT_TRUE(again.err.contains("walk + index")) << again.err.toStdString();

    QJsonParseError error;
    const QJsonDocument compact = QJsonDocument::fromJson(first.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " at " << error.offset;
    QSet<QByteArray> listed;
    for (const QJsonValue video : compact["videos"].toArray()) {
        const QJsonObject object = video.toObject();
        if (object["name"].toString() == "sparse.mp4")
            EXPECT_LT(object["allocated_bytes"].toInteger(), object["bytes"].toInteger());
        else
            EXPECT_TRUE(object["allocated_bytes"].isDouble());
        listed.insert(object.contains("path_bytes")
                          ? QByteArray::fromBase64(object["path_bytes"].toString().toLatin1())
                          : object["path"].toString().toUtf8());
    }
    EXPECT_EQ(listed, expected);
}

// argv is bytes: a folder named in Latin-1 is scanned as given, and a folder
// that cannot be scanned is named without what a terminal would obey.
TEST(CommandLine, LibraryFoldersKeepTheirBytesAndSkippedOnesAreNamedSafely) {
    const QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QByteArray folder = QFile::encodeName(base.path()) + "/caf\xe9";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const int fd = ::open((folder + "/clip.mp4").constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string missing = base.path().toStdString() + "/\x1b]0;owned\x07\x1b[2Jgone";

    const Ran ran =
        run({"scan", "--library", folder.toStdString(), "--library=" + missing, "--json"}, Output::pipe);
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    const QJsonArray videos = QJsonDocument::fromJson(ran.out)["videos"].toArray();
    ASSERT_EQ(videos.size(), 1) << ran.out.toStdString();
    EXPECT_EQ(QByteArray::fromBase64(videos[0]["path_bytes"].toString().toLatin1()), folder + "/clip.mp4");
    EXPECT_TRUE(ran.err.contains("gone")) << ran.err.toStdString();
    EXPECT_FALSE(ran.err.contains('\x1b')) << ran.err.toStdString();
}

TEST(CommandLine, RefusesBadValuesAndEscapesThemInMessages) {
    const struct {
        std::vector<std::string> arguments;
    } cases[] = {
        {{"scan", "--library", ""}},
        {{"--library", ""}},
        {{"scan", "--demo", "1000001"}},
        {{"scan", "--demo", "-1"}},
        {{"scan", "--sort", "\x1b]0;owned\x07\x1b[2J"}},
        {{"scan", "--min-size", "\x1b[2J"}},
    };
    for (const auto& c : cases) {
        const Ran ran = run(c.arguments, Output::pipe);
        EXPECT_EQ(ran.status, 2) << c.arguments.back() << ran.err.toStdString();
        EXPECT_FALSE(ran.err.contains('\x1b')) << ran.err.toStdString();
        EXPECT_TRUE(ran.out.isEmpty());
    }
}

}  // namespace
