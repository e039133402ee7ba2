#pragma once
// The values of vCard properties: their encodings (quoted-printable, base64, character sets),
// the text escapes, and the meanings the table takes from them (a name from N, a nick from an
// irc: URI, a zone from a URI).

#include "tools/vcard_scanner.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace palvane::tool {

// Quoted-printable to bytes: "=C3=BC" is two bytes, a '=' before the end of a line is a soft
// line break (the scanner already joined those lines), anything malformed stays as written.
QByteArray decodeQuotedPrintable(const QByteArray& text);

// The value as text: quoted-printable decoded, then read in its CHARSET (UTF-8 without one;
// text that is not valid UTF-8 throws FormatError naming the property's line). An unknown
// character set is read as Latin-1 with a warning in *problem. Escapes stay in.
QString propertyText(const VCardProperty& property, QString* problem);

// The bytes of an embedded (base64) value, blanks ignored; nothing when it is not base64.
std::optional<QByteArray> decodeBase64(const QByteArray& text);

// Resolves \n \N \, \; \: and \\; any other backslash stays as written.
QString unescape(const QString& text);

// The name N spells ("Family;Given;Additional;Prefix;Suffix") in reading order, "Dr. Karl
// Heinz Weber"; empty when N holds nothing.
QString nameFromStructuredName(const QString& value);

// The nick of an irc: or ircs: URI ("irc://irc.example.net/alice", "irc:///alice,isnick");
// nothing for a channel, a server alone or another scheme.
std::optional<QString> nickFromIrcUri(const QString& uri);

enum class OffsetForm {
    Extended, // "+05:30", "-08:00": version 3.0's form
    Basic,    // "+0530", "-0800": version 4.0's utc-offset value
};
// Minutes east of UTC as vCard writes them.
void appendUtcOffset(QByteArray& out, int minutes, OffsetForm form = OffsetForm::Extended);

// The zone database's name of a zone that ends a URI ("https://tz.example.org/Europe/Berlin"
// names Europe/Berlin); empty when none does.
QString zoneInUri(const QString& uri);

} // namespace palvane::tool
