// A full disk: on a small file system of its own (a 256 KiB tmpfs in a private mount
// namespace), a second program stores contacts until a store fails. The failure must be a clear
// error that keeps the record pending; once space is freed the next move stores it, and the
// table holds every contact whose store returned, intact.

#include "tests/reliability/table_check.h"
#include "tests/support/sandbox.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

using namespace palvane;
using namespace palvane::reliability;
using palvane::test::Sandbox;

namespace {

struct Run {
    QString skipReason; // not empty: no small file system here
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// Runs program with arguments in a private mount namespace where a 256 KiB tmpfs is mounted on
// mountPoint; "%mount" in the arguments stands for it.
Run inSmallFileSystem(const QString& mountPoint, const QString& program, QStringList arguments) {
    Run run;
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty()) {
        run.skipReason = QStringLiteral("unshare (util-linux) is not installed");
        return run;
    }
    QDir().mkpath(mountPoint);
    arguments.replaceInStrings(QStringLiteral("%mount"), mountPoint);
    QProcess process;
    // The mount lives only in the helper's private namespace and goes away with it.
    // Without root, a user namespace (unshare -r) can still mount a tmpfs where the system
    // allows unprivileged user namespaces.
    QStringList namespaces{QStringLiteral("-m")};
    if (::geteuid() != 0)
        namespaces.prepend(QStringLiteral("-r"));
    process.start(unshare,
                  namespaces +
                      QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                  QStringLiteral("mount -t tmpfs -o size=256k palvane-test "
                                                 "\"$0\" || exit 77; exec \"$@\""),
                                  mountPoint, program} +
                      arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    if (run.exitCode == 77 ||
        (run.exitCode != 0 && run.output.isEmpty() && run.errors.contains("unshare")))
        run.skipReason = QStringLiteral("a private mount namespace with a tmpfs is not "
                                        "permitted here: %1")
                             .arg(QString::fromLocal8Bit(run.errors.trimmed()));
    return run;
}

} // namespace

class TestReliabilityDiskFull : public QObject {
    Q_OBJECT

private slots:
    void fullDiskRefusesThenStoresAfterSpaceIsFreed();
    void settingsFileOnAFullDiskStaysWhole();
};

void TestReliabilityDiskFull::fullDiskRefusesThenStoresAfterSpaceIsFreed() {
    Sandbox sandbox;
    const QString mountPoint = sandbox.path() + QStringLiteral("/small");
    const QString copy = sandbox.path() + QStringLiteral("/after.db");
    const Run run = inSmallFileSystem(mountPoint, QStringLiteral(PALVANE_STORE_WRITER),
                                      {QStringLiteral("fill"), QStringLiteral("%mount"), copy});
    if (!run.skipReason.isEmpty())
        QSKIP(qPrintable(run.skipReason));
    QVERIFY2(run.exitCode == 0, run.output + run.errors);
    const QByteArray& output = run.output;

    std::map<qint64, StoreValues> expected;
    QStringList events;
    for (const QByteArray& raw : output.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QStringList f = line.split(QLatin1Char(' '));
        if ((f[0] == QLatin1String("stored") || f[0] == QLatin1String("recovered")) &&
            f.size() == 3)
            expected[f[1].toLongLong()] = fillValues(f[2].toLongLong());
        if (f[0] != QLatin1String("stored"))
            events << line;
    }
    const QString path = mountPoint + QStringLiteral("/data/palvane.db");
    // Stored until the space ran out; the failure says what and where, plainly.
    QVERIFY2(expected.size() >= 3, output);
    QCOMPARE(events.value(0), QStringLiteral("full Cannot store the record in %1: database or "
                                             "disk is full")
                                  .arg(path));
    // The record stays pending (editing after the fields were written, or inserting when the
    // insertion itself found no room), and the file is sound while full.
    QVERIFY2(events.value(1) == QLatin1String("state editing") ||
                 events.value(1) == QLatin1String("state inserting"),
             qPrintable(events.value(1)));
    QCOMPARE(events.value(2), QStringLiteral("integrity-while-full ok"));
    // A move while still full fails the same way and keeps it pending.
    QVERIFY2(events.value(3).startsWith(QStringLiteral("still-full ") + events.value(1).mid(6) +
                                        QStringLiteral(" Cannot store the record in")),
             qPrintable(events.value(3)));
    QVERIFY2(events.value(4).startsWith(QLatin1String("recovered ")), qPrintable(events.value(4)));
    QCOMPARE(events.value(5), QStringLiteral("integrity ok"));

    // The file after space was freed: every store that returned, and the recovered record.
    QCOMPARE(integrityCheck(copy), QStringLiteral("ok"));
    bool ok = false;
    const std::map<qint64, StoreValues> rows = readRows(copy, &ok);
    QVERIFY(ok);
    QCOMPARE(rows.size(), expected.size());
    for (const auto& [rowid, values] : expected) {
        QVERIFY2(rows.count(rowid), qPrintable(QStringLiteral("record %1 lost").arg(rowid)));
        QVERIFY2(rows.at(rowid) == values, QByteArray("record ") + QByteArray::number(rowid) +
                                               " holds " + describe(rows.at(rowid)));
    }
    qInfo("%d contacts stored before the disk was full; the pending one stored after",
          int(expected.size()) - 1);
}

void TestReliabilityDiskFull::settingsFileOnAFullDiskStaysWhole() {
    Sandbox sandbox;
    const Run run = inSmallFileSystem(sandbox.path() + QStringLiteral("/small"),
                                      QStringLiteral(PALVANE_SETTINGS_WRITER),
                                      {QStringLiteral("full"), QStringLiteral("%mount")});
    if (!run.skipReason.isEmpty())
        QSKIP(qPrintable(run.skipReason));
    QVERIFY2(run.exitCode == 0, run.output + run.errors);
    // The write is refused with the program's message, the old file stays whole and no
    // temporary file is left; with space again the next write works and keeps the rest.
    QCOMPARE(QString::fromUtf8(run.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{QStringLiteral("refused Unable to write to PALVANE.INI"),
                          QStringLiteral("unchanged yes"), QStringLiteral("leftovers 0"),
                          QStringLiteral("written 1234"), QStringLiteral("others kept")}));
}

QTEST_GUILESS_MAIN(TestReliabilityDiskFull)
#include "test_reliability_disk_full.moc"
