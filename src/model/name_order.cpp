#include "name_order.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <algorithm>
#include <array>
#include <vector>

namespace reelkeep {

namespace {

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Below U+0300 nothing combines, so such text is already in NFC.
bool mayNeedNormalizing(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x300; });
}

const UNormalizer2* nfc() {
    UErrorCode status = U_ZERO_ERROR;
    return unorm2_getNFCInstance(&status);  // process-wide singleton, thread-safe
}

const UChar* uchars(QStringView text) {
    return reinterpret_cast<const UChar*>(text.utf16());
}

// Returns the input unchanged when it is already normalized or ICU refuses it.
QString normalized(QStringView text) {
    const UNormalizer2* normalizer = nfc();
    UErrorCode status = U_ZERO_ERROR;
    if (!normalizer || !mayNeedNormalizing(text) ||
        unorm2_isNormalized(normalizer, uchars(text), int32_t(text.size()), &status) || U_FAILURE(status))
        return text.toString();
    std::vector<UChar> buffer(std::size_t(text.size()) * 3 + 16);
    status = U_ZERO_ERROR;
    const int32_t length = unorm2_normalize(normalizer, uchars(text), int32_t(text.size()), buffer.data(),
                                            int32_t(buffer.size()), &status);
    if (U_FAILURE(status)) return text.toString();
    return QString(reinterpret_cast<const QChar*>(buffer.data()), length);
}

QString caseFolded(QStringView text) {
    // Full folding can grow a string up to three times (e.g. U+0390).
    std::vector<UChar> buffer(std::size_t(text.size()) * 3 + 16);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(buffer.data(), int32_t(buffer.size()), uchars(text),
                                         int32_t(text.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) return text.toString();
    return QString(reinterpret_cast<const QChar*>(buffer.data()), length);
}

char asciiLower(char16_t c) {
    return char(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {  // lone surrogates too, so they keep their code point place
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Maps UTF-16 units so that their order is code point order: U+E000..U+FFFF sort
// above the surrogates that encode supplementary planes.
char32_t codePointRank(char16_t unit) {
    if (unit >= 0xE000) return char32_t(unit) - 0x800;
    if (unit >= 0xD800) return char32_t(unit) + 0x2000;
    return unit;
}

int compareCodePoints(QStringView a, QStringView b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (ia == a.end()) return ib == b.end() ? 0 : -1;
    if (ib == b.end()) return 1;
    return codePointRank(ia->unicode()) < codePointRank(ib->unicode()) ? -1 : 1;
}

}  // namespace

QString foldedText(QStringView text) {
    if (isAscii(text)) {
        QString lowered(text.size(), Qt::Uninitialized);
        std::transform(text.begin(), text.end(), lowered.begin(),
                       [](QChar c) { return QChar(asciiLower(c.unicode())); });
        return lowered;
    }
    // Normalizing again after folding keeps the result canonical: folding can
    // decompose (U+0130 becomes i and a combining dot).
    return normalized(caseFolded(normalized(text)));
}

namespace {

enum class KeyKind { name, identifier };

// UTF-8 orders bytes as code points; a name key also lowers ASCII letters (the
// rest is folded beforehand) and writes each digit run by value.
void encodeKeyInto(QStringView text, KeyKind kind, std::string& key) {
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length;) {
        const char16_t unit = units[i];
        if (kind == KeyKind::name && isDigit(unit)) {
            qsizetype end = i;
            while (end < length && isDigit(units[end])) ++end;
            qsizetype start = i;
            while (start < end && units[start] == u'0') ++start;
            const auto digits = std::uint32_t(std::min<qsizetype>(end - start, 0xFFFFFFFF));
            key += '0';
            // Lengths below 255 take one byte; longer ones 0xFF and four bytes,
            // which still orders after every short one.
            if (digits < 0xFF) {
                key += char(digits);
            } else {
                key += char(0xFF);
                for (int shift = 24; shift >= 0; shift -= 8) key += char((digits >> shift) & 0xFF);
            }
            for (qsizetype d = start; d < end; ++d) key += char(units[d]);
            i = end;
        } else if (unit < 0x80) {
            key += kind == KeyKind::name ? asciiLower(unit) : char(unit);
            ++i;
        } else if (QChar::isHighSurrogate(unit) && i + 1 < length && QChar::isLowSurrogate(units[i + 1])) {
            appendUtf8(key, QChar::surrogateToUcs4(unit, units[i + 1]));
            i += 2;
        } else {
            appendUtf8(key, unit);
            ++i;
        }
    }
}

std::string encodeKey(QStringView text, KeyKind kind) {
    std::string key;
    key.reserve(std::size_t(text.size()) + 8);
    encodeKeyInto(text, kind, key);
    return key;
}

}  // namespace

std::string nameSortKey(QStringView name) {
    std::string key;
    appendNameSortKey(name, key);
    return key;
}

void appendNameSortKey(QStringView name, std::string& out) {
    if (isAscii(name))
        encodeKeyInto(name, KeyKind::name, out);
    else
        encodeKeyInto(foldedText(name), KeyKind::name, out);
}

std::string identifierSortKey(QStringView identifier) {
    if (!mayNeedNormalizing(identifier)) return encodeKey(identifier, KeyKind::identifier);
    return encodeKey(normalized(identifier), KeyKind::identifier);
}

int compareNames(QStringView a, QStringView b) {
    const int order = nameSortKey(a).compare(nameSortKey(b));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int compareIdentifiers(QStringView a, QStringView b) {
    if (mayNeedNormalizing(a) || mayNeedNormalizing(b))
        return compareCodePoints(normalized(a), normalized(b));
    return compareCodePoints(a, b);
}

QString withoutMarks(QStringView folded) {
    if (isAscii(folded)) return folded.toString();
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    if (!nfd || U_FAILURE(status)) return folded.toString();
    std::vector<UChar> buffer(std::size_t(folded.size()) * 4 + 16);
    const int32_t length = unorm2_normalize(nfd, uchars(folded), int32_t(folded.size()), buffer.data(),
                                            int32_t(buffer.size()), &status);
    if (U_FAILURE(status)) return folded.toString();
    const QStringView decomposed(reinterpret_cast<const QChar*>(buffer.data()), length);
    QString bare;
    bare.reserve(length);
    for (qsizetype i = 0; i < decomposed.size();) {
        const bool isPair = decomposed[i].isHighSurrogate() && i + 1 < decomposed.size() &&
                            decomposed[i + 1].isLowSurrogate();
        const char32_t cp = isPair ? QChar::surrogateToUcs4(decomposed[i], decomposed[i + 1])
                                   : char32_t(decomposed[i].unicode());
        if (QChar::category(cp) != QChar::Mark_NonSpacing) bare += decomposed.mid(i, isPair ? 2 : 1);
        i += isPair ? 2 : 1;
    }
    return normalized(bare);
}

bool hasMarks(QStringView folded) {
    return !isAscii(folded) && withoutMarks(folded) != folded;
}

bool containsFolded(QStringView name, QStringView foldedQuery) {
    if (foldedQuery.isEmpty()) return true;
    if (isAscii(name)) {
        // Folding ASCII gives ASCII, so a query with anything else cannot match.
        if (!isAscii(foldedQuery)) return false;
        const qsizetype last = name.size() - foldedQuery.size();
        const char first = char(foldedQuery[0].unicode());
        for (qsizetype start = 0; start <= last; ++start) {
            if (asciiLower(name[start].unicode()) != first) continue;
            qsizetype k = 1;
            while (k < foldedQuery.size() &&
                   asciiLower(name[start + k].unicode()) == char(foldedQuery[k].unicode()))
                ++k;
            if (k == foldedQuery.size()) return true;
        }
        return false;
    }
    const QString folded = foldedText(name);
    return hasMarks(foldedQuery) ? folded.contains(foldedQuery) : withoutMarks(folded).contains(foldedQuery);
}

}  // namespace reelkeep
