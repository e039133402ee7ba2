#include "store/table_layout.h"

#include "store/field_names.h"
#include "store/sqlite_util.h"

namespace palvane {

namespace {

// The refusal for a failed read: a damaged file is named as such, else the engine's words.
void failed(sqlite3* db, TableLayout& layout) {
    layout.errorCode = sqlite3_errcode(db) & 0xff;
    layout.refusal =
        layout.errorCode == SQLITE_NOTADB || layout.errorCode == SQLITE_CORRUPT
            ? QStringLiteral("the file is damaged or not a table file (%1)").arg(sql::errorText(db))
            : sql::errorText(db);
}

} // namespace

void TableLayout::addColumn(const QString& name, const QString& type, int position) {
    for (int i = 0; i < FieldCount; ++i) {
        if (columns[i].isEmpty() &&
            name.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0) {
            columns[i] = name;
            types[i] = type;
            positions[i] = position;
            if (fieldKind(i) == FieldKind::Text)
                lengths[i] = sql::declaredLength(type);
        }
    }
}

TableLayout readTableLayout(sqlite3* db) {
    TableLayout layout;
    sql::Statement lookup;
    int rc = lookup.prepare(db,
                            QStringLiteral("SELECT type FROM sqlite_schema WHERE name = "
                                           "'contacts' COLLATE NOCASE AND type IN ('table', "
                                           "'view')"),
                            false);
    QString type;
    if (rc == SQLITE_OK) {
        sql::StatementUse use(lookup.get());
        rc = sqlite3_step(lookup.get());
        if (rc == SQLITE_ROW)
            type = sql::columnText(lookup.get(), 0);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        failed(db, layout);
        return layout;
    }
    if (type.isEmpty()) {
        layout.refusal = QStringLiteral("the file holds no table \"contacts\"");
        return layout;
    }
    if (type != QLatin1String("table")) {
        layout.refusal = QStringLiteral("\"contacts\" is a view, not a table");
        return layout;
    }

    // Generated columns are not listed here: the program cannot write them, so to it they are
    // missing.
    sql::Statement info;
    if (info.prepare(db,
                     QStringLiteral("SELECT cid, name, type FROM pragma_table_info('contacts')"),
                     false) != SQLITE_OK) {
        failed(db, layout);
        return layout;
    }
    {
        sql::StatementUse use(info.get());
        while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
            layout.addColumn(sql::columnText(info.get(), 1), sql::columnText(info.get(), 2),
                             sqlite3_column_int(info.get(), 0));
        }
    }
    if (rc != SQLITE_DONE) {
        failed(db, layout);
        return layout;
    }
    // The cursor stands on rowids; a table without them cannot be browsed.
    sql::Statement rowidProbe;
    if (rowidProbe.prepare(db, QStringLiteral("SELECT rowid FROM contacts LIMIT 0"), false) !=
        SQLITE_OK) {
        layout.errorCode = sqlite3_errcode(db) & 0xff;
        layout.refusal =
            QStringLiteral("the table \"contacts\" has no rowid (%1)").arg(sql::errorText(db));
    }
    return layout;
}

NickIndexCheck inspectNickIndex(sqlite3* db, const QString& nickColumn) {
    NickIndexCheck result;
    if (nickColumn.isEmpty()) {
        result.problem = QStringLiteral("the table has no field \"IRC Nick\"");
        return result;
    }
    sql::Statement lookup;
    if (lookup.prepare(db,
                       QStringLiteral("SELECT tbl_name, (SELECT name FROM pragma_index_xinfo(?1) "
                                      "WHERE key ORDER BY seqno LIMIT 1) FROM sqlite_schema "
                                      "WHERE type = 'index' AND name = ?1 COLLATE NOCASE"),
                       false) != SQLITE_OK) {
        result.readError = sql::errorText(db);
        return result;
    }
    sql::StatementUse use(lookup.get());
    sqlite3_bind_text(lookup.get(), 1, kNickIndexName, -1, SQLITE_STATIC);
    const int rc = sqlite3_step(lookup.get());
    if (rc == SQLITE_DONE) {
        result.problem = QStringLiteral("the index does not exist");
    } else if (rc != SQLITE_ROW) {
        result.readError = sql::errorText(db);
    } else {
        const QString table = sql::columnText(lookup.get(), 0);
        const QString key = sql::columnText(lookup.get(), 1);
        if (table.compare(QLatin1String("contacts"), Qt::CaseInsensitive) != 0)
            result.problem = QStringLiteral("the index belongs to the table \"%1\"").arg(table);
        else if (key.compare(nickColumn, Qt::CaseInsensitive) != 0)
            result.problem = QStringLiteral("the index does not have \"IRC Nick\" as its key");
    }
    return result;
}

} // namespace palvane
