#pragma once
// Where the password of an address book is kept between runs: the desktop's secret store
// (Secret Service, through libsecret) where one runs, else a file in the user's configuration
// directory that only its owner can read. Never in the table, its state or a message.

#include <QString>

#include <optional>

namespace palvane::sync {

// Keeps the password for the user at the address book; says where in *place ("the desktop's
// secret store" or the file's path). Throws SyncError when neither can take it.
void storePassword(const QString& url, const QString& user, const QString& password,
                   QString* place);

// The password kept for the user at the address book. Throws SyncError for a password file
// that others can read.
std::optional<QString> lookUpPassword(const QString& url, const QString& user);

// The fallback file: $XDG_CONFIG_HOME/palvane32/sync-passwords.
QString passwordFilePath();

} // namespace palvane::sync
