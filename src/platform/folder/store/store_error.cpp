// store_error.cpp: one translatable sentence per failure kind, naming the file
// and saying what the user can do about it.
#include "store_error.h"

#include <QDir>

#include "model/texts.h"

namespace reelkeep::store {

QString StoreError::message() const {
    const QString path = QDir::toNativeSeparators(m_path);
    QString text;
    switch (m_kind) {
        case StoreErrorKind::unavailable:
            text = reelkeep::tr(
                       "The file “%1” could not be opened. Check that its folder exists and that you "
                       "may write there.")
                       .arg(path);
            break;
        case StoreErrorKind::damaged:
            text = m_movedAsideTo.isEmpty()
                       ? reelkeep::tr(
                             "The file “%1” is damaged. Move it elsewhere and Reelkeep will start a "
                             "new one the next time it opens.")
                             .arg(path)
                       : reelkeep::tr(
                             "The file “%1” is damaged; it was kept as “%2”. Reelkeep will start a new "
                             "one the next time it opens.")
                             .arg(path, QDir::toNativeSeparators(m_movedAsideTo));
            break;
        case StoreErrorKind::newerSchema:
            text = reelkeep::tr(
                       "The file “%1” was written by a newer version of Reelkeep. Use that version, "
                       "or move the file elsewhere to start a new one.")
                       .arg(path);
            break;
        case StoreErrorKind::foreign:
            text = reelkeep::tr(
                       "The file “%1” does not belong to Reelkeep; it was left as it is. Move it "
                       "elsewhere to let Reelkeep start a new one.")
                       .arg(path);
            break;
        case StoreErrorKind::readOnly:
            text =
                reelkeep::tr("The file “%1” can only be read, so nothing was changed. Check its permissions.")
                    .arg(path);
            break;
        case StoreErrorKind::invalidInput:
            text = reelkeep::tr("A video could not be recorded in “%1”; nothing was changed.").arg(path);
            break;
        case StoreErrorKind::writeFailed:
            text = reelkeep::tr(
                       "Could not save to “%1”; nothing was changed. Check that the disk has free "
                       "space.")
                       .arg(path);
            break;
    }
    return m_detail.isEmpty() ? text : reelkeep::tr("%1 (%2)").arg(text, m_detail);
}

}  // namespace reelkeep::store
