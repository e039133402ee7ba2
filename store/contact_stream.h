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

} // namespace palvane
