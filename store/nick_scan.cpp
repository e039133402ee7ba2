#include "store/nick_scan.h"

#include "store/schema_connection.h"

namespace palvane {

void scanNicks(const QString& filePath, const std::function<void(const QString&)>& each) {
    const SchemaConnection connection(filePath, SQLITE_OPEN_READONLY,
                                      QStringLiteral("Cannot read the contact table"));
    // The order of the nick index, so the engine reads the index alone.
    sql::Statement scan;
    connection.prepare(scan,
                       QStringLiteral("SELECT \"IRC Nick\" FROM contacts ORDER BY \"IRC Nick\" "
                                      "COLLATE NOCASE, rowid"),
                       false);
    sql::StatementUse use(scan.get());
    int rc;
    while ((rc = sqlite3_step(scan.get())) == SQLITE_ROW) {
        const QString nick = sql::columnText(scan.get(), 0);
        if (!nick.isEmpty())
            each(nick);
    }
    if (rc != SQLITE_DONE)
        connection.fail();
}

} // namespace palvane
