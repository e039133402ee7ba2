#pragma once
// Creating and filling contact tables outside the program: the table tool and the tests use
// this; the program itself never creates, restructures or repairs its table.

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace palvane {

// One contact as plain values; std::nullopt / null strings are stored as blank (NULL).
struct ContactRow {
    QString nick;
    QString name;
    QString location;
    QString email;
    QString notes;
    std::optional<double> timeDisplacement = 0.0; // days
    std::optional<int> spin = 0;                  // hours
    QString picture;
};

// Declared lengths of the text fields (VARCHAR(n)); the store cuts longer texts to these.
inline constexpr int kNickLength = 64;
inline constexpr int kNameLength = 128;
inline constexpr int kLocationLength = 128;
inline constexpr int kEmailLength = 254;
inline constexpr int kNotesLength = 32000;
inline constexpr int kPictureLength = 4096;

// The CREATE statements of a new table and its nick index.
QString contactTableSql();
QString nickIndexSql();

// Creates a new database file holding the empty table and its index. Creates the parent
// directory when missing; throws TableError when the file already exists or cannot be made.
void createContactTable(const QString& filePath);

// Appends rows in one transaction (a null QString is stored as NULL); texts are cut to the
// lengths the file declares. Throws TableError. ContactInserter (store/contact_stream.h) takes
// rows as they come.
void insertContacts(const QString& filePath, const std::vector<ContactRow>& rows);

// Appends count generated rows in one transaction through one prepared statement: make(i, row)
// fills row i (row starts as a default ContactRow). For large demo and benchmark tables.
void insertContacts(const QString& filePath, qint64 count,
                    const std::function<void(qint64, ContactRow&)>& make);

// Reads every row in rowid order (tests use this; ContactCursor reads one at a time).
std::vector<ContactRow> readContacts(const QString& filePath);

} // namespace palvane
