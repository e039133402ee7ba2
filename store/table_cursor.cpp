// The keyset cursor: every positioning is one indexed statement from the current record's
// rowid and sort key (rarely two, at the edge of the blank group), so no operation reads the
// whole table.
//
// Nick order is: the blank group (NULL and '' nicks) in rowid order, then every other nick in
// index order (nick under NOCASE, then rowid). The index itself keeps NULLs and '' apart
// (NULL, then numbers, then '' and the texts), so the blank group is read with one indexed
// subquery per kind and the rest with the index as it is.
//
// The step to the next record is "the next rowid with this nick, else the first greater
// nick", written as coalesce() of two indexed scalar subqueries feeding one rowid lookup: one
// statement, hence one read transaction. A row-value comparison such as (nick, rowid) > (?, ?)
// would be shorter but makes the engine scan the whole table.

#include "store/table_impl.h"

#include <limits>

namespace palvane {

namespace {

constexpr qint64 kLowestRowid = std::numeric_limits<qint64>::min();
constexpr qint64 kHighestRowid = std::numeric_limits<qint64>::max();

Cell readCell(sqlite3_stmt* stmt, int column) {
    Cell cell;
    cell.type = sqlite3_column_type(stmt, column);
    switch (cell.type) {
    case SQLITE_INTEGER:
        cell.integer = sqlite3_column_int64(stmt, column);
        cell.real = static_cast<double>(cell.integer);
        cell.text = QString::number(cell.integer);
        break;
    case SQLITE_FLOAT:
        cell.real = sqlite3_column_double(stmt, column);
        cell.text = sql::columnText(stmt, column); // SQLite's own rendering of the number
        break;
    case SQLITE_TEXT:
        cell.text = sql::columnText(stmt, column);
        cell.real = sqlite3_column_double(stmt, column); // numeric reading of the text, or 0
        break;
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        cell.text = QString::fromUtf8(data, sqlite3_column_bytes(stmt, column));
        break;
    }
    default:
        break;
    }
    return cell;
}

} // namespace

void SortKey::bind(sqlite3_stmt* stmt, int index) const {
    switch (type) {
    case SQLITE_INTEGER:
        sqlite3_bind_int64(stmt, index, integer);
        break;
    case SQLITE_FLOAT:
        sqlite3_bind_double(stmt, index, real);
        break;
    case SQLITE_TEXT:
        sqlite3_bind_text64(stmt, index, bytes.constData(),
                            static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
        break;
    case SQLITE_BLOB:
        sqlite3_bind_blob64(stmt, index, bytes.constData(),
                            static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_null(stmt, index);
        break;
    }
}

SortKey SortKey::fromColumn(sqlite3_stmt* stmt, int column) {
    SortKey sortKey;
    sortKey.type = sqlite3_column_type(stmt, column);
    switch (sortKey.type) {
    case SQLITE_INTEGER:
        sortKey.integer = sqlite3_column_int64(stmt, column);
        break;
    case SQLITE_FLOAT:
        sortKey.real = sqlite3_column_double(stmt, column);
        break;
    case SQLITE_TEXT:
        sortKey.bytes = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                                   sqlite3_column_bytes(stmt, column));
        break;
    case SQLITE_BLOB:
        sortKey.bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, column)),
                                   sqlite3_column_bytes(stmt, column));
        break;
    default:
        break;
    }
    return sortKey;
}

SortKey SortKey::fromCell(const Cell& cell) {
    SortKey sortKey;
    sortKey.type = cell.type;
    sortKey.integer = cell.integer;
    sortKey.real = cell.real;
    if (cell.type == SQLITE_TEXT || cell.type == SQLITE_BLOB)
        sortKey.bytes = cell.text.toUtf8();
    return sortKey;
}

SortKey SortKey::text(const QString& text) {
    SortKey sortKey;
    sortKey.type = SQLITE_TEXT;
    sortKey.bytes = text.toUtf8();
    return sortKey;
}

QString Table::Impl::selectList() const {
    QString list = QStringLiteral("rowid");
    for (const QString& column : columns)
        list += QStringLiteral(", ") +
                (column.isEmpty() ? QStringLiteral("NULL") : sql::quoteIdentifier(column));
    return list;
}

QString Table::Impl::sqlFor(Stmt id) const {
    const QString select =
        QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM contacts WHERE ");
    const QString nick = sql::quoteIdentifier(columns[FieldNick]);
    const QString up =
        QStringLiteral(" ORDER BY ") + nick + QStringLiteral(" COLLATE NOCASE, rowid LIMIT 1");
    const QString down = QStringLiteral(" ORDER BY ") + nick +
                         QStringLiteral(" COLLATE NOCASE DESC, rowid DESC LIMIT 1");
    const QString rowidUp = QStringLiteral(" ORDER BY rowid LIMIT 1");
    const QString rowidDown = QStringLiteral(" ORDER BY rowid DESC LIMIT 1");
    // Scalar subqueries that find one rowid through the nick index.
    const auto rowidWhere = [](const QString& condition, const QString& order) {
        return QStringLiteral("(SELECT rowid FROM contacts WHERE ") + condition + order +
               QLatin1Char(')');
    };
    const QString isNull = nick + QStringLiteral(" IS NULL");
    const QString isEmpty = nick + QStringLiteral(" = '' COLLATE NOCASE");
    switch (id) {
    case Stmt::NaturalFrom:
        return select + QStringLiteral("rowid >= ?1") + rowidUp;
    case Stmt::NaturalUpTo:
        return select + QStringLiteral("rowid <= ?1") + rowidDown;
    case Stmt::ByRowid:
        return select + QStringLiteral("rowid = ?1");
    case Stmt::BlankFrom:
        return select +
               QStringLiteral("rowid IN (%1, %2)")
                   .arg(rowidWhere(isNull + QStringLiteral(" AND rowid >= ?1"), rowidUp),
                        rowidWhere(isEmpty + QStringLiteral(" AND rowid >= ?1"), rowidUp)) +
               rowidUp;
    case Stmt::BlankUpTo:
        return select +
               QStringLiteral("rowid IN (%1, %2)")
                   .arg(rowidWhere(isNull + QStringLiteral(" AND rowid <= ?1"), rowidDown),
                        rowidWhere(isEmpty + QStringLiteral(" AND rowid <= ?1"), rowidDown)) +
               rowidDown;
    case Stmt::NextNonBlank:
        return select +
               QStringLiteral("rowid = coalesce(%1, %2)")
                   .arg(rowidWhere(nick + QStringLiteral(" = ?1 COLLATE NOCASE AND rowid >= ?2"),
                                   rowidUp),
                        rowidWhere(nick + QStringLiteral(" > ?1 COLLATE NOCASE"), up));
    case Stmt::PriorNonBlank:
        return select +
               QStringLiteral("rowid = coalesce(%1, %2)")
                   .arg(rowidWhere(nick + QStringLiteral(" = ?1 COLLATE NOCASE AND rowid <= ?2"),
                                   rowidDown),
                        rowidWhere(nick + QStringLiteral(" < ?1 COLLATE NOCASE"), down));
    case Stmt::FirstNonBlank:
        // Numbers sort before '' in the index; only files written by other programs hold any.
        return select + QStringLiteral("rowid = coalesce(%1, %2)")
                            .arg(rowidWhere(nick + QStringLiteral(" < '' COLLATE NOCASE"), up),
                                 rowidWhere(nick + QStringLiteral(" > '' COLLATE NOCASE"), up));
    case Stmt::LastNonBlank:
        return select + QStringLiteral("rowid = coalesce(%1, %2)")
                            .arg(rowidWhere(nick + QStringLiteral(" > '' COLLATE NOCASE"), down),
                                 rowidWhere(nick + QStringLiteral(" < '' COLLATE NOCASE"), down));
    case Stmt::Greater:
        return select + nick + QStringLiteral(" > ?1 COLLATE NOCASE") + up;
    case Stmt::GreaterOrEqual:
        return select + nick + QStringLiteral(" >= ?1 COLLATE NOCASE") + up;
    case Stmt::Less:
        return select + nick + QStringLiteral(" < ?1 COLLATE NOCASE") + down;
    case Stmt::Count:
        return QStringLiteral("SELECT count(*) FROM contacts");
    case Stmt::Exists:
        return QStringLiteral("SELECT 1 FROM contacts WHERE rowid >= ?1 LIMIT 1");
    case Stmt::Insert: {
        QStringList names;
        QStringList marks;
        for (int i = 0; i < FieldCount; ++i) {
            if (columns[i].isEmpty())
                continue;
            names << sql::quoteIdentifier(columns[i]);
            marks << QStringLiteral("?%1").arg(i + 1); // parameter number = field position
        }
        return QStringLiteral("INSERT INTO contacts (%1) VALUES (%2)")
            .arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    }
    case Stmt::Delete:
        return QStringLiteral("DELETE FROM contacts WHERE rowid = ?1");
    case Stmt::Size:
        break;
    }
    return {};
}

sqlite3_stmt* Table::Impl::statement(Stmt id) {
    sql::Statement& slot = statements[static_cast<int>(id)];
    if (!slot && slot.prepare(db, sqlFor(id)) != SQLITE_OK)
        fail(QStringLiteral("Cannot read the contact table"));
    return slot.get();
}

sqlite3_stmt* Table::Impl::updateStatement(unsigned mask) {
    sql::Statement& slot = updates[mask];
    if (!slot) {
        QStringList assignments;
        for (int i = 0; i < FieldCount; ++i)
            if (mask & (1u << i))
                assignments
                    << QStringLiteral("%1 = ?%2").arg(sql::quoteIdentifier(columns[i])).arg(i + 1);
        const QString text = QStringLiteral("UPDATE contacts SET %1 WHERE rowid = ?%2")
                                 .arg(assignments.join(QStringLiteral(", ")))
                                 .arg(FieldCount + 1);
        if (slot.prepare(db, text) != SQLITE_OK) {
            const QString message = sql::failureText(db);
            updates.erase(mask);
            throw TableError(
                QStringLiteral("Cannot store the record in %1: %2").arg(path, message));
        }
    }
    return slot.get();
}

std::optional<Position> Table::Impl::fetchOne(sqlite3_stmt* stmt) {
    // A stat and a header read while nothing changed: no stale page is shown as current.
    requireSameFile(QStringLiteral("Cannot read the contact table"));
    sql::StatementUse use(stmt);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        fail(QStringLiteral("Cannot read the contact table"));
    Position position;
    position.rowid = sqlite3_column_int64(stmt, 0);
    position.key = SortKey::fromColumn(stmt, 1 + FieldNick);
    for (int i = 0; i < FieldCount; ++i)
        position.row[i] = readCell(stmt, 1 + i);
    return position;
}

std::optional<Position> Table::Impl::byRowid(qint64 id) {
    sqlite3_stmt* stmt = statement(Stmt::ByRowid);
    sqlite3_bind_int64(stmt, 1, id);
    return fetchOne(stmt);
}

std::optional<Position> Table::Impl::blankFrom(qint64 lowest) {
    sqlite3_stmt* stmt = statement(Stmt::BlankFrom);
    sqlite3_bind_int64(stmt, 1, lowest);
    return fetchOne(stmt);
}

std::optional<Position> Table::Impl::blankUpTo(qint64 highest) {
    sqlite3_stmt* stmt = statement(Stmt::BlankUpTo);
    sqlite3_bind_int64(stmt, 1, highest);
    return fetchOne(stmt);
}

std::optional<Position> Table::Impl::nonBlankFirst() {
    return fetchOne(statement(Stmt::FirstNonBlank));
}

std::optional<Position> Table::Impl::nonBlankLast() {
    return fetchOne(statement(Stmt::LastNonBlank));
}

std::optional<Position> Table::Impl::nonBlankAfter(qint64 id, const SortKey& sortKey) {
    sqlite3_stmt* stmt = statement(Stmt::NextNonBlank);
    sortKey.bind(stmt, 1);
    if (id != kHighestRowid) // else no later rowid exists: ?2 stays NULL and matches nothing
        sqlite3_bind_int64(stmt, 2, id + 1);
    auto position = fetchOne(stmt);
    if (position && position->key.isBlank()) {
        // From a number the index leads into the '' nicks, which belong to the blank group.
        sqlite3_stmt* greater = statement(Stmt::Greater);
        SortKey::text(QString()).bind(greater, 1);
        position = fetchOne(greater);
    }
    return position;
}

std::optional<Position> Table::Impl::nonBlankBefore(qint64 id, const SortKey& sortKey) {
    sqlite3_stmt* stmt = statement(Stmt::PriorNonBlank);
    sortKey.bind(stmt, 1);
    if (id != kLowestRowid)
        sqlite3_bind_int64(stmt, 2, id - 1);
    auto position = fetchOne(stmt);
    if (position && position->key.isBlank()) {
        // From a text the index leads back into the '' nicks: numbers, if any, come before.
        sqlite3_stmt* less = statement(Stmt::Less);
        SortKey::text(QString()).bind(less, 1);
        position = fetchOne(less);
    }
    return position;
}

std::optional<Position> Table::Impl::seekFirst() {
    if (!nickOrder) {
        sqlite3_stmt* stmt = statement(Stmt::NaturalFrom);
        sqlite3_bind_int64(stmt, 1, kLowestRowid);
        return fetchOne(stmt);
    }
    if (auto position = blankFrom(kLowestRowid))
        return position;
    return nonBlankFirst();
}

std::optional<Position> Table::Impl::seekLast() {
    if (!nickOrder) {
        sqlite3_stmt* stmt = statement(Stmt::NaturalUpTo);
        sqlite3_bind_int64(stmt, 1, kHighestRowid);
        return fetchOne(stmt);
    }
    if (auto position = nonBlankLast())
        return position;
    return blankUpTo(kHighestRowid);
}

std::optional<Position> Table::Impl::seekAfter(qint64 id, const SortKey& sortKey) {
    if (!nickOrder) {
        if (id == kHighestRowid)
            return std::nullopt;
        sqlite3_stmt* stmt = statement(Stmt::NaturalFrom);
        sqlite3_bind_int64(stmt, 1, id + 1);
        return fetchOne(stmt);
    }
    if (!sortKey.isBlank())
        return nonBlankAfter(id, sortKey);
    if (id != kHighestRowid)
        if (auto position = blankFrom(id + 1))
            return position;
    return nonBlankFirst();
}

std::optional<Position> Table::Impl::seekBefore(qint64 id, const SortKey& sortKey) {
    if (!nickOrder) {
        if (id == kLowestRowid)
            return std::nullopt;
        sqlite3_stmt* stmt = statement(Stmt::NaturalUpTo);
        sqlite3_bind_int64(stmt, 1, id - 1);
        return fetchOne(stmt);
    }
    if (!sortKey.isBlank()) {
        if (auto position = nonBlankBefore(id, sortKey))
            return position;
        return blankUpTo(kHighestRowid);
    }
    if (id == kLowestRowid)
        return std::nullopt;
    return blankUpTo(id - 1);
}

std::optional<Position> Table::Impl::seekNearest(const QString& nick) {
    // Blank nicks are below every key, so an empty key finds the first record in nick order.
    if (nick.isEmpty())
        return seekFirst();
    sqlite3_stmt* stmt = statement(Stmt::GreaterOrEqual);
    SortKey::text(nick).bind(stmt, 1);
    if (auto position = fetchOne(stmt))
        return position;
    return seekLast();
}

void Table::Impl::moveTo(std::optional<Position> position) {
    if (position) {
        hasCurrent = true;
        rowid = position->rowid;
        key = std::move(position->key);
        row = std::move(position->row);
    } else {
        hasCurrent = false;
        rowid = -1;
        key = SortKey();
        row = Row();
    }
}

QStringList Table::Impl::cursorSql() const {
    QStringList texts;
    for (Stmt id : {Stmt::NaturalFrom, Stmt::NaturalUpTo, Stmt::ByRowid, Stmt::Exists})
        texts << sqlFor(id);
    if (!columns[FieldNick].isEmpty())
        for (Stmt id : {Stmt::BlankFrom, Stmt::BlankUpTo, Stmt::NextNonBlank, Stmt::PriorNonBlank,
                        Stmt::FirstNonBlank, Stmt::LastNonBlank, Stmt::Greater,
                        Stmt::GreaterOrEqual, Stmt::Less})
            texts << sqlFor(id);
    return texts;
}

} // namespace palvane
