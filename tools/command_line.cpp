#include "tools/command_line.h"

#include "core/error.h"
#include "store/table.h"
#include "store/table_location.h"
#include "tools/contacts_format.h"
#include "tools/default_table.h"

#include <new>

namespace palvane::tool {

namespace {

const QString kTable = QStringLiteral("table");

// The argument the user typed for an option the parser did not know: "--force", "--count=3".
QString typedOption(const QStringList& arguments, const QString& name) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        const QString longForm = QStringLiteral("--") + name;
        if (argument == longForm || argument.startsWith(longForm + QLatin1Char('=')))
            return argument;
    }
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1Char('-')) && !argument.startsWith(QLatin1String("--")) &&
            argument.contains(name))
            return argument;
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// What is wrong with the options, in the words every command uses; nothing when all is well.
std::optional<QString> optionError(const Command& command, const QCommandLineParser& parser,
                                   const QStringList& arguments) {
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option '%1'")
            .arg(typedOption(arguments, parser.unknownOptionNames().first()));
    for (const Option& option : command.options) {
        if (option.option.valueName().isEmpty())
            continue;
        const QString name = QStringLiteral("--") + option.option.names().first();
        // The parser's message for a missing value names the option: say it our way.
        if (parser.errorText().contains(QLatin1Char('\'') + name + QLatin1Char('\'')))
            return QStringLiteral("%1 needs %2").arg(name, option.needs);
        if (!option.mayBeEmpty && parser.isSet(option.option) &&
            parser.values(option.option).contains(QString()))
            return QStringLiteral("%1 needs %2").arg(name, option.needs);
    }
    if (!parser.errorText().isEmpty())
        return parser.errorText();
    return std::nullopt;
}

std::optional<QString> positionalError(const Command& command, const QStringList& given) {
    const auto declared = qsizetype(command.positionals.size());
    if (given.size() > declared)
        return QStringLiteral("unexpected argument '%1'").arg(given[declared]);
    for (qsizetype i = 0; i < declared; ++i) {
        const Positional& positional = command.positionals[size_t(i)];
        if (i >= given.size()) {
            if (!positional.whenMissing.isEmpty())
                return positional.whenMissing;
        } else if (given[i].isEmpty()) {
            return positional.whenEmpty;
        }
    }
    return std::nullopt;
}

int fail(const Command& command, const QString& message) {
    print(stderr, QStringLiteral("palvane-table: %1").arg(message));
    if (!command.whenFailed.isEmpty())
        print(stderr, QStringLiteral("palvane-table: %1").arg(command.whenFailed));
    return kFailed;
}

} // namespace

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

int usageError(const QString& message) {
    print(stderr, QStringLiteral("palvane-table: %1").arg(message));
    print(stderr, QStringLiteral("Try 'palvane-table --help' for more information."));
    return kBadArguments;
}

QString commandHelp(const Command& command) {
    QString description = command.description.trimmed();
    if (!description.isEmpty())
        description[0] = description[0].toUpper();
    QString help =
        QStringLiteral("Usage: palvane-table %1\n\n%2.\n").arg(command.synopsis, description);
    if (!command.options.empty())
        help += QStringLiteral("\nOptions:\n");
    for (const Option& option : command.options) {
        QString names = QStringLiteral("--") + option.option.names().first();
        if (!option.option.valueName().isEmpty())
            names += QLatin1Char(' ') + option.option.valueName();
        const QString indent(26, QLatin1Char(' '));
        QString text = option.option.description();
        text.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
        help += names.size() < 24 ? QStringLiteral("  %1%2\n").arg(names.leftJustified(24), text)
                                  : QStringLiteral("  %1\n%2%3\n").arg(names, indent, text);
    }
    return help;
}

int runCommand(const Command& command, const QStringList& arguments) {
    QCommandLineParser parser;
    // "--" ends the options, so a nick may start with "-"; a lone "-" is standard input.
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    for (const Option& option : command.options)
        parser.addOption(option.option);
    QStringList argv = arguments;
    argv.prepend(QStringLiteral("palvane-table"));
    const bool parsed = parser.parse(argv);
    if (parser.isSet(help)) {
        std::fputs(commandHelp(command).toLocal8Bit().constData(), stdout);
        return kOk;
    }
    if (!parsed || !parser.unknownOptionNames().isEmpty())
        return usageError(optionError(command, parser, arguments).value_or(parser.errorText()));
    if (const auto error = optionError(command, parser, arguments))
        return usageError(*error);
    const QStringList positional = parser.positionalArguments();
    if (const auto error = positionalError(command, positional))
        return usageError(*error);
    const Arguments given(parser, positional);
    if (command.validate) {
        if (const auto error = command.validate(given))
            return usageError(*error);
    }
    try {
        return command.run(given);
    } catch (const TableError& error) {
        return fail(command, error.message());
    } catch (const ToolError& error) {
        return fail(command, error.message());
    } catch (const Error& error) {
        return fail(command, error.message());
    } catch (const std::bad_alloc&) {
        // A file too large for the memory the process may take: say so, leave nothing half done
        // (every command's writes are transactions or temporary files that unwinding removes).
        return fail(command, QStringLiteral("not enough memory to finish the command"));
    }
}

Option tableOption() {
    return {QCommandLineOption(
        kTable, QStringLiteral("the contact table (default: %1)").arg(defaultTablePath()),
        QStringLiteral("PATH"))};
}

QString tablePath(const Arguments& arguments) {
    return arguments.isSet(kTable) ? arguments.value(kTable) : defaultTablePath();
}

Positional tablePathArgument() {
    return {QStringLiteral("PATH"), {}, QStringLiteral("the path is empty")};
}

QString tableArgument(const Arguments& arguments) {
    return arguments.hasPositional(0) ? arguments.positional(0) : tablePath(arguments);
}

std::optional<QString> oneTableArgument(const Arguments& arguments) {
    if (arguments.hasPositional(0) && arguments.isSet(kTable))
        return QStringLiteral("give the table as PATH or with --table, not both");
    return std::nullopt;
}

QString defaultTablePath() {
    try {
        return defaultTableLocation().table;
    } catch (const ToolError&) {
        // Without a home there is no table of the user's: only the working directory's is left.
        return palvane::defaultTablePath();
    }
}

QString tableToFill(const Arguments& arguments) {
    if (arguments.isSet(kTable))
        return arguments.value(kTable);
    const TableLocation location = defaultTableLocation();
    createUserTableIfMissing(location);
    return location.table;
}

} // namespace palvane::tool
