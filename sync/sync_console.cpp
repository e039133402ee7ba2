#include "sync/sync_console.h"

#include "store/table.h"
#include "sync/password_store.h"
#include "tools/contacts_format.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace palvane::sync {

namespace {

void say(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// One line from standard input, without its line break; echo off on a terminal.
QString readPassword(const QString& prompt, bool fromStdin) {
    const bool terminal = !fromStdin && ::isatty(STDIN_FILENO);
    if (!fromStdin && !terminal)
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("no password: type it on a terminal, or give it on "
                                       "standard input with --password-stdin"));
    termios saved{};
    if (terminal) {
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = bool(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    if (!got)
        throw SyncError(SyncError::Kind::Setup, QStringLiteral("no password was given"));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

int setUpCommand(const SyncCommand& command) {
    QString password;
    if (!command.user.isEmpty())
        password = readPassword(QStringLiteral("Password of %1 at %2: ")
                                    .arg(command.user, QUrl(command.setupUrl).host()),
                                command.passwordStdin);
    const SyncSetup setup =
        setUp(command.table, command.setupUrl, command.user, password, command.caFile);
    QString place;
    if (!command.user.isEmpty())
        storePassword(setup.url, setup.user, password, &place);
    say(stdout,
        QStringLiteral("%1 syncs with the address book %2%3")
            .arg(command.table, shownUrl(QUrl(setup.url)),
                 setup.user.isEmpty() ? QString() : QStringLiteral(" as %1").arg(setup.user)));
    if (!place.isEmpty())
        say(stdout, QStringLiteral("The password is kept in %1").arg(place));
    for (const QString& other : setup.others)
        say(stdout, QStringLiteral("Another address book there: %1 (give its URL to --setup to "
                                   "sync with it instead)")
                        .arg(other));
    say(stdout, QStringLiteral("Run palvane-table sync%1 to sync now")
                    .arg(command.table == QLatin1String("data/palvane.db")
                             ? QString()
                             : QStringLiteral(" --table ") + command.table));
    return kSyncDone;
}

QJsonObject jsonOf(const SyncCommand& command, const SyncSetup& setup, const SyncReport& report) {
    QJsonArray conflicts;
    for (const Conflict& c : report.conflicts)
        conflicts.append(QJsonObject{{QStringLiteral("nick"), c.nick},
                                     {QStringLiteral("field"), c.field},
                                     {QStringLiteral("local"), c.local},
                                     {QStringLiteral("server"), c.server}});
    return QJsonObject{{QStringLiteral("table"), command.table},
                       {QStringLiteral("addressBook"), shownUrl(QUrl(setup.url))},
                       {QStringLiteral("dryRun"), command.dryRun},
                       {QStringLiteral("sent"), report.sent},
                       {QStringLiteral("received"), report.received},
                       {QStringLiteral("merged"), report.merged},
                       {QStringLiteral("refound"), report.refound},
                       {QStringLiteral("requests"), report.requests},
                       {QStringLiteral("conflicts"), conflicts},
                       {QStringLiteral("paired"), QJsonArray::fromStringList(report.paired)},
                       {QStringLiteral("changes"), QJsonArray::fromStringList(report.changes)},
                       {QStringLiteral("warnings"), QJsonArray::fromStringList(report.warnings)}};
}

void printText(const SyncCommand& command, const SyncSetup& setup, const SyncReport& report) {
    for (const QString& warning : report.warnings)
        say(stderr, QStringLiteral("palvane-table: warning: %1").arg(warning));
    for (const QString& pair : report.paired)
        say(stdout, QStringLiteral("Paired %1").arg(pair));
    if (report.refound)
        say(stdout, QStringLiteral("Found %1 contacts again under new row numbers (the table was "
                                   "compacted)")
                        .arg(report.refound));
    if (command.dryRun) {
        for (const QString& change : report.changes)
            say(stdout, QStringLiteral("Would take: %1").arg(change));
    }
    for (const Conflict& c : report.conflicts)
        say(stdout,
            QStringLiteral("Conflict: %1, %2: here '%3', on the server '%4'")
                .arg(tool::shown(c.nick), c.field, tool::shown(c.local), tool::shown(c.server)));
    if (!report.conflicts.empty())
        say(stdout, QStringLiteral("Nothing of a conflict was overwritten; --prefer local or "
                                   "--prefer server settles them"));
    say(stdout, QStringLiteral("%1 %2 with %3: sent %4, received %5, merged %6, conflicts %7")
                    .arg(command.dryRun ? QStringLiteral("Dry run, nothing changed:")
                                        : QStringLiteral("Synced"),
                         command.table, shownUrl(QUrl(setup.url)))
                    .arg(report.sent)
                    .arg(report.received)
                    .arg(report.merged)
                    .arg(report.conflicts.size()));
}

int syncCommand(const SyncCommand& command) {
    const SyncSetup setup = requireSetup(command.table);
    SyncOptions options;
    options.tablePath = command.table;
    options.caFile = command.caFile;
    options.prefer = command.prefer;
    options.dryRun = command.dryRun;
    options.localUtcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
    if (!setup.user.isEmpty()) {
        std::optional<QString> kept =
            command.passwordStdin ? std::nullopt : lookUpPassword(setup.url, setup.user);
        options.password = kept ? *kept
                                : readPassword(QStringLiteral("Password of %1 at %2: ")
                                                   .arg(setup.user, QUrl(setup.url).host()),
                                               command.passwordStdin);
    }
    const bool terminal = ::isatty(STDERR_FILENO);
    if (terminal && !command.json)
        options.progress = [](const QString& text) {
            std::fputs(("\r" + text + "\x1b[K").toLocal8Bit().constData(), stderr);
            std::fflush(stderr);
        };
    const SyncReport report = synchronise(options);
    if (options.progress)
        std::fputs("\r\x1b[K", stderr);
    if (command.json)
        say(stdout,
            QString::fromUtf8(
                QJsonDocument(jsonOf(command, setup, report)).toJson(QJsonDocument::Indented)));
    else
        printText(command, setup, report);
    return report.conflicts.empty() ? kSyncDone : kSyncConflicts;
}

} // namespace

int runSync(const SyncCommand& command) {
    try {
        return command.setupUrl.isEmpty() ? syncCommand(command) : setUpCommand(command);
    } catch (const SyncError& error) {
        say(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
    } catch (const TableError& error) {
        say(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
    } catch (const tool::ToolError& error) {
        say(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
    }
    if (!command.setupUrl.isEmpty())
        return kSyncFailed;
    say(stderr, QStringLiteral("palvane-table: what was done before stays done; the next run "
                               "carries on from there"));
    return kSyncFailed;
}

} // namespace palvane::sync
