#pragma once
// The commands that change or list contacts one at a time, for people and for IRC client
// scripts: add, set and nicks. Each prints and returns the exit status (0 done, 1 refused or
// failed with nothing changed, 2 bad arguments).

#include <QStringList>

namespace palvane::tool {

// add NICK [--name TEXT] [--email TEXT] [--location TEXT] [--notes TEXT]
//     [--append-notes TEXT [--dated]] [--offset HOURS] [--picture FILE] [--table PATH]
//     [--format text|json]
int runAdd(const QStringList& arguments);
// set NICK with the same options; at least one field.
int runSet(const QStringList& arguments);
// nicks [--table PATH]: the nicks, one a line.
int runNicks(const QStringList& arguments);

} // namespace palvane::tool
