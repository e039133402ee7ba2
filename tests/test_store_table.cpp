// The contact table: cursor, orders, edits, errors, and sharing the file with other programs.

#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"
#include "tests/test_store_raw.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include <unistd.h>

using palvane::Field;
using palvane::FieldCount;
using palvane::InsertValues;
using palvane::Table;
using palvane::TableError;
using palvane::TableWrite;
using palvane::test::contact;
using palvane::test::RawDb;
using palvane::test::Sandbox;

namespace {

const QString kClosed = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString kReadOnly = QStringLiteral("Cannot modify a read-only dataset");
const QString kNotEditing = QStringLiteral("Dataset not in edit or insert mode");
const QString kEmpty = QStringLiteral("Cannot perform this operation on an empty dataset");
const InsertValues kNewEntry = {
    std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, 0, std::nullopt};

const QString kBusy = QStringLiteral("another program is writing or reading the table; try "
                                     "again when it has finished");

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const TableError& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

void openIn(Table& table) {
    table.setDatabaseName(QStringLiteral("data/"));
    table.setTableName(QStringLiteral("palvane.db"));
    table.open();
}

QString nickOf(Table& table) {
    return table.fieldByName(QStringLiteral("IRC Nick")).asString();
}

void search(Table& table, const QString& key) {
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    table.setKey();
    table.fieldByName(QStringLiteral("IRC NICK")).setAsString(key);
    table.gotoNearest();
}

// Rowids from the first record on with next(), until next() stops moving.
QList<qint64> walkForward(Table& table) {
    QList<qint64> rowids;
    table.first();
    while (table.hasCurrent()) {
        rowids << table.currentRowId();
        const qint64 before = table.currentRowId();
        table.next();
        if (table.currentRowId() == before)
            break;
    }
    return rowids;
}

QList<qint64> walkBackward(Table& table) {
    QList<qint64> rowids;
    table.last();
    while (table.hasCurrent()) {
        rowids << table.currentRowId();
        const qint64 before = table.currentRowId();
        table.prior();
        if (table.currentRowId() == before)
            break;
    }
    return rowids;
}

QList<qint64> reversed(QList<qint64> list) {
    std::reverse(list.begin(), list.end());
    return list;
}

// Ten contacts whose nicks are blank (NULL and ''), equal under NOCASE, or alike.
void createNickMix(Sandbox& box) {
    box.createTable({contact(QStringLiteral("bob")), contact(QString()),
                     contact(QStringLiteral("alpha")), contact(QStringLiteral("x")),
                     contact(QStringLiteral("Bob")), contact(QStringLiteral("alpine")),
                     contact(QString()), contact(QStringLiteral("Alphonse")),
                     contact(QStringLiteral("BOB")), contact(QStringLiteral("zed"))});
    RawDb raw(box.dbPath());
    QVERIFY(raw.exec(QStringLiteral("UPDATE contacts SET \"IRC Nick\" = '' WHERE rowid = 4")));
}

} // namespace

class TestStoreTable : public QObject {
    Q_OBJECT

private slots:
    void emptyTable();
    void naturalOrderAndEnds();
    void nickOrderWithBlanksAndDuplicates();
    void nearestNickSearch();
    void deleteRules();
    void insertFromValueList();
    void editAndPost();
    void fieldNamesAndValues();
    void closedTableErrors();
    void openFailures();
    void missingFieldAndIndex();
    void readOnlyTable();
    void lockHeldByAnotherProgram();
    void briefLockPasses();
    void writeOfSeveralSteps_data();
    void writeOfSeveralSteps();
    void changesByAnotherProgram();
    void dataChangedSignal();
    void cutToDeclaredLength();
    void nicksOfOtherTypes();
    void queryPlansUseIndexes();
};

void TestStoreTable::emptyTable() {
    Sandbox box;
    box.createTable();
    Table table;
    openIn(table);
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.recordCount(), 0);
    QVERIFY(table.isEmpty());
    QVERIFY(!table.hasCurrent());
    table.next();
    table.prior();
    QVERIFY(!table.hasCurrent());
    for (const char* name : {"IRC Nick", "IRC Name", "IRC Location", "IRC Email", "IRC Notes",
                             "IRC Time Displacement", "IRC Spin", "IRC Picture"}) {
        const Field field = table.fieldByName(QString::fromLatin1(name));
        QCOMPARE(field.asString(), QString());
        QCOMPARE(field.asFloat(), 0.0);
        QCOMPARE(field.asInteger(), 0);
        QVERIFY(field.isNull());
    }
    // A search finds nothing and does not fail, whatever the key.
    search(table, QStringLiteral("bob"));
    QVERIFY(!table.hasCurrent());
    search(table, QString());
    QVERIFY(!table.hasCurrent());
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(errorOf([&] { table.deleteRecord(); }), kEmpty);

    // Edit on an empty table starts a new record; storing it creates the first record.
    table.edit();
    QCOMPARE(table.state(), Table::State::Inserting);
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("first"));
    table.fieldByName(QStringLiteral("IRC Spin")).setAsInteger(3);
    table.post();
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.recordCount(), 1);
    QVERIFY(table.hasCurrent());
    QCOMPARE(nickOf(table), QStringLiteral("first"));
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT \"IRC Nick\" || '/' || \"IRC Spin\" FROM contacts")),
             QStringLiteral("first/3"));
}

void TestStoreTable::naturalOrderAndEnds() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("zed")), contact(QStringLiteral("alpha")),
                     contact(QStringLiteral("mike"))});
    Table table;
    openIn(table);
    QCOMPARE(nickOf(table), QStringLiteral("zed")); // natural order, not nick order
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("alpha"));
    table.next();
    table.next(); // on the last record: no wrap-around
    QCOMPARE(nickOf(table), QStringLiteral("mike"));
    table.prior();
    table.prior();
    table.prior(); // on the first record
    QCOMPARE(nickOf(table), QStringLiteral("zed"));
    table.last();
    QCOMPARE(nickOf(table), QStringLiteral("mike"));
    QCOMPARE(walkForward(table), (QList<qint64>{1, 2, 3}));
    QCOMPARE(walkBackward(table), (QList<qint64>{3, 2, 1}));
}

void TestStoreTable::nickOrderWithBlanksAndDuplicates() {
    Sandbox box;
    createNickMix(box);
    Table table;
    openIn(table);
    QCOMPARE(table.currentRowId(), 1);
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    QCOMPARE(table.currentRowId(), 1); // selecting the index keeps the current record

    // Blank nicks (NULL and '') lead in rowid order; equal nicks keep rowid order.
    const QList<qint64> order{2, 4, 7, 3, 8, 6, 1, 5, 9, 10};
    QCOMPARE(walkForward(table), order);
    QCOMPARE(walkBackward(table), reversed(order));

    // Stepping through a group of equal nicks one by one, both ways.
    search(table, QStringLiteral("BOB"));
    QCOMPARE(table.currentRowId(), 1);
    table.next();
    QCOMPARE(table.currentRowId(), 5);
    table.next();
    QCOMPARE(table.currentRowId(), 9);
    table.prior();
    QCOMPARE(table.currentRowId(), 5);
    table.prior();
    table.prior();
    QCOMPARE(nickOf(table), QStringLiteral("alpine"));

    // Within and out of the blank group.
    table.first();
    QCOMPARE(table.currentRowId(), 2);
    table.next();
    QCOMPARE(table.currentRowId(), 4);
    QCOMPARE(nickOf(table), QString());
    table.prior();
    table.prior();
    QCOMPARE(table.currentRowId(), 2);
    table.last();
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("zed"));
}

void TestStoreTable::nearestNickSearch() {
    Sandbox box;
    createNickMix(box);
    const QString longNick(64, QLatin1Char('a'));
    palvane::insertContacts(box.dbPath(), {contact(longNick)}); // rowid 11
    Table table;
    openIn(table);

    const auto landsOn = [&](const QString& key) {
        search(table, key);
        return table.currentRowId();
    };
    QCOMPARE(landsOn(QStringLiteral("alp")), 3);   // alpha: a key that begins a nick finds it
    QCOMPARE(landsOn(QStringLiteral("ALPHO")), 8); // Alphonse, case ignored
    QCOMPARE(landsOn(QStringLiteral("alphz")), 6); // alpine: the next nick up
    QCOMPARE(landsOn(QStringLiteral("b")), 1);     // first of the equal bobs
    QCOMPARE(landsOn(QStringLiteral("boba")), 10); // whole values: "boba" > "bob"
    QCOMPARE(landsOn(QStringLiteral("zzz")), 10);  // above every nick: the last record
    QCOMPARE(landsOn(QString()), 2);               // empty key: first in nick order
    // The key is cut to the nick's length like the nick itself.
    QCOMPARE(landsOn(longNick + QLatin1Char('a')), 11);
    QCOMPARE(landsOn(QString(63, QLatin1Char('a')) + QLatin1Char('b')), 3);
    QCOMPARE(table.state(), Table::State::Browsing);

    // After the first search, browsing follows nick order, also after inserts and deletes.
    QCOMPARE(landsOn(QStringLiteral("alpine")), 6);
    table.next();
    QCOMPARE(table.currentRowId(), 1);
    table.prior();
    table.prior();
    QCOMPARE(table.currentRowId(), 8);
    table.insertRecord(kNewEntry); // a blank nick: last of the blank group
    QCOMPARE(table.currentRowId(), 12);
    table.prior();
    QCOMPARE(table.currentRowId(), 7);
    table.next();
    table.next();
    QCOMPARE(table.currentRowId(), 11);
    QCOMPARE(landsOn(QStringLiteral("alpine")), 6);
    table.deleteRecord();
    QCOMPARE(table.currentRowId(), 1); // the follower in nick order
    QCOMPARE(landsOn(QStringLiteral("zed")), 10);
    table.deleteRecord();
    QCOMPARE(table.currentRowId(), 9); // the new last in nick order
    QCOMPARE(walkForward(table), (QList<qint64>{2, 4, 7, 12, 11, 3, 8, 1, 5, 9}));

    // A pending edit is stored before the search runs.
    table.edit();
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("aardvark"));
    QCOMPARE(landsOn(QStringLiteral("aar")), 9);
    QCOMPARE(table.state(), Table::State::Browsing);
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT \"IRC Nick\" FROM contacts WHERE rowid = 9")),
             QStringLiteral("aardvark"));
}

void TestStoreTable::deleteRules() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("a")), contact(QStringLiteral("b")),
                     contact(QStringLiteral("c")), contact(QStringLiteral("d"))});
    Table table;
    openIn(table);
    table.next();
    table.deleteRecord(); // b: its follower c becomes current
    QCOMPARE(nickOf(table), QStringLiteral("c"));
    QCOMPARE(table.recordCount(), 3);
    table.last();
    table.deleteRecord(); // d was last: the new last, c
    QCOMPARE(nickOf(table), QStringLiteral("c"));
    table.deleteRecord();
    QCOMPARE(nickOf(table), QStringLiteral("a"));
    table.deleteRecord(); // the only record
    QVERIFY(!table.hasCurrent());
    QCOMPARE(table.recordCount(), 0);
    QVERIFY(table.isEmpty());
    QCOMPARE(errorOf([&] { table.deleteRecord(); }), kEmpty);
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT count(*) FROM contacts")), QStringLiteral("0"));

    // Deleting while editing drops the edit with the record; while inserting it drops the
    // new record that was never stored.
    palvane::insertContacts(box.dbPath(),
                            {contact(QStringLiteral("e")), contact(QStringLiteral("f"))});
    table.refresh();
    QCOMPARE(nickOf(table), QStringLiteral("e"));
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("lost"));
    table.deleteRecord();
    QCOMPARE(nickOf(table), QStringLiteral("f"));
    QCOMPARE(table.state(), Table::State::Browsing);
    table.deleteRecord();
    table.edit(); // empty again: inserting
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("never"));
    table.deleteRecord();
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.recordCount(), 0);
}

void TestStoreTable::insertFromValueList() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("zed"))});
    Table table;
    openIn(table);
    table.insertRecord(kNewEntry);
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.currentRowId(), 2);
    table.insertRecord(kNewEntry); // twice: two such records
    QCOMPARE(table.currentRowId(), 3);
    QCOMPARE(table.recordCount(), 3);
    for (const char* name :
         {"IRC Nick", "IRC Name", "IRC Location", "IRC Email", "IRC Notes", "IRC Picture"}) {
        QCOMPARE(table.fieldByName(QString::fromLatin1(name)).asString(), QString());
        QVERIFY(table.fieldByName(QString::fromLatin1(name)).isNull());
    }
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Time Displacement")).asFloat(), 0.0);
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Spin")).asInteger(), 0);
    QVERIFY(!table.fieldByName(QStringLiteral("IRC Spin")).isNull());

    RawDb raw(box.dbPath());
    QCOMPARE(raw.column(QStringLiteral("SELECT typeof(\"IRC Spin\") || typeof(\"IRC Nick\") || "
                                       "typeof(\"IRC Picture\") FROM contacts WHERE rowid > 1")),
             (QStringList{QStringLiteral("integernullnull"), QStringLiteral("integernullnull")}));
    QCOMPARE(
        raw.value(QStringLiteral("SELECT \"IRC Time Displacement\" FROM contacts WHERE rowid = 3")),
        QStringLiteral("0.0"));

    // An integer for a text field is written as its text.
    InsertValues values = kNewEntry;
    values[palvane::FieldNick] = 42;
    values[palvane::FieldSpin] = -7;
    table.insertRecord(values);
    QCOMPARE(nickOf(table), QStringLiteral("42"));
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Spin")).asInteger(), -7);

    // In nick order the new blank records come first, in the order they were made.
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    QCOMPARE(walkForward(table), (QList<qint64>{2, 3, 4, 1}));
}

void TestStoreTable::editAndPost() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("alpha")), contact(QStringLiteral("bob")),
                     contact(QStringLiteral("carol")), contact(QStringLiteral("dave"))});
    RawDb raw(box.dbPath());
    Table table;
    openIn(table);
    QCOMPARE(errorOf([&] {
                 table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("x"));
             }),
             kNotEditing);
    QCOMPARE(errorOf([&] { table.post(); }), kNotEditing);

    // The stored record stays current at the place its new nick gives it.
    search(table, QStringLiteral("bob"));
    table.edit();
    QCOMPARE(table.state(), Table::State::Editing);
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("zulu"));
    table.post();
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.currentRowId(), 2);
    QCOMPARE(nickOf(table), QStringLiteral("zulu"));
    table.next();
    QCOMPARE(table.currentRowId(), 2); // now the last
    table.prior();
    QCOMPARE(nickOf(table), QStringLiteral("dave"));
    QCOMPARE(raw.value(QStringLiteral("SELECT \"IRC Nick\" FROM contacts WHERE rowid = 2")),
             QStringLiteral("zulu"));

    // Cancel drops the change.
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Dropped"));
    table.edit(); // already editing: the buffer stays
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(), QStringLiteral("Dropped"));
    table.cancel();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(), QString());

    // A move stores a changed record ...
    table.prior(); // carol
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Carl"));
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("dave"));
    QCOMPARE(raw.value(QStringLiteral("SELECT \"IRC Name\" FROM contacts WHERE rowid = 3")),
             QStringLiteral("Carl"));
    // ... and drops an unchanged one without writing anything.
    const quint32 counter = palvane::test::changeCounter(box.dbPath());
    table.edit();
    table.prior();
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(palvane::test::changeCounter(box.dbPath()), counter);

    // Only the fields written are stored: another program's change to another field stays.
    table.edit();
    QVERIFY(
        raw.exec(QStringLiteral("UPDATE contacts SET \"IRC Location\" = 'Oslo' WHERE rowid = 3")));
    table.fieldByName(QStringLiteral("IRC Email")).setAsString(QStringLiteral("carl@example.net"));
    table.post();
    QCOMPARE(
        raw.value(QStringLiteral("SELECT \"IRC Location\" || ' ' || \"IRC Email\" FROM contacts "
                                 "WHERE rowid = 3")),
        QStringLiteral("Oslo carl@example.net"));
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Location")).asString(), QStringLiteral("Oslo"));

    // Writing the empty string makes the field blank.
    table.edit();
    table.fieldByName(QStringLiteral("IRC Email")).setAsString(QString(""));
    table.post();
    QCOMPARE(
        raw.value(QStringLiteral("SELECT typeof(\"IRC Email\") FROM contacts WHERE rowid = 3")),
        QStringLiteral("null"));
}

void TestStoreTable::fieldNamesAndValues() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("five"), QString(), 5), contact(QStringLiteral("text")),
                     contact(QStringLiteral("round")), contact(QStringLiteral("huge"))});
    RawDb raw(box.dbPath());
    // Values another program may have written: texts in numeric fields, halves, overflow.
    QVERIFY(raw.exec(QStringLiteral(
        "UPDATE contacts SET \"IRC Time Displacement\" = 'abc', \"IRC Spin\" = '7' WHERE rowid = 2;"
        "UPDATE contacts SET \"IRC Time Displacement\" = 2.6, \"IRC Spin\" = -2.5 WHERE rowid = 3;"
        "UPDATE contacts SET \"IRC Time Displacement\" = 9e999, \"IRC Spin\" = -9e999 WHERE rowid "
        "= 4;")));
    Table table;
    openIn(table);
    QCOMPARE(table.fieldByName(QStringLiteral("IRC NICK")).index(), int(palvane::FieldNick));
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).index(), int(palvane::FieldNick));
    QCOMPARE(table.fieldByName(QStringLiteral("irc time displacement")).index(),
             int(palvane::FieldTimeDisplacement));
    QCOMPARE(table.fieldByName(QStringLiteral("IRC NICK")).fieldName(), QStringLiteral("IRC Nick"));
    QCOMPARE(table.fieldNameAt(palvane::FieldSpin), QStringLiteral("IRC Spin"));
    QCOMPARE(errorOf([&] { table.fieldByName(QStringLiteral("IRC Nix")); }),
             QStringLiteral("Field 'IRC Nix' not found"));

    const auto displacement = [&] {
        return table.fieldByName(QStringLiteral("IRC Time Displacement"));
    };
    const auto spin = [&] { return table.fieldByName(QStringLiteral("IRC Spin")); };
    QCOMPARE(displacement().asFloat(), 5 / 24.0);
    QCOMPARE(spin().asInteger(), 5);
    QCOMPARE(spin().asString(), QStringLiteral("5"));
    table.next();
    QCOMPARE(displacement().asFloat(), 0.0); // a text that is no number reads as 0
    QCOMPARE(displacement().asString(), QStringLiteral("abc"));
    QCOMPARE(spin().asInteger(), 7);
    table.next();
    QCOMPARE(displacement().asInteger(), 3);
    QCOMPARE(spin().asInteger(), -3); // halves round away from zero
    QCOMPARE(spin().asFloat(), -2.5);
    table.next();
    QVERIFY(std::isinf(displacement().asFloat()));
    QCOMPARE(displacement().asInteger(), INT_MAX);
    QCOMPARE(spin().asInteger(), INT_MIN);
    QVERIFY(!spin().asString().isEmpty());

    // Both spellings name one field; the write is seen through the other.
    table.edit();
    table.fieldByName(QStringLiteral("IRC NICK")).setAsString(QStringLiteral("Huge"));
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).asString(), QStringLiteral("Huge"));
    QCOMPARE(errorOf([&] { spin().setAsString(QStringLiteral("abc")); }),
             QStringLiteral("'abc' is not a valid whole number"));
    spin().setAsString(QStringLiteral(" 12 "));
    displacement().setAsFloat(std::nan(""));
    table.post();
    QCOMPARE(spin().asInteger(), 12);
    QVERIFY(displacement().isNull());
    QCOMPARE(
        raw.value(QStringLiteral("SELECT \"IRC Nick\" || typeof(\"IRC Time Displacement\") FROM "
                                 "contacts WHERE rowid = 4")),
        QStringLiteral("Hugenull"));
}

void TestStoreTable::closedTableErrors() {
    Sandbox box;
    Table table;
    // Never opened, then a failed open (no data directory): every operation but close fails.
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            QVERIFY(errorOf([&] { openIn(table); }).contains(box.dataDir()));
        QVERIFY(!table.active());
        QCOMPARE(errorOf([&] { table.recordCount(); }), kClosed);
        QCOMPARE(errorOf([&] { table.isEmpty(); }), kClosed);
        QCOMPARE(errorOf([&] { table.next(); }), kClosed);
        QCOMPARE(errorOf([&] { table.prior(); }), kClosed);
        QCOMPARE(errorOf([&] { table.first(); }), kClosed);
        QCOMPARE(errorOf([&] { table.refresh(); }), kClosed);
        QCOMPARE(errorOf([&] { table.insertRecord(kNewEntry); }), kClosed);
        QCOMPARE(errorOf([&] { table.edit(); }), kClosed);
        QCOMPARE(errorOf([&] { table.post(); }), kClosed);
        QCOMPARE(errorOf([&] { table.deleteRecord(); }), kClosed);
        QCOMPARE(errorOf([&] { table.setKey(); }), kClosed);
        QCOMPARE(errorOf([&] { table.gotoNearest(); }), kClosed);
        QCOMPARE(errorOf([&] { table.setIndexName(QString::fromLatin1(palvane::kNickIndexName)); }),
                 kClosed);
        QCOMPARE(errorOf([&] { table.fieldByName(QStringLiteral("IRC NICK")); }),
                 QStringLiteral("Field 'IRC NICK' not found"));
        QCOMPARE(table.field(palvane::FieldName).asString(), QString());
        table.close();
    }
    // Closed after being open: the same.
    box.createTable({contact(QStringLiteral("a"))});
    openIn(table);
    QCOMPARE(table.recordCount(), 1);
    table.close();
    QCOMPARE(errorOf([&] { table.next(); }), kClosed);
    QVERIFY(!table.hasCurrent());
}

void TestStoreTable::openFailures() {
    Sandbox box;
    Table table;
    // No data directory: the message names the path and the cause; nothing is created.
    QString message = errorOf([&] { openIn(table); });
    QVERIFY2(message.contains(box.dbPath()) && message.contains(QStringLiteral("does not exist")),
             qPrintable(message));
    QVERIFY(!QDir(box.dataDir()).exists());

    QVERIFY(QDir(box.path()).mkpath(QStringLiteral("data")));
    message = errorOf([&] { openIn(table); });
    QVERIFY2(message.contains(QStringLiteral("the file does not exist")), qPrintable(message));
    QVERIFY(!QFile::exists(box.dbPath()));

    QFile garbage(box.dbPath());
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    const QByteArray junk = QByteArray("This is no table, just some text.\n").repeated(100);
    garbage.write(junk);
    garbage.close();
    message = errorOf([&] { openIn(table); });
    QVERIFY2(message.contains(box.dbPath()) && message.contains(QStringLiteral("damaged")),
             qPrintable(message));
    QVERIFY(garbage.open(QIODevice::ReadOnly));
    QCOMPARE(garbage.readAll(), junk); // untouched
    garbage.close();
    QVERIFY(!table.active());

    QVERIFY(QFile::resize(box.dbPath(), 0)); // an empty file: a database with no table
    message = errorOf([&] { openIn(table); });
    QVERIFY2(message.contains(QStringLiteral("no table \"contacts\"")), qPrintable(message));
    {
        RawDb raw(box.dbPath());
        QVERIFY(raw.exec(
            QStringLiteral("CREATE TABLE people (nick TEXT);"
                           "CREATE VIEW contacts AS SELECT nick AS \"IRC Nick\" FROM people")));
    }
    message = errorOf([&] { openIn(table); });
    QVERIFY2(message.contains(QStringLiteral("view")), qPrintable(message));

    QVERIFY(QFile::remove(box.dbPath()));
    QVERIFY(QDir(box.dataDir()).mkpath(QStringLiteral("palvane.db")));
    message = errorOf([&] { openIn(table); });
    QVERIFY2(message.contains(QStringLiteral("directory")), qPrintable(message));
    QVERIFY(!table.active());
}

void TestStoreTable::missingFieldAndIndex() {
    Sandbox box;
    QVERIFY(QDir(box.path()).mkpath(QStringLiteral("data")));
    {
        RawDb raw(box.dbPath());
        QVERIFY(raw.exec(QStringLiteral(
            "CREATE TABLE contacts (\"IRC Nick\" VARCHAR(64), \"IRC Name\" VARCHAR(128), "
            "\"IRC Location\" VARCHAR(128), \"IRC Email\" VARCHAR(254), "
            "\"IRC Time Displacement\" REAL, \"IRC Spin\" INTEGER, \"IRC Picture\" VARCHAR(4096));"
            "INSERT INTO contacts (\"IRC Nick\") VALUES ('bob'), ('alpha');")));
    }
    Table table;
    openIn(table); // a missing field does not stop the open ...
    QCOMPARE(nickOf(table), QStringLiteral("bob"));
    // ... it fails at its first use, named as asked.
    QCOMPARE(errorOf([&] { table.fieldByName(QStringLiteral("IRC NOTES")); }),
             QStringLiteral("Field 'IRC NOTES' not found"));
    QCOMPARE(errorOf([&] { table.field(palvane::FieldNotes).asString(); }),
             QStringLiteral("Field 'IRC Notes' not found"));
    table.insertRecord(kNewEntry);
    QCOMPARE(table.recordCount(), 3);
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("works"));
    table.post();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(), QStringLiteral("works"));

    // No nick index: selecting it fails with a clear message, every time, and the order stays
    // natural.
    table.first();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString message =
            errorOf([&] { table.setIndexName(QString::fromLatin1(palvane::kNickIndexName)); });
        QVERIFY2(message.contains(QStringLiteral("IRC NICK INDEX")) &&
                     message.contains(QStringLiteral("does not exist")) &&
                     message.contains(box.dbPath()),
                 qPrintable(message));
    }
    QCOMPARE(table.indexName(), QString());
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("alpha")); // natural order
    table.setKey();
    QVERIFY(errorOf([&] { table.gotoNearest(); }).contains(QStringLiteral("not selected")));
    QCOMPARE(table.state(), Table::State::Browsing);

    // An index by that name on another field is no nick index.
    table.close();
    {
        RawDb raw(box.dbPath());
        QVERIFY(
            raw.exec(QStringLiteral("CREATE INDEX \"IRC NICK INDEX\" ON contacts (\"IRC Name\")")));
    }
    openIn(table);
    QVERIFY(errorOf([&] {
                table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
            }).contains(QStringLiteral("does not have \"IRC Nick\"")));

    // Selecting an index: the same name twice does nothing; unknown names fail; the empty name
    // returns to natural order.
    table.close();
    {
        RawDb raw(box.dbPath());
        QVERIFY(
            raw.exec(QStringLiteral("DROP INDEX \"IRC NICK INDEX\";") + palvane::nickIndexSql()));
    }
    openIn(table);
    QSignalSpy changed(&table, &Table::dataChanged);
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(table.indexName(), QString::fromLatin1(palvane::kNickIndexName));
    QCOMPARE(errorOf([&] { table.setIndexName(QStringLiteral("irc nick index")); }),
             QStringLiteral("Index 'irc nick index' not found: the contact table has only the "
                            "index 'IRC NICK INDEX'"));
    QCOMPARE(walkForward(table), (QList<qint64>{3, 2, 1}));
    table.setIndexName(QString());
    QCOMPARE(walkForward(table), (QList<qint64>{1, 2, 3}));
}

void TestStoreTable::readOnlyTable() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("bob")), contact(QStringLiteral("alpha"))});
    const quint32 counter = palvane::test::changeCounter(box.dbPath());
    Table table;
    table.setReadOnly(true);
    openIn(table);
    QVERIFY(table.readOnly());
    QCOMPARE(errorOf([&] { table.edit(); }), kReadOnly);
    QCOMPARE(errorOf([&] { table.insertRecord(kNewEntry); }), kReadOnly);
    const QString message = errorOf([&] { table.deleteRecord(); });
    QVERIFY2(message.contains(QStringLiteral("readonly")) && message.contains(box.dbPath()),
             qPrintable(message));
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.recordCount(), 2);
    QCOMPARE(nickOf(table), QStringLiteral("bob"));
    search(table, QStringLiteral("a")); // reading and searching still work
    QCOMPARE(nickOf(table), QStringLiteral("alpha"));
    table.close();
    QCOMPARE(palvane::test::changeCounter(box.dbPath()), counter);

    // A file that cannot be written opens read-only by itself (root may write anything, so
    // this part needs an ordinary user).
    if (::geteuid() != 0) {
        QVERIFY(QFile::setPermissions(box.dbPath(), QFile::ReadOwner | QFile::ReadGroup));
        Table plain;
        openIn(plain);
        QVERIFY(plain.readOnly());
        QCOMPARE(errorOf([&] { plain.edit(); }), kReadOnly);
    }
}

void TestStoreTable::lockHeldByAnotherProgram() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("alpha")), contact(QStringLiteral("bob"))});
    Table table;
    table.setBusyTimeout(100);
    openIn(table);
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Changed"));

    RawDb other(box.dbPath());
    QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    const QString message = errorOf([&] { table.post(); });
    const QString busy = kBusy;
    QVERIFY2(message.contains(busy) && message.contains(box.dbPath()), qPrintable(message));
    // The record stays in editing with what was written; the next move tries again.
    QCOMPARE(table.state(), Table::State::Editing);
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(), QStringLiteral("Changed"));
    QVERIFY(errorOf([&] { table.next(); }).contains(busy));
    QCOMPARE(table.state(), Table::State::Editing);
    QCOMPARE(table.currentRowId(), 1);

    QVERIFY(other.exec(QStringLiteral("COMMIT")));
    table.next();
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(nickOf(table), QStringLiteral("bob"));
    QCOMPARE(other.value(QStringLiteral("SELECT \"IRC Name\" FROM contacts WHERE rowid = 1")),
             QStringLiteral("Changed"));

    // Reads wait for the lock too, and fail clearly rather than hang.
    QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    QVERIFY(errorOf([&] { table.prior(); }).contains(busy));
    QCOMPARE(nickOf(table), QStringLiteral("bob"));
    // An insertion refused by the lock stays pending and is stored by the next re-read.
    QVERIFY(errorOf([&] { table.insertRecord(kNewEntry); }).contains(busy));
    QCOMPARE(table.state(), Table::State::Inserting);
    QVERIFY(other.exec(QStringLiteral("COMMIT")));
    table.refresh();
    QCOMPARE(table.state(), Table::State::Browsing);
    QCOMPARE(table.recordCount(), 3);
    QCOMPARE(table.currentRowId(), 3);
}

void TestStoreTable::briefLockPasses() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("alpha"))});
    Table table;
    table.setBusyTimeout(10000);
    openIn(table);
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Patient"));

    std::promise<void> locked;
    std::thread holder([path = box.dbPath(), &locked] {
        RawDb other(path);
        other.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.exec(QStringLiteral("COMMIT"));
    });
    locked.get_future().wait();
    table.post(); // waits for the lock to pass
    holder.join();
    QCOMPARE(table.state(), Table::State::Browsing);
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT \"IRC Name\" FROM contacts")),
             QStringLiteral("Patient"));
}

void TestStoreTable::writeOfSeveralSteps_data() {
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("stored");
    QTest::newRow("committed") << "commit" << true;
    QTest::newRow("rolled back") << "rollback" << false;
    QTest::newRow("table closed") << "close" << false;
    QTest::newRow("left by an error") << "scope" << false;
    QTest::newRow("commit kept from the file by a reader") << "reader" << false;
}

void TestStoreTable::writeOfSeveralSteps() {
    QFETCH(QString, ending);
    QFETCH(bool, stored);
    Sandbox box;
    box.createTable({contact(QStringLiteral("alpha")), contact(QStringLiteral("bob"))});
    Table table, second;
    for (Table* each : {&table, &second}) {
        each->setBusyTimeout(100);
        openIn(*each);
    }
    RawDb other(box.dbPath());
    const QString countSql = QStringLiteral("SELECT COUNT(*) FROM contacts");
    const QString nameSql = QStringLiteral("SELECT \"IRC Name\" FROM contacts WHERE rowid = 1");
    const QString nameBefore = other.value(nameSql);
    {
        std::optional<TableWrite> write(std::in_place, table);
        QVERIFY(table.writing());
        table.insertRecord(kNewEntry);
        table.first();
        table.edit();
        table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Changed"));
        table.post();
        // Others read the table as it was, and another writer waits in vain.
        QCOMPARE(other.value(countSql), QStringLiteral("2"));
        QVERIFY(errorOf([&] { second.beginWrite(); }).contains(kBusy));
        QVERIFY(!second.writing());
        if (ending == QLatin1String("commit")) {
            write->commit();
        } else if (ending == QLatin1String("rollback")) {
            table.rollbackWrite();
        } else if (ending == QLatin1String("close")) {
            table.close();
        } else if (ending == QLatin1String("scope")) {
            write.reset();
        } else {
            QVERIFY(other.exec(QStringLiteral("BEGIN; SELECT COUNT(*) FROM contacts")));
            QVERIFY(errorOf([&] { write->commit(); }).contains(kBusy));
            QVERIFY(other.exec(QStringLiteral("COMMIT")));
        }
        QVERIFY(!table.writing());
    }
    QCOMPARE(other.value(countSql), QString::number(stored ? 3 : 2));
    QCOMPARE(other.value(nameSql), stored ? QStringLiteral("Changed") : nameBefore);
    if (table.active()) {
        QCOMPARE(table.state(), Table::State::Browsing);
        QCOMPARE(table.currentRowId(), 1);
        QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(),
                 stored ? QStringLiteral("Changed") : QString());
    }
    // The lock is free again, and the next write starts from what the file holds.
    second.beginWrite();
    QCOMPARE(second.recordCount(), stored ? 3 : 2);
    second.commitWrite();
}

void TestStoreTable::changesByAnotherProgram() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("a")), contact(QStringLiteral("b")),
                     contact(QStringLiteral("c")), contact(QStringLiteral("d"))});
    RawDb other(box.dbPath());
    Table table;
    openIn(table);
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    QCOMPARE(nickOf(table), QStringLiteral("a"));

    QVERIFY(other.exec(QStringLiteral("INSERT INTO contacts (\"IRC Nick\") VALUES ('aa')")));
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("aa")); // an insertion is seen at the next move
    QVERIFY(other.exec(QStringLiteral("DELETE FROM contacts WHERE \"IRC Nick\" = 'b'")));
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("c")); // a deletion too

    QVERIFY(other.exec(QStringLiteral("UPDATE contacts SET \"IRC Name\" = 'Cee' WHERE rowid = 3")));
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(), QString());
    table.refresh();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString(), QStringLiteral("Cee"));

    // The current record deleted elsewhere: a re-read lands on its follower ...
    QVERIFY(other.exec(QStringLiteral("DELETE FROM contacts WHERE rowid = 3")));
    table.refresh();
    QCOMPARE(nickOf(table), QStringLiteral("d"));
    // ... or, with none, on the new last record.
    QVERIFY(other.exec(QStringLiteral("DELETE FROM contacts WHERE rowid = 4")));
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("aa"));

    // An edit of a record that was deleted meanwhile is stored anew rather than lost.
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Kept"));
    QVERIFY(other.exec(QStringLiteral("DELETE FROM contacts WHERE \"IRC Nick\" = 'aa'")));
    table.post();
    QCOMPARE(table.recordCount(), 2);
    QCOMPARE(nickOf(table), QStringLiteral("aa"));
    QCOMPARE(
        other.value(QStringLiteral("SELECT \"IRC Name\" FROM contacts WHERE \"IRC Nick\" = 'aa'")),
        QStringLiteral("Kept"));
    QCOMPARE(other.value(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("delete"));
}

void TestStoreTable::dataChangedSignal() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("a")), contact(QStringLiteral("b"))});
    Table table;
    QSignalSpy changed(&table, &Table::dataChanged);
    int expected = 0;
    const auto check = [&](const char* step, int added) {
        expected += added;
        QVERIFY2(changed.size() == expected, step);
    };
    openIn(table);
    check("open", 1);
    table.next();
    check("next", 1);
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    check("index", 1);
    search(table, QStringLiteral("a"));
    check("search", 1);
    table.insertRecord(kNewEntry);
    check("insert", 1);
    table.edit();
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("c"));
    check("edit", 0);
    table.post();
    check("post", 1);
    table.deleteRecord();
    check("delete", 1);
    table.refresh();
    check("refresh", 1);
    table.close();
    check("close", 1);
}

void TestStoreTable::cutToDeclaredLength() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("seed"))});
    Table table;
    openIn(table);
    QCOMPARE(table.fieldLength(palvane::FieldNick), palvane::kNickLength);
    QCOMPARE(table.fieldLength(palvane::FieldSpin), 0);
    const QString smiley = QString::fromUtf8("\xF0\x9F\x98\x80"); // one code point, two halves
    const auto stored = [&](const QString& nick) {
        table.edit();
        table.fieldByName(QStringLiteral("IRC Nick")).setAsString(nick);
        table.post();
        return nickOf(table);
    };
    // Lengths count characters, not UTF-16 halves: 62 letters and two smileys fit in 64.
    const QString fits = QString(62, QLatin1Char('a')) + smiley + smiley;
    QCOMPARE(stored(fits), fits);
    QCOMPARE(stored(QString(63, QLatin1Char('a')) + smiley + QLatin1Char('b')),
             QString(63, QLatin1Char('a')) + smiley);
    // A cut never leaves half a character.
    QCOMPARE(stored(QString(64, QLatin1Char('a')) + smiley), QString(64, QLatin1Char('a')));
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT length(\"IRC Nick\") FROM contacts")),
             QStringLiteral("64"));
    table.close();

    // The lengths are those the file declares; plain TEXT is unlimited.
    QVERIFY(QFile::remove(box.dbPath()));
    {
        RawDb fresh(box.dbPath());
        QVERIFY(fresh.exec(
            QStringLiteral(
                "CREATE TABLE contacts (\"IRC Nick\" VARCHAR(5), \"IRC Name\" TEXT, "
                "\"IRC Location\" CHAR(3), \"IRC Email\" VARCHAR(254), \"IRC Notes\" TEXT, "
                "\"IRC Time Displacement\" REAL, \"IRC Spin\" INTEGER, \"IRC Picture\" TEXT);"
                "INSERT INTO contacts (\"IRC Nick\") VALUES ('x');") +
            palvane::nickIndexSql()));
    }
    openIn(table);
    QCOMPARE(table.fieldLength(palvane::FieldNick), 5);
    QCOMPARE(table.fieldLength(palvane::FieldName), 0);
    table.edit();
    table.fieldByName(QStringLiteral("IRC Nick"))
        .setAsString(QStringLiteral("abcd") + smiley + QStringLiteral("x"));
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QString(10000, QLatin1Char('n')));
    table.fieldByName(QStringLiteral("IRC Location")).setAsString(QString::fromUtf8("αβγδ"));
    table.post();
    QCOMPARE(nickOf(table), QStringLiteral("abcd") + smiley);
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Name")).asString().size(), 10000);
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Location")).asString(),
             QString::fromUtf8("αβγ"));
    search(table, QStringLiteral("abcd") + smiley + QStringLiteral("zzz")); // the key is cut too
    QCOMPARE(nickOf(table), QStringLiteral("abcd") + smiley);
}

void TestStoreTable::nicksOfOtherTypes() {
    // A file made by another program whose nick column has no type can hold numbers and blobs;
    // browsing must still visit every record once, the same way back as forth.
    Sandbox box;
    QVERIFY(QDir(box.path()).mkpath(QStringLiteral("data")));
    {
        RawDb raw(box.dbPath());
        QVERIFY(raw.exec(
            QStringLiteral(
                "CREATE TABLE contacts (\"IRC Nick\", \"IRC Name\" TEXT, \"IRC Location\" TEXT, "
                "\"IRC Email\" TEXT, \"IRC Notes\" TEXT, \"IRC Time Displacement\" REAL, "
                "\"IRC Spin\" INTEGER, \"IRC Picture\" TEXT);"
                "INSERT INTO contacts (\"IRC Nick\") VALUES (5), ('x'), (NULL), (''), (X'41'), "
                "(2.5), "
                "('A'), (5);") +
            palvane::nickIndexSql()));
    }
    Table table;
    openIn(table);
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    const QList<qint64> order{3, 4, 6, 1, 8, 7, 2, 5};
    QCOMPARE(walkForward(table), order);
    QCOMPARE(walkBackward(table), reversed(order));
    search(table, QStringLiteral("b"));
    QCOMPARE(table.currentRowId(), 2);
    table.first();
    table.next();
    table.next();
    QCOMPARE(nickOf(table), QStringLiteral("2.5"));
}

void TestStoreTable::queryPlansUseIndexes() {
    Sandbox box;
    box.createTable();
    palvane::insertContacts(box.dbPath(), 3000, [](qint64 i, palvane::ContactRow& row) {
        row.nick = i % 10 == 0 ? QString() : QStringLiteral("nick%1").arg(i % 700);
    });
    Table table;
    openIn(table);
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    const QStringList statements = table.cursorStatementTexts();
    QCOMPARE(statements.size(), 13);
    RawDb raw(box.dbPath());
    // With and without the statistics another tool's ANALYZE leaves behind.
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            QVERIFY(raw.exec(QStringLiteral("ANALYZE")));
        for (const QString& statement : statements) {
            sqlite3_stmt* stmt = nullptr;
            QCOMPARE(sqlite3_prepare_v2(raw.get(),
                                        ("EXPLAIN QUERY PLAN " + statement).toUtf8().constData(),
                                        -1, &stmt, nullptr),
                     SQLITE_OK);
            QStringList details;
            while (sqlite3_step(stmt) == SQLITE_ROW)
                details << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
            sqlite3_finalize(stmt);
            QVERIFY(!details.isEmpty());
            // Every step is an index or rowid search; nothing scans the table.
            for (const QString& detail : details)
                QVERIFY2(detail.startsWith(QStringLiteral("SEARCH contacts USING")) ||
                             detail.startsWith(QStringLiteral("SCALAR SUBQUERY")),
                         qPrintable(statement + QStringLiteral(" -> ") + detail));
        }
    }
    // And the walk over the whole table agrees with a sort done by the engine.
    QStringList expected = raw.column(QStringLiteral(
        "SELECT rowid FROM contacts ORDER BY coalesce(\"IRC Nick\", '') COLLATE NOCASE, rowid"));
    QStringList walked;
    for (qint64 rowid : walkForward(table))
        walked << QString::number(rowid);
    QCOMPARE(walked, expected);
}

QTEST_GUILESS_MAIN(TestStoreTable)
#include "test_store_table.moc"
