// palvane-table: creates, fills and checks contact tables, and moves contacts in and out of
// them. The address book itself never creates or repairs its table; this tool does.

#include "tools/commands.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

using namespace palvane::tool;

const char* const kIntroduction =
    "Usage: palvane-table COMMAND [ARGUMENTS]\n"
    "\n"
    "Creates, fills and checks the contact table of Palvane 32, and imports and exports\n"
    "its contacts.\n"
    "\n"
    "Commands:\n";

const char* const kClosing =
    "\n"
    "Without PATH or --table, a command uses data/palvane.db under the working directory\n"
    "when it exists, else your own table, which the command palvane and the desktop menu\n"
    "entry open ($XDG_DATA_HOME/palvane/data/palvane.db; an import creates it when it is\n"
    "missing). Here that is %1.\n"
    "No command overwrites an existing file. 'palvane-table COMMAND --help' lists the\n"
    "options of a command.\n"
    "\n"
    "CSV files have a header row naming the fields: \"IRC Nick\", \"IRC Name\",\n"
    "\"IRC Location\", \"IRC Email\", \"IRC Notes\", \"IRC Time Displacement\" (days),\n"
    "\"IRC Spin\" (hours) and \"IRC Picture\"; the column names of mail programs'\n"
    "exports (\"Nickname\", \"E-mail Address\", ...) are read too. vCards carry the offset\n"
    "as the contact's time zone (TZ), converted from and to the offset from this computer's\n"
    "local time.\n";

// One entry of the command list: the synopsis in a column of its own, the description beside
// it (or below it when the synopsis is too wide).
QString listEntry(const QString& synopsis, const QString& description) {
    constexpr int kColumn = 26;
    const QString indent(kColumn + 2, QLatin1Char(' '));
    QString text = description;
    text.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
    if (synopsis.size() < kColumn - 1)
        return QStringLiteral("  %1%2\n").arg(synopsis.leftJustified(kColumn), text);
    return QStringLiteral("  %1\n%2%3\n").arg(synopsis, indent, text);
}

QString usage(const std::vector<Command>& commands) {
    QString text = QString::fromLatin1(kIntroduction);
    for (const Command& command : commands)
        text += listEntry(command.synopsis, command.description);
    text += listEntry(QStringLiteral("--help"), QStringLiteral("show this help"));
    return text + QString::fromLatin1(kClosing).arg(defaultTablePath());
}

// Output that could not be written (a full disk, a reader that went away) is a failure the
// user must hear of, not a success.
int finishOutput(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    const int error = errno;
    print(stderr, QStringLiteral("palvane-table: cannot write to standard output: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(error))));
    return status == kOk ? kFailed : status;
}

int run(const QStringList& arguments) {
    const std::vector<Command> commands = allCommands();
    if (arguments.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString name = arguments.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        std::fputs(usage(commands).toLocal8Bit().constData(), stdout);
        return kOk;
    }
    for (const Command& command : commands) {
        if (command.name == name)
            return runCommand(command, arguments.mid(1));
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(name));
}

} // namespace

namespace palvane::tool {

std::vector<Command> allCommands() {
    return {createCommand(), demoCommand(), checkCommand(), importCommand(), exportCommand(),
            showCommand(),   addCommand(),  setCommand(),   nicksCommand(),  syncCommand()};
}

} // namespace palvane::tool

int main(int argc, char** argv) {
    // A closed pipe is a write error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        QCoreApplication app(argc, argv);
        return finishOutput(run(QCoreApplication::arguments().mid(1)));
    } catch (const std::bad_alloc&) {
        // Before or after a command's own answer to this (reading the arguments, the list of
        // commands): no text of ours can be built now, so a fixed one.
        std::fputs("palvane-table: not enough memory to finish the command\n", stderr);
        return kFailed;
    }
}
