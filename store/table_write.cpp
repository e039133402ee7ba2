// Writes of several steps under one lock: the file's write lock is taken before the first read
// the stores depend on and kept until they are committed together.

#include "store/table_impl.h"

namespace palvane {

namespace {

const QString kBeginAction = QStringLiteral("Cannot write to the contact table");
const QString kCommitAction = QStringLiteral("Cannot store the changes in");

} // namespace

void Table::Impl::endWrite() noexcept {
    writing = false;
    // The engine may have ended the transaction itself (it rolls back on some failures).
    if (db && !sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Table::beginWrite() {
    d->requireActive();
    d->requireWritable();
    if (d->writing)
        throw TableError(QStringLiteral("A write is already under way"));
    d->finishPending();
    // IMMEDIATE takes the write lock now, waiting out another program's write; a deferred begin
    // would take it only at the first store, after reads that another writer can make stale.
    if (sql::exec(d->db, QStringLiteral("BEGIN IMMEDIATE")) != SQLITE_OK)
        d->fail(kBeginAction);
    d->writing = true;
    try {
        // Checked under the lock: no engine writes the file from here to the commit.
        d->requireSameFile(kBeginAction);
        d->reread();
    } catch (...) {
        d->endWrite();
        throw;
    }
    d->emitChanged();
}

void Table::commitWrite() {
    d->requireActive();
    if (!d->writing)
        throw TableError(QStringLiteral("No write is under way"));
    try {
        d->finishPending();
        // A rename over the path does not wait for locks: committing then would store into a
        // file nobody opens again.
        d->requireSameFile(kCommitAction);
        // A commit that waited in vain for others' reads to end is still open: rolled back below.
        if (sql::exec(d->db, QStringLiteral("COMMIT")) != SQLITE_OK)
            d->fail(kCommitAction);
    } catch (...) {
        rollbackWrite();
        throw;
    }
    d->writing = false;
}

void Table::rollbackWrite() {
    if (!d->writing)
        return;
    if (d->state == State::Editing || d->state == State::Inserting)
        d->dropBuffer();
    d->endWrite();
    try {
        d->reread();
    } catch (const TableError&) {
        // Unreadable for now: the record stays as last read, as after a failed refresh.
    }
    d->emitChanged();
}

bool Table::writing() const {
    return d->writing;
}

TableWrite::~TableWrite() {
    try {
        table_.rollbackWrite();
    } catch (...) {
        // A destructor cannot report; the engine has dropped the write all the same.
    }
}

} // namespace palvane
