// photo_library_error.cpp: fixed descriptions and the deletion classification.
// Only identifiers the port confirms as deleted are ever reported as deleted.
#include "library/photo_library_error.h"

#include <QCoreApplication>
#include <QHash>

#include "model/texts.h"

namespace reelkeep {

namespace {

const char* textFor(PhotoLibraryError::Kind kind) {
    switch (kind) {
        case PhotoLibraryError::Kind::operationFailed:
            return nullptr;
        case PhotoLibraryError::Kind::notAuthorized:
            return QT_TRANSLATE_NOOP("reelkeep", "No library folder can be read.");
        case PhotoLibraryError::Kind::assetUnavailable:
            return QT_TRANSLATE_NOOP("reelkeep", "This video's file could not be read.");
        case PhotoLibraryError::Kind::assetNotFound:
            return QT_TRANSLATE_NOOP("reelkeep",
                                     "This video's file was moved, renamed or changed since the scan.");
        case PhotoLibraryError::Kind::videoResourceUnavailable:
            return QT_TRANSLATE_NOOP("reelkeep", "This file has no video that can be played.");
    }
    return nullptr;
}

const char* const kCancelledText = QT_TRANSLATE_NOOP("reelkeep", "The operation was cancelled.");
const char* const kReelkeepDomain = "ReelkeepErrorDomain";

}  // namespace

PhotoLibraryError PhotoLibraryError::operationFailed(PlatformError underlying) {
    PhotoLibraryError error{Kind::operationFailed};
    error.m_underlying = std::move(underlying);
    return error;
}

PhotoLibraryError PhotoLibraryError::operationFailed(const PhotoLibraryError& underlying) {
    if (underlying.m_kind == Kind::operationFailed) return underlying;  // one wrapper is enough
    PhotoLibraryError error{Kind::operationFailed};
    error.m_underlying = underlying.m_kind;
    return error;
}

PhotoLibraryError PhotoLibraryError::cancelled() {
    // The text is resolved when described; the stored one is only the fallback.
    return operationFailed(
        PlatformError{kReelkeepDomain, kUserCancelledErrorCode, QString::fromUtf8(kCancelledText)});
}

bool PhotoLibraryError::isCancellation() const {
    const PlatformError* platform = platformError();
    return platform && platform->isUserCancellation();
}

QString PhotoLibraryError::description() const {
    if (m_kind != Kind::operationFailed) return QCoreApplication::translate(kTextContext, textFor(m_kind));
    if (const Kind* inner = std::get_if<Kind>(&m_underlying))
        return QCoreApplication::translate(kTextContext, textFor(*inner));
    if (const PlatformError* platform = platformError()) {
        if (platform->domain == QLatin1String(kReelkeepDomain))
            return QCoreApplication::translate(kTextContext, kCancelledText);
        return platform->localizedDescription;
    }
    return {};
}

DeletionOutcome classifyDeletion(const QStringList& handedIn, const DeletionCompletion& completion) {
    QHash<QString, const ChangeItemResult*> byIdentifier;
    for (const ChangeItemResult& item : completion.items) byIdentifier.insert(item.localIdentifier, &item);

    QStringList deleted;
    QHash<QString, QString> locations;
    std::optional<PlatformError> firstError = completion.requestError;
    for (const QString& identifier : handedIn) {
        const ChangeItemResult* item = byIdentifier.value(identifier);
        if (item && !item->error) {
            deleted.append(identifier);
            if (!item->trashedTo.isEmpty()) locations.insert(identifier, item->trashedTo);
        } else if (!firstError && item) {
            firstError = item->error;
        }
    }
    if (!deleted.isEmpty())
        return DeletionOutcome::success(
                   std::move(deleted),
                   firstError ? std::optional{firstError->localizedDescription} : std::nullopt)
            .withTrashLocations(std::move(locations));
    if (firstError && firstError->isUserCancellation()) return DeletionOutcome::cancelled();
    if (firstError) return DeletionOutcome::failed(firstError->localizedDescription);
    return DeletionOutcome::failed();
}

}  // namespace reelkeep
