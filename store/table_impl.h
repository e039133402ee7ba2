#pragma once
// Private parts of Table: the connection, the schema as opened, the keyset cursor and the
// record buffer. Only store/*.cpp include this.

#include "store/file_guard.h"
#include "store/sqlite_util.h"
#include "store/table.h"
#include "store/table_location.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <map>
#include <optional>

namespace palvane {

// One field value as read from the file or written by the windows.
struct Cell {
    int type = SQLITE_NULL; // SQLITE_NULL, _INTEGER, _FLOAT, _TEXT or _BLOB
    qint64 integer = 0;
    double real = 0.0; // the value as a number (SQLite's numeric reading of a text)
    QString text;      // the value as text

    bool isBlank() const { return type == SQLITE_NULL || text.isEmpty(); }
};
using Row = std::array<Cell, FieldCount>;

// Where the cursor stands in nick order: the nick exactly as stored (bound back with its own
// type so that comparisons agree with the index) and the rowid.
struct SortKey {
    int type = SQLITE_NULL;
    qint64 integer = 0;
    double real = 0.0;
    QByteArray bytes; // UTF-8 text or blob bytes

    // NULL and '' form the blank group that leads nick order.
    bool isBlank() const { return type == SQLITE_NULL || (type == SQLITE_TEXT && bytes.isEmpty()); }
    void bind(sqlite3_stmt* stmt, int index) const;
    static SortKey fromColumn(sqlite3_stmt* stmt, int column);
    static SortKey fromCell(const Cell& cell);
    static SortKey text(const QString& text);
};

// A record found by a cursor query.
struct Position {
    qint64 rowid = 0;
    SortKey key;
    Row row;
};

// The prepared statements, each prepared on first use and kept until close.
enum class Stmt : int {
    NaturalFrom,    // first with rowid >= ?1
    NaturalUpTo,    // last with rowid <= ?1
    ByRowid,        // rowid = ?1
    BlankFrom,      // first blank nick with rowid >= ?1
    BlankUpTo,      // last blank nick with rowid <= ?1
    NextNonBlank,   // first after (nick ?1, rowid ?2 - 1) among the non-blank nicks
    PriorNonBlank,  // last before (nick ?1, rowid ?2 + 1) among the non-blank nicks
    FirstNonBlank,  // first non-blank nick
    LastNonBlank,   // last non-blank nick
    Greater,        // first nick > ?1
    GreaterOrEqual, // first nick >= ?1
    Less,           // last nick < ?1
    Count,
    Exists,
    Insert,
    Delete,
    Size
};

struct Table::Impl {
    explicit Impl(Table* owner) : q(owner) {}

    Table* q;
    QString databaseName = QLatin1String(kTableFolder) + QLatin1Char('/');
    QString tableName = QLatin1String(kTableFileName);
    QString path; // absolute path as opened
    sqlite3* db = nullptr;
    FileGuard guard; // is the file at path still the one db opened?
    State state = State::Closed;
    bool readOnlyRequested = false;
    bool readOnly = false;
    int busyTimeout = 2000;
    bool nickOrder = false;
    bool nickIndexChecked = false;
    bool writing = false; // between beginWrite and its end

    // Schema as opened: the file's column name for each field (empty when missing) and the
    // declared text length (0 = unlimited).
    std::array<QString, FieldCount> columns;
    std::array<int, FieldCount> lengths{};

    // Cursor.
    bool hasCurrent = false;
    qint64 rowid = -1;
    SortKey key;
    Row row;

    // Record buffer of an edit or insert, and the key of a nick search.
    Row buffer;
    std::array<bool, FieldCount> modified{};
    Cell searchKey;

    std::array<sql::Statement, static_cast<int>(Stmt::Size)> statements;
    std::map<unsigned, sql::Statement> updates; // by mask of modified fields

    // table.cpp
    QString defaultPath() const;
    void openFile();
    void readSchema();
    void closeFile() noexcept;
    void requireActive() const;
    void requireWritable() const;
    // Refuses (TableError "<action> <path>: <what happened>") when the file at path is no
    // longer the one opened, or was written over by something other than the engine.
    void requireSameFile(const QString& action);
    [[noreturn]] void fail(const QString& action) const;
    void finishPending();
    void storeBuffer();
    void dropBuffer();
    void checkNickIndex();
    void emitChanged();
    void reread();

    // table_write.cpp
    void endWrite() noexcept; // rolls back what the engine still holds open

    // table_cursor.cpp
    QString selectList() const;
    QString sqlFor(Stmt id) const;
    sqlite3_stmt* statement(Stmt id);
    sqlite3_stmt* updateStatement(unsigned mask);
    std::optional<Position> fetchOne(sqlite3_stmt* stmt);
    std::optional<Position> byRowid(qint64 id);
    std::optional<Position> seekFirst();
    std::optional<Position> seekLast();
    std::optional<Position> seekAfter(qint64 id, const SortKey& sortKey);
    std::optional<Position> seekBefore(qint64 id, const SortKey& sortKey);
    std::optional<Position> seekNearest(const QString& nick);
    std::optional<Position> blankFrom(qint64 lowest);
    std::optional<Position> blankUpTo(qint64 highest);
    std::optional<Position> nonBlankFirst();
    std::optional<Position> nonBlankLast();
    std::optional<Position> nonBlankAfter(qint64 id, const SortKey& sortKey);
    std::optional<Position> nonBlankBefore(qint64 id, const SortKey& sortKey);
    void moveTo(std::optional<Position> position);
    QStringList cursorSql() const;

    // field.cpp
    const Cell& cellAt(int index) const;
    void requireField(int index) const;
    void writeCell(int index, Cell cell);
    Cell textCell(int index, const QString& text) const;
};

} // namespace palvane
