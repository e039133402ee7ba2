// Sync after the table was rewritten by the real sqlite3 shell, as a maintenance script would:
// a synced table with gaps in its rowids is compacted (VACUUM) or dumped and restored (which
// numbers the rows anew), sometimes together with ordinary changes, and the next sync must
// send exactly those changes, leaving every other card on the server byte for byte as it was.
// Against Radicale and Xandikos.

#include "sync/password_store.h"
#include "tests/sync/holding_proxy.h"
#include "tests/sync/sync_fixture.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using palvane::test::DavServer;
using palvane::test::HoldingProxy;
using palvane::test::SyncFixture;

Q_DECLARE_METATYPE(DavServer::Kind)

enum class Rewrite { Vacuum, DumpAndRestore };
Q_DECLARE_METATYPE(Rewrite)

namespace {

// Runs SQL through the sqlite3 shell; the error text, empty when it went well.
QString runShell(const QString& table, const QString& sql) {
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        return QStringLiteral("the sqlite3 shell is not installed (scripts/install-deps)");
    QProcess process;
    process.start(shell, {QStringLiteral("-bail"), table});
    process.write(sql.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QStringLiteral("sqlite3 failed: %1")
            .arg(QString::fromUtf8(process.readAllStandardError()));
    return {};
}

// The table rewritten after the SQL ran; the error text, empty when it went well.
QString rewrite(const QString& table, const QString& sql, Rewrite how) {
    if (how == Rewrite::Vacuum)
        return runShell(table, sql + QStringLiteral("VACUUM;"));
    if (const QString error = runShell(table, sql); !error.isEmpty())
        return error;
    QProcess dump;
    dump.start(QStandardPaths::findExecutable(QStringLiteral("sqlite3")),
               {table, QStringLiteral(".dump")});
    if (!dump.waitForFinished(30000) || dump.exitCode() != 0)
        return QStringLiteral("the dump failed");
    const QString text = QString::fromUtf8(dump.readAllStandardOutput());
    if (!QFile::remove(table))
        return QStringLiteral("the table cannot be removed");
    return runShell(table, text);
}

QString rowidOf(const QString& table, const QString& nick) {
    QProcess process;
    process.start(
        QStandardPaths::findExecutable(QStringLiteral("sqlite3")),
        {table, QStringLiteral("SELECT rowid FROM contacts WHERE \"IRC Nick\" = '%1'").arg(nick)});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

struct Card {
    QByteArray text;
    QString etag;
};

// Every card on the server by href, with its ETag.
QMap<QString, Card> cardsOf(DavServer& server) {
    QMap<QString, Card> cards;
    for (const QString& href : server.hrefs()) {
        Card card;
        card.text = server.card(href, &card.etag);
        cards.insert(href, card);
    }
    return cards;
}

// A table synced once with gaps before every synced contact (c0, c1 and c3 were deleted before
// the first sync); the problem, empty when it went well.
QString syncedWithGaps(SyncFixture& f, const QString& path) {
    QStringList contacts;
    for (int i = 0; i < 8; ++i)
        contacts << QStringLiteral("c%1,Person %1,c%1@example.org").arg(i);
    f.setUpTable(path, contacts);
    if (const QString error = runShell(
            path, QStringLiteral("DELETE FROM contacts WHERE \"IRC Nick\" IN ('c0', 'c1', 'c3');"));
        !error.isEmpty())
        return error;
    if (!f.sync(path).conflicts.empty())
        return QStringLiteral("the first sync found conflicts");
    return {};
}

bool mentions(const QByteArray& card, const QStringList& nicks) {
    for (const QString& nick : nicks)
        if (card.contains("NICKNAME:" + nick.toUtf8() + "\r\n"))
            return true;
    return false;
}

} // namespace

class TestSyncRenumbering : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void compacted_data();
    void compacted();
    void renumberedBeforeANewSetUp_data();
    void renumberedBeforeANewSetUp();
};

void TestSyncRenumbering::initTestCase() {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void TestSyncRenumbering::compacted_data() {
    QTest::addColumn<DavServer::Kind>("kind");
    QTest::addColumn<Rewrite>("how");
    QTest::addColumn<QString>("sql");            // run by the sqlite3 shell with the VACUUM
    QTest::addColumn<QStringList>("remote");     // edits on the server meanwhile
    QTest::addColumn<int>("sent");               // cards created, changed or deleted
    QTest::addColumn<int>("received");           // contacts changed in the table
    QTest::addColumn<QStringList>("touched");    // nicks whose cards may change; no others
    QTest::addColumn<QStringList>("expectBoth"); // the contacts on both sides after

    const QStringList all = {"c2,Person 2,c2@example.org", "c4,Person 4,c4@example.org",
                             "c5,Person 5,c5@example.org", "c6,Person 6,c6@example.org",
                             "c7,Person 7,c7@example.org"};
    const auto without = [&](const QString& nick) {
        QStringList kept = all;
        kept.removeIf([&](const QString& c) { return c.startsWith(nick + QLatin1Char(',')); });
        return kept;
    };
    struct Kind {
        const char* name;
        DavServer::Kind kind;
    };
    for (const Kind& server : {Kind{"radicale", DavServer::Kind::Radicale},
                               Kind{"xandikos", DavServer::Kind::Xandikos}}) {
        const auto row = [&](Rewrite how, const char* name) -> QTestData& {
            return QTest::addRow("%s, %s: %s", server.name,
                                 how == Rewrite::Vacuum ? "vacuum" : "dump and restore", name)
                   << server.kind << how;
        };
        for (const Rewrite how : {Rewrite::Vacuum, Rewrite::DumpAndRestore}) {
            row(how, "alone: nothing goes up or down")
                << QString() << QStringList() << 0 << 0 << QStringList() << all;
            row(how, "with a deletion, an edit and a new contact: exactly those go up")
                << QStringLiteral(
                       "DELETE FROM contacts WHERE \"IRC Nick\" = 'c4';"
                       "UPDATE contacts SET \"IRC Email\" = 'c6@new.example' "
                       "WHERE \"IRC Nick\" = 'c6';"
                       "INSERT INTO contacts (\"IRC Nick\", \"IRC Name\", \"IRC Email\", "
                       "\"IRC Time Displacement\", \"IRC Spin\") "
                       "VALUES ('zed', 'Zed Z', 'zed@example.org', 0, 0);")
                << QStringList() << 3 << 0 << QStringList{"c4", "c6", "zed"}
                << QStringList{"c2,Person 2,c2@example.org", "c5,Person 5,c5@example.org",
                               "c6,Person 6,c6@new.example", "c7,Person 7,c7@example.org",
                               "zed,Zed Z,zed@example.org"};
        }
        // This engine's VACUUM keeps the rowids of a table with an index; a dump renumbers.
        const Rewrite dump = Rewrite::DumpAndRestore;
        row(dump, "a contact whose nick changed is found by its e-mail address")
            << QStringLiteral("UPDATE contacts SET \"IRC Nick\" = 'c5new' "
                              "WHERE \"IRC Nick\" = 'c5';")
            << QStringList() << 1 << 0 << QStringList{"c5", "c5new"}
            << QStringList{"c2,Person 2,c2@example.org", "c4,Person 4,c4@example.org",
                           "c5new,Person 5,c5@example.org", "c6,Person 6,c6@example.org",
                           "c7,Person 7,c7@example.org"};
        row(dump, "a card changed on the server reaches its own contact")
            << QString() << QStringList{"c6.email=c6@server.example"} << 0 << 1 << QStringList{"c6"}
            << QStringList{"c2,Person 2,c2@example.org", "c4,Person 4,c4@example.org",
                           "c5,Person 5,c5@example.org", "c6,Person 6,c6@server.example",
                           "c7,Person 7,c7@example.org"};
        row(dump, "a card deleted on the server takes its own contact")
            << QString() << QStringList{"del c5"} << 0 << 1 << QStringList{"c5"} << without("c5");
    }
}

void TestSyncRenumbering::compacted() {
    QFETCH(DavServer::Kind, kind);
    QFETCH(Rewrite, how);
    QFETCH(QString, sql);
    QFETCH(QStringList, remote);
    QFETCH(int, sent);
    QFETCH(int, received);
    QFETCH(QStringList, touched);
    QFETCH(QStringList, expectBoth);

    SyncFixture f;
    QString problem;
    if (!f.start(kind, &problem))
        QFAIL(qPrintable(problem));
    const QString path = f.box().path() + QStringLiteral("/compacted.db");
    QCOMPARE(syncedWithGaps(f, path), QString());
    QCOMPARE(f.sync(path).sent, 0); // settled, the server's listing past its own uploads
    const QMap<QString, Card> before = cardsOf(f.server());
    const QString rowidBefore = rowidOf(path, QStringLiteral("c7"));

    QCOMPARE(rewrite(path, sql, how), QString());
    if (how == Rewrite::DumpAndRestore)
        QVERIFY2(rowidOf(path, QStringLiteral("c7")) != rowidBefore, "the rowids were kept");
    f.editServer(remote);
    const QMap<QString, Card> edited = cardsOf(f.server());

    const auto report = f.sync(path);
    QCOMPARE(report.conflicts.size(), size_t(0));
    QCOMPARE(int(report.sent), sent);
    QCOMPARE(int(report.received), received);
    QCOMPARE(f.tableContacts(path), expectBoth);
    QCOMPARE(f.serverContacts(), expectBoth);
    // Every card not touched is still there, byte for byte, under the same ETag.
    const QMap<QString, Card> after = cardsOf(f.server());
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (mentions(it->text, touched))
            continue;
        QVERIFY2(after.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(after[it.key()].text, edited[it.key()].text);
        QCOMPARE(after[it.key()].etag, edited[it.key()].etag);
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        QVERIFY2(before.contains(it.key()) || mentions(it->text, touched), it->text.constData());

    // Settled: the next run finds nothing to do.
    const auto again = f.sync(path);
    QCOMPARE(again.sent, 0);
    QCOMPARE(again.received, 0);
    QCOMPARE(again.refound, 0);
}

void TestSyncRenumbering::renumberedBeforeANewSetUp_data() {
    QTest::addColumn<DavServer::Kind>("kind");
    QTest::newRow("radicale") << DavServer::Kind::Radicale;
    QTest::newRow("xandikos") << DavServer::Kind::Xandikos;
}

// The UIDs of the cards are remembered by rowid when the set-up names another address book
// (here the same one through a relay, as after a move of the server); a dump and restore
// before the first sync with it must not pair a card with whichever contact took its rowid.
void TestSyncRenumbering::renumberedBeforeANewSetUp() {
    QFETCH(DavServer::Kind, kind);
    SyncFixture f;
    QString problem;
    if (!f.start(kind, &problem))
        QFAIL(qPrintable(problem));
    const QString path = f.box().path() + QStringLiteral("/moved.db");
    QCOMPARE(syncedWithGaps(f, path), QString());
    const QStringList synced = f.serverContacts();
    const int cards = int(f.server().hrefs().size());

    HoldingProxy relay(quint16(f.server().root().port()));
    QUrl moved = f.server().addressBook();
    moved.setPort(relay.port());
    const auto setup = palvane::sync::setUp(path, moved.toString(), f.server().user(),
                                            f.server().password(), QString());
    QString place;
    palvane::sync::storePassword(setup.url, setup.user, f.server().password(), &place);
    QCOMPARE(rewrite(path, QString(), Rewrite::DumpAndRestore), QString());

    const auto report = f.sync(path);
    QCOMPARE(report.conflicts.size(), size_t(0));
    QCOMPARE(f.tableContacts(path), synced);
    QCOMPARE(f.serverContacts(), synced);
    QCOMPARE(int(f.server().hrefs().size()), cards);
}

QTEST_GUILESS_MAIN(TestSyncRenumbering)
#include "test_sync_renumbering.moc"
