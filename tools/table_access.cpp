#include "tools/table_access.h"

#include "store/field_names.h"
#include "store/sqlite_util.h"
#include "tools/contacts_format.h"

#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <cmath>
#include <limits>

namespace palvane::tool {

namespace {

// Enough pages to keep the nick index's working set while rows go in, small enough that a
// million contacts import in a few dozen megabytes; the sorter that rebuilds the index takes
// the same amount before it spills to a temporary file.
constexpr int kCacheKiB = 16 * 1024;

QString createAdvice() {
    return QStringLiteral("make one with 'palvane-table create PATH' first");
}

// One connection, closed on every way out; failures name the action and the file.
class Connection {
public:
    Connection(const QString& path, int flags, const QString& action)
        : path_(path), action_(action) {
        if (!QFileInfo::exists(path))
            throw ToolError(QStringLiteral("%1 does not exist; %2").arg(path, createAdvice()));
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr);
        if (rc != SQLITE_OK)
            fail();
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 2000);
    }
    ~Connection() { sqlite3_close_v2(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return db_; }
    [[noreturn]] void fail() const {
        throw TableError(QStringLiteral("%1 %2: %3").arg(action_, path_, sql::errorText(db_)));
    }
    void exec(const QString& statement) const {
        if (sql::exec(db_, statement) != SQLITE_OK)
            fail();
    }
    void prepare(sql::Statement& statement, const QString& text) const {
        if (statement.prepare(db_, text, false) != SQLITE_OK)
            fail();
    }

private:
    QString path_;
    QString action_;
    sqlite3* db_ = nullptr;
};

// The file's column name and declared text length of each field.
struct Columns {
    std::array<QString, FieldCount> names;
    std::array<int, FieldCount> lengths{};
    bool anyColumn = false; // the table "contacts" exists

    QString list() const {
        QStringList quoted;
        for (const QString& name : names)
            quoted << sql::quoteIdentifier(name);
        return quoted.join(QStringLiteral(", "));
    }
};

Columns readColumns(const Connection& connection) {
    sql::Statement info;
    connection.prepare(info,
                       QStringLiteral("SELECT name, type FROM pragma_table_info('contacts')"));
    Columns columns;
    sql::StatementUse use(info.get());
    int rc;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        columns.anyColumn = true;
        const QString name = sql::columnText(info.get(), 0);
        for (int i = 0; i < FieldCount; ++i)
            if (columns.names[i].isEmpty() &&
                name.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0) {
                columns.names[i] = name;
                if (fieldKind(i) == FieldKind::Text)
                    columns.lengths[i] = sql::declaredLength(sql::columnText(info.get(), 1));
            }
    }
    if (rc != SQLITE_DONE)
        connection.fail();
    return columns;
}

// The columns of a table that must hold the eight fields.
Columns requireColumns(const Connection& connection, const QString& path) {
    const Columns columns = readColumns(connection);
    if (!columns.anyColumn)
        throw ToolError(QStringLiteral("%1 holds no contact table (no table \"contacts\"); %2")
                            .arg(path, createAdvice()));
    for (int i = 0; i < FieldCount; ++i)
        if (columns.names[i].isEmpty())
            throw TableError(
                QStringLiteral("Field '%1' not found").arg(QLatin1String(kFieldNames[i])));
    return columns;
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text, int length) {
    sql::bindText(stmt, index, text.isNull() ? text : sql::cutToLength(text, length));
}

} // namespace

std::array<int, FieldCount> textLengths(const QString& tablePath) {
    const Connection connection(tablePath, SQLITE_OPEN_READONLY,
                                QStringLiteral("Cannot read the contact table"));
    const Columns columns = readColumns(connection);
    if (!columns.anyColumn)
        throw ToolError(QStringLiteral("%1 holds no contact table (no table \"contacts\"); %2")
                            .arg(tablePath, createAdvice()));
    return columns.lengths;
}

struct ContactSink::Impl {
    Connection connection;
    Columns columns;
    sql::Statement insert;
    QList<QStringList> indexes; // dropped while an empty table fills: name, CREATE statement
    bool open = false;

    explicit Impl(const QString& path)
        : connection(path, SQLITE_OPEN_READWRITE, QStringLiteral("Cannot add contacts to")),
          columns(requireColumns(connection, path)) {}

    bool tableIsEmpty() const {
        sql::Statement probe;
        connection.prepare(probe, QStringLiteral("SELECT 1 FROM contacts LIMIT 1"));
        sql::StatementUse use(probe.get());
        const int rc = sqlite3_step(probe.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            connection.fail();
        return rc == SQLITE_DONE;
    }

    // Filling an empty table: building the indexes once at the end (one sort) is several
    // times faster than updating them row by row, and needs less memory. They come back in
    // the same transaction, so the table never exists without them.
    void takeIndexes() {
        sql::Statement list;
        connection.prepare(list, QStringLiteral("SELECT name, sql FROM sqlite_schema WHERE "
                                                "type = 'index' AND tbl_name = 'contacts' "
                                                "COLLATE NOCASE AND sql IS NOT NULL"));
        {
            sql::StatementUse use(list.get());
            int rc;
            while ((rc = sqlite3_step(list.get())) == SQLITE_ROW)
                indexes << QStringList{sql::columnText(list.get(), 0),
                                       sql::columnText(list.get(), 1)};
            if (rc != SQLITE_DONE)
                connection.fail();
        }
        for (const QStringList& index : indexes)
            connection.exec(QStringLiteral("DROP INDEX %1").arg(sql::quoteIdentifier(index[0])));
    }
};

ContactSink::ContactSink(const QString& tablePath) : d(std::make_unique<Impl>(tablePath)) {
    d->connection.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(kCacheKiB));
    d->connection.prepare(d->insert,
                          QStringLiteral("INSERT INTO contacts (%1) VALUES (?1, ?2, ?3, ?4, ?5, "
                                         "?6, ?7, ?8)")
                              .arg(d->columns.list()));
    d->connection.exec(QStringLiteral("BEGIN IMMEDIATE"));
    d->open = true;
    if (d->tableIsEmpty())
        d->takeIndexes();
}

ContactSink::~ContactSink() {
    if (d->open)
        sql::exec(d->connection.get(), QStringLiteral("ROLLBACK"));
}

const std::array<int, FieldCount>& ContactSink::lengths() const {
    return d->columns.lengths;
}

void ContactSink::add(const ContactRow& row) {
    sqlite3_stmt* stmt = d->insert.get();
    const auto& lengths = d->columns.lengths;
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
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE)
        d->connection.fail();
}

void ContactSink::commit() {
    for (const QStringList& index : d->indexes)
        d->connection.exec(index[1]);
    d->connection.exec(QStringLiteral("COMMIT"));
    d->open = false;
}

struct ContactCursor::Impl {
    Connection connection;
    Columns columns;
    sql::Statement select;
    bool done = false;

    explicit Impl(const QString& path)
        : connection(path, SQLITE_OPEN_READONLY, QStringLiteral("Cannot read the contact table")),
          columns(requireColumns(connection, path)) {}
};

ContactCursor::ContactCursor(const QString& tablePath) : d(std::make_unique<Impl>(tablePath)) {
    d->connection.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(kCacheKiB));
    d->connection.prepare(
        d->select, QStringLiteral("SELECT %1 FROM contacts ORDER BY rowid").arg(d->columns.list()));
}

ContactCursor::~ContactCursor() = default;

qint64 ContactCursor::count() {
    sql::Statement count;
    d->connection.prepare(count, QStringLiteral("SELECT count(*) FROM contacts"));
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
        sqlite3_reset(stmt); // ends the read transaction
        return false;
    }
    if (rc != SQLITE_ROW)
        d->connection.fail();
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
    return true;
}

} // namespace palvane::tool
