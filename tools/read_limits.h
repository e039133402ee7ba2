#pragma once
// The most of one line, record or property that the contact readers hold. Each is well beyond
// what a contact's values can legitimately be (the longest field, the notes, holds 32,000
// characters; an embedded picture is taken up to kMaxEmbeddedPictureBytes), so that a file of
// any shape is read in bounded memory: longer input is refused, naming its line, before it is
// held whole.

#include <QString>

namespace palvane::tool {

// One CSV record, in characters: every field of a contact and the columns the table has no
// field for.
inline constexpr qsizetype kMaxCsvRecordCharacters = qsizetype(1) << 20;
// One physical line of a CSV file, in bytes: the longest record in any encoding.
inline constexpr qsizetype kMaxCsvLineBytes = 4 * kMaxCsvRecordCharacters;
// One text property of a vCard, in bytes as written: the notes' 32,000 characters at four
// bytes each, quoted-printable (three bytes a byte), with room to spare.
inline constexpr qsizetype kMaxTextPropertyBytes = qsizetype(512) * 1024;
// A picture embedded in a vCard, decoded.
inline constexpr qsizetype kMaxEmbeddedPictureBytes = qsizetype(16) * 1024 * 1024;
// The picture's property as written: base64 (four bytes for three), with room for its blanks.
inline constexpr qsizetype kMaxPicturePropertyBytes = qsizetype(24) * 1024 * 1024;
static_assert(kMaxPicturePropertyBytes > kMaxEmbeddedPictureBytes / 3 * 4);

// A size for messages: "512 KiB", "4 MiB".
QString sizeText(qsizetype bytes);

} // namespace palvane::tool
