// palvane-table sync: two-way synchronisation of the table with a CardDAV address book. The
// command is declared with the others (tools/commands.h) and lives here, beside the library it
// brings.

#include "sync/sync_console.h"
#include "tools/commands.h"

namespace palvane::tool {

namespace {

const QString kSetup = QStringLiteral("setup");
const QString kUser = QStringLiteral("user");
const QString kPasswordStdin = QStringLiteral("password-stdin");
const QString kCaFile = QStringLiteral("ca-file");
const QString kPrefer = QStringLiteral("prefer");
const QString kDryRun = QStringLiteral("dry-run");
const QString kFormat = QStringLiteral("format");

} // namespace

Command syncCommand() {
    Command command;
    command.name = QStringLiteral("sync");
    command.synopsis = QStringLiteral("sync [--setup URL [--user NAME]] [--table PATH]\n"
                                      "       [--prefer local|server] [--dry-run] "
                                      "[--format text|json]");
    command.description =
        QStringLiteral("sync the table both ways with a CardDAV address book; set it up\n"
                       "once with --setup (the address book, its principal or its server's\n"
                       "URL) and the password asked for, then run it as often as wanted;\n"
                       "exit status 0, 1 when conflicts are left, 2 for errors");
    command.options = {
        tableOption(),
        {QCommandLineOption(kSetup, QStringLiteral("set up syncing with the address book at URL"),
                            QStringLiteral("URL")),
         QStringLiteral("a URL")},
        {QCommandLineOption(kUser, QStringLiteral("the user name at the server"),
                            QStringLiteral("NAME")),
         QStringLiteral("a name")},
        {QCommandLineOption(kPasswordStdin,
                            QStringLiteral("read the password from standard input (scripts)"))},
        {QCommandLineOption(kCaFile,
                            QStringLiteral("trust the certificate authority in this PEM file"),
                            QStringLiteral("FILE")),
         QStringLiteral("a file")},
        {QCommandLineOption(kPrefer,
                            QStringLiteral("settle conflicts for the table (local) or the "
                                           "server"),
                            QStringLiteral("SIDE")),
         QStringLiteral("local or server")},
        {QCommandLineOption(kDryRun, QStringLiteral("list what would change; change nothing"))},
        {QCommandLineOption(kFormat, QStringLiteral("text (the default) or json"),
                            QStringLiteral("FORMAT"))}};
    command.validate = [](const Arguments& arguments) -> std::optional<QString> {
        const QString prefer = arguments.value(kPrefer);
        if (arguments.isSet(kPrefer) && prefer != QLatin1String("local") &&
            prefer != QLatin1String("server"))
            return QStringLiteral("unknown side '%1' (local or server)").arg(prefer);
        const QString format = arguments.value(kFormat);
        if (arguments.isSet(kFormat) && format != QLatin1String("text") &&
            format != QLatin1String("json"))
            return QStringLiteral("unknown format '%1' (text or json)").arg(format);
        if (arguments.isSet(kUser) && !arguments.isSet(kSetup))
            return QStringLiteral("--user goes with --setup");
        if (arguments.isSet(kSetup) &&
            (arguments.isSet(kPrefer) || arguments.isSet(kDryRun) || arguments.isSet(kFormat)))
            return QStringLiteral("--setup only sets up; run sync again to sync");
        return std::nullopt;
    };
    command.run = [](const Arguments& arguments) {
        sync::SyncCommand sync;
        sync.table = tablePath(arguments);
        sync.setupUrl = arguments.value(kSetup);
        sync.user = arguments.value(kUser);
        sync.passwordStdin = arguments.isSet(kPasswordStdin);
        sync.caFile = arguments.value(kCaFile);
        sync.prefer = arguments.value(kPrefer) == QLatin1String("local")    ? sync::Prefer::Local
                      : arguments.value(kPrefer) == QLatin1String("server") ? sync::Prefer::Server
                                                                            : sync::Prefer::Neither;
        sync.dryRun = arguments.isSet(kDryRun);
        sync.json = arguments.value(kFormat) == QLatin1String("json");
        return sync::runSync(sync);
    };
    return command;
}

} // namespace palvane::tool
