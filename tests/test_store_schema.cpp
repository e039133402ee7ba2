// Creating and filling contact tables outside the program.

#include "store/contact_stream.h"
#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"
#include "tests/test_store_raw.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <stdexcept>

using palvane::ContactRow;
using palvane::TableError;
using palvane::test::RawDb;
using palvane::test::Sandbox;

namespace {

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const TableError& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

class TestStoreSchema : public QObject {
    Q_OBJECT

private slots:
    void createsTableAndIndex();
    void refusesToOverwrite();
    void insertAndReadBack();
    void bulkInsert();
};

void TestStoreSchema::createsTableAndIndex() {
    Sandbox box;
    const QString path = box.path() + QStringLiteral("/new/deeper/palvane.db");
    palvane::createContactTable(path); // makes the missing directories
    RawDb raw(path, SQLITE_OPEN_READONLY);
    QCOMPARE(
        raw.column(QStringLiteral("SELECT name || ' ' || type FROM pragma_table_info('contacts') "
                                  "ORDER BY cid")),
        (QStringList{
            QStringLiteral("IRC Nick VARCHAR(64)"), QStringLiteral("IRC Name VARCHAR(128)"),
            QStringLiteral("IRC Location VARCHAR(128)"), QStringLiteral("IRC Email VARCHAR(254)"),
            QStringLiteral("IRC Notes VARCHAR(32000)"),
            QStringLiteral("IRC Time Displacement REAL"), QStringLiteral("IRC Spin INTEGER"),
            QStringLiteral("IRC Picture VARCHAR(4096)")}));
    QCOMPARE(raw.column(QStringLiteral(
                 "SELECT name || ' ' || coll FROM pragma_index_xinfo('IRC NICK INDEX') "
                 "WHERE key")),
             QStringList{QStringLiteral("IRC Nick NOCASE")});
    QCOMPARE(raw.value(QStringLiteral("SELECT \"unique\" FROM pragma_index_list('contacts')")),
             QStringLiteral("0")); // equal nicks are allowed
    QCOMPARE(raw.value(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("delete"));

    // The table opens empty.
    QDir::setCurrent(box.path());
    palvane::Table table;
    table.setDatabaseName(QStringLiteral("new/deeper"));
    table.setTableName(QStringLiteral("palvane.db"));
    table.open();
    QVERIFY(table.isEmpty());
    QCOMPARE(table.filePath(), path);
}

void TestStoreSchema::refusesToOverwrite() {
    Sandbox box;
    QVERIFY(QDir(box.path()).mkpath(QStringLiteral("data")));
    QFile file(box.dbPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("precious");
    file.close();
    const QString message = errorOf([&] { palvane::createContactTable(box.dbPath()); });
    QVERIFY2(message.contains(QStringLiteral("already exists")) && message.contains(box.dbPath()),
             qPrintable(message));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("precious"));
    file.close();

    // A directory that cannot be made (a file stands in its way).
    const QString blocked = box.path() + QStringLiteral("/data/palvane.db/inner.db");
    QVERIFY(errorOf([&] {
                palvane::createContactTable(blocked);
            }).contains(QStringLiteral("cannot be made")));
}

void TestStoreSchema::insertAndReadBack() {
    Sandbox box;
    QVERIFY(errorOf([&] {
                palvane::insertContacts(box.dbPath(), {ContactRow()});
            }).contains(QStringLiteral("does not exist")));
    QVERIFY(!QFile::exists(box.dbPath()));

    box.createTable();
    ContactRow full;
    full.nick = QString(100, QLatin1Char('n')); // longer than the field: cut
    full.name = QStringLiteral("Name");
    full.location = QStringLiteral("Place");
    full.email = QStringLiteral("a@b.c");
    full.notes = QStringLiteral("line one\nline two");
    full.timeDisplacement = -5 / 24.0;
    full.spin = -5;
    full.picture = QStringLiteral("/pictures/a.bmp");
    ContactRow blank; // null strings and absent numbers: blank fields
    blank.timeDisplacement.reset();
    blank.spin.reset();
    palvane::insertContacts(box.dbPath(), {full, blank});

    const std::vector<ContactRow> rows = palvane::readContacts(box.dbPath());
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(rows[0].nick, QString(palvane::kNickLength, QLatin1Char('n')));
    QCOMPARE(rows[0].notes, full.notes);
    QCOMPARE(rows[0].timeDisplacement, full.timeDisplacement);
    QCOMPARE(rows[0].spin, std::optional<int>(-5));
    QCOMPARE(rows[0].picture, full.picture);
    QVERIFY(rows[1].nick.isNull());
    QVERIFY(!rows[1].timeDisplacement.has_value());
    QVERIFY(!rows[1].spin.has_value());
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT typeof(\"IRC Nick\") FROM contacts WHERE rowid = 2")),
             QStringLiteral("null"));

    // The cursor steps through the same rows and counts them.
    palvane::ContactCursor cursor(box.dbPath());
    QCOMPARE(cursor.count(), qint64(2));
    ContactRow row;
    QVERIFY(cursor.next(row) && row.nick == rows[0].nick && row.spin == rows[0].spin);
    QVERIFY(cursor.next(row) && row.nick.isNull() && !row.timeDisplacement);
    QVERIFY(!cursor.next(row) && !cursor.next(row));

    // A table without one of the fields is refused rather than filled partly.
    QVERIFY(raw.exec(QStringLiteral("ALTER TABLE contacts DROP COLUMN \"IRC Notes\"")));
    QCOMPARE(errorOf([&] { palvane::insertContacts(box.dbPath(), {full}); }),
             QStringLiteral("Field 'IRC Notes' not found"));
    // A file without the table says so by the kind of error, for callers that advise.
    QVERIFY(raw.exec(QStringLiteral("DROP TABLE contacts")));
    QVERIFY_THROWS_EXCEPTION(palvane::MissingTableError, palvane::ContactCursor(box.dbPath()));
    QVERIFY_THROWS_EXCEPTION(palvane::MissingTableError, palvane::ContactInserter(box.dbPath(), 0));
}

void TestStoreSchema::bulkInsert() {
    Sandbox box;
    box.createTable();
    const auto make = [](qint64 i, ContactRow& row) {
        row.nick = QStringLiteral("nick%1").arg(i % 5000);
        row.spin = int(i % 25) - 11;
    };
    palvane::insertContacts(box.dbPath(), 20000, make); // empty table: the index is rebuilt
    RawDb raw(box.dbPath());
    QCOMPARE(raw.value(QStringLiteral("SELECT count(*) FROM contacts")), QStringLiteral("20000"));
    QCOMPARE(raw.value(QStringLiteral("SELECT sql FROM sqlite_schema WHERE type = 'index'")),
             palvane::nickIndexSql());
    QCOMPARE(raw.value(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));

    // A failure half-way leaves the table as it was, index included.
    QVERIFY(QFile::remove(box.dbPath()));
    box.createTable();
    QVERIFY_THROWS_EXCEPTION(
        std::runtime_error,
        palvane::insertContacts(box.dbPath(), 20000, [&](qint64 i, ContactRow& row) {
            if (i == 15000)
                throw std::runtime_error("generator failed");
            make(i, row);
        }));
    RawDb again(box.dbPath());
    QCOMPARE(again.value(QStringLiteral("SELECT count(*) FROM contacts")), QStringLiteral("0"));
    QCOMPARE(again.value(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'index'")),
             QStringLiteral("1"));

    // Appending to a filled table keeps the index up to date row by row.
    palvane::insertContacts(box.dbPath(), {palvane::test::contact(QStringLiteral("first"))});
    palvane::insertContacts(box.dbPath(), 12000, make);
    QCOMPARE(again.value(QStringLiteral("SELECT count(*) FROM contacts")), QStringLiteral("12001"));
    QCOMPARE(again.value(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(TestStoreSchema)
#include "test_store_schema.moc"
