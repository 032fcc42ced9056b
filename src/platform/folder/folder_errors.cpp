// folder_errors.cpp: the folder library's error texts.
#include "platform/folder/folder_errors.h"

#include "model/texts.h"
#include "platform/folder/folder_asset.h"
#include "platform/folder/fs/fingerprint.h"

namespace reelkeep {

PlatformError cancelledError() {
    return PlatformError{kFolderErrorDomain, kUserCancelledErrorCode,
                         reelkeep::tr("The operation was cancelled.")};
}

PlatformError goneError() {
    return PlatformError{kFolderErrorDomain, kGoneCode,
                         reelkeep::tr("The video is no longer in the library.")};
}

PlatformError ioFailure(const fs::IoError& error) {
    const int code = error.kind() == fs::IoErrorKind::system ? error.errorNumber() : 1100 + int(error.kind());
    return PlatformError{kFolderErrorDomain, code, error.message()};
}

PlatformError favoritesFailure(const store::StoreError& error) {
    QString text = error.message();
    if (error.kind() == store::StoreErrorKind::unavailable)
        text += QStringLiteral(". ") +
                tr("Reelkeep needs this file to know your favorites: make sure it is a regular file on a "
                   "disk with free space and that no other program holds it, then scan again.");
    return PlatformError{kFolderErrorDomain, kStoreCode, text};
}

bool isUnchanged(const ScannedFile& file) {
    return fs::verifyPath(file.path, file.fingerprint).ok();
}

}  // namespace reelkeep
