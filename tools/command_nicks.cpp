// nicks: every nick of the table, one a line, for completing them in an IRC client.

#include "tools/commands.h"
#include "tools/nick_list.h"

namespace palvane::tool {

Command nicksCommand() {
    Command command;
    command.name = QStringLiteral("nicks");
    command.synopsis = QStringLiteral("nicks [--table PATH]");
    command.description = QStringLiteral("list the nicks in nick order, one a line, each once\n"
                                         "whatever its case, for completing them");
    command.options = {tableOption()};
    command.run = [](const Arguments& arguments) {
        listNicks(tablePath(arguments), [](const QString& nick) { print(stdout, nick); });
        return kOk;
    };
    return command;
}

} // namespace palvane::tool
