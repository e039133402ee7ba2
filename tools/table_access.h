#pragma once
// The table tool's way in and out of a contact table: the store's contact streams, which hold
// one contact at a time, opened with the advice the tool's user needs when the file or its
// table is missing.

#include "store/contact_stream.h"

#include <QString>

namespace palvane::tool {

// Both throw ToolError saying how to make the table when the file or its table "contacts" does
// not exist, TableError for any other fault.
ContactCursor openForExport(const QString& tablePath);
ContactInserter openForImport(const QString& tablePath);

} // namespace palvane::tool
