// folder_errors.h: the errors the folder library answers with, in one domain.
// Codes sit above any errno, so no failure can pose as the user's cancellation.
#pragma once

#include <QString>

#include "library/photo_library_port.h"
#include "platform/folder/fs/io_error.h"
#include "platform/folder/store/store_error.h"

namespace reelkeep {

struct ScannedFile;

inline const QString kFolderErrorDomain = QStringLiteral("app.reelkeep.folders");

enum : int {
    kGoneCode = 1001,
    kStoreCode = 1002,
    kInvalidCode = 1003,
    kMediaCode = 1004,
    kTimeoutCode = 1005
};

PlatformError cancelledError();
PlatformError goneError();
PlatformError ioFailure(const fs::IoError& error);
PlatformError favoritesFailure(const store::StoreError& error);

// The scanned file is still there, unchanged, as a regular file, reached
// without a symlink (and past PATH_MAX).
bool isUnchanged(const ScannedFile& file);

}  // namespace reelkeep
