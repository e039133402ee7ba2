#include "tools/extra_lines.h"

#include <QRegularExpression>

namespace palvane::tool {

QString extraLine(const char* label, const QString& type, const QString& value) {
    QString text = value.trimmed();
    if (text.isEmpty())
        return {};
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        QStringList lines;
        for (const QString& line : text.split(QRegularExpression(QStringLiteral("[\r\n]+"))))
            if (const QString trimmed = line.trimmed(); !trimmed.isEmpty())
                lines << trimmed;
        text = lines.join(QStringLiteral(", "));
    }
    const QString head = QLatin1String(label);
    return type.isEmpty() ? QStringLiteral("%1: %2").arg(head, text)
                          : QStringLiteral("%1 (%2): %3").arg(head, type, text);
}

QString typeText(const QStringList& types) {
    static const QStringList silent = {QStringLiteral("pref"), QStringLiteral("internet"),
                                       QStringLiteral("voice"), QStringLiteral("x400")};
    QStringList kept;
    for (QString type : types) {
        type = type.trimmed();
        // An address book's own labels: "_$!<Mobile>!$_".
        if (type.startsWith(QLatin1String("_$!<")) && type.endsWith(QLatin1String(">!$_")))
            type = type.mid(4, type.size() - 8);
        // A web mail program marks the primary value with "* ".
        if (type.startsWith(QLatin1Char('*')))
            type = type.mid(1).trimmed();
        type = type.toLower();
        if (type.isEmpty() || silent.contains(type) || kept.contains(type))
            continue;
        kept << type;
    }
    return kept.join(QStringLiteral(", "));
}

QString dateText(const QString& value) {
    static const QRegularExpression basic(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})(T.*)?$"));
    static const QRegularExpression noYear(QStringLiteral("^--(\\d{2})-?(\\d{2})$"));
    static const QRegularExpression extended(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})T.*$"));
    const QString text = value.trimmed();
    if (const auto m = basic.match(text); m.hasMatch())
        return QStringLiteral("%1-%2-%3").arg(m.captured(1), m.captured(2), m.captured(3));
    if (const auto m = noYear.match(text); m.hasMatch())
        return QStringLiteral("--%1-%2").arg(m.captured(1), m.captured(2));
    if (const auto m = extended.match(text); m.hasMatch())
        return m.captured(1);
    return text;
}

QString joinedParts(const QStringList& parts) {
    QStringList kept;
    for (const QString& part : parts)
        if (const QString trimmed = part.trimmed(); !trimmed.isEmpty())
            kept << trimmed;
    return kept.join(QStringLiteral(", "));
}

QString messagingLine(const QStringList& types, const QString& address) {
    static const QRegularExpression uri(QStringLiteral("^([A-Za-z][A-Za-z0-9+-]*):(.*)$"));
    QStringList kinds = types;
    QString text = address.trimmed();
    if (const auto m = uri.match(text); m.hasMatch()) {
        kinds.prepend(m.captured(1));
        if (!m.captured(2).startsWith(QLatin1String("//")))
            text = m.captured(2);
    }
    return extraLine(label::Im, typeText(kinds), text);
}

} // namespace palvane::tool
