// store_fixtures.h: raw access to a store's file, to damage it the way disks
// and other programs do.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

namespace reelkeep::store::testing {

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

// Runs SQL on its own connection, bypassing our code; true on success.
inline bool runSql(const QString& path, const std::string& sql) {
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Overwrites every page after the first with junk: the b-trees break, the header survives.
inline void damagePages(const QString& path) {
    QByteArray bytes = readAll(path);
    for (qsizetype i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    writeAll(path, bytes);
}

}  // namespace reelkeep::store::testing
