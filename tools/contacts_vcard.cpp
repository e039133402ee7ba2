#include "tools/contacts_vcard.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <optional>

namespace palvane::tool {

namespace {

constexpr int kMaxHours = 24;
constexpr int kFoldOctets = 75;

struct Line {
    QString text;
    int number = 0;
};

struct Property {
    QString name; // upper case, without group
    QHash<QString, QStringList> params;
    QString value; // as written, escapes still in
    int line = 0;
};

struct Card {
    int line = 0;
    std::vector<Property> properties;
};

// Physical lines joined where a line starting with a blank or a tab continues the one before.
std::vector<Line> unfold(const QString& text) {
    const QStringList physical = normaliseLineBreaks(text).split(QLatin1Char('\n'));
    std::vector<Line> lines;
    for (int i = 0; i < physical.size(); ++i) {
        const QString& line = physical[i];
        const bool continuation = !line.isEmpty() && (line.front() == QLatin1Char(' ') ||
                                                      line.front() == QLatin1Char('\t'));
        if (!continuation) {
            lines.push_back({line, i + 1});
            continue;
        }
        if (lines.empty())
            throw FormatError(i + 1, QStringLiteral("a folded line (starting with a blank) "
                                                    "without a line before it to continue"));
        lines.back().text += line.mid(1);
    }
    return lines;
}

// Splits at separators outside double quotes.
QStringList splitOutsideQuotes(const QString& text, QChar separator) {
    QStringList parts;
    QString part;
    bool inQuotes = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            inQuotes = !inQuotes;
        if (c == separator && !inQuotes) {
            parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    parts << part;
    return parts;
}

QString unquote(QString text) {
    if (text.size() >= 2 && text.front() == QLatin1Char('"') && text.back() == QLatin1Char('"'))
        return text.mid(1, text.size() - 2);
    return text;
}

Property parseLine(const Line& line) {
    bool inQuotes = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.text.size(); ++i) {
        const QChar c = line.text[i];
        if (c == QLatin1Char('"'))
            inQuotes = !inQuotes;
        else if (c == QLatin1Char(':') && !inQuotes) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        throw FormatError(line.number,
                          QStringLiteral("no ':' in the line (a vCard line reads NAME:VALUE)"));
    const QStringList head = splitOutsideQuotes(line.text.left(colon), QLatin1Char(';'));
    Property property;
    property.line = line.number;
    property.value = line.text.mid(colon + 1);
    QString name = head.first().trimmed();
    name = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1); // drop a group prefix
    static const QRegularExpression validName(QStringLiteral("^[A-Za-z0-9-]+$"));
    if (!validName.match(name).hasMatch())
        throw FormatError(line.number,
                          QStringLiteral("'%1' is not a vCard property name").arg(head.first()));
    property.name = name.toUpper();
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QString& param = head[i];
        const qsizetype equals = param.indexOf(QLatin1Char('='));
        // A bare parameter value (an old-style "EMAIL;INTERNET:") is a type.
        const QString key = equals < 0 ? QStringLiteral("TYPE") : param.left(equals).trimmed();
        const QString values = equals < 0 ? param : param.mid(equals + 1);
        for (const QString& value : splitOutsideQuotes(values, QLatin1Char(',')))
            property.params[key.toUpper()] << unquote(value.trimmed());
    }
    return property;
}

bool hasParam(const Property& property, const QString& key, const QString& value) {
    const QStringList values = property.params.value(key);
    return std::any_of(values.begin(), values.end(), [&](const QString& v) {
        return v.compare(value, Qt::CaseInsensitive) == 0;
    });
}

std::vector<Card> readCards(const QString& text) {
    std::vector<Card> cards;
    std::optional<Card> card;
    for (const Line& line : unfold(text)) {
        if (line.text.trimmed().isEmpty())
            continue;
        Property property = parseLine(line);
        const QString value = property.value.trimmed();
        if (property.name == QLatin1String("BEGIN")) {
            if (value.compare(QLatin1String("VCARD"), Qt::CaseInsensitive) != 0)
                throw FormatError(
                    line.number, QStringLiteral("BEGIN:%1 is not the start of a vCard").arg(value));
            if (card)
                throw FormatError(line.number, QStringLiteral("BEGIN:VCARD inside the card begun "
                                                              "on line %1 (END:VCARD missing?)")
                                                   .arg(card->line));
            card = Card{line.number, {}};
        } else if (!card) {
            throw FormatError(line.number, QStringLiteral("'%1' outside a card (a card starts "
                                                          "with BEGIN:VCARD)")
                                               .arg(line.text.left(40)));
        } else if (property.name == QLatin1String("END")) {
            if (value.compare(QLatin1String("VCARD"), Qt::CaseInsensitive) != 0)
                throw FormatError(
                    line.number,
                    QStringLiteral("END:%1 inside a vCard (END:VCARD expected)").arg(value));
            cards.push_back(std::move(*card));
            card.reset();
        } else {
            if (property.name == QLatin1String("VERSION") && value != QLatin1String("3.0") &&
                value != QLatin1String("4.0"))
                throw FormatError(line.number, QStringLiteral("vCard version '%1' is not "
                                                              "supported (3.0 and 4.0 are)")
                                                   .arg(value));
            card->properties.push_back(std::move(property));
        }
    }
    if (card)
        throw FormatError(card->line, QStringLiteral("the card begun here has no END:VCARD"));
    return cards;
}

// Resolves \n \N \, \; \: and \\; any other backslash stays as written.
QString unescape(const QString& text) {
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

// Splits a structured or list value at separators that are not escaped; escapes stay in.
QStringList splitUnescaped(const QString& text, QChar separator) {
    QStringList parts;
    QString part;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            part += c;
            part += text[++i];
        } else if (c == separator) {
            parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    parts << part;
    return parts;
}

QString escape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : normaliseLineBreaks(text)) {
        if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';'))
            out += QLatin1Char('\\') + QString(c);
        else
            out += c;
    }
    return out;
}

int preference(const Property& property) {
    int rank = 101;
    for (const QString& value : property.params.value(QStringLiteral("PREF"))) {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (ok && n >= 1 && n <= 100)
            rank = std::min(rank, n);
    }
    if (hasParam(property, QStringLiteral("TYPE"), QStringLiteral("pref")))
        rank = std::min(rank, 1);
    return rank;
}

// The preferred property of that name, else the first; nullptr when there is none.
const Property* preferred(const Card& card, const char* name) {
    const Property* best = nullptr;
    for (const Property& property : card.properties)
        if (property.name == QLatin1String(name) &&
            (!best || preference(property) < preference(*best)))
            best = &property;
    return best;
}

QString signedHours(int hours) {
    return hours > 0 ? QStringLiteral("+%1").arg(hours) : QString::number(hours);
}

class CardReader {
public:
    CardReader(const Card& card, int localUtcOffsetSeconds, QStringList& warnings)
        : card_(card), localMinutes_(static_cast<int>(std::lround(localUtcOffsetSeconds / 60.0))),
          warnings_(warnings) {}

    ContactRow read() {
        ContactRow row;
        const Property* nickname = preferred(card_, "NICKNAME");
        const Property* formatted = preferred(card_, "FN");
        const QString fn = formatted ? unescape(formatted->value) : QString();
        row.nick =
            nickname ? unescape(splitUnescaped(nickname->value, QLatin1Char(',')).first()) : fn;
        row.name = fn;
        // FN is required, so a contact without a real name carries its nick there, beside an
        // empty N.
        if (const Property* n = preferred(card_, "N"); n && isEmptyName(n->value) && fn == row.nick)
            row.name.clear();
        if (const Property* email = preferred(card_, "EMAIL"))
            row.email = unescape(email->value).trimmed();
        if (const Property* address = preferred(card_, "ADR"))
            row.location = location(address->value);
        QStringList notes;
        for (const Property& property : card_.properties)
            if (property.name == QLatin1String("NOTE"))
                notes << unescape(property.value);
        row.notes = notes.join(QLatin1Char('\n'));
        if (const Property* photo = preferred(card_, "PHOTO"))
            row.picture = picturePath(*photo, row);
        const int hours = offsetHours(row);
        row.spin = hours;
        row.timeDisplacement = hoursToDays(hours);
        return row;
    }

private:
    static bool isEmptyName(const QString& value) {
        const QStringList parts = splitUnescaped(value, QLatin1Char(';'));
        return std::all_of(parts.begin(), parts.end(), [](const QString& part) {
            return unescape(part).remove(QLatin1Char(',')).trimmed().isEmpty();
        });
    }

    static QString location(const QString& value) {
        const QStringList parts = splitUnescaped(value, QLatin1Char(';'));
        const QString locality = unescape(parts.value(3));
        const QString country = unescape(parts.value(6));
        if (locality.isEmpty() || country.isEmpty())
            return locality + country;
        return locality + QStringLiteral(", ") + country;
    }

    void warn(const ContactRow& row, const QString& text) {
        warnings_
            << QStringLiteral("line %1, %2: %3").arg(card_.line).arg(describeContact(row), text);
    }

    QString picturePath(const Property& photo, const ContactRow& row) {
        const QString value = photo.value.trimmed();
        if (hasParam(photo, QStringLiteral("ENCODING"), QStringLiteral("b")) ||
            hasParam(photo, QStringLiteral("ENCODING"), QStringLiteral("base64")) ||
            value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
            warn(row, QStringLiteral("the picture is embedded in the card; only pictures "
                                     "given as file: URIs are imported"));
            return {};
        }
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
        warn(row, QStringLiteral("the picture '%1' is not a local file: URI; left out")
                      .arg(value.left(80)));
        return {};
    }

    // The contact's offset from local time in whole hours; 0 without a usable TZ.
    int offsetHours(const ContactRow& row) {
        const Property* tz = preferred(card_, "TZ");
        if (!tz)
            return 0;
        // A text TZ may follow the offset with a zone name: "-05:00; EST; Raleigh/North
        // America", the semicolons escaped or not.
        const QString text = unescape(tz->value).section(QLatin1Char(';'), 0, 0).trimmed();
        static const QRegularExpression offset(
            QStringLiteral("^([+-])(\\d{1,2})(?::?([0-5]\\d))?$"));
        int utcMinutes = 0;
        if (text.compare(QLatin1String("Z"), Qt::CaseInsensitive) != 0) {
            const QRegularExpressionMatch match = offset.match(text);
            if (!match.hasMatch()) {
                warn(row, QStringLiteral("the time zone '%1' is not a UTC offset such as "
                                         "+05:00; offset set to 0")
                              .arg(text.left(80)));
                return 0;
            }
            utcMinutes = match.captured(2).toInt() * 60 + match.captured(3).toInt();
            if (match.captured(1) == QLatin1String("-"))
                utcMinutes = -utcMinutes;
        }
        const int minutes = utcMinutes - localMinutes_;
        int hours = static_cast<int>(std::round(minutes / 60.0)); // halves away from zero
        if (minutes % 60 != 0)
            warn(row, QStringLiteral("the time zone %1 is %2 hours from local time, not a "
                                     "whole number; rounded to %3 hours")
                          .arg(text)
                          .arg(minutes / 60.0, 0, 'g', 4)
                          .arg(signedHours(hours)));
        if (std::abs(hours) > kMaxHours) {
            const int clamped = hours > 0 ? kMaxHours : -kMaxHours;
            warn(row, QStringLiteral("the time zone %1 is %2 hours from local time; the offset "
                                     "is limited to %3 hours")
                          .arg(text)
                          .arg(signedHours(hours))
                          .arg(signedHours(clamped)));
            hours = clamped;
        }
        return hours;
    }

    const Card& card_;
    int localMinutes_;
    QStringList& warnings_;
};

// Logical line to CR LF-ended physical lines of at most 75 bytes, never splitting a character.
QByteArray fold(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    QByteArray out;
    int used = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        qsizetype length = 1;
        while (i + length < bytes.size() && (quint8(bytes[i + length]) & 0xC0) == 0x80)
            ++length;
        if (used + length > kFoldOctets) {
            out += "\r\n ";
            used = 1;
        }
        out += bytes.mid(i, length);
        used += static_cast<int>(length);
        i += length;
    }
    out += "\r\n";
    return out;
}

QString utcOffset(int minutes) {
    const QChar sign = minutes < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const int magnitude = std::abs(minutes);
    return QStringLiteral("%1%2:%3")
        .arg(sign)
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

// "Given Family": the last word is the family name.
QString structuredName(const QString& name) {
    const QString trimmed = name.trimmed();
    const qsizetype space = trimmed.lastIndexOf(QLatin1Char(' '));
    const QString family = space < 0 ? QString() : trimmed.mid(space + 1);
    const QString given = space < 0 ? trimmed : trimmed.left(space).trimmed();
    return escape(family) + QLatin1Char(';') + escape(given) + QStringLiteral(";;;");
}

// Location "Locality, Country" into ADR's locality and country; without a comma and a blank
// between two non-empty parts it is all locality.
QString address(const QString& location) {
    const qsizetype comma = location.lastIndexOf(QLatin1String(", "));
    QString locality = location;
    QString country;
    if (comma > 0 && comma + 2 < location.size()) {
        locality = location.left(comma);
        country = location.mid(comma + 2);
    }
    return QStringLiteral(";;;") + escape(locality) + QStringLiteral(";;;") + escape(country);
}

QString fileUri(const QString& path) {
    return QStringLiteral("file://") +
           QString::fromLatin1(QUrl::toPercentEncoding(path, QByteArrayLiteral("/")));
}

} // namespace

ReadContacts readVCards(const QByteArray& bytes, int localUtcOffsetSeconds) {
    ReadContacts result;
    for (const Card& card : readCards(decodeUtf8(bytes))) {
        result.contacts.push_back(CardReader(card, localUtcOffsetSeconds, result.warnings).read());
        result.lines.push_back(card.line);
    }
    return result;
}

QByteArray writeVCards(const std::vector<ContactRow>& contacts, VCardVersion version,
                       int localUtcOffsetSeconds, QStringList* warnings) {
    const bool v4 = version == VCardVersion::V4;
    const int localMinutes = static_cast<int>(std::lround(localUtcOffsetSeconds / 60.0));
    QByteArray out;
    for (const ContactRow& row : contacts) {
        out += fold(QStringLiteral("BEGIN:VCARD"));
        out += fold(v4 ? QStringLiteral("VERSION:4.0") : QStringLiteral("VERSION:3.0"));
        out += fold(QStringLiteral("FN:") + escape(row.name.isEmpty() ? row.nick : row.name));
        out += fold(QStringLiteral("N:") + structuredName(row.name));
        out += fold(QStringLiteral("NICKNAME:") + escape(row.nick));
        if (!row.email.isEmpty())
            out += fold(QStringLiteral("EMAIL:") + escape(row.email));
        if (!row.location.isEmpty())
            out += fold(QStringLiteral("ADR:") + address(row.location));
        if (!row.notes.isEmpty())
            out += fold(QStringLiteral("NOTE:") + escape(row.notes));
        if (!row.picture.isEmpty()) {
            QString path = row.picture;
            if (QFileInfo(path).isRelative()) {
                path = QFileInfo(path).absoluteFilePath();
                if (warnings)
                    *warnings << QStringLiteral("%1: the picture path '%2' is relative; "
                                                "written as %3")
                                     .arg(describeContact(row), row.picture, path);
            }
            out += fold((v4 ? QStringLiteral("PHOTO:") : QStringLiteral("PHOTO;VALUE=uri:")) +
                        fileUri(path));
        }
        // A blank "IRC Spin" beside a day offset: the offset in whole hours stands in.
        const std::optional<int> hours =
            row.spin ? row.spin
            : row.timeDisplacement && std::isfinite(*row.timeDisplacement) &&
                    std::fabs(*row.timeDisplacement) <= 1.0
                ? std::optional<int>(static_cast<int>(std::round(*row.timeDisplacement * 24)))
                : std::nullopt;
        if (hours) {
            const QString offset = utcOffset(*hours * 60 + localMinutes);
            out += fold((v4 ? QStringLiteral("TZ;VALUE=utc-offset:") : QStringLiteral("TZ:")) +
                        offset);
        }
        out += fold(QStringLiteral("END:VCARD"));
    }
    return out;
}

} // namespace palvane::tool
