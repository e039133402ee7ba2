#pragma once
// Contacts in and out of a table file one at a time, so that a table or a contact file of any
// size passes through the same memory: a cursor that steps through the rows, and an inserter
// that adds the rows a source gives. Like the schema functions these work outside the program
// (the table tool, the tests, the benchmarks).

#include "store/schema.h"
#include "store/table.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

struct sqlite3;

namespace palvane {

// Thrown where the file holds no table "contacts" at all, rather than one that lacks a field.
// The message is the one for the missing first field.
class MissingTableError : public TableError {
public:
    using TableError::TableError;
};

// Every contact of a table in natural (rowid) order, read through one statement. Throws
// TableError; MissingTableError without a table "contacts".
class ContactCursor {
public:
    // Opens the file read-only; cacheKiB sizes the engine's page cache (0: its default).
    explicit ContactCursor(const QString& filePath, int cacheKiB = 0);
    ~ContactCursor();
    ContactCursor(ContactCursor&&) noexcept;
    ContactCursor& operator=(ContactCursor&&) noexcept;

    // The number of contacts (one COUNT).
    qint64 count();
    // The next contact into row; false after the last, which also ends the read transaction.
    bool next(ContactRow& row);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Adds contacts through one prepared statement; a null QString is stored as NULL and texts are
// cut to the lengths the file declares. Throws TableError; MissingTableError without a table
// "contacts".
class ContactInserter {
public:
    // Opens the file; cacheKiB sizes the engine's page cache, which also bounds the memory the
    // indexes are rebuilt in before the sort spills to a temporary file.
    ContactInserter(const QString& filePath, int cacheKiB);
    ~ContactInserter();
    ContactInserter(ContactInserter&&) noexcept;
    ContactInserter& operator=(ContactInserter&&) noexcept;

    // Declared text lengths of the fields (0 = unlimited).
    const std::array<int, FieldCount>& lengths() const;

    // Adds the contacts that next fills in, until it returns false, in one transaction: all of
    // them or, when next or the table throws, none. The row next gets still holds the contact
    // before. With rebuildIndexes, filling a table that is empty at the start drops its indexes
    // and builds them again once at the end, in the same transaction: one sort is several times
    // faster than updating them row by row, and the table never exists without them. Returns
    // the number added.
    qint64 insert(const std::function<bool(ContactRow&)>& next, bool rebuildIndexes);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Changes single contacts, found by rowid, in transactions that may also hold the changes of a
// companion database attached to the same connection (a synchronisation's own state): the
// table and the companion commit together or not at all, and every commit is durable. The
// table's rollback journal exists during each write, as for the program's own stores, so a
// running program's file guard sees an ordinary store. Keep transactions short: the program
// waits for them before its own stores.
class ContactWriter {
public:
    // Opens the table; with a companion path, attaches that file (made when missing) under the
    // schema name. Throws TableError; MissingTableError without a table "contacts".
    ContactWriter(const QString& tablePath, const QString& companionPath,
                  const QString& companionSchema);
    ~ContactWriter();
    ContactWriter(ContactWriter&&) noexcept;
    ContactWriter& operator=(ContactWriter&&) noexcept;

    // Declared text lengths of the fields (0 = unlimited).
    const std::array<int, FieldCount>& lengths() const;
    // The connection, for the companion's own statements inside the same transactions.
    sqlite3* connection() const;
    // Throws the engine's last error as a TableError naming the table.
    [[noreturn]] void fail() const;

    // With immediate, takes the table's write lock at once (for a transaction that reads a
    // contact and writes it back); else locks are taken as needed, so that a transaction
    // writing only the companion never keeps the program from storing.
    void begin(bool immediate = true);
    void commit();
    void rollback() noexcept;

    // The contact with that rowid; false when there is none.
    bool read(qint64 rowid, ContactRow& row);
    // Up to limit contacts with a rowid above after, in rowid order, read in one short read.
    std::vector<std::pair<qint64, ContactRow>> readAfter(qint64 after, int limit);
    // Texts are cut to the declared lengths, as every store does. Returns the new rowid.
    qint64 insert(const ContactRow& row);
    // False when the contact is gone.
    bool update(qint64 rowid, const ContactRow& row);
    bool remove(qint64 rowid);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace palvane
