#pragma once
// Contacts as comma-separated values (RFC 4180, UTF-8): a header row naming the fields as the
// table does ("IRC Nick", ..., "IRC Picture"), then one row per contact.
//
// Reading: a leading byte order mark is skipped; records end with CR LF, LF or CR; quoted
// fields may hold commas, doubled quotes and line breaks (kept as LF). Header names are matched
// without regard to case, in any order, and any subset of the eight fields may be given: a
// missing text column leaves the field blank, a missing numeric column gives 0, and when only
// one of "IRC Spin" (hours) and "IRC Time Displacement" (days) is given the other is derived
// from it. An empty numeric cell is blank. Blank lines are skipped. Any malformed record throws
// FormatError naming its line, so a file is read completely or not at all.
//
// Writing: all eight fields in table order, CR LF after every record, fields quoted only when
// they hold a comma, a quote, a line break or surrounding blanks; numbers in the C locale, the
// day offset with as many digits as it takes to read back the same value.

#include "tools/contacts_format.h"

#include <QByteArray>

#include <vector>

namespace palvane::tool {

ReadContacts readCsv(const QByteArray& bytes);
QByteArray writeCsv(const std::vector<ContactRow>& contacts);

} // namespace palvane::tool
