// Opening the table file: the checks that give each failure a clear cause, reading the
// layout of the table as the file declares it, and checking the nick index before first use.

#include "store/field_names.h"
#include "store/table_impl.h"
#include "store/table_layout.h"

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
        if (!guard.start(path, db))
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
    // The table tool's check judges a file through the same function.
    const TableLayout layout = readTableLayout(db);
    if (!layout.refusal.isEmpty())
        throw TableError(
            QStringLiteral("Cannot open the contact table %1: %2").arg(path, layout.refusal));
    columns = layout.columns;
    lengths = layout.lengths;
}

void Table::Impl::closeFile() noexcept {
    endWrite();
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
    requireSameFile(QStringLiteral("Cannot read the contact table"));
    const NickIndexCheck index = inspectNickIndex(db, columns[FieldNick]);
    if (!index.readError.isEmpty())
        throw TableError(
            QStringLiteral("Cannot read the contact table %1: %2").arg(path, index.readError));
    if (!index.problem.isEmpty())
        throw TableError(prefix + index.problem);
    nickIndexChecked = true;
}

} // namespace palvane
