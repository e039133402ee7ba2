// add and set: one contact created, or fields of one changed, from the command line.

#include "core/clock_format.h"
#include "tools/commands.h"
#include "tools/contact_edit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace palvane::tool {

namespace {

const QString kName = QStringLiteral("name");
const QString kEmail = QStringLiteral("email");
const QString kLocation = QStringLiteral("location");
const QString kNotes = QStringLiteral("notes");
const QString kAppendNotes = QStringLiteral("append-notes");
const QString kDated = QStringLiteral("dated");
const QString kOffset = QStringLiteral("offset");
const QString kPicture = QStringLiteral("picture");
const QString kFormat = QStringLiteral("format");

// A field option; an empty value empties the field.
Option fieldOption(const QString& name, const QString& help, const QString& valueName) {
    Option option{QCommandLineOption(name, help, valueName)};
    option.mayBeEmpty = true;
    return option;
}

std::vector<Option> editOptions() {
    return {
        fieldOption(kName, QStringLiteral("the real name"), QStringLiteral("TEXT")),
        fieldOption(kEmail, QStringLiteral("the e-mail address"), QStringLiteral("TEXT")),
        fieldOption(kLocation, QStringLiteral("where they live"), QStringLiteral("TEXT")),
        fieldOption(kNotes, QStringLiteral("the notes, replaced"), QStringLiteral("TEXT")),
        fieldOption(kAppendNotes, QStringLiteral("a line below the notes"), QStringLiteral("TEXT")),
        {QCommandLineOption(kDated, QStringLiteral("the appended line starts with today's date"))},
        {QCommandLineOption(kOffset,
                            QStringLiteral("their local time minus yours, in whole hours "
                                           "from -24 to 24"),
                            QStringLiteral("HOURS")),
         QStringLiteral("a number of hours")},
        fieldOption(kPicture, QStringLiteral("a .bmp, .ico, .wmf or .emf file, kept where it is"),
                    QStringLiteral("FILE")),
        tableOption(),
        {QCommandLineOption(kFormat, QStringLiteral("text (the default) or json"),
                            QStringLiteral("FORMAT"))}};
}

std::optional<QString> validate(const QString& command, const Arguments& arguments) {
    if (arguments.isSet(kFormat) && arguments.value(kFormat) != QLatin1String("text") &&
        arguments.value(kFormat) != QLatin1String("json"))
        return QStringLiteral("unknown format '%1' (text or json)").arg(arguments.value(kFormat));
    QString problem;
    if (arguments.isSet(kOffset) && !parseOffsetHours(arguments.value(kOffset), &problem))
        return problem;
    if (arguments.isSet(kDated) && !arguments.isSet(kAppendNotes))
        return QStringLiteral("--dated goes with --append-notes");
    bool anything = false;
    for (const QString& field : {kName, kEmail, kLocation, kNotes, kAppendNotes, kOffset, kPicture})
        anything = anything || arguments.isSet(field);
    if (command == QLatin1String("set") && !anything)
        return QStringLiteral("set needs something to change (--name, --email, --location, "
                              "--notes, --append-notes, --offset or --picture)");
    return std::nullopt;
}

ContactEdit editOf(const Arguments& arguments) {
    ContactEdit edit;
    const auto text = [&arguments](const QString& option, std::optional<QString>& field) {
        if (arguments.isSet(option))
            field = arguments.value(option);
    };
    text(kName, edit.name);
    text(kEmail, edit.email);
    text(kLocation, edit.location);
    text(kNotes, edit.notes);
    text(kAppendNotes, edit.appendNotes);
    edit.dated = arguments.isSet(kDated);
    if (arguments.isSet(kOffset))
        edit.offsetHours = parseOffsetHours(arguments.value(kOffset), nullptr);
    // Checked before the table is touched, and kept by its full path as the window keeps it.
    if (arguments.isSet(kPicture))
        edit.picture = pictureToStore(arguments.value(kPicture));
    return edit;
}

void warn(const QString& text) {
    print(stderr, QStringLiteral("palvane-table: warning: %1").arg(text));
}

int run(bool add, const Arguments& arguments) {
    // A new user may add someone from their IRC client before the address book's first start.
    const QString table = add ? tableToFill(arguments) : tablePath(arguments);
    const QString nick = arguments.positional(0);
    const ContactEdit edit = editOf(arguments);
    const ClockFormatter clock; // the locale's time format, as the program builds it
    const EditContext context{QDate::currentDate(), nowInDays(), &clock, warn};
    const EditResult result =
        add ? addContact(table, nick, edit, context) : setContact(table, nick, edit, context);
    if (result.sameNickCount > 1)
        warn(QStringLiteral("%1 contacts have the nick \"%2\"; the first in nick order, the one "
                            "show finds, was changed")
                 .arg(result.sameNickCount)
                 .arg(result.contact.nick));
    if (arguments.value(kFormat) == QLatin1String("json")) {
        QJsonObject object = QJsonDocument::fromJson(contactJson(result.contact)).object();
        object.insert(QStringLiteral("changed"), QJsonArray::fromStringList(result.changed));
        print(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    } else if (add) {
        print(stdout, QStringLiteral("Added \"%1\" to %2").arg(result.contact.nick, table));
    } else {
        print(stdout,
              QStringLiteral("Changed \"%1\" in %2: %3")
                  .arg(result.contact.nick, table, result.changed.join(QStringLiteral(", "))));
    }
    return kOk;
}

Command editCommand(const QString& name, const QString& synopsis, const QString& description) {
    Command command;
    command.name = name;
    command.synopsis = synopsis;
    command.description = description;
    command.options = editOptions();
    const QString needsNick = QStringLiteral("%1 needs a NICK").arg(name);
    command.positionals = {{QStringLiteral("NICK"), needsNick, needsNick}};
    command.validate = [name](const Arguments& arguments) { return validate(name, arguments); };
    command.whenFailed = QStringLiteral("nothing was changed");
    const bool add = name == QLatin1String("add");
    command.run = [add](const Arguments& arguments) { return run(add, arguments); };
    return command;
}

} // namespace

Command addCommand() {
    return editCommand(QStringLiteral("add"),
                       QStringLiteral("add NICK [FIELDS] [--table PATH] [--format text|json]"),
                       QStringLiteral("add a contact, as the window's New Entry and Update\n"
                                      "Entry do; refused when a contact has the nick (case\n"
                                      "ignored). FIELDS: --name, --email, --location, --notes\n"
                                      "TEXT, --append-notes TEXT [--dated], --offset HOURS,\n"
                                      "--picture FILE; texts longer than their field are cut,\n"
                                      "with a warning. A NICK that starts with '-' goes after\n"
                                      "'--'"));
}

Command setCommand() {
    return editCommand(QStringLiteral("set"),
                       QStringLiteral("set NICK FIELDS [--table PATH] [--format text|json]"),
                       QStringLiteral("change fields of the contact with the nick (case ignored;\n"
                                      "the first in nick order when several have it); an empty\n"
                                      "value empties a field"));
}

} // namespace palvane::tool
