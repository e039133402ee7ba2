#pragma once
// The table tool's check command: file integrity and table layout.

#include <QString>
#include <QStringList>

namespace palvane::tool {

struct CheckResult {
    QStringList problems; // empty when the table is fine
    qint64 records = 0;
};

// Runs the engine's integrity check and compares the table layout with the one the program
// expects: table "contacts", the eight fields at their positions with text or numeric types,
// and the index "IRC NICK INDEX" on "IRC Nick" under NOCASE admitting duplicates. Opens the
// file read-only; never changes it.
CheckResult checkTable(const QString& path);

} // namespace palvane::tool
