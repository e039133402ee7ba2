// Many runs of add and set let go against one table at the same instant, as several IRC
// windows' scripts may run them: a check and the insert it allows, or the notes read and the
// line written below them, are one write, so no run acts on what another has just changed.

#include "store/schema.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>
#include <vector>

using palvane::ContactRow;
using palvane::test::contact;
using palvane::test::Sandbox;

namespace {

constexpr int kRuns = 16;

struct Outcome {
    int exitCode = -1;
    QString err;
};

// Starts every run of the tool, each held in a shell until all of them are waiting, then lets
// them all go at once and waits for their ends. {i} in an argument is the run's number.
void runAllAtOnce(const QList<QStringList>& runs, std::vector<Outcome>& outcomes) {
    const QString gate = QDir::current().absoluteFilePath(QStringLiteral("go"));
    std::vector<std::unique_ptr<QProcess>> processes;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        QStringList arguments{QStringLiteral(": > \"$1\"; while [ ! -e \"$2\" ]; do sleep 0.01; "
                                             "done; shift 2; exec \"$@\""),
                              QStringLiteral("gate"),
                              QDir::current().absoluteFilePath(QStringLiteral("ready.%1").arg(i)),
                              gate, QStringLiteral(PALVANE_TABLE_TOOL)};
        for (const QString& argument : runs[i])
            arguments << QString(argument).replace(QStringLiteral("{i}"), QString::number(i));
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c")} + arguments);
        processes.push_back(std::move(process));
    }
    const auto allWaiting = [&runs] {
        for (qsizetype i = 0; i < runs.size(); ++i)
            if (!QFile::exists(QStringLiteral("ready.%1").arg(i)))
                return false;
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allWaiting(), 30000);
    QFile go(gate);
    go.open(QIODevice::WriteOnly);
    go.close();
    for (const auto& process : processes) {
        Outcome outcome;
        if (process->waitForFinished(60000) && process->exitStatus() == QProcess::NormalExit)
            outcome.exitCode = process->exitCode();
        outcome.err = QString::fromUtf8(process->readAllStandardError());
        outcomes.push_back(outcome);
    }
}

QList<QStringList> times(int count, const QStringList& arguments) {
    QList<QStringList> runs;
    for (int i = 0; i < count; ++i)
        runs << arguments;
    return runs;
}

} // namespace

class TestToolEditTogether : public QObject {
    Q_OBJECT

private slots:
    void addsOfOneNick_data();
    void addsOfOneNick();
    void appendedLines_data();
    void appendedLines();
};

void TestToolEditTogether::addsOfOneNick_data() {
    QTest::addColumn<QList<QStringList>>("runs");
    QTest::newRow("the same nick") << times(kRuns, {"add", "kiwi", "--name", "Hemi {i}"});
    QList<QStringList> cases;
    for (const char* nick : {"kiwi", "KIWI", "Kiwi", "kIwI", "kiWi", "KiwI", "kiwI", "KIwi"})
        for (int twice = 0; twice < 2; ++twice)
            cases << QStringList{"add", nick, "--name", "Hemi {i}"};
    QTest::newRow("the nick in other cases") << cases;
}

void TestToolEditTogether::addsOfOneNick() {
    QFETCH(QList<QStringList>, runs);
    Sandbox box;
    box.createTable({contact("sakura", "Yui Tanaka", 9)});
    std::vector<Outcome> outcomes;
    runAllAtOnce(runs, outcomes);
    if (QTest::currentTestFailed())
        return;

    // One run adds the contact; every other one is refused, naming the nick.
    int added = -1;
    for (int i = 0; i < int(outcomes.size()); ++i) {
        const Outcome& outcome = outcomes[i];
        if (outcome.exitCode == 0) {
            QVERIFY2(
                added < 0,
                qPrintable(QStringLiteral("runs %1 and %2 both added the nick").arg(added).arg(i)));
            added = i;
            continue;
        }
        QCOMPARE(outcome.exitCode, 1);
        const QString refusal =
            QStringLiteral("palvane-table: a contact with the nick \"%1\" exists already")
                .arg(runs[i][1]);
        QVERIFY2(outcome.err.startsWith(refusal), qPrintable(outcome.err));
    }
    QVERIFY(added >= 0);
    const std::vector<ContactRow> after = palvane::readContacts(box.dbPath());
    QCOMPARE(int(after.size()), 2);
    QCOMPARE(after[1].nick, runs[added][1]);
    QCOMPARE(after[1].name, QStringLiteral("Hemi %1").arg(added));
}

void TestToolEditTogether::appendedLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("lines alone") << QStringList{"set", "sakura", "--append-notes", "line {i}"};
    QTest::newRow("lines with other fields")
        << QStringList{"set", "SAKURA", "--append-notes", "line {i}", "--location", "{i}"};
}

void TestToolEditTogether::appendedLines() {
    QFETCH(QStringList, arguments);
    Sandbox box;
    ContactRow sakura = contact("sakura", "Yui Tanaka", 9);
    sakura.notes = QStringLiteral("met on #tokyo");
    box.createTable({sakura});
    std::vector<Outcome> outcomes;
    runAllAtOnce(times(kRuns, arguments), outcomes);
    if (QTest::currentTestFailed())
        return;
    for (const Outcome& outcome : outcomes)
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.err));

    // Every line once, below the notes that were there, in whatever order the runs came.
    const std::vector<ContactRow> after = palvane::readContacts(box.dbPath());
    QCOMPARE(int(after.size()), 1);
    QStringList lines = after[0].notes.split(QLatin1Char('\n'));
    QCOMPARE(lines.takeFirst(), QStringLiteral("met on #tokyo"));
    lines.sort();
    QStringList expected;
    for (int i = 0; i < kRuns; ++i)
        expected << QStringLiteral("line %1").arg(i);
    expected.sort();
    QCOMPARE(lines, expected);
}

QTEST_GUILESS_MAIN(TestToolEditTogether)
#include "test_tool_edit_together.moc"
