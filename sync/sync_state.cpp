#include "sync/sync_state.h"

#include "store/sqlite_util.h"
#include "sync/dav_client.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <map>

// The contact at a card's rowid (t, joined on c.row) still has the nick, name and e-mail
// address of the card's (c) table values as last synced. Exact on purpose: whatever this calls
// the same is the same contact by any looser comparison too.
#define PALVANE_SAME_KEYS                                                                          \
    "(t.rowid IS NOT NULL AND coalesce(t.\"IRC Nick\", '') IS json_extract(c.local_base, '$[0]') " \
    "AND coalesce(t.\"IRC Name\", '') IS json_extract(c.local_base, '$[1]') "                      \
    "AND coalesce(t.\"IRC Email\", '') IS json_extract(c.local_base, '$[3]'))"

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

    // Every row of the bound statement, each read by readRow.
    template <class ReadRow> auto rows(sqlite3_stmt* stmt, ReadRow readRow) {
        sql::StatementUse use(stmt);
        std::vector<decltype(readRow(stmt))> found;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            found.push_back(readRow(stmt));
        if (rc != SQLITE_DONE)
            fail();
        return found;
    }

    std::vector<CardState> cards(sqlite3_stmt* stmt) {
        return rows(stmt, [this](sqlite3_stmt* row) { return card(row); });
    }

    // A page in href order: ?1 the last href of the page before, ?2 the page's length.
    static void bindPage(sqlite3_stmt* stmt, const QString& afterHref, int limit) {
        sql::bindText(stmt, 1, afterHref.isNull() ? QStringLiteral("") : afterHref);
        sqlite3_bind_int(stmt, 2, limit);
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
    Impl::bindPage(stmt, afterHref, limit);
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
    Impl::bindPage(stmt, afterHref, limit);
    return d->rows(stmt, [](sqlite3_stmt* row) {
        return Listed{sql::columnText(row, 0), sql::columnText(row, 1),
                      sqlite3_column_int(row, 2) != 0};
    });
}

std::vector<QString> SyncState::unlisted(const QString& afterHref, int limit) const {
    sqlite3_stmt* stmt = d->prepare("SELECT href FROM sync.cards WHERE listed = 0 AND etag <> '' "
                                    "AND href > ?1 ORDER BY href LIMIT ?2");
    Impl::bindPage(stmt, afterHref, limit);
    return d->rows(stmt, [](sqlite3_stmt* row) { return sql::columnText(row, 0); });
}

void SyncState::markListed(const QString& href) {
    sqlite3_stmt* stmt = d->prepare("UPDATE sync.cards SET listed = 1 WHERE href = ?1");
    sql::bindText(stmt, 1, href);
    d->run(stmt);
}

bool SyncState::anyDisplaced() const {
    sqlite3_stmt* stmt =
        d->prepare("SELECT 1 FROM sync.cards c LEFT JOIN main.contacts t ON t.rowid = c.row "
                   "WHERE c.row IS NOT NULL AND NOT " PALVANE_SAME_KEYS " LIMIT 1");
    sql::StatementUse use(stmt);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d->fail();
    return rc == SQLITE_ROW;
}

std::vector<qint64> SyncState::unpairedRows(qint64 after, int limit) const {
    sqlite3_stmt* stmt =
        d->prepare("SELECT t.rowid FROM main.contacts t LEFT JOIN sync.cards c ON c.row = t.rowid "
                   "WHERE t.rowid > ?1 AND (c.href IS NULL OR NOT " PALVANE_SAME_KEYS ") "
                   "ORDER BY t.rowid LIMIT ?2");
    sql::StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, after);
    sqlite3_bind_int(stmt, 2, limit);
    std::vector<qint64> found;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        found.push_back(sqlite3_column_int64(stmt, 0));
    if (rc != SQLITE_DONE)
        d->fail();
    return found;
}

void SyncState::detachDisplaced() {
    // A temporary table: what a cut run leaves of it goes with the connection.
    if (sql::exec(d->db, QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS sync_detached "
                                        "(row INTEGER PRIMARY KEY, href TEXT NOT NULL)")) !=
        SQLITE_OK)
        d->fail();
    d->run(d->prepare("DELETE FROM temp.sync_detached"));
    d->run(d->prepare("INSERT INTO temp.sync_detached (row, href) SELECT c.row, c.href FROM "
                      "sync.cards c LEFT JOIN main.contacts t ON t.rowid = c.row "
                      "WHERE c.row IS NOT NULL AND NOT " PALVANE_SAME_KEYS));
    d->run(d->prepare("UPDATE sync.cards SET row = NULL "
                      "WHERE href IN (SELECT href FROM temp.sync_detached)"));
}

std::vector<SyncState::Detached> SyncState::detached(qint64 after, int limit) const {
    sqlite3_stmt* stmt =
        d->prepare("SELECT d.row, c.href, c.local_base FROM temp.sync_detached d "
                   "JOIN sync.cards c ON c.href = d.href WHERE c.row IS NULL AND d.row > ?1 "
                   "ORDER BY d.row LIMIT ?2");
    sql::StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, after);
    sqlite3_bind_int(stmt, 2, limit);
    std::vector<Detached> found;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        found.push_back({sqlite3_column_int64(stmt, 0), sql::columnText(stmt, 1),
                         decode(sql::columnText(stmt, 2))});
    if (rc != SQLITE_DONE)
        d->fail();
    return found;
}

void SyncState::setRow(const QString& href, qint64 row) {
    sqlite3_stmt* stmt = d->prepare("UPDATE sync.cards SET row = ?2 WHERE href = ?1");
    sql::bindText(stmt, 1, href);
    sqlite3_bind_int64(stmt, 2, row);
    d->run(stmt);
}

bool SyncState::rowTaken(qint64 row) const {
    sqlite3_stmt* stmt = d->prepare("SELECT 1 FROM sync.cards WHERE row = ?1");
    sql::StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, row);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d->fail();
    return rc == SQLITE_ROW;
}

void SyncState::endDetaching() {
    d->run(d->prepare("DELETE FROM temp.sync_detached"));
}

} // namespace palvane::sync
