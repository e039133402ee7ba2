#pragma once
// What a column of a CSV file holds, told by its header name. The table's own names ("IRC
// Nick" ... "IRC Picture") come first; besides them, the names that mail and address book
// programs give their columns in their CSV exports ("Nickname", "E-mail Address", "E-mail 1 -
// Value", "Primary Email", "First Name", "Home City", "Business Phone", "Company", "Notes", ...)
// are matched by their letters and digits alone, so "E-mail", "Email" and "e mail" are one
// name. Columns of the form "Phone 1 - Value" take their kind from the "Phone 1 - Type" column
// beside them (their stem, "phone1", ties them).

#include <QString>
#include <QStringList>

namespace palvane::tool {

enum class ColumnRole {
    Field,     // one of the eight fields (field)
    GivenName, // parts of the name, joined when the file has no column for the whole name
    MiddleName,
    FamilyName,
    Email,       // an e-mail address; rank orders several (the lowest is kept)
    AddressPart, // of the address group (group, rank), which part (part)
    Phone,       // the values the table has no field for: each goes to the notes
    Company,     //
    Department,  //
    JobTitle,    //
    Birthday,    // a whole date, or the day of the month beside BirthYear and BirthMonth
    BirthYear,   //
    BirthMonth,  //
    Anniversary, //
    Event,       // a date of the kind its type column names
    Web,         //
    Im,          // a messaging address; service names the network when the name tells it
    Categories,  //
    TypeOf,      // the kind of the values of the columns with the same stem
    Unnamed,     // an empty header name
    Unknown,
};

enum class AddressPartKind {
    PoBox,
    Extended,
    Street,
    City,
    Region,
    PostalCode,
    Country,
    Formatted
};

struct ColumnMeaning {
    ColumnRole role = ColumnRole::Unknown;
    int field = -1;     // for ColumnRole::Field
    bool exact = false; // the table's own name of the field
    int rank = 0;       // of e-mails and address groups
    QString stem;       // "phone1" of "Phone 1 - Value"; the address group of an address part
    QString type;       // the kind the name itself tells: "home" of "Home Phone"
    QString service;    // of ColumnRole::Im: "xmpp" of "Jabber"
    AddressPartKind part = AddressPartKind::Street;
};

ColumnMeaning columnMeaning(const QString& header);

// Header names the import knows besides the table's own, one or two for each kind of value,
// for the message that refuses a header row it cannot use.
QStringList wellKnownColumnNames();

} // namespace palvane::tool
