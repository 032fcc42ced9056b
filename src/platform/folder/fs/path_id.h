// path_id.h: identifiers and display names for file paths.
// A path is bytes, not text: the identifier encodes those bytes reversibly
// (names that are not UTF-8 round-trip exactly); QString is for display only.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace reelkeep::fs {

// Percent-encodes every byte outside [A-Za-z0-9-._~/] as %XX (upper-case hex),
// so the result is printable ASCII and an RFC 2396 path as the trash needs it.
QByteArray percentEncodePath(const QByteArray& pathBytes);
// Strict inverse of percentEncodePath: anything it would not have produced
// (lower-case hex, a stray '%', an encoded safe byte, a NUL) gives nullopt, so
// one path has exactly one identifier.
std::optional<QByteArray> percentDecodePath(const QByteArray& encoded);

// The identifier of an absolute path; equal paths give equal identifiers.
QString identifierForPath(const QByteArray& absolutePathBytes);
// nullopt for anything that is not an identifier of an absolute path.
std::optional<QByteArray> pathForIdentifier(const QString& identifier);

// The last component as text. Lossy (invalid UTF-8 becomes U+FFFD): never use it
// to reach the file again.
QString displayName(const QByteArray& pathBytes);
// The whole path as text, equally lossy.
QString displayPath(const QByteArray& pathBytes);

// The path's parent and last component: "/a/b" gives "/a" and "b", "/b" gives "/" and "b".
struct SplitPath {
    QByteArray parent;
    QByteArray name;
};
std::optional<SplitPath> splitPath(const QByteArray& absolutePathBytes);

// Removes "." and empty components and a trailing '/'; keeps "..", which only the
// file system can resolve. Relative input stays relative.
QByteArray cleanPath(const QByteArray& pathBytes);
// True when `path` is `ancestor` or lies below it (component-wise, both clean).
bool isSameOrInside(const QByteArray& path, const QByteArray& ancestor);

}  // namespace reelkeep::fs
