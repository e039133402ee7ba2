#pragma once
// What the reliability tests read back from a table file, with the engine alone (no code of
// the program in between): every record by rowid, and the engine's own integrity check.

#include "tests/reliability/store_values.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <map>

namespace palvane::reliability {

// "ok" for a sound file, else the engine's first complaint (or why the file did not open).
inline QString integrityCheck(const QString& path) {
    sqlite3* db = nullptr;
    QString result = QStringLiteral("cannot open");
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        else
            result = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
}

inline QString columnString(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

// Every record of the table by rowid; ok is false when the file could not be read.
inline std::map<qint64, StoreValues> readRows(const QString& path, bool* ok = nullptr) {
    std::map<qint64, StoreValues> rows;
    sqlite3* db = nullptr;
    bool success = false;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT rowid, \"IRC Nick\", \"IRC Name\", \"IRC Location\", "
                               "\"IRC Email\", \"IRC Notes\", \"IRC Time Displacement\", "
                               "\"IRC Spin\", \"IRC Picture\" FROM contacts ORDER BY rowid",
                               -1, &stmt, nullptr) == SQLITE_OK) {
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                StoreValues v;
                v.nick = columnString(stmt, 1);
                v.name = columnString(stmt, 2);
                v.location = columnString(stmt, 3);
                v.email = columnString(stmt, 4);
                v.notes = columnString(stmt, 5);
                v.timeDisplacement = sqlite3_column_double(stmt, 6);
                v.spin = sqlite3_column_int(stmt, 7);
                v.picture = columnString(stmt, 8);
                rows[sqlite3_column_int64(stmt, 0)] = v;
            }
            success = rc == SQLITE_DONE;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    if (ok)
        *ok = success;
    return rows;
}

// A short description of a record for failure messages.
inline QByteArray describe(const StoreValues& v) {
    return QStringLiteral("nick '%1' name '%2' notes %3 chars spin %4")
        .arg(v.nick, v.name)
        .arg(v.notes.size())
        .arg(v.spin)
        .toUtf8();
}

} // namespace palvane::reliability
