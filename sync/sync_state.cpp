#include "sync/sync_state.h"

#include "store/sqlite_util.h"
#include "sync/dav_client.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <map>

namespace palvane::sync {

namespace {

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS sync.settings (key TEXT PRIMARY KEY, value TEXT)",
    "CREATE TABLE IF NOT EXISTS sync.cards (href TEXT PRIMARY KEY, row INTEGER UNIQUE, "
    "etag TEXT NOT NULL, uid TEXT NOT NULL, card BLOB NOT NULL, local_base TEXT NOT NULL, "
    "server_base TEXT NOT NULL, server_gone INTEGER NOT NULL, listed INTEGER NOT NULL "
    "DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS sync.uid_hints (uid TEXT PRIMARY KEY, row INTEGER)",
    "CREATE TABLE IF NOT EXISTS sync.listing (href TEXT PRIMARY KEY, etag TEXT, gone INTEGER)",
};

QString encode(const FieldValues& values) {
    QJsonArray array;
    for (const QString& value : values)
        array.append(value);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

FieldValues decode(const QString& text) {
    const QJsonArray array = QJsonDocument::fromJson(text.toUtf8()).array();
    FieldValues values;
    for (int i = 0; i < kSyncFieldCount; ++i)
        values[size_t(i)] = array.at(i).toString();
    return values;
}

} // namespace

struct SyncState::Impl {
    sqlite3* db;
    std::map<const char*, sql::Statement> statements;

    [[noreturn]] void fail() const {
        throw SyncError(SyncError::Kind::Local,
                        QStringLiteral("the synchronisation state: %1").arg(sql::errorText(db)));
    }

    sqlite3_stmt* prepare(const char* text) {
        sql::Statement& statement = statements[text];
        if (!statement && statement.prepare(db, QString::fromUtf8(text)) != SQLITE_OK)
            fail();
        return statement.get();
    }

    void run(sqlite3_stmt* stmt) {
        sql::StatementUse use(stmt);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail();
    }

    CardState card(sqlite3_stmt* stmt) const {
        CardState state;
        state.href = sql::columnText(stmt, 0);
        if (sqlite3_column_type(stmt, 1) != SQLITE_NULL)
            state.row = sqlite3_column_int64(stmt, 1);
        state.etag = sql::columnText(stmt, 2);
        state.uid = sql::columnText(stmt, 3);
        state.card = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 4)),
                                sqlite3_column_bytes(stmt, 4));
        state.localBase = decode(sql::columnText(stmt, 5));
        state.serverBase = decode(sql::columnText(stmt, 6));
        state.serverGone = sqlite3_column_int(stmt, 7) != 0;
        return state;
    }

    std::vector<CardState> cards(sqlite3_stmt* stmt) {
        sql::StatementUse use(stmt);
        std::vector<CardState> found;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            found.push_back(card(stmt));
        if (rc != SQLITE_DONE)
            fail();
        return found;
    }
};

SyncState::SyncState(sqlite3* db) : d(std::make_shared<Impl>()) {
    d->db = db;
    for (const char* statement : kSchema)
        if (sql::exec(db, QString::fromUtf8(statement)) != SQLITE_OK)
            d->fail();
}

QString SyncState::setting(const char* key) const {
    sqlite3_stmt* stmt = d->prepare("SELECT value FROM sync.settings WHERE key = ?1");
    sql::StatementUse use(stmt);
    sqlite3_bind_text(stmt, 1, key, -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d->fail();
    return rc == SQLITE_ROW ? sql::columnText(stmt, 0) : QString();
}

void SyncState::setSetting(const char* key, const QString& value) {
    sqlite3_stmt* stmt =
        d->prepare("INSERT OR REPLACE INTO sync.settings (key, value) VALUES (?1, ?2)");
    sqlite3_bind_text(stmt, 1, key, -1, SQLITE_TRANSIENT);
    sql::bindText(stmt, 2, value);
    d->run(stmt);
}

std::optional<CardState> SyncState::byHref(const QString& href) const {
    sqlite3_stmt* stmt = d->prepare("SELECT href, row, etag, uid, card, local_base, "
                                    "server_base, server_gone FROM sync.cards WHERE href = ?1");
    sql::bindText(stmt, 1, href);
    std::vector<CardState> found = d->cards(stmt);
    return found.empty() ? std::nullopt : std::optional<CardState>(std::move(found.front()));
}

std::optional<CardState> SyncState::byRow(qint64 row) const {
    sqlite3_stmt* stmt = d->prepare("SELECT href, row, etag, uid, card, local_base, "
                                    "server_base, server_gone FROM sync.cards WHERE row = ?1");
    sqlite3_bind_int64(stmt, 1, row);
    std::vector<CardState> found = d->cards(stmt);
    return found.empty() ? std::nullopt : std::optional<CardState>(std::move(found.front()));
}

std::vector<CardState> SyncState::byRows(qint64 after, qint64 upTo) const {
    sqlite3_stmt* stmt =
        d->prepare("SELECT href, row, etag, uid, card, local_base, server_base, server_gone "
                   "FROM sync.cards WHERE row > ?1 AND row <= ?2 ORDER BY row");
    sqlite3_bind_int64(stmt, 1, after);
    sqlite3_bind_int64(stmt, 2, upTo);
    return d->cards(stmt);
}

std::vector<CardState> SyncState::unsettled(const QString& afterHref, int limit) const {
    sqlite3_stmt* stmt =
        d->prepare("SELECT href, row, etag, uid, card, local_base, server_base, server_gone "
                   "FROM sync.cards WHERE (row IS NULL OR etag = '') AND href > ?1 "
                   "ORDER BY href LIMIT ?2");
    sql::bindText(stmt, 1, afterHref.isNull() ? QStringLiteral("") : afterHref);
    sqlite3_bind_int(stmt, 2, limit);
    return d->cards(stmt);
}

void SyncState::save(const CardState& card) {
    sqlite3_stmt* stmt =
        d->prepare("INSERT OR REPLACE INTO sync.cards (href, row, etag, uid, card, local_base, "
                   "server_base, server_gone, listed) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 1)");
    sql::bindText(stmt, 1, card.href);
    if (card.row)
        sqlite3_bind_int64(stmt, 2, *card.row);
    sql::bindText(stmt, 3, card.etag.isNull() ? QStringLiteral("") : card.etag);
    sql::bindText(stmt, 4, card.uid.isNull() ? QStringLiteral("") : card.uid);
    sqlite3_bind_blob64(stmt, 5, card.card.constData(), sqlite3_uint64(card.card.size()),
                        SQLITE_TRANSIENT);
    sql::bindText(stmt, 6, encode(card.localBase));
    sql::bindText(stmt, 7, encode(card.serverBase));
    sqlite3_bind_int(stmt, 8, card.serverGone ? 1 : 0);
    d->run(stmt);
}

void SyncState::remove(const QString& href) {
    sqlite3_stmt* stmt = d->prepare("DELETE FROM sync.cards WHERE href = ?1");
    sql::bindText(stmt, 1, href);
    d->run(stmt);
}

bool SyncState::anyCard() const {
    sqlite3_stmt* stmt = d->prepare("SELECT 1 FROM sync.cards LIMIT 1");
    sql::StatementUse use(stmt);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d->fail();
    return rc == SQLITE_ROW;
}

void SyncState::forgetCards() {
    d->run(d->prepare("INSERT OR REPLACE INTO sync.uid_hints (uid, row) SELECT uid, row FROM "
                      "sync.cards WHERE row IS NOT NULL AND uid <> ''"));
    d->run(d->prepare("DELETE FROM sync.cards"));
    d->run(d->prepare("DELETE FROM sync.listing"));
}

std::optional<qint64> SyncState::rowOfUid(const QString& uid) const {
    sqlite3_stmt* stmt = d->prepare("SELECT row FROM sync.uid_hints WHERE uid = ?1");
    sql::StatementUse use(stmt);
    sql::bindText(stmt, 1, uid);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d->fail();
    if (rc != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(stmt, 0);
}

void SyncState::clearListing() {
    d->run(d->prepare("DELETE FROM sync.listing"));
    d->run(d->prepare("UPDATE sync.cards SET listed = 0 WHERE listed <> 0"));
}

void SyncState::addListed(const Listed& listed) {
    sqlite3_stmt* stmt =
        d->prepare("INSERT OR REPLACE INTO sync.listing (href, etag, gone) VALUES (?1, ?2, ?3)");
    sql::bindText(stmt, 1, listed.href);
    sql::bindText(stmt, 2, listed.etag);
    sqlite3_bind_int(stmt, 3, listed.gone ? 1 : 0);
    d->run(stmt);
}

std::vector<Listed> SyncState::nextListed(const QString& afterHref, int limit) const {
    sqlite3_stmt* stmt = d->prepare(
        "SELECT href, etag, gone FROM sync.listing WHERE href > ?1 ORDER BY href LIMIT ?2");
    sql::StatementUse use(stmt);
    sql::bindText(stmt, 1, afterHref.isNull() ? QStringLiteral("") : afterHref);
    sqlite3_bind_int(stmt, 2, limit);
    std::vector<Listed> found;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        found.push_back(
            {sql::columnText(stmt, 0), sql::columnText(stmt, 1), sqlite3_column_int(stmt, 2) != 0});
    if (rc != SQLITE_DONE)
        d->fail();
    return found;
}

std::vector<QString> SyncState::unlisted(const QString& afterHref, int limit) const {
    sqlite3_stmt* stmt = d->prepare("SELECT href FROM sync.cards WHERE listed = 0 AND etag <> '' "
                                    "AND href > ?1 ORDER BY href LIMIT ?2");
    sql::StatementUse use(stmt);
    sql::bindText(stmt, 1, afterHref.isNull() ? QStringLiteral("") : afterHref);
    sqlite3_bind_int(stmt, 2, limit);
    std::vector<QString> found;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        found.push_back(sql::columnText(stmt, 0));
    if (rc != SQLITE_DONE)
        d->fail();
    return found;
}

void SyncState::markListed(const QString& href) {
    sqlite3_stmt* stmt = d->prepare("UPDATE sync.cards SET listed = 1 WHERE href = ?1");
    sql::bindText(stmt, 1, href);
    d->run(stmt);
}

} // namespace palvane::sync
