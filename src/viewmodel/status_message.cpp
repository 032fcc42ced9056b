#include "status_message.h"

#include <QCoreApplication>

#include "model/texts.h"

namespace reelkeep {

namespace {

constexpr QStringView kInflectOpen = u"^[";
constexpr QStringView kInflectClose = u"](inflect: true)";

// English agreement for the nouns our messages use ("video", "name").
QString agree(const QString& phrase, std::int64_t count) {
    if (count == 1) return phrase;
    return phrase + QLatin1Char('s');
}

}  // namespace

QString renderStatus(const QString& format, const QList<QVariant>& arguments) {
    QString out;
    qsizetype next = 0;
    std::int64_t inflectCount = 0;  // the first count inside the open markup
    bool hasInflectCount = false;
    qsizetype inflectStart = -1;
    for (qsizetype i = 0; i < format.size();) {
        const QStringView rest = QStringView(format).mid(i);
        if (rest.startsWith(u"%lld")) {
            const std::int64_t value = next < arguments.size() ? arguments[next++].toLongLong() : 0;
            if (inflectStart >= 0 && !hasInflectCount) {
                inflectCount = value;
                hasInflectCount = true;
            }
            out += QString::number(value);
            i += 4;
        } else if (rest.startsWith(u"%@")) {
            out += next < arguments.size() ? arguments[next++].toString() : QString{};
            i += 2;
        } else if (rest.startsWith(kInflectOpen)) {
            inflectStart = out.size();
            hasInflectCount = false;
            i += kInflectOpen.size();
        } else if (inflectStart >= 0 && rest.startsWith(kInflectClose)) {
            // The noun is the last word of the marked phrase.
            const QString phrase = out.mid(inflectStart);
            const qsizetype space = phrase.lastIndexOf(QLatin1Char(' '));
            const QString noun = phrase.mid(space + 1);
            out.truncate(inflectStart + space + 1);
            out += agree(noun, hasInflectCount ? inflectCount : 0);
            inflectStart = -1;
            i += kInflectClose.size();
        } else {
            out += format[i++];
        }
    }
    return out;
}

QString StatusMessage::text() const {
    return renderStatus(QCoreApplication::translate(kTextContext, m_key), m_arguments);
}

}  // namespace reelkeep
