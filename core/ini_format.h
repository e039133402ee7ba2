#pragma once
// The rules of the initialisation-file format, as pure functions on a file's bytes: what the
// settings file reads and how it changes a file, with no file access of their own.
//
// The format (bytes, not decoded text):
// - A line is ended by "\r\n", "\n" or "\r"; new lines take the ending of the file's first
//   line ("\r\n" for a file without one). A UTF-8 byte-order mark at the start is skipped and
//   kept.
// - "[name]" (blanks allowed around it and the name) opens a section; a line whose first
//   non-blank character is ';' is a comment; "key = value" is a key line, split at the first
//   '=', name and value trimmed of blanks, a value in matching double or single quotes read
//   without them. Lines before the first section and all other lines belong to no key. Names
//   are compared without regard to ASCII case.
// - Only the first section of a name counts, and its first line for a key, both for reading
//   and for writing, so a value written is the value read back.
// - A write replaces the key's whole line by "key=value" (the key as the caller spells it) at
//   the same place; a missing key goes after the last non-blank line of its section; a missing
//   section goes at the end of the file, right after its last line. A last line without a line
//   ending gets one before anything follows it.
//   Every other byte stays as it was.

#include <QByteArray>

#include <optional>

namespace palvane::ini {

// The text of a key (at most 1023 characters), or nullopt when file, section or key is missing.
std::optional<QByteArray> readValue(const QByteArray& content, const QByteArray& section,
                                    const QByteArray& key);
// The file content with the key set to value (in place, appended to its section, or a new
// section appended), every other byte kept. Throws std::invalid_argument for a name that could
// not be read back as itself (empty, blanks around it, a line break, ']' in a section, '=' in a
// key) or a value with a line break.
QByteArray writeValue(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                      const QByteArray& value);
// "300", "0x12C", "$12C" -> 300; "-40" -> -40; "$FFFFFFFF" -> -1; anything else -> nullopt.
std::optional<int> convertInteger(const QByteArray& text);

} // namespace palvane::ini
