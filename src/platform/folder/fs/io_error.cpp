// io_error.cpp: the user-facing sentence of each failure.
#include "platform/folder/fs/io_error.h"

#include <QCoreApplication>
#include <QLocale>
#include <cerrno>
#include <cstring>

#include "model/texts.h"
#include "platform/folder/fs/path_id.h"

namespace reelkeep::fs {
namespace {

QString systemReason(int errorNumber) {
    char buffer[256] = {};
    // GNU strerror_r: returns a pointer that may or may not be `buffer`.
    return QString::fromLocal8Bit(::strerror_r(errorNumber, buffer, sizeof buffer));
}

QString operationSentence(IoOperation operation) {
    switch (operation) {
        case IoOperation::open:
            return reelkeep::tr("Could not open “%1”: %2.");
        case IoOperation::inspect:
            return reelkeep::tr("Could not read the details of “%1”: %2.");
        case IoOperation::readFolder:
            return reelkeep::tr("Could not read the folder “%1”: %2.");
        case IoOperation::read:
            return reelkeep::tr("Could not read “%1”: %2.");
        case IoOperation::create:
            return reelkeep::tr("Could not create “%1”: %2.");
        case IoOperation::write:
            return reelkeep::tr("Could not write “%1”: %2.");
        case IoOperation::flush:
            return reelkeep::tr("Could not save “%1” to the disk: %2.");
        case IoOperation::publish:
            return reelkeep::tr("Could not give “%1” its name: %2.");
        case IoOperation::remove:
            return reelkeep::tr("Could not remove the temporary file “%1”: %2.");
        case IoOperation::createFolder:
            return reelkeep::tr("Could not create the folder “%1”: %2.");
        case IoOperation::moveToTrash:
            return reelkeep::tr("Could not move “%1” to the trash: %2.");
        case IoOperation::restoreFromTrash:
            return reelkeep::tr("Could not put “%1” back from the Trash: %2.");
        case IoOperation::watch:
            return reelkeep::tr("Could not watch the folder “%1” for changes: %2.");
    }
    return reelkeep::tr("Could not use “%1”: %2.");
}

}  // namespace

IoError IoError::fromErrno(IoOperation operation, QByteArray path) {
    return fromErrorNumber(operation, std::move(path), errno);
}

IoError IoError::fromErrorNumber(IoOperation operation, QByteArray path, int errorNumber) {
    return IoError{IoErrorKind::system, operation, std::move(path), errorNumber};
}

IoError IoError::of(IoErrorKind kind, IoOperation operation, QByteArray path, int errorNumber) {
    return IoError{kind, operation, std::move(path), errorNumber};
}

IoError IoError::sizeMismatch(QByteArray path, std::int64_t copiedBytes, std::int64_t expectedBytes) {
    IoError error{IoErrorKind::sizeMismatch, IoOperation::write, std::move(path), 0};
    error.m_copiedBytes = copiedBytes;
    error.m_expectedBytes = expectedBytes;
    return error;
}

IoError IoError::notPutBack(QByteArray path, QByteArray trashedPath, int errorNumber) {
    IoError error{IoErrorKind::notPutBack, IoOperation::moveToTrash, std::move(path), errorNumber};
    error.m_otherPath = std::move(trashedPath);
    return error;
}

QString IoError::message() const {
    const QString name = displayPath(m_path);
    if (m_operation == IoOperation::restoreFromTrash && m_kind == IoErrorKind::alreadyExists)
        return reelkeep::tr(
                   "“%1” could not be put back: another file now has its name. It stays in the Trash.")
            .arg(name);
    if (m_operation == IoOperation::restoreFromTrash && m_kind == IoErrorKind::changed)
        return reelkeep::tr(
                   "“%1” could not be put back: its copy in the Trash was changed, restored or removed "
                   "meanwhile. Nothing was done to it.")
            .arg(name);
    switch (m_kind) {
        case IoErrorKind::system:
            return operationSentence(m_operation).arg(name, systemReason(m_errorNumber));
        case IoErrorKind::changed:
            return reelkeep::tr("“%1” was changed, moved or deleted since the scan; nothing was done to it.")
                .arg(name);
        case IoErrorKind::notRegularFile:
            return reelkeep::tr("“%1” is not a regular file; nothing was done to it.").arg(name);
        case IoErrorKind::alreadyExists:
            return reelkeep::tr("“%1” already exists; it was not replaced.").arg(name);
        case IoErrorKind::sameFile:
            return reelkeep::tr("“%1” is the file being copied; it was not changed.").arg(name);
        case IoErrorKind::crossDevice:
            return reelkeep::tr("“%1” is on a disk without a usable trash folder; it was left where it is.")
                .arg(name);
        case IoErrorKind::noTrash:
            return reelkeep::tr("No safe trash folder was found for “%1”; it was left where it is.")
                .arg(name);
        case IoErrorKind::sizeMismatch:
            return reelkeep::tr("Copying “%1” stopped after %2 of %3 bytes; the incomplete copy was removed.")
                .arg(name, QLocale().toString(qlonglong{m_copiedBytes}),
                     QLocale().toString(qlonglong{m_expectedBytes}));
        case IoErrorKind::stopped:
            return reelkeep::tr("Work on “%1” was stopped before it was done.").arg(name);
        case IoErrorKind::notPutBack:
            return reelkeep::tr(
                       "“%1” was replaced by another file during the move, and that file could not be put "
                       "back; it is in the Trash as “%2”.")
                .arg(name, displayPath(m_otherPath));
    }
    return operationSentence(m_operation).arg(name, systemReason(m_errorNumber));
}

}  // namespace reelkeep::fs
