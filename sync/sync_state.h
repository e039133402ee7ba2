#pragma once
// The state of a table's synchronisation, in a SQLite file of its own beside the table (the
// table keeps exactly its layout): the set-up (address book, user, the server's sync token or
// change tag) and, per card, its href, ETag and UID, the server's whole last card and the
// fields as last synced on each side. It is attached to the table's own connection, so that a
// change of contacts and the state that records it commit together or not at all.

#include "sync/card_fields.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace palvane::sync {

inline constexpr const char* kStateSchema = "sync";

struct CardState {
    QString href;              // path on the server, as the server writes it
    std::optional<qint64> row; // the contact's rowid; none once it was deleted in the table
    QString etag;              // empty until the server has confirmed the card
    QString uid;
    QByteArray card;         // the server's whole card as last seen or sent
    FieldValues localBase;   // the table's values as last synced
    FieldValues serverBase;  // the card's values as last synced
    bool serverGone = false; // removed on the server while changed in the table
};

// A member of the address book as the server lists it.
struct Listed {
    QString href;
    QString etag;
    bool gone = false;
};

class SyncState {
public:
    // Creates the state's tables in the attached file when they are missing.
    explicit SyncState(sqlite3* db);

    QString setting(const char* key) const;
    void setSetting(const char* key, const QString& value);

    std::optional<CardState> byHref(const QString& href) const;
    std::optional<CardState> byRow(qint64 row) const;
    // Cards whose contact has a rowid in (after, upTo], in rowid order.
    std::vector<CardState> byRows(qint64 after, qint64 upTo) const;
    // Up to limit cards without a contact or not yet confirmed, after the href given.
    std::vector<CardState> unsettled(const QString& afterHref, int limit) const;
    void save(const CardState& card);
    void remove(const QString& href);
    bool anyCard() const;
    // Forgets every card but keeps each contact's UID for pairing again later.
    void forgetCards();
    // The contact that had this UID before the cards were forgotten.
    std::optional<qint64> rowOfUid(const QString& uid) const;

    // The members of the latest listing not yet dealt with.
    void clearListing();
    void addListed(const Listed& listed);
    // Up to limit members listed after the href given, in href order.
    std::vector<Listed> nextListed(const QString& afterHref, int limit) const;
    // Confirmed cards absent from a full listing (removed on the server), after the href given.
    std::vector<QString> unlisted(const QString& afterHref, int limit) const;
    void markListed(const QString& href);

private:
    struct Impl;
    std::shared_ptr<Impl> d;
};

} // namespace palvane::sync
