#pragma once
// Contacts as vCards (versions 2.1, 3.0 and 4.0 read; 3.0 and 4.0 written), several cards per
// file.
//
//   NICKNAME  "IRC Nick" (the first nickname; else the nick of an irc: IMPP; else the name)
//   FN        "IRC Name" (else the name N spells; else, with no nick either, the organisation,
//             the first telephone number or the e-mail address; left blank when FN only
//             repeats the nick and N is empty, which is how a contact without a real name is
//             written: FN is required)
//   EMAIL     "IRC Email"            ADR   "IRC Location" as "Locality, Country"
//   NOTE      "IRC Notes"            PHOTO "IRC Picture"
//   TZ        "IRC Spin" and "IRC Time Displacement"
//   IMPP      irc:///nick,isnick, written for every contact with a nick
//
// Of several EMAIL, PHOTO or IMPP properties the preferred one counts (PREF=1 or TYPE=pref),
// else the first; of several ADR the preferred one that names a locality or country. Several
// NOTEs are joined by line breaks. Everything else a user could want back (TEL, the other
// e-mails and nicknames, ORG, TITLE, ROLE, BDAY, ANNIVERSARY, URL, the other addresses, other
// messaging addresses, CATEGORIES) becomes the contact's extras, one labelled line each in card
// order, the kind from TYPE or the X-ABLabel of the property's group; docs/import-fields.md
// lists them. Bookkeeping (PRODID, REV, UID, ...) is left out quietly, any other property with
// one warning at the end that names it. Group cards (KIND:group) and cards that hold nothing are
// skipped with a warning. Values may be quoted-printable (in any version) and in another
// CHARSET; text values may hold the escapes \n \, \; and \\.
//
// PHOTO: a file: URI is the picture's path (percent-decoded); an embedded picture (base64, or
// a data: URI) is written to the picture store as a bitmap and its path stored; other URIs are
// left out with a warning.
//
// The offset fields hold the contact's offset from the user's local time, TZ an offset from
// UTC: the user's own offset from UTC (localUtcOffsetSeconds) converts between the two. TZ may
// also name a zone of the zone database ("Europe/Berlin", as text or ending a URI): its offset
// today is taken, with a warning that the contact keeps it in whole hours, not following the
// zone's changes. An offset that is not a whole number of hours (a half-hour zone) is rounded
// to the nearest hour, halves away from zero, with a warning; a TZ that is neither gives 0 with
// a warning. Written, TZ is a UTC offset: -0500 in version 4.0, -05:00 in 3.0.

#include "tools/contacts_format.h"
#include "tools/line_reader.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <vector>

namespace palvane::tool {

class PictureStore;

enum class VCardVersion { V3, V4 };

struct VCardOptions {
    int localUtcOffsetSeconds = 0;
    // Where embedded pictures go; without one they are left out with a warning.
    PictureStore* pictures = nullptr;
};

class VCardReader : public ContactReader {
public:
    VCardReader(LineReader& lines, const VCardOptions& options, WarningSink warn);
    ~VCardReader() override;
    VCardReader(const VCardReader&) = delete;
    VCardReader& operator=(const VCardReader&) = delete;

    // The line is the one its card starts on. Group cards (KIND:group) are skipped with a
    // warning each, cards that hold nothing with one warning at the end that counts them.
    bool next(DecodedContact& contact, int& line) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// One card per contact, lines folded at 75 bytes and ended by CR LF. A relative picture path is
// written as the absolute path it has from the current directory, with a warning.
class VCardWriter {
public:
    VCardWriter(VCardVersion version, int localUtcOffsetSeconds, WarningSink warn);
    void append(const ContactRow& row, QByteArray& out);

private:
    void endLine(QByteArray& out);

    bool v4_;
    int localMinutes_;
    WarningSink warn_;
    QByteArray scratch_;
};

// Every card of bytes (a file, or one card as a server sends it), decoded: the table's fields
// in row, and the values it has no field for in extras, not in the notes. Throws FormatError.
std::vector<DecodedContact> decodeVCards(const QByteArray& bytes, const VCardOptions& options,
                                         const WarningSink& warn = {});

// A whole file at once, as the import stores it (tests, small files), or without the extras.
ReadContacts readVCards(const QByteArray& bytes, int localUtcOffsetSeconds,
                        PictureStore* pictures = nullptr, Extras extras = Extras::ToNotes);
QByteArray writeVCards(const std::vector<ContactRow>& contacts, VCardVersion version,
                       int localUtcOffsetSeconds, QStringList* warnings = nullptr);

} // namespace palvane::tool
