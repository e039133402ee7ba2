#pragma once
// The table tool's import and export commands: contacts between a table and a CSV or vCard
// file, one contact at a time, so that memory stays the same for a file of any size. An import
// adds every contact of the file in one transaction or, on any fault in the file or the table,
// none.

#include "store/table.h"
#include "tools/contacts_format.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace palvane::tool {

enum class ContactFormat { Csv, VCard3, VCard4 };

// "csv", "vcard" (4.0), "vcard3", "vcard4"; nothing for another name.
std::optional<ContactFormat> formatByName(const QString& name);
// The format of a file to import: by its extension (.csv, .vcf, .vcard), else by its first line
// that is not blank (a vCard starts with BEGIN:VCARD), else CSV.
ContactFormat formatOfImport(const QString& fileName, const QByteArray& firstLine);
// The format of an export without --format: vCard 4.0 for a .vcf or .vcard file, else CSV.
ContactFormat formatOfExport(const QString& fileName);

// What a transfer tells as it goes; either may be empty.
struct TransferHooks {
    WarningSink warning;
    // After each contact: the contacts so far, and the share of the whole done (0 to 1; below 0
    // when unknown, as for standard input).
    std::function<void(qint64 contacts, double fraction)> progress;
};

struct TransferReport {
    qint64 count = 0;
    qint64 extrasInNotes = 0; // import: values without a field of their own, put in the notes
};

// Reads file ("-" is standard input) and adds its contacts to the table, the values the table
// has no field for as lines after their notes (counted in the report). Embedded pictures are
// written to the directory "pictures" beside the table. Throws ToolError (a malformed file:
// "FILE: line N: ...") or TableError; nothing is added then, and the pictures written are
// removed. SIGINT, SIGTERM or SIGHUP end it the same way, and then the process by that signal
// (interruption.h).
TransferReport importContacts(const QString& file, const QString& tablePath,
                              std::optional<ContactFormat> format, int localUtcOffsetSeconds,
                              const TransferHooks& hooks = {});

// "Imported 3 contacts into T", and how many values went to the notes when any did.
QString importSummary(const TransferReport& report, const QString& tablePath);

// Writes every contact of the table, in natural order, to file ("-" or empty: standard
// output). An existing file is never overwritten, and the file appears only when complete.
TransferReport exportContacts(const QString& tablePath, const QString& file, ContactFormat format,
                              int localUtcOffsetSeconds, const TransferHooks& hooks = {});

} // namespace palvane::tool
