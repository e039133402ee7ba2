// Sync when things go wrong or come from the command line: refused passwords and
// certificates, the server or the tool killed at an exact request and a clean finish after,
// two tables converging through one server, and the command's exit statuses and outputs.

#include "store/schema.h"
#include "tests/support/table_tool.h"
#include "tests/sync/holding_proxy.h"
#include "tests/sync/sync_fixture.h"

#include <sqlite3.h>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <signal.h>

using palvane::sync::Prefer;
using palvane::sync::SyncError;
using palvane::test::DavServer;
using palvane::test::HoldingProxy;
using palvane::test::runTool;
using palvane::test::SyncFixture;
using palvane::test::ToolRun;

namespace {

QStringList numbered(const QString& prefix, int count) {
    QStringList contacts;
    for (int i = 0; i < count; ++i)
        contacts << QStringLiteral("%1%2,Person %2,%1%2@example.org").arg(prefix).arg(i);
    return contacts;
}

// Each contact and card exactly once: no nick twice.
void checkOnce(const QStringList& contacts, int expected) {
    QCOMPARE(contacts.size(), expected);
    QCOMPARE(QSet<QString>(contacts.begin(), contacts.end()).size(), expected);
}

// The tool run while this process's event loop keeps relaying its requests.
ToolRun runRelayed(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(PALVANE_TABLE_TOOL), arguments);
    tool.closeWriteChannel();
    ToolRun run;
    if (!QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, 120000) ||
        tool.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = tool.exitCode();
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

} // namespace

class TestSyncRecovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusals_data();
    void refusals();
    void interrupted_data();
    void interrupted();
    void twoTablesConverge();
    void commandLine();
};

void TestSyncRecovery::initTestCase() {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void TestSyncRecovery::refusals_data() {
    QTest::addColumn<bool>("https");
    QTest::addColumn<bool>("trustCertificate");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("url"); // instead of the server's
    QTest::addColumn<QString>("refusal");

    QTest::newRow("a wrong password")
        << false << false << "wrong horse" << QString() << "refused the user name or password";
    QTest::newRow("https, self-signed, not trusted")
        << true << false << QString() << QString() << "certificate";
    QTest::newRow("https, self-signed, trusted with --ca-file")
        << true << true << QString() << QString() << QString();
    QTest::newRow("plain http to another machine")
        << false << false << QString() << "http://192.0.2.7/dav/"
        << "use https";
}

void TestSyncRecovery::refusals() {
    QFETCH(bool, https);
    QFETCH(bool, trustCertificate);
    QFETCH(QString, password);
    QFETCH(QString, url);
    QFETCH(QString, refusal);

    SyncFixture f;
    QString problem;
    if (!f.start(DavServer::Kind::Radicale, &problem, https))
        QFAIL(qPrintable(problem));
    palvane::createContactTable(f.box().dbPath());
    palvane::insertContacts(f.box().dbPath(), {palvane::test::contact(QStringLiteral("ann"))});
    const QString used = password.isEmpty() ? f.server().password() : password;
    try {
        palvane::sync::setUp(
            f.box().dbPath(), url.isEmpty() ? f.server().addressBook().toString() : url,
            f.server().user(), used, trustCertificate ? f.server().caFile() : QString(), 10000);
        palvane::sync::SyncOptions options;
        options.tablePath = f.box().dbPath();
        options.password = used;
        const auto report = palvane::sync::synchronise(options);
        QVERIFY2(refusal.isEmpty(), "no refusal");
        QCOMPARE(report.sent, 1);
        QCOMPARE(f.serverContacts(), QStringList{"ann,,"});
    } catch (const SyncError& error) {
        QVERIFY2(!refusal.isEmpty(), qPrintable(error.message()));
        QVERIFY2(error.message().contains(refusal, Qt::CaseInsensitive),
                 qPrintable(error.message()));
        QVERIFY(!error.message().contains(used));
        QVERIFY(!palvane::sync::readSetup(f.box().dbPath()));
    }
}

void TestSyncRecovery::interrupted_data() {
    QTest::addColumn<bool>("sending");    // else receiving
    QTest::addColumn<bool>("killServer"); // else the tool
    QTest::addColumn<int>("connection");  // whose answer never comes

    // The tool's requests: the listing, then multigets of 100 cards or one PUT per contact.
    QTest::newRow("receiving, the tool killed") << false << false << 3;
    QTest::newRow("receiving, the server killed") << false << true << 3;
    QTest::newRow("sending, the tool killed after the server stored a card") << true << false << 60;
    QTest::newRow("sending, the server killed") << true << true << 60;
}

void TestSyncRecovery::interrupted() {
    QFETCH(bool, sending);
    QFETCH(bool, killServer);
    QFETCH(int, connection);
    constexpr int kContacts = 150;

    SyncFixture f;
    QString problem;
    if (!f.start(DavServer::Kind::Radicale, &problem))
        QFAIL(qPrintable(problem));
    const QStringList contacts = numbered(QStringLiteral("n"), kContacts);
    if (!sending)
        f.seedServer(contacts);
    HoldingProxy proxy(quint16(f.server().root().port()));
    f.setUpTable(f.box().dbPath(), sending ? contacts : QStringList(), proxy.port());
    const int held = proxy.connections() + connection;
    proxy.holdAnswerOf(held);

    QProcess tool;
    tool.start(QStringLiteral(PALVANE_TABLE_TOOL), {QStringLiteral("sync")});
    QVERIFY(tool.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor([&] { return proxy.connections() >= held; }, 60000));
    QCOMPARE(tool.state(), QProcess::Running);
    if (killServer) {
        f.server().kill();
        proxy.dropHeld();
        QVERIFY(QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, 60000));
        QCOMPARE(tool.exitCode(), 2);
        QVERIFY(f.server().start(&problem));
    } else {
        ::kill(pid_t(tool.processId()), SIGKILL);
        QVERIFY(tool.waitForFinished(10000));
    }
    proxy.holdAnswerOf(0);

    const ToolRun finish = runRelayed({QStringLiteral("sync")});
    QVERIFY2(finish.exitCode == 0, qPrintable(finish.err));
    checkOnce(f.tableContacts(f.box().dbPath()), kContacts);
    checkOnce(f.serverContacts(), kContacts);
    QCOMPARE(f.serverContacts(), f.tableContacts(f.box().dbPath()));
    const ToolRun again = runRelayed({QStringLiteral("sync"), QStringLiteral("--format=json")});
    const QJsonObject report = QJsonDocument::fromJson(again.out.toUtf8()).object();
    QCOMPARE(report.value(QStringLiteral("sent")).toInt(-1), 0);
    QCOMPARE(report.value(QStringLiteral("received")).toInt(-1), 0);
}

void TestSyncRecovery::twoTablesConverge() {
    SyncFixture f;
    QString problem;
    if (!f.start(DavServer::Kind::Radicale, &problem))
        QFAIL(qPrintable(problem));
    const QString a = f.box().dbPath();
    const QString b = f.box().path() + QStringLiteral("/other/palvane.db");
    f.setUpTable(a, {"ann,Ann Lee,ann@example.org", "bob,Bob Marsh,bob@example.org",
                     "carl,Carl Kay,carl@example.org"});
    f.setUpTable(b, {});
    // The second table lists the address book as a server without sync-collection is listed:
    // by its change tag, then every card's ETag.
    {
        sqlite3* state = nullptr;
        QCOMPARE(sqlite3_open(palvane::sync::stateFileOf(b).toUtf8().constData(), &state),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(state,
                              "INSERT OR REPLACE INTO settings VALUES ('no_sync_collection', '1')",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(state);
    }
    palvane::Table tableB;
    tableB.setDatabaseName(QStringLiteral("other/"));
    tableB.setTableName(QStringLiteral("palvane.db"));
    tableB.open();
    // A picture goes up as PNG and comes down saved as an import saves it; the offset as the
    // card's time zone.
    f.table().first();
    f.table().edit();
    f.table()
        .fieldByName(QStringLiteral("IRC Picture"))
        .setAsString(QStringLiteral(PALVANE_TEST_DATA "/sample.bmp"));
    f.table().fieldByName(QStringLiteral("IRC Spin")).setAsInteger(5);
    f.table().fieldByName(QStringLiteral("IRC Time Displacement")).setAsFloat(5 / 24.0);
    f.table().post();
    QCOMPARE(f.sync(a).sent, 3);
    QCOMPARE(f.sync(b).received, 3);
    palvane::ContactRow down;
    for (const auto& row : palvane::readContacts(b))
        if (row.nick == QLatin1String("ann"))
            down = row;
    QCOMPARE(down.spin, std::optional<int>(5));
    QVERIFY2(down.picture.startsWith(f.box().path() + QStringLiteral("/other/pictures/")),
             qPrintable(down.picture));
    QVERIFY(!QImage(down.picture).isNull());
    int pictures = 0;
    for (const QString& href : f.server().hrefs())
        pictures += f.server().card(href).contains("TYPE=PNG") ? 1 : 0;
    QCOMPARE(pictures, 1);
    QCOMPARE(f.sync(b).requests, 1); // the change tag has not moved

    // Edits, a deletion and new contacts on both; one field changed differently on both.
    f.editTable({"ann.email=ann@a.example", "del bob", "add dan,Dan Oh,dan@example.org",
                 "carl.notes=from a"});
    SyncFixture::editTable(
        tableB, {"ann.name=Ann B", "add eve,Eve Rand,eve@example.org", "carl.notes=from b"});
    QCOMPARE(f.sync(a).conflicts.size(), size_t(0));
    const auto clash = f.sync(b);
    QCOMPARE(clash.conflicts.size(), size_t(1));
    QCOMPARE(clash.conflicts.front().field, QStringLiteral("IRC Notes"));
    QCOMPARE(clash.conflicts.front().local, QStringLiteral("from b"));
    QCOMPARE(clash.conflicts.front().server, QStringLiteral("from a"));
    QCOMPARE(f.sync(b, Prefer::Local).conflicts.size(), size_t(0));
    f.sync(a);
    SyncFixture::editTable(tableB, {"del eve"});
    f.sync(b);
    f.sync(a);

    const QStringList expected = {"ann,Ann B,ann@a.example", "carl,Carl Kay,carl@example.org",
                                  "dan,Dan Oh,dan@example.org"};
    QCOMPARE(f.tableContacts(a), expected);
    QCOMPARE(f.tableContacts(b), expected);
    QCOMPARE(f.serverContacts(), expected);
    for (const auto& row : palvane::readContacts(a))
        QCOMPARE(row.notes,
                 row.nick == QLatin1String("carl") ? QStringLiteral("from b") : QString());
}

void TestSyncRecovery::commandLine() {
    SyncFixture f;
    QString problem;
    if (!f.start(DavServer::Kind::Radicale, &problem))
        QFAIL(qPrintable(problem));
    const ToolRun unset = runTool({QStringLiteral("sync")});
    QCOMPARE(unset.exitCode, 2);

    f.seedServer({"ann,Ann Lee,ann@example.org"});
    f.setUpTable(f.box().dbPath(), {});
    QCOMPARE(runTool({QStringLiteral("sync")}).exitCode, 0);
    f.editTable({"ann.email=mine@example.org", "add zed,Zed Z,z@example.org"});
    f.editServer({"ann.email=theirs@example.org"});

    // A dry run lists and changes nothing on either side.
    const QByteArray before = palvane::test::contentsOf(f.box().dbPath());
    const ToolRun dry = runTool({QStringLiteral("sync"), QStringLiteral("--dry-run")});
    QCOMPARE(dry.exitCode, 1);
    QVERIFY2(dry.out.contains(QLatin1String("Would take: new in the table: contact 'zed'")),
             qPrintable(dry.out));
    QCOMPARE(palvane::test::contentsOf(f.box().dbPath()), before);
    QCOMPARE(f.serverContacts(), QStringList{"ann,Ann Lee,theirs@example.org"});

    const ToolRun clash = runTool({QStringLiteral("sync")});
    QCOMPARE(clash.exitCode, 1);
    QVERIFY2(clash.out.contains(QLatin1String("Conflict: ann, IRC Email: here "
                                              "'mine@example.org', on the server "
                                              "'theirs@example.org'")),
             qPrintable(clash.out));
    const ToolRun settled = runTool({QStringLiteral("sync"), QStringLiteral("--prefer=server"),
                                     QStringLiteral("--format=json")});
    QCOMPARE(settled.exitCode, 0);
    const QJsonObject report = QJsonDocument::fromJson(settled.out.toUtf8()).object();
    QCOMPARE(report.value(QStringLiteral("received")).toInt(), 1);
    QCOMPARE(f.tableContacts(f.box().dbPath()),
             (QStringList{"ann,Ann Lee,theirs@example.org", "zed,Zed Z,z@example.org"}));
    QCOMPARE(runTool({QStringLiteral("sync"), QStringLiteral("--prefer=both")}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestSyncRecovery)
#include "test_sync_recovery.moc"
