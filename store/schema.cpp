#include "store/schema.h"

#include "store/field_names.h"
#include "store/sqlite_util.h"
#include "store/table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace palvane {

namespace {

// One connection, closed on every way out.
class Connection {
public:
    Connection(const QString& filePath, int flags, const QString& action) : path_(filePath) {
        const QFileInfo info(filePath);
        if (!(flags & SQLITE_OPEN_CREATE) && !info.exists())
            throw TableError(QStringLiteral("%1 %2: the file does not exist").arg(action, path_));
        if (sqlite3_open_v2(filePath.toUtf8().constData(), &db_, flags, nullptr) != SQLITE_OK ||
            sql::makeCommitsDurable(db_) != SQLITE_OK) {
            const QString message = sql::errorText(db_);
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw TableError(QStringLiteral("%1 %2: %3").arg(action, path_, message));
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 2000);
    }
    ~Connection() { sqlite3_close_v2(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return db_; }
    [[noreturn]] void fail(const QString& action) const {
        throw TableError(QStringLiteral("%1 %2: %3").arg(action, path_, sql::errorText(db_)));
    }
    void exec(const QString& statement, const QString& action) const {
        if (sql::exec(db_, statement) != SQLITE_OK)
            fail(action);
    }

private:
    QString path_;
    sqlite3* db_ = nullptr;
};

// The file's column name and declared text length for each field; a missing column is an
// error naming the field.
struct Columns {
    std::array<QString, FieldCount> names;
    std::array<int, FieldCount> lengths{};
};

Columns readColumns(const Connection& connection, const QString& action) {
    sql::Statement info;
    if (info.prepare(connection.get(),
                     QStringLiteral("SELECT name, type FROM pragma_table_info('contacts')"),
                     false) != SQLITE_OK)
        connection.fail(action);
    Columns columns;
    sql::StatementUse use(info.get());
    int rc;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
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
        connection.fail(action);
    for (int i = 0; i < FieldCount; ++i)
        if (columns.names[i].isEmpty())
            throw TableError(
                QStringLiteral("Field '%1' not found").arg(QLatin1String(kFieldNames[i])));
    return columns;
}

constexpr qint64 kBulkRows = 10000;

bool tableIsEmpty(const Connection& connection, const QString& action) {
    sql::Statement probe;
    if (probe.prepare(connection.get(), QStringLiteral("SELECT 1 FROM contacts LIMIT 1"), false) !=
        SQLITE_OK)
        connection.fail(action);
    sql::StatementUse use(probe.get());
    const int rc = sqlite3_step(probe.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        connection.fail(action);
    return rc == SQLITE_DONE;
}

// Drops the table's own indexes and returns their names and CREATE statements.
QList<QStringList> takeIndexes(const Connection& connection, const QString& action) {
    sql::Statement list;
    if (list.prepare(connection.get(),
                     QStringLiteral("SELECT name, sql FROM sqlite_schema WHERE type = 'index' AND "
                                    "tbl_name = 'contacts' COLLATE NOCASE AND sql IS NOT NULL"),
                     false) != SQLITE_OK)
        connection.fail(action);
    QList<QStringList> indexes;
    {
        sql::StatementUse use(list.get());
        int rc;
        while ((rc = sqlite3_step(list.get())) == SQLITE_ROW)
            indexes << QStringList{sql::columnText(list.get(), 0), sql::columnText(list.get(), 1)};
        if (rc != SQLITE_DONE)
            connection.fail(action);
    }
    for (const QStringList& index : indexes)
        connection.exec(QStringLiteral("DROP INDEX %1").arg(sql::quoteIdentifier(index[0])),
                        action);
    return indexes;
}

void bindOptionalText(sqlite3_stmt* stmt, int index, const QString& text, int length) {
    sql::bindText(stmt, index, text.isNull() ? text : sql::cutToLength(text, length));
}

} // namespace

QString contactTableSql() {
    return QStringLiteral("CREATE TABLE contacts (\n"
                          "    \"IRC Nick\" VARCHAR(%1),\n"
                          "    \"IRC Name\" VARCHAR(%2),\n"
                          "    \"IRC Location\" VARCHAR(%3),\n"
                          "    \"IRC Email\" VARCHAR(%4),\n"
                          "    \"IRC Notes\" VARCHAR(%5),\n"
                          "    \"IRC Time Displacement\" REAL,\n"
                          "    \"IRC Spin\" INTEGER,\n"
                          "    \"IRC Picture\" VARCHAR(%6)\n"
                          ")")
        .arg(kNickLength)
        .arg(kNameLength)
        .arg(kLocationLength)
        .arg(kEmailLength)
        .arg(kNotesLength)
        .arg(kPictureLength);
}

QString nickIndexSql() {
    return QStringLiteral("CREATE INDEX \"%1\" ON contacts (\"IRC Nick\" COLLATE NOCASE)")
        .arg(QLatin1String(kNickIndexName));
}

void createContactTable(const QString& filePath) {
    const QString action = QStringLiteral("Cannot create the contact table");
    const QFileInfo info(filePath);
    const QString directory = info.absolutePath();
    if (!QDir().mkpath(directory))
        throw TableError(QStringLiteral("%1 %2: the directory %3 cannot be made")
                             .arg(action, filePath, directory));
    // NewOnly makes the refusal to overwrite atomic: an existing file is never touched.
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (info.exists() || QFileInfo::exists(filePath))
            throw TableError(
                QStringLiteral("%1 %2: the file already exists").arg(action, filePath));
        throw TableError(QStringLiteral("%1 %2: %3").arg(action, filePath, file.errorString()));
    }
    file.close();
    try {
        // An empty file is an empty database to the engine.
        Connection connection(filePath, SQLITE_OPEN_READWRITE, action);
        connection.exec(QStringLiteral("PRAGMA journal_mode = DELETE"), action);
        connection.exec(QStringLiteral("BEGIN IMMEDIATE"), action);
        connection.exec(contactTableSql(), action);
        connection.exec(nickIndexSql(), action);
        connection.exec(QStringLiteral("COMMIT"), action);
    } catch (...) {
        QFile::remove(filePath);
        throw;
    }
}

void insertContacts(const QString& filePath, const std::vector<ContactRow>& rows) {
    insertContacts(filePath, static_cast<qint64>(rows.size()),
                   [&rows](qint64 i, ContactRow& row) { row = rows[static_cast<size_t>(i)]; });
}

void insertContacts(const QString& filePath, qint64 count,
                    const std::function<void(qint64, ContactRow&)>& make) {
    const QString action = QStringLiteral("Cannot add contacts to");
    Connection connection(filePath, SQLITE_OPEN_READWRITE, action);
    const Columns columns = readColumns(connection, action);
    // A large page cache keeps the nick index in memory while millions of rows go in.
    connection.exec(QStringLiteral("PRAGMA cache_size = -131072"), action);
    QStringList names;
    for (const QString& name : columns.names)
        names << sql::quoteIdentifier(name);
    sql::Statement insert;
    if (insert.prepare(connection.get(),
                       QStringLiteral("INSERT INTO contacts (%1) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                                      "?7, ?8)")
                           .arg(names.join(QStringLiteral(", ")))) != SQLITE_OK)
        connection.fail(action);
    connection.exec(QStringLiteral("BEGIN IMMEDIATE"), action);
    try {
        // Filling an empty table with many rows: building the indexes once at the end (one
        // sort) is several times faster than updating them row by row. Same transaction, so
        // the table never exists without them.
        const QList<QStringList> indexes = count >= kBulkRows && tableIsEmpty(connection, action)
                                               ? takeIndexes(connection, action)
                                               : QList<QStringList>();
        sqlite3_stmt* stmt = insert.get();
        ContactRow row;
        for (qint64 i = 0; i < count; ++i) {
            row = ContactRow();
            make(i, row);
            bindOptionalText(stmt, 1 + FieldNick, row.nick, columns.lengths[FieldNick]);
            bindOptionalText(stmt, 1 + FieldName, row.name, columns.lengths[FieldName]);
            bindOptionalText(stmt, 1 + FieldLocation, row.location, columns.lengths[FieldLocation]);
            bindOptionalText(stmt, 1 + FieldEmail, row.email, columns.lengths[FieldEmail]);
            bindOptionalText(stmt, 1 + FieldNotes, row.notes, columns.lengths[FieldNotes]);
            if (row.timeDisplacement)
                sqlite3_bind_double(stmt, 1 + FieldTimeDisplacement, *row.timeDisplacement);
            else
                sqlite3_bind_null(stmt, 1 + FieldTimeDisplacement);
            if (row.spin)
                sqlite3_bind_int64(stmt, 1 + FieldSpin, *row.spin);
            else
                sqlite3_bind_null(stmt, 1 + FieldSpin);
            bindOptionalText(stmt, 1 + FieldPicture, row.picture, columns.lengths[FieldPicture]);
            const int rc = sqlite3_step(stmt);
            sqlite3_reset(stmt);
            if (rc != SQLITE_DONE)
                connection.fail(action);
        }
        for (const QStringList& index : indexes)
            connection.exec(index[1], action);
        connection.exec(QStringLiteral("COMMIT"), action);
    } catch (...) {
        sql::exec(connection.get(), QStringLiteral("ROLLBACK"));
        throw;
    }
}

std::vector<ContactRow> readContacts(const QString& filePath) {
    const QString action = QStringLiteral("Cannot read the contact table");
    Connection connection(filePath, SQLITE_OPEN_READONLY, action);
    const Columns columns = readColumns(connection, action);
    QStringList names;
    for (const QString& name : columns.names)
        names << sql::quoteIdentifier(name);
    sql::Statement select;
    if (select.prepare(connection.get(),
                       QStringLiteral("SELECT %1 FROM contacts ORDER BY rowid")
                           .arg(names.join(QStringLiteral(", "))),
                       false) != SQLITE_OK)
        connection.fail(action);
    std::vector<ContactRow> rows;
    sqlite3_stmt* stmt = select.get();
    sql::StatementUse use(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        ContactRow row;
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
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        connection.fail(action);
    return rows;
}

} // namespace palvane
