// io_error.h: the typed failure of every file-system step, and Result<T>.
// A failure always names the step, the path and the errno, so nothing that
// failed can be reported as done; no exception ever crosses this layer.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <variant>

namespace reelkeep::fs {

// The step that failed; each has its own sentence in message().
enum class IoOperation {
    open,
    inspect,
    readFolder,
    read,
    create,
    write,
    flush,
    publish,
    remove,
    createFolder,
    moveToTrash,
    restoreFromTrash,
    watch,
};

enum class IoErrorKind {
    system,          // the call failed with errorNumber()
    changed,         // the file is not the one that was scanned: replaced, renamed, edited or gone
    notRegularFile,  // a folder, FIFO, device or symlink where a video file was expected
    alreadyExists,   // the destination name is taken; nothing was replaced
    sameFile,        // an export onto its own source
    crossDevice,     // moving would need a copy; nothing was copied or deleted
    noTrash,         // no trash folder on the file's device passes the safety checks
    sizeMismatch,    // the copy does not have the source's byte count
    stopped,         // the caller asked to stop before the step was done
    notPutBack,      // a file swapped in during a trash move stayed in the trash (otherPath)
};

class IoError {
public:
    // From errno at the call site; errno must still hold the failing call's value.
    static IoError fromErrno(IoOperation operation, QByteArray path);
    static IoError fromErrorNumber(IoOperation operation, QByteArray path, int errorNumber);
    static IoError of(IoErrorKind kind, IoOperation operation, QByteArray path, int errorNumber = 0);
    static IoError sizeMismatch(QByteArray path, std::int64_t copiedBytes, std::int64_t expectedBytes);
    // `path` was found to be another file after it moved to `trashedPath`, and
    // moving that file back failed: it is in the trash, not where it was.
    static IoError notPutBack(QByteArray path, QByteArray trashedPath, int errorNumber);

    IoErrorKind kind() const { return m_kind; }
    IoOperation operation() const { return m_operation; }
    // Raw bytes: a name that is not UTF-8 stays exact here and is only made lossy in message().
    const QByteArray& path() const { return m_path; }
    int errorNumber() const { return m_errorNumber; }
    // The second path of notPutBack; empty otherwise.
    const QByteArray& otherPath() const { return m_otherPath; }
    // One English sentence for the user, translatable under the "Reelkeep" context.
    QString message() const;

    friend bool operator==(const IoError&, const IoError&) = default;

private:
    IoError(IoErrorKind kind, IoOperation operation, QByteArray path, int errorNumber)
        : m_kind(kind), m_operation(operation), m_path(std::move(path)), m_errorNumber(errorNumber) {}

    IoErrorKind m_kind;
    IoOperation m_operation;
    QByteArray m_path;
    int m_errorNumber;
    std::int64_t m_copiedBytes = 0;
    std::int64_t m_expectedBytes = 0;
    QByteArray m_otherPath;
};

// A value or the IoError that prevented it. Reading value() of a failure (or
// error() of a success) is a bug and aborts: nothing is thrown across layers.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    Result(IoError error) : m_state(std::in_place_index<1>, std::move(error)) {}  // NOLINT

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return *checked<0>(); }
    const T& value() const& { return *checked<0>(); }
    T&& value() && { return std::move(*checked<0>()); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const IoError& error() const { return *checked<1>(); }

private:
    template <std::size_t kIndex>
    auto* checked() {
        auto* held = std::get_if<kIndex>(&m_state);
        if (!held) std::abort();
        return held;
    }
    template <std::size_t kIndex>
    const auto* checked() const {
        const auto* held = std::get_if<kIndex>(&m_state);
        if (!held) std::abort();
        return held;
    }

    std::variant<T, IoError> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(IoError error) : m_error(std::move(error)) {}  // NOLINT: implicit by design

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const IoError& error() const {
        if (!m_error) std::abort();
        return *m_error;
    }

private:
    std::optional<IoError> m_error;
};

}  // namespace reelkeep::fs
