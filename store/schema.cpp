#include "store/schema.h"

#include "store/contact_stream.h"
#include "store/schema_connection.h"
#include "store/table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace palvane {

namespace {

// Below this many rows, dropping and rebuilding the indexes of an empty table gains nothing.
constexpr qint64 kBulkRows = 10000;
// A large page cache keeps the nick index in memory while millions of rows go in.
constexpr int kInsertCacheKiB = 128 * 1024;

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
        SchemaConnection connection(filePath, SQLITE_OPEN_READWRITE, action);
        connection.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
        connection.exec(QStringLiteral("BEGIN IMMEDIATE"));
        connection.exec(contactTableSql());
        connection.exec(nickIndexSql());
        connection.exec(QStringLiteral("COMMIT"));
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
    ContactInserter inserter(filePath, kInsertCacheKiB);
    qint64 i = 0;
    inserter.insert(
        [&](ContactRow& row) {
            if (i == count)
                return false;
            row = ContactRow();
            make(i++, row);
            return true;
        },
        count >= kBulkRows);
}

std::vector<ContactRow> readContacts(const QString& filePath) {
    ContactCursor cursor(filePath);
    std::vector<ContactRow> rows;
    ContactRow row;
    while (cursor.next(row))
        rows.push_back(std::move(row));
    return rows;
}

} // namespace palvane
