#pragma once
// How the columns of a CSV file become a contact, worked out once from the header row (see
// csv_columns.h for the names) and then applied to each record:
//
// - the table's fields from their columns; without a column for the whole name, the first,
//   middle and last names joined; of several e-mail columns the first filled one by rank
//   ("E-mail 1", "Primary") unless the file has "IRC Email";
// - the location from the first filled source: the location column, else the city and country
//   of the home, work, other and numbered addresses in that order;
// - the nick, when no nick column has one, from a messaging column holding an IRC address;
// - everything else the import knows (telephone numbers, further e-mails, company, department,
//   job title, dates, web pages, messaging addresses, categories, address lines beyond the
//   location, a nickname that gave way to the table's own) as the extras, in column order;
// - a contact without nick and name is named after its company, else its first telephone
//   number, else its e-mail address.
//
// Columns it does not know, or that another column of the same meaning took the place of, are
// counted when they hold something and named in one warning at the end.

#include "store/table.h"
#include "tools/contacts_format.h"

#include <QStringList>

#include <array>
#include <vector>

namespace palvane::tool {

class CsvPlan {
public:
    // Throws FormatError naming line when the header row names nothing the import can use.
    CsvPlan(const QStringList& header, int line);

    int columns() const { return int(header_.size()); }
    // Whether a record of this many cells can be read: the header's count, or fewer when the
    // missing ones are columns without a name (a header row ending in a separator).
    bool acceptsWidth(qsizetype cells) const;

    // The contact of a record whose cells match the header. Throws FormatError for an offset
    // that is not one. Notes which of the columns left out held something.
    void decode(const QStringList& cells, int line, DecodedContact& contact,
                const WarningSink& warn);

    // The warnings about columns left out that held something (at the end of the file).
    QStringList leftOutWarnings() const;

private:
    enum class Extra {
        Email,
        Phone,
        Company,
        Department,
        JobTitle,
        Birthday,
        BirthParts,
        Anniversary,
        Event,
        Web,
        Im,
        Categories,
        Nickname,
        Address
    };
    struct ExtraColumn {
        Extra kind;
        int column;
        QString type;   // from the column's name
        QString stem;   // ties it to its type columns
        int group = -1; // of Extra::Address
    };
    struct AddressGroup {
        QString stem;
        int rank = 0;
        int first = 0; // its first column
        QString type;
        std::array<int, 8> parts; // by AddressPartKind; streets beyond the first in lines
        std::vector<int> moreStreets;
    };

    QString cell(int column) const;
    QString typeOf(const ExtraColumn& extra) const;
    void fillName(ContactRow& row) const;
    void fillEmail(ContactRow& row, int& chosenColumn, int& chosenIndex) const;
    int fillLocation(ContactRow& row) const; // the address group it came from, or -1
    void fillNickFromMessaging(ContactRow& row, int& nickColumn, int& nickIndex) const;
    void fillOffsets(ContactRow& row, int line, const WarningSink& warn) const;
    void addExtra(const ExtraColumn& extra, DecodedContact& contact, int chosenEmailColumn,
                  int chosenEmailIndex, int nickColumn, int nickIndex, int locationGroup,
                  QString& company, QString& phone) const;
    QString addressLine(const AddressGroup& group, bool location) const;
    QString birthFromParts() const;

    QStringList header_;
    const QStringList* cells_ = nullptr;
    std::array<int, palvane::FieldCount> fields_;
    int given_ = -1;
    int middle_ = -1;
    int family_ = -1;
    int birthYear_ = -1;
    int birthMonth_ = -1;
    int birthDay_ = -1;
    std::vector<std::pair<int, int>> emails_;          // rank, column: in order of preference
    std::vector<AddressGroup> groups_;                 // in order of preference for the location
    std::vector<ExtraColumn> extras_;                  // in column order
    std::vector<int> messaging_;                       // in column order
    std::vector<std::pair<QString, int>> typeColumns_; // stem, column
    std::vector<int> leftOut_;
    std::vector<bool> leftOutHeld_;
    std::vector<int> unnamed_;
    std::vector<bool> unnamedHeld_;
};

} // namespace palvane::tool
