// thumbnail_disk_cache.cpp: PNGs with Thumb:: text chunks, private (0700 folders,
// 0600 files), written to a temporary name in the target folder and renamed.
// No fsync: a picture lost to a crash is a cache miss, and a damaged PNG fails
// to load and is made again.
#include "thumbnail_disk_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImageWriter>
#include <QMap>
#include <QStandardPaths>

#include <cerrno>
#include <optional>
#include <utility>

namespace reelkeep::media {

namespace {

constexpr char kUriKey[] = "Thumb::URI";
constexpr char kMTimeKey[] = "Thumb::MTime";
constexpr char kSizeKey[] = "Thumb::Size";

// GLib's unreserved set for the path of a file URI (its UNSAFE_PATH table).
bool isKeptInPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case '=':
        case ':':
        case '@':
        case '/':
            return true;
        default:
            return false;
    }
}

QString flavorFolder(ThumbnailFlavor flavor) {
    switch (flavor) {
        case ThumbnailFlavor::normal:
            return QStringLiteral("normal");
        case ThumbnailFlavor::large:
            return QStringLiteral("large");
    }
    return QStringLiteral("normal");
}

bool makePrivateFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    for (qsizetype end = 1; end <= native.size(); ++end) {
        if (end < native.size() && native[end] != '/') continue;
        if (::mkdir(native.left(end).constData(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A thumbnail is a few KiB; anything huge at our name is not one of ours.
constexpr qint64 kMaxThumbnailBytes = 16 * 1024 * 1024;

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxThumbnailBytes) return {};
    return file.read(kMaxThumbnailBytes);
}

// The text chunks agree with the file as it is now. Thumb::Size is optional, but
// when present it must match: a file replaced within the second keeps its mtime.
bool describes(const QByteArray& png, const ThumbnailSubject& subject) {
    const QMap<QByteArray, QByteArray> texts = thumbnailTexts(png);
    const QByteArray size = texts.value(kSizeKey);
    return texts.value(kUriKey) == fileUri(subject.absolutePath) &&
           texts.value(kMTimeKey) == QByteArray::number(subject.mtimeSeconds) &&
           (size.isEmpty() || size == QByteArray::number(subject.sizeBytes));
}

using TextChunks = QList<std::pair<QByteArray, QByteArray>>;

TextChunks labelsFor(const ThumbnailSubject& subject) {
    return {{kUriKey, fileUri(subject.absolutePath)},
            {kMTimeKey, QByteArray::number(subject.mtimeSeconds)},
            {kSizeKey, QByteArray::number(subject.sizeBytes)},
            {"Software", "Reelkeep"}};
}

void appendBigEndian(QByteArray& out, quint32 value) {
    out += char(value >> 24);
    out += char(value >> 16);
    out += char(value >> 8);
    out += char(value);
}

quint32 bigEndianAt(const QByteArray& bytes, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

QByteArray chunk(const QByteArray& type, const QByteArray& body) {
    QByteArray out;
    appendBigEndian(out, quint32(body.size()));
    const QByteArray typed = type + body;
    out += typed;
    appendBigEndian(
        out, quint32(::crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
    return out;
}

constexpr qsizetype kSignatureBytes = 8;
// Signature, then IHDR: 4 length, 4 type, 13 body, 4 CRC.
constexpr qsizetype kAfterHeader = kSignatureBytes + 25;

// Qt writes a text over 40 characters as a compressed zTXt, and GLib and the
// thumbnail readers of file managers read only tEXt: the chunks go in by hand,
// right after the header, where readers look first.
QByteArray withTextChunks(const QByteArray& png, const TextChunks& texts) {
    if (png.size() < kAfterHeader || png.mid(12, 4) != "IHDR") return {};
    QByteArray out = png.left(kAfterHeader);
    for (const auto& [key, value] : texts) out += chunk("tEXt", key + '\0' + value);
    out += png.mid(kAfterHeader);
    return out;
}

// A text is a few hundred bytes; a larger one is not a thumbnail's and is not inflated.
constexpr uLong kMaxTextBytes = 64 * 1024;

std::optional<QByteArray> inflated(QByteArrayView compressed) {
    QByteArray out(qsizetype(kMaxTextBytes), Qt::Uninitialized);
    z_stream stream{};
    if (::inflateInit(&stream) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int code = ::inflate(&stream, Z_FINISH);
    const uLong produced = stream.total_out;
    ::inflateEnd(&stream);
    if (code != Z_STREAM_END) return std::nullopt;
    out.truncate(qsizetype(produced));
    return out;
}

// Keyword and text of a tEXt, zTXt or iTXt body; nothing when malformed.
std::optional<std::pair<QByteArray, QByteArray>> textOf(const QByteArray& type, const QByteArray& body) {
    const qsizetype nul = body.indexOf('\0');
    if (nul <= 0) return std::nullopt;
    const QByteArray key = body.left(nul);
    if (type == "tEXt") return std::pair(key, body.mid(nul + 1));
    if (type == "zTXt") {
        if (body.size() < nul + 2 || body[nul + 1] != 0) return std::nullopt;  // 0: deflate, the only method
        const auto text = inflated(QByteArrayView(body).sliced(nul + 2));
        return text ? std::optional(std::pair(key, *text)) : std::nullopt;
    }
    // iTXt: keyword, compression flag and method, language tag, translated keyword, text.
    if (body.size() < nul + 3) return std::nullopt;
    const bool isCompressed = body[nul + 1] != 0;
    if (isCompressed && body[nul + 2] != 0) return std::nullopt;
    const qsizetype language = body.indexOf('\0', nul + 3);
    const qsizetype translated = language < 0 ? -1 : body.indexOf('\0', language + 1);
    if (translated < 0) return std::nullopt;
    const QByteArrayView text = QByteArrayView(body).sliced(translated + 1);
    if (!isCompressed) return std::pair(key, text.toByteArray());
    const auto expanded = inflated(text);
    return expanded ? std::optional(std::pair(key, *expanded)) : std::nullopt;
}

}  // namespace

int maxPixelSize(ThumbnailFlavor flavor) {
    switch (flavor) {
        case ThumbnailFlavor::normal:
            return 128;
        case ThumbnailFlavor::large:
            return 256;
    }
    return 128;
}

QByteArray fileUri(const QByteArray& absolutePath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    uri.reserve(uri.size() + absolutePath.size() * 3);
    for (const char byte : absolutePath) {
        const auto c = static_cast<unsigned char>(byte);
        if (isKeptInPath(c)) {
            uri += byte;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

// QImageReader cannot be used: it splits keys at ':', and every key of this
// standard holds "::". Other programs (and our older versions, through Qt)
// write zTXt and iTXt too.
QMap<QByteArray, QByteArray> thumbnailTexts(const QByteArray& png) {
    QMap<QByteArray, QByteArray> texts;
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (!png.startsWith(QByteArray(kSignature, kSignatureBytes))) return texts;
    qsizetype at = kSignatureBytes;
    while (at + 12 <= png.size()) {
        const quint32 length = bigEndianAt(png, at);
        const QByteArray type = png.mid(at + 4, 4);
        if (length > static_cast<quint64>(png.size() - at - 12)) break;  // runs past the end: damaged
        if (type == "IDAT" || type == "IEND") break;  // the standard puts its chunks before the pixels
        if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            if (auto text = textOf(type, png.mid(at + 8, length))) texts.insert(text->first, text->second);
        }
        at += 12 + static_cast<qsizetype>(length);
    }
    return texts;
}

QString thumbnailFileName(const QByteArray& absolutePath) {
    const QByteArray digest = QCryptographicHash::hash(fileUri(absolutePath), QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex()) + QStringLiteral(".png");
}

ThumbnailDiskCache::ThumbnailDiskCache(QString cacheRoot, QString appVersion)
    : m_root(std::move(cacheRoot)), m_appVersion(std::move(appVersion)) {}

QString ThumbnailDiskCache::defaultRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/thumbnails");
}

QString ThumbnailDiskCache::defaultAppVersion() {
    return QStringLiteral(REELKEEP_VERSION);
}

QString ThumbnailDiskCache::pathFor(ThumbnailFlavor flavor, const QByteArray& absolutePath) const {
    return m_root + u'/' + flavorFolder(flavor) + u'/' + thumbnailFileName(absolutePath);
}

QString ThumbnailDiskCache::failurePathFor(const QByteArray& absolutePath) const {
    return m_root + QStringLiteral("/fail/reelkeep-") + m_appVersion + u'/' + thumbnailFileName(absolutePath);
}

std::optional<QImage> ThumbnailDiskCache::lookup(const ThumbnailSubject& subject,
                                                 ThumbnailFlavor flavor) const {
    const QByteArray png = readSmallFile(pathFor(flavor, subject.absolutePath));
    if (png.isEmpty() || !describes(png, subject)) return std::nullopt;
    QImage image = QImage::fromData(png, "png");
    if (image.isNull()) return std::nullopt;
    return image;
}

bool ThumbnailDiskCache::store(const ThumbnailSubject& subject, ThumbnailFlavor flavor,
                               const QImage& frame) const {
    if (frame.isNull()) return false;
    const int limit = maxPixelSize(flavor);
    QImage image = frame.width() > limit || frame.height() > limit
                       ? frame.scaled(limit, limit, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                       : frame;
    return publish(m_root + u'/' + flavorFolder(flavor), thumbnailFileName(subject.absolutePath), image,
                   labelsFor(subject));
}

bool ThumbnailDiskCache::hasRecordedFailure(const ThumbnailSubject& subject) const {
    const QByteArray png = readSmallFile(failurePathFor(subject.absolutePath));
    return !png.isEmpty() && describes(png, subject);
}

bool ThumbnailDiskCache::recordFailure(const ThumbnailSubject& subject) const {
    QImage marker(1, 1, QImage::Format_ARGB32);
    marker.fill(Qt::transparent);
    return publish(m_root + QStringLiteral("/fail/reelkeep-") + m_appVersion,
                   thumbnailFileName(subject.absolutePath), marker, labelsFor(subject));
}

bool ThumbnailDiskCache::publish(const QString& folder, const QString& fileName, const QImage& image,
                                 const TextChunks& texts) const {
    if (!makePrivateFolder(folder)) return false;
    QByteArray pixels;
    {
        QBuffer buffer(&pixels);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setQuality(80);
        if (!writer.write(image)) return false;
    }
    const QByteArray png = withTextChunks(pixels, texts);
    if (png.isEmpty()) return false;
    QByteArray temporary = QFile::encodeName(folder + u'/' + fileName) + ".XXXXXX";
    // mkostemp: O_EXCL and mode 0600, as the standard asks of thumbnails.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    qsizetype written = 0;
    while (written < png.size()) {
        const ssize_t n = ::write(fd, png.constData() + written, static_cast<size_t>(png.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += n;
    }
    const bool isComplete = ::close(fd) == 0 && written == png.size();
    // Replacing is right here: a newer picture of the same file supersedes the old one.
    if (isComplete &&
        ::rename(temporary.constData(), QFile::encodeName(folder + u'/' + fileName).constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

}  // namespace reelkeep::media
