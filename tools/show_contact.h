#pragma once
// The table tool's show command: one contact found by nick, as the program's search box finds
// it, with the contact's local date and time now, as the program's world clock tells it.

#include "core/clock_format.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace palvane {
class Table;
}

namespace palvane::tool {

struct ShownContact {
    QString query;
    bool exact = false; // the nick equals the query but for the case of A to Z
    QString nick;
    QString name;
    QString email;
    QString location;
    QString notes;
    double offsetDays = 0.0; // "IRC Time Displacement" as the clock holds it
    QString clockError;      // why the clock cannot use the offset ("Floating point overflow")
    QString theirTime;       // in the locale's time format; empty without a time to show
    QString theirDate;       // "dddd, mmmm d, yyyy"
    QString theirDateTime;   // the same wall-clock moment as yyyy-MM-ddTHH:mm:ss
};

// The offset in hours with its sign ("+9", "-6", "0", "+5.5").
QString signedOffsetHours(double days);

// Opens the table read-only and runs the search box's nearest-nick search for nick. Their
// time is nowDays (local wall-clock days) plus the contact's offset, formatted by clock.
// Returns nothing when the table holds no contact; throws TableError when it cannot be read.
std::optional<ShownContact> findContact(const QString& tablePath, const QString& nick,
                                        double nowDays, const ClockFormatter& clock);

// The table's current record as found for query, with their time from nowDays.
ShownContact currentContact(Table& table, const QString& query, double nowDays,
                            const ClockFormatter& clock);

// The contact as lines for a reader; a first line says when the nick is only the nearest.
// Control characters of the values are shown escaped (see escapeControls), so that a contact
// cannot drive the terminal; a line break in a value goes on, indented, on the next line.
QString contactText(const ShownContact& contact);

// Control characters (C0 but line break and tab, DEL, C1) as \0, \r and \x1b.
QString escapeControls(const QString& text);

// The contact as one JSON object with stable keys, for scripts.
QByteArray contactJson(const ShownContact& contact);

// Finds the contact and prints it in format (text, json, chat or whois); returns the exit
// status (0 found, 1 the table holds no contacts). Throws TableError when the table cannot be
// read.
int showContact(const QString& table, const QString& nick, const QString& format);

} // namespace palvane::tool
