#pragma once
// The connection that the schema functions and the contact streams open on a table file: closed
// on every way out, every commit durable, failures naming the action and the file. Only
// store/*.cpp include this.

#include "store/sqlite_util.h"
#include "store/table.h"

#include <QFileInfo>
#include <QString>

namespace palvane {

class SchemaConnection {
public:
    SchemaConnection(const QString& filePath, int flags, const QString& action)
        : path_(filePath), action_(action) {
        if (!(flags & SQLITE_OPEN_CREATE) && !QFileInfo::exists(filePath))
            throw TableError(QStringLiteral("%1 %2: the file does not exist").arg(action, path_));
        if (sqlite3_open_v2(filePath.toUtf8().constData(), &db_, flags, nullptr) != SQLITE_OK ||
            sql::makeCommitsDurable(db_) != SQLITE_OK) {
            const QString message = sql::errorText(db_);
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw TableError(QStringLiteral("%1 %2: %3").arg(action, path_, message));
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 2000);
    }
    ~SchemaConnection() { sqlite3_close_v2(db_); }
    SchemaConnection(const SchemaConnection&) = delete;
    SchemaConnection& operator=(const SchemaConnection&) = delete;

    sqlite3* get() const { return db_; }
    [[noreturn]] void fail() const {
        throw TableError(QStringLiteral("%1 %2: %3").arg(action_, path_, sql::errorText(db_)));
    }
    void exec(const QString& statement) const {
        if (sql::exec(db_, statement) != SQLITE_OK)
            fail();
    }
    void prepare(sql::Statement& statement, const QString& text, bool persistent) const {
        if (statement.prepare(db_, text, persistent) != SQLITE_OK)
            fail();
    }

private:
    QString path_;
    QString action_;
    sqlite3* db_ = nullptr;
};

} // namespace palvane
