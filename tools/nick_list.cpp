#include "tools/nick_list.h"

#include "store/table.h"

#include <QFileInfo>

namespace palvane::tool {

namespace {

bool couldBeIrcNick(const QString& nick) {
    if (nick.isEmpty())
        return false;
    for (const QChar c : nick)
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    return true;
}

} // namespace

void listNicks(const QString& tablePath, const std::function<void(const QString&)>& each) {
    const QFileInfo file(tablePath);
    Table table;
    table.setDatabaseName(file.absolutePath());
    table.setTableName(file.fileName());
    table.setReadOnly(true);
    table.open();
    table.setIndexName(QString::fromLatin1(kNickIndexName));
    table.first();
    QString previous;
    // Each step is one indexed query, so a table of any size streams through.
    while (table.hasCurrent()) {
        const QString nick = table.fieldByName(QStringLiteral("IRC Nick")).asString();
        if (couldBeIrcNick(nick) && !Table::sameNick(nick, previous)) {
            each(nick);
            previous = nick;
        }
        const qint64 before = table.currentRowId();
        table.next();
        if (table.currentRowId() == before)
            break;
    }
}

} // namespace palvane::tool
