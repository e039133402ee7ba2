#pragma once
// The settings file PALVANE.INI in the per-user configuration directory ($XDG_CONFIG_HOME,
// else ~/.config), which takes the place of the Windows directory for a file name without a
// directory. Read and written key by key as the initialisation-file service does: section and
// key names without regard to case, a value replaced in place, a missing key appended at the end
// of its section, a missing section appended, every other byte kept (the rules:
// core/ini_format.h). Writes go through a temporary file and an atomic rename
// (core/file_replacement.h), so a crash leaves the old file or the new one; where the folder
// takes no new file, a writable file is updated carefully in place. A read-only file is never
// written.
//
// The object holds only the file name: it caches nothing, so every call reads or writes the
// file as it is at that moment (two copies of the program share it; the last write wins).
// Failure: reads never fail (the default stands in); a write that cannot be done throws
// palvane::Error and leaves the file as it was.

#include <QString>

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

} // namespace palvane
