// status_message.cpp: rendering of status keys through the translation catalogue.
#include "status_message.h"

#include <QCoreApplication>
#include <QLocale>
#include <limits>

#include "model/texts.h"

namespace reelkeep {

QString countText(std::int64_t count) {
    return QLocale().toString(qlonglong{count});
}

QString fillArguments(const QString& format, const QList<QVariant>& arguments) {
    QString out;
    out.reserve(format.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar next = i + 1 < format.size() ? format[i + 1] : QChar();
        const int index = next.digitValue() - 1;
        if (format[i] != u'%' || index < 0 || index >= arguments.size()) {
            out += format[i];
            continue;
        }
        const QVariant& argument = arguments[index];
        const bool isInteger =
            argument.typeId() == QMetaType::Int || argument.typeId() == QMetaType::LongLong ||
            argument.typeId() == QMetaType::UInt || argument.typeId() == QMetaType::ULongLong;
        out += isInteger ? countText(argument.toLongLong()) : argument.toString();
        ++i;
    }
    return out;
}

QString StatusMessage::text() const {
    // Qt's plural lookup takes an int; no library holds more videos than that.
    const int n = m_count < 0 ? -1 : int(std::min<std::int64_t>(m_count, std::numeric_limits<int>::max()));
    return fillArguments(QCoreApplication::translate(kTextContext, m_key, nullptr, n), m_arguments);
}

}  // namespace reelkeep
