#include "tools/vcard_values.h"

#include "tools/contacts_format.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUrl>

#include <cstdlib>

namespace palvane::tool {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

QByteArray decodeQuotedPrintable(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '=' && i + 1 == text.size()) {
            // a soft line break at the very end
        } else {
            out += c;
        }
    }
    return out;
}

QString propertyText(const VCardProperty& property, QString* problem) {
    const QByteArray bytes = property.hasParam("ENCODING", "QUOTED-PRINTABLE")
                                 ? decodeQuotedPrintable(property.value)
                                 : property.value;
    const QString charset = containsNoCase(property.params, "CHARSET")
                                ? property.param("CHARSET").value(0).trimmed()
                                : QString();
    if (!charset.isEmpty() && charset.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0) {
        QStringDecoder decoder(charset.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
        if (problem)
            *problem = QStringLiteral("the character set '%1' of %2 is unknown; read as "
                                      "Latin-1")
                           .arg(shown(charset), QString::fromLatin1(property.name));
        return QString::fromLatin1(bytes);
    }
    return decodeUtf8(bytes, property.line);
}

std::optional<QByteArray> decodeBase64(const QByteArray& text) {
    QByteArray compact;
    compact.reserve(text.size());
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            compact += c;
    const auto result =
        QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.isEmpty())
        return std::nullopt;
    return result.decoded;
}

QString unescape(const QString& text) {
    if (!text.contains(QLatin1Char('\\')))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[i + 1];
        if (next == QLatin1Char('n') || next == QLatin1Char('N'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char(',') || next == QLatin1Char(';') || next == QLatin1Char(':') ||
                 next == QLatin1Char('\\'))
            out += next;
        else {
            out += c;
            out += next;
        }
        ++i;
    }
    return out;
}

QString nameFromStructuredName(const QString& value) {
    const QStringList parts = splitUnshielded(value, QLatin1Char(';'), Shield::Escapes);
    QStringList words;
    // Prefix, given, additional, family, suffix.
    for (const int index : {3, 1, 2, 0, 4})
        for (const QString& word :
             splitUnshielded(parts.value(index), QLatin1Char(','), Shield::Escapes))
            if (const QString text = unescape(word).trimmed(); !text.isEmpty())
                words << text;
    return words.join(QLatin1Char(' '));
}

std::optional<QString> nickFromIrcUri(const QString& uri) {
    const QString trimmed = uri.trimmed();
    const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
    const QString scheme = trimmed.left(colon).toLower();
    if (colon < 0 || (scheme != QLatin1String("irc") && scheme != QLatin1String("ircs") &&
                      scheme != QLatin1String("irc6")))
        return std::nullopt;
    QString rest = trimmed.mid(colon + 1);
    if (rest.startsWith(QLatin1String("//"))) { // the server, then the target
        const qsizetype slash = rest.indexOf(QLatin1Char('/'), 2);
        if (slash < 0)
            return std::nullopt;
        rest = rest.mid(slash + 1);
    }
    static const QRegularExpression targetEnd(QStringLiteral("[,?#]"));
    const qsizetype end = rest.indexOf(targetEnd);
    const QString flags = end >= 0 ? rest.mid(end) : QString();
    QString target = QUrl::fromPercentEncoding(rest.left(end).toUtf8()).trimmed();
    if (target.startsWith(QLatin1Char('/')))
        target.remove(0, 1);
    // Channels start with one of these, or say so.
    if (target.isEmpty() || QStringLiteral("#&+!").contains(target.front()) ||
        flags.contains(QLatin1String("ischannel"), Qt::CaseInsensitive))
        return std::nullopt;
    return target;
}

void appendUtcOffset(QByteArray& out, int minutes, OffsetForm form) {
    const int magnitude = std::abs(minutes);
    const int hours = magnitude / 60;
    const int rest = magnitude % 60;
    out += minutes < 0 ? '-' : '+';
    out += char('0' + hours / 10);
    out += char('0' + hours % 10);
    if (form == OffsetForm::Extended)
        out += ':';
    out += char('0' + rest / 10);
    out += char('0' + rest % 10);
}

QString zoneInUri(const QString& uri) {
    QString rest = uri.trimmed();
    static const QRegularExpression queryStart(QStringLiteral("[?#]"));
    static const QRegularExpression separators(QStringLiteral("[/:]"));
    const qsizetype query = rest.indexOf(queryStart);
    if (query >= 0)
        rest.truncate(query);
    QStringList segments = rest.split(separators, Qt::SkipEmptyParts);
    // Zone names have up to three parts: "America/Argentina/Buenos_Aires".
    for (int parts = 3; parts >= 1; --parts) {
        if (segments.size() < parts)
            continue;
        const QString id = QUrl::fromPercentEncoding(
            segments.mid(segments.size() - parts).join(QLatin1Char('/')).toUtf8());
        if (QTimeZone::isTimeZoneIdAvailable(id.toUtf8()))
            return id;
    }
    return QString();
}

} // namespace palvane::tool
