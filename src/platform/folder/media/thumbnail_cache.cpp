// thumbnail_cache.cpp: PNGs with Thumb:: text chunks, private (0700 folders,
// 0600 files), written to a temporary name in the target folder and renamed.
// No fsync: a picture lost to a crash is a cache miss, and a damaged PNG fails
// to load and is made again.
#include "thumbnail_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImageWriter>
#include <QMap>
#include <QStandardPaths>
#include <cerrno>

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

// The text chunks agree with the file as it is now.
bool describes(const QByteArray& png, const ThumbnailSubject& subject) {
    const QMap<QByteArray, QByteArray> texts = thumbnailTexts(png);
    return texts.value(kUriKey) == fileUri(subject.absolutePath) &&
           texts.value(kMTimeKey) == QByteArray::number(subject.mtimeSeconds);
}

QImage labelled(QImage image, const ThumbnailSubject& subject) {
    image.setText(QString::fromLatin1(kUriKey), QString::fromLatin1(fileUri(subject.absolutePath)));
    image.setText(QString::fromLatin1(kMTimeKey), QString::number(subject.mtimeSeconds));
    image.setText(QString::fromLatin1(kSizeKey), QString::number(subject.sizeBytes));
    image.setText(QStringLiteral("Software"), QStringLiteral("Reelkeep"));
    return image;
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
// standard holds "::".
QMap<QByteArray, QByteArray> thumbnailTexts(const QByteArray& png) {
    QMap<QByteArray, QByteArray> texts;
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (!png.startsWith(QByteArray(kSignature, 8))) return texts;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const auto* head = reinterpret_cast<const unsigned char*>(png.constData() + at);
        const quint32 length =
            quint32(head[0]) << 24 | quint32(head[1]) << 16 | quint32(head[2]) << 8 | head[3];
        const QByteArray type = png.mid(at + 4, 4);
        if (length > static_cast<quint64>(png.size() - at - 12)) break;  // runs past the end: damaged
        if (type == "IDAT" || type == "IEND") break;  // the standard puts its chunks before the pixels
        if (type == "tEXt") {
            const QByteArray body = png.mid(at + 8, length);
            const qsizetype nul = body.indexOf('\0');
            if (nul > 0) texts.insert(body.left(nul), body.mid(nul + 1));
        }
        at += 12 + static_cast<qsizetype>(length);
    }
    return texts;
}

QString thumbnailFileName(const QByteArray& absolutePath) {
    const QByteArray digest = QCryptographicHash::hash(fileUri(absolutePath), QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex()) + QStringLiteral(".png");
}

ThumbnailCache::ThumbnailCache(QString cacheRoot, QString appVersion)
    : m_root(std::move(cacheRoot)), m_appVersion(std::move(appVersion)) {}

QString ThumbnailCache::defaultRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/thumbnails");
}

QString ThumbnailCache::defaultAppVersion() {
    return QStringLiteral(REELKEEP_VERSION);
}

QString ThumbnailCache::pathFor(ThumbnailFlavor flavor, const QByteArray& absolutePath) const {
    return m_root + u'/' + flavorFolder(flavor) + u'/' + thumbnailFileName(absolutePath);
}

QString ThumbnailCache::failurePathFor(const QByteArray& absolutePath) const {
    return m_root + QStringLiteral("/fail/reelkeep-") + m_appVersion + u'/' + thumbnailFileName(absolutePath);
}

std::optional<QImage> ThumbnailCache::lookup(const ThumbnailSubject& subject, ThumbnailFlavor flavor) const {
    const QByteArray png = readSmallFile(pathFor(flavor, subject.absolutePath));
    if (png.isEmpty() || !describes(png, subject)) return std::nullopt;
    QImage image = QImage::fromData(png, "png");
    if (image.isNull()) return std::nullopt;
    return image;
}

bool ThumbnailCache::store(const ThumbnailSubject& subject, ThumbnailFlavor flavor,
                           const QImage& frame) const {
    if (frame.isNull()) return false;
    const int limit = maxPixelSize(flavor);
    QImage image = frame.width() > limit || frame.height() > limit
                       ? frame.scaled(limit, limit, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                       : frame;
    return publish(m_root + u'/' + flavorFolder(flavor), thumbnailFileName(subject.absolutePath),
                   labelled(std::move(image), subject));
}

bool ThumbnailCache::hasRecordedFailure(const ThumbnailSubject& subject) const {
    const QByteArray png = readSmallFile(failurePathFor(subject.absolutePath));
    return !png.isEmpty() && describes(png, subject);
}

bool ThumbnailCache::recordFailure(const ThumbnailSubject& subject) const {
    QImage marker(1, 1, QImage::Format_ARGB32);
    marker.fill(Qt::transparent);
    return publish(m_root + QStringLiteral("/fail/reelkeep-") + m_appVersion,
                   thumbnailFileName(subject.absolutePath), labelled(std::move(marker), subject));
}

bool ThumbnailCache::publish(const QString& folder, const QString& fileName, const QImage& image) const {
    if (!makePrivateFolder(folder)) return false;
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setQuality(80);
        if (!writer.write(image)) return false;
    }
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
