#pragma once
// A trial of what the windows do to the table, for the table tool's check: constraints,
// triggers and typed (STRICT) columns refuse values in ways no reading of the layout can
// foresee, so the program's own writes are tried, through Table, on an empty copy of the
// file's layout.

#include <QStringList>

struct sqlite3;

namespace palvane {

// Copies the layout of the database behind source (its tables, indexes, triggers and views,
// without rows) into a temporary file and runs, through Table: New Entry; Update Entry; a
// second contact with the same nick; a contact whose other details equal another's; Delete
// Entry of each. Returns one text per action that fails, naming the action and the engine's
// reason ("New Entry fails: NOT NULL constraint failed: contacts.IRC Nick"); empty when all
// succeed. The source is only read. Throws TableError when the layout cannot be read or
// copied.
QStringList tryTableActions(sqlite3* source);

} // namespace palvane
