// status_message.h: the window's one-line status as a message key plus its count
// and arguments, translated when shown, so a language change or a test sees the
// same message. Counts go through Qt's plural forms ("%Ln video(s)"); numbers
// are written in the user's digits.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>

namespace reelkeep {

class StatusMessage {
public:
    StatusMessage() = default;
    // key: the English text, marked with QT_TRANSLATE_NOOP("reelkeep", …); "%1"…"%9"
    // take the arguments (integers in the user's digits, anything else as text).
    explicit StatusMessage(const char* key, QList<QVariant> arguments = {})
        : m_key(key), m_arguments(std::move(arguments)) {}

    // key marked with QT_TRANSLATE_N_NOOP("reelkeep", …); "%Ln" is the count, and the
    // translation picks the plural form that agrees with it.
    static StatusMessage counted(const char* key, std::int64_t count, QList<QVariant> arguments = {}) {
        StatusMessage message(key, std::move(arguments));
        message.m_count = count;
        return message;
    }

    const char* key() const { return m_key; }
    QString text() const;

    friend bool operator==(const StatusMessage& a, const StatusMessage& b) {
        return QByteArrayView(a.m_key) == QByteArrayView(b.m_key) && a.m_count == b.m_count &&
               a.m_arguments == b.m_arguments;
    }

private:
    const char* m_key = "";
    std::int64_t m_count = -1;  // -1: the key has no count
    QList<QVariant> m_arguments;
};

// Fills "%1"…"%9" in one pass, so an argument holding "%2" stays as it is.
QString fillArguments(const QString& format, const QList<QVariant>& arguments);

// The digits of a count in the user's locale ("12,000"; "12.000" in German).
QString countText(std::int64_t count);

}  // namespace reelkeep
