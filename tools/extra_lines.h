#pragma once
// Values of a contact file that the table has no field for (telephone numbers, organisation,
// dates, web pages, further addresses, nicknames and e-mails, other messaging addresses,
// categories), each as one labelled line such as "Phone (cell): +49 170 0000000". The import
// appends these lines to the contact's notes, after its own note; the label is a short English
// word with a colon, and the kind the file gives the value (home, work, cell, ...) follows it
// in parentheses.

#include <QString>
#include <QStringList>

namespace palvane::tool {

namespace label {
inline constexpr const char* Phone = "Phone";
inline constexpr const char* Email = "E-mail";
inline constexpr const char* Organisation = "Organisation";
inline constexpr const char* Department = "Department";
inline constexpr const char* Title = "Title";
inline constexpr const char* Role = "Role";
inline constexpr const char* Birthday = "Birthday";
inline constexpr const char* Anniversary = "Anniversary";
inline constexpr const char* Date = "Date";
inline constexpr const char* Web = "Web";
inline constexpr const char* Address = "Address";
inline constexpr const char* Nickname = "Nickname";
inline constexpr const char* Im = "IM";
inline constexpr const char* Categories = "Categories";
} // namespace label

// "Label (type): value" ("Label: value" without a type), the value on one line: its line
// breaks become ", ". Nothing for a value that is blank.
QString extraLine(const char* label, const QString& type, const QString& value);

// The kinds a file gives a value, as one type: lower case, without the words that say nothing
// to a reader (pref, internet, voice, x400), without the marks some programs wrap them in
// ("_$!<Mobile>!$_", "* Home"); several joined by ", ".
QString typeText(const QStringList& types);

// A date as the files write it, readably: "19850412" as 1985-04-12, "--0412" as --04-12, a
// date and time cut to its date; anything else as written.
QString dateText(const QString& value);

// The non-blank parts joined by ", ".
QString joinedParts(const QStringList& parts);

// A messaging address: a URI's scheme becomes its type ("xmpp:ann@example.org" is
// "IM (xmpp): ann@example.org"); a URI with a server ("irc://irc.example.net/%23lobby") is kept
// whole.
QString messagingLine(const QStringList& types, const QString& address);

} // namespace palvane::tool
