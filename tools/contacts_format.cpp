#include "tools/contacts_format.h"

#include "tools/line_reader.h"
#include "tools/read_limits.h"

#include <QBuffer>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

namespace palvane::tool {

namespace {

constexpr qsizetype kShownCharacters = 60;

} // namespace

QString shown(const QString& value) {
    QString out;
    qsizetype characters = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (characters == kShownCharacters) {
            return out + QStringLiteral("... (%1 characters)").arg(value.size());
        }
        const QChar c = value[i];
        ++characters;
        if (c == QLatin1Char('\0'))
            out += QLatin1String("\\0");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (c.isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate())
            out += QString(value.constData() + i++, 2);
        else
            out += c;
    }
    return out;
}

QString sizeText(qsizetype bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString normaliseLineBreaks(QString text) {
    if (!text.contains(QLatin1Char('\r')))
        return text;
    // One pass: QString::replace with a shorter text moves the rest of a long text again and
    // again.
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\r')) {
            out += text[i];
            continue;
        }
        out += QLatin1Char('\n');
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
    }
    return out;
}

std::optional<QString> utf8Text(QByteArrayView bytes) {
    bool ascii = true;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString decodeUtf8(QByteArrayView bytes, int line) {
    std::optional<QString> text = utf8Text(bytes);
    if (!text)
        throw FormatError(line, QStringLiteral("the text is not valid UTF-8"));
    return *std::move(text);
}

QString placeName(const QString& locality, const QString& country) {
    if (locality.isEmpty() || country.isEmpty())
        return locality + country;
    return locality + QStringLiteral(", ") + country;
}

QString describeContact(const ContactRow& row) {
    if (!row.nick.isEmpty())
        return QStringLiteral("contact '%1'").arg(shown(row.nick));
    if (!row.name.isEmpty())
        return QStringLiteral("contact '%1'").arg(shown(row.name));
    return QStringLiteral("contact without nick or name");
}

int appendExtrasToNotes(DecodedContact& contact) {
    ContactRow& row = contact.row;
    for (const QString& line : std::as_const(contact.extras)) {
        if (!row.notes.isEmpty())
            row.notes += QLatin1Char('\n');
        row.notes += line;
    }
    return int(contact.extras.size());
}

void nameFromOtherValues(ContactRow& row, const QString& organisation, const QString& phone) {
    if (!row.nick.trimmed().isEmpty() || !row.name.trimmed().isEmpty())
        return;
    for (const QString& candidate : {organisation, phone, row.email})
        if (!candidate.trimmed().isEmpty()) {
            row.name = candidate.trimmed();
            return;
        }
}

bool holdsNothing(const DecodedContact& contact) {
    const ContactRow& row = contact.row;
    const auto blank = [](const QString& text) { return text.trimmed().isEmpty(); };
    return blank(row.nick) && blank(row.name) && blank(row.location) && blank(row.email) &&
           blank(row.notes) && blank(row.picture) && row.spin.value_or(0) == 0 &&
           row.timeDisplacement.value_or(0.0) == 0.0 && contact.extras.isEmpty();
}

ReadContacts
readWholeText(const QByteArray& bytes,
              const std::function<std::unique_ptr<ContactReader>(LineReader&, WarningSink)>& open,
              Extras extras) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    LineReader lines(buffer, QStringLiteral("the text"), kMaxCsvLineBytes);
    ReadContacts result;
    const std::unique_ptr<ContactReader> reader =
        open(lines, [&result](const QString& warning) { result.warnings << warning; });
    DecodedContact contact;
    int line = 0;
    while (reader->next(contact, line)) {
        if (extras == Extras::ToNotes)
            result.extrasInNotes += appendExtrasToNotes(contact);
        result.contacts.push_back(contact.row);
        result.lines.push_back(line);
    }
    return result;
}

QString systemErrorText(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("the disk quota is used up");
    case EROFS:
        return QStringLiteral("the file system is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    case EFBIG:
        return QStringLiteral("the file is too large for the file system");
    case EIO:
        return QStringLiteral("input/output error (a damaged disk or a lost connection)");
    default:
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

} // namespace palvane::tool
