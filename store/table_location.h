#pragma once
// Where the program finds its contact table: the folder "data" under the working directory,
// file "palvane.db". Written here once for the program, the table tool and the tests.

#include <QString>

namespace palvane {

inline const char* const kTableFolder = "data";
inline const char* const kTableFileName = "palvane.db";

// "data/palvane.db", relative to the working directory.
inline QString defaultTablePath() {
    return QStringLiteral("%1/%2").arg(QLatin1String(kTableFolder), QLatin1String(kTableFileName));
}

} // namespace palvane
