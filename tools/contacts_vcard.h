#pragma once
// Contacts as vCards (versions 3.0 and 4.0, UTF-8), several cards per file.
//
//   NICKNAME  "IRC Nick" (the first nickname; FN when the card has no NICKNAME)
//   FN        "IRC Name" (left blank when FN only repeats the nick and N is empty, which is
//             how a contact without a real name is written: FN is required)
//   EMAIL     "IRC Email"            ADR   "IRC Location" as "Locality, Country"
//   NOTE      "IRC Notes"            PHOTO "IRC Picture", a file: URI (percent-decoded)
//   TZ        "IRC Spin" and "IRC Time Displacement"
//
// Of several EMAIL, ADR or PHOTO properties the preferred one counts (PREF=1 or TYPE=pref),
// else the first; several NOTEs are joined by line breaks. Lines may be folded; text values may
// hold the escapes \n \, \; and \\.
//
// The offset fields hold the contact's offset from the user's local time, TZ an offset from
// UTC: the user's own offset from UTC (localUtcOffsetSeconds) converts between the two. An
// offset that is not a whole number of hours (a half-hour zone) is rounded to the nearest hour,
// halves away from zero, with a warning; a TZ that is not a UTC offset (a zone name) gives 0
// with a warning, as do pictures that are not local files. Structural faults (a line without
// ':', a card without END:VCARD, an unsupported VERSION) throw FormatError naming the line.

#include "tools/contacts_format.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace palvane::tool {

enum class VCardVersion { V3, V4 };

ReadContacts readVCards(const QByteArray& bytes, int localUtcOffsetSeconds);

// Writes one card per contact, lines folded at 75 bytes and ended by CR LF. A relative picture
// path is written as the absolute path it has from the current directory, with a warning.
QByteArray writeVCards(const std::vector<ContactRow>& contacts, VCardVersion version,
                       int localUtcOffsetSeconds, QStringList* warnings = nullptr);

} // namespace palvane::tool
