#include "tools/vcard_scanner.h"

#include "tools/contacts_format.h"

#include <cstring>

namespace palvane::tool {

namespace {

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
    static const std::pair<const char*, PropertyKind> kinds[] = {
        {"BEGIN", PropertyKind::Begin},
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
        {"IMPP", PropertyKind::Impp}};
    for (const auto& [text, kind] : kinds)
        if (qsizetype(std::strlen(text)) == name.size() &&
            qstrnicmp(text, name.data(), size_t(name.size())) == 0)
            return kind;
    return PropertyKind::Other;
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

// The next property: its first physical line and the ones that continue it.
bool VCardScanner::nextProperty(VCardProperty& property) {
    do {
        if (!lines_.next(raw_))
            return false;
    } while (raw_.isEmpty() || (isBlankLine(raw_) && lines_.lineNumber() > 1));
    property.line = lines_.lineNumber();
    if (isBlank(raw_[0]))
        throw FormatError(property.line, QStringLiteral("a folded line (starting with a blank) "
                                                        "without a line before it to continue"));
    text_.resize(0); // keeps its capacity: no allocation per line
    text_.append(raw_);
    const qsizetype headerEnd = text_.indexOf(':');
    const QByteArrayView header(text_.constData(), headerEnd < 0 ? 0 : headerEnd);
    const bool quotedPrintable = containsNoCase(header, "QUOTED-PRINTABLE");
    const bool base64 = containsNoCase(header, "BASE64") || containsNoCase(header, "ENCODING=B");
    while (lines_.next(raw_)) {
        // A quoted-printable soft line break: '=' ends the line, the next one goes on as is.
        if (quotedPrintable && text_.endsWith('=')) {
            text_.chop(1);
            text_.append(raw_);
        } else if (!raw_.isEmpty() && isBlank(raw_[0])) {
            text_.append(raw_.constData() + 1, raw_.size() - 1);
        } else if (base64 && isBase64Line(raw_)) {
            text_.append(raw_.trimmed()); // version 2.1 writes base64 lines without folding them
        } else {
            lines_.unread();
            break;
        }
    }

    // NAME;PARAMS:VALUE, the ':' outside quoted parameter values.
    const char* begin = text_.constData();
    const char* end = begin + text_.size();
    const char* colon = nullptr;
    const char* semicolon = nullptr;
    bool inQuotes = false;
    for (const char* c = begin; c != end; ++c) {
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
    const char* nameEnd = semicolon ? semicolon : colon;
    const char* nameBegin = begin;
    while (nameBegin != nameEnd && isBlank(*nameBegin))
        ++nameBegin;
    const char* trimmedEnd = nameEnd;
    while (trimmedEnd != nameBegin && isBlank(trimmedEnd[-1]))
        --trimmedEnd;
    const char* dot =
        static_cast<const char*>(std::memchr(nameBegin, '.', size_t(trimmedEnd - nameBegin)));
    const char* nameStart = nameBegin;
    while (dot) { // drop the group prefix
        nameStart = dot + 1;
        dot = static_cast<const char*>(std::memchr(nameStart, '.', size_t(trimmedEnd - nameStart)));
    }
    if (!isName(nameStart, trimmedEnd))
        throw FormatError(property.line,
                          QStringLiteral("'%1' is not a vCard property name")
                              .arg(shown(QString::fromUtf8(begin, nameEnd - begin))));
    property.kind = kindOf(QByteArrayView(nameStart, trimmedEnd - nameStart));
    // The values of properties that go nowhere are not even copied; the others go into the
    // buffers of the card read before, so that a card costs no allocation.
    if (property.kind == PropertyKind::Other)
        return true;
    assign(property.name, QByteArrayView(nameStart, trimmedEnd - nameStart));
    for (char& c : property.name)
        c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
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
                                  .arg(shown(QString::fromUtf8(text_))));
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
        } else if (property.kind != PropertyKind::Other) {
            card.keep();
        }
    }
    if (inCard)
        throw FormatError(card.line, QStringLiteral("the card begun here has no END:VCARD"));
    return false;
}

} // namespace palvane::tool
