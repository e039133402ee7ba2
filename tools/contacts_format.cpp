#include "tools/contacts_format.h"

#include <QStringDecoder>

namespace palvane::tool {

QString decodeUtf8(const QByteArray& bytes) {
    const QByteArray data = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (!decoder.hasError())
        return text;
    // Decode line by line to name the first line at fault.
    int line = 1;
    for (const QByteArray& part : data.split('\n')) {
        QStringDecoder lineDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        (void)QString(lineDecoder.decode(part));
        if (lineDecoder.hasError())
            break;
        ++line;
    }
    throw FormatError(line, QStringLiteral("the text is not valid UTF-8"));
}

QString normaliseLineBreaks(QString text) {
    if (!text.contains(QLatin1Char('\r')))
        return text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString describeContact(const ContactRow& row) {
    if (!row.nick.isEmpty())
        return QStringLiteral("contact '%1'").arg(row.nick);
    if (!row.name.isEmpty())
        return QStringLiteral("contact '%1'").arg(row.name);
    return QStringLiteral("contact without nick or name");
}

} // namespace palvane::tool
