// The table tool's show command: the search box's nearest-nick search, the world clock's time
// and date, the text and JSON output, and its use on a table another program is writing.

#include "core/clock_format.h"
#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"
#include "tests/test_store_raw.h"
#include "tools/chat_lines.h"
#include "tools/demo_contacts.h"
#include "tools/show_contact.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using palvane::test::contentsOf;
using palvane::test::RawDb;
using palvane::test::runTool;
using palvane::test::Sandbox;
using palvane::test::ToolRun;
using namespace palvane::tool;

class TestToolShow : public QObject {
    Q_OBJECT

private slots:
    void findsAsTheSearchBoxAndTellsTheirTime();
    void textShowsControlsEscaped_data();
    void textShowsControlsEscaped();
    void commandLine();
    void linesForChatClients_data();
    void linesForChatClients();
    void nicksForCompletion();
};

void TestToolShow::findsAsTheSearchBoxAndTellsTheirTime() {
    Sandbox box;
    box.createTable(sampleContacts(box.path() + QStringLiteral("/pictures")));
    palvane::ClockFormatter clock;
    clock.rebuild(QLocale(QLocale::English, QLocale::UnitedStates));
    // New Year's Eve, 21:05:07 on the user's wall clock.
    const double now =
        palvane::dateTimeToDays(QDateTime(QDate(2026, 12, 31), QTime(21, 5, 7), Qt::UTC));

    // Case is ignored; of two equal nicks the first in nick order is shown (Chicago, -6 h).
    auto bob = findContact(box.dbPath(), QStringLiteral("BOB"), now, clock);
    QVERIFY(bob && bob->exact);
    QCOMPARE(bob->nick, QStringLiteral("bob"));
    QCOMPARE(bob->name, QStringLiteral("Bob Marsh"));
    QCOMPARE(bob->email, QStringLiteral("bob@example.com"));
    QCOMPARE(bob->location, QStringLiteral("Chicago, USA"));
    QCOMPARE(bob->notes, QStringLiteral("The first bob.\nOp on #chicago."));
    QCOMPARE(bob->theirTime, QStringLiteral("3:05:07 PM"));
    QCOMPARE(bob->theirDate, QStringLiteral("Thursday, December 31, 2026"));
    const QString text = contactText(*bob);
    QVERIFY2(!text.contains(QStringLiteral("nearest")), qPrintable(text));
    for (const char* line : {"Nick:       bob\n", "Their time: 3:05:07 PM\n",
                             "Offset:     -6 hours from your local time\n",
                             "Notes:      The first bob.\n            Op on #chicago."})
        QVERIFY2(text.contains(QLatin1String(line)), qPrintable(text));

    // +13 hours crosses midnight and the year; the JSON carries the same values.
    auto kiwi = findContact(box.dbPath(), QStringLiteral("Kiwi"), now, clock);
    QVERIFY(kiwi && kiwi->exact);
    const QJsonObject json = QJsonDocument::fromJson(contactJson(*kiwi)).object();
    QCOMPARE(json.value(QStringLiteral("nick")).toString(), QStringLiteral("kiwi"));
    QCOMPARE(json.value(QStringLiteral("exact")).toBool(), true);
    QCOMPARE(json.value(QStringLiteral("offset_hours")).toDouble(), 13.0);
    QCOMPARE(json.value(QStringLiteral("their_time")).toString(), QStringLiteral("10:05:07 AM"));
    QCOMPARE(json.value(QStringLiteral("their_date")).toString(),
             QStringLiteral("Friday, January 1, 2027"));
    QCOMPARE(json.value(QStringLiteral("their_datetime")).toString(),
             QStringLiteral("2027-01-01T10:05:07"));

    // No such nick: the first greater one, as the search box finds it, with a note; past the
    // last nick, the last contact.
    auto bobby = findContact(box.dbPath(), QStringLiteral("bobby"), now, clock);
    QVERIFY(bobby && !bobby->exact);
    QCOMPARE(bobby->nick, QStringLiteral("kiwi"));
    QVERIFY(contactText(*bobby).startsWith(
        QStringLiteral("No contact has the nick \"bobby\"; the nearest is \"kiwi\".\n")));
    QCOMPARE(findContact(box.dbPath(), QStringLiteral("zzz"), now, clock)->nick,
             QStringLiteral("zed"));

    // An offset the clock cannot hold gives no time, and says why.
    palvane::ContactRow huge = palvane::test::contact(QStringLiteral("huge"));
    huge.timeDisplacement = 1e39;
    palvane::insertContacts(box.dbPath(), {huge});
    auto tooFar = findContact(box.dbPath(), QStringLiteral("huge"), now, clock);
    QVERIFY(tooFar && tooFar->theirTime.isEmpty());
    QCOMPARE(tooFar->clockError, QStringLiteral("Floating point overflow"));
    QVERIFY(QJsonDocument::fromJson(contactJson(*tooFar))
                .object()
                .value(QStringLiteral("their_time"))
                .isNull());

    QVERIFY(QFile::remove(box.dbPath()));
    box.createTable();
    QVERIFY(!findContact(box.dbPath(), QStringLiteral("bob"), now, clock));
}

void TestToolShow::textShowsControlsEscaped_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("clear screen") << QStringLiteral("eve\x1b[2J\x1b[H") << "eve\\x1b[2J\\x1b[H";
    QTest::newRow("window title") << QStringLiteral("\x1b]0;owned\x07") << "\\x1b]0;owned\\x07";
    QTest::newRow("C1 CSI") << QStringLiteral("a\u009b31mb") << "a\\x9b31mb";
    QTest::newRow("carriage return") << QStringLiteral("Ann\rEve") << "Ann\\rEve";
    QTest::newRow("NUL and DEL") << QString::fromUtf16(u"a\0b\x7f", 4) << "a\\0b\\x7f";
    QTest::newRow("tab and letters kept") << QString::fromUtf8("Zoë\tÜnal") << "Zoë\tÜnal";
}

void TestToolShow::textShowsControlsEscaped() {
    QFETCH(QString, value);
    QFETCH(QString, shown);
    ShownContact contact;
    contact.query = value;
    contact.nick = value + QStringLiteral("!");
    contact.name = value;
    contact.email = value;
    contact.location = value;
    contact.notes = QStringLiteral("first\n") + value;
    const QString text = contactText(contact);
    for (const QString& line :
         {QStringLiteral("No contact has the nick \"%1\"; the nearest is \"%1!\".").arg(shown),
          QStringLiteral("Nick:       %1!").arg(shown), QStringLiteral("Name:       %1").arg(shown),
          QStringLiteral("E-mail:     %1").arg(shown), QStringLiteral("Location:   %1").arg(shown),
          QStringLiteral("Notes:      first\n            %1").arg(shown)})
        QVERIFY2(text.contains(line), qPrintable(text));
    for (const QChar c : text)
        QVERIFY2(c == QLatin1Char('\n') || c == QLatin1Char('\t') ||
                     (c.unicode() >= 0x20 && (c.unicode() < 0x7F || c.unicode() > 0x9F)),
                 qPrintable(QString::number(c.unicode(), 16)));
}

void TestToolShow::commandLine() {
    Sandbox box;
    box.createTable(sampleContacts(box.path() + QStringLiteral("/pictures")));
    const QByteArray before = contentsOf(box.dbPath());
    // Another program in the middle of a write holds the table's reserved lock: show reads on.
    RawDb other(box.dbPath());
    QVERIFY(other.exec(QStringLiteral("BEGIN IMMEDIATE; DELETE FROM contacts")));

    const QDateTime start = QDateTime::currentDateTime();
    ToolRun run = runTool({QStringLiteral("show"), QStringLiteral("sakura"),
                           QStringLiteral("--format"), QStringLiteral("json")});
    const QDateTime end = QDateTime::currentDateTime();
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    for (const char* key :
         {"query", "exact", "nick", "name", "email", "location", "notes", "offset_days",
          "offset_hours", "their_time", "their_date", "their_datetime"})
        QVERIFY2(json.contains(QLatin1String(key)), key);
    QCOMPARE(json.value(QStringLiteral("name")).toString(), QStringLiteral("Yui Tanaka"));
    QCOMPARE(json.value(QStringLiteral("offset_hours")).toDouble(), 9.0);
    // Their time is the local wall clock plus nine hours.
    const auto wall = [](const QDateTime& t) { return QDateTime(t.date(), t.time(), Qt::UTC); };
    const QDateTime theirs = wall(QDateTime::fromString(
        json.value(QStringLiteral("their_datetime")).toString(), Qt::ISODate));
    QVERIFY2(theirs >= wall(start).addSecs(9 * 3600 - 1) &&
                 theirs <= wall(end).addSecs(9 * 3600 + 1),
             qPrintable(run.out));

    run = runTool({QStringLiteral("show"), QStringLiteral("Zebra")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(
                 QStringLiteral("No contact has the nick \"Zebra\"; the nearest is \"zed\".\n")),
             qPrintable(run.out));
    QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
    QCOMPARE(contentsOf(box.dbPath()), before);

    // What reaches the terminal holds no escape character of a contact's.
    palvane::insertContacts(box.dbPath(), {palvane::test::contact(QStringLiteral("zz\x1b[2J"),
                                                                  QStringLiteral("\x1b]0;x\x07"))});
    run = runTool({QStringLiteral("show"), QStringLiteral("zz")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(!run.out.contains(QLatin1Char('\x1b')) && !run.out.contains(QLatin1Char('\x07')) &&
                 run.out.contains(QStringLiteral("Name:       \\x1b]0;x\\x07\n")),
             qPrintable(run.out));

    run = runTool({QStringLiteral("show")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains(QStringLiteral("show needs a NICK")));
    run = runTool({QStringLiteral("show"), QStringLiteral("bob"), QStringLiteral("--format=xml")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains(QStringLiteral("unknown format 'xml' (text, json, chat or whois)")));

    const QString empty = box.path() + QStringLiteral("/empty.db");
    palvane::createContactTable(empty);
    run =
        runTool({QStringLiteral("show"), QStringLiteral("bob"), QStringLiteral("--table"), empty});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("holds no contacts")) && run.out.isEmpty(),
             qPrintable(run.err));
}

void TestToolShow::linesForChatClients_data() {
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QStringList>("chat");
    QTest::addColumn<QStringList>("whois");

    const QString time =
        QStringLiteral("3:05:07 PM, Thursday, December 31, 2026 (-6 h from yours)");
    QTest::newRow("exact, case ignored")
        << "BOB"
        << QStringList{"bob: Bob Marsh <bob@example.com>, Chicago, USA", "their time: " + time,
                       "notes: The first bob.", "notes: Op on #chicago."}
        << QStringList{"bob's local time: " + time, "notes: The first bob.",
                       "notes: Op on #chicago."};
    // A whois of someone else must not tell about the nearest contact.
    QTest::newRow("nearest")
        << "bobby"
        << QStringList{"no contact \"bobby\"; nearest: kiwi",
                       "kiwi: Hemi Walker <hemi@example.nz>, Auckland, New Zealand",
                       "their time: 10:05:07 AM, Friday, January 1, 2027 (+13 h from yours)",
                       "notes: Always the first to see the new year.",
                       "notes: Rugby talk only on #sport."}
        << QStringList{};
    // Control characters would colour the chat or split a line in the client.
    QTest::newRow("control characters and blank fields")
        << "tabby"
        << QStringList{"tabby: Osaka",
                       "their time: 9:05:07 PM, Thursday, December 31, 2026 (0 h "
                       "from yours)",
                       "notes: \\x03"
                       "4red\\x09tab",
                       "notes: \\x1B[2J"}
        << QStringList{"tabby's local time: 9:05:07 PM, Thursday, December 31, 2026 (0 h from "
                       "yours)",
                       "notes: \\x03"
                       "4red\\x09tab",
                       "notes: \\x1B[2J"};
}

void TestToolShow::linesForChatClients() {
    QFETCH(QString, nick);
    QFETCH(QStringList, chat);
    QFETCH(QStringList, whois);
    Sandbox box;
    std::vector<palvane::ContactRow> rows = sampleContacts(box.path() + "/pictures");
    palvane::ContactRow tabby = palvane::test::contact("tabby");
    tabby.location = "Osaka";
    tabby.notes = "\x03"
                  "4red\ttab\n \n\x1b[2J";
    rows.push_back(tabby);
    box.createTable(rows);
    palvane::ClockFormatter clock;
    clock.rebuild(QLocale(QLocale::English, QLocale::UnitedStates));
    const double now =
        palvane::dateTimeToDays(QDateTime(QDate(2026, 12, 31), QTime(21, 5, 7), Qt::UTC));
    const auto contact = findContact(box.dbPath(), nick, now, clock);
    QVERIFY(contact);
    QCOMPARE(chatLines(*contact), chat);
    QCOMPARE(whoisLines(*contact), whois);
}

void TestToolShow::nicksForCompletion() {
    Sandbox box;
    std::vector<palvane::ContactRow> rows = sampleContacts(box.path() + "/pictures");
    for (const char* nick : {"", "two words", "tab\tbed", "BOB", "Zed", "-dash"})
        rows.push_back(palvane::test::contact(nick));
    box.createTable(rows);
    const ToolRun run = runTool({"nicks"});
    QCOMPARE(run.exitCode, 0);
    // In nick order, each once whatever its case, and only what could be an IRC nick.
    QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts),
             (QStringList{"-dash", "alpha", "Alphonse", "alpine", "bob", "kiwi", "mate", "nadia",
                          "pago", "rasa", "sakura", "tiki", "vlad", "zed"}));
    QCOMPARE(runTool({"nicks", "--table", "none.db"}).exitCode, 1);
    QCOMPARE(runTool({"nicks", "extra"}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestToolShow)
#include "test_tool_show.moc"
