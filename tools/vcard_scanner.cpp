#include "tools/vcard_scanner.h"

#include "tools/contacts_format.h"
#include "tools/read_limits.h"

#include <cstring>
#include <string_view>

namespace palvane::tool {

namespace {

// Of a line, what a message shows.
constexpr qsizetype kShownNameBytes = 200;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isBlankLine(QByteArrayView line) {
    for (const char c : line)
        if (!isBlank(c))
            return false;
    return true;
}

// Letters, digits and '-'.
bool isName(const char* begin, const char* end) {
    if (begin == end)
        return false;
    for (const char* c = begin; c != end; ++c)
        if (!((*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') ||
              *c == '-'))
            return false;
    return true;
}

// A line of a version 2.1 base64 block: nothing but the base64 alphabet and blanks.
bool isBase64Line(QByteArrayView line) {
    bool any = false;
    for (const char c : line) {
        if (isBlank(c))
            continue;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '/' || c == '='))
            return false;
        any = true;
    }
    return any;
}

PropertyKind kindOf(QByteArrayView name) {
    struct Known {
        std::string_view name;
        PropertyKind kind;
    };
    static constexpr Known kinds[] = {{"BEGIN", PropertyKind::Begin},
                                      {"END", PropertyKind::End},
                                      {"VERSION", PropertyKind::Version},
                                      {"FN", PropertyKind::Fn},
                                      {"N", PropertyKind::N},
                                      {"NICKNAME", PropertyKind::Nickname},
                                      {"EMAIL", PropertyKind::Email},
                                      {"ADR", PropertyKind::Adr},
                                      {"NOTE", PropertyKind::Note},
                                      {"TZ", PropertyKind::Tz},
                                      {"PHOTO", PropertyKind::Photo},
                                      {"IMPP", PropertyKind::Impp},
                                      {"TEL", PropertyKind::Tel},
                                      {"ORG", PropertyKind::Org},
                                      {"TITLE", PropertyKind::Title},
                                      {"ROLE", PropertyKind::Role},
                                      {"BDAY", PropertyKind::Bday},
                                      {"ANNIVERSARY", PropertyKind::Anniversary},
                                      {"X-ANNIVERSARY", PropertyKind::Anniversary},
                                      {"X-EVOLUTION-ANNIVERSARY", PropertyKind::Anniversary},
                                      {"URL", PropertyKind::Url},
                                      {"CATEGORIES", PropertyKind::Categories},
                                      {"LABEL", PropertyKind::Label},
                                      {"KIND", PropertyKind::Kind},
                                      {"X-ADDRESSBOOKSERVER-KIND", PropertyKind::Kind},
                                      {"X-ABLABEL", PropertyKind::AbLabel},
                                      {"X-AIM", PropertyKind::Messaging},
                                      {"X-ICQ", PropertyKind::Messaging},
                                      {"X-JABBER", PropertyKind::Messaging},
                                      {"X-GOOGLE-TALK", PropertyKind::Messaging},
                                      {"X-MSN", PropertyKind::Messaging},
                                      {"X-YAHOO", PropertyKind::Messaging},
                                      {"X-SKYPE", PropertyKind::Messaging},
                                      {"X-SKYPE-USERNAME", PropertyKind::Messaging},
                                      {"X-GADUGADU", PropertyKind::Messaging},
                                      {"X-QQ", PropertyKind::Messaging},
                                      {"X-GROUPWISE", PropertyKind::Messaging},
                                      {"PRODID", PropertyKind::Bookkeeping},
                                      {"REV", PropertyKind::Bookkeeping},
                                      {"UID", PropertyKind::Bookkeeping},
                                      {"CLIENTPIDMAP", PropertyKind::Bookkeeping},
                                      {"X-ABUID", PropertyKind::Bookkeeping},
                                      {"X-ABSHOWAS", PropertyKind::Bookkeeping}};
    // Names of other lengths are not compared at all: most properties cost one pass.
    for (const Known& known : kinds)
        if (qsizetype(known.name.size()) == name.size() &&
            qstrnicmp(known.name.data(), name.data(), size_t(name.size())) == 0)
            return known.kind;
    return PropertyKind::Other;
}

// How much of a property is held: a picture up to the picture cap, other values the table
// takes up to the text cap, and nothing of the rest.
qsizetype heldBytes(PropertyKind kind) {
    switch (kind) {
    case PropertyKind::Photo:
        return kMaxPicturePropertyBytes;
    case PropertyKind::Other:
    case PropertyKind::Bookkeeping:
        return 0;
    default:
        return kMaxTextPropertyBytes;
    }
}

void upper(QByteArray& text) {
    for (char& c : text)
        c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

QString unquote(const QString& text) {
    if (text.size() >= 2 && text.front() == QLatin1Char('"') && text.back() == QLatin1Char('"'))
        return text.mid(1, text.size() - 2);
    return text;
}

void assign(QByteArray& to, QByteArrayView from) {
    to.resize(from.size());
    if (!from.isEmpty())
        std::memcpy(to.data(), from.data(), size_t(from.size()));
}

} // namespace

bool containsNoCase(QByteArrayView text, const char* word) {
    const qsizetype length = qsizetype(std::strlen(word));
    for (qsizetype i = 0; i + length <= text.size(); ++i)
        if (qstrnicmp(text.data() + i, word, size_t(length)) == 0)
            return true;
    return false;
}

QStringList splitUnshielded(const QString& text, QChar separator, Shield shield) {
    QStringList parts;
    QString part;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (shield == Shield::Escapes && c == QLatin1Char('\\') && i + 1 < text.size()) {
            part += c;
            part += text[++i];
            continue;
        }
        if (shield == Shield::Quotes && c == QLatin1Char('"'))
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

QStringList VCardProperty::param(const char* key) const {
    QStringList values;
    if (params.isEmpty())
        return values;
    const QString wantedKey = QLatin1String(key);
    for (const QString& part :
         splitUnshielded(QString::fromUtf8(params), QLatin1Char(';'), Shield::Quotes)) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        QString name;
        QString list;
        if (equals < 0) {
            list = part.trimmed();
            const QString upper = list.toUpper();
            const bool encoding = upper == QLatin1String("QUOTED-PRINTABLE") ||
                                  upper == QLatin1String("BASE64") ||
                                  upper == QLatin1String("8BIT") || upper == QLatin1String("7BIT");
            name = encoding ? QStringLiteral("ENCODING") : QStringLiteral("TYPE");
        } else {
            name = part.left(equals).trimmed().toUpper();
            list = part.mid(equals + 1);
        }
        if (name != wantedKey)
            continue;
        for (const QString& value : splitUnshielded(list, QLatin1Char(','), Shield::Quotes))
            values << unquote(value.trimmed());
    }
    return values;
}

bool VCardProperty::hasParam(const char* key, const char* value) const {
    // Most properties have no parameters, or not this one: no parsing for them.
    if (!containsNoCase(params, value))
        return false;
    for (const QString& v : param(key))
        if (v.compare(QLatin1String(value), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The next property: its first physical line and the ones that continue it. The name is on
// the first line; the value is joined only when the property is kept.
bool VCardScanner::nextProperty(VCardProperty& property) {
    do {
        if (!lines_.next(raw_))
            return false;
    } while (raw_.isEmpty() || (isBlankLine(raw_) && lines_.lineNumber() > 1));
    property.line = lines_.lineNumber();
    if (isBlank(raw_[0]))
        throw FormatError(property.line, QStringLiteral("a folded line (starting with a blank) "
                                                        "without a line before it to continue"));

    // GROUP.NAME, up to the first ';' or ':'. What is needed of the first line is copied: the
    // reader's buffer moves as further lines are read.
    const char* begin = raw_.data();
    const char* lineEnd = begin + raw_.size();
    const char* nameEnd = begin;
    while (nameEnd != lineEnd && *nameEnd != ';' && *nameEnd != ':')
        ++nameEnd;
    const char* nameBegin = begin;
    while (nameBegin != nameEnd && isBlank(*nameBegin))
        ++nameBegin;
    const char* trimmedEnd = nameEnd;
    while (trimmedEnd != nameBegin && isBlank(trimmedEnd[-1]))
        --trimmedEnd;
    const char* nameStart = nameBegin;
    for (const char* c = nameBegin; c != trimmedEnd; ++c)
        if (*c == '.')
            nameStart = c + 1;
    const bool validName = isName(nameStart, trimmedEnd);
    const QString written =
        shown(QString::fromUtf8(begin, std::min<qsizetype>(nameEnd - begin, kShownNameBytes)));
    if (!validName && nameEnd != lineEnd)
        throw FormatError(property.line,
                          QStringLiteral("'%1' is not a vCard property name").arg(written));
    property.kind =
        validName ? kindOf(QByteArrayView(nameStart, trimmedEnd - nameStart)) : PropertyKind::Other;
    const qsizetype nameOffset = nameStart - begin;
    const qsizetype nameLength = trimmedEnd - nameStart;
    const qsizetype groupOffset = nameBegin - begin;
    const qsizetype groupLength = nameStart == nameBegin ? 0 : nameStart - nameBegin - 1;
    if (validName)
        assign(property.name, QByteArrayView(nameStart, nameLength));
    upper(property.name);
    assign(firstLine_, QByteArrayView(begin, std::min<qsizetype>(raw_.size(), kShownNameBytes)));
    const qsizetype held = heldBytes(property.kind);
    const bool quotedPrintable = containsNoCase(raw_, "QUOTED-PRINTABLE");
    const bool base64 = containsNoCase(raw_, "BASE64") || containsNoCase(raw_, "ENCODING=B");

    // Whether a ':' outside quoted parameter values has been seen, over the lines so far.
    bool inQuotes = false;
    bool colonSeen = false;
    const auto lookForColon = [&](QByteArrayView bytes) {
        for (const char c : bytes) {
            if (colonSeen)
                return;
            if (c == '"')
                inQuotes = !inQuotes;
            else if (c == ':' && !inQuotes)
                colonSeen = true;
        }
    };
    const auto tooLong = [&] {
        if (property.kind == PropertyKind::Photo)
            return FormatError(property.line,
                               QStringLiteral("the embedded picture is larger than %1, the "
                                              "most an import takes")
                                   .arg(sizeText(kMaxEmbeddedPictureBytes)));
        return FormatError(
            property.line,
            QStringLiteral("the property %1 is longer than %2, longer than "
                           "any value the table holds")
                .arg(QString::fromLatin1(property.name), sizeText(kMaxTextPropertyBytes)));
    };

    qsizetype length = raw_.size();
    bool softBreak = quotedPrintable && raw_.endsWith('=');
    if (held > 0) {
        if (length > held)
            throw tooLong();
        text_.resize(0); // keeps its capacity: no allocation per line
        text_.append(raw_);
    } else {
        lookForColon(raw_);
    }
    while (lines_.next(raw_)) {
        QByteArrayView more;
        // A quoted-printable soft line break: '=' ends the line, the next one goes on as is.
        if (softBreak) {
            more = raw_;
            if (held > 0)
                text_.chop(1);
            --length;
        } else if (!raw_.isEmpty() && isBlank(raw_[0])) {
            more = raw_.sliced(1);
        } else if (base64 && isBase64Line(raw_)) {
            more = raw_.trimmed(); // version 2.1 writes base64 lines without folding them
        } else {
            lines_.unread();
            break;
        }
        length += more.size();
        softBreak = quotedPrintable && raw_.endsWith('=');
        if (held == 0) {
            lookForColon(more);
            continue;
        }
        if (length > held)
            throw tooLong();
        text_.append(more);
    }
    if (held == 0) {
        if (!colonSeen)
            throw FormatError(property.line,
                              QStringLiteral("no ':' in the line (a vCard line reads NAME:VALUE)"));
        if (!validName)
            throw FormatError(property.line,
                              QStringLiteral("'%1' is not a vCard property name").arg(written));
        // Only the name is kept, to tell what was left out.
        property.group.resize(0);
        property.params.resize(0);
        property.value.resize(0);
        return true;
    }

    // NAME;PARAMS:VALUE, the ':' outside quoted parameter values.
    const char* textBegin = text_.constData();
    const char* end = textBegin + text_.size();
    const char* colon = nullptr;
    const char* semicolon = nullptr;
    inQuotes = false;
    for (const char* c = textBegin + nameOffset + nameLength; c != end; ++c) {
        if (*c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && *c == ':') {
            colon = c;
            break;
        } else if (!inQuotes && *c == ';' && !semicolon) {
            semicolon = c;
        }
    }
    if (!colon)
        throw FormatError(property.line,
                          QStringLiteral("no ':' in the line (a vCard line reads NAME:VALUE)"));
    assign(property.group, QByteArrayView(textBegin + groupOffset, groupLength));
    upper(property.group);
    assign(property.params,
           semicolon ? QByteArrayView(semicolon + 1, colon - semicolon - 1) : QByteArrayView());
    assign(property.value, QByteArrayView(colon + 1, end - colon - 1));
    return true;
}

bool VCardScanner::next(VCard& card) {
    bool inCard = false;
    for (;;) {
        // Read into the card's next free place; kept there only if the table wants it.
        VCardProperty& property = card.next();
        if (!nextProperty(property))
            break;
        const QByteArray value = property.value.trimmed();
        if (property.kind == PropertyKind::Begin) {
            if (value.toUpper() != "VCARD")
                throw FormatError(property.line,
                                  QStringLiteral("BEGIN:%1 is not the start of a vCard")
                                      .arg(shown(QString::fromUtf8(value))));
            if (inCard)
                throw FormatError(property.line, QStringLiteral("BEGIN:VCARD inside the card "
                                                                "begun on line %1 (END:VCARD "
                                                                "missing?)")
                                                     .arg(card.line));
            inCard = true;
            card.line = property.line;
            card.version = 0;
            card.clear();
        } else if (!inCard) {
            throw FormatError(property.line,
                              QStringLiteral("'%1' outside a card (a card starts with "
                                             "BEGIN:VCARD)")
                                  .arg(shown(QString::fromUtf8(firstLine_))));
        } else if (property.kind == PropertyKind::End) {
            if (value.toUpper() != "VCARD")
                throw FormatError(property.line,
                                  QStringLiteral("END:%1 inside a vCard (END:VCARD expected)")
                                      .arg(shown(QString::fromUtf8(value))));
            return true;
        } else if (property.kind == PropertyKind::Version) {
            if (value == "2.1")
                card.version = 21;
            else if (value == "3.0")
                card.version = 30;
            else if (value == "4.0")
                card.version = 40;
            else
                throw FormatError(property.line,
                                  QStringLiteral("vCard version '%1' is not supported (2.1, 3.0 "
                                                 "and 4.0 are)")
                                      .arg(shown(QString::fromUtf8(value))));
        } else if (property.kind != PropertyKind::Bookkeeping) {
            card.keep();
        }
    }
    if (inCard)
        throw FormatError(card.line, QStringLiteral("the card begun here has no END:VCARD"));
    return false;
}

} // namespace palvane::tool
