// Two copies of the program on one table at the same time: both edit, add and delete for a few
// seconds while a third program takes the table's locks now and then for longer than the busy
// timeout. Nothing may be corrupted or lost, a store refused by a lock is reported clearly and
// kept pending until a move stores it, and no operation waits much longer than the timeout.

#include "main_window/tform1.h"
#include "store/table.h"
#include "tests/reliability/table_check.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

#include <map>
#include <memory>
#include <vector>

using namespace palvane;
using namespace palvane::reliability;
using palvane::test::Sandbox;

namespace {

constexpr int kSeconds = 4;
constexpr int kBusyTimeoutMs = 500;
constexpr int kHoldMs = 800; // longer than the busy timeout: waiting writers give up

struct Report {
    std::map<QString, StoreValues> records; // by nick
    QStringList bad;
    QStringList refusals;
    int orphans = 0;
    qint64 maxMs = -1;
    qint64 ops = 0;
};

Report parse(const QString& owner, const QByteArray& output) {
    Report report;
    for (const QByteArray& raw : output.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QStringList f = line.split(QLatin1Char(' '));
        if (f[0] == QLatin1String("final") && f.size() == 3) {
            StoreValues v = valuesFor(owner, f[2].toLongLong());
            v.nick = f[1];
            report.records[f[1]] = v;
        } else if (f[0] == QLatin1String("bad")) {
            report.bad << line;
        } else if (f[0] == QLatin1String("refused")) {
            report.refusals << line;
        } else if (f[0] == QLatin1String("orphan")) {
            ++report.orphans;
        } else if (f[0] == QLatin1String("max_ms") && f.size() == 2) {
            report.maxMs = f[1].toLongLong();
        } else if (f[0] == QLatin1String("ops") && f.size() == 2) {
            report.ops = f[1].toLongLong();
        }
    }
    return report;
}

// Holds the table's write lock (reads go on) or its exclusive lock (reads wait too).
void holdLock(const QString& path, const char* begin) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr),
             SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    QCOMPARE(sqlite3_exec(db, begin, nullptr, nullptr, nullptr), SQLITE_OK);
    QThread::msleep(kHoldMs);
    QCOMPARE(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Another program that takes the exclusive lock at the worst moment: right after one of the
// window's stores committed, before the window re-reads the stored record. Every connection
// the process opens reports its finished statements here (an engine auto-extension installs
// the report), and the trap springs after the first one whose text starts with its prefix.
class LockTrap {
public:
    explicit LockTrap(const QString& path) {
        instance() = this;
        sqlite3_open_v2(path.toUtf8().constData(), &holder_, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&LockTrap::onOpen));
    }
    ~LockTrap() {
        release();
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&LockTrap::onOpen));
        sqlite3_close(holder_);
        instance() = nullptr;
    }
    void arm(const QByteArray& statementPrefix) { prefix_ = statementPrefix; }
    bool sprung() const { return locked_; }
    void release() {
        if (locked_)
            sqlite3_exec(holder_, "COMMIT", nullptr, nullptr, nullptr);
        locked_ = false;
    }

private:
    static LockTrap*& instance() {
        static LockTrap* trap = nullptr;
        return trap;
    }
    static int onOpen(sqlite3* db, const char**, const void*) {
        sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, &LockTrap::onStatementDone, nullptr);
        return SQLITE_OK;
    }
    static int onStatementDone(unsigned, void*, void* statement, void*) {
        LockTrap* trap = instance();
        if (!trap || trap->prefix_.isEmpty())
            return 0;
        const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
        if (sql && QByteArray(sql).startsWith(trap->prefix_)) {
            trap->prefix_.clear();
            trap->locked_ = sqlite3_exec(trap->holder_, "BEGIN EXCLUSIVE", nullptr, nullptr,
                                         nullptr) == SQLITE_OK;
        }
        return 0;
    }

    sqlite3* holder_ = nullptr;
    QByteArray prefix_;
    bool locked_ = false;
};

} // namespace

class TestReliabilityTwoCopies : public QObject {
    Q_OBJECT

private slots:
    void twoCopiesEditAddAndDeleteTogether();
    void lockRightAfterNewEntryStoresKeepsTheNewRecordCurrent();
};

void TestReliabilityTwoCopies::twoCopiesEditAddAndDeleteTogether() {
    Sandbox sandbox;
    // Contacts of neither copy: they must come through untouched.
    std::map<QString, StoreValues> expected;
    std::vector<ContactRow> start;
    for (int i = 1; i <= 3; ++i) {
        StoreValues v = valuesFor(QStringLiteral("keep"), i);
        v.nick = QStringLiteral("keep-%1").arg(i);
        start.push_back(ContactRow{v.nick, v.name, v.location, v.email, v.notes, v.timeDisplacement,
                                   v.spin, v.picture});
        expected[v.nick] = v;
    }
    sandbox.createTable(start);

    const QStringList owners{QStringLiteral("a"), QStringLiteral("b")};
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int i = 0; i < owners.size(); ++i) {
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(sandbox.path());
        process->start(QStringLiteral(PALVANE_STORE_WRITER),
                       {QStringLiteral("contend"), owners[i], QString::number(kSeconds),
                        QString::number(kBusyTimeoutMs), QString::number(i + 1)});
        QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
        copies.push_back(std::move(process));
    }

    // Meanwhile another program takes the locks now and then, for longer than the timeout.
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; clock.elapsed() < (kSeconds - 1) * 1000; ++round) {
        QThread::msleep(300);
        holdLock(sandbox.dbPath(), round % 2 ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE");
    }

    int orphans = 0;
    int storeRefusals = 0;
    for (int i = 0; i < owners.size(); ++i) {
        QProcess& process = *copies[size_t(i)];
        QVERIFY2(process.waitForFinished(60000), "a copy did not finish");
        const QByteArray output = process.readAllStandardOutput();
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 output.right(2000) + process.readAllStandardError());
        const Report report = parse(owners[i], output);
        QVERIFY2(report.bad.isEmpty(), qPrintable(report.bad.join(QLatin1Char('\n'))));
        QVERIFY(report.ops > 0);
        // Every refusal names the cause and the file; the copy checked that the record stayed
        // pending and that the next move stored it.
        for (const QString& refusal : report.refusals)
            QVERIFY2(refusal.contains(QStringLiteral("another program is writing or reading the "
                                                     "table; try again when it has finished")) &&
                         refusal.contains(sandbox.dbPath()),
                     qPrintable(refusal));
        int stores = 0;
        for (const QString& refusal : report.refusals)
            if (refusal.startsWith(QStringLiteral("refused post")) ||
                refusal.startsWith(QStringLiteral("refused insert")))
                ++stores;
        storeRefusals += stores;
        QVERIFY2(report.maxMs >= 0 && report.maxMs < kBusyTimeoutMs + 3000,
                 qPrintable(QStringLiteral("an operation took %1 ms").arg(report.maxMs)));
        qInfo("copy %s: %lld operations, %d refused (%d stores), longest %lld ms, %d records",
              qPrintable(owners[i]), report.ops, int(report.refusals.size()), stores, report.maxMs,
              int(report.records.size()));
        for (const auto& [nick, values] : report.records)
            expected[nick] = values;
        orphans += report.orphans;
    }
    QVERIFY2(storeRefusals > 0, "no store met a held lock: the test proved nothing about it");

    QCOMPARE(integrityCheck(sandbox.dbPath()), QStringLiteral("ok"));
    bool ok = false;
    const std::map<qint64, StoreValues> rows = readRows(sandbox.dbPath(), &ok);
    QVERIFY(ok);
    std::map<QString, int> seen;
    for (const auto& [rowid, values] : rows) {
        if (values == newEntryValues() && orphans > 0) {
            --orphans; // a new record stored while a lock kept it from being shown
            continue;
        }
        const auto it = expected.find(values.nick);
        QVERIFY2(it != expected.end(), QByteArray("unexpected record ") +
                                           QByteArray::number(rowid) + ": " + describe(values));
        QVERIFY2(it->second == values, QByteArray("record ") + QByteArray::number(rowid) +
                                           " holds " + describe(values) + ", expected " +
                                           describe(it->second));
        ++seen[values.nick];
    }
    for (const auto& [nick, values] : expected)
        QVERIFY2(
            seen[nick] == 1,
            qPrintable(QStringLiteral("%1 is there %2 times, not once").arg(nick).arg(seen[nick])));
}

void TestReliabilityTwoCopies::lockRightAfterNewEntryStoresKeepsTheNewRecordCurrent() {
    Sandbox sandbox;
    sandbox.createTable(
        {ContactRow{QStringLiteral("alpha"), QStringLiteral("Alpha"), {}, {}, {}, 0.0, 0, {}}});
    LockTrap trap(sandbox.dbPath());
    palvane::test::MainWindowFixture app;
    TForm1* form = app.form();
    form->Table1->setBusyTimeout(100);
    QTabBar* tabs = form->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());

    // New Entry: the blank record is stored, then the other program locks the table before
    // the window can read the record back. The user sees the lock error.
    trap.arm("INSERT INTO contacts");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QVERIFY(trap.sprung());
    QCOMPARE(
        app.boxTexts(),
        QStringList{QStringLiteral("Cannot read the contact table %1: another program is writing "
                                   "or reading the table; try again when it has finished.")
                        .arg(sandbox.dbPath())});
    trap.release();

    // The user fills in the new contact and stores it. The new record must be the one
    // stored into; the contact that was current before must stay as it was.
    app.clearBoxes();
    form->activateWindow();
    form->Edit2->setFocus();
    QTest::keyClicks(form->Edit2, QStringLiteral("newcomer"));
    form->Edit3->setFocus();
    QTest::keyClicks(form->Edit3, QStringLiteral("New Comer"));
    QVERIFY(form->Button2->isEnabled());
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    QVERIFY(app.boxes().empty());
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QStringList nicks;
    for (const ContactRow& row : rows)
        nicks << row.nick;
    QCOMPARE(nicks, (QStringList{QStringLiteral("alpha"), QStringLiteral("newcomer")}));
}

QTEST_MAIN(TestReliabilityTwoCopies)
#include "test_reliability_two_copies.moc"
