#include "tools/contacts_vcard.h"

#include "core/time_displacement.h"

#include "tools/contact_pictures.h"
#include "tools/extra_lines.h"
#include "tools/read_limits.h"
#include "tools/vcard_scanner.h"
#include "tools/vcard_values.h"

#include <QBuffer>
#include <QDateTime>
#include <QMap>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace palvane::tool {

namespace {

constexpr int kMaxHours = 24;
constexpr qsizetype kNamedProperties = 8; // in the warning about properties left out

int preference(const VCardProperty& property) {
    int rank = 101;
    for (const QString& value : property.param("PREF")) {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (ok && n >= 1 && n <= 100)
            rank = std::min(rank, n);
    }
    if (property.hasParam("TYPE", "pref"))
        rank = std::min(rank, 1);
    return rank;
}

// The properties of that name, the preferred first, else in card order.
std::vector<const VCardProperty*> byPreference(const VCard& card, PropertyKind kind) {
    std::vector<const VCardProperty*> found;
    for (const VCardProperty& property : card)
        if (property.kind == kind)
            found.push_back(&property);
    if (found.size() > 1)
        std::stable_sort(found.begin(), found.end(), [](const auto* a, const auto* b) {
            return preference(*a) < preference(*b);
        });
    return found;
}

const VCardProperty* preferred(const VCard& card, PropertyKind kind) {
    const VCardProperty* best = nullptr;
    int bestRank = -1; // worked out only when a second one comes
    for (const VCardProperty& property : card) {
        if (property.kind != kind)
            continue;
        if (!best) {
            best = &property;
            continue;
        }
        if (bestRank < 0)
            bestRank = preference(*best);
        if (const int rank = preference(property); rank < bestRank) {
            best = &property;
            bestRank = rank;
        }
    }
    return best;
}

QString signedHours(int hours) {
    return hours > 0 ? QStringLiteral("+%1").arg(hours) : QString::number(hours);
}

QString utcOffset(int minutes) {
    QByteArray text;
    appendUtcOffset(text, minutes);
    return QString::fromLatin1(text);
}

// "+05:00", "-0500", "+530", "+5": minutes east of UTC.
std::optional<int> offsetMinutes(const QString& text) {
    if (text.size() < 2 || (text[0] != QLatin1Char('+') && text[0] != QLatin1Char('-')))
        return std::nullopt;
    QString digits;
    qsizetype colon = -1;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u':' && colon < 0 && !digits.isEmpty())
            colon = digits.size();
        else if (c >= u'0' && c <= u'9')
            digits += text[i];
        else
            return std::nullopt;
    }
    // Without a colon the last two of three or four digits are the minutes.
    const qsizetype hourDigits = colon >= 0           ? colon
                                 : digits.size() <= 2 ? digits.size()
                                                      : digits.size() - 2;
    const qsizetype minuteDigits = digits.size() - hourDigits;
    if (hourDigits < 1 || hourDigits > 2 || (minuteDigits != 0 && minuteDigits != 2) ||
        (colon >= 0 && minuteDigits == 0) ||
        (minuteDigits == 2 && digits[hourDigits] > QLatin1Char('5')))
        return std::nullopt;
    const int total = digits.left(hourDigits).toInt() * 60 + digits.mid(hourDigits).toInt();
    return text[0] == QLatin1Char('-') ? -total : total;
}

bool isEmptyName(const QString& value) {
    return nameFromStructuredName(value).isEmpty();
}

// The components of a structured value (ADR, ORG), unescaped, blanks around them kept.
QStringList components(const QString& value) {
    QStringList parts = splitUnshielded(value, QLatin1Char(';'), Shield::Escapes);
    for (QString& part : parts)
        part = unescape(part);
    return parts;
}

// The values of a list (NICKNAME, CATEGORIES), unescaped, blanks around them kept.
QStringList listValues(const QString& value) {
    QStringList values;
    for (const QString& item : splitUnshielded(value, QLatin1Char(','), Shield::Escapes))
        values << unescape(item);
    return values;
}

// ADR: post office box, extended address, street, locality, region, postal code, country.
enum AdrPart {
    AdrPoBox,
    AdrExtended,
    AdrStreet,
    AdrLocality,
    AdrRegion,
    AdrPostalCode,
    AdrCountry
};

bool hasLocation(const QStringList& adr) {
    return !adr.value(AdrLocality).trimmed().isEmpty() ||
           !adr.value(AdrCountry).trimmed().isEmpty();
}

// Parts of an address beyond the locality and country that the location holds.
bool beyondLocation(const QStringList& adr) {
    for (const int part : {AdrPoBox, AdrExtended, AdrStreet, AdrRegion, AdrPostalCode})
        if (!adr.value(part).trimmed().isEmpty())
            return true;
    return false;
}

// The network of an X-JABBER, X-AIM, ... property, as a URI scheme would name it.
QString networkOf(const QByteArray& name) {
    QString network = QString::fromLatin1(name.mid(2)).toLower();
    if (network == QLatin1String("jabber") || network == QLatin1String("google-talk"))
        return QStringLiteral("xmpp");
    if (network == QLatin1String("skype-username"))
        return QStringLiteral("skype");
    return network;
}

} // namespace

struct VCardReader::Impl {
    VCardScanner scanner;
    VCardOptions options;
    WarningSink warn;
    int localMinutes;
    VCard card;
    QStringList pending; // warnings of the card being read, given out once its contact is known
    qint64 emptyCards = 0;
    QMap<QByteArray, qint64> leftOut; // properties the table has no place for: cards holding each

    Impl(LineReader& lines, const VCardOptions& o, WarningSink w)
        : scanner(lines), options(o), warn(std::move(w)),
          localMinutes(static_cast<int>(std::lround(o.localUtcOffsetSeconds / 60.0))) {
        lines.setMaxLineBytes(kMaxPicturePropertyBytes);
    }

    QString text(const VCardProperty& property) {
        QString problem;
        QString value = propertyText(property, &problem);
        if (!problem.isEmpty())
            pending << problem;
        return value;
    }

    // The kinds the card gives a property: its TYPE parameters, and the label of its group.
    QStringList typesOf(const VCardProperty& property) {
        QStringList types;
        for (const QString& value : property.param("TYPE"))
            types << value.split(QLatin1Char(','));
        if (!property.group.isEmpty())
            for (const VCardProperty& other : card)
                if (other.kind == PropertyKind::AbLabel && other.group == property.group)
                    types << unescape(text(other));
        return types;
    }

    // false: the card is a group, or holds nothing; it is skipped.
    bool read(DecodedContact& contact) {
        ContactRow& row = contact.row;
        row = ContactRow();
        contact.extras.clear();
        const VCardProperty* nickname = preferred(card, PropertyKind::Nickname);
        const VCardProperty* formatted = preferred(card, PropertyKind::Fn);
        const VCardProperty* n = preferred(card, PropertyKind::N);
        const QString structured = n ? text(*n) : QString();
        row.name = formatted ? unescape(text(*formatted)) : nameFromStructuredName(structured);
        if (const VCardProperty* kind = preferred(card, PropertyKind::Kind);
            kind &&
            unescape(text(*kind)).trimmed().compare(QLatin1String("group"), Qt::CaseInsensitive) ==
                0) {
            if (warn)
                warn(QStringLiteral("line %1: the group '%2' (KIND:group) is a list of contacts, "
                                    "not a person; skipped")
                         .arg(card.line)
                         .arg(shown(row.name)));
            pending.clear();
            return false;
        }
        // An empty NICKNAME is a contact without a nick, as the export writes one.
        bool nickGiven = nickname != nullptr;
        if (nickname) {
            row.nick = listValues(text(*nickname)).value(0);
        } else if (const std::optional<QString> nick = ircNick()) {
            row.nick = *nick;
            nickGiven = true;
        }

        // The preferred address that is not empty.
        const VCardProperty* email = nullptr;
        for (const VCardProperty* candidate : byPreference(card, PropertyKind::Email)) {
            row.email = unescape(text(*candidate)).trimmed();
            if (!row.email.isEmpty()) {
                email = candidate;
                break;
            }
        }
        const VCardProperty* address = locationSource();
        if (address)
            row.location = placeName(components(text(*address)).value(AdrLocality),
                                     components(text(*address)).value(AdrCountry));
        QStringList notes;
        for (const VCardProperty& property : card)
            if (property.kind == PropertyKind::Note)
                notes << unescape(text(property));
        // Quoted-printable notes may hold CR LF; the program's notes box writes LF.
        row.notes = normaliseLineBreaks(notes.join(QLatin1Char('\n')));

        QString organisation;
        QString phone;
        const VCardProperty* photo = preferred(card, PropertyKind::Photo);
        for (const VCardProperty& property : card)
            addExtra(property, contact, {nickname, email, address, photo}, organisation, phone);
        // A contact without nick and name still names itself; without a nick of its own, its
        // nick is its name.
        nameFromOtherValues(row, organisation, phone);
        if (!nickGiven)
            row.nick = row.name;
        // FN is required, so a contact without a real name carries its nick there, beside an
        // empty N.
        if (n && formatted && row.name == row.nick && isEmptyName(structured))
            row.name.clear();

        if (photo)
            row.picture = picturePath(*photo, row);
        const int hours = offsetHours();
        row.spin = hours;
        row.timeDisplacement = hoursToDays(hours);

        if (!formatted && !nickname && !n && holdsNothing(contact)) {
            ++emptyCards;
            pending.clear();
            return false;
        }
        if (warn)
            for (const QString& problem : pending)
                warn(QStringLiteral("line %1, %2: %3")
                         .arg(card.line)
                         .arg(describeContact(row), problem));
        pending.clear();
        return true;
    }

    // The address the location comes from: the preferred one that names a locality or a
    // country, as an empty one must not hide a filled one.
    const VCardProperty* locationSource() {
        for (const VCardProperty* adr : byPreference(card, PropertyKind::Adr))
            if (hasLocation(components(text(*adr))))
                return adr;
        return nullptr;
    }

    // The properties whose values went into the table's fields.
    struct Used {
        const VCardProperty* nickname;
        const VCardProperty* email;
        const VCardProperty* address;
        const VCardProperty* photo;
    };

    void addExtra(const VCardProperty& property, DecodedContact& contact, const Used& used,
                  QString& organisation, QString& phone) {
        const ContactRow& row = contact.row;
        const auto add = [&contact](const QString& line) {
            if (!line.isEmpty())
                contact.extras << line;
        };
        switch (property.kind) {
        case PropertyKind::Nickname: {
            const QStringList names = listValues(text(property));
            for (int i = 0; i < names.size(); ++i)
                if (!(&property == used.nickname && i == 0) &&
                    names[i].trimmed() != row.nick.trimmed())
                    add(extraLine(label::Nickname, {}, names[i]));
            break;
        }
        case PropertyKind::Email:
            if (&property != used.email)
                add(extraLine(label::Email, typeText(typesOf(property)), unescape(text(property))));
            break;
        case PropertyKind::Tel: {
            QString number = unescape(text(property)).trimmed();
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                number = number.mid(4);
            if (phone.isEmpty())
                phone = number;
            add(extraLine(label::Phone, typeText(typesOf(property)), number));
            break;
        }
        case PropertyKind::Adr: {
            const QStringList parts = components(text(property));
            if (&property == used.address && !beyondLocation(parts))
                break;
            add(extraLine(label::Address, typeText(typesOf(property)), joinedParts(parts)));
            break;
        }
        case PropertyKind::Label:
            // The printed form of an address: only when the card has no ADR to hold it.
            if (!preferred(card, PropertyKind::Adr))
                add(extraLine(label::Address, typeText(typesOf(property)),
                              unescape(text(property))));
            break;
        case PropertyKind::Org: {
            const QStringList parts = components(text(property));
            if (organisation.isEmpty())
                organisation = joinedParts(parts);
            add(extraLine(label::Organisation, {}, joinedParts(parts)));
            break;
        }
        case PropertyKind::Title:
            add(extraLine(label::Title, {}, unescape(text(property))));
            break;
        case PropertyKind::Role:
            add(extraLine(label::Role, {}, unescape(text(property))));
            break;
        case PropertyKind::Bday:
            add(extraLine(label::Birthday, {}, dateText(unescape(text(property)))));
            break;
        case PropertyKind::Anniversary:
            add(extraLine(label::Anniversary, {}, dateText(unescape(text(property)))));
            break;
        case PropertyKind::Url:
            add(extraLine(label::Web, typeText(typesOf(property)), unescape(text(property))));
            break;
        case PropertyKind::Categories:
            add(extraLine(label::Categories, {}, joinedParts(listValues(text(property)))));
            break;
        case PropertyKind::Impp: {
            const QString uri = unescape(text(property)).trimmed();
            // The contact's own IRC address is its nick.
            if (const std::optional<QString> nick = nickFromIrcUri(uri);
                nick && nick->trimmed().compare(row.nick.trimmed(), Qt::CaseInsensitive) == 0)
                break;
            add(messagingLine(typesOf(property) + property.param("X-SERVICE-TYPE"), uri));
            break;
        }
        case PropertyKind::Messaging:
            add(messagingLine(QStringList{networkOf(property.name)} + typesOf(property),
                              unescape(text(property))));
            break;
        case PropertyKind::Photo:
            if (&property != used.photo)
                ++leftOutHere[QByteArrayLiteral("PHOTO")];
            break;
        case PropertyKind::Other:
            ++leftOutHere[property.name];
            break;
        default:
            break;
        }
    }

    QMap<QByteArray, int> leftOutHere; // of the card being read

    // Counts the card for each property left out of it.
    void countLeftOut() {
        for (auto it = leftOutHere.cbegin(); it != leftOutHere.cend(); ++it)
            ++leftOut[it.key()];
        leftOutHere.clear();
    }

    // At the end of the file: what was skipped or left out, in one warning each.
    void warnAtEnd() {
        if (!warn)
            return;
        if (emptyCards > 0)
            warn((emptyCards == 1 ? QStringLiteral("1 card that holds nothing (no name, nick, "
                                                   "e-mail or other value) was skipped")
                                  : QStringLiteral("%1 cards that hold nothing (no name, nick, "
                                                   "e-mail or other value) were skipped")
                                        .arg(emptyCards)));
        if (leftOut.isEmpty())
            return;
        QStringList names;
        for (auto it = leftOut.cbegin(); it != leftOut.cend(); ++it) {
            if (names.size() == kNamedProperties) {
                names << QStringLiteral("%1 more").arg(leftOut.size() - kNamedProperties);
                break;
            }
            names << QStringLiteral("%1 (%2 %3)")
                         .arg(shown(QString::fromLatin1(it.key())))
                         .arg(it.value())
                         .arg(it.value() == 1 ? QStringLiteral("card") : QStringLiteral("cards"));
        }
        warn(QStringLiteral("not imported, as the table has no place for them: the properties %1")
                 .arg(names.join(QStringLiteral(", "))));
        leftOut.clear();
    }

    std::optional<QString> ircNick() {
        for (const VCardProperty* impp : byPreference(card, PropertyKind::Impp))
            if (std::optional<QString> nick = nickFromIrcUri(unescape(text(*impp))))
                return nick;
        return std::nullopt;
    }

    QString picturePath(const VCardProperty& photo, const ContactRow& row) {
        // An embedded picture is decoded from the bytes as written: a text copy of megabytes
        // of base64 would only double the memory.
        const QByteArray written =
            (photo.hasParam("ENCODING", "QUOTED-PRINTABLE") ? decodeQuotedPrintable(photo.value)
                                                            : photo.value)
                .trimmed();
        const bool dataUri = written.left(5).toLower() == "data:";
        if (dataUri || photo.hasParam("ENCODING", "b") || photo.hasParam("ENCODING", "base64"))
            return embeddedPicture(written, dataUri, row, photo.line);
        const QString value = text(photo).trimmed();
        QUrl url(value, QUrl::TolerantMode);
        const bool localHost =
            url.host().isEmpty() ||
            url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
        if (url.isValid() &&
            url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 && localHost) {
            url.setScheme(QStringLiteral("file"));
            url.setHost(QString());
            const QString path = url.toLocalFile();
            if (!path.isEmpty())
                return path;
        }
        pending << QStringLiteral("the picture '%1' is not a local file: URI; left out")
                       .arg(shown(value));
        return {};
    }

    QString embeddedPicture(const QByteArray& value, bool dataUri, const ContactRow& row,
                            int line) {
        if (!options.pictures) {
            pending << QStringLiteral("the picture is embedded in the card; only pictures given "
                                      "as file: URIs are imported");
            return {};
        }
        std::optional<QByteArray> bytes;
        if (dataUri) {
            const qsizetype comma = value.indexOf(',');
            const QByteArray header = value.left(comma).toLower();
            if (comma < 0)
                bytes.reset();
            else if (header.endsWith(";base64"))
                bytes = decodeBase64(value.mid(comma + 1));
            else
                bytes = QByteArray::fromPercentEncoding(value.mid(comma + 1));
        } else {
            bytes = decodeBase64(value);
        }
        if (!bytes || bytes->isEmpty()) {
            pending << QStringLiteral("the embedded picture is not valid base64; left out");
            return {};
        }
        if (bytes->size() > kMaxEmbeddedPictureBytes)
            throw FormatError(line, QStringLiteral("the embedded picture is larger than %1, the "
                                                   "most an import takes")
                                        .arg(sizeText(kMaxEmbeddedPictureBytes)));
        QString problem;
        const QString path = options.pictures->store(*bytes, row.nick, &problem);
        if (path.isEmpty())
            pending << problem;
        return path;
    }

    // The contact's offset from local time in whole hours; 0 without a usable TZ.
    int offsetHours() {
        const VCardProperty* tz = preferred(card, PropertyKind::Tz);
        if (!tz)
            return 0;
        const QString whole = unescape(text(*tz)).trimmed();
        // A text TZ may follow the offset with a zone name: "-05:00; EST; Raleigh/North
        // America", the semicolons escaped or not.
        const QString value = whole.section(QLatin1Char(';'), 0, 0).trimmed();
        int utcMinutes = 0;
        QString label = value;
        if (value.compare(QLatin1String("Z"), Qt::CaseInsensitive) == 0) {
            utcMinutes = 0;
        } else if (const std::optional<int> minutes = offsetMinutes(value)) {
            utcMinutes = *minutes;
        } else {
            const bool uri = tz->hasParam("VALUE", "uri") ||
                             QUrl(value).scheme().size() > 1; // not a drive letter
            const QString zone = uri ? zoneInUri(value)
                                 : QTimeZone::isTimeZoneIdAvailable(value.toUtf8()) ? value
                                                                                    : QString();
            if (zone.isEmpty()) {
                pending << (uri ? QStringLiteral("the time zone URI '%1' names no zone of the "
                                                 "zone database; offset set to 0")
                                : QStringLiteral("the time zone '%1' is neither a UTC offset "
                                                 "such as +05:00 nor a zone of the zone "
                                                 "database; offset set to 0"))
                               .arg(shown(value));
                return 0;
            }
            utcMinutes =
                QTimeZone(zone.toUtf8()).offsetFromUtc(QDateTime::currentDateTimeUtc()) / 60;
            label = zone;
            pending << QStringLiteral("the time zone %1 is UTC%2 today; the contact keeps that "
                                      "offset, fixed in whole hours, and will not follow the "
                                      "zone's changes such as daylight saving time")
                           .arg(zone, utcOffset(utcMinutes));
        }
        const int minutes = utcMinutes - localMinutes;
        int hours = static_cast<int>(std::round(minutes / 60.0)); // halves away from zero
        if (minutes % 60 != 0)
            pending << QStringLiteral("the time zone %1 is %2 hours from local time, not a whole "
                                      "number; rounded to %3 hours")
                           .arg(shown(label))
                           .arg(minutes / 60.0, 0, 'g', 4)
                           .arg(signedHours(hours));
        if (std::abs(hours) > kMaxHours) {
            const int clamped = hours > 0 ? kMaxHours : -kMaxHours;
            pending << QStringLiteral("the time zone %1 is %2 hours from local time; the offset "
                                      "is limited to %3 hours")
                           .arg(shown(label), signedHours(hours), signedHours(clamped));
            hours = clamped;
        }
        return hours;
    }
};

VCardReader::VCardReader(LineReader& lines, const VCardOptions& options, WarningSink warn)
    : d(std::make_unique<Impl>(lines, options, std::move(warn))) {}

VCardReader::~VCardReader() = default;

bool VCardReader::next(DecodedContact& contact, int& line) {
    for (;;) {
        if (!d->scanner.next(d->card)) {
            d->warnAtEnd();
            return false;
        }
        line = d->card.line;
        const bool kept = d->read(contact);
        d->countLeftOut();
        if (kept)
            return true;
    }
}

std::vector<DecodedContact> decodeVCards(const QByteArray& bytes, const VCardOptions& options,
                                         const WarningSink& warn) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    LineReader lines(buffer, QStringLiteral("the card"), kMaxPicturePropertyBytes);
    VCardReader reader(lines, options, warn);
    std::vector<DecodedContact> contacts;
    DecodedContact contact;
    int line = 0;
    while (reader.next(contact, line))
        contacts.push_back(contact);
    return contacts;
}

ReadContacts readVCards(const QByteArray& bytes, int localUtcOffsetSeconds, PictureStore* pictures,
                        Extras extras) {
    return readWholeText(
        bytes,
        [&](LineReader& lines, WarningSink warn) {
            return std::make_unique<VCardReader>(
                lines, VCardOptions{localUtcOffsetSeconds, pictures}, std::move(warn));
        },
        extras);
}

} // namespace palvane::tool
