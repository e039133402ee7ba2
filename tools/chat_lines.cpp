#include "tools/chat_lines.h"

namespace palvane::tool {

namespace {

QString escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x") +
                   QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString timeText(const ShownContact& contact) {
    if (contact.theirTime.isEmpty())
        return QStringLiteral("unknown");
    return QStringLiteral("%1, %2 (%3 h from yours)")
        .arg(contact.theirTime, contact.theirDate, signedOffsetHours(contact.offsetDays));
}

QStringList noteLines(const ShownContact& contact) {
    QStringList lines;
    for (const QString& line : contact.notes.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            lines << QStringLiteral("notes: ") + escaped(line);
    return lines;
}

} // namespace

QStringList chatLines(const ShownContact& contact) {
    QStringList lines;
    if (!contact.exact)
        lines << QStringLiteral("no contact \"%1\"; nearest: %2")
                     .arg(escaped(contact.query), escaped(contact.nick));
    QString details = contact.name;
    if (!contact.email.isEmpty())
        details += QStringLiteral(" <%1>").arg(contact.email);
    details = details.trimmed();
    if (!contact.location.isEmpty())
        details += (details.isEmpty() ? QString() : QStringLiteral(", ")) + contact.location;
    lines << escaped(contact.nick + QLatin1Char(':') +
                     (details.isEmpty() ? QString() : QLatin1Char(' ') + details));
    lines << QStringLiteral("their time: ") + timeText(contact);
    return lines + noteLines(contact);
}

QStringList whoisLines(const ShownContact& contact) {
    if (!contact.exact)
        return {};
    return QStringList{QStringLiteral("%1's local time: %2")
                           .arg(escaped(contact.nick), timeText(contact))} +
           noteLines(contact);
}

} // namespace palvane::tool
