#include "tools/show_contact.h"

#include "core/error.h"
#include "core/time_displacement.h"
#include "store/table.h"
#include "tools/chat_lines.h"
#include "tools/command_line.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

namespace palvane::tool {

namespace {

// Whole hours show as such; an offset imported from elsewhere may hold a fraction.
double offsetHours(double days) {
    return std::round(days * 24.0 * 1e6) / 1e6;
}

void printLines(const QStringList& lines) {
    for (const QString& line : lines)
        print(stdout, line);
}

} // namespace

QString signedOffsetHours(double days) {
    const double hours = offsetHours(days);
    return (hours > 0 ? QStringLiteral("+") : QString()) + QString::number(hours);
}

std::optional<ShownContact> findContact(const QString& tablePath, const QString& nick,
                                        double nowDays, const ClockFormatter& clock) {
    // Read-only, and no lock beyond each read: a copy of the program may have the table open.
    const QFileInfo file(tablePath);
    Table table;
    table.setDatabaseName(file.absolutePath());
    table.setTableName(file.fileName());
    table.setReadOnly(true);
    table.open();
    if (table.isEmpty())
        return std::nullopt;
    // The search box's search, step by step.
    table.setIndexName(QString::fromLatin1(kNickIndexName));
    table.setKey();
    table.fieldByName(QStringLiteral("IRC NICK")).setAsString(nick);
    table.gotoNearest();
    return currentContact(table, nick, nowDays, clock);
}

ShownContact currentContact(Table& table, const QString& query, double nowDays,
                            const ClockFormatter& clock) {
    ShownContact contact;
    contact.query = query;
    contact.nick = table.fieldByName(QStringLiteral("IRC Nick")).asString();
    contact.exact = Table::sameNick(contact.nick, query);
    contact.name = table.fieldByName(QStringLiteral("IRC Name")).asString();
    contact.email = table.fieldByName(QStringLiteral("IRC Email")).asString();
    contact.location = table.fieldByName(QStringLiteral("IRC Location")).asString();
    contact.notes = table.fieldByName(QStringLiteral("IRC Notes")).asString();
    try {
        // As the world clock takes the offset after a search.
        contact.offsetDays =
            toReal48(table.fieldByName(QStringLiteral("IRC Time Displacement")).asFloat());
        const double days = nowDays + contact.offsetDays;
        contact.theirTime = clock.formatTime(days);
        contact.theirDate = clock.formatDate(days);
        const QDateTime moment = daysToDateTime(days);
        if (moment.isValid())
            contact.theirDateTime = moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    } catch (const Error& error) {
        contact.clockError = error.message();
    }
    return contact;
}

QString escapeControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // C0 and C1 controls and DEL: ESC and CSI start the sequences that move the cursor,
        // clear the screen or retitle the window; CR overwrites the line.
        const bool control = (u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7F && u <= 0x9F);
        if (!control)
            out += c;
        else if (u == 0)
            out += QLatin1String("\\0");
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
    }
    return out;
}

QString contactText(const ShownContact& contact) {
    QStringList lines;
    if (!contact.exact)
        lines << QStringLiteral("No contact has the nick \"%1\"; the nearest is \"%2\".")
                     .arg(escapeControls(contact.query), escapeControls(contact.nick));
    const auto line = [&lines](const char* label, const QString& value) {
        const QString indent(12, QLatin1Char(' '));
        QString text = QString::fromLatin1(label).leftJustified(12) + escapeControls(value);
        text.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
        lines << text;
    };
    line("Nick:", contact.nick);
    line("Name:", contact.name);
    line("E-mail:", contact.email);
    line("Location:", contact.location);
    if (contact.clockError.isEmpty()) {
        line("Their time:", contact.theirTime);
        line("Their date:", contact.theirDate);
        line("Offset:", QStringLiteral("%1 hours from your local time")
                            .arg(signedOffsetHours(contact.offsetDays)));
    } else {
        line("Their time:", QStringLiteral("unknown (%1)").arg(contact.clockError));
    }
    line("Notes:", contact.notes);
    return lines.join(QLatin1Char('\n'));
}

QByteArray contactJson(const ShownContact& contact) {
    const auto orNull = [](const QString& text) {
        return text.isEmpty() ? QJsonValue() : QJsonValue(text);
    };
    const bool clock = contact.clockError.isEmpty();
    QJsonObject object{
        {QStringLiteral("query"), contact.query},
        {QStringLiteral("exact"), contact.exact},
        {QStringLiteral("nick"), contact.nick},
        {QStringLiteral("name"), contact.name},
        {QStringLiteral("email"), contact.email},
        {QStringLiteral("location"), contact.location},
        {QStringLiteral("notes"), contact.notes},
        {QStringLiteral("offset_days"), clock ? QJsonValue(contact.offsetDays) : QJsonValue()},
        {QStringLiteral("offset_hours"),
         clock ? QJsonValue(offsetHours(contact.offsetDays)) : QJsonValue()},
        {QStringLiteral("their_time"), orNull(contact.theirTime)},
        {QStringLiteral("their_date"), orNull(contact.theirDate)},
        {QStringLiteral("their_datetime"), orNull(contact.theirDateTime)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

int showContact(const QString& table, const QString& nick, const QString& format) {
    const ClockFormatter clock; // the locale's time format, as the program builds it
    const auto contact = findContact(table, nick, nowInDays(), clock);
    if (!contact) {
        print(stderr, QStringLiteral("palvane-table: the table %1 holds no contacts").arg(table));
        return kFailed;
    }
    if (!contact->clockError.isEmpty())
        print(stderr, QStringLiteral("palvane-table: warning: the offset of \"%1\" cannot "
                                     "be used by the clock: %2")
                          .arg(escapeControls(contact->nick), contact->clockError));
    if (format == QLatin1String("json"))
        std::fputs(contactJson(*contact).constData(), stdout);
    else if (format == QLatin1String("chat"))
        printLines(chatLines(*contact));
    else if (format == QLatin1String("whois"))
        printLines(whoisLines(*contact));
    else
        print(stdout, contactText(*contact));
    return kOk;
}

} // namespace palvane::tool
