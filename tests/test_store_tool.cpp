// The table tool palvane-table: create, demo, check and its refusals.

#include "core/contact_offset.h"
#include "core/time_displacement.h"
#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"
#include "tests/test_store_raw.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <algorithm>

using palvane::test::contentsOf;
using palvane::test::RawDb;
using palvane::test::runTool;
using palvane::test::Sandbox;
using palvane::test::ToolRun;

class TestStoreTool : public QObject {
    Q_OBJECT

private slots:
    void offsetPairs_data();
    void offsetPairs();
    void helpAndBadArguments();
    void createAndCheck();
    void outputThatCannotBeWrittenIsAFailure_data();
    void outputThatCannotBeWrittenIsAFailure();
    void demoSamples();
    void demoGenerated();
    void checkFindsProblems();
    void checkJudgesLikeTheProgram();
    void checkTellsALockFromDamage();
};

void TestStoreTool::offsetPairs_data() {
    QTest::addColumn<std::optional<double>>("days");
    QTest::addColumn<std::optional<int>>("hours");
    QTest::addColumn<int>("match");
    QTest::addColumn<std::optional<double>>("wantDays");
    QTest::addColumn<std::optional<int>>("wantHours");
    using M = palvane::OffsetMatch;
    const std::optional<double> noDays;
    const std::optional<int> noHours;
    QTest::newRow("neither") << noDays << noHours << int(M::Blank) << noDays << noHours;
    QTest::newRow("hours only") << noDays << std::optional<int>(-5) << int(M::DaysDerived)
                                << std::optional<double>(palvane::hoursToDays(-5))
                                << std::optional<int>(-5);
    QTest::newRow("days only, whole")
        << std::optional<double>(0.25) << noHours << int(M::HoursDerived)
        << std::optional<double>(0.25) << std::optional<int>(6);
    QTest::newRow("days with four decimals")
        << std::optional<double>(0.2083) << noHours << int(M::HoursDerived)
        << std::optional<double>(0.2083) << std::optional<int>(5);
    QTest::newRow("days not whole, halves away from zero")
        << std::optional<double>(-0.0625) << noHours << int(M::HoursRounded)
        << std::optional<double>(-0.0625) << std::optional<int>(-2);
    QTest::newRow("both, same") << std::optional<double>(5 / 24.0) << std::optional<int>(5)
                                << int(M::Agree) << std::optional<double>(5 / 24.0)
                                << std::optional<int>(5);
    QTest::newRow("both, rounded days agree")
        << std::optional<double>(0.208333) << std::optional<int>(5) << int(M::Agree)
        << std::optional<double>(0.208333) << std::optional<int>(5);
    QTest::newRow("both, an hour apart")
        << std::optional<double>(0.25) << std::optional<int>(5) << int(M::Disagree)
        << std::optional<double>(0.25) << std::optional<int>(5);
    QTest::newRow("both, sign apart")
        << std::optional<double>(-0.125) << std::optional<int>(3) << int(M::Disagree)
        << std::optional<double>(-0.125) << std::optional<int>(3);
}

void TestStoreTool::offsetPairs() {
    QFETCH(std::optional<double>, days);
    QFETCH(std::optional<int>, hours);
    QFETCH(int, match);
    QFETCH(std::optional<double>, wantDays);
    QFETCH(std::optional<int>, wantHours);
    palvane::ContactOffset offset{days, hours};
    QCOMPARE(int(palvane::completeOffset(offset)), match);
    QCOMPARE(offset.days, wantDays);
    QCOMPARE(offset.hours, wantHours);
    QCOMPARE(palvane::describeDisagreement(0.25, 5),
             QStringLiteral("\"IRC Time Displacement\" is 0.25 days (6 hours) but \"IRC Spin\" "
                            "is 5 hours"));
}

void TestStoreTool::helpAndBadArguments() {
    Sandbox box;
    ToolRun run = runTool({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    for (const char* word :
         {"Usage: palvane-table", "create [PATH]", "demo [PATH] [--count N]", "check [PATH]"})
        QVERIFY2(run.out.contains(QLatin1String(word)), word);

    const QList<QPair<QStringList, QString>> bad = {
        {{}, QStringLiteral("no command given")},
        {{QStringLiteral("frob")}, QStringLiteral("unknown command 'frob'")},
        {{QStringLiteral("create"), QStringLiteral("--force")},
         QStringLiteral("unknown option '--force'")},
        {{QStringLiteral("create"), QStringLiteral("a.db"), QStringLiteral("b.db")},
         QStringLiteral("unexpected argument 'b.db'")},
        {{QStringLiteral("create"), QStringLiteral("--count"), QStringLiteral("5")},
         QStringLiteral("unknown option '--count'")},
        {{QStringLiteral("demo"), QStringLiteral("--count")},
         QStringLiteral("--count needs a number")},
        {{QStringLiteral("demo"), QStringLiteral("--count"), QStringLiteral("-3")},
         QStringLiteral("--count needs a whole number from 0 to 100000000, not '-3'")},
        {{QStringLiteral("demo"), QStringLiteral("--count=lots")},
         QStringLiteral("--count needs a whole number from 0 to 100000000, not 'lots'")},
        {{QStringLiteral("check"), QStringLiteral("a.db"), QStringLiteral("--table=b.db")},
         QStringLiteral("give the table as PATH or with --table, not both")},
        {{QStringLiteral("demo"), QStringLiteral("-count"), QStringLiteral("3")},
         QStringLiteral("unknown option '-count'")},
    };
    for (const auto& [arguments, message] : bad) {
        run = runTool(arguments);
        QVERIFY2(run.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' '))));
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }
    QVERIFY(!QDir(box.dataDir()).exists()); // nothing was made by a bad command line

    // Each command's own help names its options.
    run = runTool({QStringLiteral("demo"), QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("Usage: palvane-table demo [PATH] [--count N]")) &&
                 run.out.contains(QStringLiteral("--count N")) &&
                 run.out.contains(QStringLiteral("--table PATH")),
             qPrintable(run.out));
}

void TestStoreTool::outputThatCannotBeWrittenIsAFailure_data() {
    QTest::addColumn<QString>("commandLine");
    // Standard output on a full disk, or into a pipe whose reader has gone.
    QTest::newRow("create, full disk") << "create > /dev/full";
    QTest::newRow("demo, full disk") << "demo > /dev/full";
    QTest::newRow("check, full disk") << "demo >/dev/null && \"$TOOL\" check > /dev/full";
    QTest::newRow("show, full disk") << "demo >/dev/null && \"$TOOL\" show alpha > /dev/full";
    QTest::newRow("export, closed pipe")
        << "demo --count 20000 >/dev/null && \"$TOOL\" export | head -c 1 >/dev/null";
}

void TestStoreTool::outputThatCannotBeWrittenIsAFailure() {
    QFETCH(QString, commandLine);
    Sandbox box;
    QProcess shell;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOOL"), QStringLiteral(PALVANE_TABLE_TOOL));
    shell.setProcessEnvironment(env);
    // The tool's status, not the last command's of the pipe.
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-o"), QStringLiteral("pipefail"), QStringLiteral("-c"),
                 QStringLiteral("\"$TOOL\" ") + commandLine});
    QVERIFY(shell.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(shell.readAllStandardError());
    QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
    QVERIFY2(shell.exitCode() == 1, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("palvane-table: cannot write to standard output")),
             qPrintable(err));
}

void TestStoreTool::createAndCheck() {
    Sandbox box;
    ToolRun run = runTool({QStringLiteral("create")}); // default: data/palvane.db here
    QCOMPARE(run.exitCode, 0);
    QVERIFY(QFile::exists(box.dbPath()));
    run = runTool({QStringLiteral("check")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("ok")) &&
                 run.out.contains(QStringLiteral("0 contacts")),
             qPrintable(run.out));

    palvane::insertContacts(box.dbPath(), {palvane::test::contact(QStringLiteral("keep"))});
    const QByteArray before = contentsOf(box.dbPath());
    run = runTool({QStringLiteral("create")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("already exists")), qPrintable(run.err));
    QCOMPARE(contentsOf(box.dbPath()), before);
    run = runTool({QStringLiteral("demo")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(contentsOf(box.dbPath()), before);

    palvane::Table table;
    table.open();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).asString(), QStringLiteral("keep"));
}

void TestStoreTool::demoSamples() {
    Sandbox box;
    const QString path = box.path() + QStringLiteral("/demo/palvane.db");
    const ToolRun run = runTool({QStringLiteral("demo"), path});
    QCOMPARE(run.exitCode, 0);
    const std::vector<palvane::ContactRow> rows = palvane::readContacts(path);
    QVERIFY(rows.size() >= 10 && rows.size() <= 16);

    int lowest = 0;
    int highest = 0;
    int multiLine = 0;
    int pictures = 0;
    QStringList nicks;
    for (const palvane::ContactRow& row : rows) {
        QVERIFY(!row.nick.isEmpty() && !row.name.isEmpty() && !row.email.isEmpty());
        QVERIFY(row.spin && row.timeDisplacement);
        QCOMPARE(*row.timeDisplacement, palvane::hoursToDays(*row.spin)); // the fields agree
        lowest = std::min(lowest, *row.spin);
        highest = std::max(highest, *row.spin);
        multiLine += row.notes.contains(QLatin1Char('\n')) ? 1 : 0;
        nicks << row.nick;
        if (!row.picture.isEmpty()) {
            ++pictures;
            QVERIFY(QFileInfo(row.picture).isAbsolute());
            QVERIFY(row.picture.startsWith(box.path() + QStringLiteral("/demo/pictures/")));
            const QImage image(row.picture);
            QCOMPARE(image.size(), QSize(64, 64));
        }
    }
    QCOMPARE(lowest, -11);
    QCOMPARE(highest, 13);
    QVERIFY(multiLine >= 3);
    QVERIFY(pictures >= 3 && pictures < int(rows.size()));
    QCOMPARE(nicks.count(QStringLiteral("bob")), 2);
    for (const char* nick : {"alpha", "alpine", "Alphonse"})
        QVERIFY(nicks.contains(QLatin1String(nick)));

    // The program finds its way around the demo.
    QDir::setCurrent(box.path());
    palvane::Table table;
    table.setDatabaseName(QStringLiteral("demo"));
    table.open();
    table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    table.setKey();
    table.fieldByName(QStringLiteral("IRC NICK")).setAsString(QStringLiteral("alph"));
    table.gotoNearest();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).asString(), QStringLiteral("alpha"));
    table.next();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).asString(), QStringLiteral("Alphonse"));
    table.close();

    // A second demo beside the first keeps the existing pictures and refuses the table.
    QVERIFY(QFile::remove(path));
    QCOMPARE(runTool({QStringLiteral("demo"), path}).exitCode, 0);
    QCOMPARE(runTool({QStringLiteral("demo"), path}).exitCode, 1);
    QCOMPARE(runTool({QStringLiteral("check"), path}).exitCode, 0);
}

void TestStoreTool::demoGenerated() {
    Sandbox box;
    const QString path = box.path() + QStringLiteral("/gen.db");
    const ToolRun run =
        runTool({QStringLiteral("demo"), path, QStringLiteral("--count"), QStringLiteral("20000")});
    QCOMPARE(run.exitCode, 0);
    RawDb raw(path, SQLITE_OPEN_READONLY);
    QCOMPARE(raw.value(QStringLiteral("SELECT count(*) FROM contacts")), QStringLiteral("20000"));
    QCOMPARE(
        raw.value(QStringLiteral("SELECT count(*) FROM contacts WHERE abs(\"IRC Time "
                                 "Displacement\" * 24.0 - \"IRC Spin\") > 1e-9 OR \"IRC Spin\" "
                                 "NOT BETWEEN -11 AND 13")),
        QStringLiteral("0"));
    QVERIFY(raw.value(QStringLiteral("SELECT count(DISTINCT \"IRC Nick\") FROM contacts")).toInt() >
            10000);
    QCOMPARE(runTool({QStringLiteral("check"), path}).exitCode, 0);
}

void TestStoreTool::checkFindsProblems() {
    Sandbox box;
    // A table the program can use passes with notes; the notes must not turn into problems.
    const auto problemsOf = [](const QString& path) {
        const ToolRun run = runTool({QStringLiteral("check"), path});
        return run.exitCode == 1 ? run.err
                                 : QStringLiteral("exit %1: %2").arg(run.exitCode).arg(run.out);
    };
    const auto notesOf = [](const QString& path) {
        const ToolRun run = runTool({QStringLiteral("check"), path});
        return run.exitCode == 0 ? run.err
                                 : QStringLiteral("exit %1: %2").arg(run.exitCode).arg(run.err);
    };
    QVERIFY(problemsOf(box.path() + QStringLiteral("/none.db"))
                .contains(QStringLiteral("does not exist")));

    const QString garbage = box.path() + QStringLiteral("/garbage.db");
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    QVERIFY(problemsOf(garbage).contains(QStringLiteral("damaged or not a table file")));

    const auto makeTable = [&](const QString& name, const QString& sql) {
        const QString path = box.path() + QLatin1Char('/') + name;
        RawDb raw(path);
        if (!raw.exec(sql))
            qWarning("%s", qPrintable(raw.error()));
        return path;
    };
    const QString noIndex = makeTable(QStringLiteral("noindex.db"), palvane::contactTableSql());
    QVERIFY(problemsOf(noIndex).contains(
        QStringLiteral("the first nick search fails: Cannot use the index 'IRC NICK INDEX': the "
                       "index does not exist")));

    const QString swapped = makeTable(
        QStringLiteral("swapped.db"),
        QStringLiteral(
            "CREATE TABLE contacts (\"IRC Nick\" TEXT, \"IRC Name\" TEXT, \"IRC Location\" TEXT, "
            "\"IRC Email\" TEXT, \"IRC Notes\" TEXT, \"IRC Spin\" INTEGER, "
            "\"IRC Time Displacement\" REAL, \"IRC Picture\" TEXT);") +
            palvane::nickIndexSql());
    const QString swappedProblems = notesOf(swapped);
    QVERIFY2(swappedProblems.contains(
                 QStringLiteral("field 6 is \"IRC Spin\"; expected \"IRC Time Displacement\"")),
             qPrintable(swappedProblems));

    const QString unique = makeTable(
        QStringLiteral("unique.db"),
        palvane::contactTableSql() + QStringLiteral(";CREATE UNIQUE INDEX \"IRC NICK INDEX\" ON "
                                                    "contacts (\"IRC Nick\" COLLATE NOCASE)"));
    QVERIFY(problemsOf(unique).contains(QStringLiteral("must admit equal nicks")));

    const QString binary = makeTable(
        QStringLiteral("binary.db"),
        palvane::contactTableSql() +
            QStringLiteral(";CREATE INDEX \"IRC NICK INDEX\" ON contacts (\"IRC Nick\")"));
    QVERIFY(notesOf(binary).contains(QStringLiteral("expected NOCASE")));

    const QString textSpin = makeTable(QStringLiteral("textspin.db"),
                                       QString(palvane::contactTableSql())
                                               .replace(QStringLiteral("\"IRC Spin\" INTEGER"),
                                                        QStringLiteral("\"IRC Spin\" TEXT")) +
                                           QLatin1Char(';') + palvane::nickIndexSql());
    QVERIFY(notesOf(textSpin).contains(QStringLiteral("expected an integer type")));

    // Offsets in days and hours that disagree are a note naming the contacts; a blank one reads
    // as 0, and rounding within the tolerance agrees.
    const QString offsets = makeTable(
        QStringLiteral("offsets.db"),
        palvane::contactTableSql() + QLatin1Char(';') + palvane::nickIndexSql() +
            QStringLiteral(";INSERT INTO contacts (\"IRC Nick\", \"IRC Time Displacement\", "
                           "\"IRC Spin\") VALUES ('ok', 0.208333, 5), ('bob', 0.25, 5), "
                           "('blank', NULL, 0), ('ann', NULL, 3), ('cy', -0.125, 3), "
                           "('dee', 0.5, 0)"));
    QCOMPARE(
        notesOf(offsets),
        QStringLiteral("palvane-table: %1: note: 4 contacts have an offset in days that is "
                       "not their offset in hours, so that a nick search shows another time "
                       "for them than browsing does: 'bob': \"IRC Time Displacement\" is "
                       "0.25 days (6 hours) but \"IRC Spin\" is 5 hours; 'ann': \"IRC Time "
                       "Displacement\" is 0 days (0 hours) but \"IRC Spin\" is 3 hours; 'cy': "
                       "\"IRC Time Displacement\" is -0.125 days (-3 hours) but \"IRC Spin\" is "
                       "3 hours; 1 more\n")
            .arg(offsets));

    const QString other =
        makeTable(QStringLiteral("other.db"), QStringLiteral("CREATE TABLE people (x)"));
    QVERIFY(problemsOf(other).contains(QStringLiteral("no table \"contacts\"")));
}

// Each layout is judged by check and by the program itself: check must refuse exactly the
// tables the program refuses or later fails on, and name the reason.
void TestStoreTool::checkJudgesLikeTheProgram() {
    Sandbox box;
    const auto layout = [](const QString& from, const QString& to) {
        return palvane::contactTableSql().replace(from, to) + QLatin1Char(';') +
               palvane::nickIndexSql();
    };
    const QString nick = QStringLiteral("\"IRC Nick\" VARCHAR(64)");
    struct Case {
        QString name;
        QString sql;
        QString problem; // empty: the program can use the table
    };
    const QList<Case> cases = {
        {QStringLiteral("norowid"),
         palvane::contactTableSql().replace(nick, nick + QStringLiteral(" PRIMARY KEY")) +
             QStringLiteral(" WITHOUT ROWID;") + palvane::nickIndexSql(),
         QStringLiteral("the program does not open it: the table \"contacts\" has no rowid")},
        {QStringLiteral("notnull"), layout(nick, nick + QStringLiteral(" NOT NULL")),
         QStringLiteral("New Entry fails: NOT NULL constraint failed: contacts.IRC Nick")},
        // Blank nicks become '' here, and names and case differ from the program's own table.
        {QStringLiteral("replace"),
         layout(nick, QStringLiteral("\"irc nick\" TEXT NOT NULL ON CONFLICT REPLACE DEFAULT '', "
                                     "added TEXT NOT NULL DEFAULT 'x'"))
             .replace(QStringLiteral("TABLE contacts"), QStringLiteral("TABLE CONTACTS")),
         QString()},
        {QStringLiteral("check"),
         layout(QStringLiteral("\"IRC Notes\" VARCHAR(32000)"),
                QStringLiteral("\"IRC Notes\" TEXT CHECK (length(\"IRC Notes\") < 10)")),
         QStringLiteral("Update Entry fails: CHECK constraint failed")},
        {QStringLiteral("email"),
         layout(QStringLiteral("\"IRC Email\" VARCHAR(254)"),
                QStringLiteral("\"IRC Email\" VARCHAR(254) UNIQUE")),
         QStringLiteral("a contact with the same name, location, e-mail, notes, offset or picture "
                        "as another cannot be stored: UNIQUE constraint failed: contacts.IRC "
                        "Email")},
        {QStringLiteral("trigger"),
         layout(QString(), QString()) +
             QStringLiteral(";CREATE TRIGGER keep BEFORE DELETE ON contacts BEGIN SELECT "
                            "RAISE(ABORT, 'kept'); END"),
         QStringLiteral("Delete Entry fails: kept")},
        // A generated column cannot be written: to the program the field is missing.
        {QStringLiteral("generated"),
         layout(QStringLiteral("\"IRC Picture\" VARCHAR(4096)"),
                QStringLiteral("\"IRC Picture\" TEXT AS ('none')")),
         QStringLiteral("the field \"IRC Picture\" is missing")},
    };
    for (const Case& c : cases) {
        const QString path = box.path() + QLatin1Char('/') + c.name + QStringLiteral(".db");
        {
            RawDb raw(path);
            QVERIFY2(raw.exec(c.sql), qPrintable(c.name + QStringLiteral(": ") + raw.error()));
        }
        const QByteArray before = contentsOf(path);
        const ToolRun run = runTool({QStringLiteral("check"), path});
        QCOMPARE(contentsOf(path), before);
        if (c.problem.isEmpty()) {
            QVERIFY2(run.exitCode == 0, qPrintable(c.name + QStringLiteral(": ") + run.err));
        } else {
            QVERIFY2(run.exitCode == 1 && run.err.contains(c.problem),
                     qPrintable(c.name + QStringLiteral(": ") + run.err));
        }
    }

    // The program agrees: it refuses the first table, fails New Entry on the second, makes
    // contacts in the third and misses the generated field.
    QDir::setCurrent(box.path());
    palvane::Table table;
    table.setDatabaseName(box.path());
    const auto openedAs = [&](const char* name) {
        table.close();
        table.setTableName(QLatin1String(name) + QStringLiteral(".db"));
        table.open();
    };
    palvane::InsertValues newEntry{};
    newEntry[palvane::FieldTimeDisplacement] = 0;
    newEntry[palvane::FieldSpin] = 0;
    QVERIFY_THROWS_EXCEPTION(palvane::TableError, openedAs("norowid"));
    openedAs("notnull");
    QVERIFY_THROWS_EXCEPTION(palvane::TableError, table.insertRecord(newEntry));
    table.cancel();
    openedAs("replace");
    table.insertRecord(newEntry);
    table.insertRecord(newEntry);
    QCOMPARE(table.recordCount(), 2);
    openedAs("generated");
    QVERIFY_THROWS_EXCEPTION(palvane::TableError, table.fieldByName(QStringLiteral("IRC Picture")));
}

void TestStoreTool::checkTellsALockFromDamage() {
    Sandbox box;
    box.createTable({palvane::test::contact(QStringLiteral("bob"))});
    RawDb other(box.dbPath());
    QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    ToolRun run = runTool({QStringLiteral("check")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("the table is in use by another program")) &&
                 run.err.contains(QStringLiteral("try again")) &&
                 !run.err.contains(QStringLiteral("damaged")),
             qPrintable(run.err));
    QVERIFY(other.exec(QStringLiteral("COMMIT")));
    run = runTool({QStringLiteral("check")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestStoreTool)
#include "test_store_tool.moc"
