#pragma once
// The table's fields on a vCard, both ways. Coming down a card is decoded as an import decodes
// it, but with only its preferred e-mail address, so that the others stay on the card instead
// of becoming lines of the notes. Going up, each field is written into the server's own card
// as the export writes it, leaving every other property alone.
//
// A side's field values are compared only with that side's values as last synced: the table
// side by the table's own values, the server side by what the card says (for the offset the
// card's TZ as written, for the picture a digest of its PHOTO), so that neither the user's
// daylight saving time nor a picture stored under another name looks like a change.

#include "store/schema.h"
#include "sync/card_editor.h"

#include <QString>
#include <QStringList>

#include <array>

namespace palvane::tool {
class PictureStore;
}

namespace palvane::sync {

enum SyncField { Nick, Name, Location, Email, Notes, Offset, Picture, kSyncFieldCount };
using FieldValues = std::array<QString, kSyncFieldCount>;

// The name the table gives the field ("IRC Email"), for reports.
QString fieldName(int field);

// The table side: the offset as whole hours ("" when blank), the picture as its path.
FieldValues localValues(const ContactRow& row);

// The contact a card holds, as an import reads it, with pictures written to pictures (none
// when null: an embedded picture is then left out). Warnings go to warnings.
ContactRow decodeCard(const CardEditor& card, int localUtcOffsetSeconds,
                      tool::PictureStore* pictures, QStringList* warnings);

// The server side of a decoded card.
FieldValues serverValues(const CardEditor& card, const ContactRow& decoded);

// Whether the card and the table say the same for the field (for changes made on both sides).
bool sameValue(int field, const ContactRow& local, const ContactRow& decoded);

// Copies the field from the decoded card into the row.
void takeField(int field, const ContactRow& decoded, ContactRow& row);

// Writes the row's field into the card. A picture that cannot be read leaves the card's own
// and says why in warnings.
void putField(int field, const ContactRow& row, CardEditor& card, int localUtcOffsetSeconds,
              QStringList* warnings);

// The UID a card gives itself; empty without one.
QString cardUid(const CardEditor& card);

} // namespace palvane::sync
