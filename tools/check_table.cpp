#include "tools/check_table.h"

#include "store/field_names.h"
#include "store/sqlite_util.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace palvane::tool {

namespace {

// Type affinity of a declared column type, by the engine's rules.
enum class Affinity { Integer, Text, Blob, Real, Numeric };

Affinity affinityOf(const QString& declared) {
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("INT")))
        return Affinity::Integer;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
        type.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (type.isEmpty() || type.contains(QLatin1String("BLOB")))
        return Affinity::Blob;
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
        type.contains(QLatin1String("DOUB")))
        return Affinity::Real;
    return Affinity::Numeric;
}

class ReadOnlyConnection {
public:
    explicit ReadOnlyConnection(const QString& path) {
        rc_ = sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READONLY, nullptr);
        if (db_)
            sqlite3_busy_timeout(db_, 2000);
    }
    ~ReadOnlyConnection() { sqlite3_close_v2(db_); }
    ReadOnlyConnection(const ReadOnlyConnection&) = delete;
    ReadOnlyConnection& operator=(const ReadOnlyConnection&) = delete;
    bool ok() const { return rc_ == SQLITE_OK; }
    sqlite3* get() const { return db_; }

private:
    sqlite3* db_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

// Runs a query and returns its rows as text columns, or an error text.
struct QueryResult {
    QList<QStringList> rows;
    QString error;
};

QueryResult query(sqlite3* db, const QString& text) {
    QueryResult result;
    sql::Statement stmt;
    if (stmt.prepare(db, text, false) != SQLITE_OK) {
        result.error = sql::errorText(db);
        return result;
    }
    sql::StatementUse use(stmt.get());
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        QStringList row;
        for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i)
            row << sql::columnText(stmt.get(), i);
        result.rows << row;
    }
    if (rc != SQLITE_DONE)
        result.error = sql::errorText(db);
    return result;
}

void checkColumns(sqlite3* db, QStringList& problems) {
    const QueryResult info = query(
        db, QStringLiteral("SELECT name, type FROM pragma_table_info('contacts') ORDER BY cid"));
    if (!info.error.isEmpty()) {
        problems << QStringLiteral("cannot read the fields: %1").arg(info.error);
        return;
    }
    if (info.rows.size() != FieldCount)
        problems << QStringLiteral("the table has %1 fields; expected %2")
                        .arg(info.rows.size())
                        .arg(int(FieldCount));
    for (int i = 0; i < FieldCount; ++i) {
        const QString expected = QLatin1String(kFieldNames[i]);
        if (i >= info.rows.size()) {
            problems << QStringLiteral("field %1 \"%2\" is missing").arg(i + 1).arg(expected);
            continue;
        }
        const QString name = info.rows[i][0];
        const QString type = info.rows[i][1];
        if (name != expected) {
            problems << QStringLiteral("field %1 is \"%2\"; expected \"%3\"")
                            .arg(i + 1)
                            .arg(name, expected);
            continue;
        }
        const Affinity affinity = affinityOf(type);
        const bool fits = fieldKind(i) == FieldKind::Text ? affinity == Affinity::Text
                          : fieldKind(i) == FieldKind::Real
                              ? affinity == Affinity::Real || affinity == Affinity::Numeric
                              : affinity == Affinity::Integer || affinity == Affinity::Numeric;
        if (!fits)
            problems << QStringLiteral("field %1 \"%2\" has the type \"%3\"; expected %4")
                            .arg(i + 1)
                            .arg(name, type,
                                 fieldKind(i) == FieldKind::Text ? QStringLiteral("a text type")
                                 : fieldKind(i) == FieldKind::Real
                                     ? QStringLiteral("a floating-point type")
                                     : QStringLiteral("an integer type"));
    }
}

void checkIndex(sqlite3* db, QStringList& problems) {
    const QString name = QLatin1String(kNickIndexName);
    const QueryResult index = query(
        db,
        QStringLiteral("SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = '%1'")
            .arg(name));
    if (!index.error.isEmpty()) {
        problems << QStringLiteral("cannot read the indexes: %1").arg(index.error);
        return;
    }
    if (index.rows.isEmpty()) {
        problems << QStringLiteral("the index \"%1\" is missing").arg(name);
        return;
    }
    if (index.rows[0][0] != QLatin1String("contacts"))
        problems << QStringLiteral("the index \"%1\" belongs to the table \"%2\"")
                        .arg(name, index.rows[0][0]);
    const QueryResult keys = query(
        db,
        QStringLiteral("SELECT name, coll FROM pragma_index_xinfo('%1') WHERE key ORDER BY seqno")
            .arg(name));
    if (keys.rows.size() != 1 || keys.rows[0][0] != QLatin1String(kFieldNames[FieldNick]))
        problems
            << QStringLiteral("the index \"%1\" must have \"IRC Nick\" as its only key").arg(name);
    else if (keys.rows[0][1].compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) != 0)
        problems << QStringLiteral("the index \"%1\" compares nicks with %2; expected NOCASE")
                        .arg(name, keys.rows[0][1]);
    const QueryResult unique = query(
        db, QStringLiteral("SELECT \"unique\" FROM pragma_index_list('contacts') WHERE name = '%1'")
                .arg(name));
    if (!unique.rows.isEmpty() && unique.rows[0][0] == QLatin1String("1"))
        problems
            << QStringLiteral("the index \"%1\" is unique; it must admit equal nicks").arg(name);
}

} // namespace

CheckResult checkTable(const QString& path) {
    CheckResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.problems << QStringLiteral("the file does not exist");
        return result;
    }
    if (info.isDir()) {
        result.problems << QStringLiteral("it is a directory, not a file");
        return result;
    }
    ReadOnlyConnection connection(path);
    if (!connection.ok()) {
        result.problems
            << QStringLiteral("cannot open the file: %1").arg(sql::errorText(connection.get()));
        return result;
    }
    sqlite3* db = connection.get();
    const QueryResult integrity = query(db, QStringLiteral("PRAGMA integrity_check"));
    if (!integrity.error.isEmpty()) {
        result.problems
            << QStringLiteral("the file is damaged or not a table file (%1)").arg(integrity.error);
        return result;
    }
    if (integrity.rows.size() != 1 || integrity.rows[0][0] != QLatin1String("ok")) {
        for (const QStringList& row : integrity.rows.mid(0, 20))
            result.problems << QStringLiteral("damaged: %1").arg(row.value(0));
        return result;
    }
    const QueryResult table =
        query(db, QStringLiteral(
                      "SELECT type FROM sqlite_schema WHERE name = 'contacts' AND type = 'table'"));
    if (table.rows.isEmpty()) {
        result.problems << QStringLiteral("the file holds no table \"contacts\"");
        return result;
    }
    checkColumns(db, result.problems);
    checkIndex(db, result.problems);
    const QueryResult count = query(db, QStringLiteral("SELECT count(*) FROM contacts"));
    if (!count.rows.isEmpty())
        result.records = count.rows[0][0].toLongLong();
    return result;
}

} // namespace palvane::tool
