#include "store/table.h"
#include "tools/check_table.h"
#include "tools/commands.h"

namespace palvane::tool {

Command checkCommand() {
    Command command;
    command.name = QStringLiteral("check");
    command.synopsis = QStringLiteral("check [PATH]");
    command.description =
        QStringLiteral("check that the program can use the table: the file's\n"
                       "integrity, the table's layout, and the program's writes\n"
                       "tried on an empty copy of it; exit status 0 when it can,\n"
                       "1 otherwise, naming each reason");
    command.options = {tableOption()};
    command.positionals = {tablePathArgument()};
    command.validate = oneTableArgument;
    command.run = [](const Arguments& arguments) {
        const QString path = tableArgument(arguments);
        const CheckResult result = checkTable(path);
        for (const QString& problem : result.problems)
            print(stderr, QStringLiteral("palvane-table: %1: %2").arg(path, problem));
        for (const QString& note : result.notes)
            print(stderr, QStringLiteral("palvane-table: %1: note: %2").arg(path, note));
        if (!result.problems.isEmpty())
            return kFailed;
        print(stdout,
              QStringLiteral("%1: ok (table \"contacts\", %2 fields, index \"%3\", %4 contacts)")
                  .arg(path)
                  .arg(int(palvane::FieldCount))
                  .arg(QLatin1String(palvane::kNickIndexName))
                  .arg(result.records));
        return kOk;
    };
    return command;
}

} // namespace palvane::tool
