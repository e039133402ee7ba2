#include "tools/contact_edit.h"

#include "core/error.h"
#include "core/time_displacement.h"
#include "pictures/picture.h"
#include "store/field_names.h"
#include "store/sqlite_util.h"
#include "store/table.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace palvane::tool {

namespace {

// Where the contact's fields go, and the option that names each in messages.
struct TextField {
    int index;
    const char* option;
    const std::optional<QString> ContactEdit::*value;
};

constexpr TextField kTextFields[] = {
    {FieldName, "name", &ContactEdit::name},
    {FieldLocation, "location", &ContactEdit::location},
    {FieldEmail, "email", &ContactEdit::email},
};

bool longerThan(const QString& text, int length) {
    return length > 0 && sql::cutToLength(text, length).size() != text.size();
}

QString cutWithWarning(const QString& text, int field, const Table& table,
                       const EditContext& context) {
    const int length = table.fieldLength(field);
    if (!longerThan(text, length))
        return text;
    if (context.warning)
        context.warning(QStringLiteral("\"%1\" cut to its length of %2 characters")
                            .arg(QLatin1String(kFieldNames[field]))
                            .arg(length));
    return sql::cutToLength(text, length);
}

// A one-line field as a box of the window could hold it: without control characters. IRC
// clients hand on real names with their formatting codes; a colour code takes its digits along
// ("\x03" "4,12Ann" is "Ann").
QString oneLine(const QString& text, int field, const EditContext& context) {
    static const QRegularExpression controls(
        QStringLiteral("\\x03(\\d{1,2}(,\\d{1,2})?)?|[\\x00-\\x1f\\x7f]"));
    QString clean = text;
    clean.remove(controls);
    if (clean.size() != text.size() && context.warning)
        context.warning(QStringLiteral("control characters left out of \"%1\"")
                            .arg(QLatin1String(kFieldNames[field])));
    return clean;
}

// Opens the table for writing, in nick order.
void openForWriting(Table& table, const QString& tablePath) {
    const QFileInfo file(tablePath);
    table.setDatabaseName(file.absolutePath());
    table.setTableName(file.fileName());
    table.open();
    if (table.readOnly())
        throw ToolError(QStringLiteral("cannot change the contact table %1: it is read-only "
                                       "(the file or its folder cannot be written)")
                            .arg(table.filePath()));
    table.setIndexName(QString::fromLatin1(kNickIndexName));
}

// Stands on the first contact whose nick is nick (case ignored), if there is one.
bool standOn(Table& table, const QString& nick) {
    table.setKey();
    table.fieldByName(QStringLiteral("IRC NICK")).setAsString(nick);
    table.gotoNearest();
    return table.hasCurrent() &&
           Table::sameNick(table.fieldByName(QStringLiteral("IRC Nick")).asString(), nick);
}

// The contacts from the current one on that share its nick (they follow it in nick order).
int countSameNick(Table& table, const QString& nick) {
    int count = 1;
    for (;;) {
        const qint64 before = table.currentRowId();
        table.next();
        if (table.currentRowId() == before ||
            !Table::sameNick(table.fieldByName(QStringLiteral("IRC Nick")).asString(), nick))
            return count;
        ++count;
    }
}

QString notesAfter(const QString& nick, const QString& before, const ContactEdit& edit,
                   const Table& table, const EditContext& context) {
    QString notes =
        edit.notes ? cutWithWarning(normaliseLineBreaks(*edit.notes), FieldNotes, table, context)
                   : before;
    if (!edit.appendNotes)
        return notes;
    const QString text = normaliseLineBreaks(*edit.appendNotes);
    if (!notes.isEmpty() && !notes.endsWith(QLatin1Char('\n')))
        notes += QLatin1Char('\n');
    notes += edit.dated ? datedLine(context.today, text) : text;
    // Cutting would drop the very line that was asked for: refuse instead.
    const int length = table.fieldLength(FieldNotes);
    if (longerThan(notes, length))
        throw ToolError(QStringLiteral("the notes of \"%1\" would be longer than their %2 "
                                       "characters with the new line")
                            .arg(nick)
                            .arg(length));
    return notes;
}

// Writes the fields the edit gives into the record being edited or inserted; returns the
// option names of the fields written.
QStringList writeFields(Table& table, const QString& nick, const ContactEdit& edit,
                        const EditContext& context) {
    QStringList changed;
    for (const TextField& field : kTextFields) {
        if (const auto& value = edit.*field.value) {
            table.field(field.index)
                .setAsString(cutWithWarning(oneLine(*value, field.index, context), field.index,
                                            table, context));
            changed << QLatin1String(field.option);
        }
    }
    if (edit.notes || edit.appendNotes) {
        const QString before = table.field(FieldNotes).asString();
        table.field(FieldNotes).setAsString(notesAfter(nick, before, edit, table, context));
        changed << QStringLiteral("notes");
    }
    if (edit.offsetHours) {
        // Both units at once, so the clock and the spin box always agree.
        table.field(FieldSpin).setAsInteger(*edit.offsetHours);
        table.field(FieldTimeDisplacement).setAsFloat(palvane::hoursToDays(*edit.offsetHours));
        changed << QStringLiteral("offset");
    }
    if (edit.picture) {
        const int length = table.fieldLength(FieldPicture);
        if (longerThan(*edit.picture, length))
            throw ToolError(QStringLiteral("the picture's path is longer than the %1 characters "
                                           "the table holds")
                                .arg(length));
        table.field(FieldPicture).setAsString(*edit.picture);
        changed << QStringLiteral("picture");
    }
    return changed;
}

// Stores the record being edited or inserted, within the write that commits it; a refused
// store is dropped rather than left pending.
EditResult store(Table& table, const QString& nick, QStringList changed,
                 const EditContext& context) {
    try {
        table.post();
    } catch (...) {
        table.cancel();
        throw;
    }
    EditResult result;
    result.contact = currentContact(table, nick, context.nowDays, *context.clock);
    result.changed = std::move(changed);
    return result;
}

} // namespace

std::optional<int> parseOffsetHours(const QString& text, QString* error) {
    bool ok = false;
    const int hours = text.trimmed().toInt(&ok);
    if (ok && hours >= -24 && hours <= 24)
        return hours;
    if (error)
        *error =
            QStringLiteral("the offset must be whole hours from -24 to 24, not '%1'").arg(text);
    return std::nullopt;
}

QString pictureToStore(const QString& file) {
    if (file.isEmpty())
        return QString();
    const QFileInfo info(file);
    const QString path = info.absoluteFilePath();
    if (!info.exists())
        throw ToolError(QStringLiteral("the picture %1 does not exist").arg(path));
    if (!info.isFile())
        throw ToolError(QStringLiteral("the picture %1 is not a file").arg(path));
    if (!info.isReadable())
        throw ToolError(QStringLiteral("the picture %1 cannot be read").arg(path));
    // The window's own loading, so that what it would refuse to show is refused here.
    try {
        Picture::load(path);
    } catch (const Error& error) {
        throw ToolError(
            QStringLiteral("the picture %1 cannot be shown: %2").arg(path, error.message()));
    }
    return path;
}

QString datedLine(const QDate& day, const QString& text) {
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(": ") + text;
}

EditResult addContact(const QString& tablePath, const QString& nick, const ContactEdit& edit,
                      const EditContext& context) {
    Table table;
    openForWriting(table, tablePath);
    // The nick as the table will hold it: a cut nick must not slip past the check.
    const QString stored =
        cutWithWarning(oneLine(nick, FieldNick, context), FieldNick, table, context);
    if (stored.isEmpty())
        throw ToolError(QStringLiteral("a contact needs a nick"));
    // The check and the insert under one lock: two adds of one nick at once cannot both pass.
    TableWrite write(table);
    if (standOn(table, stored)) {
        const QString existing = table.fieldByName(QStringLiteral("IRC Nick")).asString();
        throw ToolError(QStringLiteral("a contact with the nick \"%1\" exists already%2")
                            .arg(stored, existing == stored
                                             ? QString()
                                             : QStringLiteral(", as \"%1\"").arg(existing)));
    }
    table.append();
    table.field(FieldNick).setAsString(stored);
    // A new entry starts with no offset, in both units.
    table.field(FieldTimeDisplacement).setAsFloat(0.0);
    table.field(FieldSpin).setAsInteger(0);
    QStringList changed = writeFields(table, stored, edit, context);
    changed.prepend(QStringLiteral("nick"));
    EditResult result = store(table, stored, changed, context);
    write.commit();
    return result;
}

EditResult setContact(const QString& tablePath, const QString& nick, const ContactEdit& edit,
                      const EditContext& context) {
    Table table;
    openForWriting(table, tablePath);
    // The fields read (the notes a line goes below) cannot change before the store.
    TableWrite write(table);
    if (nick.isEmpty() || !standOn(table, nick))
        throw ToolError(QStringLiteral("no contact has the nick \"%1\"").arg(nick));
    const int sameNick = countSameNick(table, nick);
    standOn(table, nick); // back to the first of them, the one show finds
    table.edit();
    QStringList changed = writeFields(table, nick, edit, context);
    EditResult result = store(table, nick, changed, context);
    write.commit();
    result.sameNickCount = sameNick;
    return result;
}

} // namespace palvane::tool
