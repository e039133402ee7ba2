// A crash never loses a stored contact or a written setting. A second program stores contacts
// (or writes the window position) in a loop and is killed with SIGKILL at random moments, a
// hundred times; after each kill the file must hold everything whose store had returned,
// exactly, and at most the one store that was under way, whole or not at all.

#include "core/ini_format.h"
#include "core/settings_file.h"
#include "store/table.h"
#include "tests/reliability/table_check.h"
#include "tests/support/sandbox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <map>
#include <optional>

using namespace palvane;
using namespace palvane::reliability;
using palvane::test::Sandbox;

namespace {

constexpr int kKills = 100;

// Starts a helper in dir and, unless early, waits for its "ready" line.
bool startHelper(QProcess& process, const QString& program, const QStringList& arguments,
                 const QString& dir, bool waitForReady) {
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return false;
    if (!waitForReady)
        return true;
    QByteArray seen;
    while (!seen.contains("ready\n")) {
        if (!process.waitForReadyRead(10000))
            return false;
        seen += process.peek(1 << 20);
    }
    return true;
}

// Kills the helper with SIGKILL after a random pause and returns everything it printed.
QList<QByteArray> killAfter(QProcess& process, int maxPauseMs) {
    QThread::msleep(QRandomGenerator::global()->bounded(maxPauseMs + 1));
    process.kill(); // SIGKILL
    process.waitForFinished(10000);
    return process.readAllStandardOutput().split('\n');
}

// A journal the engine must roll back: it starts with the journal header's magic number. A
// journal cut off before its header was written is ignored by the engine and reused.
bool isHotJournal(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(8) == QByteArray::fromHex("d9d505f920a163d7");
}

struct Pending {
    char kind = 0; // 'N', 'U' or 'D'
    qint64 rowid = 0;
    qint64 seq = 0;
};

} // namespace

class TestReliabilityCrash : public QObject {
    Q_OBJECT

private slots:
    void storedContactsSurviveKills();
    void settingsFileSurvivesKills();
};

void TestReliabilityCrash::storedContactsSurviveKills() {
    Sandbox sandbox;
    // Five contacts that were there before: a crash must not take any of them either.
    std::map<qint64, StoreValues> expected;
    std::vector<ContactRow> start;
    for (int seq = 1; seq <= 5; ++seq) {
        const StoreValues v = valuesFor(QStringLiteral("w"), seq);
        start.push_back(ContactRow{v.nick, v.name, v.location, v.email, v.notes, v.timeDisplacement,
                                   v.spin, v.picture});
        expected[seq] = v;
    }
    sandbox.createTable(start);
    const QString journal = sandbox.dbPath() + QStringLiteral("-journal");

    int killsDuringStore = 0;
    int hotJournals = 0;
    int storesReturned = 0;
    for (int run = 1; run <= kKills; ++run) {
        // One kill in ten may land while the program is still opening the table.
        const bool early = run % 10 == 0;
        QProcess writer;
        QVERIFY2(startHelper(writer, QStringLiteral(PALVANE_STORE_WRITER),
                             {QStringLiteral("crash"), QString::number(run)}, sandbox.path(),
                             !early),
                 qPrintable(writer.errorString()));
        const QList<QByteArray> lines = killAfter(writer, early ? 20 : 60);
        QVERIFY2(writer.exitStatus() == QProcess::CrashExit,
                 writer.readAllStandardError().constData());

        // Apply every store that returned; remember the one under way.
        Pending pending; // kind 0: none
        for (const QByteArray& line : lines) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 4 && f[0] == "B") {
                pending = Pending{f[1][0], f[2].toLongLong(), f[3].toLongLong()};
                continue;
            }
            if (f.size() != 3)
                continue;
            const qint64 rowid = f[1].toLongLong();
            const qint64 seq = f[2].toLongLong();
            if (f[0] == "N")
                expected[rowid] = newEntryValues();
            else if (f[0] == "U")
                expected[rowid] = valuesFor(QStringLiteral("w"), seq);
            else if (f[0] == "D")
                expected.erase(rowid);
            else
                continue;
            ++storesReturned;
            pending = Pending{};
        }
        if (pending.kind)
            ++killsDuringStore;
        if (isHotJournal(journal))
            ++hotJournals;

        // The program's own table recovers the file when it next opens it.
        {
            Table table;
            table.open();
            QVERIFY(table.recordCount() >= 0);
            table.close();
        }
        QVERIFY2(!isHotJournal(journal), "the journal was not rolled back");
        QCOMPARE(integrityCheck(sandbox.dbPath()), QStringLiteral("ok"));

        bool ok = false;
        const std::map<qint64, StoreValues> actual = readRows(sandbox.dbPath(), &ok);
        QVERIFY(ok);
        for (const auto& [rowid, values] : actual) {
            const auto known = expected.find(rowid);
            if (known != expected.end() && known->second == values)
                continue;
            // Only the store under way may differ, and then only as that whole store.
            const bool newEntry =
                pending.kind == 'N' && known == expected.end() && values == newEntryValues();
            const bool update = pending.kind == 'U' && pending.rowid == rowid &&
                                known != expected.end() &&
                                values == valuesFor(QStringLiteral("w"), pending.seq);
            QVERIFY2(newEntry || update,
                     QByteArray("run ") + QByteArray::number(run) + " record " +
                         QByteArray::number(rowid) + " holds " + describe(values) +
                         (known == expected.end() ? QByteArray(", not stored by anyone")
                                                  : ", expected " + describe(known->second)));
            expected[rowid] = values;
            pending = Pending{};
        }
        for (auto it = expected.begin(); it != expected.end();) {
            if (actual.count(it->first)) {
                ++it;
                continue;
            }
            QVERIFY2(pending.kind == 'D' && pending.rowid == it->first,
                     QByteArray("run ") + QByteArray::number(run) + " lost record " +
                         QByteArray::number(it->first) + ": " + describe(it->second));
            it = expected.erase(it);
            pending = Pending{};
        }
    }
    qInfo("%d kills, %d during a store, %d left a journal to roll back; %d stores checked", kKills,
          killsDuringStore, hotJournals, storesReturned);
    // How many stores return between kills depends on the disk's sync speed; any will do.
    QVERIFY(storesReturned > 0);
    QVERIFY(killsDuringStore > 0);
}

void TestReliabilityCrash::settingsFileSurvivesKills() {
    Sandbox sandbox;
    // A file with more than the window position in it, large enough that a write takes a
    // while: line endings, comments, other sections and a long comment block must all stay.
    QByteArray content = "; Palvane settings\r\n[Other]\r\nLeft=-5\r\n\r\n[Window]\r\nLeft=1\r\n"
                         "Top=2\r\n\r\n[Padding]\r\n";
    for (int i = 0; i < 4000; ++i)
        content += "; padding line " + QByteArray::number(i) + " ..........................\r\n";
    {
        QFile file(sandbox.iniPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    int killsDuringWrite = 0;
    int writesReturned = 0;
    for (int run = 1; run <= kKills; ++run) {
        QProcess writer;
        QVERIFY2(startHelper(writer, QStringLiteral(PALVANE_SETTINGS_WRITER),
                             {QString::number(run * 1000)}, sandbox.path(), true),
                 qPrintable(writer.errorString()));
        const QList<QByteArray> lines = killAfter(writer, 60);
        QVERIFY(writer.exitStatus() == QProcess::CrashExit);

        std::optional<std::pair<QByteArray, QByteArray>> pending;
        for (const QByteArray& line : lines) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() != 3)
                continue;
            if (f[0] == "B") {
                pending = std::make_pair(f[1], f[2]);
            } else if (f[0] == "W") {
                content = ini::writeValue(content, "Window", f[1], f[2]);
                ++writesReturned;
                pending.reset();
            }
        }
        QFile file(sandbox.iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray actual = file.readAll();
        if (pending) {
            ++killsDuringWrite;
            const QByteArray next =
                ini::writeValue(content, "Window", pending->first, pending->second);
            if (actual == next)
                content = next;
        }
        QVERIFY2(actual == content,
                 QByteArray("run ") + QByteArray::number(run) + ": the file holds " +
                     QByteArray::number(actual.size()) +
                     " bytes, neither the old nor the new "
                     "content; Window is " +
                     ini::readValue(actual, "Window", "Left").value_or("(missing)") + "/" +
                     ini::readValue(actual, "Window", "Top").value_or("(missing)"));
    }
    // A kill between creating and renaming the temporary file leaves it behind; it is never
    // read, and a later write removes it once it is old enough not to belong to a write still
    // under way. Age the leftovers and let one more write complete.
    const QDir config(sandbox.configDir());
    const QStringList leftovers =
        config.entryList({QStringLiteral(".PALVANE.INI.*.tmp")}, QDir::Files | QDir::Hidden);
    qInfo("%d kills, %d during a write; %d writes checked; %d temporary files left behind", kKills,
          killsDuringWrite, writesReturned, int(leftovers.size()));
    QVERIFY(writesReturned > 0);
    QVERIFY(killsDuringWrite > 0);
    for (const QString& name : leftovers) {
        QFile file(config.filePath(name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    }
    QProcess writer;
    QVERIFY(startHelper(writer, QStringLiteral(PALVANE_SETTINGS_WRITER), {QStringLiteral("1")},
                        sandbox.path(), true));
    QByteArray seen;
    while (!seen.contains("\nW ") && writer.waitForReadyRead(10000))
        seen += writer.peek(1 << 20);
    writer.kill();
    writer.waitForFinished(10000);
    QVERIFY2(seen.contains("\nW "), "the last writer completed no write");
    for (const QString& name : leftovers)
        QVERIFY2(!config.exists(name), qPrintable(name + " was not removed"));
}

QTEST_GUILESS_MAIN(TestReliabilityCrash)
#include "test_reliability_crash.moc"
