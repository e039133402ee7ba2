// The table tool under a tight limit of virtual memory (bash's ulimit -v): every command does
// its work or fails with its message, never aborts on an allocation that failed; and input
// whose one line or property is longer than any contact's value is refused by its line before
// it is held, whatever its length.

#include "tests/support/sandbox.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using palvane::test::Sandbox;

// AddressSanitizer reserves terabytes of address space for its shadow memory: a program built
// with it cannot start under any limit of virtual memory.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_ADDRESS_SANITIZER()                                                             \
    QSKIP("an AddressSanitizer build cannot run under a limit of virtual memory")
#else
#define SKIP_UNDER_ADDRESS_SANITIZER()
#endif

namespace {

constexpr qint64 kStepKiB = 256;
// From where the tool loads to where every command has room.
constexpr int kSteps = 48;
// Room for the hostile inputs: what the largest legitimate value takes (an embedded picture of
// 16 MiB, its text and its bytes), and far less than the lines they hold.
constexpr qint64 kHostileRoomKiB = 128 * 1024;

struct LimitedRun {
    bool ended = false; // by itself, not by a signal (an abort is one)
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs setup, then command with the tool's virtual memory limited to kib KiB; both are bash
// with the tool as "$T" and the limit as "$L".
LimitedRun runLimited(qint64 kib, const QString& command, const QString& setup = {}) {
    QProcess process;
    const QString script = setup + QStringLiteral("\n(ulimit -v $L; %1)").arg(command);
    process.start(
        QStringLiteral("bash"),
        {QStringLiteral("-c"),
         QStringLiteral("T=\"$0\"; L=$1; mkdir -p tmp; export TMPDIR=\"$PWD/tmp\"; ") + script,
         QStringLiteral(PALVANE_TABLE_TOOL), QString::number(kib)});
    LimitedRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.ended = process.exitStatus() == QProcess::NormalExit && process.exitCode() < 128;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The least limit, to 256 KiB, under which the tool loads its libraries at all.
qint64 loadableKiB() {
    static qint64 found = 0;
    if (found > 0)
        return found;
    qint64 low = 16 * 1024; // fails
    qint64 high = 1024 * 1024;
    if (runLimited(high, QStringLiteral("exec \"$T\" --help")).exitCode != 0)
        return 0;
    while (high - low > kStepKiB) {
        const qint64 middle = (low + high) / 2;
        (runLimited(middle, QStringLiteral("exec \"$T\" --help")).exitCode == 0 ? high : low) =
            middle;
    }
    found = high;
    return found;
}

} // namespace

class TestToolMemoryLimits : public QObject {
    Q_OBJECT

private slots:
    void everyCommandEndsWithItsMessage_data();
    void everyCommandEndsWithItsMessage();
    void longInputIsRefusedByItsLine_data();
    void longInputIsRefusedByItsLine();
};

void TestToolMemoryLimits::everyCommandEndsWithItsMessage_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("command");
    const QString table = QStringLiteral("\"$T\" create t$L.db >/dev/null");
    QTest::newRow("create") << QString() << QStringLiteral("exec \"$T\" create new$L.db");
    QTest::newRow("demo") << QString() << QStringLiteral("exec \"$T\" demo demo$L.db");
    QTest::newRow("check") << QString() << QStringLiteral("exec \"$T\" check");
    QTest::newRow("import csv") << table
                                << QStringLiteral("exec \"$T\" import all.csv --table t$L.db");
    QTest::newRow("import vcard") << table
                                  << QStringLiteral("exec \"$T\" import all.vcf --table t$L.db");
    QTest::newRow("export csv") << QString() << QStringLiteral("exec \"$T\" export out$L.csv");
    QTest::newRow("export vcard") << QString()
                                  << QStringLiteral("exec \"$T\" export --format vcard");
    QTest::newRow("show") << QString() << QStringLiteral("exec \"$T\" show bob");
    QTest::newRow("show json") << QString()
                               << QStringLiteral("exec \"$T\" show kiwi --format json");
}

void TestToolMemoryLimits::everyCommandEndsWithItsMessage() {
    SKIP_UNDER_ADDRESS_SANITIZER();
    QFETCH(QString, setup);
    QFETCH(QString, command);
    Sandbox box;
    QCOMPARE(runLimited(1024 * 1024,
                        QStringLiteral("\"$T\" demo && \"$T\" export all.csv && \"$T\" export "
                                       "all.vcf && \"$T\" import all.vcf --table data/palvane.db"))
                 .exitCode,
             0);
    const qint64 base = loadableKiB();
    QVERIFY(base > 0);
    // From what loading takes to where every command has room: once the tool has started
    // (its libraries loaded and set up, which may fail in their own ways), each run ends with
    // its work done or with its own message, wherever the limit bites.
    LimitedRun run;
    bool started = false;
    for (int step = -4; step <= kSteps; ++step) {
        const qint64 kib = base + step * kStepKiB;
        run = runLimited(kib, command, setup);
        started =
            started || run.exitCode == 0 || run.err.startsWith(QStringLiteral("palvane-table: "));
        // Below that, loading may end any way at all (Qt's own start-up code aborts on a failed
        // allocation before main), and where loading ends depends on the environment's size.
        if (!started)
            continue;
        const QString what = QStringLiteral("under %1 KiB: exit %2, %3")
                                 .arg(kib)
                                 .arg(run.ended ? run.exitCode : -1)
                                 .arg(run.err.right(300));
        QVERIFY2(run.ended, qPrintable(what));
        QVERIFY2(run.exitCode == 0 ||
                     (run.exitCode == 1 && run.err.startsWith(QStringLiteral("palvane-table: "))),
                 qPrintable(what));
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // Nothing of a failed run stays behind in the temporary folder.
    QCOMPARE(QDir(QStringLiteral("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

void TestToolMemoryLimits::longInputIsRefusedByItsLine_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    // A folded line of 74 bytes, four million times: some 300 MB.
    const QString folded =
        QStringLiteral("l=$(printf 'A%.0s' {1..73}); yes \" $l\" | head -n 4000000");
    const QString card =
        QStringLiteral("printf 'BEGIN:VCARD\\r\\nVERSION:4.0\\r\\nNICKNAME:n\\r\\n");
    QTest::newRow("csv line")
        << QStringLiteral("printf 'IRC Nick\\n'; head -c 1000000000 /dev/zero | tr '\\0' a")
        << "csv" << 1
        << "palvane-table: standard input: line 2: the line is longer than 4 MiB, longer than "
           "any value of a contact; is it a contact file?";
    QTest::newRow("csv quoted field over lines")
        << QStringLiteral("printf 'IRC Nick,IRC Notes\\nx,\"'; ") + folded << "csv" << 1
        << "palvane-table: standard input: line 2: the record goes on for more than 1048576 "
           "characters";
    QTest::newRow("vcard line")
        << card + QStringLiteral("NOTE:'; head -c 1000000000 /dev/zero | tr '\\0' a") << "vcard"
        << 1
        << "palvane-table: standard input: line 4: the line is longer than 24 MiB, longer than "
           "any value of a contact";
    QTest::newRow("vcard folded note")
        << card + QStringLiteral("NOTE:x\\r\\n'; ") + folded << "vcard" << 1
        << "palvane-table: standard input: line 4: the property NOTE is longer than 512 KiB, "
           "longer than any value the table holds";
    QTest::newRow("vcard picture")
        << card + QStringLiteral("PHOTO;ENCODING=b;TYPE=PNG:x\\r\\n'; ") + folded << "vcard" << 1
        << "palvane-table: standard input: line 4: the embedded picture is larger than 16 MiB, "
           "the most an import takes";
    // A property the table has no use for is never held: the card goes in.
    QTest::newRow("vcard property of no use")
        << card + QStringLiteral("X-BLOB:x\\r\\n'; ") + folded +
               QStringLiteral("; printf 'END:VCARD\\r\\n'")
        << "vcard" << 0
        << "palvane-table: warning: not imported, as the table has no place for them: the "
           "properties X-BLOB (1 card)";
}

void TestToolMemoryLimits::longInputIsRefusedByItsLine() {
    SKIP_UNDER_ADDRESS_SANITIZER();
    QFETCH(QString, input);
    QFETCH(QString, format);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    Sandbox box;
    QCOMPARE(runLimited(1024 * 1024, QStringLiteral("exec \"$T\" create")).exitCode, 0);
    const qint64 base = loadableKiB();
    QVERIFY(base > 0);
    // The pipeline's status is the tool's; the input ends when the tool stops reading.
    const LimitedRun run =
        runLimited(base + kHostileRoomKiB,
                   QStringLiteral("{ %1; } | \"$T\" import - --format %2").arg(input, format));
    QVERIFY2(run.ended, qPrintable(run.err));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith(said), qPrintable(run.err));
    if (exitCode == 0)
        QCOMPARE(run.out, QStringLiteral("Imported 1 contacts into data/palvane.db\n"));
}

QTEST_GUILESS_MAIN(TestToolMemoryLimits)
#include "test_tool_memory_limits.moc"
