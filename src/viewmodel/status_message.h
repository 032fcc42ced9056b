// status_message.h: the window's one-line status as a message key plus typed
// arguments, rendered when shown. Keys keep the grammar-agreement markup
// "^[%lld noun](inflect: true)"; the English renderer makes the noun agree
// with its count (singular for 1, plural otherwise).
#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>

namespace reelkeep {

class StatusMessage {
public:
    StatusMessage() = default;
    // key: the English text with "%lld" for counts and "%@" for strings.
    explicit StatusMessage(const char* key, QList<QVariant> arguments = {})
        : m_key(key), m_arguments(std::move(arguments)) {}

    const char* key() const { return m_key; }
    const QList<QVariant>& arguments() const { return m_arguments; }
    QString text() const;

    friend bool operator==(const StatusMessage& a, const StatusMessage& b) {
        return QByteArrayView(a.m_key) == QByteArrayView(b.m_key) && a.m_arguments == b.m_arguments;
    }

private:
    const char* m_key = "";
    QList<QVariant> m_arguments;
};

// Renders a key with its arguments: %lld takes the next integer, %@ the next
// string; "^[…](inflect: true)" keeps its text with the noun agreeing.
QString renderStatus(const QString& format, const QList<QVariant>& arguments);

}  // namespace reelkeep
