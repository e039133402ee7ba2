#pragma once
// What the contact readers and writers (CSV, vCard) share: the result of reading a file, the
// errors of the import and export commands, and small text helpers.

#include "store/schema.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <vector>

namespace palvane::tool {

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

// Contacts read from a file, each with the line on which it starts, and the warnings about
// values that had to be changed or left out (each names its line and contact).
struct ReadContacts {
    std::vector<ContactRow> contacts;
    std::vector<int> lines;
    QStringList warnings;
};

// The text of a UTF-8 file: a leading byte order mark is skipped. Invalid UTF-8 is a
// FormatError naming the first line that holds it.
QString decodeUtf8(const QByteArray& bytes);

// CR LF and lone CR become LF, the line break the program's notes box writes.
QString normaliseLineBreaks(QString text);

// "contact 'nick'" (or the name, when the nick is blank) for warnings.
QString describeContact(const ContactRow& row);

// Days of an offset in whole hours, as the table holds it.
inline double hoursToDays(int hours) {
    return hours / 24.0;
}

} // namespace palvane::tool
