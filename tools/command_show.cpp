#include "tools/commands.h"
#include "tools/show_contact.h"

namespace palvane::tool {

namespace {

const QString kFormat = QStringLiteral("format");

} // namespace

Command showCommand() {
    Command command;
    command.name = QStringLiteral("show");
    command.synopsis = QStringLiteral("show NICK [--table PATH] [--format text|json|chat|whois]");
    command.description =
        QStringLiteral("show the contact whose nick is NICK (case ignored; else\n"
                       "the nearest nick, with a note) and their local time and\n"
                       "date now; json for scripts; chat and whois give the lines\n"
                       "IRC clients print (whois: only for the very nick); exit\n"
                       "status 1 when the table holds no contacts");
    command.options = {
        tableOption(),
        {QCommandLineOption(kFormat, QStringLiteral("text (the default), json, chat or whois"),
                            QStringLiteral("FORMAT"))}};
    const QString needsNick = QStringLiteral("show needs a NICK");
    command.positionals = {{QStringLiteral("NICK"), needsNick, needsNick}};
    command.validate = [](const Arguments& arguments) -> std::optional<QString> {
        const QString format = arguments.value(kFormat);
        static const QStringList formats{QStringLiteral("text"), QStringLiteral("json"),
                                         QStringLiteral("chat"), QStringLiteral("whois")};
        if (arguments.isSet(kFormat) && !formats.contains(format))
            return QStringLiteral("unknown format '%1' (text, json, chat or whois)").arg(format);
        return std::nullopt;
    };
    command.run = [](const Arguments& arguments) {
        return showContact(tablePath(arguments), arguments.positional(0),
                           arguments.isSet(kFormat) ? arguments.value(kFormat)
                                                    : QStringLiteral("text"));
    };
    return command;
}

} // namespace palvane::tool
