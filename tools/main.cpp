// palvane-table: creates, fills and checks contact tables, and moves contacts in and out of
// them. The address book itself never creates or repairs its table; this tool does.

#include "store/schema.h"
#include "store/table.h"
#include "tools/check_table.h"
#include "tools/command_line.h"
#include "tools/contact_commands.h"
#include "tools/contact_pictures.h"
#include "tools/contacts_io.h"
#include "tools/demo_contacts.h"
#include "tools/show_contact.h"
#include "tools/transfer_console.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

using palvane::tool::isOption;
using palvane::tool::kFailed;
using palvane::tool::kOk;
using palvane::tool::optionValue;
using palvane::tool::print;
using palvane::tool::usageError;

constexpr qint64 kMaxCount = 100'000'000;

const char* const kUsage =
    "Usage: palvane-table COMMAND [ARGUMENTS]\n"
    "\n"
    "Creates, fills and checks the contact table of Palvane 32, and imports and exports\n"
    "its contacts.\n"
    "\n"
    "Commands:\n"
    "  create [PATH]             create a new, empty contact table with its nick index\n"
    "  demo [PATH] [--count N]   create a new contact table holding about a dozen sample\n"
    "                            contacts (pictures go to the directory pictures/ beside\n"
    "                            the table); with --count, N generated contacts instead\n"
    "  check [PATH]              check that the program can use the table: the file's\n"
    "                            integrity, the table's layout, and the program's writes\n"
    "                            tried on an empty copy of it; exit status 0 when it can,\n"
    "                            1 otherwise, naming each reason\n"
    "  import FILE [--table PATH] [--format csv|vcard]\n"
    "                            add the contacts of a CSV or vCard file (.csv, .vcf;\n"
    "                            else told by its content; '-' reads standard input):\n"
    "                            all of them, or none if anything is wrong\n"
    "  export [--format csv|vcard|vcard3] [--table PATH] [FILE]\n"
    "                            write every contact as CSV (the default) or vCard 4.0\n"
    "                            (vcard, or a FILE ending in .vcf) or 3.0 (vcard3); without\n"
    "                            FILE, or with '-', to standard output\n"
    "  show NICK [--table PATH] [--format text|json|chat|whois]\n"
    "                            show the contact whose nick is NICK (case ignored; else\n"
    "                            the nearest nick, with a note) and their local time and\n"
    "                            date now; json for scripts; chat and whois give the lines\n"
    "                            IRC clients print (whois: only for the very nick); exit\n"
    "                            status 1 when the table holds no contacts\n"
    "  add NICK [FIELDS] [--table PATH] [--format text|json]\n"
    "                            add a contact; refused when one has the nick (case ignored)\n"
    "  set NICK FIELDS [--table PATH] [--format text|json]\n"
    "                            change fields of the contact with the nick (the first in\n"
    "                            nick order when several have it)\n"
    "                            FIELDS: --name TEXT, --email TEXT, --location TEXT,\n"
    "                            --notes TEXT, --append-notes TEXT (a line below the notes;\n"
    "                            with --dated it starts with today's date), --offset HOURS\n"
    "                            (-24 to 24: their local time minus yours), --picture FILE\n"
    "                            (.bmp, .ico, .wmf or .emf, kept where it is); an empty\n"
    "                            value empties the field. Texts longer than their field are\n"
    "                            cut, with a warning. Put NICK after '--' when it starts\n"
    "                            with '-'\n"
    "  nicks [--table PATH]      list the nicks, one a line, for completing them\n"
    "  --help                    show this help\n"
    "\n"
    "PATH defaults to data/palvane.db under the working directory. No command overwrites\n"
    "an existing file.\n"
    "\n"
    "CSV files have a header row naming the fields: \"IRC Nick\", \"IRC Name\",\n"
    "\"IRC Location\", \"IRC Email\", \"IRC Notes\", \"IRC Time Displacement\" (days),\n"
    "\"IRC Spin\" (hours) and \"IRC Picture\"; the column names of mail programs'\n"
    "exports (\"Nickname\", \"E-mail Address\", ...) are read too. vCards carry the offset\n"
    "as the contact's time zone (TZ), converted from and to the offset from this computer's\n"
    "local time.\n";

struct Arguments {
    QString path = QStringLiteral("data/palvane.db");
    std::optional<qint64> count;
};

// Parses "[PATH] [--count N]" (count only where allowed); returns an error text or nothing.
std::optional<QString> parse(const QStringList& args, bool allowCount, Arguments& out) {
    bool havePath = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (allowCount && isOption(arg, QLatin1String("--count"))) {
            QString value;
            if (arg == QLatin1String("--count")) {
                if (i + 1 >= args.size())
                    return QStringLiteral("--count needs a number");
                value = args[++i];
            } else {
                value = arg.mid(8);
            }
            bool ok = false;
            const qint64 count = value.toLongLong(&ok);
            if (!ok || count < 0 || count > kMaxCount)
                return QStringLiteral("--count needs a whole number from 0 to %1, not '%2'")
                    .arg(kMaxCount)
                    .arg(value);
            out.count = count;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return QStringLiteral("unknown option '%1'").arg(arg);
        } else if (havePath) {
            return QStringLiteral("unexpected argument '%1'").arg(arg);
        } else if (arg.isEmpty()) {
            return QStringLiteral("the path is empty");
        } else {
            out.path = arg;
            havePath = true;
        }
    }
    return std::nullopt;
}

int create(const Arguments& args) {
    palvane::createContactTable(args.path);
    print(stdout, QStringLiteral("Created the empty contact table %1").arg(args.path));
    return kOk;
}

int demo(const Arguments& args) {
    palvane::createContactTable(args.path);
    try {
        QElapsedTimer timer;
        timer.start();
        if (args.count) {
            palvane::insertContacts(args.path, *args.count, palvane::tool::generatedContact);
            print(stdout, QStringLiteral("Created %1 with %2 generated contacts in %3 s")
                              .arg(args.path)
                              .arg(*args.count)
                              .arg(timer.elapsed() / 1000.0, 0, 'f', 1));
        } else {
            const QString pictures = palvane::tool::picturesBeside(args.path);
            const auto rows = palvane::tool::sampleContacts(pictures);
            palvane::insertContacts(args.path, rows);
            print(stdout, QStringLiteral("Created %1 with %2 sample contacts (pictures in %3)")
                              .arg(args.path)
                              .arg(rows.size())
                              .arg(pictures));
        }
    } catch (...) {
        QFile::remove(args.path); // the new file would hold half a demo: do not leave it
        throw;
    }
    return kOk;
}

struct TransferArguments {
    QString table = QStringLiteral("data/palvane.db");
    QString file;
    bool haveFile = false;
    std::optional<palvane::tool::ContactFormat> format;
};

// Parses "FILE [--table PATH] [--format F]" in any order; returns an error text or nothing.
std::optional<QString> parseTransfer(const QStringList& args, TransferArguments& out) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (isOption(arg, QLatin1String("--table"))) {
            if (auto error = optionValue(args, i, QLatin1String("--table"), out.table))
                return error;
        } else if (isOption(arg, QLatin1String("--format"))) {
            QString name;
            if (auto error = optionValue(args, i, QLatin1String("--format"), name))
                return error;
            out.format = palvane::tool::formatByName(name);
            if (!out.format)
                return QStringLiteral("unknown format '%1' (csv, vcard or vcard3)").arg(name);
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return QStringLiteral("unknown option '%1'").arg(arg);
        } else if (out.haveFile) {
            return QStringLiteral("unexpected argument '%1'").arg(arg);
        } else if (arg.isEmpty()) {
            return QStringLiteral("the file name is empty");
        } else {
            out.file = arg;
            out.haveFile = true;
        }
    }
    return std::nullopt;
}

// The user's offset from UTC now: vCard time zones are converted with it.
int localUtcOffsetSeconds() {
    return QDateTime::currentDateTime().offsetFromUtc();
}

int importFile(const TransferArguments& args) {
    palvane::tool::TransferConsole console(stderr, QStringLiteral("Importing"));
    const palvane::tool::TransferReport report = palvane::tool::importContacts(
        args.file, args.table, args.format, localUtcOffsetSeconds(), console.hooks());
    console.clear();
    print(stdout, QStringLiteral("Imported %1 contacts into %2").arg(report.count).arg(args.table));
    return kOk;
}

int exportFile(const TransferArguments& args) {
    const palvane::tool::ContactFormat format =
        args.format ? *args.format : palvane::tool::formatOfExport(args.file);
    palvane::tool::TransferConsole console(stderr, QStringLiteral("Exporting"));
    const palvane::tool::TransferReport report = palvane::tool::exportContacts(
        args.table, args.file, format, localUtcOffsetSeconds(), console.hooks());
    console.clear();
    // Standard output carries the contacts themselves; say nothing more there.
    if (args.haveFile && args.file != QLatin1String("-"))
        print(stdout,
              QStringLiteral("Exported %1 contacts to %2").arg(report.count).arg(args.file));
    return kOk;
}

int check(const Arguments& args) {
    const palvane::tool::CheckResult result = palvane::tool::checkTable(args.path);
    for (const QString& problem : result.problems)
        print(stderr, QStringLiteral("palvane-table: %1: %2").arg(args.path, problem));
    for (const QString& note : result.notes)
        print(stderr, QStringLiteral("palvane-table: %1: note: %2").arg(args.path, note));
    if (!result.problems.isEmpty())
        return kFailed;
    print(stdout,
          QStringLiteral("%1: ok (table \"contacts\", %2 fields, index \"%3\", %4 contacts)")
              .arg(args.path)
              .arg(int(palvane::FieldCount))
              .arg(QLatin1String(palvane::kNickIndexName))
              .arg(result.records));
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return kOk;
    }
    if (args.contains(QLatin1String("--help"))) {
        std::fputs(kUsage, stdout);
        return kOk;
    }
    if (command == QLatin1String("show"))
        return palvane::tool::runShow(args);
    if (command == QLatin1String("add"))
        return palvane::tool::runAdd(args);
    if (command == QLatin1String("set"))
        return palvane::tool::runSet(args);
    if (command == QLatin1String("nicks"))
        return palvane::tool::runNicks(args);
    if (command == QLatin1String("import") || command == QLatin1String("export")) {
        const bool import = command == QLatin1String("import");
        TransferArguments transfer;
        if (const auto error = parseTransfer(args, transfer))
            return usageError(*error);
        if (import && !transfer.haveFile)
            return usageError(QStringLiteral("import needs a FILE ('-' for standard input)"));
        try {
            return import ? importFile(transfer) : exportFile(transfer);
        } catch (const palvane::TableError& error) {
            print(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
        } catch (const palvane::tool::ToolError& error) {
            print(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
        }
        if (import)
            print(stderr, QStringLiteral("palvane-table: nothing was imported"));
        return kFailed;
    }
    const bool known = command == QLatin1String("create") || command == QLatin1String("demo") ||
                       command == QLatin1String("check");
    if (!known)
        return usageError(QStringLiteral("unknown command '%1'").arg(command));
    Arguments parsed;
    if (const auto error = parse(args, command == QLatin1String("demo"), parsed))
        return usageError(*error);
    try {
        if (command == QLatin1String("create"))
            return create(parsed);
        if (command == QLatin1String("demo"))
            return demo(parsed);
        return check(parsed);
    } catch (const palvane::TableError& error) {
        print(stderr, QStringLiteral("palvane-table: %1").arg(error.message()));
        return kFailed;
    }
}
