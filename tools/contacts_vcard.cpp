#include "tools/contacts_vcard.h"

#include "tools/contact_pictures.h"
#include "tools/vcard_scanner.h"
#include "tools/vcard_values.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace palvane::tool {

namespace {

constexpr int kMaxHours = 24;

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

QString location(const QString& value) {
    const QStringList parts = splitUnshielded(value, QLatin1Char(';'), Shield::Escapes);
    return placeName(unescape(parts.value(3)), unescape(parts.value(6)));
}

} // namespace

struct VCardReader::Impl {
    VCardScanner scanner;
    VCardOptions options;
    WarningSink warn;
    int localMinutes;
    VCard card;
    QStringList pending; // warnings of the card being read, given out once its contact is known

    Impl(LineReader& lines, const VCardOptions& o, WarningSink w)
        : scanner(lines), options(o), warn(std::move(w)),
          localMinutes(static_cast<int>(std::lround(o.localUtcOffsetSeconds / 60.0))) {}

    QString text(const VCardProperty& property) {
        QString problem;
        QString value = propertyText(property, &problem);
        if (!problem.isEmpty())
            pending << problem;
        return value;
    }

    void read(ContactRow& row) {
        row = ContactRow();
        const VCardProperty* nickname = preferred(card, PropertyKind::Nickname);
        const VCardProperty* formatted = preferred(card, PropertyKind::Fn);
        const VCardProperty* n = preferred(card, PropertyKind::N);
        const QString structured = n ? text(*n) : QString();
        row.name = formatted ? unescape(text(*formatted)) : nameFromStructuredName(structured);
        if (nickname)
            row.nick = unescape(
                splitUnshielded(text(*nickname), QLatin1Char(','), Shield::Escapes).first());
        else if (const std::optional<QString> nick = ircNick())
            row.nick = *nick;
        else
            row.nick = row.name;
        // FN is required, so a contact without a real name carries its nick there, beside an
        // empty N.
        if (n && formatted && row.name == row.nick && isEmptyName(structured))
            row.name.clear();

        const std::vector<const VCardProperty*> emails = byPreference(card, PropertyKind::Email);
        QStringList others;
        for (const VCardProperty* email : emails) {
            const QString address = unescape(text(*email)).trimmed();
            if (row.email.isEmpty())
                row.email = address;
            else
                others << address;
        }
        if (const VCardProperty* adr = preferred(card, PropertyKind::Adr))
            row.location = location(text(*adr));
        QStringList notes;
        for (const VCardProperty& property : card)
            if (property.kind == PropertyKind::Note)
                notes << unescape(text(property));
        // Quoted-printable notes may hold CR LF; the program's notes box writes LF.
        row.notes = normaliseLineBreaks(notes.join(QLatin1Char('\n')));
        keepOtherEmails(row, others);
        if (const VCardProperty* photo = preferred(card, PropertyKind::Photo))
            row.picture = picturePath(*photo, row);
        const int hours = offsetHours();
        row.spin = hours;
        row.timeDisplacement = hoursToDays(hours);

        if (warn)
            for (const QString& problem : pending)
                warn(QStringLiteral("line %1, %2: %3")
                         .arg(card.line)
                         .arg(describeContact(row), problem));
        pending.clear();
    }

    std::optional<QString> ircNick() {
        for (const VCardProperty* impp : byPreference(card, PropertyKind::Impp))
            if (std::optional<QString> nick = nickFromIrcUri(unescape(text(*impp))))
                return nick;
        return std::nullopt;
    }

    QString picturePath(const VCardProperty& photo, const ContactRow& row) {
        const QString value = text(photo).trimmed();
        const bool dataUri = value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
        if (dataUri || photo.hasParam("ENCODING", "b") || photo.hasParam("ENCODING", "base64"))
            return embeddedPicture(value, dataUri, row);
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

    QString embeddedPicture(const QString& value, bool dataUri, const ContactRow& row) {
        if (!options.pictures) {
            pending << QStringLiteral("the picture is embedded in the card; only pictures given "
                                      "as file: URIs are imported");
            return {};
        }
        std::optional<QByteArray> bytes;
        if (dataUri) {
            const qsizetype comma = value.indexOf(QLatin1Char(','));
            const QString header = value.left(comma);
            const QByteArray data = value.mid(comma + 1).toLatin1();
            if (comma < 0)
                bytes.reset();
            else if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive))
                bytes = decodeBase64(data);
            else
                bytes = QByteArray::fromPercentEncoding(data);
        } else {
            bytes = decodeBase64(value.toLatin1());
        }
        if (!bytes || bytes->isEmpty()) {
            pending << QStringLiteral("the embedded picture is not valid base64; left out");
            return {};
        }
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

bool VCardReader::next(ContactRow& row, int& line) {
    if (!d->scanner.next(d->card))
        return false;
    line = d->card.line;
    d->read(row);
    return true;
}

ReadContacts readVCards(const QByteArray& bytes, int localUtcOffsetSeconds,
                        PictureStore* pictures) {
    return readWholeText(bytes, [&](LineReader& lines, WarningSink warn) {
        return std::make_unique<VCardReader>(lines, VCardOptions{localUtcOffsetSeconds, pictures},
                                             std::move(warn));
    });
}

} // namespace palvane::tool
