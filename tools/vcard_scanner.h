#pragma once
// The structure of a vCard file (versions 2.1, 3.0 and 4.0): physical lines joined into
// properties (folded lines, quoted-printable soft line breaks, base64 blocks of version 2.1),
// and properties into cards, one card at a time. Structural faults (a line without ':', a card
// without END:VCARD, an unsupported VERSION) throw FormatError naming the line, and so does a
// property longer than any value it can carry (read_limits.h): the values of properties the
// table has no use for are never held at all.

#include "tools/line_reader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace palvane::tool {

// Whether text holds word, without regard to the case of ASCII letters.
bool containsNoCase(QByteArrayView text, const char* word);

// What keeps a separator from splitting: the double quotes around a parameter's values, or the
// backslash that escapes a character of a property's value.
enum class Shield { Quotes, Escapes };
// Splits text at the separators that are not shielded; quotes and escapes stay in the parts.
QStringList splitUnshielded(const QString& text, QChar separator, Shield shield);

// The properties that make a card's structure, have a place in the table or go to the notes.
enum class PropertyKind {
    Other, // kept by name alone, to tell what was left out
    Begin,
    End,
    Version,
    Fn,
    N,
    Nickname,
    Email,
    Adr,
    Note,
    Tz,
    Photo,
    Impp,
    Tel,
    Org,
    Title,
    Role,
    Bday,
    Anniversary,
    Url,
    Categories,
    Label,       // an address as printed on a label
    Messaging,   // X-JABBER, X-AIM, ...: a messaging address of the network in its name
    Kind,        // individual, group, org, location
    AbLabel,     // X-ABLabel: the type of the properties of its group
    Bookkeeping, // PRODID, REV, UID and the like: nothing a user wants back; not kept
};

struct VCardProperty {
    PropertyKind kind = PropertyKind::Other;
    QByteArray name;   // upper case, without its group ("item1.EMAIL" is EMAIL)
    QByteArray group;  // upper case ("ITEM1"); empty without one
    QByteArray params; // as written between the name and the ':', without the first ';'
    QByteArray value;  // as written, encodings and escapes still in; empty for Other
    int line = 0;

    // The values of a parameter (key in upper case), split at commas outside quotes and
    // unquoted; a parameter written without '=' (version 2.1's "EMAIL;INTERNET;PREF") counts as
    // a TYPE, or as ENCODING for the names of encodings.
    QStringList param(const char* key) const;
    bool hasParam(const char* key, const char* value) const;
};

// A card: its properties are kept in places that the next card reuses.
class VCard {
public:
    int line = 0;    // of BEGIN:VCARD
    int version = 0; // 21, 30, 40, or 0 without VERSION

    const VCardProperty* begin() const { return places_.data(); }
    const VCardProperty* end() const { return places_.data() + size_; }

    void clear() { size_ = 0; }
    // The place after the last property, to read the next one into.
    VCardProperty& next() {
        if (size_ == places_.size())
            places_.emplace_back();
        return places_[size_];
    }
    // The property in next() belongs to the card.
    void keep() { ++size_; }

private:
    std::vector<VCardProperty> places_;
    size_t size_ = 0;
};

class VCardScanner {
public:
    explicit VCardScanner(LineReader& lines) : lines_(lines) {}
    // The next card, without its structure (BEGIN, VERSION, END) and bookkeeping; false at
    // the end.
    bool next(VCard& card);

private:
    bool nextProperty(VCardProperty& property);

    LineReader& lines_;
    QByteArrayView raw_;
    QByteArray text_;
    QByteArray firstLine_; // the start of the property's first line, for messages
};

} // namespace palvane::tool
