#pragma once
// Small helpers over the SQLite C API shared by the table, the schema functions and the tool:
// statement ownership, error texts, identifier quoting, declared lengths and text cutting.

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

namespace palvane::sql {

// The engine's description of the last failure on a connection.
QString errorText(sqlite3* db);

// What the user of a window is told of the last failure: for another program's lock, what it
// means and what to do rather than the engine's bare "database is locked".
QString failureText(sqlite3* db);

// "name" with embedded quotes doubled, for column and index names that hold spaces.
QString quoteIdentifier(const QString& name);

// Character length declared by a column type such as VARCHAR(64) or CHAR(10); 0 when the type
// declares none (TEXT, REAL, ...), which means unlimited.
int declaredLength(const QString& declaredType);

// Cuts text to at most maxChars Unicode code points (0 = unlimited), never between the two
// halves of a surrogate pair.
QString cutToLength(const QString& text, int maxChars);

// Owns one prepared statement. Prepared once and kept for the life of the connection.
class Statement {
public:
    Statement() = default;
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
    Statement& operator=(Statement&& other) noexcept;

    // Returns the SQLite result code; on success the statement is ready to bind and step.
    int prepare(sqlite3* db, const QString& sql, bool persistent = true);
    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }
    QString sql() const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement and clears its bindings when a use of it ends, so that no read
// transaction (and so no lock) outlives the step that needed it.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~StatementUse() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* stmt_;
};

// Binds text as UTF-8 (copied by SQLite); a null QString binds NULL.
int bindText(sqlite3_stmt* stmt, int index, const QString& text);

// Column text as a QString (empty for NULL).
QString columnText(sqlite3_stmt* stmt, int column);

// Runs SQL without results; returns the SQLite result code.
int exec(sqlite3* db, const QString& sql);

// Makes every commit on the connection durable before it returns, including the commit point
// itself: with a rollback journal a commit is the deletion of the journal, and only EXTRA syncs
// the directory after that deletion (FULL leaves it to the file system, so a power cut can bring
// the journal back and roll a confirmed store back). Returns the SQLite result code.
int makeCommitsDurable(sqlite3* db);

} // namespace palvane::sql
