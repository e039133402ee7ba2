#include "tools/check_table.h"

#include "core/contact_offset.h"
#include "store/field_names.h"
#include "store/sqlite_util.h"
#include "store/table_layout.h"
#include "store/table_trial.h"
#include "tools/contacts_format.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>

namespace palvane::tool {

namespace {

constexpr int kShownDisagreements = 3;

const QString kInUse = QStringLiteral("the table is in use by another program (%1); try again "
                                      "when that program has finished with it");

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
        if (db_) {
            sqlite3_extended_result_codes(db_, 1);
            sqlite3_busy_timeout(db_, 2000);
        }
    }
    ~ReadOnlyConnection() { sqlite3_close_v2(db_); }
    ReadOnlyConnection(const ReadOnlyConnection&) = delete;
    ReadOnlyConnection& operator=(const ReadOnlyConnection&) = delete;
    bool ok() const { return rc_ == SQLITE_OK; }
    sqlite3* get() const { return db_; }
    // Whether the last failure was another program's lock.
    bool busy() const {
        const int code = sqlite3_errcode(db_) & 0xff;
        return code == SQLITE_BUSY || code == SQLITE_LOCKED;
    }

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

QString fieldName(int i) {
    return QLatin1String(kFieldNames[i]);
}

void checkFields(const TableLayout& layout, CheckResult& result) {
    for (int i = 0; i < FieldCount; ++i) {
        if (layout.columns[i].isEmpty()) {
            result.problems << QStringLiteral("the field \"%1\" is missing: the program stops "
                                              "with \"Field '%1' not found\" where it needs it")
                                   .arg(fieldName(i));
            continue;
        }
        // The program finds its fields by name; other positions and types only differ from
        // the tables it is made for.
        const int position = layout.positions[i];
        if (position != i)
            result.notes << (position < FieldCount
                                 ? QStringLiteral("field %1 is \"%2\"; expected \"%3\"")
                                       .arg(position + 1)
                                       .arg(layout.columns[i], fieldName(position))
                                 : QStringLiteral("field %1 is \"%2\"; expected it to be field %3")
                                       .arg(position + 1)
                                       .arg(layout.columns[i])
                                       .arg(i + 1)) +
                                QStringLiteral(" (the program finds its fields by name)");
        const Affinity affinity = affinityOf(layout.types[i]);
        const QString type = layout.types[i];
        switch (fieldKind(i)) {
        case FieldKind::Text:
            if (affinity != Affinity::Text && affinity != Affinity::Blob)
                result.notes << QStringLiteral("the field \"%1\" has the type \"%2\" (expected a "
                                               "text type): a text that looks like a number is "
                                               "stored as a number (\"007\" reads back as \"7\")")
                                    .arg(fieldName(i), type);
            break;
        case FieldKind::Real:
            if (affinity != Affinity::Real && affinity != Affinity::Numeric)
                result.notes << QStringLiteral("the field \"%1\" has the type \"%2\" (expected a "
                                               "floating-point type)")
                                    .arg(fieldName(i), type);
            break;
        case FieldKind::Integer:
            if (affinity != Affinity::Integer && affinity != Affinity::Numeric)
                result.notes << QStringLiteral("the field \"%1\" has the type \"%2\" (expected an "
                                               "integer type)")
                                    .arg(fieldName(i), type);
            break;
        }
    }
}

// Returns false when a lock stopped the check.
bool checkIndex(const ReadOnlyConnection& connection, const TableLayout& layout,
                CheckResult& result) {
    const QString name = QLatin1String(kNickIndexName);
    const NickIndexCheck index = inspectNickIndex(connection.get(), layout.columns[FieldNick]);
    if (!index.readError.isEmpty()) {
        if (connection.busy())
            return false;
        result.problems << QStringLiteral("cannot read the indexes: %1").arg(index.readError);
        return true;
    }
    if (!index.problem.isEmpty()) {
        result.problems << QStringLiteral("the first nick search fails: Cannot use the index "
                                          "'%1': %2")
                               .arg(name, index.problem);
        return true;
    }
    const QueryResult key = query(
        connection.get(),
        QStringLiteral("SELECT coll FROM pragma_index_xinfo('%1') WHERE key ORDER BY seqno LIMIT 1")
            .arg(name));
    if (!key.rows.isEmpty() &&
        key.rows[0][0].compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) != 0)
        result.notes << QStringLiteral("the index \"%1\" compares nicks with %2; expected NOCASE "
                                       "(every nick search and move reads the whole table)")
                            .arg(name, key.rows[0][0]);
    return true;
}

// Contacts whose offset in days is not their offset in hours: a nick search shows one, browsing
// the other. Returns false when a lock stopped the check.
bool checkOffsets(const ReadOnlyConnection& connection, const TableLayout& layout,
                  CheckResult& result) {
    const QString days = sql::quoteIdentifier(layout.columns[FieldTimeDisplacement]);
    const QString hours = sql::quoteIdentifier(layout.columns[FieldSpin]);
    const QString nick = sql::quoteIdentifier(layout.columns[FieldNick]);
    const QString disagree = QStringLiteral("abs(coalesce(%1, 0) * 24.0 - coalesce(%2, 0)) > %3")
                                 .arg(days, hours)
                                 .arg(kOffsetToleranceHours);
    const QueryResult count = query(
        connection.get(), QStringLiteral("SELECT count(*) FROM contacts WHERE %1").arg(disagree));
    const QueryResult first =
        query(connection.get(), QStringLiteral("SELECT coalesce(%1, ''), coalesce(%2, 0), "
                                               "coalesce(%3, 0) FROM contacts WHERE %4 ORDER BY "
                                               "rowid LIMIT %5")
                                    .arg(nick, days, hours, disagree)
                                    .arg(kShownDisagreements));
    if (!count.error.isEmpty() || !first.error.isEmpty())
        return !connection.busy();
    const qint64 total = count.rows.value(0).value(0).toLongLong();
    if (total == 0)
        return true;
    QStringList examples;
    for (const QStringList& row : first.rows)
        examples << QStringLiteral("'%1': %2")
                        .arg(shown(row[0]),
                             describeDisagreement(row[1].toDouble(), row[2].toInt()));
    if (total > first.rows.size())
        examples << QStringLiteral("%1 more").arg(total - first.rows.size());
    result.notes << QStringLiteral("%1 contacts have an offset in days that is not their offset "
                                   "in hours, so that a nick search shows another time for them "
                                   "than browsing does: %2")
                        .arg(total)
                        .arg(examples.join(QStringLiteral("; ")));
    return true;
}

// A file or folder the user cannot write is opened read-only by the program.
void checkWritable(const QString& path, CheckResult& result) {
    const QFileInfo file(path);
    if (!file.isWritable() || !QFileInfo(file.absolutePath()).isWritable())
        result.notes << QStringLiteral("the file or its folder cannot be written here: the "
                                       "program opens it read-only, and New Entry, Update Entry "
                                       "and Delete Entry fail");
}

CheckResult inUse(const ReadOnlyConnection& connection) {
    CheckResult result;
    result.problems << kInUse.arg(sql::errorText(connection.get()));
    return result;
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
    if (!info.isReadable()) {
        result.problems << QStringLiteral("the file cannot be read (permission denied)");
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
        if (connection.busy())
            return inUse(connection);
        result.problems
            << QStringLiteral("the file is damaged or not a table file (%1)").arg(integrity.error);
        return result;
    }
    if (integrity.rows.size() != 1 || integrity.rows[0][0] != QLatin1String("ok")) {
        for (const QStringList& row : integrity.rows.mid(0, 20))
            result.problems << QStringLiteral("damaged: %1").arg(row.value(0));
        return result;
    }

    const TableLayout layout = readTableLayout(db);
    if (layout.errorCode == SQLITE_BUSY || layout.errorCode == SQLITE_LOCKED)
        return inUse(connection);
    if (!layout.refusal.isEmpty()) {
        result.problems << QStringLiteral("the program does not open it: %1").arg(layout.refusal);
        return result;
    }
    checkFields(layout, result);
    if (!checkIndex(connection, layout, result))
        return inUse(connection);
    if (!layout.columns[FieldTimeDisplacement].isEmpty() && !layout.columns[FieldSpin].isEmpty() &&
        !layout.columns[FieldNick].isEmpty() && !checkOffsets(connection, layout, result))
        return inUse(connection);
    // With a field missing, every write fails on that alone: nothing more to learn by trying.
    if (std::none_of(layout.columns.begin(), layout.columns.end(),
                     [](const QString& column) { return column.isEmpty(); })) {
        try {
            result.problems << tryTableActions(db);
        } catch (const TableError& error) {
            if (connection.busy())
                return inUse(connection);
            result.notes << QStringLiteral("the program's actions could not be tried on a copy "
                                           "of the layout: %1")
                                .arg(error.message());
        }
    }
    checkWritable(path, result);
    const QueryResult count = query(db, QStringLiteral("SELECT count(*) FROM contacts"));
    if (!count.error.isEmpty() && connection.busy())
        return inUse(connection);
    if (!count.rows.isEmpty())
        result.records = count.rows[0][0].toLongLong();
    return result;
}

} // namespace palvane::tool
