#include "tools/contact_commands.h"

#include "core/time_displacement.h"
#include "store/table.h"
#include "tools/command_line.h"
#include "tools/contact_edit.h"
#include "tools/nick_list.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace palvane::tool {

namespace {

struct EditArguments {
    QString nick;
    bool haveNick = false;
    QString table = QStringLiteral("data/palvane.db");
    bool json = false;
    ContactEdit edit;
    QString picture; // as given; checked before the table is touched
    bool havePicture = false;
};

// The value of a field option: the next argument, or what follows '='; may be empty (an empty
// name clears it).
std::optional<QString> fieldValue(const QStringList& args, int& i, QLatin1String name,
                                  QString& value) {
    const QString& arg = args[i];
    if (arg != name) {
        value = arg.mid(name.size() + 1);
        return std::nullopt;
    }
    if (i + 1 >= args.size())
        return QStringLiteral("%1 needs a value").arg(name);
    value = args[++i];
    return std::nullopt;
}

std::optional<QString> parseEdit(const QString& command, const QStringList& args,
                                 EditArguments& out) {
    const struct {
        const char* name;
        std::optional<QString> ContactEdit::*field;
    } texts[] = {{"--name", &ContactEdit::name},
                 {"--email", &ContactEdit::email},
                 {"--location", &ContactEdit::location},
                 {"--notes", &ContactEdit::notes},
                 {"--append-notes", &ContactEdit::appendNotes}};
    bool options = true;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool option = options && arg.startsWith(QLatin1Char('-')) && arg.size() > 1;
        if (!option) {
            if (out.haveNick)
                return QStringLiteral("unexpected argument '%1'").arg(arg);
            out.nick = arg;
            out.haveNick = true;
            continue;
        }
        if (arg == QLatin1String("--")) {
            options = false; // what follows is the nick, even one that starts with '-'
            continue;
        }
        bool matched = false;
        for (const auto& text : texts) {
            const QLatin1String name(text.name);
            if (!isOption(arg, name))
                continue;
            QString value;
            if (auto error = fieldValue(args, i, name, value))
                return error;
            out.edit.*text.field = value;
            matched = true;
        }
        if (matched)
            continue;
        if (arg == QLatin1String("--dated")) {
            out.edit.dated = true;
        } else if (isOption(arg, QLatin1String("--offset"))) {
            QString value;
            if (auto error = fieldValue(args, i, QLatin1String("--offset"), value))
                return error;
            QString problem;
            out.edit.offsetHours = parseOffsetHours(value, &problem);
            if (!out.edit.offsetHours)
                return problem;
        } else if (isOption(arg, QLatin1String("--picture"))) {
            if (auto error = fieldValue(args, i, QLatin1String("--picture"), out.picture))
                return error;
            out.havePicture = true;
        } else if (isOption(arg, QLatin1String("--table"))) {
            if (auto error = optionValue(args, i, QLatin1String("--table"), out.table))
                return error;
        } else if (isOption(arg, QLatin1String("--format"))) {
            QString format;
            if (auto error = optionValue(args, i, QLatin1String("--format"), format))
                return error;
            if (format != QLatin1String("text") && format != QLatin1String("json"))
                return QStringLiteral("unknown format '%1' (text or json)").arg(format);
            out.json = format == QLatin1String("json");
        } else {
            return QStringLiteral("unknown option '%1'").arg(arg);
        }
    }
    if (!out.haveNick || out.nick.isEmpty())
        return QStringLiteral("%1 needs a NICK").arg(command);
    if (out.edit.dated && !out.edit.appendNotes)
        return QStringLiteral("--dated goes with --append-notes");
    const ContactEdit& e = out.edit;
    const bool anything = e.name || e.email || e.location || e.notes || e.appendNotes ||
                          e.offsetHours || out.havePicture;
    if (command == QLatin1String("set") && !anything)
        return QStringLiteral("set needs something to change (--name, --email, --location, "
                              "--notes, --append-notes, --offset or --picture)");
    return std::nullopt;
}

void printResult(const EditResult& result, const EditArguments& args, bool added) {
    if (args.json) {
        QJsonObject object = QJsonDocument::fromJson(contactJson(result.contact)).object();
        object.insert(QStringLiteral("changed"), QJsonArray::fromStringList(result.changed));
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n').constData(),
                   stdout);
        return;
    }
    if (added)
        print(stdout, QStringLiteral("Added \"%1\" to %2").arg(result.contact.nick, args.table));
    else
        print(stdout,
              QStringLiteral("Changed \"%1\" in %2: %3")
                  .arg(result.contact.nick, args.table, result.changed.join(QStringLiteral(", "))));
}

void warn(const QString& text) {
    print(stderr, QStringLiteral("palvane-table: warning: %1").arg(text));
}

int runEdit(const QString& command, const QStringList& arguments) {
    EditArguments args;
    if (const auto error = parseEdit(command, arguments, args))
        return usageError(*error);
    const bool add = command == QLatin1String("add");
    try {
        if (args.havePicture)
            args.edit.picture = pictureToStore(args.picture);
        const ClockFormatter clock;
        const EditContext context{QDate::currentDate(), nowInDays(), &clock, warn};
        const EditResult result = add ? addContact(args.table, args.nick, args.edit, context)
                                      : setContact(args.table, args.nick, args.edit, context);
        if (result.sameNickCount > 1)
            warn(QStringLiteral("%1 contacts have the nick \"%2\"; the first in nick order, the "
                                "one show finds, was changed")
                     .arg(result.sameNickCount)
                     .arg(result.contact.nick));
        printResult(result, args, add);
        return kOk;
    } catch (const ToolError& error) {
        print(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
    } catch (const TableError& error) {
        print(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
    }
    print(stderr, QStringLiteral("palvane-table: nothing was changed"));
    return kFailed;
}

} // namespace

int runAdd(const QStringList& arguments) {
    return runEdit(QStringLiteral("add"), arguments);
}

int runSet(const QStringList& arguments) {
    return runEdit(QStringLiteral("set"), arguments);
}

int runNicks(const QStringList& arguments) {
    QString table = QStringLiteral("data/palvane.db");
    for (int i = 0; i < arguments.size(); ++i) {
        if (!isOption(arguments[i], QLatin1String("--table")))
            return usageError(QStringLiteral("unexpected argument '%1'").arg(arguments[i]));
        if (auto error = optionValue(arguments, i, QLatin1String("--table"), table))
            return usageError(*error);
    }
    try {
        listNicks(table, [](const QString& nick) { print(stdout, nick); });
        return kOk;
    } catch (const TableError& error) {
        print(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
        return kFailed;
    }
}

} // namespace palvane::tool
