// The table tool's add and set commands run as a user or a script runs them: the fields they
// write, the rules they share with the window's entry editing, what they refuse, and that a
// table another program holds, or a kill during the write, never leaves half a contact.

#include "core/time_displacement.h"
#include "store/schema.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"
#include "tests/test_store_raw.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

using palvane::ContactRow;
using palvane::test::contact;
using palvane::test::contentsOf;
using palvane::test::describeInHours;
using palvane::test::RawDb;
using palvane::test::runTool;
using palvane::test::Sandbox;
using palvane::test::ToolRun;

namespace {

std::vector<ContactRow> startingContacts() {
    ContactRow bob = contact(QStringLiteral("bob"), QStringLiteral("Bob Marsh"), -6);
    bob.location = QStringLiteral("Chicago");
    bob.email = QStringLiteral("bob@example.com");
    bob.notes = QStringLiteral("Op on #chicago.");
    return {bob, contact(QStringLiteral("BOB"), QStringLiteral("Other Bob"), 2),
            contact(QStringLiteral("sakura"), QStringLiteral("Yui Tanaka"), 9),
            contact(QString(64, QLatin1Char('l')))};
}

const QString kBob =
    QStringLiteral("bob | Bob Marsh | Chicago | bob@example.com | Op on #chicago. | -6 | -6 | ");
const QString kOtherBob = QStringLiteral("BOB | Other Bob |  |  |  | 2 | 2 | ");
const QString kSakura = QStringLiteral("sakura | Yui Tanaka |  |  |  | 9 | 9 | ");
const QString kLong = QString(64, QLatin1Char('l')) + QStringLiteral(" |  |  |  |  | 0 | 0 | ");

QString repeated(char c, int count) {
    return QString(count, QLatin1Char(c));
}

// {dir} is the working directory, {data} the test data, {today} the date of the run.
QString expand(QString text, const QString& dir, const QDate& today) {
    return text.replace(QStringLiteral("{dir}"), dir)
        .replace(QStringLiteral("{data}"), QStringLiteral(PALVANE_TEST_DATA))
        .replace(QStringLiteral("{today}"), today.toString(QStringLiteral("yyyy-MM-dd")));
}

} // namespace

class TestToolEdit : public QObject {
    Q_OBJECT

private slots:
    void edits_data();
    void edits();
    void jsonTellsTheStoredContact();
    void lockedTableIsRefusedWithoutAChange();
    void killDuringTheWriteLeavesOldOrNew();
};

void TestToolEdit::edits_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("contacts"); // after, in storage order; empty: unchanged
    QTest::addColumn<QString>("message");      // a line of standard error; empty: none

    const QStringList unchanged;
    const auto row = [](const char* name, QStringList arguments, int exitCode, QStringList contacts,
                        const QString& message) {
        QTest::newRow(name) << arguments << exitCode << contacts << message;
    };
    const QStringList start{kBob, kOtherBob, kSakura, kLong};

    row("add with every field",
        {"add", "kiwi", "--name", "Hemi Walker", "--email=hemi@x.nz", "--location", "Auckland",
         "--notes", "one\r\ntwo", "--offset", "+13", "--picture", "{data}/sample.bmp"},
        0,
        start + QStringList{"kiwi | Hemi Walker | Auckland | hemi@x.nz | one\ntwo | 13 | 13 | "
                            "{data}/sample.bmp"},
        {});
    row("add with only a nick starts at no offset", {"add", "zed"}, 0,
        start + QStringList{"zed |  |  |  |  | 0 | 0 | "}, {});
    row("add a nick that exists, case ignored", {"add", "SAKURA", "--name", "X"}, 1, unchanged,
        "palvane-table: a contact with the nick \"SAKURA\" exists already, as \"sakura\"");
    row("add a dated host line",
        {"add", "--append-notes=~yui@tokyo.example", "--dated", "--", "yui"}, 0,
        start + QStringList{"yui |  |  |  | {today}: ~yui@tokyo.example | 0 | 0 | "}, {});
    row("add a nick that starts with a dash after --",
        {"add", "--name", "--offset", "--", "-rm -rf"}, 0,
        start + QStringList{"-rm -rf | --offset |  |  |  | 0 | 0 | "}, {});
    row("add a nick longer than its field", {"add", repeated('n', 70)}, 0,
        start + QStringList{repeated('n', 64) + " |  |  |  |  | 0 | 0 | "},
        "palvane-table: warning: \"IRC Nick\" cut to its length of 64 characters");
    row("add a long nick whose cut form exists", {"add", repeated('L', 70)}, 1, unchanged,
        "palvane-table: a contact with the nick \"" + repeated('L', 64) +
            "\" exists already, as \"" + repeated('l', 64) + "\"");
    row("add a name longer than its field", {"add", "ann", "--name", repeated('a', 130)}, 0,
        start + QStringList{"ann | " + repeated('a', 128) + " |  |  |  | 0 | 0 | "},
        "palvane-table: warning: \"IRC Name\" cut to its length of 128 characters");
    row("add an empty nick", {"add", ""}, 2, unchanged, "palvane-table: add needs a NICK");
    // As IRC clients hand on a real name: with formatting codes, a colour with its digits.
    row("add one-line fields without control characters",
        {"add", "ann\x02", "--name",
         "\x03"
         "4,12Ann\x0f Lee\x03",
         "--location", "Oslo\n"},
        0, start + QStringList{"ann | Ann Lee | Oslo |  |  | 0 | 0 | "},
        "palvane-table: warning: control characters left out of \"IRC Name\"");
    row("add a nick of control characters alone", {"add", "\x02"}, 1, unchanged,
        "palvane-table: a contact needs a nick");

    row("set the offset: both fields, nothing else", {"set", "Sakura", "--offset", "-24"}, 0,
        {kBob, kOtherBob, "sakura | Yui Tanaka |  |  |  | -24 | -24 | ", kLong}, {});
    row("set a contact that others follow", {"set", repeated('L', 64), "--email", "l@x"}, 0,
        {kBob, kOtherBob, kSakura, repeated('l', 64) + " |  |  | l@x |  | 0 | 0 | "}, {});
    row("set a dated note below the notes",
        {"set", "bob", "--append-notes", "back from holiday", "--dated"}, 0,
        {"bob | Bob Marsh | Chicago | bob@example.com | Op on #chicago.\n{today}: back from "
         "holiday | -6 | -6 | ",
         kOtherBob, kSakura, kLong},
        "palvane-table: warning: 2 contacts have the nick \"bob\"; the first in nick order, the "
        "one show finds, was changed");
    row("set replaces and appends the notes",
        {"set", "sakura", "--notes", "new\n", "--append-notes", "more"}, 0,
        {kBob, kOtherBob, "sakura | Yui Tanaka |  |  | new\nmore | 9 | 9 | ", kLong}, {});
    row("set empties a field", {"set", "sakura", "--name="}, 0,
        {kBob, kOtherBob, "sakura |  |  |  |  | 9 | 9 | ", kLong}, {});
    row("set notes longer than their field", {"set", "sakura", "--notes", repeated('z', 32001)}, 0,
        {kBob, kOtherBob, "sakura | Yui Tanaka |  |  | " + repeated('z', 32000) + " | 9 | 9 | ",
         kLong},
        "palvane-table: warning: \"IRC Notes\" cut to its length of 32000 characters");
    row("set a note that would not fit",
        {"set", "sakura", "--notes", repeated('z', 31990), "--append-notes", "0123456789"}, 1,
        unchanged,
        "palvane-table: the notes of \"sakura\" would be longer than their 32000 characters with "
        "the new line");
    row("set a picture by a relative path", {"set", "sakura", "--picture", "me.bmp"}, 0,
        {kBob, kOtherBob, "sakura | Yui Tanaka |  |  |  | 9 | 9 | {dir}/me.bmp", kLong}, {});
    row("set a picture that does not exist", {"set", "sakura", "--picture", "gone.bmp"}, 1,
        unchanged, "palvane-table: the picture {dir}/gone.bmp does not exist");
    row("set a picture the program cannot show", {"set", "sakura", "--picture", "me.png"}, 1,
        unchanged,
        "palvane-table: the picture {dir}/me.png cannot be shown: Unknown picture file "
        "extension (.png)");
    row("set a picture that is no bitmap", {"set", "sakura", "--picture", "notes.bmp"}, 1,
        unchanged,
        "palvane-table: the picture {dir}/notes.bmp cannot be shown: Bitmap image is "
        "not valid");
    row("set a folder as picture", {"set", "sakura", "--picture", "data"}, 1, unchanged,
        "palvane-table: the picture {dir}/data is not a file");
    row("set a nick nobody has", {"set", "ghost", "--name", "Casper"}, 1, unchanged,
        "palvane-table: no contact has the nick \"ghost\"");
    row("set nothing", {"set", "sakura"}, 2, unchanged,
        "palvane-table: set needs something to change (--name, --email, --location, --notes, "
        "--append-notes, --offset or --picture)");
    row("set an offset past a day", {"set", "sakura", "--offset", "25"}, 2, unchanged,
        "palvane-table: the offset must be whole hours from -24 to 24, not '25'");
    row("set half an hour", {"set", "sakura", "--offset=5.5"}, 2, unchanged,
        "palvane-table: the offset must be whole hours from -24 to 24, not '5.5'");
    row("set --dated without a line", {"set", "sakura", "--dated", "--name", "x"}, 2, unchanged,
        "palvane-table: --dated goes with --append-notes");
    row("set on a table that does not exist", {"set", "sakura", "--name", "x", "--table", "no.db"},
        1, unchanged,
        "palvane-table: Cannot open the contact table {dir}/no.db: the file does not exist");
}

void TestToolEdit::edits() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, contacts);
    QFETCH(QString, message);

    Sandbox box;
    box.createTable(startingContacts());
    QVERIFY(QFile::copy(QStringLiteral(PALVANE_TEST_DATA "/sample.bmp"), "me.bmp"));
    QVERIFY(QFile::copy(QStringLiteral(PALVANE_TEST_DATA "/sample.bmp"), "me.png"));
    QFile text("notes.bmp");
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a picture\n") > 0);
    text.close();
    const QByteArray before = contentsOf(box.dbPath());
    const QDate firstDay = QDate::currentDate();
    for (QString& argument : arguments)
        argument = expand(argument, box.path(), firstDay);
    const ToolRun run = runTool(arguments);
    const QDate lastDay = QDate::currentDate(); // the run may have passed midnight

    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    const QStringList errors = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (message.isEmpty())
        QVERIFY2(errors.isEmpty(), qPrintable(run.err));
    else
        QVERIFY2(errors.contains(expand(message, box.path(), firstDay)), qPrintable(run.err));
    if (contacts.isEmpty()) {
        QCOMPARE(contentsOf(box.dbPath()), before);
        return;
    }
    const std::vector<ContactRow> after = palvane::readContacts(box.dbPath());
    const QStringList described = describeInHours(after);
    QStringList expected, expectedLater;
    for (const QString& line : contacts) {
        expected << expand(line, box.path(), firstDay);
        expectedLater << expand(line, box.path(), lastDay);
    }
    if (described != expectedLater)
        QCOMPARE(described, expected);
    // The clock's offset and the spin box's hours agree (bit for bit in
    // test_offsets_from_outside; the starting contacts here are made with hours / 24).
    for (const ContactRow& row : after)
        QCOMPARE(*row.timeDisplacement, palvane::hoursToDays(*row.spin));
}

void TestToolEdit::jsonTellsTheStoredContact() {
    Sandbox box;
    box.createTable(startingContacts());
    const ToolRun run =
        runTool({"set", "sakura", "--offset", "3", "--location", "Osaka", "--format", "json"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(json.value("nick").toString(), QStringLiteral("sakura"));
    QCOMPARE(json.value("exact").toBool(), true);
    QCOMPARE(json.value("location").toString(), QStringLiteral("Osaka"));
    QCOMPARE(json.value("offset_hours").toDouble(), 3.0);
    QVERIFY(!json.value("their_time").toString().isEmpty());
    QCOMPARE(json.value("changed").toArray(), (QJsonArray{"location", "offset"}));
}

void TestToolEdit::lockedTableIsRefusedWithoutAChange() {
    Sandbox box;
    box.createTable(startingContacts());
    const QByteArray before = contentsOf(box.dbPath());
    // Another program in the middle of a write holds the lock past the tool's wait.
    RawDb other(box.dbPath());
    QVERIFY(other.exec("BEGIN IMMEDIATE; UPDATE contacts SET \"IRC Name\" = 'held'"));
    for (const QStringList& arguments :
         {QStringList{"set", "sakura", "--offset", "1"}, QStringList{"add", "kiwi"}}) {
        const ToolRun run = runTool(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(box.dbPath()) && run.err.endsWith("nothing was changed\n"),
                 qPrintable(run.err));
    }
    QVERIFY(other.exec("ROLLBACK"));
    QCOMPARE(contentsOf(box.dbPath()), before);
}

void TestToolEdit::killDuringTheWriteLeavesOldOrNew() {
    Sandbox box;
    box.createTable(startingContacts());
    const QString notes = repeated('n', 32000);
    const QString changed =
        "sakura | Changed | Kyoto | yui@example.jp | " + notes + " | -3 | -3 | ";
    const QString added = "kiwi | Hemi |  |  | " + notes + " | 13 | 13 | ";
    // How long a whole run takes here, so that the kills fall all over it.
    QProcess timing;
    QElapsedTimer clock;
    clock.start();
    timing.start(PALVANE_TABLE_TOOL, {"nicks"});
    QVERIFY(timing.waitForFinished(60000));
    const int runMs = int(clock.elapsed()) * 2 + 20;

    int sawOld = 0, sawNew = 0, midWrite = 0;
    for (int i = 0; i < 40; ++i) {
        const bool add = i % 2 == 1;
        QFile::remove(box.dbPath());
        QFile::remove(box.dbPath() + "-journal");
        box.createTable(startingContacts());
        QProcess tool;
        tool.start(
            PALVANE_TABLE_TOOL,
            add ? QStringList{"add", "kiwi", "--name", "Hemi", "--notes", notes, "--offset", "13"}
                : QStringList{"set", "sakura", "--name", "Changed", "--location", "Kyoto",
                              "--email", "yui@example.jp", "--notes", notes, "--offset", "-3"});
        QVERIFY(tool.waitForStarted(30000));
        QThread::msleep(QRandomGenerator::global()->bounded(runMs));
        tool.kill();
        QVERIFY(tool.waitForFinished(30000));

        // The next reader rolls back what the kill cut short; then the file must be whole.
        QFile journal(box.dbPath() + "-journal");
        if (journal.open(QIODevice::ReadOnly) && journal.size() > 0)
            ++midWrite;
        QCOMPARE(RawDb(box.dbPath()).value("PRAGMA integrity_check"), QStringLiteral("ok"));
        const QStringList now = describeInHours(palvane::readContacts(box.dbPath()));
        const QStringList old{kBob, kOtherBob, kSakura, kLong};
        const QStringList stored =
            add ? old + QStringList{added} : QStringList{kBob, kOtherBob, changed, kLong};
        if (now == old)
            ++sawOld;
        else if (now == stored)
            ++sawNew;
        else
            QCOMPARE(now, stored);
    }
    qInfo("kills before the change was stored: %d (%d during the write), after: %d", sawOld,
          midWrite, sawNew);
}

QTEST_GUILESS_MAIN(TestToolEdit)
#include "test_tool_edit.moc"
