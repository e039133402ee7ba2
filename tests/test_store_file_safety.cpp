// The table file on the disk: a confirmed store survives a power cut, and a file replaced,
// moved or deleted while the table is open is never written into nor shown as current.

#include "store/schema.h"
#include "store/table.h"
#include "tests/support/sandbox.h"
#include "tests/support/table_tool.h"
#include "tests/test_store_raw.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

#include <cerrno>
#include <functional>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

using palvane::InsertValues;
using palvane::Table;
using palvane::test::contact;
using palvane::test::RawDb;
using palvane::test::Sandbox;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const palvane::TableError& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

const InsertValues kNewEntry = {
    std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, 0, std::nullopt};

// While it lives, every connection opened goes through a copy of the engine's own file layer
// that records each file deletion and whether the folder was to be synced after it.
class DeletionProbe {
public:
    struct Deletion {
        QString path;
        bool syncsFolder;
    };

    DeletionProbe() {
        real_ = sqlite3_vfs_find(nullptr);
        probe_ = *real_;
        probe_.zName = "palvane-deletion-probe";
        probe_.pNext = nullptr;
        probe_.xDelete = &DeletionProbe::remove;
        current_ = this;
        sqlite3_vfs_register(&probe_, 1);
    }
    ~DeletionProbe() {
        sqlite3_vfs_unregister(&probe_);
        current_ = nullptr;
    }
    DeletionProbe(const DeletionProbe&) = delete;
    DeletionProbe& operator=(const DeletionProbe&) = delete;

    // The journals deleted since the last call.
    std::vector<Deletion> takeJournals() {
        std::vector<Deletion> journals;
        for (const Deletion& deletion : deletions_)
            if (deletion.path.endsWith(QLatin1String("-journal")))
                journals.push_back(deletion);
        deletions_.clear();
        return journals;
    }

private:
    static int remove(sqlite3_vfs*, const char* path, int syncFolder) {
        current_->deletions_.push_back({QString::fromUtf8(path), syncFolder != 0});
        return current_->real_->xDelete(current_->real_, path, syncFolder);
    }

    static inline DeletionProbe* current_ = nullptr;
    sqlite3_vfs* real_ = nullptr;
    sqlite3_vfs probe_{};
    std::vector<Deletion> deletions_;
};

// Holds inotify instances until the kernel refuses another, the way a desktop full of file
// watchers leaves a program that starts late; gives them back when it goes.
class FileWatchesUsedUp {
public:
    FileWatchesUsedUp() {
        for (;;) {
            const int fd = inotify_init1(IN_CLOEXEC);
            if (fd < 0)
                break;
            held_.push_back(fd);
        }
        // Refused for the instances, not for want of descriptors: one can still be had.
        const int spare = ::dup(0);
        refused_ = errno == EMFILE && spare >= 0;
        if (spare >= 0)
            ::close(spare);
    }
    ~FileWatchesUsedUp() {
        for (int fd : held_)
            ::close(fd);
    }
    FileWatchesUsedUp(const FileWatchesUsedUp&) = delete;
    FileWatchesUsedUp& operator=(const FileWatchesUsedUp&) = delete;

    bool refused() const { return refused_ && inotify_init1(IN_CLOEXEC) < 0; }

private:
    std::vector<int> held_;
    bool refused_ = false;
};

} // namespace

class TestStoreFileSafety : public QObject {
    Q_OBJECT

private slots:
    void everyCommitSyncsTheFolder();
    void fileReplacedMovedOrDeletedIsNeverWritten();
    void writesOfTheEngineAreNoReplacement();
    void guardNeedsNoFileWatches_data();
    void guardNeedsNoFileWatches();
};

// With a rollback journal the commit point is the deletion of the journal: until the folder is
// synced after it, a power cut can bring the journal back and undo the store.
void TestStoreFileSafety::everyCommitSyncsTheFolder() {
    Sandbox box;
    DeletionProbe probe;
    const auto check = [&](const char* step) {
        const std::vector<DeletionProbe::Deletion> journals = probe.takeJournals();
        QVERIFY2(!journals.empty(), step);
        for (const DeletionProbe::Deletion& journal : journals)
            QVERIFY2(journal.syncsFolder, qPrintable(QStringLiteral("%1: %2 deleted unsynced")
                                                         .arg(QLatin1String(step), journal.path)));
    };
    // The table tool's connections: a new table, then contacts added to it.
    box.createTable();
    check("create");
    palvane::insertContacts(box.dbPath(), {contact(QStringLiteral("a"))});
    check("add contacts");

    // The program's connection: Update Entry, New Entry, Delete Entry.
    Table table;
    table.open();
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Ay"));
    table.post();
    check("store");
    table.insertRecord(kNewEntry);
    check("insert");
    table.deleteRecord();
    check("delete");
    table.close();
    QCOMPARE(palvane::readContacts(box.dbPath()).size(), size_t(1));
}

// Another table copied over the open one (in place, as cp does, and made the same way, so the
// engine's change counter cannot tell them apart), put in its place by a rename, or the table
// moved away or deleted: every store, insertion, deletion and read is refused with what
// happened, and the file now at the path (or the one moved away) is left exactly as it was.
void TestStoreFileSafety::fileReplacedMovedOrDeletedIsNeverWritten() {
    struct Case {
        const char* name;
        std::function<void(const QString& table, const QString& other)> change;
        const char* what;
        QString survivor; // the file that must stay as it was, in the data folder
    };
    const auto run = [](const QString& program, const QStringList& arguments) {
        QCOMPARE(QProcess::execute(program, arguments), 0);
    };
    const std::vector<Case> cases = {
        {"copied over with cp",
         [&](const QString& table, const QString& other) {
             run(QStringLiteral("cp"), {other, table});
         },
         "replaced", QStringLiteral("palvane.db")},
        {"replaced by a rename",
         [&](const QString& table, const QString& other) {
             run(QStringLiteral("mv"), {other, table});
         },
         "replaced", QStringLiteral("palvane.db")},
        {"moved away",
         [&](const QString& table, const QString&) {
             run(QStringLiteral("mv"), {table, table + QStringLiteral(".moved")});
         },
         "moved or deleted", QStringLiteral("palvane.db.moved")},
        {"deleted", [](const QString& table, const QString&) { QVERIFY(QFile::remove(table)); },
         "moved or deleted", QString()},
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.createTable({contact(QStringLiteral("alpha"), QStringLiteral("Al")),
                         contact(QStringLiteral("beta"), QStringLiteral("Be"))});
        const QString other = box.dataDir() + QStringLiteral("/other.db");
        palvane::createContactTable(other);
        palvane::insertContacts(other, {contact(QStringLiteral("xavier"), QStringLiteral("Xa")),
                                        contact(QStringLiteral("yolanda"), QStringLiteral("Yo"))});
        const QByteArray otherBytes = fileBytes(other);
        QCOMPARE(palvane::test::changeCounter(other), palvane::test::changeCounter(box.dbPath()));

        Table table;
        table.open();
        table.setIndexName(QString::fromLatin1(palvane::kNickIndexName));
        table.next();
        table.edit();
        table.fieldByName(QStringLiteral("IRC Nick")).setAsString(QStringLiteral("bob"));
        const QByteArray tableBytes = fileBytes(box.dbPath());
        box.waitForLaterTimestamps();
        c.change(box.dbPath(), other);

        const QString reason =
            QStringLiteral("the file was %1 while the program was running; restart the program")
                .arg(QLatin1String(c.what));
        const QString path = box.dbPath();
        const QString store = QStringLiteral("Cannot store the record in %1: %2").arg(path, reason);
        const QString read =
            QStringLiteral("Cannot read the contact table %1: %2").arg(path, reason);
        QCOMPARE(errorOf([&] { table.post(); }), store);
        QCOMPARE(table.state(), Table::State::Editing); // what was typed stays pending
        QCOMPARE(errorOf([&] { table.next(); }), store);
        table.cancel();
        QCOMPARE(errorOf([&] { table.next(); }), read);
        QCOMPARE(errorOf([&] { table.refresh(); }), read);
        QCOMPARE(errorOf([&] { table.isEmpty(); }), read);
        QCOMPARE(errorOf([&] { table.insertRecord(kNewEntry); }), store);
        table.cancel();
        QCOMPARE(errorOf([&] { table.deleteRecord(); }),
                 QStringLiteral("Cannot delete the record from %1: %2").arg(path, reason));
        table.close();

        const QString survivor =
            c.survivor.isEmpty() ? QString() : box.dataDir() + '/' + c.survivor;
        if (QLatin1String(c.what) == QLatin1String("replaced"))
            QVERIFY2(fileBytes(survivor) == otherBytes, c.name);
        else if (!survivor.isEmpty())
            QVERIFY2(fileBytes(survivor) == tableBytes, c.name);
        else
            QVERIFY2(!QFile::exists(path), c.name);
        QVERIFY2(!QFile::exists(path + QStringLiteral("-journal")), c.name);
    }
}

// Stores of other programs (the table tool, a second connection, a rolled-back transaction) and
// the file moved away and back are not taken for a replacement.
void TestStoreFileSafety::writesOfTheEngineAreNoReplacement() {
    Sandbox box;
    box.createTable({contact(QStringLiteral("alpha"))});
    Table table;
    table.open();
    palvane::insertContacts(box.dbPath(), {contact(QStringLiteral("beta"))});
    {
        RawDb other(box.dbPath());
        QVERIFY(
            other.exec(QStringLiteral("UPDATE contacts SET \"IRC Name\" = 'A' WHERE rowid = 1")));
        QVERIFY(other.exec(QStringLiteral("BEGIN; DELETE FROM contacts; ROLLBACK")));
    }
    table.next();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).asString(), QStringLiteral("beta"));
    table.edit();
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(QStringLiteral("Bee"));
    table.post();

    const QString away = box.path() + QStringLiteral("/away.db");
    QVERIFY(QFile::rename(box.dbPath(), away));
    QVERIFY(errorOf([&] { table.recordCount(); }).contains(QLatin1String("moved or deleted")));
    QVERIFY(QFile::rename(away, box.dbPath()));
    table.insertRecord(kNewEntry);
    table.deleteRecord();
    table.close();
    QCOMPARE(palvane::readContacts(box.dbPath()).size(), size_t(2));
    QCOMPARE(palvane::readContacts(box.dbPath()).at(1).name, QStringLiteral("Bee"));
}

QTEST_GUILESS_MAIN(TestStoreFileSafety)
#include "test_store_file_safety.moc"

// With every inotify instance of the user taken, stores of other programs through the engine
// still go on, and a table copied over the open one is still refused: the guard needs no kernel
// facility that can run out.
void TestStoreFileSafety::guardNeedsNoFileWatches_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments"); // %t the table, %o another table, %c a CSV
    QTest::addColumn<bool>("replaces");
    const QString update = QStringLiteral("UPDATE contacts SET \"IRC Name\" = 'Outside'");
    QTest::newRow("sqlite3 shell") << "sqlite3" << QStringList{"%t", update} << false;
    QTest::newRow("sqlite3 shell, journal kept empty")
        << "sqlite3" << QStringList{"%t", "PRAGMA journal_mode = TRUNCATE", update} << false;
    QTest::newRow("table tool import")
        << PALVANE_TABLE_TOOL << QStringList{"import", "%c", "--table", "%t"} << false;
    QTest::newRow("cp") << "cp" << QStringList{"%o", "%t"} << true;
    QTest::newRow("cp keeping the times") << "cp" << QStringList{"-p", "%o", "%t"} << true;
}

void TestStoreFileSafety::guardNeedsNoFileWatches() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, replaces);
    Sandbox box;
    box.createTable({contact(QStringLiteral("alpha"), QStringLiteral("Al")),
                     contact(QStringLiteral("beta"), QStringLiteral("Be"))});
    const QString other = box.path() + QStringLiteral("/other.db");
    palvane::createContactTable(other);
    palvane::insertContacts(other, {contact(QStringLiteral("xavier"), QStringLiteral("Xa")),
                                    contact(QStringLiteral("yolanda"), QStringLiteral("Yo"))});
    const QString csv = box.path() + QStringLiteral("/new.csv");
    {
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("IRC Nick,IRC Name\ncarol,Outside\n");
    }
    for (QString& argument : arguments)
        argument.replace(QLatin1String("%t"), box.dbPath())
            .replace(QLatin1String("%o"), other)
            .replace(QLatin1String("%c"), csv);

    FileWatchesUsedUp watches;
    QVERIFY2(watches.refused(), "inotify instances could not be used up");
    Table table;
    table.open();
    table.next();
    QCOMPARE(table.fieldByName(QStringLiteral("IRC Nick")).asString(), QStringLiteral("beta"));
    box.waitForLaterTimestamps();
    QProcess outside;
    outside.start(program, arguments);
    QVERIFY2(outside.waitForFinished(30000), qPrintable(outside.errorString()));
    QVERIFY2(outside.exitCode() == 0, outside.readAllStandardError().constData());
    const QByteArray written = fileBytes(box.dbPath());

    table.edit();
    table.fieldByName(QStringLiteral("IRC Location")).setAsString(QStringLiteral("Here"));
    const QString stored = errorOf([&] { table.post(); });
    const QString moved = errorOf([&] { table.prior(); });
    if (replaces) {
        const QString reason = QStringLiteral(
            "the file was replaced while the program was running; restart the program");
        QCOMPARE(stored,
                 QStringLiteral("Cannot store the record in %1: %2").arg(box.dbPath(), reason));
        QCOMPARE(moved, stored); // the typed record is still pending
        QVERIFY(fileBytes(box.dbPath()) == written);
        return;
    }
    QCOMPARE(stored, QStringLiteral("(no error)"));
    QCOMPARE(moved, QStringLiteral("(no error)"));
    const std::vector<palvane::ContactRow> rows = palvane::readContacts(box.dbPath());
    QCOMPARE(rows.at(1).location, QStringLiteral("Here"));
    QCOMPARE(rows.back().name, QStringLiteral("Outside"));
}
