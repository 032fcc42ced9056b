#include "file_names.h"

namespace reelkeep {

namespace {

constexpr qsizetype kMaxNameBytes = 255;
// " (9999)" is the longest counter a unique name adds.
constexpr qsizetype kCounterBytes = 7;

bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

// The longest prefix of text whose UTF-8 form fits in maxBytes, never splitting
// a character (surrogate pairs stay together).
QString truncatedUtf8(const QString& text, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const char16_t unit = text[end].unicode();
        const bool isPair = QChar::isHighSurrogate(unit) && end + 1 < text.size() &&
                            QChar::isLowSurrogate(text[end + 1].unicode());
        const qsizetype width = isPair ? 4 : (unit < 0x80 ? 1 : (unit < 0x800 ? 2 : 3));
        if (bytes + width > maxBytes) break;
        bytes += width;
        end += isPair ? 2 : 1;
    }
    return text.left(end);
}

}  // namespace

NameParts splitExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return {name, {}};
    return {name.left(dot), name.mid(dot + 1)};
}

QString safeFileComponent(const QString& name) {
    QString component = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    for (QChar& c : component)
        if (isControl(c.unicode())) c = QLatin1Char('_');
    if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String(".."))
        return QStringLiteral("video");

    NameParts parts = splitExtension(component);
    qsizetype extensionBytes = parts.extension.isEmpty() ? 0 : parts.extension.toUtf8().size() + 1;
    if (extensionBytes > kMaxNameBytes / 2) {  // an "extension" that long is part of the name
        parts = {component, {}};
        extensionBytes = 0;
    }
    const qsizetype baseBudget = kMaxNameBytes - kCounterBytes - extensionBytes;
    if (parts.base.toUtf8().size() <= baseBudget) return component;
    const QString base = truncatedUtf8(parts.base, baseBudget);
    return parts.extension.isEmpty() ? base : base + QLatin1Char('.') + parts.extension;
}

std::optional<QString> uniqueName(const QString& safeName, const QSet<QString>& usedNames,
                                  const std::function<bool(const QString&)>& isTaken) {
    const NameParts parts = splitExtension(safeName);
    for (int n = 1; n <= kMaxNameCounter; ++n) {
        QString candidate = safeName;
        if (n > 1) {
            candidate = QStringLiteral("%1 (%2)").arg(parts.base).arg(n);
            if (!parts.extension.isEmpty()) candidate += QLatin1Char('.') + parts.extension;
        }
        if (!usedNames.contains(candidate) && !isTaken(candidate)) return candidate;
    }
    return std::nullopt;
}

QString pasteboardLine(const QString& text) {
    QString line = text;
    for (QChar& c : line) {
        const char16_t unit = c.unicode();
        if (unit == u'\r' || unit == u'\n' || unit == 0x2028 || unit == 0x2029) c = QLatin1Char(' ');
    }
    return line;
}

}  // namespace reelkeep
