// A second program on the contact table for the reliability tests. It stores contacts through
// the same table operations as the main window (New Entry: insertRecord; Update Entry: edit,
// the eight field writes, post) and reports each store on stdout only after it returned, so the
// test knows exactly which stores it may expect to find.
//
//   store_writer crash <seed>
//       In the working directory's data/palvane.db, stores forever (until killed): New Entry
//       followed by Update Entry, Update Entry of the record on display, moves, deletes.
//       Prints "ready", then per operation "B <kind> <rowid> <seq>" before it and
//       "<kind> <rowid> <seq>" after it returned (kind N, U or D).
//   store_writer contend <owner> <seconds> <busy timeout ms> <seed>
//       Edits, adds and deletes records of its own (nicks "<owner>-<k>") next to another copy
//       for the given time, finding them by nick search. A store refused by a lock is reported
//       ("refused ..."), must leave the record pending, and is stored by the next move. Prints
//       "final <nick> <seq>" for each of its records at the end, and "max_ms", "ops",
//       "refusals"; "bad ..." for anything that broke a promise; "orphan ..." for a new record
//       stored while a lock kept it from becoming current (it stays blank in the table).
//   store_writer fill <directory> <copy to>
//       Run on a small file system mounted at <directory>: fills it with a filler file and
//       contacts until a store fails, frees the filler, lets the next move store the pending
//       record, checks the file, and copies it to <copy to> for the test to inspect.
//       Prints "stored <rowid> <seq>", "full <message>", "state <state>", "recovered <rowid>
//       <seq>", "integrity <result>".

#include "store/schema.h"
#include "store/table.h"
#include "tests/reliability/store_values.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <thread>
#include <vector>

using palvane::Table;
using palvane::TableError;
using namespace palvane::reliability;

namespace {

void say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

const char* stateName(Table::State state) {
    switch (state) {
    case Table::State::Closed:
        return "closed";
    case Table::State::Browsing:
        return "browsing";
    case Table::State::Editing:
        return "editing";
    case Table::State::Inserting:
        return "inserting";
    case Table::State::KeyEntry:
        return "keyentry";
    }
    return "?";
}

// ---- crash ---------------------------------------------------------------------------------

int crash(std::uint32_t seed) {
    std::mt19937 random(seed);
    Table table;
    table.setBusyTimeout(5000);
    table.open();
    say(QStringLiteral("ready"));
    // Numbers of this run's stores start from the seed so that every run's values differ.
    std::int64_t seq = std::int64_t(seed) * 1000000;
    // Update Entry on the current record.
    const auto update = [&] {
        const qint64 id = table.currentRowId();
        ++seq;
        say(QStringLiteral("B U %1 %2").arg(id).arg(seq));
        writeFields(table, valuesFor(QStringLiteral("w"), seq));
        table.post();
        say(QStringLiteral("U %1 %2").arg(id).arg(seq));
    };
    for (;;) {
        const unsigned pick = random() % 10;
        if (pick < 4 || !table.hasCurrent()) {
            // New Entry, then Update Entry on the new record.
            say(QStringLiteral("B N 0 0"));
            table.insertRecord(newEntryInsert());
            say(QStringLiteral("N %1 0").arg(table.currentRowId()));
            update();
        } else if (pick < 7) {
            update();
        } else if (pick < 9) {
            if (random() % 2)
                table.next();
            else
                table.prior();
            if (random() % 4 == 0)
                table.first();
        } else {
            const qint64 id = table.currentRowId();
            say(QStringLiteral("B D %1 0").arg(id));
            table.deleteRecord();
            say(QStringLiteral("D %1 0").arg(id));
        }
    }
}

// ---- contend -------------------------------------------------------------------------------

class Contender {
public:
    Contender(const QString& owner, int busyTimeout, std::uint32_t seed)
        : owner_(owner), random_(seed), seq_(std::int64_t(seed) * 100000) {
        table_.setBusyTimeout(busyTimeout);
        table_.open();
        table_.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    }

    void run(int seconds) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000LL) {
            // A quick user, not a loop: back-to-back write transactions with no pause would
            // keep every other program's lock requests waiting (the engine's lock retries poll,
            // they do not queue).
            std::this_thread::sleep_for(std::chrono::milliseconds(2 + random_() % 15));
            const unsigned pick = random_() % 10;
            if (pick < 3 || live_.size() < 3)
                create();
            else if (pick < 7)
                update(randomNick());
            else if (pick < 8)
                remove(randomNick());
            else
                browse();
        }
        // Every refused store was stored by a later move: nothing may be left pending.
        settle();
        table_.close();
        for (const auto& [nick, seq] : live_)
            say(QStringLiteral("final %1 %2").arg(nick).arg(seq));
        say(QStringLiteral("max_ms %1").arg(maxMs_));
        say(QStringLiteral("ops %1").arg(ops_));
        say(QStringLiteral("refusals %1").arg(refusals_));
    }

private:
    QString randomNick() {
        auto it = live_.begin();
        std::advance(it, long(random_() % live_.size()));
        return it->first;
    }

    // Runs one table operation, timing it; a failure is returned as its message.
    template <class F> std::optional<QString> timed(F&& f) {
        QElapsedTimer clock;
        clock.start();
        std::optional<QString> failure;
        try {
            f();
        } catch (const TableError& e) {
            failure = e.message();
        }
        maxMs_ = std::max(maxMs_, clock.elapsed());
        ++ops_;
        return failure;
    }

    void refused(const char* what, const QString& message) {
        ++refusals_;
        say(QStringLiteral("refused %1 %2 %3")
                .arg(QLatin1String(what), QLatin1String(stateName(table_.state())),
                     oneLine(message)));
        if (!message.contains(QStringLiteral("another program is writing or reading the table; "
                                             "try again when it has finished")) ||
            !message.contains(table_.filePath()))
            say(QStringLiteral("bad unclear message: %1").arg(oneLine(message)));
    }

    // A store was refused: the record must still be pending with what was written, and the
    // next move stores it (retried, a little later, while the lock lasts). A move that stored
    // the record but could not re-read the table afterwards has still stored it.
    void storeByMoving(const StoreValues& wanted, const QString& message) {
        if (table_.state() != Table::State::Editing) {
            // Only the re-read after a successful store may fail with the record stored.
            if (!message.startsWith(QStringLiteral("Cannot read the contact table")))
                say(QStringLiteral("bad refused store left no pending record (%1)")
                        .arg(QLatin1String(stateName(table_.state()))));
            return;
        }
        for (int attempt = 0; table_.state() == Table::State::Editing; ++attempt) {
            if (table_.fieldByName(QStringLiteral("IRC Nick")).asString() != wanted.nick ||
                table_.fieldByName(QStringLiteral("IRC Notes")).asString() != wanted.notes)
                say(QStringLiteral("bad pending record lost its values"));
            if (attempt > 200) {
                say(QStringLiteral("bad the pending record was never stored"));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(random_() % 50));
            if (const auto failure = timed([&] { table_.next(); }))
                refused("move", *failure);
        }
    }

    // Finds one of its own records by nick search; false when the search itself is refused.
    bool find(const QString& nick, bool& found) {
        const auto failure = timed([&] {
            table_.setKey();
            table_.fieldByName(QStringLiteral("IRC Nick")).setAsString(nick);
            table_.gotoNearest();
        });
        if (failure) {
            refused("search", *failure);
            return false;
        }
        found = table_.hasCurrent() &&
                table_.fieldByName(QStringLiteral("IRC Nick")).asString() == nick;
        if (!found)
            say(QStringLiteral("bad committed record %1 is missing").arg(nick));
        return true;
    }

    void create() {
        const QString nick = QStringLiteral("%1-%2").arg(owner_).arg(nextId_++);
        StoreValues v = valuesFor(owner_, ++seq_);
        v.nick = nick;
        const qint64 before = table_.currentRowId();
        if (const auto failure = timed([&] { table_.insertRecord(newEntryInsert()); })) {
            refused("insert", *failure);
            if (table_.state() != Table::State::Inserting &&
                !failure->startsWith(QStringLiteral("Cannot read the contact table")))
                say(QStringLiteral("bad refused insert left no pending record"));
            // The next move stores the new record and makes it current.
            for (int attempt = 0; table_.state() == Table::State::Inserting; ++attempt) {
                if (attempt > 200) {
                    say(QStringLiteral("bad the new record was never stored"));
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(random_() % 50));
                if (const auto again = timed([&] { table_.refresh(); }))
                    refused("move", *again);
            }
        }
        // The new record (always a new rowid) must be current now, or Update Entry would
        // overwrite another one.
        if (table_.currentRowId() == before) {
            say(QStringLiteral("orphan new record stored, but another record is current"));
            return;
        }
        writeFields(table_, v);
        if (const auto failure = timed([&] { table_.post(); })) {
            refused("post", *failure);
            storeByMoving(v, *failure);
        }
        live_[nick] = seq_;
    }

    void update(const QString& nick) {
        bool found = false;
        if (!find(nick, found) || !found)
            return;
        StoreValues v = valuesFor(owner_, ++seq_);
        v.nick = nick;
        writeFields(table_, v);
        if (const auto failure = timed([&] { table_.post(); })) {
            refused("post", *failure);
            storeByMoving(v, *failure);
        }
        live_[nick] = seq_;
    }

    void remove(const QString& nick) {
        bool found = false;
        if (!find(nick, found) || !found)
            return;
        if (const auto failure = timed([&] { table_.deleteRecord(); })) {
            refused("delete", *failure);
            return; // still there: it stays in the list and may be deleted later
        }
        live_.erase(nick);
    }

    void browse() {
        for (int i = 0; i < 3; ++i) {
            if (const auto failure = timed([&] {
                    if (random_() % 2)
                        table_.next();
                    else
                        table_.prior();
                }))
                refused("move", *failure);
        }
    }

    void settle() {
        if (table_.state() == Table::State::Editing || table_.state() == Table::State::Inserting)
            say(QStringLiteral("bad a record was left pending"));
    }

    QString owner_;
    std::mt19937 random_;
    std::int64_t seq_;
    int nextId_ = 0;
    Table table_;
    std::map<QString, std::int64_t> live_;
    qint64 maxMs_ = 0;
    qint64 ops_ = 0;
    qint64 refusals_ = 0;
};

// ---- fill ----------------------------------------------------------------------------------

QString integrity(const QString& path) {
    sqlite3* db = nullptr;
    QString result = QStringLiteral("cannot open");
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
}

int fill(const QString& directory, const QString& copyTo) {
    if (!QDir::setCurrent(directory))
        return 3;
    const QString filler = directory + QStringLiteral("/filler");
    {
        QFile file(filler);
        if (!file.open(QIODevice::WriteOnly))
            return 3;
        file.write(QByteArray(96 * 1024, 'f'));
    }
    palvane::createContactTable(directory + QStringLiteral("/data/palvane.db"));
    Table table;
    table.open();
    std::int64_t seq = 0;
    StoreValues pending;
    for (;;) {
        ++seq;
        pending = fillValues(seq);
        try {
            table.insertRecord(newEntryInsert());
            writeFields(table, pending);
            table.post();
        } catch (const TableError& e) {
            say(QStringLiteral("full %1").arg(oneLine(e.message())));
            break;
        }
        say(QStringLiteral("stored %1 %2").arg(table.currentRowId()).arg(seq));
        if (seq > 10000)
            return 4; // the file system never filled up
    }
    say(QStringLiteral("state %1").arg(QLatin1String(stateName(table.state()))));
    say(QStringLiteral("integrity-while-full %1").arg(integrity(table.filePath())));
    // A second try while still full fails the same way and keeps the record pending.
    try {
        table.next();
        say(QStringLiteral("stored-while-full"));
    } catch (const TableError& e) {
        say(QStringLiteral("still-full %1 %2")
                .arg(QLatin1String(stateName(table.state())), oneLine(e.message())));
    }
    QFile::remove(filler);
    if (table.state() == Table::State::Inserting) {
        // The insertion itself was refused: the next move stores the blank record, then the
        // fields are written as Update Entry would.
        table.refresh();
        writeFields(table, pending);
        table.post();
    } else {
        table.next(); // the pending edit is stored by the move
        table.last();
    }
    say(QStringLiteral("recovered %1 %2").arg(table.currentRowId()).arg(seq));
    table.close();
    say(QStringLiteral("integrity %1")
            .arg(integrity(directory + QStringLiteral("/data/palvane.db"))));
    QFile::remove(copyTo);
    if (!QFile::copy(directory + QStringLiteral("/data/palvane.db"), copyTo))
        return 5;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    try {
        if (mode == QLatin1String("crash") && argc == 3)
            return crash(std::uint32_t(std::strtoul(argv[2], nullptr, 10)));
        if (mode == QLatin1String("contend") && argc == 6) {
            Contender contender(QString::fromLocal8Bit(argv[2]), std::atoi(argv[4]),
                                std::uint32_t(std::strtoul(argv[5], nullptr, 10)));
            contender.run(std::atoi(argv[3]));
            return 0;
        }
        if (mode == QLatin1String("fill") && argc == 4)
            return fill(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    } catch (const TableError& e) {
        say(QStringLiteral("error %1").arg(oneLine(e.message())));
        return 2;
    }
    std::fprintf(stderr, "usage: store_writer crash <seed> | contend <owner> <seconds> "
                         "<busy ms> <seed> | fill <directory> <copy to>\n");
    return 1;
}
