#include "store/schema.h"
#include "tools/commands.h"

namespace palvane::tool {

Command createCommand() {
    Command command;
    command.name = QStringLiteral("create");
    command.synopsis = QStringLiteral("create [PATH]");
    command.description = QStringLiteral("create a new, empty contact table with its nick index");
    command.options = {tableOption()};
    command.positionals = {tablePathArgument()};
    command.validate = oneTableArgument;
    command.run = [](const Arguments& arguments) {
        const QString path = tableArgument(arguments);
        palvane::createContactTable(path);
        print(stdout, QStringLiteral("Created the empty contact table %1").arg(path));
        return kOk;
    };
    return command;
}

} // namespace palvane::tool
