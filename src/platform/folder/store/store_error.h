// store_error.h: the typed failure of our stores, and StoreResult<T>.
// A failed write is always reported: a favorite that did not stick must never
// look set.
#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace reelkeep::store {

enum class StoreErrorKind {
    unavailable,   // the file or its folder could not be opened or created
    damaged,       // failed its integrity check; movedAsideTo names where it went
    newerSchema,   // written by a newer Reelkeep: left untouched
    foreign,       // a database that is not ours: left untouched
    readOnly,      // the store opened for reading only; changes are refused
    invalidInput,  // an identifier that is empty or not printable ASCII
    writeFailed,   // a transaction failed and was rolled back: nothing changed
};

class StoreError {
public:
    StoreError(StoreErrorKind kind, QString path, QString detail, QString movedAsideTo = {})
        : m_kind(kind),
          m_path(std::move(path)),
          m_detail(std::move(detail)),
          m_movedAsideTo(std::move(movedAsideTo)) {}

    StoreErrorKind kind() const { return m_kind; }
    const QString& path() const { return m_path; }
    const QString& detail() const { return m_detail; }
    const QString& movedAsideTo() const { return m_movedAsideTo; }
    // One sentence naming the file and, for a damaged store, where it was kept.
    QString message() const;

private:
    StoreErrorKind m_kind;
    QString m_path;
    QString m_detail;
    QString m_movedAsideTo;
};

template <class T>
class [[nodiscard]] StoreResult {
public:
    StoreResult(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    StoreResult(StoreError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const StoreError& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, StoreError> m_state;
};

// Nothing on success, else the error; functions returning it are [[nodiscard]].
using StoreStatus = std::optional<StoreError>;

}  // namespace reelkeep::store
