#include "store/contact_stream.h"

#include "store/field_names.h"
#include "store/schema_connection.h"
#include "store/table_layout.h"

#include <QFile>
#include <QStringList>

#include <cmath>
#include <limits>

namespace palvane {

namespace {

QString columnList(const TableLayout& layout) {
    QStringList quoted;
    for (const QString& name : layout.columns)
        quoted << sql::quoteIdentifier(name);
    return quoted.join(QStringLiteral(", "));
}

// The columns of the eight fields; a missing one is an error naming the field.
TableLayout readColumns(const SchemaConnection& connection) {
    sql::Statement info;
    connection.prepare(
        info, QStringLiteral("SELECT cid, name, type FROM pragma_table_info('contacts')"), false);
    TableLayout layout;
    bool anyColumn = false;
    sql::StatementUse use(info.get());
    int rc;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        anyColumn = true;
        layout.addColumn(sql::columnText(info.get(), 1), sql::columnText(info.get(), 2),
                         sqlite3_column_int(info.get(), 0));
    }
    if (rc != SQLITE_DONE)
        connection.fail();
    for (int i = 0; i < FieldCount; ++i) {
        if (!layout.columns[i].isEmpty())
            continue;
        const QString message =
            QStringLiteral("Field '%1' not found").arg(QLatin1String(kFieldNames[i]));
        if (!anyColumn)
            throw MissingTableError(message);
        throw TableError(message);
    }
    return layout;
}

void setCacheSize(const SchemaConnection& connection, int cacheKiB) {
    if (cacheKiB > 0)
        connection.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(cacheKiB));
}

bool tableIsEmpty(const SchemaConnection& connection) {
    sql::Statement probe;
    connection.prepare(probe, QStringLiteral("SELECT 1 FROM contacts LIMIT 1"), false);
    sql::StatementUse use(probe.get());
    const int rc = sqlite3_step(probe.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        connection.fail();
    return rc == SQLITE_DONE;
}

// Drops the table's own indexes and returns their CREATE statements.
QStringList takeIndexes(const SchemaConnection& connection) {
    sql::Statement list;
    connection.prepare(list,
                       QStringLiteral("SELECT name, sql FROM sqlite_schema WHERE type = 'index' "
                                      "AND tbl_name = 'contacts' COLLATE NOCASE AND sql IS NOT "
                                      "NULL"),
                       false);
    QStringList names;
    QStringList creates;
    {
        sql::StatementUse use(list.get());
        int rc;
        while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
            names << sql::columnText(list.get(), 0);
            creates << sql::columnText(list.get(), 1);
        }
        if (rc != SQLITE_DONE)
            connection.fail();
    }
    for (const QString& name : names)
        connection.exec(QStringLiteral("DROP INDEX %1").arg(sql::quoteIdentifier(name)));
    return creates;
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text, int length) {
    sql::bindText(stmt, index, text.isNull() ? text : sql::cutToLength(text, length));
}

void bindRow(sqlite3_stmt* stmt, const ContactRow& row,
             const std::array<int, FieldCount>& lengths) {
    bindText(stmt, 1 + FieldNick, row.nick, lengths[FieldNick]);
    bindText(stmt, 1 + FieldName, row.name, lengths[FieldName]);
    bindText(stmt, 1 + FieldLocation, row.location, lengths[FieldLocation]);
    bindText(stmt, 1 + FieldEmail, row.email, lengths[FieldEmail]);
    bindText(stmt, 1 + FieldNotes, row.notes, lengths[FieldNotes]);
    if (row.timeDisplacement)
        sqlite3_bind_double(stmt, 1 + FieldTimeDisplacement, *row.timeDisplacement);
    else
        sqlite3_bind_null(stmt, 1 + FieldTimeDisplacement);
    if (row.spin)
        sqlite3_bind_int64(stmt, 1 + FieldSpin, *row.spin);
    else
        sqlite3_bind_null(stmt, 1 + FieldSpin);
    bindText(stmt, 1 + FieldPicture, row.picture, lengths[FieldPicture]);
}

// The row the cursor's statement stands on; its columns are in field order.
void readRow(sqlite3_stmt* stmt, ContactRow& row) {
    row.nick = sql::columnText(stmt, FieldNick);
    row.name = sql::columnText(stmt, FieldName);
    row.location = sql::columnText(stmt, FieldLocation);
    row.email = sql::columnText(stmt, FieldEmail);
    row.notes = sql::columnText(stmt, FieldNotes);
    row.picture = sql::columnText(stmt, FieldPicture);
    if (sqlite3_column_type(stmt, FieldTimeDisplacement) == SQLITE_NULL)
        row.timeDisplacement.reset();
    else
        row.timeDisplacement = sqlite3_column_double(stmt, FieldTimeDisplacement);
    if (sqlite3_column_type(stmt, FieldSpin) == SQLITE_NULL) {
        row.spin.reset();
    } else {
        const double spin = sqlite3_column_double(stmt, FieldSpin);
        row.spin = std::isfinite(spin) && std::abs(spin) < std::numeric_limits<int>::max()
                       ? static_cast<int>(std::lround(spin))
                       : 0;
    }
}

} // namespace

struct ContactCursor::Impl {
    SchemaConnection connection;
    TableLayout layout;
    sql::Statement select;
    bool done = false;

    Impl(const QString& path, int cacheKiB)
        : connection(path, SQLITE_OPEN_READONLY, QStringLiteral("Cannot read the contact table")),
          layout(readColumns(connection)) {
        setCacheSize(connection, cacheKiB);
        connection.prepare(
            select,
            QStringLiteral("SELECT %1 FROM contacts ORDER BY rowid").arg(columnList(layout)), true);
    }
};

ContactCursor::ContactCursor(const QString& filePath, int cacheKiB)
    : d(std::make_unique<Impl>(filePath, cacheKiB)) {}

ContactCursor::~ContactCursor() = default;
ContactCursor::ContactCursor(ContactCursor&&) noexcept = default;
ContactCursor& ContactCursor::operator=(ContactCursor&&) noexcept = default;

qint64 ContactCursor::count() {
    sql::Statement count;
    d->connection.prepare(count, QStringLiteral("SELECT count(*) FROM contacts"), false);
    sql::StatementUse use(count.get());
    if (sqlite3_step(count.get()) != SQLITE_ROW)
        d->connection.fail();
    return sqlite3_column_int64(count.get(), 0);
}

bool ContactCursor::next(ContactRow& row) {
    if (d->done)
        return false;
    sqlite3_stmt* stmt = d->select.get();
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) {
        d->done = true;
        sqlite3_reset(stmt);
        return false;
    }
    if (rc != SQLITE_ROW)
        d->connection.fail();
    readRow(stmt, row);
    return true;
}

struct ContactInserter::Impl {
    SchemaConnection connection;
    TableLayout layout;
    sql::Statement insert;

    Impl(const QString& path, int cacheKiB)
        : connection(path, SQLITE_OPEN_READWRITE, QStringLiteral("Cannot add contacts to")),
          layout(readColumns(connection)) {
        setCacheSize(connection, cacheKiB);
        connection.prepare(insert,
                           QStringLiteral("INSERT INTO contacts (%1) VALUES (?1, ?2, ?3, ?4, ?5, "
                                          "?6, ?7, ?8)")
                               .arg(columnList(layout)),
                           true);
    }
};

ContactInserter::ContactInserter(const QString& filePath, int cacheKiB)
    : d(std::make_unique<Impl>(filePath, cacheKiB)) {}

ContactInserter::~ContactInserter() = default;
ContactInserter::ContactInserter(ContactInserter&&) noexcept = default;
ContactInserter& ContactInserter::operator=(ContactInserter&&) noexcept = default;

const std::array<int, FieldCount>& ContactInserter::lengths() const {
    return d->layout.lengths;
}

qint64 ContactInserter::insert(const std::function<bool(ContactRow&)>& next, bool rebuildIndexes) {
    const SchemaConnection& connection = d->connection;
    connection.exec(QStringLiteral("BEGIN IMMEDIATE"));
    qint64 added = 0;
    try {
        const QStringList indexes =
            rebuildIndexes && tableIsEmpty(connection) ? takeIndexes(connection) : QStringList();
        sqlite3_stmt* stmt = d->insert.get();
        ContactRow row;
        while (next(row)) {
            bindRow(stmt, row, d->layout.lengths);
            const int rc = sqlite3_step(stmt);
            sqlite3_reset(stmt);
            if (rc != SQLITE_DONE)
                connection.fail();
            ++added;
        }
        for (const QString& create : indexes)
            connection.exec(create);
        connection.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        sql::exec(connection.get(), QStringLiteral("ROLLBACK"));
        throw;
    }
    return added;
}

struct ContactWriter::Impl {
    SchemaConnection connection;
    TableLayout layout;
    sql::Statement select;
    sql::Statement selectAfter;
    sql::Statement insert;
    sql::Statement update;
    sql::Statement remove;

    Impl(const QString& path, const QString& companion, const QString& schema)
        : connection(path, SQLITE_OPEN_READWRITE, QStringLiteral("Cannot change the contacts of")),
          layout(readColumns(connection)) {
        if (!companion.isEmpty()) {
            // The table's connection may not create files; an empty file is an empty database.
            QFile file(companion);
            if (!file.exists() && !file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
                !file.exists())
                throw TableError(
                    QStringLiteral("Cannot make %1: %2").arg(companion, file.errorString()));
            file.close();
            sql::Statement attach;
            connection.prepare(
                attach,
                QStringLiteral("ATTACH DATABASE ?1 AS %1").arg(sql::quoteIdentifier(schema)),
                false);
            sql::bindText(attach.get(), 1, companion);
            if (sqlite3_step(attach.get()) != SQLITE_DONE)
                connection.fail();
            // One commit over both files needs rollback journals on both, each synced.
            const QString quoted = sql::quoteIdentifier(schema);
            connection.exec(QStringLiteral("PRAGMA %1.journal_mode = DELETE").arg(quoted));
            connection.exec(QStringLiteral("PRAGMA %1.synchronous = EXTRA").arg(quoted));
        }
        const QString list = columnList(layout);
        connection.prepare(
            select, QStringLiteral("SELECT %1 FROM contacts WHERE rowid = ?1").arg(list), true);
        connection.prepare(selectAfter,
                           QStringLiteral("SELECT %1, rowid FROM contacts WHERE rowid > ?1 "
                                          "ORDER BY rowid LIMIT ?2")
                               .arg(list),
                           true);
        connection.prepare(insert,
                           QStringLiteral("INSERT INTO contacts (%1) VALUES (?1, ?2, ?3, ?4, ?5, "
                                          "?6, ?7, ?8)")
                               .arg(list),
                           true);
        QStringList assignments;
        for (int i = 0; i < FieldCount; ++i)
            assignments << QStringLiteral("%1 = ?%2")
                               .arg(sql::quoteIdentifier(layout.columns[i]))
                               .arg(i + 1);
        connection.prepare(update,
                           QStringLiteral("UPDATE contacts SET %1 WHERE rowid = ?9")
                               .arg(assignments.join(QStringLiteral(", "))),
                           true);
        connection.prepare(remove, QStringLiteral("DELETE FROM contacts WHERE rowid = ?1"), true);
    }

    // Runs a statement that changes rows; the number of rows it changed.
    int change(sqlite3_stmt* stmt) {
        sql::StatementUse use(stmt);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            connection.fail();
        return sqlite3_changes(connection.get());
    }
};

ContactWriter::ContactWriter(const QString& tablePath, const QString& companionPath,
                             const QString& companionSchema)
    : d(std::make_unique<Impl>(tablePath, companionPath, companionSchema)) {}

ContactWriter::~ContactWriter() = default;
ContactWriter::ContactWriter(ContactWriter&&) noexcept = default;
ContactWriter& ContactWriter::operator=(ContactWriter&&) noexcept = default;

const std::array<int, FieldCount>& ContactWriter::lengths() const {
    return d->layout.lengths;
}

sqlite3* ContactWriter::connection() const {
    return d->connection.get();
}

void ContactWriter::fail() const {
    d->connection.fail();
}

void ContactWriter::begin(bool immediate) {
    d->connection.exec(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
}

void ContactWriter::commit() {
    d->connection.exec(QStringLiteral("COMMIT"));
}

void ContactWriter::rollback() noexcept {
    if (!sqlite3_get_autocommit(d->connection.get()))
        sql::exec(d->connection.get(), QStringLiteral("ROLLBACK"));
}

bool ContactWriter::read(qint64 rowid, ContactRow& row) {
    sqlite3_stmt* stmt = d->select.get();
    sql::StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, rowid);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE)
        return false;
    if (rc != SQLITE_ROW)
        d->connection.fail();
    readRow(stmt, row);
    return true;
}

std::vector<std::pair<qint64, ContactRow>> ContactWriter::readAfter(qint64 after, int limit) {
    sqlite3_stmt* stmt = d->selectAfter.get();
    sql::StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, after);
    sqlite3_bind_int(stmt, 2, limit);
    std::vector<std::pair<qint64, ContactRow>> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        rows.emplace_back(sqlite3_column_int64(stmt, FieldCount), ContactRow());
        readRow(stmt, rows.back().second);
    }
    if (rc != SQLITE_DONE)
        d->connection.fail();
    return rows;
}

qint64 ContactWriter::insert(const ContactRow& row) {
    bindRow(d->insert.get(), row, d->layout.lengths);
    d->change(d->insert.get());
    return sqlite3_last_insert_rowid(d->connection.get());
}

bool ContactWriter::update(qint64 rowid, const ContactRow& row) {
    bindRow(d->update.get(), row, d->layout.lengths);
    sqlite3_bind_int64(d->update.get(), 9, rowid);
    return d->change(d->update.get()) > 0;
}

bool ContactWriter::remove(qint64 rowid) {
    sqlite3_bind_int64(d->remove.get(), 1, rowid);
    return d->change(d->remove.get()) > 0;
}

} // namespace palvane
