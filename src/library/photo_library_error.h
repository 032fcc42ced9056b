// photo_library_error.h: the one error type of the library service, the outcome
// of a deletion, and Result<T> for operations that can fail. Descriptions are
// looked up when asked for, so they follow the current translation.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <variant>

#include "library/photo_library_port.h"

namespace reelkeep {

class PhotoLibraryError {
public:
    enum class Kind {
        operationFailed,
        notAuthorized,
        assetUnavailable,
        assetNotFound,
        videoResourceUnavailable
    };

    static PhotoLibraryError operationFailed(PlatformError underlying);
    static PhotoLibraryError operationFailed(const PhotoLibraryError& underlying);
    static PhotoLibraryError notAuthorized() { return PhotoLibraryError{Kind::notAuthorized}; }
    static PhotoLibraryError assetUnavailable() { return PhotoLibraryError{Kind::assetUnavailable}; }
    static PhotoLibraryError assetNotFound() { return PhotoLibraryError{Kind::assetNotFound}; }
    static PhotoLibraryError videoResourceUnavailable() {
        return PhotoLibraryError{Kind::videoResourceUnavailable};
    }
    // A stopped operation: operationFailed around a code-3072 platform error.
    static PhotoLibraryError cancelled();

    Kind kind() const { return m_kind; }
    QString description() const;
    // The platform error that operationFailed carries, if it carries one.
    const PlatformError* platformError() const { return std::get_if<PlatformError>(&m_underlying); }
    bool isCancellation() const;

    friend bool operator==(const PhotoLibraryError&, const PhotoLibraryError&) = default;

private:
    explicit PhotoLibraryError(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    // operationFailed only: a platform error, or one of our own kinds.
    std::variant<std::monostate, PlatformError, Kind> m_underlying;
};

// A value or the error that prevented it.
template <class T>
class Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(PhotoLibraryError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const PhotoLibraryError& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, PhotoLibraryError> m_state;
};

template <>
class Result<void> {
public:
    Result() = default;
    Result(PhotoLibraryError error) : m_error(std::move(error)) {}
    bool hasValue() const { return !m_error; }
    explicit operator bool() const { return hasValue(); }
    const PhotoLibraryError& error() const { return *m_error; }

private:
    std::optional<PhotoLibraryError> m_error;
};

class DeletionOutcome {
public:
    enum class Kind { success, failed, cancelled };

    // The identifiers really deleted, in fetch order; when some assets stayed,
    // the first error among them rides along for the status line.
    static DeletionOutcome success(QStringList deletedIdentifiers,
                                   std::optional<QString> firstErrorMessage = {}) {
        return DeletionOutcome{Kind::success, std::move(deletedIdentifiers), std::move(firstErrorMessage)};
    }
    static DeletionOutcome failed(std::optional<QString> message = {}) {
        return DeletionOutcome{Kind::failed, {}, std::move(message)};
    }
    static DeletionOutcome cancelled() { return DeletionOutcome{Kind::cancelled, {}, {}}; }

    Kind kind() const { return m_kind; }
    const QStringList& deletedIdentifiers() const { return m_deleted; }
    // failed: the platform error's description, if any; success: the first error
    // of the items that were not deleted, if any.
    const std::optional<QString>& message() const { return m_message; }
    // Where each deleted file went, for the libraries that say (a trash folder).
    const QHash<QString, QString>& trashLocations() const { return m_trashLocations; }
    DeletionOutcome withTrashLocations(QHash<QString, QString> locations) && {
        m_trashLocations = std::move(locations);
        return std::move(*this);
    }

    friend bool operator==(const DeletionOutcome&, const DeletionOutcome&) = default;

private:
    DeletionOutcome(Kind kind, QStringList deleted, std::optional<QString> message)
        : m_kind(kind), m_deleted(std::move(deleted)), m_message(std::move(message)) {}

    Kind m_kind;
    QStringList m_deleted;
    std::optional<QString> m_message;
    QHash<QString, QString> m_trashLocations;
};

// How a deletion request ended, given the assets handed in (in fetch order).
DeletionOutcome classifyDeletion(const QStringList& handedIn, const DeletionCompletion& completion);

}  // namespace reelkeep
