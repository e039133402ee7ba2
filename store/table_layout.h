#pragma once
// How the program judges a contact table file: the columns it uses for the eight fields, what
// makes it refuse the file at open, and whether its first nick search can use the nick index.
// Table reads the layout at open and the table tool's check reports it, so both judge a file
// alike.

#include "store/table.h"

#include <QString>

#include <array>

struct sqlite3;

namespace palvane {

struct TableLayout {
    // Per field: the file's column (matched by name without regard to case; empty when the
    // table has none), its declared type, its position among the columns (-1 when missing)
    // and its declared text length (0 = unlimited).
    std::array<QString, FieldCount> columns;
    std::array<QString, FieldCount> types;
    std::array<int, FieldCount> positions;
    std::array<int, FieldCount> lengths{};

    // Why the program does not open the file ("the file holds no table \"contacts\"", ...);
    // empty when it does. A field that is missing is no refusal: the program opens the table
    // and fails at the first use of that field.
    QString refusal;
    // The engine's primary result code when reading the layout failed, else SQLITE_OK.
    // SQLITE_BUSY means another program holds a lock on the file.
    int errorCode = 0;

    TableLayout() { positions.fill(-1); }

    // Takes one column of the file, in the order the table lists them: it becomes the column
    // of the field it names, unless an earlier column already did. The one mapping of columns
    // to fields, for the program and for everything that reads or writes rows outside it.
    void addColumn(const QString& name, const QString& type, int position);
};

// Reads the layout of the table "contacts" through an open connection. Never throws.
TableLayout readTableLayout(sqlite3* db);

// What the first nick search finds wrong with the index "IRC NICK INDEX" for a table whose
// nick column is nickColumn: empty when the search can use it.
struct NickIndexCheck {
    QString problem;   // "the index does not exist", ...
    QString readError; // the engine's error when the index could not be looked up
};
NickIndexCheck inspectNickIndex(sqlite3* db, const QString& nickColumn);

} // namespace palvane
