#pragma once
// What the command a user types asks for: the address book on their table, or an import of
// contact files into it, or help.

#include <QString>
#include <QStringList>

namespace palvane::launcher {

struct LaunchRequest {
    enum Mode { Open, Import, Help, Version, Wrong };
    Mode mode = Open;
    QStringList files; // for Import; none means "let the user choose"
    QString error;     // for Wrong
};

LaunchRequest parseLaunchArguments(const QStringList& arguments);

extern const char* const kUsage;

} // namespace palvane::launcher
