// path_id_test.cpp: identifiers round-trip every byte; display is lossy only;
// every error names its file in one sentence.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/folder/fs/io_error.h"
#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

TEST(PathIdentifier, RoundTripsEveryPathExactlyInPrintableAscii) {
    const QByteArray allBytes = [] {
        QByteArray bytes = "/";
        for (int byte = 1; byte < 256; ++byte) bytes.append(static_cast<char>(byte));
        return bytes;
    }();
    const QByteArray paths[] = {
        "/home/ann/Videos/clip.mp4",
        "/home/ann/Videos/name\nwith newline.mp4",
        "/home/ann/Videos/<b>html</b>.mp4",
        "/home/ann/Videos/bad \xff\xfe utf8.mp4",
        "/home/ann/Videos/" + QByteArray(251, 'x') + ".mp4",
        "/home/ann/Videos/100% done + spaces #1?.mov",
        "/home/ann/Vidéos/été 日本.mkv",
        "/",
        allBytes,
    };
    for (const QByteArray& path : paths) {
        const QString identifier = identifierForPath(path);
        for (const QChar c : identifier)
            EXPECT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7F) << identifier.toStdString();
        EXPECT_EQ(pathForIdentifier(identifier), path) << identifier.toStdString();
    }
}

TEST(PathIdentifier, RejectsEverythingItWouldNotHaveProduced) {
    const QString notIdentifiers[] = {
        u"/a/%2f"_qs,  // lower-case hex: a second spelling of one path
        u"/a/%41"_qs,  // an encoded safe byte, likewise
        u"/a/%2F"_qs,  // an encoded '/', likewise
        u"/a/%"_qs,
        u"/a/%4"_qs,
        u"/a/%G1"_qs,
        u"/a/%00"_qs,  // no file name holds a NUL
        u"relative/clip.mp4"_qs,
        u""_qs,
        u"/a/b c"_qs,  // a raw space is never produced
        u"/a/é"_qs,    // non-ASCII
    };
    for (const QString& identifier : notIdentifiers)
        EXPECT_EQ(pathForIdentifier(identifier), std::nullopt) << identifier.toStdString();
}

TEST(PathText, DisplayIsLossyButSplitAndCleanAreExact) {
    EXPECT_EQ(displayName("/v/clip.mp4"), u"clip.mp4"_qs);
    EXPECT_EQ(displayName("/v/<b>html</b>.mp4"), u"b>.mp4"_qs);  // '/' always separates
    EXPECT_TRUE(displayName("/v/bad \xff.mp4").contains(QChar::ReplacementCharacter));

    struct Case {
        QByteArray path;
        QByteArray clean;
        std::optional<QByteArray> parent;
    };
    const Case cases[] = {
        {"/a/b/", "/a/b", "/a"},  {"//a//./b", "/a/b", "/a"},      {"/b", "/b", "/"},
        {"/", "/", std::nullopt}, {"/a/../b", "/a/../b", "/a/.."}, {"rel/x", "rel/x", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cleanPath(c.path), c.clean) << c.path.toStdString();
        const std::optional<SplitPath> split = splitPath(c.path);
        EXPECT_EQ(split ? std::optional{split->parent} : std::nullopt, c.parent) << c.path.toStdString();
    }

    EXPECT_TRUE(isSameOrInside("/a/b", "/a"));
    EXPECT_TRUE(isSameOrInside("/a", "/a"));
    EXPECT_TRUE(isSameOrInside("/a", "/"));
    EXPECT_FALSE(isSameOrInside("/ab", "/a"));
    EXPECT_FALSE(isSameOrInside("/a", "/a/b"));
}

TEST(IoErrorMessage, EveryKindNamesTheFileInOneSentence) {
    const QByteArray path = "/v/bad \xff name.mp4";
    const IoErrorKind kinds[] = {
        IoErrorKind::system,        IoErrorKind::changed,      IoErrorKind::notRegularFile,
        IoErrorKind::alreadyExists, IoErrorKind::sameFile,     IoErrorKind::crossDevice,
        IoErrorKind::noTrash,       IoErrorKind::sizeMismatch, IoErrorKind::stopped};
    for (const IoErrorKind kind : kinds) {
        const IoError error = kind == IoErrorKind::sizeMismatch
                                  ? IoError::sizeMismatch(path, 10, 4097)
                                  : IoError::of(kind, IoOperation::write, path, ENOSPC);
        EXPECT_EQ(error.path(), path);  // bytes stay exact
        EXPECT_TRUE(error.message().contains(u"bad \uFFFD name.mp4"_qs)) << error.message().toStdString();
    }
    const IoError full = IoError::fromErrorNumber(IoOperation::write, "/v/out.mp4", ENOSPC);
    EXPECT_EQ(full.message(), u"Could not write “/v/out.mp4”: No space left on device."_qs);
    EXPECT_TRUE(IoError::sizeMismatch("/v/x", 10, 4097).message().contains(u"4,097"_qs));
}

}  // namespace
}  // namespace reelkeep::fs
