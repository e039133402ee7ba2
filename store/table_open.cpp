// Opening the table file: the checks that give each failure a clear cause, reading the
// layout of the table as the file declares it, and checking the nick index before first use.

#include "store/field_names.h"
#include "store/table_impl.h"

#include <QDir>
#include <QFileInfo>

namespace palvane {

QString Table::Impl::defaultPath() const {
    QString directory = databaseName;
    directory.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QDir dir(QDir::current().absoluteFilePath(directory));
    return QDir::cleanPath(dir.absoluteFilePath(tableName));
}

void Table::Impl::openFile() {
    path = defaultPath();
    const QFileInfo file(path);
    const QFileInfo directory(file.absolutePath());
    const QString prefix = QStringLiteral("Cannot open the contact table %1: ").arg(path);
    // The engine says only "unable to open database file"; name the actual cause instead.
    if (!directory.exists())
        throw TableError(
            prefix +
            QStringLiteral("the directory %1 does not exist").arg(directory.absoluteFilePath()));
    if (!directory.isDir())
        throw TableError(prefix +
                         QStringLiteral("%1 is not a directory").arg(directory.absoluteFilePath()));
    if (!file.exists())
        throw TableError(prefix + QStringLiteral("the file does not exist"));
    if (file.isDir())
        throw TableError(prefix + QStringLiteral("it is a directory, not a file"));
    if (!file.isReadable())
        throw TableError(prefix + QStringLiteral("the file cannot be read (permission denied)"));

    // A rollback journal is written beside the file, so the directory must be writable too.
    const bool writable = !readOnlyRequested && file.isWritable() && directory.isWritable();
    const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = sql::errorText(db);
        sqlite3_close_v2(db);
        db = nullptr;
        throw TableError(prefix + message);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeout);
    try {
        // Before the engine reads anything, so that all it caches is of this file; then the
        // engine confirms that the path still leads to the file it opened.
        if (!guard.start(path, QString::fromUtf8(sqlite3_db_filename(db, "main"))))
            throw TableError(prefix + QStringLiteral("the file does not exist"));
        int moved = 0;
        if (sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
            throw TableError(prefix + QStringLiteral("the file was moved or replaced while it "
                                                     "was being opened"));
        // After reading the layout, whose errors name the cause more clearly.
        readSchema();
        if (sql::makeCommitsDurable(db) != SQLITE_OK)
            throw TableError(prefix + sql::errorText(db));
    } catch (...) {
        closeFile();
        throw;
    }
    readOnly = sqlite3_db_readonly(db, "main") == 1;
}

void Table::Impl::readSchema() {
    const QString prefix = QStringLiteral("Cannot open the contact table %1: ").arg(path);
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
        const int code = sqlite3_errcode(db) & 0xff;
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
            throw TableError(prefix + QStringLiteral("the file is damaged or not a table file (%1)")
                                          .arg(sql::errorText(db)));
        throw TableError(prefix + sql::errorText(db));
    }
    if (type.isEmpty())
        throw TableError(prefix + QStringLiteral("the file holds no table \"contacts\""));
    if (type != QLatin1String("table"))
        throw TableError(prefix + QStringLiteral("\"contacts\" is a view, not a table"));

    sql::Statement info;
    if (info.prepare(db, QStringLiteral("SELECT name, type FROM pragma_table_info('contacts')"),
                     false) != SQLITE_OK)
        throw TableError(prefix + sql::errorText(db));
    columns.fill(QString());
    lengths.fill(0);
    {
        sql::StatementUse use(info.get());
        while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
            const QString name = sql::columnText(info.get(), 0);
            for (int i = 0; i < FieldCount; ++i) {
                if (columns[i].isEmpty() &&
                    name.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0) {
                    columns[i] = name;
                    if (fieldKind(i) == FieldKind::Text)
                        lengths[i] = sql::declaredLength(sql::columnText(info.get(), 1));
                }
            }
        }
        if (rc != SQLITE_DONE)
            throw TableError(prefix + sql::errorText(db));
    }
    // The cursor stands on rowids; a table without them cannot be browsed.
    sql::Statement rowidProbe;
    if (rowidProbe.prepare(db, QStringLiteral("SELECT rowid FROM contacts LIMIT 0"), false) !=
        SQLITE_OK)
        throw TableError(
            prefix +
            QStringLiteral("the table \"contacts\" has no rowid (%1)").arg(sql::errorText(db)));
}

void Table::Impl::closeFile() noexcept {
    for (sql::Statement& stmt : statements)
        stmt = sql::Statement();
    updates.clear();
    if (db)
        sqlite3_close_v2(db);
    db = nullptr;
    guard.stop();
    state = State::Closed;
    readOnly = false;
    nickOrder = false;
    nickIndexChecked = false;
    columns.fill(QString());
    lengths.fill(0);
    moveTo(std::nullopt);
    buffer = Row();
    modified.fill(false);
    searchKey = Cell();
}

void Table::Impl::checkNickIndex() {
    if (nickIndexChecked)
        return;
    const QString prefix = QStringLiteral("Cannot use the index '%1' of %2: ")
                               .arg(QLatin1String(kNickIndexName), path);
    if (columns[FieldNick].isEmpty())
        throw TableError(prefix + QStringLiteral("the table has no field \"IRC Nick\""));
    requireSameFile(QStringLiteral("Cannot read the contact table"), false);
    sql::Statement lookup;
    if (lookup.prepare(db,
                       QStringLiteral("SELECT tbl_name, (SELECT name FROM pragma_index_xinfo(?1) "
                                      "WHERE key ORDER BY seqno LIMIT 1) FROM sqlite_schema "
                                      "WHERE type = 'index' AND name = ?1 COLLATE NOCASE"),
                       false) != SQLITE_OK)
        fail(QStringLiteral("Cannot read the contact table"));
    sql::StatementUse use(lookup.get());
    sqlite3_bind_text(lookup.get(), 1, kNickIndexName, -1, SQLITE_STATIC);
    const int rc = sqlite3_step(lookup.get());
    if (rc == SQLITE_DONE)
        throw TableError(prefix + QStringLiteral("the index does not exist"));
    if (rc != SQLITE_ROW)
        fail(QStringLiteral("Cannot read the contact table"));
    const QString table = sql::columnText(lookup.get(), 0);
    const QString key = sql::columnText(lookup.get(), 1);
    if (table.compare(QLatin1String("contacts"), Qt::CaseInsensitive) != 0)
        throw TableError(prefix +
                         QStringLiteral("the index belongs to the table \"%1\"").arg(table));
    if (key.compare(columns[FieldNick], Qt::CaseInsensitive) != 0)
        throw TableError(prefix +
                         QStringLiteral("the index does not have \"IRC Nick\" as its key"));
    nickIndexChecked = true;
}

} // namespace palvane
