// Fuzzes the contact table against damaged and foreign table files: the input is written as
// data/palvane.db and the table is opened, browsed both ways in both orders, searched, edited,
// added to and deleted from. Every failure must be a TableError; anything else (a crash, a
// sanitizer report, a failed debug check of the table's contract, another exception) is a
// finding. Not part of the CMake build: scripts/fuzz builds and runs it.
// Seeds: tests/fuzz/corpus/table/ (small files with 512-byte pages: a sound table, one without
// the index, one without a field, odd values in every field, an empty table, a view, a table
// without rowids).

#include "store/table.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

const QString& workDir() {
    // Memory-backed when possible: every stored change is synced to disk. Removed at exit.
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
        auto made =
            shm ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/fuzz_table-XXXXXX"))
                : std::make_unique<QTemporaryDir>();
        if (!made->isValid() || !QDir(made->path()).mkpath(QStringLiteral("data")))
            std::abort();
        QDir::setCurrent(made->path());
        return made;
    }();
    static const QString path = dir->path();
    return path;
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Reads every field of the current record the ways the windows do.
void readRecord(palvane::Table& table) {
    for (int i = 0; i < palvane::FieldCount; ++i) {
        palvane::Field field = table.field(i);
        try {
            (void)field.asString();
            (void)field.asFloat();
            (void)field.asInteger();
            (void)field.isNull();
        } catch (const palvane::TableError&) {
            // A field the file lacks.
        }
    }
}

template <class F> void attempt(F&& f) {
    try {
        f();
    } catch (const palvane::TableError&) {
    }
}

void exercise(palvane::Table& table) {
    attempt([&] { (void)table.recordCount(); });
    attempt([&] { (void)table.isEmpty(); });
    for (int i = 0; i < 24; ++i) {
        readRecord(table);
        attempt([&] { table.next(); });
    }
    attempt([&] { table.setIndexName(QString::fromLatin1(palvane::kNickIndexName)); });
    for (int i = 0; i < 24; ++i) {
        readRecord(table);
        attempt([&] { table.prior(); });
    }
    for (const char* key : {"", "m", "\xc3\xa9", "zzzz"}) {
        attempt([&] {
            table.setKey();
            table.fieldByName(QStringLiteral("IRC NICK")).setAsString(QString::fromUtf8(key));
            table.gotoNearest();
        });
        readRecord(table);
    }
    // The writes of Update Entry, New Entry and Delete Entry.
    attempt([&] {
        table.edit();
        table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("fuzz"));
        table.fieldByName(QStringLiteral("IRC Notes")).setAsString(QStringLiteral("n"));
        table.fieldByName(QStringLiteral("IRC Time Displacement")).setAsFloat(0.25);
        table.fieldByName(QStringLiteral("IRC Spin")).setAsInteger(6);
        table.post();
    });
    attempt([&] { table.cancel(); });
    attempt([&] {
        palvane::InsertValues values{};
        values[palvane::FieldTimeDisplacement] = 0;
        values[palvane::FieldSpin] = 0;
        table.insertRecord(values);
    });
    attempt([&] { table.cancel(); });
    attempt([&] { table.deleteRecord(); });
    attempt([&] { table.refresh(); });
    attempt([&] { table.last(); });
    attempt([&] { table.first(); });
    readRecord(table);
    // The contract: a record is current only on an open table.
    check(table.active() || !table.hasCurrent());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString dir = workDir();
    const QString path = dir + QStringLiteral("/data/palvane.db");
    QFile::remove(path + QStringLiteral("-journal"));
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    palvane::Table table;
    table.setBusyTimeout(0);
    try {
        table.open();
    } catch (const palvane::TableError& e) {
        check(!table.active());
        check(!e.message().isEmpty());
        return 0;
    }
    exercise(table);
    table.close(); // never fails
    check(!table.active());
    return 0;
}
