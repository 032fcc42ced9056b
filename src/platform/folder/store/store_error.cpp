// store_error.cpp: one sentence per failure kind, naming the file.
#include "store_error.h"

namespace reelkeep::store {

QString StoreError::message() const {
    QString text;
    switch (m_kind) {
        case StoreErrorKind::unavailable:
            text = QStringLiteral("Could not open %1").arg(m_path);
            break;
        case StoreErrorKind::damaged:
            text = m_movedAsideTo.isEmpty()
                       ? QStringLiteral("%1 is damaged").arg(m_path)
                       : QStringLiteral("%1 is damaged; it was kept as %2").arg(m_path, m_movedAsideTo);
            break;
        case StoreErrorKind::newerSchema:
            text = QStringLiteral("%1 was written by a newer version of Reelkeep").arg(m_path);
            break;
        case StoreErrorKind::foreign:
            text = QStringLiteral("%1 is not a Reelkeep database").arg(m_path);
            break;
        case StoreErrorKind::readOnly:
            text = QStringLiteral("%1 can only be read").arg(m_path);
            break;
        case StoreErrorKind::invalidInput:
            text = QStringLiteral("Invalid identifier for %1").arg(m_path);
            break;
        case StoreErrorKind::writeFailed:
            text = QStringLiteral("Could not save to %1; nothing was changed").arg(m_path);
            break;
    }
    return m_detail.isEmpty() ? text : text + QStringLiteral(" (") + m_detail + u')';
}

}  // namespace reelkeep::store
