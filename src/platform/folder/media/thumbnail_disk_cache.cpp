// thumbnail_disk_cache.cpp: PNGs with Thumb:: text chunks, private (0700 folders,
// 0600 files), written to a temporary name in the target folder and renamed.
// No fsync: a picture lost to a crash is a cache miss, and a damaged PNG fails
// to load and is made again.
#include "thumbnail_disk_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>
#include <QCryptographicHash>
#include <QDir>
#include <QMap>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
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
constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";

// What we read besides our own: 8 bits a sample, grey or RGB, with or without
// alpha, not interlaced (what GLib's thumbnailers write). Any other PNG is a
// miss, made again by us, never an error.
enum ColourType : std::uint8_t { grey = 0, rgb = 2, greyAlpha = 4, rgba = 6 };

int channelsOf(std::uint8_t colourType) {
    switch (colourType) {
        case grey:
            return 1;
        case greyAlpha:
            return 2;
        case rgb:
            return 3;
        case rgba:
            return 4;
        default:
            return 0;
    }
}

// Thumbnails are at most 1024 px (xx-large); this bounds what a hostile file
// can make us allocate.
constexpr int kMaxPngSide = 2048;

std::uint8_t paeth(int left, int up, int upLeft) {
    const int guess = left + up - upLeft;
    const int toLeft = std::abs(guess - left), toUp = std::abs(guess - up),
              toUpLeft = std::abs(guess - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return std::uint8_t(left);
    return std::uint8_t(toUp <= toUpLeft ? up : upLeft);
}

// One row through PNG filter `type`, in place of its filtered bytes (`decode`)
// or of its raw ones; `above` is the previous raw row (zeros for the first).
void applyFilter(std::uint8_t type, bool decode, const std::uint8_t* raw, const std::uint8_t* above,
                 std::uint8_t* out, qsizetype bytes, int step) {
    for (qsizetype i = 0; i < bytes; ++i) {
        // While decoding, `out` already holds the raw bytes to the left.
        const int left = i >= step ? (decode ? out[i - step] : raw[i - step]) : 0;
        const int up = above[i], upLeft = i >= step ? above[i - step] : 0;
        int predicted = 0;
        switch (type) {
            case 1:
                predicted = left;
                break;
            case 2:
                predicted = up;
                break;
            case 3:
                predicted = (left + up) / 2;
                break;
            case 4:
                predicted = paeth(left, up, upLeft);
                break;
            default:
                break;
        }
        out[i] = std::uint8_t(decode ? raw[i] + predicted : raw[i] - predicted);
    }
}

// The rows of a PNG, each behind the filter that makes it smallest by the
// usual measure (least sum of absolute values), then deflated.
QByteArray compressedRows(const Picture& picture) {
    const int step = bytesPerPixel(picture.format());
    const qsizetype rowBytes = picture.bytesPerLine();
    QByteArray filtered;
    filtered.reserve((rowBytes + 1) * picture.height());
    const QByteArray zeros(rowBytes, '\0');
    QByteArray candidate(rowBytes, Qt::Uninitialized), best(rowBytes, Qt::Uninitialized);
    for (int y = 0; y < picture.height(); ++y) {
        const auto* above =
            y > 0 ? picture.row(y - 1) : reinterpret_cast<const std::uint8_t*>(zeros.constData());
        std::uint64_t bestCost = UINT64_MAX;
        std::uint8_t bestType = 0;
        for (std::uint8_t type = 0; type <= 4; ++type) {
            auto* out = reinterpret_cast<std::uint8_t*>(candidate.data());
            applyFilter(type, false, picture.row(y), above, out, rowBytes, step);
            std::uint64_t cost = 0;
            for (qsizetype i = 0; i < rowBytes; ++i)
                cost += std::uint64_t(std::abs(int(std::int8_t(out[i]))));
            if (cost < bestCost) {
                bestCost = cost;
                bestType = type;
                std::swap(candidate, best);
            }
        }
        filtered += char(bestType);
        filtered += best;
    }
    uLongf size = ::compressBound(uLong(filtered.size()));
    QByteArray deflated(qsizetype(size), Qt::Uninitialized);
    if (::compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
                    reinterpret_cast<const Bytef*>(filtered.constData()), uLong(filtered.size()),
                    Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    deflated.truncate(qsizetype(size));
    return deflated;
}

// Our own PNG: the header, then the texts where readers look first (as tEXt,
// the one form GLib reads), then the pixels.
QByteArray encodedPng(const Picture& picture, const TextChunks& texts) {
    const QByteArray rows = compressedRows(picture);
    if (picture.isNull() || rows.isEmpty()) return {};
    QByteArray header;
    appendBigEndian(header, quint32(picture.width()));
    appendBigEndian(header, quint32(picture.height()));
    header += char(8);  // bits a sample
    header += char(picture.format() == PixelFormat::rgba8888 ? rgba : rgb);
    header += QByteArray(3, '\0');  // deflate, adaptive filtering, not interlaced
    QByteArray png(kSignature, kSignatureBytes);
    png += chunk("IHDR", header);
    for (const auto& [key, value] : texts) png += chunk("tEXt", key + '\0' + value);
    png += chunk("IDAT", rows);
    png += chunk("IEND", {});
    return png;
}

// A text is a few hundred bytes; a larger one is not a thumbnail's and is not inflated.
constexpr qsizetype kMaxTextBytes = 64 * 1024;

// Nothing when the stream is damaged or would inflate to more than maxBytes.
std::optional<QByteArray> inflated(QByteArrayView compressed, qsizetype maxBytes = kMaxTextBytes) {
    QByteArray out(maxBytes, Qt::Uninitialized);
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

// The pixels of a PNG of a kind we read, every chunk's CRC checked; nothing
// for any other PNG or a damaged one.
std::optional<Picture> decodedPng(const QByteArray& png) {
    if (!png.startsWith(QByteArrayView(kSignature, kSignatureBytes))) return std::nullopt;
    QByteArray header, compressed;
    for (qsizetype at = kSignatureBytes; at + 12 <= png.size();) {
        const quint32 length = bigEndianAt(png, at);
        if (length > quint64(png.size() - at - 12)) return std::nullopt;
        const QByteArrayView typed = QByteArrayView(png).sliced(at + 4, 4 + qsizetype(length));
        if (bigEndianAt(png, at + 8 + qsizetype(length)) !=
            quint32(::crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()))))
            return std::nullopt;
        const QByteArrayView type = typed.first(4), body = typed.sliced(4);
        if (at == kSignatureBytes && type != "IHDR") return std::nullopt;
        if (type == "IHDR") header = body.toByteArray();
        if (type == "IDAT") compressed += body;
        if (type == "IEND") break;
        at += 12 + qsizetype(length);
    }
    if (header.size() != 13) return std::nullopt;
    const quint32 width = bigEndianAt(header, 0), height = bigEndianAt(header, 4);
    const auto depth = std::uint8_t(header[8]), colourType = std::uint8_t(header[9]);
    const int channels = channelsOf(colourType);
    const bool isPlain = depth == 8 && channels > 0 && header[10] == 0 && header[11] == 0 && header[12] == 0;
    if (!isPlain || width < 1 || height < 1 || width > kMaxPngSide || height > kMaxPngSide)
        return std::nullopt;

    const qsizetype rowBytes = qsizetype(width) * channels;
    const std::optional<QByteArray> filtered = inflated(compressed, (rowBytes + 1) * qsizetype(height));
    if (!filtered || filtered->size() != (rowBytes + 1) * qsizetype(height)) return std::nullopt;
    const bool hasAlpha = colourType == greyAlpha || colourType == rgba;
    Picture picture(int(width), int(height), hasAlpha ? PixelFormat::rgba8888 : PixelFormat::rgb888);
    if (picture.isNull()) return std::nullopt;
    QByteArray raw(rowBytes, '\0'), above(rowBytes, '\0');
    for (int y = 0; y < int(height); ++y) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(filtered->constData()) + y * (rowBytes + 1);
        if (in[0] > 4) return std::nullopt;
        auto* out = reinterpret_cast<std::uint8_t*>(raw.data());
        applyFilter(in[0], true, in + 1, reinterpret_cast<const std::uint8_t*>(above.constData()), out,
                    rowBytes, channels);
        std::uint8_t* pixel = picture.row(y);
        for (quint32 x = 0; x < width; ++x, out += channels) {
            const bool isGrey = channels <= 2;
            *pixel++ = out[0];
            *pixel++ = isGrey ? out[0] : out[1];
            *pixel++ = isGrey ? out[0] : out[2];
            if (hasAlpha) *pixel++ = out[channels - 1];
        }
        std::swap(raw, above);
    }
    return picture;
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
    if (!png.startsWith(QByteArrayView(kSignature, kSignatureBytes))) return texts;
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

std::optional<Picture> ThumbnailDiskCache::lookup(const ThumbnailSubject& subject,
                                                  ThumbnailFlavor flavor) const {
    const QByteArray png = readSmallFile(pathFor(flavor, subject.absolutePath));
    if (png.isEmpty() || !describes(png, subject)) return std::nullopt;
    return decodedPng(png);
}

bool ThumbnailDiskCache::store(const ThumbnailSubject& subject, ThumbnailFlavor flavor,
                               const Picture& frame) const {
    if (frame.isNull()) return false;
    return publish(m_root + u'/' + flavorFolder(flavor), thumbnailFileName(subject.absolutePath),
                   fittedWithin(frame, maxPixelSize(flavor)), labelsFor(subject));
}

bool ThumbnailDiskCache::hasRecordedFailure(const ThumbnailSubject& subject) const {
    const QByteArray png = readSmallFile(failurePathFor(subject.absolutePath));
    return !png.isEmpty() && describes(png, subject);
}

bool ThumbnailDiskCache::recordFailure(const ThumbnailSubject& subject) const {
    Picture marker(1, 1, PixelFormat::rgba8888);
    marker.fill(0, 0, 0, 0);
    return publish(m_root + QStringLiteral("/fail/reelkeep-") + m_appVersion,
                   thumbnailFileName(subject.absolutePath), marker, labelsFor(subject));
}

bool ThumbnailDiskCache::publish(const QString& folder, const QString& fileName, const Picture& image,
                                 const TextChunks& texts) const {
    if (!makePrivateFolder(folder)) return false;
    const QByteArray png = encodedPng(image, texts);
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
