#pragma once
// The table tool's import and export commands: contacts between a table and a CSV or vCard
// file. An import adds every contact of the file in one transaction or, on any fault in the
// file or the table, none.

#include "store/table.h"
#include "tools/contacts_format.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace palvane::tool {

enum class ContactFormat { Csv, VCard3, VCard4 };

// "csv", "vcard" (4.0), "vcard3", "vcard4"; nothing for another name.
std::optional<ContactFormat> formatByName(const QString& name);
// The format of a file to import: by its extension (.csv, .vcf, .vcard), else by its content
// (a vCard starts with BEGIN:VCARD), else CSV.
ContactFormat formatOfImport(const QString& fileName, const QByteArray& content);
// The format of an export without --format: vCard 4.0 for a .vcf or .vcard file, else CSV.
ContactFormat formatOfExport(const QString& fileName);

// Declared text lengths of the table's fields (0 = unlimited). Throws ToolError saying how to
// make the table when the file or its table "contacts" does not exist.
std::array<int, FieldCount> textLengths(const QString& tablePath);

// Cuts texts longer than their field to its length, as the table would, with a warning each.
void cutToFieldLengths(ReadContacts& read, const std::array<int, FieldCount>& lengths);

struct TransferReport {
    qsizetype count = 0;
    QStringList warnings;
};

// Reads file ("-" is standard input) and adds its contacts to the table. Throws ToolError
// (a malformed file: "FILE: line N: ...") or TableError; nothing is added then.
TransferReport importContacts(const QString& file, const QString& tablePath,
                              std::optional<ContactFormat> format, int localUtcOffsetSeconds);

// Writes every contact of the table, in natural order, to file ("-" or empty: standard
// output). An existing file is never overwritten.
TransferReport exportContacts(const QString& tablePath, const QString& file, ContactFormat format,
                              int localUtcOffsetSeconds);

} // namespace palvane::tool
