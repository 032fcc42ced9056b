// sqlite_db.cpp: thin ownership over the SQLite C API.
#include "sqlite_db.h"

#include <sys/stat.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace reelkeep::store {

bool makeFolderFor(const QString& filePath, QString* reason) {
    const QByteArray native = QFile::encodeName(filePath);
    const qsizetype slash = native.lastIndexOf('/');
    if (slash <= 0) return true;
    const QByteArray folder = native.left(slash);
    // Each prefix ending before a '/', then the folder itself: mkdir -p with mode 0700.
    for (qsizetype end = 1; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != '/') continue;
        if (::mkdir(folder.left(end).constData(), 0700) != 0 && errno != EEXIST) {
            if (reason) *reason = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (reason) *reason = QStringLiteral("%1 is not a folder").arg(QFile::decodeName(folder));
        return false;
    }
    return true;
}

QString lastError(sqlite3* db) {
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

bool isDamage(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

int execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool setWalMode(sqlite3* db, QString* reason) {
    {
        Statement current(db, "PRAGMA journal_mode");
        if (current && current.step() == SQLITE_ROW && current.textAt(0) == "wal") return true;
    }
    const int code = execute(db, "PRAGMA journal_mode = WAL");
    const int primary = code & 0xFF;
    if (code == SQLITE_OK || primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return true;
    *reason = lastError(db);
    return false;
}

Statement::Statement(sqlite3* db, std::string_view sql) {
    m_prepareCode = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                       SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (m_prepareCode != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

Transaction::Transaction(sqlite3* db, bool isWriter)
    : m_db(db),
      m_beginCode(execute(db, isWriter ? "BEGIN IMMEDIATE" : "BEGIN")),
      m_isOpen(m_beginCode == SQLITE_OK) {}

Transaction::~Transaction() {
    if (m_isOpen) execute(m_db, "ROLLBACK");
}

int Transaction::commit() {
    const int code = execute(m_db, "COMMIT");
    if (code == SQLITE_OK) m_isOpen = false;
    return code;
}

}  // namespace reelkeep::store
