#pragma once
// Two-way synchronisation of a contact table with one CardDAV address book.
//
// A run first takes in what changed on the server (RFC 6578 sync-collection with the token of
// the last run where the server offers it; else the collection's change tag, and the ETags
// when that moved), fetching changed cards in batches (addressbook-multiget). Each batch is
// merged into the table in one transaction together with the state that records it. Then it
// sends what changed in the table: changed fields written into the server's own last card
// (If-Match), new contacts as new cards (If-None-Match), deletions (If-Match). A 412 means the
// card changed meanwhile: it is fetched and merged again.
//
// Merging is per field against the values as last synced: a field changed on one side takes
// that side's value; changed differently on both is a conflict, left as it is and reported
// until a preference settles it. A contact deleted on one side and changed on the other is a
// conflict too, never a silent deletion.
//
// Every step can be cut: the sync token moves on only once all it listed is in the table, an
// upload is recorded before it is sent, and the next run carries on from there.

#include "sync/dav_client.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace palvane::sync {

enum class Prefer { Neither, Local, Server };

struct SyncOptions {
    QString tablePath;
    QString password; // from the secret store or the terminal; never logged
    QString caFile;
    Prefer prefer = Prefer::Neither;
    bool dryRun = false;
    int localUtcOffsetSeconds = 0;
    int batchSize = 100; // cards per multiget, contacts per table transaction
    int idleTimeoutMs = 300000;
    // What the run tells as it goes: a short line of where it is.
    std::function<void(const QString&)> progress;
    // Called before each upload of a known card (tests use it to change the card meanwhile).
    std::function<void(const QString& href)> beforeUpload;
};

struct Conflict {
    QString nick;
    QString field; // the table's field name, or "contact" for a deletion against a change
    QString local;
    QString server;
};

struct SyncReport {
    qint64 sent = 0;     // cards created, changed or deleted on the server
    qint64 received = 0; // contacts added, changed or deleted in the table
    qint64 merged = 0;   // contacts changed on both sides, merged field by field
    qint64 refound = 0;  // contacts paired again with their cards after a renumbering of rowids
    std::vector<Conflict> conflicts;
    QStringList paired;  // "nick: by nick" for contacts paired on a first sync
    QStringList changes; // with dry run: what would change; else what changed
    QStringList warnings;
    qint64 requests = 0;
};

// The address book a table syncs with, and who logs in there.
struct SyncSetup {
    QString url; // of the address book itself
    QString user;
    QString caFile;
    QStringList others; // after a set-up: further address books found beside the one taken
};

// The path of the state file beside the table.
QString stateFileOf(const QString& tablePath);

// The set-up of the table, if it has one.
std::optional<SyncSetup> readSetup(const QString& tablePath);
// The same, or a SyncError saying how to set the table up.
SyncSetup requireSetup(const QString& tablePath);

// Finds the address book from a server, principal or address book URL and records it as the
// table's set-up. An address book other than the last one starts over: the cards of the old
// one are forgotten (their UIDs are kept to pair the contacts again). Throws SyncError.
SyncSetup setUp(const QString& tablePath, const QString& url, const QString& user,
                const QString& password, const QString& caFile, int idleTimeoutMs = 300000);

// One run. Throws SyncError (and TableError for the table); what was done before stays done.
SyncReport synchronise(const SyncOptions& options);

} // namespace palvane::sync
