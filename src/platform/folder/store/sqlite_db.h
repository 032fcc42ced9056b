// sqlite_db.h: owned SQLite connections and statements for our two stores.
// Every handle has one owner and is finalised exactly once; no SQL is ever
// built from data (values are bound), so an identifier cannot change a query.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

namespace reelkeep::store {

struct ConnectionClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionClose>;

// dev_t and ino_t are unsigned 64-bit; SQLite integers are signed: store the bits.
inline std::int64_t asStored(std::uint64_t value) {
    return static_cast<std::int64_t>(value);
}
inline std::uint64_t fromStored(std::int64_t value) {
    return static_cast<std::uint64_t>(value);
}

// The folder for a store (created 0700 with its parents); false when it cannot exist.
bool makeFolderFor(const QString& filePath, QString* reason);

// SQLite's own sentence for the last failure on this connection.
QString lastError(sqlite3* db);
// The database file is damaged or is no database: the codes that justify moving
// it aside (favorites) or deleting it (the index), and no others: a busy lock
// or an I/O error says nothing about the file.
bool isDamage(int code);
int execute(sqlite3* db, const char* sql);
// Switches to WAL unless it is on; another connection switching at the same
// moment (busy) counts as done. False, with SQLite's reason, otherwise.
bool setWalMode(sqlite3* db, QString* reason);

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int prepareCode() const { return m_prepareCode; }
    explicit operator bool() const { return m_stmt != nullptr; }

    void bindInt(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    void bindDouble(int index, double value) { sqlite3_bind_double(m_stmt, index, value); }
    void bindNull(int index) { sqlite3_bind_null(m_stmt, index); }
    void bindText(int index, std::string_view text) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int index, const void* bytes, std::size_t size) {
        sqlite3_bind_blob(m_stmt, index, bytes, static_cast<int>(size), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return sqlite3_step(m_stmt); }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    std::int64_t intAt(int column) const { return sqlite3_column_int64(m_stmt, column); }
    double doubleAt(int column) const { return sqlite3_column_double(m_stmt, column); }
    bool isNullAt(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    std::string_view blobAt(int column) const {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return bytes ? std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                     : std::string_view();
    }
    std::string_view textAt(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                    : std::string_view();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_prepareCode = SQLITE_OK;
};

// Rolls back unless committed, so an early return never leaves a transaction open.
class Transaction {
public:
    // BEGIN IMMEDIATE for writers: the write lock is taken (or waited for) up front.
    Transaction(sqlite3* db, bool isWriter);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    int beginCode() const { return m_beginCode; }
    int commit();

private:
    sqlite3* m_db;
    int m_beginCode;
    bool m_isOpen;
};

}  // namespace reelkeep::store
