#pragma once
// Which contact table the commands a user types work on when they are not told one: the
// launcher that opens the address book, the importer and the table tool share this one rule,
// so that what is imported is what the address book shows.
//
// The rule: data/palvane.db under the working directory when it exists, else the user's own
// table in $XDG_DATA_HOME/palvane/data/palvane.db (~/.local/share when XDG_DATA_HOME is not an
// absolute path). A program run from its build tree always takes data/palvane.db: tests and
// development scripts work in a folder of their own.

#include <QString>

namespace palvane::tool {

struct TableLocation {
    QString folder;       // the working directory the address book runs in for this table
    QString table;        // the table's path: data/palvane.db, or absolute for the user's own
    bool perUser = false; // the user's own table, which is created when missing
};

// The folder of the user's own table. Throws ToolError when neither an absolute
// XDG_DATA_HOME nor HOME is set.
QString userTableFolder();

// The rule above; installed is false for a program run from its build tree.
TableLocation defaultTableLocation(bool installed);
// The rule for this program, installed or not.
TableLocation defaultTableLocation();

// Whether this program runs from an installation rather than from its build tree.
bool runsInstalled();

// Makes the user's own table (and its folder) when location is that and it does not exist
// yet; returns whether it made it. Another program making it at the same moment is no
// failure. Throws ToolError or TableError when it cannot be made.
bool createUserTableIfMissing(const TableLocation& location);

} // namespace palvane::tool
