#pragma once
// The table tool's add and set commands: a contact created, or fields of the contact with a
// nick changed, under the rules of the window's New Entry and Update Entry. Texts longer than
// their field are cut with a warning, the offset is kept in hours and in days alike, and each
// command is one write through the table component, so a contact is never seen half written,
// and what the command read for it (whether the nick exists, the notes) holds until it is
// stored: commands run at the same instant wait for each other.

#include "core/clock_format.h"
#include "tools/contacts_format.h"
#include "tools/show_contact.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

namespace palvane::tool {

// The fields to write; a field without a value keeps what it holds (a new contact: blank).
struct ContactEdit {
    std::optional<QString> name;
    std::optional<QString> email;
    std::optional<QString> location;
    std::optional<QString> notes;
    std::optional<QString> appendNotes; // one more line at the end of the notes
    bool dated = false;                 // the appended line starts with today's date
    std::optional<int> offsetHours;
    std::optional<QString> picture; // an absolute path (pictureToStore); empty removes it
};

// What the command needs besides the edit: today for a dated line, now and the clock for the
// contact's time in the result.
struct EditContext {
    QDate today;
    double nowDays = 0.0;
    const ClockFormatter* clock = nullptr;
    WarningSink warning;
};

struct EditResult {
    ShownContact contact;  // as stored
    QStringList changed;   // the fields written, by their option names ("name", "offset")
    int sameNickCount = 1; // contacts with this nick (set changes the first in nick order)
};

// The whole hours of an offset as the window's spin box takes them: -24 to 24, with an
// optional sign. An error text for anything else.
std::optional<int> parseOffsetHours(const QString& text, QString* error);

// The full path of a picture file to store, once the program's own loading has read it as a
// picture it shows (.bmp, .ico, .wmf, .emf). Throws ToolError. An empty file name gives an
// empty path (no picture).
QString pictureToStore(const QString& file);

// "2026-03-05: text", the line a dated note gets.
QString datedLine(const QDate& day, const QString& text);

// Adds a contact with nick. Throws ToolError when a contact has the nick already (case
// ignored) or the nick is empty, TableError when the table cannot be opened or written.
EditResult addContact(const QString& tablePath, const QString& nick, const ContactEdit& edit,
                      const EditContext& context);

// Changes the contact with nick (the first in nick order when several share it). Throws
// ToolError when none has it, TableError when the table cannot be opened or written.
EditResult setContact(const QString& tablePath, const QString& nick, const ContactEdit& edit,
                      const EditContext& context);

} // namespace palvane::tool
