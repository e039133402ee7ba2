#pragma once
// The table tool's check command: whether the program can use a table file, and why not.

#include <QString>
#include <QStringList>

namespace palvane::tool {

struct CheckResult {
    // What the program refuses or fails on: damage, a layout it does not open, a field it
    // cannot find, a nick index its search cannot use, an action of the windows that the
    // table refuses. Empty exactly when the program can use the table.
    QStringList problems;
    // What works, but not as the program's own tables do (field order and types, an index
    // that does not speed up the nick search, a file the program can only read).
    QStringList notes;
    qint64 records = 0;
};

// Opens the file read-only and never changes it. Judges the layout through the same routine
// the program opens its table with, and tries the windows' writes on an empty copy of the
// layout. A file that another program has locked is reported as in use, not as damaged.
CheckResult checkTable(const QString& path);

} // namespace palvane::tool
