#pragma once
// Contacts as comma-separated values (RFC 4180): a header row naming the columns, then one row
// per contact.
//
// Reading: UTF-8 or UTF-16 (see LineReader); records end with CR LF, LF or CR; quoted fields
// may hold separators, doubled quotes and line breaks (kept as LF). The separator is the comma,
// or the semicolon or tab when the header row holds more of those. Header names are matched
// without regard to case, in any order (see csv_columns.h): the table's own names, and the
// names mail programs give their columns. A missing text column leaves the field blank, a
// missing numeric column gives 0, and when only one of "IRC Spin" (hours) and "IRC Time
// Displacement" (days) is given the other is derived from it; an empty numeric cell is blank.
// Without a column for the whole name, the first, middle and last names are joined; of several
// e-mail columns the first ("E-mail 1", "Primary") is kept and the others go to the notes;
// without a location column, the city and country of the home address (else the work address)
// make it. Columns the table has no field for are left out with one warning naming those that
// held anything. Blank lines are skipped. A malformed record throws FormatError naming its
// line.
//
// Writing: all eight fields in table order, CR LF after every record, fields quoted only when
// they hold a comma, a quote, a line break or surrounding blanks; numbers in the C locale, the
// day offset with as many digits as it takes to read back the same value.

#include "tools/contacts_format.h"
#include "tools/line_reader.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace palvane::tool {

class CsvReader : public ContactReader {
public:
    // Reads the header row. Throws FormatError.
    CsvReader(LineReader& lines, WarningSink warn);
    ~CsvReader() override;
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    bool next(ContactRow& row, int& line) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The header row, and one contact's record, each with its CR LF.
QByteArray csvHeader();
void appendCsvRecord(const ContactRow& row, QByteArray& out);

// A whole file at once (tests, small files).
ReadContacts readCsv(const QByteArray& bytes);
QByteArray writeCsv(const std::vector<ContactRow>& contacts);

} // namespace palvane::tool
