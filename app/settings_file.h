#pragma once
// The settings file PALVANE.INI in the per-user configuration directory ($XDG_CONFIG_HOME,
// else ~/.config), which takes the place of the Windows directory for a file name without a
// directory. Read and written key by key as the initialisation-file service does: section and
// key names without regard to case, a value replaced in place, a missing key appended at the end
// of its section, a missing section appended, every other byte kept. Writes go through a
// temporary file and an atomic rename, so a crash leaves the old file or the new one.

#include <QByteArray>
#include <QString>

#include <optional>

namespace palvane {

class SettingsFile {
public:
    explicit SettingsFile(const QString& fileName); // e.g. "PALVANE.INI"

    // Never fails: missing file, section or key, or an unreadable value give the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // Throws palvane::Error("Unable to write to PALVANE.INI") (the name as given) on failure.
    void WriteInteger(const QString& section, const QString& key, int value) const;

    QString fileName() const { return fileName_; }
    QString filePath() const;
    static QString directory();

private:
    QString fileName_;
};

namespace ini {
// The text of a key (at most 1023 characters), or nullopt when file, section or key is missing.
std::optional<QByteArray> readValue(const QByteArray& content, const QByteArray& section,
                                    const QByteArray& key);
// The file content with the key set to value (in place, appended to its section, or a new
// section appended), every other byte kept.
QByteArray writeValue(const QByteArray& content, const QByteArray& section,
                      const QByteArray& key, const QByteArray& value);
// "300", "0x12C", "$12C" -> 300; "-40" -> -40; "$FFFFFFFF" -> -1; anything else -> nullopt.
std::optional<int> convertInteger(const QByteArray& text);
} // namespace ini

} // namespace palvane
