#pragma once
// What the contact readers and writers (CSV, vCard) share: the errors of the import and export
// commands, how values appear in messages, and small text helpers.

#include "store/schema.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace palvane::tool {

class LineReader;

// A failure of the table tool with the message the user sees.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// Malformed input. The message reads "line 12: unterminated quoted field".
class FormatError : public ToolError {
public:
    FormatError(int line, const QString& problem)
        : ToolError(QStringLiteral("line %1: %2").arg(line).arg(problem)), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Receives each warning as it arises (values that had to be changed or left out; each names
// its line and contact), so that a file of a million contacts never holds them all.
using WarningSink = std::function<void(const QString&)>;

// A contact as a file gives it: the table's fields, and apart from them the values the table
// has no field for, each as one labelled line in the order of the file ("Phone (cell): ...",
// "E-mail: ...", see extra_lines.h). The import appends the extras to the notes
// (appendExtrasToNotes); a caller that keeps them elsewhere, or not at all, takes row alone.
struct DecodedContact {
    ContactRow row;
    QStringList extras;
};

// The extras after the contact's own note, one line each; returns how many went there.
int appendExtrasToNotes(DecodedContact& contact);

// Reads contacts from a file's lines one at a time (CsvReader, VCardReader). Records that hold
// nothing are skipped, with a warning at the end that counts them.
class ContactReader {
public:
    virtual ~ContactReader() = default;
    // The next contact and the line it starts on; false at the end. Throws FormatError.
    virtual bool next(DecodedContact& contact, int& line) = 0;
};

// Contacts read from a whole file at once, each as the import stores it (its extras in its
// notes) with the line on which it starts, and the warnings. For tests and small files; the
// import command streams instead.
struct ReadContacts {
    std::vector<ContactRow> contacts;
    std::vector<int> lines;
    QStringList warnings;
    qint64 extrasInNotes = 0; // lines the contacts' extras added to their notes
};

// Every contact of bytes, through the reader that open makes on their lines and the warning
// sink it is given. The extras go to the notes as an import puts them there, or are left out
// (a card that keeps them elsewhere, as a server's does).
enum class Extras { ToNotes, LeftOut };
ReadContacts
readWholeText(const QByteArray& bytes,
              const std::function<std::unique_ptr<ContactReader>(LineReader&, WarningSink)>& open,
              Extras extras = Extras::ToNotes);

// A value as messages show it: control characters (a NUL too) as escapes such as \0 and \x1B,
// and a long value cut to its first 60 characters with "..." and its length.
QString shown(const QString& value);

// CR LF and lone CR become LF, the line break the program's notes box writes.
QString normaliseLineBreaks(QString text);

// Bytes that must be UTF-8 as text; FormatError naming line when they are not.
QString decodeUtf8(QByteArrayView bytes, int line);
// The same without the error: nothing when the bytes are not UTF-8.
std::optional<QString> utf8Text(QByteArrayView bytes);

// A location from the parts of an address: "Locality, Country", or the one that is not empty.
QString placeName(const QString& locality, const QString& country);

// "contact 'nick'" (or the name, when the nick is blank) for warnings.
QString describeContact(const ContactRow& row);

// The contact's name when it has neither nick nor name, so that it can still be found: the
// organisation, else the first telephone number, else the e-mail address.
void nameFromOtherValues(ContactRow& row, const QString& organisation, const QString& phone);

// Whether nothing of the contact would show: every text blank, no offset, no extras.
bool holdsNothing(const DecodedContact& contact);

// What an error number means to the user: "the disk is full" rather than the system's text.
QString systemErrorText(int errorNumber);

} // namespace palvane::tool
