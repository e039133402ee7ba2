#include "sync/card_fields.h"

#include "sync/dav_client.h"
#include "tools/contacts_vcard.h"
#include "tools/vcard_values.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>

#include <cmath>

namespace palvane::sync {

namespace {

QByteArray joined(const QStringList& parts, char separator) {
    QByteArray out;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i)
            out += separator;
        out += parts[i].toUtf8();
    }
    return out;
}

QStringList components(const CardEditor& card, int index, QChar separator) {
    return tool::splitUnshielded(QString::fromUtf8(card.value(index)), separator,
                                 tool::Shield::Escapes);
}

void putNick(const ContactRow& row, CardEditor& card) {
    const int index = card.preferred("NICKNAME");
    QStringList nicks = index >= 0 ? components(card, index, QLatin1Char(',')) : QStringList();
    const QString oldNick = tool::unescape(nicks.value(0));
    if (row.nick.isEmpty()) {
        if (!nicks.isEmpty())
            nicks.removeFirst();
    } else if (nicks.isEmpty()) {
        nicks << QString::fromUtf8(escapeText(row.nick));
    } else {
        nicks[0] = QString::fromUtf8(escapeText(row.nick));
    }
    if (nicks.isEmpty() && index >= 0)
        card.remove(index);
    else if (index >= 0)
        card.setValue(index, joined(nicks, ','));
    else if (!nicks.isEmpty())
        card.append("NICKNAME", "", joined(nicks, ','));
    // An IRC address of the old nick follows it.
    if (oldNick.isEmpty() || row.nick.isEmpty())
        return;
    for (int i = 0; i < card.count(); ++i) {
        if (card.property(i).name != "IMPP")
            continue;
        const QString uri = tool::unescape(QString::fromUtf8(card.value(i)));
        if (tool::nickFromIrcUri(uri) != oldNick)
            continue;
        QByteArray value = card.value(i);
        value.replace(QUrl::toPercentEncoding(oldNick), QUrl::toPercentEncoding(row.nick));
        value.replace(oldNick.toUtf8(), QUrl::toPercentEncoding(row.nick));
        card.setValue(i, value);
    }
}

void putName(const ContactRow& row, CardEditor& card) {
    // FN is required: a contact without a real name gives its nick, as the export writes it.
    const QByteArray formatted = escapeText(row.name.isEmpty() ? row.nick : row.name);
    if (const int index = card.preferred("FN"); index >= 0)
        card.setValue(index, formatted);
    else
        card.append("FN", "", formatted);
    // "Given Family": the last word is the family name.
    const QString name = row.name.trimmed();
    const qsizetype space = name.lastIndexOf(QLatin1Char(' '));
    const QByteArray structured = escapeText(space < 0 ? QString() : name.mid(space + 1)) + ';' +
                                  escapeText(space < 0 ? name : name.left(space).trimmed()) + ";;;";
    if (const int index = card.preferred("N"); index >= 0)
        card.setValue(index, structured);
    else
        card.append("N", "", structured);
}

void putEmail(const ContactRow& row, CardEditor& card) {
    const int index = card.preferred("EMAIL");
    if (row.email.isEmpty()) {
        if (index >= 0)
            card.remove(index);
    } else if (index >= 0) {
        card.setValue(index, escapeText(row.email));
    } else {
        card.append("EMAIL", "", escapeText(row.email));
    }
}

void putLocation(const ContactRow& row, CardEditor& card) {
    // "Locality, Country" into ADR's locality and country, as the export splits it.
    const qsizetype comma = row.location.lastIndexOf(QStringLiteral(", "));
    const bool split = comma > 0 && comma + 2 < row.location.size();
    const QString locality = split ? row.location.left(comma) : row.location;
    const QString country = split ? row.location.mid(comma + 2) : QString();
    const int index = card.preferred("ADR");
    QStringList parts = index >= 0 ? components(card, index, QLatin1Char(';')) : QStringList();
    while (parts.size() < 7)
        parts << QString();
    parts[3] = QString::fromUtf8(escapeText(locality));
    parts[6] = QString::fromUtf8(escapeText(country));
    const bool empty = parts.join(QString()).trimmed().isEmpty();
    if (index >= 0 && empty)
        card.remove(index);
    else if (index >= 0)
        card.setValue(index, joined(parts, ';'));
    else if (!empty)
        card.append("ADR", "", joined(parts, ';'));
}

void putNotes(const ContactRow& row, CardEditor& card) {
    // The notes came from every NOTE joined: they go back as one.
    int first = -1;
    for (int i = card.count() - 1; i >= 0; --i)
        if (card.property(i).name == "NOTE") {
            if (first >= 0)
                card.remove(first);
            first = i;
        }
    if (row.notes.isEmpty()) {
        if (first >= 0)
            card.remove(first);
    } else if (first >= 0) {
        card.setValue(first, escapeText(row.notes));
    } else {
        card.append("NOTE", "", escapeText(row.notes));
    }
}

std::optional<int> offsetHours(const ContactRow& row) {
    if (row.spin)
        return row.spin;
    if (row.timeDisplacement && std::isfinite(*row.timeDisplacement) &&
        std::fabs(*row.timeDisplacement) <= 1.0)
        return int(std::round(*row.timeDisplacement * 24));
    return std::nullopt;
}

void putOffset(const ContactRow& row, CardEditor& card, int localUtcOffsetSeconds) {
    const int index = card.preferred("TZ");
    const std::optional<int> hours = offsetHours(row);
    if (!hours) {
        if (index >= 0)
            card.remove(index);
        return;
    }
    QByteArray value;
    tool::appendUtcOffset(value, *hours * 60 + int(std::lround(localUtcOffsetSeconds / 60.0)));
    const QByteArray params = card.version() == 40 ? "VALUE=utc-offset" : "";
    if (index >= 0)
        card.setValue(index, params, value);
    else
        card.append("TZ", params, value);
}

void putPicture(const ContactRow& row, CardEditor& card, QStringList* warnings) {
    const int index = card.preferred("PHOTO");
    if (row.picture.isEmpty()) {
        if (index >= 0)
            card.remove(index);
        return;
    }
    // Other programs show PNG; the table's bitmaps go up as that.
    const QImage image(row.picture);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        if (warnings)
            *warnings << QStringLiteral("%1: the picture %2 cannot be read; the server keeps "
                                        "its own")
                             .arg(tool::describeContact(row), row.picture);
        return;
    }
    const bool v4 = card.version() == 40;
    const QByteArray value = v4 ? "data:image/png;base64," + png.toBase64() : png.toBase64();
    const QByteArray params = v4 ? "" : "ENCODING=b;TYPE=PNG";
    if (index >= 0)
        card.setValue(index, params, value);
    else
        card.append("PHOTO", params, value);
}

} // namespace

QString fieldName(int field) {
    static const char* const names[] = {"IRC Nick",  "IRC Name", "IRC Location", "IRC Email",
                                        "IRC Notes", "IRC Spin", "IRC Picture"};
    return QLatin1String(names[field]);
}

FieldValues localValues(const ContactRow& row) {
    const std::optional<int> hours = offsetHours(row);
    return {row.nick,   row.name,  row.location,
            row.email,  row.notes, hours ? QString::number(*hours) : QString(),
            row.picture};
}

ContactRow decodeCard(const CardEditor& card, int localUtcOffsetSeconds,
                      tool::PictureStore* pictures, QStringList* warnings) {
    try {
        tool::ReadContacts read =
            tool::readVCards(card.withOnlyPreferred("EMAIL"), localUtcOffsetSeconds, pictures,
                             tool::Extras::LeftOut); // they stay on the server's card
        if (warnings)
            *warnings << read.warnings;
        if (read.contacts.size() != 1)
            throw SyncError(SyncError::Kind::Server,
                            QStringLiteral("the server's card holds no contact"));
        return read.contacts.front();
    } catch (const tool::ToolError& error) {
        throw SyncError(
            SyncError::Kind::Server,
            QStringLiteral("the server's card cannot be read: %1").arg(error.message()));
    }
}

FieldValues serverValues(const CardEditor& card, const ContactRow& decoded) {
    FieldValues values = localValues(decoded);
    values[Offset] = QString::fromUtf8(card.value(card.preferred("TZ")).trimmed());
    const int photo = card.preferred("PHOTO");
    values[Picture] =
        photo < 0 ? QString()
                  : QString::fromLatin1(QCryptographicHash::hash(card.property(photo).params + ':' +
                                                                     card.value(photo),
                                                                 QCryptographicHash::Sha1)
                                            .toHex());
    return values;
}

bool sameValue(int field, const ContactRow& local, const ContactRow& decoded) {
    return localValues(local)[size_t(field)] == localValues(decoded)[size_t(field)];
}

void takeField(int field, const ContactRow& decoded, ContactRow& row) {
    switch (field) {
    case Nick:
        row.nick = decoded.nick;
        break;
    case Name:
        row.name = decoded.name;
        break;
    case Location:
        row.location = decoded.location;
        break;
    case Email:
        row.email = decoded.email;
        break;
    case Notes:
        row.notes = decoded.notes;
        break;
    case Offset:
        row.spin = decoded.spin;
        row.timeDisplacement = decoded.timeDisplacement;
        break;
    case Picture:
        row.picture = decoded.picture;
        break;
    }
}

void putField(int field, const ContactRow& row, CardEditor& card, int localUtcOffsetSeconds,
              QStringList* warnings) {
    switch (field) {
    case Nick:
        putNick(row, card);
        break;
    case Name:
        putName(row, card);
        break;
    case Location:
        putLocation(row, card);
        break;
    case Email:
        putEmail(row, card);
        break;
    case Notes:
        putNotes(row, card);
        break;
    case Offset:
        putOffset(row, card, localUtcOffsetSeconds);
        break;
    case Picture:
        putPicture(row, card, warnings);
        break;
    }
}

QString cardUid(const CardEditor& card) {
    return tool::unescape(QString::fromUtf8(card.value(card.preferred("UID")).trimmed()));
}

} // namespace palvane::sync
