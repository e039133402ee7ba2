// Two-way sync against real CardDAV servers (Radicale and Xandikos, started here on
// 127.0.0.1): a table of scenarios over one fixture. Every scenario ends with a second run
// that must find nothing to do, and with the properties the table has no field for still on
// the server's cards.

#include "tests/sync/sync_fixture.h"

#include <QTest>

using palvane::sync::Prefer;
using palvane::test::DavServer;
using palvane::test::SyncFixture;

Q_DECLARE_METATYPE(Prefer)
Q_DECLARE_METATYPE(DavServer::Kind)

class TestSync : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void scenarios_data();
    void scenarios();
};

void TestSync::initTestCase() {
    // No desktop's secret store, nor a bus to start one on.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void TestSync::scenarios_data() {
    QTest::addColumn<DavServer::Kind>("kind");
    QTest::addColumn<QStringList>("table");     // the table's contacts before
    QTest::addColumn<QStringList>("server");    // the server's cards before
    QTest::addColumn<bool>("synced");           // one run before the edits
    QTest::addColumn<QStringList>("local");     // edits in the table
    QTest::addColumn<QStringList>("remote");    // edits on the server
    QTest::addColumn<QStringList>("meanwhile"); // on the server, just before an upload
    QTest::addColumn<Prefer>("prefer");
    QTest::addColumn<int>("conflicts");
    QTest::addColumn<QStringList>("expectTable");
    QTest::addColumn<QStringList>("expectServer");

    const QStringList two = {"ann,Ann Lee,ann@example.org", "bob,Bob Marsh,bob@example.org"};
    const QStringList three = two + QStringList{"carl,Carl Kay,carl@example.org"};
    struct Kind {
        const char* name;
        DavServer::Kind kind;
    };
    for (const Kind& server : {Kind{"radicale", DavServer::Kind::Radicale},
                               Kind{"xandikos", DavServer::Kind::Xandikos}}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", server.name, name) << server.kind;
        };
        row("table to an empty address book")
            << two << QStringList() << false << QStringList() << QStringList() << QStringList()
            << Prefer::Neither << 0 << two << two;
        row("address book to an empty table")
            << QStringList() << two << false << QStringList() << QStringList() << QStringList()
            << Prefer::Neither << 0 << two << two;
        row("both filled: paired by nick and e-mail, the table preferred")
            << QStringList{"ann,,ann@example.org", "carl,Carl Kay,carl@example.org",
                           "eve,Eve Rand,eve@example.org"}
            << QStringList{"ann,Ann Lee,ann@example.org", "charlie,Carl Kay,carl@example.org",
                           "dave,Dave Ng,dave@example.org"}
            << false << QStringList() << QStringList() << QStringList() << Prefer::Local << 0
            << QStringList{"ann,Ann Lee,ann@example.org", "carl,Carl Kay,carl@example.org",
                           "dave,Dave Ng,dave@example.org", "eve,Eve Rand,eve@example.org"}
            << QStringList{"ann,Ann Lee,ann@example.org", "carl,Carl Kay,carl@example.org",
                           "dave,Dave Ng,dave@example.org", "eve,Eve Rand,eve@example.org"};
        row("both filled: a different nick of a pair is a conflict")
            << QStringList{"carl,Carl Kay,carl@example.org"}
            << QStringList{"charlie,Carl Kay,carl@example.org"} << false << QStringList()
            << QStringList() << QStringList() << Prefer::Neither << 1
            << QStringList{"carl,Carl Kay,carl@example.org"}
            << QStringList{"charlie,Carl Kay,carl@example.org"};
        row("edits of different fields on both sides merge")
            << QStringList() << two << true << QStringList{"ann.email=ann@new.example"}
            << QStringList{"ann.name=Ann Other", "bob.nick=bobby"} << QStringList()
            << Prefer::Neither << 0
            << QStringList{"ann,Ann Other,ann@new.example", "bobby,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Other,ann@new.example", "bobby,Bob Marsh,bob@example.org"};
        row("the same field changed alike on both sides")
            << QStringList() << two << true << QStringList{"ann.email=same@example.org"}
            << QStringList{"ann.email=same@example.org"} << QStringList() << Prefer::Neither << 0
            << QStringList{"ann,Ann Lee,same@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Lee,same@example.org", "bob,Bob Marsh,bob@example.org"};
        row("the same field changed differently: a conflict, nothing overwritten")
            << QStringList() << two << true << QStringList{"ann.email=mine@example.org"}
            << QStringList{"ann.email=theirs@example.org"} << QStringList() << Prefer::Neither << 1
            << QStringList{"ann,Ann Lee,mine@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Lee,theirs@example.org", "bob,Bob Marsh,bob@example.org"};
        row("the same field changed differently, the table preferred")
            << QStringList() << two << true << QStringList{"ann.email=mine@example.org"}
            << QStringList{"ann.email=theirs@example.org"} << QStringList() << Prefer::Local << 0
            << QStringList{"ann,Ann Lee,mine@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Lee,mine@example.org", "bob,Bob Marsh,bob@example.org"};
        row("the same field changed differently, the server preferred")
            << QStringList() << two << true << QStringList{"ann.email=mine@example.org"}
            << QStringList{"ann.email=theirs@example.org"} << QStringList() << Prefer::Server << 0
            << QStringList{"ann,Ann Lee,theirs@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Lee,theirs@example.org", "bob,Bob Marsh,bob@example.org"};
        row("new contacts and deletions on both sides")
            << QStringList() << three << true
            << QStringList{"del ann", "add zed,Zed Z,z@example.org"}
            << QStringList{"del bob", "add yan,Yan Y,y@example.org"} << QStringList()
            << Prefer::Neither << 0
            << QStringList{"carl,Carl Kay,carl@example.org", "yan,Yan Y,y@example.org",
                           "zed,Zed Z,z@example.org"}
            << QStringList{"carl,Carl Kay,carl@example.org", "yan,Yan Y,y@example.org",
                           "zed,Zed Z,z@example.org"};
        row("deleted in the table, changed on the server: a conflict")
            << QStringList() << two << true << QStringList{"del ann"}
            << QStringList{"ann.name=Ann Changed"} << QStringList() << Prefer::Neither << 1
            << QStringList{"bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Changed,ann@example.org", "bob,Bob Marsh,bob@example.org"};
        row("deleted in the table, changed on the server, the server preferred")
            << QStringList() << two << true << QStringList{"del ann"}
            << QStringList{"ann.name=Ann Changed"} << QStringList() << Prefer::Server << 0
            << QStringList{"ann,Ann Changed,ann@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Changed,ann@example.org", "bob,Bob Marsh,bob@example.org"};
        row("deleted in the table, changed on the server, the table preferred")
            << QStringList() << two << true << QStringList{"del ann"}
            << QStringList{"ann.name=Ann Changed"} << QStringList() << Prefer::Local << 0
            << QStringList{"bob,Bob Marsh,bob@example.org"}
            << QStringList{"bob,Bob Marsh,bob@example.org"};
        row("changed in the table, deleted on the server: a conflict")
            << QStringList() << two << true << QStringList{"ann.name=Ann Changed"}
            << QStringList{"del ann"} << QStringList() << Prefer::Neither << 1
            << QStringList{"ann,Ann Changed,ann@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"bob,Bob Marsh,bob@example.org"};
        row("changed in the table, deleted on the server, the table preferred")
            << QStringList() << two << true << QStringList{"ann.name=Ann Changed"}
            << QStringList{"del ann"} << QStringList() << Prefer::Local << 0
            << QStringList{"ann,Ann Changed,ann@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Changed,ann@example.org", "bob,Bob Marsh,bob@example.org"};
        row("changed in the table, deleted on the server, the server preferred")
            << QStringList() << two << true << QStringList{"ann.name=Ann Changed"}
            << QStringList{"del ann"} << QStringList() << Prefer::Server << 0
            << QStringList{"bob,Bob Marsh,bob@example.org"}
            << QStringList{"bob,Bob Marsh,bob@example.org"};
        row("a card changed between its fetch and its upload (412)")
            << QStringList() << two << true << QStringList{"ann.email=mine@example.org"}
            << QStringList() << QStringList{"ann.name=Ann Meanwhile"} << Prefer::Neither << 0
            << QStringList{"ann,Ann Meanwhile,mine@example.org", "bob,Bob Marsh,bob@example.org"}
            << QStringList{"ann,Ann Meanwhile,mine@example.org", "bob,Bob Marsh,bob@example.org"};
    }
}

void TestSync::scenarios() {
    QFETCH(DavServer::Kind, kind);
    QFETCH(QStringList, table);
    QFETCH(QStringList, server);
    QFETCH(bool, synced);
    QFETCH(QStringList, local);
    QFETCH(QStringList, remote);
    QFETCH(QStringList, meanwhile);
    QFETCH(Prefer, prefer);
    QFETCH(int, conflicts);
    QFETCH(QStringList, expectTable);
    QFETCH(QStringList, expectServer);

    SyncFixture f;
    QString problem;
    if (!f.start(kind, &problem))
        QFAIL(qPrintable(problem));
    f.seedServer(server);
    const QString path = f.box().dbPath();
    f.setUpTable(path, table);
    if (synced) {
        const auto first = f.sync(path);
        QCOMPARE(first.conflicts.size(), size_t(0));
    }
    f.editTable(local);
    QStringList foreign = f.foreignLines();
    f.editServer(remote);
    foreign << f.foreignLines();

    bool raced = meanwhile.isEmpty();
    const auto report = f.sync(path, prefer, [&](const QString&) {
        if (!raced) {
            raced = true;
            f.editServer(meanwhile);
        }
    });
    QVERIFY(raced);
    QCOMPARE(int(report.conflicts.size()), conflicts);
    QCOMPARE(f.tableContacts(path), expectTable);
    QCOMPARE(f.serverContacts(), expectServer);
    // What the table has no field for stays on the card: none of it comes down into the notes
    // (from where it would go up again, doubled).
    for (const palvane::ContactRow& row : palvane::readContacts(path))
        QVERIFY2(row.notes.isEmpty(), qPrintable(row.nick + QStringLiteral(": ") + row.notes));

    // Settled: the next run sends and takes nothing, and tells the same conflicts again.
    const auto again = f.sync(path);
    QCOMPARE(again.sent, 0);
    QCOMPARE(again.received, 0);
    QCOMPARE(int(again.conflicts.size()), conflicts);

    // The window's store, open all along, reads and writes the table the sync wrote.
    f.table().refresh();
    f.table().first();
    f.table().edit();
    f.table().fieldByName(QStringLiteral("IRC Notes")).setAsString(QStringLiteral("seen"));
    f.table().post();

    // What the table cannot hold stayed on every card that is still there.
    for (const QString& line : f.foreignLines())
        QVERIFY2(foreign.contains(line), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestSync)
#include "test_sync.moc"
