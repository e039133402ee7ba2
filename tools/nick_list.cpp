#include "tools/nick_list.h"

#include "store/nick_scan.h"
#include "store/table.h"

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
    QString previous;
    scanNicks(tablePath, [&](const QString& nick) {
        if (couldBeIrcNick(nick) && !Table::sameNick(nick, previous)) {
            each(nick);
            previous = nick;
        }
    });
}

} // namespace palvane::tool
