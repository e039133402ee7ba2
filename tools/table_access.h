#pragma once
// The table tool's own way in and out of a contact table, one contact at a time: the import
// adds rows as it reads them, the export writes rows as it steps through them, so neither ever
// holds the whole table.

#include "store/schema.h"
#include "store/table.h"

#include <QString>

#include <array>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace palvane::tool {

// Declared text lengths of the table's fields (0 = unlimited). Throws ToolError saying how to
// make the table when the file or its table "contacts" does not exist.
std::array<int, FieldCount> textLengths(const QString& tablePath);

// Adds contacts inside one transaction: commit() keeps them all; a sink destroyed without
// commit() leaves the table as it was. Throws TableError.
class ContactSink {
public:
    explicit ContactSink(const QString& tablePath);
    ~ContactSink();
    ContactSink(const ContactSink&) = delete;
    ContactSink& operator=(const ContactSink&) = delete;

    // Declared text lengths of the fields (0 = unlimited); add() cuts longer texts to them.
    const std::array<int, FieldCount>& lengths() const;
    void add(const ContactRow& row);
    void commit();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Every contact of a table in natural (rowid) order, read one at a time through one statement.
class ContactCursor {
public:
    explicit ContactCursor(const QString& tablePath);
    ~ContactCursor();
    ContactCursor(const ContactCursor&) = delete;
    ContactCursor& operator=(const ContactCursor&) = delete;

    // The number of contacts (one COUNT; only for a progress display).
    qint64 count();
    // The next contact into row; false after the last. Throws TableError.
    bool next(ContactRow& row);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace palvane::tool
