// import and export: contacts between the table and a CSV or vCard file.

#include "tools/commands.h"
#include "tools/contacts_io.h"
#include "tools/transfer_console.h"

#include <QDateTime>

namespace palvane::tool {

namespace {

const QString kFormat = QStringLiteral("format");

Option formatOption(const QString& help) {
    return {QCommandLineOption(kFormat, help, QStringLiteral("FORMAT"))};
}

std::optional<QString> checkFormat(const Arguments& arguments) {
    if (arguments.isSet(kFormat) && !formatByName(arguments.value(kFormat)))
        return QStringLiteral("unknown format '%1' (csv, vcard or vcard3)")
            .arg(arguments.value(kFormat));
    return std::nullopt;
}

std::optional<ContactFormat> formatOf(const Arguments& arguments) {
    return arguments.isSet(kFormat) ? formatByName(arguments.value(kFormat)) : std::nullopt;
}

// The user's offset from UTC now: vCard time zones are converted with it.
int localUtcOffsetSeconds() {
    return QDateTime::currentDateTime().offsetFromUtc();
}

} // namespace

Command importCommand() {
    Command command;
    command.name = QStringLiteral("import");
    command.synopsis = QStringLiteral("import FILE [--table PATH] [--format csv|vcard]");
    command.description = QStringLiteral("add the contacts of a CSV or vCard file (.csv, .vcf;\n"
                                         "else told by its content; '-' reads standard input):\n"
                                         "all of them, or none if anything is wrong");
    command.options = {tableOption(),
                       formatOption(QStringLiteral("csv or vcard (any version); default: by the "
                                                   "file's name, else its content"))};
    command.positionals = {{QStringLiteral("FILE"),
                            QStringLiteral("import needs a FILE ('-' for standard input)"),
                            QStringLiteral("the file name is empty")}};
    command.validate = checkFormat;
    command.whenFailed = QStringLiteral("nothing was imported");
    command.run = [](const Arguments& arguments) {
        const QString table = tableToFill(arguments);
        TransferConsole console(stderr, QStringLiteral("Importing"));
        const TransferReport report =
            importContacts(arguments.positional(0), table, formatOf(arguments),
                           localUtcOffsetSeconds(), console.hooks());
        console.clear();
        print(stdout, importSummary(report, table));
        return kOk;
    };
    return command;
}

Command exportCommand() {
    Command command;
    command.name = QStringLiteral("export");
    command.synopsis = QStringLiteral("export [--format csv|vcard|vcard3] [--table PATH] [FILE]");
    command.description =
        QStringLiteral("write every contact as CSV (the default) or vCard 4.0\n"
                       "(vcard, or a FILE ending in .vcf) or 3.0 (vcard3); without\n"
                       "FILE, or with '-', to standard output");
    command.options = {tableOption(),
                       formatOption(QStringLiteral("csv, vcard (4.0) or vcard3; default: vcard "
                                                   "for a .vcf FILE, else csv"))};
    command.positionals = {{QStringLiteral("FILE"), {}, QStringLiteral("the file name is empty")}};
    command.validate = checkFormat;
    command.run = [](const Arguments& arguments) {
        const QString file = arguments.positional(0);
        const ContactFormat format =
            arguments.isSet(kFormat) ? *formatOf(arguments) : formatOfExport(file);
        TransferConsole console(stderr, QStringLiteral("Exporting"));
        const TransferReport report = exportContacts(tablePath(arguments), file, format,
                                                     localUtcOffsetSeconds(), console.hooks());
        console.clear();
        // Standard output carries the contacts themselves; say nothing more there.
        if (!file.isEmpty() && file != QLatin1String("-"))
            print(stdout, QStringLiteral("Exported %1 contacts to %2").arg(report.count).arg(file));
        return kOk;
    };
    return command;
}

} // namespace palvane::tool
