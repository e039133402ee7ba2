#include "store/table.h"

#include "store/field_names.h"
#include "store/table_impl.h"

#include <algorithm>
#include <limits>

namespace palvane {

namespace {

const QString kClosed = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString kReadOnly = QStringLiteral("Cannot modify a read-only dataset");
const QString kNotEditing = QStringLiteral("Dataset not in edit or insert mode");
const QString kEmpty = QStringLiteral("Cannot perform this operation on an empty dataset");

} // namespace

TableError::TableError(const QString& message) : std::runtime_error(message.toStdString()) {}

// ---- Impl: checks and errors ---------------------------------------------------------------

void Table::Impl::requireActive() const {
    if (state == State::Closed)
        throw TableError(kClosed);
}

void Table::Impl::requireWritable() const {
    if (readOnly)
        throw TableError(kReadOnly);
}

void Table::Impl::requireSameFile(const QString& action) {
    const FileGuard::Change change = guard.check();
    if (change != FileGuard::Change::None)
        throw TableError(
            QStringLiteral("%1 %2: %3").arg(action, path, FileGuard::describe(change)));
}

void Table::Impl::fail(const QString& action) const {
    QString reason = sql::failureText(db);
    // The engine refuses to write to a file that is no longer at its path (moved between our
    // check and the write) with "attempt to write a readonly database": name the real cause.
    if (sqlite3_extended_errcode(db) == SQLITE_READONLY_DBMOVED) {
        const FileGuard::Change change = guard.examinePath();
        reason = FileGuard::describe(change == FileGuard::Change::None ? FileGuard::Change::Gone
                                                                       : change);
    }
    throw TableError(QStringLiteral("%1 %2: %3").arg(action, path, reason));
}

void Table::Impl::emitChanged() {
    // Debug builds check the header's contract at every announced change.
    Q_ASSERT((state == State::Closed) == (db == nullptr));
    Q_ASSERT(state != State::Closed || !hasCurrent);
    Q_ASSERT(state != State::Editing || hasCurrent);
    Q_ASSERT(!nickOrder || nickIndexChecked);
    emit q->dataChanged();
}

void Table::Impl::reread() {
    if (!hasCurrent) {
        moveTo(seekFirst());
    } else if (auto position = byRowid(rowid)) {
        moveTo(std::move(position));
    } else {
        // Deleted by another program: as after a delete.
        auto follower = seekAfter(rowid, key);
        moveTo(follower ? std::move(follower) : seekLast());
    }
}

// ---- Impl: the record buffer ---------------------------------------------------------------

void Table::Impl::finishPending() {
    switch (state) {
    case State::Editing:
    case State::Inserting:
        if (std::find(modified.begin(), modified.end(), true) != modified.end())
            storeBuffer();
        else
            dropBuffer();
        break;
    case State::KeyEntry:
        state = State::Browsing;
        break;
    default:
        break;
    }
}

namespace {

int bindCell(sqlite3_stmt* stmt, int index, const Cell& cell) {
    switch (cell.type) {
    case SQLITE_INTEGER:
        return sqlite3_bind_int64(stmt, index, cell.integer);
    case SQLITE_FLOAT:
        return sqlite3_bind_double(stmt, index, cell.real);
    case SQLITE_TEXT:
        // A blank text and the empty string are the same value: store both as blank.
        return cell.text.isEmpty() ? sqlite3_bind_null(stmt, index)
                                   : sql::bindText(stmt, index, cell.text);
    case SQLITE_BLOB: {
        const QByteArray bytes = cell.text.toUtf8();
        return sqlite3_bind_blob64(stmt, index, bytes.constData(),
                                   static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
    }
    default:
        return sqlite3_bind_null(stmt, index);
    }
}

} // namespace

void Table::Impl::storeBuffer() {
    const QString action = QStringLiteral("Cannot store the record in");
    requireSameFile(action);
    qint64 stored = -1;
    if (state == State::Editing) {
        unsigned mask = 0;
        for (int i = 0; i < FieldCount; ++i)
            if (modified[i] && !columns[i].isEmpty())
                mask |= 1u << i;
        if (mask != 0) {
            sqlite3_stmt* stmt = updateStatement(mask);
            sql::StatementUse use(stmt);
            for (int i = 0; i < FieldCount; ++i)
                if (mask & (1u << i))
                    bindCell(stmt, i + 1, buffer[i]);
            sqlite3_bind_int64(stmt, FieldCount + 1, rowid);
            if (sqlite3_step(stmt) != SQLITE_DONE)
                fail(action);
            if (sqlite3_changes(db) > 0)
                stored = rowid;
        } else {
            stored = rowid;
        }
    }
    if (stored < 0) {
        // A new record, or one that another program deleted while it was being edited: store
        // it (anew) rather than lose what was typed.
        sqlite3_stmt* stmt = statement(Stmt::Insert);
        sql::StatementUse use(stmt);
        for (int i = 0; i < FieldCount; ++i)
            if (!columns[i].isEmpty())
                bindCell(stmt, i + 1, buffer[i]);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail(action);
        stored = sqlite3_last_insert_rowid(db);
    }
    // The record is stored. If re-reading it fails (another program took the lock in
    // between), it must still become current, or the next edit would change another record.
    Position fallback{stored, SortKey::fromCell(buffer[FieldNick]), buffer};
    dropBuffer();
    try {
        moveTo(byRowid(stored));
    } catch (const TableError&) {
        moveTo(std::move(fallback));
        throw;
    }
}

void Table::Impl::dropBuffer() {
    state = State::Browsing;
    buffer = Row();
    modified.fill(false);
}

// ---- Table ---------------------------------------------------------------------------------

Table::Table(QObject* parent) : QObject(parent), d(std::make_unique<Impl>(this)) {}

Table::~Table() {
    d->closeFile();
}

void Table::setDatabaseName(const QString& directory) {
    d->databaseName = directory;
}
void Table::setTableName(const QString& fileName) {
    d->tableName = fileName;
}
QString Table::databaseName() const {
    return d->databaseName;
}
QString Table::tableName() const {
    return d->tableName;
}
QString Table::filePath() const {
    return d->db ? d->path : d->defaultPath();
}

void Table::setActive(bool active) {
    if (active == this->active())
        return;
    if (active) {
        d->openFile();
        d->state = State::Browsing;
        try {
            d->moveTo(d->seekFirst());
        } catch (...) {
            d->closeFile();
            throw;
        }
    } else {
        // A pending change is stored if it can be; closing itself never fails. Within a
        // write nothing can be stored any more: the write is dropped whole.
        if (d->writing) {
            d->dropBuffer();
            d->endWrite();
        }
        try {
            d->finishPending();
        } catch (const TableError&) {
        }
        d->closeFile();
    }
    d->emitChanged();
}

bool Table::active() const {
    return d->state != State::Closed;
}
Table::State Table::state() const {
    return d->state;
}
bool Table::hasCurrent() const {
    return d->hasCurrent;
}

qint64 Table::recordCount() {
    d->requireActive();
    d->requireSameFile(QStringLiteral("Cannot read the contact table"));
    sqlite3_stmt* stmt = d->statement(Stmt::Count);
    sql::StatementUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW)
        d->fail(QStringLiteral("Cannot read the contact table"));
    return sqlite3_column_int64(stmt, 0);
}

bool Table::isEmpty() {
    d->requireActive();
    d->requireSameFile(QStringLiteral("Cannot read the contact table"));
    sqlite3_stmt* stmt = d->statement(Stmt::Exists);
    sql::StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, std::numeric_limits<qint64>::min());
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        d->fail(QStringLiteral("Cannot read the contact table"));
    return rc == SQLITE_DONE;
}

void Table::next() {
    d->requireActive();
    d->finishPending();
    if (!d->hasCurrent)
        return;
    if (auto position = d->seekAfter(d->rowid, d->key))
        d->moveTo(std::move(position));
    else
        d->reread(); // stays on the last record, showing what the file now holds
    d->emitChanged();
}

void Table::prior() {
    d->requireActive();
    d->finishPending();
    if (!d->hasCurrent)
        return;
    if (auto position = d->seekBefore(d->rowid, d->key))
        d->moveTo(std::move(position));
    else
        d->reread();
    d->emitChanged();
}

void Table::first() {
    d->requireActive();
    d->finishPending();
    d->moveTo(d->seekFirst());
    d->emitChanged();
}

void Table::last() {
    d->requireActive();
    d->finishPending();
    d->moveTo(d->seekLast());
    d->emitChanged();
}

void Table::refresh() {
    d->requireActive();
    d->finishPending();
    d->reread();
    d->emitChanged();
}

void Table::insertRecord(const InsertValues& values) {
    d->requireActive();
    d->requireWritable();
    d->finishPending();
    Row cells;
    for (int i = 0; i < FieldCount; ++i) {
        if (!values[i])
            continue;
        d->requireField(i);
        if (fieldKind(i) == FieldKind::Text) {
            cells[i] = d->textCell(i, QString::number(*values[i]));
        } else {
            cells[i].type = SQLITE_INTEGER;
            cells[i].integer = *values[i];
            cells[i].real = static_cast<double>(*values[i]);
            cells[i].text = QString::number(*values[i]);
        }
    }
    d->state = State::Inserting;
    d->buffer = std::move(cells);
    d->modified.fill(true);
    d->storeBuffer(); // on failure the record stays pending in the inserting state
    d->emitChanged();
}

void Table::append() {
    d->requireActive();
    d->requireWritable();
    d->finishPending();
    d->state = State::Inserting;
    d->buffer = Row();
    d->modified.fill(false);
}

void Table::edit() {
    d->requireActive();
    if (d->state == State::Editing || d->state == State::Inserting)
        return;
    d->requireWritable();
    d->state = d->hasCurrent ? State::Editing : State::Inserting;
    d->buffer = d->hasCurrent ? d->row : Row();
    d->modified.fill(false);
}

void Table::post() {
    d->requireActive();
    if (d->state != State::Editing && d->state != State::Inserting)
        throw TableError(kNotEditing);
    d->storeBuffer();
    d->emitChanged();
}

void Table::cancel() {
    if (d->state == State::KeyEntry) {
        d->state = State::Browsing;
        return;
    }
    if (d->state != State::Editing && d->state != State::Inserting)
        return;
    d->dropBuffer();
    d->emitChanged();
}

void Table::deleteRecord() {
    d->requireActive();
    if (d->state == State::Inserting) {
        // The new record was never stored: deleting it is dropping it.
        cancel();
        return;
    }
    if (d->state == State::Editing || d->state == State::KeyEntry)
        d->dropBuffer();
    if (!d->hasCurrent)
        throw TableError(kEmpty);
    const QString action = QStringLiteral("Cannot delete the record from");
    d->requireSameFile(action);
    sqlite3_stmt* stmt = d->statement(Stmt::Delete);
    {
        sql::StatementUse use(stmt);
        sqlite3_bind_int64(stmt, 1, d->rowid);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            d->fail(action);
    }
    // The deleted record's key still marks its place: its follower is the next key after it.
    auto follower = d->seekAfter(d->rowid, d->key);
    d->moveTo(follower ? std::move(follower) : d->seekLast());
    d->emitChanged();
}

bool Table::sameNick(const QString& a, const QString& b) {
    // The index compares with SQLite's NOCASE, which folds ASCII letters only.
    const auto fold = [](QChar c) {
        return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + (u'a' - u'A')) : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](QChar x, QChar y) { return fold(x) == fold(y); });
}

void Table::setIndexName(const QString& name) {
    d->requireActive();
    if (name == indexName())
        return;
    if (!name.isEmpty() && name != QLatin1String(kNickIndexName))
        throw TableError(QStringLiteral("Index '%1' not found: the contact table has only the "
                                        "index '%2'")
                             .arg(name, QLatin1String(kNickIndexName)));
    d->finishPending();
    if (!name.isEmpty())
        d->checkNickIndex();
    d->nickOrder = !name.isEmpty();
    d->emitChanged();
}

QString Table::indexName() const {
    return d->nickOrder ? QString::fromLatin1(kNickIndexName) : QString();
}

void Table::setKey() {
    d->requireActive();
    d->finishPending();
    d->searchKey = Cell();
    d->state = State::KeyEntry;
}

void Table::gotoNearest() {
    d->requireActive();
    if (d->state == State::KeyEntry)
        d->state = State::Browsing;
    else
        d->finishPending();
    if (!d->nickOrder)
        throw TableError(QStringLiteral("Cannot search by nick: the index '%1' is not selected")
                             .arg(QLatin1String(kNickIndexName)));
    d->moveTo(d->seekNearest(d->searchKey.type == SQLITE_NULL ? QString() : d->searchKey.text));
    d->emitChanged();
}

Field Table::fieldByName(const QString& name) {
    if (d->state != State::Closed) {
        for (int i = 0; i < FieldCount; ++i)
            if (!d->columns[i].isEmpty() &&
                name.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0)
                return Field(this, i);
    }
    throw TableError(QStringLiteral("Field '%1' not found").arg(name));
}

Field Table::fieldByName(FieldIndex index, Spelling spelling) {
    const QString name = QString::fromLatin1(kFieldNames[index]);
    return fieldByName(spelling == Spelling::InCapitals ? name.toUpper() : name);
}

int Table::fieldLength(int index) const {
    return index >= 0 && index < FieldCount ? d->lengths[index] : 0;
}

QString Table::fieldNameAt(int index) const {
    if (index < 0 || index >= FieldCount)
        return QString();
    return d->columns[index].isEmpty() ? QString::fromLatin1(kFieldNames[index])
                                       : d->columns[index];
}

void Table::setBusyTimeout(int milliseconds) {
    d->busyTimeout = std::max(0, milliseconds);
    if (d->db)
        sqlite3_busy_timeout(d->db, d->busyTimeout);
}

int Table::busyTimeout() const {
    return d->busyTimeout;
}

void Table::setReadOnly(bool readOnly) {
    d->readOnlyRequested = readOnly;
}

bool Table::readOnly() const {
    return d->db ? d->readOnly : d->readOnlyRequested;
}

QStringList Table::cursorStatementTexts() const {
    return d->db ? d->cursorSql() : QStringList();
}

qint64 Table::currentRowId() const {
    return d->hasCurrent ? d->rowid : -1;
}

} // namespace palvane
