#pragma once
// Contacts as comma-separated values (RFC 4180): a header row naming the columns, then one row
// per contact.
//
// Reading: UTF-8 or UTF-16 (see LineReader), and Windows-1252 for a file that is neither (with
// one warning; control characters that no text holds refuse it as binary); records end with
// CR LF, LF or CR, the last one with or without. Quoted fields may hold separators, doubled
// quotes and line breaks (kept as LF). The separator is the comma, or the semicolon or tab when
// the header row holds more of those. Header names are matched without regard to case, in any
// order (csv_columns.h, csv_plan.h): the table's own names, and the names mail programs give
// their columns. A missing text column leaves the field blank, a file without either offset
// column gives 0; of "IRC Spin" (hours) and "IRC Time Displacement" (days) a record that gives
// one has the other derived from it, and one that gives both must give the same offset. An
// empty numeric cell is blank. Columns without a name are allowed (a header row ending in a
// separator): a warning names those that held anything. Blank lines, and rows whose every
// cell is empty (counted in a warning), are skipped. A malformed record, or one longer than any
// contact (read_limits.h), throws FormatError naming its line.
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

    bool next(DecodedContact& contact, int& line) override;

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
