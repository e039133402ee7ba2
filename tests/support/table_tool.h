#pragma once
// The table tool palvane-table as the tests drive it: a process of its own, the files around
// it, and contacts as text that a failed comparison shows in full.

#include "store/schema.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace palvane::test {

struct ToolRun {
    int exitCode = -1; // -1: it did not start, crashed or did not end within two minutes
    QString out;
    QString err;
};

// Runs the tool to its end with input on its standard input; a timeZone given becomes its TZ.
ToolRun runTool(const QStringList& arguments, const QByteArray& input = {},
                const QString& timeZone = {});

// The bytes of a file; empty when it cannot be read.
QByteArray contentsOf(const QString& path);

// One line per contact, every field shown ("nick | name | ... | picture", "blank" for a blank
// number). describe() shows the day offset to its last digit, describeInHours() in hours.
QStringList describe(const std::vector<ContactRow>& rows);
QStringList describeInHours(const std::vector<ContactRow>& rows);

} // namespace palvane::test
