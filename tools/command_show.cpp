#include "tools/commands.h"
#include "tools/show_contact.h"

namespace palvane::tool {

namespace {

const QString kFormat = QStringLiteral("format");

} // namespace

Command showCommand() {
    Command command;
    command.name = QStringLiteral("show");
    command.synopsis = QStringLiteral("show NICK [--table PATH] [--format text|json]");
    command.description =
        QStringLiteral("show the contact whose nick is NICK (case ignored; else\n"
                       "the nearest nick, with a note) and their local time and\n"
                       "date now; json for scripts; exit status 1 when the table\n"
                       "holds no contacts");
    command.options = {tableOption(),
                       {QCommandLineOption(kFormat, QStringLiteral("text (the default) or json"),
                                           QStringLiteral("FORMAT"))}};
    const QString needsNick = QStringLiteral("show needs a NICK");
    command.positionals = {{QStringLiteral("NICK"), needsNick, needsNick}};
    command.validate = [](const Arguments& arguments) -> std::optional<QString> {
        const QString format = arguments.value(kFormat);
        if (arguments.isSet(kFormat) && format != QLatin1String("text") &&
            format != QLatin1String("json"))
            return QStringLiteral("unknown format '%1' (text or json)").arg(format);
        return std::nullopt;
    };
    command.run = [](const Arguments& arguments) {
        return showContact(tablePath(arguments), arguments.positional(0),
                           arguments.value(kFormat) == QLatin1String("json"));
    };
    return command;
}

} // namespace palvane::tool
