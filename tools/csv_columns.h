#pragma once
// What a column of a CSV file holds, told by its header name. The table's own names ("IRC
// Nick" ... "IRC Picture") come first; besides them, the names that mail and address book
// programs give their columns in their CSV exports ("Nickname", "E-mail Address", "E-mail 1 -
// Value", "Primary Email", "First Name", "Home City", "Notes", ...) are matched by their letters
// and digits alone, so "E-mail", "Email" and "e mail" are one name.

#include <QString>

namespace palvane::tool {

enum class ColumnRole {
    Field,     // one of the eight fields (field)
    GivenName, // parts of the name, joined when the file has no column for the whole name
    MiddleName,
    FamilyName,
    Email, // an e-mail address; rank orders several (the lowest is kept)
    City,  // of an address; rank tells home (0) from work (1) and other (2) addresses
    Country,
    Unknown,
};

struct ColumnMeaning {
    ColumnRole role = ColumnRole::Unknown;
    int field = -1;     // for ColumnRole::Field
    bool exact = false; // the table's own name of the field
    int rank = 0;
};

ColumnMeaning columnMeaning(const QString& header);

} // namespace palvane::tool
