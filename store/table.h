#pragma once
// The contact table: one SQLite file data/palvane.db holding the table `contacts` with eight
// fields and the index "IRC NICK INDEX". `Table` is the table component every window reaches
// the contacts through (the main window's `Table1`).
//
// States: Closed -> (open) Browsing; Browsing -> (edit) Editing, or Inserting on an empty table;
// Editing/Inserting -> (post) Browsing; Browsing -> (setKey) KeyEntry -> (gotoNearest) Browsing;
// any -> (close) Closed.
//
// Orders: natural order is rowid order. Once setIndexName("IRC NICK INDEX") has been called the
// table follows nick order (nick under NOCASE with NULL and '' first, then rowid) until close.
//
// Cursor: keyset based. The current record is remembered by its rowid and sort key; every move
// or search is one indexed LIMIT 1 query, so nothing ever loads the whole table.
//
// Current record after each operation:
//   open                     first record in natural order, none when empty
//   next on last/prior first unchanged
//   insertRecord             the new record
//   post                     the stored record, at its place in the current order
//   deleteRecord             the record that followed; else the new last; else none
//   refresh                  unchanged if it still exists, else as after a delete
//   setIndexName             unchanged
//   gotoNearest              first nick >= key, else the last record, else none
//   beginWrite               as refresh (what the file holds once the lock is taken)
//   commitWrite              unchanged
//   rollbackWrite            as refresh
//
// Writes of several steps: between beginWrite() and commitWrite() the table holds the file's
// write lock, so no other program writes in between and what was read there still holds when
// the stores that depend on it are made (a nick found missing before its record is added, the
// notes read before a line goes below them). Other programs can read meanwhile but see none of
// these stores until commitWrite() makes them durable together. beginWrite() waits up to the
// busy timeout for another program's write to end, then fails. rollbackWrite(), a failed
// commitWrite() and closing the table drop the stores made since beginWrite() (and a pending
// record). TableWrite holds a write for a scope.
//
// Errors are thrown as TableError with the message the user sees (without a final full stop).
// Every change of the current record or of stored values emits dataChanged().

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

namespace palvane {

class TableError : public std::runtime_error {
public:
    explicit TableError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// Field positions (0-based) of the eight fields, in the order of the table's columns.
enum FieldIndex : int {
    FieldNick = 0,
    FieldName = 1,
    FieldLocation = 2,
    FieldEmail = 3,
    FieldNotes = 4,
    FieldTimeDisplacement = 5,
    FieldSpin = 6,
    FieldPicture = 7,
    FieldCount = 8
};

inline constexpr const char* kNickIndexName = "IRC NICK INDEX";

class Table;

// A field of the current record, reached through Table::fieldByName. Reads give "" or 0 for a
// blank field or when no record is current. Writes need the Editing/Inserting state (or, for
// the nick in KeyEntry state, set the search key); text is cut to the field's declared length.
class Field {
public:
    Field(Table* table, int index) : table_(table), index_(index) {}
    int index() const { return index_; }
    QString fieldName() const;
    bool isNull() const;
    QString asString() const;
    double asFloat() const;
    int asInteger() const;
    void setAsString(const QString& value);
    void setAsFloat(double value);
    void setAsInteger(int value);
    void clear(); // makes the field blank

private:
    Table* table_;
    int index_;
};

// One value of an insertion from a value list: std::nullopt is the blank marker.
using InsertValue = std::optional<std::int64_t>;
using InsertValues = std::array<InsertValue, FieldCount>;

class Table : public QObject {
    Q_OBJECT

public:
    enum class State { Closed, Browsing, Editing, Inserting, KeyEntry };

    explicit Table(QObject* parent = nullptr);
    ~Table() override;

    // Where the table lives: DatabaseName is a directory relative to the working directory at
    // the time of opening ("data/"), TableName the file in it ("palvane.db").
    void setDatabaseName(const QString& directory);
    void setTableName(const QString& fileName);
    QString databaseName() const;
    QString tableName() const;
    QString filePath() const; // directory + file name as opened

    // Active = true opens (never creates anything), false closes. A failed open leaves the
    // table closed and throws. Closing stores a pending changed record if it can and drops it
    // otherwise: closing itself never fails.
    void setActive(bool active);
    bool active() const;
    void open() { setActive(true); }
    void close() { setActive(false); }

    State state() const;
    bool hasCurrent() const; // a record is current

    // Number of records (COUNT). Throws on a closed table.
    qint64 recordCount();
    // Whether the table holds no record; cheaper than recordCount() (one EXISTS). Throws on a
    // closed table with the same message as recordCount().
    bool isEmpty();

    void next();
    void prior();
    void first();
    void last();
    void refresh(); // re-read from the file

    void insertRecord(const InsertValues& values);
    // Starts a new record with every field blank (Inserting); the field writes fill it and
    // post() stores it whole, in one write, so no blank record is ever seen by others.
    void append();
    void edit();
    void post();
    void cancel(); // drops a pending edit or insert
    void deleteRecord();

    void setIndexName(const QString& name);
    QString indexName() const;
    // Whether two nicks are the same nick to the nick index: equal but for the case of the
    // letters A to Z.
    static bool sameNick(const QString& a, const QString& b);

    // Nearest-nick search: setKey() clears the key and enters KeyEntry; fieldByName("IRC NICK")
    // .setAsString(text) sets the key; gotoNearest() leaves KeyEntry and positions.
    void setKey();
    void gotoNearest();

    // Throws "Field '%s' not found" for an unknown name (case ignored) or a closed table.
    Field fieldByName(const QString& name);
    // The same lookup by the field's index. The error names the field as the caller spells
    // it: as the table declares it ("IRC Nick") or in capitals ("IRC NICK"), as some windows do.
    enum class Spelling { AsDeclared, InCapitals };
    Field fieldByName(FieldIndex index, Spelling spelling = Spelling::AsDeclared);
    Field field(int index) { return Field(this, index); }

    // Declared maximum length in characters of a text field; 0 means unlimited.
    int fieldLength(int index) const;
    // The column names as the file declares them, in field order.
    QString fieldNameAt(int index) const;

    // How long a read or write waits for another program's lock before it fails
    // (milliseconds; 2000 by default).
    void setBusyTimeout(int milliseconds);
    int busyTimeout() const;

    // Open read-only even when the file could be written (takes effect at the next open). A
    // file or directory that cannot be written is always opened read-only. On a read-only
    // table insertRecord and edit fail with "Cannot modify a read-only dataset".
    void setReadOnly(bool readOnly);
    bool readOnly() const;

    // The SQL of every statement that positions the cursor (for query-plan checks).
    QStringList cursorStatementTexts() const;

    // Rowid of the current record, or -1 (for tests and tools).
    qint64 currentRowId() const;

    // A write of several steps (see the top of this file). beginWrite on a read-only table
    // fails as edit does; a second beginWrite before the end of the first fails.
    void beginWrite();
    void commitWrite();
    void rollbackWrite(); // no write under way: nothing happens
    bool writing() const;

signals:
    // The current record changed, or stored values of it changed (the data source's role).
    void dataChanged();

private:
    friend class Field;
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Holds a write from its construction to commit(); one that ends uncommitted (an error on the
// way) is rolled back.
class TableWrite {
public:
    explicit TableWrite(Table& table) : table_(table) { table_.beginWrite(); }
    ~TableWrite();
    TableWrite(const TableWrite&) = delete;
    TableWrite& operator=(const TableWrite&) = delete;
    void commit() { table_.commitWrite(); }

private:
    Table& table_;
};

} // namespace palvane
