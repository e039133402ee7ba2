#pragma once
// The settings file PALVANE.INI in the per-user configuration directory ($XDG_CONFIG_HOME,
// else ~/.config), which takes the place of the Windows directory for a file name without a
// directory. Read and written key by key as the initialisation-file service does: section and
// key names without regard to case, a value replaced in place, a missing key appended at the end
// of its section, a missing section appended, every other byte kept. Writes go through a
// temporary file and an atomic rename, so a crash leaves the old file or the new one; where
// the folder takes no new file, a writable file is updated carefully in place. A read-only
// file is never written.
//
// The object holds only the file name: it caches nothing, so every call reads or writes the
// file as it is at that moment (two copies of the program share it; the last write wins).
// Failure: reads never fail (the default stands in); a write that cannot be done throws
// palvane::Error and leaves the file as it was.

#include <QByteArray>
#include <QString>

#include <optional>

namespace palvane {

class SettingsFile {
public:
    explicit SettingsFile(const QString& fileName); // e.g. "PALVANE.INI"

    // Never fails: missing file, section or key, or an unreadable value give the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // Throws palvane::Error("Unable to write to PALVANE.INI") (the name as given) on failure;
    // the file is then unchanged. A file that exists but cannot be read, or that is read-only
    // (no write permission, or no write bit at all), is never written.
    // Creates the directory when missing; keeps the file's permissions; a link stays a link.
    void WriteInteger(const QString& section, const QString& key, int value) const;

    QString fileName() const { return fileName_; }
    QString filePath() const;
    // $XDG_CONFIG_HOME when set and absolute, else $HOME/.config; looked up at every call.
    static QString directory();

private:
    QString fileName_;
};

// The file format, as these functions read and write it (bytes, not decoded text):
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
namespace ini {
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
} // namespace ini

} // namespace palvane
