// path_id.cpp: byte-exact path identifiers and lossy display names.
#include "platform/folder/fs/path_id.h"

#include <QFile>

namespace reelkeep::fs {
namespace {

bool isUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

int upperHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// Sized first and written in place: a scan encodes every path it lists.
QByteArray percentEncodePath(const QByteArray& pathBytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    qsizetype encodedSize = 0;
    for (const char c : pathBytes) encodedSize += isUnreserved(c) ? 1 : 3;
    if (encodedSize == pathBytes.size()) return pathBytes;  // nothing to encode: shared, not copied
    QByteArray encoded(encodedSize, Qt::Uninitialized);
    char* out = encoded.data();
    for (const char c : pathBytes) {
        if (isUnreserved(c)) {
            *out++ = c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        *out++ = '%';
        *out++ = kHex[byte >> 4];
        *out++ = kHex[byte & 0xF];
    }
    return encoded;
}

std::optional<QByteArray> percentDecodePath(const QByteArray& encoded) {
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (isUnreserved(c)) {
            decoded.append(c);
            continue;
        }
        if (c != '%' || i + 2 >= encoded.size()) return std::nullopt;
        const int high = upperHexValue(encoded[i + 1]), low = upperHexValue(encoded[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const char byte = static_cast<char>(high * 16 + low);
        // Canonical form only: a safe byte written as %XX or a NUL would give a
        // second identifier for one path, or a path no file can have.
        if (byte == '\0' || isUnreserved(byte)) return std::nullopt;
        decoded.append(byte);
        i += 2;
    }
    return decoded;
}

QString identifierForPath(const QByteArray& absolutePathBytes) {
    return QString::fromLatin1(percentEncodePath(absolutePathBytes));
}

std::optional<QByteArray> pathForIdentifier(const QString& identifier) {
    for (const QChar c : identifier)
        if (c.unicode() > 0x7F) return std::nullopt;
    std::optional<QByteArray> path = percentDecodePath(identifier.toLatin1());
    if (!path || !path->startsWith('/')) return std::nullopt;
    return path;
}

QString displayName(const QByteArray& pathBytes) {
    const qsizetype slash = pathBytes.lastIndexOf('/');
    const QByteArray name = slash < 0 ? pathBytes : pathBytes.mid(slash + 1);
    return QFile::decodeName(name.isEmpty() ? pathBytes : name);
}

QString displayPath(const QByteArray& pathBytes) {
    return QFile::decodeName(pathBytes);
}

std::optional<SplitPath> splitPath(const QByteArray& absolutePathBytes) {
    const QByteArray path = cleanPath(absolutePathBytes);
    if (!path.startsWith('/') || path == "/") return std::nullopt;
    const qsizetype slash = path.lastIndexOf('/');
    return SplitPath{slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

QByteArray cleanPath(const QByteArray& pathBytes) {
    const bool isAbsolute = pathBytes.startsWith('/');
    QByteArray cleaned;
    for (const QByteArray& part : pathBytes.split('/')) {
        if (part.isEmpty() || part == ".") continue;
        if (!cleaned.isEmpty() || isAbsolute) cleaned.append('/');
        cleaned.append(part);
    }
    if (cleaned.isEmpty()) return isAbsolute ? QByteArray("/") : QByteArray(".");
    return cleaned;
}

bool isSameOrInside(const QByteArray& path, const QByteArray& ancestor) {
    if (path == ancestor) return true;
    if (ancestor == "/") return path.startsWith('/');
    return path.startsWith(ancestor) && path.size() > ancestor.size() && path[ancestor.size()] == '/';
}

}  // namespace reelkeep::fs
